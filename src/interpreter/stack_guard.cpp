#include "interpreter/stack_guard.h"

#include <algorithm>
#include <cstdint>
#include <pthread.h>

#include "veltro_limits.h"

namespace veltro {

namespace {

// Lowest address a call may start from on this thread (the stack grows
// down); 1 when the thread's stack could not be measured.
thread_local std::uintptr_t t_low = 0;

std::uintptr_t measure() {
  std::uintptr_t low = 1;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return low;
  void* addr = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attr, &addr, &size) == 0 && size > 0) {
    std::size_t reserve = std::min(limits::kStackReserveBytes, size / 2);
    low = reinterpret_cast<std::uintptr_t>(addr) + reserve;
  }
  pthread_attr_destroy(&attr);
  return low;
}

}  // namespace

bool stack_low() noexcept {
  if (t_low == 0) t_low = measure();
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < t_low;
}

}  // namespace veltro
