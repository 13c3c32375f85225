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
      : Size_(Size), Data_(new uint8_t[static_cast<size_t>(Size)]), Sink_(Sink) {}

  // Bytes decoded so far, and bytes handed to the sink so far.
  int64_t Decoded() const { return Decoded_; }
  int64_t Written() const { return Written_; }

  void Put(uint8_t B) {
    Data_[Pos_++] = B;
    ++Decoded_;
    if (Pos_ == Size_) Flush();
  }

  // Repeats Length bytes that start Distance bytes back (byte by byte, so that a match may overlap what
  // it writes); false, with nothing written, when Distance reaches before the first byte decoded or
  // beyond the window.
  bool Copy(int64_t Distance, int64_t Length) {
    if (Distance < 1 || Distance > Decoded_ || Distance > Size_) return false;
    int32_t From = Pos_ - static_cast<int32_t>(Distance);
    if (From < 0) From += Size_;
    for (int64_t K = 0; K < Length; ++K) {
      Put(Data_[From]);
      if (++From == Size_) From = 0;
    }
    return true;
  }

  // Hands the bytes gathered since the last hand-over to the sink.
  void Flush() {
    if (Pos_ == 0) return;
    Sink_(Data_.get(), Pos_);
    Written_ += Pos_;
    Pos_ = 0;
  }

 private:
  int32_t Size_;
  std::unique_ptr<uint8_t[]> Data_;
  const TLzhSink& Sink_;
  int32_t Pos_ = 0;
  int64_t Decoded_ = 0;
  int64_t Written_ = 0;
};
