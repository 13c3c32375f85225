#include "platform/unace/AceBits.h"

#include <algorithm>
#include <cstring>

size_t TAceMemorySource::Read(uint8_t* Buf, size_t N) {
  const size_t Take = std::min(N, Left_);
  if (Take > 0) std::memcpy(Buf, Data_, Take);
  Data_ += Take;
  Left_ -= Take;
  return Take;
}

void TAceBitReader::Fill() {
  while (Count_ <= 32) {
    uint32_t Word = 0;
    int Got = 0;
    while (Got < 4 && !Ended_) {
      if (BufPos_ == BufLen_) {
        BufLen_ = In_.Read(Buf_, sizeof(Buf_));
        BufPos_ = 0;
        if (BufLen_ == 0) {
          Ended_ = true;
          break;
        }
      }
      Word |= static_cast<uint32_t>(Buf_[BufPos_++]) << (8 * Got);
      ++Got;
    }
    if (Got == 0) {
      // The reader looks ahead by at most two words; more zero words than that mean the stream was
      // consumed past its end.
      if (++PadWords_ > 3) throw TAceDataError("compressed data ends early");
    }
    Bits_ |= static_cast<uint64_t>(Word) << (32 - Count_);
    Count_ += 32;
  }
}

uint64_t TAceBitReader::ReadGolombRice(int RBits) {
  uint64_t Value = RBits > 0 ? Read(RBits) : 0;
  uint32_t Run = 0;
  while (Read(1) == 1) {
    if (++Run > kMaxUnaryRun) throw TAceDataError("unary code too long");
    Value += uint64_t{1} << RBits;
  }
  return Value;
}

int64_t TAceBitReader::ReadGolombRiceSigned(int RBits) {
  const uint64_t V = ReadGolombRice(RBits);
  return (V & 1) ? -static_cast<int64_t>(V >> 1) - 1 : static_cast<int64_t>(V >> 1);
}

uint32_t TAceBitReader::ReadKnownWidth(int Width) {
  if (Width < 2) return static_cast<uint32_t>(Width);
  return Read(Width - 1) + (1u << (Width - 1));
}

namespace {

// Sorts Keys[Left..Right] by falling key, moving Values along. The order among equal keys is part of
// the format (it decides which symbol gets which code), so this partition scheme must not change.
void SortRange(std::vector<uint8_t>& Keys, std::vector<uint16_t>& Values, int Left, int Right) {
  const uint8_t Pivot = Keys[static_cast<size_t>(Right)];
  int L = Left, R = Right;
  auto Swap = [&](int A, int B) {
    std::swap(Keys[static_cast<size_t>(A)], Keys[static_cast<size_t>(B)]);
    std::swap(Values[static_cast<size_t>(A)], Values[static_cast<size_t>(B)]);
  };
  for (;;) {
    while (L < Right && Keys[static_cast<size_t>(L)] > Pivot) ++L;
    while (R > Left && Keys[static_cast<size_t>(R)] < Pivot) --R;
    if (L <= R) {
      Swap(L, R);
      ++L;
      --R;
    }
    if (L >= R) break;
  }
  if (Left < R) {
    if (Left < R - 1)
      SortRange(Keys, Values, Left, R);
    else if (Keys[static_cast<size_t>(Left)] < Keys[static_cast<size_t>(R)])
      Swap(Left, R);
  }
  if (Right > L) {
    if (L < Right - 1)
      SortRange(Keys, Values, L, Right);
    else if (Keys[static_cast<size_t>(L)] < Keys[static_cast<size_t>(Right)])
      Swap(L, Right);
  }
}

}  // namespace

void AceMakeCodes(int MaxWidth, int Count, std::vector<uint8_t>& Widths, std::vector<uint16_t>& Codes) {
  std::vector<uint8_t> Sorted(Widths);
  std::vector<uint16_t> Symbols(Widths.size());
  for (size_t I = 0; I < Symbols.size(); ++I) Symbols[I] = static_cast<uint16_t>(I);
  if (Count > 0) SortRange(Sorted, Symbols, 0, Count - 1);
  size_t Used = 0;
  while (Used < Sorted.size() && Sorted[Used] != 0) ++Used;
  if (Used < 2) {
    Widths[Symbols[0]] = 1;
    if (Used == 0) Used = 1;
  }
  const uint32_t TableSize = 1u << MaxWidth;
  uint32_t Pos = 0;
  for (size_t I = Used; I-- > 0 && Pos < TableSize;) {
    if (Sorted[I] > MaxWidth) throw TAceDataError("Huffman code too long");
    const uint32_t Span = 1u << (MaxWidth - Sorted[I]);
    if (Pos + Span > TableSize) throw TAceDataError("Huffman codes overflow their table");
    std::fill(Codes.begin() + Pos, Codes.begin() + Pos + Span, Symbols[I]);
    Pos += Span;
  }
}

void TAceHuffman::ReadTable(TAceBitReader& Bits, int Width, int NumCodes) {
  MaxWidth_ = Width;
  Codes_.assign(size_t{1} << Width, 0);
  Widths_.assign(static_cast<size_t>(NumCodes) + 1, 0);

  int NumWidths = static_cast<int>(Bits.Read(9)) + 1;
  NumWidths = std::min(NumWidths, NumCodes + 1);
  const int Lower = static_cast<int>(Bits.Read(4));
  const int Upper = static_cast<int>(Bits.Read(4));

  // The widths are themselves Huffman coded; their table comes first.
  std::vector<uint8_t> WidthWidths(kMaxStoredWidth + 1, 0);
  for (int I = 0; I <= Upper; ++I) WidthWidths[static_cast<size_t>(I)] = static_cast<uint8_t>(Bits.Read(3));
  AceMakeCodes(kMaxWidthOfWidths, Upper + 1, WidthWidths, Codes_);

  int Pos = 0;
  while (Pos < NumWidths) {
    const uint16_t Code = Codes_[Bits.Peek(kMaxWidthOfWidths)];
    Bits.Skip(WidthWidths[Code]);
    if (Code < Upper) {
      Widths_[static_cast<size_t>(Pos++)] = static_cast<uint8_t>(Code);
    } else {
      // The last code is a run of 4..19 unused symbols.
      for (uint32_t Run = Bits.Read(4) + 4; Run > 0 && Pos < NumWidths; --Run)
        Widths_[static_cast<size_t>(Pos++)] = 0;
    }
  }
  // Widths are stored as differences modulo Upper, then raised by Lower.
  if (Upper > 0)
    for (int I = 1; I < NumWidths; ++I)
      Widths_[static_cast<size_t>(I)] = static_cast<uint8_t>(
          (Widths_[static_cast<size_t>(I)] + Widths_[static_cast<size_t>(I - 1)]) % Upper);
  for (int I = 0; I < NumWidths; ++I)
    if (Widths_[static_cast<size_t>(I)] > 0)
      Widths_[static_cast<size_t>(I)] = static_cast<uint8_t>(Widths_[static_cast<size_t>(I)] + Lower);
  AceMakeCodes(MaxWidth_, NumWidths, Widths_, Codes_);
}
