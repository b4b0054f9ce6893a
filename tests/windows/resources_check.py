#!/usr/bin/env python3
"""Checks the resources, subsystem and imports of the built launcher exe.

usage: resources_check.py EXE OBJDUMP     prints each failed check; exits 1 if any failed
"""
import re
import struct
import subprocess
import sys

SIZES = [256, 128, 64, 48, 32, 16]
STRINGS = {"CompanyName": "Lanternfield", "FileDescription": "Lanternfield Launcher",
           "FileVersion": "1.0.0.0", "InternalName": "LanternfieldLauncher",
           "OriginalFilename": "LanternfieldLauncher.exe", "ProductName": "Lanternfield",
           "ProductVersion": "1.0.0.0"}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "ntdll.dll",
               "advapi32.dll", "shell32.dll"}
failures = 0


def expect(ok, what):
    global failures
    if not ok:
        failures += 1
        print("FAIL:", what)


def run(*command, stdin=None):
    return subprocess.run(command, input=stdin, check=True, capture_output=True).stdout


def nodes(data):
    """A version record's nodes as {key: (value bytes, children bytes)}."""
    found = {}
    while len(data) >= 6:
        length, value_length, value_type = struct.unpack_from("<HHH", data)
        node, data = data[:length], data[(length + 3) & ~3:]
        end = node.index(b"\0\0", 6)
        end += (end % 2)  # keys are UTF-16: the terminator starts on an even offset
        start = (end + 2 + 3) & ~3
        size = value_length * 2 if value_type == 1 else value_length
        found[node[6:end].decode("utf-16-le")] = (node[start:start + size],
                                                  node[(start + size + 3) & ~3:])
    return found


def check_version(raw):
    fixed, children = nodes(raw).get("VS_VERSION_INFO", (b"", b""))
    fields = struct.unpack("<13I", fixed) if len(fixed) == 52 else ()
    # Signature, struct version, file and product version 1.0.0.0; masks, flags, OS, type and
    # date all 0.
    expect(fields == (0xFEEF04BD, 0x10000, 0x10000, 0, 0x10000, 0) + (0,) * 7,
           f"fixed part {[hex(f) for f in fields]}")
    found = nodes(children)
    expect(sorted(found) == ["StringFileInfo", "VarFileInfo"], f"children {sorted(found)}")
    tables = nodes(found.get("StringFileInfo", (b"", b""))[1])
    expect(list(tables) == ["040904b0"], f"string tables {list(tables)}")
    strings = {k: v.decode("utf-16-le") for k, (v, _) in
               nodes(tables.get("040904b0", (b"", b""))[1]).items()}
    expect(strings == {k: v + "\0" for k, v in STRINGS.items()}, f"strings {strings}")
    translation = nodes(found.get("VarFileInfo", (b"", b""))[1])
    expect({k: v for k, (v, _) in translation.items()} == {"Translation": struct.pack("<HH", 0x409, 0x4B0)},
           f"translation {translation}")


def main(exe, objdump):
    listing = run("wrestool", "-l", exe).decode()
    resources = sorted(re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)", listing))
    # Six icon images, the icon group and the version record: no manifest, dialog or strings.
    expect(resources == sorted([("3", str(n), "1033") for n in range(1, 7)] +
                               [("14", "1", "1033"), ("16", "1", "1033")]), f"resources {resources}")
    group = run("icotool", "-l", "-", stdin=run("wrestool", "-x", "-t14", "-n1", exe)).decode()
    images = re.findall(r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", group)
    expect(images == [(str(s), str(s), "32") for s in SIZES], f"icon group 1 images {images}")
    for number, size in enumerate(SIZES, 1):
        image = run("wrestool", "-x", "--raw", "-t3", f"-n{number}", exe)
        header = struct.unpack_from("<IiiHH", image) if len(image) >= 16 else ()
        expect(header == (40, size, 2 * size, 1, 32), f"icon image {number}: DIB header {header}")
    check_version(run("wrestool", "-x", "--raw", "-t16", "-n1", exe))

    headers = run(objdump, "-p", exe).decode()
    expect(re.search(r"^Subsystem\s+00000002\s+\(Windows GUI\)", headers, re.M), "GUI subsystem")
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    expect(dlls and dlls <= SYSTEM_DLLS, f"imports beyond the system DLLs: {dlls - SYSTEM_DLLS}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
