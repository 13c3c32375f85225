#include "archive/zip/arlZipHeaders.h"

#include "archive/arlRegister.h"

namespace {

TZipSignatureForm Form(const uint8_t* P, uint8_t Third, uint8_t Fourth) {
  if (P[0] != 'P' || P[2] != Third || P[3] != Fourth) return zsNone;
  switch (P[1]) {
    case 'K':
    case 'M':
      return zsPlain;
    case 'L':
    case 'N':
      return zsEnciphered;
  }
  return zsNone;
}

}  // namespace

TZipSignatureForm ZipLocalForm(const uint8_t* P) { return Form(P, 3, 4); }
TZipSignatureForm ZipCentralForm(const uint8_t* P) { return Form(P, 1, 2); }

bool IsZipRecordAfterEntries(const uint8_t* P) {
  constexpr uint32_t kEndSignature = 0x06054B50;
  constexpr uint32_t kEncipheredEndSignature = 0x06054C50;
  constexpr uint32_t kZip64EndSignature = 0x06064B50;
  constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
  constexpr uint32_t kDigitalSignature = 0x05054B50;
  constexpr uint32_t kArchiveExtraDataSignature = 0x08064B50;
  const uint32_t Sig = GetLE32(P);
  return ZipCentralForm(P) != zsNone || Sig == kEndSignature || Sig == kEncipheredEndSignature ||
         Sig == kZip64EndSignature || Sig == kZip64LocatorSignature || Sig == kDigitalSignature ||
         Sig == kArchiveExtraDataSignature;
}

namespace {

// The shared fields, which start at offset 6 of a local and 8 of a central header.
void ParseFileFields(const uint8_t* P, TZipFileFields& F) {
  F.Flags = GetLE16(P);
  F.Method = GetLE16(P + 2);
  F.DosDateTime = GetLE32(P + 4);
  F.Crc32 = GetLE32(P + 8);
  F.CompressedSize = GetLE32(P + 12);
  F.UncompressedSize = GetLE32(P + 16);
  F.NameLength = GetLE16(P + 20);
  F.ExtraLength = GetLE16(P + 22);
}

}  // namespace

TZipLocalHeader ParseZipLocalHeader(const uint8_t* P) {
  TZipLocalHeader H;
  ParseFileFields(P + 6, H);
  return H;
}

TZipCentralHeader ParseZipCentralHeader(const uint8_t* P) {
  TZipCentralHeader H;
  ParseFileFields(P + 8, H);
  H.HostSystem = P[5];
  H.CommentLength = GetLE16(P + 32);
  H.DiskNumberStart = GetLE16(P + 34);
  H.ExternalAttributes = GetLE32(P + 38);
  H.LocalHeaderOffset = GetLE32(P + 42);
  return H;
}

bool ZipNameIsOem(const TZipCentralHeader& H) {
  constexpr uint8_t kHostFat = 0;
  constexpr uint8_t kHostHpfs = 6;
  constexpr uint8_t kHostNtfs = 10;
  constexpr uint8_t kHostVfat = 14;
  if (H.Flags & zgUtf8Names) return false;
  return H.HostSystem == kHostFat || H.HostSystem == kHostHpfs || H.HostSystem == kHostNtfs ||
         H.HostSystem == kHostVfat;
}
