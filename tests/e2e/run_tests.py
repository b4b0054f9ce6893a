#!/usr/bin/env python3
"""The launcher's Windows tests, from the test kit's folder, with Python's standard library
alone: the test program's suites, then end-to-end scenarios, each in a fresh install directory
where stand-ins play the programs the launcher starts, comparing what the driver saw and the
stand-ins logged with what each expects. Ends with "N passed, N failed".

  py run_tests.py [--exe EXE] [--only TEXT] [--work DIR] [--shots DIR] [--strict] [--wine-run SCRIPT]

--exe tests another copy of the exe (an installer's) instead of the kit's own. The scenarios run
in --work, by default in the user's temporary folder. On Windows the programs run as they are;
with --wine-run they run under Wine through SCRIPT, and the scenarios that need Windows' own
programs are skipped with the reason. --strict fails every other skip."""
import argparse
import csv
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from dataclasses import dataclass, field
from pathlib import Path

KIT = Path(__file__).resolve().parent
RUNNING = "lanternfield.exe              4242 Console\r\n"
NOT_RUNNING = "INFO: No tasks are running which match the specified criteria.\r\n"
PROBE = ("tasklist.exe", '"tasklist" /FI "IMAGENAME eq lanternfield.exe" /FI "SESSION eq {session}" /NH')
STOP = ("taskkill.exe", '"taskkill" /F /FI "SESSION eq {session}" /IM lanternfield.exe')
# The shell's command line: the resolved program in quotes, then the parameters.
ELEVATED_STOP = ("taskkill.exe", '"{install}\\taskkill.exe" /F /FI "SESSION eq {session}" /IM lanternfield.exe')
UPDATE = ("cmd.exe", '"cmd" /C start {update_url}')
COMPANION = ("lanternfield.exe", '"{install}\\lanternfield.exe"')
UNINSTALLER = ("Uninstall.exe", '"{install}\\Uninstall.exe"')
IDYES, IDNO, TOGGLE, UPDATE_ID, UNINSTALL = "6", "7", "101", "102", "103"
# A box: its caption, its text, its owner, whether it shows an icon, its buttons' ids (a lone one's
# is the system's choice).
MISSING_COMPANION = "box Lanternfield Error|lanternfield.exe not found in install directory.|none|icon|one button"
CONFIRM = f"box Uninstall Lanternfield|Are you sure you want to uninstall Lanternfield?|window|icon|{IDYES},{IDNO}"
NO_UNINSTALLER = "box Lanternfield|Uninstaller not found. Use Settings > Apps.|window|icon|one button"
CHILDREN = ("tasklist.exe", "lanternfield.exe", "taskkill.exe", "cmd.exe")
WINE_TASKLIST = "Wine's own tasklist prints nothing"
# Read from the screen: a "skip KIND: reason" may stand in for them; all but the status need 100%.
SCREEN = ("status", "frame", "child", "paint")


def window(running):
    return [f"window {'Stop' if running else 'Start'} Lanternfield", f"status {'running' if running else 'stopped'}"]


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
    refusing: bool = False  # the stand-in taskkill ends nothing and exits with 1
    alive: int = 0  # companions still running when the scenario ends
    shot: str = None  # the screenshot's name
    companion: bool = False  # a stand-in companion already runs when the launcher starts
    console: bool = False  # the stand-ins are console programs, as the system's own are
    elevates: bool = False  # the stop's second taskkill goes through the elevation prompt
    windows_only: str = None  # why it cannot run under Wine


