"""What the site view (anemometros --local) showed, from its trace on standard error
(QT_LOGGING_RULES=anemometros.site.debug=true):

    anemometros.site: shown <prefix> <station> <speed> <battery> <monotonic ms>
    anemometros.site: broker connected <monotonic ms>
    anemometros.site: broker away <monotonic ms>

and the matching of those lines against what was published or served. Readings are compared
as (speed in tenths or "LIMITE", battery in hundredths).
"""
from collections import defaultdict


def speed_key(text):
    """A speed as the JSON or the trace writes it ("12.3", "5", "null") in tenths."""
    return "LIMITE" if text in ("null", "LIMITE") else round(float(text) * 10)


def battery_key(text):
    return round(float(text) * 100)


def read_trace(path):
    """(shown, events): shown maps (prefix, station) to [(ms, (speed, battery))] in order;
    events is [(ms, "connected"|"away")]. Other lines of the output are left out."""
    shown = defaultdict(list)
    events = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            words = line.split()
            if len(words) < 2 or words[0] != "anemometros.site:":
                continue
            try:
                if words[1] == "shown" and len(words) == 7:
                    reading = (speed_key(words[4]), battery_key(words[5]))
                    shown[(words[2], int(words[3]))].append((float(words[6]), reading))
                elif words[1] == "broker" and len(words) == 4:
                    events.append((float(words[3]), words[2]))
            except ValueError:
                continue
    return shown, events


def read_published(path):
    """The synthetic publisher's record: (prefix, station) -> [(ms, (speed, battery))]."""
    published = defaultdict(list)
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) != 5:
                continue
            published[(fields[1], int(fields[2]))].append(
                (float(fields[0]), (speed_key(fields[3]), battery_key(fields[4]))))
    return published


def read_served(path):
    """anemosim's record: address -> [(ms, (speed, battery))] of every good reply."""
    served = defaultdict(list)
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 10 or fields[3] != "good":
                continue
            speed, battery = int(fields[4]), int(fields[5])
            served[int(fields[2])].append(
                (int(fields[0]), ("LIMITE" if speed >= 10000 else speed, battery)))
    return served


# The trace may write whole milliseconds, cut rather than rounded.
SLACK_MS = 1


def latencies(sent, shown):
    """For each shown reading of one station, the time since the same reading was sent, in
    order: each shown line takes the first reading sent not later, after the one the line
    before took. Returns ([(shown ms, latency ms)], shown lines no sent reading matched)."""
    result, unmatched = [], 0
    j = 0
    for moment, reading in shown:
        k = j
        while k < len(sent) and sent[k][0] <= moment + SLACK_MS and sent[k][1] != reading:
            k += 1
        if k < len(sent) and sent[k][0] <= moment + SLACK_MS and sent[k][1] == reading:
            result.append((moment, max(0.0, moment - sent[k][0])))
            j = k + 1
        else:
            unmatched += 1
    return result, unmatched


def first_shown_after(shown, moment):
    """Per station, the first moment a reading was shown after `moment` (None if never)."""
    return {key: next((t for t, _ in lines if t > moment), None) for key, lines in shown.items()}
