#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The 56 token kinds, in declaration order (their names appear in debug text).
enum class TokenType : std::uint8_t {
  Let, Def, Return, If, Else, While, For, In, Break, Continue, True, False, And, Or, Not,
  Match, Try, Catch, Global, Identifier, Number, Float, String, Plus, Minus, Star, Slash,
  Percent, Power, Assign, PlusAssign, MinusAssign, StarAssign, SlashAssign, Equal, NotEqual,
  Less, Greater, LessEqual, GreaterEqual, LParen, RParen, LBrace, RBrace, LBracket, RBracket,
  Comma, Colon, Semicolon, Arrow, FatArrow, Dot, Question, Use, As, EOF_,
};

inline constexpr int kTokenTypeCount = 56;

// The kind's name as it appears in debug text and messages ("PlusAssign", "EOF").
[[nodiscard]] std::string_view token_type_name(TokenType type);

struct Token {
  TokenType type = TokenType::EOF_;
  std::int64_t number = 0;  // Number
  double real = 0.0;        // Float
  std::string text;         // Identifier, String

  // Debug text: the kind's name, with the value for the four value kinds
  // (Identifier("x"), Number(3), Float(1.5), String("a")).
  [[nodiscard]] std::string debug() const;
};

}  // namespace veltro
