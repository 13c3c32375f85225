#include "archive/arj/arlUnARJ.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "archive/arj/arlArjFast.h"
#include "archive/arlHeaderCursor.h"
#include "archive/lzh/arlLzh3.h"
#include "archive/lzh/arlLzhItem.h"

namespace {

// Bytes around a basic header: id and size in front, its CRC-32 behind.
constexpr int32_t kHeaderLead = 4;
constexpr int32_t kHeaderCrc = 4;
constexpr int32_t kExtSizeField = 2;

// Host systems whose names are in the OEM code page (MS-DOS, OS/2, Windows 95, Windows NT).
bool OemHost(uint8_t HostOs) { return HostOs == 0 || HostOs == 5 || HostOs == 10 || HostOs == 11; }

// The folder part of a path (with its trailing separator) and the name after it.
void SplitPath(const std::string& S, std::string& Dir, std::string& Name) {
  const size_t P = S.rfind(kItemSeparator);
  Dir = P == std::string::npos ? std::string() : S.substr(0, P + 1);
  Name = P == std::string::npos ? S : S.substr(P + 1);
}

// Archivers on UNIX and NeXT hosts store the modification time as seconds since 1970 (UTC), all other
// hosts as a packed DOS stamp in local time. Returns the DOS stamp either way.
constexpr uint8_t kHostUnix = 2;
constexpr uint8_t kHostNext = 8;
uint32_t StoredStampToDos(uint8_t HostOs, uint32_t Stored) {
  if (HostOs != kHostUnix && HostOs != kHostNext) return Stored;
  const time_t Seconds = static_cast<time_t>(Stored);
  struct tm Local {};
  if (localtime_r(&Seconds, &Local) == nullptr || Local.tm_year < 80)
    return (1u << 21) | (1u << 16);  // 1980-01-01
  return (static_cast<uint32_t>(Local.tm_year - 80) << 25) | (static_cast<uint32_t>(Local.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(Local.tm_mday) << 16) | (static_cast<uint32_t>(Local.tm_hour) << 11) |
         (static_cast<uint32_t>(Local.tm_min) << 5) | (static_cast<uint32_t>(Local.tm_sec) / 2);
}

uint32_t Crc32Of(const uint8_t* P, size_t N) {
  uint32_t Crc = 0xFFFFFFFF;
  CrcUpdate32(P, static_cast<int32_t>(N), Crc);
  return ~Crc;
}

// A file's name without its folder.
std::string ExtractFileNameOf(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

}  // namespace

TUnArj::TReadResult TUnArj::ReadHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize, bool Main,
                                       THeader& H) {
  H = THeader();
  H.Pos = Pos;
  const std::vector<uint8_t> Lead = ReadAt(Stream, Pos, kHeaderLead);
  if (Lead.size() < static_cast<size_t>(kHeaderLead)) return rrEnd;
  THeaderCursor L(Lead);
  uint16_t Id = 0;
  L.U16(Id), L.U16(H.BasicSize);
  if (Id != kHeaderId) return rrBad;
  if (H.BasicSize == 0) return rrEnd;
  if (H.BasicSize > kMaxBasicHeader) return rrBad;

  const std::vector<uint8_t> Basic = ReadAt(Stream, Pos + kHeaderLead, H.BasicSize + kHeaderCrc);
  if (Basic.size() < static_cast<size_t>(H.BasicSize + kHeaderCrc)) return rrBad;
  THeaderCursor Tail(Basic.data() + H.BasicSize, kHeaderCrc);
  uint32_t StoredCrc = 0;
  Tail.U32(StoredCrc);
  if (StoredCrc != Crc32Of(Basic.data(), H.BasicSize)) return rrBad;

  THeaderCursor C(Basic.data(), H.BasicSize);
  uint16_t FileSpecPos = 0, HostData = 0;
  if (!C.U8(H.FirstSize) || H.FirstSize < kFirstHeaderMin || H.FirstSize > H.BasicSize) return rrBad;
  C.U8(H.ArcVersion), C.U8(H.MinVersion), C.U8(H.HostOs), C.U8(H.Flags), C.U8(H.Method), C.U8(H.FileType),
      C.U8(H.PasswordModifier), C.U32(H.DosDateTime), C.U32(H.PackedSize), C.U32(H.UnpackedSize),
      C.U32(H.Crc), C.U16(FileSpecPos), C.U16(H.Attributes), C.U16(HostData);
  if (!C.Seek(H.FirstSize) || !C.ZString(kMaxName, H.RawName)) return rrBad;
  H.DosDateTime = StoredStampToDos(H.HostOs, H.DosDateTime);

  // Extended headers: a 16-bit size (0 ends them), the data and its CRC-32.
  int64_t P = Pos + kHeaderLead + H.BasicSize + kHeaderCrc;
  for (int32_t I = 0;; ++I) {
    const std::vector<uint8_t> Size = ReadAt(Stream, P, kExtSizeField);
    if (Size.size() < static_cast<size_t>(kExtSizeField) || I > kMaxExtHeaders) return rrBad;
    const uint16_t N = static_cast<uint16_t>(Size[0] | (Size[1] << 8));
    P += kExtSizeField;
    if (N == 0) break;
    P += N + kHeaderCrc;
  }
  H.DataPos = P;
  if (P > StreamSize) return rrBad;
  if (!Main && H.DataPos + H.PackedSize > StreamSize) H.Torn = true;
  return rrOk;
}

std::string TUnArj::ItemName(const THeader& H) const { return ConvertItemName(H.RawName, OemHost(H.HostOs)); }

bool TUnArj::WalkVolume(TStream32& Stream, int64_t Start, THeader& Main, std::vector<THeader>& Entries) {
  Entries.clear();
  const int64_t StreamSize = StreamSizeOf(Stream);
  if (ReadHeader(Stream, Start, StreamSize, true, Main) != rrOk) {
    DoError(ArchiveFile, "", errBadFileHeader);
    return false;
  }
  int64_t Pos = Main.DataPos;
  THeader H;
  while (!GetCancel()) {
    const TReadResult R = ReadHeader(Stream, Pos, StreamSize, false, H);
    if (R == rrEnd) {
      // The end is marked by a header of basic size 0: a file that stops before it was cut short.
      if (Pos > StreamSize - kHeaderLead) ReportTruncation(Pos);
      break;
    }
    if (R == rrBad) {
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      break;
    }
    const std::string Name = ItemName(H);
    if (MatchFileSpec(Name, FileSpec, {}, true)) {
      if (H.MinVersion > kMaxMinVersion) {
        DoError(Name, "", errVersion);
      } else if (H.Method > kMaxMethod || (H.Method == kMaxMethod && H.ArcVersion == 1)) {
        DoError(Name, "", errUnsupportedMethod);
      } else {
        Entries.push_back(H);
        TotalPacked += H.PackedSize;
        TotalUnpacked += H.UnpackedSize;
        NewestDate = std::max(NewestDate, H.DosDateTime);
      }
    }
    if (H.Torn) {  // the entry itself fails when it is extracted; what would follow it is lost
      ReportTruncation(H.DataPos + H.PackedSize);
      break;
    }
    Pos = H.DataPos + H.PackedSize;
  }
  return true;
}

void TUnArj::ExtractArchive(TStream32* Stream) {
  KeptPassword_.clear();
  SkipProtected_ = false;
  if (!Stream) return;
  // Later volumes are named after the current volume's file, or after the name in the main header when
  // the set was renamed from that; they are looked for in the current volume's folder.
  std::string Folder, OwnName;
  SplitPath(ArchiveFile, Folder, OwnName);

  TStream32* Volume = Stream;
  std::unique_ptr<TFileStream32> Next;
  int64_t Start = StartOffset > 0 ? StartOffset - 1 : 0;
  int32_t VolumeIndex = 0;
  int32_t NextNumber = std::max(FirstVolumeNumber, 1);
  std::vector<THeader> Entries;
  THeader Main;
  // A later volume read without the ones before it starts after a gap as well.
  bool AfterGap = FirstVolumeNumber > 1;
  // The item named as lost with the last missing volume: its part after the gap is not named again.
  std::string LostName;
  for (;;) {
    if (!WalkVolume(*Volume, Start, Main, Entries)) return;
    // After a missing volume, a first entry that continues an item from it cannot be read.
    if (AfterGap && !Entries.empty() && (Entries.front().Flags & afExtFile)) {
      const std::string Name = ItemName(Entries.front());
      if (Name != LostName) DoError(Name, "lost with a missing volume", 0);
      Entries.erase(Entries.begin());
    }
    LostName.clear();
    if (!ExtractEntries(*Volume, Entries, VolumeIndex)) return;
    if (!(Main.Flags & afVolume) || GetCancel()) return;
    // The entry that goes on in the next volume, if any.
    const THeader* Continuing =
        !Entries.empty() && (Entries.back().Flags & afVolume) ? &Entries.back() : nullptr;

    const std::string StoredName = ConvertItemName(Main.RawName, OemHost(Main.HostOs));
    std::string Dir, Base;
    SplitPath(StoredName, Dir, Base);
    const std::string Own = Folder + OwnName;
    const std::string Stored = Folder + (Base.empty() ? OwnName : Base);
    auto VolumeFile = [&](int32_t Number) {
      const std::string Name = ExistingVolumeName(Own, Number);
      if (FileExists(Name)) return Name;
      const std::string Other = ExistingVolumeName(Stored, Number);
      return FileExists(Other) ? Other : Name;
    };
    // A missing volume is reported (with the entry that went on in it) and passed over when a later
    // one of the set is there.
    std::string Name;
    AfterGap = false;
    for (;;) {
      Name = VolumeFile(NextNumber);
      const std::string Asked = Name;
      if (RequestNextVolume(Name, NextNumber)) break;
      if (Continuing && !GetCancel()) {
        LostName = ItemName(*Continuing);
        DoError(LostName, "lost with the missing volume \"" + ExtractFileNameOf(Asked) + "\"", 0);
        Continuing = nullptr;
      }
      if (GetCancel()) return;
      const int32_t Later =
          std::max(NextPresentVolume(Own, NextNumber), NextPresentVolume(Stored, NextNumber));
      if (Later < 0) return;
      ++NextNumber;
      AfterGap = true;
    }
    int32_t Error = 0;
    Next = std::make_unique<TFileStream32>(Name, fmOpenRead | fmShareDenyNone, Error);
    if (Error != 0) {
      DoError(Name, "", errOpeningFile);
      return;
    }
    ArchiveFile = Name;
    SplitPath(Name, Folder, OwnName);  // the volume after it is looked for beside this one
    Volume = Next.get();
    Start = 0;
    ++VolumeIndex;
    ++NextNumber;
  }
}

bool TUnArj::ExtractEntries(TStream32& Stream, const std::vector<THeader>& Entries, int32_t Volume) {
  const int64_t StreamSize = StreamSizeOf(Stream);
  return ExtractListed(
      Entries,
      [&](const THeader& Listed, THeader& H) {
        return ReadHeader(Stream, Listed.Pos, StreamSize, false, H) == rrOk;
      },
      [this, Volume](const THeader& H, TArlItem& I) {
        I.Name = ItemName(H);
        I.Flags = H.Flags;
        I.Method = H.Method;
        I.PackedSize = H.PackedSize;
        I.UnpackedSize = H.UnpackedSize;
        I.DosDateTime = H.DosDateTime;
        I.Crc = H.Crc;
        I.Attributes = H.Attributes;
        I.HeaderOffset = H.Pos;
        I.DiskStart = static_cast<uint32_t>(Volume);
      },
      [&](const THeader& H) { ExtractEntry(Stream, H); });
}

bool TUnArj::AskPassword(const std::string& Name) {
  if (!OnGetPassword) {
    DoError(Name, "OnGetPassword", errEventNotAssigned);
    SkipProtected_ = true;
    return false;
  }
  TArlPasswordQuery Query{Name};
  Timer_.Pause();
  OnGetPassword(this, Query);
  Timer_.Resume();
  if (!Query.Continue || Query.Password.empty() || GetCancel()) {
    SkipProtected_ = true;
    return false;
  }
  KeptPassword_ = Query.Password;
  return true;
}

void TUnArj::RestartOutput() {
  switch (OutputMode) {
    case omMemory:
      if (OutMemoryStream) {
        if (!OutMemoryStream->Records.empty()) OutMemoryStream->Records.pop_back();
        OutMemoryStream->SetSize(OutMemoryStart_);
      }
      break;
    case omStream:
      if (OutStream) {
        OutStream->SetPosition(OutStreamStart_);
        OutStream->SetSize(OutStreamStart_);
      }
      break;
    case omPointer:
      OutPointer = OutPointerStart_;
      OutPointerLeft = OutPointerLeftStart_;
      break;
    default:
      break;  // file outputs are created anew by OpenOutput
  }
}

bool TUnArj::DecodeData(TStream32& Stream, const THeader& H, bool Garbled) {
  if (Garbled) ResetPasswordPosition();
  if (H.Method == 4) {
    TArjFastDecoder D;
    return DecodeItemData(*this, Stream, H.DataPos, H.PackedSize, H.UnpackedSize, ckCrc32, Garbled,
                          [&D](auto&&... A) { return D.Decode(A...); });
  }
  std::optional<TLzh3Decoder> D;
  if (H.Method != 0) D.emplace(kLzh3Arj);
  return DecodeItemData(*this, Stream, H.DataPos, H.PackedSize, H.UnpackedSize, ckCrc32, Garbled,
                        D ? TLzhDecodeFn([&D](auto&&... A) { return D->Decode(A...); }) : TLzhDecodeFn());
}

void TUnArj::ExtractEntry(TStream32& Stream, const THeader& H) {
  const bool Garbled = (H.Flags & afGarbled) != 0 && (H.FileType == ftBinary || H.FileType == ftText);
  if (H.FileType == ftFolder || H.FileType == ftLabel) {
    BeginItem(true);  // folders and labels pass without a decision
    if (H.FileType == ftFolder && IsFileOutput() && CreateStoredDirs && !CurrentOutputName.empty())
      ForceDirectories(CurrentOutputName);
    if (!IsFileOutput()) CurrentOutputName = Item.Name;
    Crc32Reg = 0xFFFFFFFF;
    CheckCrc(ckCrc32, H.Crc);  // nothing written: the stored CRC of no data passes
    return;
  }
  if (H.FileType != ftBinary && H.FileType != ftText) {
    DoError(Item.Name, "", errUnknownFileType);
    ProgressDone(Item);
    return;
  }
  if (Garbled) {
    if (SkipProtected_ ||
        (KeptPassword_.empty() && !AskPassword(CurrentOutputName.empty() ? Item.Name : CurrentOutputName))) {
      // Without a password the entry cannot be read: it is reported, never left out in silence.
      if (!GetCancel()) DoError(Item.Name, "", errInvalidPassword);
      ProgressDone(Item);
      return;
    }
  }
  if (!BeginItem(false)) {
    ProgressDone(Item);
    return;
  }
  // A part continued from the previous volume is added to the file written so far.
  const uint8_t SavedMode = OutputMode;
  if ((H.Flags & afExtFile) && OutputMode == omHandle) OutputMode = omAppend;
  OutStreamStart_ = OutStream ? OutStream->Position() : 0;
  OutPointerStart_ = OutPointer;
  OutPointerLeftStart_ = OutPointerLeft;

  bool Passed = false;
  for (int32_t Attempt = 1;; ++Attempt) {
    if (!OpenOutput(Item.Name, CurrentOutputName)) {  // reported; the item is not written
      if (!Garbled) --FileIndex;
      break;
    }
    if (Garbled) Password = ShiftString(false, KeptPassword_, H.PasswordModifier);
    Crc32Reg = 0xFFFFFFFF;
    const bool Decoded = DecodeData(Stream, H, Garbled);
    CloseOutput(faArchive, H.DosDateTime, CurrentOutputName);
    // A failed decoding must not pass the check by a chance match of the CRC.
    if (!Decoded) Crc32Reg = ~H.Crc ^ 1;
    const bool Matches = H.Crc == Crc32Reg || H.Crc == ~Crc32Reg;
    if (!Garbled || Matches || Attempt >= PasswordAttempts || GetCancel()) {
      Passed = CheckCrc(ckCrc32, H.Crc);
      break;
    }
    // A wrong password: forget it and try again with a new one, into an emptied output.
    KeptPassword_.clear();
    Password.clear();
    if (!AskPassword(CurrentOutputName.empty() ? Item.Name : CurrentOutputName)) {
      Passed = CheckCrc(ckCrc32, H.Crc);
      break;
    }
    SkipProtected_ = false;
    RestartOutput();
  }
  if (Garbled && !Passed) {
    --FileIndex;
    SkipProtected_ = true;
  }
  Password.clear();
  OutputMode = SavedMode;
}
