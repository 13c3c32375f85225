// TUnLha, the archive library's decoder of LHA/LZH archives (also behind a self-extracting stub): it walks
// the level 0, 1 and 2 headers, lists the selected entries and extracts them: stored (-lh0-), -lh1-
// through the adaptive-Huffman decoder, -lh4-, -lh5- and -lh6- through the static-Huffman decoder, and
// folders (-lhd-). Every entry is verified with its CRC-16.
//
// What the reader checks (the header checks are listed in arlLhaHeader.h):
//   - a header that fails its checks (or of level 3, which is not read) is "Bad file header" naming its
//     offset; the walk passes over it by its size fields to the next header when they are sane (a header
//     of at most kMaxSaneHeader bytes whose data ends inside the file), and ends there otherwise;
//   - every next header lies after the current one; an entry whose data runs past the end of the file
//     is the last one listed (a torn tail: its decoding ends with "Error reading file or unexpected end
//     of file"); the archive is reported cut short (the same error with the offset from which entries
//     could not be read) when such a tail or the end of the file comes before the end mark (header size
//     0);
//   - method ids: entries are listed when the method character is a digit 0 to 7 or "d", so that a
//     -lh7- or -lz5- entry is seen and reported as "Unsupported compression method" at extraction; an id
//     that is not of the form "-xxx-" is reported the same way;
//   - an entry's output never exceeds its declared size, and a decoding that fails cannot pass the CRC
//     check.
//
// Ownership and threads: as TUnBase.
#pragma once

#include <vector>

#include "archive/arlBase.h"
#include "archive/lha/arlLhaHeader.h"

class TUnLha : public TUnBase {
 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  void Walk(TStream32& Stream, int64_t StreamSize, std::vector<TLhaHeader>& Entries);
  void ExtractEntry(TStream32& Stream, const TLhaHeader& H);
  // Decodes the entry's data into the opened output; false when decoding failed (reported).
  bool DecodeData(TStream32& Stream, const TLhaHeader& H);
  // The entry's name: its folder and file name, converted.
  static std::string ItemName(const TLhaHeader& H);
  // The entry's date as a packed DOS date-time.
  static uint32_t DosStamp(const TLhaHeader& H);
};
