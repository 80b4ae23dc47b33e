#pragma once
// The lexer itself, shared by the plain tokenize (lexer.cpp) and the one that
// also records places (token_map.cpp). Each is compiled in its own file so
// that recording cannot change how the plain one is optimised.
#include <charconv>
#include <string>
#include <type_traits>

#include "lexer/lexer.h"
#include "runtime/text.h"

namespace veltro {

// Internal to the two files that include it: each gets a copy of its own.
namespace {

struct Keyword {
  std::string_view word;
  TokenType type;
};

constexpr Keyword kKeywords[] = {
    {"let", TokenType::Let},       {"def", TokenType::Def},         {"return", TokenType::Return},
    {"if", TokenType::If},         {"else", TokenType::Else},       {"while", TokenType::While},
    {"for", TokenType::For},       {"in", TokenType::In},           {"break", TokenType::Break},
    {"continue", TokenType::Continue}, {"true", TokenType::True},   {"false", TokenType::False},
    {"and", TokenType::And},       {"or", TokenType::Or},           {"not", TokenType::Not},
    {"match", TokenType::Match},   {"try", TokenType::Try},         {"catch", TokenType::Catch},
    {"global", TokenType::Global}, {"use", TokenType::Use},         {"as", TokenType::As},
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Line and column of a byte offset, moved forward through the text only, so
// that placing every token costs one pass over the source.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // Moves to `target` (never backwards) and sets line and column there.
  void advance_to(std::size_t target, std::uint32_t& line, std::uint32_t& column) {
    for (; offset_ < target; ++offset_) {
      auto byte = static_cast<unsigned char>(text_[offset_]);
      if (byte == '\n') {
        ++line_;
        column_ = 1;
      } else if ((byte & 0xc0) != 0x80) {  // not a UTF-8 continuation byte
        ++column_;
      }
    }
    line = line_;
    column = column_;
  }

  SourceSpan span(std::size_t start, std::size_t end) {
    SourceSpan s;
    s.offset = start;
    s.length = end - start;
    advance_to(start, s.line, s.column);
    advance_to(end, s.end_line, s.end_column);
    return s;
  }

 private:
  std::string_view text_;
  std::size_t offset_ = 0;
  std::uint32_t line_ = 1;
  std::uint32_t column_ = 1;
};

struct Recording {
  Recording(std::string_view text, TokenMap* m) : map(m), cursor(text) {}
  TokenMap* map;
  Cursor cursor;
  std::size_t start = 0;  // where the token being read began
};

struct NoRecording {
  NoRecording(std::string_view, TokenMap*) {}
};

// With Record set, the lexer also notes where each token and each skipped
// character lies; the plain instance compiles all of that away.
template <bool Record>
class Lexer {
 public:
  explicit Lexer(std::string_view source, TokenMap* map = nullptr) : src_(source), rec_(source, map) {}

  std::vector<Token> run() {
    while (pos_ < src_.size()) {
      if constexpr (Record) rec_.start = pos_;
      step();
    }
    if constexpr (Record) rec_.start = pos_;
    push(TokenType::EOF_);
    return std::move(tokens_);
  }

 private:
  std::string_view src_;
  std::size_t pos_ = 0;
  std::vector<Token> tokens_;
  [[no_unique_address]] std::conditional_t<Record, Recording, NoRecording> rec_;

  // Notes where the token about to be appended lies (its characters are
  // consumed by now).
  void place() {
    if constexpr (Record) rec_.map->tokens.push_back(rec_.cursor.span(rec_.start, pos_));
  }

  void skipped([[maybe_unused]] std::size_t start, [[maybe_unused]] std::size_t end) {
    if constexpr (Record) {
      auto& runs = rec_.map->skipped;
      if (!runs.empty() && runs.back().offset + runs.back().length == start) {
        SourceSpan& run = runs.back();  // adjacent to the previous run: extend it
        run.length = end - run.offset;
        rec_.cursor.advance_to(end, run.end_line, run.end_column);
      } else {
        runs.push_back(rec_.cursor.span(start, end));
      }
    }
  }

  char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < src_.size() ? src_[pos_ + ahead] : '\0';
  }
  bool has(std::size_t ahead) const { return pos_ + ahead < src_.size(); }

  void push(TokenType type) {
    place();
    tokens_.push_back(Token{type, 0, 0.0, {}});
  }

