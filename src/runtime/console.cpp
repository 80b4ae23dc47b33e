#include "runtime/console.h"

#include <cerrno>
#include <unistd.h>

#include "runtime/interrupt.h"
#include "runtime/limits.h"

namespace veltro {

namespace detail {
bool g_debug = false;
}

namespace {

bool g_discard = false;
CapturedOutput* g_capture = nullptr;

std::string& out_buffer() {
  static std::string buffer;
  return buffer;
}

// Writes everything or gives up on the first hard error (a closed pipe, say):
// there is nowhere left to report it.
void write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

constexpr std::string_view kErrorTag = "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m ";
constexpr std::string_view kDebugTag = "\x1b[33m[\x1b[93mDEBUG\x1b[33m]\x1b[0m ";
constexpr std::string_view kDebugCallTag = "\x1b[33m[\x1b[93mDEBUG CALL\x1b[33m]\x1b[0m ";
constexpr std::string_view kRunTag = "\x1b[33m[\x1b[93mVELTRO\x1b[33m]\x1b[0m ";

void write_line(std::string_view tag, std::string_view message) {
  std::string line;
  line.reserve(tag.size() + message.size() + 1);
  line.append(tag).append(message).push_back('\n');
  err_write(line);
}

struct StdinBuffer {
  std::string data;
  std::size_t pos = 0;
  bool eof = false;
};

StdinBuffer& stdin_buffer() {
  static StdinBuffer buffer;
  return buffer;
}

}  // namespace

void discard_output(bool discard) { g_discard = discard; }

void capture_output(CapturedOutput* into) { g_capture = into; }

// On a terminal, output appears line by line, as a user watching it expects;
// into a pipe or file it goes in large blocks.
static bool stdout_is_terminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

void out_write(std::string_view text) {
  if (g_discard) return;
  auto& buffer = out_buffer();
  buffer.append(text);
  if (buffer.size() >= limits::kStdoutBufferBytes ||
      (stdout_is_terminal() && text.find('\n') != std::string_view::npos)) {
    out_flush();
  }
}

void out_flush() {
  auto& buffer = out_buffer();
  if (buffer.empty()) return;
  if (g_capture) {
    g_capture->out += buffer;
  } else {
    write_all(STDOUT_FILENO, buffer);
  }
  buffer.clear();
}

void err_write(std::string_view text) {
  if (g_discard) return;
  out_flush();
  if (g_capture) {
    g_capture->err.append(text);
    return;
  }
  write_all(STDERR_FILENO, text);
}

void set_debug(bool on) { detail::g_debug = on; }

void log_error(std::string_view message) {
  // Once Ctrl-C has stopped an entry, the failures of what it cut short are
  // no news: the prompt reports the interrupt alone.
  if (interrupt::requested()) return;
  write_line(kErrorTag, message);
}

void log_debug(std::string_view message) {
  if (debug_enabled()) write_line(kDebugTag, message);
}

void log_debug_call(std::string_view message) {
  if (debug_enabled()) write_line(kDebugCallTag, message);
}

void log_run(std::string_view message) { write_line(kRunTag, message); }

ReadResult read_line(std::string& line) {
  out_flush();
  line.clear();
  auto& in = stdin_buffer();
  for (;;) {
    std::size_t newline = in.data.find('\n', in.pos);
    if (newline != std::string::npos) {
      line.append(in.data, in.pos, newline + 1 - in.pos);
      in.pos = newline + 1;
      return ReadResult::Line;
    }
    line.append(in.data, in.pos, std::string::npos);
    in.data.clear();
    in.pos = 0;
    if (in.eof) return line.empty() ? ReadResult::End : ReadResult::Line;
    if (!interrupt::wait_readable(STDIN_FILENO)) return ReadResult::Failed;
    char chunk[4096];
    ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadResult::Failed;
    }
    if (n == 0) {
      in.eof = true;
      continue;
    }
    in.data.assign(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace veltro
