#pragma once
// One source file as the checker sees it: its tokens with their places, the
// tree the parser built, and what the parser dropped on the way.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checker/finding.h"
#include "lexer/lexer.h"
#include "parser/ast.h"
#include "parser/parser.h"

namespace veltro::check {

// Token indices [first, end) of a node.
struct NodeSpan {
  std::size_t first = 0;
  std::size_t end = 0;
};

struct DropEvent {
  ParseListener::Drop what;
  std::size_t first;
  std::size_t at;
  TokenType expected;
};

class Unit final : public ParseListener {
 public:
  // Tokenizes and parses `text`; `path` is the name findings carry.
  Unit(std::string path, std::string text);
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;
  ~Unit() override;

  const std::string& path() const { return path_; }
  std::string_view text() const { return text_; }
  const std::vector<Token>& tokens() const { return tokens_; }
  const TokenMap& map() const { return map_; }
  const Block& program() const { return program_; }
  const std::vector<DropEvent>& drops() const { return drops_; }
  bool too_deep() const { return too_deep_; }
  const std::string& limit_message() const { return limit_message_; }

  const Token& token(std::size_t index) const;
  const SourceSpan& place(std::size_t index) const;
  // The source text of tokens [first, end), as written.
  std::string_view source(std::size_t first, std::size_t end) const;

  NodeSpan span(const Stmt& stmt) const;
  NodeSpan span(const Expr& expr) const;

  // A finding covering tokens [first, end) (an empty range: the token at first).
  Finding finding(Code code, std::size_t first, std::size_t end, std::string message) const;
  Finding finding(Code code, const SourceSpan& where, std::string message) const;

  // Findings whose first token lies in a suppressed range are dropped: the
  // tokens there are the wreckage of a construct already reported.
  void suppress(std::size_t first, std::size_t end);
  bool suppressed(std::size_t token) const;

  // The first token after the line of token `index`.
  std::size_t line_end(std::size_t index) const;
  // The first `{` at or after token `index` (the EOF token when none).
  std::size_t next_brace(std::size_t index) const;

  // The index of the token that closes the bracket or brace at `open`,
  // pairing every closing token with the innermost open one (the EOF token
  // when none does).
  std::size_t matching_close(std::size_t open) const;

  void dropped(Drop what, std::size_t first, std::size_t at, TokenType expected) override;
  void node(const Stmt& stmt, std::size_t first, std::size_t end) override;
  void node(const Expr& expr, std::size_t first, std::size_t end) override;

 private:
  std::string path_;
  std::string text_;
  std::vector<Token> tokens_;
  TokenMap map_;
  Block program_;
  std::vector<DropEvent> drops_;
  // Node addresses with their spans, sorted by address once parsing is done.
  // An address the parser freed and used again appears twice; the later
  // entry is the node in the tree.
  using Spans = std::vector<std::pair<const void*, NodeSpan>>;
  Spans stmt_spans_;
  Spans expr_spans_;
  static void settle(Spans& spans);
  static NodeSpan find(const Spans& spans, const void* node);
  mutable std::vector<NodeSpan> suppressed_;
  mutable bool merged_ = true;
  mutable std::vector<std::size_t> closes_;
  mutable std::vector<std::size_t> line_ends_;
  mutable std::vector<std::size_t> next_braces_;
  bool too_deep_ = false;
  std::string limit_message_;
};

}  // namespace veltro::check
