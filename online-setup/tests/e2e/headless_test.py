"""The headless install of the real executable under Wine, end to end: the
manifest and package from the test hosts, the stand-in setup started and
judged, the report and the progress file, the cache reused."""

import unittest

import e2e_support
import installer_support
from installer_support import Installer


class HeadlessInstall(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.package = installer_support.stand_in_package()

    def setUp(self):
        super().setUp()
        installer_support.publish(self.hosts, self.package)
        self.folder = e2e_support.temp_dir(self)
        self.installer = Installer(self.folder)
        self.install_dir = e2e_support.windows_path(self.folder / "Quarvel Apps" / "Quarvel")

    def package_requests(self):
        return [r for r in self.hosts.requests if r.path.startswith("/downloads/")]

    def test_full_install_starts_the_setup_and_reports_success(self):
        run = self.installer.run("--quiet", "--install-dir", self.install_dir)
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.report["status"], "complete")
        self.assertEqual(run.report["installDir"], self.install_dir)
        self.assertEqual(run.report["bytes"], len(self.package))
        self.assertEqual(run.report["transferredBytes"], len(self.package))
        self.assertEqual(run.report["httpStatus"], 206)
        self.assertFalse(run.report["downloadOnly"])
        call = run.setup_call
        self.assertEqual(call["arguments"], ["--online-install", "--install-dir", self.install_dir])
        self.assertTrue(call["workingDirectory"].lower().rstrip("\\").endswith("temp"),
                        call["workingDirectory"])
        self.assertTrue((self.folder / "Quarvel Apps" / "Quarvel" / "Quarvel.exe").is_file())
        # The install status is a direct write: the progress file never shows it.
        self.assertEqual(run.progress, {"percent": 90, "text": "正在校验安装包…"})
        self.assertEqual((run.cache / installer_support.FILE_NAME).read_bytes(), self.package)

    def test_download_only_neither_starts_the_setup_nor_checks_again(self):
        run = self.installer.run("--download-only", "--install-dir", "relative dir")
        self.assertEqual(run.exit_code, 0)
        self.assertTrue(run.report["downloadOnly"])
        self.assertEqual(run.report["installDir"], "relative dir")
        self.assertIsNone(run.setup_call)

    def test_a_cached_package_is_reused_without_a_request(self):
        first = self.installer.run("--download-only")
        self.assertEqual(first.exit_code, 0)
        self.hosts.clear_requests()
        second = self.installer.run("--quiet", "--install-dir", self.install_dir)
        self.assertEqual(second.exit_code, 0, second.report)
        self.assertEqual(self.package_requests(), [])
        self.assertEqual((second.report["resumedBytes"], second.report["transferredBytes"],
                          second.report["httpStatus"]), (len(self.package), 0, 0))
        self.assertEqual(second.progress, {"percent": 92, "text": "已找到校验通过的安装包"})

    def test_a_failing_setup_fails_the_run_and_keeps_the_package(self):
        run = self.installer.run("--quiet", "--install-dir", self.install_dir, setup_exit_code=3)
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.report, {"error": "安装未完成，原有文件和记录已保留。请检查目录权限后重试。",
                                      "status": "failed"})
        self.assertTrue((run.cache / installer_support.FILE_NAME).is_file())

    def test_a_setup_that_cannot_start_reports_the_system_error(self):
        not_a_program = bytes(range(256)) * 8192  # 2 MiB that verifies but is no executable
        installer_support.publish(self.hosts, not_a_program)
        run = self.installer.run("--quiet", "--install-dir", self.install_dir)
        self.assertEqual(run.exit_code, 1)
        self.assertRegex(run.report["error"], r"^无法启动安装：.* \(os error \d+\)$")

    def test_a_manifest_fetch_failure_leaves_the_first_status_in_the_progress_file(self):
        self.hosts.always(e2e_support.quarvel_test_hosts.Fault(status=404))
        run = self.installer.run("--quiet", "--install-dir", self.install_dir)
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.report, {"error": "获取版本失败（HTTP 404）", "status": "failed"})
        self.assertEqual(run.progress, {"percent": 0, "text": "正在获取最新的 Quarvel 1.02…"})

    def test_pass_through_switches_reach_the_setup_once(self):
        run = self.installer.run("--quiet", "--portable", "--install-dir", self.install_dir,
                                 "--portable", "--no-launch", "--profile")
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.setup_call["arguments"],
                         ["--online-install", "--install-dir", self.install_dir, "--portable",
                          "--no-launch"])
        run = self.installer.run("--quiet", "--profile", "team \"b\" \\", "--install-dir",
                                 self.install_dir)
        self.assertEqual(run.setup_call["arguments"][3:], ["--profile", "team \"b\" \\"])

    def test_cache_dir_given_while_local_app_data_is_unset(self):
        script = self.folder / "run.cmd"
        command = " ".join(f'"{part}"' for part in self.installer.command(
            "--quiet", "--install-dir", self.install_dir))
        script.write_text(f"@set LOCALAPPDATA=\r\n@{command}\r\n@exit /b %ERRORLEVEL%\r\n",
                          encoding="utf-8")
        run = self.installer.run_windows(["cmd", "/c", e2e_support.windows_path(script)])
        self.assertEqual(run.report, {"error": "本机用户目录不可用", "status": "failed"},
                         self.installer.output)
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(self.package_requests(), [])


if __name__ == "__main__":
    unittest.main()
