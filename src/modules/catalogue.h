#pragma once
// The catalogue of every function a script can call by name: the global
// builtins and the functions of the built-in modules, with their parameters
// and a one-line description. Plain data with no tie to the interpreter's
// values, read by the checker, the documentation tests and tools that offer
// completion; a unit test keeps it equal to the tables the interpreter runs.
#include <cstdint>
#include <span>
#include <string_view>

namespace veltro::catalogue {

inline constexpr std::uint8_t kVariadic = 0xff;

struct Function {
  std::string_view name;
  // Parameter names separated by ", "; an optional one in brackets
  // ("[reason]"), a variadic one ending in "..." ("values...").
  std::string_view params;
  std::string_view summary;
  // Fewer arguments than min_args: a builtin answers null (the type tests
  // false) and does nothing,
  // a module function fails. Arguments past max_args (kVariadic: none) are
  // ignored.
  std::uint8_t min_args;
  std::uint8_t max_args;
  // Does something besides computing its result: console or file input and
  // output, the window, the network, randomness.
  bool effects;
};

struct Module {
  std::string_view name;
  std::span<const Function> functions;
  // files, http, sdl2: the name always reaches the module, and calls through
  // an alias or an item import do not run it. The library modules (text,
  // data, sys) are ordinary modules: a script module of the same name in
  // the working directory wins, and aliases and item imports work.
  bool owns_name;
};

// The global builtins, in the order of the interpreter's builtin table.
[[nodiscard]] std::span<const Function> builtins();
// The built-in modules: files, http, sdl2, text, data, sys (functions in
// export-table order).
[[nodiscard]] std::span<const Module> modules();

[[nodiscard]] const Function* find_builtin(std::string_view name);
[[nodiscard]] const Module* find_module(std::string_view name);
[[nodiscard]] const Function* find_function(const Module& module, std::string_view name);

}  // namespace veltro::catalogue
