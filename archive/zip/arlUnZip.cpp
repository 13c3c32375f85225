#include "archive/zip/arlUnZip.h"

#include <algorithm>
#include <new>

#include "archive/arlDisks.h"
#include "archive/arlGbls.h"
#include "archive/arlHeaderCursor.h"
#include "archive/zip/arlExplode.h"
#include "archive/zip/arlUnReduce.h"
#include "archive/zip/arlUnShrink.h"
#include "archive/zip/arlZipBits.h"
#include "core/WinUtils.h"

namespace {

// The longest name kept; the rest of a longer stored name is skipped.
constexpr uint16_t kMaxNameBytes = 255;
// The CRC register starts at all ones; the final value is complemented.
constexpr uint32_t kCrcStart = 0xFFFFFFFF;

// A read-only view of Size bytes of Source from Start: what a compressed entry may be read from, so
// that a decoder never reads into the next header. Counts the bytes it delivered.
class TZipEntryStream : public TStream32 {
 public:
  TZipEntryStream(TStream32& Source, int64_t Start, int64_t Size)
      : Source_(Source), Start_(Start), Limit_(Size) {}

  int32_t Read(void* Buffer, int32_t Count) override {
    const int64_t Want = std::min<int64_t>(Count, Limit_ - Pos_);
    if (Want <= 0) return 0;
    if (Source_.Seek(Start_ + Pos_, soBeginning) != Start_ + Pos_) return 0;
    const int32_t Got = std::max(Source_.Read(Buffer, static_cast<int32_t>(Want)), 0);
    Pos_ += Got;
    Delivered += Got;
    return Got;
  }
  int32_t Write(const void*, int32_t) override { return -1; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    const int64_t Base = Origin == soBeginning ? 0 : Origin == soCurrent ? Pos_ : Limit_;
    Pos_ = std::clamp<int64_t>(Base + Offset, 0, Limit_);
    return Pos_;
  }

  int64_t Delivered = 0;

 protected:
  bool Has64BitSeek() const override { return true; }

 private:
  TStream32& Source_;
  int64_t Start_;
  int64_t Limit_;
  int64_t Pos_ = 0;
};

// The methods this reader decodes.
bool IsDecodedMethod(uint16_t Method) {
  return Method == zmStored || Method == zmDeflated || Method == zmShrunk ||
         (Method >= zmReduced1 && Method <= zmReduced4) || Method == zmImploded;
}

// The method ids the format defines (0-20 less the reserved ones, 93-99), decoded here or not: a local
// header found by its signature alone is believed only with one of them.
bool IsDefinedMethod(uint16_t Method) {
  if (Method <= 20) return Method != 11 && Method != 13 && Method != 15 && Method != 17;
  return Method >= 93 && Method <= 99;
}

}  // namespace

TUnZip::TUnZip() = default;
TUnZip::~TUnZip() = default;

// --- Walks ------------------------------------------------------------------------------------------------

void TUnZip::ExtractArchive(TStream32* Stream) {
  In_ = Stream;
  Entries_.clear();
  SkipProtected_ = false;
  TotalPacked = TotalUnpacked = 0;
  NewestDate = 0;
  Spann_.reset();
  SpannCancel_ = false;
  CurrentDisk_ = 0;
  NoSignatureReported_ = false;
  SearchBlockPos_ = -1;
  SearchBlock_.clear();
  WindowPos_ = -1;
  Window_.clear();
  LocalNameOffset_ = -1;
  LocalName_.clear();
  for (TDescriptorIndex& Index : DescriptorIndex_) Index = TDescriptorIndex();
  if (!In_) return;

  if (Spanned()) {
    // The last disk holds the central directory.
    Spann_ = std::make_unique<TDiskSpannObj>(*this, SpannCancel_);
    if (!NextDisk()) return;
    CurrentDisk_ = 0;
  }
  if (ZipFlags & zfCentralHeader)
    WalkCentral();
  else
    WalkLocal();
  BytesToDo = TotalPacked;

  for (size_t I = 0; I < Entries_.size() && !GetCancel(); ++I) {
    // On a spanned set the first entry's disk is opened; later entries follow on the disk where the
    // previous one ended.
    if (Spanned() && I == 0 && !OpenDisk(Entries_[I].DiskStart + 1)) break;
    ExtractEntry(Entries_[I]);
  }
  Entries_.clear();
  Spann_.reset();
  SearchBlock_.clear();
  Window_.clear();
  for (TDescriptorIndex& Index : DescriptorIndex_) Index = TDescriptorIndex();
}

bool TUnZip::ReadWalkRecord(int64_t Pos, int32_t Size, TZipSignatureForm (*FormOf)(const uint8_t*),
                            uint8_t* H) {
  if (GetCancel()) return false;
  if (!ReadExactAt(*In_, Pos, H, Size)) {  // a record cut by the end of the file is a short read
    // The end of the file (a self-extractor's local headers may simply stop) and the records after the
    // entries (an end record is shorter than a header) end the walk normally; a part of a header at the
    // end of the file means the file was cut short.
    const std::vector<uint8_t> Tail = ReadAt(*In_, Pos, 4);
    if (Pos < In_->Size() && (Tail.size() < 4 || !IsZipRecordAfterEntries(Tail.data())))
      ReportTruncation(Pos);
    return false;
  }
  const TZipSignatureForm Form = FormOf(H);
  // The central directory, the end records and signatures are where a walk ends normally; any other
  // record is damage, and the enciphered forms cannot be read.
  if (Form == zsEnciphered)
    DoError(ArchiveFile, "enciphered header at offset " + std::to_string(Pos), errBadFileHeader);
  else if (Form == zsNone && !IsZipRecordAfterEntries(H))
    DoError(ArchiveFile, "no header signature at offset " + std::to_string(Pos), errBadFileHeader);
  return Form == zsPlain;
}

bool TUnZip::ReadName(int64_t Position, const TZipFileFields& F, bool FromOem, std::string& Name) {
  try {
    In_->Seek(Position, soBeginning);
  } catch (const EStreamError&) {
    return false;
  }
  const uint16_t Want = std::min(F.NameLength, kMaxNameBytes);
  const std::string Raw = ReadHeaderBytes(In_, Want);
  Name = ConvertItemName(Raw, FromOem);
  return Raw.size() == Want;
}

