"""End-to-end tests of the segmented, resumable download: the real executable
(test host names) runs headless with --download-only under Wine against the
test hosts, and each case checks what the hosts received, the cache's
network.log byte for byte, the report file and the files left in the cache."""

import hashlib
import json
import random
import re
import time
import unittest

import e2e_support
import installer_support
from quarvel_test_hosts import Fault

EXE = e2e_support.TEST_BIN / "QuarvelOnlineSetup.exe"
BUILD = installer_support.BUILD
VERSION = installer_support.VERSION
FILE_NAME = installer_support.FILE_NAME
INSTALL_DIR = "C:\\Quarvel E2E\\Quarvel"
SEGMENT = 8_388_608
SMALL = 3_000_000        # one segment
LARGE = 20_000_000       # three segments
DOWNLOADS = "/downloads/"
NETWORK_ERROR = re.compile(r"网络连接中断（(\d+)）；请重试继续下载")
RANGE_QUERY = re.compile(r"quarvel_range=(\d+)-(\d+)-(\d+)-(\d+)")
MISMATCH = "下载分段信息不匹配，未继续写入；请重试"
CORRUPT = "安装包校验失败，未执行安装；请重试"


def package_bytes(size, seed):
    return random.Random(seed).randbytes(size)


SMALL_PACKAGE = package_bytes(SMALL, 1)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def request_line(n, first, last, total, retry=0):
    return f"request={n} range={first}-{last}/{total} retry={retry}"


def result_line(n, saved, result="complete"):
    return f"request={n} saved={saved} result={result}"


def flipped(data, position):
    """The data with one byte changed."""
    return data[:position] + bytes([data[position] ^ 0xFF]) + data[position + 1:]


