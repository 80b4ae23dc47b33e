#include "runtime/interrupt.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace veltro::interrupt {

namespace detail {
constinit std::atomic<std::uint8_t> g_requested{0};
constinit std::atomic<int> g_call_limit{limits::kMaxCallDepth};
}  // namespace detail

namespace {

// The self-pipe: the handlers write a byte, waiters poll the read end. Set
// before the handlers are installed; the handlers only read them.
constinit std::atomic<int> g_wake_read{-1};
constinit std::atomic<int> g_wake_write{-1};
constinit std::atomic<bool> g_resized{false};

struct sigaction g_previous_int;
struct sigaction g_previous_winch;

constexpr char kInterruptByte = 'i';
constexpr char kResizeByte = 'w';

void wake(char byte) noexcept {
  int saved = errno;
  int fd = g_wake_write.load(std::memory_order_relaxed);
  if (fd >= 0) {
    // A full pipe already wakes every waiter.
    [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved;
}

void on_interrupt(int) {
  detail::g_requested.store(1, std::memory_order_relaxed);
  detail::g_call_limit.store(0, std::memory_order_relaxed);
  wake(kInterruptByte);
}

void on_resize(int) {
  g_resized.store(true, std::memory_order_relaxed);
  wake(kResizeByte);
}

}  // namespace

void clear() noexcept {
  // In this order, a Ctrl-C landing in between stays requested, and the loops
  // still notice it.
  detail::g_requested.store(0, std::memory_order_relaxed);
  detail::g_call_limit.store(limits::kMaxCallDepth, std::memory_order_relaxed);
}

int wake_fd() noexcept { return g_wake_read.load(std::memory_order_relaxed); }

Wake drain_wake_fd() noexcept {
  Wake wake;
  int fd = wake_fd();
  if (fd < 0) return wake;
  char bytes[64];
  for (;;) {
    ssize_t n = ::read(fd, bytes, sizeof bytes);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (bytes[i] == kInterruptByte) wake.interrupt = true;
      if (bytes[i] == kResizeByte) wake.resize = true;
    }
  }
  return wake;
}

bool wait_readable(int fd) noexcept {
  int wake = wake_fd();
  if (wake < 0) return true;
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) {
      // A resize is noted apart, for the line editor.
      (void)drain_wake_fd();
      if (requested()) return false;
    }
    if (fds[0].revents != 0) return true;
  }
}

bool take_resized() noexcept { return g_resized.exchange(false, std::memory_order_relaxed); }

Handler::Handler() {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;
  g_wake_read.store(fds[0], std::memory_order_relaxed);
  g_wake_write.store(fds[1], std::memory_order_relaxed);
  clear();
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  // Interrupted system calls resume: the waits that must end poll the pipe.
  action.sa_flags = SA_RESTART;
  action.sa_handler = on_interrupt;
  ::sigaction(SIGINT, &action, &g_previous_int);
  action.sa_handler = on_resize;
  ::sigaction(SIGWINCH, &action, &g_previous_winch);
  installed_ = true;
}

Handler::~Handler() {
  if (!installed_) return;
  ::sigaction(SIGINT, &g_previous_int, nullptr);
  ::sigaction(SIGWINCH, &g_previous_winch, nullptr);
  int read_end = g_wake_read.exchange(-1, std::memory_order_relaxed);
  int write_end = g_wake_write.exchange(-1, std::memory_order_relaxed);
  ::close(read_end);
  ::close(write_end);
  clear();
}

}  // namespace veltro::interrupt
