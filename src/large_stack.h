#pragma once
// The entry of veltro's programs: their work runs on a thread with the large
// stack scripts run on.
#include <string>
#include <vector>

namespace veltro {

using Program = int (*)(const std::vector<std::string>& args);

// Calls program with the arguments after argv[0] on a new thread whose stack
// is limits::kInterpreterStackBytes, or on this thread where no such thread
// can be made (the stack guards still apply), and returns its exit status.
// A closed pipe is an error result of write(), not a signal.
int run_main(int argc, char** argv, Program program);

}  // namespace veltro
