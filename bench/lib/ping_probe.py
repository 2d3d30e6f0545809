#!/usr/bin/python3
"""Times how long a window's thread takes to answer, from outside its process.

Every PERIOD ms the probe sends the window an X11 _NET_WM_PING client message; Qt answers it
from the window thread's event processing by sending the message back to the root window,
where the probe listens. One line per ping on standard output: "<sent ms>;<answer ms>", the
send time on CLOCK_MONOTONIC and the time until the answer came, or "<sent ms>;" for a ping
not answered within 2 s of the end. Needs python3-xlib (Debian's python3, not a virtualenv).

    ping_probe.py --window ID --seconds S [--period-ms 20]
"""
import argparse
import select
import sys
import time

from Xlib import X, display, protocol

LATE_MS = 2000


def now_ms():
    return time.monotonic() * 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--window", required=True, help="window id, decimal or 0x hex")
    parser.add_argument("--seconds", type=float, required=True)
    parser.add_argument("--period-ms", type=float, default=20.0)
    args = parser.parse_args()

    screen = display.Display()
    root = screen.screen().root
    # Qt sends the answer to the root window for the clients that watch its structure (a
    # window manager would redirect its substructure).
    root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
    window_id = int(args.window, 0)
    window = screen.create_resource_object("window", window_id)
    protocols = screen.intern_atom("WM_PROTOCOLS")
    ping = screen.intern_atom("_NET_WM_PING")

    sent = {}
    answers = []
    sequence = 1
    start = now_ms()
    end = start + args.seconds * 1000.0
    next_ping = start
    while True:
        moment = now_ms()
        if moment >= next_ping and moment < end:
            # The timestamp field carries the ping's number; Qt sends the message back as is.
            message = protocol.event.ClientMessage(
                window=window, client_type=protocols,
                data=(32, [ping, sequence, window_id, 0, 0]))
            window.send_event(message, event_mask=0)
            screen.flush()
            sent[sequence] = moment
            sequence += 1
            while next_ping <= moment:
                next_ping += args.period_ms
        while screen.pending_events():
            event = screen.next_event()
            arrived = now_ms()
            if event.type != X.ClientMessage or event.client_type != protocols:
                continue
            fields = event.data[1]
            if fields[0] == ping and fields[1] in sent:
                sent_at = sent.pop(fields[1])
                answers.append((sent_at, arrived - sent_at))
        moment = now_ms()
        if moment >= end and (not sent or moment >= end + LATE_MS):
            break
        wait_ms = (next_ping if moment < end else end + LATE_MS) - moment
        select.select([screen.fileno()], [], [], max(0.0, min(wait_ms, 50.0)) / 1000.0)

    for sent_at, answer in sorted(answers):
        print(f"{sent_at:.1f};{answer:.2f}")
    for sent_at in sorted(sent.values()):
        print(f"{sent_at:.1f};")
    return 0


if __name__ == "__main__":
    sys.exit(main())
