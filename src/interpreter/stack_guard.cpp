#include "interpreter/stack_guard.h"

#include <algorithm>
#include <pthread.h>

#include "veltro_limits.h"

namespace veltro {

constinit thread_local std::uintptr_t t_stack_floor = 0;

std::uintptr_t measure_stack_floor() noexcept {
  std::uintptr_t low = 1;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* addr = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0 && size > 0) {
      std::size_t reserve = std::min(limits::kStackReserveBytes, size / 2);
      low = reinterpret_cast<std::uintptr_t>(addr) + reserve;
    }
    pthread_attr_destroy(&attr);
  }
  t_stack_floor = low;
  return low;
}

}  // namespace veltro
