// veltro: the command-line interpreter.
#include <string>
#include <vector>

#include "cli.h"
#include "interpreter/core.h"
#include "runtime/console.h"
#include "large_stack.h"

namespace {

// Scripts run on a thread with a large stack so that deep but reasonable
// recursion works; the interpreter's own guards keep it within that stack.
int run(const std::vector<std::string>& args) {
  int status = veltro::run_guarded([&args] { return veltro::run_command_line(args); });
  veltro::out_flush();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  veltro::select_core_from_environment();
  int status = veltro::run_main(argc, argv, run);
  veltro::out_flush();
  return status;
}
