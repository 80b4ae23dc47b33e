// Generated programs: the fuzz input steers the program generator instead of
// being a script itself, so every input is a valid program that ends. Each
// program runs in the sandbox with a budget of steps, once under every core
// and once more under the first, and these must hold:
// - nothing crashes, and the run ends long before the budget runs out (the
//   generator promises programs that end);
// - every run writes the same standard output and standard error: the cores
//   agree, and a run is repeatable;
// - standard error holds only tagged lines (ERROR, DEBUG, DEBUG CALL).
// A failure prints the program and both outcomes, then aborts.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "fuzz_common.h"
#include "interpreter/core.h"
#include "lexer/lexer.h"
#include "modules/registry.h"
#include "parser/symbols.h"
#include "program_generator.h"
#include "run.h"
#include "runtime/console.h"
#include "runtime/harness.h"

namespace {

// The cores compared. Once one core is left, the other checks still hold.
constexpr veltro::Core kCores[] = {veltro::Core::Tree, veltro::Core::Compiled};

// Far above what a generated program runs (a few thousand statements).
constexpr std::int64_t kSteps = 1'000'000;

struct Outcome {
  veltro::CapturedOutput output;
  bool halted = false;
};

Outcome run(const std::string& text, bool extra_debug, veltro::Core core) {
  veltro::select_core(core);
  auto& settings = veltro::harness::g_settings;
  settings.limited = true;
  settings.steps_left = kSteps;
  settings.halted = false;
  Outcome outcome;
  veltro::capture_output(&outcome.output);
  {
    auto tokens = veltro::tokenize(text);
    try {
      (void)veltro::run_program(tokens, false, extra_debug, 0.0);
    } catch (const std::bad_alloc&) {
      outcome.output.err += "(out of memory)\n";
    }
  }
  veltro::out_flush();
  veltro::capture_output(nullptr);
  veltro::set_debug(false);
  outcome.halted = settings.halted;
  // Each program brings its own names, as in a fresh process.
  veltro::clear_symbols();
  return outcome;
}

[[noreturn]] void fail(std::string_view what, const std::string& text, const Outcome& a, const Outcome* b) {
  std::fprintf(stderr, "generated_fuzz: %.*s\n---- program\n%s---- stdout\n%s---- stderr\n%s", static_cast<int>(what.size()),
               what.data(), text.c_str(), a.output.out.c_str(), a.output.err.c_str());
  if (b) std::fprintf(stderr, "---- other stdout\n%s---- other stderr\n%s", b->output.out.c_str(), b->output.err.c_str());
  std::abort();
}

// Standard error is a sequence of lines, each starting with a tag; a message
// may itself hold a line feed, but never a tag's escape character.
bool well_formed(std::string_view err) {
  static constexpr std::string_view kTags[] = {
      "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m ",
      "\x1b[33m[\x1b[93mDEBUG\x1b[33m]\x1b[0m ",
      "\x1b[33m[\x1b[93mDEBUG CALL\x1b[33m]\x1b[0m ",
  };
  std::size_t at = 0;
  while (at < err.size()) {
    std::string_view rest = err.substr(at);
    std::size_t tag = 0;
    for (auto t : kTags) {
      if (rest.starts_with(t)) tag = t.size();
    }
    if (tag == 0) return false;
    std::size_t next = rest.find('\x1b', tag);
    std::string_view record = rest.substr(0, next);
    if (record.empty() || record.back() != '\n') return false;
    at += record.size();
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    veltro::harness::g_settings.sandbox = true;
    veltro::harness::g_settings.max_range = 100000;
    veltro::harness::g_settings.max_string = std::size_t{16} << 20;
    veltro::register_builtin_modules();
    return true;
  }();
  (void)ready;
  veltro::gen::Choices choices(data, size);
  // The sandbox refuses every module.
  veltro::gen::Program program = veltro::gen::generate_program(choices, {.modules = false, .debug_switch = true});

  Outcome first = run(program.text, program.extra_debug, kCores[0]);
  if (first.halted) fail("the program did not end within the step budget", program.text, first, nullptr);
  if (!well_formed(first.output.err)) fail("standard error holds an untagged line", program.text, first, nullptr);
  for (veltro::Core core : kCores) {
    Outcome again = run(program.text, program.extra_debug, core);
    if (again.output.out != first.output.out || again.output.err != first.output.err || again.halted) {
      fail(core == kCores[0] ? "a second run differs from the first" : "the cores differ", program.text, first, &again);
    }
  }
  return 0;
}
