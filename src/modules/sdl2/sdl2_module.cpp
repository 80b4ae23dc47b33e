#include "modules/sdl2/sdl2_module.h"

#include <array>
#include <string>

#include <fmt/format.h>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/messages.h"
#include "modules/sdl2/numeric.h"
#include "modules/sdl2/primitives.h"
#include "runtime/text.h"

namespace veltro {

namespace {

namespace msg = sdl2_messages;
using numeric::all_numeric;
using numeric::arg_i32;
using numeric::to_int64;
using Args = std::span<const Value>;

Value fail(std::string_view message) { return Value::error(std::string(message)); }

std::string unknown_function(std::string_view function) { return fmt::format(msg::kNoSuchFunction, function); }

Value sdl_init(GraphicsContext&, Args) { return Value::boolean(true); }

Value sdl_create_window(GraphicsContext& gfx, Args args) {
  if (args.size() < 3) return fail(msg::kCreateWindowArity);
  if (!args[0].is_string() || !args[1].is_numeric() || !args[2].is_numeric()) {
    return fail(msg::kCreateWindowInvalid);
  }
  gfx.create_window(to_int64(args[1]), to_int64(args[2]), args[0].as_string());
  // The script cannot tell whether a window came up: the handle is always 1.
  return Value::number(1);
}

Value sdl_destroy_window(GraphicsContext& gfx, Args) {
  gfx.close();
  return Value::null();
}

Value sdl_set_window_title(GraphicsContext& gfx, Args args) {
  if (args.size() < 2) return fail(msg::kSetWindowTitleArity);
  if (!args[1].is_string()) return fail(msg::kTitleNotString);
  // The first argument is the handle create_window gave; there is only one window.
  gfx.set_window_title(args[1].as_string());
  return Value::null();
}

Value sdl_set_window_mode(GraphicsContext& gfx, Args args) {
  if (args.empty()) return fail(msg::kSetWindowModeArity);
  const std::string mode = text::to_lower(args[0].display());
  if (mode != "windowed" && mode != "fullscreen" && mode != "windowed_fullscreen") {
    return fail(msg::kInvalidWindowMode);
  }
  gfx.set_window_mode(mode);
  return Value::null();
}

Value sdl_get_window_mode(GraphicsContext& gfx, Args) { return Value::string(gfx.window_mode()); }

Value sdl_clear_screen(GraphicsContext& gfx, Args) {
  gfx.clear();
  return Value::null();
}

Value sdl_render_present(GraphicsContext& gfx, Args) {
  gfx.present();
  return Value::null();
}

Value sdl_set_draw_color(GraphicsContext& gfx, Args args) {
  if (args.size() < 3) return fail(msg::kSetDrawColorArity);
  if (!all_numeric(args, 3)) return fail(msg::kColorNotNumbers);
  gfx.set_draw_color(numeric::low_u8(to_int64(args[0])), numeric::low_u8(to_int64(args[1])),
                     numeric::low_u8(to_int64(args[2])));
  return Value::null();
}

Value sdl_set_max_fps(GraphicsContext& gfx, Args args) {
  if (args.empty()) return fail(msg::kSetMaxFpsArity);
  if (!args[0].is_numeric()) return fail(msg::kFpsNotNumber);
  const std::int64_t fps = to_int64(args[0]);
  if (fps <= 0) return fail(msg::kFpsNotPositive);
  gfx.set_max_fps(numeric::low_u32(fps));
  return Value::null();
}

Value sdl_delta_time(GraphicsContext& gfx, Args) { return Value::real(gfx.delta_time()); }

Value sdl_draw_point(GraphicsContext& gfx, Args args) {
  if (args.size() < 2) return fail(msg::kDrawPointArity);
  if (!all_numeric(args, 2)) return fail(msg::kCoordinatesNotNumbers);
  draw::point(gfx, arg_i32(args, 0), arg_i32(args, 1));
  return Value::null();
}

Value sdl_draw_line(GraphicsContext& gfx, Args args) {
  if (args.size() < 4) return fail(msg::kDrawLineArity);
  if (!all_numeric(args, 4)) return fail(msg::kCoordinatesNotNumbers);
  draw::line(gfx, arg_i32(args, 0), arg_i32(args, 1), arg_i32(args, 2), arg_i32(args, 3));
  return Value::null();
}

template <void (*Draw)(GraphicsContext&, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t)>
Value rect_function(Args args, GraphicsContext& gfx, std::string_view arity_message) {
  if (args.size() < 4) return fail(arity_message);
  if (!all_numeric(args, 4)) return fail(msg::kRectNotNumbers);
  Draw(gfx, arg_i32(args, 0), arg_i32(args, 1), numeric::low_u32(to_int64(args[2])),
       numeric::low_u32(to_int64(args[3])));
  return Value::null();
}

Value sdl_draw_rect(GraphicsContext& gfx, Args args) {
  return rect_function<draw::rect_outline>(args, gfx, msg::kDrawRectArity);
}
Value sdl_fill_rect(GraphicsContext& gfx, Args args) {
  return rect_function<draw::rect_fill>(args, gfx, msg::kFillRectArity);
}

template <void (*Draw)(GraphicsContext&, std::int32_t, std::int32_t, std::int32_t)>
Value circle_function(Args args, GraphicsContext& gfx, std::string_view arity_message) {
  if (args.size() < 3) return fail(arity_message);
  if (!all_numeric(args, 3)) return fail(msg::kCircleNotNumbers);
  Draw(gfx, arg_i32(args, 0), arg_i32(args, 1), arg_i32(args, 2));
  return Value::null();
}

Value sdl_draw_circle(GraphicsContext& gfx, Args args) {
  return circle_function<draw::circle_outline>(args, gfx, msg::kDrawCircleArity);
}
Value sdl_fill_circle(GraphicsContext& gfx, Args args) {
  return circle_function<draw::circle_fill>(args, gfx, msg::kFillCircleArity);
}

template <void (*Draw)(GraphicsContext&, const std::array<std::int32_t, 6>&)>
Value triangle_function(Args args, GraphicsContext& gfx, std::string_view arity_message) {
  if (args.size() < 6) return fail(arity_message);
  if (!all_numeric(args, 6)) return fail(msg::kTriangleNotNumbers);
  std::array<std::int32_t, 6> v{};
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = arg_i32(args, i);
  Draw(gfx, v);
  return Value::null();
}

Value sdl_draw_triangle(GraphicsContext& gfx, Args args) {
  return triangle_function<draw::triangle_outline>(args, gfx, msg::kDrawTriangleArity);
}
Value sdl_fill_triangle(GraphicsContext& gfx, Args args) {
  return triangle_function<draw::triangle_fill>(args, gfx, msg::kFillTriangleArity);
}

Value sdl_get_window_width(GraphicsContext& gfx, Args) {
  auto size = gfx.window_size();
  return size ? Value::number(size->first) : Value::null();
}

Value sdl_get_window_height(GraphicsContext& gfx, Args) {
  auto size = gfx.window_size();
  return size ? Value::number(size->second) : Value::null();
}

Value sdl_is_window_open(GraphicsContext& gfx, Args) { return Value::boolean(gfx.open()); }

// Key names are compared byte for byte with the display form of the argument,
// so 5 asks for the key "5" and "A" never matches.
Value sdl_get_input_pressed(GraphicsContext& gfx, Args args) {
  if (args.empty()) return fail(msg::kGetInputPressedArity);
  return Value::boolean(gfx.is_pressed(args[0].display()));
}

Value sdl_get_input_released(GraphicsContext& gfx, Args args) {
  if (args.empty()) return fail(msg::kGetInputReleasedArity);
  return Value::boolean(gfx.is_released(args[0].display()));
}

Value sdl_get_input_held(GraphicsContext& gfx, Args args) {
  if (args.empty()) return fail(msg::kGetInputHeldArity);
  return Value::boolean(gfx.is_held(args[0].display()));
}

}  // namespace

const NativeModule& sdl2_module() {
  static constexpr NativeFunction kFunctions[] = {
    {"sdl2.init", with_state<GraphicsContext, sdl_init>},
    {"sdl2.create_window", with_state<GraphicsContext, sdl_create_window>},
    {"sdl2.destroy_window", with_state<GraphicsContext, sdl_destroy_window>},
    {"sdl2.set_window_title", with_state<GraphicsContext, sdl_set_window_title>},
    {"sdl2.set_window_mode", with_state<GraphicsContext, sdl_set_window_mode>},
    {"sdl2.get_window_mode", with_state<GraphicsContext, sdl_get_window_mode>},
    {"sdl2.clear_screen", with_state<GraphicsContext, sdl_clear_screen>},
    {"sdl2.render_present", with_state<GraphicsContext, sdl_render_present>},
    {"sdl2.set_draw_color", with_state<GraphicsContext, sdl_set_draw_color>},
    {"sdl2.set_max_fps", with_state<GraphicsContext, sdl_set_max_fps>},
    {"sdl2.delta_time", with_state<GraphicsContext, sdl_delta_time>},
    {"sdl2.draw_point", with_state<GraphicsContext, sdl_draw_point>},
    {"sdl2.draw_line", with_state<GraphicsContext, sdl_draw_line>},
    {"sdl2.draw_rect", with_state<GraphicsContext, sdl_draw_rect>},
    {"sdl2.fill_rect", with_state<GraphicsContext, sdl_fill_rect>},
    {"sdl2.draw_circle", with_state<GraphicsContext, sdl_draw_circle>},
    {"sdl2.fill_circle", with_state<GraphicsContext, sdl_fill_circle>},
    {"sdl2.draw_triangle", with_state<GraphicsContext, sdl_draw_triangle>},
    {"sdl2.fill_triangle", with_state<GraphicsContext, sdl_fill_triangle>},
    {"sdl2.get_window_width", with_state<GraphicsContext, sdl_get_window_width>},
    {"sdl2.get_window_height", with_state<GraphicsContext, sdl_get_window_height>},
    {"sdl2.is_window_open", with_state<GraphicsContext, sdl_is_window_open>},
    {"sdl2.get_input_pressed", with_state<GraphicsContext, sdl_get_input_pressed>},
    {"sdl2.get_input_released", with_state<GraphicsContext, sdl_get_input_released>},
    {"sdl2.get_input_held", with_state<GraphicsContext, sdl_get_input_held>},
  };
  static const NativeModule kModule{.name = "sdl2", .functions = kFunctions, .unknown_function = unknown_function};
  return kModule;
}

}  // namespace veltro
