"""The signed manifest under Wine, on the build that trusts the test
manifest key: a manifest signed by quarvel-publish installs; a changed,
foreign, unsigned or expired one is refused whatever it names; the outer
members do not count; the kept manifest stops a rollback and carries an
install through an outage of the release host, a refused answer, and an
answer that never ends; past its expiry it carries one only within the
policy's offline grace, with every release host down."""

import base64
import json
import time

import e2e_support
import installer_support
from installer_support import Installer

Fault = e2e_support.quarvel_test_hosts.Fault
MANIFEST_PATH = e2e_support.quarvel_test_hosts.MANIFEST_PATH
DAY = 86400


class SignedManifest(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.package = installer_support.stand_in_package()
        cls.members = installer_support.manifest_for(cls.package)

    def setUp(self):
        super().setUp()
        self.installer = Installer(e2e_support.temp_dir(self), installer_support.MANIFEST_INSTALLER)

    def run_installer(self):
        return self.installer.run("--quiet", "--install-dir", "C:\\Quarvel")

    def serve(self, manifest, data=None):
        installer_support.publish(self.hosts, data or self.package, manifest)

    def package_requests(self):
        return [r for r in self.hosts.requests if r.path.startswith("/downloads/")]

    def test_a_manifest_signed_by_the_publisher_installs_and_is_kept(self):
        installer_support.publish(self.hosts, self.package, None, "--signing-key",
                                  installer_support.MANIFEST_KEY)
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        serial = run.report["manifest"]["serial"]
        self.assertEqual(run.report["manifest"], {"serial": serial, "source": "fetched"})
        self.assertEqual(run.progress["manifest"], run.report["manifest"])
        self.assertIsNotNone(run.setup_call)
        self.assertRegex(run.network_log()[0], f"^manifest=fetched serial={serial} expires=")
        self.assertEqual((run.cache / "latest.json").read_bytes(), self.hosts.content_for(MANIFEST_PATH))

    def test_a_changed_foreign_unsigned_or_expired_manifest_is_refused(self):
        now = int(time.time())
        good = installer_support.signed_manifest(self.members, now, now + DAY)
        payload = base64.b64decode(good["signed"]).replace(b'"build":31', b'"build":32')
        cases = {
            "payload changed by one byte": ({**good, "signed": base64.b64encode(payload).decode()},
                                            "版本信息签名无效"),
            "unknown key": (installer_support.signed_manifest(
                self.members, now, now + DAY, installer_support.UNKNOWN_MANIFEST_KEY),
                "版本信息的签名密钥不受信任"),
            "unsigned": (self.members, "版本信息未签名，无法确认来源"),
            "expired": (installer_support.signed_manifest(self.members, now, now - 60),
                        "版本信息已过期（有效期至 " + time.strftime(
                            "%Y-%m-%dT%H:%M:%SZ", time.gmtime(now - 60)) + "）；请检查本机时钟是否正确"),
        }
        for name, (manifest, message) in cases.items():
            with self.subTest(name):
                self.hosts.clear_requests()
                self.serve(manifest)
                run = self.run_installer()
                self.assertEqual((run.exit_code, run.report), (1, {"error": message, "status": "failed"}))
                self.assertEqual(self.package_requests(), [])
                self.assertIsNone(run.setup_call)

    def test_only_the_signed_payload_counts(self):
        now = int(time.time())
        manifest = installer_support.signed_manifest(self.members, now, now + DAY)
        manifest.update(build=99, sha256="0" * 64, url="https://elsewhere.example/x.exe")
        self.serve(manifest)
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.report["build"], installer_support.BUILD)

    def kept_and_cached(self):
        """A first run that keeps the manifest and downloads the package; its serial."""
        now = int(time.time())
        self.serve(installer_support.signed_manifest(self.members, now, now + DAY))
        self.assertEqual(self.installer.run("--download-only").exit_code, 0)
        return now

    def test_a_refused_answer_leads_to_the_kept_manifest(self):
        serial = self.kept_and_cached()
        tampered = json.loads(self.hosts.content_for(MANIFEST_PATH))
        tampered["signatures"][0]["sig"] = tampered["signatures"][0]["sig"][::-1]
        self.serve(tampered)
        self.hosts.clear_requests()
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.report["manifest"], {"serial": serial, "source": "kept"})
        self.assertIsNotNone(run.setup_call)
        self.assertEqual(self.package_requests(), [])
        self.assertEqual(run.network_log()[-2:], [
            f"manifest host={e2e_support.RELEASE_HOST} refused=版本信息签名无效",
            "manifest=kept serial=%d expires=%s fetch=版本信息签名无效"
            % (serial, time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(serial + DAY)))])

    def test_a_manifest_that_never_ends_leads_to_the_kept_manifest(self):
        serial = self.kept_and_cached()
        self.hosts.always(Fault(path=MANIFEST_PATH, rate=0.2))  # a byte every 5 s
        started = time.monotonic()
        run = self.run_installer()
        elapsed = time.monotonic() - started
        print(f"a manifest dripping a byte every 5 s: installed through the kept one in {elapsed:.1f} s",
              flush=True)
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.report["manifest"], {"serial": serial, "source": "kept"})
        self.assertLess(elapsed, 50, "30 s for the answer, one read of 5 s, and the install")
        self.assertTrue(run.network_log()[-1].endswith(" fetch=网络连接中断（12002）；请重试继续下载"))

    def test_a_rollback_leads_to_the_kept_manifest(self):
        now = int(time.time())
        self.serve(installer_support.signed_manifest(self.members, now, now + DAY))
        self.assertEqual(self.run_installer().exit_code, 0)
        # An older release of another package, validly signed, replayed.
        other = bytes(range(256)) * 8192
        older = installer_support.signed_manifest(installer_support.manifest_for(other), now - 1,
                                                  now + DAY)
        self.serve(older, other)
        self.hosts.clear_requests()
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual((run.report["sha256"], run.report["manifest"]),
                         (self.members["sha256"], {"serial": now, "source": "kept"}))
        self.assertEqual(self.package_requests(), [])
        rollback = "版本信息比本机保存的旧（发布序号 %d 低于 %d），请稍后重试" % (now - 1, now)
        self.assertEqual(run.network_log()[-1], "manifest=kept serial=%d expires=%s fetch=%s"
                         % (now, time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now + DAY)), rollback))

    def test_an_outage_installs_a_cached_package_through_the_kept_manifest(self):
        now = self.kept_and_cached()
        self.hosts.always(Fault(status=503, path=MANIFEST_PATH))
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.report["manifest"], {"serial": now, "source": "kept"})
        self.assertIsNotNone(run.setup_call)
        self.assertTrue(run.network_log()[-1].endswith(" fetch=获取版本失败（HTTP 503）"))

    def test_an_expired_pre_staged_manifest_installs_only_within_the_offline_grace(self):
        # A cache pre-staged as an offline site's administrator does, its
        # manifest expired two days ago, and both release hosts of the
        # two-host build answering 503.
        now = int(time.time())
        expired = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now - 2 * DAY))
        self.installer = Installer(e2e_support.temp_dir(self),
                                   installer_support.MANIFEST_TWO_HOST_INSTALLER)
        self.installer.folder.joinpath("cache").mkdir()
        self.installer.folder.joinpath("cache", installer_support.FILE_NAME).write_bytes(self.package)
        self.installer.folder.joinpath("cache", "latest.json").write_text(json.dumps(
            installer_support.signed_manifest(self.members, now, now - 2 * DAY)))
        self.hosts.always(Fault(status=503, path=MANIFEST_PATH))
        hosts_down = [f"manifest host={host} failed=获取版本失败（HTTP 503）"
                      for host in (e2e_support.FIRST_RELEASE_HOST, e2e_support.RELEASE_HOST)]

        installer_support.set_policies(self, OfflineGraceDays=3)
        run = self.run_installer()
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.report["manifest"], {"expired": expired, "offlineGraceDays": 3,
                                                  "serial": now, "source": "kept"})
        self.assertEqual(run.progress["manifest"], run.report["manifest"])
        self.assertIsNotNone(run.setup_call)
        self.assertEqual(run.network_log()[-4:], hosts_down + [
            f"manifest=kept serial={now} expires={expired} fetch=获取版本失败（HTTP 503）",
            "manifest used past its expiry under policy OfflineGraceDays=3 until "
            + time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now + DAY))])

        installer_support.set_policies(self, OfflineGraceDays=1)
        self.installer.folder.joinpath("setup-call.json").unlink()
        run = self.run_installer()
        self.assertEqual((run.exit_code, run.report), (1, {
            "error": f"版本信息已过期（有效期至 {expired}）；请检查本机时钟是否正确",
            "status": "failed"}))
        self.assertIsNone(run.setup_call)
        self.assertEqual(run.network_log()[-2:], hosts_down)
        self.assertEqual(self.package_requests(), [])


if __name__ == "__main__":
    import unittest
    unittest.main()
