#!/usr/bin/env python3
"""Writes quine.zip: a ZIP archive whose one deflated member, quine.zip, holds the archive's own bytes.

The member's deflate stream is a self-reproducing program of two operations, each exactly UNIT bytes
long: "literal n" (a stored block of n following bytes) and "repeat n" (a fixed-Huffman block that copies
the last n bytes of output). Laid out as below it prints the local header, then itself, then the central
directory, which is the whole archive. The CRC-32 stands in the archive (and so in the output) twice; the
archive is an affine function of those 32 bits, and so is its CRC, so the value that is its own CRC is
found by solving 32 linear equations over GF(2).

Usage: make_quine.py OUTPUT
"""
import struct
import sys
import zlib

UNIT = 20  # bytes of every operation
NAME = b"quine.zip"
DOS_TIME, DOS_DATE = 0, (40 << 9) | (5 << 5) | 6  # 2020-05-06


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, count):  # least significant bit first
        self.bits += [(value >> i) & 1 for i in range(count)]

    def put_rev(self, code, count):  # Huffman codes go most significant bit first
        self.bits += [(code >> (count - 1 - i)) & 1 for i in range(count)]

    def align(self):
        while len(self.bits) % 8:
            self.bits.append(0)

    def tobytes(self):
        assert len(self.bits) % 8 == 0
        return bytes(sum(b << i for i, b in enumerate(self.bits[k:k + 8])) for k in range(0, len(self.bits), 8))


LENGTHS = [(257 + i, base, extra) for i, (base, extra) in enumerate([
    (3, 0), (4, 0), (5, 0), (6, 0), (7, 0), (8, 0), (9, 0), (10, 0), (11, 1), (13, 1), (15, 1), (17, 1),
    (19, 2), (23, 2), (27, 2), (31, 2), (35, 3), (43, 3), (51, 3), (59, 3), (67, 4), (83, 4), (99, 4),
    (115, 4), (131, 5), (163, 5), (195, 5), (227, 5), (258, 0)])]
DISTANCES = [(i, base, extra) for i, (base, extra) in enumerate([
    (1, 0), (2, 0), (3, 0), (4, 0), (5, 1), (7, 1), (9, 2), (13, 2), (17, 3), (25, 3), (33, 4), (49, 4),
    (65, 5), (97, 5), (129, 6), (193, 6), (257, 7), (385, 7), (513, 8), (769, 8), (1025, 9), (1537, 9)])]


def put_litlen(bits, symbol):
    if symbol <= 143:
        bits.put_rev(0x30 + symbol, 8)
    elif symbol <= 255:
        bits.put_rev(0x190 + symbol - 144, 9)
    elif symbol <= 279:
        bits.put_rev(symbol - 256, 7)
    else:
        bits.put_rev(0xC0 + symbol - 280, 8)


def put_copy(bits, length, distance):
    code, base, extra = [c for c in LENGTHS if c[1] <= length][-1]
    if length == 258:
        code, base, extra = 285, 258, 0
    put_litlen(bits, code)
    bits.put(length - base, extra)
    code, base, extra = [c for c in DISTANCES if c[1] <= distance][-1]
    bits.put_rev(code, 5)
    bits.put(distance - base, extra)


