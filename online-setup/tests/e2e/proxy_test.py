"""End-to-end tests with a real HTTP proxy (tinyproxy, with its own log) inside
the test namespace. The proxy is configured the ways a Windows user or
administrator configures one, and proxy-probe (bare WinHTTP) shows where a
session of each access type connects: the proxy's log names every CONNECT
tunnel, the test hosts record every request that reached them.

Under Wine 8, a session with the installer's access type
(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY) connects directly whatever is configured,
although Wine reads each setting: the README lists this under "Known limits of
the Wine tests". What the proxy set-up itself does is shown with the access
types Wine does honour."""

import contextlib
import dataclasses
import http.server
import json
import pathlib
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest

import e2e_support
import installer_support
from e2e_support import PACKAGE_HOST, RELEASE_HOST
from quarvel_test_hosts import MANIFEST_PATH

PROBE = e2e_support.TEST_BIN / "proxy-probe.exe"
MANIFEST_URL = f"https://{RELEASE_HOST}{MANIFEST_PATH}"
OPEN_PORT = 3128
AUTH_PORT = 3129
PROXY = f"127.0.0.1:{OPEN_PORT}"
TUNNEL = re.compile(r"Request \(file descriptor \d+\): CONNECT (\S+) HTTP/")
PACKAGE = bytes(i % 253 for i in range(1_500_000))
USER_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
USER_CONNECTIONS = USER_SETTINGS + r"\Connections"
MACHINE_CONNECTIONS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"


def counted_text(text):
    data = text.encode()
    return struct.pack("<I", len(data)) + data


def user_connection_settings(flags, proxy="", script=""):
    """The per-user DefaultConnectionSettings value as Internet Options writes it:
    version 0x46, a change counter, the flags (2 proxy server, 4 setup script),
    then the proxy, the bypass list and the script address, each with its length."""
    return (struct.pack("<III", 0x46, 1, flags) + counted_text(proxy) + counted_text("")
            + counted_text(script) + bytes(32))


def machine_winhttp_settings(proxy):
    """The machine WinHttpSettings value that `netsh winhttp set proxy` stores
    (through WinHttpSetDefaultProxyConfiguration): 0x18, 0, flag 2 (named
    proxy), then the proxy and an empty bypass list."""
    return struct.pack("<III", 0x18, 0, 2) + counted_text(proxy) + counted_text("")


def registry_data(value):
    """A value in the text of a REGEDIT4 file."""
    if isinstance(value, int):
        return f"dword:{value:08x}"
    if isinstance(value, bytes):
        return "hex:" + ",".join(f"{byte:02x}" for byte in value)
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


@dataclasses.dataclass
class ProxySetting:
    registry: list      # [(key, name, value)]
    environment: dict
    reading: object     # the probe's outcome -> the proxy that Wine read from this setting


def proxy_settings(script_url):
    """Each realistic way of configuring the open proxy; the setup script is
    served at script_url."""
    return {
        # Settings > Network > Proxy > "Use a proxy server" (Internet Options alike).
        "user proxy server": ProxySetting(
            [(USER_SETTINGS, "ProxyEnable", 1), (USER_SETTINGS, "ProxyServer", PROXY),
             (USER_CONNECTIONS, "DefaultConnectionSettings",
              user_connection_settings(2, proxy=PROXY))],
            {}, lambda outcome: outcome["user"]["proxy"]),
        # Settings > Network > Proxy > "Use setup script" (a PAC file).
        "user setup script": ProxySetting(
            [(USER_SETTINGS, "AutoConfigURL", script_url),
             (USER_CONNECTIONS, "DefaultConnectionSettings",
              user_connection_settings(4, script=script_url))],
            {}, lambda outcome: outcome.get("autoConfigProxy")),
        # netsh winhttp set proxy (the machine's WinHTTP proxy).
        "machine winhttp proxy": ProxySetting(
            [(MACHINE_CONNECTIONS, "WinHttpSettings", machine_winhttp_settings(PROXY))],
            {}, lambda outcome: outcome["machine"]["proxy"]),
        # Not a WinHTTP setting on Windows; Wine reads it for the default configuration.
        "environment": ProxySetting(
            [], {"http_proxy": f"http://{PROXY}", "https_proxy": f"http://{PROXY}"},
            lambda outcome: outcome["machine"]["proxy"]),
    }


