"""The client (http.get, http.post, http.send) against real peers: Python's
http.server, a raw socket that records the exact request bytes, and veltro's
own server.

Usage: python3 test_http_client.py /path/to/veltro
"""
import http.server
import os
import socket
import sys
import threading
import unittest

import test_http_server as peers


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


if __name__ == "__main__":
    peers.VELTRO = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
