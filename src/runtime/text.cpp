#include "runtime/text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <limits>

#include <fmt/format.h>
#include <unicode/uchar.h>
#include <unicode/ucasemap.h>
#include <unicode/utf8.h>

#include "runtime/limits.h"

namespace veltro::text {

namespace {

// NaN and the infinities read the same in every form of a float.
bool append_non_finite(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
  } else {
    return false;
  }
  return true;
}

}  // namespace

void append_float_display(std::string& out, double value) {
  if (append_non_finite(out, value)) return;
  // The shortest digits that read back as the same double come from the
  // exponent form; fixed notation would spell out the exact binary expansion
  // of large values (99999999999999991611392 for 1e23).
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  std::size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
  // The value is 0.d1d2d3... times ten to the power of `point`.
  const long point = exponent + 1L;
  const auto count = static_cast<long>(digits.size());
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  } else if (point >= count) {
    out += digits;
    out.append(static_cast<std::size_t>(point - count), '0');
  } else {
    out.append(digits, 0, static_cast<std::size_t>(point));
    out += '.';
    out.append(digits, static_cast<std::size_t>(point));
  }
}

std::string float_display(double value) {
  std::string out;
  append_float_display(out, value);
  return out;
}

void append_float_debug(std::string& out, double value) {
  if (append_non_finite(out, value)) return;
  double magnitude = std::fabs(value);
  char buffer[400];
  if (magnitude >= 1e16 || (magnitude != 0.0 && magnitude < 1e-4)) {
    // Shortest digits in exponent form, written as 1e16, 1.5e-7.
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    std::size_t e = text.find('e');
    out.append(text.substr(0, e));
    out += 'e';
    std::string_view exponent = text.substr(e + 1);
    if (!exponent.empty() && exponent[0] == '+') exponent.remove_prefix(1);
    if (!exponent.empty() && exponent[0] == '-') {
      out += '-';
      exponent.remove_prefix(1);
    }
    while (exponent.size() > 1 && exponent[0] == '0') exponent.remove_prefix(1);
    out.append(exponent);
    return;
  }
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  out.append(text);
  if (text.find('.') == std::string_view::npos) out += ".0";
}

void append_quoted(std::string& out, std::string_view value) {
  out += '"';
  std::size_t pos = 0;
  while (pos < value.size()) {
    unsigned char c = static_cast<unsigned char>(value[pos]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        default:
          if (c < 0x20 || c == 0x7f) {
            out += fmt::format("\\u{{{:x}}}", c);
          } else {
            out += static_cast<char>(c);
          }
      }
      ++pos;
      continue;
    }
    std::size_t length = 0;
    char32_t cp = decode_utf8(value, pos, length);
    if (cp >= 0x80 && cp < 0xa0) {
      out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
    } else {
      out.append(value.substr(pos, length));
    }
    pos += length;
  }
  out += '"';
}

namespace {

// The character at text[pos], read from at most the four bytes one can take:
// negative for an ill-formed sequence, with `length` covering its maximal
// well-formed prefix (at least 1 byte).
UChar32 next_utf8(std::string_view text, std::size_t pos, std::size_t& length) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data() + pos);
  auto n = static_cast<std::int32_t>(std::min<std::size_t>(text.size() - pos, 4));
  std::int32_t i = 0;
  UChar32 c;
  U8_NEXT(s, i, n, c);
  length = static_cast<std::size_t>(i);
  return c;
}

}  // namespace

char32_t decode_utf8(std::string_view text, std::size_t pos, std::size_t& length) {
  UChar32 c = next_utf8(text, pos, length);
  if (c >= 0) return static_cast<char32_t>(c);
  length = 1;
  return 0xfffd;
}

char32_t decode_utf8_lossy(std::string_view text, std::size_t pos, std::size_t& length) {
  UChar32 c = next_utf8(text, pos, length);
  return c >= 0 ? static_cast<char32_t>(c) : 0xfffd;
}

void append_utf8(std::string& out, char32_t cp) {
  std::uint8_t bytes[U8_MAX_LENGTH];
  std::int32_t n = 0;
  U8_APPEND_UNSAFE(bytes, n, static_cast<UChar32>(cp));
  out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(n));
}

bool is_valid_utf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      ++pos;
      continue;
    }
    std::size_t length = 0;
    char32_t cp = decode_utf8(text, pos, length);
    if (cp == 0xfffd && length == 1) return false;
    pos += length;
  }
  return true;
}

bool is_alphanumeric(char32_t cp) {
  UChar32 c = static_cast<UChar32>(cp);
  if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) return true;
  switch (u_charType(c)) {
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
      return true;
    default:
      return false;
  }
}

bool is_white_space(char32_t cp) { return u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_WHITE_SPACE); }

