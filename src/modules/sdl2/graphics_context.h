#pragma once
// GraphicsContext: the one window of a run, its renderer, the window events
// and keyboard state they leave behind, frame pacing and the draw-colour cache.
// Constructing one calls no SDL function; SDL is brought up by the first
// successful create_window and torn down with the context.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "modules/sdl2/key_names.h"

struct SDL_Window;
struct SDL_Renderer;
union SDL_Event;

namespace veltro {

struct DrawColor {
  std::uint8_t r, g, b, a;
  bool operator==(const DrawColor&) const = default;
};

class GraphicsContext {
 public:
  using Clock = std::chrono::steady_clock;

  GraphicsContext();
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  // Opens the window and its renderer once per context. Failures leave the
  // context as it was: a negative size or a title holding NUL silently, an
  // SDL failure with an ERROR line giving SDL's reason.
  void create_window(std::int64_t width, std::int64_t height, std::string_view title);

  // Retitles the window, when there is one (open or closed).
  void set_window_title(std::string_view title);

  // Shows the frame, sleeps to the frame-rate limit, then reads pending events.
  void present();

  void set_draw_color(std::uint8_t r, std::uint8_t g, std::uint8_t b);
  void clear();

  [[nodiscard]] std::optional<std::pair<int, int>> window_size() const;
  void set_window_mode(std::string_view mode);
  void close() noexcept { open_ = false; }

  void set_max_fps(std::uint32_t fps) noexcept { max_fps_ = fps; }
  [[nodiscard]] std::optional<std::uint32_t> max_fps() const noexcept { return max_fps_; }

  [[nodiscard]] bool is_pressed(std::string_view name) const { return pressed_.contains(name); }
  [[nodiscard]] bool is_released(std::string_view name) const { return released_.contains(name); }
  [[nodiscard]] bool is_held(std::string_view name) const { return held_.contains(name); }

  [[nodiscard]] bool open() const noexcept { return open_; }
  [[nodiscard]] bool created() const noexcept { return created_; }
  [[nodiscard]] double delta_time() const noexcept { return delta_time_; }
  [[nodiscard]] const std::string& window_mode() const noexcept { return window_mode_; }
  [[nodiscard]] DrawColor draw_color() const noexcept { return draw_color_; }

  // The window and renderer; null until a window was created.
  [[nodiscard]] SDL_Window* window() const noexcept;
  [[nodiscard]] SDL_Renderer* renderer() const noexcept;
  // True when the renderer draws into memory with the CPU.
  [[nodiscard]] bool software_renderer() const noexcept { return software_; }

 private:
  // SDL_Init(0) … SDL_Quit. SDL_Quit tears down every subsystem of the
  // process, so only the last context still holding SDL calls it: a module
  // interpreter's context going away must not pull the importer's window
  // out from under it.
  class SdlLibrary {
   public:
    static std::optional<SdlLibrary> acquire();
    SdlLibrary(SdlLibrary&& other) noexcept : held_(std::exchange(other.held_, false)) {}
    SdlLibrary& operator=(SdlLibrary&& other) noexcept {
      std::swap(held_, other.held_);
      return *this;
    }
    ~SdlLibrary();

   private:
    SdlLibrary() : held_(true) {}
    bool held_;
  };

  // SDL_InitSubSystem … SDL_QuitSubSystem (SDL counts these itself).
  class SdlSubsystem {
   public:
    static std::optional<SdlSubsystem> acquire(std::uint32_t flags);
    SdlSubsystem(SdlSubsystem&& other) noexcept : flags_(std::exchange(other.flags_, 0)) {}
    SdlSubsystem& operator=(SdlSubsystem&& other) noexcept {
      std::swap(flags_, other.flags_);
      return *this;
    }
    ~SdlSubsystem();

   private:
    explicit SdlSubsystem(std::uint32_t flags) : flags_(flags) {}
    std::uint32_t flags_;
  };

  struct WindowDeleter {
    void operator()(SDL_Window* window) const noexcept;
  };
  struct RendererDeleter {
    void operator()(SDL_Renderer* renderer) const noexcept;
  };
  // Both exist or neither. The renderer is declared last so it goes first.
  struct Canvas {
    std::unique_ptr<SDL_Window, WindowDeleter> window;
    std::unique_ptr<SDL_Renderer, RendererDeleter> renderer;
  };

  void handle_event(const SDL_Event& event);

  std::string window_mode_ = "windowed";
  std::optional<std::uint32_t> max_fps_;
  Clock::time_point last_frame_;
  std::optional<SdlLibrary> sdl_;
  std::optional<SdlSubsystem> video_;
  std::optional<Canvas> canvas_;
  KeySet pressed_;
  KeySet released_;
  KeySet held_;
  std::optional<SdlSubsystem> event_pump_;
  double delta_time_ = 0.0;
  DrawColor draw_color_{255, 255, 255, 255};
  bool created_ = false;
  bool open_ = false;
  bool software_ = false;
};

}  // namespace veltro
