#!/usr/bin/env python3
"""The launcher exe as its file holds it: PE headers, sections, imports, load configuration,
debug directory and base relocations, its size outside the resources against the budget, and
what its link map says makes that size up.

The exe's own check (check_exe.py) and the benchmark report import it; as a command,
for the tests and scripts/reproduce.sh:
  exe_image.py size EXE MAP      fails when the exe outside its resources is over the budget
  exe_image.py compare EXE EXE   fails when the files differ, naming the offsets that do
"""

import re
import struct
import subprocess
import sys
import uuid
from dataclasses import dataclass
from pathlib import Path

# Every function the exe imports, by DLL as its import table spells it ("#N" for one taken by
# ordinal N); every DLL here ships with Windows. check_exe.py fails on any difference
# and names it, so a new dependency is added here on purpose, not by a change elsewhere.
IMPORTS = {
    "GDI32.dll": "CreateSolidBrush DeleteObject GetStockObject SetBkMode SetTextColor TextOutW",
    "KERNEL32.dll": """
        AcquireSRWLockExclusive CancelIo CloseHandle CreateEventW CreateFileW CreateProcessW
        DeleteCriticalSection DuplicateHandle EnterCriticalSection FindClose FindFirstFileExW
        GetCommandLineW GetCurrentProcess GetCurrentProcessId GetCurrentThreadId
        GetEnvironmentVariableW GetExitCodeProcess GetFileAttributesW GetFileInformationByHandle
        GetFileInformationByHandleEx GetFullPathNameW GetLastError GetModuleFileNameW
        GetModuleHandleW GetOverlappedResult GetStartupInfoW GetStdHandle GetSystemDirectoryW
        GetSystemTimeAsFileTime GetWindowsDirectoryW InitializeCriticalSection LeaveCriticalSection
        ProcessIdToSessionId QueryPerformanceCounter ReadFile ReleaseSRWLockExclusive SetLastError
        SetUnhandledExceptionFilter Sleep TlsGetValue VirtualProtect VirtualQuery
        WaitForMultipleObjects WaitForSingleObject __C_specific_handler
    """,
    "msvcrt.dll": """
        __iob_func __set_app_type __setusermatherr __wgetmainargs __winitenv _amsg_exit _cexit
        _commode _fmode _initterm _onexit _wcmdln abort calloc exit fprintf free fwrite malloc
        memcmp memcpy memmove memset signal strcmp strlen strncmp vfprintf
    """,
    "ntdll.dll": "NtCreateNamedPipeFile NtOpenFile RtlNtStatusToDosError",
    "ole32.dll": "CoInitializeEx CoUninitialize",
    "SHELL32.dll": "ShellExecuteExW",
    "USER32.dll": """
        BeginPaint CreateWindowExW DefWindowProcW DestroyWindow DispatchMessageW EndPaint FillRect
        GetClientRect GetMessageW LoadCursorW LoadIconW MessageBoxW PostQuitMessage
        RegisterClassExW SetForegroundWindow ShowWindow TranslateMessage
    """,
}
# The DLLs of that list, in lower case: the loader matches DLL names whatever their case.
SYSTEM_DLLS = frozenset(dll.lower() for dll in IMPORTS)
# The stripped exe outside its resource section: headers, code, data, imports, relocations.
CODE_BUDGET = 69 * 1024

RELOCS_STRIPPED = 0x0001  # file header characteristics
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, GUARD_CF = 0x0020, 0x0040, 0x0100, 0x4000
SCN_MEM_EXECUTE, SCN_MEM_WRITE = 0x20000000, 0x80000000
SUBSYSTEM_WINDOWS_GUI = 2
IMPORT_DIRECTORY, EXCEPTION_DIRECTORY, CERTIFICATE_DIRECTORY, BASE_RELOCATION_DIRECTORY = 1, 3, 4, 5
DEBUG_DIRECTORY, LOAD_CONFIG_DIRECTORY = 6, 10
DEBUG_CODEVIEW, DEBUG_EX_DLLCHARACTERISTICS = 2, 20
# IMAGE_LOAD_CONFIG_DIRECTORY64: the offsets of the fields read here.
LOAD_CONFIG_FIELDS = {"Size": (0, "I"), "SecurityCookie": (88, "Q"),
                      "GuardCFCheckFunctionPointer": (112, "Q"),
                      "GuardCFDispatchFunctionPointer": (120, "Q"),
                      "GuardCFFunctionTable": (128, "Q"), "GuardCFFunctionCount": (136, "Q"),
                      "GuardFlags": (144, "I")}


