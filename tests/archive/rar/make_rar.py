#!/usr/bin/env python3
"""Writes small RAR 2.9-4 archives with stored items, laid out by the published block format (no Debian
tool writes RAR): headers with their CRCs, split sets of the old naming, flags the tests need.

  plain.rar      readme.txt, a folder and a file in it with a DOS (code page 850) name, an empty file,
                 a file and a folder written on Unix, a name with a Unicode form, and an item whose
                 header declares 2.25 GB (its data is left out)
  set.rar .r00 .r01  first.txt, big.txt stored in three parts, last.txt
  enc.rar        secret.txt marked encrypted (its data is noise), open.txt
  solid.rar      a solid archive of two items
  longname.rar   an item whose name is 300 characters
  sfx.exe        an "MZ" program of 20000 bytes followed by plain.rar's blocks
  badcrc.rar     an item whose stored CRC does not match its data
  climb.rar      an item named to climb out of the output folder, and one in a sub-folder
"""
import struct
import sys
import zlib

MARKER = b"Rar!\x1a\x07\x00"
DOS_TIME = (((2021 - 1980) << 9 | 3 << 5 | 4) << 16) | (5 << 11 | 6 << 5 | 4)
WIN, UNIX = 2, 3


def crc16(b):
    return zlib.crc32(b) & 0xFFFF


def block(btype, flags, body):
    head = struct.pack("<BHH", btype, flags, 7 + len(body)) + body
    return struct.pack("<H", crc16(head)) + head


def main_header(flags=0):
    return block(0x73, flags, b"\0" * 6)


def end_block(next_volume=False):
    return block(0x7B, 0x4000 | (1 if next_volume else 0), b"")


def unicode_form(ansi, text):
    units = text.encode("utf-16-le")
    enc = bytearray([0])
    chars = [units[i:i + 2] for i in range(0, len(units), 2)]
    for i in range(0, len(chars), 4):
        group = chars[i:i + 4]
        enc.append(0xAA)
        for c in group:
            enc += c
    return ansi + b"\0" + bytes(enc)


def file_block(name, data, host=WIN, attr=0x20, flags=0, unp_size=None, crc=None, folder=False, packed=None,
               unicode_name=None):
    if packed is None:
        packed = data
    raw_name = name if unicode_name is None else unicode_form(name, unicode_name)
    if unicode_name is not None:
        flags |= 0x200
    if folder:
        flags |= 0xE0
    body = struct.pack("<IIBIIBBHI", len(packed), len(data) if unp_size is None else unp_size, host,
                       zlib.crc32(data) if crc is None else crc, DOS_TIME, 29, 0x30, len(raw_name), attr)
    return block(0x74, 0x8000 | flags, body + raw_name) + packed


def write(path, parts):
    with open(path, "wb") as f:
        f.write(b"".join(parts))


def text(line, count):
    return (line * count).encode()


def main(out):
    readme = text("hello rar\n", 300)
    plain = [MARKER, main_header(),
             file_block(b"readme.txt", readme),
             file_block(b"docs", b"", attr=0x10, folder=True),
             file_block(b"docs\\n\x81te.txt", b"note in docs\n"),
             file_block(b"empty.txt", b""),
             file_block(b"unix.txt", b"written on unix\n", host=UNIX, attr=0o100664),
             file_block(b"unixdir", b"", host=UNIX, attr=0o40755, folder=True),
             file_block(b"caf?.txt", b"unicode name\n", unicode_name="caf\u00e9\u4e2d.txt"),
             file_block(b"huge.txt", b"", unp_size=0x90000000, crc=0),
             end_block()]
    write(out + "/plain.rar", plain)
    write(out + "/sfx.exe", [b"MZ" + b"\0" * (20000 - 2)] + plain)

    big = text("0123456789abcdef\n", 2000)  # 34000 bytes in three parts
    p = [big[:12000], big[12000:24000], big[24000:]]
    crc_of = zlib.crc32
    write(out + "/set.rar", [MARKER, main_header(0x0001 | 0x0100),
                             file_block(b"first.txt", b"first volume\n"),
                             file_block(b"big.txt", big, flags=0x02, packed=p[0], crc=crc_of(p[0])),
                             end_block(True)])
    write(out + "/set.r00", [MARKER, main_header(0x0001),
                             file_block(b"big.txt", big, flags=0x03, packed=p[1], crc=crc_of(p[1])),
                             end_block(True)])
    write(out + "/set.r01", [MARKER, main_header(0x0001),
                             file_block(b"big.txt", big, flags=0x01, packed=p[2]),
                             file_block(b"last.txt", b"last volume\n"),
                             end_block(False)])

    noise = bytes((i * 37 + 11) & 0xFF for i in range(64))
    write(out + "/enc.rar", [MARKER, main_header(),
                             file_block(b"secret.txt", noise, flags=0x04),
                             file_block(b"open.txt", b"not secret\n"),
                             end_block()])
    write(out + "/solid.rar", [MARKER, main_header(0x0008),
                               file_block(b"one.txt", b"first of a solid archive\n"),
                               file_block(b"two.txt", b"second of a solid archive\n", flags=0x10),
                               end_block()])
    long_name = ("d" * 100 + "\\") * 2 + "n" * 94 + ".txt"
    write(out + "/longname.rar", [MARKER, main_header(), file_block(long_name.encode(), b"long\n"), end_block()])
    write(out + "/badcrc.rar", [MARKER, main_header(),
                                file_block(b"bad.txt", b"these bytes do not match\n", crc=0x12345678),
                                file_block(b"good.txt", b"fine\n"),
                                end_block()])


    write(out + "/climb.rar", [MARKER, main_header(),
                               file_block(b"..\\..\\evil.txt", b"stays inside\n"),
                               file_block(b"sub\\inner.txt", b"inside a folder\n"),
                               end_block()])


main(sys.argv[1] if len(sys.argv) > 1 else ".")
