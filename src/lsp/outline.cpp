#include "lsp/outline.h"

#include <algorithm>

namespace veltro::lsp {

Outline::Outline(std::string path, std::string text) : unit_(std::move(path), std::move(text)) {
  find_functions();
  find_bindings();
}

void Outline::find_functions() {
  const auto& tokens = unit_.tokens();
  std::size_t n = tokens.size();  // the last is EOF
  auto type = [&](std::size_t i) { return i < n ? tokens[i].type : TokenType::EOF_; };
  std::vector<int> opens(n, -1);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (tokens[i].type != TokenType::Def || tokens[i + 1].type != TokenType::Identifier) continue;
    FunctionInfo f;
    f.name = tokens[i + 1].text;
    f.def_token = i;
    f.name_token = i + 1;
    std::size_t j = i + 2;
    if (type(j) == TokenType::LParen) {
      for (++j; type(j) == TokenType::Identifier || type(j) == TokenType::Comma; ++j) {
        if (type(j) == TokenType::Identifier) f.params.push_back(j);
      }
      if (type(j) == TokenType::RParen) ++j;
    }
    if (type(j) == TokenType::LBrace) {
      f.has_body = true;
      f.body_open = j;
      f.body_close = unit_.matching_close(j);
      opens[j] = static_cast<int>(functions_.size());
    }
    functions_.push_back(std::move(f));
  }
  // Bodies nest as their braces do.
  scopes_.assign(n, kTopLevel);
  std::vector<int> open;
  for (std::size_t i = 0; i < n; ++i) {
    while (!open.empty() && i >= functions_[static_cast<std::size_t>(open.back())].body_close) open.pop_back();
    scopes_[i] = open.empty() ? kTopLevel : open.back();
    if (opens[i] >= 0) open.push_back(opens[i]);
  }
  for (FunctionInfo& f : functions_) f.parent = scopes_[f.def_token];
}

void Outline::add(std::string name, BindingKind kind, std::size_t token, int scope) {
  bindings_.push_back(Binding{std::move(name), kind, token, scope, -1, {}});
}

void Outline::find_bindings() {
  const auto& tokens = unit_.tokens();
  std::size_t n = tokens.size();
  auto type = [&](std::size_t i) { return i < n ? tokens[i].type : TokenType::EOF_; };
  auto name_after = [&](std::size_t i, BindingKind kind) {
    if (type(i + 1) == TokenType::Identifier) add(tokens[i + 1].text, kind, i + 1, scopes_[i + 1]);
  };
  std::size_t next_function = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    switch (tokens[i].type) {
      case TokenType::Def: {
        if (next_function >= functions_.size() || functions_[next_function].def_token != i) break;
        const FunctionInfo& f = functions_[next_function];
        add(f.name, BindingKind::Function, f.name_token, f.parent);
        bindings_.back().function = static_cast<int>(next_function);
        for (std::size_t p : f.params) add(tokens[p].text, BindingKind::Parameter, p, static_cast<int>(next_function));
        ++next_function;
        break;
      }
      case TokenType::Let: name_after(i, BindingKind::Let); break;
      case TokenType::For: name_after(i, BindingKind::Loop); break;
      case TokenType::Catch: name_after(i, BindingKind::Caught); break;
      case TokenType::Global: name_after(i, BindingKind::Global); break;
      case TokenType::Use: {
        if (type(i + 1) != TokenType::Identifier) break;
        UseInfo use;
        use.module = tokens[i + 1].text;
        use.module_token = i + 1;
        if (type(i + 2) == TokenType::LBrace) {
          use.items = true;
          // Items bind globals, even from inside a function.
          for (std::size_t j = i + 3; j + 1 < n && tokens[j].type != TokenType::RBrace; ++j) {
            if (tokens[j].type != TokenType::Identifier) continue;
            add(tokens[j].text, BindingKind::Import, j, kTopLevel);
            bindings_.back().module = use.module;
          }
        } else if (type(i + 2) == TokenType::As && type(i + 3) == TokenType::Identifier) {
          use.alias = tokens[i + 3].text;
        }
        uses_.push_back(std::move(use));
        break;
      }
      case TokenType::Identifier:
        if (tokens[i + 1].type == TokenType::Assign &&
            (i == 0 || (tokens[i - 1].type != TokenType::Dot && tokens[i - 1].type != TokenType::Let))) {
          add(tokens[i].text, BindingKind::Assignment, i, scopes_[i]);
        }
        break;
      default: break;
    }
  }
  std::stable_sort(bindings_.begin(), bindings_.end(),
                   [](const Binding& a, const Binding& b) { return a.token < b.token; });
}

