#include "runtime/harness.h"

namespace veltro::harness {

Settings g_settings;

}  // namespace veltro::harness
