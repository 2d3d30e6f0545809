#!/usr/bin/env python3
"""bench/results/archive.txt from the parts of bench/archive (archive_<part>.txt): their notes,
one table and one summary line, for bench/run's summary."""
import os
import sys


def main():
    results, parts = sys.argv[1], sys.argv[2:]
    lines, rows, summaries = ["archive: the site's archive (VictoriaMetrics)"], [], []
    for part in parts:
        path = os.path.join(results, f"archive_{part}.txt")
        if not os.path.exists(path):
            summaries.append(f"{part}: no results")
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read().splitlines()
        lines += ["  " + text[0]] + [line for line in text[1:] if line.startswith("  ")]
        rows += [line for line in text if line.startswith("| ")][1:]
        summaries += [line.split(": ", 2)[-1] for line in text if line.startswith("summary:")]
    header = "| figure | value | goal | verdict"
    out = "\n".join(lines + [header] + rows) + f"\nsummary: archive: {'; '.join(summaries)}\n"
    print(out, end="")
    with open(os.path.join(results, "archive.txt"), "w", encoding="utf-8") as f:
        f.write(out)


if __name__ == "__main__":
    main()
