#include "archive/gzip/arlUnGZip.h"

#include <algorithm>
#include <vector>

#include "archive/arlHeaderCursor.h"
#include "archive/gzip/arlDelzw.h"
#include "archive/gzip/arlGzipHeader.h"
#include "archive/tar/arlTarHeader.h"
#include "core/VFileSys.h"

namespace {

// The DOS date-time given when a stored time cannot be converted (1980-01-01 00:01:00).
constexpr uint32_t kDefaultDosDate = 0x00210020;

// The CRC-32 of GZIP: the register starts at all ones and is complemented at the end.
constexpr uint32_t kCrcStart = 0xFFFFFFFF;

// Extensions whose decompressed file is a TAR archive.
bool IsTarAlias(const std::string& Ext) {
  return SameTextAscii(Ext, ".tgz") || SameTextAscii(Ext, ".taz") || SameTextAscii(Ext, ".tz");
}

}  // namespace

std::string TUnGZip::DefaultName() const {
  std::string Dir, Name;
  SplitFileName(ArchiveFile, Dir, Name);
  const size_t Dot = Name.rfind('.');
  // A file without extension would be extracted over itself in its own folder.
  if (Dot == std::string::npos || Dot == 0) return Name + ".out";
  const std::string Ext = Name.substr(Dot);
  return Name.substr(0, Dot) + (IsTarAlias(Ext) ? ".tar" : "");
}

TUnGZip::TDecoded TUnGZip::DecodeGzip(TStream32& Stream, int64_t StreamSize, int64_t Cap,
                                      const TLzhSink& Sink) {
  TDecoded R;
  std::vector<uint8_t> Buffer(kOutputChunk);
  int64_t Pos = 0;
  for (int32_t Member = 0; !GetCancel(); ++Member) {
    TGzipMember M;
    const TGzipReadResult H = ReadGzipMember(Stream, Pos, StreamSize, M);
    if (H == grNotGzip && Member > 0) break;  // trailing bytes that start no member are ignored
    if (H != grOk) {
      R.Error = errBadFileHeader;
      break;
    }
    if (Member == kMaxMembers) {
      R.Error = errBadFileHeader;
      break;
    }
    if (M.Method != kGzipDeflate) {
      R.Error = errUnsupportedMethod;
      break;
    }
    if (M.Flags & gfEncrypted) {
      R.Error = errPasswordProtected;
      break;
    }
    uint32_t Crc = kCrcStart;
    int64_t MemberSize = 0;
    bool Ended = false;
    {
      Stream.SetPosition(M.DataPos);
      TDecompressStream Inflate(Stream);
      while (!GetCancel()) {
        const int64_t Room = Cap - R.Produced;
        if (Room <= 0) break;
        const int32_t N =
            Inflate.Read(Buffer.data(), static_cast<int32_t>(std::min<int64_t>(kOutputChunk, Room)));
        if (N < 0) {
          R.Error = errCorruptInput;
          break;
        }
        if (N > 0) {
          CrcUpdate32(Buffer.data(), N, Crc);
          MemberSize += N;
          R.Produced += N;
          Sink(Buffer.data(), N);
        }
        if (Inflate.AtStreamEnd()) {
          Ended = true;
          break;
        }
        if (N == 0) {
          R.Error = errEofNotFound;
          break;
        }
      }
      if (!Ended && R.Error == 0 && !GetCancel()) {
        // Stopped at the cap: was there more?
        uint8_t Probe;
        if (Inflate.Read(&Probe, 1) != 0 || !Inflate.AtStreamEnd())
          R.Error = errWritingFile;
        else
          Ended = true;
      }
    }  // the inflating stream leaves the archive right after the deflated data
    if (!Ended || R.Error != 0) break;
    const int64_t TrailerPos = Stream.Position();
    const std::vector<uint8_t> Trailer = ReadAt(Stream, TrailerPos, kGzipTrailer);
    if (Trailer.size() < static_cast<size_t>(kGzipTrailer)) {
      R.Error = errEofNotFound;
      break;
    }
    THeaderCursor T(Trailer);
    uint32_t StoredCrc = 0, StoredSize = 0;
    T.U32(StoredCrc), T.U32(StoredSize);
    if (StoredCrc != ~Crc || StoredSize != static_cast<uint32_t>(MemberSize)) {
      R.Error = errCrcFailed;
      break;
    }
    Pos = TrailerPos + kGzipTrailer;
    if (Pos >= StreamSize) break;
  }
  return R;
}

