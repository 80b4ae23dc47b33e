// What the lexer and parser tell tools beyond tokens and tree: where each
// token and node lies, and what was dropped. Recording must not change the
// tokens or the tree.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/finding.h"
#include "lexer/lexer.h"
#include "parser/parser.h"

namespace veltro {
namespace {

std::string place(const SourceSpan& s) {
  return std::to_string(s.line) + ":" + std::to_string(s.column) + "-" + std::to_string(s.end_line) + ":" +
         std::to_string(s.end_column);
}

TEST(TokenPositions, LinesAndColumnsCountCharacters) {
  TokenMap map;
  // A two-byte letter, a tab, a string across lines, a comment, CRLF.
  auto tokens = tokenize("é = \"a\nb\"\tx # note\r\n  y", map);
  ASSERT_EQ(tokens.size(), map.tokens.size());
  std::vector<std::string> places;
  for (const auto& s : map.tokens) places.push_back(place(s));
  // é is skipped (it cannot begin a name); = String x y EOF
  EXPECT_EQ(places, (std::vector<std::string>{"1:3-1:4", "1:5-2:3", "2:4-2:5", "3:3-3:4", "3:4-3:4"}));
  ASSERT_EQ(map.skipped.size(), 1u);
  EXPECT_EQ(place(map.skipped[0]), "1:1-1:2");
  EXPECT_EQ(map.skipped[0].length, 2u);
  EXPECT_EQ(map.tokens[1].offset, 5u);
}

TEST(TokenPositions, AdjacentSkippedCharactersFormOneRun) {
  TokenMap map;
  (void)tokenize("a && b @ ~~c", map);
  ASSERT_EQ(map.skipped.size(), 3u);
  EXPECT_EQ(place(map.skipped[0]), "1:3-1:5");
  EXPECT_EQ(place(map.skipped[1]), "1:8-1:9");
  EXPECT_EQ(place(map.skipped[2]), "1:10-1:12");
}

TEST(TokenPositions, RecordingChangesNoToken) {
  std::mt19937 rng(7);
  const std::string alphabet = "ab1.\"\\/*#\n =!<>&|'{}()[],:;+-\xc3\xa9\xe2\x82\xac";
  for (int round = 0; round < 2000; ++round) {
    std::string source;
    for (std::size_t n = rng() % 40; n > 0; --n) source += alphabet[rng() % alphabet.size()];
    TokenMap map;
    auto recorded = tokenize(source, map);
    auto plain = tokenize(source);
    ASSERT_EQ(recorded.size(), plain.size()) << source;
    ASSERT_EQ(map.tokens.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
      ASSERT_EQ(recorded[i].debug(), plain[i].debug()) << source;
      if (i > 0) {
        ASSERT_LE(map.tokens[i - 1].offset + map.tokens[i - 1].length, map.tokens[i].offset) << source;
      }
    }
  }
}

// Records what the parser reports.
struct Recorder : ParseListener {
  std::vector<std::string> drops;
  std::vector<std::pair<std::string, std::pair<std::size_t, std::size_t>>> statements;
  void dropped(Drop what, std::size_t first, std::size_t at, TokenType expected) override {
    drops.push_back(std::to_string(static_cast<int>(what)) + "@" + std::to_string(first) + "," + std::to_string(at) +
                    ":" + std::string(token_type_name(expected)));
  }
  void node(const Stmt& stmt, std::size_t first, std::size_t end) override {
    statements.emplace_back(debug_text(stmt), std::pair{first, end});
  }
  void node(const Expr&, std::size_t, std::size_t) override {}
};

std::string program_text(const Block& program) {
  std::string out;
  for (const auto& s : program) out += debug_text(*s) + "\n";
  return out;
}

TEST(ParseListener, ReportsDropsWithTheirPlaces) {
  using Drop = ParseListener::Drop;
  auto code = [](Drop d) { return std::to_string(static_cast<int>(d)); };
  struct Case {
    const char* source;
    std::vector<std::string> drops;
  };
  std::vector<Case> cases = {
      {"a[0] = 1", {code(Drop::StatementToken) + "@4,4:EOF"}},
      {"let 5", {code(Drop::NoStatement) + "@0,1:Identifier"}},
      {"if x y {}", {code(Drop::NoStatement) + "@0,2:LBrace"}},
      {"if x {} else if y {}", {code(Drop::ElseBlock) + "@4,5:LBrace"}},
      {"f(1,, 2)", {code(Drop::ListToken) + "@1,4:EOF"}},
      {"{\"k\": 1}",
       {code(Drop::DictToken) + "@0,1:EOF", code(Drop::DictToken) + "@0,2:EOF", code(Drop::DictToken) + "@0,3:EOF"}},
      {"{a 1}", {code(Drop::DictKey) + "@0,1:Colon", code(Drop::DictToken) + "@0,2:EOF"}},
      {"print(1", {code(Drop::Unclosed) + "@1,3:RParen"}},
      {"match x { 1 => a, 2 b }",
       {code(Drop::ArmToken) + "@6,6:EOF", code(Drop::ArmPattern) + "@7,8:FatArrow",
        code(Drop::ArmPattern) + "@8,9:FatArrow"}},
      {"use m { a,, b }", {code(Drop::UseToken) + "@2,5:EOF"}},
      {"a.5", {code(Drop::MemberDot) + "@1,1:EOF"}},
  };
  for (const auto& c : cases) {
    auto tokens = tokenize(c.source);
    Recorder recorder;
    ListeningParser parser(tokens, recorder);
    Block program = parser.parse_program();
    EXPECT_EQ(recorder.drops, c.drops) << c.source;
  }
}

TEST(ParseListener, StatementSpansCoverTheirTokens) {
  auto tokens = tokenize("let x = 1; def f(a) { return a }\nx += 2");
  Recorder recorder;
  ListeningParser parser(tokens, recorder);
  Block program = parser.parse_program();
  std::vector<std::pair<std::size_t, std::size_t>> top;
  for (const auto& [text, span] : recorder.statements) {
    if (text.starts_with("Let") || text.starts_with("Function") || text.starts_with("CompoundAssign")) {
      top.push_back(span);
    }
  }
  // let x = 1 ; | def f ( a ) { return a } | x += 2
  EXPECT_EQ(top, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 5}, {5, 14}, {14, 17}}));
}

