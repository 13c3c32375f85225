// The RAR 5 side of UnRar3.so: libarchive's RAR 5 reader over the volumes of an archive (one file, a
// self-extractor, or a set whose volume names the caller has gathered). Items come in archive order;
// libarchive decodes solid archives in one pass (passing over an item of a solid archive decodes it) and
// checks every item's CRC-32 or BLAKE2 hash itself.
//
// libarchive is handed the volumes as one stream that starts at the first volume's marker, so that a
// self-extractor's program, however long, is not in front of it. Every item's data is checked here against
// the CRC-32 its header records (libarchive leaves out that check for stored items).
//
// A hard link delivers the data of the item it links to. After an item whose data fails, libarchive's handle
// cannot go on: the reader opens the archive again and passes over the items already read, so that the items
// after a damaged one are still had. A reader is used by one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/unrar/RarSink.h"

struct archive;

namespace unrar {

struct TRar5Item {
  std::string Name;  // UTF-8
  uint64_t Size = 0;
  uint32_t DosTime = 0;
  bool Folder = false;
  bool Encrypted = false;
  bool Link = false;
  std::string LinkTarget;      // a symbolic link's target (the link itself holds no content)
  std::string HardLinkTarget;  // a hard link: the earlier item whose data it shares
  bool Continued = false;      // only the later part of an item whose beginning is in an earlier volume
  bool SolidGap = false;       // an item of a solid set read from a later volume: its state is missing
};

// The CRC-32 an item's data must have, by the item's place in the archive.
struct TRar5Check {
  std::string Name;
  bool HasCrc = false;
  uint32_t Crc = 0;
};

class TRar5Reader {
 public:
  // The volumes in order, where the first one's marker lies, the names of the items whose data is
  // encrypted, whether the last volume has its end header (without it, the archive was cut short and its
  // end is reported as a read error), and the CRC of each item in order.
  TRar5Reader(std::vector<std::string> Volumes, int64_t Marker, std::set<std::string> EncryptedNames,
              bool Complete, std::vector<TRar5Check> Checks);
  ~TRar5Reader();
  TRar5Reader(const TRar5Reader&) = delete;
  TRar5Reader& operator=(const TRar5Reader&) = delete;

  // The next item: RAR_SUCCESS, RAR_END_ARCHIVE, RAR_E_EREAD when the archive was cut short, or
  // RAR_E_BAD_DATA for a header that cannot be read.
  int Next(TRar5Item& Item);
  // The current item's data into Sink, checked whole; a result code.
  int Read(const TRar5Item& Item, TSink& Sink);
  // Passes over the current item.
  void Skip();

 private:
  bool Reopen();
  void Close();

  // A hard link's data: its target's, decoded by a second reader.
  int ReadHardLink(const TRar5Item& Item, TSink& Sink);

  // The CRC the current item must have; false when there is none to check.
  bool ExpectedCrc(const TRar5Item& Item, uint32_t& Crc) const;

  std::vector<std::string> Volumes_;
  int64_t Marker_ = 0;
  std::set<std::string> EncryptedNames_;
  bool Complete_ = true;
  std::vector<TRar5Check> Checks_;
  struct TStream;
  std::unique_ptr<TStream> Stream_;        // the volumes as one stream, read by libarchive
  std::map<std::string, uint64_t> Sizes_;  // the items read so far, for the size of a hard link to one
  struct archive* Ar_ = nullptr;
  uint64_t ItemsRead_ = 0;
  bool Broken_ = true;  // no handle yet, or libarchive's handle failed: opened again before the next header
};

// The DOS date and time of a system time, in local time; 0 before 1980.
uint32_t DosTimeOf(int64_t Time);

}  // namespace unrar
