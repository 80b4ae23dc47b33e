// Pixels drawn by the primitives on a real SDL software renderer (dummy
// video driver, which unlike the offscreen one loads no GL stack), read back and compared with the drawing rules written out
// plainly here, one renderer call per point or line.
#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/primitives.h"

namespace veltro {
namespace {

constexpr int kW = 96;
constexpr int kH = 72;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB per pixel, row by row
using Lit = std::set<std::pair<int, int>>;

Lit lit(const Pixels& px) {
  Lit out;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (px[y * kW + x] != 0) out.insert({x, y});
  return out;
}

// One renderer call per point and per line, as the rules describe them.
struct PerCallSink {
  SDL_Renderer* r;
  void point(int x, int y) const { SDL_RenderDrawPoint(r, x, y); }
  void line(int x1, int y1, int x2, int y2) const { SDL_RenderDrawLine(r, x1, y1, x2, y2); }
};

// The same rules into a plain pixel set: a horizontal line is every pixel between its ends.
struct SetSink {
  Lit& out;
  void point(int x, int y) const {
    if (x >= 0 && y >= 0 && x < kW && y < kH) out.insert({x, y});
  }
  void line(int x1, int y1, int x2, int, bool = true) const {
    for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x) point(x, y1);
  }
};

template <class Sink>
void rule_circle(const Sink& s, int cx, int cy, int r, bool filled) {
  if (r <= 0) return;
  int x = r, y = 0, err = 0;
  while (true) {
    if (filled) {
      s.line(cx - x, cy + y, cx + x, cy + y);
      s.line(cx - y, cy + x, cx + y, cy + x);
      s.line(cx - x, cy - y, cx + x, cy - y);
      s.line(cx - y, cy - x, cx + y, cy - x);
    } else {
      for (auto [a, b] : {std::pair{x, y}, std::pair{y, x}}) {
        s.point(cx + a, cy + b);
        s.point(cx - a, cy + b);
        s.point(cx + a, cy - b);
        s.point(cx - a, cy - b);
      }
    }
    y += 1;
    err += 2 * y + 1;
    if (2 * (err - x) + 1 > 0) {
      x -= 1;
      err += 1 - 2 * x;
    }
    if (x < y) break;
  }
}

template <class Sink>
void rule_segment(const Sink& s, int x, int y, int xe, int ye) {
  int dx = std::abs(xe - x), dy = std::abs(ye - y), sx = xe > x ? 1 : -1, sy = ye > y ? 1 : -1, err = dx - dy;
  while (true) {
    s.point(x, y);
    if (x == xe && y == ye) return;
    int e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      x += sx;
    }
    if (e2 < dx) {
      err += dx;
      y += sy;
    }
  }
}

template <class Sink>
void rule_triangle(const Sink& s, const std::array<int, 6>& v, bool filled) {
  if (!filled) {
    rule_segment(s, v[0], v[1], v[2], v[3]);
    rule_segment(s, v[2], v[3], v[4], v[5]);
    rule_segment(s, v[4], v[5], v[0], v[1]);
    return;
  }
  std::array<std::pair<int, int>, 3> p{{{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}}};
  // Insertion sort by y: stable.
  for (int i = 1; i < 3; ++i)
    for (int j = i; j > 0 && p[j].second < p[j - 1].second; --j) std::swap(p[j], p[j - 1]);
  auto [t, m, b] = p;
  if (t.second == b.second) return;
  auto at = [](std::pair<int, int> a, std::pair<int, int> e, int y) {
    float inv = 1.0f / float(e.second - a.second);
    float tt = float(y - a.second) * inv;
    float d = float(e.first - a.first) * tt;
    return float(a.first) + d;
  };
  for (int y = t.second; y <= b.second; ++y) {
    float x1 = at(t, b, y);
    float x2 = (m.second > t.second && y <= m.second) ? at(t, m, y) : at(m, b, y);
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
    blank();
  }
  void blank() {
    gfx.clear();
    gfx.set_draw_color(255, 255, 255);
  }
  Pixels pixels() {
    Pixels px(kW * kH);
    EXPECT_EQ(SDL_RenderReadPixels(gfx.renderer(), nullptr, SDL_PIXELFORMAT_ARGB8888, px.data(), kW * 4), 0);
    for (auto& p : px) p &= 0xffffff;
    return px;
  }
  // Pixels of `draw`, on a blank target.
  template <class F>
  Pixels drawn(F&& draw) {
    blank();
    draw();
    return pixels();
  }
  PerCallSink per_call() { return {gfx.renderer()}; }

  GraphicsContext gfx;
};

