// The picture mode of the ACE 2.0 decompressor: lines of interleaved planes, each pixel predicted from
// its neighbours in the line above and to the left, with the predictor chosen per context; prediction
// errors are Golomb-Rice coded. Knows nothing of archives.
//
// What is checked: the line width lies in 1..kMaxWidth and the plane count in 1..kMaxPlanes (no
// allocation follows an unchecked field); a predictor number outside 0..2 fails; Golomb-Rice parameters
// are capped so that the counters cannot overflow; output never exceeds what the caller asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/unace/AceBits.h"
#include "platform/unace/AceLz77.h"

class TAcePic {
 public:
  static constexpr uint64_t kMaxWidth = 1u << 20;  // bytes in a line
  static constexpr uint64_t kMaxPlanes = 255;

  TAcePic();
  // Starts the mode: reads the line width and plane count.
  void Reinit(TAceBitReader& Bits);
  // Appends up to Want bytes to Out; stops at a mode switch.
  std::optional<TAceMode> Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out);

 private:
  static constexpr int kContexts = 365;
  struct TContext {
    int64_t Used = 0;
    int PredictorNumber = 0;
    int64_t Average = 4;
    int ErrorCounters[4] = {};
  };
  void Line(TAceBitReader& Bits);
  int PredictWith(int Predictor) const;
  int PixelX(TAceBitReader& Bits, TContext& C);

  uint8_t BitWidthOf_[256];
  int8_t Quant_[511];
  int Width_ = 0, Planes_ = 0;
  std::vector<uint8_t> Last_, Data_;
  size_t LeftoverPos_ = 0;  // bytes of Data[0..Width) not yet given out
  bool HaveLeftover_ = false;
  std::vector<TContext> Models_[2];
  int A_ = 0, B_ = 0, C_ = 0, D_ = 0, X_ = 0;
};
