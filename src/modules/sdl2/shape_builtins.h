#pragma once
// The twelve global window and shape builtins. They never fail: misuse gives
// Null and changes nothing. Arguments beyond those used are ignored.
#include <span>

#include "runtime/native.h"
#include "runtime/value.h"

namespace veltro {

class GraphicsContext;

Value builtin_window(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_window_width(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_window_height(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_clear(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_present(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_is_open(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_rect(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_circle(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_triangle(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_color(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_fill(GraphicsContext& gfx, std::span<const Value> args);
Value builtin_draw(GraphicsContext& gfx, std::span<const Value> args);

// All twelve as global builtins, on the calling interpreter's
// GraphicsContext, in registration order.
[[nodiscard]] const NativeModule& shape_builtins_module();

}  // namespace veltro
