// The circular window of the LZ decoders of the ARJ and LHA families, which doubles as their output
// buffer: decoded bytes are gathered in it and handed to the sink whenever it fills and at the end. It
// counts the bytes decoded and refuses any match that reaches before the first of them or further back
// than the window holds.
//
// A window belongs to one decoding call on one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/lzh/arlLzhBits.h"

class TLzWindow {
 public:
  // Size is 1 to 65536 bytes; Sink must outlive the window.
  TLzWindow(int32_t Size, const TLzhSink& Sink)
      : FSize(Size), FData(new uint8_t[static_cast<size_t>(Size)]), FSink(Sink) {}

  // Bytes decoded so far, and bytes handed to the sink so far.
  int64_t Decoded() const { return FDecoded; }
  int64_t Written() const { return FWritten; }

  void Put(uint8_t B) {
    FData[FPos++] = B;
    ++FDecoded;
    if (FPos == FSize) Flush();
  }

  // Repeats Length bytes that start Distance bytes back (byte by byte, so that a match may overlap what
  // it writes); false, with nothing written, when Distance reaches before the first byte decoded or
  // beyond the window.
  bool Copy(int64_t Distance, int64_t Length) {
    if (Distance < 1 || Distance > FDecoded || Distance > FSize) return false;
    int32_t From = FPos - static_cast<int32_t>(Distance);
    if (From < 0) From += FSize;
    for (int64_t K = 0; K < Length; ++K) {
      Put(FData[From]);
      if (++From == FSize) From = 0;
    }
    return true;
  }

  // Hands the bytes gathered since the last hand-over to the sink.
  void Flush() {
    if (FPos == 0) return;
    FSink(FData.get(), FPos);
    FWritten += FPos;
    FPos = 0;
  }

 private:
  int32_t FSize;
  std::unique_ptr<uint8_t[]> FData;
  const TLzhSink& FSink;
  int32_t FPos = 0;
  int64_t FDecoded = 0;
  int64_t FWritten = 0;
};
