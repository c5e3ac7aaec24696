#!/usr/bin/env python3
"""HTTPS test hosts for the Quarvel online setup.

One threaded TLS listener plays both the release host and the package host
(inside harness/netns-run both names resolve to 127.0.0.1), and with
bind="0.0.0.0" also the first names of the two-host test build (127.0.0.2),
which refuse connections while it listens on 127.0.0.1 alone. It serves the
manifest path and the package layout "/downloads/quarvel/<version>/<file>"
from memory or from disk, answers byte ranges correctly by default (206 with
"Content-Range: bytes a-b/total" and an exact Content-Length), injects faults
per request or per scenario, and records every request it receives.

In a test (Python standard library only):

    from quarvel_test_hosts import TestHosts, Fault
    with TestHosts() as hosts:                      # 0.0.0.0:443, build/windows/pki
        hosts.set_manifest(b'{...}')
        hosts.add_package("1.02", "QuarvelSetup.exe", data)
        hosts.queue(Fault(status=503, path="/downloads/"))   # the next package request
        hosts.always(Fault(rate=1_000_000))                  # every request
        hosts.always(Fault(status=503, lasting=10))          # every request for 10 s
        hosts.always(Fault(status=503, host=FIRST_PACKAGE_HOST))  # one host name only
        hosts.always(Fault(flip_at=1_000_000))               # one wrong byte per answer
        ... run the program ...
        hosts.requests                              # [RecordedRequest, ...]
        hosts.sent                                  # {host name: body bytes written}

As a process, for a demo:

    python3 test-hosts/quarvel_test_hosts.py --serve DIR [--pki PKI] [--port 443]

serves DIR's files at their relative paths until interrupted.

Threads: the listener thread accepts; each connection gets its own thread
(handshake, request, answer). Faults, content and the record are shared
under one lock.
"""

import argparse
import collections
import dataclasses
import http.server
import itertools
import json
import os
import pathlib
import signal
import socketserver
import ssl
import threading
import time
import urllib.parse

MANIFEST_PATH = "/api/v2/releases/quarvel/latest.json"
RELEASE_HOST = os.environ.get("QUARVEL_TEST_RELEASE_HOST", "releases.quarvel.test")
PACKAGE_HOST = os.environ.get("QUARVEL_TEST_PACKAGE_HOST", "packages.quarvel.test")
# The names the two-host test build lists before the two above.
FIRST_RELEASE_HOST, FIRST_PACKAGE_HOST = os.environ.get(
    "QUARVEL_TEST_FIRST_HOSTS", "releases-a.quarvel.test packages-a.quarvel.test").split()
DEFAULT_PKI = pathlib.Path(__file__).resolve().parent.parent / "build" / "windows" / "pki"
# Certificates made by harness/make-pki: both test names from the trusted CA,
# the same names from an unknown CA, and another name from the trusted CA.
CERTIFICATES = ("hosts", "rogue", "other-name")


def package_path(version, file_name):
    return f"/downloads/quarvel/{version}/{file_name}"


@dataclasses.dataclass
class Fault:
    """How to spoil (or shape) one answer. Unset fields keep the correct answer."""

    path: str = None          # applies only to request paths starting with this
    exact_path: str = None    # applies only to requests for exactly this path
    host: str = None          # applies only to requests for this host name (Host header)
    status: int = None        # answer with this status; drops the body unless 200/206
    headers: dict = dataclasses.field(default_factory=dict)  # set a header; None removes it
    body: bytes = None        # replaces the body (Content-Length follows it)
    full_body: bool = False   # answer a range request with 200 and the whole file
    extra_bytes: int = 0      # send this many bytes more than the answer holds
    cut_after: int = None     # close the connection after this many body bytes
    flip_at: int = None       # invert the body byte at this offset (answers that reach it)
    stall_before: float = 0   # seconds to wait before the status line
    stall_at: int = None      # after this many body bytes ...
    stall: float = 0          # ... wait this many seconds
    rate: int = None          # bytes per second
    chunk_size: int = 65536   # bytes per write
    lasting: float = None     # an always() fault ends this many seconds after its first request
    began: float = dataclasses.field(default=None, init=False, repr=False)

    def matches(self, request):
        return ((self.path is None or request.path.startswith(self.path)) and
                (self.exact_path is None or request.path == self.exact_path) and
                (self.host is None or request.host == self.host))

    def lasts(self, now):
        """Whether the fault still applies at `now` (the time of a request it matches)."""
        if self.began is None:
            self.began = now
        return self.lasting is None or now < self.began + self.lasting


