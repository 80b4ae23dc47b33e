// The rasteriser leaves out invisible work on huge shapes: it must produce
// exactly the visible output of the plain, step-by-step algorithms.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <set>
#include <tuple>

#include "modules/sdl2/raster.h"

namespace veltro {
namespace {

constexpr raster::Viewport kView{120, 90};
using Points = std::multiset<std::pair<std::int32_t, std::int32_t>>;
using Spans = std::multiset<std::tuple<std::int32_t, std::int32_t, std::int32_t>>;

std::int32_t wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }
bool visible(std::int64_t x, std::int64_t y) { return x >= 0 && y >= 0 && x < kView.width && y < kView.height; }

// The plain midpoint loop, every step, keeping what lands in the viewport.
void plain_circle(std::int32_t cx, std::int32_t cy, std::int32_t r, Points* points, Spans* spans) {
  // (both sets are filled)
  if (r <= 0) return;
  std::int64_t x = r, y = 0, err = 0;
  while (true) {
    // Points (cx ± a, cy ± b) and lines from cx − a to cx + a on rows cy ± b.
    for (auto [a, b] : {std::pair{x, y}, std::pair{y, x}}) {
      for (std::int64_t sb : {1, -1}) {
        const std::int32_t row = wrap(cy + sb * b);
        for (std::int64_t sa : {1, -1}) {
          if (visible(wrap(cx + sa * a), row)) points->insert({wrap(cx + sa * a), row});
        }
        if (row >= 0 && row < kView.height) spans->insert({wrap(cx - a), wrap(cx + a), row});
      }
    }
    y += 1;
    err += 2 * y + 1;
    if (2 * (err - x) + 1 > 0) {
      x -= 1;
      err += 1 - 2 * x;
    }
    if (x < y) return;
  }
}

TEST(Raster, CircleShortcutsKeepEveryVisiblePixel) {
  std::mt19937 rng(11);
  auto pick = [&](std::int64_t lo, std::int64_t hi) { return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng); };
  for (int i = 0; i < 400; ++i) {
    // Radii up to 300000, centres on, near and far from the target, some at the
    // edge of the 32-bit range so that the circle wraps onto the target.
    const auto r = static_cast<std::int32_t>(pick(1, i % 4 == 0 ? 300000 : 3000));
    std::int32_t cx = 0, cy = 0;
    switch (i % 3) {
      case 0: cx = static_cast<std::int32_t>(pick(-r - 200, r + 200)); cy = static_cast<std::int32_t>(pick(-r - 200, r + 200)); break;
      case 1: cx = static_cast<std::int32_t>(pick(-150, 250)); cy = static_cast<std::int32_t>(pick(-150, 250)); break;
      case 2: cx = wrap(pick(INT32_MAX - r, INT32_MAX) + pick(0, 200)); cy = static_cast<std::int32_t>(pick(-50, 150)); break;
    }
    Points want_points, got_points;
    Spans want_spans, got_spans;
    plain_circle(cx, cy, r, &want_points, &want_spans);
    raster::circle_outline(cx, cy, r, kView, [&](std::int32_t x, std::int32_t y) {
      if (visible(x, y)) got_points.insert({x, y});
    });
    raster::circle_fill(cx, cy, r, kView, [&](std::int32_t x1, std::int32_t x2, std::int32_t y) {
      if (y >= 0 && y < kView.height) got_spans.insert({x1, x2, y});
    });
    // Every visible point, as often as the plain loop draws it; the fill may
    // still hand out invisible lines, but every line on a visible row must match.
    ASSERT_EQ(got_points, want_points) << "outline " << cx << "," << cy << " r " << r;
    ASSERT_EQ(got_spans, want_spans) << "fill " << cx << "," << cy << " r " << r;
  }
}

TEST(Raster, HugeCirclesAndLinesTakeNoTime) {
  const auto start = std::chrono::steady_clock::now();
  std::size_t outline = 0, rows = 0, line = 0;
  raster::circle_outline(60, 45, INT32_MAX, kView, [&](std::int32_t x, std::int32_t y) { outline += visible(x, y); });
  raster::circle_fill(INT32_MIN, 45, INT32_MAX, kView, [&](std::int32_t, std::int32_t, std::int32_t y) { rows += y >= 0 && y < kView.height; });
  raster::line_points(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX - 7, 1, kView, [&](std::int32_t, std::int32_t) { ++line; });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(outline, 0u);  // the circle passes far outside the target
  EXPECT_GT(rows, 0u);     // the wrapped far side of this one crosses it
  EXPECT_EQ(line, 90u);
}

// The closed form of the walk against the walk itself, on lines crossing the
// target from far away in every direction.
TEST(Raster, LineWalkLimitedToTheTargetMatchesTheFullWalk) {
  std::mt19937 rng(5);
  auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return static_cast<std::int32_t>(std::uniform_int_distribution<std::int64_t>(lo, hi)(rng));
  };
  for (int i = 0; i < 300; ++i) {
    const std::int32_t far = i % 2 ? 20000 : 300;
    const std::int32_t x0 = pick(-far, far), y0 = pick(-far, far), x1 = pick(-far, far), y1 = pick(-far, far);
    Points want, got;
    std::int64_t dx = std::abs(std::int64_t{x1} - x0), dy = std::abs(std::int64_t{y1} - y0);
    std::int64_t sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1, err = dx - dy, x = x0, y = y0;
    while (true) {
      if (visible(x, y)) want.insert({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
      if (x == x1 && y == y1) break;
      const std::int64_t e2 = 2 * err;
      if (e2 > -dy) {
        err -= dy;
        x += sx;
      }
      if (e2 < dx) {
        err += dx;
        y += sy;
      }
    }
    raster::line_points(x0, y0, x1, y1, 1, kView, [&](std::int32_t px, std::int32_t py) { got.insert({px, py}); });
    ASSERT_EQ(got, want) << x0 << "," << y0 << " -> " << x1 << "," << y1;
  }
}

}  // namespace
}  // namespace veltro
