#pragma once
// The `files` module: reading, writing, appending and deleting text files,
// testing paths, and creating, deleting and listing folders. Stateless: every
// call is one synchronous request to the operating system.
#include <span>
#include <string_view>

#include "runtime/value.h"

namespace veltro {

// Runs the files function named by `qualified_name` ("files.read"). Failures
// come back as Error values and are not written here, except an unknown name,
// which is written as an error line at once and also returned.
Value call_files(std::string_view qualified_name, std::span<const Value> args);

// The 10 exported names in export-table order: read, write, append, delete,
// exists, create_folder, delete_folder, list, is_file, is_folder.
std::span<const std::string_view> files_function_names();

}  // namespace veltro
