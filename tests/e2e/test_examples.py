"""The example gallery runs as shipped.

Each example runs from a copy of examples/ in a temporary folder (so the files
they write land there), from the folder its header comment names. Expected
results are computed here independently where the example computes something
(FizzBuzz, word counts), and written out where the example is a fixed story
(the adventure). The site is served and fetched; the game runs a few seconds of
frames on the offscreen video driver.

Usage: python3 test_examples.py /path/to/veltro
"""
import collections
import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
EXAMPLES = os.path.join(ROOT, "examples")


class Gallery(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name
        shutil.copytree(EXAMPLES, os.path.join(self.root, "examples"))

    def tearDown(self):
        self.dir.cleanup()

    def run_example(self, script, cwd=None, stdin=""):
        cwd = cwd or self.root
        env = dict(os.environ, SDL_VIDEODRIVER=os.environ.get("SDL_VIDEODRIVER", "offscreen"))
        p = subprocess.run([VELTRO, script], cwd=cwd, input=stdin.encode(), capture_output=True, timeout=60,
                           env=env)
        return p.returncode, p.stdout.decode(), p.stderr.decode()

    def assert_clean_run(self, result):
        code, out, err = result
        self.assertEqual((code, err), (0, ""), out)
        return out

    def test_hello(self):
        out = self.assert_clean_run(self.run_example("examples/hello.vt"))
        self.assertEqual(out, "Hello, world!\nWelcome to Veltro\nWelcome to the REPL\nWelcome to your scripts\n")

    def test_fizzbuzz(self):
        out = self.assert_clean_run(self.run_example("examples/fizzbuzz.vt"))
        want = []
        for n in range(1, 101):
            want.append("FizzBuzz" if n % 15 == 0 else "Fizz" if n % 3 == 0 else "Buzz" if n % 5 == 0 else str(n))
        self.assertEqual(out.splitlines(), want)

    def test_adventure_walkthrough(self):
        moves = ["look", "north", "take lamp", "u", "read note", "take note", "read note", "go north",
                 "east", "take spoon", "take key", "inventory", "dance", "w", "drop lamp", "n"]
        code, out, err = self.run_example("examples/adventure.vt", stdin="\n".join(moves) + "\n")
        self.assertEqual((code, err), (0, ""))
        hall = ("You are in a great hall. A heavy oak door stands to the north, an archway leads east and steps "
                "lead down.")
        cellar = "You are in a damp cellar. Stone steps lead up.\nYou see: lamp."
        self.assertEqual(out.split("> "), [
            "ESCAPE FROM THE OLD HOUSE\nYou wake up in the dark. Type help for the commands.\n\n" + cellar + "\n",
            cellar + "\n",
            "You can't go that way.\n",
            "Taken: lamp.\n",
            hall + "\nYou see: note.\n",
            "Pick up the note first.\n",
            "Taken: note.\n",
            "The note reads: \"The key sleeps where the stories do.\"\n",
            "The oak door is locked.\n",
            "You are in a library. Dusty shelves line the walls; the archway back to the hall is to the west.\n"
            "You see: book, key.\n",
            "There is no spoon here.\n",
            "Taken: key.\n",
            "You carry: lamp, note, key.\n",
            "I don't understand that. Type help for the commands.\n",
            hall + "\n",
            "Dropped: lamp.\n",
            "You unlock the oak door with the brass key.\nYou step out into the garden. Fresh air at last!\n"
            "You escaped in 16 moves.\n",
        ])

    def test_adventure_ends_at_end_of_input(self):
        code, out, err = self.run_example("examples/adventure.vt", stdin="take lamp\n")
        self.assertEqual((code, err), (0, ""))
        self.assertTrue(out.endswith("Taken: lamp.\n> > > You sit down and wait. Nobody comes. The end.\n"), out)

    def word_table(self, path):
        with open(path, encoding="utf-8") as f:
            text = f.read().lower()
        words = ["".join(c for c in piece if c.upper() != c or c in "0123456789") for piece in text.split()]
        words = [w for w in words if w]
        # Counter keeps first-seen order, and sorted() is stable: ties stay in that order.
        ranked = sorted(collections.Counter(words).items(), key=lambda item: -item[1])
        return words, ranked

    def test_wordfreq_from_either_folder(self):
        words, ranked = self.word_table(os.path.join(EXAMPLES, "wordfreq.txt"))
        for cwd, script, shown_path in ((self.root, "examples/wordfreq.vt", "examples/wordfreq.txt"),
                                        (os.path.join(self.root, "examples"), "wordfreq.vt", "wordfreq.txt")):
            with self.subTest(cwd=cwd):
                out = self.assert_clean_run(self.run_example(script, cwd=cwd))
                lines = out.splitlines()
                self.assertEqual(lines[0], f"{shown_path}: {len(words)} words, {len(ranked)} different")
                bars = [f"{w:<10}{'#' * n} {n}" for w, n in ranked[:10]]
                self.assertEqual(lines[2:12], bars)
                self.assertEqual(lines[13], f"Wrote {len(ranked)} rows to wordfreq.csv")
                with open(os.path.join(cwd, "wordfreq.csv"), encoding="utf-8") as f:
                    self.assertEqual(f.read(), "word,count\n" + "".join(f"{w},{n}\n" for w, n in ranked))

    def test_wordfreq_without_its_text(self):
        os.remove(os.path.join(self.root, "examples", "wordfreq.txt"))
        out = self.assert_clean_run(self.run_example("examples/wordfreq.vt"))
        self.assertEqual(out, "wordfreq.txt not found: run this from the repository root or the examples folder.\n")
        self.assertFalse(os.path.exists(os.path.join(self.root, "wordfreq.csv")))

    def test_report_module_example(self):
        folder = os.path.join(self.root, "examples")
        out = self.assert_clean_run(self.run_example("report.vt", cwd=folder))
        self.assertEqual(out, "words: 21\nlongest: haunches\n'on' appears 2 times\ndone\n\nfiles: 2\n"
                              "cleaned up: true\n")
        self.assertFalse(os.path.exists(os.path.join(folder, "report-output")))

    def test_site_serves_its_pages(self):
        with socket.socket() as probe:
            probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                probe.bind(("127.0.0.1", 8080))
            except OSError:
                self.skipTest("port 8080, which the site example uses, is busy")
        server = subprocess.Popen([VELTRO, "examples/site.vt"], cwd=self.root, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        try:
            self.assertEqual(server.stdout.readline(), b"Starting HTTP server on port 8080\n")
            self.assertEqual(server.stdout.readline(), b"Server listening on http://127.0.0.1:8080\n")
            pages = {}
            for path in ("/", "/about", "/api/info", "/missing"):
                conn = http.client.HTTPConnection("127.0.0.1", 8080, timeout=10)
                conn.request("GET", path)
                response = conn.getresponse()
                pages[path] = (response.status, response.read().decode())
                conn.close()
            self.assertEqual(pages["/"][0], 200)
            self.assertIn('<a href="/about">About</a>', pages["/"][1])
            with open(os.path.join(EXAMPLES, "site", "about.html"), encoding="utf-8") as f:
                self.assertEqual(pages["/about"], (200, f.read()))
            self.assertEqual(pages["/api/info"][0], 200)
            for part in ('"name":"veltro site"', '"pages":["/","/about","/api/info"]', '"port":8080'):
                self.assertIn(part, pages["/api/info"][1])
            self.assertEqual(pages["/missing"], (404, "Not Found"))
        finally:
            server.kill()
            _, err = server.communicate(timeout=10)
        self.assertEqual(err, b"")

    def test_site_takes_its_port_from_the_command_line(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        server = subprocess.Popen([VELTRO, "examples/site.vt", str(port)], cwd=self.root, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        try:
            self.assertEqual(server.stdout.readline(), f"Starting HTTP server on port {port}\n".encode())
            self.assertEqual(server.stdout.readline(), f"Server listening on http://127.0.0.1:{port}\n".encode())
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            conn.request("GET", "/api/info")
            self.assertIn(f'"port":{port}', conn.getresponse().read().decode())
        finally:
            server.kill()
            _, err = server.communicate(timeout=10)
        self.assertEqual(err, b"")

    def test_site_refuses_a_port_that_is_not_a_number(self):
        p = subprocess.run([VELTRO, "examples/site.vt", "eighty"], cwd=self.root, capture_output=True, timeout=60)
        self.assertEqual((p.returncode, p.stdout, p.stderr),
                         (2, b"The port must be a whole number, not 'eighty'\n", b""))

    def test_wordcount_ranks_words(self):
        words, _ = self.word_table(os.path.join(EXAMPLES, "wordfreq.txt"))
        ranked = sorted(collections.Counter(words).items(), key=lambda item: (-item[1], item[0]))
        out = self.assert_clean_run(self.run_example("examples/wordcount.vt"))
        lines = out.splitlines()
        self.assertEqual(lines[0], f"examples/wordfreq.txt: {len(words)} words, {len(ranked)} different")
        self.assertEqual([line.split() for line in lines[1:]], [[w, str(n)] for w, n in ranked[:10]])

    def test_wordcount_takes_a_file_and_a_count(self):
        with open(os.path.join(self.root, "mine.txt"), "w", encoding="utf-8") as f:
            f.write("Über über b\r\na, A a.\n")
        p = subprocess.run([VELTRO, "examples/wordcount.vt", "mine.txt", "2"], cwd=self.root, capture_output=True,
                           timeout=60)
        self.assertEqual((p.returncode, p.stderr), (0, b""))
        self.assertEqual(p.stdout.decode(), "mine.txt: 6 words, 3 different\na           3\nüber        2\n")
        p = subprocess.run([VELTRO, "examples/wordcount.vt", "mine.txt", "two"], cwd=self.root, capture_output=True,
                           timeout=60)
        self.assertEqual((p.returncode, p.stdout), (2, b"TOP must be a whole number, not 'two'\n"))

    def test_game_runs_frames_without_errors(self):
        if not os.path.exists(os.path.join(EXAMPLES, "game.vt")):
            self.skipTest("examples/game.vt is not there")
        env = dict(os.environ, SDL_VIDEODRIVER=os.environ.get("SDL_VIDEODRIVER", "offscreen"))
        game = subprocess.Popen([VELTRO, "examples/game.vt"], cwd=self.root, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=env)
        time.sleep(3)
        self.assertIsNone(game.poll(), "the game loop ended by itself")
        game.kill()
        _, err = game.communicate(timeout=10)
        self.assertEqual(err, b"")


if __name__ == "__main__":
    unittest.main()
