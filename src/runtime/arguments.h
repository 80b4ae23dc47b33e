#pragma once
// Checking the arguments of a library module's function: their exact count
// and their kinds, reported in the module's own words.
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include <fmt/format.h>

#include "runtime/value.h"

namespace veltro {

struct ArgumentMessages {
  // The function's name, the count it takes, the count given.
  fmt::format_string<std::string_view, std::size_t, std::size_t> count;
  // The function's name, the kind it takes ("a string"), the argument's
  // position from 1, the type name of what was given.
  fmt::format_string<std::string_view, std::string_view, std::size_t, std::string_view> kind;
};

// An Error value when `args` does not fit `kinds`, one letter per argument:
// s a string, i a whole number (a Number), n a number or a float, a an
// array, d a dictionary, * anything. The count must be exactly that of
// `kinds`.
[[nodiscard]] std::optional<Value> check_arguments(std::span<const Value> args, std::string_view function,
                                                   std::string_view kinds, const ArgumentMessages& messages);

// Whether a string of `length` bytes may be built by a library function
// (limits::kMaxBuiltStringBytes, and the harness's bound).
[[nodiscard]] bool built_string_fits(std::size_t length);

}  // namespace veltro
