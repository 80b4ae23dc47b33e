"""Times plain requests while slow clients hold connections to the server.

Usage: python3 slow_clients.py PORT [--idle 60] [--drip 20] [--requests 60] [--interval 0.1] [--budget 60]

Idle clients connect and send nothing; dripping clients send "GET /" and then
one byte every 0.4 s, never finishing the request line. A client the server
closes is replaced, so all of them stay attached for the whole run. Meanwhile
plain requests (GET / with Connection: close, read to the end) are timed one
after another, `interval` apart. Prints one line: the slowest and the median
request, how many failed and how many slow clients were attached. Requests
stop after `budget` seconds, so a server that serves one client at a time
cannot make the run last for ever.
"""
import argparse
import selectors
import socket
import statistics
import threading
import time

DRIP_PERIOD = 0.4


class SlowClients:
    def __init__(self, port, idle, drip):
        self.port = port
        self.kinds = ["idle"] * idle + ["drip"] * drip
        self.socks = [None] * len(self.kinds)
        self.selector = selectors.DefaultSelector()
        self.stop = threading.Event()
        self.replaced = 0
        for i in range(len(self.kinds)):
            self.open(i)
        self.thread = threading.Thread(target=self.loop, daemon=True)
        self.thread.start()

    def open(self, i):
        s = socket.create_connection(("127.0.0.1", self.port))
        s.setblocking(False)
        if self.kinds[i] == "drip":
            s.send(b"GET /")
        self.socks[i] = s
        self.selector.register(s, selectors.EVENT_READ, i)

    def replace(self, i):
        self.selector.unregister(self.socks[i])
        self.socks[i].close()
        self.replaced += 1
        self.open(i)

    def loop(self):
        next_drip = time.monotonic() + DRIP_PERIOD
        while not self.stop.is_set():
            # Anything the server sends (an answer, or its close) means it let go.
            for key, _ in self.selector.select(timeout=max(0.0, next_drip - time.monotonic())):
                i = key.data
                try:
                    data = self.socks[i].recv(65536)
                except OSError:
                    data = b""
                if not data:
                    self.replace(i)
            if time.monotonic() >= next_drip:
                next_drip += DRIP_PERIOD
                for i, kind in enumerate(self.kinds):
                    if kind == "drip":
                        try:
                            self.socks[i].send(b"a")
                        except OSError:
                            self.replace(i)

    def close(self):
        self.stop.set()
        self.thread.join()
        for s in self.socks:
            s.close()


def plain_request(port):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(b"GET / HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n")
        with s.makefile("rb") as answer:
            return answer.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("--idle", type=int, default=60)
    parser.add_argument("--drip", type=int, default=20)
    parser.add_argument("--requests", type=int, default=60)
    parser.add_argument("--interval", type=float, default=0.1)
    parser.add_argument("--budget", type=float, default=60.0, help="stop sending requests after this many seconds")
    args = parser.parse_args()

    clients = SlowClients(args.port, args.idle, args.drip)
    time.sleep(0.5)  # let the server take them all in
    times, failed = [], 0
    give_up = time.monotonic() + args.budget
    for _ in range(args.requests):
        if time.monotonic() > give_up:
            break
        start = time.monotonic()
        try:
            answer = plain_request(args.port)
        except OSError:
            answer = b""
        times.append(time.monotonic() - start)
        if answer.split(b"\r\n", 1)[0] not in (b"HTTP/1.1 200 OK", b"HTTP/1.0 200 OK"):
            failed += 1
        time.sleep(args.interval)
    clients.close()
    print("slowest %.1f ms, median %.1f ms of %d plain requests (%d failed); %d slow clients attached, %d replaced"
          % (max(times) * 1000, statistics.median(times) * 1000, len(times), failed,
             len(clients.kinds), clients.replaced))


if __name__ == "__main__":
    main()
