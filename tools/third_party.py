#!/usr/bin/env python3
"""What the exe links that is not ours, and what a distributor needs to know of it: the notices
its licenses ask for and a CycloneDX SBOM. Both are written the same, byte for byte, by every
build of one commit on the same packages.

The linked files are read from the exe's PDB, which the same link writes: its module table names
each object with the archive it came from, and its section contributions say which of them put
bytes into the image (lld's map names archive members without their archive). Each file is
traced to its Debian package; the runtime that the build links from copies made for Control Flow
Guard (runtime/ in the build directory, tools/guard_runtime.py) is named by the originals.

  third_party.py EXE NOTICES SBOM --version VERSION --runtime FILE... --tool ROLE=PATH...
      EXE's PDB beside it; FILE... the originals of runtime/; fails naming any linked file that
      no entry of COMPONENTS covers
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exe_image  # noqa: E402

GCC = "GPL-3.0-or-later WITH GCC-exception-3.1"
IMPORT_LIBRARIES = " ".join(f"lib{dll.lower().removesuffix('.dll')}.a" for dll in exe_image.IMPORTS)
# Every component the exe may link: its name, its Debian package, the license of the files it
# links (an SPDX expression), and those files. A linked file found in none of them fails the
# build: look up its license in the package's copyright file and add it here.
COMPONENTS = [
    # Its start-up code is in the public domain, the rest under the ZPL but for a few files under
    # other permissive terms; the notices carry the copyright file that lists them.
    ("mingw-w64 runtime", "mingw-w64-x86-64-dev", "ZPL-2.1",
     "crt2.o crt2u.o libmingw32.a libmingwex.a libmsvcrt.a libmoldname.a"),
    ("mingw-w64 import libraries", "mingw-w64-x86-64-dev", "ZPL-2.1", IMPORT_LIBRARIES),
    ("winpthreads", "mingw-w64-x86-64-dev", "MIT AND BSD-3-Clause", "libpthread.a libwinpthread.a"),
    ("libstdc++", "g++-mingw-w64-x86-64-posix", GCC, "libstdc++.a"),
    ("libgcc", "gcc-mingw-w64-x86-64-posix", GCC, "crtbegin.o crtend.o libgcc.a libgcc_eh.a"),
]
COMMON_LICENSES = re.compile(r"/usr/share/common-licenses/([\w.+-]*[\w+])")
PROPERTY = "lanternfield:"


@dataclass
class Component:
    name: str
    package: str
    license: str
    version: str = ""
    architecture: str = ""
    files: list = field(default_factory=list)  # (original path, linked as a guarded copy)


def output(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout.decode(errors="replace")


def pdb_modules(pdb):
    """({module index: the file it came from, archive or object}, {index: bytes in the image},
    the linker's path)."""
    modules = exe_image.pdb_dump(pdb, "--modules")
    files = {int(index): obj for index, obj in
             re.findall(r"Mod (\d+) \| `.*`:\s*\n\s*Obj: `(.*)`:", modules)}
    contributions = exe_image.pdb_dump(pdb, "--section-contribs")
    sizes = {}
    for index, size in re.findall(r"SC\[[^]]*\]\s*\| mod = (\d+), \w+:\d+, size = (\d+)",
                                  contributions):
        sizes[int(index)] = sizes.get(int(index), 0) + int(size)
    linker = next(i for i, obj in files.items() if obj == "")
    env = exe_image.pdb_dump(pdb, "--symbols", f"--modi={linker}")
    return files, sizes, re.search(r"- exe\s*\n\s*- (\S+)", env).group(1)


def linked_files(pdb, runtime):
    """{original path of each file not built here that puts bytes into the image: linked from a
    guarded copy}; `runtime` lists the originals of the copies in runtime/."""
    originals = {Path(path).name: path for path in runtime}
    files, sizes, _ = pdb_modules(pdb)
    linked = {}
    for index, obj in files.items():
        obj = obj.replace("\\", "/")
        if not sizes.get(index) or not obj:
            continue
        if obj.startswith("runtime/"):
            linked[originals[obj.removeprefix("runtime/")]] = True
        elif obj.startswith("/"):
            linked.setdefault(obj, False)
    return linked


def packages_of(paths):
    """{path: Debian package}; a path that no package holds, even as the file it links to, is
    left out."""
    queries = sorted({*paths, *map(os.path.realpath, paths)})
    done = subprocess.run(["dpkg", "-S", *queries], capture_output=True, text=True)
    owners = dict(reversed(line.split(": ", 1)) for line in done.stdout.splitlines()
                  if not line.startswith("diversion"))
    return {path: (owners.get(path) or owners[os.path.realpath(path)]).split(",")[0]
            for path in paths if path in owners or os.path.realpath(path) in owners}


def package_facts(package):
    return output("dpkg-query", "-W", "-f=${Version} ${Architecture}", package).split()


def components_of(linked, table=COMPONENTS):
    """(the components that the linked files belong to, the files that none covers)."""
    packages = packages_of(linked)
    components = [Component(name, package, spdx) for name, package, spdx, _ in table]
    uncovered = []
    for path, copied in sorted(linked.items()):
        owner = next((c for c, (*_, files) in zip(components, table)
                      if c.package == packages.get(path) and Path(path).name in files.split()),
                     None)
        if owner is None:
            uncovered.append(f"{path} (Debian package {packages.get(path, 'none')})")
        else:
            owner.files.append((path, copied))
    components = [c for c in components if c.files]
    for c in components:
        c.version, c.architecture = package_facts(c.package)
    return components, uncovered


def notices(exe, version, components):
    lines = [f"Third-party notices for {Path(exe).name} {version}", "",
             f"{Path(exe).name} is statically linked with the components below: their code is",
             "part of the exe. Each comes from a Debian package; the files marked * are linked",
             "from copies whose relocations name the functions they point at, for Control Flow",
             "Guard, with the same code byte for byte.", ""]
    for c in components:
        lines += [f"{c.name} {c.version} ({c.license}), Debian package {c.package}"]
        lines += [f"  {path}{' *' if copied else ''}" for path, copied in c.files] + [""]
    lines += ["Each package's copyright file follows as Debian ships it, then the license texts",
              "in /usr/share/common-licenses/ that those files refer to.", ""]
    texts, packages = {}, {}
    for c in components:
        copyright_file = f"/usr/share/doc/{c.package}/copyright"
        text = Path(copyright_file).read_text()
        packages.setdefault(text, []).append(f"{copyright_file} ({c.package} {c.version})")
        for name in COMMON_LICENSES.findall(text):
            path = f"/usr/share/common-licenses/{name}"
            texts.setdefault(os.path.realpath(path), set()).add(path)
    rule = "=" * 78
    for text, headings in packages.items():
        lines += [rule, *dict.fromkeys(headings), rule, text.rstrip("\n"), ""]
    for path, names in sorted(texts.items()):
        heading = " = ".join(sorted(names | {path}))
        lines += [rule, heading, rule, Path(path).read_text().rstrip("\n"), ""]
    return "\n".join(lines)


def purl(package, version, architecture, distro):
    quoted = version.replace("%", "%25").replace(":", "%3A").replace("+", "%2B")
    return f"pkg:deb/debian/{package}@{quoted}?arch={architecture}&distro={distro}"


def sbom(exe, version, components, tools):
    """The CycloneDX document: no serial number and no time stamp, so that it reproduces."""
    release = dict(re.findall(r'^(\w+)="?([^"\n]*)"?$', Path("/etc/os-release").read_text(), re.M))
    distro = f"{release.get('ID', 'debian')}-{release.get('VERSION_ID', '')}"

    def package(kind, name, description, facts, extra):
        package_name, package_version, architecture = facts
        return {"type": kind, "bom-ref": name, "name": name, "version": package_version,
                "description": description, **extra,
                "purl": purl(package_name, package_version, architecture, distro),
                "properties": [{"name": PROPERTY + "debian-package", "value": package_name}]}
    listed = []
    for c in components:
        files = [{"type": "file", "bom-ref": f"{c.name}:{Path(path).name}", "name": path,
                  "hashes": [{"alg": "SHA-256",
                              "content": hashlib.sha256(Path(path).read_bytes()).hexdigest()}],
                  **({"properties": [{"name": PROPERTY + "linked-as", "value":
                                      "a copy whose relocations name the functions they point at, "
                                      "for Control Flow Guard; the same code"}]} if copied else {})}
                 for path, copied in c.files]
        listed.append(package("library", c.name, "statically linked into the exe",
                              (c.package, c.version, c.architecture),
                              {"licenses": [{"expression": c.license}], "components": files}))
    tool_list = [package("application", Path(path).name, role, (name, *package_facts(name)), {})
                 for role, path, name in tools]
    name = Path(exe).name
    return {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "metadata": {
            "tools": {"components": tool_list},
            "component": {
                "type": "application", "bom-ref": name, "name": name, "version": version,
                "hashes": [{"alg": "SHA-256",
                            "content": hashlib.sha256(Path(exe).read_bytes()).hexdigest()}],
                "properties": [{"name": PROPERTY + "hash-of", "value":
                                "the unsigned exe: a signed copy has it once its signature is "
                                "removed (scripts/reproduce.sh)"}]}},
        "components": listed,
        "dependencies": [{"ref": name, "dependsOn": [c.name for c in components]}],
    }


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("exe", type=Path)
    parser.add_argument("notices", type=Path)
    parser.add_argument("sbom", type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--runtime", nargs="+", required=True)
    parser.add_argument("--tool", action="append", default=[], help="ROLE=PATH")
    args = parser.parse_args(argv[1:])
    pdb = args.exe.with_suffix(".pdb")
    components, uncovered = components_of(linked_files(pdb, args.runtime))
    if uncovered:
        print("The exe links files that no entry of COMPONENTS in tools/third_party.py covers:\n  "
              + "\n  ".join(uncovered), file=sys.stderr)
        return 1
    _, _, linker = pdb_modules(pdb)
    paths = [(role, shutil.which(path) or path) for role, path in
             (tool.split("=", 1) for tool in args.tool)] + [("linker", linker)]
    owners = packages_of([path for _, path in paths])
    tools = [(role, path, owners[path]) for role, path in paths]
    args.notices.write_text(notices(args.exe, args.version, components), newline="\r\n")
    args.sbom.write_text(json.dumps(sbom(args.exe, args.version, components, tools), indent=2)
                         + "\n", newline="\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
