// Characters the lexer skips and integer literals it reads as floats.
#include <fmt/format.h>

#include <algorithm>
#include <string>

#include "checker/rules.h"
#include "runtime/text.h"

namespace veltro::check {

namespace {

constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";

// `@`, or U+00A0 for characters that do not print plainly.
std::string describe_character(char32_t cp) {
  if (cp > 0x20 && cp < 0x7f) return fmt::format("`{}`", static_cast<char>(cp));
  return fmt::format("U+{:04X}", static_cast<std::uint32_t>(cp));
}

std::vector<char32_t> characters(std::string_view run) {
  std::vector<char32_t> out;
  for (std::size_t pos = 0; pos < run.size();) {
    std::size_t length = 1;
    out.push_back(text::decode_utf8(run, pos, length));
    pos += length;
  }
  return out;
}

bool only(const std::vector<char32_t>& chars, std::u32string_view allowed) {
  return std::all_of(chars.begin(), chars.end(),
                     [&](char32_t c) { return allowed.find(c) != std::u32string_view::npos; });
}

bool is_single_quote(const Unit& unit, const SourceSpan& run) {
  return run.length == 1 && unit.text()[run.offset] == '\'';
}

void skipped_run(const Unit& unit, const SourceSpan& where, std::vector<Finding>& out) {
  std::string_view run = unit.text().substr(where.offset, where.length);
  SourceSpan place = where;
  if (where.offset == 0 && run.starts_with(kByteOrderMark)) {  // a byte order mark is harmless
    run.remove_prefix(kByteOrderMark.size());
    if (run.empty()) return;
    place.offset += kByteOrderMark.size();
    place.column += 1;
  }
  auto chars = characters(run);
  if (only(chars, U"&|")) {
    bool has_and = run.find('&') != std::string_view::npos;
    bool has_or = run.find('|') != std::string_view::npos;
    std::string_view word = has_and && has_or ? "`and` or `or`" : has_and ? "`and`" : "`or`";
    out.push_back(unit.finding(Code::LogicalOperator, place,
                               fmt::format("{} is not an operator and is skipped, so the expressions on either side "
                                           "stand apart; write {}",
                                           quote(run), word)));
    return;
  }
  if (only(chars, U"'")) {
    out.push_back(unit.finding(Code::SingleQuote, place,
                               "a single quote is skipped, so what it encloses is read as code; strings take double "
                               "quotes (\"text\")"));
    return;
  }
  // A letter that cannot begin a name, directly followed by the rest of one.
  if (chars.size() == 1 && chars[0] >= 0x80 && text::is_alphanumeric(chars[0])) {
    std::size_t end = place.offset + place.length;
    const auto& tokens = unit.map().tokens;
    auto next = std::lower_bound(tokens.begin(), tokens.end(), end,
                                 [](const SourceSpan& s, std::size_t offset) { return s.offset < offset; });
    if (next != tokens.end() && next->offset == end &&
        unit.tokens()[static_cast<std::size_t>(next - tokens.begin())].type == TokenType::Identifier) {
      out.push_back(unit.finding(
          Code::SkippedCharacter, place,
          fmt::format("{} cannot begin a name and is skipped, so the name reads {}; names begin with an ASCII "
                      "letter or `_`",
                      quote(run), quote(unit.text().substr(next->offset, next->length)))));
      return;
    }
  }
  std::vector<char32_t> distinct;
  for (char32_t c : chars) {
    if (std::find(distinct.begin(), distinct.end(), c) == distinct.end()) distinct.push_back(c);
  }
  std::string names;
  for (std::size_t i = 0; i < distinct.size() && i < 3; ++i) {
    if (i) names += ", ";
    names += describe_character(distinct[i]);
  }
  if (distinct.size() > 3) names += ", …";
  std::string hint;
  if (only(chars, U"^")) hint = "; powers are written `**`";
  if (chars.size() == 1 && chars[0] >= 0x80 && text::is_alphanumeric(chars[0])) {
    hint = "; names begin with an ASCII letter or `_`";
  }
  std::string what = chars.size() == 1
                         ? "is not part of the language and is skipped"
                         : fmt::format("{} characters the language does not know are skipped", chars.size());
  if (chars.size() == 1) {
    out.push_back(unit.finding(Code::SkippedCharacter, place, fmt::format("{} {}{}", names, what, hint)));
  } else {
    out.push_back(unit.finding(Code::SkippedCharacter, place, fmt::format("{}: {}{}", what, names, hint)));
  }
}

}  // namespace

void check_lexical(Unit& unit, std::vector<Finding>& out) {
  const auto& runs = unit.map().skipped;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    // 'text' on one line: one finding, and quiet about the words inside.
    if (i + 1 < runs.size() && is_single_quote(unit, runs[i]) && is_single_quote(unit, runs[i + 1]) &&
        runs[i].line == runs[i + 1].line) {
      const SourceSpan& open = runs[i];
      const SourceSpan& close = runs[i + 1];
      SourceSpan whole = open;
      whole.length = close.offset + close.length - open.offset;
      whole.end_line = close.end_line;
      whole.end_column = close.end_column;
      std::string_view inside = unit.text().substr(open.offset + 1, close.offset - open.offset - 1);
      out.push_back(unit.finding(Code::SingleQuote, whole,
                                 fmt::format("{} is not a string: single quotes are skipped, so what they enclose "
                                             "is read as code; write \"{}\"",
                                             quote(unit.text().substr(whole.offset, whole.length)), inside)));
      const auto& tokens = unit.map().tokens;
      auto by_offset = [](const SourceSpan& t, std::size_t offset) { return t.offset < offset; };
      auto first = std::lower_bound(tokens.begin(), tokens.end(), open.offset, by_offset);
      auto end = std::lower_bound(tokens.begin(), tokens.end(), close.offset, by_offset);
      unit.suppress(static_cast<std::size_t>(first - tokens.begin()), static_cast<std::size_t>(end - tokens.begin()));
      ++i;
      continue;
    }
    skipped_run(unit, runs[i], out);
  }
  const auto& tokens = unit.tokens();
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].type != TokenType::Float) continue;
    std::string_view written = unit.source(i, i + 1);
    if (written.find('.') != std::string_view::npos) continue;
    out.push_back(unit.finding(Code::IntegerTooLarge, i, i + 1,
                               fmt::format("{} is beyond the 64-bit integer range and is read as the float {}",
                                           quote(written), text::float_display(tokens[i].real))));
  }
}

}  // namespace veltro::check
