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
      : in_(In), out_(Out), table_(kTableSize), stack_(kStackSize) {
    for (int32_t C = 0; C < 256; ++C) table_[C].Char = static_cast<uint8_t>(C);
    RebuildFreeList();
  }

  void Run() {
    if (out_.Complete()) return;
    int32_t Prev = in_.ReadBits(codeSize_);
    if (Prev < 0) return;
    if (Prev >= kControlCode) throw E_RAISE(errBadBlock);
    out_.Put(static_cast<uint8_t>(Prev));
    uint8_t PrevFirst = static_cast<uint8_t>(Prev);
    while (!out_.Complete()) {
      const int32_t Code = in_.ReadBits(codeSize_);
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
    const int32_t Sub = in_.ReadBits(codeSize_);
    if (Sub < 0) return false;
    if (Sub == kSubIncreaseSize) {
      if (codeSize_ >= kMaxCodeSize) throw E_RAISE(errBadBlock);
      ++codeSize_;
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
    if (Code > kControlCode && table_[Code].Parent < 0) {
      // Not yet defined: the previous string followed by its own first character.
      stack_[Depth++] = PrevFirst;
      Cur = Prev;
    }
    while (Cur > kControlCode) {
      const TShrinkEntry& E = table_[Cur];
      if (E.Parent < 0) throw E_RAISE(errBadBlock);  // leads through a freed code
      if (Depth >= kStackSize) {
        out_.Flush();
        throw E_RAISE(errStackOverflow);
      }
      stack_[Depth++] = E.Char;
      Cur = E.Parent;
    }
    if (Cur == kControlCode) throw E_RAISE(errBadBlock);
    const uint8_t First = static_cast<uint8_t>(Cur);
    out_.Put(First);
    while (Depth > 0 && !out_.Complete()) out_.Put(stack_[--Depth]);
    if (Depth > 0) throw E_RAISE(errBadBlock);  // the string runs past the declared size
    return First;
  }

  void AddCode(int32_t Parent, uint8_t Char) {
    if (nextFree_ >= freeCodes_.size()) return;
    const int32_t Code = freeCodes_[nextFree_++];
    table_[Code].Parent = static_cast<int16_t>(Parent);
    table_[Code].Char = Char;
  }

  // Frees every defined code that no defined code names as its parent (the leaves when the clear
  // begins), then offers the free codes lowest first.
  void PartialClear() {
    std::vector<bool> IsParent(kTableSize, false);
    for (int32_t Code = kFirstFreeCode; Code < kTableSize; ++Code)
      if (table_[Code].Parent > kControlCode) IsParent[table_[Code].Parent] = true;
    for (int32_t Code = kFirstFreeCode; Code < kTableSize; ++Code)
      if (!IsParent[Code]) table_[Code] = TShrinkEntry();
    RebuildFreeList();
  }

  void RebuildFreeList() {
    freeCodes_.clear();
    for (int32_t Code = kFirstFreeCode; Code < kTableSize; ++Code)
      if (table_[Code].Parent < 0) freeCodes_.push_back(Code);
    nextFree_ = 0;
  }

  TZipBitReader& in_;
  TZipOutput& out_;
  std::vector<TShrinkEntry> table_;
  std::vector<uint8_t> stack_;
  std::vector<int32_t> freeCodes_;
  size_t nextFree_ = 0;
  int codeSize_ = kInitialCodeSize;
};

}  // namespace

void UnShrink(TZipBitReader& In, TZipOutput& Out) { TUnShrinker(In, Out).Run(); }
