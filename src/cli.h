#pragma once
// The command line: what the user asked for.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

struct CommandLine {
  enum class Action { Help, Version, Repl, Run };
  Action action = Action::Repl;
  std::string script_path;
  bool debug = false;        // -d or -D: the run report
  bool extra_debug = false;  // -D: DEBUG and DEBUG CALL lines
  // The arguments after the script path that are not options, for the script.
  std::vector<std::string> script_args;
};

// `args` excludes the program's own path.
[[nodiscard]] CommandLine parse_command_line(const std::vector<std::string>& args);

// Only files whose last path component has a "." that is not its first
// character, followed by exactly "vt", may run.
[[nodiscard]] bool has_script_extension(std::string_view path);

[[nodiscard]] std::string_view help_text();
[[nodiscard]] std::string_view version_text();

// Runs the whole command line; returns the exit status.
int run_command_line(const std::vector<std::string>& args);

// Runs `body` and returns its status; an exception that escapes it becomes
// one ERROR line and status 1 instead of ending the process abruptly.
int run_guarded(const std::function<int()>& body);

}  // namespace veltro