std::string_view trim(std::string_view text) {
  std::size_t start = text.size();
  std::size_t end = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t length = 0;
    char32_t cp = decode_utf8(text, pos, length);
    if (!is_white_space(cp)) {
      if (start == text.size()) start = pos;
      end = pos + length;
    }
    pos += length;
  }
  if (start == text.size()) return text.substr(0, 0);
  return text.substr(start, end - start);
}

namespace {

bool is_ascii(std::string_view input) {
  for (char c : input) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// ICU takes lengths as 32-bit integers: maps one piece of at most
// limits::kCaseMapMaxChunkBytes, whose mapping cannot outgrow that type.
bool map_piece(UCaseMap* map, bool upper, std::string_view piece, std::string& out) {
  auto convert = [&](char* dest, std::int32_t capacity, UErrorCode& status) {
    auto fn = upper ? ucasemap_utf8ToUpper : ucasemap_utf8ToLower;
    return fn(map, dest, capacity, piece.data(), static_cast<std::int32_t>(piece.size()), &status);
  };
  std::size_t base = out.size();
  out.resize(base + piece.size() + 16);
  UErrorCode status = U_ZERO_ERROR;
  std::int32_t length = convert(out.data() + base, static_cast<std::int32_t>(piece.size() + 16), status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(base + static_cast<std::size_t>(length));
    status = U_ZERO_ERROR;
    length = convert(out.data() + base, length, status);
  }
  if (U_FAILURE(status)) return false;
  out.resize(base + static_cast<std::size_t>(length));
  return true;
}

// The character that ends at text[end] (U+FFFD for a stray byte).
char32_t char_before(std::string_view text, std::size_t end) {
  for (std::size_t back = 1; back <= 4 && back <= end; ++back) {
    unsigned char c = static_cast<unsigned char>(text[end - back]);
    if (c >= 0x80 && c < 0xc0) continue;  // a continuation byte
    std::size_t length = 0;
    char32_t cp = decode_utf8(text, end - back, length);
    return end - back + length == end ? cp : 0xfffd;
  }
  return 0xfffd;
}

// A character that ends the context of a final sigma: the mapping of any
// character on one side of it does not depend on the other side.
bool ends_case_context(char32_t cp) {
  return cp != 0x3a3 && !u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_CASE_IGNORABLE);
}

// The first place at or after `from` where the text can be cut without
// changing how either side maps: between two characters that both end the
// context. Past `limit` any boundary between two characters will do.
std::size_t cut_point(std::string_view text, std::size_t from, std::size_t limit) {
  std::size_t pos = from;
  // Never inside a character.
  for (int i = 0; i < 3 && pos < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80 || c >= 0xc0) break;
    ++pos;
  }
  char32_t before = char_before(text, pos);
  while (pos < text.size()) {
    std::size_t length = 0;
    char32_t after = decode_utf8(text, pos, length);
    if (pos >= limit || (ends_case_context(before) && ends_case_context(after))) return pos;
    before = after;
    pos += length;
  }
  return pos;
}

std::string map_case(std::string_view input, bool upper, std::size_t chunk_bytes) {
  // ASCII maps to ASCII under full case mapping: no need for ICU then.
  if (is_ascii(input)) {
    std::string out(input);
    for (char& c : out) {
      if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  UErrorCode status = U_ZERO_ERROR;
  UCaseMap* map = ucasemap_open("", 0, &status);
  if (U_FAILURE(status)) return std::string(input);
  chunk_bytes = std::clamp<std::size_t>(chunk_bytes, 1, limits::kCaseMapMaxChunkBytes / 2);
  std::string out;
  out.reserve(input.size());
  bool ok = true;
  std::size_t pos = 0;
  while (ok && pos < input.size()) {
    std::size_t end = input.size();
    if (end - pos > chunk_bytes) {
      // The forced cut stays a few bytes short of the maximum piece, so that
      // stepping to the end of a character cannot pass it.
      std::size_t limit = pos + limits::kCaseMapMaxChunkBytes - 4;
      end = cut_point(input, pos + chunk_bytes, std::min(limit, input.size()));
    }
    ok = map_piece(map, upper, input.substr(pos, end - pos), out);
    pos = end;
  }
  ucasemap_close(map);
  if (!ok) return std::string(input);
  return out;
}

}  // namespace

std::string to_upper(std::string_view text, std::size_t chunk_bytes) { return map_case(text, true, chunk_bytes); }
std::string to_lower(std::string_view text, std::size_t chunk_bytes) { return map_case(text, false, chunk_bytes); }

std::int64_t saturating_trunc(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  if (value < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

std::string os_error(int code) {
  char buffer[256];
  const char* message = strerror_r(code, buffer, sizeof buffer);
  return fmt::format("{} (os error {})", message, code);
}

}  // namespace veltro::text
