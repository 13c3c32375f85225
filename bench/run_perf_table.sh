#!/bin/bash
# Re-creates the performance table of bench/README.md: the stream scanner and the file scanner (`scan`)
# against grep, ugrep and rg, each on all processors and pinned to one core, in interleaved rounds
# (bench/interleave.py), with the page cache warm (one round is run first and not counted).
#
# Corpora (made under $CORPORA when missing, kept for later runs):
#   text/      make_corpus.py's 200 files (286 MB of prose-like ANSI and UTF-16 text), plus long.txt,
#              which holds the long pattern of the long-pattern row once
#   archives/  50 zip and 50 tar.gz archives of /usr/include (every file in one of them, in name order)
#   small/     100,000 files of 1.4 KB of prose in 100 folders; one in 500 holds "quokkaberry"
#   inc16/     16 copies of /usr/include (hard links where the file system allows), for the threads table
# and the trees /usr/share and /usr/include as they stand.
#
# usage: run_perf_table.sh
# Settings from the environment: ROUNDS (default 5); CPU, the core of the pinned runs (default the last);
# SCAN (default build/release/bench/scan); CORPORA (default build/perf-corpora); ONLY, a regular
# expression: only the rows whose name it matches; WARMUP=0 leaves out the warm-up round; TWO_CPUS, the
# two processors of the two-processor columns (default 0,1).
# On an idle machine of 8 processors the default run (3 rounds) takes about 8 minutes once the corpora
# exist (making them takes about 2 more).
# Prints the table and the commands (Markdown).
set -eu
cd "$(dirname "$0")/.."
SCAN=$(realpath "${SCAN:-build/release/bench/scan}")
ROUNDS=${ROUNDS:-3}
CPU=${CPU:-$(($(nproc) - 1))}
CORPORA=${CORPORA:-build/perf-corpora}
[ -x "$SCAN" ] || { echo "no $SCAN: run make bench" >&2; exit 2; }
for tool in grep ugrep rg find zip tar taskset python3; do
  command -v "$tool" > /dev/null || { echo "no $tool: apt-get install ugrep ripgrep zip" >&2; exit 2; }
done
mkdir -p "$CORPORA"
CORPORA=$(realpath "$CORPORA")

# The long pattern: the first 1,100 characters of the GPL on one line (spaces for line breaks).
LONG=$(tr -s '\n ' '  ' < /usr/share/common-licenses/GPL-3 | head -c 1100)
# 64 words: 62 that occur nowhere and the two planted words of the text corpus.
WORDS="quokkaberry marzipantle"
for i in $(seq 1 62); do WORDS="$WORDS $(printf 'zyx%02dwq' "$i")"; done

[ -f "$CORPORA/text/planted.txt" ] || python3 bench/make_corpus.py "$CORPORA/text" 200 > /dev/null
# 64 words that occur in most files of the text corpus (those in the most files, alphabetically first).
if [ ! -f "$CORPORA/common-words.txt" ]; then
  python3 - "$CORPORA/text" > "$CORPORA/common-words.txt" <<'PY'
import collections, glob, re, sys
files = collections.Counter()
for name in sorted(glob.glob(sys.argv[1] + "/doc*.txt")):
    files.update(set(re.findall(rb"[a-z]{5,}", open(name, "rb").read().lower())))
for word, _ in sorted(files.items(), key=lambda item: (-item[1], item[0]))[:64]:
    print(word.decode())
PY
fi
COMMON=$(tr '\n' ' ' < "$CORPORA/common-words.txt")
[ -f "$CORPORA/text/long.txt" ] ||
  { head -c 300000 "$CORPORA/text/doc0001.txt"; printf '%s\r\n' "$LONG"; } > "$CORPORA/text/long.txt"
if [ ! -f "$CORPORA/archives/done" ]; then
  mkdir -p "$CORPORA/archives"
  (cd / && find usr/include -type f | LC_ALL=C sort) > "$CORPORA/archives.list"
  for i in $(seq 0 99); do
    awk -v n="$i" '(NR - 1) % 100 == n' "$CORPORA/archives.list" > "$CORPORA/chunk"
    if [ $((i % 2)) -eq 0 ]; then
      (cd / && zip -q -X "$CORPORA/archives/inc$i.zip" -@ < "$CORPORA/chunk")
    else
      (cd / && tar czf "$CORPORA/archives/inc$i.tar.gz" -T "$CORPORA/chunk")
    fi
  done
  rm -f "$CORPORA/chunk" "$CORPORA/archives.list"
  touch "$CORPORA/archives/done"
