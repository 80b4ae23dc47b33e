// Pixels drawn by the primitives on a real SDL software renderer (dummy video
// driver, which unlike the offscreen one loads no GL stack), read back and
// compared with the drawing rules written out plainly here, one renderer call
// per point or line, and with the plain geometry of the shapes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "midpoint_circle.h"
#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/primitives.h"
#include "modules/sdl2/shape_builtins.h"

namespace veltro {
namespace {

constexpr int kW = 96;
constexpr int kH = 72;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB, row by row
using Lit = std::set<std::pair<int, int>>;

Lit lit(const Pixels& px) {
  Lit out;
  for (int i = 0; i < kW * kH; ++i) {
    if (px[i] != 0) out.insert({i % kW, i / kW});
  }
  return out;
}

// The rules, one renderer call per point and per line.
struct PerCall {
  SDL_Renderer* r;
  void point(int x, int y) const { SDL_RenderDrawPoint(r, x, y); }
  void line(int x1, int y1, int x2, int y2) const { SDL_RenderDrawLine(r, x1, y1, x2, y2); }
};

void rule_circle(const PerCall& s, int cx, int cy, int r, bool filled) {
  if (r <= 0) return;
  test_models::midpoint_circle(r, [&](std::int64_t a64, std::int64_t b64) {
    const int a = static_cast<int>(a64), b = static_cast<int>(b64);
    if (filled) {
      s.line(cx - a, cy + b, cx + a, cy + b);
      s.line(cx - a, cy - b, cx + a, cy - b);
    } else {
      s.point(cx + a, cy + b), s.point(cx - a, cy + b), s.point(cx + a, cy - b), s.point(cx - a, cy - b);
    }
  });
}

void rule_segment(const PerCall& s, int x, int y, int xe, int ye) {
  const int dx = std::abs(xe - x), dy = std::abs(ye - y), sx = xe > x ? 1 : -1, sy = ye > y ? 1 : -1;
  int err = dx - dy;
  while (true) {
    s.point(x, y);
    if (x == xe && y == ye) return;
    const int e2 = 2 * err;
    if (e2 > -dy) err -= dy, x += sx;
    if (e2 < dx) err += dx, y += sy;
  }
}

void rule_triangle(const PerCall& s, std::array<int, 6> v, bool filled) {
  if (!filled) {
    for (int i = 0; i < 6; i += 2) rule_segment(s, v[i], v[i + 1], v[(i + 2) % 6], v[(i + 3) % 6]);
    return;
  }
  std::array<std::pair<int, int>, 3> p{{{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}}};
  for (int i = 1; i < 3; ++i) {  // insertion sort by y: stable
    for (int j = i; j > 0 && p[j].second < p[j - 1].second; --j) std::swap(p[j], p[j - 1]);
  }
  auto [t, m, b] = p;
  if (t.second == b.second) return;
  auto at = [](std::pair<int, int> a, std::pair<int, int> e, int y) {
    const float inv = 1.0f / float(e.second - a.second);
    const float d = float(e.first - a.first) * (float(y - a.second) * inv);
    return float(a.first) + d;
  };
  for (int y = t.second; y <= b.second; ++y) {
    const float x1 = at(t, b, y);
    const float x2 = (m.second > t.second && y <= m.second) ? at(t, m, y) : at(m, b, y);
    s.line(int(std::trunc(std::min(x1, x2))), y, int(std::ceil(std::max(x1, x2))), y);
  }
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_RENDER_DRIVER", "software", 1);
    gfx.create_window(kW, kH, "test");
    ASSERT_NE(gfx.renderer(), nullptr);
  }
  Pixels pixels() {
    Pixels px(kW * kH);
    EXPECT_EQ(SDL_RenderReadPixels(gfx.renderer(), nullptr, SDL_PIXELFORMAT_ARGB8888, px.data(), kW * 4), 0);
    for (auto& p : px) p &= 0xffffff;
    return px;
  }
  // The pixels of `draw` in white on a black target.
  template <class F>
  Pixels drawn(F&& draw) {
    gfx.clear();
    gfx.set_draw_color(255, 255, 255);
    draw();
    return pixels();
  }
  PerCall per_call() { return {gfx.renderer()}; }

