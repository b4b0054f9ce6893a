#!/usr/bin/env python3
"""The release's signing and its third-party files, on the exe just built, with no real key: a
throwaway CA and a code-signing certificate are made with openssl for each run.

  release_test.py [unittest arguments] --exe EXE --out DIR --notices FILE --sbom FILE
                  --node-modules DIR --runtime FILE...
The signed exe is left in DIR for the Wine test."""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
TOOLS = HERE.parents[1] / "tools"
sys.path.insert(0, str(TOOLS))
import exe_image  # noqa: E402
import package  # noqa: E402
import third_party  # noqa: E402

PASSWORD = "not a secret"
EXE = "LanternfieldLauncher.exe"
ARGS = argparse.Namespace()


def run(*command, cwd=None, env=None):
    return subprocess.run(command, cwd=cwd, env={**os.environ, **(env or {})},
                          capture_output=True, text=True)


def make_keys(work):
    """ca.crt and other.crt, two throwaway CAs of one name, and signer.p12, a code-signing key
    and certificate from the first with its chain, locked with PASSWORD (also in the file
    password)."""
    (work / "password").write_text(PASSWORD + "\n")
    (work / "signer.cnf").write_text("basicConstraints=CA:FALSE\n"
                                     "keyUsage=critical,digitalSignature\n"
                                     "extendedKeyUsage=codeSigning\n")
    # The CAs' keys are EC, which takes no time to make; the signer's is RSA, as most are.
    ca = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2",
          "-subj", "/CN=Throwaway CA", "-addext", "basicConstraints=critical,CA:TRUE",
          "-addext", "keyUsage=critical,keyCertSign"]
    for step in (["req", "-x509", *ca, "-keyout", "ca.key", "-out", "ca.crt"],
                 ["req", "-x509", *ca, "-keyout", "other.key", "-out", "other.crt"],
                 ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out",
                  "signer.csr", "-subj", "/CN=Throwaway Signer/O=Lanternfield Tests"],
                 ["x509", "-req", "-in", "signer.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                  "-set_serial", "7", "-days", "2", "-extfile", "signer.cnf", "-out", "signer.crt"],
                 ["pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.crt", "-certfile",
                  "ca.crt", "-passout", "file:password", "-out", "signer.p12"]):
        assert run("openssl", *step, cwd=work).returncode == 0, step


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp())
        make_keys(cls.work)
        # A release as the build writes it, with what signing changes: the exe, loose and zipped.
        built = cls.work / "built"
        built.mkdir()
        shutil.copyfile(ARGS.exe, built / EXE)
        package.write_zip(built / "release.zip",
                          [str(built / EXE), f"THIRD-PARTY-NOTICES.txt={ARGS.notices}"])
        package.write_release(cls.work / "release", "-", [built / "release.zip", built / EXE])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def signing(self, name, password):
        """(a signed copy of the release, what signing printed)."""
        dist = self.work / name
        shutil.copytree(self.work / "release", dist)
        done = run(sys.executable, TOOLS / "signing.py", "sign-release", dist, "release.zip",
                   "--pkcs12", self.work / "signer.p12", "--name", "Lanternfield Launcher",
                   "--url", "https://lanternfield.example/", env=password)
        self.assertNotIn(PASSWORD, done.stdout + done.stderr)
        return dist, done

    def test_a_signed_release_verifies_and_gives_back_the_unsigned_files(self):
        thumbprint = run("openssl", "x509", "-in", self.work / "signer.crt", "-noout",
                         "-fingerprint", "-sha256").stdout.split("=")[1].strip().replace(":", "")
        password_file = str(self.work / "password")
        for name, password in (("by-variable", {"LTF_SIGN_PASSWORD": PASSWORD}),
                               ("by-file", {"LTF_SIGN_PASSWORD_FILE": password_file})):
            with self.subTest(name):
                dist, done = self.signing(name, password)
                self.assertEqual(done.returncode, 0, done.stderr)
                verified = run("osslsigncode", "verify", "-CAfile", self.work / "ca.crt",
                               "-in", dist / EXE)
                self.assertEqual(verified.returncode, 0, verified.stdout)
                self.assertEqual(run("sha256sum", "-c", "SHA256SUMS", cwd=dist).returncode, 0)
                self.assertIn(f"SHA-256 thumbprint: {thumbprint}",
                              (dist / "SIGNER.txt").read_text())
                unsigned = run(sys.executable, TOOLS / "signing.py", "unsign-release", dist,
                               dist / "unsigned", "--ca", self.work / "ca.crt")
                self.assertEqual(unsigned.returncode, 0, unsigned.stderr)
                for file in (EXE, "release.zip"):
                    same = run(sys.executable, TOOLS / "exe_image.py", "compare",
                               dist / "unsigned" / file, self.work / "release" / file)
                    self.assertEqual(same.returncode, 0, same.stdout)
        Path(ARGS.out).mkdir(parents=True, exist_ok=True)
        shutil.copyfile(dist / EXE, Path(ARGS.out) / EXE)

    def test_a_changed_file_a_foreign_ca_or_a_wrong_password_is_refused(self):
        dist, _ = self.signing("signed", {"LTF_SIGN_PASSWORD": PASSWORD})
        data = bytearray((dist / EXE).read_bytes())
        data[exe_image.parse(data).section(".text").offset + 64] ^= 1
        (self.work / "changed.exe").write_bytes(data)
        # Eight more bytes in the certificate table, which the signature's digest leaves out.
        data = bytearray((dist / EXE).read_bytes() + b"appended")
        image = exe_image.parse(data)
        at, size = image.directories[exe_image.CERTIFICATE_DIRECTORY]
        struct.pack_into("<I", data, at, size + 8)
        entry = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 112 + 8 * 4  # PE, optional header
        struct.pack_into("<I", data, entry + 4, size + 8)
        (self.work / "appended.exe").write_bytes(data)
        for name, exe, ca in (("a byte of code changed", "changed.exe", None),
                              ("a byte of code changed, with the CA", "changed.exe", "ca.crt"),
                              ("bytes appended to the signature", "appended.exe", "ca.crt"),
                              ("a CA that signed nothing here", f"signed/{EXE}", "other.crt"),
                              ("the unsigned exe, with the CA", f"release/{EXE}", "ca.crt")):
            with self.subTest(name):
                done = run(sys.executable, TOOLS / "signing.py", "unsign", self.work / exe,
                           self.work / "out.exe", *(["--ca", self.work / ca] if ca else []))
                self.assertEqual(done.returncode, 1, done.stdout)
        with self.subTest("SIGNER.txt naming another certificate"):
            signer = dist / "SIGNER.txt"
            signer.write_text(signer.read_text().replace("Throwaway", "Other"))
            done = run(sys.executable, TOOLS / "signing.py", "unsign-release", dist,
                       dist / "unsigned")
            self.assertEqual(done.returncode, 1, done.stdout)
        with self.subTest("a wrong password"):
            dist, done = self.signing("wrong", {"LTF_SIGN_PASSWORD": "wrong"})
            self.assertNotEqual(done.returncode, 0)
            self.assertEqual((dist / EXE).read_bytes(), Path(ARGS.exe).read_bytes())


