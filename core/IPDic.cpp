#include "core/IPDic.h"

void TIntPtrDic::WriteData(TVStream& Stream, const TIntPtrData& Data) const {
  Stream.WriteInt32(Data.Key);
  WriteValue32(Stream, Data.Value);
}

void TIntPtrDic::ReadData(TVStream& Stream, TIntPtrData& Data) const {
  Data.Key = Stream.ReadInt32();
  Data.Value = ReadValue32(Stream);
}
