#pragma once
// Where the entries typed at the interactive prompt are kept between sessions.
#include <string>

namespace veltro::repl {

// $XDG_STATE_HOME/veltro/history when that variable names an absolute
// folder, else $HOME/.local/state/veltro/history; empty when neither
// variable does (there is then no history file). Either argument may be null.
[[nodiscard]] std::string history_path(const char* xdg_state_home, const char* home);

}  // namespace veltro::repl
