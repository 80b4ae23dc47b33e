#include "modules/registry.h"

#include <array>
#include <mutex>

#include "modules/core/core_builtins.h"
#include "modules/data/data_module.h"
#include "modules/files/files_module.h"
#include "modules/http/http_module.h"
#include "modules/sdl2/sdl2_module.h"
#include "modules/sdl2/shape_builtins.h"
#include "modules/sys/sys_module.h"
#include "modules/text/text_module.h"

namespace veltro {

std::span<const NativeModule* const> builtin_modules() {
  static const std::array<const NativeModule*, 8> kModules = {
      &core_module(), &shape_builtins_module(), &files_module(), &http_module(), &sdl2_module(),
      &text_module(), &data_module(),           &sys_module(),
  };
  return kModules;
}

void register_builtin_modules() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const NativeModule* module : builtin_modules()) natives::add(*module);
  });
}

}  // namespace veltro
