#!/bin/bash
# Checks that `scan` lists the same files as `grep -F -l` over a tree of real text files, for ASCII
# patterns in three modes:
#   grep -F -l        against  scan -c       (case-sensitive literal)
#   grep -F -l -i     against  scan          (case-insensitive literal)
#   grep -F -l -w     against  scan -c -w    (whole words)
# grep runs in the C locale, where its case and word characters are ASCII. Its word characters include
# "_", and the scanner's (the Windows code page's letters and digits) include the letters among bytes
# 128-255; a file on which the two -w answers differ is accepted only when a check of every occurrence
# with each tool's word characters gives exactly each tool's answer.
#
# usage: check_scan_vs_grep.sh [FOLDER...]     (default: /usr/share/doc /usr/include)
# The scan binary is $SCAN, by default build/release/bench/scan (made by `make bench`).
# Exit status 0 when every comparison agrees, 1 otherwise.
set -u
cd "$(dirname "$0")/.."
SCAN=${SCAN:-build/release/bench/scan}
[ -x "$SCAN" ] || { echo "no $SCAN: run make bench" >&2; exit 2; }
[ $# -gt 0 ] || set -- /usr/share/doc /usr/include

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Compressed files are binary to both tools alike; they are kept.
find "$@" -type f -print0 | sort -z > "$WORK/files"
echo "files: $(tr -cd '\0' < "$WORK/files" | wc -c)"

PATTERNS=(
  "license" "GNU General Public License" "the" "Copyright" "copyright (c)" "int" "return" "free software"
  "struct" "size_t" "Permission is hereby granted" "http://" "define" "xyzzy-not-anywhere" "a" "Debian"
  "MERCHANTABILITY" "__attribute__" "errno" "void *"
)

# Lists the files of $WORK/files in which the tool finds the pattern, sorted.
run_grep() { LC_ALL=C xargs -0 grep -F -l "$@" < "$WORK/files" 2>/dev/null | LC_ALL=C sort; }
run_scan() { xargs -0 "$SCAN" "$@" < "$WORK/files" | LC_ALL=C sort; }

# For a file list on stdin: every file on which the -w answers differ must be explained by the two
# definitions of word characters. Prints the unexplained ones.
explain_words() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
pattern = sys.argv[1].encode("ascii")
scan_found = set(open(sys.argv[2], "rb").read().split(b"\n")) - {b""}
grep_found = set(open(sys.argv[3], "rb").read().split(b"\n")) - {b""}
# Letters of windows-1252 among bytes 128-255 (the C1_ALPHA test of the scanner).
high = set(b for b in range(128, 256) if bytes([b]).decode("cp1252", "replace").isalpha())
def ours(b): return chr(b).isascii() and chr(b).isalnum() or b in high
def greps(b): return chr(b).isascii() and (chr(b).isalnum() or b == 0x5F)
def whole(data, word_char):
    i = data.find(pattern)
    while i >= 0:
        before = data[i - 1] if i > 0 else None
        after = data[i + len(pattern)] if i + len(pattern) < len(data) else None
        if not (before is not None and word_char(before)) and not (after is not None and word_char(after)):
            return True
        i = data.find(pattern, i + 1)
    return False
bad = 0
for name in sorted(scan_found ^ grep_found):
    data = open(name, "rb").read()
    if whole(data, ours) != (name in scan_found) or whole(data, greps) != (name in grep_found):
        print("  unexplained:", name.decode(errors="replace"))
        bad += 1
sys.exit(1 if bad else 0)
PY
}

status=0
for pattern in "${PATTERNS[@]}"; do
  for mode in case nocase word; do
    case $mode in
      case)   run_grep -- "$pattern" > "$WORK/g"; run_scan -c -- "$pattern" > "$WORK/s" ;;
      nocase) run_grep -i -- "$pattern" > "$WORK/g"; run_scan -- "$pattern" > "$WORK/s" ;;
      word)   run_grep -w -- "$pattern" > "$WORK/g"; run_scan -c -w -- "$pattern" > "$WORK/s" ;;
    esac
    g=$(wc -l < "$WORK/g"); s=$(wc -l < "$WORK/s")
    if cmp -s "$WORK/g" "$WORK/s"; then
      printf '%-32s %-7s agree   (%d files)\n' "\"$pattern\"" "$mode" "$g"
    elif [ $mode = word ] && explain_words "$pattern" "$WORK/s" "$WORK/g"; then
      d=$(LC_ALL=C comm -3 "$WORK/g" "$WORK/s" | wc -l)
      printf '%-32s %-7s agree   (%d files; %d differ only by the word characters)\n' "\"$pattern\"" "$mode" "$g" "$d"
    else
      printf '%-32s %-7s DIFFER  (grep %d, scan %d files)\n' "\"$pattern\"" "$mode" "$g" "$s"
      LC_ALL=C comm -3 "$WORK/g" "$WORK/s" | head -5 | sed 's/^/  /'
      status=1
    fi
  done
done
exit $status
