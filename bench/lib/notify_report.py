#!/usr/bin/env python3
"""Figures of bench/notify from its five runs' folders.

latency: each e-mail the program queued ("anemometros.notify: queued <Message-ID> <ms>" on its
standard error) against the moment the SMTP server accepted it (accepted_ms in the server's
JSON), both on CLOCK_MONOTONIC.
hang, plain: the spacing of consecutive requests within a cycle after a served one, from
anemosim's record.
idle-off, idle-on: the program's CPU per poll from the sample 15 s after launch to the end.
"""
import argparse
import glob
import json
import os
import re

from procstat import cpu_seconds, load
from report import Report, median, percentile, read_record


def spacing(folder):
    """From a request that got its reply to the next station's: after a silent station the
    program waits out the reply's time by design, with or without notifications."""
    rows = read_record(os.path.join(folder, "record.csv"))
    return [t1 - t0 for (t0, a0, o0), (t1, a1, _) in zip(rows, rows[1:])
            if a1 == a0 + 1 and o0 == "good"]


def steady_cpu_per_poll(folder):
    warm, end = load(os.path.join(folder, "sample-warm")), load(os.path.join(folder, "sample"))
    rows = read_record(os.path.join(folder, "record.csv"))
    polls = sum(1 for t, _, _ in rows if warm["now_ms"] < t <= end["now_ms"])
    return (cpu_seconds(end, "app") - cpu_seconds(warm, "app")) * 1000 / max(1, polls), polls


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()
    run = lambda name: os.path.join(args.work, name)

    report = Report("notify", f"notify: 8 stations, read interval 1 s, offscreen, "
                    f"{args.seconds} s per run")
    for n in args.note:
        report.note(n)

    queued = {}
    with open(os.path.join(run("latency"), "program.log"), encoding="utf-8",
              errors="replace") as f:
        for line in f:
            found = re.search(r"anemometros\.notify: queued (<[^>]+>) (\d+)", line)
            if found:
                queued[found.group(1)] = int(found.group(2))
    accepted = {}
    for path in glob.glob(os.path.join(run("latency"), "mail", "*.json")):
        with open(path, encoding="utf-8") as f:
            mail = json.load(f)
        accepted.setdefault(mail["message_id"], mail["accepted_ms"])
    delays = [accepted[i] - queued[i] for i in queued if i in accepted]
    report.note(f"latency: {len(queued)} e-mails queued, {len(accepted)} accepted, "
                f"{len(set(queued) - set(accepted))} queued and never accepted")
    if delays:
        p99 = percentile(delays, 0.99)
        report.figure("alarm to e-mail accepted (STARTTLS, login), median",
                      f"{median(delays):.0f} ms")
        report.figure("alarm to e-mail accepted, p99", f"{p99:.0f} ms", "< 2000 ms", p99 < 2000)
        report.figure("alarm to e-mail accepted, max", f"{max(delays):.0f} ms")
    else:
        report.figure("alarm to e-mail accepted, p99", "no e-mail", "< 2000 ms", False)

    for name, label in (("plain", "without notifications"), ("hang", "mail server hanging")):
        gaps = spacing(run(name))
        p99 = percentile(gaps, 0.99)
        goal = ("< 215 ms", p99 < 215) if name == "hang" else ("", None)
        report.figure(f"request spacing, {label}, median", f"{median(gaps):.0f} ms")
        report.figure(f"request spacing, {label}, p99", f"{p99} ms", *goal)
        report.figure(f"request spacing, {label}, max", f"{max(gaps)} ms")
    with open(os.path.join(run("hang"), "program.log"), encoding="utf-8", errors="replace") as f:
        hung = sum(1 for line in f if "anemometros.notify: queued" in line)
    report.note(f"hang: {hung} e-mails queued while the server never answered")

    off, off_polls = steady_cpu_per_poll(run("idle-off"))
    on, on_polls = steady_cpu_per_poll(run("idle-on"))
    told = sum(1 for line in open(os.path.join(run("idle-on"), "program.log"), encoding="utf-8",
                                  errors="replace") if "anemometros.notify: queued" in line)
    report.note(f"idle: {off_polls} polls without, {on_polls} with notifications (steady state); "
                f"e-mails queued while idle: {told}")
    report.figure("CPU per poll, idle, without notifications", f"{off:.3f} ms")
    report.figure("CPU per poll, idle, e-mail and webhook set", f"{on:.3f} ms")
    # Runs of the same program differ by a few microseconds a poll from one to the next.
    report.figure("CPU per poll added by notifications set and idle", f"{on - off:+.3f} ms",
                  "<= 0.02 ms", on - off <= 0.02)
    report.write(args.results)


if __name__ == "__main__":
    main()
