#include "lsp/positions.h"

#include <algorithm>

#include "runtime/text.h"

namespace veltro::lsp {

namespace {

// The character at text[pos]: its length in bytes and in the encoding's units.
struct Step {
  std::size_t bytes;
  std::uint32_t units;
};

Step step(std::string_view text, std::size_t pos, Encoding encoding) {
  std::size_t length = 1;
  char32_t cp = text::decode_utf8(text, pos, length);
  switch (encoding) {
    case Encoding::Utf8: return {length, static_cast<std::uint32_t>(length)};
    case Encoding::Utf16: return {length, cp >= 0x10000 ? 2u : 1u};
  }
  return {length, 1};
}

}  // namespace

LineIndex::LineIndex(std::string_view text) : text_(text) {
  lines_.push_back(0);
  lexer_lines_.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines_.push_back(i + 1);
      lexer_lines_.push_back(i + 1);
    } else if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) {
      lines_.push_back(i + 1);
    }
  }
}

std::size_t LineIndex::line_end(std::size_t line) const {
  std::size_t end = line + 1 < lines_.size() ? lines_[line + 1] : text_.size();
  if (end > lines_[line] && text_[end - 1] == '\n') --end;
  if (end > lines_[line] && text_[end - 1] == '\r') --end;
  return end;
}

std::size_t LineIndex::offset(Position position, Encoding encoding) const {
  if (position.line >= lines_.size()) return text_.size();
  std::size_t pos = lines_[position.line];
  std::size_t end = line_end(position.line);
  std::uint32_t units = 0;
  while (pos < end) {
    Step s = step(text_, pos, encoding);
    if (units + s.units > position.character) break;
    units += s.units;
    pos += s.bytes;
  }
  return std::min(pos, end);
}

Position LineIndex::position(std::size_t offset, Encoding encoding) const {
  offset = std::min(offset, text_.size());
  auto it = std::upper_bound(lines_.begin(), lines_.end(), offset);
  auto line = static_cast<std::size_t>(it - lines_.begin()) - 1;
  std::size_t end = std::min(offset, line_end(line));
  Position result{static_cast<std::uint32_t>(line), 0};
  for (std::size_t pos = lines_[line]; pos < end;) {
    Step s = step(text_, pos, encoding);
    if (pos + s.bytes > end) break;  // an offset inside a character
    result.character += s.units;
    pos += s.bytes;
  }
  return result;
}

std::size_t LineIndex::offset_of_place(std::uint32_t line, std::uint32_t column) const {
  if (line == 0) return 0;
  if (line > lexer_lines_.size()) return text_.size();
  std::size_t pos = lexer_lines_[line - 1];
  for (std::uint32_t counted = 1; counted < column && pos < text_.size() && text_[pos] != '\n';) {
    ++pos;
    if (pos >= text_.size() || (static_cast<unsigned char>(text_[pos]) & 0xc0) != 0x80) ++counted;
  }
  // A column counts the first byte of each character: land on a character's start.
  while (pos < text_.size() && (static_cast<unsigned char>(text_[pos]) & 0xc0) == 0x80) ++pos;
  return pos;
}

std::string_view LineIndex::line_at(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  auto it = std::upper_bound(lines_.begin(), lines_.end(), offset);
  auto line = static_cast<std::size_t>(it - lines_.begin()) - 1;
  return text_.substr(lines_[line], line_end(line) - lines_[line]);
}

std::string valid_utf8(std::string_view text) {
  if (text::is_valid_utf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = 1;
    char32_t cp = text::decode_utf8_lossy(text, pos, length);
    if (cp == 0xfffd) {
      text::append_utf8(out, cp);
    } else {
      out.append(text.substr(pos, length));
    }
    pos += length;
  }
  return out;
}

}  // namespace veltro::lsp
