"""The executable's static import table names only KnownDLLs.

Windows loads a KnownDLL from the system folder whatever lies next to the
program; any other DLL must be loaded explicitly from System32 instead.
"""
import os
import re
import subprocess
import unittest

BUILD = os.environ["QUARVEL_BUILD_DIR"]
KNOWN_DLLS = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
}


def imported_dlls(path):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}


class ImportTable(unittest.TestCase):
    def test_every_build_imports_known_dlls_only(self):
        for folder in ("bin", "test-bin", "test-bin-signers"):
            with self.subTest(folder=folder):
                dlls = imported_dlls(os.path.join(BUILD, folder, "QuarvelOnlineSetup.exe"))
                self.assertIn("kernel32.dll", dlls)
                self.assertEqual(dlls - KNOWN_DLLS, set())

    def test_the_checker_sees_a_non_known_import(self):
        # The harness's trust tool links crypt32 statically, which the
        # executable must never do.
        tool = os.path.join(BUILD, "harness", "trust-ca.exe")
        self.assertEqual(imported_dlls(tool) - KNOWN_DLLS, {"crypt32.dll"})


if __name__ == "__main__":
    unittest.main()
