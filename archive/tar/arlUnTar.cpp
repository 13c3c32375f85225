#include "archive/tar/arlUnTar.h"

#include <algorithm>
#include <limits>

#include "archive/arlHeaderCursor.h"

std::string TUnTar::ItemName(const TTarHeader& H) {
  std::string Name = ConvertItemName(H.RawName, false);
  if (H.IsFolder()) Name = IncludeItemSeparator(Name);
  return Name;
}

void TUnTar::Walk(TStream32& Stream, int64_t StreamSize, std::vector<TTarHeader>& Entries) {
  int64_t Pos = 0;
  TTarHeader H;
  while (!GetCancel()) {
    const TTarReadResult R = ReadTarHeader(Stream, Pos, StreamSize, H);
    if (R == trEnd) {
      // The end is marked by a zero block: a file that stops before one was cut short.
      if (Pos > StreamSize - kTarBlockSize) ReportTruncation(Pos);
      break;
    }
    if (R == trBad) {
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      break;
    }
    if (H.IsListable() && MatchFileSpec(ItemName(H), FileSpec, {}, true)) {
      Entries.push_back(H);
      TotalPacked += H.Size;
      TotalUnpacked += H.RealSize;
      NewestDate = std::max(NewestDate, UnixTimeToDos(H.MTime));
    }
    if (H.Torn) {  // the entry itself fails when it is extracted; what would follow it is lost
      ReportTruncation(H.NextPos);
      break;
    }
    Pos = H.NextPos;
  }
}

void TUnTar::FillItem(const TTarHeader& H, TArlItem& I) {
  I.Name = ItemName(H);
  I.PackedSize = H.Size;
  I.UnpackedSize = H.RealSize;
  I.DosDateTime = UnixTimeToDos(H.MTime);
  I.Attributes = H.IsFolder() ? faDirectory : 0x80;
  I.HeaderOffset = H.HeaderPos;
}

void TUnTar::ExtractForward(TStream32& Stream) {
  ArchiveReportsFirst = true;
  // No size is known: the end shows as a short read, and a size check against it never fails early.
  constexpr int64_t kUnknownSize = std::numeric_limits<int64_t>::max();
  int64_t Pos = 0;
  TTarHeader H;
  while (!GetCancel()) {
    const TTarReadResult R = ReadTarHeader(Stream, Pos, kUnknownSize, H);
    if (R == trEnd) {
      // A zero block ends the archive; fewer than 512 bytes left mean it was cut short. The block just
      // read is still kept by the stream.
      if (ReadAt(Stream, Pos, kTarBlockSize).size() < static_cast<size_t>(kTarBlockSize))
        ReportTruncation(Pos);
      break;
    }
    if (R == trBad) {
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      break;
    }
    if (H.IsListable() && MatchFileSpec(ItemName(H), FileSpec, {}, true)) {
      TotalPacked += H.Size;
      TotalUnpacked += H.RealSize;
      NewestDate = std::max(NewestDate, UnixTimeToDos(H.MTime));
      BytesToDo = H.Size;
      Item = TArlItem();
      FillItem(H, Item);
      CurrentOutputName = BuildOutputName(Item.Name);
      ExtractEntry(Stream, H);
      if (GetCancel()) break;
    }
    // Skips what was not read of the data; data that runs past the end makes the entry the last one.
    if (H.Size > 0 && ReadAt(Stream, H.DataPos + H.Size - 1, 1).empty()) {
      ReportTruncation(H.NextPos);
      break;
    }
    Pos = H.NextPos;
  }
}

void TUnTar::ExtractArchive(TStream32* Stream) {
  if (!Stream) return;
  ArchiveReportsFirst = false;
  if (ForwardInput) {
    ExtractForward(*Stream);
    return;
  }
  const int64_t StreamSize = StreamSizeOf(*Stream);
  std::vector<TTarHeader> Entries;
  Walk(*Stream, StreamSize, Entries);
  ExtractListed(
      Entries,
      [&](const TTarHeader& Listed, TTarHeader& H) {
        return ReadTarHeader(*Stream, Listed.Pos, StreamSize, H) == trOk;
      },
      FillItem, [&](const TTarHeader& H) { ExtractEntry(*Stream, H); });
}

void TUnTar::ExtractEntry(TStream32& Stream, const TTarHeader& H) {
  if (H.IsFolder()) {
    if (IsFileOutput() && CreateStoredDirs && !CurrentOutputName.empty()) ForceDirectories(CurrentOutputName);
    return;
  }
  if (!BeginItem(false)) {
    ProgressDone(Item);
    return;
  }
  if (!OpenOutput(Item.Name, CurrentOutputName)) {  // reported; the entry is not written
    --FileIndex;
    return;
  }
  bool Copied = false;
  try {
    if (H.Sparse) {
      Copied = CopySparse(Stream, H);
    } else {
      Stream.SetPosition(H.DataPos);
      Copied = CopyStored(&Stream, H.Size, ckNone, false) == 0;
      if (!Copied && !GetCancel()) DoError(Item.Name, "", errReadingFile);
    }
  } catch (const E_RAISE& E) {
    if (!E.Reported) DoError(Item.Name, "", E.ErrorCode);
  } catch (const EStreamError& E) {
    DoError(Item.Name, E.Message(), errReadingFile);
  }
  CloseOutput(faArchive, Item.DosDateTime, CurrentOutputName);
  // No checksum covers the data: the register is made to agree exactly when every byte came.
  Crc32Reg = 0;
  CheckCrc(ckCrc32, Copied ? 0u : 1u);
}

void TUnTar::WriteZeros(int64_t Count) {
  static const uint8_t kZeros[kCopyBlock] = {};
  while (Count > 0 && !GetCancel()) {
    const auto N = static_cast<int32_t>(std::min<int64_t>(Count, kCopyBlock));
    WriteBlock(kZeros, N, false, ckNone);
    Count -= N;
  }
}

bool TUnTar::CopySparse(TStream32& Stream, const TTarHeader& H) {
  std::vector<TSparseChunk> Map = H.Map;
  int64_t DataPos = H.DataPos;
  int64_t Stored = H.Size;
  if (H.MapInData) {
    if (!ReadSparseDataMap(Stream, H, Map, DataPos)) {
      DoError(Item.Name, "sparse map at offset " + std::to_string(H.DataPos), errBadFileHeader);
      return false;
    }
    Stored -= DataPos - H.DataPos;
  }
  if (!SparseMapFits(Map, H.RealSize, Stored)) {
    DoError(Item.Name, "sparse map of the header at offset " + std::to_string(H.HeaderPos), errBadFileHeader);
    return false;
  }
  // The stretches' data lies one after another; the holes between them are zeros.
  int64_t Written = 0;
  Stream.SetPosition(DataPos);
  for (const TSparseChunk& C : Map) {
    WriteZeros(C.Offset - Written);
    if (CopyStored(&Stream, C.Bytes, ckNone, false) != 0) {
      if (!GetCancel()) DoError(Item.Name, "", errReadingFile);
      return false;
    }
    Written = C.Offset + C.Bytes;
    if (GetCancel()) return false;
  }
  WriteZeros(H.RealSize - Written);
  return !GetCancel();
}