TUnGZip::TDecoded TUnGZip::DecodeCompress(TStream32& Stream, int64_t Cap, const TLzhSink& Sink) {
  TDecoded R;
  const std::vector<uint8_t> Header = ReadAt(Stream, 0, TDelzwDecoder::kHeaderSize);
  int MaxBits = 0;
  bool BlockMode = false;
  switch (ReadCompressHeader(Header.data(), static_cast<int32_t>(Header.size()), MaxBits, BlockMode)) {
    case chOk:
      break;
    case chReservedBits:
      R.Error = errIncompleteCodeSet;
      return R;
    case chNotCompress:
    case chBadWidth:
      R.Error = errCorruptInput;
      return R;
  }
  Stream.SetPosition(TDelzwDecoder::kHeaderSize);
  auto Source = [&](uint8_t* Buffer, int32_t Count) -> int32_t {
    return GetCancel() ? 0 : ReadBlock(&Stream, Buffer, Count, ckNone, false);
  };
  TDelzwDecoder D(MaxBits, BlockMode);
  // One byte beyond the cap tells whether the data goes on.
  int64_t Taken = 0;
  auto Capped = [&](const uint8_t* Buffer, int32_t Count) {
    const int32_t Keep = static_cast<int32_t>(std::min<int64_t>(Count, Cap - Taken));
    if (Keep > 0) Sink(Buffer, Keep);
    Taken += Keep;
  };
  const TLzhResult Result = D.Decode(Source, Cap + 1, Capped);
  R.Produced = Taken;
  if (Result != lrOk)
    R.Error = errCorruptInput;
  else if (D.Produced() > Cap)
    R.Error = errWritingFile;
  return R;
}

TUnGZip::TDecoded TUnGZip::Decode(TKind Kind, TStream32& Stream, int64_t StreamSize, const TLzhSink& Sink) {
  return Kind == gkGzip ? DecodeGzip(Stream, StreamSize, kMaxOutput, Sink)
                        : DecodeCompress(Stream, kMaxOutput, Sink);
}

void TUnGZip::WriteDecoded(const uint8_t* Buffer, int32_t Count, int64_t& Written) {
  if (Written == 0 && Count >= kTarBlockSize && TarChecksumOk(Buffer)) {
    bool Extract = false;
    if (OnNestedTarFile)
      OnNestedTarFile(this, Item.Name, Extract);
    else
      DoError(Item.Name, "OnNestedTarFile", errEventNotAssigned);
  }
  Written += Count;
  BytesToDo = std::max<int64_t>(BytesToDo - Count, 0);
  UpdateProgress(Written, TotalUnpacked, Item.UnpackedSize);
  WriteBlock(Buffer, Count, false, ckNone);
}

