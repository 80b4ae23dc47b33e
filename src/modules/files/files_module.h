#pragma once
// The `files` module: reading, writing, appending and deleting text files,
// testing paths, and creating, deleting and listing folders. Stateless: every
// call is one synchronous request to the operating system.
#include "runtime/native.h"

namespace veltro {

// The module's table, in export-table order: read, write, append, delete,
// exists, create_folder, delete_folder, list, is_file, is_folder. Failures
// come back as Error values and are not written here.
[[nodiscard]] const NativeModule& files_module();

}  // namespace veltro
