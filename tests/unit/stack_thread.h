#pragma once
// Runs a test body on a thread with a stack of a chosen size, as the program
// runs scripts on a thread with a big stack (or on a small one when that
// thread cannot be created).
#include <cstddef>
#include <functional>
#include <pthread.h>

#include <gtest/gtest.h>

namespace veltro {

inline void run_with_stack(std::size_t bytes, std::function<void()> body) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
  pthread_t thread;
  auto entry = [](void* data) -> void* {
    (*static_cast<std::function<void()>*>(data))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, entry, &body), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

}  // namespace veltro
