#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "lexer/token.h"

namespace veltro {

// Turns source text into tokens ending with one EOF token. Never fails:
// characters the language does not know are skipped.
[[nodiscard]] std::vector<Token> tokenize(std::string_view source);

// The 21 keywords ("let", "def", ...), for tools that offer words to type.
[[nodiscard]] std::vector<std::string_view> keywords();

// Where a piece of the source lies: bytes [offset, offset + length), from
// line:column to end_line:end_column (1-based; columns count characters, and
// the end is the position just after the last character).
struct SourceSpan {
  std::size_t offset = 0;
  std::size_t length = 0;
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  std::uint32_t end_line = 1;
  std::uint32_t end_column = 1;
};

// What tools learn from the lexer beyond the tokens. Recorded only when a
// caller asks for it, so running a script pays nothing for it.
struct TokenMap {
  std::vector<SourceSpan> tokens;   // one per token, in order (EOF: empty, at the end)
  std::vector<SourceSpan> skipped;  // each run of adjacent characters the lexer skipped
};

// The same tokens as tokenize(source), and their places in `map`.
[[nodiscard]] std::vector<Token> tokenize(std::string_view source, TokenMap& map);

}  // namespace veltro
