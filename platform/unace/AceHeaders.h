// The ACE archive's block headers: finding the main header, and reading each block of a volume through
// a bounds-checked cursor. Knows nothing of decompression.
//
// What is checked:
// - every field is read through TAceCursor, which fails instead of reading past the header's bytes;
// - a header's CRC (the low 16 bits of the ACE CRC-32 of its bytes) must match before any of its fields
//   is trusted; a mismatch is damage, never skipped over;
// - a block must lie inside its volume: a header cut off by the end of the file is a torn tail;
// - the main header is looked for only within the first SearchLimit bytes, and must carry "**ACE**";
// - a name is at most kMaxName bytes (the header size field caps it anyway);
// - every block moves the position forward by at least its 4-byte prefix, so a walk always ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The ACE CRC-32 register: starts at 0xFFFFFFFF and is stored without the final inversion.
uint32_t AceCrc32(uint32_t Crc, const uint8_t* Data, size_t N);
constexpr uint32_t kAceCrcStart = 0xFFFFFFFF;

class TAceCursor {
 public:
  TAceCursor(const uint8_t* Data, size_t Size) : P_(Data), Left_(Size) {}
  bool U8(uint8_t& V);
  bool U16(uint16_t& V);
  bool U32(uint32_t& V);
  bool U64(uint64_t& V);
  bool Bytes(size_t N, std::string& Out);
  bool Skip(size_t N);
  size_t Remaining() const { return Left_; }

 private:
  const uint8_t* P_;
  size_t Left_;
};

// Header flags.
enum : uint16_t {
  kAceFlagAddSize = 1u << 0,
  kAceFlagComment = 1u << 1,
  kAceFlag64Bit = 1u << 2,
  kAceMainAdvert = 1u << 12,
  kAceMainMultiVolume = 1u << 11,
  kAceMainSolid = 1u << 15,
  kAceFileContinuedFromPrevious = 1u << 12,
  kAceFileContinuesInNext = 1u << 13,
  kAceFileEncrypted = 1u << 14,
};
enum : uint8_t { kAceBlockMain = 0, kAceBlockFile = 1, kAceBlockFile64 = 3 };
constexpr uint32_t kAceFolderAttribute = 0x10;
constexpr size_t kAceMaxName = 0xFFFF;

struct TAceMainHeader {
  uint16_t Flags = 0;
  uint8_t VersionToExtract = 0, VersionCreated = 0, Host = 0, Volume = 0;
  uint32_t Time = 0;
};

struct TAceFileHeader {
  uint16_t Flags = 0;
  uint64_t PackedSize = 0, Size = 0;
  uint32_t Time = 0, Attributes = 0, Crc = 0;
  uint8_t Method = 0, Quality = 0;
  uint16_t Params = 0;
  std::string Name;  // as stored: the host's code page, '\\' between folders
};

enum class TAceBlockResult { Ok, End, Truncated, BadCrc, Malformed };

// One block read from a volume.
struct TAceBlock {
  uint8_t Type = 0;
  uint16_t Flags = 0;
  uint64_t HeaderOffset = 0;
  uint64_t DataOffset = 0;  // the first byte after the header
  uint64_t DataSize = 0;    // the extra data after the header (a file's packed data)
  TAceMainHeader Main;      // when Type is kAceBlockMain
  TAceFileHeader File;      // when Type is a file block
  uint64_t Next() const { return DataOffset + DataSize; }
};

// Reads N bytes at Offset of a volume; answers how many it read.
class TAceVolumeReader {
 public:
  virtual ~TAceVolumeReader() = default;
  virtual size_t ReadAt(uint64_t Offset, uint8_t* Buf, size_t N) = 0;
  virtual uint64_t Size() const = 0;
};

// Reads the block at Offset. End: Offset is the end of the volume.
TAceBlockResult AceReadBlock(TAceVolumeReader& In, uint64_t Offset, TAceBlock& Block);
// Finds the main header within the first SearchLimit bytes; answers false when there is none.
bool AceFindMainHeader(TAceVolumeReader& In, uint64_t SearchLimit, TAceBlock& Main);
// Parses a header's bytes (after CRC and size) into Block; false when a field is missing.
bool AceParseHeader(const uint8_t* Data, size_t Size, TAceBlock& Block);
