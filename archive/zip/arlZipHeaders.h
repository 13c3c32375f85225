// The records of a ZIP file that the decoder reads: the local file header, the central directory header
// and the spanning marker, decoded from their fixed parts (little endian).
//
// Signatures: the standard "PK" forms and the forms with "L", "M" or "N" as the second byte. The "L" and
// "N" forms carry their fields enciphered under a header key that this reader does not have; they are
// recognised (so that the reader can say so) but their fields are never used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Sizes of the fixed parts.
constexpr int32_t kZipLocalSize = 30;
constexpr int32_t kZipCentralSize = 46;

constexpr uint32_t kZipSpanningMarker = 0x08074B50;  // also the signature of a data descriptor

// General-purpose flag bits.
enum : uint16_t {
  zgEncrypted = 0x0001,
  zgDataDescriptor = 0x0008,  // sizes and CRC follow the data; the password check byte is the time's
  zgUtf8Names = 0x0800,       // the name is UTF-8
};

// Compression methods the decoder knows.
enum : uint16_t {
  zmStored = 0,
  zmShrunk = 1,
  zmReduced1 = 2,
  zmReduced4 = 5,
  zmImploded = 6,
  zmDeflated = 8,
};

enum TZipSignatureForm : uint8_t {
  zsNone = 0,        // not the record asked for
  zsPlain = 1,       // "PK" or "PM": the fields can be read
  zsEnciphered = 2,  // "PL" or "PN": the fields are enciphered
};

// The fields that the local and the central header share, in the same order.
struct TZipFileFields {
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t DosDateTime = 0;
  uint32_t Crc32 = 0;
  uint64_t CompressedSize = 0;  // 32 bits in the header; 64 when a ZIP64 extra field gives them
  uint64_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
};

struct TZipLocalHeader : TZipFileFields {};

struct TZipCentralHeader : TZipFileFields {
  uint8_t HostSystem = 0;  // the high byte of "version made by" (+5): the system the archiver ran on
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;  // a ZIP64 starting disk beyond 0xFFFE is refused
  uint32_t ExternalAttributes = 0;
  uint64_t LocalHeaderOffset = 0;  // 32 bits in the header; 64 when a ZIP64 extra field gives it
};

// The form of the local-header signature at P (4 bytes).
TZipSignatureForm ZipLocalForm(const uint8_t* P);
// The form of the central-header signature at P (4 bytes).
TZipSignatureForm ZipCentralForm(const uint8_t* P);

// Whether the 4 bytes at P start a record that may follow the last entry: a central header, the end
// record (also in its "PL" form), the 64-bit end record and its locator, a digital signature or the
// archive extra data record.
bool IsZipRecordAfterEntries(const uint8_t* P);

// Whether the name of a central record is stored in the OEM code page: it was written on a DOS, OS/2 or
// Windows host (MS-DOS/OS/2 FAT 0, OS/2 HPFS 6, Windows NTFS 10, VFAT 14) and is not flagged as UTF-8.
// Names of other hosts (UNIX 3, OS X 19, ...) are in the encoding of their system, UTF-8 today.
bool ZipNameIsOem(const TZipCentralHeader& H);

// The block of extra-field tag Tag in the Size bytes of an extra field at P: its data, Length its length;
// nullptr when there is none. The walk over the blocks ends at a block that runs past the field (some
// writers pad the field).
const uint8_t* FindZipExtra(const uint8_t* P, size_t Size, uint16_t Tag, uint16_t& Length);

// A header field at this value, or a disk number at 0xFFFF, is given by the ZIP64 extra field (tag 1).
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kZip64DiskMarker = 0xFFFF;
constexpr uint16_t kZip64ExtraTag = 0x0001;
// ZIP64 sizes and offsets from this value on are refused as damage (no file holds so much).
constexpr uint64_t kZip64Limit = uint64_t{1} << 62;

// Takes the values that F's marked fields defer to from the ZIP64 block of the extra field at Extra
// (Size bytes): in their fixed order the uncompressed size, the compressed size, then (central headers
// only: Offset and Disk not null) the local header's offset and the starting disk, each present only when
// its header field holds the marker. "" when every marked field was given (or no field is marked, or
// the field has no ZIP64 block: a marked size is then taken as it stands); otherwise what is wrong (too
// short a block, or a value of kZip64Limit or more).
std::string ApplyZip64Extra(const uint8_t* Extra, size_t Size, TZipFileFields& F, uint64_t* Offset,
                            uint16_t* Disk);

// The fields of a fixed part of kZipLocalSize / kZipCentralSize bytes at P (the signature not tested).
TZipLocalHeader ParseZipLocalHeader(const uint8_t* P);
TZipCentralHeader ParseZipCentralHeader(const uint8_t* P);
