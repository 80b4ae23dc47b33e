// The catalogue of functions against the tables the program registers: the
// same names in the same order, and argument counts that agree with what
// each function does with too few arguments.
#include "modules/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "modules/registry.h"
#include "natives.h"

namespace veltro {
namespace {

std::vector<std::string_view> names_of(std::span<const catalogue::Function> functions) {
  std::vector<std::string_view> names;
  for (const auto& f : functions) names.push_back(f.name);
  return names;
}

// The global builtins in registration order, and each module's functions
// by their names within the module ("draw_line").
std::vector<std::string_view> registered_builtins() {
  std::vector<std::string_view> names;
  for (const NativeModule* m : builtin_modules()) {
    if (!m->name.empty()) continue;
    for (const auto& f : m->functions) names.push_back(f.name);
  }
  return names;
}

std::vector<std::string_view> registered_functions(const NativeModule& module) {
  std::vector<std::string_view> names;
  for (const auto& f : module.functions) {
    EXPECT_TRUE(f.name.starts_with(std::string(module.name) + ".")) << f.name;
    names.push_back(f.name.substr(module.name.size() + 1));
  }
  return names;
}

TEST(Catalogue, BuiltinsAreTheRegisteredBuiltins) {
  std::vector<std::string_view> table = registered_builtins();
  EXPECT_EQ(table.size(), 39u);
  EXPECT_EQ(names_of(catalogue::builtins()), table);
  for (auto name : table) EXPECT_EQ(catalogue::find_builtin(name)->name, name);
  EXPECT_EQ(catalogue::find_builtin("nosuch"), nullptr);
}

TEST(Catalogue, ModulesAreTheRegisteredModules) {
  std::size_t modules = 0;
  for (const NativeModule* registered : builtin_modules()) {
    if (registered->name.empty()) continue;
    ++modules;
    const auto* m = catalogue::find_module(registered->name);
    ASSERT_NE(m, nullptr) << registered->name;
    std::vector<std::string_view> exported = registered_functions(*registered);
    EXPECT_EQ(names_of(m->functions), exported) << registered->name;
    for (auto name : exported) EXPECT_NE(catalogue::find_function(*m, name), nullptr) << name;
    EXPECT_EQ(catalogue::find_function(*m, "nosuch"), nullptr);
  }
  EXPECT_EQ(catalogue::modules().size(), modules);
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
// false), module functions refuse with their "requires" message, library
// modules with their "expects" message, which they also give for one
// argument too many.
TEST(Catalogue, FewerThanMinArgsIsRefused) {
  ModuleStates states;
  for (const auto& f : catalogue::builtins()) {
    if (f.min_args == 0) continue;
    std::vector<Value> args(f.min_args - 1, Value::number(1));
    Value result = test_support::call_native(f.name, args, states);
    bool nothing = result.is_null() || (f.name.starts_with("is_") && result.is_boolean() && !result.as_bool());
    EXPECT_TRUE(nothing) << f.name;
  }
  for (const auto& m : catalogue::modules()) {
    for (const auto& f : m.functions) {
      if (!m.owns_name) {
        std::vector<Value> too_many(f.max_args + 1u, Value::number(1));
        Value result = test_support::call_native(std::string(m.name) + "." + std::string(f.name), too_many, states);
        ASSERT_TRUE(result.is_error()) << f.name;
        EXPECT_NE(result.as_string().find("expects"), std::string::npos) << f.name << ": " << result.as_string();
      }
      if (f.min_args == 0) continue;
      std::string qualified = std::string(m.name) + "." + std::string(f.name);
      std::vector<Value> args(f.min_args - 1, Value::number(1));
      Value result = test_support::call_native(qualified, args, states);
      ASSERT_TRUE(result.is_error()) << qualified;
      std::string_view word = m.owns_name ? "require" : "expects";
      EXPECT_NE(result.as_string().find(word), std::string::npos) << qualified << ": " << result.as_string();
    }
  }
}

}  // namespace
}  // namespace veltro
