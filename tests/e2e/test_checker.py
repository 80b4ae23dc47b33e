"""veltro-check as a command: its output forms, exit statuses and options, the
example gallery checked clean, modules found the way veltro finds them, and
hostile inputs that must end with a finding or a read error, never a signal.

The rules themselves are tested file by file in tests/check/.

Usage: python3 test_checker.py /path/to/veltro   (veltro-check is beside it)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

from manpage import check_page

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
CHECK = os.path.join(os.path.dirname(VELTRO), "veltro-check")
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
LINE = re.compile(r"^(?P<path>[^:]+):(?P<line>\d+):(?P<column>\d+): (?P<severity>warning|error): (?P<message>.+) "
                  r"\[(?P<code>V\d{3})\]$")


class CheckerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.work = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, text, binary=False):
        path = os.path.join(self.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text if binary else text.encode())
        return path

    def check(self, *args, cwd=None, stdin=b"", timeout=120):
        p = subprocess.run([CHECK, *args], cwd=cwd or self.work, input=stdin, capture_output=True, timeout=timeout)
        self.assertGreaterEqual(p.returncode, 0, f"killed by signal {-p.returncode}")
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


class OutputForms(CheckerTest):
    TRAPS = 'let a = [1]\na[0] = 2\nif a && true { print("x") }\n'

    def test_text_lines_are_sorted_and_clickable(self):
        self.write("t.vt", self.TRAPS)
        code, out, err = self.check("t.vt")
        self.assertEqual((code, err), (1, ""))
        found = [LINE.match(line) for line in out.splitlines()]
        self.assertTrue(all(found), out)
        places = [(int(m["line"]), int(m["column"])) for m in found]
        self.assertEqual(places, sorted(places))
        self.assertEqual([(m["path"], m["code"]) for m in found],
                         [("t.vt", "V101"), ("t.vt", "V107"), ("t.vt", "V002")])

    def test_json_holds_the_same_findings(self):
        self.write("t.vt", self.TRAPS)
        code, text, _ = self.check("t.vt")
        code_json, out, err = self.check("--format=json", "t.vt")
        self.assertEqual((code_json, err), (1, ""))
        items = json.loads(out)
        self.assertEqual(len(items), len(text.splitlines()))
        for item, line in zip(items, text.splitlines()):
            m = LINE.match(line)
            self.assertEqual((item["path"], item["line"], item["column"], item["severity"], item["code"],
                              item["message"]),
                             (m["path"], int(m["line"]), int(m["column"]), m["severity"], m["code"], m["message"]))
            self.assertGreaterEqual((item["end_line"], item["end_column"]), (item["line"], item["column"]))
        self.assertEqual(items[0]["end_column"], 7, "`a[0] =` ends after the `=`")

    def test_columns_count_characters(self):
        self.write("t.vt", 'let s = "héllo wörld" && 1\n')
        _, out, _ = self.check("t.vt")
        self.assertEqual(out.split(": ")[0], "t.vt:1:23")

    def test_clean_file_says_nothing(self):
        self.write("ok.vt", "def main() {\n    print(1)\n}\n")
        self.assertEqual(self.check("ok.vt"), (0, "", ""))
        self.assertEqual(self.check("--format=json", "ok.vt"), (0, "[]\n", ""))


class CommandLine(CheckerTest):
    def test_help_and_version(self):
        for option in ("-h", "--help"):
            code, out, err = self.check(option)
            self.assertEqual((code, err), (0, ""))
            self.assertIn("veltro-check [OPTIONS] FILE...", out)
            for name in ("--format=FORMAT", "--ignore=CODES", "--no-modules", "--list-codes"):
                self.assertIn(name, out)
        code, out, _ = self.check("-v")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"^veltro-check version \d+\.\d+\.\d+\n$")

    def test_bad_command_lines(self):
        for args, message in ((["--frobnicate", "x.vt"], "unknown option '--frobnicate'"),
                              (["--format=xml", "x.vt"], "unknown format 'xml' (use text or json)"),
                              (["--ignore=V999", "x.vt"], "unknown code 'V999' in --ignore"),
                              ([], "no script given")):
            code, out, err = self.check(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertEqual(err, f"veltro-check: {message}\nTry 'veltro-check --help' for more information.\n")

    def test_unreadable_files_exit_2_after_checking_the_rest(self):
        self.write("bad.vt", "x = 1 / 0 &&\n")
        self.write("binary.vt", bytes(range(256)), binary=True)
        code, out, err = self.check("missing.vt", "bad.vt", "binary.vt")
        self.assertEqual(code, 2)
        self.assertIn("bad.vt:1:11: warning:", out)
        self.assertEqual(err.splitlines(), [
            "veltro-check: cannot read 'missing.vt': No such file or directory (os error 2)",
            "veltro-check: cannot read 'binary.vt': stream did not contain valid UTF-8",
        ])

    def test_ignore_leaves_codes_out_of_output_and_status(self):
        self.write("t.vt", "let a = [1]\na[0] = 2\n")
        self.assertEqual(self.check("--ignore=V205,V101", "t.vt"), (0, "", ""))

    def test_standard_input(self):
        code, out, _ = self.check("-", stdin=b"print(1))\n")
        self.assertEqual((code, out), (1, "-:1:9: warning: `)` is skipped: it closes nothing [V106]\n"))

    def test_list_codes_matches_the_guide(self):
        code, out, _ = self.check("--list-codes")
        self.assertEqual(code, 0)
        codes = re.findall(r"^(V\d{3}) (warning|error): (.+)$", out, flags=re.MULTILINE)
        self.assertEqual(len(codes), len(out.splitlines()))
        with open(os.path.join(ROOT, "docs", "checks.md"), encoding="utf-8") as f:
            guide = f.read()
        sections = re.findall(r"^## (V\d{3}):", guide, flags=re.MULTILINE)
        self.assertEqual(sections, [c for c, _, _ in codes], "docs/checks.md has one section per code, in order")
        for c, severity, meaning in codes:
            body = guide.split(f"## {c}:")[1].split("\n## ")[0]
            self.assertIn("Wrong:", body, c)
            self.assertIn("Right:", body, c)

    def test_not_a_script_name(self):
        self.write("notes.txt", "print(1)\n")
        code, out, _ = self.check("notes.txt")
        self.assertEqual((code, out), (1, "notes.txt:1:1: error: veltro runs only files whose names end in `.vt`: "
                                          "it refuses this one [V410]\n"))


class Modules(CheckerTest):
    def test_module_found_only_beside_the_script(self):
        self.write("app/util.vt", "def twice(n) { return n * 2 }\nprint(nosuch)\n")
        self.write("app/main.vt", "use util;\ndef main() { print(util.twice(2)) }\n")
        code, out, _ = self.check("app/main.vt")
        self.assertEqual(code, 1)
        self.assertEqual(out.splitlines(), [
            "app/main.vt:1:5: warning: veltro looks for `util.vt` in the working directory, where there is none; the "
            "file beside the script, app/util.vt, is used only when veltro runs from its folder [V402]",
            "app/util.vt:2:7: error: `nosuch` is bound nowhere in the program: reading it fails (Undefined variable) "
            "[V302]",
        ])
        # From the script's folder the module is where veltro looks.
        code, out, _ = self.check("main.vt", cwd=os.path.join(self.work, "app"))
        self.assertEqual(out, "util.vt:2:7: error: `nosuch` is bound nowhere in the program: reading it fails "
                              "(Undefined variable) [V302]\n")
        # Without modules nothing is read.
        self.assertEqual(self.check("--no-modules", "main.vt", cwd=os.path.join(self.work, "app")), (0, "", ""))

    def test_a_module_two_scripts_use_is_reported_once(self):
        self.write("lib.vt", "print(undefined_here)\n")
        self.write("a.vt", "use lib;\n")
        self.write("b.vt", "use lib;\n")
        code, out, _ = self.check("a.vt", "b.vt")
        self.assertEqual(code, 1)
        self.assertEqual(len(out.splitlines()), 1, out)
        self.assertTrue(out.startswith("lib.vt:1:7: error:"))

    def test_the_findings_match_what_veltro_does(self):
        # Each error finding names a failure the run then reports.
        self.write("geo.vt", "let pi = 3\ndef area(r) { return pi * r * r }\n")
        self.write("t.vt", "use geo;\nuse missing;\ndef main() {\n    print(geo.area(1))\n    print(nope(1))\n}\n")
        code, out, _ = self.check("t.vt")
        codes = [LINE.match(line)["code"] for line in out.splitlines()]
        self.assertEqual(codes, ["V401", "V303", "V409"])
        run = subprocess.run([VELTRO, "t.vt"], cwd=self.work, capture_output=True, text=True, timeout=60)
        self.assertIn("Failed to load module 'missing'", run.stderr)
        self.assertIn("Function 'nope' does not exist", run.stderr)
        self.assertIn("Undefined variable 'pi'", run.stderr)


class Gallery(CheckerTest):
    def test_examples_are_clean(self):
        examples = os.path.join(ROOT, "examples")
        scripts = sorted(f for f in os.listdir(examples) if f.endswith(".vt"))
        self.assertGreater(len(scripts), 5)
        code, out, err = self.check(*scripts, cwd=examples)
        self.assertEqual((code, out, err), (0, "", ""))


class Hostile(CheckerTest):
    """Each ends with findings (or a read error) in bounded time, never a signal."""

    def assert_refused(self, text, message):
        self.write("t.vt", text)
        code, out, err = self.check("t.vt")
        self.assertEqual((code, err), (1, ""))
        self.assertEqual(len(out.splitlines()), 1, out[:500])
        self.assertIn(f"error: {message}: veltro refuses to run this file [V115]", out)

    def test_deep_nesting(self):
        for text in ("(" * 100000 + "1" + ")" * 100000, "[" * 100000, "-" * 100000 + "1",
                     "if 1 {" * 100000 + "}" * 100000, "def f() {" * 100000, "f(" * 100000):
            with self.subTest(text=text[:10]):
                self.assert_refused('print("ran")\n' + text + "\n", "Maximum nesting depth of 1000 exceeded")

    def test_long_chains(self):
        self.assert_refused("print(1" + " + 1" * 200000 + ")\n", "Maximum expression depth of 100000 exceeded")
        # Just within the limits: deep trees the checker walks in full.
        self.write("ok.vt", "def main() {\n    print(1" + " + 1" * 99000 + ")\n    let a = [1]\n    print(a"
                   + "[0]" * 1 + ")\n}\n")
        self.assertEqual(self.check("ok.vt"), (0, "", ""))
        self.write("chain.vt", "x" + ".y" * 90000 + "\nf" + "(1)" * 90000 + "\n")
        code, out, err = self.check("chain.vt")
        self.assertEqual((code, err), (1, ""))

    def test_huge_and_noisy_files(self):
        self.write("big.vt", 'let s = "' + "x" * (50 << 20) + '"\nprint(len(s))\n')
        self.assertEqual(self.check("big.vt"), (0, "", ""))
        noise = "".join(chr(c) for c in range(1, 0x800) if not 0xd800 <= c < 0xe000) * 8
        self.write("noise.vt", noise)
        code, out, err = self.check("noise.vt")
        self.assertEqual((code, err), (1, ""))
        self.assertTrue(all(LINE.match(line) for line in out.splitlines()))
        self.write("many.vt", "let 5\nif a && b { print(1) }\n" * 20000)
        code, out, err = self.check("many.vt")
        self.assertEqual((code, err), (1, ""))
        self.assertEqual(len(out.splitlines()), 60000)

    def test_binary_junk_is_a_read_error(self):
        self.write("garbage.vt", bytes(range(256)) * 64, binary=True)
        self.assertEqual(self.check("garbage.vt"),
                         (2, "", "veltro-check: cannot read 'garbage.vt': stream did not contain valid UTF-8\n"))


class ChecksGuide(CheckerTest):
    """docs/checks.md: in every section the wrong examples produce the section's
    code and the right ones produce no finding at all. A block `veltro file=NAME`
    writes a module for the blocks after it in the same section; `name=` names
    the script; `text` blocks are not run."""

    def sections(self):
        with open(os.path.join(ROOT, "docs", "checks.md"), encoding="utf-8") as f:
            guide = f.read()
        for part in re.split(r"^## ", guide, flags=re.MULTILINE)[1:]:
            code = part[:4]
            wrong, _, right = part.partition("\nRight")
            yield code, wrong, right

    def blocks(self, text):
        return re.findall(r"^```veltro([^\n]*)\n(.*?)^```$", text, flags=re.MULTILINE | re.DOTALL)

    def test_examples_show_their_finding(self):
        checked = 0
        for code, wrong, right in self.sections():
            with self.subTest(code=code), tempfile.TemporaryDirectory() as work:
                for kind, text in (("wrong", wrong), ("right", right)):
                    for attrs, body in self.blocks(text):
                        attrs = dict(a.partition("=")[::2] for a in attrs.split())
                        name = attrs.get("file") or attrs.get("name") or "example.vt"
                        with open(os.path.join(work, name), "w", encoding="utf-8") as f:
                            f.write(body)
                        if "file" in attrs:
                            continue
                        _, out, err = self.check(name, cwd=work)
                        self.assertEqual(err, "")
                        codes = [LINE.match(line)["code"] for line in out.splitlines()]
                        if kind == "wrong":
                            self.assertIn(code, codes, f"the wrong example of {code}:\n{body}\n{out}")
                        else:
                            self.assertEqual(out, "", f"the right example of {code}:\n{body}")
                        checked += 1
        self.assertGreater(checked, 80)


class ManPage(unittest.TestCase):
    """It renders and names every option of the help (test_docs checks that it installs)."""

    def test_renders_with_every_option(self):
        check_page(self, os.path.join(ROOT, "docs", "veltro-check.1"), CHECK)


if __name__ == "__main__":
    unittest.main(verbosity=2)
