// Reading the header of one GZIP member (RFC 1952 layout; the old magic 1F 9E reads the same way).
//
// What is checked, since a file may be hostile:
//   - the magic and the fixed 10 bytes;
//   - the extra field (flag 0x04) by its 16-bit length, inside the file;
//   - the stored name (0x08) and comment (0x10) up to their NUL, at most kMaxHeaderText bytes each (the
//     first kMaxName bytes of the name are kept), inside the file;
//   - the header CRC (0x02) is skipped by its 2 bytes;
//   - the data offset is where the header really ends, whatever the length of its texts.
#pragma once

#include <cstdint>
#include <string>

class TStream32;

struct TGzipMember {
  int64_t Pos = 0;
  uint8_t Magic2 = 0;  // the second magic byte: 0x8B or 0x9E
  uint8_t Method = 0;
  uint8_t Flags = 0;
  uint32_t MTime = 0;  // seconds since 1970; 0 when not stored
  std::string RawName;
  int64_t DataPos = 0;  // where the deflated data starts
};

enum TGzipReadResult : uint8_t {
  grOk,
  grNotGzip,  // no member magic at the position
  grBad,      // the header runs past the end of the file or past a limit
};

constexpr int32_t kGzipFixedHeader = 10;
constexpr int32_t kGzipTrailer = 8;        // CRC-32 and the size mod 2^32
constexpr int64_t kMaxHeaderText = 65536;  // bytes of a stored name or comment
constexpr size_t kMaxGzipName = 255;       // bytes kept of a stored name
constexpr uint8_t kGzipDeflate = 8;

// Member flags.
enum : uint8_t {
  gfText = 0x01,
  gfHeaderCrc = 0x02,
  gfExtra = 0x04,
  gfName = 0x08,
  gfComment = 0x10,
  gfEncrypted = 0x20,
};

TGzipReadResult ReadGzipMember(TStream32& Stream, int64_t Pos, int64_t StreamSize, TGzipMember& M);
