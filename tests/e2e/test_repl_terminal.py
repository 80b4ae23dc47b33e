"""The REPL on a real terminal (tmux): line editing and history."""
import os
import shutil
import subprocess
import sys
import time
import unittest

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
SESSION = f"veltro-repl-{os.getpid()}"


def tmux(*args):
    return subprocess.run(["tmux", *args], capture_output=True, text=True, timeout=10)


@unittest.skipUnless(shutil.which("tmux"), "tmux is not installed")
class TerminalRepl(unittest.TestCase):
    def setUp(self):
        tmux("kill-session", "-t", SESSION)
        r = tmux("new-session", "-d", "-s", SESSION, "-x", "100", "-y", "30", VELTRO)
        self.assertEqual(r.returncode, 0, r.stderr)
        tmux("set-option", "-t", SESSION, "remain-on-exit", "on")
        self.wait_for(">>>")

    def tearDown(self):
        tmux("kill-session", "-t", SESSION)

    def screen(self):
        return tmux("capture-pane", "-p", "-t", SESSION).stdout

    def wait_for(self, text, count=1):
        deadline = time.time() + 10
        while time.time() < deadline:
            if self.screen().count(text) >= count:
                return
            time.sleep(0.05)
        self.fail(f"{text!r} did not appear {count} time(s):\n{self.screen()}")

    def keys(self, *keys):
        tmux("send-keys", "-t", SESSION, *keys)

    def test_editing_and_history(self):
        self.keys("print(40 + 2)", "Enter")
        self.wait_for("\n42\n")
        # Up recalls the previous entry.
        self.keys("Up", "Enter")
        self.wait_for("42", count=2)
        # Left moves the cursor: insert the missing letter of "prnt".
        self.keys("prnt(7)")
        self.keys(*["Left"] * 5)
        self.keys("i", "Enter")
        self.wait_for("\n7\n")
        self.keys("exit", "Enter")
        self.wait_for("Goodbye!")

    def test_open_brackets_show_the_continuation_prompt(self):
        self.keys("def f() {", "Enter")
        self.wait_for("...")
        self.keys("}", "Enter")
        self.keys("f()", "Enter")
        self.wait_for("Function 'f' does not exist")


if __name__ == "__main__":
    unittest.main(verbosity=2)