def literal(n, final=False):
    """A stored block header for n bytes, after empty stored blocks that fill it to UNIT bytes."""
    assert UNIT % 5 == 0 and 0 <= n <= 0xFFFF
    empty = b"\x00\x00\x00\xff\xff" * (UNIT // 5 - 1)
    return empty + bytes([1 if final else 0]) + struct.pack("<HH", n, n ^ 0xFFFF)


def repeat(n, final=False):
    """A fixed-Huffman block copying the last n bytes, filled to exactly UNIT bytes."""
    for pieces in range(1, 8):
        if n < 3 * pieces:
            break
        sizes = [n // pieces + (1 if i < n % pieces else 0) for i in range(pieces)]
        if max(sizes) > 258:
            continue
        for empties in range(0, 8):
            # One block with the copies, then empty fixed blocks; aligned by an empty stored block.
            bits = Bits()
            bits.put(0, 1)
            bits.put(1, 2)
            for size in sizes:
                put_copy(bits, size, n)
            put_litlen(bits, 256)
            for _ in range(empties):
                bits.put(0, 1)
                bits.put(1, 2)
                put_litlen(bits, 256)
            bits.put(1 if final else 0, 1)
            bits.put(0, 2)
            bits.align()
            bits.put(0, 16)
            bits.put(0xFFFF, 16)
            if len(bits.bits) == UNIT * 8:
                return bits.tobytes()
    raise SystemExit("no %d-byte encoding of repeat %d" % (UNIT, n))


def archive(crc, total):
    """The archive for the CRC and total size given; its deflate stream prints the archive itself."""
    def local(size):
        return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, DOS_TIME, DOS_DATE, crc, size, total,
                           len(NAME), 0) + NAME

    def central(size):
        entry = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, DOS_TIME, DOS_DATE, crc, size,
                            total, len(NAME), 0, 0, 0, 0, 0, 0) + NAME
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(entry), len(local(0)) + size, 0)
        return entry + end

    # Every operation is UNIT bytes; P and S stand for the header before and the directory after.
    size = 0
    for _ in range(2):
        p, s = local(size), central(size)
        P, S = len(p), len(s)
        L, R = literal, repeat
        stream = b"".join([
            L(P + UNIT), p, L(P + UNIT),
            R(P + UNIT),
            L(UNIT), R(P + UNIT),
            L(UNIT), L(UNIT),
            L(4 * UNIT), R(P + UNIT), L(UNIT), L(UNIT), L(4 * UNIT),
            R(4 * UNIT),
            L(4 * UNIT), R(4 * UNIT), L(4 * UNIT), R(4 * UNIT), L(4 * UNIT),
            R(4 * UNIT),
            L(4 * UNIT), R(4 * UNIT), L(0), L(0), L(S + UNIT),
            R(4 * UNIT),
            L(0), L(0),
            L(S + UNIT), R(S + UNIT, True), s,
            R(S + UNIT, True),
        ])
        size = len(stream)
    return local(size) + stream + central(size)


def main():
    # The archive's size does not depend on the CRC: find it with any CRC first.
    total = len(archive(0, 0))
    assert len(archive(0, total)) == total
    base = archive(0, total)
    # CRC(archive(c)) = A c + b over GF(2); solve A c + b = c.
    b = zlib.crc32(base)
    columns = []
    for i in range(32):
        columns.append(zlib.crc32(archive(1 << i, total)) ^ b)
    # (A + I) c = b: Gaussian elimination on 32 rows.
    rows = []
    for r in range(32):
        row = 0
        for i in range(32):
            if ((columns[i] >> r) & 1) ^ (1 if i == r else 0):
                row |= 1 << i
        rows.append([row, (b >> r) & 1])
    crc = 0
    pivots = []
    for col in range(32):
        pivot = next((k for k in range(len(pivots), 32) if (rows[k][0] >> col) & 1), None)
        if pivot is None:
            continue
        k = len(pivots)
        rows[k], rows[pivot] = rows[pivot], rows[k]
        for j in range(32):
            if j != k and (rows[j][0] >> col) & 1:
                rows[j][0] ^= rows[k][0]
                rows[j][1] ^= rows[k][1]
        pivots.append(col)
    for k in range(len(pivots), 32):
        if rows[k][1]:
            raise SystemExit("no CRC is its own: change NAME or the date")
    for k, col in enumerate(pivots):
        if rows[k][1]:
            crc |= 1 << col
    data = archive(crc, total)
    assert zlib.crc32(data) == crc, "the CRC is not its own"
    assert zlib.decompressobj(-15).decompress(data[30 + len(NAME):]) == data, "the member is not the archive"
    with open(sys.argv[1], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
