#pragma once
// The drawing algorithms, apart from SDL: each turns a shape into the points
// or horizontal spans it consists of and hands them to a callback. Coordinates
// handed out are signed 32-bit with wrap-around; the loop state itself is
// 64-bit, so a huge shape never goes astray through overflow.
//
// Everything outside the render target is invisible, and a shape may be
// billions of pixels across, so the algorithms leave out work that can only
// produce invisible output: a line is walked only where it crosses the
// target, and the circle loop jumps over runs of steps that draw nothing
// visible, landing exactly where stepping would have.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace veltro::raster {

// Every point reaching the renderer lies in this range on both axes, so that
// the renderer's own sums of position and size cannot overflow.
inline constexpr std::int32_t kCoordMin = -1073741824;
inline constexpr std::int32_t kCoordMax = 1073741823;
inline constexpr std::uint32_t kSizeMax = 1073741823;

[[nodiscard]] constexpr std::int32_t clamp_coord(std::int32_t v) noexcept { return std::clamp(v, kCoordMin, kCoordMax); }

// A rectangle side: 0 still draws one pixel, and no side exceeds kSizeMax.
[[nodiscard]] constexpr std::uint32_t clamp_size(std::uint32_t v) noexcept {
  return v == 0 ? 1 : std::min(v, kSizeMax);
}

