// The program generator: what it writes parses exactly as written, the same
// choices give the same program, and a few hundred seeds use every form the
// language has.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "differ/cases.h"
#include "differ/run.h"
#include "fuzz/program_generator.h"
#include "lexer/lexer.h"
#include "parser/parser.h"

namespace veltro {
namespace {

// Collects the kinds of every node, and complains about anything the parser
// had to skip or repair.
struct Census : ParseListener {
  std::set<StmtKind> statements;
  std::set<ExprKind> expressions;
  std::set<TokenType> binary;
  std::set<TokenType> unary;
  std::set<TokenType> compound;
  std::set<std::string> calls;
  std::set<std::string> shapes;  // forms within a kind: "else", "wildcard", "use as", ...
  std::vector<std::string> drops;

  void dropped(Drop what, std::size_t, std::size_t at, TokenType) override {
    // "} else if c {" is written on purpose: the else is dropped and the if
    // stands alone.
    if (what == Drop::ElseBlock) return;
    drops.push_back("drop " + std::to_string(static_cast<int>(what)) + " at token " + std::to_string(at));
  }
  void node(const Stmt& stmt, std::size_t, std::size_t) override {
    statements.insert(stmt.kind);
    switch (stmt.kind) {
      case StmtKind::CompoundAssign: compound.insert(static_cast<const CompoundAssignStmt&>(stmt).op); break;
      case StmtKind::If:
        if (static_cast<const IfStmt&>(stmt).else_body) shapes.insert("else");
        break;
      case StmtKind::Match:
        for (const auto& [pattern, body] : static_cast<const MatchStmt&>(stmt).arms) {
          shapes.insert(pattern.wildcard ? "wildcard" : "value pattern");
        }
        break;
      case StmtKind::Return: shapes.insert(static_cast<const ReturnStmt&>(stmt).value ? "return value" : "bare return"); break;
      case StmtKind::Use: {
        const auto& use = static_cast<const UseStmt&>(stmt);
        shapes.insert(use.items ? "use items" : use.alias ? "use as" : "use");
        break;
      }
      case StmtKind::Function:
        if (static_cast<const FunctionStmt&>(stmt).name == "main") shapes.insert("main");
        break;
      default: break;
    }
  }
  void node(const Expr& expr, std::size_t, std::size_t) override {
    expressions.insert(expr.kind);
    if (expr.kind == ExprKind::BinaryOp) binary.insert(static_cast<const BinaryExpr&>(expr).op);
    if (expr.kind == ExprKind::UnaryOp) unary.insert(static_cast<const UnaryExpr&>(expr).op);
    if (expr.kind == ExprKind::Call) {
      const auto& call = static_cast<const CallExpr&>(expr);
      std::string name = call.name;
      // Module functions count by module: text.trim as text., mod1.mod1_f2 as mod.
      if (auto dot = name.find('.'); dot != std::string::npos) {
        name = name.starts_with("mod") || name.starts_with("al") ? "mod." : name.substr(0, dot + 1);
      }
      calls.insert(name);
    }
  }

