#include "core/WSPDic.h"

#include "core/StrLst.h"
#include "platform/qvnls/Qvnls.h"

int TWideStrPtrDic::CompareKeys(const std::u16string& key1, const std::u16string& key2) {
  const int32_t c = qvnls::CompareTextWide(key1.c_str(), key2.c_str());
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void TWideStrPtrDic::WriteData(TVStream& stream, const TWideStrPtrData& data) const {
  stream.WriteWideString(data.Key);
  WriteValue32(stream, data.Value);
}

void TWideStrPtrDic::ReadData(TVStream& stream, TWideStrPtrData& data) const {
  data.Key = stream.ReadWideString();
  data.Value = ReadValue32(stream);
}

void TWideStrPtrDic::GetKeys(TWideStrLst& keys) const { FillKeys(keys); }
