"""Running the real installer under Wine against the test hosts: a package and
its manifest (written by quarvel-publish), the installer's command line and
what it leaves behind (exit code, report, progress file, cache). Builds on
e2e_support."""

import base64
import dataclasses
import hashlib
import json
import os
import pathlib
import subprocess
import tempfile
import time

import e2e_support

INSTALLER = e2e_support.TEST_BIN / "QuarvelOnlineSetup.exe"
# The test hosts' build that starts only packages signed by the test signers.
SIGNATURE_INSTALLER = e2e_support.BUILD_DIR / "test-bin-signers" / "QuarvelOnlineSetup.exe"
# The test hosts' build that reads only manifests signed by the test manifest
# key (harness/make-pki), and that key pair beside one it does not trust.
MANIFEST_INSTALLER = e2e_support.BUILD_DIR / "test-bin-manifest" / "QuarvelOnlineSetup.exe"
MANIFEST_KEY = e2e_support.PKI_DIR / "manifest-key.pem"
UNKNOWN_MANIFEST_KEY = e2e_support.PKI_DIR / "unknown-manifest-key.pem"
# The build that lists two test host names per role, the first names first,
# and that build trusting the test manifest key.
TWO_HOST_INSTALLER = e2e_support.BUILD_DIR / "test-bin-two-hosts" / "QuarvelOnlineSetup.exe"
MANIFEST_TWO_HOST_INSTALLER = (e2e_support.BUILD_DIR / "test-bin-manifest-two-hosts" /
                               "QuarvelOnlineSetup.exe")
STAND_IN_SETUP = e2e_support.BUILD_DIR / "stand-in" / "stand-in-setup.exe"
VERSION = "1.4.2"
DISPLAY_VERSION = "1.4"
BUILD = 31
FILE_NAME = f"Quarvel-{DISPLAY_VERSION}-b{BUILD}-Windows-x64-Setup.exe"
SEGMENT = 8_388_608  # the largest range the installer asks for
# quarvel-publish of the native build (the e2e registration names it).
PUBLISH_TOOL = pathlib.Path(os.environ.get("QUARVEL_PUBLISH") or
                            e2e_support.SOURCE_DIR / "build" / "native" / "bin" / "quarvel-publish")


@dataclasses.dataclass
class Release:
    """What quarvel-publish made of a package."""
    manifest: bytes           # latest.json as written
    upload_path: str          # where the package goes on the package host
    chunk_map: bytes          # the .chunks file, which goes beside the package
    output: list = dataclasses.field(default_factory=list)  # the lines quarvel-publish printed


def package_file_name(build):
    return f"Quarvel-{DISPLAY_VERSION}-b{build}-Windows-x64-Setup.exe"


def published_release(data, *options, package_host=e2e_support.PACKAGE_HOST, build=BUILD,
                      version=VERSION):
    """Runs quarvel-publish on `data` as `build` (31 unless given) of
    `version` for the package host, with the further options (--signing-key
    KEY, say), and returns the Release."""
    if not PUBLISH_TOOL.is_file():
        raise RuntimeError(f"{PUBLISH_TOOL} is missing: build the native preset first")
    root = e2e_support.BUILD_DIR / "e2e-tmp"
    root.mkdir(exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="publish-", dir=root) as folder:
        package = pathlib.Path(folder) / "package.exe"
        package.write_bytes(data)
        finished = subprocess.run(
            [str(PUBLISH_TOOL), str(package), "--version", version, "--display-version",
             DISPLAY_VERSION, "--build", str(build), "--package-host", package_host,
             "--out", str(pathlib.Path(folder) / "out"), *map(str, options)],
            capture_output=True, check=False)
        if finished.returncode != 0:
            raise RuntimeError(f"quarvel-publish refused: {finished.stderr.decode()}")
        # The package's upload path, the chunk map's, and for a signed manifest its serial.
        output = finished.stdout.decode().splitlines()
        out = pathlib.Path(folder) / "out"
        return Release((out / "latest.json").read_bytes(), output[0],
                       (out / (package_file_name(build) + ".chunks")).read_bytes(), output)


