// Whole scripts run in a sandbox (no windows, sockets, files, modules or
// input) with a budget of steps, so that every input ends.
#include "console.h"
#include "fuzz_common.h"
#include "interpreter/harness.h"
#include "lexer/lexer.h"
#include "parser/symbols.h"
#include "run.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    veltro::harness::g_settings.sandbox = true;
    veltro::harness::g_settings.max_range = 100000;
    veltro::discard_output(true);
    return true;
  }();
  (void)ready;
  auto text = veltro::fuzz::as_text(data, size);
  if (!veltro::text::is_valid_utf8(text)) return 0;  // the driver refuses such files
  auto& settings = veltro::harness::g_settings;
  settings.limited = true;
  settings.steps_left = 5000;
  settings.halted = false;
  auto tokens = veltro::tokenize(text);
  (void)veltro::run_program(tokens, false, false, 0.0);
  // Each input brings its own names: start the next one with an empty table,
  // as a fresh process would.
  veltro::clear_symbols();
  return 0;
}
