#!/usr/bin/env python3
"""The launcher exe from outside: its resources, headers and imports as the file holds them,
then scenarios under Wine, each in a fresh install directory with stand-in children, comparing
what the driver saw and the stand-ins logged with what each expects. Screenshots go to --shots."""
import argparse
import re
import shutil
import struct
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import exe_image  # noqa: E402

RUNNING = "lanternfield.exe              4242 Console\r\n"
NOT_RUNNING = "INFO: No tasks are running which match the specified criteria.\r\n"
PROBE = ("tasklist.exe", '"tasklist" /FI "IMAGENAME eq lanternfield.exe" /FI "SESSION eq {session}" /NH')
STOP = ("taskkill.exe", '"taskkill" /F /FI "SESSION eq {session}" /IM lanternfield.exe')
# The shell's command line: the resolved program in quotes, then the parameters.
ELEVATED_STOP = ("taskkill.exe", '"{install}\\taskkill.exe" /F /FI "SESSION eq {session}" /IM lanternfield.exe')
UPDATE = ("cmd.exe", '"cmd" /C start {update_url}')
COMPANION = ("lanternfield.exe", '"{install}\\lanternfield.exe"')
UNINSTALLER = ("Uninstall.exe", '"{install}\\Uninstall.exe"')
MISSING_COMPANION = "box Lanternfield Error|lanternfield.exe not found in install directory.|none|OK"
CONFIRM = "box Uninstall Lanternfield|Are you sure you want to uninstall Lanternfield?|window|&Yes,&No"
NO_UNINSTALLER = "box Lanternfield|Uninstaller not found. Use Settings > Apps.|window|OK"
IDOK, IDYES, IDNO, TOGGLE, UPDATE_ID, UNINSTALL = "1", "6", "7", "101", "102", "103"
CHILDREN = ("tasklist.exe", "lanternfield.exe", "taskkill.exe", "cmd.exe")
WINE_SESSION = "1"  # Wine runs every process in session 1


def window(running):
    return f"window {'Stop' if running else 'Start'} Lanternfield|{'running' if running else 'stopped'}"


def look(running):
    # Windows adds WS_CLIPSIBLINGS (0x04000000) to every top-level window.
    return ["frame LTF_Launcher|Lanternfield|360x240|0x14C80000|0x0",
            f"child 101|Button|{'Stop' if running else 'Start'} Lanternfield|20,90,330,128|0x50010000|0x0",
            "child 102|Button|Check for Updates|20,140,168,174|0x50010000|0x0",
            "child 103|Button|Uninstall|182,140,330,174|0x50010000|0x0", "paint ok"]


@dataclass
class Scenario:
    name: str
    steps: list  # driver steps; "restart" starts the launcher again
    expect: list  # what the driver prints, all starts together
    calls: list = ()  # (program, command line) the stand-ins logged, in order
    args: str = None  # the command line after the program name
    line: str = None  # the whole command line, when the program name is not ours
    tasklist: str = RUNNING  # what the tasklist stand-in prints
    stand_ins: tuple = CHILDREN
    broken: tuple = ()  # stand-ins that are text files, which no start can run
    taskkill_exit: int = None  # the stand-in taskkill ends nothing and exits with this
    alive: int = 0  # companions still running when the scenario ends
    shot: str = None  # the screenshot's name


