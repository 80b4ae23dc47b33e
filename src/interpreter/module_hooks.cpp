#include "interpreter/module_hooks.h"

#include <array>

#include "console.h"

#if __has_include("modules/sdl2/graphics_context.h")
#include "modules/sdl2/graphics_context.h"
#else
namespace veltro {
class GraphicsContext {};
}  // namespace veltro
#endif

namespace veltro {

namespace {

constexpr std::array<std::string_view, 10> kFilesNames = {
    "read", "write", "append", "delete", "exists", "create_folder", "delete_folder", "list", "is_file", "is_folder",
};
constexpr std::array<std::string_view, 25> kSdl2Names = {
    "init", "create_window", "destroy_window", "set_window_title", "set_window_mode", "get_window_mode",
    "clear_screen", "render_present", "set_draw_color", "set_max_fps", "delta_time", "draw_point", "draw_line",
    "draw_rect", "fill_rect", "draw_circle", "fill_circle", "draw_triangle", "fill_triangle", "get_window_width",
    "get_window_height", "is_window_open", "get_input_pressed", "get_input_released", "get_input_held",
};
constexpr std::array<std::string_view, 8> kHttpNames = {
    "page", "serve", "template", "json", "status", "send", "get", "post",
};

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

std::optional<Value> dispatch_sdl2(std::string_view, std::span<const Value>, GraphicsContext&) { return std::nullopt; }

std::optional<Value> dispatch_http(std::string_view, std::span<const Value>) { return std::nullopt; }

Value dispatch_files(std::string_view qualified_name, std::span<const Value>) {
  std::string message = "Files module has no function '" + std::string(qualified_name.substr(6)) + "'";
  log_error(message);
  return Value::error(message);
}

bool is_builtin_module(std::string_view name) { return name == "files" || name == "sdl2" || name == "http"; }

ExportTablePtr builtin_module_exports(std::string_view name) {
  if (name == "files") return make_exports(name, kFilesNames);
  if (name == "sdl2") return make_exports(name, kSdl2Names);
  return make_exports(name, kHttpNames);
}

Interpreter::Interpreter() : graphics_(std::make_unique<GraphicsContext>()) {}
Interpreter::~Interpreter() = default;

}  // namespace veltro

namespace veltro::harness {
Settings g_settings;
}  // namespace veltro::harness
