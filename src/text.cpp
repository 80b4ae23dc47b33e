#include "text.h"

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

namespace veltro::text {

void append_float_display(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  char buffer[400];  // the longest fixed form of a double is a little over 330 characters
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  out.append(buffer, result.ptr);
}

std::string float_display(double value) {
  std::string out;
  append_float_display(out, value);
  return out;
}

void append_float_debug(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
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

std::string quoted(std::string_view value) {
  std::string out;
  append_quoted(out, value);
  return out;
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

std::string map_case(std::string_view input, bool upper) {
  // ASCII maps to ASCII under full case mapping: no need for ICU then.
  bool ascii = true;
  for (char c : input) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
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
  std::string out(input.size() + 16, '\0');
  auto convert = [&](std::string& dest) {
    status = U_ZERO_ERROR;
    auto fn = upper ? ucasemap_utf8ToUpper : ucasemap_utf8ToLower;
    return fn(map, dest.data(), static_cast<int32_t>(dest.size()), input.data(),
              static_cast<int32_t>(input.size()), &status);
  };
  int32_t length = convert(out);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<std::size_t>(length), '\0');
    length = convert(out);
  }
  ucasemap_close(map);
  if (U_FAILURE(status)) return std::string(input);
  out.resize(static_cast<std::size_t>(length));
  return out;
}

}  // namespace

std::string to_upper(std::string_view text) { return map_case(text, true); }
std::string to_lower(std::string_view text) { return map_case(text, false); }

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
