"""The real executable under Wine on a machine that is not clean: a virus
scanner holding its files for a moment (harness/scanner-stand-in), a disk that
fills up, a profile path with Chinese characters and a space, and a caller that
redirects the program's standard output."""

import hashlib
import random
import subprocess
import sys
import time
import unittest

import e2e_support
import installer_support
from installer_support import FILE_NAME, Installer

SCANNER = e2e_support.BUILD_DIR / "harness" / "scanner-stand-in.exe"
SHORT_HOLD_MS = 2500  # within the 3.1 s over which the installer tries again
LONG_HOLD_MS = 5000
UNINSTALL_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuarvelOnline"
SYSTEM_TEXT = r"^\S.* \(os error {}\)$"


class Scanner:
    """The scanner stand-in: waits for the file, holds it, prints "held" and "released"."""

    def __init__(self, path, share, hold_ms, min_size=0):
        self.printed = []
        self.process = subprocess.Popen(
            [e2e_support.WINE, str(SCANNER), e2e_support.windows_path(path), share, str(hold_ms),
             str(min_size)], env=e2e_support.wine_environment(), stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)

    def wait_until_held(self):
        self.printed.append(self.process.stdout.readline().decode().strip())

    def lines(self):
        return self.printed + self.process.communicate(timeout=90)[0].decode().split()


class FieldTest(e2e_support.HostsTestCase):
    def setUp(self):
        super().setUp()
        self.folder = e2e_support.temp_dir(self)
        self.installer = Installer(self.folder)
        self.install_dir = e2e_support.windows_path(self.folder / "Quarvel Apps" / "Quarvel")

    def publish(self, data=None, size=0):
        self.data = data or random.Random(size).randbytes(size)
        installer_support.publish(self.hosts, self.data)
        self.partial = f"{installer_support.BUILD}-{hashlib.sha256(self.data).hexdigest()}.part"

    def timed_run(self, label, *arguments):
        started = time.monotonic()
        run = self.installer.run(*arguments)
        print(f"{label}: the run took {time.monotonic() - started:.1f} s", file=sys.stderr)
        return run

    def assert_downloaded(self, run, resumed=0, cache=None):
        cache = cache or run.cache
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual((run.report["resumedBytes"], run.report["transferredBytes"]),
                         (resumed, len(self.data) - resumed))
        self.assertEqual(cache.joinpath(FILE_NAME).read_bytes(), self.data)
        self.assertFalse(cache.joinpath(self.partial).exists())


class HeldFiles(FieldTest):
    def test_a_finished_partial_file_held_for_a_moment_still_becomes_the_package(self):
        self.publish(size=6_000_000)
        scanner = Scanner(self.folder / "cache" / self.partial, "rw", SHORT_HOLD_MS, len(self.data))
        run = self.timed_run("partial file held 2.5 s", "--download-only")
        self.assertEqual(scanner.lines(), ["held", "released"])
        self.assert_downloaded(run)

    def test_a_new_package_held_exclusively_for_a_moment_is_still_installed(self):
        self.publish(installer_support.stand_in_package())
        scanner = Scanner(self.folder / "cache" / FILE_NAME, "-", SHORT_HOLD_MS)
        run = self.timed_run("package held 2.5 s", "--quiet", "--install-dir", self.install_dir)
        self.assertEqual(scanner.lines(), ["held", "released"])
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual(run.setup_call["arguments"][2], self.install_dir)

    def test_a_longer_hold_fails_the_run_and_keeps_the_file_for_the_next(self):
        self.publish(size=3_000_000)
        partial = self.folder / "cache" / self.partial
        scanner = Scanner(partial, "rw", LONG_HOLD_MS, len(self.data))
        run = self.timed_run("partial file held 5 s", "--download-only")
        self.assertEqual((run.exit_code, scanner.lines()), (1, ["held", "released"]))
        self.assertRegex(run.report["error"], SYSTEM_TEXT.format(32))
        self.assertEqual(partial.read_bytes(), self.data, "the complete download is kept")
        self.hosts.clear_requests()
        self.assert_downloaded(self.installer.run("--download-only"), resumed=len(self.data))

        scanner = Scanner(self.folder / "cache" / FILE_NAME, "-", LONG_HOLD_MS)
        scanner.wait_until_held()
        run = self.installer.run("--quiet", "--install-dir", self.install_dir)
        self.assertEqual((run.exit_code, scanner.lines()), (1, ["held", "released"]))
        self.assertRegex(run.report["error"], SYSTEM_TEXT.format(32))
        self.assertEqual(run.cache.joinpath(FILE_NAME).read_bytes(), self.data)
        self.assertEqual([r for r in self.hosts.requests if r.path.startswith("/downloads/")], [],
                         "nothing is fetched again")


