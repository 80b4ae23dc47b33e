#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "runtime/console.h"
#include "interpreter/interpreter.h"
#include "runtime/interrupt.h"
#include "modules/registry.h"
#include "lexer/lexer.h"
#include "parser/parser.h"
#include "parser/symbols.h"
#include "repl/completion.h"
#include "repl/entry.h"
#include "repl/history.h"

namespace veltro {
namespace {

bool whole(std::string_view text) {
  auto tokens = tokenize(text);
  return repl::count_brackets(tokens).complete();
}

TEST(ReplEntry, BracketsCountOnTokens) {
  EXPECT_TRUE(whole("print(1)"));
  EXPECT_FALSE(whole("def f() {"));
  EXPECT_FALSE(whole("let a = [1, (2"));
  // Inside strings and comments brackets are text.
  EXPECT_TRUE(whole("print(\"}\")"));
  EXPECT_TRUE(whole("print(\"{[(\")"));
  EXPECT_TRUE(whole("let a = 1 # {"));
  // Each kind is counted apart: a closer of another kind does not balance.
  EXPECT_FALSE(whole("f([1]"));
  EXPECT_FALSE(whole("{ ( }"));
  // More closers than openers end the entry at once, even with others open.
  EXPECT_TRUE(whole("}"));
  EXPECT_TRUE(whole("f(]"));
  EXPECT_TRUE(whole("{ ) {"));
}

TEST(ReplEntry, LinesGatherUntilBalanced) {
  repl::Entry entry;
  EXPECT_FALSE(entry.open());
  EXPECT_FALSE(entry.add_line("def f(a,"));
  EXPECT_FALSE(entry.add_line("      b) {"));
  EXPECT_FALSE(entry.add_line(""));  // an empty line keeps the entry open
  EXPECT_FALSE(entry.add_line("  print(\"}\")"));
  EXPECT_TRUE(entry.add_line("}"));
  EXPECT_EQ(entry.text(), "def f(a,\n      b) {\n\n  print(\"}\")\n}");
  Parser parser(entry.tokens());
  Block program = parser.parse_program();
  ASSERT_EQ(program.size(), 1u);
  EXPECT_EQ(program.front()->kind, StmtKind::Function);

  // The count starts afresh: the next entry is not weighed with the last.
  entry.clear();
  EXPECT_FALSE(entry.open());
  EXPECT_TRUE(entry.add_line("f(1, 2)"));
  EXPECT_EQ(entry.text(), "f(1, 2)");
}

TEST(ReplEntry, OnlyALoneExpressionShowsItsValue) {
  auto shown = [](std::string_view text) {
    auto tokens = tokenize(text);
    Parser parser(tokens);
    Block program = parser.parse_program();
    return repl::shown_statement(program) != nullptr;
  };
  EXPECT_TRUE(shown("x"));
  EXPECT_TRUE(shown("f(1) + 2"));
  EXPECT_FALSE(shown("let x = 1"));
  EXPECT_FALSE(shown("x = 2"));
  EXPECT_FALSE(shown("x y"));
  EXPECT_FALSE(shown(""));
}

std::vector<std::string> texts(const std::vector<repl::Completion>& found) {
  std::vector<std::string> out;
  for (const auto& c : found) out.push_back(c.text);
  return out;
}

TEST(ReplCompletion, OffersEveryKindOfName) {
  std::vector<repl::SessionName> session = {{"printer", false}, {"print_all", true}, {"print", true}};
  auto found = repl::complete("pri", session);
  // Sorted, each name once: the session's own "print" does not repeat the builtin.
  EXPECT_EQ(texts(found), (std::vector<std::string>{"print", "print_all", "printer"}));
  EXPECT_EQ(found[0].suffix, '(');
  EXPECT_EQ(found[1].suffix, '(');
  EXPECT_EQ(found[2].suffix, '\0');

  auto keyword = repl::complete("whi", {});
  ASSERT_EQ(keyword.size(), 1u);
  EXPECT_EQ(keyword[0].text, "while");
  EXPECT_EQ(keyword[0].suffix, ' ');

  auto module = repl::complete("htt", {});
  ASSERT_EQ(module.size(), 1u);
  EXPECT_EQ(module[0].text, "http");
  EXPECT_EQ(module[0].suffix, '.');

  EXPECT_TRUE(repl::complete("zzz", session).empty());
}

TEST(ReplCompletion, AfterADotOnlyTheModulesFunctions) {
  std::vector<std::string> read = texts(repl::complete("files.re", {}));
  ASSERT_FALSE(read.empty());
  for (const auto& text : read) EXPECT_TRUE(text.starts_with("files.re")) << text;
  EXPECT_NE(std::find(read.begin(), read.end(), "files.read"), read.end());

  EXPECT_EQ(texts(repl::complete("http.se", {})), (std::vector<std::string>{"http.send", "http.serve"}));
  EXPECT_FALSE(repl::complete("sdl2.", {}).empty());
  // Session names and unknown modules give nothing after a dot.
  EXPECT_TRUE(repl::complete("nosuch.re", {{"nosuch", false}}).empty());
  EXPECT_TRUE(repl::complete("files.zz", {}).empty());
}

TEST(ReplHistory, StateFolderThenHome) {
  EXPECT_EQ(repl::history_path("/state", "/home/u"), "/state/veltro/history");
  EXPECT_EQ(repl::history_path("/state/", "/home/u"), "/state/veltro/history");
  EXPECT_EQ(repl::history_path(nullptr, "/home/u"), "/home/u/.local/state/veltro/history");
  EXPECT_EQ(repl::history_path("", "/home/u/"), "/home/u/.local/state/veltro/history");
  // A relative folder is ignored.
  EXPECT_EQ(repl::history_path("state", "/home/u"), "/home/u/.local/state/veltro/history");
  EXPECT_EQ(repl::history_path("state", "home"), "");
  EXPECT_EQ(repl::history_path(nullptr, nullptr), "");
}

// Runs entries as the terminal prompt does, with Ctrl-C pressed once the
// second entry has had time to start.
class Interrupted : public testing::Test {
 protected:
  void run(std::string_view text) {
    auto tokens = tokenize(text);
    Parser parser(tokens);
    Block program = parser.parse_program();
    for (const auto& stmt : program) {
      if (interrupt::requested()) break;
      interpreter_.execute(*stmt);
    }
    programs_.push_back(std::move(program));  // functions defined point into it
  }