  void parse(const std::string& text) {
    auto tokens = tokenize(text);
    ListeningParser parser(tokens, *this);
    Block program = parser.parse_program();
    EXPECT_FALSE(parser.too_deep());
  }
};

gen::Program generated(std::uint64_t seed) {
  gen::Choices choices(seed);
  return gen::generate_program(choices);
}

TEST(ProgramGenerator, TheSameChoicesGiveTheSameProgram) {
  gen::Program a = generated(42);
  gen::Program b = generated(42);
  EXPECT_EQ(a.text, b.text);
  EXPECT_EQ(a.extra_debug, b.extra_debug);
  ASSERT_EQ(a.modules.size(), b.modules.size());
  for (std::size_t i = 0; i < a.modules.size(); ++i) EXPECT_EQ(a.modules[i].text, b.modules[i].text);
  EXPECT_NE(generated(43).text, a.text);

  std::vector<std::uint8_t> bytes{7, 200, 13, 99, 1, 0, 250, 31};
  gen::Choices first(bytes.data(), bytes.size());
  gen::Choices second(bytes.data(), bytes.size());
  EXPECT_EQ(gen::generate_program(first).text, gen::generate_program(second).text);
}

// Every token is where the grammar wants it: no statement is dropped, no
// bracket left open, no dictionary key or match arm skipped.
TEST(ProgramGenerator, ProgramsParseExactlyAsWritten) {
  for (std::uint64_t seed = 1; seed <= 1000; ++seed) {
    gen::Program p = generated(seed);
    Census census;
    census.parse(p.text);
    for (const auto& m : p.modules) census.parse(m.text);
    ASSERT_TRUE(census.drops.empty()) << "seed " << seed << ": " << census.drops.front() << "\n" << p.text;
  }
}

// Fuzz bytes, however few or odd, give a program too; zeros give the
// smallest one, and the sandboxed form has no modules.
TEST(ProgramGenerator, AnyBytesGiveAProgram) {
  std::mt19937 random(5);
  for (std::size_t size : {0u, 1u, 3u, 16u, 100u, 1000u, 4000u}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::uint8_t> bytes(size);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
      gen::Choices choices(bytes.data(), bytes.size());
      gen::Program p = gen::generate_program(choices, {.modules = false, .debug_switch = true});
      EXPECT_TRUE(p.modules.empty());
      EXPECT_EQ(p.text.find("use "), std::string::npos) << p.text;
      Census census;
      census.parse(p.text);
      ASSERT_TRUE(census.drops.empty()) << census.drops.front() << "\n" << p.text;
    }
  }
  gen::Choices zeros(nullptr, 0);
  EXPECT_LT(gen::generate_program(zeros).text.size(), 200u);
}

// What the generator promises of the programs themselves: they end, and
// what they store grows by addition, so that their output stays small.
TEST(ProgramGenerator, ProgramsEndAndStaySmall) {
  char folder[] = "/tmp/veltro-generator-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::vector<differ::Case> batch;
  for (std::uint64_t seed = 5001; seed <= 5300; ++seed) {
    differ::GeneratedCase g = differ::generated_case(seed);
    if (!g.input.alone) batch.push_back(std::move(g.input));
  }
  {
    differ::Slot slot(std::string(folder) + "/run", 60);
    pid_t pid = slot.start_batch({"", Core::Tree}, batch);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::vector<differ::Outcome> outcomes = slot.finish_batch(status);
    ASSERT_EQ(outcomes.size(), batch.size()) << "the batch stopped at " << batch[outcomes.size()].label;
    std::size_t most = 0;
    for (const auto& o : outcomes) most = std::max(most, o.out.size() + o.err.size());
    EXPECT_LT(most, std::size_t{256} << 10);
  }
  std::filesystem::remove_all(folder);
}

TEST(ProgramGenerator, SeedsUseEveryForm) {
  Census census;
  std::set<std::string> seen;
  std::string all;
  for (std::uint64_t seed = 1; seed <= 400; ++seed) {
    gen::Program p = generated(seed);
    census.parse(p.text);
    for (const auto& m : p.modules) census.parse(m.text);
    if (!p.modules.empty()) seen.insert("script modules");
    if (p.extra_debug) seen.insert("-D");
    seen.insert(p.text.find("def main()") != std::string::npos ? "with main" : "without main");
    all += p.text;
  }
  for (StmtKind k : {StmtKind::Let, StmtKind::Assign, StmtKind::CompoundAssign, StmtKind::Function, StmtKind::If,
                     StmtKind::While, StmtKind::For, StmtKind::Match, StmtKind::Try, StmtKind::Return, StmtKind::Break,
                     StmtKind::Continue, StmtKind::Global, StmtKind::Use, StmtKind::Expr}) {
    EXPECT_TRUE(census.statements.count(k)) << "statement kind " << static_cast<int>(k);
  }
  for (ExprKind k : {ExprKind::Number, ExprKind::Float, ExprKind::String, ExprKind::Boolean, ExprKind::Identifier,
                     ExprKind::BinaryOp, ExprKind::UnaryOp, ExprKind::Call, ExprKind::Array, ExprKind::Dict,
                     ExprKind::Index, ExprKind::Range}) {
    EXPECT_TRUE(census.expressions.count(k)) << "expression kind " << static_cast<int>(k);
  }
  for (TokenType op : {TokenType::Or, TokenType::And, TokenType::Equal, TokenType::NotEqual, TokenType::Less,
                       TokenType::Greater, TokenType::LessEqual, TokenType::GreaterEqual, TokenType::Plus,
                       TokenType::Minus, TokenType::Star, TokenType::Slash, TokenType::Percent, TokenType::Power}) {
    EXPECT_TRUE(census.binary.count(op)) << "binary operator " << static_cast<int>(op);
  }
  EXPECT_EQ(census.unary, (std::set<TokenType>{TokenType::Not, TokenType::Minus}));
  EXPECT_EQ(census.compound, (std::set<TokenType>{TokenType::PlusAssign, TokenType::MinusAssign,
                                                  TokenType::StarAssign, TokenType::SlashAssign}));
  for (const char* name : {"print", "len", "upper", "lower", "slice", "contains", "split", "concat", "push", "pop",
                           "reverse", "abs", "sqrt", "pow", "min", "max", "floor", "ceil", "round", "typeof",
                           "is_number", "is_string", "is_array", "is_dict", "text.", "data.", "sys.", "files.",
                           "mod.", "call", "rect", "circle", "triangle", "color", "draw", "fill", "is_open"}) {
    EXPECT_TRUE(census.calls.count(name)) << "call of " << name;
  }
  for (const char* shape : {"else", "wildcard", "value pattern", "return value", "bare return", "use", "use as",
                            "use items", "main"}) {
    EXPECT_TRUE(census.shapes.count(shape)) << shape;
  }
  for (const char* feature : {"script modules", "-D", "with main", "without main"}) {
    EXPECT_TRUE(seen.count(feature)) << feature;
  }
  // Method form, a function defined inside a function, a break in a called
  // function, recursion, a user function that calls of non-names reach, the
  // files module writing and listing.
  for (const char* text : {"\".upper()", ".len()", "  def h", "break;\n  print(\"after the flag\")", "(k - 1",
                           "def call(", "files.write(", "files.append(", "files.list(", "files.delete_folder("}) {
    EXPECT_NE(all.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace veltro
