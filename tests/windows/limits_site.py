#!/usr/bin/env python3
"""A loopback site for the Windows HTTP client's limits: a page that never answers, one that stops
halfway through its body, redirects without end and in counted hops, one to a file address,
bodies of any size (announced or chunked), a chunked body that trickles without end (/endless:
64 KiB every 200 ms), a page that changes on every fetch while inviting caches to keep it, a status
page, counted pages: /counted/NAME answers "request N" (N counts that path's requests) and
/count/NAME tells N without counting, /to/HOST:PORT/PATH redirects to http://HOST:PORT/PATH and
/host answers the Host header it was sent.
It answers on 127.0.0.1 and, at the same port, on 127.0.0.2, which the tests count as an outside
site.
Usage: limits_site.py PORT_FILE (the chosen port is written there)."""
import http.server
import sys
import threading
import time

lock = threading.Lock()
state = {"changing": 0, "hops": 0}
counted = {}


class Site(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, location):
        with lock:
            state["hops"] += 1
        self.answer(302, b"", [("Location", location)])

    def stream(self, size, chunked, pause=0):
        """Sends `size` bytes (without end when negative), pausing `pause` seconds a block."""
        self.send_response(200)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        block = b"x" * 65536
        try:
            while size != 0:
                part = block[:size] if 0 < size < len(block) else block
                size -= len(part) if size > 0 else 0
                self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part) if chunked else part)
                time.sleep(pause)
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
        except OSError:
            pass  # the client gave up, as it should over its cap

    def do_GET(self):
        path = self.path
        if path == "/stall":
            threading.Event().wait()  # reads the request, never answers
        elif path == "/stall-body":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"x" * 500)
            self.wfile.flush()
            threading.Event().wait()
        elif path.startswith("/loop/"):
            self.redirect("/loop/%d" % (int(path[6:]) + 1))
        elif path.startswith("/hops/"):
            left = int(path[6:])
            if left > 0:
                self.redirect("/hops/%d" % (left - 1))
            else:
                self.answer(200, b"arrived")
        elif path == "/hop-count":
            with lock:
                count, state["hops"] = state["hops"], 0
            self.answer(200, str(count).encode())
        elif path.startswith("/to/"):
            self.redirect("http://" + path[4:])
        elif path == "/host":
            self.answer(200, self.headers.get("Host", "").encode())
        elif path == "/to-file":
            self.redirect("file:///C:/windows/win.ini")
        elif path.startswith("/bytes/"):
            self.stream(int(path[7:]), chunked=False)
        elif path.startswith("/chunked/"):
            self.stream(int(path[9:]), chunked=True)
        elif path == "/endless":
            self.stream(-1, chunked=True, pause=0.2)
        elif path == "/changing":
            with lock:
                state["changing"] += 1
                body = b"version %d" % state["changing"]
            self.answer(200, body, [("Cache-Control", "public, max-age=86400"),
                                    ("Expires", "Thu, 01 Jan 2099 00:00:00 GMT"),
                                    ("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"),
                                    ("ETag", '"one-etag"')])
        elif path.startswith("/counted/"):
            with lock:
                counted[path[9:]] = counted.get(path[9:], 0) + 1
                body = b"request %d" % counted[path[9:]]
            self.answer(200, body, [("Cache-Control", "public, max-age=86400")])
        elif path.startswith("/count/"):
            with lock:
                count = counted.get(path[7:], 0)
            self.answer(200, str(count).encode())
        elif path.split("?", 1)[0] == "/missing":  # a query too, for the event log's check
            self.answer(404, b"not here")
        else:
            self.answer(200, b"hello")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Site)
    outside = Server(("127.0.0.2", server.server_address[1]), Site)
    threading.Thread(target=outside.serve_forever, daemon=True).start()
    with open(sys.argv[1], "w") as out:
        out.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
