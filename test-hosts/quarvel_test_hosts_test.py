"""Checks the test hosts themselves with Python's own HTTPS client, on a free
loopback port (no namespace or Wine needed; the certificates of harness/make-pki
are). Run: python3 test-hosts/quarvel_test_hosts_test.py"""

import http.client
import os
import pathlib
import ssl
import tempfile
import unittest

from quarvel_test_hosts import MANIFEST_PATH, Fault, TestHosts

CONTENT = bytes(range(256)) * 4  # 1024 bytes
PATH = "/downloads/quarvel/1.02/Setup.exe"


class TestHostsTest(unittest.TestCase):
    def setUp(self):
        build = os.environ.get("QUARVEL_BUILD_DIR")
        pki = pathlib.Path(build) / "pki" if build else None
        self.hosts = TestHosts(pki, bind="127.0.0.1", port=0).start()
        self.addCleanup(self.hosts.stop)
        self.hosts.add_package("1.02", "Setup.exe", CONTENT)
        self.hosts.set_manifest(b"{}")
        self.trusted = ssl.create_default_context(cafile=str(self.hosts.pki_dir / "ca.pem"))

    def get(self, path, **headers):
        """(status, headers, body) of one GET; the body as far as it came."""
        connection = http.client.HTTPSConnection("localhost", self.hosts.address[1],
                                                 context=self.trusted, timeout=10)
        try:
            connection.request("GET", path, headers=headers)
            response = connection.getresponse()
            try:
                body = response.read()
            except http.client.IncompleteRead as incomplete:
                body = incomplete.partial
            return response.status, dict(response.getheaders()), body
        finally:
            connection.close()

    def test_serves_ranges_like_a_sound_server(self):
        cases = [
            (None, 200, None, CONTENT),
            ("bytes=0-9", 206, "bytes 0-9/1024", CONTENT[:10]),
            ("bytes=1000-", 206, "bytes 1000-1023/1024", CONTENT[1000:]),
            ("bytes=-5", 206, "bytes 1019-1023/1024", CONTENT[-5:]),
            ("bytes=512-999999", 206, "bytes 512-1023/1024", CONTENT[512:]),
            ("bytes=1024-", 416, "bytes */1024", b""),
            ("bytes=5-2", 200, None, CONTENT),
            ("bytes=0-1,3-4", 200, None, CONTENT),
        ]
        for range_header, status, content_range, body in cases:
            with self.subTest(range=range_header):
                headers = {"Range": range_header} if range_header else {}
                got_status, got_headers, got_body = self.get(PATH, **headers)
                self.assertEqual(got_status, status)
                self.assertEqual(got_headers.get("Content-Range"), content_range)
                self.assertEqual(got_headers["Content-Length"], str(len(body)))
                self.assertEqual(got_body, body)
        self.assertEqual(self.get("/downloads/quarvel/1.02/Other.exe")[0], 404)

    def test_serves_a_folder_without_leaving_it(self):
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder) / "root"
            (root / "downloads").mkdir(parents=True)
            (root / "downloads" / "a.bin").write_bytes(b"abc")
            (pathlib.Path(folder) / "secret").write_bytes(b"no")
            self.hosts.serve_directory(root)
            self.assertEqual(self.get("/downloads/a.bin", Range="bytes=1-1")[2], b"b")
            self.assertEqual(self.get("/../secret")[0], 404)
            self.assertEqual(self.get("/downloads/%2e%2e/../secret")[0], 404)
            self.assertEqual(self.get("/downloads")[0], 404)

    def test_queued_faults_spoil_one_matching_request_each(self):
        self.hosts.queue(Fault(exact_path=PATH, status=503), Fault(path="/downloads/", status=503))
        self.assertEqual(self.get(MANIFEST_PATH)[0], 200)
        self.assertEqual(self.get(PATH + ".chunks")[0], 503, "a longer path is only the prefix's")
        status, headers, body = self.get(PATH, Range="bytes=0-9")
        self.assertEqual((status, headers.get("Content-Range"), body), (503, None, b""))
        self.assertEqual(self.get(PATH, Range="bytes=0-9")[0], 206)

    def test_faults_shape_status_headers_and_body(self):
        cases = [
            (Fault(full_body=True), 200, {"Content-Length": "1024"}, CONTENT),
            (Fault(headers={"Content-Range": "bytes 1-10/1024"}), 206,
             {"Content-Range": "bytes 1-10/1024"}, CONTENT[:10]),
            (Fault(headers={"Content-Length": None}), 206, {"Content-Length": None}, CONTENT[:10]),
            (Fault(extra_bytes=5), 206, {"Content-Length": "15", "Content-Range": "bytes 0-9/1024"},
             CONTENT[:10] + b"\xee" * 5),
            (Fault(cut_after=4), 206, {"Content-Length": "10"}, CONTENT[:4]),
            (Fault(flip_at=3), 206, {"Content-Length": "10"},
             CONTENT[:3] + bytes([CONTENT[3] ^ 0xFF]) + CONTENT[4:10]),
            (Fault(flip_at=10), 206, {}, CONTENT[:10]),
            (Fault(status=302, headers={"Location": "https://x/y"}), 302,
             {"Location": "https://x/y", "Content-Length": "0"}, b""),
            (Fault(body=b"oops", status=500), 500, {"Content-Length": "4"}, b"oops"),
            (Fault(stall_at=3, stall=0.05, rate=100_000, chunk_size=2), 206, {}, CONTENT[:10]),
        ]
        for fault, status, expected_headers, body in cases:
            with self.subTest(fault=fault):
                self.hosts.clear_faults()
                self.hosts.always(fault)
                got_status, got_headers, got_body = self.get(PATH, Range="bytes=0-9")
                self.assertEqual(got_status, status)
                for name, value in expected_headers.items():
                    self.assertEqual(got_headers.get(name), value, name)
                self.assertEqual(got_body, body)

    def test_records_every_request(self):
        self.get(PATH + "?quarvel_range=0-9-0-100", Range="bytes=0-9", **{"X-Test": "1"})
        [request] = self.hosts.requests
        self.assertEqual((request.method, request.path), ("GET", PATH))
        self.assertEqual(request.query, "quarvel_range=0-9-0-100")
        self.assertEqual(request.header("range"), "bytes=0-9")
        self.assertEqual(request.header("X-Test"), "1")
        self.assertEqual(self.hosts.connections, 1)
        self.assertEqual(self.hosts.sent, {"localhost": 10})
        self.assertEqual(self.get(f"https://localhost:443{PATH}?q=1")[2], CONTENT)
        absolute = self.hosts.requests[1]
        self.assertEqual((absolute.path, absolute.query), (PATH, "q=1"))

    def test_rogue_and_other_name_certificates_fail_verification(self):
        for certificate in ("rogue", "other-name"):
            with self.subTest(certificate=certificate):
                self.hosts.use_certificate(certificate)
                with self.assertRaises(ssl.SSLCertVerificationError):
                    self.get(MANIFEST_PATH)
        self.assertEqual(self.hosts.requests, [])


if __name__ == "__main__":
    unittest.main()
