#!/usr/bin/env python3
"""Figures of bench/history: how fast the log files are read back, and the request spacing of
the polling while the history window loads a week of every station.

Within a cycle the requests to stations 1..8 come one poll tick (200 ms) apart; reading the
files off the window's thread must leave that spacing as it is.
"""
import argparse
import re
import sys

from report import Report, median, percentile, read_record


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--parse", required=True)
    parser.add_argument("--generate", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--loads", required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()

    report = Report("history", "history: reading a week of log files back, and polling meanwhile")
    for n in args.note:
        report.note(n)
    with open(args.generate, encoding="utf-8") as f:
        report.note(f.read().strip())
    with open(args.parse, encoding="utf-8") as f:
        parse = f.read()
    report.note(" / ".join(parse.strip().splitlines()))
    lines = int(re.search(r"lines (\d+)", parse).group(1))
    rate = float(re.search(r"([\d.]+) lines/s", parse).group(1))
    report.figure("lines in the week", f"{lines:,}", "about 2.7 million", None)
    report.figure("parse speed", f"{rate / 1e6:.2f} million lines/s", ">= 2 million lines/s",
                  rate >= 2e6)

    with open(args.loads, encoding="ascii") as f:
        start, end = (int(v) for v in f.read().split())
    rows = [r for r in read_record(args.record) if start <= r[0] <= end]
    spacing = [t1 - t0 for (t0, a0, _), (t1, a1, _) in zip(rows, rows[1:]) if a1 == a0 + 1]
    if not spacing:
        sys.exit("history: no requests recorded while the history loaded")
    report.note(f"{len(rows)} requests while the 8 stations' weeks loaded ({(end - start) / 1000:.0f} s)")
    med = median(spacing)
    p99 = percentile(spacing, 0.99)
    report.figure("request spacing while loading, median", f"{med:.1f} ms", "200-205 ms",
                  200 <= med <= 205)
    report.figure("request spacing while loading, p99", f"{p99:.1f} ms", "< 215 ms", p99 < 215)
    report.figure("request spacing while loading, most", f"{max(spacing):.1f} ms", "", None)
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
