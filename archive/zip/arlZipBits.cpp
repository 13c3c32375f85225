#include "archive/zip/arlZipBits.h"

#include <algorithm>

// --- TZipBitReader ----------------------------------------------------------------------------------------

TZipBitReader::TZipBitReader(TZipReadFunc Read, int64_t CompressedSize)
    : Read_(std::move(Read)),
      Remaining_(std::max<int64_t>(CompressedSize, 0)),
      Buffer_(new uint8_t[kBufferSize]) {}

bool TZipBitReader::Fill() {
  if (Pos_ >= Len_) {
    if (End_ || Remaining_ <= 0) {
      End_ = true;
      return false;
    }
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(Remaining_, kBufferSize));
    const int32_t Got = Read_(Buffer_.get(), Want);
    if (Got <= 0) {
      End_ = true;
      return false;
    }
    Len_ = std::min(Got, Want);
    Pos_ = 0;
    Remaining_ -= Len_;
  }
  Bits_ |= static_cast<uint32_t>(Buffer_[Pos_++]) << Count_;
  Count_ += 8;
  return true;
}

int32_t TZipBitReader::ReadBits(int N) {
  while (Count_ < N)
    if (!Fill()) return -1;
  const int32_t Value = static_cast<int32_t>(Bits_ & ((1u << N) - 1));
  Bits_ >>= N;
  Count_ -= N;
  return Value;
}

bool TZipBitReader::AtEnd() { return Count_ == 0 && !Fill(); }

// --- TZipOutput -------------------------------------------------------------------------------------------

TZipOutput::TZipOutput(TZipWriteFunc Write, int64_t Expected, int32_t WindowSize)
    : Write_(std::move(Write)), Expected_(std::max<int64_t>(Expected, 0)) {
  Buffer_.reserve(kBufferSize);
  if (WindowSize > 0) {
    Window_.assign(static_cast<size_t>(WindowSize), 0);
    WindowMask_ = static_cast<uint32_t>(WindowSize) - 1;
  }
}

void TZipOutput::Put(uint8_t B) {
  if (Produced_ >= Expected_) throw E_RAISE(errBadBlock);
  ++Produced_;
  Buffer_.push_back(B);
  if (!Window_.empty()) {
    Window_[WindowPos_] = B;
    WindowPos_ = (WindowPos_ + 1) & WindowMask_;
  }
  if (static_cast<int32_t>(Buffer_.size()) == kBufferSize) Flush();
}

void TZipOutput::Copy(uint32_t Distance, uint32_t Length) {
  if (Distance == 0 || Distance > Window_.size()) throw E_RAISE(errBadBlock);
  for (uint32_t I = 0; I < Length; ++I) Put(Window_[(WindowPos_ - Distance) & WindowMask_]);
}

void TZipOutput::Flush() {
  if (Buffer_.empty()) return;
  // Emptied also when the write raises: the same bytes must not go out again at the next flush.
  try {
    Write_(Buffer_.data(), static_cast<int32_t>(Buffer_.size()));
  } catch (...) {
    Buffer_.clear();
    throw;
  }
  Buffer_.clear();
}
