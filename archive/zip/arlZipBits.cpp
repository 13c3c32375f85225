#include "archive/zip/arlZipBits.h"

#include <algorithm>

// --- TZipBitReader ----------------------------------------------------------------------------------------

TZipBitReader::TZipBitReader(TZipReadFunc Read, int64_t CompressedSize)
    : read_(std::move(Read)),
      remaining_(std::max<int64_t>(CompressedSize, 0)),
      buffer_(new uint8_t[kBufferSize]) {}

bool TZipBitReader::Fill() {
  if (pos_ >= len_) {
    if (end_ || remaining_ <= 0) {
      end_ = true;
      return false;
    }
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(remaining_, kBufferSize));
    const int32_t Got = read_(buffer_.get(), Want);
    if (Got <= 0) {
      end_ = true;
      return false;
    }
    len_ = std::min(Got, Want);
    pos_ = 0;
    remaining_ -= len_;
  }
  bits_ |= static_cast<uint32_t>(buffer_[pos_++]) << count_;
  count_ += 8;
  return true;
}

int32_t TZipBitReader::ReadBits(int N) {
  while (count_ < N)
    if (!Fill()) return -1;
  const int32_t Value = static_cast<int32_t>(bits_ & ((1u << N) - 1));
  bits_ >>= N;
  count_ -= N;
  return Value;
}

bool TZipBitReader::AtEnd() { return count_ == 0 && !Fill(); }

// --- TZipOutput -------------------------------------------------------------------------------------------

TZipOutput::TZipOutput(TZipWriteFunc Write, int64_t Expected, int32_t WindowSize)
    : write_(std::move(Write)), expected_(std::max<int64_t>(Expected, 0)) {
  buffer_.reserve(kBufferSize);
  if (WindowSize > 0) {
    window_.assign(static_cast<size_t>(WindowSize), 0);
    windowMask_ = static_cast<uint32_t>(WindowSize) - 1;
  }
}

void TZipOutput::Put(uint8_t B) {
  if (produced_ >= expected_) throw E_RAISE(errBadBlock);
  ++produced_;
  buffer_.push_back(B);
  if (!window_.empty()) {
    window_[windowPos_] = B;
    windowPos_ = (windowPos_ + 1) & windowMask_;
  }
  if (static_cast<int32_t>(buffer_.size()) == kBufferSize) Flush();
}

void TZipOutput::Copy(uint32_t Distance, uint32_t Length) {
  if (Distance == 0 || Distance > window_.size()) throw E_RAISE(errBadBlock);
  for (uint32_t I = 0; I < Length; ++I) Put(window_[(windowPos_ - Distance) & windowMask_]);
}

void TZipOutput::Flush() {
  if (buffer_.empty()) return;
  // Emptied also when the write raises: the same bytes must not go out again at the next flush.
  try {
    write_(buffer_.data(), static_cast<int32_t>(buffer_.size()));
  } catch (...) {
    buffer_.clear();
    throw;
  }
  buffer_.clear();
}
