// TWideStrPtrDic: a dictionary from UTF-16 keys to pointer-sized values (not owned), ordered without case
// by the national-language layer's comparison.
#pragma once

#include <string>

#include "core/RBTree.h"

class TWideStrLst;

struct TWideStrPtrData {
  std::u16string Key;
  void* Value;
};

class TWideStrPtrDic : public TDic<TWideStrPtrData> {
 public:
  // Case-insensitive comparison of the two keys, each up to its first NUL.
  static int CompareKeys(const std::u16string& Key1, const std::u16string& Key2);

  int CompareData(const TWideStrPtrData& A, const TWideStrPtrData& B) const override {
    return CompareKeys(A.Key, B.Key);
  }
  // Record: WriteWideString(Key), WriteInt32(Value). Only values that are 32-bit numbers survive the round
  // trip.
  void WriteData(TVStream& Stream, const TWideStrPtrData& Data) const override;
  void ReadData(TVStream& Stream, TWideStrPtrData& Data) const override;

  // An existing key gets the new value (0); otherwise a new entry is inserted (1).
  int Put(const std::u16string& Key, void* Value) { return PutEntry(Key, Value); }
  // Inserts (1); an existing key keeps its value (0).
  int Add(const std::u16string& Key, void* Value) {
    return TGenericRBTree::Add(TWideStrPtrData{Key, Value}) ? 1 : 0;
  }
  // Raises EDicError "Key '<key>' not found" when absent.
  void Delete(const std::u16string& Key) { DeleteKey(Key); }
  // The address of the stored value inside its node, or null; valid until that key is deleted.
  void** FindPtr(const std::u16string& Key) {
    TNode* Node = FindKey(Key);
    return Node != nullptr ? &Node->Data.Value : nullptr;
  }
  // Keys in key order; the list gets Count items.
  void GetKeys(TWideStrLst& Keys) const;
};