  // One rule: consumes what it matches.
  void step() {
    char c = src_[pos_];
    switch (c) {
      case ' ': case '\t': case '\n': case '\r':
        ++pos_;
        return;
      case '#':
        skip_line_comment();
        return;
      case '"':
        string_literal();
        return;
      case '!': two('=', TokenType::NotEqual, TokenType::Not); return;
      case '*':
        if (has(1) && peek(1) == '=') { pos_ += 2; push(TokenType::StarAssign); }
        else if (has(1) && peek(1) == '*') { pos_ += 2; push(TokenType::Power); }
        else { ++pos_; push(TokenType::Star); }
        return;
      case '+': two('=', TokenType::PlusAssign, TokenType::Plus); return;
      case '-':
        if (has(1) && peek(1) == '=') { pos_ += 2; push(TokenType::MinusAssign); }
        else if (has(1) && peek(1) == '>') { pos_ += 2; push(TokenType::Arrow); }
        else { ++pos_; push(TokenType::Minus); }
        return;
      case '/':
        if (has(1) && peek(1) == '*') skip_block_comment();
        else two('=', TokenType::SlashAssign, TokenType::Slash);
        return;
      case '=':
        if (has(1) && peek(1) == '>') { pos_ += 2; push(TokenType::FatArrow); }
        else if (has(1) && peek(1) == '=') { pos_ += 2; push(TokenType::Equal); }
        else { ++pos_; push(TokenType::Assign); }
        return;
      case '<': two('=', TokenType::LessEqual, TokenType::Less); return;
      case '>': two('=', TokenType::GreaterEqual, TokenType::Greater); return;
      case '%': one(TokenType::Percent); return;
      case '(': one(TokenType::LParen); return;
      case ')': one(TokenType::RParen); return;
      case '{': one(TokenType::LBrace); return;
      case '}': one(TokenType::RBrace); return;
      case '[': one(TokenType::LBracket); return;
      case ']': one(TokenType::RBracket); return;
      case ',': one(TokenType::Comma); return;
      case ':': one(TokenType::Colon); return;
      case ';': one(TokenType::Semicolon); return;
      case '.': one(TokenType::Dot); return;
      case '?': one(TokenType::Question); return;
      default:
        break;
    }
    if (is_digit(c)) {
      number();
    } else if (is_ascii_letter(c) || c == '_') {
      identifier();
    } else {
      // Unknown characters are skipped silently, a whole UTF-8 sequence at a time.
      std::size_t length = 1;
      if (static_cast<unsigned char>(c) >= 0x80) (void)text::decode_utf8(src_, pos_, length);
      skipped(pos_, pos_ + length);
      pos_ += length;
    }
  }

  void one(TokenType type) {
    ++pos_;
    push(type);
  }

  void two(char next, TokenType pair, TokenType single) {
    if (has(1) && peek(1) == next) {
      pos_ += 2;
      push(pair);
    } else {
      ++pos_;
      push(single);
    }
  }

  void skip_line_comment() {
    std::size_t newline = src_.find('\n', pos_);
    pos_ = newline == std::string_view::npos ? src_.size() : newline + 1;
  }

  // The character right after "/*" only ever serves as the "previous" one, so
  // "/*/" does not close the comment it opens while "/**/" does.
  void skip_block_comment() {
    pos_ += 2;
    if (pos_ >= src_.size()) return;
    char previous = src_[pos_++];
    while (pos_ < src_.size()) {
      char c = src_[pos_++];
      if (previous == '*' && c == '/') return;
      previous = c;
    }
  }

  void string_literal() {
    ++pos_;  // opening quote
    std::string value;
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (c == '"') {
        ++pos_;
        break;
      }
      if (c == '\\') {
        if (pos_ + 1 >= src_.size()) {  // a trailing backslash ends the literal and is dropped
          ++pos_;
          break;
        }
        char e = src_[pos_ + 1];
        switch (e) {
          case '\\': value += '\\'; break;
          case 'n': value += '\n'; break;
          case 'r': value += '\r'; break;
          case 't': value += '\t'; break;
          case '"': value += '"'; break;
          default:
            value += '\\';
            value += e;
        }
        pos_ += 2;
        continue;
      }
      value += c;
      ++pos_;
    }
    place();
    Token token{TokenType::String, 0, 0.0, std::move(value)};
    tokens_.push_back(std::move(token));
  }

  void number() {
    std::size_t start = pos_;
    bool is_float = false;
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (is_digit(c)) {
        ++pos_;
      } else if (c == '.' && !is_float && has(1) && is_digit(peek(1))) {
        is_float = true;
        ++pos_;
      } else {
        break;
      }
    }
    const char* first = src_.data() + start;
    const char* last = src_.data() + pos_;
    if (!is_float) {
      std::int64_t value = 0;
      auto result = std::from_chars(first, last, value);
      if (result.ec == std::errc{}) {
        place();
        tokens_.push_back(Token{TokenType::Number, value, 0.0, {}});
        return;
      }
      // Beyond the 64-bit range: the nearest double instead of a wrong integer.
    }
    double value = 0.0;
    (void)std::from_chars(first, last, value);
    place();
    tokens_.push_back(Token{TokenType::Float, 0, value, {}});
  }

  void identifier() {
    std::size_t start = pos_;
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (is_ascii_letter(c) || is_digit(c) || c == '_') {
        ++pos_;
        continue;
      }
      if (static_cast<unsigned char>(c) >= 0x80) {
        std::size_t length = 0;
        char32_t cp = text::decode_utf8(src_, pos_, length);
        if (!(cp == 0xfffd && length == 1) && text::is_alphanumeric(cp)) {
          pos_ += length;
          continue;
        }
      }
      break;
    }
    std::string_view word = src_.substr(start, pos_ - start);
    for (const auto& keyword : kKeywords) {
      if (keyword.word == word) {
        push(keyword.type);
        return;
      }
    }
    place();
    tokens_.push_back(Token{TokenType::Identifier, 0, 0.0, std::string(word)});
  }
};

}  // namespace

}  // namespace veltro
