// Reading one TAR entry's header for the TAR reader: the 512-byte POSIX ustar header block (also the older
// v7 and GNU forms), with the records that some writers put in front of it for a name that does not fit
// the header: a GNU long-name record (type "L") and a POSIX extended header (type "x", its "path" key, and
// its "size" key, which takes the place of the size field: the data skipped to the next header is what it
// says).
//
// What is checked, since an archive may be hostile:
//   - the header checksum (the sum of the 512 bytes with the checksum field counted as spaces): a block
//     that fails it ends the walk, an all-zero block being the archive's end marker;
//   - numeric fields: octal digits (other characters skipped) with overflow checks, or the GNU base-256
//     form; a size beyond 2^62 is refused;
//   - sizes against what is left: an entry whose data runs past the end of the file is marked torn;
//   - long-name and extended-header records: at most kMaxNameRecord bytes each, at most kMaxMetaRecords
//     of them in front of one header, all inside the file;
//   - sparse files: every number of the map, at most kMaxSparseChunks stretches, the extension blocks of
//     an old GNU map inside the file; a malformed map fails the header (SparseMapFits checks the
//     stretches against the sizes when the entry is extracted);
//   - positions in 64 bits: the next header always lies at least one block after the current one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream32;

// One stretch of a sparse file's data: Bytes bytes at Offset of the file; what lies between stretches
// reads as zeros.
struct TSparseChunk {
  int64_t Offset = 0;
  int64_t Bytes = 0;
};

struct TTarHeader {
  int64_t Pos = 0;        // where the entry's first record (or its header) starts
  int64_t HeaderPos = 0;  // where its header block starts
  std::string RawName;    // the stored name: long name, extended path, or ustar prefix and name
  int64_t Size = 0;       // bytes of data
  int64_t MTime = 0;      // modification time, seconds since 1970
  char TypeFlag = 0;
  int64_t DataPos = 0;  // where the data starts
  int64_t NextPos = 0;  // where the next entry starts (the data padded to whole blocks)
  bool Torn = false;    // the data runs past the end of the file
  int64_t Held = 0;     // for a torn entry: the bytes of its data that the file holds
  // A sparse file (old GNU 'S' header, or POSIX extended headers of formats 0.0, 0.1 and 1.0): Size is the
  // data stored, RealSize the file's size, Map its stretches (for format 1.0, MapInData: the map is at the
  // start of the data, read by ReadSparseDataMap). For other entries RealSize is Size.
  bool Sparse = false;
  bool MapInData = false;
  int64_t RealSize = 0;
  std::vector<TSparseChunk> Map;
  bool IsFolder() const;
  // A regular file or a folder: the entries that are listed (links, devices, FIFOs, volume labels and
  // other records have no content of their own).
  bool IsListable() const;
};

enum TTarReadResult : uint8_t {
  trOk,
  trEnd,  // an all-zero block, or fewer than 512 bytes left
  trBad,  // a header or record that fails a check
};

constexpr int32_t kTarBlockSize = 512;
constexpr int64_t kMaxNameRecord = 65536;  // bytes of a long-name or extended-header record
constexpr int32_t kMaxMetaRecords = 8;     // long-name and extended-header records in front of one header
constexpr int64_t kMaxTarSize = int64_t{1} << 62;
constexpr size_t kMaxSparseChunks = 65536;                // stretches of one sparse file
constexpr int64_t kMaxSparseMapBytes = int64_t{1} << 21;  // a format 1.0 map at the start of the data

TTarReadResult ReadTarHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize, TTarHeader& H);

// The map of a format 1.0 sparse file from the start of its data, and where the stretches' data starts
// (after the map, at a block boundary); false when the map is malformed or larger than the data.
bool ReadSparseDataMap(TStream32& Stream, const TTarHeader& H, std::vector<TSparseChunk>& Map,
                       int64_t& DataPos);

// Whether the stretches follow one another inside RealSize and hold no more than StoredBytes.
bool SparseMapFits(const std::vector<TSparseChunk>& Map, int64_t RealSize, int64_t StoredBytes);

// A TAR numeric field: octal digits, or the GNU base-256 form (first byte 0x80); -1 when the value does
// not fit 63 bits.
int64_t TarNumber(const uint8_t* Field, int32_t Length);

// Seconds since 1970 (UTC) as the packed DOS date-time of the local zone; 0 outside the DOS range
// (1980-2107).
uint32_t UnixTimeToDos(int64_t Seconds);
