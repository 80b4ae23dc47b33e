#include "modules/sdl2/sdl2_module.h"

#include <array>
#include <string>

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

Value sdl_init(Args, GraphicsContext&) { return Value::boolean(true); }

Value sdl_create_window(Args args, GraphicsContext& gfx) {
  if (args.size() < 3) return fail(msg::kCreateWindowArity);
  if (!args[0].is_string() || !args[1].is_numeric() || !args[2].is_numeric()) {
    return fail(msg::kCreateWindowInvalid);
  }
  gfx.create_window(to_int64(args[1]), to_int64(args[2]), args[0].as_string());
  // The script cannot tell whether a window came up: the handle is always 1.
  return Value::number(1);
}

Value sdl_destroy_window(Args, GraphicsContext& gfx) {
  gfx.close();
  return Value::null();
}

Value sdl_set_window_title(Args args, GraphicsContext& gfx) {
  if (args.size() < 2) return fail(msg::kSetWindowTitleArity);
  if (!args[1].is_string()) return fail(msg::kTitleNotString);
  // The first argument is the handle create_window gave; there is only one window.
  gfx.set_window_title(args[1].as_string());
  return Value::null();
}

Value sdl_set_window_mode(Args args, GraphicsContext& gfx) {
  if (args.empty()) return fail(msg::kSetWindowModeArity);
  const std::string mode = text::to_lower(args[0].display());
  if (mode != "windowed" && mode != "fullscreen" && mode != "windowed_fullscreen") {
    return fail(msg::kInvalidWindowMode);
  }
  gfx.set_window_mode(mode);
  return Value::null();
}

Value sdl_get_window_mode(Args, GraphicsContext& gfx) { return Value::string(gfx.window_mode()); }

Value sdl_clear_screen(Args, GraphicsContext& gfx) {
  gfx.clear();
  return Value::null();
}

Value sdl_render_present(Args, GraphicsContext& gfx) {
  gfx.present();
  return Value::null();
}

Value sdl_set_draw_color(Args args, GraphicsContext& gfx) {
  if (args.size() < 3) return fail(msg::kSetDrawColorArity);
  if (!all_numeric(args, 3)) return fail(msg::kColorNotNumbers);
  gfx.set_draw_color(numeric::low_u8(to_int64(args[0])), numeric::low_u8(to_int64(args[1])),
                     numeric::low_u8(to_int64(args[2])));
  return Value::null();
}

Value sdl_set_max_fps(Args args, GraphicsContext& gfx) {
  if (args.empty()) return fail(msg::kSetMaxFpsArity);
  if (!args[0].is_numeric()) return fail(msg::kFpsNotNumber);
  const std::int64_t fps = to_int64(args[0]);
  if (fps <= 0) return fail(msg::kFpsNotPositive);
  gfx.set_max_fps(numeric::low_u32(fps));
  return Value::null();
}

Value sdl_delta_time(Args, GraphicsContext& gfx) { return Value::real(gfx.delta_time()); }

Value sdl_draw_point(Args args, GraphicsContext& gfx) {
  if (args.size() < 2) return fail(msg::kDrawPointArity);
  if (!all_numeric(args, 2)) return fail(msg::kCoordinatesNotNumbers);
  draw::point(gfx, arg_i32(args, 0), arg_i32(args, 1));
  return Value::null();
}

