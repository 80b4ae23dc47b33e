#pragma once
// Console streams: buffered script output, the tagged diagnostic lines on
// standard error, and line reads from standard input.
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace veltro {

// Script output. Buffered; flushed before every standard-error line, before
// reading standard input, before blocking waits and at exit.
void out_write(std::string_view text);
void out_flush();

// Drops everything written to both streams from now on (test harnesses).
void discard_output(bool discard);

// Test harnesses: both streams are appended to `into` instead of being
// written out, until capture_output(nullptr).
struct CapturedOutput {
  std::string out;
  std::string err;
};
void capture_output(CapturedOutput* into);

// A plain line (or any bytes) on standard error, after flushing standard output.
void err_write(std::string_view text);

namespace detail {
extern bool g_debug;
}

// The process-wide debug switch governing DEBUG and DEBUG CALL lines.
[[nodiscard]] inline bool debug_enabled() { return detail::g_debug; }
void set_debug(bool on);

void log_error(std::string_view message);
void log_debug(std::string_view message);
void log_debug_call(std::string_view message);
void log_run(std::string_view message);

enum class ReadResult { Line, End, Failed };

// Reads one line from standard input, including its line feed when present.
// End: nothing could be read (end of input). Failed: the read failed, or
// Ctrl-C cut it short at the interactive prompt.
[[nodiscard]] ReadResult read_line(std::string& line);

}  // namespace veltro
