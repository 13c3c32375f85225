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
  static int CompareKeys(const std::u16string& key1, const std::u16string& key2);

  int CompareData(const TWideStrStrData& a, const TWideStrStrData& b) const override {
    return CompareKeys(a.Key, b.Key);
  }
  // Record: WriteWideString(Key), WriteWideString(Value).
  void WriteData(TVStream& stream, const TWideStrStrData& data) const override;
  void ReadData(TVStream& stream, TWideStrStrData& data) const override;

  // An existing key gets the new value (0); otherwise a new entry is inserted (1).
  int Put(const std::u16string& key, const std::u16string& value) { return PutEntry(key, value); }
  // Raises EDicError "Key '<key>' not found" when absent.
  void Delete(const std::u16string& key) { DeleteKey(key); }
  const std::u16string& Get(const std::u16string& key) const { return FindKeyOrRaise(key)->Data.Value; }
  // Both lists get Count items, in key order.
  void GetKeysAndValues(TWideStrLst& keys, TWideStrLst& values) const;
};
