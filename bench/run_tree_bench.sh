#!/bin/bash
# Measures the tree search `scan -r` against grep -r, ugrep -r and rg, each listing the files that hold
# a fixed string, over large real folders with the page cache warm. Four searches: one word and two
# words, each case-insensitive and case-sensitive. Every command runs under hyperfine (warm-up runs
# first, then RUNS timed runs in one session); the table gives the median wall time of each.
#
# grep runs in the C locale (byte-wise case folding, like the scanner's code-page tables); rg and ugrep
# use every processor by default, and also run single-threaded (-j1, -J1) for comparison. Output goes
# through a pipe: grep and ugrep stop at the first match when they write to /dev/null.
#
# usage: run_tree_bench.sh [ROOT...]     (default: /usr/share /usr/include)
# The scan binary is $SCAN, by default build/release/bench/scan (made by `make bench`); RUNS (default 9)
# and WARMUP (default 2) set the runs. Prints a Markdown table.
set -eu
cd "$(dirname "$0")/.."
SCAN=${SCAN:-build/release/bench/scan}
RUNS=${RUNS:-9}
WARMUP=${WARMUP:-2}
[ -x "$SCAN" ] || { echo "no $SCAN: run make bench" >&2; exit 2; }
for tool in hyperfine grep ugrep rg; do
  command -v "$tool" > /dev/null || { echo "no $tool: apt-get install ripgrep ugrep hyperfine" >&2; exit 2; }
done
[ $# -gt 0 ] || set -- /usr/share /usr/include
ROOTS=$(printf '%q ' "$@")
SCAN=$(realpath "$SCAN")

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

FILES=$(find "$@" -xtype f | wc -l)
BYTES=$(du -scbL "$@" 2>/dev/null | tail -1 | cut -f1)
echo "Roots: $* ($FILES files, $((BYTES / 1048576)) MB); $(nproc) processors; median of $RUNS runs after $WARMUP warm-up runs."
echo
printf '| search | scan -r | grep -r | ugrep -r | ugrep -r -J1 | rg | rg -j1 |\n'
printf '|---|---:|---:|---:|---:|---:|---:|\n'

for search in "one word, -i|license" "one word, case|license" "two words, -i|free software" \
              "two words, case|free software"; do
  label=${search%%|*}
  pattern=$(printf '%q' "${search#*|}")
  if [[ $label == *-i ]]; then ci=-i; sc=""; else ci=""; sc=-c; fi
  hyperfine --style none --output=pipe --warmup "$WARMUP" --runs "$RUNS" --ignore-failure --export-json "$WORK/r.json" \
    -n scan "$SCAN -r $sc -- $pattern $ROOTS" \
    -n grep "LC_ALL=C grep -r -F -l $ci -- $pattern $ROOTS" \
    -n ugrep "ugrep -r -F -l $ci -- $pattern $ROOTS" \
    -n ugrep1 "ugrep -J1 -r -F -l $ci -- $pattern $ROOTS" \
    -n rg "rg -F -l $ci -- $pattern $ROOTS" \
    -n rg1 "rg -j1 -F -l $ci -- $pattern $ROOTS" > /dev/null
  python3 - "$label" "$WORK/r.json" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[2]))["results"]}
order = ["scan", "grep", "ugrep", "ugrep1", "rg", "rg1"]
print("| " + sys.argv[1] + " | " + " | ".join("%.3f s" % results[name] for name in order) + " |")
PY
done
