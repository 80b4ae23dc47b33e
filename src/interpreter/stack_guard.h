#pragma once
// Measures how much of the current thread's stack is left, so that deep
// recursion can fail with a message instead of overflowing.
#include <cstddef>

namespace veltro {

// True when less than the reserve kept for one function body is left.
[[nodiscard]] bool stack_low() noexcept;

}  // namespace veltro
