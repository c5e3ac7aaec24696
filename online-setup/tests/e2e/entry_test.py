"""The entry of the real executable under Wine: the single-instance guard.

A second start with the same --cache-dir text shows the message box, exits 0
and writes nothing; a start whose --cache-dir text differs (D:\\c against
d:\\c\\) runs beside the first.
"""
import os
import subprocess
import tempfile
import time
import unittest

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

    def start(self, cache_dir):
        return subprocess.Popen([WINE, EXE, "--quiet", "--cache-dir", cache_dir,
                                 "--report", windows_path(self.report)])

    def test_second_start_with_same_cache_dir_shows_the_message_and_exits_zero(self):
        with Holder("--cache-dir", "D:\\c"):
            installer = self.start("D:\\c")
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


if __name__ == "__main__":
    unittest.main()
