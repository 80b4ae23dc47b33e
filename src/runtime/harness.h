#pragma once
// Settings that only test harnesses turn on (the fuzzers): a budget of
// execution steps, so that endless loops end, and a sandbox without windows,
// network, files, standard input or console output. Normal runs never touch
// them.
#include <cstdint>

#include "runtime/limits.h"

namespace veltro::harness {

struct Settings {
  bool limited = false;         // count steps
  std::int64_t steps_left = 0;  // statements and loop rounds still allowed
  bool halted = false;          // the budget ran out: every statement list stops
  bool sandbox = false;         // no windows, sockets, files, modules or input
  std::int64_t max_range = limits::kMaxRangeElements;
  std::size_t max_string = static_cast<std::size_t>(-1);  // longest string a + may build
};

extern Settings g_settings;

// The step budget exists only in harness builds (VELTRO_HARNESS): a normal
// build never halts, and the checks made after every statement fold away.
#ifdef VELTRO_HARNESS
inline constexpr bool kHarness = true;
#else
inline constexpr bool kHarness = false;
#endif

// Takes one step; false (and halted) once the budget is spent.
inline bool step() {
  if (!kHarness || !g_settings.limited) return true;
  if (g_settings.halted) return false;
  if (--g_settings.steps_left < 0) {
    g_settings.halted = true;
    return false;
  }
  return true;
}

// Work proportional to `units` (building a large range): spends that many
// steps; false (and halted) once the budget is spent.
inline bool charge(std::int64_t units) {
  if (!kHarness || !g_settings.limited) return true;
  g_settings.steps_left -= units;
  return step();
}

// Whether joining strings into `length` bytes stays within the harness's
// bound (always true outside harnesses); past it the run halts.
inline bool string_fits(std::size_t length) {
  if (!kHarness || length <= g_settings.max_string) return true;
  g_settings.halted = true;
  return false;
}

[[nodiscard]] inline bool halted() { return kHarness && g_settings.halted; }
[[nodiscard]] inline bool sandboxed() { return g_settings.sandbox; }

}  // namespace veltro::harness
