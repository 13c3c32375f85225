// TUnArc, the archive library's decoder of ARC archives and their PAK variant: it walks the entry headers,
// lists the selected entries and extracts them with the ARC methods 1 to 9 (arlArcMethods); every entry is
// verified with its CRC-16. A folder header (method 30) opens a folder whose entries follow, up to its
// end mark (method 31); their names carry the folder's.
//
// What the reader checks, since an archive may be hostile:
//   - every header through a bounds-checked cursor: the 0x1A mark and a known method (0 is the end of
//     the archive); the old stored form (method 1) has a 25-byte header without the uncompressed size;
//   - positions in 64 bits: the next header always lies after the current one; an entry whose data runs
//     past the end of the file is the last one listed (a torn tail: its decoding ends with "Error reading
//     file or unexpected end of file"); the archive is reported cut short (the same error with the offset
//     from which entries could not be read) when such a tail or the end of the file comes before the end
//     mark;
//   - a header without the 0x1A mark where one is expected is "Bad file header", reported with its
//     offset, and ends the walk;
//   - folders nest at most kMaxFolderDepth deep;
//   - an entry's output never exceeds its declared size, and a decoding that fails cannot pass the CRC
//     check.
//
// Ownership and threads: as TUnBase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/arlBase.h"

class TUnArc : public TUnBase {
 public:
  static constexpr uint8_t kMarker = 0x1A;
  static constexpr int32_t kHeaderSize = 29;
  static constexpr int32_t kOldHeaderSize = 25;  // method 1: no uncompressed-size field
  static constexpr uint8_t kFolderMethod = 30;
  static constexpr uint8_t kFolderEndMethod = 31;
  static constexpr int32_t kMaxFolderDepth = 16;
  static constexpr size_t kNameField = 13;

  struct THeader {
    int64_t Pos = 0;
    uint8_t Method = 0;
    std::string RawName;
    uint32_t PackedSize = 0;
    uint32_t DosDateTime = 0;
    uint16_t Crc = 0;
    uint32_t UnpackedSize = 0;
    std::string Folder;  // the folder the entry lies in, with its "/"
    int64_t DataPos = 0;
  };
  enum TReadResult { rrOk, rrEnd, rrBad };
  // Reads the header at Pos: rrEnd for the end mark (method 0) or the end of the file, rrBad for a
  // missing mark or a header cut short.
  static TReadResult ReadHeader(TStream32& Stream, int64_t Pos, THeader& H);

 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  void Walk(TStream32& Stream, int64_t StreamSize, std::vector<THeader>& Entries);
  void ExtractEntry(TStream32& Stream, const THeader& H);
  static std::string ItemName(const THeader& H);
};
