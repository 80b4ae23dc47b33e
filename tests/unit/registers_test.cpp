// The register stack of the compiled core: frames keep their place while
// later frames come and go, across chunk boundaries and for frames larger
// than a chunk.
#include <gtest/gtest.h>

#include <vector>

#include "interpreter/registers.h"

namespace veltro {
namespace {

TEST(RegisterStack, FramesStayPutAndStartNull) {
  RegisterStack stack;
  std::vector<std::pair<Value*, std::uint32_t>> frames;
  // Sizes that cross chunk boundaries, one frame larger than a chunk.
  for (std::uint32_t n : {3u, 4000u, 200u, 9000u, 1u, 0u, 4095u, 17u}) {
    Value* f = stack.push(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      ASSERT_TRUE(f[i].is_null());
      f[i] = Value::number(static_cast<std::int64_t>(frames.size() * 100000 + i));
    }
    frames.emplace_back(f, n);
  }
  // Every older frame still holds what was written into it.
  for (std::size_t k = 0; k < frames.size(); ++k) {
    auto [f, n] = frames[k];
    for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(f[i].as_number(), static_cast<std::int64_t>(k * 100000 + i));
  }
  while (!frames.empty()) {
    stack.pop(frames.back().first);
    frames.pop_back();
  }
  // The stack is reused from its start, chunks kept.
  Value* again = stack.push(5);
  EXPECT_TRUE(again[4].is_null());
  stack.pop(again);
}

// A program whose first code needs no registers still nests calls below it.
TEST(RegisterStack, EmptyFirstFrame) {
  RegisterStack stack;
  Value* outer = stack.push(0);
  Value* inner = stack.push(2);
  inner[1] = Value::string("x");
  stack.pop(inner);
  stack.pop(outer);
  Value* again = stack.push(1);
  EXPECT_TRUE(again[0].is_null());
  stack.pop(again);
}

TEST(RegisterStack, PoppingReleasesHeapValues) {
  RegisterStack stack;
  Value shared = Value::string("kept once");
  {
    Value* f = stack.push(2);
    f[0] = shared;
    f[1] = shared;
    Value* g = stack.push(5000);  // starts a new chunk
    g[4999] = shared;
    stack.pop(g);
    stack.pop(f);
  }
  // Only this variable holds the string now, so it may change in place.
  EXPECT_TRUE(shared.unique());
}

}  // namespace
}  // namespace veltro
