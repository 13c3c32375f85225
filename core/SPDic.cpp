#include "core/SPDic.h"

#include "core/StrLst.h"

int TStrPtrDic::CompareKeys(const std::string& key1, const std::string& key2) const {
  return AnsiCompareText(key1, key2);
}

int TCaseSensStrPtrDic::CompareKeys(const std::string& key1, const std::string& key2) const {
  return AnsiCompareStr(key1, key2);
}

void TStrPtrDic::WriteData(TVStream& stream, const TStrPtrData& data) const {
  stream.WriteString(data.Key);
  stream.WriteInt32(static_cast<int32_t>(reinterpret_cast<intptr_t>(data.Value)));
}

void TStrPtrDic::ReadData(TVStream& stream, TStrPtrData& data) const {
  data.Key = stream.ReadString();
  data.Value = reinterpret_cast<void*>(static_cast<intptr_t>(stream.ReadInt32()));
}

void TStrPtrDic::GetKeys(TStrLst& keys) const {
  keys.SetCount(Count());
  int32_t i = 0;
  for (TNode* x = FirstNode(); x != nullptr; x = NextNode(x)) keys.Put(i++, x->Data.Key);
}

void TStrPtrDic::GetKeysAndValues(TStrLst& keys, TPointerVector& values) const {
  keys.SetCount(Count());
  values.SetCount(Count());
  int32_t i = 0;
  for (TNode* x = FirstNode(); x != nullptr; x = NextNode(x), ++i) {
    keys.Put(i, x->Data.Key);
    values.Put(i, x->Data.Value);
  }
}
