// Completion: the names that can stand where the cursor is.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <set>

#include "lexer/lexer.h"
#include "lsp/features.h"

namespace veltro::lsp {

using nlohmann::json;

namespace {

// The protocol's CompletionItemKind values used here.
constexpr int kFunctionItem = 3;
constexpr int kVariableItem = 6;
constexpr int kModuleItem = 9;
constexpr int kKeywordItem = 14;

bool is_name_byte(char c) {
  auto byte = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || byte >= 0x80;
}

bool is_name(std::string_view s) {
  if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s) {
    if (!is_name_byte(c) || static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

class Items {
 public:
  void add(std::string_view label, int kind, std::string detail = {}, std::string documentation = {}) {
    if (!seen_.emplace(label).second) return;
    json item = {{"label", label}, {"kind", kind}};
    if (!detail.empty()) item["detail"] = std::move(detail);
    if (!documentation.empty()) item["documentation"] = {{"kind", "markdown"}, {"value", std::move(documentation)}};
    items_.push_back(std::move(item));
  }
  void function(const catalogue::Function& f, std::string_view module) {
    std::string signature = module.empty() ? fmt::format("{}({})", f.name, f.params)
                                           : fmt::format("{}.{}({})", module, f.name, f.params);
    add(f.name, kFunctionItem, std::move(signature), std::string(f.summary));
  }
  json take() { return std::move(items_); }

 private:
  json items_ = json::array();
  std::set<std::string, std::less<>> seen_;
};

std::string params_of(const Outline& outline, const FunctionInfo& f) {
  std::vector<std::string> params;
  for (std::size_t p : f.params) params.push_back(outline.tokens()[p].text);
  return fmt::format("{}", fmt::join(params, ", "));
}

// A binding as an item: functions with their parameters, variables with how
// they are bound.
void add_binding(Items& items, const Source& source, const Binding& b, std::string_view module = {}) {
  const Outline& outline = source.outline();
  if (b.kind == BindingKind::Function) {
    const FunctionInfo& f = outline.functions()[static_cast<std::size_t>(b.function)];
    std::string prefix = module.empty() ? std::string() : fmt::format("{}.", module);
    items.add(b.name, kFunctionItem, fmt::format("def {}{}({})", prefix, b.name, params_of(outline, f)),
              fmt::format("line {}", source.line_of(b.token)));
    return;
  }
  std::string detail;
  switch (b.kind) {
    case BindingKind::Parameter:
      detail = fmt::format("parameter of {}", outline.functions()[static_cast<std::size_t>(b.scope)].name);
      break;
    case BindingKind::Import: detail = fmt::format("from {}", b.module); break;
    case BindingKind::Let: detail = "let"; break;
    case BindingKind::Loop: detail = "for"; break;
    case BindingKind::Caught: detail = "catch"; break;
    case BindingKind::Global: detail = "global"; break;
    case BindingKind::Assignment:
    case BindingKind::Function: detail = "variable"; break;
  }
  items.add(b.name, kVariableItem, std::move(detail));
}

// What a module leaves at its top level.
void add_exports(Items& items, const Source& module, std::string_view name) {
  const Outline& outline = module.outline();
  // Functions first, so that a name bound both ways shows as a function.
  for (const Binding& b : outline.bindings()) {
    if (b.scope == kTopLevel && b.kind == BindingKind::Function) add_binding(items, module, b, name);
  }
  for (const Binding& b : outline.bindings()) {
    if (b.scope == kTopLevel && b.kind != BindingKind::Global) add_binding(items, module, b, name);
  }
}

// After `prefix.`: the functions of a built-in module, or what a script module exports.
json members(const Workspace& workspace, const Source& document, std::string_view prefix) {
  Items items;
  const UseInfo* use = document.outline().module_use(prefix);
  std::string module(use ? use->module : prefix);
  if (const auto* builtin = catalogue::find_module(module)) {
    for (const auto& f : builtin->functions) items.function(f, builtin->name);
  } else if (use) {
    if (SourcePtr file = workspace.module(module, document)) add_exports(items, *file, module);
  }
  return items.take();
}

void add_modules(Items& items, const Workspace& workspace, const Source& document, bool files) {
  for (const auto& m : catalogue::modules()) items.add(m.name, kModuleItem, "built-in module");
  for (const UseInfo& use : document.outline().uses()) {
    if (!use.prefix().empty()) items.add(use.prefix(), kModuleItem, fmt::format("module {}", use.module));
  }
  if (files) {
    for (const std::string& name : workspace.module_names(document)) {
      if (is_name(name)) items.add(name, kModuleItem, fmt::format("{}.vt", name));
    }
  }
}

void add_everything(Items& items, const Workspace& workspace, const Source& document, std::size_t offset) {
  const Outline& outline = document.outline();
  for (std::string_view k : keywords()) items.add(k, kKeywordItem);
  for (const auto& f : catalogue::builtins()) items.function(f, {});
  add_modules(items, workspace, document, false);
  // Parameters only inside their function; everything else anywhere, since
  // a function sees its caller's variables.
  std::set<int> scopes{kTopLevel};
  for (int f = outline.scope_at(offset); f != kTopLevel; f = outline.functions()[static_cast<std::size_t>(f)].parent) {
    scopes.insert(f);
  }
  auto visible = [&](const Binding& b) { return b.kind != BindingKind::Parameter || scopes.count(b.scope); };
  for (const Binding& b : outline.bindings()) {
    if (b.kind == BindingKind::Function) add_binding(items, document, b);
  }
  for (const Binding& b : outline.bindings()) {
    if (!visible(b)) continue;
    if (b.kind == BindingKind::Import) {
      // An imported name shows as what it is in its module.
      if (const auto* builtin = catalogue::find_module(b.module)) {
        if (const auto* f = catalogue::find_function(*builtin, b.name)) {
          items.function(*f, builtin->name);
          continue;
        }
      } else if (SourcePtr file = workspace.module(b.module, document)) {
        if (const Binding* exported = file->outline().top_level(b.name)) {
          add_binding(items, *file, *exported, b.module);
          continue;
        }
      }
    }
    add_binding(items, document, b);
  }
}

}  // namespace

json completion(const Workspace& workspace, const Source& document, std::size_t offset) {
  std::string_view text = document.text();
  offset = std::min(offset, text.size());
  if (document.outline().in_comment_or_string(offset)) return json::array();
  std::size_t start = offset;
  while (start > 0 && is_name_byte(text[start - 1])) --start;
  if (start > 0 && text[start - 1] == '.') {
    std::size_t end = start - 1;
    std::size_t first = end;
    while (first > 0 && is_name_byte(text[first - 1])) --first;
    if (first == end) return json::array();
    return members(workspace, document, text.substr(first, end - first));
  }
  // Inside a `use`: module names after the keyword, a module's names in its item list.
  const Outline& outline = document.outline();
  const auto& tokens = outline.tokens();
  // k: the count of tokens (EOF aside) that end at or before the word.
  const auto& spans = outline.unit().map().tokens;
  auto after = std::partition_point(spans.begin(), spans.end() - 1,
                                    [&](const SourceSpan& s) { return s.offset + s.length <= start; });
  auto k = static_cast<std::size_t>(after - spans.begin());
  if (k > 0) {
    std::size_t before = k - 1;
    if (tokens[before].type == TokenType::Use) {
      Items items;
      add_modules(items, workspace, document, true);
      return items.take();
    }
    while (before > 0 && (tokens[before].type == TokenType::Identifier || tokens[before].type == TokenType::Comma)) {
      --before;
    }
    if (tokens[before].type == TokenType::LBrace && before >= 2 && tokens[before - 1].type == TokenType::Identifier &&
        tokens[before - 2].type == TokenType::Use) {
      Items items;
      const std::string& module = tokens[before - 1].text;
      if (const auto* builtin = catalogue::find_module(module)) {
        for (const auto& f : builtin->functions) items.function(f, builtin->name);
      } else if (SourcePtr file = workspace.module(module, document)) {
        add_exports(items, *file, module);
      }
      return items.take();
    }
  }
  Items items;
  add_everything(items, workspace, document, offset);
  return items.take();
}

}  // namespace veltro::lsp
