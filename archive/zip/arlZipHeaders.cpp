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

const uint8_t* FindZipExtra(const uint8_t* P, size_t Size, uint16_t Tag, uint16_t& Length) {
  size_t Pos = 0;
  while (Pos + 4 <= Size) {
    const uint16_t BlockTag = GetLE16(P + Pos);
    const uint16_t BlockLength = GetLE16(P + Pos + 2);
    if (Pos + 4 + BlockLength > Size) break;
    if (BlockTag == Tag) {
      Length = BlockLength;
      return P + Pos + 4;
    }
    Pos += 4 + size_t{BlockLength};
  }
  Length = 0;
  return nullptr;
}

std::string ApplyZip64Extra(const uint8_t* Extra, size_t Size, TZipFileFields& F, uint64_t* Offset,
                            uint16_t* Disk) {
  const bool WantUnpacked = F.UncompressedSize == kZip64Marker;
  const bool WantPacked = F.CompressedSize == kZip64Marker;
  const bool WantOffset = Offset && *Offset == kZip64Marker;
  const bool WantDisk = Disk && *Disk == kZip64DiskMarker;
  if (!WantUnpacked && !WantPacked && !WantOffset && !WantDisk) return "";
  uint16_t Length = 0;
  const uint8_t* Block = FindZipExtra(Extra, Size, kZip64ExtraTag, Length);
  if (!Block) return "";
  size_t Pos = 0;
  std::string Damage;
  auto Take64 = [&](bool Want, uint64_t& Value, const char* What) {
    if (!Want || !Damage.empty()) return;
    if (Pos + 8 > Length) {
      Damage =
          "its ZIP64 extra field (" + std::to_string(Length) + " bytes) is too short to hold the " + What;
      return;
    }
    const uint64_t Given = GetLE32(Block + Pos) | (uint64_t{GetLE32(Block + Pos + 4)} << 32);
    Pos += 8;
    if (Given >= kZip64Limit)
      Damage =
          std::string("its ZIP64 extra field gives an impossible ") + What + " of " + std::to_string(Given);
    else
      Value = Given;
  };
  Take64(WantUnpacked, F.UncompressedSize, "uncompressed size");
  Take64(WantPacked, F.CompressedSize, "compressed size");
  if (Offset) Take64(WantOffset, *Offset, "local header offset");
  if (WantDisk && Damage.empty()) {
    if (Pos + 4 > Length)
      return "its ZIP64 extra field (" + std::to_string(Length) +
             " bytes) is too short to hold the starting disk";
    const uint32_t D = GetLE32(Block + Pos);
    if (D >= kZip64DiskMarker)
      return "its ZIP64 extra field gives an impossible starting disk of " + std::to_string(D);
    *Disk = static_cast<uint16_t>(D);
  }
  return Damage;
}
