#!/usr/bin/env python3
"""How long the window thread of the station program took to answer a ping from outside,
from the probe's lines (ping_probe.py) of each run: median, 99th percentile and maximum per
mode, this build's against the goal, and the build before beside it when it was measured.

A ping not answered at all counts as the longest wait of the run.
"""
import argparse
import os
import sys

from report import Report, median, percentile, read_record

GOAL_MS = 50
MOONSHOT_MS = 16


def read_pings(path):
    answers, unanswered = [], 0
    with open(path, encoding="ascii") as f:
        for line in f:
            sent, _, answer = line.strip().partition(";")
            if not sent:
                continue
            if answer:
                answers.append(float(answer))
            else:
                unanswered += 1
    return answers, unanswered


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--run", action="append", required=True, metavar="BUILD:MODE:FOLDER")
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()

    report = Report("latency", f"latency: the window thread's answer to a _NET_WM_PING sent "
                    f"every 20 ms from outside the process, under xvfb-run; 8 stations, read "
                    f"interval 1 s, all logged; {args.seconds} s per mode")
    for n in args.note:
        report.note(n)
    for run in args.run:
        build, mode, folder = run.split(":", 2)
        answers, unanswered = read_pings(os.path.join(folder, "pings.csv"))
        if not answers:
            sys.exit(f"latency: no ping answered in {folder}")
        polls = read_record(os.path.join(folder, "record.csv"))
        outcomes = sorted({outcome for _, _, outcome in polls})
        report.note(f"{build} {mode}: {len(answers)} pings answered, {unanswered} not; "
                    f"{len(polls)} polls ({', '.join(outcomes)})")
        longest = max(answers) if not unanswered else float("inf")
        p99 = percentile(answers + [longest] * unanswered, 0.99)
        name = f"{mode}" if build == "after" else f"{mode}, before"
        judged = build == "after"
        report.figure(f"{name}: answer time median", f"{median(answers):.1f} ms")
        report.figure(f"{name}: answer time p99", f"{p99:.1f} ms",
                      f"<= {GOAL_MS} ms (moonshot {MOONSHOT_MS} ms)" if judged else "",
                      p99 <= GOAL_MS if judged else None)
        report.figure(f"{name}: answer time max", f"{longest:.1f} ms")
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
