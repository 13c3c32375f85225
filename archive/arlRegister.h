// Type detection of the archive library: TRegisterArcLib, the root of every component of the library,
// names the library type of a file from its content when its archive name is set. Plain archives are
// known by their leading bytes, self-extracting executables by known stub offsets, string resources 1-4
// of the executable, the overlay behind its DOS image and a scan from offset 17000; ZIP files by their
// end record, TAR and UUE files by their own tests. The decoders use the start offset and the ZIP
// directory records that detection leaves behind.
//
// What detection reads, and how it stays inside the file:
//   - at most the first 32767 bytes and the last 32768 bytes, six 32768-byte blocks of a scan and a few
//     fixed-size records; every offset taken from the file (end record, central header, resource table,
//     DOS header) is checked against the file size before it is read;
//   - the leading-zero skip classifies only when four bytes remain;
//   - records of the encrypted ZIP forms ("PL", "PN") cannot be deciphered without the header key and
//     are not trusted: their offsets are never followed.
// Detection never raises: an unopenable file, a short file or any failure give code 0.
//
// A component is used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TStream32;

// Library type codes.
enum TArlType : uint8_t {
  atNotAvail = 0,
  atUnsupported = 1,
  atFileError = 2,
  atUnknown = 3,
  atAce = 4,
  atAceSfx = 5,
  atArc = 6,
  atArcSfx = 7,
  atArj = 8,
  atArjSfx = 9,
  atBh = 10,
  atBhSfx = 11,
  atCab = 12,
  atGZip = 13,
  atHa = 14,
  atJar = 15,
  atJarSfx = 16,
  atLha = 17,
  atLhaSfx = 18,
  atLzh = 19,
  atLzhSfx = 20,
  atMsGz = 21,
  atPak = 22,
  atPakSfx = 23,
  atRar = 24,
  atRarSfx = 25,
  atTar = 26,
  atUue = 27,
  atZip = 28,
  atZipSfx = 29,
  atZipMVol = 30,
  atZoo = 31,
};
constexpr int kLastArlType = atZoo;

// The 10-character display name of a code ("ZIP       "); "" for a code beyond the table.
const char* ArlTypeName(int Code);
// True for codes 4 and above (a type was found).
inline bool IsUsableArlType(int Code) { return Code > atUnknown && Code <= kLastArlType; }
// The usual extensions of the library's formats, upper case with the dot (".ACE", ..., ".ZOO").
extern const std::array<const char*, 23> ArlExtensions;

// Bits of ZipFlags.
enum : uint8_t {
  zfLocalHeader = 1,    // a local header stood where the central header (or detection) said
  zfCentralHeader = 2,  // the central directory was found
  zfEndRecord = 4,      // the end record was found
};

// Sizes of the ZIP records that detection keeps.
constexpr int kZipEndRecordSize = 22;
constexpr int kZipCentralHeaderSize = 46;
constexpr int kZipLocalHeaderSize = 30;

// Reads a little-endian value from a kept record; Offset + width must lie inside the record.
uint16_t GetLE16(const uint8_t* P);
uint32_t GetLE32(const uint8_t* P);

class TRegisterArcLib {
 public:
  TRegisterArcLib() = default;
  virtual ~TRegisterArcLib() = default;
  TRegisterArcLib(const TRegisterArcLib&) = delete;
  TRegisterArcLib& operator=(const TRegisterArcLib&) = delete;

  // The name setter: for an existing regular file ArchiveFile := FileName (kept as given, since "\" is an
  // ordinary character of a file name here), VolumeNumber := 1, ArcType := DetectArchiveType and, for a
  // usable code, the volume position. A missing file, a folder or an empty name: ArcType := 0,
  // ArchiveFile := "".
  virtual void SetArchiveFile(const std::string& FileName);
  const std::string& GetArchiveFile() const { return ArchiveFile; }
  // ArcType := DetectArchiveType of the current ArchiveFile.
  virtual void Redetect();