SCENARIOS = [
    Scenario("silent, companion running", ["exit"], ["exit 0"], [PROBE], args="--silent"),
    Scenario("silent, companion stopped", ["exit"], ["exit 0"], [PROBE, COMPANION], args="--silent",
             tasklist=NOT_RUNNING, alive=1),
    Scenario("silent, executable missing", ["box", "only", "exit"], [MISSING_COMPANION, "exit 0"],
             [PROBE], args="--silent", tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    Scenario("silent, tasklist cannot start", ["exit"], ["exit 0"], [COMPANION], args="--silent",
             broken=("tasklist.exe",), stand_ins=("lanternfield.exe",), alive=1),
    Scenario("quoted switch", ["exit"], ["exit 0"], [PROBE], args='"--silent"'),
    Scenario("switch as the program name", ["exit"], ["exit 0"], [PROBE], line="--silent"),
    Scenario("near miss opens the window", ["window", "close", "exit"], [*window(True), "exit 0"],
             args="--SILENT"),
    Scenario("window, companion stopped: look, unknown command, WM_CLOSE",
             ["window", "look", "{base}\\shot.ppm", "post", "999", "0", "settle", "close", "exit"],
             [*window(False), *look(False), "open", "exit 0"], tasklist=NOT_RUNNING,
             shot="Stopped"),
    Scenario("window, companion running: look, toggle command with a notification code",
             ["window", "look", "{base}\\shot.ppm", "post", TOGGLE, "1", "exit"],
             [*window(True), *look(True), "exit 0"], [STOP], shot="Running"),
    Scenario("toggle acts on the state at the press, not on its label",
             ["window", "write", "{install}\\tasklist.out", RUNNING, "press", TOGGLE, "exit"],
             [*window(False), "exit 0"], [STOP], tasklist=NOT_RUNNING),
    Scenario("the window stays: update page, uninstall declined, uninstall without its uninstaller",
             ["window", "press", UPDATE_ID, "settle", "press", UNINSTALL, "box", IDNO, "settle",
              "press", UNINSTALL, "box", IDYES, "box", "only", "settle", "close", "exit"],
             [*window(True), "open", CONFIRM, "open", CONFIRM, NO_UNINSTALLER, "open", "exit 0"], [UPDATE, STOP]),
    Scenario("uninstall confirmed", ["window", "press", UNINSTALL, "box", IDYES, "exit"],
             [*window(True), CONFIRM, "exit 0"], [STOP, UNINSTALLER], stand_ins=(*CHILDREN, "Uninstall.exe")),
    Scenario("uninstall confirmed, but the uninstaller cannot start: the window stays",
             ["window", "press", UNINSTALL, "box", IDYES, "settle", "close", "exit"],
             [*window(True), CONFIRM, "open", "exit 0"], [STOP], broken=("Uninstall.exe",)),
    # taskkill refuses, as it does a companion that runs elevated, which the probe still lists.
    Scenario("toggle, taskkill refused: once more elevated through the shell",
             ["window", "press", TOGGLE, "exit"], [*window(True), "exit 0"], [STOP, ELEVATED_STOP],
             refusing=True, elevates=True),
    Scenario("toggle with the companion missing", ["window", "press", TOGGLE, "box", "only", "exit"],
             [*window(False), MISSING_COMPANION, "exit 0"], tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    # Started from the window, the companion outlives the launcher; the stand-in taskkill ends it.
    Scenario("live start and stop",
             ["window", "press", TOGGLE, "exit", "write", "{install}\\tasklist.out", RUNNING,
              "restart", "window", "press", TOGGLE, "exit"],
             [*window(False), "exit 0", *window(True), "exit 0"], [COMPANION, STOP], tasklist=NOT_RUNNING,
             stand_ins=("tasklist.exe", "lanternfield.exe", "taskkill.exe")),
    # Nothing beside the launcher but the companion: the system's own tasklist and taskkill.
    Scenario("the system's tasklist sees a running companion", ["window", "close", "exit"],
             [*window(True), "exit 0"], stand_ins=("lanternfield.exe",), companion=True, alive=1,
             windows_only=WINE_TASKLIST),
    Scenario("the system's tasklist sees no companion", ["window", "close", "exit"],
             [*window(False), "exit 0"], stand_ins=(), windows_only=WINE_TASKLIST),
    Scenario("the system's taskkill ends the companion", ["window", "press", TOGGLE, "exit"],
             [*window(True), "exit 0"], stand_ins=("lanternfield.exe",), companion=True,
             windows_only="Wine's own taskkill rejects the session filter"),
    # Each probe opens a console window over the launcher's and closes it again; the window must
    # still show the true status, and must not probe on by itself.
    Scenario("console stand-ins: the true status after the probe's console went, and no probe loop",
             ["window", "idle", "5000", "2", "{install}\\calls.log", "status", "close", "exit"],
             [*window(True), "idle ok", "status running", "exit 0"], console=True,
             windows_only="Wine opens no console window for a GUI program's console child"),
]


class WindowsHost:
    """The programs run as they are, on this session's desktop."""
    wine = False

    def __init__(self):
        import ctypes
        kernel32, user32 = ctypes.windll.kernel32, ctypes.windll.user32
        session = ctypes.c_ulong()
        kernel32.ProcessIdToSessionId(kernel32.GetCurrentProcessId(), ctypes.byref(session))
        self.session = str(session.value)
        # An unaware process is told 96 dpi whatever the scaling.
        aware = user32.SetProcessDpiAwarenessContext(ctypes.c_void_p(-4))  # per monitor, v2
        dpi = user32.GetDpiForSystem() if aware else 0
        self.scaling = None if dpi == 96 else f"{dpi * 100 // 96}%" if dpi else "a scaling this process cannot read"
        self.elevated = bool(ctypes.windll.shell32.IsUserAnAdmin())

    def command(self, program, *args):
        return [str(program), *args]

    def path(self, path):
        return str(path)

    def foreign_companions(self):
        """This session's processes named lanternfield.exe, which the scenarios' stops would end:
        before the first scenario none is a stand-in."""
        listed = subprocess.run(["tasklist", "/FI", "IMAGENAME eq lanternfield.exe", "/FI",
                                 f"SESSION eq {self.session}", "/FO", "CSV", "/NH"],
                                capture_output=True, text=True, errors="replace").stdout
        return [f"process {row[1]}" for row in csv.reader(listed.splitlines())
                if len(row) > 1 and row[1].isdigit()]


class WineHost:
    """The programs run under Wine through a script that makes its prefix, on the X display:
    every process in session 1, as administrator, at 100% scaling."""
    wine, session, scaling, elevated = True, "1", None, True

    def __init__(self, wine_run):
        self.wine_run = wine_run

    def command(self, program, *args):
        return [self.wine_run, str(program), *args]

    def path(self, path):
        return "Z:" + str(path).replace("/", "\\")

    def foreign_companions(self):
        return []  # the prefix holds only the tests' programs


@dataclass
class Result:
    name: str
    status: str  # passed, failed or skipped
    notes: list = field(default_factory=list)  # the problems, or why it was skipped
    seconds: float = 0
    unchecked: list = field(default_factory=list)  # expected lines a skip stood in for


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


def write_png(ppm, png):
    """The driver's PPM screenshot as a PNG, with nothing but zlib."""
    data = ppm.read_bytes()
    magic, width, height, _, pixels = data.split(maxsplit=4)
    width, height = int(width), int(height)
    rows = b"".join(b"\0" + pixels[y * width * 3:(y + 1) * width * 3] for y in range(height))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    png.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def skip_reason(s, host):
    if s.windows_only and host.wine:
        return s.windows_only
    if s.elevates and not host.elevated:
        return "unelevated, the second taskkill shows an elevation prompt that no one answers here"
    return None


def compare(seen, expect, scaling):
    """The expected lines of SCREEN left unchecked and why, each put in its place in `seen`."""
    unchecked = []
    for i, (got, want) in enumerate(zip(seen, expect)):
        kind, reason = want.split(" ")[0], None
        if kind in SCREEN and got.startswith(f"skip {kind}: "):
            reason = got.split(": ", 1)[1]
        elif kind in SCREEN[1:] and scaling and got.startswith(kind):
            reason = f"the layout and pixel checks need 100% display scaling, not {scaling}"
        if reason:
            seen[i] = want
            unchecked.append(f"{want} ({reason})")
    return unchecked


def run_scenario(s, number, host, args):
    base = args.work / f"{number:02}"  # short: the launcher has no long paths
    shutil.rmtree(base, ignore_errors=True)
    install, cwd = base / "install", base / "cwd"
    install.mkdir(parents=True)
    cwd.mkdir()
    shutil.copy(args.exe, install / "LanternfieldLauncher.exe")
    for name in s.stand_ins:
        shutil.copy(KIT / ("stand_in_console.exe" if s.console else "stand_in.exe"), install / name)
    for name in s.broken:
        (install / name).write_text("not a program")
    (install / "tasklist.out").write_text(s.tasklist, newline="")
    if s.refusing:
        (install / "taskkill.refuses").touch()

    def fill(text):
        return (text.replace("{install}", host.path(install)).replace("{base}", host.path(base))
                .replace("{session}", host.session).replace("{update_url}", args.update_url))
    launcher = host.path(install / "LanternfieldLauncher.exe")
    line = s.line or f'"{launcher}"' + (f" {s.args}" if s.args else "")
    runs, seen, statuses, problems = [[]], [], [], []
    for step in map(fill, s.steps):
        runs.append([]) if step == "restart" else runs[-1].append(step)
    env = {**os.environ, "LTF_JOB": f"Local\\lanternfield-kit-{os.getpid()}-{number}"}
    # Every process of the scenario writes to the driver's standard error (under Wine, Wine's own
    # messages too, as of a child that dies while starting): kept, it says why a start failed. The
    # job ends all still in it once its holder's input closes: on leaving, however, or if we die.
    with open(base / "driver.err", "w") as err, subprocess.Popen(
            host.command(KIT / "e2e_driver.exe", "hold"), env=env, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=err) as holder:
        holder.stdout.readline()  # "ready" once the job is made; without it no driver can join it

        def drive(program, command, steps):
            # A file, not a pipe: a released child may hold the pipe's end open.
            with open(base / "driver.out", "w+") as out:
                driver = host.command(KIT / "e2e_driver.exe", program, host.path(cwd), command, *steps)
                statuses.append(subprocess.run(driver, stdout=out, stderr=err, env=env, timeout=240).returncode)
                out.seek(0)
                return [text.rstrip("\r\n") for text in out if text.strip()]
        if s.companion:  # already running, in the job too; only the launcher's starts are the scenario's
            drive(host.path(install / "lanternfield.exe"), fill(COMPANION[1]), ["release"])
            wait_for(lambda: read_log(install / "calls.log"), bool)
            (install / "calls.log").unlink(missing_ok=True)
        for run in runs:
            seen += drive(launcher, line, run)

        notes = [text.removeprefix("note: ") for text in seen if text.startswith("note: ")]
        compared = [text for text in seen if not text.startswith("note: ")]
        unchecked = compare(compared, s.expect, host.scaling)
        if compared != s.expect:
            problems.append(f"driver saw {seen}\n    expected {s.expect}")
        if any(statuses):  # the driver never ran: its start or the prefix set-up failed
            problems.append(f"driver exit statuses {statuses}, expected all 0")
        # A window probes on every paint, so the number of probes is not the launcher's choice.
        windowed = "window" in s.steps
        expected = [(name, fill(command)) for name, command in s.calls]
        def children(log):
            return [(e[0], e[3]) for e in log if not (windowed and e[0] == "tasklist.exe")]
        calls = wait_for(lambda: read_log(install / "calls.log"), lambda log: children(log) == expected)
        if (logged := children(calls)) != expected:
            problems.append(f"stand-ins logged {logged}\n    expected {expected}")
        # The companion starts in the launcher's current directory, not in its own.
        started_in = [e[2] for e in calls if e[0] == "lanternfield.exe"]
        if any(directory != host.path(cwd) for directory in started_in):
            problems.append(f"companion started in {started_in}, expected {host.path(cwd)}")
        (install / "end").touch()
        ended = wait_for(lambda: read_log(install / "ended.log"), lambda log: len(log) >= s.alive)
        if len(ended) != s.alive:
            problems.append(f"{len(ended)} companions were still running at the end, expected {s.alive}")

    if s.shot and (base / "shot.ppm").exists():
        args.shots.mkdir(parents=True, exist_ok=True)
        write_png(base / "shot.ppm", args.shots / f"launcher-window-{s.shot}.png")
    elif s.shot and not any(text.startswith("paint") for text in unchecked):
        problems.append("no screenshot")
    if problems:
        tail = (base / "driver.err").read_text(errors="replace").splitlines()[-20:]
        problems.append(f"the end of standard error ({base / 'driver.err'}):\n  " + "\n  ".join(tail))
    return Result(s.name, "failed" if problems else "passed",
                  problems + [f"not checked: {text}" for text in unchecked] + notes, unchecked=unchecked)


GTEST_FIELDS = {"name", "file", "line", "status", "result", "timestamp", "time", "classname",
                "failures"}


def run_suites(host, args):
    """The test program's suites, one result each. GoogleTest opens its report through the narrow
    C runtime; the program's manifest gives it the UTF-8 code page, which spells any folder."""
    report = args.work / "suites.json"
    report.unlink(missing_ok=True)
    run = subprocess.run(host.command(KIT / "ltf_tests.exe", "--gtest_brief=1", "--gtest_output=json:suites.json"),
                         cwd=args.work, capture_output=True, text=True, errors="replace", timeout=900)
    try:
        suites = json.loads(report.read_text(encoding="utf-8"))["testsuites"]
    except (OSError, ValueError, KeyError) as error:
        return [Result("the test program", "failed", [f"no report ({error}); it ended with {run.returncode:#x}",
                                                      run.stdout[-2000:]])]
    results = []
    for suite in suites:
        for test in suite["testsuite"]:
            failures = [failure["failure"] for failure in test.get("failures", [])]
            status = "failed" if failures else "skipped" if test["result"] == "SKIPPED" else "passed"
            # What a test recorded of the system it ran on, which only a Windows run can tell.
            facts = [f"{key}: {value}" for key, value in test.items() if key not in GTEST_FIELDS]
            results.append(Result(f"{suite['name']}.{test['name']}", status, failures + facts,
                                  float(test["time"].rstrip("s"))))
    if run.returncode and not any(r.status == "failed" for r in results):
        results.append(Result("the test program", "failed",
                              [f"ended with {run.returncode:#x}", run.stdout[-2000:]]))
    return results


def report(result):
    mark = {"passed": "ok  ", "failed": "FAIL", "skipped": "skip"}[result.status]
    print(f"{mark} {result.name} ({result.seconds:.1f} s)", flush=True)
    for note in result.notes:
        print("    " + note.replace("\n", "\n    "), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", type=Path, default=KIT / "LanternfieldLauncher.exe")
    parser.add_argument("--only", help="run only the scenarios whose name holds this text")
    parser.add_argument("--work", type=Path, default=Path(tempfile.gettempdir()) / "lanternfield-kit")
    parser.add_argument("--shots", type=Path, default=KIT / "screenshots")
    parser.add_argument("--strict", action="store_true", help="fail every skip but Wine's")
    parser.add_argument("--wine-run", help="run the programs under Wine through this script")
    args = parser.parse_args()
    args.exe, args.work, args.shots = args.exe.resolve(), args.work.resolve(), args.shots.resolve()
    host = WineHost(args.wine_run) if args.wine_run else WindowsHost()
    # The exe has no manifest, so no long paths: the deepest, a stand-in's, must stay within MAX_PATH.
    if long := [host.path(folder) for folder in (KIT, args.work) if len(host.path(folder)) > 150]:
        sys.exit(f"{long[0]} is longer than 150 characters, too long for the launcher without long paths;"
                 " move the kit, or choose a shorter --work")
    args.work.mkdir(parents=True, exist_ok=True)
    if foreign := host.foreign_companions():
        sys.exit("A companion is running, which the scenarios would end; close it first:\n  "
                 + "\n  ".join(foreign))
    # The URL the exe was built to open, as its file holds it.
    found = re.search(rb"https://[A-Za-z0-9.-]+(?::[0-9]+)?/update(?=\0)", args.exe.read_bytes())
    args.update_url = found.group().decode() if found else "(no update URL in the exe)"

    try:
        results = [] if args.only else run_suites(host, args)
    except subprocess.TimeoutExpired:
        results = [Result("the test program", "failed", ["ran past 900 s"])]
    for result in results:
        if result.status != "passed" or result.notes:
            report(result)
    if results:
        print(f"the test program: {sum(r.status == 'passed' for r in results)} of {len(results)} "
              "tests passed", flush=True)
    for number, scenario in enumerate(SCENARIOS, 1):
        if args.only and args.only not in scenario.name:
            continue
        started = time.monotonic()
        if reason := skip_reason(scenario, host):
            result = Result(scenario.name, "skipped", [reason])
        else:
            try:
                result = run_scenario(scenario, number, host, args)
            except subprocess.TimeoutExpired as expired:
                result = Result(scenario.name, "failed", [f"ran past {expired.timeout} s"])
        if args.strict and (result.unchecked or result.status == "skipped" and reason != scenario.windows_only):
            result.status = "failed"
            result.notes.append("--strict: only Wine may skip a check")
        result.seconds = time.monotonic() - started
        report(result)
        results.append(result)
    counts = {status: sum(r.status == status for r in results) for status in ("passed", "failed", "skipped")}
    if counts["skipped"]:
        print(f"{counts['skipped']} skipped, each with its reason above")
    if unchecked := sum(len(r.unchecked) for r in results):
        print(f"{unchecked} lines not checked, each with its reason above")
    print(f"screenshots of the window: {args.shots}")
    print(f"{counts['passed']} passed, {counts['failed']} failed")
    return 1 if counts["failed"] or not counts["passed"] else 0


if __name__ == "__main__":
    sys.exit(main())
