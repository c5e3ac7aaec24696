"""Upgrades under Wine, on the build that trusts the test manifest key: build
30 is installed first (its package and chunk map stay in the cache), then
build 31, which differs from it by 100 KB inserted, 200 KB overwritten and
50 KB deleted: the installer copies what the cached package shares, fetches
the rest, installs and keeps one base; a changed byte in the base costs its
chunk; an upgrade stopped half way resumes from its checked partial file."""

import hashlib
import random
import re
import time
import unittest

import e2e_support
import installer_support
from quarvel_test_hosts import Fault

SIZE = 30_000_000
OLD = dict(build=30, version="1.4.1")
OLD_NAME = installer_support.package_file_name(30)
NEW_NAME = installer_support.package_file_name(31)
PLAN = re.compile(r"base=(\S+) copy=(\d+) fetch=(\d+) ranges=(\d+)")


def packages():
    """Build 30 (the stand-in setup followed by bytes that do not repeat) and
    build 31, changed at three places from the back, so that each offset is
    the old package's."""
    stand_in = installer_support.stand_in_package()
    draw = random.Random(31)
    old = stand_in + draw.randbytes(SIZE - len(stand_in))
    new = bytearray(old)
    del new[22_500_000:22_550_000]
    new[15_000_000:15_200_000] = draw.randbytes(200_000)
    new[7_500_000:7_500_000] = draw.randbytes(100_000)
    return old, bytes(new)


class Upgrade(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.old, cls.new = packages()

    def setUp(self):
        super().setUp()
        self.hosts.files.clear()
        self.installer = installer_support.Installer(e2e_support.temp_dir(self),
                                                     installer_support.MANIFEST_INSTALLER)
        old_release = self.publish(self.old, **OLD)
        published = time.time()
        installed = self.run_installer()
        self.assertEqual(installed.exit_code, 0, installed.report)
        # A serial is the publication's second: the next one must be later.
        time.sleep(max(0.0, published + 1.1 - time.time()))
        old_map = self.installer.folder / "old.chunks"
        old_map.write_bytes(old_release.chunk_map)
        self.release = self.publish(self.new, "--compare-with", old_map)
        self.hosts.clear_requests()

    def publish(self, data, *options, **release):
        return installer_support.publish(self.hosts, data, None, "--signing-key",
                                         installer_support.MANIFEST_KEY, *options, **release)

    def run_installer(self):
        return self.installer.run("--quiet", "--install-dir", "C:\\Quarvel")

    def predicted(self):
        """(copy, fetch, ranges) that quarvel-publish --compare-with printed."""
        line = self.release.output[-1]
        found = re.fullmatch(r"upgrade from .*: fetch=(\d+) \(\S+%\) ranges=(\d+) copy=(\d+)", line)
        self.assertIsNotNone(found, line)
        fetch, ranges, copy = map(int, found.groups())
        return copy, fetch, ranges

    def package_ranges(self):
        """The first byte of every request for the new package, as the hosts saw it."""
        return [int(re.fullmatch(r"bytes=(\d+)-\d+", r.header("Range")).group(1))
                for r in self.hosts.requests if r.path == self.release.upload_path]

    def test_an_upgrade_copies_what_the_cached_build_shares_and_keeps_one_base(self):
        run = self.run_installer()
        log = run.network_log()
        this_run = max(i for i, line in enumerate(log) if line.startswith("manifest="))
        print("\n".join(["network.log of the upgrade:"] + log[this_run:] +
                        [f"bytes sent: {dict(self.hosts.sent)}"]), flush=True)
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertIsNotNone(run.setup_call)
        copy, fetch, ranges = self.predicted()
        plans = [PLAN.fullmatch(line).groups() for line in log if PLAN.fullmatch(line)]
        self.assertEqual(plans, [(OLD_NAME, str(copy), str(fetch), str(ranges))],
                         "the installer follows the plan the publisher printed")
        self.assertLess(fetch, len(self.new) * 5 // 100)
        self.assertEqual(len(self.package_ranges()), ranges)
        self.assertEqual(self.hosts.sent[e2e_support.PACKAGE_HOST], len(self.release.chunk_map) + fetch)
        report = run.report
        self.assertEqual((report["resumedBytes"], report["transferredBytes"], report["baseBytes"],
                          report["networkBytes"]), (0, len(self.new), copy, fetch))
        self.assertEqual((run.progress["baseBytes"], run.progress["networkBytes"]), (copy, fetch))
        self.assertIn(f"base copied={copy} network={fetch}", log)

        sha256 = report["sha256"]
        self.assertEqual(sorted(p.name for p in run.cache.iterdir()),
                         sorted([NEW_NAME, f"31-{sha256}.chunks", "installer.lock", "latest.json",
                                 "network.log"]), "one base: build 30 has left")
        old_map = f"30-{hashlib.sha256(self.old).hexdigest()}.chunks"
        self.assertEqual(sorted(line for line in log if line.startswith("removed=")),
                         sorted([f"removed={OLD_NAME}", f"removed={old_map}"]))

    def test_a_changed_byte_in_the_base_costs_its_chunk_and_installs(self):
        changed_at = 3_000_000  # before the first change: copied from the base
        base = self.installer.folder / "cache" / OLD_NAME
        data = bytearray(base.read_bytes())
        data[changed_at] ^= 0x01
        base.write_bytes(data)
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        first, last = installer_support.chunk_holding(self.release.chunk_map, changed_at)
        self.assertIn(f"base chunk={first}-{last} mismatch", run.network_log())
        self.assertIn(first, self.package_ranges(), "that chunk is fetched")
        copy, fetch, _ = self.predicted()
        self.assertEqual((run.report["baseBytes"], run.report["networkBytes"]),
                         (copy - (last + 1 - first), fetch + last + 1 - first))

    def test_an_upgrade_stopped_half_way_resumes_from_its_checked_partial_file(self):
        self.hosts.always(Fault(path="/downloads/", rate=200_000))
        partial = (self.installer.folder / "cache" /
                   f"31-{hashlib.sha256(self.new).hexdigest()}.part")
        program = e2e_support.start_windows(*self.installer.command("--quiet", "--install-dir",
                                                                    "C:\\Quarvel"))
        e2e_support.kill_when(self, program,
                              lambda: partial.exists() and partial.stat().st_size > SIZE // 3)
        time.sleep(0.5)
        kept = partial.stat().st_size
        self.assertLess(kept, len(self.new))
        self.assertEqual(partial.read_bytes(), self.new[:kept], "a prefix of the new package")
        sent_before = self.hosts.sent[e2e_support.PACKAGE_HOST]

        self.hosts.clear_faults()
        self.hosts.clear_requests()
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        log = run.network_log()
        checks = [line for line in log if line.startswith(f"partial={kept} checked=")]
        self.assertEqual(len(checks), 1, log)
        checked = int(checks[0].split("checked=")[1])
        self.assertGreater(checked, kept - 256 * 1024, "at most its last chunk begun is cut")
        self.assertTrue(all(first >= checked for first in self.package_ranges()))
        self.assertEqual(run.report["resumedBytes"], checked)
        _, fetch, _ = self.predicted()
        sent = self.hosts.sent[e2e_support.PACKAGE_HOST]
        self.assertLess(sent, fetch, "the kept map, and what the plan fetches after the stop")
        self.assertLess(sent_before + sent, len(self.release.chunk_map) + fetch + 512 * 1024,
                        "both runs together: the plan and what the stop cost")


if __name__ == "__main__":
    unittest.main()
