#!/usr/bin/env python3
"""CPU per poll and peak memory of the station program and of mbpoll, from one sample of
/proc taken at the end of each run (procstat.py) and the two simulators' records.

The figures with goals cover the whole run, start-up included; the steady-state figures
cover the time from a second sample 15 s after launch to the end.

A process's CPU time is the larger of the sum over its live threads of schedstat (ns
resolution, misses threads that have ended) and utime + stime of /proc/<pid>/stat (counts
every thread, clock-tick resolution).
"""
import argparse
import os
import sys

from procstat import cpu_seconds, load
from report import Report, read_record, read_stamp



def polls_until(record, moment):
    return sum(1 for t, _, _ in read_record(record) if t <= moment)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--run", action="append", required=True, metavar="MODE:FOLDER")
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--results", required=True)
    args = parser.parse_args()

    report = Report("cost", f"cost: 8 stations, read interval 1 s, all stations logged, "
                    f"{args.seconds} s per mode; mbpoll polls a second simulator alongside")
    for n in args.note:
        report.note(n)
    steady = {}
    for run in args.run:
        mode, folder = run.split(":", 1)
        sample = load(os.path.join(folder, "sample"))
        now = sample["now_ms"]
        _, app_start = read_stamp(os.path.join(folder, "stamp"))
        _, mb_start = read_stamp(os.path.join(folder, "stamp-mbpoll"))
        app_polls = polls_until(os.path.join(folder, "record.csv"), now)
        mb_polls = polls_until(os.path.join(folder, "record-mbpoll.csv"), now)
        app_cpu, mb_cpu = cpu_seconds(sample, "app"), cpu_seconds(sample, "mbpoll")
        app_share = app_cpu / ((now - app_start) / 1000) * 100
        mb_share = mb_cpu / ((now - mb_start) / 1000) * 100
        report.note(f"{mode}: program {app_polls} polls in {(now - app_start) / 1000:.0f} s, "
                    f"CPU {app_cpu:.2f} s; mbpoll {mb_polls} polls in "
                    f"{(now - mb_start) / 1000:.0f} s, CPU {mb_cpu:.3f} s")
        if not app_polls or not mb_polls:
            sys.exit(f"cost: no polls recorded in {folder}")
        app_per, mb_per = app_cpu / app_polls * 1000, mb_cpu / mb_polls * 1000
        ratio = app_per / mb_per if mb_per else float("inf")
        report.figure(f"{mode}: program CPU per poll", f"{app_per:.3f} ms")
        report.figure(f"{mode}: mbpoll CPU per poll", f"{mb_per:.3f} ms")
        # Offscreen nothing reaches a screen: the program's own work has a tighter goal.
        most = 2.5 if mode in ("offscreen", "mqtt") else 3
        report.figure(f"{mode}: ratio program / mbpoll", f"{ratio:.1f} x", f"<= {most:g} x",
                      ratio <= most)
        report.figure(f"{mode}: program average CPU", f"{app_share:.3f} % of a core",
                      "< 0.5 %" if mode == "xvfb" else "",
                      app_share < 0.5 if mode == "xvfb" else None)
        report.figure(f"{mode}: mbpoll average CPU", f"{mb_share:.3f} % of a core")
        warm = load(os.path.join(folder, "sample-warm"))
        app_steady = (cpu_seconds(sample, "app") - cpu_seconds(warm, "app")) * 1000 / max(
            1, app_polls - polls_until(os.path.join(folder, "record.csv"), warm["now_ms"]))
        mb_steady = (cpu_seconds(sample, "mbpoll") - cpu_seconds(warm, "mbpoll")) * 1000 / max(
            1, mb_polls - polls_until(os.path.join(folder, "record-mbpoll.csv"), warm["now_ms"]))
        steady[mode] = app_steady
        report.figure(f"{mode}: steady state CPU per poll, program / mbpoll",
                      f"{app_steady:.3f} / {mb_steady:.3f} ms"
                      + (f" ({app_steady / mb_steady:.1f} x)" if mb_steady > 0 else ""))
        # Every wake-up of a process costs CPU of its own; the program wakes for its timers,
        # for the reply's inter-character timeout and, under X, for the server's replies.
        report.figure(f"{mode}: context switches per poll, program / mbpoll",
                      f"{sample['app.switches'] / app_polls:.1f} / "
                      f"{sample['mbpoll.switches'] / mb_polls:.1f}")
        if "xserver.cpu_ns" in sample:
            x_per = cpu_seconds(sample, "xserver") / app_polls * 1000
            report.figure(f"{mode}: X server CPU per poll of the program", f"{x_per:.3f} ms")
        if "broker.cpu_ns" in sample:
            broker_per = cpu_seconds(sample, "broker") / app_polls * 1000
            report.figure(f"{mode}: broker CPU per poll of the program", f"{broker_per:.3f} ms")
        hwm = sample["app.hwm_kb"] / 1024
        report.figure(f"{mode}: program peak memory (VmHWM)", f"{hwm:.1f} MB",
                      "< 40 MB" if mode in ("offscreen", "xvfb") else "",
                      hwm < 40 if mode in ("offscreen", "xvfb") else None)
        report.figure(f"{mode}: mbpoll peak memory (VmHWM)",
                      f"{sample['mbpoll.hwm_kb'] / 1024:.1f} MB")
    if "windows" in steady and "xvfb" in steady:
        added = steady["windows"] / steady["xvfb"] - 1
        report.figure("windows: CPU per poll with Diagnóstico, Histórico and Alarmes open "
                      "(steady state, over xvfb)", f"{added * 100:+.0f} %", "<= +20 %",
                      added <= 0.20)
    if "mqtt" in steady and "offscreen" in steady:
        added = steady["mqtt"] - steady["offscreen"]
        report.figure("mqtt: CPU added per poll by publishing (steady state, mqtt - offscreen)",
                      f"{added:.3f} ms", "<= 0.05 ms", added <= 0.05)
    report.write(args.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
