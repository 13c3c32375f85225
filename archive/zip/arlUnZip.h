// TUnZip, the archive library's decoder for ZIP and JAR archives, also behind a self-extracting stub and
// spanned over several disks. It walks the central directory (or, when detection found none that can be
// used, the local headers), takes every selected entry through the decoding frame of TUnBase, and decodes
// it by its method: stored, shrunk, reduced (factors 1-4), imploded or deflated. Encrypted entries use the
// traditional cipher (arlCrypt).
//
// Names: a central record's name is converted from the OEM code page when its "version made by" names a
// DOS, OS/2 or Windows host and the UTF-8 flag (bit 11) is clear (ZipNameIsOem); other names are kept as
// stored. A Unicode path block (extra field 0x7075) whose CRC matches the stored name replaces it. The local
// headers that the local walk reads record no host: their names are kept as stored.
//
// What the reader checks (every "Bad file header" names the entry, or the offset where no entry could be
// named, and what is wrong):
//   - every header is read whole before it is used; a header cut by the end of the file ends the walk
//     with "Error reading file or unexpected end of file" naming the offset from which entries could not
//     be read; a header without its signature ends it as well, reported ("Bad file header") unless it is
//     one of the records that follow the entries (central directory, end records);
//   - in the local walk, a data descriptor behind an entry's data is stepped over; an entry whose local
//     compressed size is 0 before a data descriptor is measured by that descriptor;
//   - the next header's position is computed in 64 bits from the fixed part and the lengths that follow
//     it, so it always lies after the current one (no walk can loop), and the walk ends past the file;
//   - at most kMaxZipEntries entries are taken; more end the walk with "Bad file header";
//   - names are read up to 255 bytes, the rest skipped; "." and ".." never lead outside the output folder
//     (the frame's BuildOutputName); an entry without a name is "Bad file header";
//   - names, sizes and offsets come from the central record, completed by its ZIP64 extra field where a
//     field holds 0xFFFFFFFF (0xFFFF for the disk); a ZIP64 field too short for the values it must give,
//     a value of 2^62 or more, or (in a single file) a local header offset or compressed size beyond the
//     end of the file is "Bad file header", entry left out; sizes the program cannot deliver (2 GB or
//     more) are refused by the wrapper;
//   - the central walk is checked against the end record (its count of entries and where the directory
//     ends, from the ZIP64 end record when it defers to it): a walk that stops short of either lost
//     records to damage. It takes up again at the next central signature; a record whose signature alone
//     is damaged but whose lengths lead to the next one is read (and named); a record whose lengths lead
//     nowhere and whose local header is missing or spells another name is left out. Bytes that are no
//     record are reported once per walk. The entries that the directory no longer lists are then looked
//     for by their local headers (of any method the format defines) in the parts of the file before the
//     directory that no listed entry takes up (a streamed entry measured by its data descriptor), taken
//     and named; how many entries could not be had at all is reported about the archive;
//   - hostile headers cost work in proportion to the file: the data descriptors of a range are indexed
//     once for every entry measured by them, and searches resume in the bytes already read;
//   - a selected entry's local header must carry its signature and the central record's method ("Bad
//     file header", entry left out); its name and sizes need not repeat the central ones (an ASCII name
//     beside a code-page one, sizes 0 before a data descriptor or 0xFFFFFFFF before a ZIP64 block);
//     central sizes of 0 where the local header (or its data descriptor, when the CRC says there is
//     data) gives data are reported, and the local sizes taken when the data lies before the directory;
//   - an entry with the DOS folder bit is a folder only when it holds no data;
//   - no two entries' headers and data may overlap (one body counted for many entries makes a small
//     file inflate to a huge one): every entry after the first of an overlapping group is "Bad file
//     header" and left out; an entry refused for damage to its own fields takes up no part of the file;
//   - an encrypted entry must hold at least its 12-byte encryption header ("Bad file header");
//   - headers in the enciphered signature forms cannot be read without their key ("Bad file header");
//   - output never exceeds the declared uncompressed size: a stored entry with more data than that, or a
//     compressed one that decodes to more, is reported ("Bad block") and cut at the declared size; the
//     compressed data is read no further than its declared size;
//   - data that ends before the declared size is reported ("Error reading file or unexpected end of
//     file") when what there is passes the CRC check (else the failed check is the report);
//   - a method decoder that fails ends its entry only: the output so far is flushed, the fault reported,
//     and the CRC check reports the entry.
//
// One run at a time per component; the component is used on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/arlBase.h"
#include "archive/zip/arlCrypt.h"
#include "archive/zip/arlZipHeaders.h"

