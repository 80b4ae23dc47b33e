"""The client (http.get, http.post, http.send) against real peers: Python's
http.server, a raw socket that records the exact request bytes, veltro's own
server, and raw sockets that stall the client in every way they can.

Usage: python3 test_http_client.py /path/to/veltro
The stalling peers run against the program named by VELTRO_SHORT_LIMITS (a
test build whose client limits come from the environment, set by ctest) with
limits of a second or less; without it, against veltro with its real limits
(10 s to connect, 30 s without a byte, 256 MiB), which takes minutes.
"""
import http.server
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import test_http_server as peers

ERROR = "\x1b[31m[\x1b[91mERROR\x1b[31m]\x1b[0m "


class Recorder:
    """Accepts one connection, records the request (head and Content-Length
    body), answers with fixed bytes and closes."""

    def __init__(self, answer):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen()
        self.port = self.sock.getsockname()[1]
        self.request = b""
        self.thread = threading.Thread(target=self._serve, args=(answer,), daemon=True)
        self.thread.start()

    def _serve(self, answer):
        conn, _ = self.sock.accept()
        with conn:
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                self.request += chunk
                head, sep, body = self.request.partition(b"\r\n\r\n")
                length = [int(line.split(b":")[1]) for line in head.split(b"\r\n")
                          if line.lower().startswith(b"content-length:")]
                if sep and len(body) >= (length[0] if length else 0):
                    break
            conn.sendall(answer)
        self.sock.close()

    def recorded(self):
        self.thread.join(20)
        return self.request


class EchoHandler(http.server.BaseHTTPRequestHandler):
    def _answer(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        text = ("%s %s host=%s body=%s" % (self.command, self.path, self.headers["Host"], body.decode())).encode()
        self.send_response(201)
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)

    do_GET = do_POST = do_PATCH = _answer

    def log_message(self, *args):
        pass


def script_output(body):
    out, err, status = peers.run_script("use http;\n" + body)
    return out, err


