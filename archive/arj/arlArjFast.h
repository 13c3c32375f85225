// The decoder of ARJ method 4 ("fastest"): LZ77 over a 32768-byte window with unary-prefixed codes and no
// Huffman tables. A length code is up to 7 leading 1 bits (k, ended by a 0 bit unless there are 7) and k
// further bits: value 2^k - 1 + bits. Value 0 announces an 8-bit literal; otherwise the match length is
// value + 2 and a position code follows: up to 4 leading 1 bits (k) and 9 + k further bits, position
// 2^(9+k) - 512 + bits, the copy starting position + 1 bytes back.
//
// It knows nothing of archives (the ARJ reader deciphers and counts the CRC). What it checks: a match may
// not reach before the first byte produced; output stops at the declared size; data that ends early ends
// the decoding (lrUnexpectedEnd).
//
// A TArjFastDecoder makes its window for each Decode call; one call runs at a time on one thread.
#pragma once

#include <cstdint>

#include "archive/lzh/arlLzhBits.h"

class TArjFastDecoder {
 public:
  static constexpr int32_t kWindowSize = 32768;
  static constexpr int kMaxLengthOnes = 7;    // leading 1 bits of a length code
  static constexpr int kPositionBase = 9;     // bits of the shortest position code
  static constexpr int kMaxPositionOnes = 4;  // leading 1 bits of a position code
  static constexpr int kMinMatch = 3;

  // Reads at most PackedSize bytes from Source (in chunks of at most the window size) and writes exactly
  // UnpackedSize bytes to Sink on success; on failure what was decoded before the fault.
  TLzhResult Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize, const TLzhSink& Sink);
  int64_t Produced() const { return Produced_; }

 private:
  int64_t Produced_ = 0;
};
