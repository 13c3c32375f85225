// TUnZoo, the archive library's decoder of ZOO archives: it follows the chain of directory entries from
// the archive header, lists the selected entries and extracts them: method 0 stored, method 1 the ZOO LZW
// variant (arlZooLzw), method 2 through the static-Huffman decoder with the ZOO parameters. Every entry is
// verified with its CRC-16. Entries marked deleted are skipped, as ZOO itself does; names are the short
// (8.3) names of the directory entries.
//
// What the reader checks, since an archive may be hostile:
//   - the archive header: its tag and the first-entry offset against its stored negation; an archive
//     that fails is "Bad file header" and nothing is listed;
//   - every directory entry through a bounds-checked cursor, with its tag ("Bad file header" with the
//     offset, which ends the walk);
//   - the chain: every next entry lies after the current one and inside the file, so that no chain can
//     loop; at most kMaxEntries entries are followed;
//   - an entry whose data lies outside the file is listed and fails with "Error reading file or
//     unexpected end of file"; a chain that runs past the end of the file (cut short) is the same error
//     about the archive, naming the offset from which entries could not be read;
//   - an entry's output never exceeds its declared size, and a decoding that fails cannot pass the CRC
//     check.
//
// Ownership and threads: as TUnBase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/arlBase.h"

class TUnZoo : public TUnBase {
 public:
  static constexpr uint32_t kTag = 0xFDC4A7DC;
  static constexpr int32_t kArchiveHeaderSize = 32;  // text, tag, first-entry offset, its negation
  static constexpr int32_t kEntrySize = 51;          // the fixed fields of a directory entry
  static constexpr int32_t kMaxEntries = 1 << 20;
  static constexpr size_t kNameField = 13;

  struct TEntry {
    int64_t Pos = 0;
    uint8_t Type = 0;
    uint8_t Method = 0;
    uint32_t Next = 0;
    uint32_t DataPos = 0;
    uint32_t DosDateTime = 0;
    uint16_t Crc = 0;
    uint32_t UnpackedSize = 0;
    uint32_t PackedSize = 0;
    bool Deleted = false;
    std::string RawName;
  };
  enum TReadResult { rrOk, rrShort, rrBad };
  static TReadResult ReadEntry(TStream32& Stream, int64_t Pos, TEntry& E);

 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  void Walk(TStream32& Stream, int64_t StreamSize, std::vector<TEntry>& Entries);
  void ExtractEntry(TStream32& Stream, const TEntry& E);
};
