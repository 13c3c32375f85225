#include "archive/lzh/arlLzhItem.h"

#include <algorithm>

#include "archive/arlBase.h"

TLzhResult DecodeLzhItem(TZipCommon& Owner, TStream32* In, int64_t PackedSize, int64_t UnpackedSize,
                         int CrcKind, bool Decrypt, const TLzhDecodeFn& Decode) {
  int64_t Done = 0;
  auto Source = [&](uint8_t* Buffer, int32_t Count) -> int32_t {
    if (Owner.GetCancel()) return 0;
    const int32_t N = Owner.ReadBlock(In, Buffer, Count, ckNone, Decrypt);
    Done += N;
    Owner.BytesToDo = std::max<int64_t>(Owner.BytesToDo - N, 0);
    Owner.UpdateProgress(Done, Owner.TotalPacked, PackedSize);
    return N;
  };
  auto Sink = [&](const uint8_t* Buffer, int32_t Count) { Owner.WriteBlock(Buffer, Count, true, CrcKind); };
  return Decode(Source, PackedSize, UnpackedSize, Sink);
}

bool DecodeItemData(TUnBase& Owner, TStream32& In, int64_t DataPos, int64_t PackedSize, int64_t UnpackedSize,
                    int CrcKind, bool Decrypt, const TLzhDecodeFn& Decode) {
  const std::string& Name = Owner.Item.Name;
  try {
    In.SetPosition(DataPos);
  } catch (const EStreamError&) {
    Owner.DoError(Name, "", errReadingFile);
    return false;
  }
  try {
    int32_t Error = 0;
    if (!Decode) {
      if (Owner.CopyStored(&In, PackedSize, CrcKind, Decrypt) != 0) Error = errReadingFile;
    } else {
      Error = LzhResultError(DecodeLzhItem(Owner, &In, PackedSize, UnpackedSize, CrcKind, Decrypt, Decode));
    }
    if (Error == 0) return true;
    Owner.DoError(Name, "", Error);
  } catch (const E_RAISE& E) {
    if (!E.Reported) Owner.DoError(Name, "", E.ErrorCode);
  }
  return false;
}

int32_t LzhResultError(TLzhResult Result) {
  switch (Result) {
    case lrOk:
      return 0;
    case lrBadHuffmanCode:
      return errBadHuffmanCode;
    case lrCorruptInput:
      return errCorruptInput;
    case lrUnexpectedEnd:
      break;
  }
  return errReadingFile;
}
