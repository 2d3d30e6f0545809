#!/usr/bin/env python3
"""The report of bench/alarm_soak: what the station left behind after a site's half hour.

Usage: alarm_soak_report.py --work DIR --seconds N --results DIR [--note TEXT ...]
"""
import argparse
import collections
import datetime
import glob
import json
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from report import Report  # noqa: E402

# The journal's events that an alarm of the list answers, and the alarm's name there.
JOURNALED = {"SEM RESPOSTA": "SEM RESPOSTA", "PRESET1 ATIVO": "PRESET 1",
             "PRESET2 ATIVO": "PRESET 2"}
# What a kill -9 may take with it: the changes of the last seconds before it.
KILL_SLACK_S = 10


def read_events(work):
    events = []
    with open(os.path.join(work, "events.txt"), encoding="ascii") as f:
        for line in f:
            parts = line.split()
            events.append((float(parts[0]), parts[1], parts[2:] and parts[2]))
    return events


def wall_of_monotonic(work):
    """Wall-clock datetime of a CLOCK_MONOTONIC ms, from the simulator's record."""
    with open(os.path.join(work, "record.csv"), encoding="utf-8") as f:
        first = f.readline().split(";")
    mono, wall = float(first[0]), datetime.datetime.fromisoformat(first[1])
    if wall.tzinfo is not None:
        wall = wall.astimezone().replace(tzinfo=None)
    return lambda ms: wall + datetime.timedelta(milliseconds=ms - mono)


def journal_alarms(folder):
    found = []
    for path in sorted(glob.glob(os.path.join(folder, "Eventos *.txt"))):
        day = datetime.datetime.strptime(os.path.basename(path)[8:18], "%d-%m-%Y").date()
        with open(path, encoding="cp1252") as f:
            for line in f:
                cells = line.rstrip("\r\n").split(";")
                if len(cells) >= 3 and cells[2] in JOURNALED:
                    at = datetime.datetime.combine(
                        day, datetime.datetime.strptime(cells[0], "%H:%M:%S").time())
                    found.append((at, cells[1], JOURNALED[cells[2]]))
    return found


def day_records(folder):
    records = []
    for path in sorted(glob.glob(os.path.join(folder, "Alarmes *.csv"))):
        with open(path, encoding="cp1252", newline="") as f:
            lines = f.read().split("\r\n")
        for line in lines[1:]:
            cells = line.split(";")
            if len(cells) < 9:
                continue
            came = datetime.datetime.strptime(cells[3], "%d/%m/%Y %H:%M:%S")
            went = datetime.datetime.strptime(cells[7], "%d/%m/%Y %H:%M:%S")
            records.append((cells[0], cells[1], came, went, cells[5]))
    return records


def listed_in_progress(station_dir):
    path = os.path.join(station_dir, "alarmes.json")
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        alarms = json.load(f)["alarms"]
    found = []
    for alarm in alarms:
        if alarm["active"]:
            since = alarm.get("occurrence_since") or alarm["since"]
            at = datetime.datetime.fromisoformat(since).astimezone().replace(tzinfo=None)
            found.append((alarm["station"], alarm["alarm"], at))
    return found


def notices(work):
    """The notices the recording command got: (name, alarm, event, since)."""
    path = os.path.join(work, "notices.txt")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        return [tuple(line.rstrip("\n").split(";")) for line in f if line.count(";") == 3]


def notice_figures(report, work, journal, kills, starts):
    told = notices(work)
    if told is None:
        return "alarm_soak.txt"
    report.figure("notices told", str(len(told)))
    # Each coming the journal holds is told ATIVO once (a comeback of an alarm still listed is
    # told again, with the listing's first time); a kill -9 may have one told again. After a
    # start the journal says the first reading's alarms again, though the list kept them ATIVO
    # through the restart: those are no new comings. Only the alarms the journal names count.
    ativo = collections.Counter((n, a) for n, a, e, _ in told
                                if e == "ATIVO" and a in JOURNALED.values())
    comings = collections.Counter((n, a) for _, n, a in journal)
    slack = datetime.timedelta(seconds=KILL_SLACK_S)
    near_kill = {(n, a) for at, n, a in journal
                 if any(datetime.timedelta(0) <= k - at <= slack for k in kills)}
    after_start = collections.Counter((n, a) for at, n, a in journal
                                      if any(datetime.timedelta(0) <= at - s <= slack
                                             for s in starts))
    wrong = []
    for key in sorted(set(ativo) | set(comings)):
        difference = ativo[key] - comings[key]
        if difference == 0 or (difference == 1 and key in near_kill) or \
                -after_start[key] <= difference < 0:
            continue
        wrong.append(f"{key[0]} {key[1]}: {ativo[key]} ATIVO told, {comings[key]} in the journal")
    report.figure("alarms told ATIVO other than once per coming", str(len(wrong)), "0", not wrong)
    for line in wrong[:5]:
        report.note(f"told: {line}")
    state = os.path.join(work, "station", "notificacoes.json")
    waiting = 0
    if os.path.exists(state):
        with open(state, encoding="utf-8") as f:
            waiting = len(json.load(f).get("pending", []))
    report.figure("notices still waiting at the end", str(waiting), "0", waiting == 0)
    return "alarm_soak_notify.txt"


