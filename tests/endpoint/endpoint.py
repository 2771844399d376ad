#!/usr/bin/env python3
"""A stand-in for the vendor's submission endpoint, for the Wine tests of the submission client.

It listens on 127.0.0.1 and serves as the HTTP proxy that the tests set in the Wine prefix, so that the
program's request still names the product's own host. It keeps its state in a folder that the tests
read and write (Z:\\... under Wine):

    port          the port it listens on
    closed-port   a port on which nothing listens
    answer        written by a test: how to answer the next POSTs (read at each request)
                    "200", "404", ... : that status with its usual reason phrase
                    "301", "302", "303", "307", "308"
                                      : a redirect to http://<host>/php/done, which answers 200 to a
                                        GET
                    "delay S CODE"    : wait S seconds, then answer CODE
                    "hang [S]"        : never answer; close the connection after S seconds (default
                                        120) unless the client goes first
                    "stall [S]"       : answer 200 with the headers and the first bytes of the body,
                                        then nothing more, likewise
                    "truncated"       : answer 200 whose Content-Length promises more than comes,
                                        then close the connection
                    "cut"             : answer 200 in chunks and close the connection inside a chunk
                    "garbage"         : answer bytes without a status line, then close the connection
                    "big [CODE]"      : answer CODE (default 200) with a body of 5 MB
    requests/N/   one folder per request, in arrival order (N = 1, 2, ...), written as soon as the
                  request has been read: "request.txt" (method, target, Host and Content-Type lines),
                  "body" (the body's bytes) and, for a POST, the body as vendor.py decodes it:
                  "verdict.txt" ("ok" or the reason it is refused), "subject.txt", "id.txt" and
                  "values/<name>" per value (UTF-8)

It also answers for the vendor, to a test that asks it directly (not through the proxy setting):

    GET /vendor/script?record=N&remove=PATH&remove=PATH&keep-suspicious=1&min-version=2.0.24
                  the removal script (UTF-8) that vendor.py writes for the support request recorded
                  as N, as "vendor.py script" with those options writes it; 400 with the reason when
                  the tool refuses. Such a GET is not recorded.

    endpoint.py start DIR    starts the endpoint in the background and returns once it listens
    endpoint.py stop DIR     ends the endpoint that `start` started
    endpoint.py serve DIR    runs it in the foreground
"""

import http.server
import os
import pathlib
import select
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "vendor"))
import vendor  # noqa: E402

