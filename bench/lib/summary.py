#!/usr/bin/env python3
"""One table of every figure with a goal (and the figures without one) from the results
files bench/results/<name>.txt written by the benchmarks, with their summary lines."""
import os
import sys


def main():
    results, names = sys.argv[1], sys.argv[2:]
    rows, summaries = [], []
    for name in names:
        path = os.path.join(results, f"{name}.txt")
        if not os.path.exists(path):
            summaries.append(f"summary: {name}: no results ({path} missing)")
            continue
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        table = [line for line in lines if line.startswith("| ")][1:]
        for line in table:
            cells = [c.strip() for c in line[1:].split("|")]
            rows.append([name] + (cells + [""] * 4)[:4])
        summaries += [line for line in lines if line.startswith("summary:")]
    header = ["benchmark", "figure", "value", "goal", "verdict"]
    width = [max(len(r[i]) for r in rows + [header]) for i in range(5)]
    for row in [header] + rows:
        print(("| " + " | ".join(c.ljust(w) for c, w in zip(row, width))).rstrip())
    print("\n".join(summaries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
