#!/usr/bin/env python3
"""The horn's figures.

Trials (bench_horn, optional): from the alarm to its stream on the sound server, one line a
trial in ms, and the process's CPU while the horn is silent, continuous and intermittent
("cpu <state> <ms of CPU per s>").

Soak (the station program): every whole second of the null sink's recording is compared with
the alarm list the program published at that moment (its <prefix>/+/alarms topics, as
mosquitto_sub received them). The list asks for the continuous sound while an alta alarm is
ATIVO, the intermittent one while only média or baixa ones are, quiet otherwise. A second is
cut in 25 ms blocks: continuous when every block is loud, quiet when every block is, and
intermittent when at least a fifth of them are loud and a fifth quiet. Seconds that begin
less than 0.5 s after a change of the list, or hold one, are left out of the comparison; for
each change the time until the recording shows the new sound is measured instead.
"""
import argparse
import bisect
import json
import math
import os
from array import array

from procstat import cpu_seconds, load
from report import Report, median, percentile

RATE = 8000
BLOCK = RATE // 40  # 25 ms
LOUD_RMS = 3000
QUIET_RMS = 300
GRACE_S = 0.5
NAMES = {"C": "continuous", "I": "intermittent", "Q": "quiet", "?": "something else"}


def read_trials(path):
    latencies, cpu = [], {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if len(words) == 3 and words[0] == "cpu":
                cpu[words[1]] = float(words[2])
            elif len(words) == 1:
                latencies.append(float(words[0]))
    return latencies, cpu


def horn_of(lists):
    """C, I or Q for the latest list of every topic."""
    horn = "Q"
    for payload in lists.values():
        for alarm in payload.get("alarms", []):
            if alarm.get("state") == "ATIVO":
                if alarm.get("priority") == "alta":
                    return "C"
                horn = "I"
    return horn


def read_changes(path):
    """[(unix time, horn)] each time the horn the lists ask for changes, the first included."""
    lists, changes = {}, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 2)
            if len(parts) < 2:
                continue
            payload = parts[2] if len(parts) == 3 else ""
            lists[parts[1]] = json.loads(payload) if payload.strip() else {}
            horn = horn_of(lists)
            if not changes or changes[-1][1] != horn:
                changes.append((float(parts[0]), horn))
    return changes


