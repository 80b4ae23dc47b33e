// veltro-differ's runs: a child process that runs veltro, in this process's
// copy or as a program, with the run folder, arguments, environment and
// standard input of its case; and the cases made from script markers.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "differ/cases.h"
#include "differ/run.h"
#include "fuzz/program_generator.h"

namespace veltro::differ {
namespace {

namespace fs = std::filesystem;

class DifferRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltro-differ-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  static Case script(const std::string& text, std::vector<std::string> args = {}) {
    Case c;
    c.label = "test";
    c.files.emplace_back("program.vt", text);
    args.push_back("program.vt");
    c.args = args;
    return c;
  }

  fs::path root_;
};

TEST_F(DifferRuns, AChildRunsTheScriptAsTheDriverDoes) {
  Slot slot((root_ / "run").string(), 5);
  Side side{"", Core::Tree};
  Outcome o = slot.run(side, script("print(1, \"two\")\nlet x = 1 / 0\nprint(input(\"> \"))\n"));
  EXPECT_EQ(o.status, 0);
  EXPECT_FALSE(o.timed_out);
  EXPECT_EQ(o.out, "1\ntwo\n> \n");
  EXPECT_EQ(o.err,
            "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m Division by zero\n"
            "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m Error in global let statement for 'x': Division by zero\n"
            "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m Division by zero\n"
            "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m Error in let statement for 'x': Division by zero\n");

  // Standard input, the folder's other files, the exit status.
  Case c = script("use helper\nprint(input(\"? \"), helper.n)\nuse sys\nsys.exit(3)\nprint(\"never\")\n");
  c.files.emplace_back("helper.vt", "let n = 7\n");
  c.input = "typed\n";
  o = slot.run(side, c);
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, "? typed\n7\n");
  EXPECT_EQ(o.err, "");

  // The run report's figures are masked; a refused file gives status 1.
  o = slot.run(side, script("print(2)\n", {"-d"}));
  EXPECT_NE(o.err.find("Parsing      : <ms>\n"), std::string::npos) << o.err;
  Case refused = script("");
  refused.args = {"program.txt"};
  EXPECT_EQ(slot.run(side, refused).status, 1);
}

// Programs that share a child give the outcomes they give alone: the debug
// switch, the names and the streams start afresh for each.
TEST_F(DifferRuns, ABatchGivesWhatSeparateRunsGive) {
  Slot slot((root_ / "run").string(), 5);
  Side side{"", Core::Tree};
  std::vector<Case> batch;
  batch.push_back(script("def f(x) { return x * 2 }\nprint(f(21))\nmatch 3 { 1 => print(1) }\n", {"-D"}));
  batch.back().label = "debug";
  batch.push_back(script("use helper\nprint(helper.n, f)\nlet y = undefined_name\n"));
  batch.back().label = "module";
  batch.back().files.emplace_back("helper.vt", "let n = 7\n");
  batch.push_back(script("print(\"last\")\n"));
  batch.back().label = "last";
  pid_t pid = slot.start_batch(side, batch);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  std::vector<Outcome> together = slot.finish_batch(status);
  ASSERT_EQ(together.size(), 3u);
  for (std::size_t i = 0; i < batch.size(); ++i) {
    Outcome alone = slot.run(side, batch[i]);
    EXPECT_EQ(together[i], alone) << batch[i].label << "\n" << together[i].err << "\n---\n" << alone.err;
  }
  EXPECT_NE(together[0].err.find("DEBUG CALL"), std::string::npos);
  EXPECT_EQ(together[1].err.find("DEBUG"), std::string::npos);
  EXPECT_NE(together[1].err.find("Undefined variable 'f'"), std::string::npos);

  // A program that ends its process ends the batch there.
  batch[1] = script("use sys\nprint(1)\nsys.exit(2)\n");
  pid = slot.start_batch(side, batch);
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(slot.finish_batch(status).size(), 1u);
}

// A program that writes files finds its folder as it was made, on every run,
// in a batch or alone; one that writes none shares the folder between runs.
TEST_F(DifferRuns, ProgramsThatWriteFilesGetAFreshFolderForEveryRun) {
  Slot slot((root_ / "run").string(), 5);
  Side side{"", Core::Tree};
  Case writer = script("use files\nprint(files.exists(\"mark.txt\"))\nfiles.write(\"mark.txt\", 1)\n");
  writer.label = "writer";
  std::vector<Case> batch{writer, script("print(2)\n")};
  batch[1].keeps_folder = true;
  for (int round = 0; round < 2; ++round) {
    pid_t pid = slot.start_batch(side, batch);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::vector<Outcome> outcomes = slot.finish_batch(status);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].out, "false\n") << "round " << round;
  }
  for (int round = 0; round < 2; ++round) EXPECT_EQ(slot.run(side, writer).out, "false\n") << "round " << round;
  // What the generator marks as writing files is run that way.
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    GeneratedCase g = generated_case(seed);
    bool uses_files = g.input.files.back().second.find("use files") != std::string::npos;
    EXPECT_EQ(g.input.keeps_folder, !uses_files) << "seed " << seed;
  }
}

TEST_F(DifferRuns, ARunThatDoesNotEndIsStopped) {
  Slot slot((root_ / "run").string(), 1);
  Outcome o = slot.run({"", Core::Tree}, script("print(\"started\")\nwhile true { }\n"));
  EXPECT_TRUE(o.timed_out);
  EXPECT_NE(o.status, 0);
}

