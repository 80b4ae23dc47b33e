#include "modules/sdl2/sdl_library.h"

#include <dlfcn.h>

#include <fmt/format.h>

#include "modules/sdl2/messages.h"

namespace veltro::sdl {

#define VELTRO_SDL_DEFINE(name) decltype(&::SDL_##name) name = nullptr;
VELTRO_SDL_FUNCTIONS(VELTRO_SDL_DEFINE)
#undef VELTRO_SDL_DEFINE

namespace {

// Empty when every function was found; otherwise the loader's reason.
std::string resolve() {
  // Already in the process (a test program linked with SDL) or loadable by name.
  void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    // The versioned name is the one installed libraries carry: its failure
    // says more than that of the development link tried next.
    const char* reason = dlerror();
    std::string first(reason ? std::string_view(reason) : sdl2_messages::kLibraryNotFound);
    library = dlopen("libSDL2.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) return first;
  }
  std::string missing;
#define VELTRO_SDL_RESOLVE(name)                                                        \
  name = reinterpret_cast<decltype(&::SDL_##name)>(dlsym(library, "SDL_" #name)); \
  if (name == nullptr && missing.empty()) missing = "SDL_" #name;
  VELTRO_SDL_FUNCTIONS(VELTRO_SDL_RESOLVE)
#undef VELTRO_SDL_RESOLVE
  // The library stays loaded for the life of the process.
  if (!missing.empty()) return fmt::format(sdl2_messages::kFunctionMissing, missing);
  return {};
}

}  // namespace

const std::string& load_failure() {
  static const std::string failure = resolve();
  return failure;
}

}  // namespace veltro::sdl