SCENARIOS = [
    Scenario("silent, companion running", ["exit"], ["exit 0"], [PROBE], args="--silent"),
    Scenario("silent, companion stopped", ["exit"], ["exit 0"], [PROBE, COMPANION], args="--silent",
             tasklist=NOT_RUNNING, alive=1),
    Scenario("silent, executable missing", ["box", IDOK, "exit"], [MISSING_COMPANION, "exit 0"],
             [PROBE], args="--silent", tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    Scenario("silent, tasklist cannot start", ["exit"], ["exit 0"], [COMPANION], args="--silent",
             broken=("tasklist.exe",), stand_ins=("lanternfield.exe",), alive=1),
    Scenario("quoted switch", ["exit"], ["exit 0"], [PROBE], args='"--silent"'),
    Scenario("switch as the program name", ["exit"], ["exit 0"], [PROBE], line="--silent"),
    Scenario("near miss opens the window", ["window", "close", "exit"], [window(True), "exit 0"],
             args="--SILENT"),
    Scenario("window, companion stopped: look, unknown command, WM_CLOSE",
             ["window", "look", "{base}\\shot.ppm", "post", "999", "0", "settle", "close", "exit"],
             [window(False), *look(False), "open", "exit 0"], tasklist=NOT_RUNNING,
             shot="Stopped"),
    Scenario("window, companion running: look, toggle command with a notification code",
             ["window", "look", "{base}\\shot.ppm", "post", TOGGLE, "1", "exit"],
             [window(True), *look(True), "exit 0"], [STOP], shot="Running"),
    Scenario("toggle acts on the state at the press, not on its label",
             ["window", "write", "{install}\\tasklist.out", RUNNING, "press", TOGGLE, "exit"],
             [window(False), "exit 0"], [STOP], tasklist=NOT_RUNNING),
    Scenario("the window stays: update page, uninstall declined, uninstall without its uninstaller",
             ["window", "press", UPDATE_ID, "settle", "press", UNINSTALL, "box", IDNO, "settle",
              "press", UNINSTALL, "box", IDYES, "box", IDOK, "settle", "close", "exit"],
             [window(True), "open", CONFIRM, "open", CONFIRM, NO_UNINSTALLER, "open", "exit 0"], [UPDATE, STOP]),
    Scenario("uninstall confirmed", ["window", "press", UNINSTALL, "box", IDYES, "exit"],
             [window(True), CONFIRM, "exit 0"], [STOP, UNINSTALLER], stand_ins=(*CHILDREN, "Uninstall.exe")),
    Scenario("uninstall confirmed, but the uninstaller cannot start: the window stays",
             ["window", "press", UNINSTALL, "box", IDYES, "settle", "close", "exit"],
             [window(True), CONFIRM, "open", "exit 0"], [STOP], broken=("Uninstall.exe",)),
    # taskkill refuses, as it does a companion that runs elevated, which the probe still lists.
    Scenario("toggle, taskkill refused: once more elevated through the shell",
             ["window", "press", TOGGLE, "exit"], [window(True), "exit 0"], [STOP, ELEVATED_STOP],
             taskkill_exit=1),
    Scenario("toggle with the companion missing", ["window", "press", TOGGLE, "box", IDOK, "exit"],
             [window(False), MISSING_COMPANION, "exit 0"], tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    # Started from the window, the companion outlives the launcher; the stand-in taskkill ends it.
    Scenario("live start and stop",
             ["window", "press", TOGGLE, "exit", "write", "{install}\\tasklist.out", RUNNING,
              "restart", "window", "press", TOGGLE, "exit"],
             [window(False), "exit 0", window(True), "exit 0"], [COMPANION, STOP], tasklist=NOT_RUNNING,
             stand_ins=("tasklist.exe", "lanternfield.exe", "taskkill.exe")),
]


ICON_SIZES = [256, 128, 64, 48, 32, 16]
VERSION_STRINGS = {"CompanyName": "Lanternfield", "FileDescription": "Lanternfield Launcher",
                   "InternalName": "LanternfieldLauncher", "OriginalFilename": "LanternfieldLauncher.exe",
                   "ProductName": "Lanternfield"}


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


def exe_problems(exe, version):
    listing = output("wrestool", "-l", exe).decode()
    resources = sorted(re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)", listing))
    # Six icon images, the icon group and the version record: no manifest, dialog or strings.
    wanted = sorted([("3", str(n), "1033") for n in range(1, 7)] + [("14", "1", "1033"),
                                                                   ("16", "1", "1033")])
    group = output("icotool", "-l", "-", stdin=output("wrestool", "-x", "-t14", "-n1", exe)).decode()
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
    translation = {k: v for k, (v, _) in version_nodes(blocks.get("VarFileInfo", (b"", b""))[1]).items()}
    major, minor, patch, tweak = map(int, version.split("."))
    strings_wanted = {**VERSION_STRINGS, "FileVersion": version, "ProductVersion": version}
    image = exe_image.read(exe)
    dlls = {name.lower() for name in image.imports()}
    hardening = exe_image.DYNAMIC_BASE | exe_image.HIGH_ENTROPY_VA | exe_image.NX_COMPAT
    writable_code = [s.name for s in image.sections
                     if s.flags & exe_image.SCN_MEM_WRITE and s.flags & exe_image.SCN_MEM_EXECUTE]
    checks = [
        (resources == wanted, f"resources {resources}"),
        (images == [(str(s), str(s), "32") for s in ICON_SIZES], f"icon group 1 {images}"),
        # Each image a plain 32-bit DIB, twice as high as wide for its mask.
        (headers == [(40, s, 2 * s, 1, 32) for s in ICON_SIZES], f"icon DIB headers {headers}"),
        # Signature, struct version, file and product version; the rest all 0.
        (fields == (0xFEEF04BD, 0x10000) + ((major << 16 | minor, patch << 16 | tweak) * 2) + (0,) * 7,
         f"fixed part {fields}"),
        (sorted(blocks) == ["StringFileInfo", "VarFileInfo"] and list(tables) == ["040904b0"],
         f"version blocks {sorted(blocks)} {list(tables)}"),
        (strings == {k: v + "\0" for k, v in strings_wanted.items()}, f"strings {strings}"),
        (translation == {"Translation": struct.pack("<HH", 0x409, 0x4B0)}, f"translation {translation}"),
        (image.subsystem == exe_image.SUBSYSTEM_WINDOWS_GUI, f"subsystem {image.subsystem}, not GUI"),
        (image.dll_characteristics & hardening == hardening,
         f"DllCharacteristics {image.dll_characteristics:#06x} lack ASLR, 64-bit ASLR or DEP"),
        (image.directories[exe_image.BASE_RELOCATION_DIRECTORY][1] > 0
         and not image.characteristics & exe_image.RELOCS_STRIPPED, "no relocation table"),
        (not writable_code, f"sections both writable and executable: {writable_code}"),
        # Two builds of one commit must match byte for byte.
        (image.timestamp == 0, f"link time {image.timestamp}, not 0"),
        (dlls and dlls <= exe_image.SYSTEM_DLLS,
         f"imports beyond the system DLLs: {dlls - exe_image.SYSTEM_DLLS}"),
    ]
    return [what for ok, what in checks if not ok]


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def read_log(path):
    """(name, pid, current directory, command line) of each logged start."""
    text = path.read_bytes().decode("utf-16-le", errors="replace") if path.exists() else ""
    return [entry.split("\t", 3) for entry in text.splitlines() if entry.count("\t") >= 3]


def wait_for(read, done, seconds=10):
    """A released child may log only after the launcher has ended."""
    deadline = time.monotonic() + seconds
    while not done(value := read()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return value


def run_scenario(s, args):
    base = Path(args.work).resolve() / "".join(c if c.isalnum() else "-" for c in s.name)
    shutil.rmtree(base, ignore_errors=True)
    install, cwd = base / "install", base / "cwd"
    install.mkdir(parents=True)
    cwd.mkdir()
    shutil.copy(args.launcher, install / "LanternfieldLauncher.exe")
    for name in s.stand_ins:
        shutil.copy(args.stand_in, install / name)
    for name in s.broken:
        (install / name).write_text("not a program")
    (install / "tasklist.out").write_text(s.tasklist, newline="")
    if s.taskkill_exit is not None:
        (install / "taskkill.exit").write_text(str(s.taskkill_exit))

    win_install, win_cwd = windows_path(install), windows_path(cwd)
    launcher = win_install + "\\LanternfieldLauncher.exe"
    line = s.line or f'"{launcher}"' + (f" {s.args}" if s.args else "")
    steps = [step.replace("{install}", win_install).replace("{base}", windows_path(base)) for step in s.steps]
    runs, seen = [[]], []
    for step in steps:
        runs.append([]) if step == "restart" else runs[-1].append(step)
    for run in runs:
        # A file, not a pipe: a released child may hold Wine's end of a pipe open.
        with open(base / "driver.out", "w+") as out:
            subprocess.run([args.wine_run, args.driver, launcher, win_cwd, line, *run],
                           stdout=out, stderr=subprocess.DEVNULL, timeout=240)
            out.seek(0)
            seen += [text.rstrip("\r\n") for text in out if text.strip()]

    problems = [] if seen == s.expect else [f"driver saw {seen}\n    expected {s.expect}"]
    # A window probes on every paint, so the number of probes is not the launcher's choice.
    windowed = "window" in s.steps
    expected = [(name, command.replace("{install}", win_install).replace("{update_url}", args.update_url)
                 .replace("{session}", WINE_SESSION)) for name, command in s.calls]
    def children(log):
        return [(e[0], e[3]) for e in log if not (windowed and e[0] == "tasklist.exe")]
    calls = wait_for(lambda: read_log(install / "calls.log"), lambda log: children(log) == expected)
    if (logged := children(calls)) != expected:
        problems.append(f"stand-ins logged {logged}\n    expected {expected}")
    # The companion starts in the launcher's current directory, not in its own.
    started_in = [e[2] for e in calls if e[0] == "lanternfield.exe"]
    if any(cwd != win_cwd for cwd in started_in):
        problems.append(f"companion started in {started_in}, expected {win_cwd}")
    (install / "end").touch()
    ended = wait_for(lambda: read_log(install / "ended.log"), lambda log: len(log) >= s.alive)
    if len(ended) != s.alive:
        problems.append(f"{len(ended)} companions were still running at the end, expected {s.alive}")

    if s.shot:
        png = Path(args.shots) / f"launcher-window-{s.shot}.png"
        png.parent.mkdir(parents=True, exist_ok=True)
        if subprocess.run(["convert", base / "shot.ppm", png], stderr=subprocess.DEVNULL).returncode:
            problems.append("no screenshot")
    return problems


def main():
    parser = argparse.ArgumentParser()
    for option in ("launcher", "version", "stand-in", "driver", "wine-run", "update-url", "work",
                   "shots"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--only", help="run the scenarios whose name holds this text")
    args = parser.parse_args()
    chosen = [s for s in SCENARIOS if not args.only or args.only in s.name]
    problems = exe_problems(args.launcher, args.version)
    print(f"{'FAIL' if problems else 'ok  '} the exe's resources, headers and imports")
    for problem in problems:
        print("    " + problem)
    failed = int(bool(problems))
    for scenario in chosen:
        started = time.monotonic()
        problems = run_scenario(scenario, args)
        print(f"{'FAIL' if problems else 'ok  '} {scenario.name} ({time.monotonic() - started:.1f} s)")
        for problem in problems:
            print("    " + problem)
        failed += bool(problems)
    print(f"{failed} checks failed" if failed else f"the exe and all {len(chosen)} scenarios passed")
    print(f"screenshots of the window: {args.shots}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
