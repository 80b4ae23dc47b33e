#pragma once
// The sdl2 module: its 25 functions, reached by qualified name ("sdl2.draw_line").
#include <optional>
#include <span>
#include <string_view>

#include "runtime/value.h"

namespace veltro {

class GraphicsContext;

// Runs the sdl2 module function named by `qualified_name`. Nothing when the
// name is none of the module's functions (the caller reports that). A refused
// call yields an Error value with the message, which is not written here.
[[nodiscard]] std::optional<Value> call_sdl2(std::string_view qualified_name, std::span<const Value> args,
                                             GraphicsContext& gfx);

// The exported names, without the "sdl2." prefix, in export-table order.
[[nodiscard]] std::span<const std::string_view> sdl2_function_names();

}  // namespace veltro
