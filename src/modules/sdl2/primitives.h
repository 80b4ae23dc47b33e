#pragma once
// The drawing primitives shared by the sdl2 module and the draw/fill
// builtins. They draw with the renderer's current colour, do nothing without
// a window, and ignore the renderer's failures.
#include <array>
#include <cstdint>

namespace veltro {

class GraphicsContext;

namespace draw {

void point(GraphicsContext& gfx, std::int32_t x, std::int32_t y);
void line(GraphicsContext& gfx, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
void rect_outline(GraphicsContext& gfx, std::int32_t x, std::int32_t y, std::uint32_t w, std::uint32_t h);
void rect_fill(GraphicsContext& gfx, std::int32_t x, std::int32_t y, std::uint32_t w, std::uint32_t h);
void circle_outline(GraphicsContext& gfx, std::int32_t cx, std::int32_t cy, std::int32_t r);
void circle_fill(GraphicsContext& gfx, std::int32_t cx, std::int32_t cy, std::int32_t r);
// Vertices as x1, y1, x2, y2, x3, y3.
void triangle_outline(GraphicsContext& gfx, const std::array<std::int32_t, 6>& v);
void triangle_fill(GraphicsContext& gfx, const std::array<std::int32_t, 6>& v);

}  // namespace draw
}  // namespace veltro