bool TUnZip::Selected(const std::string& Name, int64_t Pos) {
  if (Name.empty()) {
    DoError(ArchiveFile, "entry without a name at offset " + std::to_string(Pos), errBadFileHeader);
    return false;
  }
  return MatchFileSpec(Name, FileSpec, {}, true);
}

bool TUnZip::AddEntry(const TZipEntry& E) {
  if (Entries_.size() >= kMaxZipEntries) {
    DoError(E.Name, "more than " + std::to_string(kMaxZipEntries) + " entries", errBadFileHeader);
    return false;
  }
  Entries_.push_back(E);
  TotalPacked += static_cast<int64_t>(E.Fields.CompressedSize);
  TotalUnpacked += static_cast<int64_t>(E.Fields.UncompressedSize);
  NewestDate = std::max(NewestDate, E.Fields.DosDateTime);
  return true;
}

void TUnZip::WalkCentral() {
  uint64_t Declared = 0;
  int64_t DirEnd = -1;
  DeclaredDirectory(Declared, DirEnd);
  uint64_t Read = 0;
  int64_t Pos = ZipCentralOffset;
  bool Unsigned = false;
  int64_t TriedUnsigned = -1;
  bool Damaged = false;
  // A walk that stops short of the declared records or of the directory's end lost records to damage;
  // the walk takes up again at the next central signature, until the end record.
  for (;;) {
    int64_t Last = -1;
    TCentralStop Why = csEnd;
    const int64_t Stop = WalkCentralRun(Pos, Unsigned, Read, Last, Why);
    // A full list, and an enciphered directory (which cannot be read past that point, and whose local
    // headers hide their fields), end the walk as it stands.
    if (GetCancel() || Entries_.size() >= kMaxZipEntries || Why == csEnciphered) {
      RefuseOverlaps();
      return;
    }
    if (Why == csEnd && Read >= Declared && (DirEnd < 0 || Stop >= DirEnd)) break;
    Damaged = true;
    const int64_t Next = FindCentralSignature(std::max(Last, Pos) + 4, ZipEndRecordPos);
    // A record whose signature alone is damaged (or replaced by another record's) still leads exactly
    // to the next signature, or to the directory's end: it is read as it stands.
    const int64_t Target = Next >= 0 ? Next : DirEnd >= 0 ? DirEnd : ZipEndRecordPos;
    if (Why != csDamagedRecord && Stop != TriedUnsigned && Stop < Target &&
        CentralRecordEnd(Stop) == Target) {
      Pos = TriedUnsigned = Stop;
      Unsigned = true;
      continue;
    }
    if (Why == csNoSignature && Stop < In_->Size() && !NoSignatureReported_) {
      NoSignatureReported_ = true;
      DoError(ArchiveFile, "no header signature at offset " + std::to_string(Stop), errBadFileHeader);
    }
    if (Next < 0) break;
    Pos = Next;
    Unsigned = false;
  }
  uint64_t Recovered = 0;
  if (Damaged && !Spanned() && !GetCancel()) Recovered = RecoverFromLocalHeaders();
  if (Read + Recovered < Declared && !GetCancel())
    DoError(ArchiveFile,
            std::to_string(Declared - Read - Recovered) + " of the " + std::to_string(Declared) +
                " entries of the central directory could not be read",
            errBadFileHeader);
  RefuseOverlaps();
}

int64_t TUnZip::CentralRecordEnd(int64_t Pos) {
  uint8_t H[kZipCentralSize];
  if (!ReadExactAt(*In_, Pos, H, kZipCentralSize)) return -1;
  const TZipCentralHeader C = ParseZipCentralHeader(H);
  return Pos + kZipCentralSize + int64_t{C.NameLength} + int64_t{C.ExtraLength} + int64_t{C.CommentLength};
}

void TUnZip::DeclaredDirectory(uint64_t& Entries, int64_t& DirEnd) {
  constexpr uint32_t kEndSignature = 0x06054B50;
  constexpr uint32_t kLocatorSignature = 0x07064B50;
  constexpr uint32_t kZip64EndSignature = 0x06064B50;
  constexpr int32_t kLocatorSize = 20;
  constexpr int32_t kZip64EndSize = 56;
  Entries = 0;
  DirEnd = -1;
  // The enciphered form of the end record cannot be read.
  if (!(ZipFlags & zfEndRecord) || GetLE32(ZipEndRecord.data()) != kEndSignature) return;
  uint64_t Count = ZipEndEntries();
  uint64_t Size = ZipEndCentralSize();
  if (Count == kZip64DiskMarker || Size == kZip64Marker) {
    // The ZIP64 end record, found through its locator right before the end record.
    uint8_t L[kLocatorSize];
    uint8_t R[kZip64EndSize];
    if (!ReadExactAt(*In_, ZipEndRecordPos - kLocatorSize, L, kLocatorSize) ||
        GetLE32(L) != kLocatorSignature)
      return;
    const uint64_t RecordPos = GetLE32(L + 8) | (uint64_t{GetLE32(L + 12)} << 32);
    if (RecordPos >= static_cast<uint64_t>(ZipEndRecordPos) ||
        !ReadExactAt(*In_, static_cast<int64_t>(RecordPos), R, kZip64EndSize) ||
        GetLE32(R) != kZip64EndSignature)
      return;
    Count = GetLE32(R + 32) | (uint64_t{GetLE32(R + 36)} << 32);
    Size = GetLE32(R + 40) | (uint64_t{GetLE32(R + 44)} << 32);
  }
  // Values the file cannot hold are damage of the end record, not of the directory.
  const auto Limit = static_cast<uint64_t>(ZipEndRecordPos);
  if (Count <= Limit / kZipCentralSize) Entries = Count;
  if (ZipCentralOffset >= 0 && Size <= Limit && static_cast<uint64_t>(ZipCentralOffset) + Size <= Limit)
    DirEnd = ZipCentralOffset + static_cast<int64_t>(Size);
}

