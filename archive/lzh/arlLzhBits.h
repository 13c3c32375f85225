// The bit reader that the LZ decoders of the ARJ and LHA families share (the static-Huffman decoder, the
// ARJ method-4 decoder and the adaptive-Huffman -lh1- decoder): bits are taken most significant first
// from a byte source, through a 16-bit view of the bits that come next.
//
// What it guarantees to a decoder of hostile data:
//   - it reads at most the declared number of compressed bytes from its source, in chunks of at most
//     ChunkSize bytes;
//   - past the end of the compressed data (the declared size, or the source running dry) it supplies zero
//     bits, as the formats' own decoders do, and counts them: Overrun() tells a decoder that it has used
//     more bits than the data holds (beyond a small slack), so that a torn or lying entry ends instead of
//     decoding zeros up to its declared size.
//
// A reader belongs to one decoding call on one thread; the source must live as long as the reader.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// Reads up to Count bytes into Buffer; the bytes read, 0 at the end.
using TLzhSource = std::function<int32_t(uint8_t* Buffer, int32_t Count)>;
// Takes Count decoded bytes. May throw (a failed write ends the decoding).
using TLzhSink = std::function<void(const uint8_t* Buffer, int32_t Count)>;

// How a decoding call ended.
enum TLzhResult : uint8_t {
  lrOk = 0,          // the declared uncompressed size was produced
  lrBadHuffmanCode,  // a code-length table is malformed (counts, runs or lengths out of range,
                     // over-subscribed or incomplete)
  lrCorruptInput,    // a match reaches before the first byte produced or beyond the window
  lrUnexpectedEnd,   // the compressed data ended (or a block size of 0 ended it) short of the size
};

class TLzhBitReader {
 public:
  // Bits a decoder may use beyond the data before Overrun() turns true: the encoders pad their last byte
  // with at most 7 bits; the slack also covers sloppy ones.
  static constexpr int64_t kSlackBits = 16;

  TLzhBitReader(TLzhSource Source, int64_t PackedSize, int32_t ChunkSize);

  // The next 16 bits, without consuming them.
  uint16_t Peek16() const { return static_cast<uint16_t>(Bits_ >> (kAccBits - 16)); }
  // Consumes N bits (0 <= N <= 16).
  void Skip(int N);
  // Reads N bits (0 <= N <= 16) as a number.
  uint16_t GetBits(int N);
  // Reads one bit.
  int GetBit() { return GetBits(1); }

  // More bits were consumed than the compressed data holds (plus kSlackBits).
  bool Overrun() const { return Consumed_ > DataBits_ + kSlackBits; }

 private:
  static constexpr int kAccBits = 64;
  void Refill();
  uint8_t NextByte();

  TLzhSource Source_;
  int64_t PackedLeft_;
  int32_t ChunkSize_;
  std::unique_ptr<uint8_t[]> Buffer_;
  int32_t BufPos_ = 0;
  int32_t BufLen_ = 0;
  bool SourceDry_ = false;
  uint64_t Bits_ = 0;     // the bits that come next, left-aligned
  int BitCount_ = 0;      // how many of Bits_ are loaded
  int64_t DataBits_ = 0;  // bits of real data loaded so far
  int64_t Consumed_ = 0;  // bits consumed so far
};
