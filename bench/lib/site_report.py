#!/usr/bin/env python3
"""The site benchmark's figures: every good reading each simulator served (its record) against
what the subscriber received on that program's state topics, station by station; CPU of the
programs and of the broker from two samples of /proc.

A program publishes a reading once it has read it, so the last reading a simulator served
before the program was stopped may be missing (at most one per station); readings served
before the program's first connection to the broker are replaced by the newest one, so the
first received may come after some served ones (counted apart).

The site view's trace (site_view.py): the last reading each tile showed against the last state
the subscriber received for it, and the time from the reply a simulator served to the line
that put that reading on its tile.
"""
import argparse
import json
import os
import sys
from collections import defaultdict

from procstat import cpu_seconds, load
from report import Report, median, percentile, read_record
from site_view import latencies, read_served, read_trace

LATENCY_GOAL_MS = 2000
COMPASS = ["N", "NNE", "NE", "ENE", "L", "ESE", "SE", "SSE",
           "S", "SSO", "SO", "OSO", "O", "ONO", "NO", "NNO"]
UNITS = ["m/s", "km/h", "kn", ""]


def tenths(value):
    return "LIMITE" if value >= 10000 else value


def served(record):
    """Per address, the readings of every good reply, as comparable tuples."""
    per = defaultdict(list)
    with open(record, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 10 or fields[3] != "good":
                continue
            speed, battery, direction, preset1, preset2, status = map(int, fields[4:10])
            per[int(fields[2])].append((
                tenths(speed), tenths(preset1), tenths(preset2), UNITS[status & 3],
                COMPASS[direction] if status & 0x04 and direction < 16 else None,
                bool(status & 0x10), bool(status & 0x20), bool(status & 0x08),
                bool(status & 0x80), battery))
    return per


def from_payload(payload):
    s = json.loads(payload)

    def field(name):
        return "LIMITE" if s.get(f"{name}_over_limit") else round(s[name] * 10)
    return (field("speed"), field("preset1"), field("preset2"), s["unit"], s["direction"],
            s["preset1_alarm"], s["preset2_alarm"], s["sound"], s["rf"],
            round(s["battery"] * 100))


def received(path, programs):
    per = {i: defaultdict(list) for i in range(1, programs + 1)}
    bad = 0
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 2)
            if len(parts) < 3:
                continue
            levels = parts[1].split("/")  # site/p<i>/<n>/state
            if len(levels) != 4 or levels[3] != "state":
                continue
            try:
                per[int(levels[1][1:])][int(levels[2])].append(from_payload(parts[2]))
            except (ValueError, KeyError):
                bad += 1
    return per, bad


def view_figures(report, args, got):
    """The site view's tiles against the subscriber and the simulators; True when all good."""
    shown, events = read_trace(os.path.join(args.work, "view.log"))
    stale, waits, unmatched, lines, received = [], [], 0, 0, 0
    connected = min((t for t, what in events if what == "connected"), default=None)
    for i in range(1, args.programs + 1):
        served = read_served(os.path.join(args.work, f"p{i}", "record.csv"))
        for station in range(1, 9):
            mine = shown.get((f"site/p{i}", station), [])
            have = got[i].get(station, [])
            lines += len(mine)
            received += len(have)
            last = (have[-1][0], have[-1][9]) if have else None
            if not mine or mine[-1][1] != last:
                stale.append(f"p{i} station {station}: tile "
                             f"{mine[-1][1] if mine else 'never shown'}, last received {last}")
            found, missed = latencies(served.get(station, []), mine)
            waits += [wait for _, wait in found]
            unmatched += missed
    for s in stale[:10]:
        report.note("site view, tile not current: " + s)
    report.note(f"site view: {lines} readings shown, {received} states received by the "
                f"subscriber, {unmatched} shown readings no simulator served before; "
                f"broker events {[what for _, what in events]}")
    report.figure("site view: tiles showing the last state received at the end",
                  f"{args.programs * 8 - len(stale)} of {args.programs * 8}", "all", not stale)
    if not waits:
        report.figure("site view: reply served to tile", "nothing shown", f"p99 < {LATENCY_GOAL_MS} ms",
                      False)
        return False
    p99 = percentile(waits, 0.99)
    report.figure("site view: reply served to tile, median", f"{median(waits):.0f} ms")
    report.figure("site view: reply served to tile, p99", f"{p99:.0f} ms",
                  f"< {LATENCY_GOAL_MS} ms", p99 < LATENCY_GOAL_MS)
    report.figure("site view: reply served to tile, max", f"{max(waits):.0f} ms")
    if connected is None:
        report.note("site view: no 'broker connected' line")
    return not stale and p99 < LATENCY_GOAL_MS



