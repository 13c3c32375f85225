// TUnArj, the archive library's decoder of ARJ archives (also behind a self-extracting stub): it walks the
// headers of each volume, lists the selected entries and extracts them: stored (method 0), methods 1-3
// through the static-Huffman decoder, method 4 through the ARJ method-4 decoder, garbled (password
// protected) entries, folders and volume labels, and archives that continue in further volumes.
//
// What the reader checks, since an archive may be hostile:
//   - every header is read through a bounds-checked cursor: id 0xEA60, a basic header size of at most
//     2600 bytes (0 is the end marker; what follows it, such as a recovery record, is never read as an
//     entry), a first header size of at least 30 bytes and not beyond the basic header, a name ended by a
//     NUL inside the basic header (at most 255 bytes kept);
//   - the CRC-32 of every basic header: a header whose CRC fails is "Bad file header" and nothing in it
//     (sizes, offsets) is used; the walk ends there;
//   - extended headers are skipped by their sizes, at most kMaxExtHeaders of them;
//   - positions are computed in 64 bits; the next header always lies after the current one, and an
//     entry whose data runs past the end of the volume is the last one listed (a torn tail: its
//     decoding ends with "Error reading file or unexpected end of file"); the archive is reported cut
//     short (the same error with the offset from which entries could not be read) when such a tail or
//     the end of the file comes before the end marker;
//   - an entry's output never exceeds its declared size, and a decoding that fails cannot pass the CRC
//     check.
//
// Garbled entries: a password is asked once (OnGetPassword) and kept for the following garbled entries;
// each entry XORs its data with the password shifted by its own modifier, starting at the password's
// first byte. A wrong password shows as a failed CRC: the entry is extracted again, into an emptied
// output, with a new password, up to PasswordAttempts times.
//
// Ownership and threads: as TUnBase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/arlBase.h"

class TUnArj : public TUnBase {
 public:
  static constexpr uint16_t kHeaderId = 0xEA60;
  static constexpr int32_t kMaxBasicHeader = 2600;  // the largest basic header the format allows
  static constexpr int32_t kFirstHeaderMin = 30;    // the fixed fields of a first header
  static constexpr int32_t kMaxExtHeaders = 16;     // extended headers skipped at most per header
  static constexpr size_t kMaxName = 255;
  static constexpr uint8_t kMaxMinVersion = 3;  // the newest format version decoded
  static constexpr uint8_t kMaxMethod = 4;

  // Header flags and file types.
  enum : uint8_t { afGarbled = 0x01, afVolume = 0x04, afExtFile = 0x08 };
  enum : uint8_t { ftBinary = 0, ftText = 1, ftFolder = 3, ftLabel = 4 };

  // One header as read.
  struct THeader {
    int64_t Pos = 0;  // where it starts (its id)
    uint16_t BasicSize = 0;
    uint8_t FirstSize = 0;
    uint8_t ArcVersion = 0;
    uint8_t MinVersion = 0;
    uint8_t HostOs = 0;
    uint8_t Flags = 0;
    uint8_t Method = 0;
    uint8_t FileType = 0;
    uint8_t PasswordModifier = 0;
    uint32_t DosDateTime = 0;
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    uint32_t Crc = 0;
    uint16_t Attributes = 0;
    std::string RawName;
    int64_t DataPos = 0;  // after the basic header, its CRC and the extended headers
    bool Torn = false;    // the data runs past the end of the volume
  };
  enum TReadResult { rrOk, rrEnd, rrBad };

  // Reads the header at Pos of Stream (StreamSize bytes long); rrEnd for the end marker or the end of
  // the stream, rrBad for a header that fails a check.
  static TReadResult ReadHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize, bool Main, THeader& H);

 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  // Lists the selected entries of one volume; false when its main header cannot be read.
  bool WalkVolume(TStream32& Stream, int64_t Start, THeader& Main, std::vector<THeader>& Entries);
  // Extracts the listed entries (ExtractListed); false when the run was cancelled.
  bool ExtractEntries(TStream32& Stream, const std::vector<THeader>& Entries, int32_t Volume);
  void ExtractEntry(TStream32& Stream, const THeader& H);
  // Decodes the entry's data into the opened output; false when decoding failed (reported).
  bool DecodeData(TStream32& Stream, const THeader& H, bool Garbled);
  // Asks OnGetPassword for the password of garbled entries; false (the run's garbled entries skipped
  // from then on) when none is given.
  bool AskPassword(const std::string& Name);
  // Empties the output of the current item again before a new attempt.
  void RestartOutput();
  std::string ItemName(const THeader& H) const;

  std::string KeptPassword_;    // the password of the last garbled entry, as given
  bool SkipProtected_ = false;  // no password: the run's further garbled entries are skipped
  int64_t OutStreamStart_ = 0;  // where the current item began in OutStream / OutPointer
  uint8_t* OutPointerStart_ = nullptr;
  int64_t OutPointerLeftStart_ = 0;
};
