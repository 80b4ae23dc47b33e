#pragma once
// The 27 core builtins: console input and output, string and array helpers,
// arithmetic, random numbers and type tests. Each takes the evaluated
// arguments and returns one value; none of them ever fails or writes an error
// line: misuse (too few arguments, a type it does not take) gives Null, and
// arguments beyond those it uses are ignored.
#include <span>

#include "runtime/native.h"
#include "runtime/value.h"

namespace veltro {

// Console.
Value builtin_print(std::span<const Value> args);  // each argument's display form on its own line
Value builtin_input(std::span<const Value> args);  // prompt, then one trimmed line of standard input

// Strings and text forms.
Value builtin_len(std::span<const Value> args);  // bytes of a string, elements, entries
Value builtin_upper(std::span<const Value> args);
Value builtin_lower(std::span<const Value> args);
Value builtin_slice(std::span<const Value> args);  // counts characters, not bytes
Value builtin_contains(std::span<const Value> args);
Value builtin_split(std::span<const Value> args);
Value builtin_concat(std::span<const Value> args);

// Arrays: new arrays, the argument never changes.
Value builtin_push(std::span<Value> args);  // may move from its arguments (see updating())
Value builtin_pop(std::span<const Value> args);  // the last element
Value builtin_reverse(std::span<const Value> args);

// Arithmetic.
Value builtin_abs(std::span<const Value> args);
Value builtin_sqrt(std::span<const Value> args);
Value builtin_pow(std::span<const Value> args);
Value builtin_min(std::span<const Value> args);
Value builtin_max(std::span<const Value> args);
Value builtin_floor(std::span<const Value> args);
Value builtin_ceil(std::span<const Value> args);
Value builtin_round(std::span<const Value> args);

// Random numbers from the operating system's cryptographic source.
Value builtin_random(std::span<const Value> args);        // Float in [0, 1)
Value builtin_random_range(std::span<const Value> args);  // includes min, excludes max

// Types.
Value builtin_typeof(std::span<const Value> args);
Value builtin_is_number(std::span<const Value> args);
Value builtin_is_string(std::span<const Value> args);
Value builtin_is_array(std::span<const Value> args);
Value builtin_is_dict(std::span<const Value> args);

// All 27 as global builtins, in registration order.
[[nodiscard]] const NativeModule& core_module();

}  // namespace veltro
