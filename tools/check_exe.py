#!/usr/bin/env python3
"""The launcher exe as its file holds it, read without running it: its resources (the icon group,
and the version record against the project version), its headers (GUI subsystem, ASLR with
64-bit addresses, DEP, a relocation table, no section both writable and executable, link time
0), its imports, exactly those that IMPORTS in tools/exe_image.py lists, and its stack
protection: the code calls __stack_chk_fail, found in the symbols file that the exe names.

The exe_file test runs it on every build, and the release before it packages the exe.

Usage: check_exe.py EXE VERSION
"""
import re
import struct
import subprocess
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exe_image  # noqa: E402

ICON_SIZES = [256, 128, 64, 48, 32, 16]
VERSION_STRINGS = {"CompanyName": "Lanternfield", "FileDescription": "Lanternfield Launcher",
                   "InternalName": "LanternfieldLauncher",
                   "OriginalFilename": "LanternfieldLauncher.exe", "ProductName": "Lanternfield"}


def output(*command, stdin=None):
    return subprocess.run(command, input=stdin, check=True, capture_output=True).stdout


def version_nodes(data):
    """A version record's nodes as {key: (value bytes, children bytes)}."""
    found = {}
    while len(data) >= 6:
        length, value_length, value_type = struct.unpack_from("<HHH", data)
        node, data = data[:length], data[(length + 3) & ~3:]
        end = node.index(b"\0\0", 6)
        end += end % 2  # the key is UTF-16: its terminator starts on an even offset
        start = (end + 2 + 3) & ~3
        size = value_length * 2 if value_type == 1 else value_length
        found[node[6:end].decode("utf-16-le")] = (node[start:start + size],
                                                  node[(start + size + 3) & ~3:])
    return found


