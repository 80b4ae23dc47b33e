#include "interpreter/stack_guard.h"

#include <algorithm>
#include <cstdint>
#include <pthread.h>

#include "veltro_limits.h"

namespace veltro {

namespace {

struct StackBounds {
  std::uintptr_t low = 0;  // lowest usable address plus the reserve
  bool known = false;
};

StackBounds compute() {
  StackBounds b;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return b;
  void* addr = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attr, &addr, &size) == 0 && size > 0) {
    std::size_t reserve = std::min(limits::kStackReserveBytes, size / 2);
    b.low = reinterpret_cast<std::uintptr_t>(addr) + reserve;
    b.known = true;
  }
  pthread_attr_destroy(&attr);
  return b;
}

}  // namespace

bool stack_low() noexcept {
  static thread_local StackBounds bounds = compute();
  if (!bounds.known) return false;
  auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  return here < bounds.low;
}

}  // namespace veltro
