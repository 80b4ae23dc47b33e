#pragma once
// Ctrl-C for a person at the interactive prompt: the SIGINT handler only
// raises a flag and wakes whoever waits, and the running entry stops at its
// next loop round or call, unwinding like a pending return. Script runs never
// install the handler, so there Ctrl-C ends the process as any command does.
#include <atomic>
#include <cstdint>
#include <string_view>

#include "runtime/limits.h"

namespace veltro::interrupt {

// The ERROR line of a stopped entry, and the message of the error value the
// interrupted calls hand upward while it unwinds.
inline constexpr std::string_view kMessage = "Interrupted";

namespace detail {
extern std::atomic<std::uint8_t> g_requested;  // 0 or 1
extern std::atomic<int> g_call_limit;
static_assert(std::atomic<std::uint8_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");
}  // namespace detail

// Whether Ctrl-C was pressed since the last clear(). One load, which loops
// make at every round.
[[nodiscard]] inline bool requested() noexcept { return detail::g_requested.load(std::memory_order_relaxed) != 0; }

// The deepest call chain allowed right now: limits::kMaxCallDepth, or 0 once
// Ctrl-C is pressed, so that the call-depth check every call makes anyway
// also notices the interrupt.
[[nodiscard]] inline int call_limit() noexcept { return detail::g_call_limit.load(std::memory_order_relaxed); }

// Forgets a pressed Ctrl-C: the next entry runs in full.
void clear() noexcept;

// A file descriptor that becomes readable when Ctrl-C is pressed or the
// terminal is resized (-1 while no handler is installed), for blocking waits
// to poll beside what they wait for. Waking does not consume anything; a
// waiter that finds nothing requested goes back to waiting.
[[nodiscard]] int wake_fd() noexcept;

// What woke a waiter.
struct Wake {
  bool interrupt = false;  // Ctrl-C was pressed
  bool resize = false;     // the terminal changed size
};

// Empties the wake descriptor, so that poll blocks again until the next
// signal, and tells what the signals were.
Wake drain_wake_fd() noexcept;

// Whether the terminal changed size since the last call (and forgets it):
// another waiter may have emptied the descriptor in the meantime.
[[nodiscard]] bool take_resized() noexcept;

// Waits until `fd` is readable: true; false when Ctrl-C is pressed first (or
// the wait fails). Without a handler, true at once.
[[nodiscard]] bool wait_readable(int fd) noexcept;

// Installs the SIGINT and SIGWINCH handlers for its lifetime; restores the
// previous ones when it ends. One at a time.
class Handler {
 public:
  Handler();
  ~Handler();
  Handler(const Handler&) = delete;
  Handler& operator=(const Handler&) = delete;
  [[nodiscard]] bool installed() const noexcept { return installed_; }

 private:
  bool installed_ = false;
};

}  // namespace veltro::interrupt
