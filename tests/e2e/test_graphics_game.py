"""examples/game.vt played on a real X server: keys typed through the X test
extension reach the script (the paddle moves while an arrow key is held, space
launches the ball) and Escape ends the game.

Usage: python3 test_graphics_game.py /path/to/veltro
Shares the X helpers of test_graphics_window.py and, like it, runs itself under xvfb-run.
"""
import ctypes
import os
import subprocess
import sys
import time
import unittest

import test_graphics_window as xwin

GAME = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "game.vt")
XK_SPACE, XK_LEFT, XK_RIGHT, XK_ESCAPE = 0x20, 0xFF51, 0xFF53, 0xFF1B
BRICK_COLOURS = [(230, 70, 70), (240, 150, 50), (235, 215, 70), (90, 200, 100), (80, 150, 235)]
PADDLE = (235, 235, 245)


class Keyboard:
    def __init__(self, display):
        self.display = display
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        display.x.XKeysymToKeycode.restype = ctypes.c_ubyte
        display.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]

    def key(self, keysym, down):
        code = self.display.x.XKeysymToKeycode(self.display.display, keysym)
        self.xtst.XTestFakeKeyEvent(self.display.display, code, 1 if down else 0, 0)
        self.display.x.XFlush(self.display.display)

    def tap(self, keysym):
        self.key(keysym, True)
        time.sleep(0.1)
        self.key(keysym, False)


class GameOnXvfb(unittest.TestCase):
    def test_keys_steer_the_paddle_and_escape_quits(self):
        proc = subprocess.Popen([xwin.VELTRO, GAME], env=xwin.window_env(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        display = xwin.Display()
        keyboard = Keyboard(display)

        def frame():
            """Brick pixel count and the paddle's leftmost x (screen coordinates)."""
            screen = display.screenshot()
            bricks = sum(1 for rgb in screen.values() if rgb in BRICK_COLOURS)
            paddle = [x for (x, y), rgb in screen.items() if rgb == PADDLE]
            return bricks, min(paddle, default=None)

        deadline = time.monotonic() + 20
        bricks, paddle = frame()
        while bricks == 0 and time.monotonic() < deadline:
            time.sleep(0.2)
            bricks, paddle = frame()
        self.assertEqual(bricks, 50 * 60 * 18, "the full wall of 50 bricks")
        self.assertIsNotNone(paddle)

        keyboard.key(XK_RIGHT, True)
        time.sleep(0.4)
        keyboard.key(XK_RIGHT, False)
        time.sleep(0.2)
        moved_right = frame()[1]
        self.assertGreater(moved_right, paddle + 40)
        keyboard.key(XK_LEFT, True)
        time.sleep(0.2)
        keyboard.key(XK_LEFT, False)
        time.sleep(0.2)
        self.assertLess(frame()[1], moved_right)

        keyboard.tap(XK_SPACE)
        deadline = time.monotonic() + 10
        while frame()[0] == 50 * 60 * 18 and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertLess(frame()[0], 50 * 60 * 18, "the launched ball knocked out a brick")

        keyboard.tap(XK_ESCAPE)
        out, err = proc.communicate(timeout=20)
        self.assertEqual(err, b"")
        self.assertEqual(proc.returncode, 0)
        self.assertTrue(out.startswith(b"Score:\n"), out)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "--inside":
        xwin.VELTRO = os.path.abspath(sys.argv[2])
        unittest.main(argv=[sys.argv[0]])
    else:
        xwin.run_under_xvfb(__file__)
