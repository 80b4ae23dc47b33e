#include "interpreter/builtin_table.h"

#include <array>

#include "modules/core/core_builtins.h"
#include "runtime/harness.h"
#include "interpreter/interpreter.h"
#include "modules/sdl2/shape_builtins.h"

namespace veltro {

namespace {

template <Value (*F)(std::span<const Value>)>
Value core(Interpreter&, std::span<const Value> args) {
  return F(args);
}

template <Value (*F)(GraphicsContext&, std::span<const Value>)>
Value graphics(Interpreter& interpreter, std::span<const Value> args) {
  return F(interpreter.graphics(), args);
}

// Test harnesses that sandbox a run have no console input and no window.
Value input(Interpreter& interpreter, std::span<const Value> args) {
  if (harness::sandboxed()) return args.empty() ? Value() : Value::string("");
  return interpreter.after_wait(builtin_input(args));
}

Value window(Interpreter& interpreter, std::span<const Value> args) {
  if (harness::sandboxed()) return Value();
  return builtin_window(interpreter.graphics(), args);
}

constexpr std::array<BuiltinEntry, 39> kTable = {{
    {"print", core<builtin_print>},
    {"input", input},
    {"len", core<builtin_len>},
    {"upper", core<builtin_upper>},
    {"lower", core<builtin_lower>},
    {"slice", core<builtin_slice>},
    {"contains", core<builtin_contains>},
    {"split", core<builtin_split>},
    {"concat", core<builtin_concat>},
    {"push", core<builtin_push>},
    {"pop", core<builtin_pop>},
    {"reverse", core<builtin_reverse>},
    {"abs", core<builtin_abs>},
    {"sqrt", core<builtin_sqrt>},
    {"pow", core<builtin_pow>},
    {"min", core<builtin_min>},
    {"max", core<builtin_max>},
    {"floor", core<builtin_floor>},
    {"ceil", core<builtin_ceil>},
    {"round", core<builtin_round>},
    {"random", core<builtin_random>},
    {"random_range", core<builtin_random_range>},
    {"typeof", core<builtin_typeof>},
    {"is_number", core<builtin_is_number>},
    {"is_string", core<builtin_is_string>},
    {"is_array", core<builtin_is_array>},
    {"is_dict", core<builtin_is_dict>},
    {"window", window},
    {"window_width", graphics<builtin_window_width>},
    {"window_height", graphics<builtin_window_height>},
    {"clear", graphics<builtin_clear>},
    {"present", graphics<builtin_present>},
    {"is_open", graphics<builtin_is_open>},
    {"rect", graphics<builtin_rect>},
    {"circle", graphics<builtin_circle>},
    {"triangle", graphics<builtin_triangle>},
    {"color", graphics<builtin_color>},
    {"fill", graphics<builtin_fill>},
    {"draw", graphics<builtin_draw>},
}};

}  // namespace

std::span<const BuiltinEntry> builtin_table() { return kTable; }

int find_builtin(std::string_view name) {
  for (std::size_t i = 0; i < kTable.size(); ++i) {
    if (kTable[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace veltro
