"""Result tables of the benchmarks: one row per figure with its goal and a verdict.

Every results file (bench/results/<name>.txt) has the same shape: a title line, free notes,
the table, and a last line "summary: ...". bench/run collects the table rows ("| " lines).
"""
import os


class Report:
    def __init__(self, name, title):
        self.name = name
        self.title = title
        self.notes = []
        self.rows = []

    def note(self, text):
        self.notes.append(text)

    def figure(self, label, value, goal="", ok=None):
        """ok: True met, False missed, None no goal."""
        verdict = {True: "ok", False: "MISSED", None: ""}[ok]
        self.rows.append((label, value, goal, verdict))

    def text(self):
        width = [max([len(r[i]) for r in self.rows] + [len(h)])
                 for i, h in enumerate(("figure", "value", "goal", ""))]
        lines = [self.title] + [f"  {n}" for n in self.notes]
        for row in [("figure", "value", "goal", "verdict")] + self.rows:
            lines.append(("| " + " | ".join(c.ljust(w) for c, w in zip(row, width))).rstrip())
        judged = [r for r in self.rows if r[3]]
        missed = [r[0] for r in judged if r[3] == "MISSED"]
        if not judged:
            summary = f"{len(self.rows)} figures, no goals"
        elif missed:
            summary = f"{len(judged) - len(missed)} of {len(judged)} goals met; missed: " + \
                ", ".join(missed)
        else:
            summary = f"all {len(judged)} goals met"
        lines.append(f"summary: {self.name}: {summary}")
        return "\n".join(lines) + "\n"

    def write(self, results_dir):
        text = self.text()
        print(text, end="")
        os.makedirs(results_dir, exist_ok=True)
        with open(os.path.join(results_dir, f"{self.name}.txt"), "w", encoding="utf-8") as f:
            f.write(text)


def percentile(values, fraction):
    """Nearest-rank percentile of a non-empty list."""
    ordered = sorted(values)
    rank = max(1, -(-int(round(fraction * 1000)) * len(ordered) // 1000))
    return ordered[min(rank, len(ordered)) - 1]


def median(values):
    ordered = sorted(values)
    mid = len(ordered) // 2
    return ordered[mid] if len(ordered) % 2 else (ordered[mid - 1] + ordered[mid]) / 2


def read_record(path):
    """(monotonic_ms, address, outcome) of every request in an anemosim record."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) >= 4 and fields[0].isdigit():
                rows.append((int(fields[0]), int(fields[2]), fields[3]))
    return rows


def read_stamp(path):
    """(pid, launch moment in monotonic ms) written by launch.py."""
    with open(path, encoding="ascii") as f:
        pid, moment = f.read().split()
    return int(pid), float(moment)
