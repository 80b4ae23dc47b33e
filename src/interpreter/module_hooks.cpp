#include "interpreter/module_hooks.h"

#include "modules/files/files_module.h"
#include "modules/http/http_module.h"
#include "modules/sdl2/graphics_context.h"
#include "modules/sdl2/sdl2_module.h"

namespace veltro {

namespace {

ExportTablePtr make_exports(std::string_view module, std::span<const std::string_view> names) {
  auto table = std::make_shared<ExportTable>();
  for (auto name : names) {
    std::string qualified(module);
    qualified += '.';
    qualified += name;
    table->emplace(std::string(name), Value::builtin(std::move(qualified)));
  }
  return table;
}

}  // namespace

std::optional<Value> dispatch_sdl2(std::string_view qualified_name, std::span<const Value> args,
                                   GraphicsContext& graphics) {
  return call_sdl2(qualified_name, args, graphics);
}

std::optional<Value> dispatch_http(std::string_view qualified_name, std::span<const Value> args) {
  return call_http(qualified_name, args);
}

Value dispatch_files(std::string_view qualified_name, std::span<const Value> args) {
  return call_files(qualified_name, args);
}

bool is_builtin_module(std::string_view name) { return name == "files" || name == "sdl2" || name == "http"; }

ExportTablePtr builtin_module_exports(std::string_view name) {
  if (name == "files") return make_exports(name, files_function_names());
  if (name == "sdl2") return make_exports(name, sdl2_function_names());
  return make_exports(name, http_function_names());
}

Interpreter::Interpreter() : graphics_(std::make_unique<GraphicsContext>()) {}
Interpreter::~Interpreter() = default;

}  // namespace veltro
