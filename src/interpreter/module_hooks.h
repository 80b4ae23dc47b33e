#pragma once
// The three built-in modules as the dispatcher and the module loader see them.
#include <optional>
#include <span>
#include <string_view>

#include "interpreter/interpreter.h"

namespace veltro {

// std::nullopt when the module has no function of that name.
[[nodiscard]] std::optional<Value> dispatch_sdl2(std::string_view qualified_name, std::span<const Value> args,
                                                 GraphicsContext& graphics);
[[nodiscard]] std::optional<Value> dispatch_http(std::string_view qualified_name, std::span<const Value> args);
// The files module answers unknown names itself.
[[nodiscard]] Value dispatch_files(std::string_view qualified_name, std::span<const Value> args);

[[nodiscard]] bool is_builtin_module(std::string_view name);
// The export table of "files", "sdl2" or "http": each name bound to a
// BuiltinFunction holding the qualified name.
[[nodiscard]] ExportTablePtr builtin_module_exports(std::string_view name);


}  // namespace veltro
