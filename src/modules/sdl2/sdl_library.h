#pragma once
// SDL2 is loaded when a script first asks for a window, not when veltro
// starts: the library pulls in dozens of others (X11, Wayland, audio), and
// loading them would dominate the start-up of every script. Calls go
// through these pointers; SDL's headers still give the types and constants.
#include <SDL.h>

#include <string>

namespace veltro::sdl {

#define VELTRO_SDL_FUNCTIONS(X)                                                                            \
  X(Init) X(InitSubSystem) X(QuitSubSystem) X(Quit) X(SetHint) X(GetError) X(CreateWindow) X(DestroyWindow) \
  X(CreateRenderer) X(DestroyRenderer) X(GetRendererInfo) X(GetRendererOutputSize) X(GetWindowSize)        \
  X(SetWindowFullscreen) X(SetWindowTitle) X(SetRenderDrawColor) X(RenderClear) X(RenderPresent)           \
  X(PollEvent) X(RenderDrawPoint) X(RenderDrawPoints) X(RenderDrawLine) X(RenderDrawRect) X(RenderFillRect) \
  X(RenderFillRects)

#define VELTRO_SDL_DECLARE(name) extern decltype(&::SDL_##name) name;
VELTRO_SDL_FUNCTIONS(VELTRO_SDL_DECLARE)
#undef VELTRO_SDL_DECLARE

// Loads the library and every function once. Empty when SDL2 is ready;
// otherwise why it is not (then no window can be created).
[[nodiscard]] const std::string& load_failure();

}  // namespace veltro::sdl
