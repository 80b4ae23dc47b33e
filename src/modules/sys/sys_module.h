#pragma once
// The `sys` module: the script's command-line arguments, environment
// variables, a monotonic clock and the wall-clock time, sleeping, and ending
// the process with a status.
#include <string>
#include <vector>

#include "runtime/native.h"

namespace veltro {

// The module's table, in export-table order: args, env, clock, time, sleep,
// exit. Misuse comes back as an Error value.
[[nodiscard]] const NativeModule& sys_module();

// The arguments sys.args() returns: those after the script path that the
// runner did not take as options. Set by the driver before the script runs.
void set_script_arguments(std::vector<std::string> arguments);

}  // namespace veltro
