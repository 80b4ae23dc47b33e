#include "modules/sdl2/sdl_library.h"

#include <dlfcn.h>

namespace veltro::sdl {

#define VELTRO_SDL_DEFINE(name) decltype(&::SDL_##name) name = nullptr;
VELTRO_SDL_FUNCTIONS(VELTRO_SDL_DEFINE)
#undef VELTRO_SDL_DEFINE

namespace {

bool resolve() {
  // Already in the process (a test program linked with SDL) or loadable by name.
  void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) library = dlopen("libSDL2.so", RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  bool complete = true;
#define VELTRO_SDL_RESOLVE(name)                                                        \
  name = reinterpret_cast<decltype(&::SDL_##name)>(dlsym(library, "SDL_" #name)); \
  complete = complete && name != nullptr;
  VELTRO_SDL_FUNCTIONS(VELTRO_SDL_RESOLVE)
#undef VELTRO_SDL_RESOLVE
  // The library stays loaded for the life of the process.
  return complete;
}

}  // namespace

bool load() {
  static const bool loaded = resolve();
  return loaded;
}

}  // namespace veltro::sdl
