"""Shared pieces of the end-to-end tests: where the build and its test programs
are, how a Windows program runs under Wine (with a time limit), temporary
folders, and the test hosts. The tests run inside harness/netns-run, which ctest
of the Windows build is started in; QUARVEL_BUILD_DIR and QUARVEL_SOURCE_DIR
come from the test's CMake registration."""

import json
import os
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE_DIR = pathlib.Path(os.environ.get("QUARVEL_SOURCE_DIR",
                                         pathlib.Path(__file__).resolve().parents[3]))
BUILD_DIR = pathlib.Path(os.environ.get("QUARVEL_BUILD_DIR", SOURCE_DIR / "build" / "windows"))
PKI_DIR = BUILD_DIR / "pki"
WINE_PREFIX = BUILD_DIR / "wine-prefix"
TEST_BIN = BUILD_DIR / "test-bin"
WINE = "/usr/lib/wine/wine64"

sys.path.insert(0, str(SOURCE_DIR / "test-hosts"))
import quarvel_test_hosts  # noqa: E402  (needs the path above)

RELEASE_HOST = quarvel_test_hosts.RELEASE_HOST
PACKAGE_HOST = quarvel_test_hosts.PACKAGE_HOST
FIRST_RELEASE_HOST = quarvel_test_hosts.FIRST_RELEASE_HOST
FIRST_PACKAGE_HOST = quarvel_test_hosts.FIRST_PACKAGE_HOST


def require_test_network():
    """Raises unless the test host names lead to this namespace's loopback (the
    first names of the two-host build to 127.0.0.2)."""
    for name, address in ((RELEASE_HOST, "127.0.0.1"), (PACKAGE_HOST, "127.0.0.1"),
                          (FIRST_RELEASE_HOST, "127.0.0.2"), (FIRST_PACKAGE_HOST, "127.0.0.2")):
        if socket.gethostbyname(name) != address:
            raise RuntimeError(f"{name} is not {address}: run the tests inside harness/netns-run")


def test_hosts(**options):
    """Test hosts on 0.0.0.0:443 with the build's certificates (not started)."""
    return quarvel_test_hosts.TestHosts(pki_dir=PKI_DIR, **options)


class HostsTestCase(unittest.TestCase):
    """Test hosts started once for the class; every test begins with no faults
    and an empty request record."""

    @classmethod
    def setUpClass(cls):
        require_test_network()
        cls.hosts = test_hosts().start()

    @classmethod
    def tearDownClass(cls):
        cls.hosts.stop()

    def setUp(self):
        self.hosts.clear_faults()
        self.hosts.clear_requests()


def run_windows(program, *arguments, timeout=60, cwd=None):
    """Runs a Windows program of the build under Wine in the build's prefix and
    returns the finished subprocess.CompletedProcess (stdout and stderr as bytes).
    A program still running after `timeout` seconds is killed and the test fails."""
    return subprocess.run([WINE, str(program), *map(str, arguments)], capture_output=True,
                          timeout=timeout, cwd=cwd, env=wine_environment(), check=False)


def start_windows(program, *arguments, cwd=None):
    """Starts a Windows program of the build under Wine without waiting for it and
    returns its subprocess.Popen (output discarded); the process is the Windows
    program itself, so killing it ends the program at once."""
    return subprocess.Popen([WINE, str(program), *map(str, arguments)], cwd=cwd,
                            env=wine_environment(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def kill_when(test_case, program, reached, timeout=60):
    """Kills the program started with start_windows as soon as `reached()`
    holds (looked at every 20 ms) and waits for its end; the test fails when
    the program ends before, or `reached()` does not hold within `timeout` s."""
    try:
        deadline = time.monotonic() + timeout
        while not reached():
            test_case.assertIsNone(program.poll(), "the run ended before it was killed")
            test_case.assertLess(time.monotonic(), deadline, "the run did not get there")
            time.sleep(0.02)
    finally:
        program.kill()
        program.wait(timeout=30)


def wine_environment():
    return dict(os.environ, WINEPREFIX=str(WINE_PREFIX), WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=")


def json_lines(output):
    """The JSON values of a program's output, one per non-empty line."""
    return [json.loads(line) for line in output.decode("utf-8").splitlines() if line.strip()]


def temp_dir(test_case):
    """A fresh folder under the build folder, removed when the test ends."""
    root = BUILD_DIR / "e2e-tmp"
    root.mkdir(exist_ok=True)
    path = pathlib.Path(tempfile.mkdtemp(prefix=test_case.id().rsplit(".", 1)[-1] + "-", dir=root))
    test_case.addCleanup(shutil.rmtree, path, ignore_errors=True)
    return path


def windows_path(path):
    """The path as a Windows program in the prefix sees it (drive Z: is /)."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")
