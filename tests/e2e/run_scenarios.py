#!/usr/bin/env python3
"""Runs the whole launcher under Wine in every mode, each scenario in a fresh install directory
with stand-in children beside it, and compares what the driver saw and what the stand-ins
logged with what the scenario expects."""
import argparse
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

RUNNING = "lanternfield.exe              4242 Console\r\n"
NOT_RUNNING = "INFO: No tasks are running which match the specified criteria.\r\n"
PROBE = '"tasklist" /FI "IMAGENAME eq lanternfield.exe" /NH'
STOP = '"taskkill" /F /IM lanternfield.exe'
UPDATE = '"cmd" /C start https://lanternfield.example/update'
MISSING_COMPANION = "box Lanternfield Error|lanternfield.exe not found in install directory.|none|OK"
CONFIRM = "box Uninstall Lanternfield|Are you sure you want to uninstall Lanternfield?|window|&Yes,&No"
NO_UNINSTALLER = "box Lanternfield|Uninstaller not found. Use Settings > Apps.|window|OK"
IDOK, IDYES, IDNO = "1", "6", "7"
# A released companion may log its start only after the launcher has ended.
END_COMPANION = ["await-log", "{install}", "lanternfield.exe", "end-stand-ins", "{install}"]


@dataclass
class Scenario:
    name: str
    runs: list  # per launcher start: (command line after the program, or None for the program alone, driver steps)
    expect: list  # what the driver prints, all runs together
    calls: list = None  # (program, command line) the stand-ins logged, in order; None: not checked
    skip_probes: bool = False  # leave the probes out of `calls` (windows probe on every paint)
    tasklist: str = None  # scripted standard output; None: the process-listing stand-in
    stand_ins: tuple = ("tasklist.exe", "lanternfield.exe", "taskkill.exe", "cmd.exe")
    broken_tasklist: bool = False
    line: str = None  # the whole command line, program name included, when it is not ours
    cwd_checked: bool = False  # the companion must start in the launcher's current directory


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def silent(name, line_args, probes=1):
    return Scenario(name, [(line_args, ["exit"])], ["exit 0"], [("tasklist.exe", PROBE)] * probes,
                    tasklist=RUNNING)


def window_form(name, line_args):
    return Scenario(name, [(line_args, ["window", "close", "exit"])],
                    ["window Stop Lanternfield|running", "exit 0"], [], skip_probes=True,
                    tasklist=RUNNING)


SCENARIOS = [
    # Silent mode.
    silent("silent, companion running", "--silent"),
    Scenario("silent, companion stopped", [("--silent", ["exit", *END_COMPANION])],
             ["exit 0", "ended 1"],
             [("tasklist.exe", PROBE), ("lanternfield.exe", '"{install}\\lanternfield.exe"')],
             tasklist=NOT_RUNNING, cwd_checked=True),
    Scenario("silent, executable missing", [("--silent", ["box", "answer", IDOK, "exit"])],
             [MISSING_COMPANION, "exit 0"], [("tasklist.exe", PROBE)], tasklist=NOT_RUNNING,
             stand_ins=("tasklist.exe",)),
    Scenario("silent, tasklist cannot start", [("--silent", ["exit", *END_COMPANION])],
             ["exit 0", "ended 1"], [("lanternfield.exe", '"{install}\\lanternfield.exe"')],
             broken_tasklist=True, stand_ins=("lanternfield.exe",)),
    # Switch forms.
    silent("switch first", "--silent a b"),
    silent("switch in the middle", "a --silent b"),
    silent("switch last", "a b --silent"),
    silent("switch twice", "--silent --silent"),
    silent("switch quoted", '"--silent"'),
    silent("switch partly quoted", '--si"lent"'),
    Scenario("switch as the program name", [(None, ["exit"])], ["exit 0"],
             [("tasklist.exe", PROBE)], tasklist=RUNNING, line="--silent"),
    window_form("capitals", "--SILENT"),
    window_form("one hyphen", "-silent"),
    window_form("slash", "/silent"),
    window_form("with a value", "--silent=1"),
    window_form("longer word", "--silentx"),
    # The window.
    Scenario("window, companion stopped", [(None, ["window", "close", "exit"])],
             ["window Start Lanternfield|stopped", "exit 0"], [], skip_probes=True,
             tasklist=NOT_RUNNING),
    Scenario("toggle acts on the state at the press, not on its label",
             [(None, ["window", "write", "{install}\\tasklist.out", RUNNING, "press", "101", "exit"])],
             ["window Start Lanternfield|stopped", "exit 0"], [("taskkill.exe", STOP)],
             skip_probes=True, tasklist=NOT_RUNNING),
    Scenario("toggle command with a notification code", [(None, ["window", "command", "101", "5", "exit"])],
             ["window Stop Lanternfield|running", "exit 0"], [("taskkill.exe", STOP)],
             skip_probes=True, tasklist=RUNNING),
    Scenario("toggle starts a stopped companion", [(None, ["window", "press", "101", "exit", *END_COMPANION])],
             ["window Start Lanternfield|stopped", "exit 0", "ended 1"],
             [("lanternfield.exe", '"{install}\\lanternfield.exe"')], skip_probes=True,
             tasklist=NOT_RUNNING, cwd_checked=True),
    Scenario("unknown command", [(None, ["window", "command", "150", "0", "settle", "1500", "close", "exit"])],
             ["window Stop Lanternfield|running", "running", "boxes 0", "exit 0"], [],
             skip_probes=True, tasklist=RUNNING),
    Scenario("check for updates", [(None, ["window", "press", "102", "settle", "1500", "close", "exit"])],
             ["window Stop Lanternfield|running", "running", "boxes 0", "exit 0"], [("cmd.exe", UPDATE)],
             skip_probes=True, tasklist=RUNNING),
    Scenario("uninstall declined", [(None, ["window", "press", "103", "box", "answer", IDNO, "settle", "1500", "close", "exit"])],
             ["window Stop Lanternfield|running", CONFIRM, "running", "boxes 0", "exit 0"], [],
             skip_probes=True, tasklist=RUNNING,
             stand_ins=("tasklist.exe", "lanternfield.exe", "taskkill.exe", "Uninstall.exe")),
    Scenario("uninstall confirmed",
             [(None, ["window", "press", "103", "box", "answer", IDYES, "exit",
                      "await-log", "{install}", "Uninstall.exe"])],
             ["window Stop Lanternfield|running", CONFIRM, "exit 0"],
             [("taskkill.exe", STOP), ("Uninstall.exe", '"{install}\\Uninstall.exe"')],
             skip_probes=True, tasklist=RUNNING,
             stand_ins=("tasklist.exe", "lanternfield.exe", "taskkill.exe", "Uninstall.exe")),
    Scenario("uninstall confirmed, uninstaller missing",
             [(None, ["window", "press", "103", "box", "answer", IDYES, "box", "answer", IDOK, "settle", "1500", "close", "exit"])],
             ["window Stop Lanternfield|running", CONFIRM, NO_UNINSTALLER, "running", "boxes 0", "exit 0"],
             [("taskkill.exe", STOP)], skip_probes=True, tasklist=RUNNING),
    Scenario("toggle with the companion missing", [(None, ["window", "press", "101", "box", "answer", IDOK, "exit"])],
             ["window Start Lanternfield|stopped", MISSING_COMPANION, "exit 0"], [], skip_probes=True,
             tasklist=NOT_RUNNING, stand_ins=("tasklist.exe",)),
    # A live cycle: the process-listing tasklist and Wine's own taskkill.
    Scenario("live start, stop and probe",
             [(None, ["window", "press", "101", "exit"]), (None, ["window", "press", "101", "exit"]),
              (None, ["window", "close", "exit", "end-stand-ins", "{install}"])],
             ["window Start Lanternfield|stopped", "exit 0", "window Stop Lanternfield|running", "exit 0",
              "window Start Lanternfield|stopped", "exit 0", "ended 0"],
             [("lanternfield.exe", '"{install}\\lanternfield.exe"')], skip_probes=True,
             stand_ins=("tasklist.exe", "lanternfield.exe")),
]