class Recording:
    def __init__(self, raw_path, index_path):
        self.samples = array("h")
        with open(raw_path, "rb") as f:
            self.samples.frombytes(f.read()[: os.path.getsize(raw_path) // 2 * 2])
        self.times, self.counts = [], []
        with open(index_path, encoding="ascii") as f:
            for line in f:
                t, n = line.split()
                self.times.append(float(t))
                self.counts.append(int(n))

    def start(self):
        return self.times[0] - self.counts[0] / RATE

    def end(self):
        return self.times[-1]

    def at(self, moment):
        """The sample played at a unix moment."""
        k = min(bisect.bisect_left(self.times, moment), len(self.times) - 1)
        return max(0, round(self.counts[k] - (self.times[k] - moment) * RATE))

    def blocks(self, begin, end):
        """'L', 'Q' or '-' (in between) for each 25 ms block from begin to end (unix times)."""
        out = []
        first, last = self.at(begin), self.at(end)
        for i in range(first, last - BLOCK + 1, BLOCK):
            block = self.samples[i:i + BLOCK]
            rms = math.sqrt(sum(s * s for s in block) / BLOCK)
            out.append("L" if rms > LOUD_RMS else "Q" if rms < QUIET_RMS else "-")
        return out


def heard(blocks):
    if not blocks:
        return "?"
    loud, quiet = blocks.count("L"), blocks.count("Q")
    if loud == len(blocks):
        return "C"
    if quiet == len(blocks):
        return "Q"
    if loud * 5 >= len(blocks) and quiet * 5 >= len(blocks):
        return "I"
    return "?"


def follow_delay(recording, moment, old, new, limit_s):
    """Seconds from a change of the list until the recording shows the new sound: 200 ms
    all loud for continuous, 200 ms all quiet for quiet, and for intermittent the first
    quiet 200 ms after the continuous sound or the first loud block after quiet."""
    blocks = recording.blocks(moment, moment + limit_s)
    run = 8
    for i in range(len(blocks)):
        ahead = blocks[i:i + run]
        if new == "C" and ahead == ["L"] * run or new == "Q" and ahead == ["Q"] * run:
            return i * BLOCK / RATE
        if new == "I" and old == "C" and ahead == ["Q"] * run:
            return i * BLOCK / RATE
        if new == "I" and old == "Q" and blocks[i] == "L":
            return i * BLOCK / RATE
    return None


def soak_figures(report, work, seconds):
    changes = read_changes(os.path.join(work, "alarms.log"))
    recording = Recording(os.path.join(work, "monitor.raw"), os.path.join(work, "monitor.idx"))
    if not changes:
        report.figure("seconds compared with the list", "0", "every second agrees", False)
        return
    moments = [t for t, _ in changes]
    first = math.ceil(max(changes[0][0] + 1, recording.start()))
    last = math.floor(recording.end()) - 1
    judged = {"C": [0, 0], "I": [0, 0], "Q": [0, 0]}
    left_out, first_wrong, run, longest, wrong = 0, None, 0, 0, []
    for second in range(first, last):
        k = bisect.bisect_right(moments, second + 1) - 1
        if moments[k] > second - GRACE_S:
            left_out += 1
            continue
        asked = changes[k][1]
        got = heard(recording.blocks(second, second + 1))
        judged[asked][0] += 1
        if got == asked:
            judged[asked][1] += 1
            run = 0
            continue
        run += 1
        longest = max(longest, run)
        first_wrong = second if first_wrong is None else first_wrong
        if len(wrong) < 5:
            wrong.append(f"+{second - first} s: the list asks for {NAMES[asked]}, heard "
                         f"{NAMES[got]}")
    total = sum(n for n, _ in judged.values())
    agree = sum(a for _, a in judged.values())
    share = agree / total * 100 if total else 0
    report.note(f"the comparison runs from the first published list (+1 s) to the end of "
                f"the recording: {last - first} s")
    for line in wrong:
        report.note(f"disagrees: {line}")
    report.figure("seconds that agree with the list", f"{agree} of {total} ({share:.3f} %)",
                  "every second", total > 0 and agree == total)
    for key, label in (("C", "alta ATIVO: continuous"), ("I", "only média/baixa: intermittent"),
                       ("Q", "none ATIVO: quiet")):
        report.figure(f"  {label}", f"{judged[key][1]} of {judged[key][0]}")
    report.figure("seconds near a change of the list (not compared)", str(left_out))
    report.figure("longest run of seconds that disagree", f"{longest} s")
    report.figure("first second that disagrees",
                  "none" if first_wrong is None else f"+{first_wrong - first} s")

    delays, missed = [], 0
    for k in range(1, len(changes)):
        moment, new = changes[k]
        following = changes[k + 1][0] if k + 1 < len(changes) else recording.end()
        if following - moment < 2 or moment + 2 > recording.end():
            continue
        delay = follow_delay(recording, moment, changes[k - 1][1], new, 2)
        if delay is None:
            missed += 1
        else:
            delays.append(delay * 1000)
    report.figure("changes of the horn followed within 2 s",
                  f"{len(delays)} of {len(delays) + missed}", "all", missed == 0)
    if delays:
        report.figure("list change to the new sound heard, median", f"{median(delays):.0f} ms")
        report.figure("list change to the new sound heard, max", f"{max(delays):.0f} ms", "< 1000 ms",
                      max(delays) < 1000)

    streams = []
    with open(os.path.join(work, "streams.log"), encoding="ascii") as f:
        streams = [int(line.split()[1]) for line in f if len(line.split()) == 2]
    if streams:
        report.figure("streams open at once, most (every 5 s)", str(max(streams)))
    begin, end = load(os.path.join(work, "cpu-start")), load(os.path.join(work, "cpu-end"))
    cpu = cpu_seconds(end, "app") - cpu_seconds(begin, "app")
    span = (end["now_ms"] - begin["now_ms"]) / 1000
    report.figure("program average CPU over the run", f"{cpu / span * 100:.2f} % of a core")
    report.figure("program memory (VmRSS), start to end",
                  f"{begin['app.rss_kb'] / 1024:.1f} to {end['app.rss_kb'] / 1024:.1f} MiB")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--samples", help="bench_horn's output")
    parser.add_argument("--soak", help="the work folder of the run of the station program")
    parser.add_argument("--seconds", type=int, default=0)
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    args = parser.parse_args()
    report = Report("horn", "horn: the station program on anemosim with a PulseAudio null sink "
                    "recorded, compared second by second with its alarm list; and the horn "
                    "alone (bench_horn): alarm to stream, CPU")
    for n in args.note:
        report.note(n)
    if args.soak:
        report.note(f"soak: {args.seconds} s; station 1 above its preset 2, 25 s answering and "
                    "25 s silent, again and again; station 2 above its preset 1; read interval "
                    "1 s; {\"alarm\": \"*\"} on <prefix>/1/ack every 100 s")
        soak_figures(report, args.soak, args.seconds)
    if args.samples:
        latencies, cpu = read_trials(args.samples)
        report.note(f"bench_horn: {len(latencies)} trials")
        if latencies:
            p99 = percentile(latencies, 0.99)
            report.figure("alarm to stream, median", f"{median(latencies):.1f} ms")
            report.figure("alarm to stream, p99", f"{p99:.1f} ms", "< 500 ms", p99 < 500)
            report.figure("alarm to stream, max", f"{max(latencies):.1f} ms")
        if "silent" in cpu:
            report.figure("CPU while the horn is silent", f"{cpu['silent']:.3f} ms per s",
                          "< 0.5 ms per s", cpu["silent"] < 0.5)
        for state in ("continuous", "intermittent"):
            if state in cpu:
                report.figure(f"CPU while the horn is {state}", f"{cpu[state]:.3f} ms per s")
    report.write(args.results)


if __name__ == "__main__":
    main()
