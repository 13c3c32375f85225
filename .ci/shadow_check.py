#!/usr/bin/env python3
"""The shadowing check: every non-test source of a compile database through clang's -Wshadow, syntax only.

Usage: shadow_check.py <build folder with compile_commands.json> <source root> [jobs]

A local or parameter that hides a field or another local is an error (-Werror=shadow); tests, the fuzz
targets and the benchmarks are left out. Prints every finding and exits 1 when there is one.
"""
import json
import os
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

CLANG = "clang++-14"
SKIPPED = ("tests/", "bench/")


def command_of(entry):
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    out = [CLANG]
    skip = False
    for a in args[1:]:
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD") or a.startswith("-fsanitize") or a.startswith("-fno-sanitize"):
            continue
        out.append(a)
    return out + ["-fsyntax-only", "-Wshadow", "-Werror=shadow", "-Wno-unknown-warning-option"]


def main():
    build, root = sys.argv[1], os.path.realpath(sys.argv[2])
    jobs = int(sys.argv[3]) if len(sys.argv) > 3 else os.cpu_count()
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    chosen = []
    for e in entries:
        path = os.path.realpath(os.path.join(e["directory"], e["file"]))
        rel = os.path.relpath(path, root)
        if rel.startswith("..") or rel.startswith(SKIPPED) or rel.startswith("build/"):
            continue
        chosen.append((rel, e))

    def run(item):
        rel, e = item
        p = subprocess.run(command_of(e), cwd=e["directory"], capture_output=True, text=True)
        return rel, p.returncode, p.stderr

    failed = 0
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        for rel, code, err in pool.map(run, sorted(chosen, key=lambda c: c[0])):
            if code != 0:
                failed += 1
                sys.stdout.write(err)
    print(f"shadowing check: {len(chosen)} sources, {failed} with findings")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
