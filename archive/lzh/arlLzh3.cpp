#include "archive/lzh/arlLzh3.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "archive/lzh/arlLzWindow.h"

// A canonical Huffman code over up to kLiteralSymbols symbols: codes are given in order of length, and
// within a length in order of symbol (the assignment of the formats' make-table procedure). Codes of up
// to TableBits bits are found by one look-up of the next TableBits bits; longer ones by their length's
// first code. A table can also hold a single symbol that takes no bits at all (the count-0 form).
class TLzh3Decoder::THuffTable {
 public:
  THuffTable(int TableBits) : TableBits_(TableBits), Lookup_(new uint16_t[size_t{1} << TableBits]) {}

  // Lengths[0..Symbols) are 0 (unused) to 16; false when they over-subscribe or do not fill the code
  // space.
  bool Build(const uint8_t* Lengths, int Symbols) {
    Single_ = -1;
    int Count[kMaxCodeLength + 1] = {};
    for (int S = 0; S < Symbols; ++S) Count[Lengths[S]]++;
    uint32_t Space = 0;  // the code space used, in units of 2^-16
    for (int L = 1; L <= kMaxCodeLength; ++L)
      Space += static_cast<uint32_t>(Count[L]) << (kMaxCodeLength - L);
    if (Space != (1u << kMaxCodeLength)) return false;

    // First code (right-aligned to its length) and first index into Sorted_ of every length.
    uint32_t Code = 0;
    int Index = 0;
    for (int L = 1; L <= kMaxCodeLength; ++L) {
      FirstCode_[L] = Code;
      FirstIndex_[L] = Index;
      Count_[L] = Count[L];
      Index += Count[L];
      Code = (Code + static_cast<uint32_t>(Count[L])) << 1;
    }
    int Next[kMaxCodeLength + 1];
    std::copy(std::begin(FirstIndex_), std::end(FirstIndex_), Next);
    for (int S = 0; S < Symbols; ++S)
      if (Lengths[S]) Sorted_[Next[Lengths[S]]++] = static_cast<uint16_t>(S);

    // The look-up table: an entry holds symbol and length for codes of up to TableBits bits, or
    // kLongCode when the code is longer.
    const uint32_t TableSize = 1u << TableBits_;
    std::fill(Lookup_.get(), Lookup_.get() + TableSize, kLongCode);
    for (int L = 1; L <= TableBits_; ++L) {
      for (int I = 0; I < Count_[L]; ++I) {
        const uint32_t First = (FirstCode_[L] + static_cast<uint32_t>(I)) << (TableBits_ - L);
        const uint16_t Entry = static_cast<uint16_t>((Sorted_[FirstIndex_[L] + I] << 5) | L);
        std::fill(Lookup_.get() + First, Lookup_.get() + First + (1u << (TableBits_ - L)), Entry);
      }
    }
    return true;
  }

  // Every code decodes to Symbol and takes no bits.
  void SetSingle(int Symbol) { Single_ = Symbol; }

  // The next symbol, its bits consumed.
  int Decode(TLzhBitReader& Bits) const {
    if (Single_ >= 0) return Single_;
    const uint16_t Next = Bits.Peek16();
    const uint16_t Entry = Lookup_[Next >> (kMaxCodeLength - TableBits_)];
    if (Entry != kLongCode) {
      Bits.Skip(Entry & 31);
      return Entry >> 5;
    }
    for (int L = TableBits_ + 1; L <= kMaxCodeLength; ++L) {
      const uint32_t Code = Next >> (kMaxCodeLength - L);
      if (Code - FirstCode_[L] < static_cast<uint32_t>(Count_[L])) {
        Bits.Skip(L);
        return Sorted_[FirstIndex_[L] + static_cast<int>(Code - FirstCode_[L])];
      }
    }
    // Unreachable for a table that Build accepted: a complete code has a code for every bit pattern.
    assert(false);
    return 0;
  }

 private:
  static constexpr uint16_t kLongCode = 0xFFFF;
  int TableBits_;
  std::unique_ptr<uint16_t[]> Lookup_;
  int Single_ = -1;
  uint32_t FirstCode_[kMaxCodeLength + 1] = {};
  int FirstIndex_[kMaxCodeLength + 1] = {};
  int Count_[kMaxCodeLength + 1] = {};
  uint16_t Sorted_[kLiteralSymbols] = {};
};

namespace {
// Look-up widths of the format: 12 bits for literals and lengths, 8 for the pre-tree and positions.
constexpr int kLiteralTableBits = 12;
constexpr int kSmallTableBits = 8;
}  // namespace

TLzh3Decoder::TLzh3Decoder(const TLzh3Params& Params)
    : Params_(Params),
      Literal_(new THuffTable(kLiteralTableBits)),
      PreTree_(new THuffTable(kSmallTableBits)),
      Position_(new THuffTable(kSmallTableBits)) {
  assert(Params.PositionSymbols >= 1 && Params.PositionSymbols <= kMaxPositionSymbols);
  assert(Params.PositionBits >= 1 && Params.PositionBits <= 5);
  assert(Params.WindowSize >= 1 && Params.WindowSize <= kMaxWindow);
}

