// The block-wise static-Huffman LZ decoder of the ARJ methods 1-3, the LHA methods -lh4-, -lh5- and
// -lh6- and ZOO method 2: LZ77 over a window, with literals and match lengths in one Huffman alphabet and
// match positions in a second, both code sets sent at the start of every block. It knows nothing of
// archives: it reads compressed bytes from a source and hands decoded bytes to a sink, and the caller
// (the archive reader) deciphers, counts CRCs and reports.
//
// What the decoder checks, since its input may be hostile:
//   - every table count against its alphabet (pre-tree 19, literal/length 510, positions per caller),
//     every run of zero lengths against the alphabet, every code length against 16 bits;
//   - every set of code lengths must fill the code space exactly: over-subscribed and incomplete sets
//     are refused (lrBadHuffmanCode), so that every bit pattern decodes to exactly one symbol;
//   - a match may not reach before the first byte produced nor further back than the window holds
//     (lrCorruptInput);
//   - output stops at the declared uncompressed size (a match crossing it is cut);
//   - compressed data that ends early ends the decoding (lrUnexpectedEnd) instead of decoding zero bits.
//
// A TLzh3Decoder owns its tables (allocated when made, freed when destroyed: the prepare and release of
// the decoder) and makes its window for each Decode call; one call runs at a time on one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/lzh/arlLzhBits.h"

// What differs between the formats that use the decoder.
struct TLzh3Params {
  int32_t PositionSymbols;  // size of the position alphabet
  int32_t PositionBits;     // bits of the position table's count field
  int32_t WindowSize;       // bytes of history kept (and of output gathered before each write)
};

// The formats' parameter rows.
constexpr TLzh3Params kLzh3Arj{17, 5, 26624};
constexpr TLzh3Params kLzh3Lh4{13, 4, 26624};
constexpr TLzh3Params kLzh3Lh5{14, 4, 26624};
constexpr TLzh3Params kLzh3Lh6{16, 5, 32768};
constexpr TLzh3Params kLzh3Zoo{14, 4, 26624};

class TLzh3Decoder {
 public:
  // Alphabet sizes and field widths fixed by the format.
  static constexpr int kLiteralSymbols = 510;  // NC: 256 literals and match lengths 3 to 256
  static constexpr int kLiteralCountBits = 9;  // CBIT
  static constexpr int kPreTreeSymbols = 19;   // NT
  static constexpr int kPreTreeCountBits = 5;  // TBIT
  static constexpr int kPreTreeSpecial = 3;    // after this many pre-tree lengths a 2-bit zero run follows
  static constexpr int kMaxCodeLength = 16;
  // Position symbol j carries j - 1 further bits, read at most 16 at a time; the largest row (ARJ) has 17.
  static constexpr int kMaxPositionSymbols = 17;
  static constexpr int kMinMatch = 3;
  static constexpr int32_t kMaxWindow = 65536;

  // Params must have 1 <= PositionSymbols <= 17, 1 <= PositionBits <= 5 and 1 <= WindowSize <= 65536.
  explicit TLzh3Decoder(const TLzh3Params& Params);
  ~TLzh3Decoder();
  TLzh3Decoder(const TLzh3Decoder&) = delete;
  TLzh3Decoder& operator=(const TLzh3Decoder&) = delete;

  // Decodes one entry: reads at most PackedSize bytes from Source (in chunks of at most the window size)
  // and writes exactly UnpackedSize bytes to Sink on success (fewer on failure: what was decoded before
  // the fault). Sink is called whenever the window fills and once at the end.
  TLzhResult Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize, const TLzhSink& Sink);

  // Bytes handed to the sink by the last Decode.
  int64_t Produced() const { return Produced_; }

 private:
  class THuffTable;
  TLzhResult DecodeBlocks(TLzhBitReader& Bits, int64_t UnpackedSize, const TLzhSink& Sink);
  bool ReadPreLengths(TLzhBitReader& Bits, int Symbols, int CountBits, int Special, THuffTable& Table);
  bool ReadLiteralLengths(TLzhBitReader& Bits);

  TLzh3Params Params_;
  std::unique_ptr<THuffTable> Literal_;   // literals and match lengths
  std::unique_ptr<THuffTable> PreTree_;   // the code of the literal code lengths
  std::unique_ptr<THuffTable> Position_;  // match positions
  int64_t Produced_ = 0;
};