class FullDisk(FieldTest):
    def test_the_written_bytes_stay_and_the_next_run_resumes_after_them(self):
        disk = self.folder / "disk"
        disk.mkdir()
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs", str(disk)], check=True)
        self.addCleanup(subprocess.run, ["umount", str(disk)], check=False)
        self.publish(size=6_000_000)
        command = self.installer.command("--download-only", cache=False) + [
            "--cache-dir", e2e_support.windows_path(disk / "cache")]

        run = self.installer.run_windows(command)
        self.assertEqual(run.exit_code, 1)
        self.assertRegex(run.report["error"], SYSTEM_TEXT.format(112))
        kept = (disk / "cache" / self.partial).read_bytes()
        self.assertTrue(3_000_000 < len(kept) < len(self.data), len(kept))
        self.assertTrue(kept == self.data[:len(kept)], "the package's first bytes")

        subprocess.run(["mount", "-o", "remount,size=16m", str(disk)], check=True)
        self.assert_downloaded(self.installer.run_windows(command), len(kept), disk / "cache")


class UserProfile(FieldTest):
    def reg(self, *arguments):
        subprocess.run([e2e_support.WINE, "reg", *arguments], env=e2e_support.wine_environment(),
                       capture_output=True, check=False)

    def test_chinese_and_a_space_in_the_profile_path(self):
        self.reg("delete", UNINSTALL_KEY, "/f")  # no registered location: the default one
        self.addCleanup(self.reg, "delete", UNINSTALL_KEY, "/f")
        local = self.folder / "张 三" / "AppData" / "Local"
        local.mkdir(parents=True)
        self.publish(installer_support.stand_in_package())
        # Wine sets LOCALAPPDATA for a program started from Linux; cmd passes its own on.
        run = self.installer.run_windows(
            ["cmd", "/c", "set", "LOCALAPPDATA=" + e2e_support.windows_path(local), "&&"]
            + self.installer.command("--quiet", cache=False))
        self.assertEqual(run.exit_code, 0, run.report)
        local_text = e2e_support.windows_path(local)
        self.assertEqual(run.report["package"], local_text + "\\Quarvel/Installer\\" + FILE_NAME)
        self.assertEqual((local / "Quarvel" / "Installer" / FILE_NAME).read_bytes(), self.data)
        location = local_text + "\\Programs\\Quarvel"
        self.assertEqual(run.setup_call["arguments"][1:], ["--install-dir", location])
        self.assertTrue((local / "Programs" / "Quarvel" / "Quarvel.exe").is_file())


class StandardOutput(FieldTest):
    def test_the_setups_output_reaches_the_callers_redirection(self):
        self.publish(installer_support.stand_in_package())
        output = self.folder / "output.txt"
        with open(output, "wb") as redirected:
            finished = subprocess.run(
                [e2e_support.WINE, *self.installer.command("--quiet", "--install-dir",
                                                           self.install_dir)],
                env=self.installer.environment(QUARVEL_STAND_IN_OUTPUT="setup: 安装完成"),
                stdout=redirected, stderr=subprocess.DEVNULL, timeout=120, check=False)
        self.assertEqual(finished.returncode, 0)
        self.assertEqual(output.read_text(encoding="utf-8"), "setup: 安装完成")


if __name__ == "__main__":
    unittest.main()