class TDiskSpannObj;

class TUnZip : public TUnBase {
 public:
  TUnZip();
  ~TUnZip() override;

  // The most entries one run takes.
  static constexpr size_t kMaxZipEntries = 1 << 20;
  // Output is produced in pieces of at most this size.
  static constexpr int32_t kOutputChunk = 32768;

 protected:
  void ExtractArchive(TStream32* Stream) override;
  bool CheckPassword(const uint8_t* Header) override;
  void DecryptBlock(bool Decrypt, uint8_t* Buffer, int32_t Count) override;

 private:
  // One selected entry as the walk found it: the fields of its central header (of its local header when
  // the walk went by those).
  struct TZipEntry {
    std::string Name;
    TZipFileFields Fields;
    uint32_t Attributes = 0;  // DOS attributes (known from the central header only)
    uint32_t DiskStart = 0;   // counted from 0
    int64_t LocalOffset = 0;
    bool OemName = false;  // the stored name is in the OEM code page
  };
  // Where an entry's header and data lie in the file (central walk of a single file). Entries refused
  // as damaged have none.
  struct TSpan {
    int64_t Start;
    int64_t End;
    int32_t Entry;  // its index in Entries; -1 when it is not listed
  };

  void WalkCentral();
  // What the end record declares of the central directory: Entries, its record count (0 when unknown),
  // and DirEnd, where its records end (-1 when unknown). ZIP64 values are read from the ZIP64 end record.
  void DeclaredDirectory(uint64_t& Entries, int64_t& DirEnd);
  // Why a walk of central records stopped: at a record that may follow the entries (or the end of what
  // can be taken), at bytes that are no record, at a record whose lengths lead nowhere, or at an
  // enciphered record.
  enum TCentralStop { csEnd, csNoSignature, csDamagedRecord, csEnciphered };
  // Walks central records from Pos while each one leads to the next (the first one taken without its
  // signature when Unsigned); Read counts the records taken (as entries or refused), Last := the start of
  // the last record looked at. Answers where the walk stopped, and Why.
  int64_t WalkCentralRun(int64_t Pos, bool Unsigned, uint64_t& Read, int64_t& Last, TCentralStop& Why);
  // Where a central record at Pos ends by its lengths (its signature not looked at); -1 when it
  // cannot be read.
  int64_t CentralRecordEnd(int64_t Pos);
  // The position of the next central header signature in [From, Limit); -1 when there is none.
  int64_t FindCentralSignature(int64_t From, int64_t Limit);
  // Whether the local header at Offset names the entry by the same stored bytes as the central record
  // whose name of NameLength bytes lies at NamePos; false when there is no local header to compare with.
  bool LocalNameAgrees(int64_t Offset, int64_t NamePos, uint16_t NameLength);
  // Finds the entries of a damaged central directory that it no longer lists by their local headers, in
  // the parts of the file before the directory that no listed entry's header and data take up. Each one
  // found is taken and reported; answers how many were found.
  uint64_t RecoverFromLocalHeaders();
  // Reads a local header at Pos for the recovery: true when it is sound and its data, with a data
  // descriptor behind it, ends by Limit; E := the entry, End := where it ends.
  bool ReadLostLocal(int64_t Pos, int64_t Limit, TZipEntry& E, int64_t& End);
  // Bytes [Pos, Pos + Size) of the file, all before Limit, from a window of the file (read anew, from Pos,
  // when they lie outside it); nullptr when they cannot be had. Valid until the next call.
  const uint8_t* WindowAt(int64_t Pos, int64_t Size, int64_t Limit);
  void WalkLocal();
  // Where the next local header lies when the entry's data (ending at Pos) is followed by a data
  // descriptor (with 64-bit sizes when Zip64); Pos when none can be recognised.
  int64_t SkipDataDescriptor(int64_t Pos, bool Zip64);
  // Measures data written before its sizes: finds, in [DataStart, Limit), the signed data descriptor
  // whose compressed size is its distance from DataStart (64-bit sizes when Zip64). F := its CRC and
  // sizes; false when there is none.
  bool FindDataDescriptor(int64_t DataStart, int64_t Limit, bool Zip64, TZipFileFields& F);
  // A signed data descriptor found by IndexDescriptors: where it lies and what it gives.
  struct TDescriptor {
    int64_t Pos;
    uint32_t Crc;
    uint64_t Packed;
    uint64_t Unpacked;
  };
  // The signed data descriptors of [From, Limit) (64-bit sizes when Zip64), keyed by where the data
  // they measure starts (their position less their compressed size); the first one of each key is kept.
  // Each byte of the file is scanned once per limit, however many entries ask.
  struct TDescriptorIndex {
    int64_t From = -1;
    int64_t Limit = -1;
    std::unordered_map<int64_t, TDescriptor> ByDataStart;
  };
  // Extends Index (of the Zip64 kind) down to From for Limit, rebuilding it when Limit differs.
  void IndexDescriptors(TDescriptorIndex& Index, int64_t From, int64_t Limit, bool Zip64);
  TDescriptorIndex DescriptorIndex_[2];  // of 32-bit and of 64-bit descriptors
  // Reads the fixed part of Size bytes at Pos; true when FormOf finds its readable signature. A walk ends
  // at anything else: reported unless it is a record that follows the entries normally.
  bool ReadWalkRecord(int64_t Pos, int32_t Size, TZipSignatureForm (*FormOf)(const uint8_t*), uint8_t* H);
  // An empty name is reported; otherwise whether FileSpec selects Name.
  bool Selected(const std::string& Name, int64_t Pos);
  // Adds a selected entry and counts it in the run's totals; false when the list is full.
  bool AddEntry(const TZipEntry& E);
  // Whether the local header of a central entry is there with the central record's method; End := the
  // end of its data (the local header's name and extra field, then the compressed size). A central
  // record that gives no data where the local header (or the CRC) says there is some takes the sizes of
  // the local header (or of its data descriptor) when they can be had. Failures and disagreements are
  // reported when Report.
  bool LocalSpan(TZipEntry& E, bool Report, int64_t& End);
  // Name := the UTF-8 name of the central extra field's Unicode path block, when it has one that
  // belongs to the stored name of NameLength bytes at NamePos.
  void TakeUnicodeName(int64_t NamePos, uint16_t NameLength, const std::vector<uint8_t>& Extra,
                       std::string& Name);
  // Refuses (reports and drops) every listed entry whose span overlaps an earlier entry's.
  void RefuseOverlaps();
  std::vector<TSpan> Spans_;
  // The stored name at Position (at most 255 bytes of its length), converted from the OEM code page when
  // FromOem; false on a short read.
  bool ReadName(int64_t Position, const TZipFileFields& F, bool FromOem, std::string& Name);
  bool IsFolder(const TZipEntry& E) const;

