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
section's symbol is marked a function instead. The target and every byte of code stay the same,
and no file changes in size. Direct calls keep their section symbols; the unwind tables and
debug sections are left alone.

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


def name_functions(data, at):
    """Points the address-taking relocations of the object at `at` in `data` (a bytearray) at
    their function symbols; returns how many it changed, and the targets it found no function
    at (as "section+offset")."""
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
        raw, relocations, count, flags = struct.unpack_from("<4xII4xH2xI", data,
                                                            headers + 40 * i + 16)
        sections.append((name, raw, relocations, count, flags))
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
    changed, unnamed = 0, []
    for name, raw, relocations, count, flags in sections:
        if flags & SCN_MEM_DISCARDABLE or name.startswith((b".pdata", b".xdata")) or not count:
            continue
        first = at + relocations
        if flags & SCN_LNK_NRELOC_OVFL:  # the real count is in the first entry
            count, first = struct.unpack_from("<I", data, first)[0] - 1, first + 10
        for entry in range(first, first + 10 * count, 10):
            offset, symbol, kind = struct.unpack_from("<IIH", data, entry)
            section, value, is_function = symbols.get(symbol, (0, 0, True))
            if kind not in ADDEND_SIZE or is_function or section <= 0:
                continue
            if not sections[section - 1][4] & (SCN_CNT_CODE | SCN_MEM_EXECUTE):
                continue
            site = at + raw + offset
            # In code only an address loaded with lea: opcode 8D, ModRM rip-relative.
            if kind == REL32 and not (data[site - 2] == 0x8D and data[site - 1] & 0xC7 == 0x05):
                continue
            size = ADDEND_SIZE[kind]
            addend = int.from_bytes(data[site:site + size], "little", signed=True)
            function = functions.get((section, value + addend))
            if function is not None:
                struct.pack_into("<I", data, entry + 4, function)
                data[site:site + size] = bytes(size)
            elif value + addend == 0:
                # lld counts the symbol itself, at the section's start: the function's.
                struct.pack_into("<H", data, types[symbol], FUNCTION_TYPE)
            else:
                unnamed.append(f"{sections[section - 1][0].decode()}+{value + addend:#x}")
                continue
            changed += 1
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
    status = 0
    for path in argv[2:]:
        data, changed, unnamed = rewrite(path)
        (out / Path(path).name).write_bytes(data)
        print(f"{Path(path).name}: {changed} relocations name their functions")
        # Such a target could only be listed by a symbol the library does not have.
        for target in unnamed:
            print(f"{Path(path).name}: no function symbol at {target}", file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
