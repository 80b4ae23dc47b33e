"""The sys module where a script test cannot look: sys.sleep writes out what
the script printed before it waits, and sys.exit ends a REPL session too."""
import os
import select
import subprocess
import sys
import tempfile
import unittest

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"


class Sys(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.cwd = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def test_sleep_flushes_standard_output_first(self):
        with open(os.path.join(self.cwd, "wait.vt"), "w") as f:
            f.write('use sys;\nprint("waiting")\nsys.sleep(60)\nprint("done")\n')
        p = subprocess.Popen([VELTRO, "wait.vt"], cwd=self.cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            ready, _, _ = select.select([p.stdout], [], [], 20)
            self.assertTrue(ready, "nothing written before the sleep")
            self.assertEqual(p.stdout.readline(), b"waiting\n")
            self.assertIsNone(p.poll())
        finally:
            p.kill()
            p.communicate(timeout=10)

    def test_exit_ends_a_repl_session_with_its_status(self):
        p = subprocess.run([VELTRO], cwd=self.cwd, input=b'use sys;\nprint("x")\nsys.exit(4)\nprint("y")\n',
                           capture_output=True, timeout=60)
        self.assertEqual(p.returncode, 4)
        self.assertTrue(p.stdout.endswith(b">>> x\n>>> "), p.stdout)
        self.assertEqual(p.stderr, b"")


if __name__ == "__main__":
    unittest.main()