@dataclasses.dataclass
class RecordedRequest:
    method: str
    target: str               # as sent: path and query, or the absolute form
    path: str
    query: str                # the raw text after "?", "" without one
    headers: list             # [(name, value)] in the order received
    time: float               # time.monotonic() when its headers had arrived

    def header(self, name):
        """The first value of a header (case-insensitive), or None."""
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    @property
    def host(self):
        """The host name the request was for: its Host header without a port."""
        value = self.header("Host") or ""
        return value.rsplit(":", 1)[0] if ":" in value else value


@dataclasses.dataclass
class Answer:
    status: int
    headers: list             # [(name, value)]
    body: "BodySlice"
    extra_bytes: int = 0


@dataclasses.dataclass
class BodySlice:
    content: object           # bytes, or a pathlib.Path read lazily
    first: int = 0
    count: int = 0

    def chunks(self, size):
        """The slice's bytes in pieces of at most size bytes."""
        if isinstance(self.content, (bytes, bytearray)):
            for offset in range(self.first, self.first + self.count, size):
                yield self.content[offset:min(offset + size, self.first + self.count)]
            return
        with open(self.content, "rb") as file:
            file.seek(self.first)
            left = self.count
            while left > 0:
                piece = file.read(min(size, left))
                if not piece:
                    return
                left -= len(piece)
                yield piece


def content_size(content):
    return len(content) if isinstance(content, (bytes, bytearray)) else content.stat().st_size


def parse_range(value, size):
    """(first, last) of a single "bytes=" range, "unsatisfiable", or None to ignore it."""
    if not value or not value.startswith("bytes="):
        return None
    ranges = value[len("bytes="):].strip()
    first_text, dash, last_text = ranges.partition("-")
    if not dash or "," in ranges:
        return None
    if not first_text:  # the last N bytes
        if not last_text.isdigit():
            return None
        suffix = int(last_text)
        return (max(size - suffix, 0), size - 1) if suffix and size else "unsatisfiable"
    if not first_text.isdigit() or (last_text and not last_text.isdigit()):
        return None
    first = int(first_text)
    if last_text and int(last_text) < first:
        return None
    if first >= size:
        return "unsatisfiable"
    last = min(int(last_text), size - 1) if last_text else size - 1
    return first, last


def origin_form(target):
    """The path and query of a request target. Servers must accept the absolute
    form ("https://host:443/path?query"), which WinHTTP under Wine sends inside
    a proxy's CONNECT tunnel; it loses its scheme and authority here."""
    scheme, separator, rest = target.partition("://")
    if not separator or scheme.lower() not in ("http", "https"):
        return target
    slash = rest.find("/")
    return rest[slash:] if slash >= 0 else "/"


def correct_answer(content, range_header):
    """What a sound server answers: 404, 200, 206 or 416."""
    if content is None:
        return Answer(404, [], BodySlice(b""))
    size = content_size(content)
    selected = parse_range(range_header, size)
    if selected is None:
        return Answer(200, [], BodySlice(content, 0, size))
    if selected == "unsatisfiable":
        return Answer(416, [("Content-Range", f"bytes */{size}")], BodySlice(b""))
    first, last = selected
    return Answer(206, [("Content-Range", f"bytes {first}-{last}/{size}")],
                  BodySlice(content, first, last - first + 1))


