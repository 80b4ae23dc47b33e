#pragma once
// Every message the interpreter core writes, in one place.
#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace veltro::msg {

// Expressions (the operators' messages are in runtime/messages.h).
inline std::string undefined_variable(std::string_view name) { return fmt::format("Undefined variable '{}'", name); }
inline std::string unsupported_unary(std::string_view op) { return fmt::format("Unsupported unary operation: {}", op); }
inline std::string index_out_of_bounds(std::int64_t index, std::size_t length) {
  return fmt::format("Array index out of bounds: {} (length: {})", index, length);
}
inline std::string array_index_type(std::string_view type) { return fmt::format("Array index must be a number, got {}", type); }
inline std::string key_not_found(std::string_view key) { return fmt::format("Dictionary key '{}' not found", key); }
inline std::string dict_key_type(std::string_view type) { return fmt::format("Dictionary key must be a string, got {}", type); }
inline std::string cannot_index(std::string_view object, std::string_view index) {
  return fmt::format("Cannot index {} with {}", object, index);
}
inline constexpr std::string_view kRangeBounds = "Range start and end must be numbers";
inline std::string range_too_large(std::uint64_t count) { return fmt::format("Range of {} elements is too large", count); }

// Statements.
inline std::string let_failed(std::string_view name, std::string_view message) {
  return fmt::format("Error in let statement for '{}': {}", name, message);
}
inline std::string global_let_failed(std::string_view name, std::string_view message) {
  return fmt::format("Error in global let statement for '{}': {}", name, message);
}
inline std::string assignment_failed(std::string_view name, std::string_view message) {
  return fmt::format("Error in assignment to '{}': {}", name, message);
}
inline std::string compound_failed(std::string_view name, std::string_view message) {
  return fmt::format("Error in compound assignment to '{}': {}", name, message);
}
inline std::string if_failed(std::string_view message) { return fmt::format("Error in if condition: {}", message); }
inline std::string while_failed(std::string_view message) { return fmt::format("Error in while condition: {}", message); }
inline std::string for_failed(std::string_view message) { return fmt::format("Error in for loop iteration: {}", message); }
inline constexpr std::string_view kIterateNull = "Cannot iterate over null in for loop. Expected an array.";
inline std::string cannot_iterate(std::string_view type) {
  return fmt::format("Cannot iterate over {} in for loop. Expected an array.", type);
}
inline std::string match_failed(std::string_view message) { return fmt::format("Error in match expression: {}", message); }
inline std::string pattern_failed(std::string_view message) { return fmt::format("Error in match pattern: {}", message); }
inline constexpr std::string_view kNoMatch = "No match patterns matched in match statement";
inline std::string expression_failed(std::string_view message) { return fmt::format("Error in expression: {}", message); }

// Calls.
inline std::string trace_calling(std::string_view name) { return fmt::format("Calling function: {}", name); }
inline std::string trace_builtin(std::string_view name) { return fmt::format("{} is a builtin", name); }
inline std::string trace_not_builtin(std::string_view name) {
  return fmt::format("{} is not a builtin, looking for user function", name);
}
inline std::string trace_lookup(std::string_view name, std::string_view debug) {
  return fmt::format("get_variable({}) returned: {}", name, debug);
}
inline std::string trace_found(std::size_t params) { return fmt::format("Found function with {} params, calling", params); }
inline std::string module_not_imported(std::string_view module) {
  return fmt::format("Module '{}' is not imported. Use 'use {};' to import it", module, module);
}
inline std::string module_no_function(std::string_view module, std::string_view name) {
  return fmt::format("Module '{}' has no function '{}'", module, name);
}
inline std::string wrong_arity(std::string_view name, std::size_t params, std::size_t args) {
  return fmt::format("Function '{}' expects {} arguments but got {}", name, params, args);
}
inline std::string no_such_function(std::string_view name) { return fmt::format("Function '{}' does not exist", name); }
inline std::string call_depth_exceeded(int limit) { return fmt::format("Maximum call depth of {} exceeded", limit); }

// Modules.
inline std::string module_not_found(std::string_view name) {
  return fmt::format("Failed to load module '{}': {}.vt not found", name, name);
}
inline std::string module_circular(std::string_view name) {
  return fmt::format("Failed to load module '{}': circular import", name);
}
inline std::string import_failed(std::string_view name) { return fmt::format("Failed to import module '{}'", name); }
inline std::string not_exported(std::string_view module, std::string_view item) {
  return fmt::format("Module '{}' does not export '{}'", module, item);
}
inline std::string no_export_named(std::string_view module, std::string_view member) {
  return fmt::format("Module '{}' has no export named '{}'", module, member);
}
inline std::string trace_parsed(std::size_t count) { return fmt::format("Parsed {} statements", count); }
inline std::string trace_exporting(std::string_view name, std::string_view kind) {
  return fmt::format("Exporting: {} = {}", name, kind);
}
inline std::string trace_exports(std::string_view module, std::size_t count) {
  return fmt::format("Module {} has {} exports", module, count);
}

}  // namespace veltro::msg
