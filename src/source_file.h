#pragma once
// Reading a script or module file as UTF-8 text.
#include <string>

namespace veltro {

struct SourceFile {
  bool ok = false;
  std::string text;   // the file's text when ok
  std::string error;  // the system's description of the failure otherwise
};

[[nodiscard]] SourceFile read_source_file(const std::string& path);

}  // namespace veltro
