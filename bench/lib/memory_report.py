#!/usr/bin/env python3
"""Resident memory of the program over a long run, from samples "seconds;vmrss_kb;vmhwm_kb".

The first minute holds the start-up (fonts, icons, the first log files); the growth is
counted from the sample nearest 60 s (half the run when the run is shorter than two
minutes) to the last one. The slope is a least-squares line over the same samples.

With --live: the readings held for "Histórico" over a simulated day ("bench_history live",
lines "hour;readings;vmrss_kb" and "midnight;readings;vmrss_kb"): the growth from the first
hour to the end of the day per reading and per hour, and the memory once the day has
changed; --before gives the same figures of an earlier build beside them.
"""
import argparse
import os
import sys

from report import Report, read_record


def read_day(path):
    """{hour or "midnight": (readings, vmrss_kb)} of a "bench_history live" output."""
    rows = {}
    with open(path, encoding="ascii") as f:
        for line in f.readlines()[1:]:
            when, readings, rss = line.strip().split(";")
            rows[when if when == "midnight" else int(when)] = (int(readings), int(rss))
    return rows


def day_figures(rows):
    """Bytes per reading and kB per hour from hour 1 to 24, then the memory above the start
    at the end of the day, once the day has changed and after the next day's first hour."""
    start = rows[0][1]
    readings = rows[24][0] - rows[1][0]
    grown = rows[24][1] - rows[1][1]
    return {
        "readings_per_hour": rows[1][0],
        "bytes_per_reading": grown * 1024 / readings,
        "kb_per_hour": grown / 23,
        "end_of_day": rows[24][1] - start,
        "after_midnight": rows["midnight"][1] - start,
        "next_hour": rows[25][1] - start,
    }


def live_report(args):
    after = day_figures(read_day(args.live))
    before = day_figures(read_day(args.before)) if args.before else None
    report = Report("memory_live", "memory_live: today's readings held for Histórico, "
                    "8 stations at the fastest cycle (1840 ms) over a simulated day")
    for n_ in args.note:
        report.note(n_)
    if before:
        report.note(f"before: {os.path.basename(args.before)}, the same day fed to the readings "
                    "held as they were (16-byte readings in vectors that double)")

    def value(key, form):
        text = form.format(after[key])
        return text + (f" (before: {form.format(before[key])})" if before else "")

    report.figure("readings held an hour", f"{after['readings_per_hour']:,}")
    report.figure("resident memory per reading held", value("bytes_per_reading", "{:.1f} B"),
                  "<= 10 B", after["bytes_per_reading"] <= 10)
    report.figure("growth an hour", value("kb_per_hour", "{:.0f} kB"))
    report.figure("above the start at the end of the day", value("end_of_day", "{} kB"))
    report.figure("above the start once the day changed", value("after_midnight", "{} kB"),
                  "< 1024 kB", after["after_midnight"] < 1024)
    report.figure("above the start an hour into the next day", value("next_hour", "{} kB"))
    report.write(args.results)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--samples")
    parser.add_argument("--record")
    parser.add_argument("--seconds", type=int)
    parser.add_argument("--live")
    parser.add_argument("--before")
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()
    if args.live:
        return live_report(args)
    if not (args.samples and args.record and args.seconds):
        parser.error("--samples, --record and --seconds, or --live")

    samples = []
    with open(args.samples, encoding="ascii") as f:
        for line in f.readlines()[1:]:
            t, rss, hwm = line.strip().split(";")
            samples.append((float(t), int(rss), int(hwm)))
    if len(samples) < 2:
        sys.exit("memory: fewer than two samples")
    mark = 60 if args.seconds >= 120 else args.seconds / 2
    base = min(samples, key=lambda s: abs(s[0] - mark))
    after = [s for s in samples if s[0] >= base[0]]
    end = samples[-1]
    growth = end[1] - base[1]
    n = len(after)
    mean_t = sum(s[0] for s in after) / n
    mean_r = sum(s[1] for s in after) / n
    var = sum((s[0] - mean_t) ** 2 for s in after)
    slope = sum((s[0] - mean_t) * (s[1] - mean_r) for s in after) / var * 3600 if var else 0.0

    report = Report("memory", f"memory: 8 stations, read interval 1 s, all stations logged, "
                    f"offscreen, {args.seconds} s")
    for n_ in args.note:
        report.note(n_)
    report.note(f"{len(read_record(args.record))} polls, {len(samples)} samples")
    report.figure(f"VmRSS at {base[0]:.0f} s", f"{base[1]} kB")
    report.figure(f"VmRSS at the end ({end[0]:.0f} s)", f"{end[1]} kB")
    report.figure(f"VmRSS growth after {base[0]:.0f} s", f"{growth:+d} kB", "< 512 kB",
                  growth < 512)
    report.figure(f"VmRSS trend after {base[0]:.0f} s", f"{slope:+.0f} kB/hour")
    report.figure(f"VmRSS min / max after {base[0]:.0f} s",
                  f"{min(s[1] for s in after)} / {max(s[1] for s in after)} kB")
    report.figure("peak (VmHWM) at the end", f"{end[2]} kB")
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