fi
if [ ! -f "$CORPORA/small/done" ]; then
  python3 - "$CORPORA/small" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(1400)
syllables = "ka ta na ma ra sa la pa ve re te ne se le me de ri li mi ti si ni do ko to no so mo lo po".split()
vocab = ["".join(rng.choice(syllables) for _ in range(rng.choice((1, 2, 3)))) for _ in range(5000)]
for folder in range(100):
    os.makedirs(os.path.join(out, "d%03d" % folder), exist_ok=True)
    for index in range(1000):
        words = rng.choices(vocab, k=240)
        if (folder * 1000 + index) % 500 == 0:
            words[rng.randrange(len(words))] = "quokkaberry"
        text = " ".join(words)[:1400] + "\n"
        with open(os.path.join(out, "d%03d" % folder, "f%04d.txt" % index), "w") as f:
            f.write(text)
open(os.path.join(out, "done"), "w").close()
PY
fi

DOCS="$CORPORA/text/doc*.txt"
TEXT="$DOCS $CORPORA/text/long.txt"
WIDE=$(python3 -c 'print("\\x00".join("quokkaberry"))')  # the word's bytes in UTF-16LE, for grep -P
LONG1024=${LONG:0:1024}
export LONG LONG1024 WORDS COMMON SCAN WIDE
ARC="$CORPORA/archives"
SMALL="$CORPORA/small"
TREE="/usr/share /usr/include"
ONE="taskset -c $CPU"
G="LC_ALL=C taskset -c $CPU grep"  # grep has one thread: it runs pinned

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cat > "$WORK/spec" <<SPEC
cols|scan|scan, 1 core|grep|find|ugrep|ugrep, 1 core|rg|rg, 1 core
cell|tree, one word, -i|scan|\$SCAN -r -- license $TREE
cell|tree, one word, -i|scan, 1 core|$ONE \$SCAN -r -- license $TREE
cell|tree, one word, -i|grep|$G -r -F -l -i -- license $TREE
cell|tree, one word, -i|ugrep|ugrep -r -F -l -i -- license $TREE
cell|tree, one word, -i|ugrep, 1 core|$ONE ugrep -J1 -r -F -l -i -- license $TREE
cell|tree, one word, -i|rg|rg -uuu -F -l -i -- license $TREE
cell|tree, one word, -i|rg, 1 core|$ONE rg -j1 -uuu -F -l -i -- license $TREE
cell|tree, two words, case|scan|\$SCAN -r -c -- 'free software' $TREE
cell|tree, two words, case|scan, 1 core|$ONE \$SCAN -r -c -- 'free software' $TREE
cell|tree, two words, case|grep|$G -r -F -l -- 'free software' $TREE
cell|tree, two words, case|ugrep|ugrep -r -F -l -- 'free software' $TREE
cell|tree, two words, case|ugrep, 1 core|$ONE ugrep -J1 -r -F -l -- 'free software' $TREE
cell|tree, two words, case|rg|rg -uuu -F -l -- 'free software' $TREE
cell|tree, two words, case|rg, 1 core|$ONE rg -j1 -uuu -F -l -- 'free software' $TREE
cell|tree, one word, case|scan|\$SCAN -r -c -- license $TREE
cell|tree, one word, case|scan, 1 core|$ONE \$SCAN -r -c -- license $TREE
cell|tree, one word, case|grep|$G -r -F -l -- license $TREE
cell|tree, one word, case|ugrep|ugrep -r -F -l -- license $TREE
cell|tree, one word, case|ugrep, 1 core|$ONE ugrep -J1 -r -F -l -- license $TREE
cell|tree, one word, case|rg|rg -uuu -F -l -- license $TREE
cell|tree, one word, case|rg, 1 core|$ONE rg -j1 -uuu -F -l -- license $TREE
ratio|tree, one word, case|scan:wall|rg:wall|1.5
cell|CPU, /usr/share, all cores|scan|\$SCAN -r -c -- license /usr/share
cell|CPU, /usr/share, all cores|rg|rg -uuu -F -l -- license /usr/share
ratio|CPU, /usr/share, all cores|scan:cpu|rg:cpu|1.0
cell|tree, two words, -i|scan|\$SCAN -r -- 'free software' $TREE
cell|tree, two words, -i|scan, 1 core|$ONE \$SCAN -r -- 'free software' $TREE
cell|tree, two words, -i|grep|$G -r -F -l -i -- 'free software' $TREE
cell|tree, two words, -i|ugrep|ugrep -r -F -l -i -- 'free software' $TREE
cell|tree, two words, -i|ugrep, 1 core|$ONE ugrep -J1 -r -F -l -i -- 'free software' $TREE
cell|tree, two words, -i|rg|rg -uuu -F -l -i -- 'free software' $TREE
cell|tree, two words, -i|rg, 1 core|$ONE rg -j1 -uuu -F -l -i -- 'free software' $TREE
cell|exact, /usr/share, case|scan|\$SCAN -r -c -- license /usr/share
cell|exact, /usr/share, case|scan, 1 core|$ONE \$SCAN -r -c -- license /usr/share
cell|exact, /usr/share, case|grep|$G -r -F -l -- license /usr/share
cell|exact, /usr/share, case|ugrep|ugrep -r -F -l -- license /usr/share
cell|exact, /usr/share, case|ugrep, 1 core|$ONE ugrep -J1 -r -F -l -- license /usr/share
cell|exact, /usr/share, case|rg|rg -uuu -F -l -- license /usr/share
cell|exact, /usr/share, case|rg, 1 core|$ONE rg -j1 -uuu -F -l -- license /usr/share
ratio|exact, /usr/share, case|scan:wall|rg:wall|1.5
cell|archives, one word, -i|scan|\$SCAN -r -a -- license $ARC
cell|archives, one word, -i|scan, 1 core|$ONE \$SCAN -r -a -- license $ARC
cell|archives, one word, -i|ugrep|ugrep -z -r -F -l -i -- license $ARC
cell|archives, one word, -i|ugrep, 1 core|$ONE ugrep -z -J1 -r -F -l -i -- license $ARC
ratio|archives, one word, -i|scan, 1 core:cpu|ugrep, 1 core:cpu|0.8
cell|archives, all cores|scan|\$SCAN -r -a -- license $ARC
cell|archives, all cores|ugrep|ugrep -z -r -F -l -i -- license $ARC
ratio|archives, all cores|scan:wall|ugrep:wall|1.0
cell|corpus, -i literal|scan|\$SCAN quokkaberry $DOCS
cell|corpus, -i literal|scan, 1 core|$ONE \$SCAN quokkaberry $DOCS
cell|corpus, -i literal|grep|$G -F -l -i quokkaberry $DOCS
cell|corpus, -i literal|ugrep|ugrep -F -l -i quokkaberry $DOCS
cell|corpus, -i literal|ugrep, 1 core|$ONE ugrep -J1 -F -l -i quokkaberry $DOCS
cell|corpus, case literal|scan|\$SCAN -c quokkaberry $DOCS
cell|corpus, case literal|scan, 1 core|$ONE \$SCAN -c quokkaberry $DOCS
cell|corpus, case literal|grep|$G -F -l quokkaberry $DOCS
cell|corpus, case literal|ugrep|ugrep -F -l quokkaberry $DOCS
cell|corpus, case literal|ugrep, 1 core|$ONE ugrep -J1 -F -l quokkaberry $DOCS
cell|corpus, two words, any|scan|\$SCAN -l any 'quokkaberry marzipantle' $DOCS
cell|corpus, two words, any|scan, 1 core|$ONE \$SCAN -l any 'quokkaberry marzipantle' $DOCS
cell|corpus, two words, any|grep|$G -F -l -i -e quokkaberry -e marzipantle $DOCS
cell|corpus, two words, any|ugrep|ugrep -F -l -i -e quokkaberry -e marzipantle $DOCS
cell|corpus, two words, any|ugrep, 1 core|$ONE ugrep -J1 -F -l -i -e quokkaberry -e marzipantle $DOCS
cell|corpus, fuzzy, 1 error|scan|\$SCAN -z quokkabx $DOCS
cell|corpus, fuzzy, 1 error|scan, 1 core|$ONE \$SCAN -z quokkabx $DOCS
cell|corpus, fuzzy, 1 error|ugrep|ugrep -Z1 -l -i quokkabx $DOCS
cell|corpus, fuzzy, 1 error|ugrep, 1 core|$ONE ugrep -J1 -Z1 -l -i quokkabx $DOCS
cell|corpus, fuzzy, 2 errors|scan|\$SCAN -z ostrichfeather $DOCS
cell|corpus, fuzzy, 2 errors|scan, 1 core|$ONE \$SCAN -z ostrichfeather $DOCS
cell|corpus, fuzzy, 2 errors|ugrep|ugrep -Z2 -l -i ostrichfeather $DOCS
cell|corpus, fuzzy, 2 errors|ugrep, 1 core|$ONE ugrep -J1 -Z2 -l -i ostrichfeather $DOCS
cell|corpus, ANSI and UTF-16|scan|\$SCAN -e ansi,unicode quokkaberry $DOCS
cell|corpus, ANSI and UTF-16|scan, 1 core|$ONE \$SCAN -e ansi,unicode quokkaberry $DOCS
cell|corpus, ANSI and UTF-16|grep|$G -P -a -l -i "quokkaberry|\$WIDE" $DOCS
cell|corpus, ANSI and UTF-16|ugrep|ugrep -F -l -i quokkaberry $DOCS
cell|corpus, ANSI and UTF-16|ugrep, 1 core|$ONE ugrep -J1 -F -l -i quokkaberry $DOCS
cell|64 words, any, -i|scan|\$SCAN -l any -- "\$WORDS" $DOCS
cell|64 words, any, -i|scan, 1 core|$ONE \$SCAN -l any -- "\$WORDS" $DOCS
cell|64 words, any, -i|grep|$G -F -l -i \$(printf -- '-e %s ' \$WORDS) $DOCS
cell|64 words, any, -i|ugrep|ugrep -F -l -i \$(printf -- '-e %s ' \$WORDS) $DOCS
cell|64 words, any, -i|ugrep, 1 core|$ONE ugrep -J1 -F -l -i \$(printf -- '-e %s ' \$WORDS) $DOCS
cell|64 words, any, -i|rg|rg -uuu -F -l -i \$(printf -- '-e %s ' \$WORDS) $DOCS
cell|64 words, any, -i|rg, 1 core|$ONE rg -j1 -uuu -F -l -i \$(printf -- '-e %s ' \$WORDS) $DOCS
ratio|64 words, any, -i|scan, 1 core:wall|ugrep, 1 core:wall|1.0
cell|64 words, all, -i|scan, 1 core|$ONE \$SCAN -l all -- "\$WORDS" $DOCS
cell|64 words that occur, any, -i|scan|\$SCAN -e ansi,unicode -l any -- "\$COMMON" $DOCS
cell|64 words that occur, any, -i|scan, 1 core|$ONE \$SCAN -e ansi,unicode -l any -- "\$COMMON" $DOCS
cell|64 words that occur, any, -i|ugrep|ugrep -F -l -i -f $CORPORA/common-words.txt $DOCS
cell|64 words that occur, any, -i|ugrep, 1 core|$ONE ugrep -J1 -F -l -i -f $CORPORA/common-words.txt $DOCS
ratio|64 words that occur, any, -i|scan, 1 core:wall|ugrep, 1 core:wall|1.0
cell|1,100 characters, case|scan, 1 core|$ONE \$SCAN -c -- "\$LONG" $TEXT
cell|1,100 characters, case|grep|$G -F -l -- "\$LONG" $TEXT
cell|1,100 characters, case|ugrep|ugrep -F -l -- "\$LONG" $TEXT
cell|1,100 characters, case|ugrep, 1 core|$ONE ugrep -J1 -F -l -- "\$LONG" $TEXT
cell|1,100 characters, case|rg, 1 core|$ONE rg -j1 -uuu -F -l -- "\$LONG" $TEXT
ratio|1,100 characters, case|scan, 1 core:wall|grep:wall|1.0
cell|1,024 characters, /usr/include|scan, 1 core|$ONE \$SCAN -r -c -- "\$LONG1024" /usr/include
cell|1,024 characters, /usr/include|grep|$G -r -F -l -- "\$LONG1024" /usr/include
ratio|1,024 characters, /usr/include|scan, 1 core:wall|grep:wall|1.0
cell|names only|scan, 1 core|$ONE \$SCAN -r -N -- license $TREE
cell|names only|find|$ONE find $TREE -iname '*license*'
ratio|names only|scan, 1 core:wall|find:wall|1.5
cell|100,000 files of 1.4 KB|scan|\$SCAN -r -c -- quokkaberry $SMALL
cell|100,000 files of 1.4 KB|scan, 1 core|$ONE \$SCAN -r -c -- quokkaberry $SMALL
cell|100,000 files of 1.4 KB|grep|$G -r -F -l -- quokkaberry $SMALL
cell|100,000 files of 1.4 KB|ugrep|ugrep -r -F -l -- quokkaberry $SMALL
cell|100,000 files of 1.4 KB|ugrep, 1 core|$ONE ugrep -J1 -r -F -l -- quokkaberry $SMALL
cell|100,000 files of 1.4 KB|rg|rg -uuu -F -l -- quokkaberry $SMALL
cell|100,000 files of 1.4 KB|rg, 1 core|$ONE rg -j1 -uuu -F -l -- quokkaberry $SMALL
ratio|100,000 files of 1.4 KB|scan, 1 core:wall|grep:wall|1.0
SPEC