class TinyProxy:
    """tinyproxy on 127.0.0.1:port with its own configuration and log; with
    credentials, it answers 407 to every request that does not carry them."""

    def __init__(self, folder, port, credentials=None):
        self.port = port
        self.log = pathlib.Path(folder) / f"tinyproxy-{port}.log"
        configuration = pathlib.Path(folder) / f"tinyproxy-{port}.conf"
        lines = [f"Port {port}", "Listen 127.0.0.1", "Timeout 30", "MaxClients 20",
                 f'LogFile "{self.log}"', "LogLevel Connect"]
        if credentials:
            lines.append("BasicAuth " + " ".join(credentials))
        configuration.write_text("\n".join(lines) + "\n")
        self.log.touch()
        self.process = subprocess.Popen(["tinyproxy", "-d", "-c", str(configuration)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not self._listening():
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"tinyproxy did not start:\n{self.log.read_text()}")
            time.sleep(0.05)

    def _listening(self):
        with socket.socket() as probe:
            return probe.connect_ex(("127.0.0.1", self.port)) == 0

    def mark(self):
        return self.log.stat().st_size

    def tunnels_since(self, mark):
        """The CONNECT targets the log names after `mark`."""
        with open(self.log, "rb") as log:
            log.seek(mark)
            return TUNNEL.findall(log.read().decode(errors="replace"))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class ScriptServer:
    """Serves a proxy auto-configuration script over plain HTTP on loopback."""

    def __init__(self, script):
        body = script.encode()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type", "application/x-ns-proxy-autoconfig")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *arguments):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/proxy.pac"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class ProxyTest(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        root = e2e_support.BUILD_DIR / "e2e-tmp"
        root.mkdir(exist_ok=True)
        cls.folder = pathlib.Path(tempfile.mkdtemp(prefix="proxy-", dir=root))
        cls.proxy = TinyProxy(cls.folder, OPEN_PORT)
        cls.demanding = TinyProxy(cls.folder, AUTH_PORT, credentials=("quarvel", "secret"))
        cls.script = ScriptServer(f'function FindProxyForURL(url, host) {{ return "PROXY {PROXY}"; }}')

    @classmethod
    def tearDownClass(cls):
        cls.script.stop()
        cls.demanding.stop()
        cls.proxy.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        installer_support.publish(self.hosts, PACKAGE)
        self.environment = e2e_support.wine_environment()

    # Configuring the prefix and the environment.
    def import_registry(self, values, delete=False):
        """Writes (or deletes) registry values in one `reg import` of the prefix."""
        lines = ["REGEDIT4"]
        for key in dict.fromkeys(key for key, _, _ in values):
            lines.append(f"\n[{key}]")
            for name, value in ((n, v) for k, n, v in values if k == key):
                lines.append(f'"{name}"=' + ("-" if delete else registry_data(value)))
        script = self.folder / "proxy.reg"
        script.write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
        finished = subprocess.run([e2e_support.WINE, "reg", "import", e2e_support.windows_path(script)],
                                  env=e2e_support.wine_environment(), capture_output=True,
                                  timeout=60, check=False)
        self.assertEqual(finished.returncode, 0, finished.stderr.decode(errors="replace"))

    @contextlib.contextmanager
    def configured(self, *ways):
        """Sets the proxy up the given ways for the block, then undoes it all.
        Yields, per way, the probe reading that shows that Wine saw the setting."""
        settings = [proxy_settings(self.script.url)[way] for way in ways]
        values = [value for setting in settings for value in setting.registry]
        if values:
            self.import_registry(values)
        for setting in settings:
            self.environment.update(setting.environment)
        try:
            yield [setting.reading for setting in settings]
        finally:
            self.environment = e2e_support.wine_environment()
            if values:
                self.import_registry(values, delete=True)

    # Running.
    def probe(self, access, url=MANIFEST_URL):
        """The probe's outcome and the CONNECT targets the open proxy logged meanwhile."""
        mark = self.proxy.mark()
        finished = subprocess.run([e2e_support.WINE, str(PROBE), access, url], env=self.environment,
                                  capture_output=True, timeout=60, check=False)
        self.assertEqual(finished.returncode, 0, finished.stderr.decode(errors="replace"))
        [outcome] = e2e_support.json_lines(finished.stdout)
        return outcome, self.proxy.tunnels_since(mark)

    def test_sessions_that_name_the_proxy_reach_both_hosts_through_its_tunnel(self):
        package_url = installer_support.manifest_for(PACKAGE)["url"]
        for url, host in ((MANIFEST_URL, RELEASE_HOST), (package_url, PACKAGE_HOST)):
            with self.subTest(host=host):
                self.hosts.clear_requests()
                outcome, tunnels = self.probe(f"named={PROXY}", url)
                self.assertEqual(outcome.get("status"), 200, outcome)
                self.assertEqual(tunnels, [f"{host}:443"])
                [request] = self.hosts.requests
                self.assertEqual(request.header("Host"), host)

    def test_a_proxy_that_demands_credentials_stops_the_request_before_the_hosts(self):
        mark = self.demanding.mark()
        outcome, _ = self.probe(f"named=127.0.0.1:{AUTH_PORT}")
        self.assertEqual(self.demanding.tunnels_since(mark), [f"{RELEASE_HOST}:443"])
        self.assertEqual(self.hosts.requests, [])
        # Windows hands the 407 back as the response's status; Wine 8 fails the
        # send with ERROR_WINHTTP_SECURE_CHANNEL_ERROR (12157).
        self.assertTrue(outcome.get("status") == 407 or outcome.get("error") == 12157, outcome)

    def test_each_way_of_configuring_a_proxy_and_the_sessions_wine_sends_through_it(self):
        # way: whether a session with the default access type uses it (as on
        # Windows, only the machine setting; Wine also reads the environment).
        ways = {"user proxy server": False, "user setup script": False,
                "machine winhttp proxy": True, "environment": True}
        for way, default_uses_it in ways.items():
            with self.subTest(way=way):
                with self.configured(way) as [reading]:
                    outcome, tunnels = self.probe("automatic")
                    self.assertEqual(reading(outcome), PROXY, outcome)
                    # The limit: Windows would tunnel every way but the environment.
                    self.assertEqual(tunnels, [], "Wine now honours the automatic access type")
                    self.assertEqual(outcome.get("status"), 200, outcome)
                    outcome, tunnels = self.probe("default")
                    self.assertEqual(outcome.get("status"), 200, outcome)
                    self.assertEqual(tunnels, [f"{RELEASE_HOST}:443"] if default_uses_it else [])

    def test_the_installer_connects_directly_under_every_setting_at_once(self):
        # On Windows the manifest and the segment would go through the tunnel.
        # (The setup script shares its registry value with the proxy server.)
        folder = e2e_support.temp_dir(self)
        mark = self.proxy.mark()
        with self.configured("user proxy server", "machine winhttp proxy", "environment"):
            finished = subprocess.run(
                [e2e_support.WINE, *installer_support.Installer(folder).command("--download-only")],
                env=self.environment, capture_output=True, timeout=120, check=False)
        report = json.loads((folder / "report.json").read_text(encoding="utf-8"))
        self.assertEqual((finished.returncode, report["status"]), (0, "complete"), report)
        self.assertEqual(self.proxy.tunnels_since(mark), [])
        self.assertEqual([request.header("Host") for request in self.hosts.requests],
                         [RELEASE_HOST, PACKAGE_HOST])


if __name__ == "__main__":
    unittest.main()