def chunk_starts(chunk_map):
    """Where each chunk of a chunk map begins (its format: a 56-byte header,
    then per chunk a 4-byte little-endian length and a 32-byte digest)."""
    starts, offset = [], 0
    for at in range(56, len(chunk_map), 36):
        starts.append(offset)
        offset += int.from_bytes(chunk_map[at:at + 4], "little")
    return starts


def chunk_holding(chunk_map, offset):
    """(first, last) byte of the chunk that holds the offset."""
    starts = chunk_starts(chunk_map) + [int.from_bytes(chunk_map[16:24], "little")]
    index = max(i for i, start in enumerate(starts[:-1]) if start <= offset)
    return starts[index], starts[index + 1] - 1


def manifest_for(data, **changes):
    """The manifest quarvel-publish writes for `data` as build 31, with the
    given members replaced."""
    manifest = json.loads(published_release(data).manifest)
    manifest.update(changes)
    return manifest


def key_id(key):
    """A manifest key's id: the SHA-256 of its DER SubjectPublicKeyInfo."""
    return hashlib.sha256(subprocess.run(["openssl", "pkey", "-in", key, "-pubout", "-outform", "DER"],
                                         capture_output=True, check=True).stdout).hexdigest()


def signed_manifest(members, serial, expires, key=MANIFEST_KEY):
    """The manifest `members` with a payload of them and `serial` and `expires`
    (seconds since 1970), signed as `openssl dgst -sha256 -sign` signs."""
    payload = json.dumps({**members, "serial": serial,
                          "expires": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(expires))},
                         separators=(",", ":"), sort_keys=True).encode()
    signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=payload,
                               capture_output=True, check=True).stdout
    return {**members, "signed": base64.b64encode(payload).decode(),
            "signatures": [{"key": key_id(key), "sig": base64.b64encode(signature).decode()}]}


def publish(hosts, data, manifest=None, *options, package_host=e2e_support.PACKAGE_HOST,
            **release):
    """Serves `data` as the package with the manifest and chunk map
    quarvel-publish wrote for it (given the options, package host, and build
    and version as published_release takes them), and returns the Release; or
    serves it with the given manifest under the usual package name."""
    if manifest is not None:
        hosts.add_package(VERSION, FILE_NAME, data)
        hosts.set_manifest(json.dumps(manifest).encode())
        return
    release = published_release(data, *options, package_host=package_host, **release)
    hosts.files[release.upload_path] = data
    hosts.files[release.upload_path + ".chunks"] = release.chunk_map
    hosts.set_manifest(release.manifest)
    return release


# The machine policy key the installer reads its administrators' policies from.
POLICY_KEY = r"HKLM\Software\Policies\Quarvel\OnlineSetup"


def set_policies(test_case, **values):
    """Writes the values into the test prefix's machine policy key with `reg add`
    (an int as REG_DWORD, a list as REG_MULTI_SZ, a str as REG_SZ) and removes
    the key when the test ends, so that no other test sees a policy."""
    vendor_key = POLICY_KEY.rsplit("\\", 1)[0]
    test_case.addCleanup(e2e_support.run_windows, "reg", "delete", vendor_key, "/f")
    for name, value in values.items():
        if isinstance(value, int):
            kind, data = "REG_DWORD", str(value)
        elif isinstance(value, list):
            kind, data = "REG_MULTI_SZ", "\\0".join(value)
        else:
            kind, data = "REG_SZ", value
        added = e2e_support.run_windows("reg", "add", POLICY_KEY, "/v", name, "/t", kind,
                                        "/d", data, "/f")
        if added.returncode != 0:
            raise RuntimeError(f"reg add {name} failed: {added.stdout + added.stderr}")


def stand_in_package():
    return STAND_IN_SETUP.read_bytes()


def two_segment_package():
    """The stand-in setup padded to two segments: 8 MiB and 1,000 bytes."""
    stand_in = stand_in_package()
    return stand_in + bytes(SEGMENT + 1000 - len(stand_in))


def install_from_new_hosts(test_case, package, bind, faults=(), executable=INSTALLER,
                           package_host=e2e_support.PACKAGE_HOST):
    """Serves `package` from test hosts started on `bind` for the test (the
    manifest naming `package_host`, the faults on every request), installs it
    with `executable` --quiet and checks that the run completed. Returns the
    network log and the hosts' requests."""
    hosts = e2e_support.test_hosts(bind=bind).start()
    test_case.addCleanup(hosts.stop)
    publish(hosts, package, package_host=package_host)
    hosts.always(*faults)
    installer = Installer(e2e_support.temp_dir(test_case), executable)
    run = installer.run("--quiet", "--install-dir",
                        e2e_support.windows_path(installer.folder / "Quarvel"))
    test_case.assertEqual((run.exit_code, run.report["status"]), (0, "complete"), run.report)
    return run.network_log(), hosts.requests


