#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "cli.h"

namespace veltro {
namespace {

const std::string kError = "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m ";

// What an escaping exception leaves: one ERROR line and status 1.
std::pair<int, std::string> guarded(const std::function<int()>& body) {
  testing::internal::CaptureStderr();
  int status = run_guarded(body);
  return {status, testing::internal::GetCapturedStderr()};
}

TEST(Cli, EscapingExceptionsBecomeOneErrorLine) {
  EXPECT_EQ(guarded([] { return 0; }), std::pair(0, std::string()));
  EXPECT_EQ(guarded([] { return 1; }), std::pair(1, std::string()));
  EXPECT_EQ(guarded([]() -> int { throw std::bad_alloc(); }), std::pair(1, kError + "Out of memory\n"));
  EXPECT_EQ(guarded([]() -> int { throw fmt::format_error("invalid format string"); }),
            std::pair(1, kError + "Internal error: invalid format string\n"));
  EXPECT_EQ(guarded([]() -> int { throw 42; }), std::pair(1, kError + "Internal error\n"));
}

}  // namespace
}  // namespace veltro
