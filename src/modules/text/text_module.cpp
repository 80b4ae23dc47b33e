#include "modules/text/text_module.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "modules/text/messages.h"
#include "runtime/limits.h"
#include "runtime/text.h"

namespace veltro {

namespace msg = text_messages;

namespace {

std::optional<Value> check(std::span<const Value> args, std::string_view function, std::string_view kinds) {
  return check_arguments(args, function, kinds, msg::kArguments);
}

Value too_long(std::string_view function) {
  return Value::error(fmt::format(msg::kTooLong, function, limits::kMaxBuiltStringBytes));
}

// Whether base + count * each bytes may be built (computed without overflow).
bool grown_fits(std::size_t base, std::size_t count, std::size_t each) {
  if (base > limits::kMaxBuiltStringBytes) return false;
  if (each != 0 && count > (limits::kMaxBuiltStringBytes - base) / each) return false;
  return built_string_fits(base + count * each);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Characters (code points) in a UTF-8 text: every byte that does not
// continue a sequence starts one.
std::size_t character_count(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The byte length of each character in turn, as the decoder reads them.
template <class F>
void each_character(std::string_view s, F&& f) {
  for (std::size_t pos = 0; pos < s.size();) {
    std::size_t length = text::char_length(s, pos);
    f(s.substr(pos, length));
    pos += length;
  }
}

// A decimal number: an optional sign, then digits with an optional point
// ("12", "1.5", "3.", ".5"); no exponent, no other base.
Value parse_decimal(std::string_view t) {
  std::string_view body = t;
  bool negative = false;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  std::size_t point = std::string_view::npos;
  std::size_t digits = 0;
  bool nonzero_whole = false;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (is_digit(body[i])) {
      ++digits;
      if (point == std::string_view::npos && body[i] != '0') nonzero_whole = true;
    } else if (body[i] == '.' && point == std::string_view::npos) {
      point = i;
    } else {
      return Value::null();
    }
  }
  if (digits == 0) return Value::null();
  // from_chars takes a minus sign but no plus sign.
  std::string_view signed_body = negative ? t.substr(t.size() - body.size() - 1) : body;
  const char* first = signed_body.data();
  const char* last = first + signed_body.size();
  if (point == std::string_view::npos) {
    std::int64_t value = 0;
    auto r = std::from_chars(first, last, value);
    if (r.ec == std::errc{} && r.ptr == last) return Value::number(value);
    // Beyond the 64-bit range: the nearest double, as number literals do.
  }
  double value = 0.0;
  auto r = std::from_chars(first, last, value);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large for a double, or so small that it rounds to zero.
    value = nonzero_whole ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
  }
  return Value::real(value);
}

Value text_to_number(std::span<const Value> args) {
  if (auto bad = check(args, "to_number", "s")) return *bad;
  return parse_decimal(text::trim(args[0].as_string()));
}

Value text_join(std::span<const Value> args) {
  if (auto bad = check(args, "join", "as")) return *bad;
  const std::string& separator = args[1].as_string();
  std::string out;
  bool first = true;
  for (const Value& item : args[0].as_array()) {
    if (!first) out += separator;
    first = false;
    item.append_display(out);
    if (!built_string_fits(out.size())) return too_long("join");
  }
  return Value::string(std::move(out));
}

Value text_split_lines(std::span<const Value> args) {
  if (auto bad = check(args, "split_lines", "s")) return *bad;
  std::string_view s = args[0].as_string();
  std::vector<Value> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\n' && s[i] != '\r') continue;
    lines.push_back(Value::string(s.substr(start, i - start)));
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    start = i + 1;
  }
  // A last line without a line end; a line end at the very end starts none.
  if (start < s.size()) lines.push_back(Value::string(s.substr(start)));
  return Value::array(std::move(lines));
}

Value text_trim(std::span<const Value> args) {
  if (auto bad = check(args, "trim", "s")) return *bad;
  return Value::string(text::trim(args[0].as_string()));
}

Value text_replace(std::span<const Value> args) {
  if (auto bad = check(args, "replace", "sss")) return *bad;
  std::string_view s = args[0].as_string();
  std::string_view old_part = args[1].as_string();
  std::string_view new_part = args[2].as_string();
  std::string out;
  if (old_part.empty()) {
    // The empty string occurs at every character boundary, both ends included.
    if (!grown_fits(s.size(), character_count(s) + 1, new_part.size())) return too_long("replace");
    out += new_part;
    each_character(s, [&](std::string_view ch) {
      out += ch;
      out += new_part;
    });
    return Value::string(std::move(out));
  }
  std::vector<std::size_t> found;
  for (std::size_t at = s.find(old_part); at != std::string_view::npos; at = s.find(old_part, at + old_part.size())) {
    found.push_back(at);
  }
  // The result is never longer than the text when new is no longer than old.
  if (new_part.size() > old_part.size() &&
      !grown_fits(s.size(), found.size(), new_part.size() - old_part.size())) {
    return too_long("replace");
  }
  std::size_t start = 0;
  for (std::size_t at : found) {
    out.append(s.substr(start, at - start));
    out.append(new_part);
    start = at + old_part.size();
  }
  out.append(s.substr(start));
  return Value::string(std::move(out));
}

Value text_repeat(std::span<const Value> args) {
  if (auto bad = check(args, "repeat", "si")) return *bad;
  const std::string& s = args[0].as_string();
  std::int64_t count = args[1].as_number();
  if (count < 0) return Value::error(fmt::format(msg::kNegativeRepeat, count));
  if (s.empty() || count == 0) return Value::string(std::string());
  if (!grown_fits(0, static_cast<std::uint64_t>(count), s.size())) return too_long("repeat");
  std::string out;
  out.reserve(s.size() * static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) out += s;
  return Value::string(std::move(out));
}

Value text_find(std::span<const Value> args) {
  if (auto bad = check(args, "find", "ss")) return *bad;
  std::string_view s = args[0].as_string();
  std::size_t at = s.find(args[1].as_string());
  if (at == std::string_view::npos) return Value::number(-1);
  return Value::number(static_cast<std::int64_t>(character_count(s.substr(0, at))));
}

Value text_starts_with(std::span<const Value> args) {
  if (auto bad = check(args, "starts_with", "ss")) return *bad;
  return Value::boolean(std::string_view(args[0].as_string()).starts_with(args[1].as_string()));
}

Value text_ends_with(std::span<const Value> args) {
  if (auto bad = check(args, "ends_with", "ss")) return *bad;
  return Value::boolean(std::string_view(args[0].as_string()).ends_with(args[1].as_string()));
}

Value text_compare(std::span<const Value> args) {
  if (auto bad = check(args, "compare", "ss")) return *bad;
  // Bytes compare as unsigned, and UTF-8 keeps the order of code points.
  int order = args[0].as_string().compare(args[1].as_string());
  return Value::number(order < 0 ? -1 : order > 0 ? 1 : 0);
}

Value text_chars(std::span<const Value> args) {
  if (auto bad = check(args, "chars", "s")) return *bad;
  std::vector<Value> chars;
  each_character(args[0].as_string(), [&](std::string_view ch) { chars.push_back(Value::string(ch)); });
  return Value::array(std::move(chars));
}

Value text_code(std::span<const Value> args) {
  if (auto bad = check(args, "code", "s")) return *bad;
  std::string_view s = args[0].as_string();
  std::size_t length = 0;
  char32_t cp = s.empty() ? 0 : text::decode_utf8(s, 0, length);
  if (s.empty() || length != s.size()) return Value::error(fmt::format(msg::kNotOneCharacter, character_count(s)));
  return Value::number(cp);
}

Value text_char(std::span<const Value> args) {
  if (auto bad = check(args, "char", "i")) return *bad;
  std::int64_t cp = args[0].as_number();
  if (cp < 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return Value::error(fmt::format(msg::kNotCodePoint, cp));
  }
  std::string out;
  text::append_utf8(out, static_cast<char32_t>(cp));
  return Value::string(std::move(out));
}

Value text_fixed(std::span<const Value> args) {
  if (auto bad = check(args, "fixed", "ni")) return *bad;
  std::int64_t digits = args[1].as_number();
  if (digits < 0 || digits > limits::kMaxFixedDigits) {
    return Value::error(fmt::format(msg::kFixedDigits, limits::kMaxFixedDigits, digits));
  }
  if (args[0].is_integer()) {
    // Exact, without a trip through a double.
    std::string out = fmt::format("{}", args[0].as_number());
    if (digits > 0) {
      out.push_back('.');
      out.append(static_cast<std::size_t>(digits), '0');
    }
    return Value::string(std::move(out));
  }
  double x = args[0].as_float();
  if (!std::isfinite(x)) return Value::string(text::float_display(x));
  // The exact binary value, correctly rounded (an exact tie to even): at
  // most 309 digits before the point, kMaxFixedDigits after it.
  char buffer[320 + limits::kMaxFixedDigits];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, static_cast<int>(digits));
  return Value::string(std::string_view(buffer, static_cast<std::size_t>(r.ptr - buffer)));
}

std::string unknown_function(std::string_view function) { return fmt::format(msg::kNoSuchFunction, function); }

}  // namespace

const NativeModule& text_module() {
  static constexpr NativeFunction kFunctions[] = {
      {"text.to_number", without_state<text_to_number>},
      {"text.join", without_state<text_join>},
      {"text.split_lines", without_state<text_split_lines>},
      {"text.trim", without_state<text_trim>},
      {"text.replace", without_state<text_replace>},
      {"text.repeat", without_state<text_repeat>},
      {"text.find", without_state<text_find>},
      {"text.starts_with", without_state<text_starts_with>},
      {"text.ends_with", without_state<text_ends_with>},
      {"text.compare", without_state<text_compare>},
      {"text.chars", without_state<text_chars>},
      {"text.code", without_state<text_code>},
      {"text.char", without_state<text_char>},
      {"text.fixed", without_state<text_fixed>},
  };
  static const NativeModule kModule{
      .name = "text", .functions = kFunctions, .unknown_function = unknown_function, .owns_name = false};
  return kModule;
}

}  // namespace veltro
