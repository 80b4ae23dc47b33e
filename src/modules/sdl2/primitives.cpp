#include "modules/sdl2/primitives.h"

#include "modules/sdl2/sdl_library.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/raster.h"

namespace veltro::draw {

namespace {

// Lines up to this long (along their major axis) go to the renderer as they
// are. Longer ones are cut to the visible area first: the renderer would
// otherwise build every one of their points in memory, gigabytes for a line
// across the clamped coordinate range.
constexpr std::int64_t kDirectLineLength = 1 << 16;

// Points and rectangles gathered before one renderer call.
constexpr std::size_t kBatchSize = 4096;

// Widest rectangle handed to the software renderer. It fills rows of 16
// pixels or more with non-temporal stores, which bypass the cache the frame
// lives in and make wide spans several times slower than narrow ones.
constexpr std::int32_t kSoftwareChunkWidth = 15;

// Collects the pixels of one primitive and hands them to the renderer in few
// calls. Only what lies inside the render target is kept: the renderer clips
// everything else away anyway, so the pixels are those of one call per point
// or line, and a huge shape cannot pile up commands. Spans covering the same
// columns on consecutive rows become one rectangle.
class Batch {
 public:
  explicit Batch(const GraphicsContext& gfx)
      : renderer_(gfx.renderer()),
        chunk_width_(gfx.software_renderer() ? kSoftwareChunkWidth : std::numeric_limits<std::int32_t>::max()) {
    if (sdl::GetRendererOutputSize(renderer_, &width_, &height_) != 0) width_ = height_ = 0;
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
  ~Batch() { flush(); }

  void point(std::int32_t x, std::int32_t y) {
    x = raster::clamp_coord(x);
    y = raster::clamp_coord(y);
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    points_.push_back({x, y});
    if (points_.size() == kBatchSize) flush_points();
  }

  // The horizontal line from (x1, y) to (x2, y), either way round.
  void span(std::int32_t x1, std::int32_t x2, std::int32_t y) {
    x1 = raster::clamp_coord(x1);
    x2 = raster::clamp_coord(x2);
    y = raster::clamp_coord(y);
    if (y < 0 || y >= height_) return;
    const std::int32_t lo = std::max(std::min(x1, x2), 0);
    const std::int32_t hi = std::min(std::max(x1, x2), width_ - 1);
    if (lo > hi) return;
    if (run_.rows > 0 && run_.lo == lo && run_.hi == hi && run_.top + run_.rows == y) {
      ++run_.rows;
      return;
    }
    flush_run();
    run_ = {lo, hi, y, 1};
  }

  [[nodiscard]] int width() const { return width_; }
  [[nodiscard]] int height() const { return height_; }
  [[nodiscard]] raster::Viewport view() const { return {width_, height_}; }

  void flush() {
    flush_points();
    flush_run();
    flush_rects();
  }

 private:
  struct Run {
    std::int32_t lo, hi, top, rows;
  };

  void flush_points() {
    if (points_.empty()) return;
    (void)sdl::RenderDrawPoints(renderer_, points_.data(), static_cast<int>(points_.size()));
    points_.clear();
  }
  void flush_run() {
    for (std::int32_t x = run_.lo; run_.rows > 0 && x <= run_.hi;) {
      const std::int32_t width = std::min(chunk_width_, run_.hi - x + 1);
      rects_.push_back({x, run_.top, width, run_.rows});
      if (rects_.size() == kBatchSize) flush_rects();
      x += width;
    }
    run_.rows = 0;
  }
  void flush_rects() {
    if (rects_.empty()) return;
    (void)sdl::RenderFillRects(renderer_, rects_.data(), static_cast<int>(rects_.size()));
    rects_.clear();
  }

  SDL_Renderer* renderer_;
  std::int32_t chunk_width_;
  int width_ = 0;
  int height_ = 0;
  Run run_{0, 0, 0, 0};
  std::vector<SDL_Point> points_;
  std::vector<SDL_Rect> rects_;
};

SDL_Rect clamped_rect(std::int32_t x, std::int32_t y, std::uint32_t w, std::uint32_t h) {
  return {raster::clamp_coord(x), raster::clamp_coord(y), static_cast<int>(raster::clamp_size(w)),
          static_cast<int>(raster::clamp_size(h))};
}

}  // namespace

void point(GraphicsContext& gfx, std::int32_t x, std::int32_t y) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  (void)sdl::RenderDrawPoint(renderer, raster::clamp_coord(x), raster::clamp_coord(y));
}

void line(GraphicsContext& gfx, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  x1 = raster::clamp_coord(x1);
  y1 = raster::clamp_coord(y1);
  x2 = raster::clamp_coord(x2);
  y2 = raster::clamp_coord(y2);
  const std::int64_t dx = std::abs(std::int64_t{x2} - x1);
  const std::int64_t dy = std::abs(std::int64_t{y2} - y1);
  if (std::max(dx, dy) <= kDirectLineLength) {
    (void)sdl::RenderDrawLine(renderer, x1, y1, x2, y2);
    return;
  }
  Batch batch(gfx);
  if (dy == 0) {
    batch.span(x1, x2, y1);
  } else {
    raster::line_points(x1, y1, x2, y2, 0, batch.view(), [&](std::int32_t x, std::int32_t y) { batch.point(x, y); });
  }
}

void rect_outline(GraphicsContext& gfx, std::int32_t x, std::int32_t y, std::uint32_t w, std::uint32_t h) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  const SDL_Rect rect = clamped_rect(x, y, w, h);
  (void)sdl::RenderDrawRect(renderer, &rect);
}