IDLE_LIMIT = 30 * 60  # an endpoint nobody stopped ends itself after this many idle seconds
HANG_LIMIT = 120
REDIRECTS = (301, 302, 303, 307, 308)  # answered with a Location
BIG_BODY = b"0123456789abcdef" * (5 * 1024 * 1024 // 16)  # the 5 MB body of "big"
RAW_ANSWERS = {  # sent as they are instead of an answer, then the connection is closed
    "truncated": b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\nthe first bytes",
    "cut": b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n"
           b"10\r\nthe first chunk\n\r\n400\r\nthe second chunk, cut",
    "garbage": b"\x00\xff\xfe garbage without a status line\r\n\x01\x02\x03\r\n\r\nmore garbage",
}


class Endpoint(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, folder):
        super().__init__(("127.0.0.1", 0), Handler)
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()
        self.last = time.monotonic()

    def next_record(self):
        with self.lock:
            self.count += 1
            self.last = time.monotonic()
            record = self.folder / "requests" / str(self.count)
        record.mkdir(parents=True)
        return record


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        sys.stderr.write("endpoint: " + (format % args) + "\n")

    def record(self, body):
        record = self.server.next_record()
        (record / "body").write_bytes(body)
        lines = ["method=" + self.command, "target=" + self.path, "host=" + (self.headers.get("Host") or ""),
                 "content-type=" + (self.headers.get("Content-Type") or "")]
        if self.command == "POST":
            try:
                request = vendor.decode(body)
                (record / "subject.txt").write_text(request["subject"], encoding="utf-8")
                (record / "id.txt").write_text(request["id"], encoding="utf-8")
                (record / "values").mkdir()
                for name, value in request["values"].items():
                    (record / "values" / name).write_bytes(str(value).encode("utf-8", errors="surrogatepass"))
                verdict = "ok"
            except (vendor.VendorError, UnicodeDecodeError) as error:
                verdict = str(error)
            (record / "verdict.txt").write_text(verdict, encoding="utf-8")
        # Written last: a test that sees request.txt sees the whole record.
        (record / "request.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")

    def answer(self, code, location=None, body=None, content_type="text/plain"):
        text = body if body is not None else b"answered %d\n" % code
        self.send_response(code)
        if location:
            self.send_header("Location", location)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)

    def hold(self, seconds):
        """Keeps the connection without a word until the client closes it or `seconds` pass."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 0.5)
            if readable and not self.connection.recv(1, socket.MSG_PEEK):
                break
        self.close_connection = True

    def do_GET(self):
        if self.path.startswith("/vendor/script?"):
            self.vendor_script(urllib.parse.parse_qs(self.path.partition("?")[2], keep_blank_values=True))
            return
        self.record(b"")
        self.answer(200)

    def vendor_script(self, query):
        try:
            record = self.server.folder / "requests" / str(int(query["record"][0]))
            request = vendor.decode((record / "body").read_bytes())
            white, black = vendor.lists_for_files(request, query.get("remove", []),
                                                  query.get("keep-suspicious", ["0"])[0] == "1")
            code, text = 200, vendor.script(request, white, black, query.get("min-version", ["2.0.24"])[0])
        except (KeyError, ValueError, OSError, vendor.VendorError) as error:
            code, text = 400, "vendor.py: %s\n" % error
        self.answer(code, body=text.encode("utf-8"), content_type="text/plain; charset=utf-8")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        self.record(body)
        try:
            how = (self.server.folder / "answer").read_text().split()
        except FileNotFoundError:
            how = ["200"]
        if how[0] == "stall":
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"the first bytes")
            self.wfile.flush()
        if how[0] in ("hang", "stall"):
            self.hold(float(how[1]) if len(how) > 1 else HANG_LIMIT)
            return
        if how[0] in RAW_ANSWERS:
            self.wfile.write(RAW_ANSWERS[how[0]])
            self.wfile.flush()
            self.close_connection = True
            return
        if how[0] == "big":
            self.answer(int(how[1]) if len(how) > 1 else 200, body=BIG_BODY)
            return
        if how[0] == "delay":
            time.sleep(float(how[1]))
            how = how[2:]
        code = int(how[0])
        host = self.headers.get("Host") or "localhost"
        self.answer(code, "http://%s/php/done" % host if code in REDIRECTS else None)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def serve(folder):
    folder.mkdir(parents=True, exist_ok=True)
    server = Endpoint(folder)
    (folder / "closed-port").write_text(str(closed_port()))
    (folder / "pid").write_text(str(os.getpid()))
    (folder / "port").write_text(str(server.server_address[1]))
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())

    def watch_idle():
        while time.monotonic() - server.last < IDLE_LIMIT:
            time.sleep(10)
        server.shutdown()

    threading.Thread(target=watch_idle, daemon=True).start()
    server.serve_forever(poll_interval=0.2)
    server.server_close()


def stop(folder):
    pid_file = folder / "pid"
    if not pid_file.exists():
        return
    pid = int(pid_file.read_text())
    pid_file.unlink()
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    for _ in range(100):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)


def start(folder):
    stop(folder)  # an endpoint of an earlier run that nobody stopped
    folder.mkdir(parents=True, exist_ok=True)
    for name in ("port", "answer"):
        (folder / name).unlink(missing_ok=True)
    shutil.rmtree(folder / "requests", ignore_errors=True)
    log = open(folder / "endpoint.log", "ab")
    subprocess.Popen([sys.executable, __file__, "serve", str(folder)], stdin=subprocess.DEVNULL, stdout=log,
                     stderr=log, start_new_session=True)
    for _ in range(200):
        if (folder / "port").exists():
            print("endpoint on port", (folder / "port").read_text())
            return 0
        time.sleep(0.05)
    print("the endpoint did not start; see", folder / "endpoint.log")
    return 1


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        print(__doc__)
        return 2
    folder = pathlib.Path(sys.argv[2]).resolve()
    if sys.argv[1] == "start":
        return start(folder)
    if sys.argv[1] == "stop":
        stop(folder)
        return 0
    serve(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
