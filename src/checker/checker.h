#pragma once
// veltro-check as a library: the findings for one script and the script
// modules it uses. Tools that keep a file open (an editor's language server)
// call check_source with the text they hold.
//
// The checker walks the syntax tree recursively, as the interpreter does;
// like the interpreter, run it on a thread with a large stack (the parser's
// nesting limits bound the depth).
#include <string>
#include <vector>

#include "checker/finding.h"

namespace veltro::check {

struct Options {
  // Read the files of the script modules the script uses and check them too
  // (findings in a module carry the module's path). Off: modules are taken
  // on trust and no file is read.
  bool follow_modules = true;
  // The folder module files are looked for in, as veltro looks in its
  // working directory; empty: the process's working directory.
  std::string module_folder;
};

// Checks the script at `path` whose text is `text`. `path` is reported as
// given; module files are looked for in the working directory, as veltro
// does, and in the script's folder. Findings come sorted by file (the script
// first, then modules in the order they are first used) and position.
[[nodiscard]] std::vector<Finding> check_source(const std::string& path, std::string text, const Options& options = {});

// Sorts findings by file (in the order of `paths`, then of first appearance),
// line, column and code; drops exact repeats.
void sort_findings(std::vector<Finding>& findings, const std::vector<std::string>& paths = {});

}  // namespace veltro::check
