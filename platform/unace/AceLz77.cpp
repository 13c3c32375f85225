#include "platform/unace/AceLz77.h"

#include <algorithm>

namespace {

// The main alphabet: 0..255 literals, 256..259 copies at one of the last four distances, 260..282
// copies whose distance has 0..22 bits, 283 a mode switch.
constexpr int kMaxCodeWidth = 11;
constexpr int kFirstRepeat = 256;
constexpr int kFirstDistance = 260;
constexpr int kTypeCode = kFirstDistance + TAceLz77::kMaxDictionaryBits + 1;
constexpr int kNumMainCodes = kTypeCode + 1;
constexpr int kNumLengthCodes = 255;
// Short copies at long distances are not worth coding: the length grows with the distance.
constexpr uint32_t kMaxDistanceAtLength2 = 255;
constexpr uint32_t kMaxDistanceAtLength3 = 8191;
constexpr int kBlockSizeBits = 15;

}  // namespace

TAceMode TAceMode::Read(TAceBitReader& Bits) {
  TAceMode M;
  M.Mode = static_cast<uint8_t>(Bits.Read(8));
  if (M.Mode == Delta) {
    M.DeltaDistance = static_cast<uint8_t>(Bits.Read(8));
    M.DeltaLength = Bits.Read(17);
  } else if (M.Mode == Exe) {
    M.ExeMode = static_cast<uint8_t>(Bits.Read(8));
  }
  return M;
}

TAceLz77::TAceLz77() : Window_(kWindowSize, 0) { Symbols_.reserve(1u << kBlockSizeBits); }

void TAceLz77::Reinit() {
  Symbols_.clear();
  Modes_.clear();
  SymbolPos_ = ModePos_ = 0;
  std::fill(std::begin(Distances_), std::end(Distances_), 0u);
  PendingLength_ = PendingDistance_ = 0;
}

void TAceLz77::AddToWindow(const uint8_t* Data, size_t N) {
  for (size_t I = 0; I < N; ++I) Put(Data[I]);
}

void TAceLz77::ReadBlock(TAceBitReader& Bits) {
  Main_.ReadTable(Bits, kMaxCodeWidth, kNumMainCodes);
  Lengths_.ReadTable(Bits, kMaxCodeWidth, kNumLengthCodes);
  const uint32_t Count = Bits.Read(kBlockSizeBits);
  Symbols_.clear();
  Modes_.clear();
  SymbolPos_ = ModePos_ = 0;
  for (uint32_t I = 0; I < Count; ++I) {
    const int Code = Main_.Decode(Bits);
    TSymbol S{static_cast<uint16_t>(Code), 0, 0};
    if (Code >= kNumMainCodes) throw TAceDataError("LZ77 symbol out of range");
    if (Code == kTypeCode) {
      Modes_.push_back(TAceMode::Read(Bits));
    } else if (Code >= kFirstRepeat) {
      if (Code >= kFirstDistance) S.Distance = Bits.ReadKnownWidth(Code - kFirstDistance);
      const int Length = Lengths_.Decode(Bits);
      if (Length > kNumLengthCodes) throw TAceDataError("LZ77 length out of range");
      S.Length = static_cast<uint16_t>(Length);
    }
    Symbols_.push_back(S);
  }
}

std::optional<TAceMode> TAceLz77::Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out) {
  size_t Have = 0;
  for (;;) {
    if (Have < Want && PendingLength_ > 0) {
      const uint32_t N = static_cast<uint32_t>(std::min<size_t>(PendingLength_, Want - Have));
      for (uint32_t I = 0; I < N; ++I) {
        const uint8_t B = Window_[(WindowPos_ - PendingDistance_) & (kWindowSize - 1)];
        Put(B);
        Out.push_back(B);
      }
      PendingLength_ -= N;
      Have += N;
      continue;
    }
    if (Have >= Want) {
      // A copy that ran over the request reads the next block at once; a mode switch that is next in
      // the buffer is taken with this output.
      if (PendingLength_ > 0 && SymbolPos_ == Symbols_.size()) ReadBlock(Bits);
      if (SymbolPos_ < Symbols_.size() && Symbols_[SymbolPos_].Code == kTypeCode) {
        ++SymbolPos_;
        return Modes_.at(ModePos_++);
      }
      return std::nullopt;
    }
    if (SymbolPos_ == Symbols_.size()) {
      ReadBlock(Bits);
      continue;
    }
    const TSymbol& S = Symbols_[SymbolPos_++];
    if (S.Code < kFirstRepeat) {
      Put(static_cast<uint8_t>(S.Code));
      Out.push_back(static_cast<uint8_t>(S.Code));
      ++Have;
      continue;
    }
    if (S.Code == kTypeCode) return Modes_.at(ModePos_++);
    uint32_t Length = S.Length;
    uint32_t Distance;
    if (S.Code >= kFirstDistance) {
      Distance = S.Distance;
      std::copy(Distances_ + 1, Distances_ + 4, Distances_);
      Distances_[3] = Distance;
      Length += Distance <= kMaxDistanceAtLength2 ? 2 : Distance <= kMaxDistanceAtLength3 ? 3 : 4;
    } else {
      // One of the last four distances, which becomes the newest.
      const int Back = S.Code - kFirstRepeat;
      const int Index = 3 - Back;
      Distance = Distances_[Index];
      std::copy(Distances_ + Index + 1, Distances_ + 4, Distances_ + Index);
      Distances_[3] = Distance;
      Length += Back > 1 ? 3 : 2;
    }
    // Distances are below 2^22, so a copy stays inside the window.
    PendingDistance_ = Distance + 1;
    PendingLength_ = Length;
  }
}