class DownloadTest(e2e_support.HostsTestCase):
    def setUp(self):
        super().setUp()
        folder = e2e_support.temp_dir(self)
        self.cache = folder / "cache"
        self.cache_text = e2e_support.windows_path(self.cache)
        self.report = folder / "r.json"
        self.publish(SMALL_PACKAGE)

    # The release on the hosts and the program's runs.
    def publish(self, data, served=None):
        """Names `data` in the manifest and serves `served` (default: the same bytes)."""
        self.package = data
        self.hosts.set_manifest(json.dumps(installer_support.manifest_for(data)).encode())
        self.hosts.add_package(VERSION, FILE_NAME, data if served is None else served)

    def arguments(self):
        return ("--download-only", "--cache-dir", self.cache_text,
                "--report", e2e_support.windows_path(self.report), "--install-dir", INSTALL_DIR)

    def download(self, timeout=120):
        """Runs the program once; returns its exit code and the report."""
        finished = e2e_support.run_windows(EXE, *self.arguments(), timeout=timeout)
        self.assertEqual(finished.stdout + finished.stderr, b"", "nothing on the console")
        return finished.returncode, json.loads(self.report.read_text(encoding="utf-8"))

    # The cache.
    @property
    def partial(self):
        return self.cache / f"{BUILD}-{sha256(self.package)}.part"

    @property
    def package_file(self):
        return self.cache / FILE_NAME

    def log_lines(self):
        """network.log as lines; every line ends with a bare line feed."""
        log = self.cache / "network.log"
        if not log.exists():
            return []
        text = log.read_bytes().decode("utf-8")
        self.assertNotIn("\r", text)
        self.assertTrue(text.endswith("\n"), text)
        return text[:-1].split("\n")

    def package_ranges(self):
        """(first, last, attempt) of every package request, as the hosts saw them."""
        ranges = []
        for request in self.hosts.requests:
            if not request.path.startswith(DOWNLOADS):
                continue
            match = RANGE_QUERY.fullmatch(request.query)
            self.assertIsNotNone(match, request.query)
            first, last, attempt, _ = map(int, match.groups())
            self.assertEqual(request.header("Range"), f"bytes={first}-{last}")
            ranges.append((first, last, attempt))
        return ranges

    # Outcomes.
    def assert_success(self, outcome, resumed, transferred, http_status=206):
        code, report = outcome
        self.assertEqual(report, {
            "build": BUILD, "bytes": len(self.package), "downloadOnly": True,
            "httpStatus": http_status, "installDir": INSTALL_DIR,
            "package": self.cache_text + "\\" + FILE_NAME, "resumedBytes": resumed,
            "sha256": sha256(self.package), "status": "complete", "transferredBytes": transferred,
        })
        self.assertEqual(code, 0)
        self.assertEqual(self.package_file.read_bytes(), self.package)
        self.assertFalse(self.partial.exists(), "no partial file is left")

    def assert_failure(self, outcome, message):
        code, report = outcome
        self.assertEqual(report, {"error": message, "status": "failed"})
        self.assertEqual(self.report.read_text(encoding="utf-8"),
                         f'{{\n  "error": "{message}",\n  "status": "failed"\n}}')
        self.assertEqual(code, 1)
        self.assertFalse(self.package_file.exists())

    def assert_partial_holds(self, size):
        self.assertEqual(self.partial.stat().st_size, size)
        self.assertTrue(self.partial.read_bytes() == self.package[:size],
                        "the partial file is the package's first bytes")

    # Cases.
    def test_a_large_package_arrives_in_three_segments(self):
        self.publish(package_bytes(LARGE, 2))
        outcome = self.download()
        self.assert_success(outcome, resumed=0, transferred=LARGE)
        segments = [(0, SEGMENT - 1), (SEGMENT, 2 * SEGMENT - 1), (2 * SEGMENT, LARGE - 1)]
        self.assertEqual(self.package_ranges(), [(f, l, 0) for f, l in segments])
        expected = []
        for n, (first, last) in enumerate(segments, 1):
            expected += [request_line(n, first, last, LARGE), result_line(n, last + 1)]
        self.assertEqual(self.log_lines(), expected)
        requests = self.hosts.requests
        self.assertEqual(self.hosts.connections, len(requests), "one connection per request")
        self.assertEqual(len({r.query for r in requests}), len(requests))
        stamps = [int(RANGE_QUERY.fullmatch(r.query).group(4))
                  for r in requests if r.path.startswith(DOWNLOADS)]
        self.assertEqual(stamps, sorted(stamps))

    def test_a_killed_run_keeps_its_bytes_and_the_next_run_resumes_there(self):
        self.hosts.always(Fault(path=DOWNLOADS, rate=1_000_000))
        program = e2e_support.start_windows(EXE, *self.arguments())
        e2e_support.kill_when(self, program, lambda: self.partial.exists() and
                              self.partial.stat().st_size > 1_000_000)
        time.sleep(0.5)
        kept = self.partial.stat().st_size
        self.assertLess(kept, SMALL)
        self.assert_partial_holds(kept)
        self.assertFalse(self.report.exists(), "a killed run writes no report")
        self.assertEqual(self.log_lines(), [request_line(1, 0, SMALL - 1, SMALL)])

        self.hosts.clear_faults()
        self.hosts.clear_requests()
        self.assert_success(self.download(), resumed=kept, transferred=SMALL - kept)
        self.assertEqual(self.package_ranges(), [(kept, SMALL - 1, 0)])
        self.assertEqual(self.log_lines(), [
            request_line(1, 0, SMALL - 1, SMALL),
            request_line(1, kept, SMALL - 1, SMALL), result_line(1, SMALL),
        ])

    def test_a_cut_connection_is_retried_from_the_new_offset(self):
        self.hosts.queue(Fault(path=DOWNLOADS, cut_after=1_000_000))
        self.assert_success(self.download(), resumed=0, transferred=SMALL)
        self.assertEqual(self.package_ranges(), [(0, SMALL - 1, 0), (1_000_000, SMALL - 1, 1)])
        lines = self.log_lines()
        self.assertEqual(len(lines), 4, lines)
        self.assertEqual(lines[0], request_line(1, 0, SMALL - 1, SMALL))
        cut = lines[1].removeprefix(result_line(1, 1_000_000, ""))
        self.assertNotEqual(cut, lines[1])
        self.assertTrue(cut == "分段下载中断" or NETWORK_ERROR.fullmatch(cut), cut)
        self.assertEqual(lines[2:], [request_line(2, 1_000_000, SMALL - 1, SMALL, retry=1),
                                     result_line(2, SMALL)])
        first, retry = [r for r in self.hosts.requests if r.path.startswith(DOWNLOADS)]
        self.assertGreaterEqual(retry.time - first.time, 1.0, "the retry waits a second")

    def test_a_burst_of_503_answers_is_survived_on_the_fifth_attempt(self):
        self.hosts.queue(*[Fault(path=DOWNLOADS, status=503)] * 4)
        self.assert_success(self.download(), resumed=0, transferred=SMALL)
        self.assertEqual(self.package_ranges(), [(0, SMALL - 1, a) for a in range(5)])
        unavailable = "下载服务暂时不可用（HTTP 503）"
        expected = []
        for attempt in range(4):
            expected += [request_line(attempt + 1, 0, SMALL - 1, SMALL, retry=attempt),
                         result_line(attempt + 1, 0, unavailable)]
        expected += [request_line(5, 0, SMALL - 1, SMALL, retry=4), result_line(5, SMALL)]
        self.assertEqual(self.log_lines(), expected)
        self.assertEqual(self.hosts.connections, len(self.hosts.requests), "a new connection each")

    def test_five_failed_attempts_in_a_row_give_up_and_keep_the_bytes(self):
        kept = 1_048_576
        self.hosts.queue(Fault(path=DOWNLOADS, cut_after=kept),
                         *[Fault(path=DOWNLOADS, status=500)] * 4)
        outcome = self.download()
        self.assert_failure(
            outcome, "连接中断，已保留 1.0 MB；点击继续即可续传。下载服务暂时不可用（HTTP 500）")
        self.assertEqual(self.package_ranges(),
                         [(0, SMALL - 1, 0)] + [(kept, SMALL - 1, a) for a in range(1, 5)])
        lines = self.log_lines()
        self.assertEqual(len(lines), 10, lines)
        self.assertEqual(lines[8:], [request_line(5, kept, SMALL - 1, SMALL, retry=4),
                                     result_line(5, kept, "下载服务暂时不可用（HTTP 500）")])
        self.assert_partial_holds(kept)

    def test_an_answer_for_other_bytes_is_refused_without_writing(self):
        kept = 500_000
        answers = {
            "whole file with 200": Fault(path=DOWNLOADS, full_body=True),
            "404": Fault(path=DOWNLOADS, status=404),
            "unknown total": Fault(path=DOWNLOADS,
                                   headers={"Content-Range": f"bytes {kept}-{SMALL - 1}/*"}),
        }
        for name, fault in answers.items():
            with self.subTest(answer=name):
                self.setUp()
                self.cache.mkdir()
                self.partial.write_bytes(SMALL_PACKAGE[:kept])
                self.hosts.queue(fault)
                self.assert_failure(self.download(), MISMATCH)
                self.assert_partial_holds(kept)
                self.assertEqual(self.package_ranges(), [(kept, SMALL - 1, 0)])
                self.assertEqual(self.log_lines(), [request_line(1, kept, SMALL - 1, SMALL)])

    def test_a_stalled_body_fails_on_the_receive_time_out_and_is_retried(self):
        stall_at = 500_000
        self.hosts.queue(Fault(path=DOWNLOADS, stall_at=stall_at, stall=20))
        started = time.monotonic()
        self.assert_success(self.download(), resumed=0, transferred=SMALL)
        self.assertLess(time.monotonic() - started, 40)
        lines = self.log_lines()
        self.assertEqual(len(lines), 4, lines)
        saved, reason = re.fullmatch(r"request=1 saved=(\d+) result=(.*)", lines[1]).groups()
        # Wine's WinHttpReadData returns only full buffers before the end of a body,
        # so the bytes of the last, unfilled read before the stall are fetched again.
        saved = int(saved)
        self.assertIn(saved, (stall_at, stall_at // 65536 * 65536))
        # Windows reports ERROR_WINHTTP_TIMEOUT; Wine passes the socket's WSAETIMEDOUT on.
        self.assertRegex(reason, NETWORK_ERROR)
        self.assertIn(NETWORK_ERROR.fullmatch(reason).group(1), ("12002", "10060"))
        self.assertEqual(lines[2:], [request_line(2, saved, SMALL - 1, SMALL, retry=1),
                                     result_line(2, SMALL)])
        self.assertEqual(self.package_ranges(), [(0, SMALL - 1, 0), (saved, SMALL - 1, 1)])
        first, retry = [r for r in self.hosts.requests if r.path.startswith(DOWNLOADS)]
        self.assertGreaterEqual(retry.time - first.time, 15.0)

    def test_a_partial_file_that_cannot_be_resumed_is_emptied(self):
        partials = {
            "full size, wrong digest": flipped(SMALL_PACKAGE, SMALL // 2),
            "larger than the package": SMALL_PACKAGE + b"\0" * 10,
        }
        for name, content in partials.items():
            with self.subTest(partial=name):
                self.setUp()
                self.cache.mkdir()
                self.partial.write_bytes(content)
                self.assert_success(self.download(), resumed=0, transferred=SMALL)
                self.assertEqual(self.package_ranges(), [(0, SMALL - 1, 0)])
                self.assertEqual(self.log_lines(), [request_line(1, 0, SMALL - 1, SMALL),
                                                    result_line(1, SMALL)])

    def test_a_complete_partial_file_that_verifies_becomes_the_package(self):
        self.cache.mkdir()
        self.partial.write_bytes(SMALL_PACKAGE)
        self.assert_success(self.download(), resumed=SMALL, transferred=0, http_status=0)
        self.assertEqual(self.package_ranges(), [])
        self.assertEqual(self.log_lines(), [])

    def test_downloaded_bytes_that_fail_the_digest_are_deleted_and_fetched_again(self):
        self.publish(SMALL_PACKAGE, served=flipped(SMALL_PACKAGE, 123_456))
        self.assert_failure(self.download(), CORRUPT)
        self.assertFalse(self.partial.exists(), "the partial file is deleted")
        self.assertEqual(self.log_lines(), [request_line(1, 0, SMALL - 1, SMALL),
                                            result_line(1, SMALL)])

        self.publish(SMALL_PACKAGE)
        self.hosts.clear_requests()
        self.assert_success(self.download(), resumed=0, transferred=SMALL)
        self.assertEqual(self.package_ranges(), [(0, SMALL - 1, 0)])
        self.assertEqual(self.log_lines()[2:], [request_line(1, 0, SMALL - 1, SMALL),
                                                result_line(1, SMALL)])


if __name__ == "__main__":
    unittest.main()
