#pragma once
// The plain midpoint circle loop that the tests hold the rasteriser to: for
// every round it calls step(a, b) with the two octant pairs (x, y) and (y, x).
#include <cstdint>

namespace veltro::test_models {

template <class Step>
void midpoint_circle(std::int64_t r, Step&& step) {
  std::int64_t x = r, y = 0, err = 0;
  do {
    step(x, y);
    step(y, x);
    y += 1;
    err += 2 * y + 1;
    if (2 * (err - x) + 1 > 0) {
      x -= 1;
      err += 1 - 2 * x;
    }
  } while (x >= y);
}

}  // namespace veltro::test_models