TEST(ParseListener, ListeningChangesNothing) {
  std::mt19937 rng(11);
  const std::vector<std::string> words = {
      "let",   "x",  "=", "1",   "(",     ")",      "{", "}", "[", "]",     ",", "if",  "else", "def", "f",
      "match", "=>", "_", "try", "catch", "return", ".", "+", ";", "\"s\"", ":", "use", "for",  "in",  "while"};
  for (int round = 0; round < 2000; ++round) {
    std::string source;
    for (std::size_t n = rng() % 30; n > 0; --n) source += words[rng() % words.size()] + " ";
    auto tokens = tokenize(source);
    Parser plain(tokens);
    Block a = plain.parse_program();
    Recorder recorder;
    ListeningParser listened(tokens, recorder);
    Block b = listened.parse_program();
    ASSERT_EQ(program_text(a), program_text(b)) << source;
    for (const auto& [text, span] : recorder.statements) {
      ASSERT_LE(span.first, span.second) << source;
    }
  }
}

TEST(CheckerCodes, TableIsInCodeOrder) {
  const auto codes = check::all_codes();
  for (std::size_t i = 0; i < codes.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(codes[i].code), i) << codes[i].id;
    EXPECT_EQ(check::find_code(codes[i].id), &codes[i]);
    if (i > 0) {
      EXPECT_LT(codes[i - 1].id, codes[i].id);
    }
  }
  EXPECT_EQ(check::find_code("V000"), nullptr);
}

// The library entry point on hostile text, without module files.
TEST(Checker, AnyTextGivesSortedFindings) {
  std::mt19937 rng(3);
  const std::vector<std::string> words = {"let",   "x",     "=",      "1",    "(",     ")",     "{",     "}",   "[",
                                          "]",     ",",     "if",     "else", "def",   "main",  "match", "=>",  "_",
                                          "try",   "catch", "return", ".",    "+=",    "\"s\"", ":",     "use", "m",
                                          "files", "&&",    "'",      "\n",   "break", "global"};
  check::Options options;
  options.follow_modules = false;
  for (int round = 0; round < 1500; ++round) {
    std::string source;
    for (std::size_t n = rng() % 40; n > 0; --n) source += words[rng() % words.size()] + " ";
    auto findings = check::check_source("t.vt", source, options);
    for (std::size_t i = 0; i < findings.size(); ++i) {
      const auto& f = findings[i];
      ASSERT_GE(f.line, 1u) << source;
      ASSERT_GE(f.column, 1u) << source;
      ASSERT_FALSE(f.message.empty()) << source;
      if (i > 0) {
        const auto& g = findings[i - 1];
        ASSERT_LE(std::pair(g.line, g.column), std::pair(f.line, f.column)) << source;
      }
    }
  }
}

}  // namespace
}  // namespace veltro
