"""The language's vocabulary: keywords, builtins and module functions, as the
tests that check the documentation and the editor grammars expect them."""

KEYWORDS = ["let", "def", "return", "if", "else", "while", "for", "in", "break", "continue", "true", "false",
            "and", "or", "not", "match", "try", "catch", "global", "use", "as"]
BUILTINS = [
    "print", "input", "len", "upper", "lower", "slice", "contains", "split", "concat", "push", "pop",
    "reverse", "abs", "sqrt", "pow", "min", "max", "floor", "ceil", "round", "random", "random_range",
    "typeof", "is_number", "is_string", "is_array", "is_dict", "window", "window_width", "window_height",
    "clear", "present", "is_open", "rect", "circle", "triangle", "color", "fill", "draw",
]
MODULES = {
    "files": ["read", "write", "append", "delete", "exists", "create_folder", "delete_folder", "list",
              "is_file", "is_folder"],
    "http": ["page", "serve", "template", "json", "status", "send", "get", "post"],
    "sdl2": ["init", "create_window", "destroy_window", "set_window_title", "set_window_mode",
             "get_window_mode", "clear_screen", "render_present", "set_draw_color", "set_max_fps",
             "delta_time", "draw_point", "draw_line", "draw_rect", "fill_rect", "draw_circle", "fill_circle",
             "draw_triangle", "fill_triangle", "get_window_width", "get_window_height", "is_window_open",
             "get_input_pressed", "get_input_released", "get_input_held"],
}
