#include "plugins/common/VComUtil.h"

#include <cstdio>
#include <string>

namespace {

std::string ComErrorText(HRESULT Code) {
  if (Code < 0) {
    std::string Text = CfbErrorText(Code);
    if (!Text.empty()) return Text;
  }
  char Text[32];
  std::snprintf(Text, sizeof Text, "OLE/COM error %.8xh", static_cast<unsigned>(Code));
  return Text;
}

}  // namespace

EComError::EComError(HRESULT Code) : Exception(ComErrorText(Code)), ErrorCode(Code) {}

void ComCheck(HRESULT HResult) {
  if (HResult != S_OK) throw EComError(HResult);
}

void ReadOleStreamExact(TCfbStream& Stream, void* Buffer, uint32_t Count) {
  uint32_t Got = 0;
  ComCheck(Stream.Read(Buffer, Count, &Got));
  if (Got < Count) throw EComError(S_FALSE);
}

void SeekOleStream(TCfbStream& Stream, int64_t Position) {
  ComCheck(Stream.Seek(Position, STREAM_SEEK_SET, nullptr));
}
