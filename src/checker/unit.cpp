#include "checker/unit.h"

#include <algorithm>

namespace veltro::check {

Unit::Unit(std::string path, std::string text) : path_(std::move(path)), text_(std::move(text)) {
  tokens_ = tokenize(text_, map_);
  ListeningParser parser(tokens_, *this);
  program_ = parser.parse_program();
  too_deep_ = parser.too_deep();
  limit_message_ = parser.limit_message();
  settle(stmt_spans_);
  settle(expr_spans_);
}

void Unit::settle(Spans& spans) {
  std::stable_sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  // Of the entries for one address, keep the last.
  auto out = spans.begin();
  for (auto it = spans.begin(); it != spans.end(); ++it) {
    if (std::next(it) != spans.end() && std::next(it)->first == it->first) continue;
    *out++ = *it;
  }
  spans.erase(out, spans.end());
}

NodeSpan Unit::find(const Spans& spans, const void* node) {
  auto it = std::lower_bound(spans.begin(), spans.end(), node,
                             [](const auto& entry, const void* key) { return entry.first < key; });
  return it != spans.end() && it->first == node ? it->second : NodeSpan{};
}

Unit::~Unit() = default;

const Token& Unit::token(std::size_t index) const { return tokens_[std::min(index, tokens_.size() - 1)]; }

const SourceSpan& Unit::place(std::size_t index) const { return map_.tokens[std::min(index, map_.tokens.size() - 1)]; }

std::string_view Unit::source(std::size_t first, std::size_t end) const {
  if (end <= first) return {};
  const SourceSpan& a = place(first);
  const SourceSpan& b = place(end - 1);
  return std::string_view(text_).substr(a.offset, b.offset + b.length - a.offset);
}

NodeSpan Unit::span(const Stmt& stmt) const { return find(stmt_spans_, &stmt); }

NodeSpan Unit::span(const Expr& expr) const { return find(expr_spans_, &expr); }

Finding Unit::finding(Code code, std::size_t first, std::size_t end, std::string message) const {
  SourceSpan where = place(first);
  const SourceSpan& last = place(end > first ? end - 1 : first);
  where.end_line = last.end_line;
  where.end_column = last.end_column;
  return finding(code, where, std::move(message));
}

Finding Unit::finding(Code code, const SourceSpan& where, std::string message) const {
  Finding f;
  f.path = path_;
  f.line = where.line;
  f.column = where.column;
  f.end_line = where.end_line;
  f.end_column = where.end_column;
  f.code = code;
  f.severity = code_info(code).severity;
  f.message = std::move(message);
  return f;
}

void Unit::suppress(std::size_t first, std::size_t end) {
  if (first < end) {
    suppressed_.push_back({first, end});
    merged_ = false;
  }
}

bool Unit::suppressed(std::size_t token) const {
  if (!merged_) {
    std::sort(suppressed_.begin(), suppressed_.end(),
              [](const NodeSpan& a, const NodeSpan& b) { return a.first < b.first; });
    std::vector<NodeSpan> merged;
    for (const NodeSpan& s : suppressed_) {
      if (!merged.empty() && s.first <= merged.back().end) {
        merged.back().end = std::max(merged.back().end, s.end);
      } else {
        merged.push_back(s);
      }
    }
    suppressed_ = std::move(merged);
    merged_ = true;
  }
  auto it = std::upper_bound(suppressed_.begin(), suppressed_.end(), token,
                             [](std::size_t t, const NodeSpan& s) { return t < s.first; });
  return it != suppressed_.begin() && token < std::prev(it)->end;
}

std::size_t Unit::matching_close(std::size_t open) const {
  if (closes_.empty()) {
    closes_.assign(tokens_.size(), tokens_.size() - 1);
    std::vector<std::size_t> stack;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      switch (tokens_[i].type) {
        case TokenType::LParen:
        case TokenType::LBracket:
        case TokenType::LBrace: stack.push_back(i); break;
        case TokenType::RParen:
        case TokenType::RBracket:
        case TokenType::RBrace:
          if (!stack.empty()) {
            closes_[stack.back()] = i;
            stack.pop_back();
          }
          break;
        default: break;
      }
    }
  }
  return closes_[std::min(open, closes_.size() - 1)];
}

std::size_t Unit::line_end(std::size_t index) const {
  if (line_ends_.empty()) {
    std::size_t n = tokens_.size();
    line_ends_.assign(n, n);
    for (std::size_t i = n - 1; i-- > 0;) {
      line_ends_[i] = map_.tokens[i + 1].line == map_.tokens[i].line ? line_ends_[i + 1] : i + 1;
    }
  }
  return line_ends_[std::min(index, line_ends_.size() - 1)];
}

std::size_t Unit::next_brace(std::size_t index) const {
  if (next_braces_.empty()) {
    std::size_t n = tokens_.size();
    next_braces_.assign(n, n - 1);
    for (std::size_t i = n - 1; i-- > 0;) {
      next_braces_[i] = tokens_[i].type == TokenType::LBrace ? i : next_braces_[i + 1];
    }
  }
  return next_braces_[std::min(index, next_braces_.size() - 1)];
}

void Unit::dropped(Drop what, std::size_t first, std::size_t at, TokenType expected) {
  drops_.push_back(DropEvent{what, first, at, expected});
}

void Unit::node(const Stmt& stmt, std::size_t first, std::size_t end) {
  stmt_spans_.emplace_back(&stmt, NodeSpan{first, end});
}

void Unit::node(const Expr& expr, std::size_t first, std::size_t end) {
  expr_spans_.emplace_back(&expr, NodeSpan{first, end});
}

}  // namespace veltro::check
