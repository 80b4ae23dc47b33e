#include "runtime/stack_guard.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include "runtime/limits.h"

namespace veltro {

constinit thread_local std::uintptr_t t_stack_floor = 0;

namespace {

// The reserve below the floor; the full one when the stack cannot be measured.
constinit thread_local std::size_t t_stack_reserve = limits::kStackReserveBytes;

// How much more memory the process may map within its address-space limit.
// The main thread's stack is mapped as it grows, and with an unlimited stack
// size the system reports room for it that such a limit denies.
std::size_t mappable_bytes() noexcept {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return SIZE_MAX;
  unsigned long pages = 0;
  int read = std::fscanf(statm, "%lu", &pages);
  std::fclose(statm);
  if (read != 1) return SIZE_MAX;
  std::uint64_t used = std::uint64_t{pages} * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  return used >= limit.rlim_cur ? 0 : static_cast<std::size_t>(limit.rlim_cur - used);
}

}  // namespace

std::uintptr_t measure_stack_floor() noexcept {
  std::uintptr_t low = 1;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* addr = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0 && size > 0) {
      auto bottom = reinterpret_cast<std::uintptr_t>(addr);
      std::uintptr_t top = bottom + size;
      std::uintptr_t sp = current_stack_pointer();
      if (::getpid() == ::gettid() && sp > bottom && sp <= top) {
        std::size_t usable = (top - sp) + std::min<std::size_t>(mappable_bytes(), sp - bottom);
        if (usable < size) {
          size = usable;
          addr = reinterpret_cast<void*>(top - size);
        }
      }
      std::size_t reserve = std::min(limits::kStackReserveBytes, size / 2);
      low = reinterpret_cast<std::uintptr_t>(addr) + reserve;
      t_stack_reserve = reserve;
    }
    pthread_attr_destroy(&attr);
  }
  t_stack_floor = low;
  return low;
}

std::uint32_t scaled_to_stack(std::uint32_t limit) noexcept {
  if (t_stack_floor == 0) measure_stack_floor();
  std::uint64_t scaled = std::uint64_t{limit} * t_stack_reserve / limits::kStackReserveBytes;
  return static_cast<std::uint32_t>(std::max<std::uint64_t>(scaled, 1));
}

}  // namespace veltro
