"""The page server (http.page, http.serve, http.template) against real peers:
curl, Python's http.client and raw sockets, on free loopback ports.

Usage: python3 test_http_server.py /path/to/veltro
The helpers here are shared with test_http_client.py.
"""
import http.client
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

VELTRO = None  # set by each test module from sys.argv


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_script(source, timeout=30, cwd=None):
    """Runs a script to its end; returns (stdout, stderr, status)."""
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "main.vt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(source)
        proc = subprocess.run([VELTRO, path], capture_output=True, timeout=timeout, cwd=cwd or work)
    return proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace"), proc.returncode


class Server:
    """A veltro process serving pages: `pages` is script text run before http.serve."""

    def __init__(self, pages, files=None, preexec_fn=None):
        self.work = tempfile.TemporaryDirectory()
        for name, data in (files or {}).items():
            with open(os.path.join(self.work.name, name), "wb") as f:
                f.write(data)
        self.port = free_port()
        path = os.path.join(self.work.name, "server.vt")
        with open(path, "w", encoding="utf-8") as f:
            f.write("use http;\n%s\nhttp.serve(%d)\n" % (pages, self.port))
        self.proc = subprocess.Popen([VELTRO, path], cwd=self.work.name, preexec_fn=preexec_fn,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.banner = self.proc.stdout.readline() + self.proc.stdout.readline()
        if b"Server listening" not in self.banner:
            self.close()
            raise RuntimeError("server did not start: %r %r" % (self.banner, self.proc.stderr.read()))

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def fd_count(self):
        return len(os.listdir("/proc/%d/fd" % self.proc.pid))

    def raw(self, data, pieces=None, pause=0.05):
        """Sends bytes (or a list of pieces) and returns every byte of the answer."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            for piece in pieces or [data]:
                s.sendall(piece)
                if pieces:
                    time.sleep(pause)
            out = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    return out
                out += chunk

    def close(self):
        self.proc.kill()
        self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.work.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def page_response(content):
    body = content.encode()
    return b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body) + body


NOT_FOUND = b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\nNot Found"

PAGES = r'''
http.page("/", "hello world")
http.page("/", "registered second")
http.page("/about", http.template("about.html"))
http.page("/data", http.json({list: [1, 2.5, "q\"uote\\\n\t", true, [{}]], nan: 10.0 ** 400 - 10.0 ** 400, big: 10.0 ** 400}))
http.page(42, 3.5)
'''


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(PAGES, files={"about.html": "<h1>About é</h1>\n".encode()})

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def test_banner_lines(self):
        port = self.server.port
        self.assertEqual(self.server.banner.decode(),
                         "Starting HTTP server on port %d\nServer listening on http://127.0.0.1:%d\n" % (port, port))

    def test_curl_get_and_post_exact_bytes(self):
        base = "http://127.0.0.1:%d" % self.server.port
        # -i writes the received head and body; the first registration wins.
        out = subprocess.run(["curl", "-s", "-i", base + "/"], capture_output=True, timeout=20).stdout
        self.assertEqual(out, page_response("hello world"))
        out = subprocess.run(["curl", "-s", "-i", "--data-binary", "x" * 5000, base + "/about"],
                             capture_output=True, timeout=20).stdout
        self.assertEqual(out, page_response("<h1>About é</h1>\n"))
        out = subprocess.run(["curl", "-s", "-i", base + "/missing"], capture_output=True, timeout=20).stdout
        self.assertEqual(out, NOT_FOUND)
        self.assertEqual(len(out), 80)

    def test_http_client_paths(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=20)
        for path, status, body in [("/?a=1", 404, b"Not Found"), ("/42", 404, b"Not Found"),
                                   ("42", 200, b"3.5"), ("/about", 200, "<h1>About é</h1>\n".encode())]:
            conn.request("GET", path)
            resp = conn.getresponse()
            self.assertEqual((resp.status, resp.read()), (status, body), path)
            self.assertEqual(resp.getheader("Content-Type"), "text/html" if status == 200 else "text/plain")
            conn.close()  # one request per connection

    def test_json_page_parses(self):
        out = self.server.raw(b"GET /data HTTP/1.1\r\n\r\n")
        body = out.split(b"\r\n\r\n", 1)[1]
        self.assertEqual(json.loads(body), {"list": [1, 2.5, 'q"uote\\\n\t', True, [{}]], "nan": None, "big": None})

    def test_request_in_pieces_and_nothing_sent(self):
        pieces = [b"GE", b"T /ab", b"out HTTP/1.1\r", b"\nHost: x\r\n\r\n"]
        self.assertEqual(self.server.raw(None, pieces=pieces), page_response("<h1>About é</h1>\n"))
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=20) as s:
            s.shutdown(socket.SHUT_WR)  # says nothing at all: a request for /
            self.assertEqual(s.makefile("rb").read(), page_response("hello world"))
        # A body far larger than what the server reads, still arriving after
        # the answer: closing must not reset the answer away.
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=20) as s:
            s.sendall(b"POST /about HTTP/1.1\r\nContent-Length: 600000\r\n\r\n")
            time.sleep(0.1)
            s.sendall(b"b" * 600000)
            self.assertEqual(s.makefile("rb").read(), page_response("<h1>About é</h1>\n"))

    def test_silent_and_vanishing_clients_do_not_stop_the_server(self):
        vanishing = socket.create_connection(("127.0.0.1", self.server.port))
        vanishing.sendall(b"GET /ab")
        vanishing.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        vanishing.close()  # reset mid-request
        start = time.monotonic()
        with socket.create_connection(("127.0.0.1", self.server.port)):
            time.sleep(0.05)
            self.assertEqual(self.server.raw(b"GET /missing HTTP/1.1\r\n\r\n"), NOT_FOUND)
        self.assertLess(time.monotonic() - start, 8)
        self.assertEqual(self.server.raw(b"GET / HTTP/1.1\r\n\r\n"), page_response("hello world"))
        self.assertIsNone(self.server.proc.poll())

    def test_descriptors_do_not_grow(self):
        self.server.raw(b"GET / HTTP/1.1\r\n\r\n")
        time.sleep(0.2)
        before = self.server.fd_count()
        for _ in range(300):
            self.server.raw(b"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc")
        time.sleep(0.3)
        self.assertLessEqual(self.server.fd_count(), before)


class DescriptorLimitTest(unittest.TestCase):
    def test_accept_failures_are_reported_without_spinning(self):
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (12, 12))
        with Server('http.page("/", "up")', preexec_fn=limit) as server:
            # Answered clients that keep their connections open hold descriptors
            # until the server gives up waiting for them to close.
            clients = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(20)]
            for c in clients:
                c.sendall(b"GET / HTTP/1.1\r\n\r\n")
            time.sleep(0.5)
            cpu = server.cpu_seconds()
            time.sleep(1.0)
            self.assertLess(server.cpu_seconds() - cpu, 0.3)
            for c in clients:
                c.close()
            self.assertEqual(server.raw(b"GET / HTTP/1.1\r\n\r\n"), page_response("up"))
            server.proc.kill()
            err = server.proc.stderr.read().decode()
        self.assertIn("Connection error: Too many open files (os error 24)\n", err)


class SlowClientTest(unittest.TestCase):
    """Clients that are slow to send, slow to read or never close hold up
    nobody but themselves."""

    BIG = 4 << 20

    def setUp(self):
        # As in a terminal, whatever this test runs under: a background job starts with SIGINT ignored.
        interruptible = lambda: signal.signal(signal.SIGINT, signal.SIG_DFL)
        self.server = Server('http.page("/", "hello world")\nhttp.page("/big", "%s")' % ("b" * self.BIG),
                             preexec_fn=interruptible)
        self.addCleanup(self.server.close)
        self.server.raw(b"GET / HTTP/1.1\r\n\r\n")
        time.sleep(0.2)
        self.base_fds = self.server.fd_count()

    def connect(self, first=b""):
        s = socket.create_connection(("127.0.0.1", self.server.port), timeout=20)
        self.addCleanup(s.close)
        if first:
            s.sendall(first)
        return s

    def wait_for_fds(self, wanted, within=10.0):
        end = time.monotonic() + within
        while self.server.fd_count() != wanted and time.monotonic() < end:
            time.sleep(0.05)
        return self.server.fd_count()

    def test_plain_requests_pass_idle_dripping_and_unread_connections(self):
        idle = [self.connect() for _ in range(30)]
        partial = [self.connect(b"GET /ab") for _ in range(10)]
        dripping = [self.connect(b"GET /") for _ in range(38)]
        # Ask for a page far larger than the socket buffers and never read it.
        unread = [self.connect(b"GET /big HTTP/1.1\r\n\r\n") for _ in range(2)]
        stop = threading.Event()

        def drip():
            while not stop.wait(0.4):
                for s in dripping:
                    try:
                        s.send(b"a")
                    except OSError:
                        pass

        dripper = threading.Thread(target=drip)
        dripper.start()
        try:
            # All 80 are open in the server at once.
            self.assertEqual(self.wait_for_fds(self.base_fds + 80), self.base_fds + 80)
            slowest = 0.0
            for i in range(10):
                path, expected = ("/", page_response("hello world")) if i % 2 else ("/nope", NOT_FOUND)
                start = time.monotonic()
                got = self.server.raw(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path.encode())
                slowest = max(slowest, time.monotonic() - start)
                self.assertEqual(got, expected)
            self.assertLess(slowest, 1.0)
            # The unread responses were only held back: reading them now gets every byte.
            unread[0].settimeout(20)
            got = unread[0].makefile("rb").read()
            self.assertEqual(got, page_response("b" * self.BIG))
        finally:
            stop.set()
            dripper.join()
        for s in idle + partial + dripping + unread:
            s.close()
        self.assertEqual(self.wait_for_fds(self.base_fds), self.base_fds)
        self.assertEqual(self.server.raw(b"GET / HTTP/1.1\r\n\r\n"), page_response("hello world"))

    def test_ctrl_c_stops_the_server_at_once(self):
        clients = [self.connect(b"GET /") for _ in range(20)]
        self.assertEqual(self.wait_for_fds(self.base_fds + len(clients)), self.base_fds + len(clients))
        self.server.proc.send_signal(signal.SIGINT)
        self.assertEqual(self.server.proc.wait(timeout=2), -signal.SIGINT)


class ConnectionCapTest(unittest.TestCase):
    CAP = 1024

    def test_accepting_pauses_at_the_cap_without_spinning(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if hard != resource.RLIM_INFINITY and hard < 2 * self.CAP:
            self.skipTest("descriptor hard limit %d is too low" % hard)
        resource.setrlimit(resource.RLIMIT_NOFILE, (2 * self.CAP, hard))
        self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))
        # The server closes a client that sends no request within its
        # request time-out (5 s), so the cap is checked while the first
        # clients are younger than that; on a machine too busy to open them
        # all in time, the attempt is made again.
        for _ in range(3):
            with Server('http.page("/", "up")') as server:
                base = server.fd_count()
                clients = []
                try:
                    began = time.monotonic()
                    clients = [socket.create_connection(("127.0.0.1", server.port), timeout=20)
                               for _ in range(self.CAP + 20)]
                    end = time.monotonic() + 10
                    while server.fd_count() < base + self.CAP and time.monotonic() < end:
                        time.sleep(0.05)
                    time.sleep(0.3)
                    held = server.fd_count()
                    cpu = server.cpu_seconds()
                    time.sleep(1.0)
                    spent = server.cpu_seconds() - cpu
                    self.assertLessEqual(held, base + self.CAP)
                    if time.monotonic() - began > 4.0:
                        continue
                    self.assertEqual(held, base + self.CAP)
                    self.assertLess(spent, 0.2)
                    # Clients that leave make room for the ones waiting, and for a new one.
                    for c in clients[:40]:
                        c.close()
                    start = time.monotonic()
                    self.assertEqual(server.raw(b"GET / HTTP/1.1\r\n\r\n"), page_response("up"))
                    self.assertLess(time.monotonic() - start, 2.0)
                    self.assertLessEqual(server.fd_count(), base + self.CAP)
                    return
                finally:
                    for c in clients:
                        c.close()
        self.skipTest("too busy to open %d connections within the request time-out" % (self.CAP + 20))


class BindTest(unittest.TestCase):
    def test_port_in_use_fails_and_the_script_goes_on(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            out, err, status = run_script('use http;\nhttp.serve(%d + 65536)\nprint("after")\n' % port)
        self.assertEqual(out, "Starting HTTP server on port %d\nafter\n" % port)
        self.assertIn("Failed to bind to port: Address already in use (os error 98)", err)
        self.assertEqual(status, 0)


if __name__ == "__main__":
    VELTRO = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
