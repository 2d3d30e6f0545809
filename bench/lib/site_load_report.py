#!/usr/bin/env python3
"""The site view under a synthetic site's load: its CPU per state message between the two
samples, the window thread's answer to the pings (ping_probe.py), the time from a state
handed to the broker to the trace line that put it on its tile (site_view.py), and at the end
whether every tile shows the last state published.

A ping not answered at all counts as the longest wait of the run.
"""
import argparse
import os
import sys

from latency_report import read_pings
from procstat import cpu_seconds, load
from report import Report, median, percentile
from site_view import latencies, read_published, read_trace

PING_GOAL_MS = 50



def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True)
    parser.add_argument("--stations", type=int, required=True)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    args = parser.parse_args()

    report = Report("site_load", f"site_load: one site view (anemometros --local, xvfb-run, trace "
                    f"on) watching {args.stations} synthetic stations, 8 per prefix, one state "
                    f"each per second; {args.seconds} s")
    for n in args.note:
        report.note(n)
    published = read_published(os.path.join(args.work, "published.csv"))
    shown, events = read_trace(os.path.join(args.work, "view.log"))
    warm = load(os.path.join(args.work, "sample-warm"))
    sample = load(os.path.join(args.work, "sample"))
    span_s = (sample["now_ms"] - warm["now_ms"]) / 1000

    def within(lines):
        return sum(1 for t, _ in lines if warm["now_ms"] < t <= sample["now_ms"])
    sent_in_span = sum(within(lines) for lines in published.values())
    shown_in_span = sum(within(lines) for lines in shown.values())
    stale, waits, unmatched = [], [], 0
    for key, sent in sorted(published.items()):
        mine = shown.get(key, [])
        if not mine or mine[-1][1] != sent[-1][1]:
            stale.append(f"{key[0]} station {key[1]}: tile "
                         f"{mine[-1][1] if mine else 'never shown'}, last published {sent[-1][1]}")
        found, missed = latencies(sent, mine)
        # The retained states delivered as the view subscribed are left out with the warm-up.
        waits += [wait for t, wait in found if warm["now_ms"] < t <= sample["now_ms"]]
        unmatched += missed
    strangers = sorted(set(shown) - set(published))
    report.note(f"{len(published)} stations published {sum(map(len, published.values()))} "
                f"states, the view showed {sum(map(len, shown.values()))} "
                f"({unmatched} not matched to a published state); between the samples "
                f"({span_s:.0f} s): {sent_in_span} published, {shown_in_span} shown")
    report.note(f"broker events seen by the view: {[what for _, what in events]}")
    if strangers:
        report.note(f"tiles of stations never published: {strangers[:5]}")
    for s in stale[:10]:
        report.note("tile not current: " + s)

    view_cpu = cpu_seconds(sample, "view") - cpu_seconds(warm, "view")
    report.figure("site view: CPU per state message",
                  f"{view_cpu / max(1, sent_in_span) * 1e6:.0f} us")
    report.figure("site view: average CPU", f"{view_cpu / span_s * 100:.1f} % of a core")
    report.figure("site view: peak memory (VmHWM)", f"{sample['view.hwm_kb'] / 1024:.1f} MB")

    answers, unanswered = read_pings(os.path.join(args.work, "pings.csv"))
    report.note(f"pings: {len(answers)} answered, {unanswered} not")
    if answers:
        longest = max(answers) if not unanswered else float("inf")
        p99 = percentile(answers + [longest] * unanswered, 0.99)
        report.figure("window thread: answer time median", f"{median(answers):.1f} ms")
        report.figure("window thread: answer time p99", f"{p99:.1f} ms",
                      f"<= {PING_GOAL_MS} ms", p99 <= PING_GOAL_MS)
        report.figure("window thread: answer time max", f"{longest:.1f} ms")
    else:
        report.figure("window thread: answer time p99", "no answer", f"<= {PING_GOAL_MS} ms",
                      False)

    if waits:
        report.figure("state published to tile, median (between the samples)", f"{median(waits):.0f} ms")
        report.figure("state published to tile, p99", f"{percentile(waits, 0.99):.0f} ms")
        report.figure("state published to tile, max", f"{max(waits):.0f} ms")
    report.figure("tiles showing the last state published at the end",
                  f"{len(published) - len(stale)} of {len(published)}", f"all {args.stations}",
                  not stale and len(published) == args.stations)
    broker = cpu_seconds(sample, "broker") - cpu_seconds(warm, "broker")
    publisher = cpu_seconds(sample, "publisher") - cpu_seconds(warm, "publisher")
    report.figure("broker: average CPU", f"{broker / span_s * 100:.1f} % of a core")
    report.figure("publisher: average CPU", f"{publisher / span_s * 100:.1f} % of a core")
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