  GraphicsContext gfx;
};

TEST_F(Render, EdgeCases) {
  EXPECT_EQ(lit(drawn([&] { draw::circle_outline(gfx, 10, 10, 1); })), (Lit{{11, 10}, {9, 10}, {10, 11}, {10, 9}}));
  EXPECT_EQ(lit(drawn([&] { draw::rect_outline(gfx, 0, 0, 0, 0); })), (Lit{{0, 0}}));
  EXPECT_EQ(lit(drawn([&] { draw::rect_fill(gfx, 3, 4, 0, 0); })), (Lit{{3, 4}}));
  for (int r : {0, -5, INT32_MIN}) EXPECT_TRUE(lit(drawn([&] { draw::circle_fill(gfx, 20, 20, r); })).empty());
  EXPECT_TRUE(lit(drawn([&] { draw::triangle_fill(gfx, {0, 5, 30, 5, 60, 5}); })).empty());

  // Flat top: rows 0 to 10, the same pixels whichever vertex comes first.
  const Pixels flat = drawn([&] { draw::triangle_fill(gfx, {0, 0, 10, 0, 5, 10}); });
  std::set<int> rows;
  for (auto [x, y] : lit(flat)) rows.insert(y);
  EXPECT_EQ(rows, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(drawn([&] { draw::triangle_fill(gfx, {5, 10, 0, 0, 10, 0}); }), flat);
  EXPECT_EQ(drawn([&] { draw::triangle_fill(gfx, {10, 0, 5, 10, 0, 0}); }), flat);

  // A middle vertex right of the long edge fills like its mirror image.
  const Lit right = lit(drawn([&] { draw::triangle_fill(gfx, {10, 5, 70, 31, 10, 60}); }));
  Lit mirrored;
  for (auto [x, y] : lit(drawn([&] { draw::triangle_fill(gfx, {70, 5, 10, 31, 70, 60}); }))) mirrored.insert({80 - x, y});
  EXPECT_EQ(right, mirrored);
}

// The primitives gather points and spans into few renderer calls, merge and
// split spans, and drop what lies outside the target; the pixels must be those
// of one call per point or line, for shapes crossing the edges too.
TEST_F(Render, BatchedDrawingMatchesOneCallPerPointOrLine) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int i = 0; i < 150; ++i) {
    const int cx = pick(-40, kW + 40), cy = pick(-40, kH + 40), r = pick(0, 60);
    std::array<int, 6> v{};
    for (int k = 0; k < 6; ++k) v[k] = k % 2 ? pick(-30, kH + 30) : pick(-30, kW + 30);
    if (i % 10 == 0) v[3] = v[1];  // a flat edge now and then
    for (bool filled : {false, true}) {
      const Pixels circle = drawn([&] { filled ? draw::circle_fill(gfx, cx, cy, r) : draw::circle_outline(gfx, cx, cy, r); });
      ASSERT_EQ(circle, drawn([&] { rule_circle(per_call(), cx, cy, r, filled); })) << cx << "," << cy << " r " << r;
      const Pixels triangle = drawn([&] { filled ? draw::triangle_fill(gfx, v) : draw::triangle_outline(gfx, v); });
      ASSERT_EQ(triangle, drawn([&] { rule_triangle(per_call(), v, filled); })) << "triangle " << i;
    }
  }
}

