#!/usr/bin/env python3
"""Authenticode signatures on the release's exe, with osslsigncode (Debian 12's 2.5 and later) and
openssl. A signed exe is proven from source by removing its signature, which gives back the
unsigned exe byte for byte (the build fills its checksum and ends it on an 8-byte boundary).

  signing.py sign-release DIST ZIP --pkcs12 FILE --name TEXT --url URL [--timestamp URL]
      signs DIST/LanternfieldLauncher.exe and puts the signed exe into DIST/ZIP in place of the
      unsigned one; writes SIGNER.txt and updates SHA256SUMS. The PKCS#12 file's password comes
      from LTF_SIGN_PASSWORD, or from the file that LTF_SIGN_PASSWORD_FILE names.
  signing.py unsign EXE OUT [--ca FILE]
      checks EXE's signature, names its signer and writes EXE without it to OUT; for an unsigned
      EXE, only says so (with --ca, fails)
  signing.py unsign-release DIST OUT [--ca FILE]
      the same for every signed exe of DIST's SHA256SUMS, loose or in a zip: each file that holds
      one is written to OUT under its name without it; SIGNER.txt must name their signer

A signature is intact when the digest it holds is the exe's and the certificate table holds
nothing else; with --ca, its certificate chain must also lead to that CA. Without --ca the signer
is only as the signature names it.
"""
import argparse
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exe_image  # noqa: E402

EXE = "LanternfieldLauncher.exe"
SIGNER = "SIGNER.txt"
SET, CONTEXT_0 = 0x31, 0xA0


class Refused(Exception):
    pass


def run(*command, stdin=None, env=None):
    done = subprocess.run(command, input=stdin, capture_output=True, env=env)
    return done.returncode, (done.stdout + done.stderr).decode(errors="replace")


def element(data, at):
    """(tag, first byte of the value, end of the value) of the DER element at `at`."""
    tag, length, at = data[at], data[at + 1], at + 2
    if length & 0x80:
        count = length & 0x7F
        length, at = int.from_bytes(data[at:at + count], "big"), at + count
    return tag, at, at + length


def children(data, outer):
    """The elements inside the constructed element at `outer`, each as (tag, start, value, end)."""
    _, at, end = element(data, outer)
    found = []
    while at < end:
        tag, value, stop = element(data, at)
        found.append((tag, at, value, stop))
        at = stop
    return found


def signer_certificate(pkcs7):
    """The DER of the certificate whose issuer and serial number the first SignerInfo names."""
    content = children(pkcs7, 0)[1]  # ContentInfo: the type, then [0] the SignedData
    signed_data = children(pkcs7, content[2])
    signer_info = children(pkcs7, [f for f in signed_data if f[0] == SET][-1][1])[0]
    issuer, serial = children(pkcs7, children(pkcs7, signer_info[1])[1][1])
    wanted = (pkcs7[issuer[1]:issuer[3]], pkcs7[serial[1]:serial[3]])
    for certificates in (f for f in signed_data if f[0] == CONTEXT_0):
        for _, start, _, end in children(pkcs7, certificates[1]):
            tbs = children(pkcs7, children(pkcs7, start)[0][1])
            tbs = tbs[1:] if tbs[0][0] == CONTEXT_0 else tbs  # an explicit version comes first
            if (pkcs7[tbs[2][1]:tbs[2][3]], pkcs7[tbs[0][1]:tbs[0][3]]) == wanted:
                return pkcs7[start:end]
    raise Refused("the signature holds no certificate of its signer")


def signer_text(certificate):
    _, names = run("openssl", "x509", "-inform", "DER", "-noout", "-subject", "-issuer",
                   "-nameopt", "utf8,sep_comma_plus_space", stdin=certificate)
    subject = re.search(r"^subject=(.*)$", names, re.M).group(1)
    issuer = re.search(r"^issuer=(.*)$", names, re.M).group(1)
    return (f"subject: {subject}\nissuer: {issuer}\n"
            f"SHA-1 thumbprint: {hashlib.sha1(certificate).hexdigest().upper()}\n"
            f"SHA-256 thumbprint: {hashlib.sha256(certificate).hexdigest().upper()}\n")


