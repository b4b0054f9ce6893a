#!/usr/bin/env python3
"""Copies of the statically linked runtime (GCC-built, without Control Flow Guard) whose
relocations name the functions they take the address of, so that lld lists those functions as
valid call targets.

lld counts a function of an uninstrumented object as a target when a relocation names it; but
GNU as writes a reference to a function of the same object against its section's symbol plus an
offset (a vtable's entries, the runtime's initializer and TLS callback tables, an address loaded
with lea), which lld does not count. Windows would then end the process at the first guarded call
of such a function, from msvcrt's _initterm or from a virtual call of our code into libstdc++.
Each such relocation is pointed at the function symbol at that offset, with the addend made 0;
where the library kept no symbol for the function (a static one, in a section of its own), the
section's symbol is marked a function instead. A lea of a function in its own section carries no
relocation at all (the assembler resolved it), so the function's entry in the unwind table is
made to name it. The target and every byte of code stay the same, and no file changes in size.
Direct calls keep their section symbols; debug sections are left alone.

  guard_runtime.py OUT_DIR FILE...   each object or archive FILE written to OUT_DIR under its name
"""
import struct
import sys
from pathlib import Path

ADDR64, ADDR32, ADDR32NB, REL32 = 1, 2, 3, 4
ADDEND_SIZE = {ADDR64: 8, ADDR32: 4, ADDR32NB: 4, REL32: 4}
SCN_CNT_CODE, SCN_MEM_DISCARDABLE, SCN_MEM_EXECUTE = 0x20, 0x02000000, 0x20000000
SCN_LNK_NRELOC_OVFL = 0x01000000
FUNCTION_TYPE = 0x20  # the complex type "function", in the symbol's type field
BIGOBJ_CLASS_ID = bytes.fromhex("c7a1bad1eebaa94baf20faf66aa4dcb8")


def coff_layout(data, at):
    """(section count, symbol table offset, symbol count, symbol size, section headers offset,
    section number format) of the COFF object at `at`, or None for anything else."""
    machine, sig2 = struct.unpack_from("<HH", data, at)
    if machine == 0x8664:
        sections, _, symbols, count, optional = struct.unpack_from("<HIIIH", data, at + 2)
        return sections, symbols, count, 18, at + 20 + optional, "<h"
    if machine == 0 and sig2 == 0xFFFF and data[at + 12:at + 28] == BIGOBJ_CLASS_ID:
        sections, symbols, count = struct.unpack_from("<III", data, at + 44)
        return sections, symbols, count, 20, at + 56, "<i"
    return None  # an import object, or not for x86-64


def is_lea(data, site):
    """Whether the 4 bytes at `site` are the displacement of a lea with a rip-relative operand:
    opcode 8D, then a ModRM byte of mod 00 and r/m 101."""
    return site >= 2 and data[site - 2] == 0x8D and data[site - 1] & 0xC7 == 0x05


