// On huge shapes the rasteriser leaves out work that can only produce
// invisible output; what it does produce must be exactly the visible output of
// the plain, step-by-step algorithms.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <set>
#include <tuple>

#include "midpoint_circle.h"
#include "modules/sdl2/raster.h"

namespace veltro {
namespace {

constexpr raster::Viewport kView{120, 90};
using Points = std::multiset<std::pair<std::int32_t, std::int32_t>>;
using Spans = std::multiset<std::tuple<std::int32_t, std::int32_t, std::int32_t>>;

std::int32_t wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }
bool visible(std::int64_t x, std::int64_t y) { return x >= 0 && y >= 0 && x < kView.width && y < kView.height; }

// Every step of the midpoint loop: the visible outline points, and the fill
// lines on visible rows.
void plain_circle(std::int32_t cx, std::int32_t cy, std::int32_t r, Points& points, Spans& spans) {
  test_models::midpoint_circle(r, [&](std::int64_t a, std::int64_t b) {
    for (std::int64_t sb : {1, -1}) {
      const std::int32_t row = wrap(cy + sb * b);
      for (std::int64_t sa : {1, -1}) {
        if (visible(wrap(cx + sa * a), row)) points.insert({wrap(cx + sa * a), row});
      }
      if (visible(0, row)) spans.insert({wrap(cx - a), wrap(cx + a), row});
    }
  });
}

TEST(Raster, CircleJumpsKeepEveryVisiblePixel) {
  std::mt19937 rng(11);
  auto pick = [&](std::int64_t lo, std::int64_t hi) { return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng); };
  for (int i = 0; i < 400; ++i) {
    // Radii up to 300000; centres near the target, far from it, and at the end
    // of the 32-bit range, from where the circle wraps round onto the target.
    const auto r = static_cast<std::int32_t>(pick(1, i % 4 == 0 ? 300000 : 3000));
    const std::int64_t centres[3][2] = {{pick(-r - 200, r + 200), pick(-r - 200, r + 200)},
                                        {pick(-150, 250), pick(-150, 250)},
                                        {pick(INT32_MAX - r, INT32_MAX) + pick(0, 200), pick(-50, 150)}};
    const std::int32_t cx = wrap(centres[i % 3][0]), cy = wrap(centres[i % 3][1]);
    Points want_points, got_points;
    Spans want_spans, got_spans;
    plain_circle(cx, cy, r, want_points, want_spans);
    raster::circle_outline(cx, cy, r, kView, [&](std::int32_t x, std::int32_t y) {
      if (visible(x, y)) got_points.insert({x, y});
    });
    raster::circle_fill(cx, cy, r, kView, [&](std::int32_t x1, std::int32_t x2, std::int32_t y) {
      if (visible(0, y)) got_spans.insert({x1, x2, y});
    });
    ASSERT_EQ(got_points, want_points) << "outline " << cx << "," << cy << " r " << r;
    ASSERT_EQ(got_spans, want_spans) << "fill " << cx << "," << cy << " r " << r;
  }
}

// The walk limited to the target, against the whole walk (err = dx − dy,
// e2 = 2·err), for lines crossing the target from far away in every direction.
TEST(Raster, LineWalkLimitedToTheTargetMatchesTheFullWalk) {
  std::mt19937 rng(5);
  auto pick = [&](int far) { return std::uniform_int_distribution<std::int32_t>(-far, far)(rng); };
  for (int i = 0; i < 300; ++i) {
    const std::int32_t far = i % 2 ? 20000 : 300;
    const std::int32_t x0 = pick(far), y0 = pick(far), x1 = pick(far), y1 = pick(far);
    Points want, got;
    const std::int64_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0), sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
    std::int64_t err = dx - dy, x = x0, y = y0;
    while (true) {
      if (visible(x, y)) want.insert({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
      if (x == x1 && y == y1) break;
      const std::int64_t e2 = 2 * err;
      if (e2 > -dy) err -= dy, x += sx;
      if (e2 < dx) err += dx, y += sy;
    }
    raster::line_points(x0, y0, x1, y1, 1, kView, [&](std::int32_t px, std::int32_t py) { got.insert({px, py}); });
    ASSERT_EQ(got, want) << x0 << "," << y0 << " -> " << x1 << "," << y1;
  }
}

TEST(Raster, HugeShapesTakeNoTime) {
  const auto start = std::chrono::steady_clock::now();
  std::size_t outline = 0, rows = 0, line = 0, triangle = 0;
  raster::circle_outline(60, 45, INT32_MAX, kView, [&](std::int32_t x, std::int32_t y) { outline += visible(x, y); });
  raster::circle_fill(INT32_MIN, 45, INT32_MAX, kView, [&](std::int32_t, std::int32_t, std::int32_t) { ++rows; });
  raster::line_points(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX - 7, 1, kView, [&](std::int32_t, std::int32_t) { ++line; });
  raster::triangle_fill({INT32_MIN, INT32_MIN, INT32_MAX, 0, 0, INT32_MAX}, kView,
                        [&](std::int32_t, std::int32_t, std::int32_t) { ++triangle; });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(outline, 0u);  // the circle passes far outside the target
  EXPECT_GT(rows, 0u);     // this one's far side wraps round across it
  EXPECT_EQ(line, 90u);
  EXPECT_EQ(triangle, 90u);
}

}  // namespace
}  // namespace veltro
