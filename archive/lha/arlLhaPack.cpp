#include "archive/lha/arlLhaPack.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
// The fixed code of a position's upper 6 bits. The first 8 bits of a position code index two tables:
// the upper 6 bits, and the code's total length (3 to 8 bits), after which length - 2 further bits
// complete the lower 6 bits. Both tables follow from how many of the 64 upper values have each length:
// 1 of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7 and 16 of 8.
struct TPositionTables {
  std::array<uint8_t, 256> Code{};
  std::array<uint8_t, 256> Length{};
  TPositionTables() {
    constexpr struct { int Values, Bits; } kRuns[] = {{1, 3}, {3, 4}, {8, 5}, {12, 6}, {24, 7}, {16, 8}};
    int Index = 0, Upper = 0;
    for (const auto& Run : kRuns) {
      for (int V = 0; V < Run.Values; ++V, ++Upper) {
        for (int K = 0; K < 1 << (8 - Run.Bits); ++K, ++Index) {
          Code[Index] = static_cast<uint8_t>(Upper);
          Length[Index] = static_cast<uint8_t>(Run.Bits);
        }
      }
    }
  }
};
const TPositionTables kPositions;

constexpr int kInitialSpaces = TLhaPackDecoder::kWindowSize - TLhaPackDecoder::kMaxMatch;  // 4036
}  // namespace

TLhaPackDecoder::TLhaPackDecoder() : Output_(new uint8_t[kBufferSize]) {}
TLhaPackDecoder::~TLhaPackDecoder() = default;

void TLhaPackDecoder::StartHuff() {
  for (int I = 0; I < kSymbols; ++I) {
    Freq_[I] = 1;
    Son_[I] = static_cast<int16_t>(I + kNodes);
    Parent_[I + kNodes] = static_cast<int16_t>(I);
  }
  for (int I = 0, J = kSymbols; J <= kRoot; I += 2, ++J) {
    Freq_[J] = static_cast<uint16_t>(Freq_[I] + Freq_[I + 1]);
    Son_[J] = static_cast<int16_t>(I);
    Parent_[I] = Parent_[I + 1] = static_cast<int16_t>(J);
  }
  Freq_[kNodes] = 0xFFFF;  // sentinel: no frequency passes it
  Parent_[kRoot] = 0;
}

// Halves the leaf frequencies (odd values up) and builds the tree again, keeping the frequencies sorted.
void TLhaPackDecoder::Reconstruct() {
  int J = 0;
  for (int I = 0; I < kNodes; ++I) {
    if (Son_[I] >= kNodes) {
      Freq_[J] = static_cast<uint16_t>((Freq_[I] + 1) / 2);
      Son_[J] = Son_[I];
      ++J;
    }
  }
  for (int I = 0, J2 = kSymbols; J2 < kNodes; I += 2, ++J2) {
    const uint16_t F = static_cast<uint16_t>(Freq_[I] + Freq_[I + 1]);
    Freq_[J2] = F;
    int K = J2 - 1;
    while (F < Freq_[K]) --K;
    ++K;
    std::memmove(&Freq_[K + 1], &Freq_[K], static_cast<size_t>(J2 - K) * sizeof(Freq_[0]));
    Freq_[K] = F;
    std::memmove(&Son_[K + 1], &Son_[K], static_cast<size_t>(J2 - K) * sizeof(Son_[0]));
    Son_[K] = static_cast<int16_t>(I);
  }
  for (int I = 0; I < kNodes; ++I) {
    const int K = Son_[I];
    if (K >= kNodes) {
      Parent_[K] = static_cast<int16_t>(I);
    } else {
      Parent_[K] = Parent_[K + 1] = static_cast<int16_t>(I);
    }
  }
}

void TLhaPackDecoder::Update(int Symbol) {
  if (Freq_[kRoot] == kMaxFreq) Reconstruct();
  int C = Parent_[Symbol + kNodes];
  do {
    const uint16_t K = ++Freq_[C];
    int L = C + 1;
    if (K > Freq_[L]) {
      while (K > Freq_[++L]) {
      }
      --L;
      Freq_[C] = Freq_[L];
      Freq_[L] = K;

      const int I = Son_[C];
      Parent_[I] = static_cast<int16_t>(L);
      if (I < kNodes) Parent_[I + 1] = static_cast<int16_t>(L);

      const int J = Son_[L];
      Son_[L] = static_cast<int16_t>(I);
      Parent_[J] = static_cast<int16_t>(C);
      if (J < kNodes) Parent_[J + 1] = static_cast<int16_t>(C);
      Son_[C] = static_cast<int16_t>(J);
      C = L;
    }
    C = Parent_[C];
  } while (C != 0);
}

int TLhaPackDecoder::DecodeChar(TLzhBitReader& Bits) {
  int C = Son_[kRoot];
  while (C < kNodes) C = Son_[C + Bits.GetBit()];
  C -= kNodes;
  Update(C);
  return C;
}

int TLhaPackDecoder::DecodePosition(TLzhBitReader& Bits) {
  int I = Bits.GetBits(8);
  const int Upper = kPositions.Code[I];
  const int Extra = kPositions.Length[I] - 2;
  I = (I << Extra) | Bits.GetBits(Extra);
  return (Upper << 6) | (I & 0x3F);
}

TLzhResult TLhaPackDecoder::Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize,
                                   const TLzhSink& Sink) {
  Produced_ = 0;
  if (UnpackedSize <= 0) return lrOk;
  TLzhBitReader Bits(Source, PackedSize, kBufferSize);
  StartHuff();
  uint8_t Window[kWindowSize];
  std::memset(Window, ' ', kInitialSpaces);
  std::memset(Window + kInitialSpaces, 0, kWindowSize - kInitialSpaces);
  int R = kInitialSpaces;
  int32_t OutLen = 0;
  int64_t Out = 0;
  TLzhResult Result = lrOk;

  auto Put = [&](uint8_t B) {
    if (OutLen == kBufferSize) {
      Sink(Output_.get(), OutLen);
      Produced_ += OutLen;
      OutLen = 0;
    }
    Output_[OutLen++] = B;
    Window[R] = B;
    R = (R + 1) & (kWindowSize - 1);
    ++Out;
  };

  while (Out < UnpackedSize) {
    const int C = DecodeChar(Bits);
    if (C < 256) {
      Put(static_cast<uint8_t>(C));
    } else {
      int From = (R - DecodePosition(Bits) - 1) & (kWindowSize - 1);
      const int64_t Length = std::min<int64_t>(C - 255 + kThreshold, UnpackedSize - Out);
      for (int64_t K = 0; K < Length; ++K) {
        Put(Window[From]);
        From = (From + 1) & (kWindowSize - 1);
      }
    }
    if (Bits.Overrun()) {
      Result = lrUnexpectedEnd;
      break;
    }
  }
  if (OutLen > 0) {
    Sink(Output_.get(), OutLen);
    Produced_ += OutLen;
  }
  return Result;
}
