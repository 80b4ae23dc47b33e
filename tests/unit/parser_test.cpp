#include <random>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "lexer/lexer.h"
#include "parser/parser.h"
#include "runtime/stack_guard.h"
#include "stack_thread.h"
#include "runtime/limits.h"

namespace veltro {
namespace {

// Debug text of every statement of `source`, joined by " | ".
std::string parse(std::string_view source) {
  auto tokens = tokenize(source);
  Parser parser(tokens);
  Block program = parser.parse_program();
  EXPECT_FALSE(parser.too_deep());
  std::string out;
  for (std::size_t i = 0; i < program.size(); ++i) {
    if (i) out += " | ";
    out += debug_text(*program[i]);
  }
  return out;
}

std::string expr(std::string_view source) {
  std::string s = parse(source);
  EXPECT_EQ(s.rfind("Expr(", 0), 0u) << s;
  return s.substr(5, s.size() - 6);
}

TEST(Parser, Precedence) {
  EXPECT_EQ(expr("1 + 2 * 3"),
            "BinaryOp { left: Number(1), op: Plus, right: BinaryOp { left: Number(2), op: Star, right: Number(3) } }");
  EXPECT_EQ(expr("2 ** 3 ** 2"),
            "BinaryOp { left: BinaryOp { left: Number(2), op: Power, right: Number(3) }, op: Power, right: Number(2) }");
  EXPECT_EQ(expr("10 - 4 - 3"),
            "BinaryOp { left: BinaryOp { left: Number(10), op: Minus, right: Number(4) }, op: Minus, right: Number(3) }");
  EXPECT_EQ(expr("-2 ** 2"),
            "BinaryOp { left: UnaryOp { op: Minus, operand: Number(2) }, op: Power, right: Number(2) }");
  EXPECT_EQ(expr("not a == b"),
            "BinaryOp { left: UnaryOp { op: Not, operand: Identifier(\"a\") }, op: Equal, right: Identifier(\"b\") }");
  EXPECT_EQ(expr("a < b < c"),
            "BinaryOp { left: BinaryOp { left: Identifier(\"a\"), op: Less, right: Identifier(\"b\") }, op: Less, "
            "right: Identifier(\"c\") }");
  EXPECT_EQ(expr("a or b and c"),
            "BinaryOp { left: Identifier(\"a\"), op: Or, right: BinaryOp { left: Identifier(\"b\"), op: And, right: "
            "Identifier(\"c\") } }");
  EXPECT_EQ(expr("- - x"), "UnaryOp { op: Minus, operand: UnaryOp { op: Minus, operand: Identifier(\"x\") } }");
  EXPECT_EQ(expr("-a.b(1)"),
            "UnaryOp { op: Minus, operand: Call { name: \"a.b\", args: [Number(1)] } }");
}

TEST(Parser, Ranges) {
  EXPECT_EQ(expr("0..n"), "Range { start: Number(0), end: Identifier(\"n\") }");
  EXPECT_EQ(expr("1 + 1..2 * 3"),
            "Range { start: BinaryOp { left: Number(1), op: Plus, right: Number(1) }, end: BinaryOp { left: "
            "Number(2), op: Star, right: Number(3) } }");
  // A range is not repeated: the second pair of dots starts a new statement
  // whose missing start is the placeholder.
  EXPECT_EQ(parse("1..2..3"),
            "Expr(Range { start: Number(1), end: Number(2) }) | Expr(Range { start: Number(0), end: Number(3) })");
}

TEST(Parser, PostfixAndCallNames) {
  EXPECT_EQ(expr("a.b.c"),
            "Index { object: Index { object: Identifier(\"a\"), index: String(\"b\") }, index: String(\"c\") }");
  EXPECT_EQ(expr("sdl2.init()"), "Call { name: \"sdl2.init\", args: [] }");
  EXPECT_EQ(expr("a.b.c(1)"),
            "Call { name: \"c\", args: [Index { object: Identifier(\"a\"), index: String(\"b\") }, Number(1)] }");
  EXPECT_EQ(expr("f(1)(2)"), "Call { name: \"call\", args: [Call { name: \"f\", args: [Number(1)] }, Number(2)] }");
  EXPECT_EQ(expr("x[0](1)"),
            "Call { name: \"call\", args: [Index { object: Identifier(\"x\"), index: Number(0) }, Number(1)] }");
  EXPECT_EQ(expr("(f)(x)"), "Call { name: \"f\", args: [Identifier(\"x\")] }");
  EXPECT_EQ(expr("\"hi\".upper()"), "Call { name: \"upper\", args: [String(\"hi\")] }");
  EXPECT_EQ(expr("m[\"f\"](1)"), "Call { name: \"m.f\", args: [Number(1)] }");
  EXPECT_EQ(expr("5(1)"), "Call { name: \"call\", args: [Number(5), Number(1)] }");
  EXPECT_EQ(parse("a.5"), "Expr(Identifier(\"a\")) | Expr(Number(5))");
}

TEST(Parser, Literals) {
  EXPECT_EQ(expr("[1 2 3]"), "Array([Number(1), Number(2), Number(3)])");
  EXPECT_EQ(expr("[1, 2, 3,]"), "Array([Number(1), Number(2), Number(3)])");
  EXPECT_EQ(expr("{a: 1 b: 2}"), "Dict([(\"a\", Number(1)), (\"b\", Number(2))])");
  EXPECT_EQ(expr("{a: 1, a: 2}"), "Dict([(\"a\", Number(1)), (\"a\", Number(2))])");
  EXPECT_EQ(expr("\"say \\\"hi\\\"\\n\""), "String(\"say \\\"hi\\\"\\n\")");
  EXPECT_EQ(expr("1.0"), "Float(1.0)");
  EXPECT_EQ(expr("true"), "Boolean(true)");
  // Tokens no rule can use inside a list are skipped.
  EXPECT_EQ(expr("[1 : 2]"), "Array([Number(1), Number(2)])");
  EXPECT_EQ(expr("[1, , 2]"), "Array([Number(1), Number(2)])");
  EXPECT_EQ(expr("{a = 1}"), "Dict([])");
  EXPECT_EQ(expr("{1: 2, b: 3}"), "Dict([(\"b\", Number(3))])");
  EXPECT_EQ(parse("1 + )"), "Expr(BinaryOp { left: Number(1), op: Plus, right: Number(0) })");
}

TEST(Parser, Statements) {
  EXPECT_EQ(parse("let x = 1; let y = 2"), parse("let x = 1 let y = 2"));
  EXPECT_EQ(parse("let 5;"), "Expr(Number(5))");
  EXPECT_EQ(parse("x += 1"), "CompoundAssign { name: \"x\", op: PlusAssign, value: Number(1) }");
  EXPECT_EQ(parse("x == 2"), "Expr(BinaryOp { left: Identifier(\"x\"), op: Equal, right: Number(2) })");
  EXPECT_EQ(parse("def f(a b) { return a }"),
            "Function { name: \"f\", params: [\"a\", \"b\"], body: [Return(Some(Identifier(\"a\")))] }");
  EXPECT_EQ(parse("def f(a, b,) { }"), "Function { name: \"f\", params: [\"a\", \"b\"], body: [] }");
  EXPECT_EQ(parse("def f() { return }"), "Function { name: \"f\", params: [], body: [Return(None)] }");
  EXPECT_EQ(parse("return;"), "Return(None)");
  EXPECT_EQ(parse("if x { a } else { b }"),
            "If { condition: Identifier(\"x\"), then_body: [Expr(Identifier(\"a\"))], else_body: "
            "Some([Expr(Identifier(\"b\"))]) }");
  EXPECT_EQ(parse("if x { a } else if y { b }"),
            "If { condition: Identifier(\"x\"), then_body: [Expr(Identifier(\"a\"))], else_body: None } | If { "
            "condition: Identifier(\"y\"), then_body: [Expr(Identifier(\"b\"))], else_body: None }");
  EXPECT_EQ(parse("while x { break continue }"),
            "While { condition: Identifier(\"x\"), body: [Break, Continue] }");
  EXPECT_EQ(parse("for i in 0..3 { }"),
            "For { var: \"i\", iter: Range { start: Number(0), end: Number(3) }, body: [] }");
  EXPECT_EQ(parse("try { } catch e { }"), "Try { body: [], catch_var: \"e\", catch_body: [] }");
  EXPECT_EQ(parse("try { } e { }"), "Expr(Identifier(\"e\")) | Expr(Dict([]))");
  EXPECT_EQ(parse("global g;"), "Global(\"g\")");
  EXPECT_EQ(parse(";"), "Expr(Number(0))");
  EXPECT_EQ(parse(""), "");
}

TEST(Parser, Match) {
  EXPECT_EQ(parse("match v { 1 => print(\"one\") _ => { print(\"other\") } }"),
            "Match { expr: Identifier(\"v\"), arms: [(Value(Number(1)), [Expr(Call { name: \"print\", args: "
            "[String(\"one\")] })]), (Wildcard, [Expr(Call { name: \"print\", args: [String(\"other\")] })])] }");
  // Commas between arms are skipped.
  EXPECT_EQ(parse("match v { 1 => a, 2 => b }"),
            "Match { expr: Identifier(\"v\"), arms: [(Value(Number(1)), [Expr(Identifier(\"a\"))]), "
            "(Value(Number(2)), [Expr(Identifier(\"b\"))])] }");
}

TEST(Parser, Use) {
  EXPECT_EQ(parse("use m;"), "Use { module: \"m\", alias: None, items: None }");
  EXPECT_EQ(parse("use m as n;"), "Use { module: \"m\", alias: Some(\"n\"), items: None }");
  EXPECT_EQ(parse("use m { a, b }"), "Use { module: \"m\", alias: None, items: Some([\"a\", \"b\"]) }");
  EXPECT_EQ(parse("use m { a, , b }"), "Use { module: \"m\", alias: None, items: Some([\"a\", \"b\"]) }");
  EXPECT_EQ(parse("use m x"), "Use { module: \"m\", alias: None, items: None } | Expr(Identifier(\"x\"))");
}

TEST(Parser, StrayTokensAreSkipped) {
  EXPECT_EQ(parse("a[0] = 1"),
            "Expr(Index { object: Identifier(\"a\"), index: Number(0) }) | Expr(Number(1))");
  EXPECT_EQ(parse("} ) ] else in catch as , : => -> ? x"), "Expr(Identifier(\"x\"))");
}

TEST(Parser, NestingLimit) {
  // On a stack as big as the interpreter thread's, the limits hold in full.
  run_with_stack(limits::kInterpreterStackBytes, [] {
    auto deep = [](int n, std::string open, std::string close) {
      std::string s;
      for (int i = 0; i < n; ++i) s += open;
      s += "1";
      for (int i = 0; i < n; ++i) s += close;
      return s;
    };
    for (auto [open, close] : {std::pair{"(", ")"}, {"[", "]"}, {"-", ""}, {"if 1 {", "}"}, {"f(", ")"}}) {
      auto ok_tokens = tokenize(deep(256, open, close));
      Parser ok(ok_tokens);
      (void)ok.parse_program();
      EXPECT_FALSE(ok.too_deep()) << open;
      auto bad_tokens = tokenize(deep(100000, open, close));
      Parser bad(bad_tokens);
      (void)bad.parse_program();
      EXPECT_TRUE(bad.too_deep()) << open;
      EXPECT_EQ(bad.limit_message(), "Maximum nesting depth of 1000 exceeded");
    }
    std::string chain = "1";
    for (int i = 0; i < 200000; ++i) chain += "+1";
    auto tokens = tokenize(chain);
    Parser p(tokens);
    (void)p.parse_program();
    EXPECT_EQ(p.limit_message(), "Maximum expression depth of 100000 exceeded");
  });
}

TEST(Parser, LimitsShrinkWithASmallStack) {
  // The main thread's 8 MiB, where scripts run when the big thread cannot be
  // created: the limits scale down with the reserve, and the messages name
  // the limits in force.
  run_with_stack(std::size_t{8} << 20, [] {
    std::uint32_t nesting = scaled_to_stack(limits::kMaxNestingDepth);
    std::uint32_t depth = scaled_to_stack(limits::kMaxExpressionDepth);
    EXPECT_GE(nesting, 10u);
    EXPECT_LE(nesting, 1000u * 4 / 96);
    EXPECT_GE(depth, 1000u);
    EXPECT_LE(depth, 100000u * 4 / 96);

    auto parse_nested = [](std::uint32_t n) {
      std::string text(n, '(');
      text += "1";
      text.append(n, ')');
      auto tokens = tokenize(text);
      Parser parser(tokens);
      (void)parser.parse_program();
      return parser.limit_message();
    };
    EXPECT_EQ(parse_nested(nesting - 1), "");
    EXPECT_EQ(parse_nested(nesting + 1), fmt::format("Maximum nesting depth of {} exceeded", nesting));

    std::string chain = "1";
    for (std::uint32_t i = 0; i < 2 * depth; ++i) chain += "+1";
    auto tokens = tokenize(chain);
    Parser parser(tokens);
    (void)parser.parse_program();
    EXPECT_EQ(parser.limit_message(), fmt::format("Maximum expression depth of {} exceeded", depth));
  });
}

TEST(Parser, RandomTokenSequencesTerminate) {
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    std::vector<Token> tokens;
    std::size_t length = rng() % 60;
    for (std::size_t i = 0; i < length; ++i) {
      auto type = static_cast<TokenType>(rng() % (kTokenTypeCount - 1));
      Token t{type, 1, 1.5, type == TokenType::Identifier ? (rng() % 4 ? "x" : "_") : "s"};
      tokens.push_back(t);
    }
    tokens.push_back(Token{});
    Parser parser(tokens);
    Block program = parser.parse_program();
    for (const auto& stmt : program) ASSERT_FALSE(debug_text(*stmt).empty());
    ASSERT_LE(parser.position(), tokens.size());
  }
}

}  // namespace
}  // namespace veltro
