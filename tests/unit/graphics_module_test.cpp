// The sdl2 module's dispatch and argument rules, and the shape builtins.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/sdl2_module.h"
#include "modules/sdl2/shape_builtins.h"

namespace veltro {
namespace {

Value num(std::int64_t v) { return Value::number(v); }
Value real(double v) { return Value::real(v); }
Value str(const char* v) { return Value::string(v); }

std::string outcome(GraphicsContext& gfx, std::string_view name, std::vector<Value> args) {
  auto result = call_sdl2(name, args, gfx);
  if (!result) return "<no such function>";
  return result->is_error() ? "error: " + result->as_string() : result->debug();
}

TEST(Sdl2Module, EveryExportedNameDispatchesAndNothingElseDoes) {
  GraphicsContext gfx;
  const auto names = sdl2_function_names();
  ASSERT_EQ(names.size(), 25u);
  EXPECT_EQ(names.front(), "init");
  EXPECT_EQ(names.back(), "get_input_held");
  for (std::string_view name : names) {
    EXPECT_NE(outcome(gfx, "sdl2." + std::string(name), {}), "<no such function>") << name;
  }
  for (const char* name : {"sdl2.nothing", "sdl2.Init", "sdl2.init ", "sdl2.", "sdl2", "init", "http.init",
                           "sdl2.sdl2.init", "SDL2.init"}) {
    EXPECT_EQ(outcome(gfx, name, {}), "<no such function>") << name;
  }
}

TEST(Sdl2Module, RefusedArguments) {
  GraphicsContext gfx;
  struct Case {
    const char* name;
    std::vector<Value> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"create_window", {str("t"), num(1)}, "create_window requires 3 arguments"},
      {"create_window", {num(640), num(480), str("x")}, "Invalid arguments for create_window"},
      {"set_window_title", {num(1)}, "set_window_title requires 2 arguments"},
      {"set_window_title", {num(1), num(2)}, "Title must be a string"},
      {"set_window_mode", {}, "set_window_mode requires a mode string"},
      {"set_window_mode", {str("full")}, "Invalid window mode. Use 'windowed', 'fullscreen', or 'windowed_fullscreen'"},
      {"set_draw_color", {num(1), num(2)}, "set_draw_color requires 3 arguments"},
      {"set_draw_color", {num(1), num(2), str("3")}, "Color values must be numbers"},
      {"set_max_fps", {}, "set_max_fps requires an FPS value"},
      {"set_max_fps", {str("60")}, "FPS must be a number"},
      {"set_max_fps", {real(0.5)}, "FPS must be greater than 0"},
      {"set_max_fps", {num(-1)}, "FPS must be greater than 0"},
      {"draw_point", {num(1)}, "draw_point requires 2 arguments"},
      {"draw_point", {num(1), Value::null()}, "Coordinates must be numbers"},
      {"draw_line", {num(1), num(2), num(3)}, "draw_line requires 4 arguments"},
      {"draw_line", {num(1), num(2), num(3), Value::boolean(true)}, "Coordinates must be numbers"},
      {"draw_rect", {num(1), num(2), num(3)}, "draw_rect requires 4 arguments"},
      {"fill_rect", {num(1), num(2), num(3)}, "fill_rect requires 4 arguments"},
      {"fill_rect", {str("Number(1)"), num(2), num(3), num(4)}, "Rectangle parameters must be numbers"},
      {"draw_circle", {num(1), num(2)}, "draw_circle requires 3 arguments"},
      {"fill_circle", {num(1), num(2)}, "fill_circle requires 3 arguments"},
      {"draw_circle", {num(1), num(2), str("3")}, "Circle parameters must be numbers"},
      {"draw_triangle", {num(1), num(2), num(3), num(4), num(5)}, "draw_triangle requires 6 arguments"},
      {"fill_triangle", {num(1), num(2), num(3), num(4), num(5)}, "fill_triangle requires 6 arguments"},
      {"fill_triangle", {num(1), num(2), num(3), num(4), num(5), str("6")}, "Triangle parameters must be numbers"},
      {"get_input_pressed", {}, "get_input_pressed requires a key name"},
      {"get_input_released", {}, "get_input_released requires a key name"},
      {"get_input_held", {}, "get_input_held requires a key name"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(outcome(gfx, std::string("sdl2.") + c.name, c.args), std::string("error: ") + c.message) << c.name;
  }
  // A refused call leaves the context as it was.
  EXPECT_EQ(gfx.window_mode(), "windowed");
  EXPECT_FALSE(gfx.max_fps());
  EXPECT_EQ(gfx.draw_color(), (DrawColor{255, 255, 255, 255}));
}

TEST(Sdl2Module, AcceptedArgumentsBeforeAnyWindow) {
  GraphicsContext gfx;
  EXPECT_EQ(outcome(gfx, "sdl2.init", {}), "Boolean(true)");
  EXPECT_EQ(outcome(gfx, "sdl2.set_window_mode", {str("FullScreen")}), "Null");
  EXPECT_EQ(outcome(gfx, "sdl2.get_window_mode", {}), "String(\"fullscreen\")");
  EXPECT_EQ(outcome(gfx, "sdl2.set_max_fps", {real(30.9)}), "Null");
  EXPECT_EQ(gfx.max_fps(), 30u);
  // Only the low 32 bits are kept: 2^32 + 7 is 7.
  EXPECT_EQ(outcome(gfx, "sdl2.set_max_fps", {num((std::int64_t{1} << 32) + 7)}), "Null");
  EXPECT_EQ(gfx.max_fps(), 7u);
  EXPECT_EQ(outcome(gfx, "sdl2.set_draw_color", {num(256), num(-1), real(300.7)}), "Null");
  EXPECT_EQ(gfx.draw_color(), (DrawColor{0, 255, 44, 255}));
  EXPECT_EQ(outcome(gfx, "sdl2.get_window_width", {}), "Null");
  EXPECT_EQ(outcome(gfx, "sdl2.is_window_open", {}), "Boolean(false)");
  EXPECT_EQ(outcome(gfx, "sdl2.fill_circle", {num(5), num(5), num(3)}), "Null");
  EXPECT_EQ(outcome(gfx, "sdl2.get_input_pressed", {num(5)}), "Boolean(false)");
  EXPECT_EQ(outcome(gfx, "sdl2.set_window_title", {Value::null(), str("t"), num(9)}), "Null");
}

TEST(Sdl2Module, WindowThroughTheModule) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  GraphicsContext gfx;
  EXPECT_EQ(outcome(gfx, "sdl2.create_window", {str("m"), real(64.9), num(48)}), "Number(1)");
  EXPECT_EQ(outcome(gfx, "sdl2.get_window_width", {}), "Number(64)");
  EXPECT_EQ(outcome(gfx, "sdl2.get_window_height", {}), "Number(48)");
  EXPECT_EQ(outcome(gfx, "sdl2.create_window", {str("m"), num(-1), num(48)}), "Number(1)");

  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.sym = SDLK_5;
  SDL_PushEvent(&e);
  EXPECT_EQ(outcome(gfx, "sdl2.render_present", {}), "Null");
  EXPECT_EQ(outcome(gfx, "sdl2.get_input_pressed", {num(5)}), "Boolean(true)");
  EXPECT_EQ(outcome(gfx, "sdl2.get_input_held", {real(5.0)}), "Boolean(true)");
  EXPECT_EQ(outcome(gfx, "sdl2.get_input_held", {str("A")}), "Boolean(false)");
  EXPECT_EQ(outcome(gfx, "sdl2.destroy_window", {}), "Null");
  EXPECT_EQ(outcome(gfx, "sdl2.is_window_open", {}), "Boolean(false)");
  EXPECT_EQ(outcome(gfx, "sdl2.get_window_width", {}), "Number(64)");
}

TEST(ShapeBuiltins, BuildValuesByTruncatingAndWrapping) {
  GraphicsContext gfx;
  auto call = [&](Value (*f)(GraphicsContext&, std::span<const Value>), std::vector<Value> args) {
    return f(gfx, args).debug();
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(call(builtin_rect, {real(1.9), real(-1.9), num(10), num(20)}), "Rect { x: 1, y: -1, w: 10, h: 20 }");
  EXPECT_EQ(call(builtin_rect, {num((std::int64_t{1} << 32) + 5), real(nan), num(-1), real(1e300)}),
            "Rect { x: 5, y: 0, w: 4294967295, h: 4294967295 }");
  EXPECT_EQ(call(builtin_color, {num(256), num(-1), num(300)}), "Color { r: 0, g: 255, b: 44 }");
  EXPECT_EQ(call(builtin_circle, {num(1), num(2), num(3), str("extra")}), "Circle { x: 1, y: 2, radius: 3 }");
  EXPECT_EQ(call(builtin_triangle, {num(0), num(1), num(2), num(3), num(4), real(-5.5)}),
            "Triangle { x1: 0, y1: 1, x2: 2, y2: 3, x3: 4, y3: -5 }");
  EXPECT_EQ(call(builtin_color, {num(255), num(0)}), "Null");
  EXPECT_EQ(call(builtin_rect, {num(1), num(2), str("3"), num(4)}), "Null");
  EXPECT_EQ(call(builtin_triangle, {num(0), num(1), num(2), num(3), num(4)}), "Null");
  EXPECT_EQ(call(builtin_window_width, {}), "Null");
  EXPECT_EQ(call(builtin_is_open, {}), "Boolean(false)");
  EXPECT_EQ(call(builtin_window, {num(10)}), "Null");
  EXPECT_FALSE(gfx.created());
}

TEST(ShapeBuiltins, DrawAndFillCheckBeforeTouchingTheColour) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  GraphicsContext gfx;
  std::vector<Value> red = {Value::rect({0, 0, 10, 10}), Value::color({255, 0, 0})};
  std::vector<Value> not_a_colour = {Value::rect({0, 0, 10, 10}), str("red")};
  std::vector<Value> not_a_shape = {Value::color({1, 2, 3}), Value::color({255, 0, 0})};
  EXPECT_TRUE(builtin_draw(gfx, not_a_colour).is_null());
  EXPECT_TRUE(builtin_fill(gfx, not_a_shape).is_null());
  EXPECT_EQ(gfx.draw_color(), (DrawColor{255, 255, 255, 255}));
  // Without a window only the cache changes.
  EXPECT_TRUE(builtin_fill(gfx, red).is_null());
  EXPECT_EQ(gfx.draw_color(), (DrawColor{255, 0, 0, 255}));

  std::vector<Value> size = {num(32), real(24.5)};
  builtin_window(gfx, size);
  std::vector<Value> other = {num(64), num(48)};
  builtin_window(gfx, other);
  EXPECT_EQ(builtin_window_width(gfx, {}).debug(), "Number(32)");
  EXPECT_EQ(builtin_window_height(gfx, {}).debug(), "Number(24)");
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "Veltro");

  builtin_clear(gfx, {});
  std::vector<Value> shapes = {Value::circle({16, 12, 0}), Value::circle({16, 12, 0x80000000u}),
                               Value::circle({16, 12, 5})};
  std::vector<std::uint32_t> px(32 * 24);
  auto lit = [&] {
    SDL_RenderReadPixels(gfx.renderer(), nullptr, SDL_PIXELFORMAT_ARGB8888, px.data(), 32 * 4);
    int n = 0;
    for (auto p : px) n += (p & 0xffffff) != 0;
    return n;
  };
  for (std::size_t i = 0; i < 2; ++i) {
    std::vector<Value> args = {shapes[i], Value::color({0, 255, 0})};
    builtin_fill(gfx, args);
  }
  EXPECT_EQ(lit(), 0);  // radius 0, and radius 2^31 read as negative
  std::vector<Value> args = {shapes[2], Value::color({0, 255, 0})};
  builtin_draw(gfx, args);
  const int outline = lit();
  builtin_fill(gfx, args);
  EXPECT_GT(outline, 0);
  EXPECT_GT(lit(), outline);
}

}  // namespace
}  // namespace veltro