def sign(source, target, signer="signer"):
    """Signs the program `source` into `target` with osslsigncode and the
    test PKI's code-signing certificate `signer` (see harness/make-pki); the
    signature carries the issuing CA where the PKI has the signer's chain."""
    key = e2e_support.PKI_DIR / signer
    chain = e2e_support.PKI_DIR / f"{signer}-chain.pem"
    pathlib.Path(target).unlink(missing_ok=True)  # osslsigncode does not overwrite
    subprocess.run(["osslsigncode", "sign", "-certs", chain if chain.exists() else f"{key}.pem",
                    "-key", f"{key}.key",
                    "-h", "sha256", "-in", str(source), "-out", str(target)],
                   check=True, capture_output=True)


def read_json_if_present(path):
    """The JSON value of a file, or None when it does not exist."""
    path = pathlib.Path(path)
    return json.loads(path.read_text(encoding="utf-8")) if path.exists() else None


@dataclasses.dataclass
class Run:
    """What one installer run left behind."""
    exit_code: int
    folder: pathlib.Path
    output: bytes = b""       # what the program and Wine wrote

    @property
    def report(self):
        return read_json_if_present(self.folder / "report.json")

    @property
    def progress(self):
        return read_json_if_present(self.folder / "report.progress.json")

    @property
    def setup_call(self):
        """The stand-in setup's record of how it was started, if it ran."""
        return read_json_if_present(self.folder / "setup-call.json")

    @property
    def cache(self):
        return self.folder / "cache"

    def network_log(self):
        return (self.cache / "network.log").read_text(encoding="utf-8").splitlines()


class Installer:
    """Runs the installer with a per-test folder for cache, report and records."""

    def __init__(self, folder, executable=INSTALLER):
        self.folder = pathlib.Path(folder)
        self.executable = executable

    def command(self, *arguments, cache=True, report=True):
        command = [str(self.executable)]
        if cache:
            command += ["--cache-dir", e2e_support.windows_path(self.folder / "cache")]
        if report:
            command += ["--report", e2e_support.windows_path(self.folder / "report.json")]
        return command + list(arguments)

    def environment(self, setup_exit_code=0, setup_seconds=0,
                    WINEDLLOVERRIDES="mscoree,mshtml=",  # noqa: N803 (the variable's name)
                    **variables):
        """The Wine environment of a run; `variables` are added as they are."""
        return dict(os.environ, WINEPREFIX=str(e2e_support.WINE_PREFIX), WINEDEBUG="-all,err+all",
                    WINEDLLOVERRIDES=WINEDLLOVERRIDES,
                    QUARVEL_STAND_IN_RECORD=e2e_support.windows_path(self.folder / "setup-call.json"),
                    QUARVEL_STAND_IN_EXIT_CODE=str(setup_exit_code),
                    QUARVEL_STAND_IN_SECONDS=str(setup_seconds), **variables)

    def run(self, *arguments, timeout=120, **environment):
        """Runs the installer to its end and returns the Run."""
        return self.run_windows(self.command(*arguments), timeout=timeout, **environment)

    def run_windows(self, command, timeout=120, **environment):
        """Runs a Windows command line (a list) in the installer's environment.
        A headless run that asked for a report always writes one before it
        ends: an end without one is Wine's own failure (a process that could not
        start, say), raised with what Wine wrote."""
        finished = subprocess.run([e2e_support.WINE, *command], env=self.environment(**environment),
                                  timeout=timeout, capture_output=True, check=False)
        self.output = finished.stdout + finished.stderr
        run = Run(finished.returncode, self.folder, self.output)
        headless = "--quiet" in command or "--download-only" in command
        if headless and "--report" in command and run.report is None:
            raise AssertionError(f"exit code {run.exit_code} without a report; Wine wrote: "
                                 f"{self.output.decode(errors='replace') or 'nothing'}")
        return run