TEST_F(Render, EdgeCasesFromTheRules) {
  EXPECT_EQ(lit(drawn([&] { draw::circle_outline(gfx, 10, 10, 1); })), (Lit{{11, 10}, {9, 10}, {10, 11}, {10, 9}}));
  EXPECT_EQ(lit(drawn([&] { draw::rect_outline(gfx, 0, 0, 0, 0); })), (Lit{{0, 0}}));
  EXPECT_EQ(lit(drawn([&] { draw::rect_fill(gfx, 3, 4, 0, 0); })), (Lit{{3, 4}}));
  for (int r : {0, -5, INT32_MIN}) {
    EXPECT_TRUE(lit(drawn([&] { draw::circle_fill(gfx, 20, 20, r); })).empty()) << r;
    EXPECT_TRUE(lit(drawn([&] { draw::circle_outline(gfx, 20, 20, r); })).empty()) << r;
  }
  EXPECT_TRUE(lit(drawn([&] { draw::triangle_fill(gfx, {0, 5, 30, 5, 60, 5}); })).empty());

  // Flat top: rows 0 to 10, the same pixels whichever vertex comes first.
  const Pixels flat = drawn([&] { draw::triangle_fill(gfx, {0, 0, 10, 0, 5, 10}); });
  std::set<int> rows;
  for (auto [x, y] : lit(flat)) rows.insert(y);
  EXPECT_EQ(rows.size(), 11u);
  EXPECT_EQ(*rows.begin(), 0);
  EXPECT_EQ(*rows.rbegin(), 10);
  EXPECT_EQ(drawn([&] { draw::triangle_fill(gfx, {5, 10, 0, 0, 10, 0}); }), flat);
  EXPECT_EQ(drawn([&] { draw::triangle_fill(gfx, {10, 0, 5, 10, 0, 0}); }), flat);
}

TEST_F(Render, MiddleVertexRightOfTheLongEdgeFillsLikeItsMirrorImage) {
  const Lit right = lit(drawn([&] { draw::triangle_fill(gfx, {10, 5, 70, 31, 10, 60}); }));
  const Lit left = lit(drawn([&] { draw::triangle_fill(gfx, {70, 5, 10, 31, 70, 60}); }));
  Lit mirrored;
  for (auto [x, y] : left) mirrored.insert({80 - x, y});
  EXPECT_EQ(right, mirrored);
}

// The primitives gather points and spans into few renderer calls and drop
// what lies outside the target; the pixels must be those of one call per
// point or line, shapes crossing the edges included.
TEST_F(Render, BatchedDrawingMatchesOneCallPerPointOrLine) {
  std::mt19937 rng(7);
  auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int i = 0; i < 150; ++i) {
    const int cx = coord(-40, kW + 40), cy = coord(-40, kH + 40), r = coord(0, 60);
    for (bool filled : {false, true}) {
      const Pixels got = drawn([&] {
        if (filled) {
          draw::circle_fill(gfx, cx, cy, r);
        } else {
          draw::circle_outline(gfx, cx, cy, r);
        }
      });
      const Pixels want = drawn([&] { rule_circle(per_call(), cx, cy, r, filled); });
      ASSERT_EQ(got, want) << "circle " << cx << "," << cy << " r " << r << " filled " << filled;
      Lit plain;
      rule_circle(SetSink{plain}, cx, cy, r, filled);
      ASSERT_EQ(lit(got), plain);
    }
    std::array<int, 6> v{};
    for (int k = 0; k < 6; ++k) v[k] = k % 2 ? coord(-30, kH + 30) : coord(-30, kW + 30);
    if (i % 10 == 0) v[3] = v[1];  // a flat edge now and then
    for (bool filled : {false, true}) {
      const Pixels got = drawn([&] {
        if (filled) {
          draw::triangle_fill(gfx, v);
        } else {
          draw::triangle_outline(gfx, v);
        }
      });
      const Pixels want = drawn([&] { rule_triangle(per_call(), v, filled); });
      ASSERT_EQ(got, want) << "triangle " << i << " filled " << filled;
      Lit plain;
      rule_triangle(SetSink{plain}, v, filled);
      ASSERT_EQ(lit(got), plain);
    }
  }
}

