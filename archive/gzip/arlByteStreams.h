// The byte input and the capped output that the LZW and ARC decoders share: TByteInput takes compressed
// bytes from a source a chunk at a time, never more than a declared size; TCappedOutput gathers decoded
// bytes for a sink and refuses every byte beyond a cap (the declared size of an entry, the largest item).
//
// Both belong to one decoding call on one thread; the source and the sink must outlive them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/lzh/arlLzhBits.h"

class TByteInput {
 public:
  // Reads at most Limit bytes of Source (a negative Limit: as many as it gives), Chunk at a time.
  TByteInput(const TLzhSource& Source, int64_t Limit, int32_t Chunk)
      : FSource(Source),
        FLeft(Limit < 0 ? INT64_MAX : Limit),
        FBuffer(static_cast<size_t>(std::max(Chunk, 1))) {}

  // The next byte; false at the end of the data.
  bool Get(uint8_t& B) {
    if (FPos == FLen && !Refill()) return false;
    B = FBuffer[FPos++];
    return true;
  }
  // Up to Count bytes into Out; fewer at the end of the data.
  int32_t Take(uint8_t* Out, int32_t Count) {
    int32_t Got = 0;
    while (Got < Count && (FPos < FLen || Refill())) {
      const int32_t N = std::min(Count - Got, FLen - FPos);
      std::memcpy(Out + Got, FBuffer.data() + FPos, static_cast<size_t>(N));
      FPos += N;
      Got += N;
    }
    return Got;
  }

 private:
  bool Refill() {
    if (FLeft <= 0 || !FSource) return false;
    const auto Want = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), FLeft));
    FLen = std::clamp(FSource(FBuffer.data(), Want), 0, Want);
    FPos = 0;
    FLeft = FLen > 0 ? FLeft - FLen : 0;
    return FLen > 0;
  }
  const TLzhSource& FSource;
  int64_t FLeft;
  std::vector<uint8_t> FBuffer;
  int32_t FPos = 0;
  int32_t FLen = 0;
};

class TCappedOutput {
 public:
  // Hands the bytes to Sink Chunk at a time; Cap bytes at most.
  TCappedOutput(const TLzhSink& Sink, int64_t Cap, int32_t Chunk)
      : FSink(Sink), FCap(std::max<int64_t>(Cap, 0)), FBuffer(static_cast<size_t>(std::max(Chunk, 1))) {}

  // False, with nothing kept, once the cap is reached.
  bool Put(uint8_t B) {
    if (FCount >= FCap) return false;
    FBuffer[FPos++] = B;
    ++FCount;
    if (FPos == static_cast<int32_t>(FBuffer.size())) Flush();
    return true;
  }
  bool Full() const { return FCount >= FCap; }
  int64_t Count() const { return FCount; }
  // Hands what is gathered to the sink.
  void Flush() {
    if (FPos > 0 && FSink) FSink(FBuffer.data(), FPos);
    FPos = 0;
  }

 private:
  const TLzhSink& FSink;
  int64_t FCap;
  std::vector<uint8_t> FBuffer;
  int32_t FPos = 0;
  int64_t FCount = 0;
};
