#include "archive/lzh/arlLzhBits.h"

#include <algorithm>
#include <utility>

TLzhBitReader::TLzhBitReader(TLzhSource Source, int64_t PackedSize, int32_t ChunkSize)
    : FSource(std::move(Source)),
      FPackedLeft(std::max<int64_t>(PackedSize, 0)),
      FChunkSize(std::max<int32_t>(ChunkSize, 1)),
      FBuffer(new uint8_t[static_cast<size_t>(FChunkSize)]) {
  Refill();
}

uint8_t TLzhBitReader::NextByte() {
  if (FBufPos == FBufLen) {
    FBufPos = FBufLen = 0;
    if (!FSourceDry && FPackedLeft > 0) {
      const int32_t Want = static_cast<int32_t>(std::min<int64_t>(FChunkSize, FPackedLeft));
      int32_t Got = FSource ? FSource(FBuffer.get(), Want) : 0;
      if (Got <= 0) {
        FSourceDry = true;
      } else {
        Got = std::min(Got, Want);
        FPackedLeft -= Got;
        FBufLen = Got;
      }
    }
    if (FBufLen == 0) return 0;  // past the end: zero bits
  }
  FDataBits += 8;
  return FBuffer[FBufPos++];
}

// Keeps at least 56 bits loaded, so that any request of up to 16 bits is served from FBits.
void TLzhBitReader::Refill() {
  while (FBitCount <= kAccBits - 8) {
    FBits |= static_cast<uint64_t>(NextByte()) << (kAccBits - 8 - FBitCount);
    FBitCount += 8;
  }
}

void TLzhBitReader::Skip(int N) {
  if (N <= 0) return;
  FBits <<= N;
  FBitCount -= N;
  FConsumed += N;
  Refill();
}

uint16_t TLzhBitReader::GetBits(int N) {
  if (N <= 0) return 0;
  const uint16_t V = static_cast<uint16_t>(FBits >> (kAccBits - N));
  Skip(N);
  return V;
}
