#pragma once
// Text helpers shared by the lexer, the syntax tree and the values: number
// formatting, quoting for debug text, UTF-8 decoding and Unicode properties.
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/limits.h"

namespace veltro::text {

// Display form of a double: shortest round-trip text, never in exponent form,
// no fractional part when integral; NaN, inf, -inf.
void append_float_display(std::string& out, double value);
[[nodiscard]] std::string float_display(double value);

// Debug form of a double: at least one fractional digit (1.0), exponent form
// when the magnitude is at least 1e16 or non-zero and below 1e-4 (1e16, 1e-5).
void append_float_debug(std::string& out, double value);

// A string in double quotes with escapes for the quote, the backslash and
// control characters.
void append_quoted(std::string& out, std::string_view value);

// Decodes the UTF-8 sequence at text[pos]; sets `length` to the bytes used.
// An invalid byte decodes as U+FFFD of length 1.
[[nodiscard]] char32_t decode_utf8(std::string_view text, std::size_t pos, std::size_t& length);
// The same, except that an invalid sequence gives U+FFFD with the length of
// its longest valid-looking prefix (at least 1), so one truncated character
// turns into one replacement character.
[[nodiscard]] char32_t decode_utf8_lossy(std::string_view text, std::size_t pos, std::size_t& length);
// The bytes of the character at text[pos], as decode_utf8 reads it.
[[nodiscard]] inline std::size_t char_length(std::string_view text, std::size_t pos) {
  std::size_t length = 1;
  (void)decode_utf8(text, pos, length);
  return length;
}
void append_utf8(std::string& out, char32_t cp);

[[nodiscard]] bool is_valid_utf8(std::string_view text);
// The description of a failed read of bytes that are not UTF-8 text.
inline constexpr std::string_view kInvalidUtf8 = "stream did not contain valid UTF-8";

// Unicode properties (through ICU).
[[nodiscard]] bool is_alphanumeric(char32_t cp);
[[nodiscard]] bool is_white_space(char32_t cp);

// Removes leading and trailing Unicode White_Space.
[[nodiscard]] std::string_view trim(std::string_view text);

// Full Unicode case mapping. Long texts are mapped in pieces of about
// `chunk_bytes`, cut where the mapping of neither side depends on the other.
[[nodiscard]] std::string to_upper(std::string_view text, std::size_t chunk_bytes = limits::kCaseMapChunkBytes);
[[nodiscard]] std::string to_lower(std::string_view text, std::size_t chunk_bytes = limits::kCaseMapChunkBytes);

// Float to integer: truncation toward zero, saturating, NaN gives 0.
[[nodiscard]] std::int64_t saturating_trunc(double value);

// Description of an operating-system error: "No such file or directory (os error 2)".
[[nodiscard]] std::string os_error(int code);

}  // namespace veltro::text