int64_t TUnZip::FindCentralSignature(int64_t From, int64_t Limit) {
  constexpr int32_t kBlock = 4096;
  Limit = std::min(Limit, In_->Size());
  for (int64_t At = std::max<int64_t>(From, 0); At + 4 <= Limit && !GetCancel();) {
    // A search that resumes inside the block read last scans it on instead of reading it again.
    if (SearchBlockPos_ < 0 || At < SearchBlockPos_ ||
        At + 4 > SearchBlockPos_ + static_cast<int64_t>(SearchBlock_.size())) {
      SearchBlock_ = ReadAt(*In_, At, static_cast<int32_t>(std::min<int64_t>(kBlock, Limit - At)));
      SearchBlockPos_ = At;
      if (SearchBlock_.size() < 4) {
        SearchBlockPos_ = -1;
        break;
      }
    }
    const auto End = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(SearchBlock_.size()), Limit - SearchBlockPos_));
    for (auto I = static_cast<size_t>(At - SearchBlockPos_); I + 4 <= End; ++I)
      if (SearchBlock_[I] == 'P' && ZipCentralForm(&SearchBlock_[I]) == zsPlain)
        return SearchBlockPos_ + static_cast<int64_t>(I);
    At = SearchBlockPos_ + static_cast<int64_t>(End) - 3;
  }
  return -1;
}

bool TUnZip::LocalNameAgrees(int64_t Offset, int64_t NamePos, uint16_t NameLength) {
  uint8_t H[kZipLocalSize];
  if (!ReadExactAt(*In_, Offset, H, kZipLocalSize) || ZipLocalForm(H) != zsPlain) return false;
  const TZipLocalHeader L = ParseZipLocalHeader(H);
  if (L.NameLength != NameLength) return false;
  // Names may be 64 KB long and many records may point at one local header: its name is kept, and the
  // record's is looked at in the window, so that each is read about once.
  if (LocalNameOffset_ != Offset) {
    LocalName_ = ReadAt(*In_, Offset + kZipLocalSize, NameLength);
    LocalNameOffset_ = Offset;
  }
  const uint8_t* Central = WindowAt(NamePos, NameLength, In_->Size());
  return Central && LocalName_.size() == NameLength &&
         std::equal(LocalName_.begin(), LocalName_.end(), Central);
}

int64_t TUnZip::WalkCentralRun(int64_t Pos, bool Unsigned, uint64_t& Read, int64_t& Last, TCentralStop& Why) {
  uint8_t H[kZipCentralSize];
  for (;; Unsigned = false) {
    if (GetCancel()) return Pos;
    if (!ReadExactAt(*In_, Pos, H, kZipCentralSize)) {
      // The records after the directory are shorter than a central header.
      uint8_t Tail[4];
      Why = ReadExactAt(*In_, Pos, Tail, 4) && IsZipRecordAfterEntries(Tail) ? csEnd : csNoSignature;
      return Pos;
    }
    const TZipSignatureForm Form = ZipCentralForm(H);
    if (Form == zsEnciphered) {
      DoError(ArchiveFile, "enciphered header at offset " + std::to_string(Pos), errBadFileHeader);
      Why = csEnciphered;
      return Pos;
    }
    if (Form == zsNone && !Unsigned) {
      Why = IsZipRecordAfterEntries(H) ? csEnd : csNoSignature;
      return Pos;
    }
    Last = Pos;
    const TZipCentralHeader C = ParseZipCentralHeader(H);
    TZipEntry E;
    E.Fields = C;
    E.Attributes = C.ExternalAttributes;
    E.OemName = ZipNameIsOem(C);
    const int64_t NamePos = Pos + kZipCentralSize;
    const int64_t ExtraPos = NamePos + int64_t{C.NameLength};
    const int64_t Next = ExtraPos + int64_t{C.ExtraLength} + int64_t{C.CommentLength};
    Why = csDamagedRecord;
    // A record whose lengths lead to neither a header nor the records after the directory is damaged;
    // when its local header cannot be read or spells another name, its own lengths are the damage (the
    // name took in the bytes after it, or the record is no record) and the entry is left to be found by
    // its local header. This is settled before the name and extra field are read: bytes that only look
    // like a record cost no more than its fixed part.
    uint8_t Follow[4];
    const bool Leads = ReadExactAt(*In_, Next, Follow, 4) && IsZipRecordAfterEntries(Follow);
    if (!Leads && !Spanned() &&
        !LocalNameAgrees(static_cast<int64_t>(C.LocalHeaderOffset), NamePos, C.NameLength))
      return Pos;
    // Lengths that run past the end of the file: the record is damaged.
    const std::vector<uint8_t> Extra = ReadAt(*In_, ExtraPos, C.ExtraLength);
    if (!ReadName(NamePos, C, E.OemName, E.Name) || Extra.size() < C.ExtraLength) return Pos;
    if (Unsigned)
      DoError(E.Name, "its central directory record at offset " + std::to_string(Pos) + " has no signature",
              errBadFileHeader);
    ++Read;
    TakeUnicodeName(NamePos, C.NameLength, Extra, E.Name);
    uint64_t Offset = C.LocalHeaderOffset;
    uint16_t Disk = C.DiskNumberStart;
    std::string Damage = ApplyZip64Extra(Extra.data(), Extra.size(), E.Fields, &Offset, &Disk);
    if (Damage.empty() && Offset != C.LocalHeaderOffset && !Spanned() &&
        Offset >= static_cast<uint64_t>(In_->Size()))
      Damage = "its ZIP64 extra field puts its local header at offset " + std::to_string(Offset) +
               ", past the end of the archive";
    if (Damage.empty() && E.Fields.CompressedSize != C.CompressedSize && !Spanned() &&
        E.Fields.CompressedSize > static_cast<uint64_t>(In_->Size()))
      Damage = "its ZIP64 extra field gives a compressed size of " + std::to_string(E.Fields.CompressedSize) +
               " bytes, more than the archive holds";
    E.LocalOffset = static_cast<int64_t>(std::min<uint64_t>(Offset, kZip64Limit));
    E.DiskStart = Disk;
    int32_t Listed = -1;
    int64_t End = -1;
    bool Measured = false;  // LocalSpan ran (a failure would fail again)
    if (Selected(E.Name, Pos)) {
      if (!Damage.empty()) {
        DoError(E.Name, Damage, errBadFileHeader);
      } else {
        // On a single file the local header can be tested now; on a spanned set it lies on another disk.
        Measured = !Spanned();
        if (!Measured || LocalSpan(E, true, End)) {
          if (!AddEntry(E)) {
            Why = csEnd;
            return Pos;
          }
          Listed = static_cast<int32_t>(Entries_.size()) - 1;
        }
      }
    }
    // An entry refused as damaged is not read, so it takes up no part of the file: its fields (a ZIP64
    // marker read as a size) may say anything.
    if (!Spanned() && Damage.empty() && (End >= 0 || (!Measured && LocalSpan(E, false, End))))
      Spans_.push_back({E.LocalOffset, End, Listed});
    Pos = Next;
  }
}

