#!/usr/bin/env python3
"""Prints one line "<CLOCK_MONOTONIC ms> <event> <name>" for every file of a folder that is
written and closed, or moved into place (a file replaced whole), until killed.

Usage: watch_writes.py FOLDER

The kernel's inotify through ctypes: no package beyond Python is needed.
"""
import ctypes
import os
import struct
import sys
import time

IN_CLOSE_WRITE = 0x00000008
IN_MOVED_TO = 0x00000080


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    fd = libc.inotify_init()
    if fd < 0:
        sys.exit(f"inotify_init: {os.strerror(ctypes.get_errno())}")
    if libc.inotify_add_watch(fd, sys.argv[1].encode(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0:
        sys.exit(f"inotify_add_watch: {os.strerror(ctypes.get_errno())}")
    header = struct.Struct("iIII")
    while True:
        data = os.read(fd, 65536)
        now = time.clock_gettime_ns(time.CLOCK_MONOTONIC) / 1e6
        at = 0
        while at + header.size <= len(data):
            _, mask, _, length = header.unpack_from(data, at)
            name = data[at + header.size:at + header.size + length].rstrip(b"\0").decode(
                errors="replace")
            event = "moved" if mask & IN_MOVED_TO else "written"
            print(f"{now:.1f} {event} {name}", flush=True)
            at += header.size + length


if __name__ == "__main__":
    main()
