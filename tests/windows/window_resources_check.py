#!/usr/bin/env python3
"""Checks the resources, subsystem and imports of the built launcher exe.

usage: window_resources_check.py EXE OBJDUMP
Prints one line per failed check; exits 1 if any failed.
"""
import re
import struct
import subprocess
import sys

SIZES = [256, 128, 64, 48, 32, 16]
STRINGS = {
    "CompanyName": "Lanternfield",
    "FileDescription": "Lanternfield Launcher",
    "FileVersion": "1.0.0.0",
    "InternalName": "LanternfieldLauncher",
    "OriginalFilename": "LanternfieldLauncher.exe",
    "ProductName": "Lanternfield",
    "ProductVersion": "1.0.0.0",
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "ntdll.dll",
               "advapi32.dll", "shell32.dll"}
failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(*command, stdin=None):
    return subprocess.run(command, input=stdin, check=True, capture_output=True).stdout


def blocks(data):
    """The version record's nodes: (key, value type, value bytes, children bytes)."""
    while len(data) >= 6:
        length, value_length, value_type = struct.unpack_from("<HHH", data)
        node, data = data[:length], data[(length + 3) & ~3:]
        end = 6
        while node[end:end + 2] != b"\0\0":
            end += 2
        key = node[6:end].decode("utf-16-le")
        start = (end + 2 + 3) & ~3
        size = value_length * 2 if value_type == 1 else value_length
        value = node[start:start + size]
        yield key, value_type, value, node[(start + size + 3) & ~3:]


def check_version(raw):
    nodes = list(blocks(raw))
    expect(len(nodes) == 1 and nodes[0][0] == "VS_VERSION_INFO", "one VS_VERSION_INFO record")
    if not nodes:
        return
    _, _, fixed, children = nodes[0]
    fields = struct.unpack("<13I", fixed) if len(fixed) == 52 else ()
    version = (0xFEEF04BD, 0x00010000, 0x00010000, 0, 0x00010000, 0)
    expect(fields[:6] == version if fields else False,
           f"fixed part signature and versions 1.0.0.0: {[hex(f) for f in fields[:6]]}")
    expect(fields[6:] == (0,) * 7 if fields else False,
           f"flags mask, flags, OS, type, subtype and date all 0: {fields[6:]}")
    found = {key: (value, grandchildren) for key, _, value, grandchildren in blocks(children)}
    expect(sorted(found) == ["StringFileInfo", "VarFileInfo"], f"children {sorted(found)}")
    tables = list(blocks(found.get("StringFileInfo", (b"", b""))[1]))
    expect([t[0] for t in tables] == ["040904b0"], f"string tables {[t[0] for t in tables]}")
    # Each value is its text and exactly one terminating NUL.
    strings = {key: value.decode("utf-16-le") for key, _, value, _ in
               (blocks(tables[0][3]) if tables else [])}
    expect(strings == {k: v + "\0" for k, v in STRINGS.items()}, f"strings {strings}")
    translation = list(blocks(found.get("VarFileInfo", (b"", b""))[1]))
    expect([(k, v) for k, _, v, _ in translation] == [("Translation", struct.pack("<HH", 0x409, 0x4B0))],
           f"translation {translation}")


def main(exe, objdump):
    listing = run("wrestool", "-l", exe).decode()
    resources = sorted(re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)", listing))
    expected = sorted([("3", str(n), "1033") for n in range(1, 7)] +
                      [("14", "1", "1033"), ("16", "1", "1033")])
    # No manifest (24), dialog, menu, accelerator or string table: nothing but these.
    expect(resources == expected, f"resources {resources}")

    group = run("icotool", "-l", "-", stdin=run("wrestool", "-x", "-t14", "-n1", exe))
    images = re.findall(r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", group.decode())
    expect(images == [(str(s), str(s), "32") for s in SIZES], f"icon group 1 images {images}")
    for number, size in enumerate(SIZES, 1):
        image = run("wrestool", "-x", "--raw", "-t3", f"-n{number}", exe)
        header = struct.unpack_from("<IiiHH", image) if len(image) >= 16 else ()
        expect(not image.startswith(b"\x89PNG"), f"icon image {number} is a PNG")
        expect(header == (40, size, 2 * size, 1, 32),
               f"icon image {number}: DIB header {header}, wanted {size} px at 32 bpp")

    check_version(run("wrestool", "-x", "--raw", "-t16", "-n1", exe))

    headers = run(objdump, "-p", exe).decode()
    expect(re.search(r"^Subsystem\s+00000002\s+\(Windows GUI\)", headers, re.M) is not None,
           "GUI subsystem")
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    expect(dlls and dlls <= SYSTEM_DLLS, f"imports beyond the system DLLs: {sorted(dlls - SYSTEM_DLLS)}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
