#include "archive/gzip/arlGzipHeader.h"

#include <algorithm>
#include <vector>

#include "archive/arlHeaderCursor.h"

namespace {

constexpr int32_t kScanChunk = 4096;

// The bytes from Pos up to the next NUL: Pos moves past the NUL, Text keeps at most Keep bytes. False when
// no NUL comes within kMaxHeaderText bytes or before the end of the stream.
bool ReadZeroTerminated(TStream32& Stream, int64_t& Pos, size_t Keep, std::string& Text) {
  for (int64_t Scanned = 0; Scanned <= kMaxHeaderText;) {
    const std::vector<uint8_t> Chunk = ReadAt(Stream, Pos + Scanned, kScanChunk);
    if (Chunk.empty()) return false;
    const auto Nul = std::find(Chunk.begin(), Chunk.end(), 0);
    const size_t Taken = static_cast<size_t>(Nul - Chunk.begin());
    if (Text.size() < Keep)
      Text.append(Chunk.begin(),
                  Chunk.begin() + static_cast<std::ptrdiff_t>(std::min(Taken, Keep - Text.size())));
    if (Nul != Chunk.end()) {
      Pos += Scanned + static_cast<int64_t>(Taken) + 1;
      return true;
    }
    Scanned += static_cast<int64_t>(Chunk.size());
  }
  return false;
}

}  // namespace

TGzipReadResult ReadGzipMember(TStream32& Stream, int64_t Pos, int64_t StreamSize, TGzipMember& M) {
  M = TGzipMember();
  M.Pos = Pos;
  const std::vector<uint8_t> Fixed = ReadAt(Stream, Pos, kGzipFixedHeader);
  if (Fixed.size() < 2 || Fixed[0] != 0x1F || (Fixed[1] != 0x8B && Fixed[1] != 0x9E)) return grNotGzip;
  if (Fixed.size() < static_cast<size_t>(kGzipFixedHeader)) return grBad;
  THeaderCursor C(Fixed);
  uint8_t Magic1 = 0, ExtraFlags = 0, Os = 0;
  C.U8(Magic1), C.U8(M.Magic2), C.U8(M.Method), C.U8(M.Flags), C.U32(M.MTime), C.U8(ExtraFlags), C.U8(Os);
  int64_t At = Pos + kGzipFixedHeader;
  if (M.Flags & gfExtra) {
    const std::vector<uint8_t> Length = ReadAt(Stream, At, 2);
    if (Length.size() < 2) return grBad;
    At += 2 + (Length[0] | (Length[1] << 8));
  }
  if ((M.Flags & gfName) && !ReadZeroTerminated(Stream, At, kMaxGzipName, M.RawName)) return grBad;
  std::string Comment;
  if ((M.Flags & gfComment) && !ReadZeroTerminated(Stream, At, 0, Comment)) return grBad;
  if (M.Flags & gfHeaderCrc) At += 2;
  if (At > StreamSize) return grBad;
  M.DataPos = At;
  return grOk;
}
