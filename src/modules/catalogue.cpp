#include "modules/catalogue.h"

#include <array>

namespace veltro::catalogue {

namespace {

constexpr std::uint8_t V = kVariadic;

constexpr std::array<Function, 39> kBuiltins = {{
    {"print", "values...", "Writes each value's text on a line of its own.", 0, V, true},
    {"input", "prompt", "Writes the prompt, reads one line from standard input and returns it trimmed.", 1, 1, true},
    {"len", "value", "Byte length of a string, element count of an array, entry count of a dictionary.", 1, 1, false},
    {"upper", "string", "The string in upper case.", 1, 1, false},
    {"lower", "string", "The string in lower case.", 1, 1, false},
    {"slice", "string, start, end", "The characters of a string from start up to, not including, end.", 3, 3, false},
    {"contains", "haystack, needle", "Whether the needle's text occurs in the haystack's text.", 2, 2, false},
    {"split", "text, separator", "The pieces of a text between the separators, as an array of strings.", 2, 2, false},
    {"concat", "values...", "The texts of all values joined into one string.", 0, V, false},
    {"push", "array, value", "A copy of the array with the value appended.", 2, 2, false},
    {"pop", "array", "The last element of the array.", 1, 1, false},
    {"reverse", "array", "A copy of the array in reverse order.", 1, 1, false},
    {"abs", "number", "The absolute value of a number or float.", 1, 1, false},
    {"sqrt", "number", "The square root, as a float.", 1, 1, false},
    {"pow", "base, exponent", "The base raised to the exponent, as a float.", 2, 2, false},
    {"min", "values...", "The smallest numeric argument, as a float (at least two arguments).", 2, V, false},
    {"max", "values...", "The largest numeric argument, as a float (at least two arguments).", 2, V, false},
    {"floor", "number", "Rounded down to an integer.", 1, 1, false},
    {"ceil", "number", "Rounded up to an integer.", 1, 1, false},
    {"round", "number", "Rounded to the nearest integer, halves away from zero.", 1, 1, false},
    {"random", "", "A random float in [0, 1).", 0, 0, true},
    {"random_range", "low, high", "A random integer less than high - low away from low, on either side.", 2, 2, true},
    {"typeof", "value", "The value's type word: number, float, string, boolean, array, dict, null or unknown.", 1, 1,
     false},
    {"is_number", "value", "Whether the value is a number or a float.", 1, 1, false},
    {"is_string", "value", "Whether the value is a string.", 1, 1, false},
    {"is_array", "value", "Whether the value is an array.", 1, 1, false},
    {"is_dict", "value", "Whether the value is a dictionary.", 1, 1, false},
    {"window", "width, height", "Opens the window, titled Veltro.", 2, 2, true},
    {"window_width", "", "The window's width, or null without a window.", 0, 0, false},
    {"window_height", "", "The window's height, or null without a window.", 0, 0, false},
    {"clear", "", "Clears the window to black.", 0, 0, true},
    {"present", "", "Shows the frame, keeps the frame rate and reads window events.", 0, 0, true},
    {"is_open", "", "Whether the window is open.", 0, 0, false},
    {"rect", "x, y, width, height", "A rectangle shape.", 4, 4, false},
    {"circle", "x, y, radius", "A circle shape.", 3, 3, false},
    {"triangle", "x1, y1, x2, y2, x3, y3", "A triangle shape.", 6, 6, false},
    {"color", "r, g, b", "A colour.", 3, 3, false},
    {"fill", "shape, colour", "Draws the shape filled in the colour.", 2, 2, true},
    {"draw", "shape, colour", "Draws the shape's outline in the colour.", 2, 2, true},
}};

constexpr std::array<Function, 10> kFiles = {{
    {"read", "path", "The whole file as text.", 1, 1, false},
    {"write", "path, content", "Creates or truncates the file and writes the content.", 2, 2, true},
    {"append", "path, content", "Appends the content to the file, creating it if needed.", 2, 2, true},
    {"delete", "path", "Deletes the file.", 1, 1, true},
    {"exists", "path", "Whether a file or folder exists at the path.", 1, 1, false},
    {"create_folder", "path", "Creates the folder and any missing parents.", 1, 1, true},
    {"delete_folder", "path, [recursive]", "Deletes the folder; with a true flag, everything in it too.", 1, 2, true},
    {"list", "path", "The names of the folder's entries, as an array of strings.", 1, 1, false},
    {"is_file", "path", "Whether the path is a file.", 1, 1, false},
    {"is_folder", "path", "Whether the path is a folder.", 1, 1, false},
}};

constexpr std::array<Function, 8> kHttp = {{
    {"page", "path, content", "Registers the content to serve at the path.", 2, 2, true},
    {"serve", "port", "Serves the registered pages on the port; does not return.", 1, 1, true},
    {"template", "path", "The whole file as text, for a page.", 1, 1, false},
    {"json", "value", "The value as JSON text.", 1, 1, false},
    {"status", "code, [reason]", "The HTTP status line of the code.", 1, 2, false},
    {"send", "url, method, [body]", "Sends a request with the method and returns the response body.", 2, 3, true},
    {"get", "url", "Sends a GET request and returns the response body.", 1, 1, true},
    {"post", "url, body", "Sends a POST request with the body and returns the response body.", 2, 2, true},
}};

constexpr std::array<Function, 25> kSdl2 = {{
    {"init", "", "Prepares the module; always true.", 0, 0, false},
    {"create_window", "title, width, height", "Opens the window with a title and size.", 3, 3, true},
    {"destroy_window", "", "Marks the window closed.", 0, 0, true},
    {"set_window_title", "window, title", "Checks a window title (the title is not applied).", 2, 2, false},
    {"set_window_mode", "mode", "Switches to windowed, fullscreen or windowed_fullscreen.", 1, 1, true},
    {"get_window_mode", "", "The current window mode.", 0, 0, false},
    {"clear_screen", "", "Clears the window to black.", 0, 0, true},
    {"render_present", "", "Shows the frame, keeps the frame rate and reads window events.", 0, 0, true},
    {"set_draw_color", "r, g, b", "Sets the draw colour.", 3, 3, true},
    {"set_max_fps", "fps", "Sets the frame-rate limit.", 1, 1, true},
    {"delta_time", "", "Seconds the last frame took, as a float.", 0, 0, false},
    {"draw_point", "x, y", "Draws one point.", 2, 2, true},
    {"draw_line", "x1, y1, x2, y2", "Draws a line.", 4, 4, true},
    {"draw_rect", "x, y, width, height", "Draws a rectangle's outline.", 4, 4, true},
    {"fill_rect", "x, y, width, height", "Draws a filled rectangle.", 4, 4, true},
    {"draw_circle", "x, y, radius", "Draws a circle's outline.", 3, 3, true},
    {"fill_circle", "x, y, radius", "Draws a filled circle.", 3, 3, true},
    {"draw_triangle", "x1, y1, x2, y2, x3, y3", "Draws a triangle's outline.", 6, 6, true},
    {"fill_triangle", "x1, y1, x2, y2, x3, y3", "Draws a filled triangle.", 6, 6, true},
    {"get_window_width", "", "The window's width, or null without a window.", 0, 0, false},
    {"get_window_height", "", "The window's height, or null without a window.", 0, 0, false},
    {"is_window_open", "", "Whether the window is open.", 0, 0, false},
    {"get_input_pressed", "key", "Whether the key was pressed during the last frame.", 1, 1, false},
    {"get_input_released", "key", "Whether the key was released during the last frame.", 1, 1, false},
    {"get_input_held", "key", "Whether the key is held down.", 1, 1, false},
}};

constexpr std::array<Function, 14> kText = {{
    {"to_number", "text", "The number or float the decimal text holds (sign and surrounding space allowed), or null.",
     1, 1, false},
    {"join", "array, separator", "The texts of the elements joined into one string, the separator between them.", 2,
     2, false},
    {"split_lines", "text", "The lines of a text, without their line ends, as an array of strings.", 1, 1, false},
    {"trim", "text", "The text without white space at either end.", 1, 1, false},
    {"replace", "text, old, new", "The text with every occurrence of old replaced by new.", 3, 3, false},
    {"repeat", "text, count", "The text repeated count times.", 2, 2, false},
    {"find", "text, part", "The character index of the first occurrence of part, or -1.", 2, 2, false},
    {"starts_with", "text, prefix", "Whether the text begins with the prefix.", 2, 2, false},
    {"ends_with", "text, suffix", "Whether the text ends with the suffix.", 2, 2, false},
    {"compare", "a, b", "-1, 0 or 1 as a sorts before, with or after b by code points.", 2, 2, false},
    {"chars", "text", "The characters of a text, as an array of strings.", 1, 1, false},
    {"code", "character", "The code point of a one-character string.", 1, 1, false},
    {"char", "code", "The one-character string of a code point.", 1, 1, false},
    {"fixed", "number, digits", "The number as decimal text with that many digits after the point.", 2, 2, false},
}};

constexpr std::array<Function, 13> kData = {{
    {"keys", "dict", "The dictionary's keys, as an array.", 1, 1, false},
    {"values", "dict", "The dictionary's values, as an array in the order of keys.", 1, 1, false},
    {"has", "dict, key", "Whether the dictionary has the key.", 2, 2, false},
    {"get", "dict, key, default", "The key's value, or the default when the key is missing.", 3, 3, false},
    {"set", "dict, key, value", "A copy of the dictionary with the key set to the value.", 3, 3, false},
    {"remove", "dict, key", "A copy of the dictionary without the key.", 2, 2, false},
    {"set_at", "array, index, value", "A copy of the array with the element at the index replaced.", 3, 3, false},
    {"insert_at", "array, index, value", "A copy of the array with the value inserted before the index.", 3, 3,
     false},
    {"remove_at", "array, index", "A copy of the array without the element at the index.", 2, 2, false},
    {"index_of", "array, value", "The index of the first element equal to the value, or -1.", 2, 2, false},
    {"slice", "array, from, to", "The elements from index from up to, not including, to.", 3, 3, false},
    {"sort", "array", "A copy of the array sorted: all numbers, or all strings by code points.", 1, 1, false},
    {"sum", "array", "The sum of the array's numbers.", 1, 1, false},
}};

constexpr std::array<Function, 6> kSys = {{
    {"args", "", "The script's command-line arguments after its path, as an array of strings.", 0, 0, false},
    {"env", "name", "The environment variable's value, or null when it is unset.", 1, 1, false},
    {"clock", "", "Seconds on a monotonic clock, as a float: subtract two readings.", 0, 0, false},
    {"time", "", "Seconds since the Unix epoch, as a float.", 0, 0, false},
    {"sleep", "seconds", "Flushes standard output, then waits that many seconds.", 1, 1, true},
    {"exit", "status", "Flushes standard output and ends the process with the status.", 1, 1, true},
}};

constexpr std::array<Module, 6> kModules = {{
    {"files", kFiles, true},
    {"http", kHttp, true},
    {"sdl2", kSdl2, true},
    {"text", kText, false},
    {"data", kData, false},
    {"sys", kSys, false},
}};

}  // namespace

std::span<const Function> builtins() { return kBuiltins; }

std::span<const Module> modules() { return kModules; }

const Function* find_builtin(std::string_view name) {
  for (const Function& f : kBuiltins) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

const Module* find_module(std::string_view name) {
  for (const Module& m : kModules) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

const Function* find_function(const Module& module, std::string_view name) {
  for (const Function& f : module.functions) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

}  // namespace veltro::catalogue
