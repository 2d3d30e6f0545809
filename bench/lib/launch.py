#!/usr/bin/env python3
"""Records the launch moment and the process id, then becomes the given program.

Usage: launch.py STAMP_FILE -- PROGRAM [ARGS...]

STAMP_FILE receives one line "<pid> <CLOCK_MONOTONIC in ms, three decimals>", taken right
before exec, so the process id is the program's own and the moment is on the clock the
simulator stamps its record with.
"""
import os
import sys
import time


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit(__doc__)
    stamp, program = sys.argv[1], sys.argv[3:]
    moment = time.clock_gettime_ns(time.CLOCK_MONOTONIC) / 1e6
    with open(stamp, "w", encoding="ascii") as f:
        f.write(f"{os.getpid()} {moment:.3f}\n")
    os.execvp(program[0], program)


if __name__ == "__main__":
    main()
