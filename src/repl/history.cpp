#include "repl/history.h"

namespace veltro::repl {

namespace {

// Relative folders are ignored, as the base-directory convention asks.
bool absolute(const char* folder) { return folder != nullptr && folder[0] == '/'; }

}  // namespace

std::string history_path(const char* xdg_state_home, const char* home) {
  std::string path;
  if (absolute(xdg_state_home)) {
    path = xdg_state_home;
  } else if (absolute(home)) {
    path = home;
    if (!path.ends_with('/')) path += '/';
    path += ".local/state";
  } else {
    return path;
  }
  if (!path.ends_with('/')) path += '/';
  return path + "veltro/history";
}

}  // namespace veltro::repl
