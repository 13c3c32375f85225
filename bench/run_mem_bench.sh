#!/bin/bash
# Measures the peak resident memory and the wall time of `scan -a` over archives that hold one large item
# (a gibibyte of zeros with a word at its end, beside a small text file), at -j 1 and -j 8, against the
# same two files searched as plain files; checks that every archive lists the same hits as the plain files
# do. Prints a Markdown table (the one in bench/README.md).
#
# usage: run_mem_bench.sh [SIZE_MIB]    (default 1024: the large item's size in MiB)
# The scan binary is $SCAN, by default build/release/bin/scan (made by `make build-release` or `make
# bench`). The archives are made in a temporary folder (removed at the end) with zip, tar, gzip and
# python3; an archive kind whose maker is missing is left out of the table. The folder needs about three
# times SIZE_MIB free (the plain file, the uncompressed TAR and the stored ZIP) and scan's temporary
# files need SIZE_MIB more.
set -eu
cd "$(dirname "$0")/.."
SCAN=${SCAN:-$PWD/build/release/bin/scan}
SIZE_MIB=${1:-1024}
[ -x "$SCAN" ] || { echo "no $SCAN: run make build-release" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 2; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/src
mkdir -p "$SRC" "$WORK/a" "$WORK/tmp"
{ head -c $((SIZE_MIB * 1048576)) /dev/zero; printf 'the needle is here\n'; } > "$SRC/big.bin"
printf 'a small needle\n' > "$SRC/small.txt"

# A cabinet of stored (uncompressed) data blocks, written here: no cabinet maker is part of the system.
make_cab() {
  python3 - "$1" "$SRC/big.bin" "$SRC/small.txt" <<'PY'
import os, struct, sys
out, files = sys.argv[1], sys.argv[2:]
names = [os.path.basename(f).encode() + b"\0" for f in files]
sizes = [os.path.getsize(f) for f in files]
total = sum(sizes)
blocks = (total + 32767) // 32768
cffile = b"".join(struct.pack("<IIHHHH", s, sum(sizes[:i]), 0, 0x5A21, 0, 0x20) + n
                  for i, (s, n) in enumerate(zip(sizes, names)))
head = 36 + 8
data_at = head + len(cffile)
cab_size = data_at + blocks * 8 + total
with open(out, "wb") as o:
    o.write(struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, cab_size, 0, head, 0, 3, 1, 1, len(files), 0, 0, 0))
    o.write(struct.pack("<IHH", data_at, blocks, 0))
    o.write(cffile)
    stream = (open(f, "rb") for f in files)
    cur = next(stream)
    for _ in range(blocks):
        chunk = b""
        while len(chunk) < 32768 and cur is not None:
            piece = cur.read(32768 - len(chunk))
            if piece:
                chunk += piece
            else:
                cur = next(stream, None)
        o.write(struct.pack("<IHH", 0, len(chunk), len(chunk)) + chunk)
PY
}

# name ; the files it holds ; command that makes $OUT from them (run in $SRC)
BOTH="big.bin small.txt"
ROWS=(
  "zip, deflate;$BOTH;zip -q \$OUT $BOTH"
  "zip, stored;$BOTH;zip -q -0 \$OUT $BOTH"
  "tar;$BOTH;tar cf \$OUT $BOTH"
  "tar.gz;$BOTH;tar czf \$OUT $BOTH"
  "gz alone (big.bin.gz);big.bin;gzip -c big.bin > \$OUT"
  "cab, stored;$BOTH;make_cab \$OUT"
  "zip in zip;$BOTH;zip -q \$WORK/inner.zip $BOTH && zip -q -0 -j \$OUT \$WORK/inner.zip && rm \$WORK/inner.zip"
  "tar.gz in zip;$BOTH;tar czf \$WORK/inner.tar.gz $BOTH && zip -q -0 -j \$OUT \$WORK/inner.tar.gz && rm \$WORK/inner.tar.gz"
  "zip in tar.gz;$BOTH;zip -q \$WORK/inner.zip $BOTH && tar czf \$OUT -C \$WORK inner.zip && rm \$WORK/inner.zip"
)
EXT=(zip zip tar tar.gz bin.gz cab zip zip tar.gz)