void TUnZip::TakeUnicodeName(int64_t NamePos, uint16_t NameLength, const std::vector<uint8_t>& Extra,
                             std::string& Name) {
  // The Unicode path block (tag 0x7075): version 1, the CRC-32 of the stored name it stands for, and the
  // name in UTF-8. It is used only while that CRC matches: a later tool may have renamed the entry
  // without updating the block.
  constexpr uint16_t kUnicodePathTag = 0x7075;
  uint16_t Length = 0;
  const uint8_t* Block = FindZipExtra(Extra.data(), Extra.size(), kUnicodePathTag, Length);
  if (!Block || Length <= 5 || Block[0] != 1) return;
  const std::vector<uint8_t> Stored = ReadAt(*In_, NamePos, NameLength);
  if (Stored.size() != NameLength) return;
  const uint32_t Crc = UpdateCrc32(kCrcStart, Stored.data(), NameLength) ^ kCrcStart;
  if (Crc != GetLE32(Block + 1)) return;
  const size_t Keep = std::min<size_t>(Length - 5u, kMaxNameBytes);
  Name = ConvertItemName(std::string(reinterpret_cast<const char*>(Block + 5), Keep), false);
}

bool TUnZip::LocalSpan(TZipEntry& E, bool Report, int64_t& End) {
  const std::string At = "offset " + std::to_string(E.LocalOffset);
  uint8_t H[kZipLocalSize];
  if (!ReadExactAt(*In_, E.LocalOffset, H, kZipLocalSize) || ZipLocalForm(H) != zsPlain) {
    if (Report) DoError(E.Name, "no local header at " + At, errBadFileHeader);
    return false;
  }
  // Names and sizes come from the central directory: a local header may spell the name another way
  // (ASCII beside a code-page name), leave its sizes 0 for a data descriptor or 0xFFFFFFFF for its ZIP64
  // block. Its method decides how the data is decoded, so it must be the same.
  const TZipLocalHeader L = ParseZipLocalHeader(H);
  if (L.Method != E.Fields.Method) {
    if (Report)
      DoError(E.Name,
              "local header at " + At + " gives method " + std::to_string(L.Method) +
                  ", the central directory " + std::to_string(E.Fields.Method),
              errBadFileHeader);
    return false;
  }
  const int64_t DataStart = E.LocalOffset + kZipLocalSize + int64_t{L.NameLength} + int64_t{L.ExtraLength};
  // Central sizes of 0 make an empty item. Where the local header gives sizes, or the CRC is not the
  // CRC of nothing (0) and a data descriptor follows, the entry has data that the central record lost: the
  // local header's sizes (or its data descriptor's) are taken when the data they give lies inside the file,
  // and the disagreement is reported either way.
  if (E.Fields.CompressedSize == 0 && E.Fields.UncompressedSize == 0 &&
      (L.CompressedSize != 0 || L.UncompressedSize != 0 ||
       (E.Fields.Crc32 != 0 && (L.Flags & zgDataDescriptor)))) {
    TZipFileFields Local = L;
    // The extra field (up to 64 KB) matters only for ZIP64 markers and for the size of a data descriptor
    // that is there: many records sharing one local header must not read it once each.
    bool NeedExtra = L.CompressedSize == kZip64Marker || L.UncompressedSize == kZip64Marker;
    if (!NeedExtra && (L.Flags & zgDataDescriptor) && L.CompressedSize == 0) {
      TZipFileFields Probe;
      NeedExtra = FindDataDescriptor(DataStart, ZipCentralOffset, false, Probe) ||
                  FindDataDescriptor(DataStart, ZipCentralOffset, true, Probe);
    }
    const std::vector<uint8_t> Extra =
        NeedExtra ? ReadAt(*In_, E.LocalOffset + kZipLocalSize + int64_t{L.NameLength}, L.ExtraLength)
                  : std::vector<uint8_t>();
    uint16_t Zip64Length = 0;
    const bool Zip64 = FindZipExtra(Extra.data(), Extra.size(), kZip64ExtraTag, Zip64Length) != nullptr;
    bool Sound = ApplyZip64Extra(Extra.data(), Extra.size(), Local, nullptr, nullptr).empty() &&
                 Local.CompressedSize != kZip64Marker && Local.UncompressedSize != kZip64Marker;
    // A local header of 0xFFFFFFFF markers whose ZIP64 block gives 0 agrees with the central record.
    const bool Empty =
        Sound && Local.CompressedSize == 0 && Local.UncompressedSize == 0 && E.Fields.Crc32 == 0;
    if (Sound && !Empty && Local.CompressedSize == 0 && (L.Flags & zgDataDescriptor))
      Sound = FindDataDescriptor(DataStart, ZipCentralOffset, Zip64, Local);
    if (Sound &&
        Local.CompressedSize > static_cast<uint64_t>(std::max<int64_t>(ZipCentralOffset - DataStart, 0)))
      Sound = false;
    const bool Agrees = Empty || (Sound && Local.CompressedSize == 0 && Local.UncompressedSize == 0);
    if (!Agrees && !Sound) {
      if (Report)
        DoError(E.Name, "its central directory record gives no data, its local header and CRC say otherwise",
                errBadFileHeader);
      return false;
    }
    if (!Agrees) {
      if (Report)
        DoError(E.Name,
                "its central directory record gives no data, its local header " +
                    std::to_string(Local.UncompressedSize) + " bytes (" +
                    std::to_string(Local.CompressedSize) + " compressed), read by the local header",
                errBadFileHeader);
      E.Fields.CompressedSize = Local.CompressedSize;
      E.Fields.UncompressedSize = Local.UncompressedSize;
      if (E.Fields.Crc32 == 0) E.Fields.Crc32 = Local.Crc32;
    }
  }
  End = DataStart + static_cast<int64_t>(std::min<uint64_t>(E.Fields.CompressedSize, kZip64Limit));
  return true;
}