def spoil(answer, fault, content):
    """The answer after the fault's status, body and header changes."""
    if fault.full_body and content is not None:
        answer = Answer(200, [], BodySlice(content, 0, content_size(content)))
    if fault.status is not None:
        answer.status = fault.status
        if fault.status not in (200, 206):
            answer.headers = [h for h in answer.headers if h[0] != "Content-Range"]
            answer.body = BodySlice(b"")
    if fault.body is not None:
        answer.body = BodySlice(fault.body, 0, len(fault.body))
    answer.extra_bytes = fault.extra_bytes
    headers = dict(answer.headers)
    headers["Content-Length"] = str(answer.body.count + answer.extra_bytes)
    for name, value in fault.headers.items():
        headers.pop(name, None)
        if value is not None:
            headers[name] = value
    answer.headers = list(headers.items())
    return answer


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuarvelTestHosts/1"

    def log_message(self, format, *args):  # the record replaces the access log
        pass

    def do_GET(self):
        hosts = self.server.hosts
        request = hosts._record(self)
        self.host = request.host
        fault = hosts._fault_for(request)
        content = hosts.content_for(request.path)
        answer = spoil(correct_answer(content, request.header("Range")), fault, content)
        hosts._wait(fault.stall_before)
        self.send_response_only(answer.status)
        defaults = {"Server": self.version_string(), "Date": self.date_time_string()}
        for name, value in {**defaults, **dict(answer.headers)}.items():
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            self._write_body(answer, fault)
        except (ConnectionError, ssl.SSLError, OSError):
            pass  # the client went away

    def _write_body(self, answer, fault):
        chunk_size = fault.chunk_size
        if fault.rate:
            chunk_size = max(1, min(chunk_size, fault.rate // 20))
        pieces = itertools.chain(flipped(answer.body.chunks(chunk_size), fault.flip_at),
                                 extra_chunks(answer.extra_bytes, chunk_size))
        sent, started, stalled = 0, time.monotonic(), fault.stall_at is None
        for piece in pieces:
            view = memoryview(piece)
            while view:
                if not stalled and sent >= fault.stall_at:
                    self.server.hosts._wait(fault.stall)
                    stalled = True
                room = len(view) if stalled else min(len(view), fault.stall_at - sent)
                if fault.cut_after is not None:
                    room = min(room, fault.cut_after - sent)
                    if room <= 0:
                        return
                self.wfile.write(view[:room])
                self.server.hosts._sent(self.host, room)
                sent += room
                view = view[room:]
                if fault.rate:
                    self.server.hosts._wait(started + sent / fault.rate - time.monotonic())
        if not stalled:
            self.server.hosts._wait(fault.stall)


def flipped(pieces, offset):
    """The pieces with the byte at `offset` of their whole inverted, if they reach it."""
    start = 0
    for piece in pieces:
        if offset is not None and start <= offset < start + len(piece):
            piece = bytearray(piece)
            piece[offset - start] ^= 0xFF
        start += len(piece)
        yield piece


def extra_chunks(count, size):
    for offset in range(0, count, size):
        yield b"\xee" * min(size, count - offset)


class _TlsServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    block_on_close = False

    def __init__(self, address, hosts):
        self.hosts = hosts
        super().__init__(address, _Handler)

    def get_request(self):
        connection, address = self.socket.accept()
        self.hosts._connected()
        context = self.hosts._context()
        return context.wrap_socket(connection, server_side=True,
                                   do_handshake_on_connect=False), address

    def finish_request(self, request, client_address):
        try:  # in the connection's own thread, so a slow client delays no one else
            request.settimeout(30)
            request.do_handshake()
        except (ssl.SSLError, OSError) as error:
            self.hosts._handshake_failed(error)
            return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        pass  # a client that hung up mid-request is no news


class TestHosts:
    """The two hosts on one listener. Use as a context manager or start()/stop()."""

    def __init__(self, pki_dir=None, bind="0.0.0.0", port=443, certificate="hosts"):
        self.pki_dir = pathlib.Path(pki_dir or os.environ.get("QUARVEL_PKI_DIR") or DEFAULT_PKI)
        self.address = (bind, port)
        self.files = {}            # path -> bytes or pathlib.Path
        self.root = None           # a folder served at its relative paths, after files
        self.request_log = None    # a file object: one JSON line per request
        self.connections = 0       # TCP connections accepted
        self.sent = collections.Counter()  # host name -> body bytes written to its connections
        self.handshake_failures = []
        self._lock = threading.Lock()
        self._requests = []
        self._queued = []
        self._always = []
        self._contexts = {}
        self._certificate = certificate
        self._stopping = threading.Event()
        self._server = None
        self._thread = None

    # Content.
    def set_manifest(self, body):
        self.files[MANIFEST_PATH] = body

    def add_package(self, version, file_name, content):
        """content: bytes, or a path to a file read when served."""
        if not isinstance(content, (bytes, bytearray)):
            content = pathlib.Path(content)
        self.files[package_path(version, file_name)] = content
        return f"https://{PACKAGE_HOST}{package_path(version, file_name)}"

    def serve_directory(self, root):
        self.root = pathlib.Path(root).resolve()

    def content_for(self, path):
        with self._lock:
            content = self.files.get(path)
        if content is not None or self.root is None:
            return content
        candidate = (self.root / urllib.parse.unquote(path).lstrip("/")).resolve()
        inside = candidate == self.root or self.root in candidate.parents
        return candidate if inside and candidate.is_file() else None

    # Faults.
    def queue(self, *faults):
        """One-shot faults: each spoils the first later request it matches."""
        with self._lock:
            self._queued.extend(faults)

    def always(self, *faults):
        """Scenario faults: the first matching one shapes every request no queued fault took."""
        with self._lock:
            self._always.extend(faults)

    def clear_faults(self):
        with self._lock:
            self._queued.clear()
            self._always.clear()

    def use_certificate(self, name):
        """Serve later connections with "hosts", "rogue" or "other-name"."""
        if name not in CERTIFICATES:
            raise ValueError(name)
        with self._lock:
            self._certificate = name

    # The record.
    @property
    def requests(self):
        with self._lock:
            return list(self._requests)

    def clear_requests(self):
        with self._lock:
            self._requests.clear()
            self.sent.clear()
            self.connections = 0
            self.handshake_failures.clear()

    # Life.
    def start(self):
        self._context()  # fail here, not in the listener, when a certificate is missing
        self._server = _TlsServer(self.address, self)
        self.address = self._server.server_address
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()  # ends every stall at once
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._thread.join()
            self._server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # Used by the connection threads.
    def _context(self):
        with self._lock:
            name = self._certificate
            if name not in self._contexts:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(self.pki_dir / f"{name}.pem", self.pki_dir / f"{name}.key")
                self._contexts[name] = context
            return self._contexts[name]

    def _record(self, handler):
        path, _, query = origin_form(handler.path).partition("?")
        request = RecordedRequest(handler.command, handler.path, path, query,
                                  list(handler.headers.items()), time.monotonic())
        with self._lock:
            self._requests.append(request)
            if self.request_log is not None:
                self.request_log.write(json.dumps(dataclasses.asdict(request)) + "\n")
                self.request_log.flush()
        return request

    def _fault_for(self, request):
        with self._lock:
            for index, fault in enumerate(self._queued):
                if fault.matches(request):
                    return self._queued.pop(index)
            return next((f for f in self._always
                         if f.matches(request) and f.lasts(request.time)), Fault())

    def _sent(self, host, count):
        with self._lock:
            self.sent[host] += count

    def _connected(self):
        with self._lock:
            self.connections += 1

    def _handshake_failed(self, error):
        with self._lock:
            self.handshake_failures.append(str(error))

    def _wait(self, seconds):
        if seconds > 0:
            self._stopping.wait(seconds)


def main():
    parser = argparse.ArgumentParser(description="Serve a folder as the Quarvel test hosts.")
    parser.add_argument("--serve", required=True, help="folder served at its relative paths")
    parser.add_argument("--pki", help="certificate folder (harness/make-pki)")
    parser.add_argument("--bind", default="0.0.0.0")
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--certificate", choices=CERTIFICATES, default="hosts")
    parser.add_argument("--rate", type=int, help="bytes per second for every answer")
    parser.add_argument("--log", help="append one JSON line per request to this file")
    arguments = parser.parse_args()

    hosts = TestHosts(arguments.pki, arguments.bind, arguments.port, arguments.certificate)
    hosts.serve_directory(arguments.serve)
    if arguments.rate:
        hosts.always(Fault(rate=arguments.rate))
    if arguments.log:
        hosts.request_log = open(arguments.log, "a", encoding="utf-8")
    stop_signals = {signal.SIGTERM, signal.SIGINT}
    signal.pthread_sigmask(signal.SIG_BLOCK, stop_signals)  # the threads inherit the mask
    with hosts:
        print(f"serving {arguments.serve} on {hosts.address[0]}:{hosts.address[1]}", flush=True)
        signal.sigwait(stop_signals)


if __name__ == "__main__":
    main()
