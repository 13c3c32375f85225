#include "core/SPDic.h"

#include "core/StrLst.h"

int TStrPtrDic::CompareKeys(const std::string& Key1, const std::string& Key2) const {
  return AnsiCompareText(Key1, Key2);
}

int TCaseSensStrPtrDic::CompareKeys(const std::string& Key1, const std::string& Key2) const {
  return AnsiCompareStr(Key1, Key2);
}

void TStrPtrDic::WriteData(TVStream& Stream, const TStrPtrData& Data) const {
  Stream.WriteString(Data.Key);
  WriteValue32(Stream, Data.Value);
}

void TStrPtrDic::ReadData(TVStream& Stream, TStrPtrData& Data) const {
  Data.Key = Stream.ReadString();
  Data.Value = ReadValue32(Stream);
}

void TStrPtrDic::GetKeys(TStrLst& Keys) const { FillKeys(Keys); }

void TStrPtrDic::GetKeysAndValues(TStrLst& Keys, TPointerVector& Values) const {
  FillKeysAndValues(Keys, Values);
}
