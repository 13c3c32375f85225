// The LZW decoder of ZOO method 1: codes of 9 to 13 bits read least significant bit first as one
// continuous bit stream, code 256 clears the table, code 257 ends the data, the first free code is 258.
// It knows nothing of archives: it reads compressed bytes from a source and hands decoded bytes to a sink.
//
// What the decoder checks, since its input may be hostile:
//   - the first code, and the first after a clear, is a literal;
//   - no code lies beyond the next free one;
//   - the table takes at most kTableSize entries (no entry is added beyond it, whatever the width);
//   - a string unwinds through a stack as deep as the table, so that no chain of prefixes can run on;
//   - output stops at the declared size; data that ends before its end code and short of that size is
//     reported as such.
#pragma once

#include <cstdint>

#include "archive/lzh/arlLzhBits.h"

class TZooLzwDecoder {
 public:
  static constexpr int kMinBits = 9;
  static constexpr int kMaxBits = 13;
  static constexpr int32_t kTableSize = 1 << kMaxBits;
  static constexpr int32_t kClearCode = 256;
  static constexpr int32_t kEndCode = 257;
  static constexpr int32_t kFirstFree = 258;
  static constexpr int32_t kInputChunk = 4092;   // bytes asked of the source at a time
  static constexpr int32_t kOutputChunk = 4096;  // bytes gathered before each hand-over to the sink

  // Decodes from at most PackedSize bytes of Source until the end code, or until UnpackedSize bytes are
  // produced. lrOk when the end code came or the size was reached; lrUnexpectedEnd when the data ran out
  // before either; lrCorruptInput for a code that cannot stand where it stands.
  TLzhResult Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize, const TLzhSink& Sink);
  int64_t Produced() const { return Produced_; }

 private:
  int64_t Produced_ = 0;
};
