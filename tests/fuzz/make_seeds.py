#!/usr/bin/env python3
# Writes the seeds of the fuzz targets whose input is not a file that a reader's tests already keep:
#   corpus/inflate_fuzz   raw deflate data: the members of the GZIP fixtures and small made streams
#   corpus/lzh_fuzz       the raw LZ streams of the ARJ and LHA fixtures behind the target's 4-byte header
#   corpus/vstream_fuzz   one stored form of each typed reader, behind the reader's selector byte
# Run from anywhere: python3 tests/fuzz/make_seeds.py
import os, random, struct, zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(HERE)


def put(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def fixture(*path):
    with open(os.path.join(TESTS, *path), 'rb') as f:
        return f.read()


def raw_deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY):
    z = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    return z.compress(data) + z.flush()


def gzip_member_data(gz):
    at = 10
    if gz[3] & 8:  # a stored name
        at = gz.index(b'\0', at) + 1
    return gz[at:-8]


# --- inflate_fuzz ------------------------------------------------------------------------------------------
text = fixture('archive', 'lzh', 'fixtures', 'mixed.bin')
rng = random.Random(2026)
noise = bytes(rng.getrandbits(8) for _ in range(70000))  # more than the stream's 65536-byte input buffer
put('inflate_fuzz', 'a_txt_gz_member.deflate', gzip_member_data(fixture('archive', 'arlbase', 'a.txt.gz')))
put('inflate_fuzz', 'peer_tgz_member.deflate', gzip_member_data(fixture('archive', 'arlbase', 'peer.tgz')))
put('inflate_fuzz', 'stored_blocks.deflate', raw_deflate(noise, 0))
put('inflate_fuzz', 'fixed_codes.deflate', raw_deflate(text[:2000], 9, zlib.Z_FIXED))
put('inflate_fuzz', 'dynamic_codes.deflate', raw_deflate(text, 9))
put('inflate_fuzz', 'empty.deflate', raw_deflate(b''))

# --- lzh_fuzz: decoder byte, 24-bit declared size, data -----------------------------------------------------
def lzh_seed(decoder, size, data):
    return bytes([decoder]) + struct.pack('<I', size)[:3] + data

for name, decoder in [('mixed.arj1', 0), ('mixed.arj2', 0), ('mixed.arj3', 0), ('mixed.lh4', 1),
                      ('mixed.lh5', 2), ('mixed.lh6', 3)]:
    put('lzh_fuzz', name, lzh_seed(decoder, len(text), fixture('archive', 'lzh', 'fixtures', name)))
put('lzh_fuzz', 'mixed.arj4', lzh_seed(5, len(text), fixture('archive', 'arj', 'fixtures', 'mixed.arj4')))
put('lzh_fuzz', 'mixed.lh1', lzh_seed(6, len(text), fixture('archive', 'lha', 'fixtures', 'mixed.lh1')))
spaces = fixture('archive', 'lha', 'fixtures', 'spaces.txt')
put('lzh_fuzz', 'spaces.lh1', lzh_seed(6, len(spaces), fixture('archive', 'lha', 'fixtures', 'spaces.lh1')))

# --- vstream_fuzz: the selector byte of VStream_fuzz.cpp's kReaders, then the stored form -------------------
def i32(v):
    return struct.pack('<i', v)

def string(b):
    return i32(len(b)) + b

def wide(s):
    u = s.encode('utf-16-le')
    return i32(len(u) // 2) + u

def vector(elem_size, items, default):
    return i32(len(items) // elem_size) + i32(elem_size) + items + default

typed = (bytes([0, 1]) + bytes([1]) + struct.pack('<h', -2) + bytes([2]) + i32(77) + bytes([3]) + string(b'abc') +
         bytes([4]) + wide('\u0416x') + bytes([5]) + i32(3) + b'xyz' + bytes([6, 2]) + b'ab' + i32(100) + b'..ab' +
         bytes([7, 1]) + b'!')
put('vstream_fuzz', '00_typed_values', bytes([0]) + typed)
put('vstream_fuzz', '01_int8_vector', bytes([1]) + vector(1, bytes([1, 255, 3]), bytes([9])))
put('vstream_fuzz', '02_int32_vector', bytes([2]) + vector(4, i32(-1) + i32(5), i32(0)))
put('vstream_fuzz', '03_uint32_vector', bytes([3]) + vector(4, struct.pack('<II', 1, 0xFFFFFFFF), i32(7)))
put('vstream_fuzz', '04_int64_vector', bytes([4]) + vector(8, struct.pack('<q', -5), struct.pack('<q', 1)))
put('vstream_fuzz', '05_double_vector', bytes([5]) + vector(8, struct.pack('<dd', 1.5, -0.0), struct.pack('<d', 2)))
put('vstream_fuzz', '06_bool_vector', bytes([6]) + vector(1, bytes([1, 0, 1]), bytes([1])))
put('vstream_fuzz', '07_packed_bool_vector', bytes([7]) + vector(1, bytes([0xA5, 0x03]), bytes([0])))
put('vstream_fuzz', '08_str_lst', bytes([8]) + i32(3) + string(b'one') + string(b'') + string(b'\xe4three'))
put('vstream_fuzz', '09_case_sens_str_lst', bytes([9]) + i32(2) + string(b'B') + string(b'a'))
put('vstream_fuzz', '10_wide_str_lst', bytes([10]) + i32(3) + wide('plain') + wide('') + wide('\u0436\u00e9'))
put('vstream_fuzz', '11_int_set', bytes([11]) + i32(3) + i32(5) + i32(-1) + i32(5))
put('vstream_fuzz', '12_wide_string_list', bytes([12]) + b'\xff\xfe' + 'a\r\nb\u2028c'.encode('utf-16-le'))
