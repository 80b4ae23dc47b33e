#pragma once
// Recursive-descent parser. It never reports syntax errors: missing parts are
// skipped or replaced as the grammar says, and a token no rule can use is
// skipped, so every input parses in linear time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lexer/token.h"
#include "parser/ast.h"

namespace veltro {

class Parser {
 public:
  // The depth limits are scaled to the stack of the thread that parses (and
  // later runs) the program.
  explicit Parser(const std::vector<Token>& tokens);

  // Statements until EOF.
  [[nodiscard]] Block parse_program();
  // One statement, or none (nullptr) when its required parts are missing.
  [[nodiscard]] StmtPtr parse_statement();
  // Statements until '}' or EOF; the '}' is left for the caller.
  [[nodiscard]] Block parse_block();
  [[nodiscard]] ExprPtr parse_expression();

  // Set when the input nests deeper than the parser allows; parsing then
  // stops and what was built must not be run.
  [[nodiscard]] bool too_deep() const { return !limit_message_.empty(); }
  [[nodiscard]] const std::string& limit_message() const { return limit_message_; }

  [[nodiscard]] std::size_t position() const { return pos_; }

 private:
  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
  int nesting_ = 0;
  int max_nesting_;
  std::uint32_t max_expression_depth_;
  std::string limit_message_;

  const Token& current() const;
  const Token& ahead(std::size_t n) const;
  [[nodiscard]] bool check(TokenType type) const { return current().type == type; }
  bool expect(TokenType type);
  void advance() { ++pos_; }
  void skip_semicolon();

  bool enter();  // false once the nesting limit is passed
  void leave() { --nesting_; }
  ExprPtr limit_tree(ExprPtr expr);

  void parse_list(std::vector<ExprPtr>& out);
  ExprPtr parse_or();
  ExprPtr parse_and();
  ExprPtr parse_equality();
  ExprPtr parse_comparison();
  ExprPtr parse_range();
  ExprPtr parse_additive();
  ExprPtr parse_multiplicative();
  ExprPtr parse_power();
  ExprPtr parse_unary();
  ExprPtr parse_postfix();
  ExprPtr parse_primary();
  ExprPtr make_call(ExprPtr callee, std::vector<ExprPtr> args);

  StmtPtr parse_let();
  StmtPtr parse_def();
  StmtPtr parse_return();
  StmtPtr parse_if();
  StmtPtr parse_while();
  StmtPtr parse_for();
  StmtPtr parse_match();
  StmtPtr parse_try();
  StmtPtr parse_global();
  StmtPtr parse_use();
  bool parse_braced_block(Block& out);
};

}  // namespace veltro