void TUnZip::RefuseOverlaps() {
  // Entries whose data overlap (one body counted for many entries, which can make a small file inflate
  // to a huge one) are damage: each entry after the first of an overlapping group is refused.
  std::stable_sort(Spans_.begin(), Spans_.end(),
                   [](const TSpan& A, const TSpan& B) { return A.Start < B.Start; });
  std::vector<bool> Refused(Entries_.size(), false);
  bool Any = false;
  int64_t End = -1;
  for (const TSpan& S : Spans_) {
    if (S.Start < End && S.Entry >= 0) Refused[static_cast<size_t>(S.Entry)] = Any = true;
    End = std::max(End, S.End);
  }
  Spans_.clear();
  if (!Any) return;
  std::vector<TZipEntry> Kept;
  for (size_t I = 0; I < Entries_.size(); ++I) {
    TZipEntry& E = Entries_[I];
    if (Refused[I]) {
      DoError(E.Name, "its data overlaps another entry's at offset " + std::to_string(E.LocalOffset),
              errBadFileHeader);
      TotalPacked -= static_cast<int64_t>(E.Fields.CompressedSize);
      TotalUnpacked -= static_cast<int64_t>(E.Fields.UncompressedSize);
    } else {
      Kept.push_back(std::move(E));
    }
  }
  Entries_.swap(Kept);
}

uint64_t TUnZip::RecoverFromLocalHeaders() {
  // The gaps between the parts of the file that listed entries take up, before the directory. A local
  // header found in a gap is taken when its data ends inside the gap; the search goes on behind that
  // data (never inside it: stored data may hold an archive of its own).
  std::vector<std::pair<int64_t, int64_t>> Taken;
  for (const TSpan& S : Spans_) Taken.emplace_back(S.Start, S.End);
  std::sort(Taken.begin(), Taken.end());
  const int64_t DirStart = std::min(ZipCentralOffset, In_->Size());
  std::vector<std::pair<int64_t, int64_t>> Gaps;
  int64_t Cursor = 0;
  for (const auto& [Start, End] : Taken) {
    if (Start > Cursor) Gaps.emplace_back(Cursor, std::min(Start, DirStart));
    Cursor = std::max(Cursor, End);
  }
  if (Cursor < DirStart) Gaps.emplace_back(Cursor, DirStart);
  uint64_t Found = 0;
  for (const auto& [GapStart, GapEnd] : Gaps) {
    constexpr int32_t kBlock = 4096;
    int64_t Pos = GapStart;
    while (Pos + kZipLocalSize <= GapEnd && !GetCancel()) {
      const std::vector<uint8_t> B =
          ReadAt(*In_, Pos, static_cast<int32_t>(std::min<int64_t>(kBlock, GapEnd - Pos)));
      if (B.size() < 4) break;
      // A signature whose header is refused is passed over within the block already read.
      size_t I = 0;
      int64_t At = -1;
      TZipEntry E;
      int64_t End = 0;
      for (; I + 4 <= B.size() && !GetCancel(); ++I) {
        if (B[I] != 'P' || ZipLocalForm(&B[I]) != zsPlain) continue;
        if (ReadLostLocal(Pos + static_cast<int64_t>(I), GapEnd, E, End)) {
          At = Pos + static_cast<int64_t>(I);
          break;
        }
      }
      if (At < 0) {
        Pos += static_cast<int64_t>(B.size()) - 3;
        continue;
      }
      ++Found;
      int32_t Listed = -1;
      if (Selected(E.Name, At)) {
        DoError(E.Name,
                "not listed by the damaged central directory, read from its local header at offset " +
                    std::to_string(At),
                errBadFileHeader);
        if (!AddEntry(E)) return Found;
        Listed = static_cast<int32_t>(Entries_.size()) - 1;
      }
      Spans_.push_back({At, End, Listed});
      Pos = End;
    }
  }
  return Found;
}

bool TUnZip::ReadLostLocal(int64_t Pos, int64_t Limit, TZipEntry& E, int64_t& End) {
  // A header found by its signature alone is believed only when all of it makes sense: a version that
  // exists, a method the format defines (one this reader does not decode is reported by name when the
  // entry is extracted), a name of printable bytes, and data that ends in the gap. The cheap tests come
  // first, and the header is read from the recovery's window, so that headers found in each other's names
  // and extra fields cost no more than the bytes they take up.
  constexpr uint8_t kNewestVersion = 63;
  const uint8_t* H = WindowAt(Pos, kZipLocalSize, Limit);
  if (!H) return false;
  const TZipLocalHeader L = ParseZipLocalHeader(H);
  if (H[4] > kNewestVersion || !IsDefinedMethod(L.Method) || L.NameLength == 0) return false;
  const int64_t ExtraPos = Pos + kZipLocalSize + int64_t{L.NameLength};
  const int64_t DataStart = ExtraPos + int64_t{L.ExtraLength};
  if (DataStart > Limit) return false;
  const bool Markers = L.CompressedSize == kZip64Marker || L.UncompressedSize == kZip64Marker;
  const bool Streamed = (L.Flags & zgDataDescriptor) && L.CompressedSize == 0;
  if (!Markers && !Streamed && L.CompressedSize > static_cast<uint64_t>(Limit - DataStart)) return false;
  if (Streamed) {
    TZipFileFields Probe;
    if (!FindDataDescriptor(DataStart, Limit, false, Probe) &&
        !FindDataDescriptor(DataStart, Limit, true, Probe))
      return false;
  }
  const uint8_t* Head = WindowAt(Pos, DataStart - Pos, Limit);
  if (!Head) return false;
  const uint8_t* NameBytes = Head + kZipLocalSize;
  for (uint16_t I = 0; I < L.NameLength; ++I)
    if (NameBytes[I] < 0x20) return false;
  const uint8_t* Extra = NameBytes + L.NameLength;
  E = TZipEntry();
  E.Fields = L;
  E.LocalOffset = Pos;
  if (!ApplyZip64Extra(Extra, L.ExtraLength, E.Fields, nullptr, nullptr).empty()) return false;
  uint16_t Zip64Length = 0;
  const bool Zip64 = FindZipExtra(Extra, L.ExtraLength, kZip64ExtraTag, Zip64Length) != nullptr;
  const std::string Name(reinterpret_cast<const char*>(NameBytes), std::min(L.NameLength, kMaxNameBytes));
  End = DataStart;
  if ((L.Flags & zgDataDescriptor) && E.Fields.CompressedSize == 0) {
    // Written before its sizes were known: its data descriptor gives them.
    if (!FindDataDescriptor(DataStart, Limit, Zip64, E.Fields)) return false;
    End = DataStart + static_cast<int64_t>(E.Fields.CompressedSize) + (Zip64 ? 24 : 16);
  } else {
    if (E.Fields.CompressedSize == kZip64Marker || E.Fields.UncompressedSize == kZip64Marker ||
        E.Fields.CompressedSize > static_cast<uint64_t>(Limit - DataStart))
      return false;
    End = DataStart + static_cast<int64_t>(E.Fields.CompressedSize);
    if (L.Flags & zgDataDescriptor) End = std::min(SkipDataDescriptor(End, Zip64), Limit);
  }
  if (End > Limit) return false;
  E.Name = ConvertItemName(Name, false);
  return true;
}

