#!/usr/bin/env python3
"""Zips that two builds of one commit write byte for byte the same, and the release directory.

  package.py zip OUT ENTRY...    ENTRY is FILE (stored under its own name) or NAME=FILE
  package.py symbols OUT EXE PDB the exe and its PDB in a symbol server's tree, zipped
  package.py release DIST --url URL FILE...
                                 DIST emptied, then FILE... copied in beside SHA256SUMS, their
                                 sums; the update URL the exe opens is printed with the list

Every entry is dated SOURCE_DATE_EPOCH (the release sets the commit's time; otherwise 1980, the
first date a zip holds) and stored with the same attributes, in the order given.
"""
import hashlib
import os
import shutil
import sys
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exe_image  # noqa: E402

FIRST_ZIP_DATE = 315532800  # 1980-01-01


def write_zip(archive, entries):
    epoch = max(int(os.environ.get("SOURCE_DATE_EPOCH", FIRST_ZIP_DATE)), FIRST_ZIP_DATE)
    date = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(archive, "w") as z:
        for entry in entries:
            name, _, path = entry.rpartition("=")
            info = zipfile.ZipInfo(name or Path(path).name, date)
            info.compress_type, info.external_attr = zipfile.ZIP_DEFLATED, 0o644 << 16
            z.writestr(info, Path(path).read_bytes(), compresslevel=9)


def write_symbols(archive, exe, pdb):
    """The layout a symbol server answers from, and WinDbg's and Visual Studio's symbol paths
    read: an exe under its link time and image size, a PDB under the GUID and age that the exe's
    CodeView record gives."""
    image = exe_image.read(exe)
    guid, age, _ = image.codeview()
    exe, pdb = Path(exe), Path(pdb)
    write_zip(archive, [
        f"{exe.name}/{image.timestamp:08X}{image.image_size:x}/{exe.name}={exe}",
        f"{pdb.name}/{guid.hex.upper()}{age:X}/{pdb.name}={pdb}"])


def write_release(dist, url, files):
    dist = Path(dist)
    shutil.rmtree(dist, ignore_errors=True)
    dist.mkdir(parents=True)
    sums = []
    for file in map(Path, files):
        shutil.copyfile(file, dist / file.name)
        sums.append(f"{hashlib.sha256(file.read_bytes()).hexdigest()}  {file.name}\n")
    (dist / "SHA256SUMS").write_text("".join(sums), newline="\n")
    print(f"{dist}: the release, whose exe opens {url}")
    for file in sorted(dist.iterdir()):
        print(f"  {file.stat().st_size:>10}  {file.name}")


def main(argv):
    if len(argv) >= 3 and argv[1] == "zip":
        write_zip(argv[2], argv[3:])
    elif len(argv) == 5 and argv[1] == "symbols":
        write_symbols(*argv[2:])
    elif len(argv) >= 5 and argv[1] == "release" and argv[3] == "--url":
        write_release(argv[2], argv[4], argv[5:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
