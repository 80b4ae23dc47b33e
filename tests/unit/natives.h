#pragma once
// Native functions called as the interpreter calls them: found by name in the
// registry the program fills, run with a caller's module states.
#include <span>
#include <string_view>

#include <gtest/gtest.h>

#include "modules/registry.h"
#include "runtime/native.h"

namespace veltro::test_support {

// The registry index of a function every program registers.
inline NativeIndex native_index(std::string_view name) {
  register_builtin_modules();
  std::optional<NativeIndex> index = natives::find(name);
  EXPECT_TRUE(index.has_value()) << name;
  return index.value_or(0);
}

inline Value call_native(std::string_view name, std::span<const Value> args, ModuleStates& states) {
  return natives::at(native_index(name)).fn(states, args);
}

}  // namespace veltro::test_support