  // Runs `text` with Ctrl-C pressed after a moment; the output it made.
  std::pair<std::string, std::string> run_interrupted(std::string_view text) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::thread presser([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ::kill(::getpid(), SIGINT);
    });
    run(text);
    presser.join();
    EXPECT_TRUE(interrupt::requested());
    interpreter_.end_interrupt();
    interrupt::clear();
    out_flush();
    std::string out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
  }

  std::string output_of(std::string_view text) {
    testing::internal::CaptureStdout();
    run(text);
    out_flush();
    return testing::internal::GetCapturedStdout();
  }

  // The builtins are registered before the interpreter is made.
  bool registered_ = (register_builtin_modules(), true);
  interrupt::Handler handler_;
  Interpreter interpreter_;
  std::vector<Block> programs_;
};

TEST_F(Interrupted, LoopsStopAndTryDoesNotCatchIt) {
  ASSERT_TRUE(handler_.installed());
  run("let kept = 41\ndef spin() { while true { } }");
  auto [out, err] = run_interrupted(
      "def outer() {\n"
      "  try { spin() } catch e { print(\"caught \" + e) }\n"
      "  print(\"after try\")\n"
      "  return 1\n"
      "}\n"
      "let r = outer()\n"
      "print(\"after call\")\n");
  // Nothing ran past the loop, and the unwinding reported no failures.
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  // Earlier definitions stay; the stopped let bound nothing.
  EXPECT_EQ(output_of("print(kept + 1)\n"), "42\n");
  EXPECT_EQ(interpreter_.environment().find(intern("r")), nullptr);
}

TEST_F(Interrupted, NestedCallsAndForLoopsUnwind) {
  auto [out, err] = run_interrupted(
      "def down(n) {\n"
      "  if n < 50 { return down(n + 1) }\n"
      "  for i in 0..100000000 { let x = i }\n"
      "  return 0\n"
      "}\n"
      "print(down(0))\n");
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  // The next entry runs in full: calls are allowed again at every depth.
  EXPECT_EQ(output_of("def up(n) { if n == 0 { return 0 } return 1 + up(n - 1) }\nprint(up(500))\n"), "500\n");
}

}  // namespace
}  // namespace veltro
