#pragma once
// Every message the operator rules (operators.h) produce, in one place.
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace veltro::ops::msg {

inline constexpr std::string_view kDivisionByZero = "Division by zero";
inline constexpr std::string_view kModuloByZero = "Modulo by zero";
inline std::string unsupported_numbers(std::string_view op) { return fmt::format("Unsupported operation on numbers: {}", op); }
inline std::string unsupported_floats(std::string_view op) { return fmt::format("Unsupported operation on floats: {}", op); }
inline std::string unsupported_mixed(std::string_view op) { return fmt::format("Unsupported operation: {}", op); }
inline std::string unsupported_strings(std::string_view op) { return fmt::format("Unsupported operation on strings: {}", op); }
inline std::string unsupported_booleans(std::string_view op) { return fmt::format("Unsupported operation on booleans: {}", op); }
inline std::string cannot_apply(std::string_view op, std::string_view left, std::string_view right) {
  return fmt::format("Cannot apply {} to {} and {}", op, left, right);
}
inline std::string cannot_negate(std::string_view type) { return fmt::format("Cannot negate {}", type); }

}  // namespace veltro::ops::msg