  // The type code of FileName; fills StartOffset, FileSize, FileDate, ZipFlags and the ZIP records.
  int DetectArchiveType(const std::string& FileName);
  // Whether DetectArchiveType gives TAR for a file that starts with Head: Len bytes that are the whole file,
  // or at least its first kHeadBytes and two TAR blocks. Detection decides TAR from that much alone: the
  // tests before it read no more of the file's start, and the ZIP end-record search comes after it.
  // Overwrites the detection results.
  bool DetectsTarAtStart(const uint8_t* Head, int32_t Len);
  // The central directory's offset (0 when no end record is found; -1 when the fallback scan for a local
  // header finds nothing; the position of the first local header when the fallback finds one).
  int64_t FindZipEndRecord(TStream32& Stream);
  // The 1-based position of an archive found inside an executable from StartAt on, Code its type; 0 and
  // Code 0 when nothing is found. The ZIP branch answers FindZipEndRecord's result (or the 0-based
  // position of the local header when that gives 0).
  int64_t ScanForSfxArchive(TStream32& Stream, int& Code, int64_t StartAt);
  // The code of four bytes found at the start of a plain file (Plain) or inside an executable; 0 when
  // nothing matches. Stream is the file (for the ZIP end-record search of the spanned forms).
  int ClassifySignature(bool Plain, const uint8_t Value[4], TStream32& Stream);

  // --- Detection results ----------------------------------------------------------------------------------
  std::string ArchiveFile;
  uint8_t ArcType = atNotAvail;
  // 1-based position of the archive part (1 for a plain archive).
  int64_t StartOffset = 1;
  int64_t FileSize = 0;
  // The file's last-write time as a packed DOS date and time; 0 when not available.
  uint32_t FileDate = 0;
  uint8_t ZipFlags = 0;
  // The ZIP records as read (deciphering is not available for the "PL"/"PN" forms, which stay as read).
  std::array<uint8_t, kZipEndRecordSize> ZipEndRecord{};
  std::array<uint8_t, kZipCentralHeaderSize> ZipCentralHeader{};
  std::array<uint8_t, kZipLocalHeaderSize> ZipLocalHeader{};
  // The end record's fields (valid when ZipFlags has zfEndRecord).
  uint16_t ZipEndDiskNumber() const { return GetLE16(&ZipEndRecord[4]); }
  uint16_t ZipEndCentralDisk() const { return GetLE16(&ZipEndRecord[6]); }
  uint16_t ZipEndEntriesOnDisk() const { return GetLE16(&ZipEndRecord[8]); }
  uint16_t ZipEndEntries() const { return GetLE16(&ZipEndRecord[10]); }
  uint32_t ZipEndCentralSize() const { return GetLE32(&ZipEndRecord[12]); }
  uint32_t ZipEndCentralOffset() const { return GetLE32(&ZipEndRecord[16]); }
  // The position of the end record in the file (valid with zfEndRecord).
  int64_t ZipEndRecordPos = 0;
  // Where the central directory starts: the end record's offset, or the ZIP64 end record's when the end
  // record leaves its field at 0xFFFFFFFF (valid with zfEndRecord).
  int64_t ZipCentralOffset = 0;

  // Volumes (ACE, ARJ and RAR): the letter of later volume extensions, the number of the current volume
  // (1 after the name setter), and the first volume number to ask for next.
  char VolumeLetter = 0;
  int32_t VolumeNumber = 0;
  int32_t FirstVolumeNumber = 0;

  // Read limits of detection.
  static constexpr int32_t kHeadBytes = 32767;   // read from the start
  static constexpr int32_t kTailBytes = 32768;   // searched from the end for the ZIP end record
  static constexpr int32_t kScanBlock = 32768;   // a block of the executable scan
  static constexpr int32_t kScanBlocks = 6;      // blocks scanned at most
  static constexpr int32_t kFallbackBlocks = 4;  // blocks of the local-header fallback scan
  static constexpr int64_t kSfxScanStart = 17000;
  static constexpr int64_t kMinFileSize = 20;

 protected:
  // Reads the volume position from ArchiveFile's extension for ACE, ARJ and RAR codes.
  void ReadVolumePosition();
  // The string resources 1 to 4 of an executable, each as its number; -1 when absent or not numeric.
  int64_t ResourceOffset(TStream32& Stream, int Index);

 private:
  int DetectStream(TStream32& Stream, const std::string& FileName);
  int DetectPlain(TStream32& Stream, const uint8_t* Head, int32_t HeadLen);
  int DetectExecutable(TStream32& Stream, const uint8_t* Head, int32_t HeadLen);
  bool IsUue(const uint8_t* Head, int32_t HeadLen) const;
  bool IsTar(TStream32& Stream);
};
