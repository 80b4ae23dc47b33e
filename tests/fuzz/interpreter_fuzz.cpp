// Whole scripts run in a sandbox (no windows, sockets, files, modules or
// input) with a budget of steps, so that every input ends.
#include <new>

#include "runtime/console.h"
#include "fuzz_common.h"
#include "interpreter/core.h"
#include "runtime/harness.h"
#include "lexer/lexer.h"
#include "modules/registry.h"
#include "parser/symbols.h"
#include "run.h"
#include "runtime/text.h"

// Huge allocations fail with std::bad_alloc, as they do in the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    veltro::harness::g_settings.sandbox = true;
    veltro::harness::g_settings.max_range = 100000;
    veltro::harness::g_settings.max_string = std::size_t{16} << 20;
    veltro::discard_output(true);
    veltro::register_builtin_modules();
    return true;
  }();
  (void)ready;
  auto text = veltro::fuzz::as_text(data, size);
  if (!veltro::text::is_valid_utf8(text)) return 0;  // the driver refuses such files
  auto& settings = veltro::harness::g_settings;
  auto tokens = veltro::tokenize(text);
  // Each core runs the input with the same budget.
  for (veltro::Core core : {veltro::Core::Tree, veltro::Core::Compiled}) {
    veltro::select_core(core);
    settings.limited = true;
    settings.steps_left = 5000;
    settings.halted = false;
    try {
      (void)veltro::run_program(tokens, false, false, 0.0);
    } catch (const std::bad_alloc&) {
      // The program reports "Out of memory" and stops; so does the harness.
    }
  }
  // Each input brings its own names: start the next one with an empty table,
  // as a fresh process would.
  veltro::clear_symbols();
  return 0;
}