def resource_problems(exe, version):
    listing = output("wrestool", "-l", exe).decode()
    resources = sorted(re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)", listing))
    # Six icon images, the icon group and the version record: no manifest, dialog or strings.
    wanted = sorted([("3", str(n), "1033") for n in range(1, 7)] + [("14", "1", "1033"),
                                                                   ("16", "1", "1033")])
    group = output("icotool", "-l", "-",
                   stdin=output("wrestool", "-x", "-t14", "-n1", exe)).decode()
    images = re.findall(r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", group)
    headers = [struct.unpack_from("<IiiHH", output("wrestool", "-x", "--raw", "-t3", f"-n{n}", exe))
               for n in range(1, 7)]
    fixed, children = version_nodes(output("wrestool", "-x", "--raw", "-t16", "-n1", exe)).get(
        "VS_VERSION_INFO", (b"", b""))
    fields = struct.unpack("<13I", fixed) if len(fixed) == 52 else ()
    blocks = version_nodes(children)
    tables = version_nodes(blocks.get("StringFileInfo", (b"", b""))[1])
    strings = {k: v.decode("utf-16-le") for k, (v, _) in
               version_nodes(tables.get("040904b0", (b"", b""))[1]).items()}
    translation = {k: v for k, (v, _) in
                   version_nodes(blocks.get("VarFileInfo", (b"", b""))[1]).items()}
    major, minor, patch, tweak = map(int, version.split("."))
    strings_wanted = {**VERSION_STRINGS, "FileVersion": version, "ProductVersion": version}
    checks = [
        (resources == wanted, f"resources {resources}"),
        (images == [(str(s), str(s), "32") for s in ICON_SIZES], f"icon group 1 {images}"),
        # Each image a plain 32-bit DIB, twice as high as wide for its mask.
        (headers == [(40, s, 2 * s, 1, 32) for s in ICON_SIZES], f"icon DIB headers {headers}"),
        # Signature, struct version, file and product version; the rest all 0.
        (fields == (0xFEEF04BD, 0x10000) + ((major << 16 | minor, patch << 16 | tweak) * 2)
         + (0,) * 7, f"fixed part {fields}"),
        (sorted(blocks) == ["StringFileInfo", "VarFileInfo"] and list(tables) == ["040904b0"],
         f"version blocks {sorted(blocks)} {list(tables)}"),
        (strings == {k: v + "\0" for k, v in strings_wanted.items()}, f"strings {strings}"),
        (translation == {"Translation": struct.pack("<HH", 0x409, 0x4B0)},
         f"translation {translation}"),
    ]
    return [what for ok, what in checks if not ok]


def header_problems(image):
    hardening = exe_image.DYNAMIC_BASE | exe_image.HIGH_ENTROPY_VA | exe_image.NX_COMPAT
    writable_code = [s.name for s in image.sections
                     if s.flags & exe_image.SCN_MEM_WRITE and s.flags & exe_image.SCN_MEM_EXECUTE]
    checks = [
        (image.subsystem == exe_image.SUBSYSTEM_WINDOWS_GUI,
         f"subsystem {image.subsystem}, not GUI"),
        (image.dll_characteristics & hardening == hardening,
         f"DllCharacteristics {image.dll_characteristics:#06x} lack ASLR, 64-bit ASLR or DEP"),
        (image.directories[exe_image.BASE_RELOCATION_DIRECTORY][1] > 0
         and not image.characteristics & exe_image.RELOCS_STRIPPED, "no relocation table"),
        (not writable_code, f"sections both writable and executable: {writable_code}"),
        # Two builds of one commit must match byte for byte.
        (image.timestamp == 0, f"link time {image.timestamp}, not 0"),
    ]
    return [what for ok, what in checks if not ok]


def import_problems(image):
    """What the import table adds to IMPORTS and what it lacks of it."""
    found = {(dll.lower(), f) for dll, functions in image.import_table().items() for f in functions}
    pinned = {(dll.lower(), f) for dll, functions in exe_image.IMPORTS.items()
              for f in functions.split()}
    return [f"imports {change} (IMPORTS in tools/exe_image.py): "
            + ", ".join(f"{dll} {function}" for dll, function in sorted(pairs))
            for change, pairs in (("added", found - pinned), ("removed", pinned - found)) if pairs]


def calls_of(image, target):
    """How many call rel32 instructions of the executable sections reach an RVA. Any 0xE8 byte
    is taken for one: a stray byte would also need the next four to name the target."""
    calls = 0
    for s in (s for s in image.sections if s.flags & exe_image.SCN_MEM_EXECUTE):
        code = image.data[s.offset:s.offset + min(s.raw_size, s.virtual_size)]
        at = code.find(b"\xe8")
        while 0 <= at <= len(code) - 5:
            # The target is relative to the next instruction.
            distance = int.from_bytes(code[at + 1:at + 5], "little", signed=True)
            calls += s.rva + at + 5 + distance == target
            at = code.find(b"\xe8", at + 1)
    return calls


def stack_check_calls(exe, image, version):
    """(problems, how many places of the code call __stack_chk_fail)."""
    link = image.section(".gnu_debuglink")
    if link is None:
        return ["no .gnu_debuglink: the exe names no symbols file"], 0
    # The file's name, 0-padded to a multiple of 4 bytes, then the file's CRC-32.
    raw = image.data[link.offset:link.offset + link.virtual_size]
    end = raw.index(b"\0")
    name, crc = raw[:end].decode(), struct.unpack_from("<I", raw, (end + 4) & ~3)[0]
    wanted = f"LanternfieldLauncher-{version}-win64.debug"
    if name != wanted:
        return [f"the exe names the symbols file {name}, not {wanted}"], 0
    symbols_path = Path(exe).with_name(name)
    if not symbols_path.exists() or zlib.crc32(symbols_path.read_bytes()) != crc:
        return [f"{symbols_path} is missing or not the build's: its CRC is not the exe's"], 0
    fail = exe_image.read(symbols_path).symbols().get("__stack_chk_fail")
    calls = calls_of(image, fail) if fail is not None else 0
    if not calls:
        return ["no code calls __stack_chk_fail: built without -fstack-protector-strong"], 0
    return [], calls


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    exe, version = argv[1:]
    image = exe_image.read(exe)
    protection, calls = stack_check_calls(exe, image, version)
    problems = (resource_problems(exe, version) + header_problems(image) + import_problems(image)
                + protection)
    for problem in problems:
        print("FAIL " + problem)
    if not problems:
        print(f"{Path(exe).name}: its resources, headers and imports are as expected, and "
              f"{calls} places of its code check the stack guard")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
