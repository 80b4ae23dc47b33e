#include "modules/sdl2/graphics_context.h"

#include "modules/sdl2/sdl_library.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include <fmt/format.h>

#include "runtime/console.h"
#include "modules/sdl2/messages.h"

namespace veltro {

namespace {

// Contexts currently holding SDL_Init. Every SDL call happens on the
// interpreter thread, so a plain counter is enough.
int g_sdl_users = 0;

// The renderer refusing a colour or a clear leaves nothing sensible to draw
// with: the run ends here, with SDL's reason.
[[noreturn]] void fatal_render_failure(std::string_view message) {
  log_error(message);
  out_flush();
  std::exit(1);
}

void sleep_for(std::chrono::nanoseconds duration) {
  auto ns = duration.count();
  timespec request{static_cast<std::time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  timespec remaining{};
  // A signal handler (Ctrl-C is left to the default one) may cut the sleep short.
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

double seconds(GraphicsContext::Clock::duration elapsed) {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  return static_cast<double>(ns / 1'000'000'000) + static_cast<double>(ns % 1'000'000'000) / 1e9;
}

// The ERROR line of a window that could not be made, with SDL's reason.
void report_sdl_failure(fmt::format_string<const char*> message) {
  log_error(fmt::format(message, sdl::GetError()));
}

}  // namespace

std::optional<GraphicsContext::SdlLibrary> GraphicsContext::SdlLibrary::acquire() {
  // Ctrl-C must stop a script like any other program, not become a quit
  // event that only a presenting loop would ever look at. (The library is
  // loaded: create_window checked.)
  sdl::SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (sdl::Init(0) != 0) return std::nullopt;
  ++g_sdl_users;
  return SdlLibrary();
}

GraphicsContext::SdlLibrary::~SdlLibrary() {
  if (held_ && --g_sdl_users == 0) sdl::Quit();
}

std::optional<GraphicsContext::SdlSubsystem> GraphicsContext::SdlSubsystem::acquire(std::uint32_t flags) {
  if (sdl::InitSubSystem(flags) != 0) return std::nullopt;
  return SdlSubsystem(flags);
}

GraphicsContext::SdlSubsystem::~SdlSubsystem() {
  if (flags_ != 0) sdl::QuitSubSystem(flags_);
}

void GraphicsContext::WindowDeleter::operator()(SDL_Window* window) const noexcept { sdl::DestroyWindow(window); }

void GraphicsContext::RendererDeleter::operator()(SDL_Renderer* renderer) const noexcept {
  sdl::DestroyRenderer(renderer);
}

GraphicsContext::GraphicsContext() : last_frame_(Clock::now()) {}

GraphicsContext::~GraphicsContext() {
  // Renderer, window, the video and event subsystems, and SDL itself last.
  canvas_.reset();
  video_.reset();
  event_pump_.reset();
  sdl_.reset();
}

SDL_Window* GraphicsContext::window() const noexcept { return canvas_ ? canvas_->window.get() : nullptr; }

SDL_Renderer* GraphicsContext::renderer() const noexcept { return canvas_ ? canvas_->renderer.get() : nullptr; }

void GraphicsContext::create_window(std::int64_t width, std::int64_t height, std::string_view title) {
  if (created_) return;

  // Arguments no window can have are refused silently, before SDL is touched.
  auto w = static_cast<std::int32_t>(static_cast<std::uint32_t>(width));
  auto h = static_cast<std::int32_t>(static_cast<std::uint32_t>(height));
  if (w < 0 || h < 0) return;
  if (title.find('\0') != std::string_view::npos) return;
  const std::string title_text(title);

  // SDL failing is reported with its reason, once per attempt, so a missing
  // display is not mistaken for a script that draws nothing; the run goes on
  // without a window. Everything obtained is released in reverse order.
  if (const std::string& failure = sdl::load_failure(); !failure.empty()) {
    log_error(fmt::format(sdl2_messages::kLoadFailed, failure));
    return;
  }
  auto sdl = SdlLibrary::acquire();
  if (!sdl) return report_sdl_failure(sdl2_messages::kInitFailed);
  auto video = SdlSubsystem::acquire(SDL_INIT_VIDEO);
  if (!video) return report_sdl_failure(sdl2_messages::kVideoInitFailed);

  Canvas canvas;
  canvas.window.reset(
      sdl::CreateWindow(title_text.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, 0));
  if (!canvas.window) return report_sdl_failure(sdl2_messages::kCreateWindowFailed);
  canvas.renderer.reset(sdl::CreateRenderer(canvas.window.get(), -1, 0));
  if (!canvas.renderer) return report_sdl_failure(sdl2_messages::kCreateRendererFailed);
  // A fresh renderer starts with SDL's own colour; the cache says what the
  // script last chose (white at first), so that is what it must draw with.
  if (sdl::SetRenderDrawColor(canvas.renderer.get(), draw_color_.r, draw_color_.g, draw_color_.b,
                             draw_color_.a) != 0) {
    return report_sdl_failure(sdl2_messages::kCreateRendererFailed);
  }
  auto events = SdlSubsystem::acquire(SDL_INIT_EVENTS);
  if (!events) return report_sdl_failure(sdl2_messages::kEventsInitFailed);
  SDL_RendererInfo info{};
  const bool software = sdl::GetRendererInfo(canvas.renderer.get(), &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE);

  sdl_ = std::move(sdl);
  video_ = std::move(video);
  canvas_ = std::move(canvas);
  event_pump_ = std::move(events);
  created_ = true;
  open_ = true;
  software_ = software;
  last_frame_ = Clock::now();
  delta_time_ = 0.0;
}

void GraphicsContext::set_window_title(std::string_view title) {
  // SDL takes C strings: a title holding NUL is refused like one at creation.
  if (!canvas_ || title.find('\0') != std::string_view::npos) return;
  sdl::SetWindowTitle(canvas_->window.get(), std::string(title).c_str());
}

void GraphicsContext::present() {
  if (canvas_) sdl::RenderPresent(canvas_->renderer.get());

  auto now = Clock::now();
  auto elapsed = now - last_frame_;
  delta_time_ = seconds(elapsed);
  // A limit of 0 has no finite frame length: such frames are never paced.
  if (max_fps_ && *max_fps_ != 0) {
    const double frame_seconds = 1.0 / static_cast<double>(*max_fps_);
    const std::chrono::nanoseconds target(std::llround(frame_seconds * 1e9));
    if (elapsed < target) {
      out_flush();
      sleep_for(std::chrono::duration_cast<std::chrono::nanoseconds>(target - elapsed));
      now = Clock::now();
      delta_time_ = seconds(now - last_frame_);
    }
  }
  last_frame_ = now;

  pressed_.clear();
  released_.clear();
  if (event_pump_) {
    SDL_Event event;
    while (sdl::PollEvent(&event) != 0) handle_event(event);
  }
}

void GraphicsContext::handle_event(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      open_ = false;
      break;
    case SDL_KEYDOWN:
      if (event.key.keysym.sym != 0 && event.key.repeat == 0) {
        auto index = key_index(event.key.keysym.sym);
        pressed_.add(index);
        held_.add(index);
      }
      break;
    case SDL_KEYUP:
      if (event.key.keysym.sym != 0) {
        auto index = key_index(event.key.keysym.sym);
        released_.add(index);
        held_.remove(index);
      }
      break;
    default:
      break;
  }
}

void GraphicsContext::set_draw_color(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const DrawColor color{r, g, b, 255};
  if (draw_color_ == color) return;
  if (canvas_ && sdl::SetRenderDrawColor(canvas_->renderer.get(), r, g, b, 255) != 0) {
    fatal_render_failure(sdl::GetError());
  }
  draw_color_ = color;
}

void GraphicsContext::clear() {
  if (!canvas_) return;
  SDL_Renderer* renderer = canvas_->renderer.get();
  if (sdl::SetRenderDrawColor(renderer, 0, 0, 0, 255) != 0) fatal_render_failure(sdl::GetError());
  if (sdl::RenderClear(renderer) != 0) {
    fatal_render_failure(fmt::format(sdl2_messages::kCouldNotClear, sdl::GetError()));
  }
  draw_color_ = {0, 0, 0, 255};
}

std::optional<std::pair<int, int>> GraphicsContext::window_size() const {
  if (!canvas_) return std::nullopt;
  int w = 0;
  int h = 0;
  sdl::GetWindowSize(canvas_->window.get(), &w, &h);
  return std::pair{w, h};
}

void GraphicsContext::set_window_mode(std::string_view mode) {
  window_mode_ = std::string(mode);
  if (!canvas_) return;
  std::optional<Uint32> flags;
  if (mode == "windowed") flags = 0;
  else if (mode == "fullscreen") flags = SDL_WINDOW_FULLSCREEN;
  else if (mode == "windowed_fullscreen") flags = SDL_WINDOW_FULLSCREEN_DESKTOP;
  // A refused mode change leaves the window as it was; nothing to report.
  if (flags) (void)sdl::SetWindowFullscreen(canvas_->window.get(), *flags);
}

}  // namespace veltro