# Peak RSS (MB), wall seconds and CPU seconds (user and system) of one run, and the hits it printed (the item names after the last "|",
# sorted, one a line in $WORK/hits).
# Options: -j N, and -r for a folder.
measure() {
  local Options=$1; shift
  (cd "$WORK" && TMPDIR=$WORK/tmp /usr/bin/time -v -o "$WORK/time" "$SCAN" -a $Options needle "$@" \
    > "$WORK/out" 2> "$WORK/err") || true
  sed 's/.*|//; s#.*/##' "$WORK/out" | sort > "$WORK/hits"
  python3 - "$WORK/time" <<'PY'
import sys
v = dict(l.strip().rsplit(": ", 1) for l in open(sys.argv[1]) if ": " in l)
wall = sum(float(x) * 60 ** i for i, x in enumerate(reversed(v["Elapsed (wall clock) time (h:mm:ss or m:ss)"].split(":"))))
cpu = float(v["User time (seconds)"]) + float(v["System time (seconds)"])
print("%d MB, %.1f s (CPU %.1f s)" % (int(v["Maximum resident set size (kbytes)"]) // 1024, wall, cpu))
PY
}

echo "large item: $SIZE_MIB MiB of zeros and a word; peak RSS, wall time and CPU time of scan -a -j N needle FILE"
echo
echo "| archive | size | -j 1 | -j 8 | three copies in a folder, -r -j 8 | same hits as the plain files |"
echo "|---|---:|---:|---:|---:|---|"
echo "| plain files | $(du -b "$SRC/big.bin" | cut -f1) | $(measure "-j 1" "$SRC/big.bin" "$SRC/small.txt") | $(measure "-j 8" "$SRC/big.bin" "$SRC/small.txt") | | |"
for I in "${!ROWS[@]}"; do
  IFS=';' read -r NAME HELD MAKE <<< "${ROWS[$I]}"
  # What the plain files of the archive give.
  measure "-j 1" $(for F in $HELD; do echo "$SRC/$F"; done) > /dev/null
  cp "$WORK/hits" "$WORK/expected"
  OUT=$WORK/a/large.${EXT[$I]}
  if ! (cd "$SRC" && eval "$MAKE") 2> /dev/null; then
    echo "| $NAME | could not be made | | | | |"
    continue
  fi
  One=$(measure "-j 1" "$OUT"); Same=yes
  cmp -s "$WORK/hits" "$WORK/expected" || Same="no: $(tr '\n' ' ' < "$WORK/hits")"
  Eight=$(measure "-j 8" "$OUT")
  cmp -s "$WORK/hits" "$WORK/expected" || Same="no at -j 8: $(tr '\n' ' ' < "$WORK/hits")"
  # Three copies in a folder, which the workers walk at once.
  for C in 2 3; do cp "$OUT" "$WORK/a/copy$C.${EXT[$I]}"; done
  Three=$(measure "-r -j 8" "$WORK/a")
  echo "| $NAME | $(du -b "$OUT" | cut -f1) | $One | $Eight | $Three | $Same |"
  rm -f "$WORK"/a/*
  [ -z "$(ls -A "$WORK/tmp")" ] || echo "| (scan left files in its temporary folder) | | | | | |"
done

# Items the budget may take into memory, many at once: four ZIPs of twelve items of SIZE_MIB / 32 MiB each
# (each with the word at its end) in a folder, walked by -j 1 and by eight threads.
rm -f "$SRC/big.bin"
PART=$((SIZE_MIB * 1048576 / 32))
for P in $(seq 1 12); do { head -c $PART /dev/zero; printf 'needle %d\n' "$P"; } > "$SRC/part$P.bin"; done
(cd "$SRC" && zip -q "$WORK/a/m1.zip" part*.bin)
for C in 2 3 4; do cp "$WORK/a/m1.zip" "$WORK/a/m$C.zip"; done
echo
echo "| four ZIPs of twelve items of $((PART / 1048576)) MiB | -r -j 1 | -r -j 8 | hits |"
echo "|---|---:|---:|---:|"
One=$(measure "-r -j 1" "$WORK/a"); Hits1=$(wc -l < "$WORK/hits")
Eight=$(measure "-r -j 8" "$WORK/a"); Hits8=$(wc -l < "$WORK/hits")
echo "| | $One | $Eight | $Hits1 / $Hits8 of 48 |"
