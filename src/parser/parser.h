#pragma once
// Recursive-descent parser. It never reports syntax errors: missing parts are
// skipped or replaced as the grammar says, and a token no rule can use is
// skipped, so every input parses in linear time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lexer/token.h"
#include "parser/ast.h"

namespace veltro {

// What tools learn from the parser beyond the tree: where each node starts
// and ends, and every token or construct the grammar drops. Positions are
// token indices (a node covers the tokens [first, end)). Only a
// ListeningParser calls one.
class ParseListener {
 public:
  enum class Drop : std::uint8_t {
    StatementToken,  // `at` cannot begin a statement and is skipped
    ListToken,       // `at` is skipped inside an array or argument list (`first`: the opening bracket)
    DictToken,       // `at` stands where a dictionary key must be and is skipped (`first`: the `{`)
    DictKey,         // the key `at` has no `:` after it and is dropped (`first`: the `{`)
    UseToken,        // `at` is skipped inside a use item list
    ArmToken,        // `at` stands where a match pattern must be and is skipped
    ArmPattern,      // the pattern [first, at) has no `=>` after it and is dropped
    MemberDot,       // the `.` at `at` is not followed by a name and is dropped
    Unclosed,        // `expected` is missing at `at`; `first` is the token it would close
    NoStatement,     // the construct begun at `first` gave no statement: `expected` is missing at `at`
    ElseBlock,       // the `else` at `first` has no `{` after it and is dropped
    TooDeep,         // the nesting limit was passed at `at`
  };

  virtual ~ParseListener() = default;
  virtual void dropped(Drop what, std::size_t first, std::size_t at, TokenType expected) = 0;
  virtual void node(const Stmt& stmt, std::size_t first, std::size_t end) = 0;
  virtual void node(const Expr& expr, std::size_t first, std::size_t end) = 0;
};

// The parser comes in two builds of the same code: Parser, which runs
// scripts and spends nothing on listening, and ListeningParser, which tells
// a ParseListener what it sees.
template <bool Listening>
class BasicParser {
 public:
  // The depth limits are scaled to the stack of the thread that parses (and
  // later runs) the program.
  explicit BasicParser(const std::vector<Token>& tokens) requires(!Listening);
  BasicParser(const std::vector<Token>& tokens, ParseListener& listener) requires(Listening);

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
  ParseListener* listener_ = nullptr;   // set when Listening
  TokenType missing_ = TokenType::EOF_;  // what the statement that gave none lacked
  std::size_t list_open_ = 0;            // the bracket of the list parse_list reads next

  StmtPtr fail([[maybe_unused]] TokenType missing) {
    if constexpr (Listening) missing_ = missing;
    return nullptr;
  }

  using Drop = ParseListener::Drop;
  void drop([[maybe_unused]] Drop what, [[maybe_unused]] std::size_t first, [[maybe_unused]] std::size_t at,
            [[maybe_unused]] TokenType expected = TokenType::EOF_) {
    if constexpr (Listening) listener_->dropped(what, first, at, expected);
  }
  // Tells the listener that `node` began at token `first` and ends here.
  template <class Node>
  void mark([[maybe_unused]] const Node& node, [[maybe_unused]] std::size_t first) {
    if constexpr (Listening) listener_->node(node, first, pos_);
  }
  // Consumes `close` if it is there; otherwise tells the listener that the
  // token opened at `open` is never closed.
  void expect_close(TokenType close, std::size_t open);
  StmtPtr parse_statement_here();

  const Token& current() const;
  const Token& ahead(std::size_t n) const;
  [[nodiscard]] bool check(TokenType type) const { return current().type == type; }
  bool expect(TokenType type);
  void advance() { ++pos_; }
  void skip_semicolon();

  bool enter();  // false once the nesting limit is passed
  void leave() { --nesting_; }
  ExprPtr limit_tree(ExprPtr expr);

  // Elements or arguments up to a closing token; a listening parser reports
  // skipped tokens against the opening one, noted in list_open_.
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

using Parser = BasicParser<false>;
using ListeningParser = BasicParser<true>;

extern template class BasicParser<false>;
extern template class BasicParser<true>;

}  // namespace veltro
