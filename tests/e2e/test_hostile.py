"""Hostile inputs: every one ends with its specified or documented message and
exit status, never with a signal, a hang or a sanitizer report."""
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
ESC = "\x1b"
ERROR = f"{ESC}[31m[{ESC}[91mERROR{ESC}[31m]{ESC}[0m "


def sanitized(binary):
    """A sanitizer build reserves far more address space than a small limit leaves."""
    with open(binary, "rb") as f:
        return b"__asan_init" in f.read()

BUILTINS = [
    "print", "input", "len", "upper", "lower", "slice", "contains", "split", "concat", "push", "pop",
    "reverse", "abs", "sqrt", "pow", "min", "max", "floor", "ceil", "round", "random", "random_range",
    "typeof", "is_number", "is_string", "is_array", "is_dict", "window", "window_width", "window_height",
    "clear", "present", "is_open", "rect", "circle", "triangle", "color", "fill", "draw",
]
SDL2 = [
    "init", "create_window", "destroy_window", "set_window_title", "set_window_mode", "get_window_mode",
    "clear_screen", "render_present", "set_draw_color", "set_max_fps", "delta_time", "draw_point", "draw_line",
    "draw_rect", "fill_rect", "draw_circle", "fill_circle", "draw_triangle", "fill_triangle", "get_window_width",
    "get_window_height", "is_window_open", "get_input_pressed", "get_input_released", "get_input_held",
]
FILES = ["read", "write", "append", "delete", "exists", "create_folder", "delete_folder", "list", "is_file",
         "is_folder"]
HTTP_OFFLINE = ["page", "template", "json", "status"]
# One value of every kind a script can make.
VALUES = ["0", "-1", "2.5", "\"text\"", "\"\"", "true", "[1, [2]]", "{k: 1}", "print()", "rect(1, 2, 3, 4)",
          "color(1, 2, 3)", "circle(1, 2, 3)", "triangle(1, 2, 3, 4, 5, 6)", "f", "files.read",
          "-9223372036854775807 - 1", "10.0 ** 400.0", "0.0 * (10.0 ** 400.0)"]


