// TIntPtrDic: a dictionary from signed 32-bit keys to pointer-sized values (not owned), in signed key
// order. The viewer keeps its per-character width cache in it.
#pragma once

#include <cstdint>

#include "core/RBTree.h"

struct TIntPtrData {
  int32_t Key;
  void* Value;
};

class TIntPtrDic : public TDic<TIntPtrData> {
 public:
  int CompareData(const TIntPtrData& A, const TIntPtrData& B) const override {
    return A.Key < B.Key ? -1 : A.Key > B.Key ? 1 : 0;
  }
  // Record: the key and the value as two little-endian Int32. Only values that are 32-bit numbers
  // survive the round trip; a pointer has no meaning outside the process.
  void WriteData(TVStream& Stream, const TIntPtrData& Data) const override;
  void ReadData(TVStream& Stream, TIntPtrData& Data) const override;

  // True when inserted, false when an existing value was replaced.
  bool Put(int32_t Key, void* Value) { return PutEntry(Key, Value) == 1; }
  // The address of the stored value inside its node, or null; valid until that key is deleted.
  void** FindPtr(int32_t Key) {
    TNode* Node = FindKey(Key);
    return Node != nullptr ? &Node->Data.Value : nullptr;
  }
};
