"""A script's window on a real X server: under Xvfb, with SDL's X11 driver, a
screenshot of the screen must show exactly the pixels of the shapes the script
drew, and closing the window the way a window manager does must end the
script's loop.

Usage: python3 test_graphics_window.py /path/to/veltro
The test starts itself again under xvfb-run; it reads the screen and sends the
close request through the X library (libX11) with ctypes.
"""
import ctypes
import ctypes.util
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

VELTRO = None
SCREEN = (640, 480)

SCRIPT = """
use sdl2;

def main() {
    let w = sdl2.create_window("veltro-opening", 240, 160)
    sdl2.set_window_title(w, "veltro-e2e")
    sdl2.set_max_fps(30)
    let frames = 0
    while sdl2.is_window_open() {
        sdl2.clear_screen()
        sdl2.set_draw_color(10, 200, 30)
        sdl2.fill_rect(5, 5, 20, 10)
        fill(circle(60, 60, 20), color(255, 0, 0))
        sdl2.set_draw_color(0, 0, 255)
        sdl2.draw_circle(60, 60, 30)
        fill(triangle(120, 20, 190, 45, 140, 100), color(0, 255, 0))
        draw(rect(100, 110, 80, 30), color(255, 255, 0))
        sdl2.render_present()
        if frames == 5 {
            print("ready")
        }
        frames += 1
        if frames > 900 {
            sdl2.destroy_window()
        }
    }
    print("closed")
}
"""


# --- The drawing rules, written out plainly: the pixels every shape must cover.

def f32(v):
    return struct.unpack("f", struct.pack("f", v))[0]


def circle_pixels(cx, cy, r, filled):
    """The midpoint circle: its outline points, or its fill lines."""
    pixels, x, y, err = set(), r, 0, 0
    while True:
        for a, b in ((x, y), (y, x)):
            for row in (cy + b, cy - b):
                if filled:
                    pixels.update((px, row) for px in range(cx - a, cx + a + 1))
                else:
                    pixels.update({(cx + a, row), (cx - a, row)})
        y += 1
        err += 2 * y + 1
        if 2 * (err - x) + 1 > 0:
            x -= 1
            err += 1 - 2 * x
        if x < y:
            return pixels


def filled_triangle(*v):
    top, middle, bottom = sorted([(v[0], v[1]), (v[2], v[3]), (v[4], v[5])], key=lambda p: p[1])
    def edge(s, e, y):
        inverse = f32(1.0 / f32(e[1] - s[1]))
        t = f32(f32(y - s[1]) * inverse)
        return f32(f32(s[0]) + f32(f32(e[0] - s[0]) * t))
    pixels = set()
    for y in range(top[1], bottom[1] + 1):
        a = edge(top, bottom, y)
        b = edge(top, middle, y) if middle[1] > top[1] and y <= middle[1] else edge(middle, bottom, y)
        left, right = int(min(a, b)), -int(-max(a, b) // 1)
        pixels.update((x, y) for x in range(left, right + 1))
    return pixels


def rect_outline(x, y, w, h):
    return ({(px, y) for px in range(x, x + w)} | {(px, y + h - 1) for px in range(x, x + w)}
            | {(x, py) for py in range(y, y + h)} | {(x + w - 1, py) for py in range(y, y + h)})


def window_env():
    """Environment of a veltro that opens a window on the X server. The X
    client libraries SDL loads (D-Bus, GL drivers) keep allocations to the end
    of the process and are unloaded before a sanitizer build could name them,
    so leak reports are switched off here; a sanitizer build still checks
    every memory access."""
    asan = os.environ.get("ASAN_OPTIONS", "")
    return dict(os.environ, SDL_VIDEODRIVER="x11", SDL_RENDER_DRIVER="software",
                ASAN_OPTIONS=(asan + ":" if asan else "") + "detect_leaks=0")


# --- The X server, through libX11.

class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]


