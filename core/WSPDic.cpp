#include "core/WSPDic.h"

#include "core/StrLst.h"
#include "platform/qvnls/Qvnls.h"

int TWideStrPtrDic::CompareKeys(const std::u16string& Key1, const std::u16string& Key2) {
  const int32_t C = qvnls::CompareTextWide(Key1.c_str(), Key2.c_str());
  return C < 0 ? -1 : C > 0 ? 1 : 0;
}

void TWideStrPtrDic::WriteData(TVStream& Stream, const TWideStrPtrData& Data) const {
  Stream.WriteWideString(Data.Key);
  WriteValue32(Stream, Data.Value);
}

void TWideStrPtrDic::ReadData(TVStream& Stream, TWideStrPtrData& Data) const {
  Data.Key = Stream.ReadWideString();
  Data.Value = ReadValue32(Stream);
}

void TWideStrPtrDic::GetKeys(TWideStrLst& Keys) const { FillKeys(Keys); }