// a + b and a - b in signed 32-bit arithmetic with wrap-around.
[[nodiscard]] constexpr std::int32_t wrap_add(std::int32_t a, std::int64_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
[[nodiscard]] constexpr std::int32_t wrap_sub(std::int32_t a, std::int64_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// The render target: pixels [0, width) × [0, height). Both sides are far
// below the clamp limit, so a clamped coordinate is visible exactly when the
// unclamped one is.
struct Viewport {
  std::int64_t width;
  std::int64_t height;
};

inline constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// Smallest v >= from for which c + sign·v (wrapping) lies in [0, size); kNever if none below 2^32.
[[nodiscard]] std::int64_t next_visible_offset(std::int64_t from, std::int32_t c, int sign, std::int64_t size);
// Largest v <= from (v >= 0) for which c + sign·v (wrapping) lies in [0, size); -1 if none.
[[nodiscard]] std::int64_t prev_visible_offset(std::int64_t from, std::int32_t c, int sign, std::int64_t size);

// The midpoint circle loop of radius r > 0: starts at x = r, y = 0.
//
// While the loop is well away from the diagonal, its state after the step
// for offset y depends on y alone: x is the largest x <= r with
// 2x² − 6x + 2y² + 4y − 2r² + 4r + 1 <= 0, and err = x² − 2x + y² + 2y − r² + 2r.
// (Each step lowers that x by at most one as long as x >= y + 3, which is
// what stepping does.) skip_to uses it to jump.
class MidpointCircle {
 public:
  explicit MidpointCircle(std::int32_t r) noexcept : r_(r), x_(r) {}

  [[nodiscard]] std::int64_t x() const noexcept { return x_; }
  [[nodiscard]] std::int64_t y() const noexcept { return y_; }

  // One step; false when the loop has ended.
  bool step() noexcept {
    y_ += 1;
    err_ += 2 * y_ + 1;
    if (2 * (err_ - x_) + 1 > 0) {
      x_ -= 1;
      err_ += 1 - 2 * x_;
    }
    return x_ >= y_;
  }

  // Moves to offset `target` (> y) or, where the shortcut no longer holds,
  // as far towards it as it does; never past it.
  void skip_to(std::int64_t target) noexcept;

  // The first offset >= y at which x is at most t (kNever past the end, a
  // conservative y when unsure).
  [[nodiscard]] std::int64_t first_offset_with_x_at_most(std::int64_t t) const noexcept;

 private:
  [[nodiscard]] std::int64_t x_at(std::int64_t y) const noexcept;
  [[nodiscard]] bool shortcut_holds(std::int64_t y) const noexcept;

  std::int64_t r_;
  std::int64_t x_;
  std::int64_t y_ = 0;
  std::int64_t err_ = 0;
};

// Jumps are only worth their arithmetic over longer runs.
inline constexpr std::int64_t kMinSkip = 32;

// Midpoint circle outline: point(x, y) eight times per step, points on the
// axes twice. Nothing for r <= 0.
template <class Point>
void circle_outline(std::int32_t cx, std::int32_t cy, std::int32_t r, Viewport view, Point&& point) {
  if (r <= 0) return;
  MidpointCircle c(r);
  do {
    const std::int64_t x = c.x();
    const std::int64_t y = c.y();
    point(wrap_add(cx, x), wrap_add(cy, y));
    point(wrap_sub(cx, x), wrap_add(cy, y));
    point(wrap_add(cx, x), wrap_sub(cy, y));
    point(wrap_sub(cx, x), wrap_sub(cy, y));
    point(wrap_add(cx, y), wrap_add(cy, x));
    point(wrap_sub(cx, y), wrap_add(cy, x));
    point(wrap_add(cx, y), wrap_sub(cy, x));
    point(wrap_sub(cx, y), wrap_sub(cy, x));
    if (!c.step()) return;
    // A step's points can only be visible if row cy ± y or column cx ± y is.
    const std::int64_t next = std::min({next_visible_offset(c.y(), cy, 1, view.height),
                                        next_visible_offset(c.y(), cy, -1, view.height),
                                        next_visible_offset(c.y(), cx, 1, view.width),
                                        next_visible_offset(c.y(), cx, -1, view.width)});
    if (next - c.y() >= kMinSkip) c.skip_to(next);
  } while (true);
}

// Midpoint filled circle: span(x1, x2, y) is the horizontal line from
// (x1, y) to (x2, y), four per step. Nothing for r <= 0.
template <class Span>
void circle_fill(std::int32_t cx, std::int32_t cy, std::int32_t r, Viewport view, Span&& span) {
  if (r <= 0) return;
  MidpointCircle c(r);
  do {
    const std::int64_t x = c.x();
    const std::int64_t y = c.y();
    span(wrap_sub(cx, x), wrap_add(cx, x), wrap_add(cy, y));
    span(wrap_sub(cx, y), wrap_add(cx, y), wrap_add(cy, x));
    span(wrap_sub(cx, x), wrap_add(cx, x), wrap_sub(cy, y));
    span(wrap_sub(cx, y), wrap_add(cx, y), wrap_sub(cy, x));
    if (!c.step()) return;
    // A step's lines can only be visible if row cy ± y or row cy ± x is.
    std::int64_t next = std::min(next_visible_offset(c.y(), cy, 1, view.height),
                                 next_visible_offset(c.y(), cy, -1, view.height));
    for (int sign : {1, -1}) {
      const std::int64_t row_x = prev_visible_offset(c.x(), cy, sign, view.height);
      if (row_x >= 0) next = std::min(next, c.first_offset_with_x_at_most(row_x));
    }
    if (next - c.y() >= kMinSkip) c.skip_to(next);
  } while (true);
}

// The points of a line from (x0, y0) to (x1, y1), both ends included, that
// lie in the viewport. Step i along the major axis moves
// floor((2·minor·i + major − bias) / (2·major)) along the minor one: with
// bias 1 this is the integer Bresenham walk (err = dx − dy, e2 = 2·err) that
// outlines triangles, with bias 0 the renderer's own line.
template <class Point>
void line_points(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, int bias, Viewport view,
                 Point&& point) {
  const std::int64_t dx = std::abs(std::int64_t{x1} - x0);
  const std::int64_t dy = std::abs(std::int64_t{y1} - y0);
  const std::int64_t sx = x1 > x0 ? 1 : -1;
  const std::int64_t sy = y1 > y0 ? 1 : -1;
  const bool x_major = dx >= dy;
  const std::int64_t major = x_major ? dx : dy;
  const std::int64_t minor = x_major ? dy : dx;
  const std::int64_t start = x_major ? x0 : y0;
  const std::int64_t step = x_major ? sx : sy;
  const std::int64_t size = x_major ? view.width : view.height;
  if (major == 0) {
    if (x0 >= 0 && y0 >= 0 && x0 < view.width && y0 < view.height) point(x0, y0);
    return;
  }
  // Steps i in [0, major] whose major coordinate start + step·i lies in [0, size).
  std::int64_t first = 0;
  std::int64_t last = major;
  if (step > 0) {
    first = std::max(first, -start);
    last = std::min(last, size - 1 - start);
  } else {
    first = std::max(first, start - (size - 1));
    last = std::min(last, start);
  }
  for (std::int64_t i = first; i <= last; ++i) {
    const auto along = static_cast<std::int64_t>((static_cast<__int128>(2 * minor) * i + major - bias) / (2 * major));
    const std::int64_t x = x_major ? x0 + sx * i : x0 + sx * along;
    const std::int64_t y = x_major ? y0 + sy * along : y0 + sy * i;
    if (x < 0 || y < 0 || x >= view.width || y >= view.height) continue;
    point(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
  }
}

// Triangle outline: the Bresenham walks from vertex 1 to 2, 2 to 3 and 3 to
// 1 (vertices as x1, y1, x2, y2, x3, y3), limited to the viewport.
template <class Point>
void triangle_outline(const std::array<std::int32_t, 6>& v, Viewport view, Point&& point) {
  line_points(v[0], v[1], v[2], v[3], 1, view, point);
  line_points(v[2], v[3], v[4], v[5], 1, view, point);
  line_points(v[4], v[5], v[0], v[1], 1, view, point);
}

// Float to signed 32-bit with saturation; NaN gives 0.
[[nodiscard]] inline std::int32_t saturate_i32(float v) noexcept {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

// Scanline triangle fill in single precision: span(left, right, y) for every
// row y from the top vertex to the bottom one that lies in the viewport (each
// row is computed on its own, so leaving rows out changes nothing in the
// others). Nothing when all three vertices share a row.
template <class Span>
void triangle_fill(const std::array<std::int32_t, 6>& v, Viewport view, Span&& span) {
  struct Vertex {
    std::int32_t x, y;
  };
  std::array<Vertex, 3> p{{{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}}};
  // Equal rows keep their argument order.
  std::stable_sort(p.begin(), p.end(), [](const Vertex& a, const Vertex& b) { return a.y < b.y; });
  const Vertex top = p[0];
  const Vertex middle = p[1];
  const Vertex bottom = p[2];
  if (top.y == bottom.y) return;

  // The reciprocal is taken first, and every single-precision step rounds on
  // its own (no fused multiply-add): the pixels depend on it.
  auto edge_x = [](Vertex s, Vertex e, std::int64_t y) {
    const float inverse = 1.0f / static_cast<float>(std::int64_t{e.y} - s.y);
    const float t = static_cast<float>(y - s.y) * inverse;
    const float scaled = static_cast<float>(std::int64_t{e.x} - s.x) * t;
    return static_cast<float>(s.x) + scaled;
  };

  const std::int64_t first = std::max<std::int64_t>(top.y, 0);
  const std::int64_t last = std::min<std::int64_t>(bottom.y, view.height - 1);
  for (std::int64_t y = first; y <= last; ++y) {
    const float long_x = edge_x(top, bottom, y);
    const float short_x = (middle.y > top.y && y <= middle.y) ? edge_x(top, middle, y) : edge_x(middle, bottom, y);
    const float lo = std::min(long_x, short_x);
    const float hi = std::max(long_x, short_x);
    span(saturate_i32(std::trunc(lo)), saturate_i32(std::ceil(hi)), static_cast<std::int32_t>(y));
  }
}

}  // namespace veltro::raster
