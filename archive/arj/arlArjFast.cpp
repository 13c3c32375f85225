#include "archive/arj/arlArjFast.h"

#include <algorithm>

#include "archive/lzh/arlLzWindow.h"

namespace {
// A unary-prefixed number: up to MaxOnes leading 1 bits (the 0 bit that ends them is consumed, and is
// absent after MaxOnes ones), then Base + ones further bits, added to the sum of the ranges skipped.
int32_t ReadPrefixed(TLzhBitReader& Bits, int Base, int MaxOnes) {
  int Ones = 0;
  while (Ones < MaxOnes && Bits.GetBit()) ++Ones;
  const int Width = Base + Ones;
  const int32_t Skipped = (int32_t{1} << Width) - (int32_t{1} << Base);
  return Skipped + Bits.GetBits(Width);
}
}  // namespace

TLzhResult TArjFastDecoder::Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize,
                                   const TLzhSink& Sink) {
  Produced_ = 0;
  if (UnpackedSize <= 0) return lrOk;
  TLzhBitReader Bits(Source, PackedSize, kWindowSize);
  TLzWindow Window(kWindowSize, Sink);
  TLzhResult Result = lrOk;
  while (Window.Decoded() < UnpackedSize) {
    const int32_t Value = ReadPrefixed(Bits, 0, kMaxLengthOnes);
    if (Value == 0) {
      Window.Put(static_cast<uint8_t>(Bits.GetBits(8)));
    } else {
      const int64_t Length = std::min<int64_t>(Value + kMinMatch - 1, UnpackedSize - Window.Decoded());
      // At most 15872 back: always inside the window once that much was decoded.
      const int64_t Distance = ReadPrefixed(Bits, kPositionBase, kMaxPositionOnes) + 1;
      if (!Window.Copy(Distance, Length)) {
        Result = lrCorruptInput;
        break;
      }
    }
    if (Bits.Overrun()) {
      Result = lrUnexpectedEnd;
      break;
    }
  }
  Window.Flush();
  Produced_ = Window.Written();
  return Result;
}
