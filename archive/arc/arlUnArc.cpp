#include "archive/arc/arlUnArc.h"

#include <algorithm>

#include "archive/arc/arlArcMethods.h"
#include "archive/arc/arlCrc16Item.h"
#include "archive/arlHeaderCursor.h"

namespace {

// An ARC method's failure as the shared item step knows it; the failures it has no code for are
// thrown with the library's own code, which the item step reports.
TLzhResult ToLzhResult(TArcResult R) {
  switch (R) {
    case arOk:
      return lrOk;
    case arUnexpectedEnd:
      return lrUnexpectedEnd;
    case arCorruptInput:
      return lrCorruptInput;
    case arInvalidTree:
      throw E_RAISE(errInvalidDecodeTree);
    case arStackOverflow:
      throw E_RAISE(errStackOverflow);
    case arIncorrectBits:
      throw E_RAISE(errIncorrectBits);
    case arUnsupported:
      break;
  }
  throw E_RAISE(errUnsupportedMethod);
}

}  // namespace

TUnArc::TReadResult TUnArc::ReadHeader(TStream32& Stream, int64_t Pos, THeader& H) {
  H = THeader();
  H.Pos = Pos;
  const std::vector<uint8_t> Raw = ReadAt(Stream, Pos, kHeaderSize);
  if (Raw.empty()) return rrEnd;
  THeaderCursor C(Raw);
  uint8_t Marker = 0;
  C.U8(Marker);
  if (Marker != kMarker) return rrBad;
  if (!C.U8(H.Method)) return rrEnd;
  if (H.Method == 0) return rrEnd;
  const int32_t Size = H.Method == 1 ? kOldHeaderSize : kHeaderSize;
  if (H.Method == kFolderEndMethod) {
    H.DataPos = Pos + 2;  // the end mark of a folder is the two bytes alone
    return rrOk;
  }
  if (Raw.size() < static_cast<size_t>(Size)) return rrBad;
  std::string Name;
  uint16_t Date = 0, Time = 0;
  C.Bytes(kNameField, Name), C.U32(H.PackedSize), C.U16(Date), C.U16(Time), C.U16(H.Crc);
  H.RawName = Name.substr(0, Name.find('\0'));
  H.DosDateTime = (static_cast<uint32_t>(Date) << 16) | Time;
  if (H.Method == 1) {
    H.UnpackedSize = H.PackedSize;
  } else {
    C.U32(H.UnpackedSize);
  }
  H.DataPos = Pos + Size;
  return rrOk;
}

std::string TUnArc::ItemName(const THeader& H) { return H.Folder + ConvertItemName(H.RawName, true); }

void TUnArc::Walk(TStream32& Stream, int64_t StreamSize, std::vector<THeader>& Entries) {
  int64_t Pos = StartOffset > 0 ? StartOffset - 1 : 0;
  std::vector<std::string> Folders;  // the open folders, each with its "/"
  THeader H;
  while (!GetCancel()) {
    const TReadResult R = ReadHeader(Stream, Pos, H);
    if (R == rrEnd) {
      // The end mark is the marker and method 0: a file that stops before it was cut short.
      if (Pos + 2 > StreamSize) ReportTruncation(Pos);
      break;
    }
    if (R == rrBad) {
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      break;
    }
    H.Folder = Folders.empty() ? std::string() : Folders.back();
    if (H.Method == kFolderEndMethod) {
      if (Folders.empty()) break;
      Folders.pop_back();
      Pos = H.DataPos;
      continue;
    }
    if (H.Method > kFolderEndMethod) break;
    if (H.Method == kFolderMethod) {
      // The folder's entries follow its header; its sizes cover them.
      if (Folders.size() == static_cast<size_t>(kMaxFolderDepth)) {
        DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
        break;
      }
      Folders.push_back(IncludeItemSeparator(ItemName(H)));
      Pos = H.DataPos;
      continue;
    }
    if (MatchFileSpec(ItemName(H), FileSpec, {}, true)) {
      Entries.push_back(H);
      TotalPacked += H.PackedSize;
      TotalUnpacked += H.UnpackedSize;
      NewestDate = std::max(NewestDate, H.DosDateTime);
    }
    // The archive ends with an end mark after its last entry: data that reaches the end of the file was cut
    // short (a torn entry fails when it is extracted), and what would follow it is lost.
    if (H.DataPos + H.PackedSize >= StreamSize) {
      ReportTruncation(H.DataPos + H.PackedSize);
      break;
    }
    Pos = H.DataPos + H.PackedSize;
  }
}

void TUnArc::ExtractArchive(TStream32* Stream) {
  if (!Stream) return;
  const int64_t StreamSize = StreamSizeOf(*Stream);
  std::vector<THeader> Entries;
  Walk(*Stream, StreamSize, Entries);
  ExtractListed(
      Entries,
      [&](const THeader& Listed, THeader& H) {
        if (ReadHeader(*Stream, Listed.Pos, H) != rrOk) return false;
        H.Folder = Listed.Folder;
        return true;
      },
      [](const THeader& H, TArlItem& I) {
        I.Name = ItemName(H);
        I.Method = H.Method;
        I.PackedSize = H.PackedSize;
        I.UnpackedSize = H.UnpackedSize;
        I.DosDateTime = H.DosDateTime;
        I.Crc = H.Crc;
        I.Attributes = faArchive;
        I.HeaderOffset = H.Pos;
      },
      [&](const THeader& H) { ExtractEntry(*Stream, H); });
}

void TUnArc::ExtractEntry(TStream32& Stream, const THeader& H) {
  if (H.Method > 9) {
    DoError(Item.Name, "method " + std::to_string(H.Method), errUnsupportedMethod);
    ProgressDone(Item);
    return;
  }
  const int Method = H.Method;
  TLzhDecodeFn Decode;
  if (Method > 2)
    Decode = [Method](const TLzhSource& Source, int64_t Packed, int64_t Unpacked, const TLzhSink& Sink) {
      return ToLzhResult(DecodeArcMethod(Method, Source, Packed, Unpacked, Sink));
    };
  ExtractCrc16Item(*this, Stream, H.DataPos, H.Crc, Decode);
}
