#!/usr/bin/env python3
"""Runs benchmark commands in interleaved rounds and prints a Markdown table of medians.

Usage: interleave.py ROUNDS WORKDIR < SPEC

SPEC lines, fields separated by "|":
  cols|NAME|NAME...                        the columns, in order
  cell|ROW|COLUMN|COMMAND                  a command (run with bash; output goes to a file in WORKDIR)
  ratio|ROW|COLUMN:METRIC|COLUMN:METRIC|TARGET   the ratio shown for a row (METRIC: wall or cpu)
Every round runs every command once, in the order given, so that a change in the machine's load falls on
all commands alike; the table gives the median wall time of each, with the median CPU time (user +
system, the command's own and its children's) in brackets, and the number of lines it printed.
"""
import os
import statistics
import subprocess
import sys
import time


def run(command, out_path):
    with open(out_path, "wb") as out:
        start = time.perf_counter()
        proc = subprocess.Popen(["bash", "-c", command], stdout=out, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
    proc.returncode = 0
    return wall, usage.ru_utime + usage.ru_stime


def main():
    rounds = int(sys.argv[1])
    work = sys.argv[2]
    columns, rows, cells, ratios = [], [], {}, {}
    for line in sys.stdin:
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        kind, rest = line.split("|", 1)
        if kind == "cols":
            columns = rest.split("|")
        elif kind == "cell":
            row, column, command = rest.split("|", 2)
            if row not in rows:
                rows.append(row)
            cells[(row, column)] = {"command": command, "wall": [], "cpu": [], "lines": None}
        elif kind == "ratio":
            row, num, den, target = rest.split("|")
            ratios[row] = (num.split(":"), den.split(":"), target)
    order = list(cells)
    for round_index in range(rounds):
        for index, key in enumerate(order):
            out_path = os.path.join(work, "out%d" % index)
            wall, cpu = run(cells[key]["command"], out_path)
            cells[key]["wall"].append(wall)
            cells[key]["cpu"].append(cpu)
            if cells[key]["lines"] is None:
                with open(out_path, "rb") as f:
                    cells[key]["lines"] = sum(1 for _ in f)
        print("round %d of %d done" % (round_index + 1, rounds), file=sys.stderr)

    def median(key, metric):
        return statistics.median(cells[key][metric])

    print("| search | " + " | ".join(columns) + " | ratio (target) |")
    print("|---|" + "---:|" * len(columns) + "---|")
    for row in rows:
        out = []
        for column in columns:
            key = (row, column)
            if key not in cells:
                out.append("-")
            else:
                out.append("%.3f (%.3f) [%d]" % (median(key, "wall"), median(key, "cpu"), cells[key]["lines"]))
        ratio = ""
        if row in ratios:
            (nc, nm), (dc, dm), target = ratios[row]
            value = median((row, nc), nm) / median((row, dc), dm)
            ratio = "%.2f: %s %s / %s %s (<= %s)" % (value, nc, nm, dc, dm, target)
        print("| " + row + " | " + " | ".join(out) + " | " + ratio + " |")
    print()
    print("Commands:")
    print()
    for key in order:
        print("- %s, %s: `%s`" % (key[0], key[1], cells[key]["command"].replace("|", "\\|")))


if __name__ == "__main__":
    main()