@dataclass
class Section:
    name: str
    rva: int
    virtual_size: int
    offset: int
    raw_size: int
    flags: int


@dataclass
class Image:
    data: bytes
    timestamp: int
    characteristics: int
    image_base: int
    image_size: int
    checksum: int
    subsystem: int
    dll_characteristics: int
    directories: list  # (rva, size) of each data directory
    sections: list
    header_fields: dict  # name: (first offset, last offset) of the fields a rebuild may change

    def section(self, name):
        return next((s for s in self.sections if s.name == name), None)

    def offset_of(self, rva):
        for s in self.sections:
            if s.rva <= rva < s.rva + s.raw_size:
                return s.offset + rva - s.rva
        raise ValueError(f"RVA {rva:#x} is in no section")

    def string_at(self, rva):
        start = self.offset_of(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def import_table(self):
        """{DLL: [function]} in the import table's order; a function imported by ordinal is
        named "#ordinal"."""
        rva, size = self.directories[IMPORT_DIRECTORY]
        table = {}
        # One 20-byte descriptor per DLL: its lookup table's RVA at +0, its name's at +12 and
        # its address table's at +16; a zero name ends the table.
        for at in range(rva, rva + size, 20):
            lookup, name, addresses = struct.unpack_from("<I8xII", self.data, self.offset_of(at))
            if name == 0:
                break
            functions = table.setdefault(self.string_at(name), [])
            # The address table holds the same entries until the loader binds it; 8 bytes each,
            # the top bit for an ordinal, else the RVA of a 2-byte hint and the name; 0 ends it.
            thunk = lookup or addresses
            while entry := struct.unpack_from("<Q", self.data, self.offset_of(thunk))[0]:
                functions.append(f"#{entry & 0xFFFF}" if entry >> 63
                                 else self.string_at((entry & 0x7FFFFFFF) + 2))
                thunk += 8
        return table

    def imports(self):
        return list(self.import_table())

    def signature(self):
        """The Authenticode signature (PKCS#7, DER) of the first certificate table entry; b""
        for an unsigned exe."""
        # The directory holds a file offset, not an RVA: the table is not loaded.
        at, size = self.directories[CERTIFICATE_DIRECTORY] if len(self.directories) > 4 else (0, 0)
        if not size:
            return b""
        # Its length, then a revision and a type of 2 bytes each.
        length = struct.unpack_from("<I", self.data, at)[0]
        return self.data[at + 8:at + length]

    def load_config(self):
        """The load configuration's fields named in LOAD_CONFIG_FIELDS, and the guard's function
        table as RVAs; {} without one."""
        rva, size = (self.directories[LOAD_CONFIG_DIRECTORY] if len(self.directories) > 10
                     else (0, 0))
        if not size:
            return {}
        at = self.offset_of(rva)
        length = struct.unpack_from("<I", self.data, at)[0]
        fields = {name: struct.unpack_from("<" + kind, self.data, at + offset)[0]
                  for name, (offset, kind) in LOAD_CONFIG_FIELDS.items()
                  if offset + struct.calcsize(kind) <= length}
        table, count = fields.get("GuardCFFunctionTable", 0), fields.get("GuardCFFunctionCount", 0)
        # Each entry an RVA, followed by as many bytes of flags as GuardFlags' top nibble says.
        stride = 4 + (fields.get("GuardFlags", 0) >> 28)
        start = self.offset_of(table - self.image_base) if table else 0
        fields["functions"] = {struct.unpack_from("<I", self.data, start + stride * i)[0]
                               for i in range(count)}
        return fields

    def debug_entries(self):
        """{type: the entry's data} of the debug directory."""
        rva, size = self.directories[DEBUG_DIRECTORY] if len(self.directories) > 6 else (0, 0)
        entries = {}
        for at in range(rva, rva + size, 28):
            kind, length, _, pointer = struct.unpack_from("<12xIIII", self.data, self.offset_of(at))
            entries[kind] = self.data[pointer:pointer + length]
        return entries

    def codeview(self):
        """(GUID, age, PDB name) of the debug directory's CodeView record; None without one."""
        record = self.debug_entries().get(DEBUG_CODEVIEW, b"")
        if record[:4] != b"RSDS":
            return None
        return (uuid.UUID(bytes_le=record[4:20]), struct.unpack_from("<I", record, 20)[0],
                record[24:record.index(b"\0", 24)].decode())

    def pointers(self):
        """{RVA of an 8-byte pointer the loader relocates: the RVA it points at}."""
        rva, size = self.directories[BASE_RELOCATION_DIRECTORY]
        found = {}
        at = rva
        # Blocks of a page's RVA, the block's size, then 2-byte entries: the type in the top 4
        # bits (10 for a 64-bit pointer), the offset in the page below.
        while at < rva + size:
            page, length = struct.unpack_from("<II", self.data, self.offset_of(at))
            for i in range((length - 8) // 2):
                entry = struct.unpack_from("<H", self.data, self.offset_of(at + 8 + 2 * i))[0]
                if entry >> 12 == 10:
                    where = page + (entry & 0xFFF)
                    value = struct.unpack_from("<Q", self.data, self.offset_of(where))[0]
                    found[where] = value - self.image_base
            at += length
        return found

    def function_starts(self):
        """The RVAs at which the unwind table says functions start: every function but a leaf
        that touches no stack."""
        rva, size = self.directories[EXCEPTION_DIRECTORY]
        at = self.offset_of(rva) if size else 0
        return {struct.unpack_from("<I", self.data, at + i)[0] for i in range(0, size, 12)}

    def lea_targets(self):
        """The RVAs that the executable sections load with a rip-relative lea (8D, ModRM of mod
        00 and r/m 101, a 32-bit displacement); any such bytes count."""
        found = set()
        for s in (s for s in self.sections if s.flags & SCN_MEM_EXECUTE):
            code = self.data[s.offset:s.offset + min(s.raw_size, s.virtual_size)]
            at = code.find(b"\x8d")
            while 0 <= at <= len(code) - 6:
                if code[at + 1] & 0xC7 == 0x05:
                    end = at + 6
                    found.add(s.rva + end + int.from_bytes(code[at + 2:end], "little", signed=True))
                at = code.find(b"\x8d", at + 1)
        return found

    def computed_checksum(self):
        """The PE checksum of the file as Windows computes it: its 16-bit words summed with the
        carries folded back in, the checksum field counted as 0, plus the file's length."""
        first, last = self.header_fields["CheckSum"]
        data = self.data[:first] + bytes(4) + self.data[last + 1:]
        data += bytes(len(data) % 2)
        total = sum(struct.unpack(f"<{len(data) // 2}H", data))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return total + len(self.data)

    def where(self, offset):
        """The section or header field whose bytes hold a file offset."""
        for name, (first, last) in self.header_fields.items():
            if first <= offset <= last:
                return name
        for s in self.sections:
            if s.offset <= offset < s.offset + s.raw_size:
                return s.name
        first = min(s.offset for s in self.sections if s.raw_size)
        return "headers" if offset < first else "past the sections"


def read(path):
    return parse(Path(path).read_bytes(), path)


def parse(data, path="the image"):
    pe = struct.unpack_from("<I", data, 0x3C)[0] if data[:2] == b"MZ" else 0
    if data[pe:pe + 4] != b"PE\0\0" or struct.unpack_from("<H", data, pe + 24)[0] != 0x20B:
        raise ValueError(f"{path} is not a 64-bit PE image")
    count, timestamp, optional_size, characteristics = struct.unpack_from("<2xHI8xHH", data, pe + 4)
    optional = pe + 24
    image_base, = struct.unpack_from("<Q", data, optional + 24)
    image_size, = struct.unpack_from("<I", data, optional + 56)
    checksum, subsystem, dll_characteristics = struct.unpack_from("<IHH", data, optional + 64)
    directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i)
                   for i in range(struct.unpack_from("<I", data, optional + 108)[0])]
    sections = []
    for at in range(optional + optional_size, optional + optional_size + 40 * count, 40):
        name, virtual_size, rva, raw_size, offset = struct.unpack_from("<8sIIII", data, at)
        flags = struct.unpack_from("<I", data, at + 36)[0]
        sections.append(Section(name.rstrip(b"\0").decode("ascii"), rva, virtual_size, offset,
                                raw_size, flags))
    fields = {"TimeDateStamp": (pe + 8, pe + 11), "CheckSum": (optional + 64, optional + 67)}
    return Image(data, timestamp, characteristics, image_base, image_size, checksum, subsystem,
                 dll_characteristics, directories, sections, fields)


