#!/usr/bin/env python3
"""Writes set1.cab, set2.cab and set3.cab: one stored folder of 32768-byte data blocks that runs on
through three cabinets, holding a.txt (wholly in set1), b.txt (set1 into set2) and c.txt (set1 through
set3). As in cabinets made by the usual tools, the data block at each cabinet boundary is split: its
first part closes the earlier cabinet with an uncompressed size of 0, the rest opens the next one. A cabinet lists every file of the folders it holds, also one whose data begins in the next
cabinet; files of a folder continued from the cabinet before carry the "from previous" index. No Debian
tool writes cabinet sets, so the bytes are laid out here by the cabinet format."""
import struct
import sys

BLOCK = 32768
FILES = [("a.txt", 40000, b"A"), ("b.txt", 30000, b"B"), ("c.txt", 50000, b"C")]
DOS_DATE = ((2020 - 1980) << 9) | (5 << 5) | 17
DOS_TIME = (12 << 11) | (34 << 5) | (56 // 2)
PREV, NEXT = 0x0001, 0x0002
FROM_PREV, TO_NEXT, PREV_AND_NEXT = 0xFFFD, 0xFFFE, 0xFFFF


def content(letter, size):
    line = letter * 63 + b"\n"
    return (line * (size // len(line) + 1))[:size]


data = b"".join(content(letter, size) for _, size, letter in FILES)
blocks = [data[i:i + BLOCK] for i in range(0, len(data), BLOCK)]
half2, half3 = len(blocks[2]) // 2, len(blocks[3]) // 2
# Cabinet k holds these data records (bytes, uncompressed size); the files list (name, folder index).
layout = [
    ([(blocks[0], BLOCK), (blocks[1], BLOCK), (blocks[2][:half2], 0)],
     [("a.txt", 0), ("b.txt", TO_NEXT), ("c.txt", TO_NEXT)]),
    ([(blocks[2][half2:], len(blocks[2])), (blocks[3][:half3], 0)],
     [("b.txt", FROM_PREV), ("c.txt", PREV_AND_NEXT)]),
    ([(blocks[3][half3:], len(blocks[3]))], [("c.txt", FROM_PREV)]),
]
offsets = {}
pos = 0
for name, size, _ in FILES:
    offsets[name] = (pos, size)
    pos += size


def cabinet(index):
    cab_blocks, files = layout[index]
    flags = (PREV if index > 0 else 0) | (NEXT if index < len(layout) - 1 else 0)
    names = b""
    if flags & PREV:
        names += b"set%d.cab\0disk%d\0" % (index, index)
    if flags & NEXT:
        names += b"set%d.cab\0disk%d\0" % (index + 2, index + 2)
    header_size = 36 + len(names)
    folder_size = 8
    file_entries = b""
    for name, folder in files:
        off, size = offsets[name]
        file_entries += struct.pack("<IIHHHH", size, off, folder, DOS_DATE, DOS_TIME, 0x20) + name.encode() + b"\0"
    files_offset = header_size + folder_size
    data_start = files_offset + len(file_entries)
    data_part = b"".join(struct.pack("<IHH", 0, len(b), unpacked) + b for b, unpacked in cab_blocks)
    total = data_start + len(data_part)
    header = b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, total, 0, files_offset, 0, 3, 1, 1, len(files), flags,
                                   0x1234, index)
    folder = struct.pack("<IHH", data_start, len(cab_blocks), 0)
    return header + names + folder + file_entries + data_part


out = sys.argv[1] if len(sys.argv) > 1 else "."
for i in range(len(layout)):
    with open("%s/set%d.cab" % (out, i + 1), "wb") as f:
        f.write(cabinet(i))
