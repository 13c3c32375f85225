#include "archive/zip/arlUnShrink.h"

#include <vector>

namespace {

constexpr int kInitialCodeSize = 9;
constexpr int kMaxCodeSize = 13;
constexpr int32_t kTableSize = 1 << kMaxCodeSize;  // 8192 codes
constexpr int32_t kControlCode = 256;
constexpr int32_t kFirstFreeCode = 257;
constexpr int32_t kStackSize = 8192;
constexpr int32_t kSubIncreaseSize = 1;
constexpr int32_t kSubPartialClear = 2;

struct TShrinkEntry {
  int16_t Parent = -1;  // -1: free (a literal has none either)
  uint8_t Char = 0;
};

class TUnShrinker {
 public:
  TUnShrinker(TZipBitReader& In, TZipOutput& Out)
      : In_(In), Out_(Out), Table_(kTableSize), Stack_(kStackSize) {
    for (int32_t C = 0; C < 256; ++C) Table_[C].Char = static_cast<uint8_t>(C);
    RebuildFreeList();
  }

  void Run() {
    if (Out_.Complete()) return;
    int32_t Prev = In_.ReadBits(CodeSize_);
    if (Prev < 0) return;
    if (Prev >= kControlCode) throw E_RAISE(errBadBlock);
    Out_.Put(static_cast<uint8_t>(Prev));
    uint8_t PrevFirst = static_cast<uint8_t>(Prev);
    while (!Out_.Complete()) {
      const int32_t Code = In_.ReadBits(CodeSize_);
      if (Code < 0) return;
      if (Code == kControlCode) {
        if (!Control()) return;
        continue;
      }
      const uint8_t First = Emit(Code, Prev, PrevFirst);
      AddCode(Prev, First);
      Prev = Code;
      PrevFirst = First;
    }
  }

 private:
  // Acts on the code after a control code; false at the end of input.
  bool Control() {
    const int32_t Sub = In_.ReadBits(CodeSize_);
    if (Sub < 0) return false;
    if (Sub == kSubIncreaseSize) {
      if (CodeSize_ >= kMaxCodeSize) throw E_RAISE(errBadBlock);
      ++CodeSize_;
    } else if (Sub == kSubPartialClear) {
      PartialClear();
    } else {
      throw E_RAISE(errBadBlock);
    }
    return true;
  }

  // Writes the string of Code; answers its first character.
  uint8_t Emit(int32_t Code, int32_t Prev, uint8_t PrevFirst) {
    int32_t Depth = 0;
    int32_t Cur = Code;
    if (Code > kControlCode && Table_[Code].Parent < 0) {
      // Not yet defined: the previous string followed by its own first character.
      Stack_[Depth++] = PrevFirst;
      Cur = Prev;
    }
    while (Cur > kControlCode) {
      const TShrinkEntry& E = Table_[Cur];
      if (E.Parent < 0) throw E_RAISE(errBadBlock);  // leads through a freed code
      if (Depth >= kStackSize) {
        Out_.Flush();
        throw E_RAISE(errStackOverflow);
      }
      Stack_[Depth++] = E.Char;
      Cur = E.Parent;
    }
    if (Cur == kControlCode) throw E_RAISE(errBadBlock);
    const uint8_t First = static_cast<uint8_t>(Cur);
    Out_.Put(First);
    while (Depth > 0 && !Out_.Complete()) Out_.Put(Stack_[--Depth]);
    if (Depth > 0) throw E_RAISE(errBadBlock);  // the string runs past the declared size
    return First;
  }

  void AddCode(int32_t Parent, uint8_t Char) {
    if (NextFree_ >= FreeCodes_.size()) return;
    const int32_t Code = FreeCodes_[NextFree_++];
    Table_[Code].Parent = static_cast<int16_t>(Parent);
    Table_[Code].Char = Char;
  }

  // Frees every defined code that no defined code names as its parent (the leaves when the clear
  // begins), then offers the free codes lowest first.
  void PartialClear() {
    std::vector<bool> IsParent(kTableSize, false);
    for (int32_t Code = kFirstFreeCode; Code < kTableSize; ++Code)
      if (Table_[Code].Parent > kControlCode) IsParent[Table_[Code].Parent] = true;
    for (int32_t Code = kFirstFreeCode; Code < kTableSize; ++Code)
      if (!IsParent[Code]) Table_[Code] = TShrinkEntry();
    RebuildFreeList();
  }

  void RebuildFreeList() {
    FreeCodes_.clear();
    for (int32_t Code = kFirstFreeCode; Code < kTableSize; ++Code)
      if (Table_[Code].Parent < 0) FreeCodes_.push_back(Code);
    NextFree_ = 0;
  }

  TZipBitReader& In_;
  TZipOutput& Out_;
  std::vector<TShrinkEntry> Table_;
  std::vector<uint8_t> Stack_;
  std::vector<int32_t> FreeCodes_;
  size_t NextFree_ = 0;
  int CodeSize_ = kInitialCodeSize;
};

}  // namespace

void UnShrink(TZipBitReader& In, TZipOutput& Out) { TUnShrinker(In, Out).Run(); }
