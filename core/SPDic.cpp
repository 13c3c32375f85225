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
  WriteValue32(stream, data.Value);
}

void TStrPtrDic::ReadData(TVStream& stream, TStrPtrData& data) const {
  data.Key = stream.ReadString();
  data.Value = ReadValue32(stream);
}

void TStrPtrDic::GetKeys(TStrLst& keys) const { FillKeys(keys); }

void TStrPtrDic::GetKeysAndValues(TStrLst& keys, TPointerVector& values) const {
  FillKeysAndValues(keys, values);
}
