#include "modules/sdl2/shape_builtins.h"

#include <array>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/messages.h"
#include "modules/sdl2/numeric.h"
#include "modules/sdl2/primitives.h"
#include "runtime/harness.h"

namespace veltro {

namespace {

using numeric::all_numeric;
using numeric::arg_i32;
using numeric::low_u32;
using numeric::low_u8;
using numeric::to_int64;

std::array<std::int32_t, 6> vertices(const TriangleShape& t) { return {t.x1, t.y1, t.x2, t.y2, t.x3, t.y3}; }

// Shared by draw and fill: the shape (a Rect, Circle or Triangle) and the
// colour are checked before anything is touched, the colour goes through the
// context's cache even without a window, and only then is anything drawn.
template <class Render>
Value render_shape(GraphicsContext& gfx, std::span<const Value> args, Render&& render) {
  if (args.size() < 2) return Value::null();
  const Value& shape = args[0];
  const Value& colour = args[1];
  const bool is_shape = shape.is(ValueType::Rect) || shape.is(ValueType::Circle) || shape.is(ValueType::Triangle);
  if (!is_shape || !colour.is(ValueType::Color)) return Value::null();
  const ColorValue c = colour.as_color();
  gfx.set_draw_color(c.r, c.g, c.b);
  if (gfx.renderer() == nullptr) return Value::null();
  render(shape);
  return Value::null();
}

}  // namespace

Value builtin_window(GraphicsContext& gfx, std::span<const Value> args) {
  // Test harnesses run without windows.
  if (harness::sandboxed()) return Value::null();
  if (!all_numeric(args, 2)) return Value::null();
  gfx.create_window(to_int64(args[0]), to_int64(args[1]), sdl2_messages::kBuiltinWindowTitle);
  return Value::null();
}

Value builtin_window_width(GraphicsContext& gfx, std::span<const Value>) {
  auto size = gfx.window_size();
  return size ? Value::number(size->first) : Value::null();
}

Value builtin_window_height(GraphicsContext& gfx, std::span<const Value>) {
  auto size = gfx.window_size();
  return size ? Value::number(size->second) : Value::null();
}

Value builtin_clear(GraphicsContext& gfx, std::span<const Value>) {
  gfx.clear();
  return Value::null();
}

Value builtin_present(GraphicsContext& gfx, std::span<const Value>) {
  gfx.present();
  return Value::null();
}

Value builtin_is_open(GraphicsContext& gfx, std::span<const Value>) { return Value::boolean(gfx.open()); }

Value builtin_rect(GraphicsContext&, std::span<const Value> args) {
  if (!all_numeric(args, 4)) return Value::null();
  return Value::rect({arg_i32(args, 0), arg_i32(args, 1), low_u32(to_int64(args[2])), low_u32(to_int64(args[3]))});
}

Value builtin_circle(GraphicsContext&, std::span<const Value> args) {
  if (!all_numeric(args, 3)) return Value::null();
  return Value::circle({arg_i32(args, 0), arg_i32(args, 1), low_u32(to_int64(args[2]))});
}

Value builtin_triangle(GraphicsContext&, std::span<const Value> args) {
  if (!all_numeric(args, 6)) return Value::null();
  return Value::triangle(
      {arg_i32(args, 0), arg_i32(args, 1), arg_i32(args, 2), arg_i32(args, 3), arg_i32(args, 4), arg_i32(args, 5)});
}

Value builtin_color(GraphicsContext&, std::span<const Value> args) {
  if (!all_numeric(args, 3)) return Value::null();
  return Value::color({low_u8(to_int64(args[0])), low_u8(to_int64(args[1])), low_u8(to_int64(args[2]))});
}

Value builtin_fill(GraphicsContext& gfx, std::span<const Value> args) {
  return render_shape(gfx, args, [&](const Value& shape) {
    if (shape.is(ValueType::Rect)) {
      const RectShape r = shape.as_rect();
      draw::rect_fill(gfx, r.x, r.y, r.w, r.h);
    } else if (shape.is(ValueType::Circle)) {
      // The radius reaches the algorithm as a signed number: 2^31 and above
      // read as negative and draw nothing.
      const CircleShape c = shape.as_circle();
      draw::circle_fill(gfx, c.x, c.y, static_cast<std::int32_t>(c.radius));
    } else {
      draw::triangle_fill(gfx, vertices(shape.as_triangle()));
    }
  });
}

Value builtin_draw(GraphicsContext& gfx, std::span<const Value> args) {
  return render_shape(gfx, args, [&](const Value& shape) {
    if (shape.is(ValueType::Rect)) {
      const RectShape r = shape.as_rect();
      draw::rect_outline(gfx, r.x, r.y, r.w, r.h);
    } else if (shape.is(ValueType::Circle)) {
      const CircleShape c = shape.as_circle();
      draw::circle_outline(gfx, c.x, c.y, static_cast<std::int32_t>(c.radius));
    } else {
      draw::triangle_outline(gfx, vertices(shape.as_triangle()));
    }
  });
}

const NativeModule& shape_builtins_module() {
  static constexpr NativeFunction kFunctions[] = {
      {"window", with_state<GraphicsContext, builtin_window>},
      {"window_width", with_state<GraphicsContext, builtin_window_width>},
      {"window_height", with_state<GraphicsContext, builtin_window_height>},
      {"clear", with_state<GraphicsContext, builtin_clear>},
      {"present", with_state<GraphicsContext, builtin_present>},
      {"is_open", with_state<GraphicsContext, builtin_is_open>},
      {"rect", with_state<GraphicsContext, builtin_rect>},
      {"circle", with_state<GraphicsContext, builtin_circle>},
      {"triangle", with_state<GraphicsContext, builtin_triangle>},
      {"color", with_state<GraphicsContext, builtin_color>},
      {"fill", with_state<GraphicsContext, builtin_fill>},
      {"draw", with_state<GraphicsContext, builtin_draw>},
  };
  static const NativeModule kModule{.name = {}, .functions = kFunctions};
  return kModule;
}

}  // namespace veltro