class ThirdParty(unittest.TestCase):
    def test_the_notices_and_the_sbom_name_every_file_the_exe_links(self):
        linked = third_party.linked_files(Path(ARGS.exe).with_suffix(".pdb"), ARGS.runtime)
        notices = Path(ARGS.notices).read_text()
        sbom = json.loads(Path(ARGS.sbom).read_text())
        in_sbom = {file["name"] for c in sbom["components"] for file in c["components"]}
        self.assertTrue(any(Path(path).name == "libstdc++.a" for path in linked), linked)
        for path in linked:
            self.assertIn(path, notices)
            self.assertIn(path, in_sbom)
        # The same link with one component's files unknown: they are named.
        _, uncovered = third_party.components_of(
            linked, [c for c in third_party.COMPONENTS if c[0] != "libgcc"])
        self.assertTrue(uncovered and all("gcc-mingw-w64" in line for line in uncovered), uncovered)

    def test_the_sbom_validates_against_the_schema_and_a_broken_one_does_not(self):
        # scripts/install-deps.sh puts the validator there, first thing in the test command.
        if not (Path(ARGS.node_modules) / "@cyclonedx").is_dir():
            self.skipTest(f"no validator in {ARGS.node_modules}: run scripts/install-deps.sh")
        broken = json.loads(Path(ARGS.sbom).read_text())
        broken["metadata"]["component"]["hashes"][0]["alg"] = "SHA256"
        with tempfile.NamedTemporaryFile("w", suffix=".json") as file:
            json.dump(broken, file)
            file.flush()
            for document, status in ((ARGS.sbom, 0), (file.name, 1)):
                done = run("node", HERE / "validate_sbom.cjs", document,
                           env={"NODE_PATH": ARGS.node_modules})
                self.assertEqual(done.returncode, status, done.stdout + done.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--out", "--notices", "--sbom", "--node-modules"):
        parser.add_argument(option, required=True)
    parser.add_argument("--runtime", nargs="+", required=True)
    _, rest = parser.parse_known_args(namespace=ARGS)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
