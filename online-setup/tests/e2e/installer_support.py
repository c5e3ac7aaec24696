"""Running the real installer under Wine against the test hosts: a package and
its manifest, the installer's command line and what it leaves behind (exit
code, report, progress file, cache). Builds on e2e_support."""

import dataclasses
import hashlib
import json
import os
import pathlib
import subprocess

import e2e_support

INSTALLER = e2e_support.TEST_BIN / "QuarvelOnlineSetup.exe"
STAND_IN_SETUP = e2e_support.BUILD_DIR / "stand-in" / "stand-in-setup.exe"
VERSION = "1.4.2"
DISPLAY_VERSION = "1.4"
BUILD = 31
FILE_NAME = f"Quarvel-{DISPLAY_VERSION}-b{BUILD}-Windows-x64-Setup.exe"


def manifest_for(data, **changes):
    """The manifest that names `data` as build 31 on the package host."""
    manifest = {
        "schema": 1, "product": "quarvel", "platform": "windows-x64", "channel": "cef-offline",
        "build": BUILD, "version": VERSION, "displayVersion": DISPLAY_VERSION, "bytes": len(data),
        "sha256": hashlib.sha256(data).hexdigest(),
        "url": f"https://{e2e_support.PACKAGE_HOST}/downloads/quarvel/{VERSION}/{FILE_NAME}",
    }
    manifest.update(changes)
    return manifest


def publish(hosts, data, manifest=None):
    """Serves `data` as the package and its manifest (or the given one)."""
    hosts.add_package(VERSION, FILE_NAME, data)
    hosts.set_manifest(json.dumps(manifest or manifest_for(data)).encode())


def stand_in_package():
    return STAND_IN_SETUP.read_bytes()


def read_json_if_present(path):
    """The JSON value of a file, or None when it does not exist."""
    path = pathlib.Path(path)
    return json.loads(path.read_text(encoding="utf-8")) if path.exists() else None


@dataclasses.dataclass
class Run:
    """What one installer run left behind."""
    exit_code: int
    folder: pathlib.Path

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

    def __init__(self, folder):
        self.folder = pathlib.Path(folder)

    def command(self, *arguments, cache=True, report=True):
        command = [str(INSTALLER)]
        if cache:
            command += ["--cache-dir", e2e_support.windows_path(self.folder / "cache")]
        if report:
            command += ["--report", e2e_support.windows_path(self.folder / "report.json")]
        return command + list(arguments)

    def environment(self, setup_exit_code=0, setup_seconds=0,
                    WINEDLLOVERRIDES="mscoree,mshtml=",  # noqa: N803 (the variable's name)
                    **variables):
        """The Wine environment of a run; `variables` are added as they are."""
        return dict(os.environ, WINEPREFIX=str(e2e_support.WINE_PREFIX), WINEDEBUG="-all",
                    WINEDLLOVERRIDES=WINEDLLOVERRIDES,
                    QUARVEL_STAND_IN_RECORD=e2e_support.windows_path(self.folder / "setup-call.json"),
                    QUARVEL_STAND_IN_EXIT_CODE=str(setup_exit_code),
                    QUARVEL_STAND_IN_SECONDS=str(setup_seconds), **variables)

    def run(self, *arguments, timeout=120, **environment):
        """Runs the installer to its end and returns the Run."""
        return self.run_windows(self.command(*arguments), timeout=timeout, **environment)

    def run_windows(self, command, timeout=120, **environment):
        """Runs a Windows command line (a list) in the installer's environment."""
        finished = subprocess.run([e2e_support.WINE, *command], env=self.environment(**environment),
                                  timeout=timeout, capture_output=True, check=False)
        self.output = finished.stdout + finished.stderr
        return Run(finished.returncode, self.folder)
