#include "archive/lha/arlLhaHeader.h"

#include <algorithm>
#include <vector>

#include "archive/arlHeaderCursor.h"
#include "archive/arlStreams.h"

namespace {

enum : uint8_t { ehCrc = 0x00, ehFileName = 0x01, ehFolder = 0x02 };

// The extended headers in Bytes from First on, the first of size FirstSize. Names go to H. Sum := the
// bytes they take. CrcAt := the position of the header CRC field in Bytes (-1 when there is none).
// With StepNext given, only the first is read and StepNext := the size of the next.
bool ReadExtHeaders(const std::vector<uint8_t>& Bytes, size_t First, uint16_t FirstSize, TLhaHeader& H,
                    size_t& Sum, int64_t& CrcAt, uint16_t* StepNext = nullptr) {
  THeaderCursor C(Bytes);
  size_t Pos = First;
  uint16_t Size = FirstSize;
  Sum = 0;
  CrcAt = -1;
  for (int32_t I = 0; Size != 0; ++I) {
    if (I >= kMaxExtHeaders || Size < 3 || !C.Seek(Pos) || C.Left() < Size) return false;
    uint8_t Type = 0;
    C.U8(Type);
    const size_t DataLen = Size - 3u;
    std::string Data;
    C.Bytes(DataLen, Data);
    if (Type == ehFileName) H.RawName = Data.substr(0, std::min(Data.find('\0'), kMaxNamePart));
    if (Type == ehFolder) H.RawFolder = Data.substr(0, std::min(Data.find('\0'), kMaxNamePart));
    if (Type == ehCrc && DataLen >= 2) CrcAt = static_cast<int64_t>(Pos + 1);
    C.U16(Size);
    Pos = C.Pos();
    Sum += DataLen + 3;
    if (StepNext) {
      *StepNext = Size;
      break;
    }
  }
  return true;
}

}  // namespace

