#!/usr/bin/env python3
"""Writes fixtures/expected.txt: for every readable archive of fixtures/, each item an independent
extractor (unar; bsdtar, its items' data written out one after another, for the RAR 5 archives that
unar 1.10 cannot read) takes out, as
"<archive> <size> <crc32> <name>". Symbolic links and empty items hold no content to compare and are left
out. The libarchive volume set is given its volume names (name.part0001.rar ...) first.
Run by hand: python3 make_expected.py"""
import glob, os, shutil, subprocess, tempfile, zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FIX = os.path.join(HERE, "fixtures")
# archive (the first volume of a set), the tool that extracts it
ARCHIVES = [
    ("plain.rar", "unar"), ("set.rar", "unar"), ("solid.rar", "unar"), ("longname.rar", "unar"), ("sfx.exe", "unar"),
    ("test_read_format_rar.rar", "unar"), ("test_read_format_rar_compress_normal.rar", "unar"),
    ("test_read_format_rar_unicode.rar", "unar"), ("test_read_format_rar_sfx.exe", "unar"),
    ("test_read_format_rar_multi_lzss_blocks.rar", "unar"), ("Rar.solid.rar", "unar"), ("Rar2.rar", "unar"),
    ("Rar2.multi.rar", "unar"), ("test_read_format_rar5_blake2.rar", "unar"),
    ("test_read_format_rar5_unicode.rar", "unar"), ("test_read_format_rar5_stored.rar", "unar"),
    ("test_read_format_rar5_solid.rar", "bsdtar"), ("test_read_format_rar5_multiarchive_solid.vol1.rar", "bsdtar"),
    ("test_read_format_rar5_sfx.exe", "bsdtar"), ("test_read_format_rar_multivolume.vol1.rar", "unar"),
    ("Rar.solid.vol1.rar", "unar"), ("solidcut.vol1.rar", "unar"), ("solidold.rar", "unar"),
]

def main():
    lines = []
    for name, tool in ARCHIVES:
        with tempfile.TemporaryDirectory() as out, tempfile.TemporaryDirectory() as volumes:
            path = os.path.join(FIX, name)
            if ".vol1." in name:
                # A set kept as vol1, vol2 ... is read under its volume names.
                n = 1
                while os.path.exists(path.replace(".vol1.", ".vol%d." % n)):
                    shutil.copy(path.replace(".vol1.", ".vol%d." % n), os.path.join(volumes, "set.part%02d.rar" % n))
                    n += 1
                path = os.path.join(volumes, "set.part01.rar")
            if tool == "unar":
                subprocess.run(["unar", "-q", "-f", "-D", "-o", out, path], check=True, stdout=subprocess.DEVNULL)
            else:
                # The items' data one after another on standard output, cut by the sizes of the listing; the
                # volumes of a set are handed over one after another.
                volumes = sorted(glob.glob(path.replace(".part01.", ".part*."))) if ".part01." in path else [path]
                joined = b"".join(open(v, "rb").read() for v in volumes)
                data = subprocess.run(["bsdtar", "-x", "-O", "-f", "-"], input=joined, check=True,
                                      stdout=subprocess.PIPE).stdout
                at = 0
                for line in subprocess.run(["bsdtar", "-tv", "-f", path], check=True, stdout=subprocess.PIPE,
                                           text=True).stdout.splitlines():
                    fields = line.split(None, 8)
                    if not fields[0].startswith("-"):
                        continue
                    size = int(fields[4])
                    item = data[at:at + size]
                    at += size
                    if item:
                        lines.append("%s %d %08x %s" % (name, len(item), zlib.crc32(item), fields[8]))
                continue
            # unar writes a RAR 5 hard link as a symbolic link: its data is that of the file it links to.
            listing = subprocess.run(["bsdtar", "-tvf", path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True).stdout
            hard = set(line.split(None, 8)[8].split(" link to ")[0] for line in listing.splitlines()
                       if " link to " in line)
            for root, dirs, files in os.walk(out):
                for f in files + [d for d in dirs if os.path.islink(os.path.join(root, d))]:
                    full = os.path.join(root, f)
                    rel = os.path.relpath(full, out)
                    if os.path.islink(full) and rel not in hard:
                        continue  # a symbolic link holds no content of its own
                    data = open(full, "rb").read()
                    if not data:
                        continue
                    lines.append("%s %d %08x %s" % (name, len(data), zlib.crc32(data), rel))
    with open(os.path.join(FIX, "expected.txt"), "w") as f:
        f.write("\n".join(sorted(lines)) + "\n")

main()
