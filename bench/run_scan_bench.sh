#!/bin/bash
# Measures `scan` against `grep -F -l` and `ugrep -F -l` on a generated corpus and prints a Markdown table
# (the one in bench/README.md).
#
# usage: run_scan_bench.sh [CORPUS]    (default build/corpus; made by bench/make_corpus.py when missing)
# The scan binary is $SCAN, by default build/release/bench/scan (made by `make bench`). Needs hyperfine
# (apt-get install hyperfine); every command runs RUNS times (default 10) after two warm-up runs, so the
# files are in the page cache, and the table shows the median.
#
# Output of every tool goes to a pipe: grep and ugrep stop at the first match when they see /dev/null.
# ugrep searches with all processors by default; the column "ugrep -J1" gives it one thread, as scan has.
set -eu
cd "$(dirname "$0")/.."
SCAN=${SCAN:-build/release/bench/scan}
CORPUS=${1:-build/corpus}
RUNS=${RUNS:-10}
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 2; }
[ -x "$SCAN" ] || { echo "no $SCAN: run make bench" >&2; exit 2; }
[ -f "$CORPUS/planted.txt" ] || python3 bench/make_corpus.py "$CORPUS" 200

FILES=$(ls "$CORPUS"/doc*.txt | tr '\n' ' ')
BYTES=$(cat "$CORPUS"/doc*.txt | wc -c)
WIDE=$(python3 -c 'print("\\x00".join("quokkaberry"))')  # the word's bytes in UTF-16LE, for grep -P
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# name ; scan options ; grep command (- for none) ; ugrep options
ROWS=(
  "case-insensitive literal;quokkaberry;grep -F -l -i quokkaberry;-F -l -i quokkaberry"
  "case-sensitive literal;-c quokkaberry;grep -F -l quokkaberry;-F -l quokkaberry"
  "two words, any word;-l any 'quokkaberry marzipantle';grep -F -l -i -e quokkaberry -e marzipantle;-F -l -i -e quokkaberry -e marzipantle"
  "fuzzy word, one error (8 letters);-z quokkabx;-;-Z1 -l -i quokkabx"
  "fuzzy word, two errors (14 letters);-z ostrichfeather;-;-Z2 -l -i ostrichfeather"
  "ANSI and UTF-16 at once;-e ansi,unicode quokkaberry;grep -P -a -l -i 'quokkaberry|$WIDE';-F -l -i quokkaberry"
)

echo "corpus: $CORPUS, $(ls "$CORPUS"/doc*.txt | wc -l) files, $BYTES bytes; median of $RUNS runs"
echo
echo "| search | scan | grep | ugrep | ugrep -J1 | scan MB/s | files listed: scan / grep / ugrep |"
echo "|---|---|---|---|---|---|---|"
I=0
for ROW in "${ROWS[@]}"; do
  IFS=';' read -r NAME SCANOPT GREPCMD UGREPOPT <<< "$ROW"
  CMDS=("$SCAN $SCANOPT $FILES")
  [ "$GREPCMD" != - ] && CMDS+=("env LC_ALL=C $GREPCMD $FILES")
  CMDS+=("ugrep $UGREPOPT $FILES" "ugrep -J1 $UGREPOPT $FILES")
  hyperfine -N --output=pipe --warmup 2 --runs "$RUNS" --export-json "$WORK/$I.json" "${CMDS[@]}" >/dev/null 2>&1
  COUNTS=()
  for C in "${CMDS[@]:0:${#CMDS[@]}-1}"; do COUNTS+=("$(eval "$C" | wc -l)"); done
  python3 - "$WORK/$I.json" "$NAME" "$BYTES" "$GREPCMD" "${COUNTS[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
name, size, grep_cmd, counts = sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5:]
ms = [r["median"] * 1000 for r in results]
if grep_cmd == "-":
    ms.insert(1, None)
    counts.insert(1, "-")
cell = lambda v: "n/a" if v is None else "%.0f ms" % v
best = min(v for v in ms if v is not None)
cells = [("**%s**" % cell(v)) if v == best else cell(v) for v in ms]
print("| %s | %s | %.0f | %s |" % (name, " | ".join(cells), size / 1e6 / (ms[0] / 1000), " / ".join(counts)))
PY
  I=$((I + 1))
done
