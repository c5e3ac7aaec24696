"""The documented nginx configuration (hosting/nginx) as the release and the
package host: the answers the installer relies on, and a full headless install
by the real executable against it. The release is written by quarvel-publish."""

import http.client
import shutil
import socket
import ssl
import subprocess
import time
import unittest

import e2e_support
import installer_support
from e2e_support import PACKAGE_HOST, RELEASE_HOST

RENDER = e2e_support.SOURCE_DIR / "hosting" / "nginx" / "render.py"
MANIFEST_PATH = "/api/v2/releases/quarvel/latest.json"
SEGMENT = 8_388_608
PACKAGE_SIZE = 9_000_000  # two segments; the zero padding would compress well


def start_nginx(folder, release, package_bytes):
    """nginx with the rendered configuration, serving the release from folder."""
    (folder / "release" / MANIFEST_PATH.lstrip("/")).parent.mkdir(parents=True)
    (folder / "release" / MANIFEST_PATH.lstrip("/")).write_bytes(release.manifest)
    package = folder / "packages" / release.upload_path.lstrip("/")
    package.parent.mkdir(parents=True)
    package.write_bytes(package_bytes)
    conf = subprocess.run(
        ["python3", str(RENDER), str(folder / "nginx"), "--release-host", RELEASE_HOST,
         "--package-host", PACKAGE_HOST, "--certificate", str(e2e_support.PKI_DIR / "hosts.pem"),
         "--key", str(e2e_support.PKI_DIR / "hosts.key"), "--release-root", str(folder / "release"),
         "--package-root", str(folder / "packages")],
        capture_output=True, text=True, check=True).stdout.strip()
    nginx = subprocess.Popen(["nginx", "-p", str(folder / "nginx"), "-c", conf],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", 443), timeout=1).close()
            return nginx
        except OSError:
            time.sleep(0.05)
    nginx.kill()
    raise RuntimeError((folder / "nginx" / "error.log").read_text())


def get(host, path, **headers):
    """One GET over TLS (the test CA trusted); returns the response and its body."""
    context = ssl.create_default_context(cafile=str(e2e_support.PKI_DIR / "ca.pem"))
    connection = http.client.HTTPSConnection(host, 443, context=context, timeout=10)
    try:
        connection.request("GET", path, headers=headers)
        response = connection.getresponse()
        return response, response.read()
    finally:
        connection.close()


class NginxHosts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        e2e_support.require_test_network()
        stand_in = installer_support.stand_in_package()
        cls.package = stand_in + bytes(PACKAGE_SIZE - len(stand_in))
        cls.release = installer_support.published_release(cls.package)
        cls.folder = e2e_support.BUILD_DIR / "e2e-tmp" / "nginx"
        shutil.rmtree(cls.folder, ignore_errors=True)
        cls.folder.mkdir(parents=True)
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        nginx = start_nginx(cls.folder, cls.release, cls.package)
        cls.addClassCleanup(nginx.wait)
        cls.addClassCleanup(nginx.terminate)

    def test_the_answers_are_those_the_installer_expects(self):
        gzip = {"Accept-Encoding": "gzip"}
        response, body = get(RELEASE_HOST, MANIFEST_PATH, Range="bytes=0-9", **gzip)
        self.assertEqual((response.status, body), (200, self.release.manifest))
        self.assertEqual(response.getheader("Cache-Control"), "public, max-age=60, must-revalidate")
        self.assertIsNone(response.getheader("Content-Encoding"))

        last = PACKAGE_SIZE - 1
        response, body = get(PACKAGE_HOST, f"{self.release.upload_path}?quarvel_range={SEGMENT}-"
                             f"{last}-0-1765000000000000000", Range=f"bytes={SEGMENT}-{last}", **gzip)
        self.assertEqual(response.status, 206)
        self.assertEqual(response.getheader("Content-Range"), f"bytes {SEGMENT}-{last}/{PACKAGE_SIZE}")
        self.assertEqual(response.getheader("Content-Length"), str(last - SEGMENT + 1))
        self.assertIsNone(response.getheader("Content-Encoding"))
        self.assertEqual(body, self.package[SEGMENT:])

        # Nothing redirects: a folder without its "/", or a path on the other host, is missing.
        folder = self.release.upload_path.rsplit("/", 1)[0]
        for host, path in ((PACKAGE_HOST, folder), (PACKAGE_HOST, MANIFEST_PATH),
                           (RELEASE_HOST, self.release.upload_path)):
            self.assertEqual(get(host, path)[0].status, 404, f"{host}{path}")

    def test_a_full_headless_install_against_nginx(self):
        folder = e2e_support.temp_dir(self)
        install_dir = e2e_support.windows_path(folder / "Quarvel")
        run = installer_support.Installer(folder).run("--quiet", "--install-dir", install_dir)
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertEqual((run.report["status"], run.report["bytes"], run.report["transferredBytes"],
                          run.report["httpStatus"]), ("complete", PACKAGE_SIZE, PACKAGE_SIZE, 206))
        self.assertTrue((folder / "Quarvel" / "Quarvel.exe").is_file())
        self.assertEqual(run.network_log(), [
            f"request=1 range=0-{SEGMENT - 1}/{PACKAGE_SIZE} retry=0",
            f"request=1 saved={SEGMENT} result=complete",
            f"request=2 range={SEGMENT}-{PACKAGE_SIZE - 1}/{PACKAGE_SIZE} retry=0",
            f"request=2 saved={PACKAGE_SIZE} result=complete"])
        # nginx took the unique range queries and answered each range with 206.
        access = (self.folder / "nginx" / "access.log").read_text().splitlines()
        installer = [line for line in access if "QuarvelOnlineSetup/1.02" in line]
        self.assertEqual(len(installer), 3, access)
        self.assertIn(f'"GET {MANIFEST_PATH} HTTP/1.1" 200 ', installer[0])
        for line in installer[1:]:
            self.assertRegex(line, rf'"GET {self.release.upload_path}\?quarvel_range=\S+ HTTP/1.1" 206 ')


if __name__ == "__main__":
    unittest.main()
