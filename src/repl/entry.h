#pragma once
// An entry typed at the interactive prompt: lines gathered until their
// brackets balance, counted on the lexer's tokens so that brackets inside
// strings and comments do not count; and what the entry shows of its value.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"
#include "lexer/token.h"
#include "parser/ast.h"

namespace veltro::repl {

// Openers minus closers of each kind of bracket.
struct BracketDepth {
  std::int64_t paren = 0;
  std::int64_t bracket = 0;
  std::int64_t brace = 0;
  bool overclosed = false;  // some kind met a closer with none of its openers left

  // Whether an entry with these brackets is whole: every kind balanced, or
  // one closed more than it opened (the entry then ends at once, and the
  // parser deals with the stray closer).
  [[nodiscard]] bool complete() const noexcept { return overclosed || (paren == 0 && bracket == 0 && brace == 0); }
};

[[nodiscard]] BracketDepth count_brackets(std::span<const Token> tokens);

class Entry {
 public:
  // Adds a typed line (without its line feed); true when the entry is whole.
  bool add_line(std::string_view line);

  // Whether a line has been added since the last clear.
  [[nodiscard]] bool open() const noexcept { return open_; }
  // The lines so far, joined by line feeds.
  [[nodiscard]] const std::string& text() const noexcept { return text_; }
  // The tokens of the whole text, as of the last add_line.
  [[nodiscard]] const std::vector<Token>& tokens() const noexcept { return tokens_; }

  void clear();

 private:
  std::string text_;
  std::vector<Token> tokens_;
  bool open_ = false;
};

// The statement whose value an entry shows: its only statement, when that
// is an expression statement; nullptr otherwise.
[[nodiscard]] const ExprStmt* shown_statement(const Block& statements);

// What the entry shows for that statement's value: its display form, or
// nothing for Null (print and every other call that returns nothing) and
// for a failure, which was reported as it happened.
[[nodiscard]] std::optional<std::string> shown_text(const Value& value);

}  // namespace veltro::repl