def pdb_dump(pdb, *what):
    """What llvm-pdbutil's dump says of a PDB, e.g. pdb_dump(PDB, "--summary")."""
    return subprocess.run(["llvm-pdbutil-19", "dump", *what, str(pdb)], check=True,
                          capture_output=True).stdout.decode(errors="replace")


def size_outside_resources(image):
    """(file size, bytes of the resource section): its own bytes, without the padding to the
    file alignment, as objdump -h counts them."""
    resources = image.section(".rsrc")
    return len(image.data), min(resources.virtual_size, resources.raw_size) if resources else 0


def map_contributors(path):
    """Bytes of each object file or archive member in the exe outside its resources, from lld's
    map: the sizes of its input sections in every output section but the resources."""
    sizes, section = {}, None
    # "Address Size Align Out In Symbol": an output section's name starts at column 24, an input
    # section's "file:(section)" at 32, a symbol's name at 40.
    for line in Path(path).read_text().splitlines()[1:]:
        fields = line.split(maxsplit=3)
        if len(fields) < 4:
            continue
        if line[24] != " ":
            section = fields[3]
        elif line[32] != " " and section != ".rsrc":
            name = fields[3].rpartition(":(")[0]
            sizes[name] = sizes.get(name, 0) + int(fields[1], 16)
    return sizes


