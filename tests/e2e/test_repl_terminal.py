"""The REPL on a real terminal (tmux): line editing, entries over several
lines, values shown, Ctrl-C, Tab completion and the history file."""
import atexit
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
SESSION = f"veltro-repl-{os.getpid()}"
# Every start gets a tmux server of its own: a server that is still shutting
# down after its last session was killed must not meet the next new-session.
starts = 0
SOCKETS = tempfile.mkdtemp(prefix="veltro-tmux-")
atexit.register(shutil.rmtree, SOCKETS, True)


def tmux(*args):
    socket = os.path.join(SOCKETS, str(starts))
    return subprocess.run(["tmux", "-S", socket, *args],
                          capture_output=True, text=True, timeout=10)


@unittest.skipUnless(shutil.which("tmux"), "tmux is not installed")
class TerminalRepl(unittest.TestCase):
    def setUp(self):
        self.state = tempfile.mkdtemp(prefix="veltro-repl-state-")
        self.addCleanup(shutil.rmtree, self.state, True)
        self.start()

    def start(self, state=None):
        """A fresh REPL in a 100x30 terminal, its history under `state`."""
        global starts
        tmux("kill-server")
        starts += 1
        # The shell around it reports how the REPL ended (tmux may be slow to
        # notice); it lets Ctrl-C through to the REPL and survives it.
        wrapper = 'trap : INT; "$@"; echo "[exit status $?]"; exec sleep 600'
        env = ["env", f"XDG_STATE_HOME={state or self.state}", f"HOME={self.state}"]
        r = tmux("new-session", "-d", "-s", SESSION, "-x", "100", "-y", "30",
                 "sh", "-c", wrapper, "sh", *env, VELTRO)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.wait_for(">>>")

    def tearDown(self):
        tmux("kill-server")

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

    def prompts(self):
        return sum(1 for line in self.screen().splitlines() if line.startswith((">>>", "...")))

    def wait_for_prompt(self, before, what):
        deadline = time.time() + 10
        while time.time() < deadline:
            if self.prompts() > before:
                return
            time.sleep(0.05)
        self.fail(f"no prompt after {what}:\n{self.screen()}")

    def enter(self, line):
        """Types a line, then waits until the REPL has asked for the next one."""
        before = self.prompts()
        if line:
            self.keys("-l", line)
        self.keys("Enter")
        self.wait_for_prompt(before, repr(line))

    def interrupt(self):
        before = self.prompts()
        self.keys("C-c")
        self.wait_for_prompt(before, "Ctrl-C")

    def lines(self):
        return [line.rstrip() for line in self.screen().splitlines() if line.strip()]

    def wait_exited(self):
        """Waits for the REPL to end, and checks that it ended well."""
        self.wait_for("[exit status ")
        self.assertIn("[exit status 0]", self.screen())

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
        self.wait_exited()

    def test_definition_over_several_lines(self):
        self.enter("def add(a,")
        self.assertEqual(self.lines()[-1], "...")
        self.enter("        b) {")
        self.enter("")  # an empty line keeps the entry open
        self.enter("  return a + b")
        self.enter("}")
        self.enter("add(40, 2)")
        self.assertEqual(self.lines()[-8:], [
            ">>> def add(a,", "...         b) {", "...", "...   return a + b", "... }",
            ">>> add(40, 2)", "42", ">>>",
        ])

    def test_values_are_shown(self):
        self.enter("let x = 41")
        self.assertEqual(self.lines()[-2:], [">>> let x = 41", ">>>"])
        self.enter("x")
        self.enter("x + 1")
        self.enter('"a" + "b"')
        self.enter("print(1)")  # print returns Null: its line alone
        self.enter("x = 3")  # a statement shows nothing
        self.enter("1 / 0")
        self.assertEqual(self.lines()[-13:], [
            ">>> x", "41",
            ">>> x + 1", "42",
            '>>> "a" + "b"', "ab",
            ">>> print(1)", "1",
            ">>> x = 3",
            ">>> 1 / 0", "[ERROR] Division by zero", "[ERROR] Error in expression: Division by zero",
            ">>>",
        ])

    def start_running(self, line, marker):
        """Enters a line that prints `marker`, then keeps running: once the
        marker shows, the entry is running and no longer being edited (a
        Ctrl-C sent earlier would drop the line instead)."""
        self.keys("-l", line)
        self.keys("Enter")
        self.wait_for(f"\n{marker}\n")
        time.sleep(0.2)
        self.assertNotEqual(self.lines()[-1], ">>>", f"{line!r} should still be running")

    def test_ctrl_c_stops_the_running_entry(self):
        self.enter("let kept = 7")
        self.enter('def spin() { print("spinning"); while true { } }')
        self.start_running("spin()", "spinning")
        self.interrupt()
        self.assertEqual(self.lines()[-2:], ["[ERROR] Interrupted", ">>>"])
        self.assertEqual(self.screen().count("[ERROR]"), 1, self.screen())
        self.enter("kept * 6")
        self.assertEqual(self.lines()[-2:], ["42", ">>>"])
        # A second interrupt works as the first.
        self.start_running('print("looping"); while true { }', "looping")
        self.interrupt()
        self.assertEqual(self.screen().count("[ERROR] Interrupted"), 2, self.screen())
        self.enter("kept")
        self.assertEqual(self.lines()[-2:], ["7", ">>>"])
        # A sleep ends at once too.
        self.enter("use sys;")
        self.start_running('print("sleeping"); sys.sleep(600)', "sleeping")
        self.interrupt()
        self.assertEqual(self.lines()[-2:], ["[ERROR] Interrupted", ">>>"])

    def test_ctrl_c_abandons_the_open_entry_and_ctrl_d_ends(self):
        self.enter("def g() {")
        self.enter('  print("never")')
        self.interrupt()
        self.assertEqual(self.lines()[-1], ">>>")
        self.enter("g()")
        self.assertIn("[ERROR] Function 'g' does not exist", self.screen())
        # Ctrl-C at the prompt clears the line typed so far.
        self.keys("-l", "print(1")
        self.interrupt()
        self.enter("2 + 2")
        self.assertEqual(self.lines()[-2:], ["4", ">>>"])
        self.keys("C-d")
        self.wait_exited()
        self.assertNotIn("Goodbye", self.screen())

    def test_tab_completion(self):
        self.keys("-l", "pri")
        self.keys("Tab")
        self.wait_for(">>> print(")
        self.keys("-l", '"done")')
        self.keys("Enter")
        self.wait_for("\ndone\n")
        self.keys("-l", "files.re")
        self.keys("Tab")
        self.wait_for(">>> files.read(")
        self.keys("C-u")
        # The library modules, without a `use` yet.
        self.keys("-l", "data.so")
        self.keys("Tab")
        self.wait_for(">>> data.sort(")
        self.keys("C-u")
        # Names bound in the session complete too.
        self.enter("let total_count = 5")
        self.keys("-l", "total_c")
        self.keys("Tab")
        self.keys("Enter")
        self.wait_for("\n5\n")

    def test_history_survives_a_restart(self):
        history = os.path.join(self.state, "veltro", "history")
        self.enter("let remembered = 99")
        self.enter("remembered")
        self.enter("remembered")  # the same entry twice is kept once
        self.enter("def h() {")
        self.enter("  return 1 }")
        self.keys("exit", "Enter")
        self.wait_exited()
        with open(history, encoding="utf-8") as f:
            saved = f.read()
        self.assertEqual(saved.count("remembered\n"), 1, saved)
        self.start()
        # The newest entry is the two-line definition, recalled whole.
        self.keys("Up")
        self.wait_for("def h() {")
        self.keys("C-u")
        self.interrupt()
        self.keys("Up", "Up", "Up")
        self.wait_for(">>> let remembered = 99")
        self.enter("")
        self.enter("remembered + 1")
        self.assertEqual(self.lines()[-2:], ["100", ">>>"])

    def test_history_is_capped(self):
        folder = os.path.join(self.state, "veltro")
        os.makedirs(folder)
        history = os.path.join(folder, "history")
        with open(history, "w", encoding="utf-8") as f:
            f.write("_HiStOrY_V2_\n" + "".join(f"old{i}\n" for i in range(1500)))
        self.start()
        self.keys("Up")
        self.wait_for(">>> old1499")
        self.interrupt()
        self.enter("print(123)")
        self.keys("exit", "Enter")
        self.wait_exited()
        with open(history, encoding="utf-8") as f:
            entries = f.read().splitlines()[1:]
        self.assertEqual(len(entries), 1000)
        self.assertEqual(entries[-2:], ["old1499", "print(123)"])

    def test_unwritable_history_is_no_error(self):
        blocker = os.path.join(self.state, "not-a-folder")
        with open(blocker, "w", encoding="utf-8") as f:
            f.write("x")
        self.start(state=blocker)
        self.enter("print(5)")
        self.enter("6")
        self.keys("Up")
        self.wait_for(">>> 6", count=2)  # the history still lasts for the session
        self.keys("C-u", "exit", "Enter")
        self.wait_exited()
        self.assertNotIn("ERROR", self.screen())
        with open(blocker, encoding="utf-8") as f:
            self.assertEqual(f.read(), "x")


if __name__ == "__main__":
    unittest.main(verbosity=2)
