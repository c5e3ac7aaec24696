"""DLL search-order hijacking: DLLs planted next to the installer (as in a
Downloads folder) under the names of system DLLs it uses are never loaded.

Each planted DLL leaves "<name>.loaded" beside itself if anything loads it.
Wine is told to prefer such native DLLs over its own, so a plain LoadLibrary
by bare name does pick them up: the control probe shows that first.
"""
import shutil
import subprocess
import unittest

import accessibility_test
import e2e_support
import installer_support
import window_test
from installer_support import Installer

PLANTED = sorted((e2e_support.BUILD_DIR / "planted-dlls").glob("*.dll"))
PREFER_PLANTED = ",".join(dll.stem for dll in PLANTED) + "=n,b;mscoree,mshtml="


class PlantedDlls(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Signed, so that the signature-checking build starts it too.
        signed = e2e_support.BUILD_DIR / "e2e-tmp" / "hijack-signed-setup.exe"
        signed.parent.mkdir(exist_ok=True)
        installer_support.sign(installer_support.STAND_IN_SETUP, signed)
        installer_support.publish(cls.hosts, signed.read_bytes())

    def setUp(self):
        super().setUp()
        self.folder = e2e_support.temp_dir(self)
        self.downloads = self.folder / "Downloads"
        self.downloads.mkdir()
        for dll in PLANTED:
            shutil.copy(dll, self.downloads)
        shutil.copy(installer_support.INSTALLER, self.downloads)
        shutil.copy(e2e_support.BUILD_DIR / "harness" / "plant-probe.exe", self.downloads)
        self.installer = Installer(self.folder)

    def markers(self):
        return sorted(path.name for path in self.downloads.glob("*.loaded"))

    def run_in_downloads(self, command, **environment):
        return self.installer.run_windows(command, WINEDLLOVERRIDES=PREFER_PLANTED, **environment)

    def test_planted_dlls_would_load_in_an_unprotected_program(self):
        for dll in ("version.dll", "winhttp.dll", "bcrypt.dll", "wintrust.dll", "oleacc.dll"):
            self.run_in_downloads([str(self.downloads / "plant-probe.exe"), dll])
        self.assertEqual(self.markers(), ["bcrypt.dll.loaded", "oleacc.dll.loaded",
                                          "version.dll.loaded", "winhttp.dll.loaded",
                                          "wintrust.dll.loaded"])

    def test_the_installer_loads_none_of_them_and_still_installs(self):
        self.assert_installs_without_planted_dlls()

    def test_the_signature_checking_build_loads_none_of_them_either(self):
        shutil.copy(installer_support.SIGNATURE_INSTALLER, self.downloads)
        self.assert_installs_without_planted_dlls()

    def assert_installs_without_planted_dlls(self):
        install_dir = e2e_support.windows_path(self.folder / "Quarvel")
        command = self.installer.command("--quiet", "--install-dir", install_dir)
        command[0] = str(self.downloads / "QuarvelOnlineSetup.exe")
        run = self.run_in_downloads(command)
        self.assertEqual(self.markers(), [])
        self.assertEqual(run.exit_code, 0, run.report or self.installer.output)
        self.assertEqual(run.report["status"], "complete")
        self.assertEqual(run.report["httpStatus"], 206, "the download went through WinHTTP")
        self.assertIsNotNone(run.setup_call)

    def test_a_screen_reader_reading_the_window_loads_none_of_them(self):
        command = self.installer.command("--preview")
        command[0] = str(self.downloads / "QuarvelOnlineSetup.exe")
        window = subprocess.Popen([e2e_support.WINE, *command], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL,
                                  env=self.installer.environment(WINEDLLOVERRIDES=PREFER_PLANTED))
        self.addCleanup(window.wait, timeout=30)
        self.addCleanup(window.kill)
        tree = window_test.wait_until(accessibility_test.read_tree, 30, interval=0.5)
        self.assertIsNotNone(tree, "the window could not be read")
        self.assertIn("预览", [child["name"] for child in tree["children"]])
        self.assertEqual(self.markers(), [])


if __name__ == "__main__":
    unittest.main()