def top_contributors(map_path, count=10):
    """The map's largest contributors as (short name, bytes); "runtime/libstdc++.a(x.o)" is
    named "libstdc++.a(x.o)"."""
    top = sorted(map_contributors(map_path).items(), key=lambda item: -item[1])[:count]
    return [(re.sub(r"^.*/(?=[^/]*(\(|$))", "", name), size) for name, size in top]


def differences(a, b):
    """The runs of offsets at which two byte strings differ, as (first, last) pairs; bytes that
    only one of them has count as different."""
    runs = []
    for i in range(max(len(a), len(b))):
        if i >= len(a) or i >= len(b) or a[i] != b[i]:
            if runs and runs[-1][1] == i - 1:
                runs[-1] = (runs[-1][0], i)
            else:
                runs.append((i, i))
    return runs


def check_size(exe, map_path):
    size, resources = size_outside_resources(read(exe))
    rest = size - resources
    print(f"{Path(exe).name}: {size} bytes, resources {resources}, the rest {rest} "
          f"(budget {CODE_BUDGET})")
    if rest <= CODE_BUDGET:
        return 0
    print(f"over the budget by {rest - CODE_BUDGET} bytes; the largest contributors in the link "
          f"map {map_path}:")
    for name, value in top_contributors(map_path):
        print(f"  {value:8}  {name}")
    return 1


def compare(first, second):
    a, b = Path(first).read_bytes(), Path(second).read_bytes()
    if a == b:
        return 0
    runs = differences(a, b)
    print(f"{first} ({len(a)} bytes) and {second} ({len(b)} bytes) differ at {len(runs)} runs "
          f"of offsets:")
    try:
        where = read(first).where
    except ValueError:
        where = lambda offset: "?"
    for first_offset, last_offset in runs[:20]:
        print(f"  {first_offset:#010x}..{last_offset:#010x} ({last_offset - first_offset + 1} "
              f"bytes, {where(first_offset)})")
    if len(runs) > 20:
        print(f"  and {len(runs) - 20} more")
    return 1


def main(argv):
    commands = {"size": check_size, "compare": compare}
    if len(argv) != 4 or argv[1] not in commands:
        sys.exit(__doc__)
    return commands[argv[1]](argv[2], argv[3])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
