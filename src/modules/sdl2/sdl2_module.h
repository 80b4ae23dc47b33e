#pragma once
// The sdl2 module: its 25 functions, reached by qualified name ("sdl2.draw_line").
#include "runtime/native.h"

namespace veltro {

// The module's table, in export-table order. Its functions work on the
// calling interpreter's GraphicsContext; a refused call yields an Error
// value with the message, which is not written here.
[[nodiscard]] const NativeModule& sdl2_module();

}  // namespace veltro