// Geometry, not the rules: a filled circle covers its disc to within a pixel,
// a filled triangle its interior and nothing more than a pixel outside.
TEST_F(Render, LargeShapesCoverTheirGeometry) {
  const int cx = 48, cy = 36, r = 33;
  const Lit disc = lit(drawn([&] { draw::circle_fill(gfx, cx, cy, r); }));
  const double ax = 4, ay = 3, bx = 90, by = 20, qx = 30, qy = 70;
  const Lit tri = lit(drawn([&] { draw::triangle_fill(gfx, {4, 3, 90, 20, 30, 70}); }));
  auto edge = [](double x1, double y1, double x2, double y2, double x, double y) {
    return ((x2 - x1) * (y - y1) - (y2 - y1) * (x - x1)) / std::hypot(x2 - x1, y2 - y1);
  };
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d <= r - 1.0 || d > r + 1.0) {
        EXPECT_EQ(disc.count({x, y}), d <= r - 1.0 ? 1u : 0u) << x << "," << y;
      }
      const double inside = std::min({edge(ax, ay, bx, by, x, y), edge(bx, by, qx, qy, x, y), edge(qx, qy, ax, ay, x, y)});
      if (inside >= 1.0 || inside < -1.5) {
        EXPECT_EQ(tri.count({x, y}), inside >= 1.0 ? 1u : 0u) << x << "," << y;
      }
    }
  }
}

// Long lines are cut to the target before the renderer sees them; what is
// left is exactly the renderer's own line.
TEST_F(Render, LongLinesMatchTheRenderersOwnLine) {
  const std::array<std::array<int, 4>, 4> lines{{
      {-199952, -159964, 250048, 200036}, {50, -100000, 20, 160000}, {-90000, 70, 170000, 3}, {120000, 10, -80000, 60}}};
  for (auto [x1, y1, x2, y2] : lines) {
    const Pixels got = drawn([&] { draw::line(gfx, x1, y1, x2, y2); });
    EXPECT_EQ(got, drawn([&] { SDL_RenderDrawLine(gfx.renderer(), x1, y1, x2, y2); })) << x1 << "," << y1;
    EXPECT_FALSE(lit(got).empty());
  }
  // Across the whole coordinate range the renderer alone would need gigabytes.
  const Lit diagonal = lit(drawn([&] { draw::line(gfx, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX); }));
  EXPECT_EQ(diagonal.size(), std::size_t(kH));
  EXPECT_TRUE(diagonal.count({kH - 1, kH - 1}));
  EXPECT_EQ(lit(drawn([&] { draw::line(gfx, INT32_MIN, 5, INT32_MAX, 5); })).size(), std::size_t(kW));
  EXPECT_EQ(lit(drawn([&] { draw::rect_fill(gfx, 10, 10, UINT32_MAX, 0); })).size(), std::size_t(kW - 10));
}

TEST_F(Render, DrawColourCache) {
  Uint8 r = 0, g = 0, b = 0, a = 0;
  // A new renderer starts with the cached colour (white at first), not SDL's own black.
  GraphicsContext chosen_early;
  chosen_early.set_draw_color(10, 20, 30);
  chosen_early.create_window(8, 8, "early");
  SDL_GetRenderDrawColor(chosen_early.renderer(), &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{10, 20, 30, 255}));
  SDL_GetRenderDrawColor(gfx.renderer(), &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{255, 255, 255, 255}));

  // After a clear, the colour chosen before it draws in that colour, not black.
  gfx.set_draw_color(200, 0, 0);
  gfx.clear();
  gfx.set_draw_color(200, 0, 0);
  draw::point(gfx, 1, 1);
  EXPECT_EQ(pixels()[kW + 1], 0xc80000u);

  // fill and draw check shape and colour before touching the cache.
  std::vector<Value> bad = {Value::rect({0, 0, 4, 4}), Value::string("red")};
  EXPECT_TRUE(builtin_fill(gfx, bad).is_null());
  EXPECT_EQ(gfx.draw_color(), (DrawColor{200, 0, 0, 255}));
}

}  // namespace
}  // namespace veltro
