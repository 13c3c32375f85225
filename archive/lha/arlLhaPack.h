// The decoder of LHA method -lh1-: LZSS over a 4096-byte window with an adaptive Huffman code for
// literals and match lengths (314 symbols: 256 literals and the lengths 3 to 60) and a fixed code for the
// upper 6 bits of a match position. The tree of 627 nodes (root 626) starts with every frequency 1; each
// decoded symbol raises the frequencies on its path and swaps nodes to keep them sorted, and the tree is
// rebuilt with halved frequencies when the root's reaches 0x8000. The window's first 4036 bytes start as
// spaces, the rest as zeros, and writing starts at 4036.
//
// It knows nothing of archives. Every match lies inside the circular window by construction, so no input
// can reach outside it; output stops at the declared size, and data that ends early ends the decoding
// (lrUnexpectedEnd) instead of decoding zero bits up to that size.
//
// A TLhaPackDecoder owns its tree and buffers; one Decode call runs at a time on one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/lzh/arlLzhBits.h"

class TLhaPackDecoder {
 public:
  static constexpr int kWindowSize = 4096;
  static constexpr int kMaxMatch = 60;
  static constexpr int kThreshold = 2;                           // matches are longer than this
  static constexpr int kSymbols = 256 - kThreshold + kMaxMatch;  // 314
  static constexpr int kNodes = kSymbols * 2 - 1;                // 627
  static constexpr int kRoot = kNodes - 1;                       // 626
  static constexpr uint16_t kMaxFreq = 0x8000;
  static constexpr int32_t kBufferSize = 32768;  // input chunks and output gathering

  TLhaPackDecoder();
  ~TLhaPackDecoder();
  TLzhResult Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize, const TLzhSink& Sink);
  int64_t Produced() const { return Produced_; }

 private:
  void StartHuff();
  void Reconstruct();
  void Update(int Symbol);
  int DecodeChar(TLzhBitReader& Bits);
  int DecodePosition(TLzhBitReader& Bits);

  // freq has a sentinel after the last node; parent covers the nodes and the leaf links (kNodes +
  // symbol).
  uint16_t Freq_[kNodes + 1];
  int16_t Son_[kNodes];
  int16_t Parent_[kNodes + kSymbols];
  std::unique_ptr<uint8_t[]> Output_;
  int64_t Produced_ = 0;
};
