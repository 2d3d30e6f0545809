#!/usr/bin/env python3
"""Reads what a smoke run of the Windows program under wine left behind (scripts/windows).

WORK holds: started (monotonic ms of the launch), record.csv (anemosim's record), program.log,
exit-status, screenshot.png, home/ (the wine user's home, whose Documents the program writes
to), station/ (its working folder) and linux/ (the same run by the Linux build, for the
headers). Prints one line per check and exits 1 when one fails.
"""
import glob
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARE = os.path.join(HERE, "..", "..", "bench", "compare_logs.py")


def first_request_ms(work):
    with open(os.path.join(work, "started")) as f:
        started = int(f.read().split()[0])
    with open(os.path.join(work, "record.csv"), encoding="utf-8") as f:
        for line in f:
            fields = line.split(";")
            if fields and fields[0].isdigit():
                return int(fields[0]) - started
    return None


def documents(work):
    """The log folder: wine puts the user's Documents in the home folder or in its prefix."""
    for pattern in ("home/Documents/log_zareraziru", "wine/drive_c/users/*/Documents/log_zareraziru"):
        found = glob.glob(os.path.join(work, pattern))
        if found:
            return found[0]
    return None


def main():
    work = sys.argv[1]
    checks = []

    def check(ok, text):
        checks.append(ok)
        print(("ok    " if ok else "FAIL  ") + text)

    delay = first_request_ms(work)
    # The program sends its first request 3 s after its window is up; wine takes a moment to
    # start a program.
    check(delay is not None and 2500 <= delay <= 10000,
          f"first request {delay} ms after the launch (3 s after the window is up)")

    logs = documents(work)
    check(logs is not None, f"log folder in Documents: {logs}")
    if logs:
        result = subprocess.run([sys.executable, COMPARE, "--record",
                                 os.path.join(work, "record.csv"), "--logs", logs],
                                capture_output=True, text=True)
        print("      " + result.stdout.strip().replace("\n", "\n      "))
        check(result.returncode == 0, "day log files: every good reply logged, nothing else")
        names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(logs, "*.txt")))
        check(any("ANEMÔMETRO 1.txt" in n for n in names),
              f"file names as on Linux (UTF-8, with Ô): {names[:3]}")
        linux = sorted(glob.glob(os.path.join(work, "linux/home/Documents/log_zareraziru/*1.txt")))
        mine = sorted(glob.glob(os.path.join(logs, "*ANEMÔMETRO 1.txt")))
        if linux and mine:
            with open(linux[0], "rb") as a, open(mine[0], "rb") as b:
                header_linux = a.read().split(b"\r\n")[0]
                header_windows = b.read().split(b"\r\n")[0]
            check(header_linux == header_windows and b"\n" not in header_windows,
                  "header line byte for byte the Linux build's (Windows-1252, CR LF)")

    # The Alarmes window's list, as the program keeps it in the station folder.
    listed = []
    try:
        with open(os.path.join(work, "station", "alarmes.json"), encoding="utf-8") as f:
            listed = [(a["station"], a["alarm"], a["state"]) for a in json.load(f)["alarms"]]
    except (OSError, ValueError, KeyError) as error:
        print(f"      alarmes.json: {error}")
    check((3, "SEM RESPOSTA", "ATIVO") in listed,
          "SEM RESPOSTA active for the silent station 3 in the alarm list")
    check(any(alarm.startswith("PRESET") for _, alarm, _ in listed), "PRESET alarms in the alarm list")
    # Not a recursive look: the wine prefix's drive Z: leads to the whole file system.
    day_file = "".join(open(p, "rb").read().decode("cp1252", "replace")
                       for p in glob.glob(os.path.join(logs or work, "Alarmes *.csv")))
    check("PRESET" in day_file, "the ended PRESET occurrences in the alarm day file")

    status_path = os.path.join(work, "exit-status")
    status = open(status_path).read().strip() if os.path.exists(status_path) else "none"
    check(status == "0" and not os.path.exists(os.path.join(work, "still-running")),
          f"ended when asked to close, exit status {status}")
    check(os.path.getsize(os.path.join(work, "screenshot.png")) > 10000,
          f"screenshot {os.path.join(work, 'screenshot.png')}")
    return 0 if all(checks) else 1


if __name__ == "__main__":
    sys.exit(main())
