#pragma once
// The fixed table of the 39 global builtins, consulted by the dispatcher
// before any variable.
#include <span>
#include <string_view>

#include "runtime/value.h"

namespace veltro {

class Interpreter;

using BuiltinFn = Value (*)(Interpreter& interpreter, std::span<const Value> args);

struct BuiltinEntry {
  std::string_view name;
  BuiltinFn fn;
};

// In registration order.
[[nodiscard]] std::span<const BuiltinEntry> builtin_table();
// Index into the table, or -1.
[[nodiscard]] int find_builtin(std::string_view name);

}  // namespace veltro
