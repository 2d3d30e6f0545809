"""bench/archive_read's results: the fill, the disk per station-month, the Histórico's opening
and the report's time."""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from report import Report, median  # noqa: E402


def words(path):
    with open(path, encoding="utf-8") as f:
        return [line.split() for line in f if line.strip()]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--days", type=int, required=True)
    parser.add_argument("--connections", type=int, required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    args = parser.parse_args()
    report = Report("archive_read", "archive_read: a month of 64 stations in VictoriaMetrics, "
                    "read back by \"Histórico do local\"")
    for note in args.note:
        report.note(note)
    fill = {w[0]: w[1:] for w in words(os.path.join(args.work, "fill.out"))}
    disk = {w[0]: int(w[1]) for w in words(os.path.join(args.work, "disk.txt"))}
    month = args.days / 30
    if "lines" in fill:
        lines, samples, seconds = int(fill["lines"][0]), int(fill["lines"][2]), \
            float(fill["lines"][4])
        report.note(f"filled {lines:,} polls ({samples:,} samples) over {args.connections} "
                    f"connections in {seconds:.0f} s")
        report.figure("polls written (64 stations, one a second)", f"{lines:,}",
                      "about 166 million" if args.days == 30 else "")
        report.figure("fill speed", f"{samples / seconds / 1e6:.2f} million samples/s")
    else:
        report.note(f"month filled before: {fill['reused'][0]}")
    report.figure("disk per station-month, fields read (4 a poll)",
                  f"{disk['read'] / 64 / month / 1e6:.2f} MB")
    report.figure("disk per station-month, whole line (11 a poll)",
                  f"{disk['full'] / 2 / month / 1e6:.2f} MB")
    read = words(os.path.join(args.work, "read.out"))
    opens = [int(w[1]) for w in read if w[0] == "open"]
    reports = [int(w[1]) for w in read if w[0] == "report"]
    rows = {int(w[2]) for w in read if w[0] == "open"}
    report.note(f"table rows each time: {sorted(rows)}; runs {len(opens)}")
    if opens:
        report.figure("Histórico, 8 stations x 30 days, median", f"{median(opens)} ms",
                      "< 2000 ms", median(opens) < 2000)
        report.figure("Histórico, 8 stations x 30 days, slowest", f"{max(opens)} ms")
    if reports:
        report.figure("report of 8 stations, 30 days, median", f"{median(reports)} ms",
                      "< 10000 ms", median(reports) < 10000)
        report.figure("report of 8 stations, 30 days, slowest", f"{max(reports)} ms")
    report.write(args.results)


if __name__ == "__main__":
    main()
