#!/usr/bin/env python3
"""Resident memory of the program over a long run, from samples "seconds;vmrss_kb;vmhwm_kb".

The first minute holds the start-up (fonts, icons, the first log files); the growth is
counted from the sample nearest 60 s (half the run when the run is shorter than two
minutes) to the last one. The slope is a least-squares line over the same samples.
"""
import argparse
import sys

from report import Report, read_record


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()

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
