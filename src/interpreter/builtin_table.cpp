#include "interpreter/builtin_table.h"

#include <array>

#include "console.h"
#include "interpreter/interpreter.h"

namespace veltro {

namespace {

Value print(Interpreter&, std::span<const Value> args) {
  std::string line;
  for (const auto& arg : args) {
    line.clear();
    arg.append_display(line);
    line += '\n';
    out_write(line);
  }
  return Value();
}

Value not_yet(Interpreter&, std::span<const Value>) { return Value(); }

constexpr std::array<BuiltinEntry, 39> kTable = {{
    {"print", print},          {"input", not_yet},        {"len", not_yet},
    {"upper", not_yet},        {"lower", not_yet},        {"slice", not_yet},
    {"contains", not_yet},     {"split", not_yet},        {"concat", not_yet},
    {"push", not_yet},         {"pop", not_yet},          {"reverse", not_yet},
    {"abs", not_yet},          {"sqrt", not_yet},         {"pow", not_yet},
    {"min", not_yet},          {"max", not_yet},          {"floor", not_yet},
    {"ceil", not_yet},         {"round", not_yet},        {"random", not_yet},
    {"random_range", not_yet}, {"typeof", not_yet},       {"is_number", not_yet},
    {"is_string", not_yet},    {"is_array", not_yet},     {"is_dict", not_yet},
    {"window", not_yet},       {"window_width", not_yet}, {"window_height", not_yet},
    {"clear", not_yet},        {"present", not_yet},      {"is_open", not_yet},
    {"rect", not_yet},         {"circle", not_yet},       {"triangle", not_yet},
    {"color", not_yet},        {"fill", not_yet},         {"draw", not_yet},
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
