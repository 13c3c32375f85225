#include "core/WSSDic.h"

#include "core/StrLst.h"
#include "core/StrUtils.h"

int TWideStrStrDic::CompareKeys(const std::u16string& key1, const std::u16string& key2) {
  const int32_t c = WideStrComp(key1.c_str(), key2.c_str());
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void TWideStrStrDic::WriteData(TVStream& stream, const TWideStrStrData& data) const {
  stream.WriteWideString(data.Key);
  stream.WriteWideString(data.Value);
}

void TWideStrStrDic::ReadData(TVStream& stream, TWideStrStrData& data) const {
  data.Key = stream.ReadWideString();
  data.Value = stream.ReadWideString();
}

void TWideStrStrDic::GetKeysAndValues(TWideStrLst& keys, TWideStrLst& values) const {
  FillKeysAndValues(keys, values);
}
