"""The command line: argument scan, help, version, the extension check and read failures."""
import os
import subprocess
import sys
import tempfile
import unittest

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
ESC = "\x1b"
RUN_TAG = f"{ESC}[33m[{ESC}[93mVELTRO{ESC}[33m]{ESC}[0m "
RULE = "\u2500" * 33
HELP = (
    "Veltro - A performant programming language\n\nUSAGE:\n    veltro [OPTIONS] [FILE]\n\nOPTIONS:\n"
    "    -h       Print this help message\n    -v       Print the version\n"
    "    -d       Enable debug output during execution\n    -d       Enable extra debug output during runtime\n"
).replace("-d       Enable extra", "-D       Enable extra") + (
    "\nARGS:\n    FILE             Path to a .vt file to execute\n\nEXAMPLES:\n"
    "    veltro                        Start the interactive REPL\n"
    "    veltro script.vt              Run a Veltro script\n"
    "    veltro script.vt -d           Run with debug output\n"
)
BANNER = "Welcome to Veltro Interactive REPL!\nType 'exit' to quit.\n\n>>> "


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.cwd = self.dir.name
        self.write("a.vt", 'print("a ran")\n')
        self.write("b.vt", 'print("b ran")\n')

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.cwd, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        return path

    def run_veltro(self, *args, stdin=b""):
        p = subprocess.run([VELTRO, *args], cwd=self.cwd, input=stdin, capture_output=True, timeout=30)
        return p.returncode, p.stdout.decode(), p.stderr.decode()

    def test_help_stops_the_scan(self):
        self.assertEqual(HELP.count("\n"), 18)
        for args in (["-h"], ["-d", "-h", "x.vt"], ["-h", "-v"], ["a.vt", "-h"]):
            self.assertEqual(self.run_veltro(*args), (0, HELP, ""), args)

    def test_version(self):
        for args in (["-v"], ["a.vt", "-v"], ["-v", "-h"]):
            self.assertEqual(self.run_veltro(*args), (0, "Veltro version 1.0.7\n", ""), args)

    def test_first_path_runs_and_unknown_options_are_ignored(self):
        self.assertEqual(self.run_veltro("a.vt", "b.vt"), (0, "a ran\n", ""))
        self.assertEqual(self.run_veltro("-q", "a.vt"), (0, "a ran\n", ""))
        self.assertEqual(self.run_veltro("", "a.vt"), (0, "a ran\n", ""))
        self.assertEqual(self.run_veltro("-dD", "a.vt"), (0, "a ran\n", ""))

    def test_no_path_starts_the_repl(self):
        for args in ([], ["-d"], ["-x"], ["-D", ""]):
            self.assertEqual(self.run_veltro(*args), (0, BANNER, ""), args)

    def test_extension_check(self):
        refused = (1, "", "Error: Only .vt files are allowed.\n")
        for path in ("notes.txt", "A.VT", "a.v", "a", ".vt", "dir/..", "a.vt.bak"):
            self.assertEqual(self.run_veltro(path), refused, path)
        self.write("dir/.x.vt", 'print("hidden ran")\n')
        self.write("dir/a.b.vt", 'print("dotted ran")\n')
        self.assertEqual(self.run_veltro("dir/.x.vt"), (0, "hidden ran\n", ""))
        self.assertEqual(self.run_veltro("dir/a.b.vt"), (0, "dotted ran\n", ""))
        self.assertEqual(self.run_veltro("dir/a.b.vt/"), (1, "", "Error: Failed to read the file: Not a directory (os error 20)\n"))

    def test_read_failures(self):
        self.assertEqual(self.run_veltro("missing.vt"),
                         (1, "", "Error: Failed to read the file: No such file or directory (os error 2)\n"))
        self.write("bad.vt", b"print(1)\n\xff\xfe\n")
        self.assertEqual(self.run_veltro("bad.vt"),
                         (1, "", "Error: Failed to read the file: stream did not contain valid UTF-8\n"))
        os.mkdir(os.path.join(self.cwd, "folder.vt"))
        self.assertEqual(self.run_veltro("folder.vt"),
                         (1, "", "Error: Failed to read the file: Is a directory (os error 21)\n"))

    def test_debug_report(self):
        self.write("empty.vt", "")
        code, out, err = self.run_veltro("-d", "empty.vt")
        self.assertEqual((code, out), (0, ""))
        lines = err.splitlines()
        self.assertEqual(lines[:3], [RUN_TAG + RULE, RUN_TAG + "Starting Veltro interpreter...",
                                     RUN_TAG + "File read successfully (0 bytes)"])
        self.assertRegex(lines[3], r"^" + RUN_TAG.replace("[", r"\[") + r"Tokenization completed in \d+\.\d{3}ms$")
        self.assertRegex(lines[4], r"Parsing completed in \d+\.\d{3}ms$")
        self.assertEqual(lines[5:7], [RUN_TAG + "Starting execution...", RUN_TAG + RULE])
        self.assertEqual(lines[7], RUN_TAG + RULE)
        self.assertRegex(lines[8], r"Tokenization : \d+\.\d{3}ms$")
        self.assertRegex(lines[9], r"Parsing      : \d+\.\d{3}ms$")
        self.assertRegex(lines[10], r"Execution    : \d+\.\d{3}ms$")
        self.assertEqual(lines[11:], [RUN_TAG + RULE])
        # A refused extension still shows the first two report lines.
        code, out, err = self.run_veltro("-d", "x.txt")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err, RUN_TAG + RULE + "\n" + RUN_TAG + "Starting Veltro interpreter...\n"
                         "Error: Only .vt files are allowed.\n")

    def test_report_is_absent_without_debug(self):
        self.write("e.vt", 'print("x")')
        self.assertEqual(self.run_veltro("e.vt"), (0, "x\n", ""))

    def test_nesting_limit_stops_before_running(self):
        self.write("deep.vt", 'print("never")\n' + "(" * 100000 + "1" + ")" * 100000 + "\n")
        code, out, err = self.run_veltro("deep.vt")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err, f"{ESC}[31m[{ESC}[91mERROR{ESC}[31m]{ESC}[0m Maximum nesting depth of 1000 exceeded\n")

    def test_closed_stdout_is_not_a_crash(self):
        self.write("loop.vt", "for i in 0..200000 { print(i) }\n")
        p = subprocess.Popen([VELTRO, "loop.vt"], cwd=self.cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        p.stdout.read(10)
        p.stdout.close()
        p.wait(timeout=30)
        p.stderr.close()
        self.assertEqual(p.returncode, 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
