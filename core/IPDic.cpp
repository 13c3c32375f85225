#include "core/IPDic.h"

void TIntPtrDic::WriteData(TVStream& stream, const TIntPtrData& data) const {
  stream.WriteInt32(data.Key);
  stream.WriteInt32(static_cast<int32_t>(reinterpret_cast<intptr_t>(data.Value)));
}

void TIntPtrDic::ReadData(TVStream& stream, TIntPtrData& data) const {
  data.Key = stream.ReadInt32();
  data.Value = reinterpret_cast<void*>(static_cast<intptr_t>(stream.ReadInt32()));
}
