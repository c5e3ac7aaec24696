"""Administrators' policies under Wine, set with `reg add` in the test prefix's
machine policy key and removed after each test: a rate cap measured at the
test host, mirrors listed by policy taking the requests, and a mirror that
refuses connections left for the build's own hosts. The mirrors' names are
those the two-host build lists first: they lead to 127.0.0.2, which refuses
connections while the test hosts listen on 127.0.0.1 alone."""

import unittest

import e2e_support
import installer_support
from quarvel_test_hosts import Fault

RELEASE_MIRROR, PACKAGE_MIRROR = e2e_support.FIRST_RELEASE_HOST, e2e_support.FIRST_PACKAGE_HOST
RELEASE_HOST, PACKAGE_HOST = e2e_support.RELEASE_HOST, e2e_support.PACKAGE_HOST
SEGMENT = installer_support.SEGMENT
REFUSED = "网络连接中断（12029）；请重试继续下载"


class Policies(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        e2e_support.require_test_network()
        cls.package = installer_support.two_segment_package()

    def install(self, bind="0.0.0.0", *faults):
        """Installs with the test build from test hosts on `bind` (the manifest
        names the build's package host); returns the network log and the
        hosts' requests as (host, first path segment, time)."""
        log, requests = installer_support.install_from_new_hosts(self, self.package, bind, faults)
        return log, [(r.host, r.path.split("/")[1], r.time) for r in requests]

    def test_a_rate_cap_holds_the_download_to_it(self):
        cap = 4096 * 1024
        installer_support.set_policies(self, MaxDownloadKBps=4096)
        log, requests = self.install()
        self.assertEqual(log[0], "policy MaxDownloadKBps=4096")
        started = [time for host, kind, time in requests if kind == "downloads"]
        # The host's record: the first segment's 8 MiB between its request and
        # the next one. A loaded machine only makes it slower.
        rate = SEGMENT / (started[1] - started[0])
        print(f"first segment: {rate / 1048576:.2f} MiB/s under a cap of {cap / 1048576:.2f}",
              flush=True)
        self.assertLess(rate, cap * 1.1)

    def test_mirrors_listed_by_policy_take_every_request(self):
        installer_support.set_policies(self, ReleaseHosts=[RELEASE_MIRROR],
                                       PackageHosts=[PACKAGE_MIRROR])
        # The build's own hosts are busy: asked, they would fail the run's first attempts.
        log, requests = self.install("0.0.0.0", Fault(host=RELEASE_HOST, status=503),
                                     Fault(host=PACKAGE_HOST, status=503))
        size = len(self.package)
        self.assertEqual(log, [f"policy PackageHosts={PACKAGE_MIRROR}",
                               f"policy ReleaseHosts={RELEASE_MIRROR}",
                               f"request=1 range=0-{SEGMENT - 1}/{size} retry=0 "
                               f"host={PACKAGE_MIRROR}",
                               f"request=1 saved={SEGMENT} result=complete",
                               f"request=2 range={SEGMENT}-{size - 1}/{size} retry=0 "
                               f"host={PACKAGE_MIRROR}",
                               f"request=2 saved={size} result=complete"])
        self.assertEqual([(host, kind) for host, kind, _ in requests],
                         [(RELEASE_MIRROR, "api"), (PACKAGE_MIRROR, "downloads"),
                          (PACKAGE_MIRROR, "downloads")])

    def test_a_refusing_mirror_is_left_for_the_builds_hosts_and_bad_values_are_named(self):
        installer_support.set_policies(self, PackageHosts=[PACKAGE_MIRROR, "mirror.test:443"],
                                       ReleaseHosts=[RELEASE_MIRROR], MaxDownloadKBps="2048",
                                       OfflineGraceDays=400)
        log, requests = self.install("127.0.0.1")
        size = len(self.package)
        self.assertEqual(log, ["policy MaxDownloadKBps ignored: REG_SZ is not REG_DWORD",
                               'policy PackageHosts: "mirror.test:443" ignored, '
                               "not a DNS host name",
                               f"policy PackageHosts={PACKAGE_MIRROR}",
                               f"policy ReleaseHosts={RELEASE_MIRROR}",
                               "policy OfflineGraceDays ignored: 400 is not within 0 to 365",
                               f"request=1 range=0-{SEGMENT - 1}/{size} retry=0 "
                               f"host={PACKAGE_MIRROR}",
                               f"request=1 saved=0 result={REFUSED}",
                               f"request=2 range=0-{SEGMENT - 1}/{size} retry=1 "
                               f"host={PACKAGE_HOST}",
                               f"request=2 saved={SEGMENT} result=complete",
                               f"request=3 range={SEGMENT}-{size - 1}/{size} retry=0 "
                               f"host={PACKAGE_HOST}",
                               f"request=3 saved={size} result=complete"])
        self.assertEqual([(host, kind) for host, kind, _ in requests],
                         [(RELEASE_HOST, "api")] + [(PACKAGE_HOST, "downloads")] * 2)


if __name__ == "__main__":
    unittest.main()
