#pragma once

namespace veltro {

class Interpreter;

namespace repl {

// The interactive loop for a person at a terminal, after the banner: entries
// over several lines, values shown, Ctrl-C stopping the running entry, Tab
// completion and a history kept between sessions. Returns on exit, quit,
// Ctrl-D or the end of input.
void run_terminal(Interpreter& interpreter);

}  // namespace repl
}  // namespace veltro
