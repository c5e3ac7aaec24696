"""Signed code under Wine, both ways: the signature-checking build starts only
a package signed by an accepted signer (the stand-in setup signed with
osslsigncode by the test PKI's signers; "Quarvel Test Publisher" is pinned to
the test CA), and the build signs an executable when it is given a
code-signing certificate. signature-probe shows what the prefix's
WinVerifyTrust reports for each file, and which carried keys issued the
signer."""

import hashlib
import json
import shutil
import subprocess
import unittest

import e2e_support
import installer_support
from installer_support import Installer

REFUSED = {"error": "安装包签名无效，未执行安装", "status": "failed"}
PROBE = e2e_support.BUILD_DIR / "harness" / "signature-probe.exe"
PUBLISHER = "Quarvel Test Publisher"
NO_SIGNATURE, BAD_DIGEST = 0x800B0100, 0x80096010


def probe(*paths):
    """WinVerifyTrust's result and the signer names of each file, as the
    installer sees them."""
    output = e2e_support.run_windows(PROBE, *map(e2e_support.windows_path, paths)).stdout
    return [(found["trustResult"], found["signers"], found["issuerKeys"])
            for found in e2e_support.json_lines(output)]


def key_sha256(ca):
    """The pin of a test CA, computed as the README tells a vendor to."""
    pem = subprocess.run(["openssl", "x509", "-in", e2e_support.PKI_DIR / f"{ca}.pem", "-pubkey",
                          "-noout"], capture_output=True, check=True).stdout
    return hashlib.sha256(subprocess.run(["openssl", "pkey", "-pubin", "-outform", "DER"], input=pem,
                                         capture_output=True, check=True).stdout).hexdigest()


def osslsigncode_verifies(path, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", e2e_support.PKI_DIR / f"{ca}.pem",
                           "-in", path], capture_output=True).returncode == 0


class PackageSignature(e2e_support.HostsTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.folder = e2e_support.BUILD_DIR / "e2e-tmp" / "signed-packages"
        cls.folder.mkdir(parents=True, exist_ok=True)
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        cls.files = {"unsigned": installer_support.STAND_IN_SETUP}
        for name, signer in (("accepted", "signer"), ("other signer", "other-signer"),
                             ("untrusted CA", "rogue-signer"), ("server certificate", "hosts"),
                             ("impostor CA", "impostor-signer")):
            cls.files[name] = cls.folder / f"{signer}.exe"
            installer_support.sign(installer_support.STAND_IN_SETUP, cls.files[name], signer)
        modified = bytearray(cls.files["accepted"].read_bytes())
        modified[2 * 1048576] ^= 1  # in the padding, which the signature covers
        cls.files["modified after signing"] = cls.folder / "modified.exe"
        cls.files["modified after signing"].write_bytes(modified)

    def run_installer(self, name, *arguments):
        installer_support.publish(self.hosts, self.files[name].read_bytes())
        installer = Installer(e2e_support.temp_dir(self), installer_support.SIGNATURE_INSTALLER)
        return installer.run(*arguments or ("--quiet", "--install-dir", "C:\\Quarvel"))

    def test_only_a_package_signed_by_an_accepted_signer_is_started(self):
        run = self.run_installer("accepted")
        self.assertEqual(run.exit_code, 0, run.report)
        self.assertIsNotNone(run.setup_call)
        # With the pin, the accepted name from another CA is refused, also
        # from one that carries a certificate with the test CA's name and key.
        for name in ("unsigned", "other signer", "modified after signing", "untrusted CA",
                     "impostor CA"):
            with self.subTest(name):
                run = self.run_installer(name)
                self.assertEqual((run.exit_code, run.report), (1, REFUSED))
                self.assertIsNone(run.setup_call)
                self.assertEqual((run.cache / installer_support.FILE_NAME).read_bytes(),
                                 self.files[name].read_bytes(), "the package stays in the cache")

    def test_download_only_does_not_check_the_signature(self):
        run = self.run_installer("unsigned", "--download-only")
        self.assertEqual((run.exit_code, run.report["status"]), (0, "complete"))

    def test_the_probe_shows_which_signatures_wine_tells_apart(self):
        names = ("accepted", "other signer", "unsigned", "modified after signing", "untrusted CA",
                 "impostor CA", "server certificate")
        self.assertEqual(probe(*(self.files[name] for name in names)), [
            (0, [PUBLISHER], [key_sha256("ca")]), (0, ["Other Test Publisher"], []),
            (NO_SIGNATURE, [], []), (BAD_DIGEST, [], []),
            # Windows refuses a chain that reaches no trusted root, and a
            # certificate not meant for code signing; Wine 8 accepts both
            # (README: known limits of the Wine tests). The issuer keys
            # tell them apart: only a carried key that signed the signer's
            # certificate counts, not one that just bears the CA's name.
            (0, [PUBLISHER], [key_sha256("rogue-ca")]), (0, [PUBLISHER], []),
            (0, ["quarvel test host"], [])])
        self.assertFalse(osslsigncode_verifies(self.files["untrusted CA"], "ca"))


class ExecutableSigning(unittest.TestCase):
    def build_fixture(self, *options):
        folder = e2e_support.temp_dir(self)
        source = e2e_support.SOURCE_DIR / "online-setup" / "tests" / "fixtures" / "signed-executable"
        toolchain = e2e_support.SOURCE_DIR / "cmake" / "mingw-w64-posix.cmake"
        for command in (["cmake", "-S", source, "-B", folder, "-G", "Ninja", "--toolchain", toolchain,
                         *options], ["cmake", "--build", folder]):
            subprocess.run(command, check=True, capture_output=True)
        return folder / "signed-program.exe"

    def test_the_build_signs_the_final_executable_with_the_given_certificate(self):
        pki = e2e_support.PKI_DIR
        program = self.build_fixture(f"-DQUARVEL_SIGN_CERT={pki / 'signer.pem'}",
                                     f"-DQUARVEL_SIGN_KEY={pki / 'signer.key'}")
        self.assertTrue(osslsigncode_verifies(program, "ca"))
        self.assertFalse(osslsigncode_verifies(program, "rogue-ca"))
        self.assertEqual(probe(program), [(0, [PUBLISHER], [])])

    def test_without_a_certificate_nothing_is_signed(self):
        self.assertEqual(probe(self.build_fixture()), [(NO_SIGNATURE, [], [])])


if __name__ == "__main__":
    unittest.main()