def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True)
    parser.add_argument("--programs", type=int, required=True)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--no-view", action="store_true", help="the run had no site view")
    args = parser.parse_args()

    report = Report("site", f"site: {args.programs} programs x 8 stations, read interval 1 s, "
                    f"one broker on loopback, {args.seconds} s")
    for n in args.note:
        report.note(n)
    got, unreadable = received(os.path.join(args.work, "subscriber.txt"), args.programs)
    total_served = total_got = before_connect = tail_missing = 0
    wrong = []
    for i in range(1, args.programs + 1):
        expected = served(os.path.join(args.work, f"p{i}", "record.csv"))
        for station in range(1, 9):
            want, have = expected.get(station, []), got[i].get(station, [])
            total_served += len(want)
            total_got += len(have)
            # The first reading received: at most a few served before the first connection.
            start = next((k for k in range(min(len(want), 5)) if have and want[k] == have[0]), None)
            if start is None:
                wrong.append(f"p{i} station {station}: first reading received was never served"
                             if have else f"p{i} station {station}: nothing received")
                continue
            before_connect += start
            if have != want[start:start + len(have)]:
                k = next(k for k, (a, b) in enumerate(zip(have, want[start:])) if a != b) \
                    if any(a != b for a, b in zip(have, want[start:])) else min(len(have), len(want) - start)
                wrong.append(f"p{i} station {station}: received {len(have)}, served "
                             f"{len(want) - start}; first difference at reading {k + 1}")
                continue
            missing = len(want) - start - len(have)
            if missing > 1:
                wrong.append(f"p{i} station {station}: {missing} readings missing at the end")
            tail_missing += missing
    for w in wrong[:20]:
        report.note("wrong: " + w)
    report.note(f"{total_served} good readings served, {total_got} received; "
                f"{before_connect} served before the first connection, {tail_missing} served "
                f"as the programs were stopped; {unreadable} unreadable payloads")
    report.figure("readings received exactly once, in order, per station",
                  f"{args.programs * 8 - len(wrong)} of {args.programs * 8} stations",
                  "all", not wrong and unreadable == 0)
    report.figure("good readings served / received", f"{total_served} / {total_got}")

    sample = load(os.path.join(args.work, "sample"))
    warm = load(os.path.join(args.work, "sample-warm"))
    span = (sample["now_ms"] - warm["now_ms"]) / 1000
    programs_cpu = sum(cpu_seconds(sample, f"app{i}") - cpu_seconds(warm, f"app{i}")
                       for i in range(1, args.programs + 1))
    # Polls in the steady-state window, from the records (the same monotonic clock).
    polls = sum(1 for i in range(1, args.programs + 1)
                for t, _, _ in read_record(os.path.join(args.work, f"p{i}", "record.csv"))
                if warm["now_ms"] < t <= sample["now_ms"])
    report.figure("programs: steady state CPU per poll", f"{programs_cpu / polls * 1000:.3f} ms")
    report.figure("programs: average CPU each", f"{programs_cpu / span / args.programs * 100:.3f} % of a core")
    broker = cpu_seconds(sample, "broker") - cpu_seconds(warm, "broker")
    report.figure("broker: average CPU", f"{broker / span * 100:.3f} % of a core")
    report.figure("broker: CPU per state message, whole run",
                  f"{cpu_seconds(sample, 'broker') / max(1, total_got) * 1e6:.1f} us")
    report.figure("broker: peak memory (VmHWM)", f"{sample['broker.hwm_kb'] / 1024:.1f} MB")
    view_ok = True
    if not args.no_view:
        view_ok = view_figures(report, args, got)
        view = cpu_seconds(sample, "view") - cpu_seconds(warm, "view")
        report.figure("site view: average CPU", f"{view / span * 100:.3f} % of a core")
        report.figure("site view: peak memory (VmHWM)", f"{sample['view.hwm_kb'] / 1024:.1f} MB")
    report.write(args.results)
    return 0 if not wrong and view_ok else 1


if __name__ == "__main__":
    sys.exit(main())
