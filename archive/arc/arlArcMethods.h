// The decompression methods of ARC and PAK archives, apart from stored data: packed (run-length, method
// 3), squeezed (Huffman with the run-length stage, method 4), crunched with a hashed 12-bit string table
// (methods 5 to 7, the old hash without and with the run-length stage, the new hash with it), crunched
// with dynamic LZW of 9 to 12 bits (method 8, with the run-length stage) and squashed (dynamic LZW of 9
// to 13 bits, method 9). They know nothing of archives: they read compressed bytes from a source and hand
// decoded bytes to a sink.
//
// What the decoders check, since their input may be hostile:
//   - output stops at the declared size: no run, string or match writes beyond it;
//   - squeeze: a node count of 0 to 256 and every child inside the tree or a value up to the end mark;
//   - crunch: every string unwinds through a stack of kCrunchStack bytes ("Stack overflow" beyond), the
//     table takes at most kCrunchTable entries, so that the search for a free slot always ends;
//   - dynamic LZW: the leading width byte of method 8 and every code (arlDelzw);
//   - data that ends before the declared size is produced is reported as such.
#pragma once

#include <cstdint>

#include "archive/lzh/arlLzhBits.h"

enum TArcResult : uint8_t {
  arOk = 0,
  arUnexpectedEnd,  // the compressed data ended short of the declared size
  arInvalidTree,    // a squeeze tree with a bad node count or child
  arStackOverflow,  // a crunched string longer than the stack
  arIncorrectBits,  // method 8 whose leading byte is not 12
  arCorruptInput,   // a dynamic-LZW code beyond the next free one
  arUnsupported,    // a method these decoders do not know
};

constexpr int32_t kArcBuffer = 32767;   // bytes of input read, and of output gathered, at a time
constexpr int32_t kCrunchTable = 4096;  // slots of the crunch string table
constexpr int32_t kCrunchStack = 4096;  // bytes of the crunch decode stack
constexpr int32_t kSqueezeMaxNodes = 256;
constexpr uint8_t kRunMarker = 0x90;  // starts a run in the run-length stage
constexpr int kArcLzwBits = 12;       // the width byte that leads a method-8 entry
constexpr int kSquashBits = 13;

// Decodes one entry of Method (3 to 9) from at most PackedSize bytes of Source into exactly UnpackedSize
// bytes of Sink on success.
TArcResult DecodeArcMethod(int Method, const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize,
                           const TLzhSink& Sink);
