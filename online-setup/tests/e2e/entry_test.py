"""The entry of the real executable under Wine: the single-instance guard and
the cache folder's lock.

A second start with the same --cache-dir text shows the message box, exits 0
and writes nothing; a start whose --cache-dir text differs (D:\\c against
d:\\c\\) passes the guard. A second headless start, the way a deployment
tool retries, waits for nobody: it ends at once with 1618 and leaves the
running install alone, whether it names the cache folder by the same text
(the guard) or by another spelling (the lock in the folder).
"""
import os
import subprocess
import tempfile
import time
import unittest

import e2e_support
import installer_support

BUILD = os.environ["QUARVEL_BUILD_DIR"]
WINE = "/usr/lib/wine/wine64"
EXE = os.path.join(BUILD, "test-bin", "QuarvelOnlineSetup.exe")
HOLDER = os.path.join(BUILD, "harness", "mutex-holder.exe")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def find_window(name, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            found = subprocess.run(["xdotool", "search", "--name", name],
                                   capture_output=True, text=True, timeout=5)
        except subprocess.TimeoutExpired:
            continue
        if found.stdout.strip():
            return found.stdout.split()[0]
        time.sleep(0.2)
    return None


def quoted(argument):
    """The argument in double quotes for a Windows command line: a backslash
    before the closing quote is doubled, or it would escape the quote."""
    return '"' + argument + ("\\" if argument.endswith("\\") else "") + '"'


class Holder:
    """A process that holds the instance mutex of the given arguments."""

    def __init__(self, *arguments):
        self.process = subprocess.Popen([WINE, HOLDER, *arguments], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "held":
            raise RuntimeError("mutex holder did not start")

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.process.stdin.close()
        self.process.wait(timeout=30)


class SingleInstanceGuard(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(dir=BUILD, prefix="e2e-entry-")
        self.report = os.path.join(self.folder, "report.json")
        self.progress = os.path.join(self.folder, "report.progress.json")

    def start(self, cache_dir, *mode):
        return subprocess.Popen([WINE, EXE, "--quiet", *mode, "--cache-dir", cache_dir,
                                 "--report", windows_path(self.report)])

    def test_second_window_start_with_same_cache_dir_shows_the_message_and_exits_zero(self):
        with Holder("--cache-dir", "D:\\c"):
            installer = self.start("D:\\c", "--show-ui")
            box = find_window("^Quarvel$", timeout=30)
            self.assertIsNotNone(box, "the message box did not appear")
            subprocess.run(["xdotool", "key", "--window", box, "Return"], check=True)
            self.assertEqual(installer.wait(timeout=30), 0)
        self.assertFalse(os.path.exists(self.report))
        self.assertFalse(os.path.exists(self.progress))

    def test_other_cache_dir_text_runs_side_by_side(self):
        with Holder("--cache-dir", "D:\\c"):
            installer = self.start("d:\\c\\")
            try:
                installer.wait(timeout=60)
            finally:
                if installer.poll() is None:
                    installer.kill()
            self.assertIsNone(find_window("^Quarvel$", timeout=1))
        self.assertTrue(os.path.exists(self.progress), "the second start did not run")


class SecondHeadlessStart(e2e_support.HostsTestCase):
    def test_ends_at_once_with_1618_while_the_first_waits_on_the_release_host(self):
        """The same --cache-dir text meets the named guard; the same folder spelled
        otherwise (another case, a trailing separator) meets the lock in the folder."""
        installer_support.publish(self.hosts, installer_support.stand_in_package())
        for name, spelling in (("same text", lambda cache: cache),
                               ("another spelling", lambda cache: cache[:-5] + "CACHE\\")):
            with self.subTest(name):
                self.second_start_while_the_first_runs(spelling)

    def second_start_while_the_first_runs(self, spelling):
        self.hosts.clear_requests()
        self.hosts.queue(e2e_support.quarvel_test_hosts.Fault(stall_before=12))  # the manifest
        installer = installer_support.Installer(e2e_support.temp_dir(self))
        location = windows_path(installer.folder / "Quarvel")
        command = installer.command("--quiet", "--install-dir", location)
        first = subprocess.Popen([WINE, *command], env=installer.environment())
        self.addCleanup(first.kill)
        deadline = time.monotonic() + 30
        while not self.hosts.requests and time.monotonic() < deadline:
            time.sleep(0.1)
        progress = installer.folder / "report.progress.json"
        before = progress.read_bytes(), progress.stat().st_mtime_ns
        cache = command[command.index("--cache-dir") + 1]
        second_command = [*command]
        second_command[command.index("--cache-dir") + 1] = spelling(cache)
        # From cmd, which prints the exit code: Wine hands a Linux parent only its low 8 bits.
        script = installer.folder / "second.cmd"
        script.write_text("@" + " ".join(quoted(part) for part in second_command)
                          + "\r\n@echo %ERRORLEVEL%\r\n")
        second = subprocess.Popen([WINE, "cmd", "/c", windows_path(script)],
                                  env=installer.environment(), stdout=subprocess.PIPE)
        self.addCleanup(second.kill)
        while second.poll() is None and time.monotonic() < deadline:
            self.assertIsNone(find_window("^Quarvel$", timeout=0.1), "the second start's box")
        self.assertEqual(second.communicate(timeout=1)[0].split(), [b"1618"])
        self.assertIsNone(first.poll(), "the first start no longer waited on the release host")
        self.assertFalse((installer.folder / "report.json").exists())
        self.assertEqual((progress.read_bytes(), progress.stat().st_mtime_ns), before)
        self.assertEqual(first.wait(timeout=120), 0)
        self.assertEqual(installer_support.Run(0, installer.folder).report["status"], "complete")
        self.assertEqual(len([r for r in self.hosts.requests if r.path.startswith("/api/")]), 1,
                         "the second start asked nothing")


if __name__ == "__main__":
    unittest.main()