Value sdl_draw_line(Args args, GraphicsContext& gfx) {
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

Value sdl_draw_rect(Args args, GraphicsContext& gfx) {
  return rect_function<draw::rect_outline>(args, gfx, msg::kDrawRectArity);
}
Value sdl_fill_rect(Args args, GraphicsContext& gfx) {
  return rect_function<draw::rect_fill>(args, gfx, msg::kFillRectArity);
}

template <void (*Draw)(GraphicsContext&, std::int32_t, std::int32_t, std::int32_t)>
Value circle_function(Args args, GraphicsContext& gfx, std::string_view arity_message) {
  if (args.size() < 3) return fail(arity_message);
  if (!all_numeric(args, 3)) return fail(msg::kCircleNotNumbers);
  Draw(gfx, arg_i32(args, 0), arg_i32(args, 1), arg_i32(args, 2));
  return Value::null();
}

Value sdl_draw_circle(Args args, GraphicsContext& gfx) {
  return circle_function<draw::circle_outline>(args, gfx, msg::kDrawCircleArity);
}
Value sdl_fill_circle(Args args, GraphicsContext& gfx) {
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

Value sdl_draw_triangle(Args args, GraphicsContext& gfx) {
  return triangle_function<draw::triangle_outline>(args, gfx, msg::kDrawTriangleArity);
}
Value sdl_fill_triangle(Args args, GraphicsContext& gfx) {
  return triangle_function<draw::triangle_fill>(args, gfx, msg::kFillTriangleArity);
}

Value sdl_get_window_width(Args, GraphicsContext& gfx) {
  auto size = gfx.window_size();
  return size ? Value::number(size->first) : Value::null();
}

Value sdl_get_window_height(Args, GraphicsContext& gfx) {
  auto size = gfx.window_size();
  return size ? Value::number(size->second) : Value::null();
}

Value sdl_is_window_open(Args, GraphicsContext& gfx) { return Value::boolean(gfx.open()); }

// Key names are compared byte for byte with the display form of the argument,
// so 5 asks for the key "5" and "A" never matches.
Value sdl_get_input_pressed(Args args, GraphicsContext& gfx) {
  if (args.empty()) return fail(msg::kGetInputPressedArity);
  return Value::boolean(gfx.is_pressed(args[0].display()));
}

Value sdl_get_input_released(Args args, GraphicsContext& gfx) {
  if (args.empty()) return fail(msg::kGetInputReleasedArity);
  return Value::boolean(gfx.is_released(args[0].display()));
}

Value sdl_get_input_held(Args args, GraphicsContext& gfx) {
  if (args.empty()) return fail(msg::kGetInputHeldArity);
  return Value::boolean(gfx.is_held(args[0].display()));
}

using Function = Value (*)(Args, GraphicsContext&);

struct Entry {
  std::string_view name;
  Function function;
};

constexpr std::array<Entry, 25> kFunctions = {{
    {"init", sdl_init},
    {"create_window", sdl_create_window},
    {"destroy_window", sdl_destroy_window},
    {"set_window_title", sdl_set_window_title},
    {"set_window_mode", sdl_set_window_mode},
    {"get_window_mode", sdl_get_window_mode},
    {"clear_screen", sdl_clear_screen},
    {"render_present", sdl_render_present},
    {"set_draw_color", sdl_set_draw_color},
    {"set_max_fps", sdl_set_max_fps},
    {"delta_time", sdl_delta_time},
    {"draw_point", sdl_draw_point},
    {"draw_line", sdl_draw_line},
    {"draw_rect", sdl_draw_rect},
    {"fill_rect", sdl_fill_rect},
    {"draw_circle", sdl_draw_circle},
    {"fill_circle", sdl_fill_circle},
    {"draw_triangle", sdl_draw_triangle},
    {"fill_triangle", sdl_fill_triangle},
    {"get_window_width", sdl_get_window_width},
    {"get_window_height", sdl_get_window_height},
    {"is_window_open", sdl_is_window_open},
    {"get_input_pressed", sdl_get_input_pressed},
    {"get_input_released", sdl_get_input_released},
    {"get_input_held", sdl_get_input_held},
}};

constexpr std::array<std::string_view, kFunctions.size()> kNames = [] {
  std::array<std::string_view, kFunctions.size()> names{};
  for (std::size_t i = 0; i < kFunctions.size(); ++i) names[i] = kFunctions[i].name;
  return names;
}();

constexpr std::string_view kPrefix = "sdl2.";

}  // namespace

std::optional<Value> call_sdl2(std::string_view qualified_name, std::span<const Value> args, GraphicsContext& gfx) {
  if (!qualified_name.starts_with(kPrefix)) return std::nullopt;
  const std::string_view name = qualified_name.substr(kPrefix.size());
  for (const Entry& entry : kFunctions) {
    if (entry.name == name) return entry.function(args, gfx);
  }
  return std::nullopt;
}

std::span<const std::string_view> sdl2_function_names() { return kNames; }

}  // namespace veltro
