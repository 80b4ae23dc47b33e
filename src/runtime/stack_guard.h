#pragma once
// Measures how much of the current thread's stack is left, so that deep
// recursion can fail with a message instead of overflowing.
#include <cstddef>
#include <cstdint>

namespace veltro {

// Lowest address a call may start from on this thread (the stack grows
// down); 0 until measured, 1 when the thread's stack could not be measured.
extern constinit thread_local std::uintptr_t t_stack_floor;

// Measures the current thread's stack and sets t_stack_floor.
std::uintptr_t measure_stack_floor() noexcept;

// Where the stack is now. Read from the register, so that asking does not
// make the caller keep a frame pointer.
[[nodiscard]] inline std::uintptr_t current_stack_pointer() noexcept {
#if defined(__x86_64__)
  std::uintptr_t sp;
  asm volatile("mov %%rsp, %0" : "=r"(sp));
  return sp;
#elif defined(__aarch64__)
  std::uintptr_t sp;
  asm volatile("mov %0, sp" : "=r"(sp));
  return sp;
#else
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#endif
}

// A depth limit meant for a stack with the full reserve
// (limits::kStackReserveBytes), scaled down in proportion when this thread's
// stack is smaller: on the main thread's few megabytes, when the big
// interpreter thread could not be created. At least 1.
[[nodiscard]] std::uint32_t scaled_to_stack(std::uint32_t limit) noexcept;

// True when less than the reserve kept for one function body is left.
[[nodiscard]] inline bool stack_low() noexcept {
  std::uintptr_t floor = t_stack_floor;
  if (floor == 0) floor = measure_stack_floor();
  return current_stack_pointer() < floor;
}

}  // namespace veltro
