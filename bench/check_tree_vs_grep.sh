#!/bin/bash
# Checks the tree search of `scan -r` against grep and find on real folders:
#   1. scan -r [-c] [-w] PATTERN ROOT   against  grep -r -F -l [-i] [-w] PATTERN ROOT
#   2. scan -r -m MASKS [-x FOLDER] [--min-size N] [--max-size N] [--after D] [--before D] "" ROOT
#      (an empty pattern lists every file that passes)           against  find with the same tests
#   3. the two together: a pattern with masks, sizes and dates    against  find | xargs grep -l
# grep and find run in the C locale, where case and word characters are ASCII.
#
# What is allowed to differ, and checked to be exactly that:
#   - The walk takes symbolic links to files inside the tree (never links to folders); grep -r skips
#     every link it meets inside the tree. A file only scan lists must be such a link to a file in
#     which grep finds the pattern.
#   - With -w, grep's word characters include "_" and the scanner's include the letters of the
#     Windows code page among bytes 128-255: the reference is grep -P with the scanner's word
#     characters around the literal, and the count of files on which plain grep -w differs is shown.
#   - Dates: the filter keeps a file written at or after --after; find -newermt keeps those written
#     strictly after. A file written exactly at the bound would differ (none did when this was written).
#
# usage: check_tree_vs_grep.sh [ROOT...]     (default: /usr/include)
# The scan binary is $SCAN, by default build/release/bench/scan (made by `make bench`).
# Exit status 0 when every comparison agrees, 1 otherwise.
set -u
cd "$(dirname "$0")/.."
SCAN=${SCAN:-build/release/bench/scan}
[ -x "$SCAN" ] || { echo "no $SCAN: run make bench" >&2; exit 2; }
[ $# -gt 0 ] || set -- /usr/include
ROOTS=("$@")
export LC_ALL=C

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
status=0

# Compares two sorted lists; prints one line, and the first differences.
report() {  # label, expected file, actual file
  local n; n=$(wc -l < "$2")
  if cmp -s "$2" "$3"; then
    printf '%-48s agree   (%d files)\n' "$1" "$n"
  else
    printf '%-48s DIFFER  (reference %d, scan %d files)\n' "$1" "$n" "$(wc -l < "$3")"
    comm -3 "$2" "$3" | head -5 | sed 's/^/  /'
    status=1
  fi
}

# Files found by scan only must be links (inside the tree) to regular files in which the reference finds
# the pattern; files found by grep only are never allowed. Prints the unexplained ones.
explain_links() {  # grep list, scan list, mode, pattern
  local g=$1 s=$2 mode=$3 pattern=$4 bad=0 f
  while IFS= read -r f; do
    printf '  unexplained (grep only): %s\n' "$f"; bad=1
  done < <(comm -23 "$g" "$s")
  while IFS= read -r f; do
    if [ -L "$f" ] && [ -f "$f" ]; then
      case $mode in
        case) grep -q -F -- "$pattern" "$f" && continue ;;
        nocase) grep -q -F -i -- "$pattern" "$f" && continue ;;
        word) grep -q -P "(?<!$WORDCHAR)\\Q$pattern\\E(?!$WORDCHAR)" "$f" && continue ;;
      esac
    fi
    printf '  unexplained (scan only): %s\n' "$f"; bad=1
  done < <(comm -13 "$g" "$s")
  return $bad
}

# Word characters of the scanner: ASCII letters and digits, and the letters of the Windows code page
# (windows-1252) among bytes 128-255. A whole-word reference for grep -P, byte-wise in the C locale.
HIGH=$(python3 -c 'print("".join("\\x%02x" % b for b in range(128, 256) if bytes([b]).decode("cp1252", "replace").isalpha()))')
WORDCHAR="[A-Za-z0-9$HIGH]"

echo "== 1. scan -r against grep -r -F -l"
PATTERNS=("printf" "size_t" "struct stat" "__attribute__" "Copyright" "errno" "xyzzy-not-anywhere" "define"
          "GNU General Public License" "void *")
