#pragma once
// Every message the sdl2 module and the graphics context produce, in one place.
#include <string_view>

namespace veltro::sdl2_messages {

// A call of a name the module lacks: the function part of the name.
inline constexpr std::string_view kNoSuchFunction = "SDL2 module has no function '{}'";

// Argument errors of the module functions, returned as Error values.
inline constexpr std::string_view kCreateWindowArity = "create_window requires 3 arguments";
inline constexpr std::string_view kCreateWindowInvalid = "Invalid arguments for create_window";
inline constexpr std::string_view kSetWindowTitleArity = "set_window_title requires 2 arguments";
inline constexpr std::string_view kTitleNotString = "Title must be a string";
inline constexpr std::string_view kSetWindowModeArity = "set_window_mode requires a mode string";
inline constexpr std::string_view kInvalidWindowMode =
    "Invalid window mode. Use 'windowed', 'fullscreen', or 'windowed_fullscreen'";
inline constexpr std::string_view kSetDrawColorArity = "set_draw_color requires 3 arguments";
inline constexpr std::string_view kColorNotNumbers = "Color values must be numbers";
inline constexpr std::string_view kSetMaxFpsArity = "set_max_fps requires an FPS value";
inline constexpr std::string_view kFpsNotNumber = "FPS must be a number";
inline constexpr std::string_view kFpsNotPositive = "FPS must be greater than 0";
inline constexpr std::string_view kDrawPointArity = "draw_point requires 2 arguments";
inline constexpr std::string_view kDrawLineArity = "draw_line requires 4 arguments";
inline constexpr std::string_view kCoordinatesNotNumbers = "Coordinates must be numbers";
inline constexpr std::string_view kDrawRectArity = "draw_rect requires 4 arguments";
inline constexpr std::string_view kFillRectArity = "fill_rect requires 4 arguments";
inline constexpr std::string_view kRectNotNumbers = "Rectangle parameters must be numbers";
inline constexpr std::string_view kDrawCircleArity = "draw_circle requires 3 arguments";
inline constexpr std::string_view kFillCircleArity = "fill_circle requires 3 arguments";
inline constexpr std::string_view kCircleNotNumbers = "Circle parameters must be numbers";
inline constexpr std::string_view kDrawTriangleArity = "draw_triangle requires 6 arguments";
inline constexpr std::string_view kFillTriangleArity = "fill_triangle requires 6 arguments";
inline constexpr std::string_view kTriangleNotNumbers = "Triangle parameters must be numbers";
inline constexpr std::string_view kGetInputPressedArity = "get_input_pressed requires a key name";
inline constexpr std::string_view kGetInputReleasedArity = "get_input_released requires a key name";
inline constexpr std::string_view kGetInputHeldArity = "get_input_held requires a key name";

// Fatal renderer failures; the argument is SDL's own error text.
inline constexpr std::string_view kCouldNotClear = "Could not clear: {}";

// A window that could not be made, written as an ERROR line per attempt (the
// run goes on without a window); the argument is SDL's or the loader's reason.
inline constexpr std::string_view kLoadFailed = "Failed to load SDL2: {}";
inline constexpr std::string_view kInitFailed = "Failed to initialize SDL: {}";
inline constexpr std::string_view kVideoInitFailed = "Failed to initialize video: {}";
inline constexpr std::string_view kCreateWindowFailed = "Failed to create window: {}";
inline constexpr std::string_view kCreateRendererFailed = "Failed to create renderer: {}";
inline constexpr std::string_view kEventsInitFailed = "Failed to initialize events: {}";
// Reasons for a failed load that the loader does not word itself.
inline constexpr std::string_view kLibraryNotFound = "libSDL2-2.0.so.0 not found";
inline constexpr std::string_view kFunctionMissing = "{} is missing from the SDL2 library";

// The title of a window opened by the `window` builtin.
inline constexpr std::string_view kBuiltinWindowTitle = "Veltro";

}  // namespace veltro::sdl2_messages
