#pragma once
// The built-in modules as the program registers them: the global builtins
// (the core ones, then the window and shape builtins), the files, http and
// sdl2 modules, and the library modules text, data and sys. Their names, parameters and summaries are in the
// catalogue beside this (catalogue.h), which a unit test keeps equal to
// these tables.
#include <span>

#include "runtime/native.h"

namespace veltro {

// Every table, in registration order.
[[nodiscard]] std::span<const NativeModule* const> builtin_modules();

// Registers every table with the runtime's registry, once; later calls do
// nothing. Each program calls it before it runs any script.
void register_builtin_modules();

}  // namespace veltro