const uint8_t* TUnZip::WindowAt(int64_t Pos, int64_t Size, int64_t Limit) {
  // Larger than the largest header (30 bytes, a name and an extra field of up to 64 KB each), so that
  // each byte of a gap is read about twice at most however the headers found in it overlap.
  constexpr int64_t kWindow = 256 * 1024;
  if (Pos < 0 || Size < 0 || Pos + Size > Limit) return nullptr;
  if (WindowPos_ < 0 || Pos < WindowPos_ || Pos + Size > WindowPos_ + static_cast<int64_t>(Window_.size())) {
    Window_ = ReadAt(*In_, Pos, static_cast<int32_t>(std::min(std::max(kWindow, Size), Limit - Pos)));
    WindowPos_ = Pos;
    if (static_cast<int64_t>(Window_.size()) < Size) return nullptr;
  }
  return Window_.data() + (Pos - WindowPos_);
}

bool TUnZip::FindDataDescriptor(int64_t DataStart, int64_t Limit, bool Zip64, TZipFileFields& F) {
  // The first descriptor after DataStart whose compressed size is its distance from DataStart: the
  // descriptor whose position less its size is DataStart, from an index that each query only extends.
  TDescriptorIndex& Index = DescriptorIndex_[Zip64 ? 1 : 0];
  IndexDescriptors(Index, DataStart, std::min(Limit, In_->Size()), Zip64);
  const auto Found = Index.ByDataStart.find(DataStart);
  if (Found == Index.ByDataStart.end()) return false;
  const TDescriptor& D = Found->second;
  F.Crc32 = D.Crc;
  F.CompressedSize = D.Packed;
  F.UncompressedSize = D.Unpacked;
  return F.UncompressedSize < kZip64Limit;
}

void TUnZip::IndexDescriptors(TDescriptorIndex& Index, int64_t From, int64_t Limit, bool Zip64) {
  if (Index.Limit != Limit) {
    Index = TDescriptorIndex();
    Index.Limit = Index.From = Limit;
  }
  From = std::max<int64_t>(From, 0);
  if (From >= Index.From) return;
  const int32_t kDescriptorSize = Zip64 ? 24 : 16;
  constexpr int32_t kBlock = 65536;
  // The descriptors in [From, Index.From) lie before every indexed one: for a data start they share,
  // theirs is the first.
  const int64_t Until = Index.From;
  std::unordered_map<int64_t, TDescriptor> Before;
  for (int64_t At = From; At < Until && At + kDescriptorSize <= Limit && !GetCancel(); At += kBlock) {
    const std::vector<uint8_t> B =
        ReadAt(*In_, At, static_cast<int32_t>(std::min<int64_t>(kBlock + kDescriptorSize, Limit - At)));
    for (size_t I = 0; I < kBlock && I + kDescriptorSize <= B.size(); ++I) {
      const int64_t Pos = At + static_cast<int64_t>(I);
      if (Pos >= Until) break;
      if (B[I] != 'P' || GetLE32(&B[I]) != kZipSpanningMarker) continue;
      const uint8_t* D = &B[I];
      const uint64_t Packed = Zip64 ? GetLE32(D + 8) | (uint64_t{GetLE32(D + 12)} << 32) : GetLE32(D + 8);
      if (Packed > static_cast<uint64_t>(Pos)) continue;
      const uint64_t Unpacked = Zip64 ? GetLE32(D + 16) | (uint64_t{GetLE32(D + 20)} << 32) : GetLE32(D + 12);
      Before.try_emplace(Pos - static_cast<int64_t>(Packed),
                         TDescriptor{Pos, GetLE32(D + 4), Packed, Unpacked});
    }
  }
  for (const auto& [Start, D] : Before) Index.ByDataStart.insert_or_assign(Start, D);
  Index.From = From;
}

void TUnZip::WalkLocal() {
  int64_t Pos = std::max<int64_t>(StartOffset - 1, 0);
  uint8_t H[kZipLocalSize];
  if (ReadExactAt(*In_, Pos, H, 4) && GetLE32(H) == kZipSpanningMarker) Pos += 4;
  while (ReadWalkRecord(Pos, kZipLocalSize, ZipLocalForm, H)) {
    const TZipLocalHeader L = ParseZipLocalHeader(H);
    TZipEntry E;
    E.Fields = L;
    E.LocalOffset = Pos;
    const int64_t ExtraPos = Pos + kZipLocalSize + int64_t{L.NameLength};
    const std::vector<uint8_t> Extra = ReadAt(*In_, ExtraPos, L.ExtraLength);
    if (!ReadName(Pos + kZipLocalSize, L, false, E.Name) || Extra.size() < L.ExtraLength) {
      ReportTruncation(Pos);
      break;
    }
    // The local ZIP64 block gives both sizes; the data descriptor of such an entry holds 64-bit sizes.
    uint16_t Zip64Length = 0;
    const bool Zip64 = FindZipExtra(Extra.data(), Extra.size(), kZip64ExtraTag, Zip64Length) != nullptr;
    const std::string Damage = ApplyZip64Extra(Extra.data(), Extra.size(), E.Fields, nullptr, nullptr);
    if (!Damage.empty()) {  // where the next entry lies is not known
      DoError(E.Name.empty() ? "offset " + std::to_string(Pos) : E.Name, Damage, errBadFileHeader);
      break;
    }
    // An entry written before its sizes were known (compressed size 0, a data descriptor behind the
    // data) is measured by its data descriptor.
    const int64_t DataStart = ExtraPos + int64_t{L.ExtraLength};
    bool Measured = false;
    if ((L.Flags & zgDataDescriptor) && E.Fields.CompressedSize == 0)
      Measured = FindDataDescriptor(DataStart, In_->Size(), Zip64, E.Fields);
    if (Selected(E.Name, Pos) && !AddEntry(E)) break;
    Pos = DataStart + static_cast<int64_t>(E.Fields.CompressedSize);
    if (Pos > In_->Size()) {  // the entry fails when it is extracted; what would follow it is lost
      ReportTruncation(Pos);
      break;
    }
    if (Measured)
      Pos += Zip64 ? 24 : 16;
    else if (L.Flags & zgDataDescriptor)
      Pos = SkipDataDescriptor(Pos, Zip64);
  }
}

