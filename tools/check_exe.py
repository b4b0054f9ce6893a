#!/usr/bin/env python3
"""The launcher exe as its file holds it, read without running it: its resources (the icon group,
and the version record against the project version); its headers (GUI subsystem, ASLR with
64-bit addresses, DEP, Control Flow Guard, a relocation table, no section both writable and
executable, a link time, a valid checksum, a length that a signature does not pad); its load
configuration (the guard's function table, holding every function the image points at, and the
stack cookie); its debug directory (marked compatible with CET shadow stacks, naming a PDB beside
it that is its own); its imports, exactly those that IMPORTS in tools/exe_image.py lists; and its
stack protection: the code calls __stack_chk_fail, found in the PDB's public symbols.

The exe_file test runs it on every build, and the release before it packages the exe.

Usage: check_exe.py EXE VERSION
"""
import re
import struct
import subprocess
import sys
import uuid
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exe_image  # noqa: E402

ICON_SIZES = [256, 128, 64, 48, 32, 16]
PDB_NAME = "LanternfieldLauncher.pdb"
# The value Windows' loader takes for a cookie still to be seeded.
DEFAULT_COOKIE = 0x00002B992DDFA232
# The load configuration's size up to GuardEHContinuationCount, its last guard field lld checks.
GUARD_FIELDS_END = 280
CF_INSTRUMENTED, CF_FUNCTION_TABLE_PRESENT = 0x100, 0x400
CET_COMPAT = 0x1
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
    hardening = (exe_image.DYNAMIC_BASE | exe_image.HIGH_ENTROPY_VA | exe_image.NX_COMPAT
                 | exe_image.GUARD_CF)
    writable_code = [s.name for s in image.sections
                     if s.flags & exe_image.SCN_MEM_WRITE and s.flags & exe_image.SCN_MEM_EXECUTE]
    checks = [
        (image.subsystem == exe_image.SUBSYSTEM_WINDOWS_GUI,
         f"subsystem {image.subsystem}, not GUI"),
        (image.dll_characteristics & hardening == hardening,
         f"DllCharacteristics {image.dll_characteristics:#06x} lack ASLR, 64-bit ASLR, DEP or CFG"),
        (image.directories[exe_image.BASE_RELOCATION_DIRECTORY][1] > 0
         and not image.characteristics & exe_image.RELOCS_STRIPPED, "no relocation table"),
        (not writable_code, f"sections both writable and executable: {writable_code}"),
        # A symbol server keys an exe by its link time and size: each build needs its own.
        (image.timestamp != 0, "link time 0"),
        (image.checksum == image.computed_checksum(),
         f"checksum {image.checksum:#x}, not the file's {image.computed_checksum():#x}"),
        # A signature starts on an 8-byte boundary; removing it must give back this very file.
        (len(image.data) % 8 == 0, f"file length {len(image.data)}, not a multiple of 8"),
    ]
    return [what for ok, what in checks if not ok]


def section_of(image, rva):
    return next((s for s in image.sections if s.rva <= rva < s.rva + s.virtual_size), None)


def guard_problems(image):
    """The load configuration Windows reads for Control Flow Guard and the stack cookie."""
    config = image.load_config()
    if config.get("Size", 0) < GUARD_FIELDS_END:
        return [f"load configuration of {config.get('Size', 0)} bytes: no guard fields"]
    flags, functions = config["GuardFlags"], config["functions"]
    cookie = config["SecurityCookie"] - image.image_base
    where = section_of(image, cookie)
    value = (struct.unpack_from("<Q", image.data, image.offset_of(cookie))[0]
             if where and cookie - where.rva < where.raw_size else None)
    # Any function whose address the image holds or loads may be called through the guard, from
    # our code or from Windows'; the guard's own two starting functions are only ever jumped to.
    own = {config[name] - image.image_base for name in ("GuardCFCheckFunctionPointer",
                                                         "GuardCFDispatchFunctionPointer")}
    own = {image.pointers().get(pointer) for pointer in own}
    code = [s for s in image.sections if s.flags & exe_image.SCN_MEM_EXECUTE]
    taken = {target for target in image.pointers().values()
             if any(s.rva <= target < s.rva + s.virtual_size for s in code)}
    taken |= image.lea_targets() & image.function_starts()
    refused = sorted(taken - functions - own)
    # Our code calls every function pointer through the dispatch pointer, which Windows replaces.
    guarded = calls_of(image, config["GuardCFDispatchFunctionPointer"] - image.image_base,
                       b"\xff\x15")
    checks = [
        (guarded, "no call goes through the guard's dispatch: built without -mguard=cf"),
        (flags & (CF_INSTRUMENTED | CF_FUNCTION_TABLE_PRESENT)
         == CF_INSTRUMENTED | CF_FUNCTION_TABLE_PRESENT,
         f"guard flags {flags:#x}: not instrumented, or no function table"),
        (functions, "the guard's function table is empty"),
        (not refused, "functions the image points at that the guard would refuse: "
         + ", ".join(f"{rva:#x}" for rva in refused[:10])),
        (where is not None and where.flags & exe_image.SCN_MEM_WRITE,
         f"the stack cookie at {cookie:#x} is not in writable data"),
        (value == DEFAULT_COOKIE,
         f"the stack cookie holds {value}, not the default the loader seeds"),
    ]
    return [what for ok, what in checks if not ok]


