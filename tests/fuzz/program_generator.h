#pragma once
// Generates Veltro programs that are valid and always end, for running two
// cores side by side and as a fuzz target of its own. The programs use every
// statement and expression form, dynamic scope (functions reading their
// callers' locals, `global`), failures travelling as values, recursion,
// script modules written beside the program and the library modules.
//
// Why they end: every while loop counts a counter of its own up to a small
// bound (the increment is the first statement of the body, so a pending
// break or continue cannot skip it); for loops run over ranges with small
// bounds, over short array literals, or over any array behind a counter and
// a break; functions call only functions defined before them, and recursion
// has a depth argument taken from a literal or a loop counter; and every call
// and loop is charged to a budget of statements the program may run.
// Why they stay small: a string or array that is stored is built from at most
// one other unbounded value plus literals, so values grow by addition, never
// by doubling; conversions that multiply sizes (text forms, case mapping,
// splitting) only see bounded values when their result is stored.
// Why they are deterministic: no input, clock, random number or socket; files
// only under the working folder, whose listings reach text as counts and
// membership tests (their order is the system's); and no dictionary with more
// than one entry reaches text (its order is unspecified).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltro::gen {

// Where every choice of the generator comes from: a pseudo-random stream
// from a 64-bit seed, or the bytes of a fuzz input followed by zeros. A zero
// always picks the first and smallest alternative, so every input, however
// short, gives a complete program.
class Choices {
 public:
  explicit Choices(std::uint64_t seed);
  Choices(const std::uint8_t* data, std::size_t size);

  // A number in [0, n); 0 when n is 0 or 1.
  [[nodiscard]] std::uint32_t below(std::uint32_t n);

 private:
  std::uint64_t state_ = 0;
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool bytes_ = false;
};

struct Options {
  // Script modules beside the program, and the library modules text, data,
  // sys and files; off where a sandbox refuses every module.
  bool modules = true;
  // Some programs ask for the debug switch (-D): DEBUG and DEBUG CALL lines.
  bool debug_switch = true;
};

struct ModuleFile {
  std::string name;  // loaded by `use name`, from name + ".vt" in the working directory
  std::string text;
};

struct Program {
  std::string text;
  std::vector<ModuleFile> modules;
  bool extra_debug = false;  // run with -D
  // It uses the files module: it changes its working folder, so each run
  // needs a fresh one.
  bool writes_files = false;
};

[[nodiscard]] Program generate_program(Choices& choices, const Options& options = {});

}  // namespace veltro::gen