int64_t TUnZip::SkipDataDescriptor(int64_t Pos, bool Zip64) {
  // A data descriptor follows the data: CRC and both sizes (12 bytes, 20 with the 64-bit sizes of a ZIP64
  // entry), usually behind its own signature.
  const int32_t kDescriptorSize = Zip64 ? 20 : 12;
  uint8_t B[4];
  if (!ReadExactAt(*In_, Pos, B, 4)) return Pos;
  if (GetLE32(B) == kZipSpanningMarker) return Pos + 4 + kDescriptorSize;
  if (ZipLocalForm(B) == zsNone && ReadExactAt(*In_, Pos + kDescriptorSize, B, 4) &&
      (ZipLocalForm(B) != zsNone || ZipCentralForm(B) != zsNone))
    return Pos + kDescriptorSize;
  return Pos;
}

// --- Extraction -------------------------------------------------------------------------------------------

bool TUnZip::IsFolder(const TZipEntry& E) const {
  const bool TrailingSeparator = !E.Name.empty() && E.Name.back() == kItemSeparator;
  if (ArcType == atJar || ArcType == atJarSfx) return TrailingSeparator;
  // A folder has no data: an entry whose attributes say folder but which holds data is a file.
  return TrailingSeparator || ((E.Attributes & faDirectory) && E.Fields.UncompressedSize == 0);
}

void TUnZip::ExtractEntry(const TZipEntry& E) {
  Item = TArlItem();
  Item.Name = E.Name;
  Item.Flags = E.Fields.Flags;
  Item.Method = E.Fields.Method;
  Item.PackedSize = static_cast<int64_t>(E.Fields.CompressedSize);
  Item.UnpackedSize = static_cast<int64_t>(E.Fields.UncompressedSize);
  Item.DosDateTime = E.Fields.DosDateTime;
  Item.Crc = E.Fields.Crc32;
  Item.Attributes = E.Attributes;
  Item.HeaderOffset = E.LocalOffset;
  Item.DiskStart = E.DiskStart;

  uint8_t H[kZipLocalSize];
  if (!ReadExactAt(*In_, E.LocalOffset, H, kZipLocalSize) || ZipLocalForm(H) != zsPlain) {
    DoError(E.Name, "no local header at offset " + std::to_string(E.LocalOffset), errBadFileHeader);
    ProgressDone(Item);
    return;
  }
  const TZipLocalHeader L = ParseZipLocalHeader(H);
  // The CRC and the password check come from the local header; the central CRC stands in when the local
  // one was left 0 (written later in a data descriptor).
  if (L.Crc32 != 0 || E.Fields.CompressedSize == 0) Item.Crc = L.Crc32;
  CheckFlags_ = L.Flags;
  CheckDosDateTime_ = L.DosDateTime;
  const int64_t DataStart = E.LocalOffset + kZipLocalSize + int64_t{L.NameLength} + int64_t{L.ExtraLength};

  CurrentOutputName = IsFileOutput() ? BuildOutputName(Item.Name) : Item.Name;
  if (IsFolder(E)) {
    ExtractFolder();
    return;
  }
  const bool Encrypted = (Item.Flags & zgEncrypted) != 0;
  if (Encrypted) {
    if (Item.PackedSize < kEncryptionHeaderSize) {
      DoError(Item.Name, "encrypted data shorter than its 12-byte header", errBadFileHeader);
      ProgressDone(Item);
      return;
    }
    Item.PackedSize -= kEncryptionHeaderSize;
  }
  if (!IsDecodedMethod(static_cast<uint16_t>(Item.Method))) {
    DoError(Item.Name, "", errUnsupportedMethod);
    ProgressDone(Item);
    return;
  }
  if (!BeginItem(false)) {
    ProgressDone(Item);
    return;
  }
  if (Encrypted) {
    // Once a password failed in this run, further encrypted entries are skipped without asking.
    if (SkipProtected_ || !VerifyPassword(*In_, DataStart)) {
      if (SkipProtected_) DoError(Item.Name, "", errInvalidPassword);
      SkipProtected_ = true;
      --FileIndex;
      ProgressDone(Item);
      return;
    }
  }
  if (!OpenOutput(Item.Name, CurrentOutputName)) {
    ProgressDone(Item);
    return;
  }
  Crc32Reg = kCrcStart;
  DecodeItem(Encrypted ? DataStart + kEncryptionHeaderSize : DataStart);
  Crc32Reg ^= kCrcStart;
  CheckCrc(ckCrc32, Item.Crc);
  CloseOutput(Item.Attributes, Item.DosDateTime, CurrentOutputName);
}

void TUnZip::ExtractFolder() {
  if (IsFileOutput() && CreateStoredDirs) {
    if (CurrentOutputName.empty())
      DoError(Item.Name, "", errInvalidFileName);
    else if (!ForceDirectories(CurrentOutputName))
      DoError(CurrentOutputName, "", errOpeningFile);
  }
  // A folder has no data: its check passes.
  Crc32Reg = Item.Crc;
  CheckCrc(ckCrc32, Item.Crc);
  ProgressDone(Item);
}

