#!/bin/sh
# Makes the .tar.gz fixtures of FileScanTarGz_test.cpp in the current folder (see README.md beside it).
# Needs GNU tar, gzip, bsdtar (libarchive-tools), zip and python3.
set -eu
export TZ=UTC LC_ALL=C
out=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The tree every archive holds.
mkdir -p tree/sub/dir "tree/long"
printf 'a needle at the top\n' > tree/top.txt
printf 'nothing to see here\n' > tree/plain.txt
: > tree/empty.txt
printf 'the needle lies deep\n' > tree/sub/dir/deep.txt
long="tree/long/$(printf 'n%.0s' $(seq 1 120)).txt"
printf 'a needle behind a long name\n' > "$long"
python3 - <<'PY'
import random, zipfile
r = random.Random(7)
words = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma".split()
with open("tree/big.txt", "w") as f:
    f.write(" ".join(r.choice(words) for _ in range(16000)) + " needle at the end\n")
with open("hit.txt", "w") as f:
    f.write("a needle inside a zip inside a tar\n")
with zipfile.ZipFile("tree/inner.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.write("hit.txt")
PY
find tree -exec touch -h -d '2020-05-06 07:08:10' {} +

gnu() { tar --owner=0 --group=0 --numeric-owner --sort=name "$@"; }
cd tree
gnu --format=gnu -cf ../gnu.tar .
gnu --format=pax --pax-option=delete=atime,delete=ctime -cf ../gnu_pax.tar .
bsdtar --uid 0 --gid 0 -cf ../bsd.tar top.txt plain.txt empty.txt sub long big.txt inner.zip
cd ..
python3 - <<'PY'
import gzip, os, tarfile
for name, fmt in (("py_pax.tar.gz", tarfile.PAX_FORMAT), ("py_gnu.tar.gz", tarfile.GNU_FORMAT)):
    with open(name, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as gz:
        with tarfile.open(fileobj=gz, mode="w", format=fmt) as t:
            for root, dirs, files in os.walk("tree"):
                dirs.sort()
                for f in sorted(files):
                    path = os.path.join(root, f)
                    info = t.gettarinfo(path, arcname=os.path.relpath(path, "tree"))
                    info.uid = info.gid = 0
                    info.uname = info.gname = ""
                    with open(path, "rb") as data:
                        t.addfile(info, data)
PY
gzip -n -9 -c gnu.tar > "$out/gnu.tar.gz"
gzip -n -c gnu_pax.tar > "$out/gnu_pax.tgz"
bsdtar --uid 0 --gid 0 -czf "$out/bsd.tar.gz" -C tree top.txt plain.txt empty.txt sub long big.txt inner.zip
cp py_pax.tar.gz py_gnu.tar.gz "$out/"
# Two gzip members: the tar cut at a block boundary, each half compressed alone. In multi_small the last
# member is under 64 KB, in multi_large over it (the last trailer then declares less than the whole).
size=$(stat -c %s bsd.tar)
head -c 10240 bsd.tar | gzip -n -c > "$out/multi_large.tar.gz"
tail -c +10241 bsd.tar | gzip -n -c >> "$out/multi_large.tar.gz"
cut=$(( (size - 20480) / 512 * 512 ))
head -c "$cut" bsd.tar | gzip -n -c > "$out/multi_small.tar.gz"
tail -c +$((cut + 1)) bsd.tar | gzip -n -c >> "$out/multi_small.tar.gz"
# A gzip of a text file, and a gzip of a TAR whose name does not say so.
gzip -n -c tree/top.txt > "$out/notes.txt.gz"
gzip -n -c bsd.tar > "$out/tarball.gz"
# The tar of GNU inside a ZIP.
cp "$out/gnu.tar.gz" in.tar.gz
touch -d '2020-05-06 07:08:10' in.tar.gz
zip -X -q "$out/outer.zip" in.tar.gz
