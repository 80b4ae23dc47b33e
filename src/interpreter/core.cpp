#include "interpreter/core.h"

#include <cstdlib>
#include <string_view>

namespace veltro {

namespace {
Core g_core = Core::Compiled;
}

void select_core(Core core) noexcept { g_core = core; }
Core selected_core() noexcept { return g_core; }

void select_core_from_environment() noexcept {
  const char* name = std::getenv("VELTRO_CORE");
  if (!name) return;
  std::string_view n(name);
  if (n == "tree") g_core = Core::Tree;
  if (n == "compiled") g_core = Core::Compiled;
}

}  // namespace veltro