void rect_fill(GraphicsContext& gfx, std::int32_t x, std::int32_t y, std::uint32_t w, std::uint32_t h) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  const SDL_Rect rect = clamped_rect(x, y, w, h);
  (void)sdl::RenderFillRect(renderer, &rect);
}

void circle_outline(GraphicsContext& gfx, std::int32_t cx, std::int32_t cy, std::int32_t r) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  Batch batch(gfx);
  raster::circle_outline(cx, cy, r, batch.view(), [&](std::int32_t x, std::int32_t y) { batch.point(x, y); });
}

void circle_fill(GraphicsContext& gfx, std::int32_t cx, std::int32_t cy, std::int32_t r) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer || r <= 0) return;
  Batch batch(gfx);
  auto each_span = [&](std::int32_t x1, std::int32_t x2, std::int32_t y) { batch.span(x1, x2, y); };
  if (std::int64_t{cx} - r < std::numeric_limits<std::int32_t>::min() ||
      std::int64_t{cx} + r > std::numeric_limits<std::int32_t>::max()) {
    // Ends that wrap around are no longer centred on cx: draw each line as it comes.
    raster::circle_fill(cx, cy, r, batch.view(), each_span);
    return;
  }
  // Every line is centred on cx, so the lines of one row nest and the widest
  // covers the others: draw only that one, once per row, top to bottom.
  std::vector<std::int64_t> widest(static_cast<std::size_t>(batch.height()), -1);
  raster::circle_fill(cx, cy, r, batch.view(), [&](std::int32_t x1, std::int32_t x2, std::int32_t y) {
    if (y < 0 || y >= batch.height()) return;
    auto& half = widest[static_cast<std::size_t>(y)];
    half = std::max(half, (std::int64_t{x2} - x1) / 2);
  });
  for (std::int32_t y = 0; y < batch.height(); ++y) {
    const std::int64_t half = widest[static_cast<std::size_t>(y)];
    if (half >= 0) each_span(static_cast<std::int32_t>(cx - half), static_cast<std::int32_t>(cx + half), y);
  }
}

void triangle_outline(GraphicsContext& gfx, const std::array<std::int32_t, 6>& v) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  Batch batch(gfx);
  raster::triangle_outline(v, batch.view(), [&](std::int32_t x, std::int32_t y) { batch.point(x, y); });
}

void triangle_fill(GraphicsContext& gfx, const std::array<std::int32_t, 6>& v) {
  SDL_Renderer* renderer = gfx.renderer();
  if (!renderer) return;
  Batch batch(gfx);
  raster::triangle_fill(v, batch.view(), [&](std::int32_t x1, std::int32_t x2, std::int32_t y) { batch.span(x1, x2, y); });
}

}  // namespace veltro::draw