def check(name, data, ca=None):
    """The signer's description of a signed exe whose signature is intact, None for an unsigned
    one; Refused otherwise."""
    image = exe_image.parse(data, name)
    pkcs7 = image.signature()
    if not pkcs7:
        return None
    with tempfile.NamedTemporaryFile(suffix=".exe") as file:
        file.write(data)
        file.flush()
        # Without a CA file osslsigncode would try the system's store, and fails either way.
        status, report = run("osslsigncode", "verify", "-CAfile", str(ca or os.devnull),
                             "-in", file.name)
    current = re.findall(r"^Current message digest\s*: *(\w+)", report, re.M)
    calculated = re.findall(r"^Calculated message digest\s*: *(\w+)", report, re.M)
    if not current or current != calculated:
        raise Refused(f"{name}: its signature does not match its content (changed after signing)")
    # The digest leaves the certificate table out, so bytes hidden there would go unchecked: the
    # table must hold the signature alone, with at most the padding to 8 bytes, and end the file.
    at, size = image.directories[exe_image.CERTIFICATE_DIRECTORY]
    padding = pkcs7[element(pkcs7, 0)[2]:]
    if (at + size != len(data) or struct.unpack_from("<I", data, at)[0] != size
            or len(padding) >= 8 or any(padding)):
        raise Refused(f"{name}: its certificate table holds more than its signature")
    if ca and status != 0:
        lines = [line for line in report.splitlines() if re.search(r"rror|fail", line)]
        raise Refused(f"{name}: the signature does not verify against {ca}:\n  "
                      + "\n  ".join(lines))
    return signer_text(signer_certificate(pkcs7))


def unsigned(name, data, ca=None):
    """(data without its signature, the signer's description or None)."""
    signer = check(name, data, ca)
    if signer is None:
        return data, None
    with tempfile.TemporaryDirectory() as work:
        (Path(work) / "in.exe").write_bytes(data)
        status, report = run("osslsigncode", "remove-signature", "-in", f"{work}/in.exe",
                             "-out", f"{work}/out.exe")
        if status != 0:
            raise Refused(f"{name}: osslsigncode could not remove the signature:\n{report}")
        return (Path(work) / "out.exe").read_bytes(), signer


def rewrite_zip(path, out, change):
    """Writes the zip at `path` to `out` with each .exe entry's bytes passed through `change`;
    every other field is kept, so a zip that package.py wrote comes out as it would write it."""
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    with zipfile.ZipFile(out, "w") as target:
        for info, data in entries:
            if info.filename.lower().endswith(".exe"):
                data = change(f"{Path(path).name}:{info.filename}", data)
            target.writestr(info, data, compresslevel=9)


def password_source():
    """(the -readpass file, its standard input): the password never reaches a command line."""
    if "LTF_SIGN_PASSWORD_FILE" in os.environ:
        return os.environ["LTF_SIGN_PASSWORD_FILE"], None
    if "LTF_SIGN_PASSWORD" in os.environ:
        return "/dev/stdin", os.environ["LTF_SIGN_PASSWORD"].encode()
    raise Refused("no password for the PKCS#12 file: set LTF_SIGN_PASSWORD or "
                  "LTF_SIGN_PASSWORD_FILE")


