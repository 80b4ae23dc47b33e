// What a name stands for, and the answers built on it: hover, definition,
// document symbols; and the findings as diagnostics.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

#include "lsp/features.h"

namespace veltro::lsp {

using nlohmann::json;

namespace {

// A module's file imports from another, which imports from another...: how
// far a name is followed.
constexpr int kMaxImportHops = 8;

bool is(const Outline& outline, std::size_t token, TokenType type) {
  return token < outline.tokens().size() && outline.tokens()[token].type == type;
}

// The binding a name imported from a module ends at: the module's own
// top-level binding when its file is found, else the `use` item itself.
Target follow_import(const Workspace& workspace, const SourcePtr& source, const Binding& item, int hops) {
  Target target;
  if (const auto* module = catalogue::find_module(item.module)) {
    if (const auto* function = catalogue::find_function(*module, item.name)) {
      target.kind = Target::Kind::ModuleFunction;
      target.module = module;
      target.function = function;
      return target;
    }
  } else if (SourcePtr file = workspace.module(item.module, *source)) {
    if (const Binding* exported = file->outline().top_level(item.name)) {
      if (exported->kind == BindingKind::Import && hops < kMaxImportHops) {
        return follow_import(workspace, file, *exported, hops + 1);
      }
      target.kind = Target::Kind::Binding;
      target.source = file;
      target.binding = exported;
      return target;
    }
  }
  target.kind = Target::Kind::Binding;
  target.source = source;
  target.binding = &item;
  return target;
}

Target binding_target(const Workspace& workspace, const SourcePtr& source, const Binding& binding) {
  if (binding.kind == BindingKind::Import) return follow_import(workspace, source, binding, 0);
  Target target;
  target.kind = Target::Kind::Binding;
  target.source = source;
  target.binding = &binding;
  return target;
}

Target module_target(const Workspace& workspace, const SourcePtr& document, const std::string& module) {
  Target target;
  target.name = module;
  if (const auto* builtin = catalogue::find_module(module)) {
    target.kind = Target::Kind::BuiltinModule;
    target.module = builtin;
  } else {
    target.kind = Target::Kind::ScriptModule;
    target.source = workspace.module(module, *document);
  }
  return target;
}

// `prefix.name`: a function of a built-in module, or a name a script module exports.
Target member_target(const Workspace& workspace, const SourcePtr& document, const std::string& prefix,
                     const std::string& name) {
  const UseInfo* use = document->outline().module_use(prefix);
  const std::string& module = use ? use->module : prefix;
  if (const auto* builtin = catalogue::find_module(module)) {
    Target target;
    if (const auto* function = catalogue::find_function(*builtin, name)) {
      target.kind = Target::Kind::ModuleFunction;
      target.module = builtin;
      target.function = function;
    }
    return target;
  }
  if (!use) return {};
  SourcePtr file = workspace.module(module, *document);
  const Binding* exported = file ? file->outline().top_level(name) : nullptr;
  return exported ? binding_target(workspace, file, *exported) : Target{};
}

}  // namespace

Target resolve_at(const Workspace& workspace, const SourcePtr& document, std::size_t offset) {
  const Outline& outline = document->outline();
  std::optional<std::size_t> at = outline.token_at(offset);
  if (!at || !is(outline, *at, TokenType::Identifier)) return {};
  std::size_t i = *at;
  const std::string& name = outline.tokens()[i].text;
  Target target;
  // A member: `files.read`, `geo.area`.
  if (i >= 2 && is(outline, i - 1, TokenType::Dot) && is(outline, i - 2, TokenType::Identifier) &&
      !(i >= 3 && is(outline, i - 3, TokenType::Dot))) {
    target = member_target(workspace, document, outline.tokens()[i - 2].text, name);
  } else if (i >= 1 && is(outline, i - 1, TokenType::Use)) {
    target = module_target(workspace, document, name);
  } else if (i >= 3 && is(outline, i - 1, TokenType::As) && is(outline, i - 3, TokenType::Use)) {
    target = module_target(workspace, document, outline.tokens()[i - 2].text);
  } else if (is(outline, i + 1, TokenType::Dot) && is(outline, i + 2, TokenType::Identifier) &&
             (outline.module_use(name) || catalogue::find_module(name))) {
    const UseInfo* use = outline.module_use(name);
    target = module_target(workspace, document, use ? use->module : name);
  } else {
    // A plain call goes to a builtin before anything the script binds.
    bool call = is(outline, i + 1, TokenType::LParen);
    const catalogue::Function* builtin = catalogue::find_builtin(name);
    const Binding* binding = call && builtin ? nullptr : outline.resolve(name, i, call);
    if (binding) {
      target = binding_target(workspace, document, *binding);
    } else if (builtin) {
      target.kind = Target::Kind::Builtin;
      target.function = builtin;
    }
  }
  target.token = i;
  return target;
}

namespace {

// A fenced block of Veltro code, fenced past any run of backquotes in it.
std::string code_block(std::string_view code) {
  std::size_t longest = 0;
  for (std::size_t i = 0, run = 0; i < code.size(); ++i) {
    run = code[i] == '`' ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  std::string fence(std::max<std::size_t>(3, longest + 1), '`');
  return fmt::format("{}veltro\n{}\n{}", fence, code, fence);
}

// The source line of a token, trimmed and cut to a readable length on a
// character boundary.
std::string line_of_token(const Source& source, std::size_t token) {
  std::string_view line = source.lines().line_at(source.outline().place(token).offset);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  constexpr std::size_t kLongest = 160;
  if (line.size() <= kLongest) return std::string(line);
  std::size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80) --cut;
  return std::string(line.substr(0, cut)) + " …";
}

std::string where(const Source& source, std::size_t token, const Source& document) {
  if (&source == &document) return fmt::format("line {}", source.line_of(token));
  return fmt::format("line {} of `{}`", source.line_of(token), source.path().empty() ? source.uri() : source.path());
}

std::string names_list(const std::vector<std::string>& names) {
  std::vector<std::string> quoted;
  for (const auto& n : names) quoted.push_back(fmt::format("`{}`", n));
  return fmt::format("{}", fmt::join(quoted, ", "));
}

std::string describe_binding(const Target& target, const Source& document) {
  const Source& source = *target.source;
  const Binding& b = *target.binding;
  const Outline& outline = source.outline();
  std::string at = where(source, b.token, document);
  switch (b.kind) {
    case BindingKind::Function: {
      const FunctionInfo& f = outline.functions()[static_cast<std::size_t>(b.function)];
      std::vector<std::string> params;
      for (std::size_t p : f.params) params.push_back(outline.tokens()[p].text);
      std::string takes = params.empty() ? std::string("takes no arguments")
                                         : fmt::format("parameters {}", names_list(params));
      return fmt::format("{}\n\nfunction `{}`, {}; defined on {}", code_block(line_of_token(source, f.def_token)),
                         f.name, takes, at);
    }
    case BindingKind::Parameter: {
      const FunctionInfo& f = outline.functions()[static_cast<std::size_t>(b.scope)];
      return fmt::format("{}\n\n`{}`: a parameter of `{}`, on {}", code_block(line_of_token(source, f.def_token)),
                         b.name, f.name, at);
    }
    case BindingKind::Let:
    case BindingKind::Assignment:
    case BindingKind::Loop:
    case BindingKind::Caught:
    case BindingKind::Global:
    case BindingKind::Import: break;
  }
  std::string how;
  switch (b.kind) {
    case BindingKind::Let: how = "bound by `let`"; break;
    case BindingKind::Assignment: how = "bound by an assignment"; break;
    case BindingKind::Loop: how = "the variable of a `for` loop"; break;
    case BindingKind::Caught: how = "the error a `catch` receives"; break;
    case BindingKind::Global: how = "declared `global`"; break;
    case BindingKind::Import: how = fmt::format("imported from module `{}`", b.module); break;
    case BindingKind::Function:
    case BindingKind::Parameter: break;
  }
  std::string scope = b.scope == kTopLevel || b.kind == BindingKind::Import
                          ? std::string()
                          : fmt::format(" in `{}`", outline.functions()[static_cast<std::size_t>(b.scope)].name);
  return fmt::format("{}\n\n`{}`: {}{}, on {}", code_block(line_of_token(source, b.token)), b.name, how, scope, at);
}

std::string describe_module(const Target& target) {
  if (target.kind == Target::Kind::BuiltinModule) {
    std::vector<std::string> names;
    for (const auto& f : target.module->functions) names.emplace_back(f.name);
    return fmt::format("{}\n\nbuilt-in module `{}`: {}", code_block(fmt::format("use {};", target.module->name)),
                       target.module->name, names_list(names));
  }
  if (!target.source) {
    return fmt::format("module `{}`: there is no file `{}.vt` where veltro looks for it", target.name, target.name);
  }
  std::vector<std::string> functions, variables;
  for (const Binding& b : target.source->outline().bindings()) {
    if (b.scope != kTopLevel || b.kind == BindingKind::Global) continue;
    auto& list = b.kind == BindingKind::Function ? functions : variables;
    if (std::find(list.begin(), list.end(), b.name) == list.end()) list.push_back(b.name);
  }
  std::string text = fmt::format("module `{}`, the file `{}`", target.name, target.source->path());
  if (!functions.empty()) text += fmt::format("\n\nfunctions: {}", names_list(functions));
  if (!variables.empty()) text += fmt::format("\n\nvariables: {}", names_list(variables));
  return text;
}

std::string signature(const catalogue::Function& f, std::string_view module) {
  return module.empty() ? fmt::format("{}({})", f.name, f.params) : fmt::format("{}.{}({})", module, f.name, f.params);
}

}  // namespace

json hover(const Workspace& workspace, const SourcePtr& document, std::size_t offset, Encoding encoding) {
  Target target = resolve_at(workspace, document, offset);
  std::string text;
  switch (target.kind) {
    case Target::Kind::None: return nullptr;
    case Target::Kind::Builtin:
      text = fmt::format("{}\n\n{}", code_block(signature(*target.function, {})), target.function->summary);
      break;
    case Target::Kind::ModuleFunction:
      text = fmt::format("{}\n\n{}", code_block(signature(*target.function, target.module->name)),
                         target.function->summary);
      break;
    case Target::Kind::BuiltinModule:
    case Target::Kind::ScriptModule: text = describe_module(target); break;
    case Target::Kind::Binding: text = describe_binding(target, *document); break;
  }
  return {{"contents", {{"kind", "markdown"}, {"value", text}}},
          {"range", document->token_range(target.token, encoding)}};
}

json definition(const Workspace& workspace, const SourcePtr& document, std::size_t offset, Encoding encoding) {
  Target target = resolve_at(workspace, document, offset);
  switch (target.kind) {
    case Target::Kind::Binding:
      return {{"uri", target.source->uri()}, {"range", target.source->token_range(target.binding->token, encoding)}};
    case Target::Kind::ScriptModule:
      if (!target.source) return nullptr;
      return {{"uri", target.source->uri()}, {"range", target.source->range(0, 0, encoding)}};
    case Target::Kind::None:
    case Target::Kind::Builtin:
    case Target::Kind::ModuleFunction:
    case Target::Kind::BuiltinModule: return nullptr;
  }
  return nullptr;
}

json document_symbols(const Source& document, Encoding encoding, bool hierarchical) {
  constexpr int kFunctionKind = 12;
  constexpr int kVariableKind = 13;
  const Outline& outline = document.outline();
  const auto& functions = outline.functions();
  auto function_range = [&](const FunctionInfo& f) {
    const SourceSpan& first = outline.place(f.def_token);
    std::size_t last = f.has_body ? f.body_close : (f.params.empty() ? f.name_token : f.params.back());
    const SourceSpan& end = outline.place(last);
    return document.range(first.offset, end.offset + end.length, encoding);
  };
  auto detail = [&](const FunctionInfo& f) {
    std::vector<std::string> params;
    for (std::size_t p : f.params) params.push_back(outline.tokens()[p].text);
    return fmt::format("({})", fmt::join(params, ", "));
  };
  if (!hierarchical) {
    json flat = json::array();
    auto add = [&](const std::string& name, int kind, const json& range, const std::string& container) {
      json symbol = {{"name", name}, {"kind", kind}, {"location", {{"uri", document.uri()}, {"range", range}}}};
      if (!container.empty()) symbol["containerName"] = container;
      flat.push_back(std::move(symbol));
    };
    for (const FunctionInfo& f : functions) {
      add(f.name, kFunctionKind, function_range(f),
          f.parent == kTopLevel ? std::string() : functions[static_cast<std::size_t>(f.parent)].name);
    }
    for (const Binding& b : outline.bindings()) {
      if (b.kind == BindingKind::Let && b.scope == kTopLevel) {
        add(b.name, kVariableKind, document.token_range(b.token, encoding), {});
      }
    }
    return flat;
  }
  // Functions inside functions become children; a function's entry is
  // complete once everything after it in the list has been placed.
  std::vector<json> entries(functions.size());
  for (std::size_t k = 0; k < functions.size(); ++k) {
    const FunctionInfo& f = functions[k];
    entries[k] = {{"name", f.name},
                  {"detail", detail(f)},
                  {"kind", kFunctionKind},
                  {"range", function_range(f)},
                  {"selectionRange", document.token_range(f.name_token, encoding)},
                  {"children", json::array()}};
  }
  json top = json::array();
  std::vector<std::pair<std::size_t, json>> placed;  // (first token, symbol) at top level
  for (std::size_t k = functions.size(); k-- > 0;) {
    const FunctionInfo& f = functions[k];
    auto& children = entries[k]["children"];
    // Children were appended last to first.
    std::reverse(children.begin(), children.end());
    if (f.parent == kTopLevel) {
      placed.emplace_back(f.def_token, std::move(entries[k]));
    } else {
      entries[static_cast<std::size_t>(f.parent)]["children"].push_back(std::move(entries[k]));
    }
  }
  for (const Binding& b : outline.bindings()) {
    if (b.kind != BindingKind::Let || b.scope != kTopLevel) continue;
    // From the keyword to the name.
    const SourceSpan& name = outline.place(b.token);
    placed.emplace_back(b.token, json{{"name", b.name},
                                      {"kind", kVariableKind},
                                      {"range", document.range(outline.place(b.token - 1).offset,
                                                               name.offset + name.length, encoding)},
                                      {"selectionRange", document.token_range(b.token, encoding)}});
  }
  std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [token, symbol] : placed) top.push_back(std::move(symbol));
  return top;
}

json diagnostics(const Source& document, const std::vector<check::Finding>& findings, Encoding encoding,
                 std::string_view guide) {
  constexpr int kError = 1;
  constexpr int kWarning = 2;
  const std::string& path = document.path().empty() ? std::string("-") : document.path();
  json out = json::array();
  for (const check::Finding& f : findings) {
    if (f.path != path) continue;  // a module's own findings belong to its file
    std::size_t first = document.lines().offset_of_place(f.line, f.column);
    std::size_t end = f.end_line == 0 ? first : document.lines().offset_of_place(f.end_line, f.end_column);
    const check::CodeInfo& info = check::code_info(f.code);
    json d = {{"range", document.range(first, end, encoding)},
              {"severity", f.severity == check::Severity::Error ? kError : kWarning},
              {"code", info.id},
              {"source", "veltro-check"},
              {"message", f.message}};
    if (!guide.empty()) {
      std::string anchor(info.id);
      std::transform(anchor.begin(), anchor.end(), anchor.begin(), [](char c) { return c == 'V' ? 'v' : c; });
      d["codeDescription"] = {{"href", fmt::format("{}#{}", guide, anchor)}};
    }
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace veltro::lsp