std::optional<std::size_t> Outline::token_at(std::size_t offset) const {
  const auto& spans = unit_.map().tokens;
  const auto& tokens = unit_.tokens();
  auto it = std::upper_bound(spans.begin(), spans.end(), offset,
                             [](std::size_t at, const SourceSpan& s) { return at < s.offset; });
  if (it == spans.begin()) return std::nullopt;
  auto i = static_cast<std::size_t>(it - spans.begin()) - 1;
  auto ends_here = [&](std::size_t k) { return spans[k].offset + spans[k].length == offset; };
  if (tokens[i].type == TokenType::EOF_) {
    if (i == 0 || !ends_here(i - 1)) return std::nullopt;
    return i - 1;
  }
  if (offset < spans[i].offset + spans[i].length) {
    if (tokens[i].type != TokenType::Identifier && i > 0 && ends_here(i - 1) &&
        tokens[i - 1].type == TokenType::Identifier) {
      return i - 1;
    }
    return i;
  }
  if (ends_here(i)) return i;
  return std::nullopt;
}

bool Outline::in_comment_or_string(std::size_t offset) const {
  const auto& spans = unit_.map().tokens;
  const auto& tokens = unit_.tokens();
  std::string_view text = unit_.text();
  offset = std::min(offset, text.size());
  // The last token that begins before the offset.
  auto it = std::lower_bound(spans.begin(), spans.end(), offset,
                             [](const SourceSpan& s, std::size_t at) { return s.offset < at; });
  std::size_t gap = 0;
  if (it != spans.begin()) {
    auto i = static_cast<std::size_t>(it - spans.begin()) - 1;
    std::size_t end = spans[i].offset + spans[i].length;
    if (offset < end) return tokens[i].type == TokenType::String;
    // A string literal left open runs to the end of the text.
    if (tokens[i].type == TokenType::String && end == text.size()) {
      bool closed = false;
      for (std::size_t p = spans[i].offset + 1; p < end && !closed; p += text[p] == '\\' ? 2 : 1) {
        closed = text[p] == '"';
      }
      if (!closed) return true;
    }
    gap = end;
  }
  // Between tokens there is only space, comments and skipped characters:
  // find the comments as the lexer does.
  for (std::size_t p = gap; p < offset;) {
    if (text[p] == '#') {
      std::size_t newline = text.find('\n', p);
      if (newline == std::string_view::npos || offset <= newline) return true;
      p = newline + 1;
    } else if (text[p] == '/' && p + 1 < text.size() && text[p + 1] == '*') {
      // "/*/" does not close the comment it opens; "/**/" does.
      std::size_t close = text.find("*/", p + 2);
      std::size_t end = close == std::string_view::npos ? text.size() : close + 2;
      if (offset < end || close == std::string_view::npos) return true;
      p = end;
    } else {
      ++p;
    }
  }
  return false;
}

int Outline::scope_of(std::size_t token) const { return scopes_[std::min(token, scopes_.size() - 1)]; }

int Outline::scope_at(std::size_t offset) const {
  const auto& spans = unit_.map().tokens;
  auto it = std::lower_bound(spans.begin(), spans.end(), offset,
                             [](const SourceSpan& s, std::size_t at) { return s.offset < at; });
  if (it == spans.begin()) return kTopLevel;
  auto i = static_cast<std::size_t>(it - spans.begin()) - 1;
  for (std::size_t f = 0; f < functions_.size(); ++f) {
    if (functions_[f].has_body && functions_[f].body_open == i) return static_cast<int>(f);
  }
  return scope_of(i);
}

const Binding* Outline::first(std::string_view name, bool call, bool (*in)(const Binding&, int), int scope) const {
  const Binding* found = nullptr;
  for (const Binding& b : bindings_) {
    if (b.name != name || !in(b, scope)) continue;
    if (!call || b.kind == BindingKind::Function) return &b;
    if (!found) found = &b;
  }
  return found;
}

const Binding* Outline::resolve(std::string_view name, std::size_t token, bool call) const {
  auto in_scope = [](const Binding& b, int scope) { return b.scope == scope; };
  for (int f = scope_of(token); f != kTopLevel; f = functions_[static_cast<std::size_t>(f)].parent) {
    const Binding* b = first(name, call, in_scope, f);
    if (b && b->kind == BindingKind::Global) {
      const Binding* top = first(name, call, in_scope, kTopLevel);
      return top ? top : b;
    }
    if (b) return b;
  }
  if (const Binding* b = first(name, call, in_scope, kTopLevel)) return b;
  return first(name, call, [](const Binding&, int) { return true; }, kTopLevel);
}

const Binding* Outline::top_level(std::string_view name) const {
  return first(name, true, [](const Binding& b, int) { return b.scope == kTopLevel && b.kind != BindingKind::Global; },
               kTopLevel);
}

const UseInfo* Outline::module_use(std::string_view prefix) const {
  const UseInfo* found = nullptr;
  for (const UseInfo& use : uses_) {
    if (!use.items && use.prefix() == prefix) found = &use;
  }
  return found;
}

}  // namespace veltro::lsp
