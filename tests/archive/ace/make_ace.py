#!/usr/bin/env python3
"""Writes entries.ace: an ACE main header and five file blocks laid out by the published ACE header format
(the entries' data is stored as is; no Debian tool writes ACE): a folder "emptydir" that holds nothing, a
folder "full" with "full\\b.txt", "a.txt", and "n\\x81.txt" with a DOS (code page 850) name."""
import struct
import sys
import zlib

DOS_TIME = (((2019 - 1980) << 9 | 7 << 5 | 8) << 16) | (9 << 11 | 10 << 5 | 6)


def ace_crc(data):
    # The ACE CRC-32 is the register of the common CRC-32 before its final inversion.
    return zlib.crc32(data) ^ 0xFFFFFFFF


def block(body):
    return struct.pack("<HH", ace_crc(body) & 0xFFFF, len(body)) + body


def main_header():
    # type 0, flags, the mark, versions, host, volume, time, reserved
    return block(struct.pack("<BH", 0, 0) + b"**ACE**" + bytes([10, 20, 0, 0]) + struct.pack("<I", DOS_TIME) + b"\0" * 8)


def file_block(name, data, attr=0x20):
    body = struct.pack("<BHIIIIIIH", 1, 1, len(data), len(data), DOS_TIME, attr, ace_crc(data), 0, 0)
    body += struct.pack("<H", len(name)) + name
    return block(body) + data


out = sys.argv[1] if len(sys.argv) > 1 else "."
with open(out + "/entries.ace", "wb") as f:
    f.write(main_header() + file_block(b"emptydir", b"", 0x10) + file_block(b"full", b"", 0x10) +
            file_block(b"full\\b.txt", b"bee\n") + file_block(b"a.txt", b"ay ay\n") +
            file_block(b"n\x81.txt", b"dos name\n"))
