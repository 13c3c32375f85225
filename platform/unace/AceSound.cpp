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
  Quantizer[0] = 0;
  for (int i = 1; i <= 128; ++i) {
    const auto W = static_cast<uint8_t>(std::bit_width(static_cast<unsigned>(i)));
    Quantizer[i] = W;
    Quantizer[256 - i] = W;
  }
  Reinit(TAceMode::Sound8);
}

void TAceSound::Reinit(uint8_t M) {
  Mode = M - TAceMode::Sound8;
  if (Mode < 0 || Mode > 3) throw TAceDataError("unknown sound mode");
  for (int i = 0; i < 3; ++i) {
    Channels[i] = TChannel();
    Channels[i].Index = i;
  }
  Models.assign(static_cast<size_t>(kChannelsOf[Mode] * 3), TAceHuffman());
  BlockLeft = 0;
}

int TAceSound::Symbol(TAceBitReader& Bits, int Model) {
  if (BlockLeft == 0) {
    for (auto& M : Models) M.ReadTable(Bits, kMaxCodeWidth, kNumCodes);
    BlockLeft = Bits.Read(kBlockSizeBits);
  }
  // A block of size 0 never ends: the count goes below zero and the tables stay.
  --BlockLeft;
  if (Model >= static_cast<int>(Models.size())) throw TAceDataError("sound channel out of range");
  const int S = Models[static_cast<size_t>(Model)].Decode(Bits);
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
  for (int k = 0; k < 4; ++k) {
    C.Errors[2 * k] += std::abs(Difference - C.Differences[k]);
    C.Errors[2 * k + 1] += std::abs(Difference + C.Differences[k]);
  }
  C.Errors[8] += std::abs(Difference);
  C.PredictionCount[0] += Quantizer[(Difference / 8) & 0xFF];
  C.PredictionCount[1] += Quantizer[(C.LastByte - Byte) & 0xFF];
  C.LastDelta = SignedByte(Byte - C.LastByte);
  C.LastByte = Byte;
  if ((C.ByteCount & 0x1F) == 0) {
    // Every 32 bytes the coefficient whose change would have helped most moves one step.
    int Min = 0xFFFF, MinPos = 8;
    for (int i = 8; i >= 0; --i) {
      if (C.Errors[i] <= Min) {
        Min = C.Errors[i];
        MinPos = i;
      }
      C.Errors[i] = 0;
    }
    if (MinPos != 8) {
      const int i = MinPos >> 1;
      if ((MinPos & 1) == 0) {
        if (C.Coefficients[i] >= -16) --C.Coefficients[i];
      } else if (C.Coefficients[i] <= 16) {
        ++C.Coefficients[i];
      }
    }
    if ((C.ByteCount & 0xFF) == 0)
      for (int i = 0; i < 2; ++i) {
        C.PredictionCount[i] -= C.LastPredictionCount[i];
        C.LastPredictionCount[i] = C.PredictionCount[i];
      }
  }
  C.Differences[3] = C.Differences[2];
  C.Differences[2] = C.Differences[1];
  C.Differences[1] = C.LastDelta - C.Differences[0];
  C.Differences[0] = C.LastDelta;
}

std::optional<TAceMode> TAceSound::Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out) {
  const size_t Count = Want & ~size_t{3};
  for (size_t i = 0; i < Count; ++i) {
    TChannel& C = Channels[kChannelOfByte[Mode][i % 4]];
    std::optional<TAceMode> Switch;
    const std::optional<int> Value = Next(C, Bits, Switch);
    if (!Value) return Switch;
    const int Sample = (*Value + Predict(C)) & 0xFF;
    Out.push_back(static_cast<uint8_t>(Sample));
    Adjust(C, Sample);
  }
  return std::nullopt;
}