def archive_figures(report, work, vm, events, to_wall):
    """Every reply anemosim served, looked up in the database: none missing, none twice."""
    from archive_write_report import served, stored
    replies = served(os.path.join(work, "record.csv"))
    samples = stored(vm, 'anemometro_velocidade{local="obra"}')
    # The reply on its way when the program was stopped or killed is nobody's; what the last
    # stop left in the queue waits there for the next start.
    stops = [to_wall(ms).timestamp() * 1000 for ms, kind, _ in events if kind in ("TERM", "KILL")]
    queued = set()
    for path in glob.glob(os.path.join(work, "station", "arquivo-fila", "*.lp")):
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("anemometro,") and "velocidade=" in line:
                    station = int(line.split(",estacao=", 1)[1].split(",", 1)[0])
                    queued.add((station, int(line.split()[-1])))
    missing = twice = in_flight = waiting = total = 0
    for station, wanted in replies.items():
        got = samples.get(station, [])
        stamps = [ms for ms, _ in got]
        twice += len(stamps) - len(set(stamps))
        j = 0
        for wall, tenths in wanted:
            total += 1
            while j < len(got) and got[j][0] < wall:
                j += 1
            # Read at most a few seconds after it was sent, on a loaded machine.
            if j < len(got) and got[j][0] - wall < 3000 and abs(got[j][1] - tenths / 10) < 1e-9:
                j += 1
            elif any(s == station and 0 <= ms - wall < 3000 for s, ms in queued):
                waiting += 1
            elif any(0 <= stop - wall < 2000 for stop in stops):
                in_flight += 1
            else:
                missing += 1
    report.figure("replies served", str(total))
    report.figure("replies missing from the database", str(missing), "0", missing == 0)
    report.figure("... on their way at a stop or kill", str(in_flight))
    report.figure("... waiting in the queue at the end", str(waiting))
    report.figure("replies stored twice", str(twice), "0", twice == 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--seconds", type=int, required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--note", action="append", default=[])
    parser.add_argument("--vm", help="the VictoriaMetrics the station wrote to, if any")
    args = parser.parse_args()
    work = args.work
    logs = os.path.join(work, "home", "Documents", "log_zareraziru")
    report = Report("alarm_soak", "alarm_soak: the alarm station as a site runs it")
    for note in args.note:
        report.note(note)

    events = read_events(work)
    to_wall = wall_of_monotonic(work)
    kills = [to_wall(ms) for ms, kind, _ in events if kind == "KILL"]
    with open(os.path.join(work, "record.csv"), encoding="utf-8") as f:
        polls = sum(1 for _ in f)
    hours = args.seconds / 3600

    with open(os.path.join(work, "writes.txt"), encoding="utf-8") as f:
        writes = [line for line in f if line.split()[2:] == ["alarmes.json"]]
    per_hour = len(writes) / hours
    report.figure("alarmes.json writes per hour", f"{per_hour:.0f} ({len(writes)} in all)",
                  "<= 720 (one per 5 s)", per_hour <= 720)
    report.figure("polls per hour", f"{polls / hours:.0f}")

    # CPU per poll by minute, within each run of the program.
    samples = []
    with open(os.path.join(work, "cpu.txt"), encoding="ascii") as f:
        for line in f:
            fields = dict(word.split("=", 1) for word in line.split() if "=" in word)
            if "app.cpu_ns" in fields:
                samples.append((fields["pid"], int(fields["polls"]), int(fields["app.cpu_ns"])))
    minutes = []
    for before, after in zip(samples, samples[1:]):
        if before[0] == after[0] and after[1] > before[1]:
            minutes.append((after[0], (after[2] - before[2]) / (after[1] - before[1]) / 1e6))
    first_run = [ms for pid, ms in minutes if pid == minutes[0][0]] if minutes else []
    if len(first_run) >= 6:
        head = sum(first_run[:3]) / 3
        tail = sum(first_run[-3:]) / 3
        report.figure("CPU per poll, first run, its first 3 min", f"{head:.3f} ms")
        report.figure("CPU per poll, first run, its last 3 min", f"{tail:.3f} ms",
                      "<= 1.2 x the first", tail <= 1.2 * head)
    if minutes:
        every = [ms for _, ms in minutes]
        report.figure("CPU per poll, every minute", f"{min(every):.3f} to {max(every):.3f} ms")

    # Every alarm the journal holds, in the record.
    journal = journal_alarms(logs)
    records = day_records(logs)
    active = listed_in_progress(os.path.join(work, "station"))
    slack = datetime.timedelta(seconds=1)
    missing, excused = [], 0
    for at, name, alarm in journal:
        covered = any(r[0] == name and r[1] == alarm and r[2] - slack <= at <= r[3] + slack
                      for r in records)
        number = name.rsplit(" ", 1)[-1]
        covered = covered or any(str(a[0]) == number and a[1] == alarm and a[2] - slack <= at
                                 for a in active)
        if covered:
            continue
        if any(datetime.timedelta(0) <= kill - at <= datetime.timedelta(seconds=KILL_SLACK_S)
               for kill in kills):
            excused += 1
        else:
            missing.append(f"{at:%H:%M:%S} {name} {alarm}")
    report.figure("alarms in the journal", str(len(journal)))
    report.figure("comings in the day files", str(len(records)))
    report.figure("journal alarms missing from the record", str(len(missing)), "0",
                  not missing)
    report.figure("... within 10 s before the kill -9", str(excused))
    twice = len(records) - len({(r[0], r[1], r[2]) for r in records})
    report.figure("comings written twice", str(twice), "0", twice == 0)
    acknowledged = sum(1 for r in records if r[4])
    report.figure("comings acknowledged in the day files", str(acknowledged))
    for line in missing[:10]:
        report.note(f"missing: {line}")

    starts = [to_wall(ms) for ms, kind, _ in events if kind == "start"][1:]
    name = notice_figures(report, work, journal, kills, starts)
    if args.vm:
        archive_figures(report, work, args.vm, events, to_wall)
        name = name.replace(".txt", "_archive.txt")
    text = report.text()
    print(text, end="")
    with open(os.path.join(args.results, name), "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