TEST_F(DifferRuns, ABinaryGetsTheArgumentsEnvironmentAndCore) {
  fs::path fake = root_ / "fake-veltro";
  write(fake, "#!/bin/sh\necho \"$@|$VELTRO_CORE|$GREETING|$(cat)|$(ls)\"\necho err >&2\nexit 4\n");
  fs::permissions(fake, fs::perms::owner_all);
  Slot slot((root_ / "run").string(), 5);
  Case c = script("print(1)\n", {"-D"});
  c.env.emplace_back("GREETING", "hello");
  c.input = "in";
  Outcome o = slot.run({fake.string(), Core::Compiled}, c);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.out, "-D program.vt|compiled|hello|in|program.vt\n");
  EXPECT_EQ(o.err, "err\n");
  // Without a core the binary keeps its own default.
  o = slot.run({fake.string(), std::nullopt}, c);
  EXPECT_EQ(o.out, "-D program.vt||hello|in|program.vt\n");
}

TEST_F(DifferRuns, ScriptMarkersSetUpTheRun) {
  write(root_ / "t" / "marked.vt",
        "# args: -D\n# args-after: one \"two words\" ''\n# env: NAME=a=b\n# stdin: first\nprint(1)  # stdin: second\n");
  write(root_ / "t" / "fixtures" / "data" / "x.txt", "x");
  write(root_ / "t" / "fixtures" / "mod.vt", "let a = 1\n");
  write(root_ / "t" / "repl.vt", "# no-file\n");
  write(root_ / "t" / "repl.stdin", "print(5)\n");
  write(root_ / "t" / "server.vt", "use http\nhttp.serve(8080)\n");
  write(root_ / "t" / "refused.vt", "http.serve()  # expect-error: serve requires a port number\n");
  write(root_ / "u" / "alone.vt", "print(1)\n");
  write(root_ / "u" / "data.txt", "beside\n");

  ScriptCases found = script_cases({(root_ / "t").string(), (root_ / "u" / "alone.vt").string()});
  ASSERT_EQ(found.cases.size(), 4u);
  ASSERT_EQ(found.left_out.size(), 1u);
  EXPECT_EQ(found.left_out[0].first, (root_ / "t" / "server.vt").string());

  const Case& marked = found.cases[0];
  EXPECT_EQ(marked.label, (root_ / "t" / "marked.vt").string());
  EXPECT_EQ(marked.args, (std::vector<std::string>{"-D", "marked.vt", "one", "two words", ""}));
  EXPECT_EQ(marked.env, (std::vector<std::pair<std::string, std::string>>{{"NAME", "a=b"}}));
  EXPECT_EQ(marked.input, "first\nsecond\n");
  EXPECT_EQ(marked.fixtures, (root_ / "t" / "fixtures").string());

  const Case& refused = found.cases[1];
  EXPECT_EQ(refused.args, (std::vector<std::string>{"refused.vt"}));

  const Case& repl = found.cases[2];
  EXPECT_TRUE(repl.args.empty());
  EXPECT_EQ(repl.input, "print(5)\n");

  const Case& alone = found.cases[3];
  EXPECT_TRUE(alone.fixtures.empty());
  ASSERT_EQ(alone.files.size(), 2u);
  EXPECT_EQ(alone.files[0], (std::pair<std::string, std::string>{"data.txt", "beside\n"}));

  // A fuzz corpus: every file, run alone under a .vt name; the files and
  // http modules are not reached.
  write(root_ / "c" / "0a1b", "print(3)\n");
  write(root_ / "c" / "ff00", "use files\n");
  ScriptCases corpus = script_cases({(root_ / "c").string()}, true);
  ASSERT_EQ(corpus.cases.size(), 1u);
  EXPECT_EQ(corpus.cases[0].args, (std::vector<std::string>{"input.vt"}));
  EXPECT_EQ(corpus.left_out.size(), 1u);

  // The fixtures arrive in the run folder, subfolders included.
  Slot slot((root_ / "run").string(), 5);
  Case c = script("use mod\nprint(mod.a)\n");
  c.fixtures = marked.fixtures;
  EXPECT_EQ(slot.run({"", Core::Tree}, c).out, "1\n");
  EXPECT_TRUE(fs::exists(root_ / "run" / "data" / "x.txt"));
}

// A finding of the generated fuzz target replays as the program it made.
TEST_F(DifferRuns, FuzzInputsReplayAsTheirPrograms) {
  std::string bytes = "\x07\xc8\x0d\x63\x01\x00\xfa\x1f\x90\x33";
  write(root_ / "found" / "crash-1", bytes);
  std::vector<Case> cases = choice_cases({(root_ / "found").string()});
  ASSERT_EQ(cases.size(), 1u);
  gen::Choices choices(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  gen::Program program = gen::generate_program(choices, {.modules = false, .debug_switch = true});
  ASSERT_FALSE(cases[0].files.empty());
  EXPECT_EQ(cases[0].files.back(), (std::pair<std::string, std::string>{"program.vt", program.text}));
  EXPECT_EQ(cases[0].args.back(), "program.vt");
}

TEST(DifferText, WordsAndTimings) {
  EXPECT_EQ(split_words(" one \"two words\" -x  -d \"\" 'single \"q\"' a\\ b"),
            (std::vector<std::string>{"one", "two words", "-x", "-d", "", "single \"q\"", "a b"}));
  std::string text = "Parsing : 12.345ms\nTook 0.100ms, 7ms, 1.5ms, 2.3456ms, v1.000ms\n";
  mask_timings(text);
  EXPECT_EQ(text, "Parsing : <ms>\nTook <ms>, 7ms, 1.5ms, 2.3456ms, v<ms>\n");
}

}  // namespace
}  // namespace veltro::differ