class Hostile(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def run_script(self, text, stdin=b"", timeout=120, name="t.vt", binary=False):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(text if binary else text.encode())
        env = dict(os.environ, SDL_VIDEODRIVER=os.environ.get("SDL_VIDEODRIVER", "offscreen"))
        p = subprocess.run([VELTRO, name], cwd=self.dir.name, input=stdin, capture_output=True,
                           timeout=timeout, env=env)
        self.assertGreaterEqual(p.returncode, 0, f"killed by signal {-p.returncode}")
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")

    def run_on_small_stack(self, text):
        """Runs a script where the big interpreter thread cannot be created (the
        address space is limited), so that it runs on the main thread's 8 MiB."""
        with open(os.path.join(self.dir.name, "t.vt"), "w") as f:
            f.write(text)
        p = subprocess.run(["bash", "-c", 'ulimit -v 1000000 && ulimit -s 8192 && exec "$0" t.vt', VELTRO],
                           cwd=self.dir.name, capture_output=True, timeout=120)
        self.assertGreaterEqual(p.returncode, 0, f"killed by signal {-p.returncode}")
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")

    def assert_limit(self, err, what, full):
        m = re.fullmatch(re.escape(ERROR) + f"Maximum {what} of (\\d+) exceeded\n", err)
        self.assertIsNotNone(m, err[-300:])
        self.assertLess(int(m.group(1)), full)

    @unittest.skipIf(sanitized(VELTRO), "needs the address-space limit")
    def test_small_stack_bounds_every_recursion(self):
        deep_sum = 'def f(x) { return x }\nprint(' + "+".join(['f("a")'] * 99990) + ")\n"
        code, out, err = self.run_on_small_stack(deep_sum)
        self.assertEqual((code, out), (1, ""))
        self.assert_limit(err, "expression depth", 100000)
        for text in ("(" * 1000 + "1" + ")" * 1000, "[" * 1000 + "]" * 1000, "-" * 1000 + "1",
                     "if 1 {" * 1000 + "}" * 1000, "f(" * 1000 + ")" * 1000):
            code, out, err = self.run_on_small_stack('print("ran")\n' + text + "\n")
            self.assertEqual((code, out), (1, ""), text[:10])
            self.assert_limit(err, "nesting depth", 1000)
        # Values nested far deeper than source can be are printed, written as
        # JSON and freed without recursion.
        code, out, err = self.run_on_small_stack(
            "use http\nlet a = []\nfor i in 0..200000 { a = [a] }\nprint(len(concat(a)), len(http.json(a)))\n")
        self.assertEqual((code, out, err), (0, "400002\n400002\n", ""))
        code, out, err = self.run_on_small_stack("def f(n) { return f(n + 1) + 1 }\nprint(f(0))\nprint(\"after\")\n")
        self.assertEqual((code, out), (0, "after\n"))
        self.assertEqual(err, ERROR + "Maximum call depth of 100000 exceeded\n" +
                         ERROR + "Error in expression: Maximum call depth of 100000 exceeded\n")
        # Depths that fit the smaller limits still run.
        code, out, err = self.run_on_small_stack(
            'def f(x) { return x }\nprint(len(' + "+".join(['f("a")'] * 2000) + "), " + "(" * 30 + "7" + ")" * 30 + ")\n")
        self.assertEqual((code, out, err), (0, "2000\n7\n", ""))

    def test_endless_and_huge_files_are_refused_and_the_run_goes_on(self):
        # Endless sources are read up to the cap; a regular file past it is
        # refused by its size alone (sparse here, so it costs nothing).
        for name in ("zz.vt", "zero.html"):
            os.symlink("/dev/zero", os.path.join(self.dir.name, name))
        with open(os.path.join(self.dir.name, "huge.vt"), "wb") as f:
            f.truncate((1 << 30) + 1)
        cause = "file is larger than 1073741824 bytes"
        code, out, err = self.run_script('def main() {\nuse zz\nuse http\nuse files\nprint(http.template("zero.html"))\n'
                                         'print(files.read("huge.vt"))\nprint("after")\n}\n')
        self.assertEqual((code, out), (0, "after\n"))
        self.assertEqual(err, ERROR + "Failed to load module 'zz': zz.vt not found\n" +
                         ERROR + "Failed to import module 'zz'\n" +
                         ERROR + "Error in expression: Failed to read template: " + cause + "\n" +
                         ERROR + "Error in expression: Failed to read file 'huge.vt': " + cause + "\n")
        p = subprocess.run([VELTRO, "huge.vt"], cwd=self.dir.name, capture_output=True, timeout=120)
        self.assertEqual((p.returncode, p.stdout, p.stderr),
                         (1, b"", f"Error: Failed to read the file: {cause}\n".encode()))

    def test_deep_nesting_is_refused_before_running(self):
        for text in ("(" * 100000 + "1" + ")" * 100000, "[" * 100000, "-" * 100000 + "1",
                     "if 1 {" * 100000 + "}" * 100000, "def f() {" * 100000, "f(" * 100000):
            code, out, err = self.run_script('print("ran")\n' + text + "\n")
            self.assertEqual((code, out), (1, ""), text[:10])
            self.assertEqual(err, ERROR + "Maximum nesting depth of 1000 exceeded\n")

    def test_long_operator_chain_is_refused(self):
        code, out, err = self.run_script("print(1" + " + 1" * 200000 + ")\n")
        self.assertEqual((code, out, err), (1, "", ERROR + "Maximum expression depth of 100000 exceeded\n"))

    def test_braces_in_a_dictionary_do_not_nest(self):
        # Inside a dictionary literal only names start an entry: the braces are skipped.
        code, out, err = self.run_script('print("ran")\n' + "{" * 100000 + "\n")
        self.assertEqual((code, out, err), (0, "ran\n", ""))

    def test_reasonable_nesting_runs(self):
        code, out, err = self.run_script("print(" + "(" * 500 + "7" + ")" * 500 + ")\n")
        self.assertEqual((code, out, err), (0, "7\n", ""))

    def test_huge_string_literal(self):
        code, out, err = self.run_script('let s = "' + "x" * (50 << 20) + '"\nprint(len(s))\n')
        self.assertEqual((code, out, err), (0, f"{50 << 20}\n", ""))

    def test_runaway_recursion(self):
        code, out, err = self.run_script("def f(n) { return f(n + 1) }\nprint(f(0))\nprint(\"after\")\n")
        self.assertEqual((code, out), (0, "after\n"))
        self.assertEqual(err, ERROR + "Maximum call depth of 100000 exceeded\n" +
                         ERROR + "Error in expression: Maximum call depth of 100000 exceeded\n")

    def test_deep_recursion_that_fits(self):
        code, out, err = self.run_script(
            "def sum(n) { if n == 0 { return 0 } return n + sum(n - 1) }\nprint(sum(50000))\n")
        self.assertEqual((code, out, err), (0, "1250025000\n", ""))

    def test_enormous_ranges(self):
        code, out, err = self.run_script("let r = 0..9223372036854775807\nprint(-9223372036854775807 - 1..9223372036854775807)\n")
        self.assertEqual((code, out), (0, ""))
        self.assertIn("Range of 9223372036854775807 elements is too large", err)
        self.assertIn("Range of 18446744073709551615 elements is too large", err)

    def test_integer_edge_arithmetic(self):
        code, out, err = self.run_script(
            "let m = -9223372036854775807 - 1\nprint(m / -1, m % -1, -m, abs(m), m * -1, m - 1, 2 ** 63)\n")
        self.assertEqual(err, "")
        self.assertEqual(out.split(), ["-9223372036854775808", "0", "-9223372036854775808", "-9223372036854775808",
                                       "-9223372036854775808", "9223372036854775807", "-9223372036854775808"])

    def test_module_that_uses_itself(self):
        with open(os.path.join(self.dir.name, "me.vt"), "w") as f:
            f.write("use me;\nlet x = 1\n")
        code, out, err = self.run_script("def main() { use me; print(me.x) }\n")
        self.assertEqual((code, out), (0, "1\n"))
        self.assertEqual(err, ERROR + "Failed to load module 'me': circular import\n" +
                         ERROR + "Failed to import module 'me'\n")

    def test_break_and_continue_outside_loops(self):
        code, out, err = self.run_script(
            'break\nprint("top level goes on")\nif true { print("first") print("skipped") }\n'
            'while true { print("loop clears it") break }\nif true { print("a") print("b") }\n'
            'continue\nfor i in 0..2 { print(i) }\n')
        self.assertEqual(err, "")
        self.assertEqual(out, "top level goes on\nfirst\nloop clears it\na\nb\n0\n1\n")

    def test_binary_garbage(self):
        code, out, err = self.run_script(bytes(range(256)) * 64, binary=True, name="garbage.vt")
        self.assertEqual((code, out, err), (1, "", "Error: Failed to read the file: stream did not contain valid UTF-8\n"))
        # Valid UTF-8 noise parses and runs to the end.
        noise = "".join(chr(c) for c in range(1, 0x800) if not 0xd800 <= c < 0xe000) * 8
        code, out, err = self.run_script(noise)
        self.assertEqual(code, 0)

    def test_deeply_nested_values_print(self):
        code, out, err = self.run_script("let a = []\nfor i in 0..200000 { a = [a] }\nprint(len(concat(a)))\n")
        self.assertEqual((code, out, err), (0, "400002\n", ""))

    def test_every_function_with_every_kind_of_value(self):
        busy = socket.socket()
        busy.bind(("127.0.0.1", 0))
        busy.listen(1)
        port = busy.getsockname()[1]
        lines = ["def f(a) { return a }", "def main() {", "use sdl2;", "use files;", "use http;"]
        calls = [(name, name) for name in BUILTINS]
        calls += [(f"sdl2.{n}", f"sdl2.{n}") for n in SDL2]
        calls += [(f"files.{n}", f"files.{n}") for n in FILES]
        calls += [(f"http.{n}", f"http.{n}") for n in HTTP_OFFLINE]
        for _, callee in calls:
            lines.append(f"{callee}()")
            for v in VALUES:
                lines.append(f"{callee}({v})")
                lines.append(f"{callee}({v}, {v}, {v}, {v}, {v}, {v}, {v}, {v})")
        # The network functions only with arguments that fail at once.
        for v in ["", "\"https://x\"", "[1]", f"\"http://127.0.0.1:{port}\""]:
            lines.append(f"http.serve({v})")
        lines.append(f"http.serve({port})")
        lines += ["http.get()", "http.post(\"https://a\")", "http.send(1)", "http.send(\"https://a\", \"get\")"]
        lines += ["print(\"survived\")", "}"]
        try:
            code, out, err = self.run_script("\n".join(lines) + "\n", stdin=b"line one\nline two\n", timeout=300)
        finally:
            busy.close()
        self.assertEqual(code, 0, err[-2000:])
        self.assertTrue(out.endswith("survived\n"), out[-500:])
        for line in err.splitlines():
            self.assertTrue(line.startswith(ERROR) or line.startswith("Connection error: "), line)
        self.assertIn("Failed to bind to port: ", err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
