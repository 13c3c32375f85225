#include "archive/zoo/arlUnZoo.h"

#include <algorithm>
#include <optional>

#include "archive/arc/arlCrc16Item.h"
#include "archive/arlHeaderCursor.h"
#include "archive/lzh/arlLzh3.h"
#include "archive/zoo/arlZooLzw.h"

namespace {

constexpr int32_t kTagOffset = 20;  // after the archive's 20-byte text

std::string EntryName(const TUnZoo::TEntry& E) {
  return ConvertItemName(BackslashesToSlashes(E.RawName), true);
}

}  // namespace

TUnZoo::TReadResult TUnZoo::ReadEntry(TStream32& Stream, int64_t Pos, TEntry& E) {
  E = TEntry();
  E.Pos = Pos;
  const std::vector<uint8_t> Raw = ReadAt(Stream, Pos, kEntrySize);
  if (Raw.size() < static_cast<size_t>(kEntrySize)) return rrShort;
  THeaderCursor C(Raw);
  uint32_t Tag = 0, Comment = 0;
  uint16_t Date = 0, Time = 0, CommentSize = 0;
  uint8_t Major = 0, Minor = 0, Deleted = 0, Structure = 0;
  std::string Name;
  C.U32(Tag);
  if (Tag != kTag) return rrBad;
  C.U8(E.Type), C.U8(E.Method), C.U32(E.Next), C.U32(E.DataPos), C.U16(Date), C.U16(Time), C.U16(E.Crc),
      C.U32(E.UnpackedSize), C.U32(E.PackedSize), C.U8(Major), C.U8(Minor), C.U8(Deleted), C.U8(Structure),
      C.U32(Comment), C.U16(CommentSize), C.Bytes(kNameField, Name);
  E.DosDateTime = (static_cast<uint32_t>(Date) << 16) | Time;
  E.Deleted = Deleted != 0;
  E.RawName = Name.substr(0, Name.find('\0'));
  return rrOk;
}

void TUnZoo::Walk(TStream32& Stream, int64_t StreamSize, std::vector<TEntry>& Entries) {
  const std::vector<uint8_t> Header = ReadAt(Stream, 0, kArchiveHeaderSize);
  THeaderCursor C(Header);
  uint32_t Tag = 0, First = 0, Negated = 0;
  if (!C.Skip(kTagOffset) || !C.U32(Tag) || !C.U32(First) || !C.U32(Negated) || Tag != kTag ||
      Negated != 0u - First) {
    DoError(ArchiveFile, "offset 0", errBadFileHeader);
    return;
  }
  int64_t Pos = First;
  TEntry E;
  for (int32_t Hops = 0; Hops < kMaxEntries && !GetCancel(); ++Hops) {
    const TReadResult R = ReadEntry(Stream, Pos, E);
    if (R == rrShort) {  // the chain goes on past the end of the file
      ReportTruncation(Pos);
      break;
    }
    if (R == rrBad) {
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      break;
    }
    if (E.Next == 0) break;  // the end entry
    if (!E.Deleted && MatchFileSpec(EntryName(E), FileSpec, {}, true)) {
      Entries.push_back(E);
      TotalPacked += E.PackedSize;
      TotalUnpacked += E.UnpackedSize;
      NewestDate = std::max(NewestDate, E.DosDateTime);
    }
    if (E.Next <= Pos) {
      DoError(ArchiveFile, "offset " + std::to_string(Pos), errBadFileHeader);
      break;
    }
    if (E.Next >= StreamSize) {
      ReportTruncation(E.Next);
      break;
    }
    Pos = E.Next;
  }
}

void TUnZoo::ExtractArchive(TStream32* Stream) {
  if (!Stream) return;
  const int64_t StreamSize = StreamSizeOf(*Stream);
  std::vector<TEntry> Entries;
  Walk(*Stream, StreamSize, Entries);
  ExtractListed(
      Entries, [&](const TEntry& Listed, TEntry& E) { return ReadEntry(*Stream, Listed.Pos, E) == rrOk; },
      [](const TEntry& E, TArlItem& I) {
        I.Name = EntryName(E);
        I.Method = E.Method;
        I.PackedSize = E.PackedSize;
        I.UnpackedSize = E.UnpackedSize;
        I.DosDateTime = E.DosDateTime;
        I.Crc = E.Crc;
        I.Attributes = 0x80;
        I.HeaderOffset = E.Pos;
      },
      [&](const TEntry& E) { ExtractEntry(*Stream, E); });
}

void TUnZoo::ExtractEntry(TStream32& Stream, const TEntry& E) {
  if (E.Method > 2) {
    DoError(Item.Name, "method " + std::to_string(E.Method), errUnsupportedMethod);
    ProgressDone(Item);
    return;
  }
  TLzhDecodeFn Decode;
  std::optional<TZooLzwDecoder> Lzw;
  std::optional<TLzh3Decoder> Huffman;
  if (E.Method == 1) {
    Lzw.emplace();
    Decode = [&Lzw](auto&&... A) { return Lzw->Decode(A...); };
  } else if (E.Method == 2) {
    Huffman.emplace(kLzh3Zoo);
    Decode = [&Huffman](auto&&... A) { return Huffman->Decode(A...); };
  }
  ExtractCrc16Item(*this, Stream, E.DataPos, E.Crc, Decode);
}