  void ExtractEntry(const TZipEntry& E);
  void ExtractFolder();
  // Decodes the current item's data at DataStart through the method decoders; exceptions of the
  // decoders are reported here and end the entry.
  void DecodeItem(int64_t DataStart);
  // Each answers the bytes it produced.
  int64_t DecodeStored(int64_t DataStart, bool Decrypt);
  int64_t DecodeDeflated(int64_t DataStart, bool Decrypt);
  int64_t DecodeOldMethod(int64_t DataStart, bool Decrypt);
  // Lowers the run's bytes to do by Consumed and reports the item's progress at Done.
  void Advance(int64_t Consumed, int64_t Done);

  // Spanned archives: moves to disk Disk (counted from 0); false when a disk cannot be had.
  bool OpenDisk(uint32_t Disk);
  bool NextDisk();
  bool Spanned() const { return ArcType == atZipMVol; }

  TStream32* In_ = nullptr;  // the archive (the current disk of a spanned one)
  // A walk of central records reports bytes that are no record once: hostile directories can hold
  // thousands of such places.
  bool NoSignatureReported_ = false;
  // The last block FindCentralSignature read, so that searches that resume close behind each other
  // read each byte once.
  int64_t SearchBlockPos_ = -1;
  std::vector<uint8_t> SearchBlock_;
  // The recovery's window of the file (WindowAt).
  int64_t WindowPos_ = -1;
  std::vector<uint8_t> Window_;
  // The stored name of the local header at LocalNameOffset_, as LocalNameAgrees last read it.
  int64_t LocalNameOffset_ = -1;
  std::vector<uint8_t> LocalName_;
  std::vector<TZipEntry> Entries_;
  TZipCrypt Keys_;
  // The fields the password check needs, from the entry's local header.
  uint16_t CheckFlags_ = 0;
  uint32_t CheckDosDateTime_ = 0;
  bool SkipProtected_ = false;  // a password failed in this run: further encrypted entries are skipped
  std::unique_ptr<TDiskSpannObj> Spann_;
  bool SpannCancel_ = false;
  uint32_t CurrentDisk_ = 0;
};
