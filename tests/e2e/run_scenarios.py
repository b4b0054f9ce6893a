#!/usr/bin/env python3
"""Runs the whole launcher under Wine, each scenario in a fresh install directory with stand-in
children beside it, and compares what the driver saw and what the stand-ins logged with what the
scenario expects. The window's screenshots are saved as PNG files in the --shots directory."""
import argparse
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

RUNNING = "lanternfield.exe              4242 Console\r\n"
NOT_RUNNING = "INFO: No tasks are running which match the specified criteria.\r\n"
PROBE = ("tasklist.exe", '"tasklist" /FI "IMAGENAME eq lanternfield.exe" /NH')
STOP = ("taskkill.exe", '"taskkill" /F /IM lanternfield.exe')
UPDATE = ("cmd.exe", '"cmd" /C start https://lanternfield.example/update')
COMPANION = ("lanternfield.exe", '"{install}\\lanternfield.exe"')
UNINSTALLER = ("Uninstall.exe", '"{install}\\Uninstall.exe"')
MISSING_COMPANION = "box Lanternfield Error|lanternfield.exe not found in install directory.|none|OK"
CONFIRM = "box Uninstall Lanternfield|Are you sure you want to uninstall Lanternfield?|window|&Yes,&No"
NO_UNINSTALLER = "box Lanternfield|Uninstaller not found. Use Settings > Apps.|window|OK"
IDOK, IDYES, IDNO, TOGGLE, UPDATE_ID, UNINSTALL = "1", "6", "7", "101", "102", "103"
CHILDREN = ("tasklist.exe", "lanternfield.exe", "taskkill.exe", "cmd.exe")


def window(running):
    return f"window {'Stop' if running else 'Start'} Lanternfield|{'running' if running else 'stopped'}"


def look(running):
    # Windows adds WS_CLIPSIBLINGS (0x04000000) to every top-level window.
    return ["frame LTF_Launcher|Lanternfield|360x240|0x14C80000|0x0",
            f"child 101|Button|{'Stop' if running else 'Start'} Lanternfield|20,90,330,128|0x50010000",
            "child 102|Button|Check for Updates|20,140,168,174|0x50010000",
            "child 103|Button|Uninstall|182,140,330,174|0x50010000", "paint ok"]


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
    broken_tasklist: bool = False
    alive: int = 0  # companions still running when the scenario ends
    shot: str = None  # the screenshot's name


SCENARIOS = [
    Scenario("silent, companion running", ["exit"], ["exit 0"], [PROBE], args="--silent"),
    Scenario("silent, companion stopped", ["exit"], ["exit 0"], [PROBE, COMPANION], args="--silent",
             tasklist=NOT_RUNNING, alive=1),
    Scenario("silent, executable missing", ["box", IDOK, "exit"], [MISSING_COMPANION, "exit 0"],
             [PROBE], args="--silent", tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    Scenario("silent, tasklist cannot start", ["exit"], ["exit 0"], [COMPANION], args="--silent",
             broken_tasklist=True, stand_ins=("lanternfield.exe",), alive=1),
    Scenario("quoted switch", ["exit"], ["exit 0"], [PROBE], args='"--silent"'),
    Scenario("switch as the program name", ["exit"], ["exit 0"], [PROBE], line="--silent"),
    Scenario("near miss opens the window", ["window", "close", "exit"], [window(True), "exit 0"],
             args="--SILENT"),
    Scenario("window, companion stopped: look, unknown command, WM_CLOSE",
             ["window", "look", "{base}\\shot.ppm", "send", "999", "0", "settle", "close", "exit"],
             [window(False), *look(False), "answer 0", "open", "exit 0"], tasklist=NOT_RUNNING,
             shot="Stopped"),
    Scenario("window, companion running: look, toggle command with a notification code",
             ["window", "look", "{base}\\shot.ppm", "send", TOGGLE, "1", "exit"],
             [window(True), *look(True), "answer 0", "exit 0"], [STOP], shot="Running"),
    Scenario("toggle acts on the state at the press, not on its label",
             ["window", "write", "{install}\\tasklist.out", RUNNING, "press", TOGGLE, "exit"],
             [window(False), "exit 0"], [STOP], tasklist=NOT_RUNNING),
    Scenario("the window stays: update page, uninstall declined, uninstall without its uninstaller",
             ["window", "press", UPDATE_ID, "settle", "press", UNINSTALL, "box", IDNO, "settle",
              "press", UNINSTALL, "box", IDYES, "box", IDOK, "settle", "close", "exit"],
             [window(True), "open", CONFIRM, "open", CONFIRM, NO_UNINSTALLER, "open", "exit 0"], [UPDATE, STOP]),
    Scenario("uninstall confirmed", ["window", "press", UNINSTALL, "box", IDYES, "exit"],
             [window(True), CONFIRM, "exit 0"], [STOP, UNINSTALLER], stand_ins=(*CHILDREN, "Uninstall.exe")),
    Scenario("toggle with the companion missing", ["window", "press", TOGGLE, "box", IDOK, "exit"],
             [window(False), MISSING_COMPANION, "exit 0"], tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    # Started from the window, the companion outlives the launcher; Wine's own taskkill ends it.
    Scenario("live start and stop",
             ["window", "press", TOGGLE, "exit", "write", "{install}\\tasklist.out", RUNNING,
              "restart", "window", "press", TOGGLE, "exit"],
             [window(False), "exit 0", window(True), "exit 0"], [COMPANION], tasklist=NOT_RUNNING,
             stand_ins=("tasklist.exe", "lanternfield.exe")),
]


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
    if s.broken_tasklist:
        (install / "tasklist.exe").write_text("not a program")
    (install / "tasklist.out").write_text(s.tasklist, newline="")

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
    expected = [(name, command.replace("{install}", win_install)) for name, command in s.calls]
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
    for option in ("launcher", "stand-in", "driver", "wine-run", "work", "shots"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--only", help="run the scenarios whose name holds this text")
    args = parser.parse_args()
    chosen = [s for s in SCENARIOS if not args.only or args.only in s.name]
    failed = 0
    for scenario in chosen:
        started = time.monotonic()
        problems = run_scenario(scenario, args)
        print(f"{'FAIL' if problems else 'ok  '} {scenario.name} ({time.monotonic() - started:.1f} s)")
        for problem in problems:
            print("    " + problem)
        failed += bool(problems)
    print(f"{failed} of {len(chosen)} scenarios failed" if failed else f"all {len(chosen)} scenarios passed")
    print(f"screenshots of the window: {args.shots}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
