// TStrPtrDic: a dictionary from 8-bit keys to pointer-sized values, ordered by the locale's
// case-insensitive comparison; TCaseSensStrPtrDic orders case-sensitively. Values are not owned
// (FreeObjects deletes them on request). The archive layer's extension table and caches, the HTML tag and
// entity tables and the file-type dialog use them.
#pragma once

#include <string>

#include "core/RBTree.h"

class TStrLst;
class TPointerVector;
class TObject;

struct TStrPtrData {
  std::string Key;
  void* Value;
};

class TStrPtrDic : public TDic<TStrPtrData> {
 public:
  // Key order: the locale's case-insensitive comparison of both whole strings. A descendant changes the
  // order by overriding this alone.
  virtual int CompareKeys(const std::string& Key1, const std::string& Key2) const;

  int CompareData(const TStrPtrData& A, const TStrPtrData& B) const final {
    return CompareKeys(A.Key, B.Key);
  }
  // Record: WriteString(Key), WriteInt32(Value). Only values that are 32-bit numbers survive the round
  // trip; a pointer has no meaning outside the process.
  void WriteData(TVStream& Stream, const TStrPtrData& Data) const override;
  void ReadData(TVStream& Stream, TStrPtrData& Data) const override;

  // An existing key gets the new value (0); otherwise a new entry is inserted (1).
  int Put(const std::string& Key, void* Value) { return PutEntry(Key, Value); }
  // Raises EDicError "Key '<key>' not found" when absent.
  void Delete(const std::string& Key) { DeleteKey(Key); }
  // Removes the key when present; never raises.
  bool Remove(const std::string& Key) {
    TNode* Node = FindKey(Key);
    if (Node == nullptr) return false;
    DeleteNode(Node);
    return true;
  }
  // Raises EDicError "Key '<key>' not found" when absent.
  void* Get(const std::string& Key) const { return FindKeyOrRaise(Key)->Data.Value; }
  // The address of the stored value inside its node, or null; valid until that key is deleted.
  void** FindPtr(const std::string& Key) {
    TNode* Node = FindKey(Key);
    return Node != nullptr ? &Node->Data.Value : nullptr;
  }
  // Keys (and values) in key order; the lists get Count items.
  void GetKeys(TStrLst& Keys) const;
  void GetKeysAndValues(TStrLst& Keys, TPointerVector& Values) const;

  // Deletes every non-null value as a T (values must have been stored as T*), in pre-order. The entries
  // stay and hold the stale values, so the caller clears or frees the dictionary next.
  template <class T = TObject>
  void FreeObjects() {
    ForEach([](TStrPtrData& Data) { delete static_cast<T*>(Data.Value); });
  }
};

class TCaseSensStrPtrDic : public TStrPtrDic {
 public:
  // The locale's case-sensitive comparison.
  int CompareKeys(const std::string& Key1, const std::string& Key2) const override;
};