class ClientTest(unittest.TestCase):
    def test_against_python_http_server(self):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), EchoHandler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            base = "http://127.0.0.1:%d" % server.server_address[1]
            out, err = script_output(
                'let r = http.get("%s/a?b=1")\nprint(r)\n'
                'print(http.post("%s/form", "x=1&y=é"))\n'
                'print(http.send("  %s/p  ", "patch", [1, 2]))\n' % (base, base, base))
            self.assertEqual(err, "")
            responses = out.split("HTTP/1.0 201 Created\r\n")[1:]
            self.assertEqual(len(responses), 3, out)
            self.assertTrue(responses[0].endswith("\r\n\r\nGET /a?b=1 host=127.0.0.1 body=\n"))
            self.assertTrue(responses[1].endswith("\r\n\r\nPOST /form host=127.0.0.1 body=x=1&y=é\n"))
            self.assertTrue(responses[2].endswith("\r\n\r\nPATCH /p host=127.0.0.1 body=[1, 2]\n"))
        finally:
            server.shutdown()
            server.server_close()

    def test_exact_request_bytes(self):
        cases = [
            ('http.get("http://localhost:{port}")',
             b"GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\nContent-Length: 0\r\n\r\n"),
            ('http.post("127.0.0.1:{port}/s", "hello")',
             b"POST /s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello"),
            ('http.send("http://127.0.0.1:{port}/d/1", "delete")',
             b"DELETE /d/1 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 0\r\n\r\n"),
            ('http.send("http://127.0.0.1:{port}/", "straße", 7)',
             b"STRASSE / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 1\r\n\r\n7"),
        ]
        for call, expected in cases:
            peer = Recorder(b"HTTP/1.1 204 No Content\r\n\r\n")
            out, err = script_output("print(%s)\n" % call.replace("{port}", str(peer.port)))
            self.assertEqual(peer.recorded(), expected, call)
            self.assertEqual((out, err), ("HTTP/1.1 204 No Content\r\n\r\n\n", ""), call)

    def test_failures(self):
        peer = Recorder(b"HTTP/1.1 200 OK\r\n\r\n\xc3\x28")
        closed = peers.free_port()
        out, err = script_output(
            'print(http.get("http://127.0.0.1:%d/"))\n'
            'print(http.get("https://127.0.0.1:%d/"))\n'
            'print(http.get("http://127.0.0.1:%d/"))\n' % (peer.port, peer.port, closed))
        self.assertIn("Failed to read response: stream did not contain valid UTF-8", err)
        self.assertIn("HTTPS not supported, use HTTP", err)
        self.assertIn("Failed to connect to 127.0.0.1:%d: Connection refused (os error 111)" % closed, err)

    def test_against_veltro_server(self):
        with peers.Server('http.page("/p", "<p>veltro</p>")') as server:
            out, err = script_output('print(http.get("http://127.0.0.1:%d/p"))\n' % server.port)
        self.assertEqual(err, "")
        self.assertEqual(out, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 13\r\n\r\n<p>veltro</p>\n")


class StallingPeer:
    """A raw socket server whose every connection is handled by `behave(conn)`,
    kept open until the test ends."""

    def __init__(self, behave):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen()
        self.port = self.sock.getsockname()[1]
        self.url = "http://127.0.0.1:%d/" % self.port
        self.conns = []
        threading.Thread(target=self._serve, args=(behave,), daemon=True).start()

    def _serve(self, behave):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.conns.append(conn)
            threading.Thread(target=self._handle, args=(behave, conn), daemon=True).start()

    @staticmethod
    def _handle(behave, conn):
        try:
            behave(conn)
        except OSError:
            pass  # the client gave up and closed

    def close(self):
        self.sock.close()
        for conn in self.conns:
            conn.close()


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            break
        data += chunk


def full_backlog():
    """A listening socket whose accept queue is full, with the sockets that
    fill it: the kernel drops further handshakes, so a connect waits."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(4):
        filler = socket.socket()
        filler.setblocking(False)
        filler.connect_ex(("127.0.0.1", port))
        fillers.append(filler)
    time.sleep(0.2)
    return port, [listener] + fillers


class ClientLimitsTest(unittest.TestCase):
    """No peer can hold the client for ever or fill its memory: each call
    returns its error value once a limit is reached, and the script goes on."""

    @classmethod
    def setUpClass(cls):
        cls.program = os.environ.get("VELTRO_SHORT_LIMITS")
        if cls.program:
            cls.connect_timeout, cls.read_timeout, cls.max_bytes = 0.5, 1.0, 1 << 20
            cls.env = dict(os.environ, VELTRO_TEST_CONNECT_TIMEOUT_MS="500", VELTRO_TEST_READ_TIMEOUT_MS="1000",
                           VELTRO_TEST_MAX_RESPONSE_BYTES=str(1 << 20))
        else:
            cls.program = peers.VELTRO
            cls.connect_timeout, cls.read_timeout, cls.max_bytes = 10.0, 30.0, 256 << 20
            cls.env = dict(os.environ)

    def run_call(self, call, prelude=""):
        """Runs `let r = CALL` in main, then prints "after"; returns (seconds, stdout, stderr)."""
        source = "use http;\ndef main() {\n%s    let r = %s\n    print(\"after\")\n}\n" % (prelude, call)
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "main.vt")
            with open(path, "w", encoding="utf-8") as f:
                f.write(source)
            start = time.monotonic()
            proc = subprocess.run([self.program, path], capture_output=True, cwd=work, env=self.env, timeout=240)
            elapsed = time.monotonic() - start
        self.assertEqual(proc.returncode, 0)
        return elapsed, proc.stdout.decode(), proc.stderr.decode()

    def assert_fails_after(self, call, limit, message, prelude=""):
        elapsed, out, err = self.run_call(call, prelude)
        self.assertEqual((out, err), ("after\n", ERROR + "Error in let statement for 'r': " + message + "\n"))
        self.assertGreaterEqual(elapsed, limit * 0.95)
        self.assertLess(elapsed, limit + 5)

    def peer(self, behave):
        peer = StallingPeer(behave)
        self.addCleanup(peer.close)
        return peer

    def test_a_peer_that_never_answers(self):
        peer = self.peer(lambda conn: (read_request(conn), time.sleep(600)))
        for call in ('http.get("%s")', 'http.post("%s", "x=1")', 'http.send("%s", "put", "x")'):
            with self.subTest(call=call):
                self.assert_fails_after(call % peer.url, self.read_timeout, "Failed to read response: timed out")

    def test_a_peer_that_answers_but_never_closes(self):
        def answer(conn):
            read_request(conn)
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi")
            time.sleep(600)
        peer = self.peer(answer)
        self.assert_fails_after('http.get("%s")' % peer.url, self.read_timeout, "Failed to read response: timed out")

    def test_the_read_limit_counts_from_the_last_byte(self):
        # Four pieces, each well within the limit, together longer than it.
        answer = [b"HTTP/1.1 200 OK\r\n", b"Content-Length: 2\r\n", b"\r\n", b"hi"]
        def trickle(conn):
            read_request(conn)
            for piece in answer:
                time.sleep(self.read_timeout * 0.4)
                conn.sendall(piece)
            conn.close()
        peer = self.peer(trickle)
        elapsed, out, err = self.run_call('http.get("%s")\n    print(r)' % peer.url)
        self.assertEqual((out, err), (b"".join(answer).decode() + "\nafter\n", ""))
        self.assertGreater(elapsed, self.read_timeout * 1.6)

    def test_an_address_that_never_completes_the_handshake(self):
        port, sockets = full_backlog()
        self.addCleanup(lambda: [s.close() for s in sockets])
        self.assert_fails_after('http.get("http://127.0.0.1:%d/")' % port, self.connect_timeout,
                                "Failed to connect to 127.0.0.1:%d: timed out" % port)

    def test_a_peer_that_never_reads_the_request(self):
        # 32 MiB: more than the socket buffers of both ends hold.
        peer = self.peer(lambda conn: time.sleep(600))
        body = "    let body = \"x\"\n    let i = 0\n    while i < 25 {\n        body = body + body\n        i += 1\n    }\n"
        self.assert_fails_after('http.post("%s", body)' % peer.url, self.read_timeout,
                                "Failed to write request: timed out", prelude=body)

    def test_an_endless_response_stops_at_the_size_limit(self):
        def endless(conn):
            read_request(conn)
            conn.sendall(b"HTTP/1.1 200 OK\r\n\r\n")
            while True:
                conn.sendall(b"x" * 65536)
        peer = self.peer(endless)
        elapsed, out, err = self.run_call('http.get("%s")' % peer.url)
        self.assertEqual((out, err), ("after\n", ERROR + "Error in let statement for 'r': "
                                      "Failed to read response: response larger than %d bytes\n" % self.max_bytes))


if __name__ == "__main__":
    peers.VELTRO = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