def read_calls(install):
    log = install / "calls.log"
    if not log.exists():
        return []
    calls = []
    for entry in log.read_text(encoding="utf-8", errors="replace").splitlines():
        name, _pid, cwd, line = entry.split("\t", 3)
        calls.append((name, line, cwd))
    return calls


def run_scenario(scenario, args, root):
    base = root / "".join(c if c.isalnum() else "-" for c in scenario.name)
    shutil.rmtree(base, ignore_errors=True)
    install, cwd = base / "install", base / "cwd"
    install.mkdir(parents=True)
    cwd.mkdir()
    shutil.copy(args.launcher, install / "LanternfieldLauncher.exe")
    for name in scenario.stand_ins:
        shutil.copy(args.stand_in, install / name)
    if scenario.broken_tasklist:
        (install / "tasklist.exe").write_text("not a program")
    if scenario.tasklist is not None:
        (install / "tasklist.out").write_text(scenario.tasklist, newline="")

    win_install, win_cwd = windows_path(install), windows_path(cwd)
    launcher = win_install + "\\LanternfieldLauncher.exe"
    seen = []
    for line_args, steps in scenario.runs:
        line = scenario.line if scenario.line is not None else f'"{launcher}"'
        if line_args is not None:
            line += " " + line_args
        steps = [s.replace("{install}", win_install) for s in steps]
        # A file, not a pipe: a released child may hold Wine's end of a pipe open.
        with open(base / "driver.out", "w+") as out:
            subprocess.run([args.wine_run, args.driver, launcher, win_cwd, line, *steps],
                           stdout=out, stderr=subprocess.DEVNULL, timeout=240)
            out.seek(0)
            seen += [l.rstrip("\r\n") for l in out if l.strip()]

    problems = []
    if seen != scenario.expect:
        problems.append(f"driver saw {seen}\n    expected {scenario.expect}")
    calls = read_calls(install)
    if scenario.calls is not None:
        logged = [(n, l) for n, l, _ in calls if not (scenario.skip_probes and n == "tasklist.exe")]
        expected = [(n, l.replace("{install}", win_install)) for n, l in scenario.calls]
        if logged != expected:
            problems.append(f"stand-ins logged {logged}\n    expected {expected}")
    if scenario.cwd_checked:
        started = [c for n, _, c in calls if n == "lanternfield.exe"]
        if started != [win_cwd]:
            problems.append(f"companion started in {started}, expected {win_cwd}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    for option in ("launcher", "stand-in", "driver", "wine-run", "work"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--only", help="run the scenarios whose name holds this text")
    args = parser.parse_args()
    root = Path(args.work)
    failed = 0
    for scenario in SCENARIOS:
        if args.only and args.only not in scenario.name:
            continue
        started = time.monotonic()
        problems = run_scenario(scenario, args, root)
        took = time.monotonic() - started
        print(f"{'FAIL' if problems else 'ok  '} {scenario.name} ({took:.1f} s)")
        for problem in problems:
            print("    " + problem)
        failed += bool(problems)
    print(f"{failed} of {len(SCENARIOS)} scenarios failed" if failed else "all scenarios passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
