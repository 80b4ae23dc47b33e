#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lexer/lexer.h"

namespace veltro {
namespace {

// The tokens of `source` in debug text, joined by blanks, without the final EOF.
std::string lex(std::string_view source) {
  auto tokens = tokenize(source);
  EXPECT_FALSE(tokens.empty());
  EXPECT_EQ(tokens.back().type, TokenType::EOF_);
  std::string out;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (i) out += ' ';
    out += tokens[i].debug();
  }
  return out;
}

TEST(Lexer, EmptyAndSkippedInputGiveOnlyEof) {
  EXPECT_EQ(lex(""), "");
  EXPECT_EQ(lex("  \t\r\n"), "");
  EXPECT_EQ(lex("# only a comment"), "");
  EXPECT_EQ(lex("/* never closed"), "");
  EXPECT_EQ(lex("& | ' $ @ ^ ~ ` \\ \x01 \xc3\xa9"), "");
  EXPECT_EQ(tokenize("").size(), 1u);
}

TEST(Lexer, KeywordsAreCaseSensitiveWholeWords) {
  EXPECT_EQ(lex("let def return if else while for in break continue"),
            "Let Def Return If Else While For In Break Continue");
  EXPECT_EQ(lex("true false and or not match try catch global use as"),
            "True False And Or Not Match Try Catch Global Use As");
  EXPECT_EQ(lex("Let TRUE true1 _ _x null"),
            "Identifier(\"Let\") Identifier(\"TRUE\") Identifier(\"true1\") Identifier(\"_\") Identifier(\"_x\") "
            "Identifier(\"null\")");
}

TEST(Lexer, OperatorsPreferTheTwoCharacterForm) {
  EXPECT_EQ(lex("x=>y"), "Identifier(\"x\") FatArrow Identifier(\"y\")");
  EXPECT_EQ(lex("a<=b"), "Identifier(\"a\") LessEqual Identifier(\"b\")");
  EXPECT_EQ(lex("!x"), "Not Identifier(\"x\")");
  EXPECT_EQ(lex("not x"), "Not Identifier(\"x\")");
  EXPECT_EQ(lex("!= == = => -> -= - += + ++ *= ** * **= /= / < > >= %"),
            "NotEqual Equal Assign FatArrow Arrow MinusAssign Minus PlusAssign Plus Plus Plus StarAssign Power Star "
            "Power Assign SlashAssign Slash Less Greater GreaterEqual Percent");
  EXPECT_EQ(lex("( ) { } [ ] , : ; . ?"),
            "LParen RParen LBrace RBrace LBracket RBracket Comma Colon Semicolon Dot Question");
  EXPECT_EQ(lex("a && b || c"), "Identifier(\"a\") Identifier(\"b\") Identifier(\"c\")");
  // At the end of the input the one-character form is taken.
  EXPECT_EQ(lex("!"), "Not");
  EXPECT_EQ(lex("*"), "Star");
  EXPECT_EQ(lex("//"), "Slash Slash");
}

TEST(Lexer, Comments) {
  EXPECT_EQ(lex("a # comment\nb"), "Identifier(\"a\") Identifier(\"b\")");
  EXPECT_EQ(lex("a /* x */ b"), "Identifier(\"a\") Identifier(\"b\")");
  EXPECT_EQ(lex("a /**/ b"), "Identifier(\"a\") Identifier(\"b\")");
  // The character after the opening pair only serves as the previous one.
  EXPECT_EQ(lex("a /*/ b"), "Identifier(\"a\")");
  EXPECT_EQ(lex("a /*/ b */ c"), "Identifier(\"a\") Identifier(\"c\")");
  EXPECT_EQ(lex("/* a\n * b\n */x"), "Identifier(\"x\")");
}

TEST(Lexer, StringEscapes) {
  auto tokens = tokenize(R"("a\nb\tc\rd\\e\"f\qg")");
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].type, TokenType::String);
  EXPECT_EQ(tokens[0].text, "a\nb\tc\rd\\e\"f\\qg");
  EXPECT_EQ(tokenize("\"multi\nline\"")[0].text, "multi\nline");
  EXPECT_EQ(tokenize("\"unterminated rest")[0].text, "unterminated rest");
  EXPECT_EQ(tokenize("\"ends with \\")[0].text, "ends with ");
  EXPECT_EQ(tokenize("\"\xc3\xa9\"")[0].text, "\xc3\xa9");
  EXPECT_EQ(lex("'a'"), "Identifier(\"a\")");
}

TEST(Lexer, Numbers) {
  EXPECT_EQ(lex("007"), "Number(7)");
  EXPECT_EQ(lex("0.50"), "Float(0.5)");
  EXPECT_EQ(lex("3."), "Number(3) Dot");
  EXPECT_EQ(lex("1..5"), "Number(1) Dot Dot Number(5)");
  EXPECT_EQ(lex("1.5.2"), "Float(1.5) Dot Number(2)");
  EXPECT_EQ(lex("-5"), "Minus Number(5)");
  EXPECT_EQ(lex("1e3"), "Number(1) Identifier(\"e3\")");
  EXPECT_EQ(lex("9223372036854775807"), "Number(9223372036854775807)");
  // Beyond the 64-bit range: the nearest double, never a wrapped integer.
  auto big = tokenize("9223372036854775808");
  EXPECT_EQ(big[0].type, TokenType::Float);
  EXPECT_DOUBLE_EQ(big[0].real, 9223372036854775808.0);
  EXPECT_EQ(tokenize("123456789012345678901234567890")[0].type, TokenType::Float);
}

TEST(Lexer, IdentifiersContinueWithUnicodeLettersAndDigits) {
  EXPECT_EQ(lex("a\xc3\xa9"), "Identifier(\"a\xc3\xa9\")");  // aé
  EXPECT_EQ(lex("\xc3\xa9"), "");                                 // é cannot start one
  EXPECT_EQ(lex("x\xd9\xa3"), "Identifier(\"x\xd9\xa3\")");   // Arabic-Indic digit three
  EXPECT_EQ(lex("x\xe2\x82\xac"), "Identifier(\"x\")");         // the euro sign is no letter
}

TEST(Lexer, RandomInputNeverFails) {
  std::mt19937 rng(12345);
  const std::string alphabet = "abz_09 .\"\\/*#\n\t!=<>+-%()[]{},:;?&|'\x01\x7f\xc3\xa9\xe2\x82\xac\xff\xf0\x9f\x98\x80";
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    std::size_t length = rng() % 80;
    for (std::size_t i = 0; i < length; ++i) {
      input += (rng() % 8 == 0) ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()];
    }
    auto tokens = tokenize(input);
    ASSERT_FALSE(tokens.empty());
    ASSERT_EQ(tokens.back().type, TokenType::EOF_);
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) ASSERT_NE(tokens[i].type, TokenType::EOF_);
  }
}

}  // namespace
}  // namespace veltro
