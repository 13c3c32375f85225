#include "archive/arj/arlArjFast.h"

#include <algorithm>

TArjFastDecoder::TArjFastDecoder() : FWindow(new uint8_t[kWindowSize]) {}

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
  FProduced = 0;
  if (UnpackedSize <= 0) return lrOk;
  TLzhBitReader Bits(Source, PackedSize, kWindowSize);
  uint8_t* Window = FWindow.get();
  int32_t Pos = 0;
  int64_t Out = 0;
  TLzhResult Result = lrOk;

  auto Put = [&](uint8_t B) {
    Window[Pos++] = B;
    if (Pos == kWindowSize) {
      Sink(Window, kWindowSize);
      FProduced += kWindowSize;
      Pos = 0;
    }
  };

  while (Out < UnpackedSize) {
    const int32_t Value = ReadPrefixed(Bits, 0, kMaxLengthOnes);
    if (Value == 0) {
      Put(static_cast<uint8_t>(Bits.GetBits(8)));
      ++Out;
    } else {
      const int64_t Length = std::min<int64_t>(Value + kMinMatch - 1, UnpackedSize - Out);
      const int64_t Distance = ReadPrefixed(Bits, kPositionBase, kMaxPositionOnes) + 1;
      if (Distance > Out) {  // at most 15872, always inside the window
        Result = lrCorruptInput;
        break;
      }
      int32_t From = Pos - static_cast<int32_t>(Distance);
      if (From < 0) From += kWindowSize;
      for (int64_t K = 0; K < Length; ++K) {
        Put(Window[From]);
        if (++From == kWindowSize) From = 0;
      }
      Out += Length;
    }
    if (Bits.Overrun()) {
      Result = lrUnexpectedEnd;
      break;
    }
  }
  if (Pos > 0) {
    Sink(Window, Pos);
    FProduced += Pos;
  }
  return Result;
}
