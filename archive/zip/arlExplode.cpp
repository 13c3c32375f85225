#include "archive/zip/arlExplode.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int32_t kLiteralSymbols = 256;
constexpr int32_t kSmallSymbols = 64;  // the length and distance trees
constexpr int kMaxCodeLength = 16;
// A length symbol of 63 takes 8 more raw bits.
constexpr int32_t kLongLengthSymbol = 63;

// A decoding tree of 2 x Symbols node numbers, the low half standing for the symbols (leaves) and the high
// half for inner nodes (the root at 2 x Symbols - 2, the others taken downward from it), each of two
// child slots. A slot holds -1 (empty), a symbol (0 .. Symbols-1) or an inner node (Symbols and above).
class TShannonFanoTree {
 public:
  explicit TShannonFanoTree(int32_t Symbols) : Symbols_(Symbols), Nodes_(static_cast<size_t>(Symbols) * 4) {}

  // Reads the transmitted bit lengths and builds the tree.
  void Read(TZipBitReader& In) {
    const int32_t Bytes = In.ReadBits(8);
    if (Bytes < 0) throw E_RAISE(errBadBlock);
    std::vector<uint8_t> Lengths;
    for (int32_t I = 0; I <= Bytes; ++I) {
      const int32_t B = In.ReadBits(8);
      if (B < 0) throw E_RAISE(errBadBlock);
      const int32_t Repeat = (B >> 4) + 1;
      if (static_cast<int32_t>(Lengths.size()) + Repeat > Symbols_) throw E_RAISE(errAmbiguousTree);
      Lengths.insert(Lengths.end(), static_cast<size_t>(Repeat), static_cast<uint8_t>((B & 0x0F) + 1));
    }
    if (static_cast<int32_t>(Lengths.size()) != Symbols_) throw E_RAISE(errAmbiguousTree);
    Build(Lengths);
  }

  // Decodes one symbol, one bit per level from the root.
  int32_t Decode(TZipBitReader& In) const {
    int32_t Node = Root_;
    for (;;) {
      const int32_t Bit = In.ReadBits(1);
      if (Bit < 0) return -1;
      const int32_t Next = Nodes_[static_cast<size_t>(Node) * 2 + static_cast<size_t>(Bit)];
      if (Next < 0) throw E_RAISE(errAmbiguousTree);
      if (Next < Symbols_) return Next;
      Node = Next;
    }
  }

 private:
  // Codes of the format: the (length, symbol) pairs in ascending order of length, then symbol; from the
  // last pair to the first, a 16-bit accumulator grows by 2^(16 - length of the pair before) and each
  // symbol's code is its top Length bits.
  void Build(const std::vector<uint8_t>& Lengths) {
    std::vector<int32_t> Order(static_cast<size_t>(Symbols_));
    for (int32_t S = 0; S < Symbols_; ++S) Order[static_cast<size_t>(S)] = S;
    std::stable_sort(Order.begin(), Order.end(),
                     [&](int32_t A, int32_t B) { return Lengths[A] < Lengths[B]; });

    std::fill(Nodes_.begin(), Nodes_.end(), -1);
    NextInner_ = Symbols_ * 2 - 2;  // the root; inner nodes are taken downward from it
    Root_ = NextInner_--;
    uint32_t Code = 0;
    uint32_t Increment = 0;
    int LastLength = 0;
    for (int32_t I = Symbols_ - 1; I >= 0; --I) {
      const int32_t Symbol = Order[static_cast<size_t>(I)];
      const int Length = Lengths[static_cast<size_t>(Symbol)];
      Code += Increment;
      if (Length != LastLength) {
        LastLength = Length;
        Increment = 1u << (kMaxCodeLength - Length);
      }
      if (Code > 0xFFFF) throw E_RAISE(errAmbiguousTree);  // more codes than lengths allow
      Insert(Symbol, Code >> (kMaxCodeLength - Length), Length);
    }
  }

  void Insert(int32_t Symbol, uint32_t Code, int Length) {
    int32_t Node = Root_;
    for (int Level = Length - 1; Level > 0; --Level) {
      int32_t& Slot = Nodes_[static_cast<size_t>(Node) * 2 + ((Code >> Level) & 1)];
      if (Slot < 0) {
        if (NextInner_ < Symbols_) throw E_RAISE(errAmbiguousTree);
        Slot = NextInner_--;
      } else if (Slot < Symbols_) {
        throw E_RAISE(errAmbiguousTree);  // the path passes through a symbol
      }
      Node = Slot;
    }
    int32_t& Leaf = Nodes_[static_cast<size_t>(Node) * 2 + (Code & 1)];
    if (Leaf >= 0) throw E_RAISE(errAmbiguousTree);
    Leaf = Symbol;
  }

  int32_t Symbols_;
  std::vector<int32_t> Nodes_;
  int32_t Root_ = 0;
  int32_t NextInner_ = 0;
};

}  // namespace

int32_t ExplodeWindowSize(uint16_t Flags) { return (Flags & kImplodeBigWindowFlag) ? 8192 : 4096; }

void Explode(uint16_t Flags, TZipBitReader& In, TZipOutput& Out) {
  const bool LiteralTree = (Flags & kImplodeLiteralTreeFlag) != 0;
  const int LowDistanceBits = (Flags & kImplodeBigWindowFlag) ? 7 : 6;
  const uint32_t MinMatch = LiteralTree ? 3 : 2;

  TShannonFanoTree Literals(kLiteralSymbols), Lengths(kSmallSymbols), Distances(kSmallSymbols);
  if (LiteralTree) Literals.Read(In);
  Lengths.Read(In);
  Distances.Read(In);

  while (!Out.Complete()) {
    const int32_t Flag = In.ReadBits(1);
    if (Flag < 0) return;
    if (Flag == 1) {
      const int32_t Literal = LiteralTree ? Literals.Decode(In) : In.ReadBits(8);
      if (Literal < 0) return;
      Out.Put(static_cast<uint8_t>(Literal));
      continue;
    }
    const int32_t Low = In.ReadBits(LowDistanceBits);
    if (Low < 0) return;
    const int32_t High = Distances.Decode(In);
    if (High < 0) return;
    int32_t Length = Lengths.Decode(In);
    if (Length < 0) return;
    if (Length == kLongLengthSymbol) {
      const int32_t Extra = In.ReadBits(8);
      if (Extra < 0) return;
      Length += Extra;
    }
    const uint32_t Distance =
        ((static_cast<uint32_t>(High) << LowDistanceBits) | static_cast<uint32_t>(Low)) + 1;
    Out.Copy(Distance, static_cast<uint32_t>(Length) + MinMatch);
  }
}
