#include "repl/entry.h"

#include "lexer/lexer.h"

namespace veltro::repl {

namespace {

void close(std::int64_t& depth, bool& overclosed) {
  if (--depth < 0) overclosed = true;
}

}  // namespace

BracketDepth count_brackets(std::span<const Token> tokens) {
  BracketDepth d;
  for (const Token& token : tokens) {
    switch (token.type) {
      case TokenType::LParen: ++d.paren; break;
      case TokenType::RParen: close(d.paren, d.overclosed); break;
      case TokenType::LBracket: ++d.bracket; break;
      case TokenType::RBracket: close(d.bracket, d.overclosed); break;
      case TokenType::LBrace: ++d.brace; break;
      case TokenType::RBrace: close(d.brace, d.overclosed); break;
      default: break;
    }
    if (d.overclosed) break;
  }
  return d;
}

bool Entry::add_line(std::string_view line) {
  if (open_) text_ += '\n';
  text_.append(line);
  open_ = true;
  // The whole text again: a string or comment begun on an earlier line may
  // end on this one.
  tokens_ = tokenize(text_);
  return count_brackets(tokens_).complete();
}

void Entry::clear() {
  text_.clear();
  tokens_.clear();
  open_ = false;
}

const ExprStmt* shown_statement(const Block& statements) {
  if (statements.size() != 1 || statements.front()->kind != StmtKind::Expr) return nullptr;
  return static_cast<const ExprStmt*>(statements.front().get());
}

std::optional<std::string> shown_text(const Value& value) {
  if (value.is_null() || value.is_error()) return std::nullopt;
  return value.display();
}

}  // namespace veltro::repl
