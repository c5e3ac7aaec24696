"""The documented nginx configurations (hosting/nginx) as the release and the
package host: the answers the installer relies on, and a full headless install
by the real executable against the origin; then the caching edge in front of
it, its answers and an install from it while the origin is stopped. The
release is written by quarvel-publish."""

import concurrent.futures
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
from quarvel_test_hosts import Fault

RENDER = e2e_support.SOURCE_DIR / "hosting" / "nginx" / "render.py"
MANIFEST_PATH = "/api/v2/releases/quarvel/latest.json"
SEGMENT = 8_388_608
PACKAGE_SIZE = 9_000_000  # two segments; the zero padding would compress well
MANIFEST_CACHE_CONTROL = "public, max-age=60, stale-if-error=86400"
SLICE = 1_048_576


def serve_release(folder, release, package_bytes):
    """Writes the release's files under folder/release and folder/packages and
    returns render.py's options for them."""
    (folder / "release" / MANIFEST_PATH.lstrip("/")).parent.mkdir(parents=True)
    (folder / "release" / MANIFEST_PATH.lstrip("/")).write_bytes(release.manifest)
    package = folder / "packages" / release.upload_path.lstrip("/")
    package.parent.mkdir(parents=True)
    package.write_bytes(package_bytes)
    package.with_name(package.name + ".chunks").write_bytes(release.chunk_map)
    return "--release-root", str(folder / "release"), "--package-root", str(folder / "packages")