void TUnGZip::ExtractArchive(TStream32* Stream) {
  if (!Stream) return;
  int64_t StreamSize = 0;
  try {
    StreamSize = Stream->Size();
  } catch (const EStreamError&) {
  }
  const std::vector<uint8_t> Magic = ReadAt(*Stream, 0, 2);
  if (Magic.size() < 2 || Magic[0] != 0x1F) return;
  TKind Kind = gkNone;
  if (Magic[1] == 0x8B || Magic[1] == 0x9E) Kind = gkGzip;
  if (Magic[1] == 0x9D) Kind = gkCompress;
  if (Magic[1] == 0x1E || Magic[1] == 0xA0) Kind = gkOther;
  if (Kind == gkNone) return;

  Item = TArlItem();
  Item.Name = DefaultName();
  Item.PackedSize = Item.UnpackedSize = StreamSize;
  Item.DosDateTime = FileDate;
  Item.Attributes = 0x80;
  if (Kind == gkGzip) {
    TGzipMember M;
    if (ReadGzipMember(*Stream, 0, StreamSize, M) != grOk) {
      DoError(ArchiveFile, "0", errBadFileHeader);
      return;
    }
    if (!M.RawName.empty()) Item.Name = ConvertItemName(BackslashesToSlashes(M.RawName), false);
    Item.Flags = M.Flags;
    Item.Method = M.Method;
    if (M.MTime != 0) {
      Item.DosDateTime = UnixTimeToDos(M.MTime);
      if (Item.DosDateTime == 0) Item.DosDateTime = kDefaultDosDate;
    }
  }
  if (!MatchFileSpec(Item.Name, FileSpec, {}, true)) return;
  // The walk: the exact decompressed size. Progress reports the part of the file read, so that the owner
  // may stop a long count. A small entry's bytes are kept, so that its extraction needs no second pass.
  std::vector<uint8_t> Kept;
  bool KeptAll = true;
  TDecoded Counted;
  if (Kind == gkGzip) {
    // The last trailer's size field (the size modulo 2^32 of the last member, all of a file of one member)
    // is a good guess of what the walk keeps: room for that much saves growing the buffer step by step.
    const std::vector<uint8_t> Last =
        StreamSize >= 4 ? ReadAt(*Stream, StreamSize - 4, 4) : std::vector<uint8_t>();
    if (Last.size() == 4) {
      const uint32_t Guess =
          Last[0] | (Last[1] << 8) | (Last[2] << 16) | (static_cast<uint32_t>(Last[3]) << 24);
      if (Guess <= kMaxKept) Kept.reserve(Guess);
    }
  }
  if (Kind != gkOther) {
    Counted = Decode(
        Kind, *Stream, StreamSize,
        [this, Stream, StreamSize, &Kept, &KeptAll](const uint8_t* Buffer, int32_t Count) {
          if (KeptAll && Kept.size() + static_cast<size_t>(Count) <= kMaxKept) {
            Kept.insert(Kept.end(), Buffer, Buffer + Count);
          } else if (KeptAll) {
            KeptAll = false;
            std::vector<uint8_t>().swap(Kept);
          }
          DoProgress(Percent(static_cast<double>(StreamSize), static_cast<double>(Stream->Position())), 0);
        });
    if (GetCancel()) return;
    Item.UnpackedSize = Counted.Produced + (Counted.Error == errWritingFile ? 1 : 0);
    // Damage is reported here, where it is found: the entry is offered with the bytes before it, which
    // may be few or none, and must not pass for a complete (or empty) file.
    if (Counted.Error != 0 && Counted.Error != errWritingFile) DoError(Item.Name, "", Counted.Error);
  }
  // Progress counts the bytes written.
  TotalPacked = Item.PackedSize;
  TotalUnpacked = Item.UnpackedSize;
  NewestDate = Item.DosDateTime;
  BytesToDo = TotalUnpacked;
  CurrentOutputName = BuildOutputName(Item.Name);

  if (Kind == gkOther) {
    DoError(Item.Name, "", errUnsupportedMethod);
    DoProgress(100, 100);
    return;
  }
  if (!BeginItem(false)) {
    DoProgress(100, 100);
    return;
  }
  if (!OpenOutput(Item.Name, CurrentOutputName)) {  // reported; the entry is not written
    --FileIndex;
    return;
  }
  int64_t Written = 0;
  TDecoded Result;
  try {
    if (KeptAll) {
      Result = Counted;
      for (size_t At = 0; At < Kept.size() && !GetCancel(); At += kOutputChunk) {
        const auto Count = static_cast<int32_t>(std::min<size_t>(kOutputChunk, Kept.size() - At));
        WriteDecoded(Kept.data() + At, Count, Written);
      }
    } else {
      Result = Decode(Kind, *Stream, StreamSize, [this, &Written](const uint8_t* Buffer, int32_t Count) {
        WriteDecoded(Buffer, Count, Written);
      });
      // The listing reported what it found; another fault is news.
      if (Result.Error != 0 && Result.Error != Counted.Error && !GetCancel())
        DoError(Item.Name, "", Result.Error);
    }
  } catch (const E_RAISE& E) {
    Result.Error = E.ErrorCode;
    if (!E.Reported) DoError(Item.Name, "", E.ErrorCode);
  } catch (const EStreamError& E) {
    Result.Error = errReadingFile;
    DoError(Item.Name, E.Message(), errReadingFile);
  }
  CloseOutput(faArchive, Item.DosDateTime, CurrentOutputName);
  // Each member was checked against its own CRC-32 and size while it was decoded: the entry passes when
  // all did (the register is made to agree or not).
  Crc32Reg = 0;
  CheckCrc(ckCrc32, Result.Error == 0 ? 0u : 1u);
}
