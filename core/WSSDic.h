// TWideStrStrDic: a dictionary from UTF-16 keys to UTF-16 values, ordered by code unit (case-sensitive).
// The settings keep named sets of masks and paths in it and persist it with SaveToStream.
#pragma once

#include <string>

#include "core/RBTree.h"

class TWideStrLst;

struct TWideStrStrData {
  std::u16string Key;
  std::u16string Value;
};

class TWideStrStrDic : public TDic<TWideStrStrData> {
 public:
  // Ordinal order of unsigned 16-bit code units; each key counts only up to its first NUL.
  static int CompareKeys(const std::u16string& Key1, const std::u16string& Key2);

  int CompareData(const TWideStrStrData& A, const TWideStrStrData& B) const override {
    return CompareKeys(A.Key, B.Key);
  }
  // Record: WriteWideString(Key), WriteWideString(Value).
  void WriteData(TVStream& Stream, const TWideStrStrData& Data) const override;
  void ReadData(TVStream& Stream, TWideStrStrData& Data) const override;

  // An existing key gets the new value (0); otherwise a new entry is inserted (1).
  int Put(const std::u16string& Key, const std::u16string& Value) { return PutEntry(Key, Value); }
  // Raises EDicError "Key '<key>' not found" when absent.
  void Delete(const std::u16string& Key) { DeleteKey(Key); }
  const std::u16string& Get(const std::u16string& Key) const { return FindKeyOrRaise(Key)->Data.Value; }
  // Both lists get Count items, in key order.
  void GetKeysAndValues(TWideStrLst& Keys, TWideStrLst& Values) const;
};
