#!/usr/bin/env python3
"""Compares the station program's log files with the simulator's record, one for one.

Every good reply with the RF flag set that anemosim served must appear, in order, as one log
line of that station with the same values; nothing else may appear. Station n is assumed to
have address n and the default name "ANEMÔMETRO n".

With --allow-lost (a run whose disk was full at times) lines may be missing: what was logged
must still be the served readings in their order, every file must start with its header and
every line must be whole; the count of lines lost is printed.
"""
import argparse
import glob
import os
import re
import sys

WHOLE_LINE = re.compile(r"^\d\d:\d\d:\d\d;[^;]+;[^;]{1,3};[^;]+;[^;]+;(ON|ON |OFF);\d+,\d\d;$")

COMPASS = ["N", "NNE", "NE", "ENE", "L", "ESE", "SE", "SSE",
           "S", "SSO", "SO", "OSO", "O", "ONO", "NO", "NNO"]


def one_decimal(value):
    if value >= 10000:
        return "> LIMITE"
    return f"{value // 10},{value % 10}"


def two_decimals(value):
    return f"{value // 100},{value % 100:02d}"


def expected_fields(station, speed, battery, direction, preset1, preset2, status):
    if status & 0x04 and direction < 16:
        name = COMPASS[direction]
        dir_text = name if station == 1 else name.ljust(3)
    else:
        dir_text = "---"
    sound = ("ON" if station == 1 else "ON ") if status & 0x08 else "OFF"
    return [one_decimal(speed), dir_text, one_decimal(preset1), one_decimal(preset2), sound,
            two_decimals(battery)]


def served(record, stations):
    """Expected log fields per station, and the station of the last good reply served."""
    per_station = {n: [] for n in range(1, stations + 1)}
    last = None
    with open(record, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 10 or fields[3] != "good":
                continue
            address = int(fields[2])
            speed, battery, direction, preset1, preset2, status = map(int, fields[4:10])
            if not status & 0x80 or address not in per_station:
                continue
            per_station[address].append(
                expected_fields(address, speed, battery, direction, preset1, preset2, status))
            last = address
    return per_station, last


def logged(folder, station, problems):
    lines = []
    pattern = os.path.join(folder, f"*ANEMÔMETRO {station}.txt")
    # Files are named dd-mm-yyyy: sort by year, month, day.
    files = sorted(glob.glob(pattern),
                   key=lambda p: os.path.basename(p)[6:10] + os.path.basename(p)[3:5]
                   + os.path.basename(p)[0:2])
    for path in files:
        with open(path, "rb") as f:
            text = f.read().decode("cp1252")
        name = os.path.basename(path)
        if text and not text.startswith("HORA;VELOCIDADE("):
            problems.append(f"{name}: no header")
        if text and not text.endswith("\r\n"):
            problems.append(f"{name}: the last line is cut")
        for raw in text.split("\r\n"):
            if not raw or raw.startswith("HORA;"):
                continue
            if not WHOLE_LINE.match(raw):
                problems.append(f"{name}: broken line {raw!r}")
            lines.append(raw.split(";")[1:7])
    return lines


def is_subsequence(got, want):
    rest = iter(want)
    return all(any(line == candidate for candidate in rest) for line in got)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--record", required=True)
    parser.add_argument("--logs", required=True)
    parser.add_argument("--stations", type=int, default=8)
    parser.add_argument("--allow-lost", action="store_true")
    args = parser.parse_args()

    expected, last = served(args.record, args.stations)
    ok = True
    problems = []
    lost = 0
    for station in range(1, args.stations + 1):
        got = logged(args.logs, station, problems)
        want = expected[station]
        if args.allow_lost:
            in_order = is_subsequence(got, want)
            ok = ok and in_order
            lost += len(want) - len(got)
            print(f"station {station}: served with RF {len(want)}, logged {len(got)}, "
                  f"lost {len(want) - len(got)}, "
                  f"{'in order' if in_order else 'NOT the served readings in order'}")
            continue
        same = got == want
        # The program is stopped first: the very last reply served may still have been in
        # flight, unread, when it ended.
        if not same and station == last and got == want[:-1]:
            print(f"station {station}: the last reply served was still in flight at the end")
            want = want[:-1]
            same = True
        ok = ok and same
        first_diff = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), None)
        print(f"station {station}: served with RF {len(want)}, logged {len(got)}, "
              f"{'identical' if same else f'DIFFERENT (first difference at {first_diff})'}")
    for problem in problems:
        print(problem)
    ok = ok and not problems
    if args.allow_lost:
        print(f"lines lost: {lost}; every file with its header and whole lines: "
              f"{'yes' if not problems else 'NO'}")
    print("logs match the simulator's record" if ok else "MISMATCH")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