for pattern in "${PATTERNS[@]}"; do
  for mode in case nocase word; do
    case $mode in
      case)   gopt=(); sopt=(-c) ;;
      nocase) gopt=(-i); sopt=() ;;
      word)   gopt=(-w); sopt=(-c -w) ;;
    esac
    if [ $mode = word ]; then
      # grep -w counts "_" as a word character and no byte above 127; the reference uses the
      # scanner's word characters, and the files on which plain grep -w differs are counted.
      grep -r -l -P "(?<!$WORDCHAR)\\Q$pattern\\E(?!$WORDCHAR)" "${ROOTS[@]}" 2>/dev/null | sort > "$WORK/g"
      grep -r -F -l -w -- "$pattern" "${ROOTS[@]}" 2>/dev/null | sort > "$WORK/w"
    else
      grep -r -F -l "${gopt[@]}" -- "$pattern" "${ROOTS[@]}" 2>/dev/null | sort > "$WORK/g"
    fi
    "$SCAN" -r "${sopt[@]}" -- "$pattern" "${ROOTS[@]}" | sort > "$WORK/s"
    label=$(printf '"%s" %s' "$pattern" "$mode")
    extra=""
    [ $mode = word ] && extra=$(printf '; grep -w differs on %d' "$(comm -3 "$WORK/w" "$WORK/g" | wc -l)")
    if cmp -s "$WORK/g" "$WORK/s"; then
      printf '%-48s agree   (%d files%s)\n' "$label" "$(wc -l < "$WORK/g")" "$extra"
    elif explain_links "$WORK/g" "$WORK/s" "$mode" "$pattern"; then
      printf '%-48s agree   (%d files; %d more are links to files%s)\n' "$label" \
        "$(wc -l < "$WORK/g")" "$(comm -13 "$WORK/g" "$WORK/s" | wc -l)" "$extra"
    else
      printf '%-48s DIFFER  (grep %d, scan %d files)\n' "$label" "$(wc -l < "$WORK/g")" "$(wc -l < "$WORK/s")"
      status=1
    fi
  done
done

# The files find selects: regular files and links to them, without entering linked folders, that pass
# the find tests given. Links are followed (-L) so that sizes and dates are those of the file a link
# leads to, as the walk sees them; links to folders are pruned.
find_files() {  # find tests...
  find -L "${ROOTS[@]}" \( -xtype l -type d -prune \) -o \( "$@" -type f -print \) | sort
}

# scan -r with the options before "---" and an empty pattern, against find with the tests after it.
check_find() {
  local sargs=()
  while [ "$1" != "---" ]; do sargs+=("$1"); shift; done
  shift
  find_files "$@" > "$WORK/f"
  "$SCAN" -r "${sargs[@]}" -- "" "${ROOTS[@]}" | sort > "$WORK/s"
  report "scan -r ${sargs[*]} \"\"" "$WORK/f" "$WORK/s"
}

echo "== 2. masks, excluded folders, sizes and dates against find"
check_find -m h --- \( -iname '*.h' \)
check_find -m '*.h;*.c *.hpp' --- \( -iname '*.h' -o -iname '*.c' -o -iname '*.hpp' \)
check_find -m '*.H' --- \( -iname '*.h' \)
check_find -m '?????.h' --- \( -iname '?????.h' \)
check_find --min-size 10000 --- -size +9999c
check_find --max-size 1000 --- -size -1001c
check_find --min-size 1000 --max-size 2000 -m h --- -size +999c -size -2001c \( -iname '*.h' \)
check_find --after 2023-01-01 --- -newermt 2023-01-01
check_find --before 2022-06-01 --- ! -newermt 2022-06-01
check_find --after 2020-01-01 --before 2023-06-01 --max-size 5000 --- \
  -newermt 2020-01-01 ! -newermt 2023-06-01 -size -5001c
SUB=$(find "${ROOTS[0]}" -mindepth 1 -maxdepth 1 -type d | sort | head -1)
if [ -n "$SUB" ]; then
  find -L "${ROOTS[@]}" \( -path "$SUB" -o -xtype l -type d \) -prune -o -type f -print | sort > "$WORK/f"
  "$SCAN" -r -x "$SUB" -- "" "${ROOTS[@]}" | sort > "$WORK/s"
  report "scan -r -x $SUB \"\"" "$WORK/f" "$WORK/s"
fi

echo "== 3. a pattern with masks, sizes and dates against find | xargs grep -l"
find_files \( -iname '*.h' -o -iname '*.c' \) -size +999c -newermt 2020-01-01 > "$WORK/f"
tr '\n' '\0' < "$WORK/f" | xargs -0 -r grep -F -l -i -- "printf" | sort > "$WORK/g"
"$SCAN" -r -m "h c" --min-size 1000 --after 2020-01-01 -- "printf" "${ROOTS[@]}" | sort > "$WORK/s"
report 'scan -r -m "h c" --min-size 1000 --after 2020-01-01 printf' "$WORK/g" "$WORK/s"
awk -F/ 'index(tolower($NF), "print")' "$WORK/f" | sort > "$WORK/g"
"$SCAN" -r -N -m "h c" --min-size 1000 --after 2020-01-01 -- "print" "${ROOTS[@]}" | sort > "$WORK/s"
report 'scan -r -N (names only) -m "h c" --min-size 1000 --after 2020-01-01 print' "$WORK/g" "$WORK/s"
exit $status
