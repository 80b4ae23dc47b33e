#include "modules/sys/sys_module.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>

#include <fmt/format.h>

#include "modules/sys/messages.h"
#include "runtime/console.h"
#include "runtime/interrupt.h"

namespace veltro {

namespace msg = sys_messages;

namespace {

std::vector<std::string>& script_arguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

std::optional<Value> check(std::span<const Value> args, std::string_view function, std::string_view kinds) {
  return check_arguments(args, function, kinds, msg::kArguments);
}

Value sys_args(std::span<const Value> args) {
  if (auto bad = check(args, "args", "")) return *bad;
  std::vector<Value> items;
  for (const std::string& a : script_arguments()) items.push_back(Value::string(a));
  return Value::array(std::move(items));
}

Value sys_env(std::span<const Value> args) {
  if (auto bad = check(args, "env", "s")) return *bad;
  const std::string& name = args[0].as_string();
  // A name with a NUL byte or "=" names no variable.
  if (name.empty() || name.find_first_of(std::string_view("\0=", 2)) != std::string::npos) return Value::null();
  const char* value = std::getenv(name.c_str());
  return value ? Value::string(value) : Value::null();
}

template <class Clock>
double seconds_of() {
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

Value sys_clock(std::span<const Value> args) {
  if (auto bad = check(args, "clock", "")) return *bad;
  return Value::real(seconds_of<std::chrono::steady_clock>());
}

Value sys_time(std::span<const Value> args) {
  if (auto bad = check(args, "time", "")) return *bad;
  return Value::real(seconds_of<std::chrono::system_clock>());
}

Value sys_sleep(std::span<const Value> args) {
  if (auto bad = check(args, "sleep", "n")) return *bad;
  double seconds = args[0].to_double();
  if (!(seconds >= 0)) return Value::error(fmt::format(msg::kBadSleep, args[0].display()));
  out_flush();
  if (int wake = interrupt::wake_fd(); wake >= 0) {
    // At the interactive prompt: until the time is up or Ctrl-C is pressed
    // (the interpreter then stops the entry). The signal reaches another
    // thread, so the wait watches the descriptor it writes to.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::min(seconds, 1e9));
    while (!interrupt::requested()) {
      auto left = std::chrono::duration<double, std::milli>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd fd{wake, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(std::min(std::ceil(left), 1e6))) > 0) (void)interrupt::drain_wake_fd();
    }
    return Value::null();
  }
  // In pieces that a timespec holds whatever the request.
  while (seconds > 0) {
    double piece = std::min(seconds, 1e6);
    seconds -= piece;
    timespec left{static_cast<std::time_t>(piece), static_cast<long>((piece - std::floor(piece)) * 1e9)};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
  return Value::null();
}

Value sys_exit(std::span<const Value> args) {
  if (auto bad = check(args, "exit", "i")) return *bad;
  std::int64_t status = args[0].as_number();
  if (status < 0 || status > 255) return Value::error(fmt::format(msg::kBadStatus, status));
  out_flush();
  std::fflush(nullptr);
  // At once, from whichever thread runs the script: nothing else is left to
  // write, and the operating system releases windows, sockets and files.
  std::_Exit(static_cast<int>(status));
}

std::string unknown_function(std::string_view function) { return fmt::format(msg::kNoSuchFunction, function); }

}  // namespace

void set_script_arguments(std::vector<std::string> arguments) { script_arguments() = std::move(arguments); }

const NativeModule& sys_module() {
  static constexpr NativeFunction kFunctions[] = {
      {"sys.args", without_state<sys_args>},   {"sys.env", without_state<sys_env>},
      {"sys.clock", without_state<sys_clock>}, {"sys.time", without_state<sys_time>},
      {"sys.sleep", without_state<sys_sleep>, true}, {"sys.exit", without_state<sys_exit>},
  };
  static const NativeModule kModule{
      .name = "sys", .functions = kFunctions, .unknown_function = unknown_function, .owns_name = false};
  return kModule;
}

}  // namespace veltro
