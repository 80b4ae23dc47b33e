#pragma once
// Every tunable limit of veltro, in one place.
#include <cstddef>
#include <cstdint>

namespace veltro::limits {

// Deepest nesting of brackets, unary operators and blocks the parser accepts.
inline constexpr int kMaxNestingDepth = 1000;

// Highest expression tree the parser builds (long operator chains nest too).
inline constexpr std::uint32_t kMaxExpressionDepth = 100000;

// Deepest chain of active user-function calls.
inline constexpr int kMaxCallDepth = 100000;

// Stack of the thread that runs scripts, and the part of it kept free for
// evaluating one function body (bounded by the nesting limit) and for the
// runtime's own needs: a call is refused when less than this is left.
inline constexpr std::size_t kInterpreterStackBytes = std::size_t{2} << 30;  // 2 GiB, reserved lazily
inline constexpr std::size_t kStackReserveBytes = std::size_t{96} << 20;     // 96 MiB

// Largest array a range expression may build.
inline constexpr std::int64_t kMaxRangeElements = 100'000'000;

// Buffered standard output is written out once it holds this much.
inline constexpr std::size_t kStdoutBufferBytes = 64 * 1024;

}  // namespace veltro::limits
