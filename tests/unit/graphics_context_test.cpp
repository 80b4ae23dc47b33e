// The window's lifecycle, real SDL events pushed onto the queue, frame pacing.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/primitives.h"

namespace veltro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void use_offscreen_software() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
}

void push_key(Uint32 type, SDL_Keycode sym, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.type = type;
  e.key.keysym.sym = sym;
  e.key.repeat = repeat;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}

class Keyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    use_offscreen_software();
    gfx.create_window(16, 16, "keys");
    ASSERT_TRUE(gfx.open());
    gfx.present();  // drain whatever the window system queued on opening
  }
  GraphicsContext gfx;
};

TEST_F(Keyboard, PressedReleasedAndHeldOverPresents) {
  push_key(SDL_KEYDOWN, SDLK_a);
  push_key(SDL_KEYDOWN, SDLK_b);
  gfx.present();
  EXPECT_TRUE(gfx.is_pressed("a") && gfx.is_pressed("b"));
  EXPECT_TRUE(gfx.is_held("a") && gfx.is_held("b"));
  EXPECT_FALSE(gfx.is_released("a"));

  // Auto-repeat adds nothing: "a" stays held but is not pressed again.
  push_key(SDL_KEYDOWN, SDLK_a, 1);
  gfx.present();
  EXPECT_FALSE(gfx.is_pressed("a"));
  EXPECT_TRUE(gfx.is_held("a"));

  push_key(SDL_KEYUP, SDLK_a);
  gfx.present();
  EXPECT_TRUE(gfx.is_released("a"));
  EXPECT_FALSE(gfx.is_held("a"));
  EXPECT_TRUE(gfx.is_held("b"));
  gfx.present();
  EXPECT_FALSE(gfx.is_released("a"));  // for one present only

  // Down and up within one present: pressed and released, not held.
  push_key(SDL_KEYDOWN, SDLK_SPACE);
  push_key(SDL_KEYUP, SDLK_SPACE);
  gfx.present();
  EXPECT_TRUE(gfx.is_pressed("space") && gfx.is_released("space"));
  EXPECT_FALSE(gfx.is_held("space"));
}

TEST_F(Keyboard, KeyNamesAndUnknownKeys) {
  push_key(SDL_KEYDOWN, SDLK_5);
  push_key(SDL_KEYDOWN, SDLK_RETURN);
  push_key(SDL_KEYDOWN, SDLK_LEFT);
  push_key(SDL_KEYDOWN, SDLK_RALT);
  push_key(SDL_KEYDOWN, SDLK_z);
  push_key(SDL_KEYDOWN, 0);  // no key code: ignored
  gfx.present();
  for (const char* name : {"5", "return", "left", "ralt", "z"}) EXPECT_TRUE(gfx.is_pressed(name)) << name;
  for (const char* name : {"Z", "unknown", "", "LEFT", "5 "}) EXPECT_FALSE(gfx.is_held(name)) << name;

  // Two different unnamed keys share "unknown": releasing one drops it from held.
  push_key(SDL_KEYDOWN, SDLK_F1);
  push_key(SDL_KEYDOWN, SDLK_F2);
  gfx.present();
  EXPECT_TRUE(gfx.is_held("unknown"));
  push_key(SDL_KEYUP, SDLK_F1);
  gfx.present();
  EXPECT_FALSE(gfx.is_held("unknown"));
  EXPECT_TRUE(gfx.is_released("unknown"));
}

TEST_F(Keyboard, QuitClosesButKeepsTheRenderer) {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  gfx.present();
  EXPECT_FALSE(gfx.open());
  ASSERT_NE(gfx.renderer(), nullptr);
  // The closed window still takes drawing, and cannot be opened again.
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

TEST(Window, CreationRulesAndFailures) {
  use_offscreen_software();
  GraphicsContext gfx;
  EXPECT_FALSE(gfx.window_size());
  gfx.set_window_mode("fullscreen");
  for (std::int64_t bad : {std::int64_t{-1}, std::int64_t{0x80000000}, std::int64_t{0xffffffff}}) {
    gfx.create_window(bad, 10, "bad");
    gfx.create_window(10, bad, "bad");
  }
  gfx.create_window(10, 10, std::string("nul\0title", 9));
  EXPECT_FALSE(gfx.created() || gfx.open());
  EXPECT_EQ(gfx.renderer(), nullptr);

  // Only the low 32 bits of a size count; a later call tries again and wins.
  gfx.create_window((std::int64_t{1} << 32) + 40, 30, "ok");
  ASSERT_TRUE(gfx.open());
  EXPECT_EQ(gfx.window_size(), (std::pair{40, 30}));
  gfx.create_window(80, 60, "second");
  EXPECT_EQ(gfx.window_size(), (std::pair{40, 30}));
  EXPECT_STREQ(SDL_GetWindowTitle(gfx.window()), "ok");
  // A mode chosen before the window existed is remembered, not applied.
  EXPECT_EQ(gfx.window_mode(), "fullscreen");
  EXPECT_EQ(SDL_GetWindowFlags(gfx.window()) & SDL_WINDOW_FULLSCREEN, 0u);
  gfx.close();
  EXPECT_FALSE(gfx.open());
}

// A module interpreter's context goes away while the importer's window
// lives on: the importer must keep a working renderer.
TEST(Window, SecondContextTornDownLeavesTheFirstWorking) {
  use_offscreen_software();
  GraphicsContext main_window;
  main_window.create_window(8, 8, "main");
  {
    GraphicsContext module_window;
    module_window.create_window(8, 8, "module");
    ASSERT_TRUE(module_window.open());
  }
  main_window.clear();
  main_window.set_draw_color(0, 0, 255);
  draw::rect_fill(main_window, 0, 0, 8, 8);
  Uint32 pixel = 0;
  SDL_Rect at{7, 7, 1, 1};
  ASSERT_EQ(SDL_RenderReadPixels(main_window.renderer(), &at, SDL_PIXELFORMAT_ARGB8888, &pixel, 4), 0);
  EXPECT_EQ(pixel & 0xffffff, 0x0000ffu);
  main_window.present();
}

TEST(Pacing, PresentSleepsToTheFrameLimitWithoutAWindow) {
  GraphicsContext gfx;
  gfx.set_max_fps(60);
  gfx.present();
  const auto start = Clock::now();
  for (int i = 0; i < 6; ++i) gfx.present();
  const auto per_frame = (Clock::now() - start) / 6;
  EXPECT_GE(per_frame, 16600us);
  EXPECT_LT(per_frame, 30ms);
  EXPECT_GE(gfx.delta_time(), 0.0166);
  EXPECT_LT(gfx.delta_time(), 0.030);

  // The script's own work counts towards the frame: no sleep once it is used up.
  std::this_thread::sleep_for(25ms);
  const auto before = Clock::now();
  gfx.present();
  EXPECT_LT(Clock::now() - before, 5ms);
  EXPECT_GE(gfx.delta_time(), 0.025);

  // A limit of 0 (2^32 cut to 32 bits) has no frame length and never sleeps.
  gfx.set_max_fps(0);
  const auto unpaced = Clock::now();
  for (int i = 0; i < 20; ++i) gfx.present();
  EXPECT_LT(Clock::now() - unpaced, 10ms);
}

}  // namespace
}  // namespace veltro
