#include "core/WSSDic.h"

#include "core/StrLst.h"
#include "core/StrUtils.h"

int TWideStrStrDic::CompareKeys(const std::u16string& Key1, const std::u16string& Key2) {
  const int32_t C = WideStrComp(Key1.c_str(), Key2.c_str());
  return C < 0 ? -1 : C > 0 ? 1 : 0;
}

void TWideStrStrDic::WriteData(TVStream& Stream, const TWideStrStrData& Data) const {
  Stream.WriteWideString(Data.Key);
  Stream.WriteWideString(Data.Value);
}

void TWideStrStrDic::ReadData(TVStream& Stream, TWideStrStrData& Data) const {
  Data.Key = Stream.ReadWideString();
  Data.Value = Stream.ReadWideString();
}

void TWideStrStrDic::GetKeysAndValues(TWideStrLst& Keys, TWideStrLst& Values) const {
  FillKeysAndValues(Keys, Values);
}