def start_nginx(out, *options, port=443, edit=None):
    """nginx with render.py's configuration for the options, once it listens;
    `edit` may change the filled-in origin configuration's text first."""
    conf = subprocess.run(
        ["python3", str(RENDER), str(out), "--release-host", RELEASE_HOST, "--package-host",
         PACKAGE_HOST, "--certificate", str(e2e_support.PKI_DIR / "hosts.pem"),
         "--key", str(e2e_support.PKI_DIR / "hosts.key"), *options],
        capture_output=True, text=True, check=True).stdout.strip()
    if edit:
        hosts_conf = out / "quarvel-hosts.conf"
        hosts_conf.write_text(edit(hosts_conf.read_text()))
    nginx = subprocess.Popen(["nginx", "-p", str(out), "-c", conf],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return nginx
        except OSError:
            time.sleep(0.05)
    nginx.kill()
    raise RuntimeError((out / "error.log").read_text())


def stop(nginx):
    nginx.terminate()
    nginx.wait()


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


class NginxTest(unittest.TestCase):
    """A release of PACKAGE_SIZE bytes in a fresh folder named after the class."""

    @classmethod
    def setUpClass(cls):
        e2e_support.require_test_network()
        stand_in = installer_support.stand_in_package()
        cls.package = stand_in + bytes(PACKAGE_SIZE - len(stand_in))
        cls.release = installer_support.published_release(cls.package)
        cls.folder = e2e_support.BUILD_DIR / "e2e-tmp" / cls.__name__
        shutil.rmtree(cls.folder, ignore_errors=True)
        cls.folder.mkdir(parents=True)
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        cls.roots = serve_release(cls.folder, cls.release, cls.package)


class NginxHosts(NginxTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.addClassCleanup(stop, start_nginx(cls.folder / "nginx", *cls.roots))

    def test_the_answers_are_those_the_installer_expects(self):
        gzip = {"Accept-Encoding": "gzip"}
        response, body = get(RELEASE_HOST, MANIFEST_PATH, Range="bytes=0-9", **gzip)
        self.assertEqual((response.status, body), (200, self.release.manifest))
        self.assertEqual(response.getheader("Cache-Control"), MANIFEST_CACHE_CONTROL)
        self.assertIsNone(response.getheader("Content-Encoding"))

        last = PACKAGE_SIZE - 1
        response, body = get(PACKAGE_HOST, f"{self.release.upload_path}?quarvel_range={SEGMENT}-"
                             f"{last}-0-1765000000000000000", Range=f"bytes={SEGMENT}-{last}", **gzip)
        self.assertEqual(response.status, 206)
        self.assertEqual(response.getheader("Content-Range"), f"bytes {SEGMENT}-{last}/{PACKAGE_SIZE}")
        self.assertEqual(response.getheader("Content-Length"), str(last - SEGMENT + 1))
        self.assertIsNone(response.getheader("Content-Encoding"))
        self.assertEqual(body, self.package[SEGMENT:])
        # The chunk map beside the package, answered alike.
        size = len(self.release.chunk_map)
        response, body = get(PACKAGE_HOST, f"{self.release.upload_path}.chunks?quarvel_range=0-"
                             f"{size - 1}-0-1765000000000000000", Range=f"bytes=0-{size - 1}")
        self.assertEqual((response.status, response.getheader("Content-Range"), body),
                         (206, f"bytes 0-{size - 1}/{size}", self.release.chunk_map))

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


class NginxEdge(NginxTest):
    """The caching edge on 443 for both names, in front of the origin on 127.0.0.1:8443."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.origin = start_nginx(cls.folder / "origin", *cls.roots, "--listen", "127.0.0.1:8443",
                                 port=8443)
        cls.addClassCleanup(lambda: stop(cls.origin))
        cls.addClassCleanup(stop, start_nginx(
            cls.folder / "edge", "--edge", "--origin", "127.0.0.1:8443",
            "--origin-ca", str(e2e_support.PKI_DIR / "ca.pem")))

    def log(self, tier, containing, count):
        """The tier's access-log lines that contain the text, once there are at
        least `count` of them or after 5 s: nginx writes a line only after its
        answer has gone out."""
        for _ in range(100):
            lines = (self.folder / tier / "access.log").read_text().splitlines()
            lines = [line for line in lines if containing in line]
            if len(lines) >= count:
                break
            time.sleep(0.05)
        return lines

    def test_ranges_come_from_slices_fetched_once_and_errors_are_not_kept(self):
        first, last = SLICE - 1, 3 * SLICE + 5  # from the end of slice 0 into slice 3
        for attempt in range(3):
            response, body = get(PACKAGE_HOST, f"{self.release.upload_path}?quarvel_range={first}-"
                                 f"{last}-{attempt}-{attempt}", Range=f"bytes={first}-{last}")
            self.assertEqual((response.status, response.getheader("Content-Range"), body),
                             (206, f"bytes {first}-{last}/{PACKAGE_SIZE}", self.package[first:last + 1]))
        origin = self.log("origin", self.release.upload_path, 4)
        self.assertEqual(len(origin), 4, origin)
        # The chunk map is cached like the package: fetched from the origin once.
        chunks, size = self.release.upload_path + ".chunks", len(self.release.chunk_map)
        for attempt in range(2):
            response, body = get(PACKAGE_HOST, f"{chunks}?quarvel_range=0-{size - 1}-{attempt}-1",
                                 Range=f"bytes=0-{size - 1}")
            self.assertEqual((response.status, body), (206, self.release.chunk_map))
        self.assertEqual(len(self.log("origin", chunks, 1)), 1)

        late = self.release.upload_path.replace(installer_support.FILE_NAME, "late.exe")
        self.assertEqual(get(PACKAGE_HOST, late)[0].status, 404)
        (self.folder / "packages" / late.lstrip("/")).write_bytes(self.package)
        self.assertEqual(get(PACKAGE_HOST, late, Range="bytes=0-9")[0].status, 206)

        response, body = get(RELEASE_HOST, MANIFEST_PATH)
        self.assertEqual((response.status, body, response.getheader("Cache-Control")),
                         (200, self.release.manifest, MANIFEST_CACHE_CONTROL))

    def test_with_the_origin_stopped_a_warm_edge_serves_an_install_then_its_last_manifest(self):
        get(RELEASE_HOST, MANIFEST_PATH)
        get(PACKAGE_HOST, self.release.upload_path)  # every slice
        warmed = time.monotonic()
        stop(self.origin)
        self.addCleanup(lambda: setattr(type(self), "origin", start_nginx(
            self.folder / "origin", *self.roots, "--listen", "127.0.0.1:8443", port=8443)))
        folder = e2e_support.temp_dir(self)
        run = installer_support.Installer(folder).run(
            "--quiet", "--install-dir", e2e_support.windows_path(folder / "Quarvel"))
        self.assertEqual((run.exit_code, run.report["status"]), (0, "complete"), run.report)
        installer = self.log("edge", "QuarvelOnlineSetup/1.02", 3)
        self.assertEqual(len(installer), 3, installer)
        self.assertTrue(all(line.endswith('" HIT') for line in installer), installer)
        # Kept 60 s: after that, while the origin is down, the last good copy.
        time.sleep(max(0, warmed + 61 - time.monotonic()))
        earlier = len(self.log("edge", MANIFEST_PATH, 0))
        response, body = get(RELEASE_HOST, MANIFEST_PATH)
        self.assertEqual((response.status, body), (200, self.release.manifest))
        manifest = self.log("edge", MANIFEST_PATH, earlier + 1)
        self.assertTrue(manifest[-1].endswith(" STALE"), manifest[-1])


class NginxEdgeBounds(NginxTest):
    """The edge in front of an origin that misbehaves: each test starts its own
    origin on 127.0.0.1:8443 and an edge with an empty cache."""

    def start_tiers(self, origin_edit=None, origin=None):
        """The edge, and behind it nginx as the origin, its configuration changed
        by `origin_edit`, or the given test hosts; returns the origin."""
        folder = e2e_support.temp_dir(self)
        if origin is None:
            origin = start_nginx(folder / "origin", *self.roots, "--listen", "127.0.0.1:8443",
                                 port=8443, edit=origin_edit)
            self.addCleanup(stop, origin)
        else:
            self.addCleanup(origin.stop)
            origin.start()
        self.addCleanup(stop, start_nginx(folder / "edge", "--edge", "--origin", "127.0.0.1:8443",
                                          "--origin-ca", str(e2e_support.PKI_DIR / "ca.pem")))
        return origin

    def test_each_name_has_its_certificate_checked(self):
        # The origin answers the package host with a certificate for another name.
        def package_host_misnamed(conf):
            release, package = conf.split(f"server_name {PACKAGE_HOST};")
            return f"{release}server_name {PACKAGE_HOST};" + package.replace(
                "hosts.pem", "other-name.pem", 1).replace("hosts.key", "other-name.key", 1)
        self.start_tiers(origin_edit=package_host_misnamed)
        self.assertEqual(get(RELEASE_HOST, MANIFEST_PATH)[0].status, 200)
        # Not over the connection the manifest came through, verified for the other name.
        self.assertEqual(get(PACKAGE_HOST, self.release.upload_path, Range="bytes=0-9")[0].status, 502)

    def test_stale_manifests_end_with_the_origins_allowance(self):
        def short_allowance(conf):
            return conf.replace("max-age=60, stale-if-error=86400", "max-age=1, stale-if-error=3")
        origin = self.start_tiers(origin_edit=short_allowance)
        self.assertEqual(get(RELEASE_HOST, MANIFEST_PATH)[0].status, 200)
        cached = time.monotonic()
        stop(origin)
        time.sleep(max(0, cached + 2 - time.monotonic()))
        self.assertEqual(get(RELEASE_HOST, MANIFEST_PATH)[1], self.release.manifest)
        time.sleep(max(0, cached + 6 - time.monotonic()))
        self.assertEqual(get(RELEASE_HOST, MANIFEST_PATH)[0].status, 502)

    def test_a_request_behind_the_cache_lock_is_answered_within_the_installers_time_out(self):
        # An origin that takes every request and never answers it.
        origin = e2e_support.test_hosts(bind="127.0.0.1", port=8443)
        origin.always(Fault(stall_before=60))
        self.start_tiers(origin=origin)
        started = time.monotonic()
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            answers = list(pool.map(lambda _: get(PACKAGE_HOST, self.release.upload_path,
                                                  Range="bytes=0-9")[0].status, range(2)))
        self.assertEqual(answers, [504, 504])
        self.assertLess(time.monotonic() - started, 15)


if __name__ == "__main__":
    unittest.main()
