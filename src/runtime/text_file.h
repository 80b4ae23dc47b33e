#pragma once
// Reading a whole file as UTF-8 text: scripts, modules, templates and
// files.read all go through here, under one size cap.
#include <string>

namespace veltro {

struct TextFile {
  bool ok = false;
  std::string text;   // the file's text when ok
  std::string error;  // the description of the failure otherwise
};

// Reads the file at `path`. A file that is not valid UTF-8, or holds more than
// limits::kMaxFileBytes (an endless source such as /dev/zero), fails.
[[nodiscard]] TextFile read_text_file(const std::string& path);

}  // namespace veltro
