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
  int64_t Pos = ZipCentralOffset;
  uint8_t H[kZipCentralSize];
  while (ReadWalkRecord(Pos, kZipCentralSize, ZipCentralForm, H)) {
    const TZipCentralHeader C = ParseZipCentralHeader(H);
    TZipEntry E;
    E.Fields = C;
    E.Attributes = C.ExternalAttributes;
    E.OemName = ZipNameIsOem(C);
    const int64_t ExtraPos = Pos + kZipCentralSize + int64_t{C.NameLength};
    const std::vector<uint8_t> Extra = ReadAt(*In_, ExtraPos, C.ExtraLength);
    if (!ReadName(Pos + kZipCentralSize, C, E.OemName, E.Name) || Extra.size() < C.ExtraLength) {
      ReportTruncation(Pos);
      break;
    }
    TakeUnicodeName(Pos + kZipCentralSize, C.NameLength, Extra, E.Name);
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
    if (Selected(E.Name, Pos)) {
      if (!Damage.empty()) {
        DoError(E.Name, Damage, errBadFileHeader);
      } else if (Spanned() || LocalSpan(E, true, End)) {
        // On a single file the local header can be tested now; on a spanned set it lies on another disk.
        if (!AddEntry(E)) break;
        Listed = static_cast<int32_t>(Entries_.size()) - 1;
      }
    }
    if (!Spanned()) {
      if (End < 0 && (!Damage.empty() || !LocalSpan(E, false, End))) End = DataEndBound(E);
      Spans_.push_back({E.LocalOffset, End, Listed});
    }
    Pos = ExtraPos + int64_t{C.ExtraLength} + int64_t{C.CommentLength};
  }
  RefuseOverlaps();
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

int64_t TUnZip::DataEndBound(const TZipEntry& E) {
  // Without a readable local header the span is the fixed part and the data: never longer than the
  // entry's own.
  return E.LocalOffset + kZipLocalSize +
         static_cast<int64_t>(std::min<uint64_t>(E.Fields.CompressedSize, kZip64Limit));
}

bool TUnZip::LocalSpan(const TZipEntry& E, bool Report, int64_t& End) {
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
  End = E.LocalOffset + kZipLocalSize + int64_t{L.NameLength} + int64_t{L.ExtraLength} +
        static_cast<int64_t>(std::min<uint64_t>(E.Fields.CompressedSize, kZip64Limit));
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
    if (Selected(E.Name, Pos) && !AddEntry(E)) break;
    Pos = ExtraPos + int64_t{L.ExtraLength} + static_cast<int64_t>(E.Fields.CompressedSize);
    if (Pos > In_->Size()) {  // the entry fails when it is extracted; what would follow it is lost
      ReportTruncation(Pos);
      break;
    }
    if (L.Flags & zgDataDescriptor) Pos = SkipDataDescriptor(Pos, Zip64);
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
  return TrailingSeparator || (E.Attributes & faDirectory);
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
  const bool Known = Item.Method == zmStored || Item.Method == zmDeflated || Item.Method == zmShrunk ||
                     (Item.Method >= zmReduced1 && Item.Method <= zmReduced4) || Item.Method == zmImploded;
  if (!Known) {
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
