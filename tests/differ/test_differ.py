#!/usr/bin/env python3
"""veltro-differ finds a difference when there is one.

Until two cores exist that differ, the differ is tested against veltro
programs that are made to differ: wrappers around the real veltro that change
one byte of standard output, add a line to standard error, or change the exit
status. Each must make the differ fail and name the inputs; the real veltro
against itself must not.

Usage: python3 test_differ.py /path/to/veltro-differ /path/to/veltro
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

DIFFER = os.path.abspath(sys.argv.pop(1))
VELTRO = os.path.abspath(sys.argv.pop(1))

WRAPPER = """#!/bin/sh
# veltro, changed as MODE says
"$REAL_VELTRO" "$@" >out.txt 2>err.txt
status=$?
case "$MODE" in
  stdout) sed '1s/^./#/' out.txt ;;
  *) cat out.txt ;;
esac
cat err.txt >&2
[ "$MODE" = stderr ] && echo "one line more" >&2
[ "$MODE" = status ] && status=$((status + 1))
exit $status
"""


class Differ(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.wrapper = os.path.join(self.dir.name, "changed-veltro")
        with open(self.wrapper, "w") as f:
            f.write(WRAPPER)
        os.chmod(self.wrapper, 0o755)

    def tearDown(self):
        self.dir.cleanup()

    def folder_with(self, name, text):
        """A folder holding one script."""
        scripts = os.path.join(self.dir.name, "scripts")
        os.makedirs(scripts)
        with open(os.path.join(scripts, name), "w") as f:
            f.write(text)
        return scripts

    def differ(self, *args, mode=None):
        env = dict(os.environ, REAL_VELTRO=VELTRO)
        if mode:
            env["MODE"] = mode
        return subprocess.run([DIFFER, *args], capture_output=True, text=True, env=env, timeout=300)

    def test_the_same_program_on_both_sides_agrees(self):
        p = self.differ("--seeds", "1..30", "--binary-a", VELTRO, "--binary-b", self.wrapper)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertIn("generated programs (seeds 1..30): 30 run; 30 identical; 0 differ", p.stdout)

    def test_one_changed_byte_of_output_is_found(self):
        keep = os.path.join(self.dir.name, "kept")
        p = self.differ("--seeds", "1..30", "--binary-a", VELTRO, "--binary-b", self.wrapper, "--keep", keep,
                        "--show", "1", mode="stdout")
        self.assertEqual(p.returncode, 1, p.stdout + p.stderr)
        found = re.search(r"30 run; (\d+) identical; (\d+) differ", p.stdout)
        identical, differ = int(found.group(1)), int(found.group(2))
        self.assertGreater(differ, 0)
        self.assertEqual(identical + differ, 30)
        # Only programs that print something can differ; each is named, and the
        # first one's program is shown.
        first = re.search(r"DIFFERS seed (\d+): stdout at byte 0", p.stdout)
        self.assertIsNotNone(first, p.stdout)
        self.assertIn("---- program.vt\n", p.stdout)
        seed = first.group(1)
        kept = os.path.join(keep, "seed_" + seed)
        with open(os.path.join(kept, "a.stdout")) as a, open(os.path.join(kept, "b.stdout")) as b:
            self.assertEqual(a.read()[1:], b.read()[1:])
        self.assertTrue(os.path.exists(os.path.join(kept, "program.vt")))
        # The kept program is the program of that seed.
        printed = subprocess.run([DIFFER, "--print", seed], capture_output=True, text=True).stdout
        with open(os.path.join(kept, "program.vt")) as f:
            self.assertIn(f.read(), printed)

    def test_a_line_more_on_standard_error_is_found(self):
        p = self.differ("--seeds", "5..9", "--binary-a", VELTRO, "--binary-b", self.wrapper, mode="stderr")
        self.assertEqual(p.returncode, 1)
        self.assertIn("5 run; 0 identical; 5 differ", p.stdout)
        self.assertIn("stderr at byte", p.stdout)

    def test_another_exit_status_is_found_in_script_files(self):
        scripts = self.folder_with("one.vt", "print(input(\"? \"))  # stdin: typed\n")
        p = self.differ("--files", scripts, "--binary-a", VELTRO, "--binary-b", self.wrapper, mode="status")
        self.assertEqual(p.returncode, 1)
        self.assertIn("scripts: 1 run; 0 identical; 1 differ", p.stdout)
        self.assertIn("status 0 against 1", p.stdout)

    def test_output_that_changes_from_run_to_run_proves_nothing(self):
        scripts = self.folder_with("random.vt", "print(random())\n")
        p = self.differ("--files", scripts)
        self.assertEqual(p.returncode, 0, p.stdout)
        self.assertIn("scripts: 1 run; 0 identical; 0 differ; 1 nondeterministic", p.stdout)

    def test_a_difference_is_reduced_to_a_few_lines(self):
        # A seed whose program prints from its own lines, not only from a
        # module it loads.
        seed = "5"
        whole = subprocess.run([DIFFER, "--print", seed], capture_output=True, text=True).stdout
        whole = whole.split("# ---- program.vt\n")[1].split("# ---- run")[0]
        p = self.differ("--reduce", seed, "--binary-a", VELTRO, "--binary-b", self.wrapper, mode="stdout")
        self.assertEqual(p.returncode, 1, p.stdout + p.stderr)
        reduced = p.stdout.split("---- program.vt\n")[1].split("---- A:")[0]
        self.assertLess(len(reduced.splitlines()), len(whole.splitlines()) // 4, reduced)
        self.assertIn("print", reduced)
        p = self.differ("--reduce", seed, "--binary-a", VELTRO, "--binary-b", self.wrapper)
        self.assertEqual(p.returncode, 0)
        self.assertIn(f"the sides agree on seed {seed}", p.stdout)

    def test_usage(self):
        for args in ([], ["--seeds", "9..1"], ["--seeds", "x"], ["--core-a", "other", "--seeds", "1..2"], ["--bogus"],
                     ["--seeds", "1..2", "--batch", "5", "--binary-a", VELTRO]):
            p = self.differ(*args)
            self.assertEqual(p.returncode, 2, args)
            self.assertIn("Usage: veltro-differ", p.stderr)


if __name__ == "__main__":
    unittest.main()
