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
      : Source_(Source),
        Left_(Limit < 0 ? INT64_MAX : Limit),
        Buffer_(static_cast<size_t>(std::max(Chunk, 1))) {}

  // The next byte; false at the end of the data.
  bool Get(uint8_t& B) {
    if (Pos_ == Len_ && !Refill()) return false;
    B = Buffer_[Pos_++];
    return true;
  }
  // Up to Count bytes into Out; fewer at the end of the data.
  int32_t Take(uint8_t* Out, int32_t Count) {
    int32_t Got = 0;
    while (Got < Count && (Pos_ < Len_ || Refill())) {
      const int32_t N = std::min(Count - Got, Len_ - Pos_);
      std::memcpy(Out + Got, Buffer_.data() + Pos_, static_cast<size_t>(N));
      Pos_ += N;
      Got += N;
    }
    return Got;
  }

 private:
  bool Refill() {
    if (Left_ <= 0 || !Source_) return false;
    const auto Want = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(Buffer_.size()), Left_));
    Len_ = std::clamp(Source_(Buffer_.data(), Want), 0, Want);
    Pos_ = 0;
    Left_ = Len_ > 0 ? Left_ - Len_ : 0;
    return Len_ > 0;
  }
  const TLzhSource& Source_;
  int64_t Left_;
  std::vector<uint8_t> Buffer_;
  int32_t Pos_ = 0;
  int32_t Len_ = 0;
};

class TCappedOutput {
 public:
  // Hands the bytes to Sink Chunk at a time; Cap bytes at most.
  TCappedOutput(const TLzhSink& Sink, int64_t Cap, int32_t Chunk)
      : Sink_(Sink), Cap_(std::max<int64_t>(Cap, 0)), Buffer_(static_cast<size_t>(std::max(Chunk, 1))) {}

  // False, with nothing kept, once the cap is reached.
  bool Put(uint8_t B) {
    if (Count_ >= Cap_) return false;
    Buffer_[Pos_++] = B;
    ++Count_;
    if (Pos_ == static_cast<int32_t>(Buffer_.size())) Flush();
    return true;
  }
  bool Full() const { return Count_ >= Cap_; }
  int64_t Count() const { return Count_; }
  // Hands what is gathered to the sink.
  void Flush() {
    if (Pos_ > 0 && Sink_) Sink_(Buffer_.data(), Pos_);
    Pos_ = 0;
  }

 private:
  const TLzhSink& Sink_;
  int64_t Cap_;
  std::vector<uint8_t> Buffer_;
  int32_t Pos_ = 0;
  int64_t Count_ = 0;
};
