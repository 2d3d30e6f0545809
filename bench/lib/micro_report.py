#!/usr/bin/env python3
"""Table of the micro-benchmarks from Google Benchmark's JSON output: the median CPU time per
operation of each benchmark, beside its goal.

The goals are this project's own: the decoder should stay far below the cost of a read, and
a whole reply tick (200 ms slot per station, reply timer 100 ms after the request) should
take under 1 ms so that it never delays the next control tick.
"""
import argparse
import json
import sys

from report import Report

# name: (what it measures, goal in ns or None)
BENCHMARKS = {
    "BM_CheckReply": ("reply check (CRC, address, function)", 5_000),
    "BM_CheckReplyBadCrc": ("reply check, bad CRC", 5_000),
    "BM_DecodeReply": ("decoder", 5_000),
    "BM_CheckAndDecode": ("check + decode", 10_000),
    "BM_ShowReading": ("display of a good reading on a panel", None),
    "BM_ShowFailure": ("display of a failure on a panel", None),
    "BM_WriteLogLine": ("log line into its file", None),
    "BM_ReplyTick": ("reply tick without the read", 1_000_000),
    "BM_ReplyTickPainted": ("reply tick + painting the panel", 1_000_000),
    "BM_HealthStep": ("counters and event journal of one poll", 5_000),
    "BM_DiagnosticsRefresh": ("diagnostics window: one refresh a second, painted", None),
    "BM_AlarmPoll": ("alarms of one poll, steady", 5_000),
    "BM_AlarmPollPresetsOn": ("alarms of one poll, preset 1 on at every station", 5_000),
}
UNIT_NS = {"ns": 1, "us": 1_000, "ms": 1_000_000, "s": 1_000_000_000}


def duration(ns):
    if ns >= 1_000_000:
        return f"{ns / 1_000_000:.2f} ms"
    if ns >= 1_000:
        return f"{ns / 1_000:.1f} µs"
    return f"{ns:.0f} ns"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("json", nargs="+")
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()

    report = Report("micro", "micro: median CPU time per operation (Google Benchmark)")
    for n in args.note:
        report.note(n)
    debug_library = False
    for path in args.json:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        debug_library = debug_library or data["context"].get("library_build_type") == "debug"
        for b in data["benchmarks"]:
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            name = b.get("run_name", b["name"]).split("/")[0]
            what, goal = BENCHMARKS.get(name, (name, None))
            ns = b["cpu_time"] * UNIT_NS[b["time_unit"]]
            report.figure(f"{what} ({name})", duration(ns),
                          f"< {duration(goal)}" if goal else "",
                          ns < goal if goal else None)
    if debug_library:
        report.note("the installed Google Benchmark library reports a debug build; it only "
                    "affects the timing loop, not the code measured")
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
