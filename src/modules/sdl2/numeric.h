#pragma once
// Numeric arguments of the graphics functions: a Number as it is, a Float
// truncated toward zero (NaN 0, saturating at the 64-bit limits), then cut to
// the width of the field by keeping the low bits.
#include <cstdint>
#include <span>

#include "runtime/value.h"

namespace veltro::numeric {

// Only for Number and Float values.
[[nodiscard]] inline std::int64_t to_int64(const Value& v) noexcept {
  return v.to_integer().value_or(0);
}

[[nodiscard]] constexpr std::int32_t low_i32(std::int64_t v) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}
[[nodiscard]] constexpr std::uint32_t low_u32(std::int64_t v) noexcept { return static_cast<std::uint32_t>(v); }
[[nodiscard]] constexpr std::uint8_t low_u8(std::int64_t v) noexcept { return static_cast<std::uint8_t>(v); }

// True when the first `count` arguments are all Number or Float.
[[nodiscard]] inline bool all_numeric(std::span<const Value> args, std::size_t count) noexcept {
  if (args.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (!args[i].is_numeric()) return false;
  }
  return true;
}

[[nodiscard]] inline std::int32_t arg_i32(std::span<const Value> args, std::size_t i) noexcept {
  return low_i32(to_int64(args[i]));
}

}  // namespace veltro::numeric