class Display:
    def __init__(self):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                      ctypes.POINTER(ctypes.c_uint)]
        self.x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        self.x.XInternAtom.restype = ctypes.c_ulong
        self.x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                      ctypes.POINTER(ClientMessage)]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("cannot open the X display %r" % os.environ.get("DISPLAY"))
        self.root = self.x.XDefaultRootWindow(self.display)

    def screenshot(self):
        """The whole screen: a dict from (x, y) to (r, g, b)."""
        width, height = SCREEN
        image = self.x.XGetImage(self.display, self.root, 0, 0, width, height, 0xFFFFFFFF, 2).contents
        assert image.bits_per_pixel == 32, image.bits_per_pixel
        words = memoryview(ctypes.string_at(image.data, image.bytes_per_line * height)).cast("I")
        masks = (image.red_mask, image.green_mask, image.blue_mask)
        shifts = [(m & -m).bit_length() - 1 for m in masks]
        colours = {}
        pixels = {}
        for y in range(height):
            row = y * image.bytes_per_line // 4
            for x in range(width):
                value = words[row + x]
                if value not in colours:
                    colours[value] = tuple((value & m) >> s for m, s in zip(masks, shifts))
                pixels[(x, y)] = colours[value]
        return pixels

    def find_window(self, title):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent), ctypes.byref(children),
                          ctypes.byref(count))
        for i in range(count.value):
            name = ctypes.c_char_p()
            if self.x.XFetchName(self.display, children[i], ctypes.byref(name)) and name.value == title:
                return children[i]
        return None

    def request_close(self, window):
        """What a window manager sends when the user closes a window."""
        event = ClientMessage()
        event.type = 33  # ClientMessage
        event.send_event = 1
        event.display = self.display
        event.window = window
        event.message_type = self.x.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        event.format = 32
        event.data[0] = self.x.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)
        event.data[1] = 0  # CurrentTime
        self.x.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.x.XFlush(self.display)


class WindowOnXvfb(unittest.TestCase):
    def test_screenshot_shows_the_shapes_and_closing_ends_the_loop(self):
        work = tempfile.TemporaryDirectory()
        self.addCleanup(work.cleanup)
        path = os.path.join(work.name, "window.vt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(SCRIPT)
        proc = subprocess.Popen([VELTRO, path], cwd=work.name, env=window_env(), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        self.assertEqual(proc.stdout.readline(), b"ready\n", proc.stderr.read1() if proc.poll() else "")

        display = Display()
        window = display.find_window(b"veltro-e2e")
        self.assertIsNotNone(window, "no window titled veltro-e2e on the screen (set_window_title not applied?)")
        screen = display.screenshot()

        # Where the window lies on the screen: find the top-left corner of the marker rectangle.
        marker = (10, 200, 30)
        corner = min((xy for xy, rgb in screen.items() if rgb == marker), key=lambda xy: (xy[1], xy[0]), default=None)
        self.assertIsNotNone(corner, "the marker rectangle is not on the screen")
        ox, oy = corner[0] - 5, corner[1] - 5

        def coloured(rgb):
            return {(x, y) for y in range(160) for x in range(240) if screen.get((ox + x, oy + y)) == rgb}

        self.assertEqual(coloured(marker), {(x, y) for x in range(5, 25) for y in range(5, 15)})
        self.assertEqual(coloured((255, 0, 0)), circle_pixels(60, 60, 20, filled=True))
        self.assertEqual(coloured((0, 0, 255)), circle_pixels(60, 60, 30, filled=False))
        self.assertEqual(coloured((0, 255, 0)), filled_triangle(120, 20, 190, 45, 140, 100))
        self.assertEqual(coloured((255, 255, 0)), rect_outline(100, 110, 80, 30))
        drawn = 20 * 10 + len(circle_pixels(60, 60, 20, filled=True)) \
            + len(circle_pixels(60, 60, 30, filled=False)) \
            + len(filled_triangle(120, 20, 190, 45, 140, 100)) + len(rect_outline(100, 110, 80, 30))
        self.assertEqual(len(coloured((0, 0, 0))), 240 * 160 - drawn, "stray pixels in the window")

        display.request_close(window)
        out, err = proc.communicate(timeout=20)
        self.assertEqual((out, err, proc.returncode), (b"closed\n", b"", 0))


def run_under_xvfb(test_file):
    """Runs `test_file --inside VELTRO` on a fresh virtual X server and exits with its status."""
    if len(sys.argv) != 2:
        sys.exit("usage: %s /path/to/veltro" % os.path.basename(test_file))
    if shutil.which("xvfb-run") is None:
        sys.exit("xvfb-run is missing: install the Debian packages xvfb and xauth")
    screen = "-screen 0 %dx%dx24" % SCREEN
    status = subprocess.call(["xvfb-run", "-a", "-s", screen, sys.executable, os.path.abspath(test_file), "--inside",
                              os.path.abspath(sys.argv[1])], timeout=240)
    sys.exit(status)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "--inside":
        VELTRO = os.path.abspath(sys.argv[2])
        unittest.main(argv=[sys.argv[0]])
    else:
        run_under_xvfb(__file__)
