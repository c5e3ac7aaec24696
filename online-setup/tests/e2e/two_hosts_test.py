"""Two hosts per role under Wine: the two-host test build lists releases-a and
packages-a.quarvel.test first. Those names lead to 127.0.0.2, which refuses
connections while the test hosts listen on 127.0.0.1 alone; listening on every
address, the test hosts tell the names apart by the Host header."""

import time
import unittest

import e2e_support
import installer_support
from quarvel_test_hosts import Fault

FIRST, SECOND = e2e_support.FIRST_PACKAGE_HOST, e2e_support.PACKAGE_HOST
SEGMENT = installer_support.SEGMENT
REFUSED = "网络连接中断（12029）；请重试继续下载"


class TwoHosts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        e2e_support.require_test_network()
        cls.package = installer_support.two_segment_package()

    def install(self, bind, fault=None):
        """Installs from test hosts on `bind` whose manifest names the first
        package host; returns the network log and the hosts' requests."""
        log, requests = installer_support.install_from_new_hosts(
            self, self.package, bind, [fault] if fault else [],
            installer_support.TWO_HOST_INSTALLER, package_host=FIRST)
        self.gaps = [b.time - a.time for a, b in zip(requests, requests[1:])]
        return log, [(r.host, r.path.split("/")[1]) for r in requests]

    def expected_log(self, failure=None):
        """Both segments from the second host, after one failure on the first."""
        size, last = len(self.package), SEGMENT - 1
        return [f"request=1 range=0-{last}/{size} retry=0 host={FIRST}",
                f"request=1 saved=0 result={failure}",
                f"request=2 range=0-{last}/{size} retry=1 host={SECOND}",
                f"request=2 saved={SEGMENT} result=complete",
                f"request=3 range={SEGMENT}-{size - 1}/{size} retry=0 host={SECOND}",
                f"request=3 saved={size} result=complete"]

    def test_a_refusing_first_package_and_release_host_cost_one_failed_attempt(self):
        log, requests = self.install("127.0.0.1")
        print("\n".join(["network.log:"] + log), flush=True)
        self.assertEqual(log, self.expected_log(REFUSED))
        self.assertEqual(requests, [(e2e_support.RELEASE_HOST, "api")] + [(SECOND, "downloads")] * 2)

    def test_a_first_package_host_answering_503_throughout_is_left_for_the_second(self):
        # Its Retry-After holds back only itself: the second host is asked after 1 to 2 s.
        log, requests = self.install("0.0.0.0", fault=Fault(
            path="/downloads/", host=FIRST, status=503, headers={"Retry-After": "30"}))
        self.assertEqual(log, self.expected_log("下载服务暂时不可用（HTTP 503）"))
        self.assertLess(self.gaps[1], 10, "the second host waits for no other host's hint")
        self.assertEqual(requests, [(e2e_support.FIRST_RELEASE_HOST, "api"), (FIRST, "downloads")]
                         + [(SECOND, "downloads")] * 2)

    def test_with_every_host_down_the_run_fails_at_once_and_keeps_the_cache(self):
        installer = installer_support.Installer(e2e_support.temp_dir(self),
                                                installer_support.TWO_HOST_INSTALLER)
        (installer.folder / "cache").mkdir()
        earlier = {"31-" + "0" * 64 + ".part": b"\x01" * 5000, "network.log": b"request=1\n"}
        for name, content in earlier.items():
            (installer.folder / "cache" / name).write_bytes(content)
        started = time.monotonic()
        run = installer.run("--quiet", "--install-dir", e2e_support.windows_path(installer.folder / "Quarvel"))
        self.assertEqual((run.exit_code, run.report), (1, {"error": REFUSED, "status": "failed"}))
        self.assertLess(time.monotonic() - started, 10, "one time-out alone would take 15 s")
        self.assertEqual({p.name: p.read_bytes() for p in run.cache.iterdir()
                          if p.name != "installer.lock"}, earlier, "the cache as it was")


if __name__ == "__main__":
    unittest.main()
