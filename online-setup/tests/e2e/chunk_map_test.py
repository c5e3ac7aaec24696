"""The chunk map under Wine, on the builds that trust the test manifest key: a
release published by quarvel-publish installs with its map fetched first and
kept; one bad answer costs one chunk; a cached partial file with a changed
byte resumes from its bad chunk; a map that does not match the signed payload
is refused before any package byte; and with two package hosts, a first host
that inverts a byte in every answer is left for the second within one run."""

import hashlib
import random
import unittest

import e2e_support
import installer_support
from quarvel_test_hosts import Fault

SIZE = 20_000_000  # three segments, as the package the faults were measured with
SEGMENT = 8_388_608
FIRST, SECOND = e2e_support.FIRST_PACKAGE_HOST, e2e_support.PACKAGE_HOST
BAD_BYTE = 1_000_000  # the byte a bad answer inverts, counted from its first


def package():
    """The stand-in setup followed by bytes that do not repeat."""
    stand_in = installer_support.stand_in_package()
    return stand_in + random.Random(31).randbytes(SIZE - len(stand_in))


class ChunkMap(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.package = package()

    def setUp(self):
        super().setUp()
        self.hosts.files.clear()
        self.release = installer_support.publish(self.hosts, self.package, None, "--signing-key",
                                                 installer_support.MANIFEST_KEY)
        self.installer = installer_support.Installer(e2e_support.temp_dir(self),
                                                     installer_support.MANIFEST_INSTALLER)

    def run_installer(self):
        return self.installer.run("--quiet", "--install-dir", "C:\\Quarvel")

    def test_the_map_is_fetched_first_checked_and_kept(self):
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertIsNotNone(run.setup_call)
        size = len(self.release.chunk_map)
        self.assertEqual(run.network_log()[1:4], [
            f"request=1 map=0-{size - 1}/{size} retry=0", f"request=1 saved={size} result=complete",
            f"request=2 range=0-{SEGMENT - 1}/{SIZE} retry=0"])
        kept = run.cache / f"31-{run.report['sha256']}.chunks"
        self.assertEqual(kept.read_bytes(), self.release.chunk_map)

    def test_one_bad_answer_costs_one_chunk_and_installs_in_one_run(self):
        self.hosts.queue(Fault(exact_path=self.release.upload_path, flip_at=BAD_BYTE))
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        first, last = installer_support.chunk_holding(self.release.chunk_map, BAD_BYTE)
        self.assertEqual(run.network_log()[3:7], [
            f"request=2 range=0-{SEGMENT - 1}/{SIZE} retry=0",
            f"request=2 chunk={first}-{last} mismatch host={SECOND}",
            f"request=2 saved={first} result=下载数据校验失败",
            f"request=3 range={first}-{first + SEGMENT - 1}/{SIZE} retry=1"])
        self.assertLess(sum(self.hosts.sent.values()), SIZE + SEGMENT + len(self.release.chunk_map))

    def test_a_cached_partial_file_with_a_changed_byte_resumes_from_its_bad_chunk(self):
        kept = 3_222_784
        partial = bytearray(self.package[:kept])
        partial[BAD_BYTE] ^= 0x01
        self.installer.folder.joinpath("cache").mkdir()
        sha256 = hashlib.sha256(self.package).hexdigest()
        (self.installer.folder / "cache" / f"31-{sha256}.part").write_bytes(partial)
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        first, last = installer_support.chunk_holding(self.release.chunk_map, BAD_BYTE)
        self.assertEqual(run.network_log()[3:5], [
            f"partial={kept} checked={first} chunk={first}-{last} mismatch",
            f"request=2 range={first}-{first + SEGMENT - 1}/{SIZE} retry=0"])
        self.assertEqual((run.report["resumedBytes"], run.report["transferredBytes"]),
                         (first, SIZE - first))

    def test_a_map_that_does_not_match_the_signed_payload_is_refused_before_the_setup(self):
        changed = bytearray(self.release.chunk_map)
        changed[100] ^= 0x01
        self.hosts.files[self.release.upload_path + ".chunks"] = bytes(changed)
        run = self.run_installer()
        self.assertEqual((run.exit_code, run.report), (1, {
            "error": "无法获取分块清单；请稍后重试。分块清单与版本信息不符",
            "status": "failed"}))
        self.assertFalse(any(r.path == self.release.upload_path for r in self.hosts.requests))
        self.assertIsNone(run.setup_call)
        self.assertFalse(any(p.suffix == ".part" for p in run.cache.iterdir()))


class BadFirstHost(unittest.TestCase):
    """The build with the test manifest key and two package hosts; the test
    hosts tell the names apart by the Host header."""

    def test_a_first_host_that_alters_every_answer_is_left_for_the_second(self):
        e2e_support.require_test_network()
        hosts = e2e_support.test_hosts(bind="0.0.0.0").start()
        self.addCleanup(hosts.stop)
        data = package()
        release = installer_support.publish(hosts, data, None, "--signing-key",
                                            installer_support.MANIFEST_KEY, package_host=FIRST)
        hosts.always(Fault(host=FIRST, path="/downloads/", flip_at=BAD_BYTE))
        installer = installer_support.Installer(e2e_support.temp_dir(self),
                                                installer_support.MANIFEST_TWO_HOST_INSTALLER)
        run = installer.run("--quiet", "--install-dir", "C:\\Quarvel")
        log = run.network_log()
        print("\n".join(["network.log:"] + log + [f"bytes sent: {dict(hosts.sent)}"]), flush=True)
        self.assertEqual((run.exit_code, run.report["status"]), (0, "complete"), run.report)
        first, last = installer_support.chunk_holding(release.chunk_map, BAD_BYTE)
        size = len(release.chunk_map)
        self.assertEqual(log[1:7], [
            f"request=1 map=0-{size - 1}/{size} retry=0 host={FIRST}",
            f"request=1 saved={size} result=complete",
            f"request=2 range=0-{SEGMENT - 1}/{SIZE} retry=0 host={FIRST}",
            f"request=2 chunk={first}-{last} mismatch host={FIRST}",
            f"request=2 saved={first} result=下载数据校验失败",
            f"request=3 range={first}-{first + SEGMENT - 1}/{SIZE} retry=1 host={SECOND}"])
        self.assertTrue(all(f"host={SECOND}" in line for line in log[7:] if " range=" in line))
        self.assertEqual(hosts.sent[SECOND], SIZE - first)
        self.assertLessEqual(hosts.sent[FIRST], size + SEGMENT)


if __name__ == "__main__":
    unittest.main()
