#!/usr/bin/env python3
"""A file server on the loopback interface for the tests, with the faults networks have.

tile_server.py ROOT [--max-age SECONDS] [--log FILE] [GLOB=KIND ...]

Serves ROOT over HTTP/1.1 on 127.0.0.1, on a port of the system's choosing, which it prints on
the first line of standard output once it listens. Answers carry an ETag, a Last-Modified and
Cache-Control: max-age (0 unless given), a 404 too; If-None-Match or If-Modified-Since get 304.
The first fault whose glob matches the request's path spoils the answer:

  slow:S     waits S seconds before answering
  hang       sends the headers and half the body, then nothing more
  truncate   promises the whole file in Content-Length, sends half, and closes
  drop       closes the connection without an answer
  404, 500   that status (flaky:N: 500 for the path's first N requests, then the file)
  429:S      429 with Retry-After: S for the path's first request, then the file
  oversize   sends 20 MiB of zeros (loop, ftp: a redirect to the same path, or to it on ftp://127.0.0.1)

Each request goes to the log, if given, as "METHOD PATH STATUS" on a line of its own.
"""
import argparse
import email.utils
import fnmatch
import hashlib
import http.server
import os
import sys
import threading
import time

parser = argparse.ArgumentParser()
parser.add_argument("root")
parser.add_argument("--max-age", type=int, default=0)
parser.add_argument("--log")
parser.add_argument("faults", nargs="*")
arguments = parser.parse_intermixed_args()
faults = [rule.split("=", 1) for rule in arguments.faults]
counts, lock = {}, threading.Lock()   # requests by path


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True   # else every answer's body waits for the client's delayed ACK

    log_message = lambda *_: None   # quiet: the log holds what the tests count

    def logged(self, status):
        if arguments.log:
            with lock, open(arguments.log, "a") as log:
                log.write(f"{self.command} {self.path} {status}\n")

    def plain(self, status, body=b"", headers=(), length=None, logged_as=None):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if status != 304:
            self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)   # unbuffered: a hanging answer's half goes out at once
        self.logged(logged_as or status)

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        with lock:
            counts[path] = seen = counts.get(path, 0) + 1
        kind = next((kind for glob, kind in faults if fnmatch.fnmatch(path, glob)), "")
        if kind.startswith("slow:"):
            time.sleep(float(kind[5:]))
        elif kind in ("404", "500") or (kind.startswith("flaky:") and seen <= int(kind[6:])):
            return self.plain(int(kind) if kind[0].isdigit() else 500, b"fault\n")
        elif kind.startswith("429:") and seen == 1:
            return self.plain(429, b"slow down\n", [("Retry-After", kind[4:])])
        elif kind == "drop":
            self.close_connection = True
            return self.logged("drop")
        elif kind in ("loop", "ftp"):
            return self.plain(302, b"", [("Location", ("ftp://127.0.0.1" if kind == "ftp" else "") + path)])
        elif kind == "oversize":
            return self.plain(200, bytes(20 << 20))
        file = os.path.join(arguments.root, path.lstrip("/"))
        headers = [("Cache-Control", f"max-age={arguments.max_age}")]
        if ".." in path.split("/") or not os.path.isfile(file):
            return self.plain(404, b"no such file\n", headers)
        with open(file, "rb") as opened:
            body = opened.read()
        tag = '"' + hashlib.sha1(body).hexdigest() + '"'
        modified = email.utils.formatdate(os.path.getmtime(file), usegmt=True)
        headers += [("ETag", tag), ("Last-Modified", modified)]
        if self.headers.get("If-None-Match") == tag or (self.headers.get("If-Modified-Since") == modified and "If-None-Match" not in self.headers):
            return self.plain(304, b"", headers)
        if kind in ("hang", "truncate"):
            self.plain(200, body[: len(body) // 2], length=len(body), logged_as=kind)
            self.close_connection = True
            return time.sleep(3600) if kind == "hang" else None
        self.plain(200, body, headers)


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 128   # a client opening many connections at once would see the fifth wait a second

    def handle_error(self, request, client_address):
        # Clients hang up on purpose: on a timeout, or on an answer larger than they take.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