def debug_problems(exe, image):
    """(problems, the PDB the exe names, found beside it)."""
    entries = image.debug_entries()
    cet = entries.get(exe_image.DEBUG_EX_DLLCHARACTERISTICS, b"\0" * 4)
    problems = [] if struct.unpack_from("<I", cet)[0] & CET_COMPAT else [
        "not marked compatible with CET shadow stacks"]
    if image.codeview() is None:
        return problems + ["no CodeView record: the exe names no PDB"], None
    guid, age, name = image.codeview()
    if name != PDB_NAME:
        return problems + [f"the exe names the PDB {name}, not {PDB_NAME} without a folder"], None
    pdb = Path(exe).with_name(name)
    summary = exe_image.pdb_dump(pdb, "--summary") if pdb.exists() else ""
    own = re.search(r"Age: (\d+)\s+GUID: \{([0-9A-F-]+)\}", summary)
    if not own or (int(own.group(1)), uuid.UUID(own.group(2))) != (age, guid):
        return problems + [f"{pdb} is missing or not the exe's: its GUID and age differ"], None
    return problems, pdb
def import_problems(image):
    """What the import table adds to IMPORTS and what it lacks of it."""
    found = {(dll.lower(), f) for dll, functions in image.import_table().items() for f in functions}
    pinned = {(dll.lower(), f) for dll, functions in exe_image.IMPORTS.items()
              for f in functions.split()}
    return [f"imports {change} (IMPORTS in tools/exe_image.py): "
            + ", ".join(f"{dll} {function}" for dll, function in sorted(pairs))
            for change, pairs in (("added", found - pinned), ("removed", pinned - found)) if pairs]


def calls_of(image, target, opcode=b"\xe8"):
    """How many calls of the executable sections reach an RVA: call rel32 (E8), or with opcode
    FF 15 call [rip+rel32], through the pointer there. Any such bytes are taken for one: a stray
    match would also need the next four bytes to name the target."""
    calls = 0
    for s in (s for s in image.sections if s.flags & exe_image.SCN_MEM_EXECUTE):
        code = image.data[s.offset:s.offset + min(s.raw_size, s.virtual_size)]
        at = code.find(opcode)
        while 0 <= at <= len(code) - len(opcode) - 4:
            # The target is relative to the next instruction.
            end = at + len(opcode) + 4
            distance = int.from_bytes(code[end - 4:end], "little", signed=True)
            calls += s.rva + end + distance == target
            at = code.find(opcode, at + 1)
    return calls


def stack_check_calls(image, pdb):
    """(problems, how many places of the code call __stack_chk_fail)."""
    public = re.search(r"`__stack_chk_fail`\s+flags = function, addr = (\d+):(\d+)",
                       exe_image.pdb_dump(pdb, "--publics"))
    fail = image.sections[int(public.group(1)) - 1].rva + int(public.group(2)) if public else None
    calls = calls_of(image, fail) if fail is not None else 0
    if not calls:
        return ["no code calls __stack_chk_fail: built without -fstack-protector-strong"], 0
    return [], calls


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    exe, version = argv[1:]
    image = exe_image.read(exe)
    symbols, pdb = debug_problems(exe, image)
    protection, calls = stack_check_calls(image, pdb) if pdb else ([], 0)
    problems = (resource_problems(exe, version) + header_problems(image) + guard_problems(image)
                + symbols + import_problems(image) + protection)
    for problem in problems:
        print("FAIL " + problem)
    if not problems:
        print(f"{Path(exe).name}: its resources, headers, load configuration, debug directory and "
              f"imports are as expected, {len(image.load_config()['functions'])} functions are "
              f"the guard's targets, and {calls} places of its code check the stack guard")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
