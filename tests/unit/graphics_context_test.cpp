// The window's lifecycle, real SDL events pushed onto the queue, frame pacing.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/primitives.h"
#include "natives.h"

namespace veltro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void use_dummy_video() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
}

void push(Uint32 type, SDL_Keycode sym = 0, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = sym;
  e.key.repeat = repeat;
  ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}

class Events : public ::testing::Test {
 protected:
  void SetUp() override {
    use_dummy_video();
    gfx.create_window(16, 16, "events");
    ASSERT_TRUE(gfx.open());
  }
  GraphicsContext gfx;
};

TEST_F(Events, PressedReleasedAndHeldOverPresents) {
  push(SDL_KEYDOWN, SDLK_a);
  push(SDL_KEYDOWN, SDLK_b);
  gfx.present();
  EXPECT_TRUE(gfx.is_pressed("a") && gfx.is_pressed("b") && gfx.is_held("a") && gfx.is_held("b"));
  EXPECT_FALSE(gfx.is_released("a"));

  push(SDL_KEYDOWN, SDLK_a, 1);  // auto-repeat: still held, not pressed again
  gfx.present();
  EXPECT_FALSE(gfx.is_pressed("a"));
  EXPECT_TRUE(gfx.is_held("a"));

  push(SDL_KEYUP, SDLK_a);
  gfx.present();
  EXPECT_TRUE(gfx.is_released("a") && gfx.is_held("b"));
  EXPECT_FALSE(gfx.is_held("a"));
  gfx.present();
  EXPECT_FALSE(gfx.is_released("a"));  // for one present only

  // Down and up within one present: pressed and released, not held.
  push(SDL_KEYDOWN, SDLK_SPACE);
  push(SDL_KEYUP, SDLK_SPACE);
  gfx.present();
  EXPECT_TRUE(gfx.is_pressed("space") && gfx.is_released("space"));
  EXPECT_FALSE(gfx.is_held("space"));
}

TEST_F(Events, KeyNamesAndUnknownKeys) {
  for (SDL_Keycode k : {SDLK_5, SDLK_RETURN, SDLK_LEFT, SDLK_RALT, SDLK_z, SDLK_UNKNOWN}) push(SDL_KEYDOWN, k);
  gfx.present();
  for (const char* name : {"5", "return", "left", "ralt", "z"}) EXPECT_TRUE(gfx.is_pressed(name)) << name;
  // Key code 0 is ignored; names match byte for byte.
  for (const char* name : {"unknown", "Z", "LEFT", "", "5 "}) EXPECT_FALSE(gfx.is_held(name)) << name;

  // Two different unnamed keys share "unknown": releasing one drops it from held.
  push(SDL_KEYDOWN, SDLK_F1);
  push(SDL_KEYDOWN, SDLK_F2);
  gfx.present();
  EXPECT_TRUE(gfx.is_held("unknown"));
  push(SDL_KEYUP, SDLK_F1);
  gfx.present();
  EXPECT_FALSE(gfx.is_held("unknown"));
}

TEST_F(Events, QuitClosesForGoodButKeepsTheRenderer) {
  push(SDL_QUIT);
  gfx.present();
  EXPECT_FALSE(gfx.open());
  gfx.set_draw_color(0, 255, 0);
  draw::point(gfx, 2, 3);
  Uint32 pixel = 0;
  SDL_Rect at{2, 3, 1, 1};
  ASSERT_EQ(SDL_RenderReadPixels(gfx.renderer(), &at, SDL_PIXELFORMAT_ARGB8888, &pixel, 4), 0);
  EXPECT_EQ(pixel & 0xffffff, 0x00ff00u);
  gfx.create_window(32, 32, "again");
  EXPECT_FALSE(gfx.open());
  EXPECT_EQ(gfx.window_size(), (std::pair{16, 16}));
}

