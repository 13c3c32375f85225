#include "core/IPDic.h"

void TIntPtrDic::WriteData(TVStream& stream, const TIntPtrData& data) const {
  stream.WriteInt32(data.Key);
  WriteValue32(stream, data.Value);
}

void TIntPtrDic::ReadData(TVStream& stream, TIntPtrData& data) const {
  data.Key = stream.ReadInt32();
  data.Value = ReadValue32(stream);
}