echo "Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); \
$(. /etc/os-release; echo "$PRETTY_NAME"); $(grep --version | head -1), $(ugrep --version | head -1 | cut -d' ' -f1-2), \
$(rg --version | head -1 | cut -d' ' -f1-2); load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Pinned runs: taskset -c $CPU, ugrep -J1, rg -j1. Median of $ROUNDS interleaved rounds after one warm-up round;"
echo "each cell: wall seconds (CPU seconds) [lines printed]."
echo
# ONLY=REGEX keeps the rows whose name matches (for a quick look at a few rows).
if [ -n "${ONLY:-}" ]; then
  grep -E "^cols\||^[a-z]+\|[^|]*(${ONLY})" "$WORK/spec" > "$WORK/only" && mv "$WORK/only" "$WORK/spec"
fi
[ "${WARMUP:-1}" = 0 ] || python3 bench/interleave.py 1 "$WORK" < "$WORK/spec" > /dev/null 2>&1
python3 bench/interleave.py "$ROUNDS" "$WORK" < "$WORK/spec"

# The threads table: the same search with 1, 2, 4 and 8 threads, and the default on two processors, each
# judged against one thread. INC16 holds 16 copies of /usr/include (hard links where the file system
# allows, so the page cache holds one copy).
if [ ! -f "$CORPORA/inc16/done" ]; then
  mkdir -p "$CORPORA/inc16"
  for i in $(seq 1 16); do
    cp -al /usr/include "$CORPORA/inc16/c$i" 2> /dev/null || cp -a /usr/include "$CORPORA/inc16/c$i"
  done
  touch "$CORPORA/inc16/done"
