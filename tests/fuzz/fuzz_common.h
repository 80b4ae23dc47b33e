#pragma once
// Shared by the fuzz targets (each includes it once). Inputs run on the main
// thread, whose stack may grow to 1 GiB, as scripts do in the real program.
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  (void)argc;
  rlimit limit{};
  constexpr rlim_t kWanted = rlim_t{1} << 30;
  if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kWanted) {
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= kWanted ? kWanted : limit.rlim_max;
    // The main thread's stack limit is read when the process starts: start again.
    if (setrlimit(RLIMIT_STACK, &limit) == 0) execv("/proc/self/exe", *argv);
  }
  return 0;
}

namespace veltro::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace veltro::fuzz
