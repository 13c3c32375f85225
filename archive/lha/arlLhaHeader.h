// Reading one LHA header (levels 0, 1 and 2) for the LHA reader.
//
// What is checked, since an archive may be hostile:
//   - every field is read through a bounds-checked cursor from the header's own bytes: a level-0/1
//     header of at least 22 bytes whose name and CRC lie inside it, a level-2 header of at least 26;
//   - the checksum of a level-0/1 header (the sum of its bytes) and the CRC-16 of a level-2 header
//     (its extended header of type 0, when present): a header that fails is refused, and none of its
//     sizes is used to find the next one;
//   - the chain of extended headers: each at least 3 bytes and inside the header (level 2) or inside
//     the entry's packed size (level 1), at most kMaxExtHeaders of them, so that no chain can loop or
//     run on;
//   - names: the file name (extended header type 1) and folder (type 2) wherever they stand in the
//     chain, each at most kMaxNamePart bytes;
//   - positions in 64 bits: the entry's data and the next header always lie after the header.
#pragma once

#include <cstdint>
#include <string>

class TStream32;

struct TLhaHeader {
  int64_t Pos = 0;         // where the header starts
  int64_t HeaderSize = 0;  // its bytes, level 1 without its extended headers
  uint8_t Level = 0;
  std::string MethodId;     // the 5 characters, "-lh5-"
  uint32_t PackedSize = 0;  // as stored (level 1: with the extended headers)
  uint32_t UnpackedSize = 0;
  uint32_t TimeStamp = 0;  // a packed DOS date-time (levels 0, 1) or a Unix time (level 2)
  uint8_t Attributes = 0;
  uint16_t Crc = 0;       // CRC-16 of the data
  uint8_t OsId = 0;       // 0 for level 0
  std::string RawName;    // the stored name bytes
  std::string RawFolder;  // the folder of an extended header of type 2 (separators as stored)
  int64_t DataPos = 0;    // where the entry's data starts
  int64_t DataSize = 0;   // bytes of data
  int64_t NextPos = 0;    // where the next header starts
};

enum TLhaReadResult : uint8_t {
  lhOk,
  lhEnd,  // a header size of 0, or the end of the stream
  lhBad,  // the header fails a check
};

constexpr int32_t kLhaMinHeader = 22;   // levels 0 and 1: the fixed fields and the name length
constexpr int32_t kLhaLevel2Base = 26;  // level 2: the fixed fields and the first extended size
constexpr int32_t kMaxExtHeaders = 64;  // extended headers of one entry
constexpr size_t kMaxNamePart = 255;    // bytes kept of a file name or a folder

TLhaReadResult ReadLhaHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize, TLhaHeader& H);

// Where the next header starts after a header at Pos that failed its checks, by its size fields alone
// (levels 0 to 3): -1 when they are not sane (a header shorter than the fixed fields or longer than
// kMaxSaneHeader, or header and data running past the end of the file), so that the walk ends there.
constexpr int64_t kMaxSaneHeader = 65536;
int64_t NextPosAfterBadHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize);
