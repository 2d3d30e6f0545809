#!/usr/bin/env python3
"""Records what a PulseAudio sink plays, with the moment of every part of the recording.

Usage: record_monitor.py SOURCE RAW INDEX

parec records SOURCE (a sink's monitor) as 8000 mono 16-bit samples a second into RAW; INDEX
receives a line "<unix time in s> <samples so far>" at every read (parec hands over about
every 10 ms), so a sample's moment is known to a few milliseconds however long parec took to
start and whatever it may have lost. Ends on SIGTERM or SIGINT.
"""
import os
import signal
import subprocess
import sys
import time

RATE = 8000


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, raw_path, index_path = sys.argv[1:]
    parec = subprocess.Popen(
        ["parec", "-d", source, "--raw", "--format=s16le", "--channels=1", f"--rate={RATE}",
         "--latency-msec=10"], stdout=subprocess.PIPE)
    stopping = []
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: stopping.append(True))
    samples = 0
    pending = b""
    with open(raw_path, "wb") as raw, open(index_path, "w", encoding="ascii") as index:
        while not stopping:
            try:
                data = os.read(parec.stdout.fileno(), 65536)
            except InterruptedError:
                continue
            if not data:
                break
            now = time.time()
            raw.write(data)
            pending += data
            samples += len(pending) // 2
            pending = pending[len(pending) // 2 * 2:]
            index.write(f"{now:.4f} {samples}\n")
    parec.terminate()
    parec.wait()


if __name__ == "__main__":
    main()
