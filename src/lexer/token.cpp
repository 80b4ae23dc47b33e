#include "lexer/token.h"

#include <array>

#include "runtime/text.h"

namespace veltro {

namespace {
constexpr std::array<std::string_view, kTokenTypeCount> kNames = {
    "Let", "Def", "Return", "If", "Else", "While", "For", "In", "Break", "Continue", "True",
    "False", "And", "Or", "Not", "Match", "Try", "Catch", "Global", "Identifier", "Number",
    "Float", "String", "Plus", "Minus", "Star", "Slash", "Percent", "Power", "Assign",
    "PlusAssign", "MinusAssign", "StarAssign", "SlashAssign", "Equal", "NotEqual", "Less",
    "Greater", "LessEqual", "GreaterEqual", "LParen", "RParen", "LBrace", "RBrace", "LBracket",
    "RBracket", "Comma", "Colon", "Semicolon", "Arrow", "FatArrow", "Dot", "Question", "Use",
    "As", "EOF",
};
}  // namespace

std::string_view token_type_name(TokenType type) { return kNames[static_cast<std::size_t>(type)]; }

std::string Token::debug() const {
  std::string out(token_type_name(type));
  switch (type) {
    case TokenType::Identifier:
    case TokenType::String:
      out += '(';
      text::append_quoted(out, text);
      out += ')';
      break;
    case TokenType::Number:
      out += '(' + std::to_string(number) + ')';
      break;
    case TokenType::Float:
      out += '(';
      text::append_float_debug(out, real);
      out += ')';
      break;
    default:
      break;
  }
  return out;
}

}  // namespace veltro
