#!/usr/bin/env python3
"""Figures of bench/archive's write part from its runs' folders.

off, on: the program's CPU per poll (every thread, the archive's sending thread
included) from the sample 15 s after launch to the end, every station answering.
outage: every reply anemosim served (its record up to the moment it was stopped) looked for in
the database's raw samples (/api/v1/export, duplicates kept): station by station and in order,
the speed it served, stored within a second of the request.
"""
import argparse
import json
import os
import urllib.parse
import urllib.request
from datetime import datetime

from procstat import cpu_seconds, load
from report import Report, read_record


def steady_cpu_per_poll(folder):
    warm, end = load(os.path.join(folder, "sample-warm")), load(os.path.join(folder, "sample"))
    rows = read_record(os.path.join(folder, "record.csv"))
    polls = sum(1 for t, _, _ in rows if warm["now_ms"] < t <= end["now_ms"])
    return (cpu_seconds(end, "app") - cpu_seconds(warm, "app")) * 1000 / max(1, polls), polls


def served(path):
    """{address: [(wall ms, speed tenths)]} of the good replies in a record."""
    by_station = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 10 or fields[3] != "good":
                continue
            wall = int(datetime.fromisoformat(fields[1]).timestamp() * 1000)
            by_station.setdefault(int(fields[2]), []).append((wall, int(fields[4])))
    return by_station


def stored(vm, match):
    """{estacao: [(ms, value)]} of every raw sample, by time."""
    body = urllib.parse.urlencode({"match[]": match}).encode()
    by_station = {}
    with urllib.request.urlopen(vm + "/api/v1/export", data=body, timeout=120) as answer:
        for line in answer:
            if not line.strip():
                continue
            series = json.loads(line)
            samples = by_station.setdefault(int(series["metric"]["estacao"]), [])
            samples += zip(series["timestamps"], series["values"])
    return {n: sorted(s) for n, s in by_station.items()}


def read_number(path):
    with open(path, encoding="ascii") as f:
        return float(f.read().split()[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--outage", type=int, required=True)
    parser.add_argument("--vm", required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()
    run = lambda name: os.path.join(args.work, name)

    report = Report("archive_write", f"archive, write: 8 stations, read interval 1 s, offscreen, "
                    f"{args.seconds} s idle runs, an outage of {args.outage} s")
    for n in args.note:
        report.note(n)

    off, off_polls = steady_cpu_per_poll(run("off"))
    on, on_polls = steady_cpu_per_poll(run("on"))
    report.note(f"idle: {off_polls} polls without, {on_polls} with the archive (steady state)")
    report.figure("CPU per poll, archive off", f"{off:.3f} ms")
    report.figure("CPU per poll, archive on (database up)", f"{on:.3f} ms")
    report.figure("CPU per poll added by the archive", f"{on - off:+.3f} ms", "<= +0.05 ms",
                  on - off <= 0.05)

    replies = served(os.path.join(run("outage"), "record-at-stop.csv"))
    samples = stored(args.vm, 'anemometro_velocidade{local="outage"}')
    answered = stored(args.vm, 'anemometro_respondendo{local="outage"}')
    total = missing = twice = late = 0
    for station, wanted in sorted(replies.items()):
        got = samples.get(station, [])
        stamps = [ms for ms, _ in got]
        twice += len(stamps) - len(set(stamps))
        # The last reply served may have been on its way when anemosim was stopped.
        unmatched = len(wanted) - len(got)
        if unmatched not in (0, 1):
            missing += max(0, unmatched)
        for (wall, tenths), (ms, value) in zip(wanted, got):
            if abs(value - tenths / 10) > 1e-9 or not 0 <= ms - wall < 1000:
                late += 1
        total += len(wanted)
        polls = [v for _, v in answered.get(station, [])]
        report.note(f"station {station}: {len(wanted)} replies served, {len(got)} speeds stored, "
                    f"{polls.count(1)} polls answered and {polls.count(0)} failed stored")
    away = read_number(os.path.join(run("outage"), "away-ms"))
    back = read_number(os.path.join(run("outage"), "back-ms"))
    drained = read_number(os.path.join(run("outage"), "drained-ms"))
    queue = read_number(os.path.join(run("outage"), "queue-bytes"))
    report.figure("database away", f"{(back - away) / 1000:.0f} s")
    report.figure("queue on disk at the end of the outage", f"{queue / 1024:.0f} KiB")
    report.figure("queue sent after the database came back", f"{(drained - back) / 1000:.1f} s")
    report.figure("replies served during the outage run", f"{total}")
    report.figure("replies missing from the database", f"{missing}", "0", missing == 0)
    report.figure("replies stored twice", f"{twice}", "0", twice == 0)
    report.figure("replies stored with another value or time", f"{late}", "0", late == 0)
    report.write(args.results)


if __name__ == "__main__":
    main()
