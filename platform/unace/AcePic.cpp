#include "platform/unace/AcePic.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace {

// Context quantisation thresholds of local gradients.
constexpr int kS1 = 3, kS2 = 7, kS3 = 21;
// Counters are halved after this many uses of a context.
constexpr int64_t kHalveAt = 128;
// The largest Golomb-Rice parameter a sound picture needs (residuals are bytes); more is damage.
constexpr int kMaxRiceBits = 16;

int BitWidth(int64_t V) { return static_cast<int>(std::bit_width(static_cast<uint64_t>(V))); }

}  // namespace

TAcePic::TAcePic() {
  for (int I = 0; I < 128; ++I) BitWidthOf_[I] = static_cast<uint8_t>(BitWidth(2 * I));
  for (int I = -128; I < 0; ++I) BitWidthOf_[256 + I] = static_cast<uint8_t>(BitWidth(-2 * I - 1));
  for (int I = -255; I <= 255; ++I) {
    int Q;
    if (I <= -kS3)
      Q = -4;
    else if (I <= -kS2)
      Q = -3;
    else if (I <= -kS1)
      Q = -2;
    else if (I <= -1)
      Q = -1;
    else if (I == 0)
      Q = 0;
    else if (I < kS1)
      Q = 1;
    else if (I < kS2)
      Q = 2;
    else if (I < kS3)
      Q = 3;
    else
      Q = 4;
    Quant_[255 + I] = static_cast<int8_t>(Q);
  }
}

void TAcePic::Reinit(TAceBitReader& Bits) {
  const uint64_t W = Bits.ReadGolombRice(12);
  const uint64_t P = Bits.ReadGolombRice(2);
  if (W == 0 || W > kMaxWidth) throw TAceDataError("picture line width out of range");
  if (P == 0 || P > kMaxPlanes) throw TAceDataError("picture plane count out of range");
  Width_ = static_cast<int>(W);
  Planes_ = static_cast<int>(P);
  Last_.assign(static_cast<size_t>(Width_ + Planes_), 0);
  Data_.assign(static_cast<size_t>(Width_ + Planes_), 0);
  HaveLeftover_ = false;
  LeftoverPos_ = 0;
  for (auto& M : Models_) M.assign(kContexts, TContext());
  A_ = B_ = C_ = D_ = X_ = 0;
}

int TAcePic::PredictWith(int Predictor) const {
  switch (Predictor) {
    case 0:
      return A_;
    case 1:
      return B_;
    case 2:
      return (A_ + B_) >> 1;
    default:
      return (A_ + B_ - C_) & 0xFF;
  }
}

int TAcePic::PixelX(TAceBitReader& Bits, TContext& Ctx) {
  ++Ctx.Used;
  const int RBits = BitWidth(Ctx.Average / Ctx.Used);
  if (RBits > kMaxRiceBits) throw TAceDataError("picture residual too large");
  const int64_t Epsilon = Bits.ReadGolombRiceSigned(RBits);
  const int Pixel = static_cast<int>((PredictWith(Ctx.PredictorNumber) + Epsilon) & 0xFF);
  int Best = 0;
  for (int I = 0; I < 4; ++I) {
    Ctx.ErrorCounters[I] += BitWidthOf_[(Pixel - PredictWith(I)) & 0xFF];
    if (I == 0 || Ctx.ErrorCounters[I] < Ctx.ErrorCounters[Best]) Best = I;
  }
  if (std::any_of(std::begin(Ctx.ErrorCounters), std::end(Ctx.ErrorCounters),
                  [](int E) { return (E & 0x80) != 0; }))
    for (int& E : Ctx.ErrorCounters) E >>= 1;
  Ctx.PredictorNumber = Best;
  Ctx.Average += Epsilon < 0 ? -Epsilon : Epsilon;
  if (Ctx.Used == kHalveAt) {
    Ctx.Used >>= 1;
    Ctx.Average >>= 1;
  }
  return Pixel;
}

void TAcePic::Line(TAceBitReader& Bits) {
  const size_t Size = Last_.size();
  std::fill(Data_.begin(), Data_.end(), 0);
  auto LastAt = [&](int I) { return static_cast<int>(Last_[(static_cast<size_t>(I) + Size) % Size]); };
  for (int Plane = 0; Plane < Planes_; ++Plane) {
    int Model = 0, Predictor = 0;
    if (Plane > 0) {
      Model = 1;
      Predictor = static_cast<int>(Bits.Read(2));
      if (Predictor > 2) throw TAceDataError("picture predictor out of range");
    }
    const int Prev = LastAt(Plane - 1);
    D_ = LastAt(Plane);
    if (Predictor == 0) {
      A_ = B_ = C_ = X_ = 0;
    } else {
      A_ = B_ = C_ = X_ = 128;
      D_ = (D_ - (Predictor == 1 ? Prev : (Prev * 11) >> 4) + 128) & 0xFF;
    }
    for (int Col = Plane; Col < Width_; Col += Planes_) {
      C_ = A_;
      A_ = D_;
      B_ = X_;
      const int Above = LastAt(Planes_ + Col);
      const int AboveLeft = LastAt(Planes_ + Col - 1);
      D_ = Above;
      if (Predictor == 1)
        D_ -= AboveLeft - 128;
      else if (Predictor == 2)
        D_ -= ((AboveLeft * 11) >> 4) - 128;
      D_ &= 0xFF;
      const int Ctx =
          std::abs(81 * Quant_[255 + D_ - A_] + 9 * Quant_[255 + A_ - C_] + Quant_[255 + C_ - B_]);
      X_ = PixelX(Bits, Models_[Model][static_cast<size_t>(Ctx)]);
      const int Left = Col > 0 ? Data_[static_cast<size_t>(Col - 1)] : Data_[Size - 1];
      int Value = X_;
      if (Predictor == 1)
        Value = (X_ + Left - 128) & 0xFF;
      else if (Predictor == 2)
        Value = (X_ + ((Left * 11) >> 4) - 128) & 0xFF;
      Data_[static_cast<size_t>(Col)] = static_cast<uint8_t>(Value);
    }
  }
  Last_ = Data_;
}

std::optional<TAceMode> TAcePic::Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out) {
  size_t Have = 0;
  if (HaveLeftover_) {
    const size_t N = std::min(Want, static_cast<size_t>(Width_) - LeftoverPos_);
    Out.insert(Out.end(), Last_.begin() + static_cast<std::ptrdiff_t>(LeftoverPos_),
               Last_.begin() + static_cast<std::ptrdiff_t>(LeftoverPos_ + N));
    Have += N;
    LeftoverPos_ += N;
    HaveLeftover_ = LeftoverPos_ < static_cast<size_t>(Width_);
  }
  while (Have < Want) {
    if (Bits.Read(1) == 0) return TAceMode::Read(Bits);
    Line(Bits);
    const size_t N = std::min(Want - Have, static_cast<size_t>(Width_));
    Out.insert(Out.end(), Last_.begin(), Last_.begin() + static_cast<std::ptrdiff_t>(N));
    Have += N;
    LeftoverPos_ = N;
    HaveLeftover_ = N < static_cast<size_t>(Width_);
  }
  return std::nullopt;
}
