#include "platform/unace/AceSound.h"

#include <bit>
#include <cstdlib>

namespace {

constexpr int kRunLengthCodes = 32;               // codes below this start a run of zeros
constexpr int kTypeCode = 256 + kRunLengthCodes;  // a mode switch
constexpr int kNumCodes = kTypeCode + 1;
constexpr int kMaxCodeWidth = 10;
constexpr int kBlockSizeBits = 15;
constexpr int kAdaptThreshold = 40;
// Channels per mode, and which channel each byte of a group of four belongs to.
constexpr int kChannelsOf[4] = {1, 2, 3, 3};
constexpr int kChannelOfByte[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 0, 2}, {1, 0, 2, 0}};

// A value taken as a signed byte.
int SignedByte(int V) { return ((V + 128) & 0xFF) - 128; }

// Arithmetic shift right of a signed value, rounding down.
int FloorShift3(int V) { return V >= 0 ? V >> 3 : -((-V + 7) >> 3); }

}  // namespace

TAceSound::TAceSound() {
  Quantizer_[0] = 0;
  for (int I = 1; I <= 128; ++I) {
    const auto W = static_cast<uint8_t>(std::bit_width(static_cast<unsigned>(I)));
    Quantizer_[I] = W;
    Quantizer_[256 - I] = W;
  }
  Reinit(TAceMode::Sound8);
}

void TAceSound::Reinit(uint8_t M) {
  Mode_ = M - TAceMode::Sound8;
  if (Mode_ < 0 || Mode_ > 3) throw TAceDataError("unknown sound mode");
  for (int I = 0; I < 3; ++I) {
    Channels_[I] = TChannel();
    Channels_[I].Index = I;
  }
  Models_.assign(static_cast<size_t>(kChannelsOf[Mode_] * 3), TAceHuffman());
  BlockLeft_ = 0;
}

int TAceSound::Symbol(TAceBitReader& Bits, int Model) {
  if (BlockLeft_ == 0) {
    for (auto& M : Models_) M.ReadTable(Bits, kMaxCodeWidth, kNumCodes);
    BlockLeft_ = Bits.Read(kBlockSizeBits);
  }
  // A block of size 0 never ends: the count goes below zero and the tables stay.
  --BlockLeft_;
  if (Model >= static_cast<int>(Models_.size())) throw TAceDataError("sound channel out of range");
  const int S = Models_[static_cast<size_t>(Model)].Decode(Bits);
  if (S >= kNumCodes) throw TAceDataError("sound symbol out of range");
  return S;
}

std::optional<int> TAceSound::Next(TChannel& C, TAceBitReader& Bits, std::optional<TAceMode>& Switch) {
  if (C.State != 2) {
    int Model = C.State << 1;
    if (Model == 0) Model += C.AdaptUse;
    Model += 3 * C.Index;
    C.Code = Symbol(Bits, Model);
    if (C.Code == kTypeCode) {
      Switch = TAceMode::Read(Bits);
      return std::nullopt;
    }
  }
  int Value = 0;
  if (C.State == 0) {
    if (C.Code >= kRunLengthCodes) {
      Value = C.Code - kRunLengthCodes;
      C.AdaptCount = ((C.AdaptCount * 7) >> 3) + Value;
      C.AdaptUse = C.AdaptCount > kAdaptThreshold ? 1 : 0;
    } else {
      C.State = 2;
    }
  } else if (C.State == 1) {
    Value = C.Code;
    C.State = 0;
  }
  if (C.State == 2) {
    if (C.Code == 0)
      C.State = 1;
    else
      --C.Code;
    Value = 0;
  }
  return (Value & 1) ? 255 - (Value >> 1) : Value >> 1;
}

int TAceSound::Predicted(const TChannel& C) {
  const int Sum = 8 * C.LastByte + C.Coefficients[0] * C.Differences[0] +
                  C.Coefficients[1] * C.Differences[1] + C.Coefficients[2] * C.Differences[2] +
                  C.Coefficients[3] * C.Differences[3];
  return FloorShift3(Sum) & 0xFF;
}

int TAceSound::Predict(const TChannel& C) const {
  return C.PredictionCount[0] > C.PredictionCount[1] ? C.LastByte : Predicted(C);
}

void TAceSound::Adjust(TChannel& C, int Byte) {
  ++C.ByteCount;
  // Samples and their differences are signed bytes.
  const int Difference = SignedByte(Predicted(C) - Byte) * 8;
  for (int K = 0; K < 4; ++K) {
    C.Errors[2 * K] += std::abs(Difference - C.Differences[K]);
    C.Errors[2 * K + 1] += std::abs(Difference + C.Differences[K]);
  }
  C.Errors[8] += std::abs(Difference);
  C.PredictionCount[0] += Quantizer_[(Difference / 8) & 0xFF];
  C.PredictionCount[1] += Quantizer_[(C.LastByte - Byte) & 0xFF];
  C.LastDelta = SignedByte(Byte - C.LastByte);
  C.LastByte = Byte;
  if ((C.ByteCount & 0x1F) == 0) {
    // Every 32 bytes the coefficient whose change would have helped most moves one step.
    int Min = 0xFFFF, MinPos = 8;
    for (int I = 8; I >= 0; --I) {
      if (C.Errors[I] <= Min) {
        Min = C.Errors[I];
        MinPos = I;
      }
      C.Errors[I] = 0;
    }
    if (MinPos != 8) {
      const int I = MinPos >> 1;
      if ((MinPos & 1) == 0) {
        if (C.Coefficients[I] >= -16) --C.Coefficients[I];
      } else if (C.Coefficients[I] <= 16) {
        ++C.Coefficients[I];
      }
    }
    if ((C.ByteCount & 0xFF) == 0)
      for (int I = 0; I < 2; ++I) {
        C.PredictionCount[I] -= C.LastPredictionCount[I];
        C.LastPredictionCount[I] = C.PredictionCount[I];
      }
  }
  C.Differences[3] = C.Differences[2];
  C.Differences[2] = C.Differences[1];
  C.Differences[1] = C.LastDelta - C.Differences[0];
  C.Differences[0] = C.LastDelta;
}

std::optional<TAceMode> TAceSound::Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out) {
  const size_t Count = Want & ~size_t{3};
  for (size_t I = 0; I < Count; ++I) {
    TChannel& C = Channels_[kChannelOfByte[Mode_][I % 4]];
    std::optional<TAceMode> Switch;
    const std::optional<int> Value = Next(C, Bits, Switch);
    if (!Value) return Switch;
    const int Sample = (*Value + Predict(C)) & 0xFF;
    Out.push_back(static_cast<uint8_t>(Sample));
    Adjust(C, Sample);
  }
  return std::nullopt;
}
