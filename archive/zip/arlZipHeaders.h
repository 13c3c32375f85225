// The records of a ZIP file that the decoder reads: the local file header, the central directory header
// and the spanning marker, decoded from their fixed parts (little endian).
//
// Signatures: the standard "PK" forms and the forms with "L", "M" or "N" as the second byte. The "L" and
// "N" forms carry their fields enciphered under a header key that this reader does not have; they are
// recognised (so that the reader can say so) but their fields are never used.
#pragma once

#include <cstdint>

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
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
};

struct TZipLocalHeader : TZipFileFields {};

struct TZipCentralHeader : TZipFileFields {
  uint8_t HostSystem = 0;  // the high byte of "version made by" (+5): the system the archiver ran on
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
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

// The fields of a fixed part of kZipLocalSize / kZipCentralSize bytes at P (the signature not tested).
TZipLocalHeader ParseZipLocalHeader(const uint8_t* P);
TZipCentralHeader ParseZipCentralHeader(const uint8_t* P);
