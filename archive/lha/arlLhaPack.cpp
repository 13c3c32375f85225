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

TLhaPackDecoder::TLhaPackDecoder() : FOutput(new uint8_t[kBufferSize]) {}
TLhaPackDecoder::~TLhaPackDecoder() = default;

void TLhaPackDecoder::StartHuff() {
  for (int I = 0; I < kSymbols; ++I) {
    FFreq[I] = 1;
    FSon[I] = static_cast<int16_t>(I + kNodes);
    FParent[I + kNodes] = static_cast<int16_t>(I);
  }
  for (int I = 0, J = kSymbols; J <= kRoot; I += 2, ++J) {
    FFreq[J] = static_cast<uint16_t>(FFreq[I] + FFreq[I + 1]);
    FSon[J] = static_cast<int16_t>(I);
    FParent[I] = FParent[I + 1] = static_cast<int16_t>(J);
  }
  FFreq[kNodes] = 0xFFFF;  // sentinel: no frequency passes it
  FParent[kRoot] = 0;
}

// Halves the leaf frequencies (odd values up) and builds the tree again, keeping the frequencies sorted.
void TLhaPackDecoder::Reconstruct() {
  int J = 0;
  for (int I = 0; I < kNodes; ++I) {
    if (FSon[I] >= kNodes) {
      FFreq[J] = static_cast<uint16_t>((FFreq[I] + 1) / 2);
      FSon[J] = FSon[I];
      ++J;
    }
  }
  for (int I = 0, J2 = kSymbols; J2 < kNodes; I += 2, ++J2) {
    const uint16_t F = static_cast<uint16_t>(FFreq[I] + FFreq[I + 1]);
    FFreq[J2] = F;
    int K = J2 - 1;
    while (F < FFreq[K]) --K;
    ++K;
    std::memmove(&FFreq[K + 1], &FFreq[K], static_cast<size_t>(J2 - K) * sizeof(FFreq[0]));
    FFreq[K] = F;
    std::memmove(&FSon[K + 1], &FSon[K], static_cast<size_t>(J2 - K) * sizeof(FSon[0]));
    FSon[K] = static_cast<int16_t>(I);
  }
  for (int I = 0; I < kNodes; ++I) {
    const int K = FSon[I];
    if (K >= kNodes) {
      FParent[K] = static_cast<int16_t>(I);
    } else {
      FParent[K] = FParent[K + 1] = static_cast<int16_t>(I);
    }
  }
}

void TLhaPackDecoder::Update(int Symbol) {
  if (FFreq[kRoot] == kMaxFreq) Reconstruct();
  int C = FParent[Symbol + kNodes];
  do {
    const uint16_t K = ++FFreq[C];
    int L = C + 1;
    if (K > FFreq[L]) {
      while (K > FFreq[++L]) {
      }
      --L;
      FFreq[C] = FFreq[L];
      FFreq[L] = K;

      const int I = FSon[C];
      FParent[I] = static_cast<int16_t>(L);
      if (I < kNodes) FParent[I + 1] = static_cast<int16_t>(L);

      const int J = FSon[L];
      FSon[L] = static_cast<int16_t>(I);
      FParent[J] = static_cast<int16_t>(C);
      if (J < kNodes) FParent[J + 1] = static_cast<int16_t>(C);
      FSon[C] = static_cast<int16_t>(J);
      C = L;
    }
    C = FParent[C];
  } while (C != 0);
}

int TLhaPackDecoder::DecodeChar(TLzhBitReader& Bits) {
  int C = FSon[kRoot];
  while (C < kNodes) C = FSon[C + Bits.GetBit()];
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
  FProduced = 0;
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
      Sink(FOutput.get(), OutLen);
      FProduced += OutLen;
      OutLen = 0;
    }
    FOutput[OutLen++] = B;
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
    Sink(FOutput.get(), OutLen);
    FProduced += OutLen;
  }
  return Result;
}
