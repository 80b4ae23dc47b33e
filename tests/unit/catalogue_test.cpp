// The catalogue of functions against the tables the interpreter runs: the
// same names in the same order, and argument counts that agree with what
// each function does with too few arguments.
#include "modules/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "interpreter/builtin_table.h"
#include "interpreter/interpreter.h"
#include "modules/files/files_module.h"
#include "modules/http/http_module.h"
#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/sdl2_module.h"

namespace veltro {
namespace {

std::vector<std::string_view> names_of(std::span<const catalogue::Function> functions) {
  std::vector<std::string_view> names;
  for (const auto& f : functions) names.push_back(f.name);
  return names;
}

TEST(Catalogue, BuiltinsAreTheBuiltinTable) {
  std::vector<std::string_view> table;
  for (const auto& entry : builtin_table()) table.push_back(entry.name);
  EXPECT_EQ(names_of(catalogue::builtins()), table);
  for (auto name : table) EXPECT_EQ(catalogue::find_builtin(name)->name, name);
  EXPECT_EQ(catalogue::find_builtin("nosuch"), nullptr);
}

TEST(Catalogue, ModulesAreTheModuleExportTables) {
  auto same = [](std::string_view module, std::span<const std::string_view> exported) {
    const auto* m = catalogue::find_module(module);
    ASSERT_NE(m, nullptr) << module;
    EXPECT_EQ(names_of(m->functions), std::vector<std::string_view>(exported.begin(), exported.end())) << module;
    for (auto name : exported) EXPECT_NE(catalogue::find_function(*m, name), nullptr) << name;
    EXPECT_EQ(catalogue::find_function(*m, "nosuch"), nullptr);
  };
  same("files", files_function_names());
  same("http", http_function_names());
  same("sdl2", sdl2_function_names());
  EXPECT_EQ(catalogue::modules().size(), 3u);
  EXPECT_EQ(catalogue::find_module("geometry"), nullptr);
}

// The parameter text says what min_args and max_args say.
TEST(Catalogue, ParameterListsMatchTheArgumentCounts) {
  auto check = [](const catalogue::Function& f) {
    int required = 0;
    int optional = 0;
    bool variadic = false;
    std::string_view rest = f.params;
    while (!rest.empty()) {
      auto comma = rest.find(", ");
      std::string_view param = rest.substr(0, comma);
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 2);
      ASSERT_FALSE(param.empty()) << f.name;
      if (param.ends_with("...")) {
        variadic = true;
      } else if (param.front() == '[') {
        EXPECT_EQ(param.back(), ']') << f.name;
        ++optional;
      } else {
        EXPECT_EQ(optional, 0) << f.name << ": a required parameter after an optional one";
        ++required;
      }
    }
    if (variadic) {
      EXPECT_EQ(f.max_args, catalogue::kVariadic) << f.name;
      EXPECT_GE(f.min_args, required) << f.name;
    } else {
      EXPECT_EQ(f.min_args, required) << f.name;
      EXPECT_EQ(f.max_args, required + optional) << f.name;
    }
    EXPECT_FALSE(f.summary.empty()) << f.name;
    EXPECT_TRUE(f.summary.ends_with(".")) << f.name;
  };
  for (const auto& f : catalogue::builtins()) check(f);
  for (const auto& m : catalogue::modules()) {
    for (const auto& f : m.functions) check(f);
  }
}

// One argument short of min_args: builtins answer null (the type tests
// false), module functions
// refuse with their "requires" message.
TEST(Catalogue, FewerThanMinArgsIsRefused) {
  Interpreter interpreter;
  for (const auto& entry : builtin_table()) {
    const auto* f = catalogue::find_builtin(entry.name);
    if (f->min_args == 0) continue;
    std::vector<Value> args(f->min_args - 1, Value::number(1));
    Value result = entry.fn(interpreter, args);
    bool nothing = result.is_null() || (entry.name.starts_with("is_") && result.is_boolean() && !result.as_bool());
    EXPECT_TRUE(nothing) << entry.name;
  }
  GraphicsContext graphics;
  for (const auto& m : catalogue::modules()) {
    for (const auto& f : m.functions) {
      if (f.min_args == 0) continue;
      std::string qualified = std::string(m.name) + "." + std::string(f.name);
      std::vector<Value> args(f.min_args - 1, Value::number(1));
      std::optional<Value> result;
      if (m.name == "files") result = call_files(qualified, args);
      if (m.name == "http") result = call_http(qualified, args);
      if (m.name == "sdl2") result = call_sdl2(qualified, args, graphics);
      ASSERT_TRUE(result.has_value()) << qualified;
      ASSERT_TRUE(result->is_error()) << qualified;
      EXPECT_NE(result->as_string().find("require"), std::string::npos) << qualified << ": " << result->as_string();
    }
  }
}

}  // namespace
}  // namespace veltro