fi
INC16="$CORPORA/inc16"
TWO="taskset -c ${TWO_CPUS:-0,1}"
cat > "$WORK/threads" <<SPEC
cols|-j 1|-j 2|-j 4|-j 8|2 processors, -j 1|2 processors, default
cell|/usr/share, -j 2 against -j 1|-j 1|\$SCAN -r -j 1 -c -- license /usr/share
cell|/usr/share, -j 2 against -j 1|-j 2|\$SCAN -r -j 2 -c -- license /usr/share
cell|/usr/share, -j 2 against -j 1|-j 4|\$SCAN -r -j 4 -c -- license /usr/share
cell|/usr/share, -j 2 against -j 1|-j 8|\$SCAN -r -j 8 -c -- license /usr/share
ratio|/usr/share, -j 2 against -j 1|-j 2:wall|-j 1:wall|1.0
cell|/usr/share, default on 2 processors against -j 1|2 processors, -j 1|$TWO \$SCAN -r -j 1 -c -- license /usr/share
cell|/usr/share, default on 2 processors against -j 1|2 processors, default|$TWO \$SCAN -r -c -- license /usr/share
ratio|/usr/share, default on 2 processors against -j 1|2 processors, default:wall|2 processors, -j 1:wall|1.0
cell|16 copies of /usr/include, -j 2 against -j 1|-j 1|\$SCAN -r -j 1 -c -- license $INC16
cell|16 copies of /usr/include, -j 2 against -j 1|-j 2|\$SCAN -r -j 2 -c -- license $INC16
cell|16 copies of /usr/include, -j 2 against -j 1|-j 8|\$SCAN -r -j 8 -c -- license $INC16
ratio|16 copies of /usr/include, -j 2 against -j 1|-j 2:wall|-j 1:wall|1.0
cell|16 copies, default on 2 processors against -j 1|2 processors, -j 1|$TWO \$SCAN -r -j 1 -c -- license $INC16
cell|16 copies, default on 2 processors against -j 1|2 processors, default|$TWO \$SCAN -r -c -- license $INC16
ratio|16 copies, default on 2 processors against -j 1|2 processors, default:wall|2 processors, -j 1:wall|1.0
SPEC
if [ -n "${ONLY:-}" ]; then
  grep -E "^cols\||^[a-z]+\|[^|]*(${ONLY})" "$WORK/threads" > "$WORK/only" && mv "$WORK/only" "$WORK/threads"
fi
if grep -q '^cell' "$WORK/threads"; then
  echo
  echo "Threads ($TWO for the two-processor columns):"
  echo
  [ "${WARMUP:-1}" = 0 ] || python3 bench/interleave.py 1 "$WORK" < "$WORK/threads" > /dev/null 2>&1
  python3 bench/interleave.py "$ROUNDS" "$WORK" < "$WORK/threads"
fi
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg); the run took $SECONDS s"