// Geometry, not the rules: a filled circle covers its disc to within a
// pixel, and a filled triangle covers its interior and nothing far outside.
TEST_F(Render, LargeShapesCoverTheirGeometry) {
  const int cx = 48, cy = 36, r = 33;
  for (auto [x, y] : lit(drawn([&] { draw::circle_fill(gfx, cx, cy, r); }))) {
    EXPECT_LE(std::hypot(x - cx, y - cy), r + 1.0) << x << "," << y;
  }
  const Lit disc = lit(pixels());
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      if (std::hypot(x - cx, y - cy) <= r - 1.0) {
        EXPECT_TRUE(disc.count({x, y})) << x << "," << y;
      }
    }
  }

  const double ax = 4, ay = 3, bx = 90, by = 20, qx = 30, qy = 70;
  // Signed distance of (x, y) inside the triangle: the least distance to an edge line.
  auto inside = [&](double x, double y) {
    auto edge = [&](double x1, double y1, double x2, double y2) {
      return ((x2 - x1) * (y - y1) - (y2 - y1) * (x - x1)) / std::hypot(x2 - x1, y2 - y1);
    };
    const double d1 = edge(ax, ay, bx, by), d2 = edge(bx, by, qx, qy), d3 = edge(qx, qy, ax, ay);
    return std::min({d1, d2, d3});
  };
  const Lit tri = lit(drawn([&] { draw::triangle_fill(gfx, {int(ax), int(ay), int(bx), int(by), int(qx), int(qy)}); }));
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      if (inside(x, y) >= 1.0) {
        EXPECT_TRUE(tri.count({x, y})) << x << "," << y;
      } else if (inside(x, y) < -1.5) {
        EXPECT_FALSE(tri.count({x, y})) << x << "," << y;
      }
    }
  }
}

// Long lines are cut to the target before the renderer sees them; what
// remains is exactly the renderer's own line.
TEST_F(Render, LongLinesMatchTheRenderersOwnLine) {
  const std::array<std::array<int, 4>, 4> lines{{
      {-199952, -159964, 250048, 200036},
      {50, -100000, 20, 160000},
      {-90000, 70, 170000, 3},
      {120000, 10, -80000, 60},
  }};
  for (auto [x1, y1, x2, y2] : lines) {
    const Pixels got = drawn([&] { draw::line(gfx, x1, y1, x2, y2); });
    const Pixels want = drawn([&] { SDL_RenderDrawLine(gfx.renderer(), x1, y1, x2, y2); });
    EXPECT_EQ(got, want) << x1 << "," << y1 << " " << x2 << "," << y2;
    EXPECT_FALSE(lit(got).empty());
  }

  // Across the whole coordinate range: quick, bounded in memory, still drawn.
  const auto start = std::chrono::steady_clock::now();
  const Lit diagonal = lit(drawn([&] { draw::line(gfx, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX); }));
  const Lit row = lit(drawn([&] { draw::line(gfx, INT32_MIN, 5, INT32_MAX, 5); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(diagonal.size(), std::size_t(kH));
  for (int k = 0; k < kH; ++k) EXPECT_TRUE(diagonal.count({k, k})) << k;
  EXPECT_EQ(row.size(), std::size_t(kW));
}

TEST_F(Render, HugeShapesAreHarmless) {
  const auto start = std::chrono::steady_clock::now();
  draw::rect_fill(gfx, INT32_MIN, INT32_MIN, UINT32_MAX, UINT32_MAX);
  draw::rect_outline(gfx, -5, -5, UINT32_MAX, UINT32_MAX);
  draw::triangle_fill(gfx, {INT32_MIN, INT32_MIN, INT32_MAX, 0, 0, INT32_MAX});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  // The outline starts at the clamped corner and runs far off to the right and down.
  const Lit outline = lit(drawn([&] { draw::rect_outline(gfx, -5, -5, UINT32_MAX, UINT32_MAX); }));
  EXPECT_TRUE(outline.empty());
  const Lit filled = lit(drawn([&] { draw::rect_fill(gfx, 10, 10, UINT32_MAX, 0); }));
  EXPECT_EQ(filled.size(), std::size_t(kW - 10));
}

TEST_F(Render, DrawColourCacheReachesTheRenderer) {
  auto colour_at = [&](int x, int y) { return pixels()[y * kW + x]; };
  // A new renderer starts with the cached colour: white at first, whatever SDL's own default.
  GraphicsContext fresh;
  fresh.create_window(8, 8, "fresh");
  Uint8 r = 0, g = 0, b = 0, a = 0;
  SDL_GetRenderDrawColor(fresh.renderer(), &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{255, 255, 255, 255}));

  GraphicsContext chosen_early;
  chosen_early.set_draw_color(10, 20, 30);
  chosen_early.create_window(8, 8, "early");
  SDL_GetRenderDrawColor(chosen_early.renderer(), &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{10, 20, 30, 255}));

  // After a clear, the colour chosen before it is black no more.
  gfx.set_draw_color(200, 0, 0);
  gfx.clear();
  gfx.set_draw_color(200, 0, 0);
  draw::point(gfx, 1, 1);
  EXPECT_EQ(colour_at(1, 1), 0xc80000u);
  EXPECT_EQ(colour_at(2, 1), 0u);
}

}  // namespace
}  // namespace veltro
