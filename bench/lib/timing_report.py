#!/usr/bin/env python3
"""Timing of the polling cycle, from anemosim's record of the requests it received.

Within a cycle the requests to stations 1..K come one poll tick (200 ms) apart; from one
request to station 1 to the next come K poll ticks, the end-of-cycle tick and the cycle
pause: 200 x K + pause, the pause being interval x 1000 - 205 x K (200 when that is 1 or
less). The first request comes one port-opening tick (1000 ms) and one first control tick
(2000 ms) after start: about 3000 ms after the program was launched.
"""
import argparse
import statistics
import sys

from report import Report, median, percentile, read_record, read_stamp


def cycle_period(stations, interval):
    pause = interval * 1000 - stations * 205
    return 200 * stations + (pause if pause > 1 else 200)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--record", required=True, help="record of the long run")
    parser.add_argument("--stamp", required=True, help="launch stamp of the long run")
    parser.add_argument("--start", action="append", default=[], metavar="STAMP:RECORD",
                        help="a short start: its launch stamp and record (repeatable)")
    parser.add_argument("--stations", type=int, default=8)
    parser.add_argument("--interval", type=int, default=5)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()

    rows = read_record(args.record)
    if not rows:
        sys.exit("timing: the record is empty: the program polled nothing")
    spacing, periods = [], []
    for (t0, a0, _), (t1, a1, _) in zip(rows, rows[1:]):
        if a1 == a0 + 1:
            spacing.append(t1 - t0)
    firsts = [t for t, a, _ in rows if a == 1]
    periods = [b - a for a, b in zip(firsts, firsts[1:])]
    stray = sum(1 for _, a, _ in rows if not 1 <= a <= args.stations)

    report = Report("timing", f"timing: {args.stations} stations, read interval "
                    f"{args.interval} s, {args.seconds} s run, all stations logged, offscreen")
    for n in args.note:
        report.note(n)
    report.note(f"{len(rows)} requests, {len(firsts)} cycles; requests to other addresses: "
                f"{stray}")

    if spacing:
        med, p99, worst = median(spacing), percentile(spacing, 0.99), max(spacing)
        report.figure("request spacing in a cycle, median", f"{med:.0f} ms", "200-205 ms",
                      200 <= med <= 205)
        report.figure("request spacing in a cycle, p99", f"{p99} ms", "< 215 ms", p99 < 215)
        report.figure("request spacing in a cycle, max", f"{worst} ms")
    expected = cycle_period(args.stations, args.interval)
    if periods:
        mean = statistics.fmean(periods)
        deviation = (mean - expected) / expected * 100
        report.figure("cycle period, mean", f"{mean:.1f} ms", f"{expected} ms (formula)")
        report.figure("cycle period, deviation from formula", f"{deviation:+.2f} %",
                      "within 1 %", abs(deviation) <= 1)
        report.figure("cycle period, min / max", f"{min(periods)} / {max(periods)} ms")

    # First request after launch: the long run and every short start.
    firsts_after = []
    for stamp, record in [(args.stamp, args.record)] + [s.split(":", 1) for s in args.start]:
        start_rows = read_record(record)
        if start_rows:
            firsts_after.append(start_rows[0][0] - read_stamp(stamp)[1])
    if firsts_after:
        worst = max(firsts_after, key=lambda v: abs(v - 3000))
        report.figure("first request after launch, median",
                      f"{median(firsts_after):.0f} ms (n={len(firsts_after)})",
                      "about 3000 ms (2950-3150)", 2950 <= median(firsts_after) <= 3150)
        report.figure("first request after launch, min / max",
                      f"{min(firsts_after):.0f} / {max(firsts_after):.0f} ms", "2950-3150 ms",
                      2950 <= worst <= 3150)
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
