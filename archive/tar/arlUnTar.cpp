#include "archive/tar/arlUnTar.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "archive/arlForwardStream.h"
#include "archive/arlHeaderCursor.h"

namespace {

// The most bytes an item that is delivered can hold.
constexpr int64_t kMaxItemBytes = INT32_MAX;
// The lost entries named in one report; the rest are counted.
constexpr size_t kMaxNamedLost = 20;
// Headers followed after a cut-short entry to name what is lost.
constexpr size_t kMaxLostHeaders = 100000;

int64_t RoundUpToBlock(int64_t N) { return (N + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize; }

bool IsZeroBlock(const std::vector<uint8_t>& Block) {
  for (uint8_t B : Block)
    if (B != 0) return false;
  return true;
}

}  // namespace

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
      ReportCutShort(Stream, H, H.DataPos, StreamSize);
      break;
    }
    Pos = H.NextPos;
  }
}

void TUnTar::FillItem(const TTarHeader& H, TArlItem& I) {
  I.Name = ItemName(H);
  I.PackedSize = H.Size;
  I.UnpackedSize = H.RealSize;
  // A cut-short entry gives what the file holds of it (a sparse file's holes are not in the file).
  if (H.Torn && !H.Sparse) I.UnpackedSize = std::min(H.Size, H.Held);
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
    const bool Listed = H.IsListable() && MatchFileSpec(ItemName(H), FileSpec, {}, true);
    bool Deliver = Listed;
    int64_t End = -1;
    // Whether the entry's data is all there is found before it is begun when that costs nothing (the data
    // is still kept when the stream has read on to its end) or when the entry claims 2 GB or more (which
    // cannot be delivered anyway): a cut-short entry is then delivered with the bytes there are, as from
    // a file, when they are still kept.
    if (Listed && !H.Sparse && H.Size > 0 &&
        (H.Size <= kForwardKeepBytes - kCopyBlock || H.Size > kMaxItemBytes) &&
        EndsBefore(Stream, H.DataPos + H.Size, End) && End >= 0) {
      H.Torn = true;
      H.Held = std::max<int64_t>(End - H.DataPos, 0);
      Deliver = H.Held + kCopyBlock <= kForwardKeepBytes;
    }
    if (Deliver) {
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
    if (H.Size > 0 && (H.Torn || EndsBefore(Stream, H.DataPos + H.Size, End))) {
      if (End < 0) {
        ReportTruncation(H.NextPos);
      } else {
        // Only the last bytes are still kept: the headers after the entry are looked for there.
        H.Held = std::max<int64_t>(End - H.DataPos, 0);
        ReportCutShort(Stream, H, std::max(H.DataPos, End + kCopyBlock - kForwardKeepBytes), End);
      }
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

bool TUnTar::EndsBefore(TStream32& Stream, int64_t Pos, int64_t& End) {
  End = -1;
  // In steps, so that a stream whose data ends first still keeps the bytes before its end: a seek far
  // past the end would leave it keeping nothing.
  for (int64_t At = Stream.Position();;) {
    At = std::min(At + kCopyBlock, Pos - 1);
    if (ReadAt(Stream, At, 1).empty()) {
      End = ForwardEnd(Stream);
      return true;
    }
    if (At >= Pos - 1) return false;
  }
}

int64_t TUnTar::ForwardEnd(TStream32& Stream) {
  auto* Forward = dynamic_cast<TForwardStream*>(&Stream);
  return Forward != nullptr && Forward->Ended() ? Forward->Produced() : -1;
}

std::vector<std::string> TUnTar::HeadersAfter(TStream32& Stream, int64_t From, int64_t End) {
  std::vector<std::string> Names;
  for (int64_t P = RoundUpToBlock(From); P + kTarBlockSize <= End && !GetCancel(); P += kTarBlockSize) {
    const std::vector<uint8_t> Block = ReadAt(Stream, P, kTarBlockSize);
    if (Block.size() < static_cast<size_t>(kTarBlockSize) || IsZeroBlock(Block) ||
        !TZipCommon::TarChecksumOk(Block.data()))
      continue;
    // The first header found: the entries from it on are the archive's rest, as far as they read.
    TTarHeader N;
    for (int64_t Q = P; Names.size() < kMaxLostHeaders && ReadTarHeader(Stream, Q, End, N) == trOk;
         Q = N.NextPos) {
      if (N.IsListable() && !N.IsFolder()) Names.push_back(ItemName(N));
      if (N.Torn) break;
    }
    break;
  }
  return Names;
}

bool TUnTar::EndsWithEndMarker(TStream32& Stream, int64_t End) {
  return End >= kTarBlockSize && End % kTarBlockSize == 0 &&
         IsZeroBlock(ReadAt(Stream, End - kTarBlockSize, kTarBlockSize));
}

void TUnTar::ReportCutShort(TStream32& Stream, const TTarHeader& H, int64_t From, int64_t End) {
  std::string Text = "\"" + ItemName(H) + "\" is cut short: its header claims " + std::to_string(H.Size) +
                     " bytes, and the archive holds " + std::to_string(H.Held) + " after it";
  // Entries lost with it are looked for only in an archive that ends as a whole one does (a zero block at a
  // block boundary), where the size field is what is wrong. A file cut off inside the entry has nothing
  // after it: headers found in the entry's own data (a TAR stored in it) are not the archive's.
  if (EndsWithEndMarker(Stream, End)) {
    const std::vector<std::string> Lost = HeadersAfter(Stream, From, End);
    if (!Lost.empty()) {
      Text += "; lost with it: ";
      for (size_t I = 0; I < Lost.size() && I < kMaxNamedLost; ++I) Text += (I > 0 ? ", " : "") + Lost[I];
      if (Lost.size() > kMaxNamedLost)
        Text += " and " + std::to_string(Lost.size() - kMaxNamedLost) + " more";
    }
    // Of a decompressed stream only the last bytes are still at hand.
    if (From > RoundUpToBlock(H.DataPos))
      Text += "; entries lost before offset " + std::to_string(From) + " cannot be named";
  }
  DoError(ArchiveFile, Text, errReadingFile);
}
