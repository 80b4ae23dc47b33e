#pragma once
// Places in a text as the protocol counts them: zero-based lines ended by
// "\n", "\r\n" or "\r", and columns in UTF-16 code units or, when the client
// offers it, in bytes of UTF-8. The lexer counts differently (lines end at
// "\n" only, columns in characters from 1); both are turned into byte offsets
// here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltro::lsp {

enum class Encoding : std::uint8_t { Utf16, Utf8 };

struct Position {
  std::uint32_t line = 0;
  std::uint32_t character = 0;
  bool operator==(const Position&) const = default;
};

class LineIndex {
 public:
  // Keeps a view of `text`, which must outlive the index.
  explicit LineIndex(std::string_view text);

  [[nodiscard]] std::string_view text() const { return text_; }
  [[nodiscard]] std::size_t line_count() const { return lines_.size(); }

  // The byte offset of a position. A line past the last is the end of the
  // text; a column past the end of its line is the end of the line; a column
  // inside a character (half of a surrogate pair) is the character's start.
  [[nodiscard]] std::size_t offset(Position position, Encoding encoding) const;
  // The position of a byte offset (clamped to the text).
  [[nodiscard]] Position position(std::size_t offset, Encoding encoding) const;

  // The byte offset of a place as the lexer reports it: 1-based line and
  // column, lines ended by "\n" only, columns counting characters.
  [[nodiscard]] std::size_t offset_of_place(std::uint32_t line, std::uint32_t column) const;

  // Bytes [first, end) of the protocol line holding `offset`, without its
  // line break.
  [[nodiscard]] std::string_view line_at(std::size_t offset) const;

 private:
  std::string_view text_;
  std::vector<std::size_t> lines_;        // where each protocol line starts
  std::vector<std::size_t> lexer_lines_;  // where each lexer line starts
  [[nodiscard]] std::size_t line_end(std::size_t line) const;
};

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD.
[[nodiscard]] std::string valid_utf8(std::string_view text);

}  // namespace veltro::lsp
