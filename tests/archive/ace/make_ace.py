#!/usr/bin/env python3
"""Writes entries.ace: an ACE main header and five file blocks laid out by the published ACE header format
(the entries' data is stored as is; no Debian tool writes ACE): a folder "emptydir" that holds nothing, a
folder "full" with "full\\b.txt", "a.txt", and "n\\x81.txt" with a DOS (code page 850) name.
Writes locked.ace: a stored item "locked.txt" encrypted with the password 1234 (the published scheme:
Blowfish in CBC mode on little-endian words, keyed by the SHA-1-like digest of the password), and a plain
item "open.txt"."""
import os
import re
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


M32 = 0xFFFFFFFF


def rotl(v, n):
    return ((v << n) | (v >> (32 - n))) & M32


def derive_key(password):
    block = password + b"\x80" + b"\0" * (64 - len(password) - 5)
    w = list(struct.unpack("<15I", block)) + [len(password) << 3]
    for i in range(16, 80):
        w.append(w[i - 16] ^ w[i - 14] ^ w[i - 8] ^ w[i - 3])
    init = [0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0]
    a, b, c, d, e = init
    for i in range(80):
        if i < 20:
            f, k = (b & c) | (~b & d), 0x5A827999
        elif i < 40:
            f, k = b ^ c ^ d, 0x6ED9EBA1
        elif i < 60:
            f, k = (b & c) | (b & d) | (c & d), 0x8F1BBCDC
        else:
            f, k = b ^ c ^ d, 0xCA62C1D6
        a, b, c, d, e = (rotl(a, 5) + (f & M32) + e + w[i] + k) & M32, a, rotl(b, 30), c, d
    return [(x + y) & M32 for x, y in zip((a, b, c, d, e), init)]


def encrypt(data, password):
    here = os.path.dirname(os.path.abspath(__file__))
    tables = open(os.path.join(here, "../../../platform/unace/AceBlowfishTables.inc")).read()
    words = [int(x, 16) for x in re.findall(r"0x([0-9A-F]{8})", tables)]
    key = derive_key(password)
    p = [words[i] ^ key[i % 5] for i in range(18)]
    s = [words[18 + 256 * i:18 + 256 * (i + 1)] for i in range(4)]

    def f(x):
        return ((((s[0][x >> 24] + s[1][(x >> 16) & 255]) & M32) ^ s[2][(x >> 8) & 255]) + s[3][x & 255]) & M32

    def block(l, r):
        for i in range(0, 16, 2):
            l ^= p[i]
            r ^= f(l)
            r ^= p[i + 1]
            l ^= f(r)
        return r ^ p[17], l ^ p[16]

    l = r = 0
    for i in range(0, 18, 2):
        l, r = block(l, r)
        p[i], p[i + 1] = l, r
    for box in s:
        for j in range(0, 256, 2):
            l, r = block(l, r)
            box[j], box[j + 1] = l, r
    data += b"\0" * (-len(data) % 8)
    out, cl, cr = b"", 0, 0
    for i in range(0, len(data), 8):
        pl, pr = struct.unpack("<II", data[i:i + 8])
        cl, cr = block(pl ^ cl, pr ^ cr)
        out += struct.pack("<II", cl, cr)
    return out


def encrypted_block(name, data, password):
    packed = encrypt(data, password)
    body = struct.pack("<BHIIIIIIH", 1, 0x4001, len(packed), len(data), DOS_TIME, 0x20, ace_crc(data), 0, 0)
    body += struct.pack("<H", len(name)) + name
    return block(body) + packed


out = sys.argv[1] if len(sys.argv) > 1 else "."
with open(out + "/entries.ace", "wb") as f:
    f.write(main_header() + file_block(b"emptydir", b"", 0x10) + file_block(b"full", b"", 0x10) +
            file_block(b"full\\b.txt", b"bee\n") + file_block(b"a.txt", b"ay ay\n") +
            file_block(b"n\x81.txt", b"dos name\n"))
with open(out + "/locked.ace", "wb") as f:
    f.write(main_header() + encrypted_block(b"locked.txt", b"the hidden text, found with its password\n", b"1234") +
            file_block(b"open.txt", b"plain\n"))