TLhaReadResult ReadLhaHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize, TLhaHeader& H) {
  H = TLhaHeader();
  H.Pos = Pos;
  const std::vector<uint8_t> Lead = ReadAt(Stream, Pos, kLhaMinHeader);
  if (Lead.empty() || Lead[0] == 0) return lhEnd;
  if (Lead.size() < static_cast<size_t>(kLhaMinHeader)) return lhBad;
  H.Level = Lead[20];

  if (H.Level == 0 || H.Level == 1) {
    H.HeaderSize = Lead[0] + 2;
    if (H.HeaderSize < kLhaMinHeader) return lhBad;
    const std::vector<uint8_t> B = ReadAt(Stream, Pos, static_cast<int32_t>(H.HeaderSize));
    if (B.size() < static_cast<size_t>(H.HeaderSize)) return lhBad;
    uint8_t Sum = 0;
    for (size_t I = 2; I < B.size(); ++I) Sum = static_cast<uint8_t>(Sum + B[I]);
    if (Sum != B[1]) return lhBad;
    THeaderCursor C(B);
    C.Skip(2);
    uint8_t NameLen = 0;
    C.Bytes(5, H.MethodId), C.U32(H.PackedSize), C.U32(H.UnpackedSize), C.U32(H.TimeStamp),
        C.U8(H.Attributes), C.Skip(1), C.U8(NameLen);
    if (!C.Bytes(NameLen, H.RawName) || !C.U16(H.Crc)) return lhBad;
    H.DataPos = Pos + H.HeaderSize;
    H.DataSize = H.PackedSize;
    if (H.Level == 1) {
      uint16_t FirstExt = 0;
      if (!C.U8(H.OsId) || !C.Seek(B.size() - 2) || C.Pos() < 25u + NameLen || !C.U16(FirstExt)) return lhBad;
      // The extended headers follow the header and count in the packed size; each is read by itself.
      const int64_t Limit = std::min<int64_t>(H.DataPos + H.PackedSize, StreamSize);
      std::string BaseName = H.RawName;
      int64_t ExtPos = H.DataPos;
      uint16_t Size = FirstExt;
      for (int32_t I = 0; Size != 0; ++I) {
        if (I >= kMaxExtHeaders || ExtPos + Size > Limit) return lhBad;
        const std::vector<uint8_t> Ext = ReadAt(Stream, ExtPos, Size);
        size_t Used = 0;
        int64_t CrcAt = -1;
        if (Ext.size() < Size || !ReadExtHeaders(Ext, 0, Size, H, Used, CrcAt, &Size)) return lhBad;
        ExtPos += static_cast<int64_t>(Used);
      }
      if (H.RawName.empty()) H.RawName = BaseName;
      H.DataSize -= ExtPos - H.DataPos;
      H.DataPos = ExtPos;
    }
    H.NextPos = Pos + H.HeaderSize + H.PackedSize;
    return lhOk;
  }

  if (H.Level == 2) {
    H.HeaderSize = Lead[0] | (Lead[1] << 8);
    if (H.HeaderSize < kLhaLevel2Base) return lhBad;
    std::vector<uint8_t> B = ReadAt(Stream, Pos, static_cast<int32_t>(H.HeaderSize));
    if (B.size() < static_cast<size_t>(H.HeaderSize)) return lhBad;
    THeaderCursor C(B);
    C.Skip(2);
    uint16_t FirstExt = 0;
    C.Bytes(5, H.MethodId), C.U32(H.PackedSize), C.U32(H.UnpackedSize), C.U32(H.TimeStamp), C.Skip(1),
        C.Skip(1), C.U16(H.Crc), C.U8(H.OsId), C.U16(FirstExt);
    size_t ExtSum = 0;
    int64_t CrcAt = -1;
    if (!ReadExtHeaders(B, kLhaLevel2Base, FirstExt, H, ExtSum, CrcAt)) return lhBad;
    if (CrcAt >= 0) {
      // The header's CRC-16 is taken over the whole header with its own field as zeros.
      const uint16_t Stored =
          static_cast<uint16_t>(B[static_cast<size_t>(CrcAt)] | (B[static_cast<size_t>(CrcAt) + 1] << 8));
      B[static_cast<size_t>(CrcAt)] = B[static_cast<size_t>(CrcAt) + 1] = 0;
      uint16_t Crc = 0;
      CrcUpdate16(B.data(), static_cast<int32_t>(B.size()), Crc);
      if (Crc != Stored) return lhBad;
    }
    H.DataPos = Pos + H.HeaderSize;
    H.DataSize = H.PackedSize;
    H.NextPos = H.DataPos + H.PackedSize;
    return lhOk;
  }
  return lhBad;  // level 3 and beyond are not read
}

int64_t NextPosAfterBadHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize) {
  const std::vector<uint8_t> Lead = ReadAt(Stream, Pos, 28);
  if (Lead.size() < static_cast<size_t>(kLhaMinHeader)) return -1;
  THeaderCursor C(Lead);
  uint32_t Packed = 0;
  C.Skip(7);
  C.U32(Packed);
  int64_t HeaderSize = -1;
  switch (Lead[20]) {
    case 0:
    case 1:
      HeaderSize = Lead[0] + 2;
      break;
    case 2:
      HeaderSize = Lead[0] | (Lead[1] << 8);
      break;
    case 3: {  // a word size of 4, and the header's size as 32 bits at offset 24
      uint32_t Size = 0;
      if (Lead[0] != 4 || Lead[1] != 0 || !C.Seek(24) || !C.U32(Size)) return -1;
      HeaderSize = Size;
      break;
    }
    default:
      return -1;
  }
  if (HeaderSize < kLhaMinHeader || HeaderSize > kMaxSaneHeader) return -1;
  const int64_t Next = Pos + HeaderSize + Packed;
  return Next > StreamSize ? -1 : Next;
}
