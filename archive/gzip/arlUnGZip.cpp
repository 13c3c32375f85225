#include "archive/gzip/arlUnGZip.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "archive/arlForwardStream.h"
#include "archive/arlHeaderCursor.h"
#include "archive/gzip/arlDelzw.h"
#include "archive/gzip/arlGzipHeader.h"
#include "archive/tar/arlTarHeader.h"
#include "core/VFileSys.h"

namespace {

// The DOS date-time given when a stored time cannot be converted (1980-01-01 00:01:00).
constexpr uint32_t kDefaultDosDate = 0x00210020;

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

TUnGZip::TDecoded TUnGZip::Drain(TGzipInflater& Inflater, const TLzhSink& Sink) {
  std::vector<uint8_t> Buffer(kOutputChunk);
  for (;;) {
    const int32_t N = Inflater.Next(Buffer.data(), kOutputChunk);
    if (N <= 0) break;
    Sink(Buffer.data(), N);
  }
  return TDecoded{Inflater.Produced(), Inflater.Error()};
}

TUnGZip::TDecoded TUnGZip::DecodeGzip(TStream32& Stream, int64_t StreamSize, int64_t Cap,
                                      const TLzhSink& Sink) {
  TGzipInflater Inflater(Stream, StreamSize, Cap, [this] { return GetCancel(); });
  return Drain(Inflater, Sink);
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
  // The last trailer's size field (the size modulo 2^32 of the last member, all of a file of one member).
  int64_t Declared = -1;
  if (Kind == gkGzip) {
    const std::vector<uint8_t> Last =
        StreamSize >= 4 ? ReadAt(*Stream, StreamSize - 4, 4) : std::vector<uint8_t>();
    if (Last.size() == 4)
      Declared = Last[0] | (Last[1] << 8) | (Last[2] << 16) | (static_cast<uint32_t>(Last[3]) << 24);
  }
  // A good guess of what the walk keeps: room for that much saves growing the buffer step by step.
  auto ReserveDeclared = [&Kept, Declared] {
    if (Declared >= 0 && Declared <= static_cast<int64_t>(kMaxKept))
      Kept.reserve(static_cast<size_t>(Declared));
  };
  const TLzhSink Keep = [this, Stream, StreamSize, &Kept, &KeptAll](const uint8_t* Buffer, int32_t Count) {
    if (KeptAll && Kept.size() + static_cast<size_t>(Count) <= kMaxKept) {
      Kept.insert(Kept.end(), Buffer, Buffer + Count);
    } else if (KeptAll) {
      KeptAll = false;
      std::vector<uint8_t>().swap(Kept);
    }
    DoProgress(Percent(static_cast<double>(StreamSize), static_cast<double>(Stream->Position())), 0);
  };
  if (Kind == gkGzip) {
    TGzipInflater Inflater(*Stream, StreamSize, kMaxOutput, [this] { return GetCancel(); });
    if (OnStreamQuery && OnStreamQuery(TStreamQuery{Item.Name})) {
      // The entry's first bytes tell the owner what it holds; they stay kept for the count.
      std::vector<uint8_t> Buffer(kOutputChunk);
      while (Kept.size() < kStreamHeadBytes) {
        const int32_t N = Inflater.Next(Buffer.data(), kOutputChunk);
        if (N <= 0) break;
        Keep(Buffer.data(), N);
      }
      if (GetCancel()) return;
      const bool Whole = Inflater.Done();
      const int64_t Size = Whole ? Inflater.Produced() : std::max<int64_t>(Declared, 0);
      if (OnStreamQuery(
              TStreamQuery{Item.Name, Kept.data(), static_cast<int32_t>(Kept.size()), Size, Whole})) {
        StreamEntry(*Stream, StreamSize, Inflater, Kept, Size);
        return;
      }
    }
    ReserveDeclared();
    Counted = Drain(Inflater, Keep);
  } else if (Kind == gkCompress) {
    Counted = DecodeCompress(*Stream, kMaxOutput, Keep);
  }
  if (Kind != gkOther) {
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

void TUnGZip::StreamEntry(TStream32& Stream, int64_t StreamSize, TGzipInflater& Inflater,
                          const std::vector<uint8_t>& Head, int64_t Size) {
  Item.UnpackedSize = Size;
  TotalPacked = Item.PackedSize;
  TotalUnpacked = Size;
  NewestDate = Item.DosDateTime;
  BytesToDo = Size;
  CurrentOutputName = BuildOutputName(Item.Name);
  // The head first, then the rest as it is inflated, in the chunks the count would have asked for. While
  // the owner reads, its own progress polls; the rest after it is drained with progress here.
  size_t HeadAt = 0;
  bool Draining = false;
  TForwardStream Data(
      [&](uint8_t* Buffer, int32_t Capacity) -> int32_t {
        if (HeadAt < Head.size()) {
          const auto N =
              static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(Capacity), Head.size() - HeadAt));
          std::copy_n(Head.data() + HeadAt, N, Buffer);
          HeadAt += static_cast<size_t>(N);
          return N;
        }
        const int32_t N = Inflater.Next(Buffer, Capacity);
        if (Draining && N > 0)
          DoProgress(Percent(static_cast<double>(StreamSize), static_cast<double>(Stream.Position())), 0);
        return N;
      },
      kOutputChunk, kStreamKeepBytes);

  StreamOffered = true;
  StreamTaken = false;
  const bool Begun = BeginItem(false);
  StreamOffered = false;
  const bool Taken = std::exchange(StreamTaken, false);
  int32_t WriteError = 0;
  if (Begun && Taken) {
    if (OnStreamEntry) OnStreamEntry(Data);
    // The entry's end is told under the name that closing an output would leave.
    if (!IsFileOutput()) CurrentOutputName = Item.Name;
  } else if (Begun) {
    // Offered as a stream and taken as an ordinary entry: written as it is read.
    if (!OpenOutput(Item.Name, CurrentOutputName)) {  // reported; the entry is not written
      --FileIndex;
      return;
    }
    int64_t Written = 0;
    try {
      std::vector<uint8_t> Buffer(kOutputChunk);
      for (int32_t N; !GetCancel() && (N = Data.Read(Buffer.data(), kOutputChunk)) > 0;)
        WriteDecoded(Buffer.data(), N, Written);
    } catch (const E_RAISE& E) {
      WriteError = E.ErrorCode;
      if (!E.Reported) DoError(Item.Name, "", E.ErrorCode);
    }
    CloseOutput(faArchive, Item.DosDateTime, CurrentOutputName);
  }
  if (GetCancel()) return;
  Draining = true;
  Data.Drain();
  if (GetCancel()) return;
  const int32_t Error = Inflater.Error();
  if (Error != 0 && Error != errWritingFile) DoError(Item.Name, "", Error);
  if (!Begun) {
    DoProgress(100, 100);
    return;
  }
  // Every member was checked against its own CRC-32 and size while it was decoded.
  Crc32Reg = 0;
  CheckCrc(ckCrc32, Error == 0 && WriteError == 0 ? 0u : 1u);
}
