#!/usr/bin/env python3
"""The horn's figures: from the alarm to its stream on the sound server, one sample a trial."""
import argparse

from report import Report, median, percentile


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    args = parser.parse_args()
    with open(args.samples, encoding="utf-8") as f:
        samples = [float(line) for line in f if line.strip()]
    report = Report("horn", "horn: from the reading that raises an alarm to the horn's stream on "
                    "a PulseAudio server with a null sink (its 'new sink-input' event)")
    for n in args.note:
        report.note(n)
    report.note(f"{len(samples)} trials")
    p99 = percentile(samples, 0.99)
    report.figure("alarm to stream, median", f"{median(samples):.1f} ms")
    report.figure("alarm to stream, p99", f"{p99:.1f} ms", "< 500 ms", p99 < 500)
    report.figure("alarm to stream, max", f"{max(samples):.1f} ms")
    report.write(args.results)


if __name__ == "__main__":
    main()
