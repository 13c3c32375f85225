#!/usr/bin/env python3
"""Cuts a RAR 2.9-4 archive of one volume into a volume set by the published block format (no Debian tool
writes RAR): every volume gets the marker, the main header with the volume flags, the parts of the items
that fall into it (headers with the split flags, the part's packed size, the CRC-32 of the part's packed
data, or of the whole item in its last part) and an end block that announces the next volume. Folder
headers go into the first volume; other blocks are left out.

  split_solid.py ARCHIVE OUT_STEM SIZE [old]

cuts the items' packed data every SIZE bytes, so parts end inside items, and names the volumes
OUT_STEM.part1.rar ... (or OUT_STEM.rar, .r00, .r01 ... with "old").

  fixtures/solidcut.vol1.rar ... vol6.rar    Rar.solid.rar cut every 11000 bytes (written as
                                             solidcut.partN.rar, kept as solidcut.volN.rar)
  fixtures/solidold.rar, .r00 ... .r02       Rar.solid.rar cut every 20000 bytes, old naming
"""
import struct
import sys
import zlib

MARKER = b"Rar!\x1a\x07\x00"
MAIN, FILE, END = 0x73, 0x74, 0x7B
SPLIT_BEFORE, SPLIT_AFTER, LARGE = 0x01, 0x02, 0x100
VOLUME, SOLID, NEW_NUMBERING, FIRST_VOLUME = 0x01, 0x08, 0x10, 0x100


def with_crc(head):
    return struct.pack("<H", zlib.crc32(head[2:]) & 0xFFFF) + head[2:]


def read_blocks(data):
    assert data.startswith(MARKER), "a RAR 2.9-4 archive without a program in front"
    pos = len(MARKER)
    main = None
    items = []  # (header bytes, packed data) of file headers in order
    while pos + 7 <= len(data):
        btype, flags, size = struct.unpack_from("<BHH", data, pos + 2)
        head = data[pos:pos + size]
        add = struct.unpack_from("<I", data, pos + 7)[0] if flags & 0x8000 else 0
        if btype == MAIN:
            main = head
        elif btype == FILE:
            packed = add
            if flags & LARGE:
                packed |= struct.unpack_from("<I", head, 32)[0] << 32
            items.append((head, data[pos + size:pos + size + packed]))
        elif btype == END:
            break
        pos += size + add
    return main, items


def part_header(head, flags, packed, crc):
    b = bytearray(head)
    struct.pack_into("<H", b, 3, flags)
    struct.pack_into("<I", b, 7, packed & 0xFFFFFFFF)
    if flags & LARGE:
        struct.pack_into("<I", b, 32, packed >> 32)
    struct.pack_into("<I", b, 16, crc)
    return with_crc(bytes(b))


def volume_name(stem, index, old):
    if old:
        return stem + (".rar" if index == 0 else ".r%02d" % (index - 1))
    return "%s.part%d.rar" % (stem, index + 1)


def main():
    source, stem, cut = sys.argv[1], sys.argv[2], int(sys.argv[3])
    old = len(sys.argv) > 4 and sys.argv[4] == "old"
    main_head, items = read_blocks(open(source, "rb").read())
    main_flags = struct.unpack_from("<H", main_head, 3)[0]
    def is_folder(head):
        return (struct.unpack_from("<H", head, 3)[0] & 0xE0) == 0xE0

    folders = [h for h, _ in items if is_folder(h)]
    files = [(h, d) for h, d in items if not is_folder(h)]
    # The volumes' contents: lists of (header, part data), cut every `cut` bytes of packed data.
    volumes = [[]]
    room = cut
    for head, data in files:
        flags = struct.unpack_from("<H", head, 3)[0]
        full_crc = struct.unpack_from("<I", head, 16)[0]
        at = 0
        while True:
            take = min(room, len(data) - at)
            part = data[at:at + take]
            last = at + take == len(data)
            f = flags | (SPLIT_BEFORE if at > 0 else 0) | (0 if last else SPLIT_AFTER)
            crc = full_crc if last else zlib.crc32(part) & 0xFFFFFFFF
            volumes[-1].append(part_header(head, f, len(part), crc) + part)
            at += take
            room -= take
            if room == 0:
                volumes.append([])
                room = cut
            if last:
                break
    if not volumes[-1]:
        volumes.pop()
    for index, blocks in enumerate(volumes):
        flags = main_flags | VOLUME | (0 if old else NEW_NUMBERING) | (FIRST_VOLUME if index == 0 else 0)
        head = bytearray(main_head)
        struct.pack_into("<H", head, 3, flags)
        out = MARKER + with_crc(bytes(head))
        if index == 0:
            out += b"".join(folders)
        out += b"".join(blocks)
        more = index + 1 < len(volumes)
        out += with_crc(b"\0\0" + struct.pack("<BHH", END, 0x4000 | (1 if more else 0), 7))
        open(volume_name(stem, index, old), "wb").write(out)


if __name__ == "__main__":
    main()
