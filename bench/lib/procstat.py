#!/usr/bin/env python3
"""One sample of processes' CPU time and memory, as "key=value" lines for the reports.

Usage: procstat.py NAME=PID ...  prints, per process,
  NAME.cpu_ns   sum over its threads of /proc/<pid>/task/*/schedstat (ns on the CPU)
  NAME.ticks_s  utime + stime of /proc/<pid>/stat, in seconds (clock-tick resolution)
  NAME.hwm_kb   VmHWM (peak resident set), NAME.rss_kb VmRSS
  NAME.switches context switches (voluntary and not) summed over its threads
and now_ms, the CLOCK_MONOTONIC moment of the sample.
"""
import glob
import os
import sys
import time


def sample(name, pid):
    out = {}
    cpu = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path, encoding="ascii") as f:
                cpu += int(f.read().split()[0])
        except OSError:
            pass  # a thread that ended meanwhile
    out[f"{name}.cpu_ns"] = cpu
    switches = 0
    for path in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(path, encoding="ascii") as f:
                for line in f:
                    key, _, value = line.partition(":")
                    if key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"):
                        switches += int(value)
        except OSError:
            pass
    out[f"{name}.switches"] = switches
    with open(f"/proc/{pid}/stat", encoding="ascii") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])
    out[f"{name}.ticks_s"] = ticks / os.sysconf("SC_CLK_TCK")
    with open(f"/proc/{pid}/status", encoding="ascii") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmHWM", "VmRSS"):
                out[f"{name}.{key[2:].lower()}_kb"] = int(value.split()[0])
    return out


def main():
    values = {"now_ms": time.clock_gettime_ns(time.CLOCK_MONOTONIC) / 1e6}
    for arg in sys.argv[1:]:
        name, _, pid = arg.partition("=")
        values.update(sample(name, int(pid)))
    for key, value in values.items():
        print(f"{key}={value}")


def load(path):
    """The values of a sample file written from main()."""
    values = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key:
                values[key] = float(value)
    return values


def cpu_seconds(sample, name):
    """CPU time of `name` in a sample: the finer clock, or the tick count where it is larger."""
    return max(sample[f"{name}.cpu_ns"] / 1e9, sample[f"{name}.ticks_s"])


if __name__ == "__main__":
    main()
