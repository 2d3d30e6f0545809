#!/usr/bin/env python3
"""The site view across broker restarts, from its trace (site_view.py) and the synthetic
site's record: for each outage, when the view noticed the broker gone, when it was connected
again and when every station's tile had shown a state again, each counted from the moment
the broker accepted connections again. A station whose tile shows nothing new before the next
outage (or the end) counts as never current.
"""
import argparse
import os
import sys

from report import Report
from site_view import first_shown_after, read_published, read_trace

GOAL_S = 30


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True)
    parser.add_argument("--stations", type=int, required=True)
    parser.add_argument("--settle", type=int, required=True)
    parser.add_argument("--outage", action="append", required=True, metavar="KILLED_MS:BACK_MS")
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    args = parser.parse_args()

    outages = [tuple(map(float, o.split(":"))) for o in args.outage]
    report = Report("site_restart", f"site_restart: one site view (anemometros --local, "
                    f"offscreen) watching {args.stations} synthetic stations, 8 per prefix, one "
                    f"state each per second; the broker killed and started again "
                    f"{len(outages)} times, {args.settle} s left after each return")
    for n in args.note:
        report.note(n)
    published = read_published(os.path.join(args.work, "published.csv"))
    shown, events = read_trace(os.path.join(args.work, "view.log"))
    stations = sorted(published)
    report.note(f"{len(stations)} stations published, {len(shown)} tiles shown; broker events "
                f"seen by the view: {[what for _, what in events]}")
    if len(stations) != args.stations:
        report.note(f"expected {args.stations} stations in the site's record")

    for number, (killed, back) in enumerate(outages, 1):
        following = outages[number][0] if number < len(outages) else float("inf")
        label = f"return {number} ({(back - killed) / 1000:.0f} s away)"
        away = next((t for t, what in events if what == "away" and t >= killed), None)
        # The view may connect between the broker taking connections and the script noticing
        # it: the first connection after the loss counts, from the return on.
        connected = next((t for t, what in events
                          if what == "connected" and t >= (away or killed)), None)
        report.note(f"{label}: broker away noticed "
                    + (f"{(away - killed) / 1000:.2f} s after the kill" if away else "never"))
        report.figure(f"{label}: back to the view connected",
                      f"{max(0, connected - back) / 1000:.1f} s" if connected else "never")
        firsts = first_shown_after(shown, back)
        late = [key for key in stations
                if firsts.get(key) is None or firsts[key] >= following]
        waits = [firsts[key] - back for key in stations if key not in late]
        if late:
            report.note(f"{label}: {len(late)} tiles never current again, e.g. {late[:5]}")
        slowest = max(waits) / 1000 if waits and not late else None
        report.figure(f"{label}: back to every tile current",
                      f"{slowest:.1f} s" if slowest is not None
                      else f"{len(stations) - len(late)} of {len(stations)} tiles",
                      f"<= {GOAL_S} s", slowest is not None and slowest <= GOAL_S)
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
