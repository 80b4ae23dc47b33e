#pragma once

namespace veltro {

// The interactive loop: reads entries from standard input and runs them on
// one long-lived interpreter until exit, quit or the end of input.
void run_repl();

}  // namespace veltro
