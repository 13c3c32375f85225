#include "archive/lha/arlUnLha.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "archive/lha/arlLhaPack.h"
#include "archive/lzh/arlLzh3.h"
#include "archive/lzh/arlLzhItem.h"

namespace {

// A Unix time as the packed DOS date-time of the local zone; 0 outside the DOS range (1980-2107).
uint32_t UnixToDos(uint32_t Seconds) {
  const std::time_t T = static_cast<std::time_t>(Seconds);
  std::tm L{};
  if (!localtime_r(&T, &L) || L.tm_year < 80 || L.tm_year > 207) return 0;
  return (static_cast<uint32_t>(L.tm_year - 80) << 25) | (static_cast<uint32_t>(L.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(L.tm_mday) << 16) | (static_cast<uint32_t>(L.tm_hour) << 11) |
         (static_cast<uint32_t>(L.tm_min) << 5) | static_cast<uint32_t>(L.tm_sec / 2);
}

// The method character of an id ("5" of "-lh5-").
char MethodChar(const TLhaHeader& H) { return H.MethodId.size() == 5 ? H.MethodId[3] : '\0'; }

bool Listable(const TLhaHeader& H) {
  const char M = MethodChar(H);
  return (M >= '0' && M <= '7') || M == 'd';
}

// Names written on MS-DOS ('M'), OS/2 ('2') and Windows ('w' 95, 'W' NT) are in the OEM code page, and so
// are those of level-0 headers, which carry no system and come from DOS archivers.
bool OemNames(const TLhaHeader& H) {
  return H.Level == 0 || H.OsId == 'M' || H.OsId == '2' || H.OsId == 'w' || H.OsId == 'W';
}

}  // namespace

std::string TUnLha::ItemName(const TLhaHeader& H) {
  std::string Folder;
  if (!H.RawFolder.empty()) Folder = IncludeItemSeparator(NormalizeNameSlashes(H.RawFolder));
  return ConvertItemName(Folder + H.RawName, OemNames(H));
}

uint32_t TUnLha::DosStamp(const TLhaHeader& H) { return H.Level == 2 ? UnixToDos(H.TimeStamp) : H.TimeStamp; }

void TUnLha::Walk(TStream32& Stream, int64_t StreamSize, std::vector<TLhaHeader>& Entries) {
  int64_t Pos = StartOffset > 0 ? StartOffset - 1 : 0;
  TLhaHeader H;
  while (!GetCancel()) {
    const TLhaReadResult R = ReadLhaHeader(Stream, Pos, StreamSize, H);
    if (R == lhEnd) {
      // The end is marked by a header size of 0: a file that stops before it was cut short.
      if (Pos >= StreamSize) ReportTruncation(Pos);
      break;
    }
    if (R == lhBad) {
      // Reported; when its size fields are sane, the walk passes over the header and its data to the
      // next one, else it ends here.
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      const int64_t Next = NextPosAfterBadHeader(Stream, Pos, StreamSize);
      if (Next <= Pos) break;
      Pos = Next;
      continue;
    }
    const std::string Name = ItemName(H);
    if (Listable(H) && MatchFileSpec(Name, FileSpec, {}, true)) {
      Entries.push_back(H);
      TotalPacked += H.DataSize;
      TotalUnpacked += H.UnpackedSize;
      NewestDate = std::max(NewestDate, DosStamp(H));
    }
    if (H.NextPos <= Pos) break;
    if (H.DataPos + H.DataSize > StreamSize) {  // the entry fails when it is extracted; what follows is lost
      ReportTruncation(H.NextPos);
      break;
    }
    Pos = H.NextPos;
  }
}

void TUnLha::ExtractArchive(TStream32* Stream) {
  if (!Stream) return;
  const int64_t StreamSize = StreamSizeOf(*Stream);
  std::vector<TLhaHeader> Entries;
  Walk(*Stream, StreamSize, Entries);
  ExtractListed(
      Entries,
      [&](const TLhaHeader& Listed, TLhaHeader& H) {
        return ReadLhaHeader(*Stream, Listed.Pos, StreamSize, H) == lhOk;
      },
      [](const TLhaHeader& H, TArlItem& I) {
        I.Name = ItemName(H);
        I.Method = static_cast<uint16_t>(MethodChar(H));
        I.PackedSize = H.DataSize;
        I.UnpackedSize = H.UnpackedSize;
        I.DosDateTime = DosStamp(H);
        I.Crc = H.Crc;
        I.Attributes = H.Level == 2 ? 0 : H.Attributes;
        I.HeaderOffset = H.Pos;
      },
      [&](const TLhaHeader& H) { ExtractEntry(*Stream, H); });
}

bool TUnLha::DecodeData(TStream32& Stream, const TLhaHeader& H) {
  const std::string& Id = H.MethodId;
  if (Id == "-lh1-") {
    TLhaPackDecoder D;
    return DecodeItemData(*this, Stream, H.DataPos, H.DataSize, H.UnpackedSize, ckCrc16, false,
                          [&D](auto&&... A) { return D.Decode(A...); });
  }
  std::optional<TLzh3Decoder> D;
  if (Id != "-lh0-") D.emplace(Id == "-lh4-" ? kLzh3Lh4 : Id == "-lh5-" ? kLzh3Lh5 : kLzh3Lh6);
  return DecodeItemData(*this, Stream, H.DataPos, H.DataSize, H.UnpackedSize, ckCrc16, false,
                        D ? TLzhDecodeFn([&D](auto&&... A) { return D->Decode(A...); }) : TLzhDecodeFn());
}

void TUnLha::ExtractEntry(TStream32& Stream, const TLhaHeader& H) {
  const std::string& Id = H.MethodId;
  if (Id == "-lhd-") {
    BeginItem(true);  // folders pass without a decision
    // A Unix symbolic link is stored as a folder entry named "link|target"; it is no folder to make.
    if (IsFileOutput() && CreateStoredDirs && !CurrentOutputName.empty() &&
        Item.Name.find('|') == std::string::npos)
      ForceDirectories(CurrentOutputName);
    return;
  }
  if (Id.size() != 5 || Id[0] != '-' || Id[4] != '-') {
    DoError(Item.Name, Id, errUnsupportedMethod);
    ProgressDone(Item);
    return;
  }
  const bool Supported = Id == "-lh0-" || Id == "-lh1-" || Id == "-lh4-" || Id == "-lh5-" || Id == "-lh6-";
  if (!Supported) {
    DoError(Item.Name, Id, errUnsupportedMethod);
    ProgressDone(Item);
    return;
  }
  if (!BeginItem(false)) {
    ProgressDone(Item);
    return;
  }
  if (!OpenOutput(Item.Name, CurrentOutputName)) {  // reported; the item is not written
    --FileIndex;
    return;
  }
  Crc16Reg = 0;
  const bool Decoded = DecodeData(Stream, H);
  CloseOutput(faArchive, Item.DosDateTime, CurrentOutputName);
  // A failed decoding must not pass the check by a chance match of the CRC.
  if (!Decoded) Crc16Reg = static_cast<uint16_t>(~H.Crc ^ 1);
  CheckCrc(ckCrc16, H.Crc);
}
