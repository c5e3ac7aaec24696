"""End-to-end tests of the HTTPS transport and the manifest fetch: http-probe
(the program's own transport, built with the test host names) runs under Wine
against the test hosts on port 443 inside the test namespace."""

import hashlib
import re
import time
import unittest

import e2e_support
from e2e_support import PACKAGE_HOST, RELEASE_HOST
from quarvel_test_hosts import MANIFEST_PATH, Fault

PROBE = e2e_support.TEST_BIN / "http-probe.exe"
USER_AGENT = "QuarvelOnlineSetup/1.02"
NETWORK_ERROR = re.compile(r"^网络连接中断（(\d+)）；请重试继续下载$")
PACKAGE_PATH = "/downloads/quarvel/1.02/QuarvelSetup-27.exe"
PACKAGE = bytes((i * 31 + i // 256) % 256 for i in range(300_000))
MANIFEST = b'{"release":"1.02"}'


def sha256(data):
    return hashlib.sha256(data).hexdigest()


class TransportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        e2e_support.require_test_network()
        cls.hosts = e2e_support.test_hosts().start()
        cls.package_url = cls.hosts.add_package("1.02", "QuarvelSetup-27.exe", PACKAGE)

    @classmethod
    def tearDownClass(cls):
        cls.hosts.stop()

    def setUp(self):
        self.hosts.clear_faults()
        self.hosts.clear_requests()
        self.hosts.use_certificate("hosts")
        self.hosts.set_manifest(MANIFEST)

    def probe(self, *arguments, timeout=60):
        """The probe's one outcome line."""
        finished = e2e_support.run_windows(PROBE, *arguments, timeout=timeout)
        self.assertEqual(finished.returncode, 0, finished.stderr.decode(errors="replace"))
        lines = e2e_support.json_lines(finished.stdout)
        self.assertEqual(len(lines), 1, finished.stdout)
        return lines[0]

    def only_request(self):
        requests = self.hosts.requests
        self.assertEqual(len(requests), 1, requests)
        return requests[0]

    def test_manifest_request_carries_exactly_the_program_headers(self):
        outcome = self.probe("manifest")
        self.assertEqual(outcome["status"], 200)
        self.assertEqual(outcome["manifestBytes"], len(MANIFEST))
        self.assertEqual(outcome["manifestSha256"], sha256(MANIFEST))
        request = self.only_request()
        self.assertEqual(request.method, "GET")
        self.assertEqual(request.target, MANIFEST_PATH)
        self.assertEqual(dict(request.headers), {
            "User-Agent": USER_AGENT,
            "Host": RELEASE_HOST,
            "Accept-Encoding": "identity",
            "Connection": "close",
        })
        names = [name for name, _ in request.headers]
        self.assertLess(names.index("Accept-Encoding"), names.index("Connection"))

    def test_ranged_request_sends_range_header_and_unique_query(self):
        before = time.time_ns()
        first = self.probe("range", self.package_url, 0, 999, 2)
        second = self.probe("range", self.package_url, 0, 999, 2)
        after = time.time_ns()
        for outcome in (first, second):
            self.assertEqual(outcome["status"], 206)
            self.assertEqual(outcome["headers"]["Content-Range"], f"bytes 0-999/{len(PACKAGE)}")
            self.assertEqual(outcome["headers"]["Content-Length"], "1000")
            self.assertEqual(outcome["bodyBytes"], 1000)
            self.assertEqual(outcome["sha256"], sha256(PACKAGE[:1000]))
        requests = self.hosts.requests
        self.assertEqual(len(requests), 2)
        for request in requests:
            self.assertEqual(request.path, PACKAGE_PATH)
            match = re.fullmatch(r"quarvel_range=0-999-2-(\d+)", request.query)
            self.assertIsNotNone(match, request.query)
            nanoseconds = int(match.group(1))
            self.assertTrue(match.group(1).endswith("00"))
            self.assertLessEqual(before - 10**9, nanoseconds)
            self.assertLessEqual(nanoseconds, after + 10**9)
            self.assertEqual(request.header("Range"), "bytes=0-999")
            self.assertEqual(request.header("Host"), PACKAGE_HOST)
            self.assertEqual(request.header("User-Agent"), USER_AGENT)
            self.assertEqual(len(request.headers), 5, request.headers)
        self.assertNotEqual(requests[0].query, requests[1].query)

    def test_plain_get_with_a_range_has_no_query(self):
        outcome = self.probe("get", self.package_url, 299_990, 299_999)
        self.assertEqual(outcome["status"], 206)
        self.assertEqual(outcome["sha256"], sha256(PACKAGE[299_990:]))
        request = self.only_request()
        self.assertEqual(request.query, "")
        self.assertEqual(request.header("Range"), "bytes=299990-299999")

    def test_redirects_come_back_unfollowed(self):
        elsewhere = f"https://{RELEASE_HOST}/elsewhere.json"
        self.hosts.set_manifest(b"should not be read")
        self.hosts.files["/elsewhere.json"] = MANIFEST
        for status in (301, 302):
            with self.subTest(status=status):
                self.hosts.clear_requests()
                self.hosts.always(Fault(path="/downloads/", status=status,
                                        headers={"Location": elsewhere}))
                outcome = self.probe("get", self.package_url)
                self.assertEqual(outcome["status"], status)
                self.assertEqual(outcome["headers"]["Location"], elsewhere)
                self.assertEqual(outcome["bodyBytes"], 0)
                self.hosts.clear_faults()
                self.hosts.always(Fault(status=status, headers={"Location": elsewhere}))
                outcome = self.probe("manifest")
                self.assertEqual(outcome["message"], f"获取版本失败（HTTP {status}）")
                self.assertEqual([r.path for r in self.hosts.requests],
                                 [PACKAGE_PATH, MANIFEST_PATH], "no request for the Location")
                self.hosts.clear_faults()

    def test_manifest_statuses_other_than_200_are_refused(self):
        for status in (304, 404, 500, 206):
            with self.subTest(status=status):
                self.hosts.clear_faults()
                self.hosts.always(Fault(status=status))
                outcome = self.probe("manifest")
                self.assertEqual(outcome["status"], status)
                self.assertEqual(outcome["message"], f"获取版本失败（HTTP {status}）")
                self.assertEqual(outcome["bodyBytes"], 0)

    def test_manifest_body_limit_holds_however_the_body_arrives(self):
        shapes = {
            "one write": Fault(),
            "1000-byte writes": Fault(chunk_size=1000),
            "throttled": Fault(rate=400_000, chunk_size=777),
        }
        for size, accepted in ((65_536, True), (65_537, False)):
            body = bytes(i % 251 for i in range(size))
            self.hosts.set_manifest(body)
            for shape, fault in shapes.items():
                with self.subTest(size=size, shape=shape):
                    self.hosts.clear_faults()
                    self.hosts.always(fault)
                    outcome = self.probe("manifest")
                    self.assertLessEqual(outcome["largestRead"], 4096)
                    if accepted:
                        self.assertNotIn("message", outcome)
                        self.assertEqual(outcome["manifestBytes"], size)
                        self.assertEqual(outcome["manifestSha256"], sha256(body))
                    else:
                        self.assertEqual(outcome["message"], "版本信息过大")
                        self.assertNotIn("manifestBytes", outcome)

    def test_empty_manifest_body_is_returned_empty(self):
        self.hosts.set_manifest(b"")
        outcome = self.probe("manifest")
        self.assertNotIn("message", outcome)
        self.assertEqual(outcome["manifestBytes"], 0)

    def test_pause_makes_the_next_read_fail(self):
        self.hosts.always(Fault(chunk_size=1000, rate=200_000))
        outcome = self.probe("get", self.package_url, "--pause-after", 1, "--read-size", 4096)
        self.assertEqual(outcome["message"], "下载已暂停，可重试继续下载")
        self.assertEqual(outcome["reads"], 1)
        self.assertLess(outcome["bodyBytes"], len(PACKAGE))
        self.hosts.set_manifest(bytes(20_000))
        outcome = self.probe("manifest", "--pause-after", 2)
        self.assertEqual(outcome["message"], "下载已暂停，可重试继续下载")
        self.assertEqual(outcome["reads"], 2)
        self.assertNotIn("manifestBytes", outcome)

    def test_bad_addresses_are_refused_before_any_network_use(self):
        refusals = {
            f"HTTPS://{RELEASE_HOST}/x": "必须使用 HTTPS 下载",
            f"http://{RELEASE_HOST}/x": "必须使用 HTTPS 下载",
            "https:/": "必须使用 HTTPS 下载",
            f"https://{RELEASE_HOST}": "必须使用 HTTPS 下载",
            f"https://{RELEASE_HOST}:443/x": "下载主机无效",
            f"https://{RELEASE_HOST.upper()}/x": "下载主机无效",
            f"https://{PACKAGE_HOST}./x": "下载主机无效",
            "https://localhost/x": "下载主机无效",
        }
        for address, message in refusals.items():
            with self.subTest(address=address):
                self.assertEqual(self.probe("get", address), {"message": message})
                self.assertEqual(self.probe("range", address, 0, 9, 0), {"message": message})
        self.assertEqual(self.hosts.connections, 0)
        self.assertEqual(self.hosts.requests, [])

    def test_certificates_that_do_not_prove_the_host_are_refused(self):
        for certificate in ("rogue", "other-name"):
            with self.subTest(certificate=certificate):
                self.hosts.use_certificate(certificate)
                for arguments in (("manifest",), ("get", self.package_url)):
                    outcome = self.probe(*arguments)
                    self.assertEqual(list(outcome), ["message"], outcome)
                    self.assertRegex(outcome["message"], NETWORK_ERROR)
                self.assertGreater(self.hosts.connections, 0)
                self.assertEqual(self.hosts.requests, [])

    def test_header_lookup_reports_missing_and_oversized_values_as_absent(self):
        # 512 bytes hold 255 UTF-16 units and the terminator.
        self.hosts.always(Fault(headers={"X-Fits": "v" * 255, "X-Long": "v" * 256}))
        outcome = self.probe("get", self.package_url, "--header", "X-Fits", "--header",
                             "X-Long", "--header", "X-Missing")
        self.assertEqual(outcome["headers"]["X-Fits"], "v" * 255)
        self.assertIsNone(outcome["headers"]["X-Long"])
        self.assertIsNone(outcome["headers"]["X-Missing"])
        self.assertIsNone(outcome["headers"]["Content-Range"])

    def test_a_body_that_stops_flowing_times_out_after_15_seconds(self):
        # Longer than the 15 s receive time-out, shorter than WinHTTP's 30 s default.
        self.hosts.always(Fault(stall_at=1000, stall=22))
        started = time.monotonic()
        outcome = self.probe("get", self.package_url, "--read-size", 1000, timeout=60)
        self.assertEqual(outcome["bodyBytes"], 1000)
        # Windows reports ERROR_WINHTTP_TIMEOUT; Wine passes the socket's WSAETIMEDOUT on.
        self.assertRegex(outcome["message"], NETWORK_ERROR)
        self.assertIn(NETWORK_ERROR.match(outcome["message"]).group(1), ("12002", "10060"))
        self.assertLess(time.monotonic() - started, 21)

if __name__ == "__main__":
    unittest.main()