void TUnZip::DecodeItem(int64_t DataStart) {
  const bool Decrypt = (Item.Flags & zgEncrypted) != 0;
  int32_t Error = 0;
  bool Reported = false;
  try {
    int64_t Produced;
    if (Item.Method == zmStored)
      Produced = DecodeStored(DataStart, Decrypt);
    else if (Item.Method == zmDeflated)
      Produced = DecodeDeflated(DataStart, Decrypt);
    else
      Produced = DecodeOldMethod(DataStart, Decrypt);
    // Data that ends before the declared size is damaged even when what there is passes the CRC check;
    // when it fails that check, the check's report is the one.
    const uint32_t Crc = Crc32Reg ^ kCrcStart;
    if (Produced < Item.UnpackedSize && !GetCancel() && (Crc == Item.Crc || Crc == ~Item.Crc))
      Error = errReadingFile;
  } catch (const E_RAISE& E) {
    Error = E.ErrorCode;
    Reported = E.Reported;
  } catch (const EOutOfMemory&) {
    Error = errOutOfMemory;
  } catch (const std::bad_alloc&) {
    Error = errOutOfMemory;
  } catch (const Exception&) {
    Error = errReadingFile;
  }
  if (Error != 0 && !Reported) DoError(Item.Name, "", Error);
}

void TUnZip::Advance(int64_t Consumed, int64_t Done) {
  BytesToDo = std::max<int64_t>(BytesToDo - Consumed, 0);
  UpdateProgress(Done, TotalPacked, Item.PackedSize);
}

int64_t TUnZip::DecodeStored(int64_t DataStart, bool Decrypt) {
  // The output holds the declared size; stored data beyond it is not copied.
  const int64_t Size = std::min(Item.PackedSize, Item.UnpackedSize);
  int64_t Remaining = Size;
  In_->Seek(DataStart, soBeginning);
  for (;;) {
    Remaining = CopyStored(In_, Remaining, ckCrc32, Decrypt);
    if (Remaining <= 0 || GetCancel() || !Spanned() || !NextDisk()) break;
  }
  if (Remaining <= 0 && Item.PackedSize > Item.UnpackedSize) DoError(Item.Name, "", errBadBlock);
  return Size - Remaining;
}

int64_t TUnZip::DecodeDeflated(int64_t DataStart, bool Decrypt) {
  auto View = std::make_unique<TZipEntryStream>(*In_, DataStart, Item.PackedSize);
  int64_t Before = 0;  // compressed bytes delivered by earlier disks' views
  TDecompressStream::TDecipher Decipher;
  if (Decrypt)
    Decipher = [this](uint8_t* Buffer, int32_t Count) {
      Keys_.DecryptBuffer(Buffer, static_cast<size_t>(Count));
    };
  TDecompressStream Inflate(*View, Decipher);
  std::vector<uint8_t> Buffer(kOutputChunk);
  int64_t Produced = 0;
  int64_t Reported = 0;
  while (Produced < Item.UnpackedSize && !GetCancel()) {
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(kOutputChunk, Item.UnpackedSize - Produced));
    const int32_t Got = Inflate.Read(Buffer.data(), Want);
    if (Got < 0 || Inflate.Failed()) break;
    if (Got > 0) {
      WriteBlock(Buffer.data(), Got, true, ckCrc32);
      Produced += Got;
    }
    const int64_t Consumed = Before + View->Delivered;
    Advance(Consumed - Reported, Consumed);
    Reported = Consumed;
    if (Got == Want) continue;
    // Short: the deflated data ended, or its input did. A spanned member goes on on the next disk.
    if (Inflate.AtStreamEnd() || !Inflate.InputExhausted() || !Spanned()) break;
    Before += View->Delivered;
    if (Before >= Item.PackedSize || !NextDisk()) break;
    auto Next = std::make_unique<TZipEntryStream>(*In_, 0, Item.PackedSize - Before);
    Inflate.ContinueFrom(*Next);
    View = std::move(Next);
  }
  if (Produced == Item.UnpackedSize && !Inflate.AtStreamEnd() && !Inflate.Failed()) {
    // More data than declared: reported, and the output stays at the declared size.
    uint8_t Probe;
    if (Inflate.Read(&Probe, 1) > 0) DoError(Item.Name, "", errBadBlock);
  }
  return Produced;
}

int64_t TUnZip::DecodeOldMethod(int64_t DataStart, bool Decrypt) {
  In_->Seek(DataStart, soBeginning);
  int64_t Consumed = 0;
  TZipBitReader Reader(
      [&](uint8_t* Buffer, int32_t Count) {
        const int32_t Got = ReadBlock(In_, Buffer, Count, ckNone, Decrypt);
        Consumed += Got;
        Advance(Got, Consumed);
        return Got;
      },
      Item.PackedSize);
  int32_t Window = 0;
  if (Item.Method == zmImploded)
    Window = ExplodeWindowSize(static_cast<uint16_t>(Item.Flags));
  else if (Item.Method != zmShrunk)
    Window = kReduceWindowSize;
  TZipOutput Out([this](const uint8_t* Buffer, int32_t Count) { WriteBlock(Buffer, Count, true, ckCrc32); },
                 Item.UnpackedSize, Window);
  try {
    if (Item.Method == zmShrunk)
      UnShrink(Reader, Out);
    else if (Item.Method == zmImploded)
      Explode(static_cast<uint16_t>(Item.Flags), Reader, Out);
    else
      UnReduce(Item.Method - zmReduced1 + 1, Reader, Out);
  } catch (const E_RAISE&) {
    // What was decoded before the fault is written; the CRC check then reports the entry.
    Out.Flush();
    throw;
  }
  Out.Flush();
  return Out.Produced();
}

// --- Passwords ----------------------------------------------------------------------------------------

bool TUnZip::CheckPassword(const uint8_t* Header) {
  return CheckZipCryptHeader(Password, Header, ZipCryptCheckByte(CheckFlags_, CheckDosDateTime_, Item.Crc),
                             &Keys_);
}

void TUnZip::DecryptBlock(bool Decrypt, uint8_t* Buffer, int32_t Count) {
  if (Decrypt && Count > 0) Keys_.DecryptBuffer(Buffer, static_cast<size_t>(Count));
}

// --- Spanned archives ---------------------------------------------------------------------------------

bool TUnZip::NextDisk() {
  if (!Spann_ || !Spann_->OpenNextDisk(ArcStream_)) return false;
  In_ = ArcStream_.get();
  ++CurrentDisk_;
  return In_ != nullptr;
}

bool TUnZip::OpenDisk(uint32_t Disk) {
  while (CurrentDisk_ < Disk)
    if (!NextDisk()) return false;
  return true;
}
