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
  for (int i = 0; i < 128; ++i) BitWidthOf[i] = static_cast<uint8_t>(BitWidth(2 * i));
  for (int i = -128; i < 0; ++i) BitWidthOf[256 + i] = static_cast<uint8_t>(BitWidth(-2 * i - 1));
  for (int i = -255; i <= 255; ++i) {
    int Q;
    if (i <= -kS3)
      Q = -4;
    else if (i <= -kS2)
      Q = -3;
    else if (i <= -kS1)
      Q = -2;
    else if (i <= -1)
      Q = -1;
    else if (i == 0)
      Q = 0;
    else if (i < kS1)
      Q = 1;
    else if (i < kS2)
      Q = 2;
    else if (i < kS3)
      Q = 3;
    else
      Q = 4;
    Quant[255 + i] = static_cast<int8_t>(Q);
  }
}

void TAcePic::Reinit(TAceBitReader& Bits) {
  const uint64_t W = Bits.ReadGolombRice(12);
  const uint64_t P = Bits.ReadGolombRice(2);
  if (W == 0 || W > kMaxWidth) throw TAceDataError("picture line width out of range");
  if (P == 0 || P > kMaxPlanes) throw TAceDataError("picture plane count out of range");
  Width = static_cast<int>(W);
  Planes = static_cast<int>(P);
  Last.assign(static_cast<size_t>(Width + Planes), 0);
  Data.assign(static_cast<size_t>(Width + Planes), 0);
  HaveLeftover = false;
  LeftoverPos = 0;
  for (auto& M : Models) M.assign(kContexts, TContext());
  A = B = C = D = X = 0;
}

int TAcePic::PredictWith(int Predictor) const {
  switch (Predictor) {
    case 0:
      return A;
    case 1:
      return B;
    case 2:
      return (A + B) >> 1;
    default:
      return (A + B - C) & 0xFF;
  }
}

int TAcePic::PixelX(TAceBitReader& Bits, TContext& Ctx) {
  ++Ctx.Used;
  const int RBits = BitWidth(Ctx.Average / Ctx.Used);
  if (RBits > kMaxRiceBits) throw TAceDataError("picture residual too large");
  const int64_t Epsilon = Bits.ReadGolombRiceSigned(RBits);
  const int Pixel = static_cast<int>((PredictWith(Ctx.PredictorNumber) + Epsilon) & 0xFF);
  int Best = 0;
  for (int i = 0; i < 4; ++i) {
    Ctx.ErrorCounters[i] += BitWidthOf[(Pixel - PredictWith(i)) & 0xFF];
    if (i == 0 || Ctx.ErrorCounters[i] < Ctx.ErrorCounters[Best]) Best = i;
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
  const size_t Size = Last.size();
  std::fill(Data.begin(), Data.end(), 0);
  auto LastAt = [&](int i) { return static_cast<int>(Last[(static_cast<size_t>(i) + Size) % Size]); };
  for (int Plane = 0; Plane < Planes; ++Plane) {
    int Model = 0, Predictor = 0;
    if (Plane > 0) {
      Model = 1;
      Predictor = static_cast<int>(Bits.Read(2));
      if (Predictor > 2) throw TAceDataError("picture predictor out of range");
    }
    const int Prev = LastAt(Plane - 1);
    D = LastAt(Plane);
    if (Predictor == 0) {
      A = B = C = X = 0;
    } else {
      A = B = C = X = 128;
      D = (D - (Predictor == 1 ? Prev : (Prev * 11) >> 4) + 128) & 0xFF;
    }
    for (int Col = Plane; Col < Width; Col += Planes) {
      C = A;
      A = D;
      B = X;
      const int Above = LastAt(Planes + Col);
      const int AboveLeft = LastAt(Planes + Col - 1);
      D = Above;
      if (Predictor == 1)
        D -= AboveLeft - 128;
      else if (Predictor == 2)
        D -= ((AboveLeft * 11) >> 4) - 128;
      D &= 0xFF;
      const int Ctx = std::abs(81 * Quant[255 + D - A] + 9 * Quant[255 + A - C] + Quant[255 + C - B]);
      X = PixelX(Bits, Models[Model][static_cast<size_t>(Ctx)]);
      const int Left = Col > 0 ? Data[static_cast<size_t>(Col - 1)] : Data[Size - 1];
      int Value = X;
      if (Predictor == 1)
        Value = (X + Left - 128) & 0xFF;
      else if (Predictor == 2)
        Value = (X + ((Left * 11) >> 4) - 128) & 0xFF;
      Data[static_cast<size_t>(Col)] = static_cast<uint8_t>(Value);
    }
  }
  Last = Data;
}

std::optional<TAceMode> TAcePic::Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out) {
  size_t Have = 0;
  if (HaveLeftover) {
    const size_t N = std::min(Want, static_cast<size_t>(Width) - LeftoverPos);
    Out.insert(Out.end(), Last.begin() + static_cast<std::ptrdiff_t>(LeftoverPos),
               Last.begin() + static_cast<std::ptrdiff_t>(LeftoverPos + N));
    Have += N;
    LeftoverPos += N;
    HaveLeftover = LeftoverPos < static_cast<size_t>(Width);
  }
  while (Have < Want) {
    if (Bits.Read(1) == 0) return TAceMode::Read(Bits);
    Line(Bits);
    const size_t N = std::min(Want - Have, static_cast<size_t>(Width));
    Out.insert(Out.end(), Last.begin(), Last.begin() + static_cast<std::ptrdiff_t>(N));
    Have += N;
    LeftoverPos = N;
    HaveLeftover = N < static_cast<size_t>(Width);
  }
  return std::nullopt;
}