TLzh3Decoder::~TLzh3Decoder() = default;

// The lengths of the pre-tree (Special 3) or of the position code (Special -1): a count of CountBits
// bits; 0 means a single symbol given by the next CountBits bits. Each length is 3 bits, 7 continued by
// a run of 1 bits ended by a 0 bit; after the Special-th length a 2-bit count of zero lengths follows.
bool TLzh3Decoder::ReadPreLengths(TLzhBitReader& Bits, int Symbols, int CountBits, int Special,
                                  THuffTable& Table) {
  const int N = Bits.GetBits(CountBits);
  if (N == 0) {
    const int Symbol = Bits.GetBits(CountBits);
    if (Symbol >= Symbols) return false;
    Table.SetSingle(Symbol);
    return true;
  }
  if (N > Symbols) return false;
  static_assert(kPreTreeSymbols >= kMaxPositionSymbols);
  uint8_t Lengths[kPreTreeSymbols] = {};
  int I = 0;
  while (I < N) {
    int Length = Bits.GetBits(3);
    if (Length == 7) {
      while (Bits.GetBit()) {
        if (++Length > kMaxCodeLength) return false;
      }
    }
    Lengths[I++] = static_cast<uint8_t>(Length);
    if (I == Special) {
      const int Zeros = Bits.GetBits(2);
      if (I + Zeros > Symbols) return false;
      I += Zeros;  // the lengths stay 0
    }
    if (Bits.Overrun()) return false;
  }
  return Table.Build(Lengths, Symbols);
}

// The literal/length code lengths: a 9-bit count; 0 means a single symbol given by the next 9 bits.
// Otherwise pre-tree symbols: 0 one zero length, 1 a 4-bit count + 3 zero lengths, 2 a 9-bit count + 20
// zero lengths, n > 2 the length n - 2.
bool TLzh3Decoder::ReadLiteralLengths(TLzhBitReader& Bits) {
  const int N = Bits.GetBits(kLiteralCountBits);
  if (N == 0) {
    const int Symbol = Bits.GetBits(kLiteralCountBits);
    if (Symbol >= kLiteralSymbols) return false;
    Literal_->SetSingle(Symbol);
    return true;
  }
  if (N > kLiteralSymbols) return false;
  uint8_t Lengths[kLiteralSymbols] = {};
  int I = 0;
  while (I < N) {
    int C = PreTree_->Decode(Bits);
    if (C <= 2) {
      const int Zeros = C == 0 ? 1 : C == 1 ? Bits.GetBits(4) + 3 : Bits.GetBits(kLiteralCountBits) + 20;
      if (I + Zeros > kLiteralSymbols) return false;
      I += Zeros;
    } else {
      Lengths[I++] = static_cast<uint8_t>(C - 2);  // C < 19, so at most 16
    }
    if (Bits.Overrun()) return false;
  }
  return Literal_->Build(Lengths, kLiteralSymbols);
}

TLzhResult TLzh3Decoder::Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize,
                                const TLzhSink& Sink) {
  Produced_ = 0;
  if (UnpackedSize <= 0) return lrOk;
  TLzhBitReader Bits(Source, PackedSize, Params_.WindowSize);
  return DecodeBlocks(Bits, UnpackedSize, Sink);
}

TLzhResult TLzh3Decoder::DecodeBlocks(TLzhBitReader& Bits, int64_t UnpackedSize, const TLzhSink& Sink) {
  TLzWindow Window(Params_.WindowSize, Sink);
  uint32_t BlockLeft = 0;
  TLzhResult Result = lrOk;
  while (Window.Decoded() < UnpackedSize) {
    if (BlockLeft == 0) {
      BlockLeft = Bits.GetBits(16);
      if (BlockLeft == 0) {
        Result = lrUnexpectedEnd;
        break;
      }
      if (!ReadPreLengths(Bits, kPreTreeSymbols, kPreTreeCountBits, kPreTreeSpecial, *PreTree_) ||
          !ReadLiteralLengths(Bits) ||
          !ReadPreLengths(Bits, Params_.PositionSymbols, Params_.PositionBits, -1, *Position_)) {
        Result = Bits.Overrun() ? lrUnexpectedEnd : lrBadHuffmanCode;
        break;
      }
    }
    --BlockLeft;
    const int C = Literal_->Decode(Bits);
    if (C < 256) {
      Window.Put(static_cast<uint8_t>(C));
    } else {
      const int64_t Length = std::min<int64_t>(C - 256 + kMinMatch, UnpackedSize - Window.Decoded());
      const int J = Position_->Decode(Bits);
      const int64_t Distance = J == 0 ? 1 : (int64_t{1} << (J - 1)) + Bits.GetBits(J - 1) + 1;
      if (!Window.Copy(Distance, Length)) {
        Result = lrCorruptInput;
        break;
      }
    }
    if (Bits.Overrun()) {
      Result = lrUnexpectedEnd;
      break;
    }
  }
  Window.Flush();
  Produced_ = Window.Written();
  return Result;
}
