#pragma once
// The `text` module: numbers read from text, joining, splitting into lines,
// trimming, replacing, repeating, searching and comparing strings, their
// characters and code points, and numbers written with a fixed count of
// digits. Strings are UTF-8; indexes and counts are in characters.
#include "runtime/native.h"

namespace veltro {

// The module's table, in export-table order: to_number, join, split_lines,
// trim, replace, repeat, find, starts_with, ends_with, compare, chars, code,
// char, fixed. Misuse comes back as an Error value.
[[nodiscard]] const NativeModule& text_module();

}  // namespace veltro