def sign_release(dist, zip_name, pkcs12, name, url, timestamp):
    dist, exe = Path(dist), Path(dist) / EXE
    plain = exe.read_bytes()
    source, stdin = password_source()
    env = {k: v for k, v in os.environ.items() if not k.startswith("LTF_SIGN_PASSWORD")}
    with tempfile.TemporaryDirectory() as work:
        signed = Path(work) / EXE
        status, report = run("osslsigncode", "sign", "-pkcs12", str(pkcs12), "-readpass", source,
                             "-h", "sha256", "-n", name, "-i", url,
                             *(["-ts", timestamp] if timestamp else []),
                             "-in", str(exe), "-out", str(signed), stdin=stdin, env=env)
        if status != 0:
            raise Refused(f"signing {exe} failed:\n{report}")
        data = signed.read_bytes()
    back, signer = unsigned(EXE, data)
    if back != plain:
        raise Refused("removing the signature does not give back the unsigned exe: its "
                      "checksum or its length (a multiple of 8) is not as the linker left it")

    def swap(entry, old):
        if old != plain:
            raise Refused(f"{entry} is not the release's exe")
        return data
    rewrite_zip(dist / zip_name, dist / f"{zip_name}.signed", swap)
    (dist / f"{zip_name}.signed").replace(dist / zip_name)
    exe.write_bytes(data)
    (dist / SIGNER).write_text(f"{EXE} and the exe in {zip_name} are signed by:\n{signer}",
                               newline="\n")
    sums = dist / "SHA256SUMS"
    files = [line.split(maxsplit=1)[1] for line in sums.read_text().splitlines()]
    files += [SIGNER] if SIGNER not in files else []
    sums.write_text("".join(f"{hashlib.sha256((dist / f).read_bytes()).hexdigest()}  {f}\n"
                            for f in files), newline="\n")
    print(f"{dist}: {EXE} and the exe in {zip_name} are signed by:\n{signer}", end="")


def unsign_release(dist, out, ca):
    dist, out = Path(dist), Path(out)
    out.mkdir(parents=True, exist_ok=True)
    signers = {}

    def strip(entry, data):
        data, signer = unsigned(entry, data, ca)
        if signer:
            signers[entry] = signer
        return data
    files = [line.split(maxsplit=1)[1] for line in (dist / "SHA256SUMS").read_text().splitlines()]
    # Only what held a signature is written: everything else compares as it is.
    for file in files:
        before = len(signers)
        if file.lower().endswith(".exe"):
            data = strip(file, (dist / file).read_bytes())
            if len(signers) > before:
                (out / file).write_bytes(data)
        elif file.lower().endswith(".zip"):
            rewrite_zip(dist / file, out / file, strip)
            if len(signers) == before:
                (out / file).unlink()
    if not signers:
        if ca or SIGNER in files:
            raise Refused(f"{dist}: no exe of the release is signed")
        print(f"{dist}: no exe is signed")
        return
    for entry, signer in sorted(signers.items()):
        print(signed_by(entry, signer, ca), end="")
        if SIGNER in files and not (dist / SIGNER).read_text().endswith(signer):
            raise Refused(f"{entry} is signed by another certificate than {SIGNER} names")


def signed_by(name, signer, ca):
    chain = f"its chain verified against {ca}" if ca else "its chain not verified (--ca FILE)"
    return f"{name}: signature intact, {chain}; signed by\n{signer}"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["sign-release", "unsign", "unsign-release"])
    parser.add_argument("given")
    parser.add_argument("out")
    parser.add_argument("--ca", type=Path)
    parser.add_argument("--pkcs12", type=Path)
    parser.add_argument("--name")
    parser.add_argument("--url")
    parser.add_argument("--timestamp")
    args = parser.parse_args(argv[1:])
    try:
        if args.command == "sign-release":
            if not (args.pkcs12 and args.name and args.url):
                parser.error("sign-release needs --pkcs12, --name and --url")
            sign_release(args.given, args.out, args.pkcs12, args.name, args.url, args.timestamp)
        elif args.command == "unsign-release":
            unsign_release(args.given, args.out, args.ca)
        else:
            data, signer = unsigned(args.given, Path(args.given).read_bytes(), args.ca)
            if args.ca and not signer:
                raise Refused(f"{args.given} is not signed")
            if signer:
                Path(args.out).write_bytes(data)
            print(signed_by(args.given, signer, args.ca) if signer else
                  f"{args.given}: not signed\n", end="")
    except Refused as refused:
        print(f"FAIL {refused}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
