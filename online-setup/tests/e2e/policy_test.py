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
REFUSED = "网络连接中断（12029）；请重试继续下载"


class Policies(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        e2e_support.require_test_network()
        cls.package = installer_support.two_segment_package()

    def install(self, bind="0.0.0.0", *faults):
        """Installs with the test build from test hosts on `bind` (the manifest
        names the build's package host). Returns the network log's policy
        lines, each attempt's (host, result), and the hosts' requests as (host,
        first path segment, time)."""
        log, requests = installer_support.install_from_new_hosts(self, self.package, bind, faults)
        hosts = [line.partition(" host=")[2] for line in log if " range=" in line]
        results = [line.split(" result=", 1)[1] for line in log if " result=" in line]
        return ([line for line in log if line.startswith("policy")], list(zip(hosts, results)),
                [(r.host, r.path.split("/")[1], r.time) for r in requests])

    def test_a_rate_cap_holds_the_download_to_it(self):
        installer_support.set_policies(self, MaxDownloadKBps=4096)
        policy, _, requests = self.install()
        self.assertEqual(policy, ["policy MaxDownloadKBps=4096"])
        # The host's record: the first segment's 8 MiB between its request and
        # the next one. A loaded machine only makes it slower.
        started = [time for _, kind, time in requests if kind == "downloads"]
        rate = installer_support.SEGMENT / (started[1] - started[0]) / 1048576
        print(f"first segment: {rate:.2f} MiB/s under a cap of 4.00", flush=True)
        self.assertLess(rate, 4 * 1.1)

    def test_mirrors_listed_by_policy_take_every_request(self):
        installer_support.set_policies(self, ReleaseHosts=[RELEASE_MIRROR],
                                       PackageHosts=[PACKAGE_MIRROR])
        # The build's own hosts are busy: asked, they would fail an attempt.
        policy, attempts, requests = self.install("0.0.0.0", Fault(host=RELEASE_HOST, status=503),
                                                  Fault(host=PACKAGE_HOST, status=503))
        self.assertEqual(policy, [f"policy PackageHosts={PACKAGE_MIRROR}",
                                  f"policy ReleaseHosts={RELEASE_MIRROR}"])
        self.assertEqual(attempts, [(PACKAGE_MIRROR, "complete")] * 2)
        self.assertEqual([(host, kind) for host, kind, _ in requests],
                         [(RELEASE_MIRROR, "api")] + [(PACKAGE_MIRROR, "downloads")] * 2)

    def test_a_refusing_mirror_is_left_for_the_builds_hosts_and_bad_values_are_named(self):
        installer_support.set_policies(self, PackageHosts=[PACKAGE_MIRROR, "mirror.test:443"],
                                       ReleaseHosts=[RELEASE_MIRROR], MaxDownloadKBps="2048",
                                       OfflineGraceDays=400)
        policy, attempts, requests = self.install("127.0.0.1")
        self.assertEqual(policy, ["policy MaxDownloadKBps ignored: REG_SZ is not REG_DWORD",
                                  'policy PackageHosts: "mirror.test:443" ignored, '
                                  "not a DNS host name",
                                  f"policy PackageHosts={PACKAGE_MIRROR}",
                                  f"policy ReleaseHosts={RELEASE_MIRROR}",
                                  "policy OfflineGraceDays ignored: 400 is not within 0 to 365"])
        self.assertEqual(attempts, [(PACKAGE_MIRROR, REFUSED)] + [(PACKAGE_HOST, "complete")] * 2)
        self.assertEqual([(host, kind) for host, kind, _ in requests],
                         [(RELEASE_HOST, "api")] + [(PACKAGE_HOST, "downloads")] * 2)


if __name__ == "__main__":
    unittest.main()
