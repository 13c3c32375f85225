#include "archive/lzh/arlLzhBits.h"

#include <algorithm>
#include <utility>

TLzhBitReader::TLzhBitReader(TLzhSource Source, int64_t PackedSize, int32_t ChunkSize)
    : Source_(std::move(Source)),
      PackedLeft_(std::max<int64_t>(PackedSize, 0)),
      ChunkSize_(std::max<int32_t>(ChunkSize, 1)),
      Buffer_(new uint8_t[static_cast<size_t>(ChunkSize_)]) {
  Refill();
}

uint8_t TLzhBitReader::NextByte() {
  if (BufPos_ == BufLen_) {
    BufPos_ = BufLen_ = 0;
    if (!SourceDry_ && PackedLeft_ > 0) {
      const int32_t Want = static_cast<int32_t>(std::min<int64_t>(ChunkSize_, PackedLeft_));
      int32_t Got = Source_ ? Source_(Buffer_.get(), Want) : 0;
      if (Got <= 0) {
        SourceDry_ = true;
      } else {
        Got = std::min(Got, Want);
        PackedLeft_ -= Got;
        BufLen_ = Got;
      }
    }
    if (BufLen_ == 0) return 0;  // past the end: zero bits
  }
  DataBits_ += 8;
  return Buffer_[BufPos_++];
}

// Keeps at least 56 bits loaded, so that any request of up to 16 bits is served from Bits_.
void TLzhBitReader::Refill() {
  while (BitCount_ <= kAccBits - 8) {
    Bits_ |= static_cast<uint64_t>(NextByte()) << (kAccBits - 8 - BitCount_);
    BitCount_ += 8;
  }
}

void TLzhBitReader::Skip(int N) {
  if (N <= 0) return;
  Bits_ <<= N;
  BitCount_ -= N;
  Consumed_ += N;
  Refill();
}

uint16_t TLzhBitReader::GetBits(int N) {
  if (N <= 0) return 0;
  const uint16_t V = static_cast<uint16_t>(Bits_ >> (kAccBits - N));
  Skip(N);
  return V;
}