TEST(Window, CreationRules) {
  use_dummy_video();
  GraphicsContext gfx;
  EXPECT_FALSE(gfx.window_size());
  gfx.set_window_mode("fullscreen");
  // Sizes whose low 32 bits are negative, and titles holding NUL, open nothing.
  gfx.create_window(-1, 10, "bad");
  gfx.create_window(10, 0x80000000, "bad");
  gfx.create_window(10, 10, std::string("nul\0title", 9));
  EXPECT_FALSE(gfx.created() || gfx.open() || gfx.renderer());

  gfx.create_window((std::int64_t{1} << 32) + 40, 30, "ok");
  ASSERT_TRUE(gfx.open());
  gfx.create_window(80, 60, "second");
  EXPECT_EQ(gfx.window_size(), (std::pair{40, 30}));
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "ok");
  // A mode chosen before the window existed is remembered, not applied.
  EXPECT_EQ(gfx.window_mode(), "fullscreen");
  EXPECT_EQ(SDL_GetWindowFlags(gfx.window()) & SDL_WINDOW_FULLSCREEN, 0u);
}

// sdl2.set_window_title retitles the one window, open or closed; its handle
// argument is not looked at, and nothing happens before a window exists.
TEST(Window, SetWindowTitleAppliesTheTitle) {
  use_dummy_video();
  ModuleStates states;
  GraphicsContext& gfx = states.get<GraphicsContext>();
  auto set_title = [&](Value handle, Value title) {
    const Value args[] = {std::move(handle), std::move(title)};
    return test_support::call_native("sdl2.set_window_title", args, states);
  };
  auto result = set_title(Value::number(1), Value::string("early"));
  ASSERT_TRUE(result.is_null());
  EXPECT_FALSE(gfx.created());

  gfx.create_window(8, 8, "first");
  ASSERT_TRUE(gfx.open());
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "first");
  result = set_title(Value::string("any handle"), Value::string("Score: 10 — ünïcode"));
  ASSERT_TRUE(result.is_null());
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "Score: 10 — ünïcode");

  // Refused titles leave the window's title as it was.
  result = set_title(Value::number(1), Value::number(2));
  ASSERT_TRUE(result.is_error());
  gfx.set_window_title(std::string("nul\0title", 9));
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "Score: 10 — ünïcode");

  gfx.close();
  (void)set_title(Value::number(1), Value::string(""));
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "");
}

// A module interpreter's context goes away while the importer's window lives
// on: the importer must keep a working renderer (SDL_Quit would destroy it).
TEST(Window, SecondContextTornDownLeavesTheFirstWorking) {
  use_dummy_video();
  GraphicsContext main_window;
  main_window.create_window(8, 8, "main");
  {
    GraphicsContext module_window;
    module_window.create_window(8, 8, "module");
    ASSERT_TRUE(module_window.open());
  }
  main_window.set_draw_color(0, 0, 255);
  draw::rect_fill(main_window, 0, 0, 8, 8);
  Uint32 pixel = 0;
  SDL_Rect at{7, 7, 1, 1};
  ASSERT_EQ(SDL_RenderReadPixels(main_window.renderer(), &at, SDL_PIXELFORMAT_ARGB8888, &pixel, 4), 0);
  EXPECT_EQ(pixel & 0xffffff, 0x0000ffu);
}

TEST(Pacing, PresentSleepsToTheLimitEvenWithoutAWindow) {
  GraphicsContext gfx;
  gfx.set_max_fps(60);
  gfx.present();
  const auto start = Clock::now();
  for (int i = 0; i < 6; ++i) gfx.present();
  const auto per_frame = (Clock::now() - start) / 6;
  EXPECT_GE(per_frame, 16600us);
  EXPECT_LT(per_frame, 30ms);
  EXPECT_GE(gfx.delta_time(), 0.0166);

  // The script's own work counts towards the frame: none left, no sleep.
  std::this_thread::sleep_for(25ms);
  const auto before = Clock::now();
  gfx.present();
  EXPECT_LT(Clock::now() - before, 5ms);
  EXPECT_GE(gfx.delta_time(), 0.025);

  gfx.set_max_fps(0);  // no finite frame length: never sleeps
  const auto unpaced = Clock::now();
  for (int i = 0; i < 20; ++i) gfx.present();
  EXPECT_LT(Clock::now() - unpaced, 10ms);
}

}  // namespace
}  // namespace veltro
