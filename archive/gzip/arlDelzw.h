// The LZW decoder of Unix compress (.Z files), also used by the ARC reader for its "crunched" method 8
// and "squashed" method 9, which are the same code with a fixed largest code width. Codes are read least
// significant bit first in groups of eight codes (as many bytes as the code width); they start 9 bits
// wide and grow by one bit whenever the next free code passes the width's limit, up to the largest width;
// in block mode code 256 resets the table. After a width change or a reset the reader skips to the end of
// the current group, as the encoder does. It knows nothing of archives: it reads compressed bytes from a
// source and hands decoded bytes to a sink.
//
// What the decoder checks, since its input may be hostile:
//   - the largest code width lies between 9 and 16 bits (the tables hold 2^16 entries);
//   - the first code, and the first after a reset, is a literal;
//   - no code lies beyond the next free one (a code equal to it is the previous string plus its own
//     first byte);
//   - a string never unwinds deeper than the table holds, so that no chain of prefixes can run on;
//   - output stops at a cap the caller gives (the declared size of an ARC entry, the largest item).
//
// A TDelzwDecoder owns its tables (allocated when made); one Decode call runs at a time on one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/lzh/arlLzhBits.h"

class TDelzwDecoder {
 public:
  static constexpr int kMinBits = 9;
  static constexpr int kMaxBits = 16;  // the tables hold 2^16 entries
  static constexpr int kClearCode = 256;

  // Bytes of the compress header: the magic 1F 9D and a flags byte.
  static constexpr int kHeaderSize = 3;
  static constexpr uint8_t kBlockModeFlag = 0x80;  // code 256 clears the table
  static constexpr uint8_t kReservedFlags = 0x60;
  static constexpr uint8_t kBitsMask = 0x1F;  // the largest code width

  // MaxBits must be 9 to 16.
  TDelzwDecoder(int MaxBits, bool BlockMode);
  ~TDelzwDecoder();
  TDelzwDecoder(const TDelzwDecoder&) = delete;
  TDelzwDecoder& operator=(const TDelzwDecoder&) = delete;

  // Decodes until the source ends (lrOk) or MaxOutput bytes are produced (lrOk; the rest of the input is
  // not read). A code beyond the next free one, or a first code that is no literal, gives lrCorruptInput
  // with what was decoded before it handed to Sink.
  TLzhResult Decode(const TLzhSource& Source, int64_t MaxOutput, const TLzhSink& Sink);

  // Bytes handed to the sink by the last Decode.
  int64_t Produced() const { return Produced_; }

 private:
  int MaxBits_;
  bool BlockMode_;
  std::unique_ptr<uint16_t[]> Prefix_;
  std::unique_ptr<uint8_t[]> Suffix_;
  std::unique_ptr<uint8_t[]> Stack_;
  int64_t Produced_ = 0;
};

// How a compress header is read.
enum TCompressHeader : uint8_t {
  chOk,
  chNotCompress,   // the magic is not 1F 9D
  chReservedBits,  // a reserved flag is set ("Incomplete code set")
  chBadWidth,      // the largest code width is outside 9 to 16 ("Corrupt input")
};

// Reads the 3-byte header of a compress stream: its largest code width and block mode.
TCompressHeader ReadCompressHeader(const uint8_t* Header, int32_t Length, int& MaxBits, bool& BlockMode);
