#pragma once
// The `data` module: the keys, values and entries of dictionaries, array
// elements replaced, inserted and removed by index, searching, slicing,
// sorting and summing arrays. Values never change: every function returns a
// new dictionary or array, built in place of its first argument when that
// holds the only reference (`d = data.set(d, k, v)`).
#include "runtime/native.h"

namespace veltro {

// The module's table, in export-table order: keys, values, has, get, set,
// remove, set_at, insert_at, remove_at, index_of, slice, sort, sum. Misuse
// comes back as an Error value.
[[nodiscard]] const NativeModule& data_module();

}  // namespace veltro