def name_functions(data, at):
    """Makes every function whose address the object at `at` in `data` (a bytearray) takes
    named by a relocation, which lld then lists; returns how many relocations it changed, and the
    targets it found no function at (as "section+offset")."""
    layout = coff_layout(data, at)
    if layout is None:
        return 0, []
    section_count, symbol_table, symbol_count, symbol_size, headers, number_format = layout
    strings = at + symbol_table + symbol_size * symbol_count
    sections = []
    for i in range(section_count):
        name = bytes(data[headers + 40 * i:headers + 40 * i + 8]).rstrip(b"\0")
        if name.startswith(b"/") and name[1:].isdigit():  # a long name, in the string table
            start = strings + int(name[1:])
            name = bytes(data[start:data.index(b"\0", start)])
        size, raw, relocations, count, flags = struct.unpack_from("<III4xH2xI", data,
                                                                  headers + 40 * i + 16)
        if flags & SCN_LNK_NRELOC_OVFL:  # the real count is in the first entry
            count = struct.unpack_from("<I", data, at + relocations)[0] - 1
            relocations += 10
        entries = range(at + relocations, at + relocations + 10 * count, 10)
        sections.append((name, at + raw, size, entries, flags))
    # Symbols by index: (section number, value, is a function); functions by (section, value).
    symbols, functions, types = {}, {}, {}
    index = 0
    while index < symbol_count:
        entry = at + symbol_table + symbol_size * index
        value, = struct.unpack_from("<I", data, entry + 8)
        section, = struct.unpack_from(number_format, data, entry + 12)
        types[index] = entry + symbol_size - 4
        kind, _, aux = struct.unpack_from("<HBB", data, types[index])
        is_function = kind & 0xF0 == FUNCTION_TYPE
        symbols[index] = (section, value, is_function)
        if is_function and section > 0:
            functions.setdefault((section, value), index)
        index += 1 + aux

    def executable(section):
        return 0 < section <= len(sections) and sections[section - 1][4] & (SCN_CNT_CODE
                                                                             | SCN_MEM_EXECUTE)

    def name(entry, site, kind, target):
        """Points one relocation at the function at `target`; False if none can be named."""
        section, offset = target
        symbol = struct.unpack_from("<I", data, entry + 4)[0]
        if symbols[symbol][2]:
            return True
        if (section, offset) in functions:
            struct.pack_into("<I", data, entry + 4, functions[section, offset])
            data[site:site + ADDEND_SIZE[kind]] = bytes(ADDEND_SIZE[kind])
        elif offset == 0:
            # lld counts the symbol itself, at the section's start: the function's.
            struct.pack_into("<H", data, types[symbol], FUNCTION_TYPE)
        else:
            return False
        return True

    changed, unnamed = 0, []
    starts = {}  # function start: the unwind table's relocation that names it
    for title, raw, size, entries, flags in sections:
        if flags & SCN_MEM_DISCARDABLE or title.startswith(b".xdata"):
            continue
        for entry in entries:
            offset, symbol, kind = struct.unpack_from("<IIH", data, entry)
            section, value, is_function = symbols.get(symbol, (0, 0, True))
            if kind not in ADDEND_SIZE or not executable(section):
                continue
            site = raw + offset
            target = (section, value + int.from_bytes(data[site:site + ADDEND_SIZE[kind]],
                                                      "little", signed=True))
            if title.startswith(b".pdata"):
                if offset % 12 == 0:  # each entry: the function's start, its end, its unwind data
                    starts[target] = (entry, site, kind)
            elif not is_function and (kind != REL32 or is_lea(data, site)):
                if name(entry, site, kind, target):
                    changed += 1
                else:
                    unnamed.append(f"{sections[section - 1][0].decode()}+{target[1]:#x}")
    # A lea of a function in its own section needs no relocation: the assembler resolved it, and
    # lld never sees it. The function's entry in the unwind table is made to name it instead.
    for number, (title, raw, size, entries, flags) in enumerate(sections, 1):
        if not executable(number):
            continue
        covered = {raw + struct.unpack_from("<I", data, entry)[0] for entry in entries}
        for site in range(raw + 2, raw + size - 3):
            if is_lea(data, site) and site not in covered:
                target = (number, site - raw + 4 + int.from_bytes(data[site:site + 4], "little",
                                                                   signed=True))
                if target in starts and name(*starts[target], target):
                    changed += 1
                elif target in functions or target in starts:
                    unnamed.append(f"{title.decode()}+{target[1]:#x}, taken by a lea")
    return changed, unnamed


def archive_members(data):
    """Offsets and sizes of an archive's members, the symbol index and name table left out."""
    at = 8
    while at + 60 <= len(data):
        name = bytes(data[at:at + 16]).rstrip()
        size = int(data[at + 48:at + 58])
        if name not in (b"/", b"//"):
            yield at + 60, size
        at += 60 + size + size % 2


def rewrite(path):
    """The file's bytes rewritten, how many relocations changed, and the targets left unnamed."""
    data = bytearray(Path(path).read_bytes())
    members = archive_members(data) if data.startswith(b"!<arch>\n") else [(0, len(data))]
    changed, unnamed = 0, []
    for at, _ in members:
        count, targets = name_functions(data, at)
        changed, unnamed = changed + count, unnamed + targets
    return data, changed, unnamed


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    out = Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for path in argv[2:]:
        data, changed, unnamed = rewrite(path)
        (out / Path(path).name).write_bytes(data)
        print(f"{Path(path).name}: {changed} relocations name their functions")
        # Only a symbol the library does not have could list these. Called from the runtime's own
        # code they pass, as it checks nothing; check_exe fails if the exe could call one through
        # the guard.
        for target in unnamed:
            print(f"{Path(path).name}: not listed, no function symbol at {target}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
