#include "archive/arlRegister.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/ArcScan.h"
#include "archive/arlFileIo.h"
#include "archive/arlGbls.h"
#include "archive/arlHeaderCursor.h"
#include "archive/arlStreams.h"
#include "core/VFileSys.h"

namespace {

const char* const kTypeNames[kLastArlType + 1] = {
    "Not avail. ", "Unsupport.", "File Error", "Unknown   ", "ACE       ", "ACE SFX   ", "ARC       ",
    "ARC SFX   ",  "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ", "CAB       ", "GZip      ",
    "HA        ",  "Java JAR  ", "JJAR SFX  ", "LHA       ", "LHA SFX   ", "LZH       ", "LZH SFX   ",
    "MsGZ     \t", "PAK       ", "PAK SFX   ", "RAR       ", "RAR SFX   ", "TAR       ", "UUE       ",
    "ZIP       ",  "ZIP SFX   ", "Zip MVol  ", "ZOO       ",
};

// Known stub layouts of self-extractors: the ARC stub's archive starts at 7717 (1-based), two ZIP stubs'
// at 7612 and 25661.
constexpr int64_t kArcStubOffset = 7716;              // 0-based position of 1A 09
constexpr int64_t kZipStubOffsets[] = {7612, 25661};  // 1-based positions of "PK" 03 04
// The offset the ARC self-extractor's signatures stand for.
constexpr int64_t kArcSfxStart = 7717;

// The UUE test looks at the first 5000 bytes.
constexpr int32_t kUueWindow = 5000;
constexpr int32_t kTarBlock = 512;
constexpr int32_t kTarTypeOffset = 156;
constexpr int32_t kTarChecksumField = 148;

// Limits of the executable's resource walk.
constexpr uint32_t kMaxResourceEntries = 4096;
constexpr uint16_t kMaxSections = 96;
constexpr uint32_t kRtString = 6;
constexpr int kResourceDigits = 5;

bool IsZipSecond(uint8_t B) { return B == 'K' || B == 'L' || B == 'M' || B == 'N'; }

bool IsZipLocal(const uint8_t* P) { return P[0] == 'P' && IsZipSecond(P[1]) && P[2] == 3 && P[3] == 4; }
bool IsZipCentral(const uint8_t* P) { return P[0] == 'P' && IsZipSecond(P[1]) && P[2] == 1 && P[3] == 2; }
bool IsZipEnd(const uint8_t* P) {
  return P[0] == 'P' && (P[1] == 'K' || P[1] == 'L') && P[2] == 5 && P[3] == 6;
}
// The "L" and "N" forms are enciphered with a header key this library does not have.
bool IsEncipheredForm(const uint8_t* P) { return P[1] == 'L' || P[1] == 'N'; }

// Reads exactly Count bytes at Pos; false when they are not all inside the file.
bool ReadInsideFile(TStream32& S, int64_t FileSize, int64_t Pos, void* Buf, int32_t Count) {
  return Pos >= 0 && Count >= 0 && Pos <= FileSize - Count && ReadExactAt(S, Pos, Buf, Count);
}

bool HasText(const uint8_t* Buf, int32_t Len, int32_t Pos, const char* Text) {
  const auto N = static_cast<int32_t>(std::strlen(Text));
  return Pos >= 0 && Pos <= Len - N && std::memcmp(Buf + Pos, Text, static_cast<size_t>(N)) == 0;
}

}  // namespace

const char* ArlTypeName(int Code) { return Code >= 0 && Code <= kLastArlType ? kTypeNames[Code] : ""; }

const std::array<const char*, 23> ArlExtensions = {
    ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ", ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
    ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU", ".XXE", ".Z",   ".ZIP", ".ZOO"};

uint16_t GetLE16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t GetLE32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

// --- Name setter ---------------------------------------------------------------------------------------

void TRegisterArcLib::SetArchiveFile(const std::string& FileName) {
  struct stat St {};
  if (FileName.empty() || ::stat(FileName.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) {
    ArcType = atNotAvail;
    ArchiveFile.clear();
    return;
  }
  ArchiveFile = FileName;
  VolumeNumber = 1;
  ArcType = static_cast<uint8_t>(DetectArchiveType(FileName));
  if (IsUsableArlType(ArcType)) ReadVolumePosition();
}

void TRegisterArcLib::Redetect() { ArcType = static_cast<uint8_t>(DetectArchiveType(ArchiveFile)); }

void TRegisterArcLib::ReadVolumePosition() {
  std::string Fallback;
  switch (ArcType) {
    case atAce:
    case atAceSfx:
      VolumeLetter = 'C', Fallback = "Ace";
      break;
    case atArj:
    case atArjSfx:
      VolumeLetter = 'a', Fallback = "Arj";
      break;
    case atRar:
    case atRarSfx:
      VolumeLetter = 'q', Fallback = "Rar";
      break;
    default:
      return;
  }
  std::string Ext = ExtractFileExt(ArchiveFile);
  Ext = Ext.empty() ? Fallback : Ext.substr(1);
  size_t Digits = 0;
  while (Digits < Ext.size() && std::isdigit(static_cast<unsigned char>(Ext[Ext.size() - 1 - Digits])))
    ++Digits;
  // Volume numbers have at most three digits; a longer run is taken by its last nine at most.
  Digits = std::min<size_t>(Digits, 9);
  if (Digits > 0) {
    VolumeNumber = std::stoi(Ext.substr(Ext.size() - Digits));
    VolumeLetter = Ext[0];
    FirstVolumeNumber = VolumeNumber + 1;
  } else {
    FirstVolumeNumber = (ArcType == atArj || ArcType == atArjSfx) ? 1 : 0;
    // Later volumes are written in the case of the first one's extension: "set.ace" goes on in
    // "set.c00", "SET.ACE" in "SET.C00".
    const bool Upper = std::any_of(Ext.begin(), Ext.end(), [](char C) { return C >= 'A' && C <= 'Z'; }) &&
                       std::none_of(Ext.begin(), Ext.end(), [](char C) { return C >= 'a' && C <= 'z'; });
    VolumeLetter = static_cast<char>(Upper ? std::toupper(static_cast<unsigned char>(VolumeLetter))
                                           : std::tolower(static_cast<unsigned char>(VolumeLetter)));
  }
}

// --- Detection -------------------------------------------------------------------------------------------

int TRegisterArcLib::DetectArchiveType(const std::string& FileName) {
  StartOffset = 1;
  ZipFlags = 0;
  FileSize = 0;
  FileDate = 0;
  ZipEndRecordPos = 0;
  ZipCentralOffset = 0;
  ZipEndRecord.fill(0);
  ZipCentralHeader.fill(0);
  ZipLocalHeader.fill(0);
  try {
    struct stat St {};
    if (FileName.empty() || ::stat(FileName.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return 0;
    int32_t Error = 0;
    TFileStream32 Stream(FileName, fmOpenRead | fmShareDenyNone, Error);
    if (Error != 0) return 0;
    FileSize = Stream.Size();
    if (FileSize < kMinFileSize) return 0;
    int Code = DetectStream(Stream, FileName);
    if (IsUsableArlType(Code)) {
      if (Code == atZip && LowerFileExt(FileName) == "jar") Code = atJar;
      FileDate = FileDosTime(Stream.Handle(), 0);
    }
    return Code;
  } catch (...) {
    return 0;
  }
}

bool TRegisterArcLib::DetectsTarAtStart(const uint8_t* Head, int32_t Len) {
  StartOffset = 1;
  ZipFlags = 0;
  FileDate = 0;
  ZipEndRecordPos = 0;
  ZipCentralOffset = 0;
  ZipEndRecord.fill(0);
  ZipCentralHeader.fill(0);
  ZipLocalHeader.fill(0);
  FileSize = Len;
  if (Head == nullptr || FileSize < kMinFileSize) return false;
  try {
    TMemoryStream32 Stream;
    Stream.WriteBuffer(Head, Len);
    return DetectStream(Stream, std::string()) == atTar;
  } catch (...) {
    return false;
  }
}

int TRegisterArcLib::DetectStream(TStream32& Stream, const std::string&) {
  std::vector<uint8_t> Head(static_cast<size_t>(std::min<int64_t>(FileSize, kHeadBytes)));
  Stream.SetPosition(0);
  const int32_t Len = Stream.Read(Head.data(), static_cast<int32_t>(Head.size()));
  if (Len < 4) return 0;
  if (Head[0] == 'M' && Head[1] == 'Z') return DetectExecutable(Stream, Head.data(), Len);
  return DetectPlain(Stream, Head.data(), Len);
}

int TRegisterArcLib::DetectPlain(TStream32& Stream, const uint8_t* Head, int32_t HeadLen) {
  // A padded download: leading zero bytes before the signature. Only four bytes that are all inside
  // what was read are classified.
  int32_t I = 0;
  while (I < HeadLen && Head[I] == 0) ++I;
  int Code = I + 4 <= HeadLen ? ClassifySignature(true, Head + I, Stream) : 0;
  if (Code == atFileError || Code == atUnknown) return Code;
  const bool AceMark = HasText(Head, HeadLen, 7, "**ACE**");
  if (Code == atJar || Code == atZip || Code == atZipSfx) {
    const int64_t Found = FindZipEndRecord(Stream);
    if (ZipFlags == zfLocalHeader) {
      StartOffset = Found + 1;
    } else if (!(ZipFlags & zfLocalHeader)) {
      // The archive starts at the signature just classified.
      StartOffset = I + 1;
      ZipFlags |= zfLocalHeader;
    }
  } else if (Code == atZipMVol) {
    FindZipEndRecord(Stream);
  } else if (Code > atUnknown && AceMark) {
    Code = atAce;
  }
  if (Code <= atUnknown) {
    if (AceMark) return atAce;
    if (IsUue(Head, HeadLen)) {
      StartOffset = 1;
      return atUue;
    }
    if (IsTar(Stream)) return atTar;
    const int64_t Found = FindZipEndRecord(Stream);
    if (IsZipEnd(ZipEndRecord.data())) {
      if (ZipFlags == zfLocalHeader) StartOffset = Found + 1;
      return ZipEndDiskNumber() != 0 ? atZipMVol : atZip;
    }
  }
  return Code;
}

int TRegisterArcLib::DetectExecutable(TStream32& Stream, const uint8_t* Head, int32_t HeadLen) {
  uint8_t B[4];
  // Known stubs. The archive behind them is given its type here, so that these self-extractors can be
  // opened at all (the stub's own code carries no signature of it).
  if (FileSize > kArcStubOffset && ReadInsideFile(Stream, FileSize, kArcStubOffset, B, 2) && B[0] == 0x1A &&
      B[1] == 0x09) {
    StartOffset = kArcStubOffset + 1;
    return atArcSfx;
  }
  for (int64_t Stub : kZipStubOffsets) {
    if (ReadInsideFile(Stream, FileSize, Stub - 1, B, 4) && IsZipLocal(B)) {
      StartOffset = Stub;
      FindZipEndRecord(Stream);
      ZipFlags |= zfLocalHeader;
      return atZipSfx;
    }
  }
  // Offsets named by the string resources 1 to 4.
  for (int Index = 1; Index <= 4; ++Index) {
    const int64_t Offset = ResourceOffset(Stream, Index);
    if (Offset < 0 || Offset >= FileSize) break;
    // The resource names the 0-based position of the archive part.
    StartOffset = Offset + 1;
    if (!ReadInsideFile(Stream, FileSize, Offset, B, 4)) break;
    const int Code = ClassifySignature(false, B, Stream);
    if (Code != 0) {
      ZipFlags = zfLocalHeader;
      return Code;
    }
  }
  StartOffset = 1;
  // The overlay behind the DOS image: (pages - 1) x 512 + bytes in the last page.
  if (HeadLen >= 6) {
    int64_t E = (static_cast<int64_t>(GetLE16(Head + 4)) - 1) * 512 + GetLE16(Head + 2);
    if (E > 0 && E + 4 <= FileSize) {
      if (ReadInsideFile(Stream, FileSize, E + 2, B, 2) && B[0] == 0x60 && B[1] == 0xEA) E += 2;
      StartOffset = E + 1;
      if (E + 5 <= FileSize && ReadInsideFile(Stream, FileSize, E, B, 4) && !IsZipLocal(B)) {
        const int Code = ClassifySignature(false, B, Stream);
        if (IsUsableArlType(Code)) return Code;
      }
    }
  }
  StartOffset = 1;
  const int64_t Found = FindZipEndRecord(Stream);
  if (Found > 0) {
    // Where the decoder's local walk starts: the local header that detection confirmed.
    if (ZipFlags == zfLocalHeader)
      StartOffset = Found + 1;
    else if (ZipFlags & zfLocalHeader)
      StartOffset = static_cast<int64_t>(GetLE32(&ZipCentralHeader[42])) + 1;
    return atZipSfx;
  }
  ZipFlags = 0;
  int Code = 0;
  StartOffset = ScanForSfxArchive(Stream, Code, kSfxScanStart);
  if (StartOffset <= 0) StartOffset = 1;
  return Code;
}

int TRegisterArcLib::ClassifySignature(bool Plain, const uint8_t* V, TStream32& Stream) {
  auto Pick = [Plain](int P, int X) { return Plain ? P : X; };
  if (V[0] == 'B' && V[1] == 'H' && V[2] == 5 && V[3] == 7) return Pick(atBh, atBhSfx);
  if (std::memcmp(V, "Rar!", 4) == 0) return Pick(atRar, atRarSfx);
  if (std::memcmp(V, "PKG5", 4) == 0) return atUnknown;
  if (std::memcmp(V, "MSCF", 4) == 0) return Pick(atCab, atUnsupported);
  if (V[0] == 0xB7 && V[1] == 0xDF && V[2] == 0x54 && V[3] == 0x57) {
    if (Plain) return atArc;
    StartOffset = kArcSfxStart;
    return atArcSfx;
  }
  if (V[0] == 0x13 && V[1] == 0x5D && V[2] == 0x65 && V[3] == 0x8C) return Pick(atMsGz, atUnsupported);
  if (V[2] == '-' && V[3] == 'l') return Pick(atLha, atLhaSfx);
  if (V[0] == 0x1A) {
    if (V[1] == 0x02 || V[1] == 0x1E) return Pick(atArc, atUnsupported);
    if (V[1] == 0x08 || V[1] == 0x09) return Pick(atArc, atArcSfx);
    if (V[1] == 0x0A || V[1] == 0x0B) return Pick(atPak, atPakSfx);
    // An ARC archive starts with the header of its first entry: 1A and the entry's method. Archives whose
    // first entry is stored, packed, squeezed or crunched (methods 1 to 7) are ARC archives too.
    if (V[1] >= 0x01 && V[1] <= 0x07) return Pick(atArc, atUnsupported);
  }
  if ((V[0] == 0x1F && (V[1] == 0x1E || V[1] == 0x8B || V[1] == 0x9D || V[1] == 0x9E || V[1] == 0xA0)) ||
      (V[0] == 0x25 && V[1] == 0x21))
    return Pick(atGZip, atUnsupported);
  if (V[0] == 'H' && V[1] == 'A') return Pick(atHa, atUnsupported);
  if (V[0] == 'P' && IsZipSecond(V[1])) {
    if (V[2] == 1 && V[3] == 2) {
      FindZipEndRecord(Stream);
      return atZipMVol;
    }
    if (V[2] == 7 && V[3] == 8) return atZipMVol;
    if ((V[2] == 'G' && V[3] == '4') || (V[2] == 'C' && V[3] == 'I')) return 0;
    return Pick(atZip, atZipSfx);
  }
  if (V[0] == 'Z' && V[1] == 'O') return Pick(atZoo, atUnsupported);
  if (V[0] == 0xB7 && (V[1] == 0x92 || V[1] == 0xDF)) {
    StartOffset = kArcSfxStart;
    return atArcSfx;
  }
  if (V[0] == 0x60 && V[1] == 0xEA) return Pick(atArj, atArjSfx);
  return 0;
}

namespace {

// An end-record field at its largest value defers to the ZIP64 end record.
constexpr uint32_t kZip64Deferred = 0xFFFFFFFF;

// The central directory's offset as the ZIP64 end record gives it: the record is found through its
// locator, the 20 bytes right before the end record. kZip64Deferred when there is no readable pair (the
// offset then points nowhere and detection falls back to the local headers).
int64_t FindZip64CentralOffset(TStream32& Stream, int64_t EndRecordPos) {
  constexpr int32_t kLocatorSize = 20;
  constexpr int32_t kZip64EndSize = 56;
  constexpr uint32_t kLocatorSignature = 0x07064B50;
  constexpr uint32_t kZip64EndSignature = 0x06064B50;
  const int64_t FileSize = Stream.Size();
  uint8_t L[kLocatorSize];
  uint8_t R[kZip64EndSize];
  if (!ReadInsideFile(Stream, FileSize, EndRecordPos - kLocatorSize, L, kLocatorSize) ||
      GetLE32(L) != kLocatorSignature)
    return kZip64Deferred;
  const uint64_t RecordPos = GetLE32(L + 8) | (uint64_t{GetLE32(L + 12)} << 32);
  if (RecordPos >= static_cast<uint64_t>(FileSize) ||
      !ReadInsideFile(Stream, FileSize, static_cast<int64_t>(RecordPos), R, kZip64EndSize) ||
      GetLE32(R) != kZip64EndSignature)
    return kZip64Deferred;
  const uint64_t Offset = GetLE32(R + 48) | (uint64_t{GetLE32(R + 52)} << 32);
  return Offset < static_cast<uint64_t>(FileSize) ? static_cast<int64_t>(Offset) : kZip64Deferred;
}

}  // namespace

int64_t TRegisterArcLib::FindZipEndRecord(TStream32& Stream) {
  if (FileSize <= 0) return 0;
  const int64_t N = std::min<int64_t>(FileSize - 1, kTailBytes);
  if (N < kZipEndRecordSize) return 0;
  std::vector<uint8_t> Tail(static_cast<size_t>(N));
  if (!ReadInsideFile(Stream, FileSize, FileSize - N, Tail.data(), static_cast<int32_t>(N))) return 0;
  int64_t At = -1;
  for (int64_t P = N - kZipEndRecordSize; P >= 0; --P)
    if (IsZipEnd(&Tail[static_cast<size_t>(P)])) {
      At = P;
      break;
    }
  if (At < 0) return 0;
  std::memcpy(ZipEndRecord.data(), &Tail[static_cast<size_t>(At)], kZipEndRecordSize);
  ZipEndRecordPos = FileSize - N + At;
  ZipFlags |= zfEndRecord;
  ZipCentralOffset = ZipEndCentralOffset();
  if (ZipCentralOffset == kZip64Deferred) ZipCentralOffset = FindZip64CentralOffset(Stream, ZipEndRecordPos);

  // The central header the end record names, and the local header that one names; offsets are
  // followed only when the record is readable and they lie inside the file.
  if (!IsEncipheredForm(ZipEndRecord.data())) {
    const int64_t Central = ZipCentralOffset;
    if (ReadInsideFile(Stream, FileSize, Central, ZipCentralHeader.data(), kZipCentralHeaderSize) &&
        IsZipCentral(ZipCentralHeader.data())) {
      ZipFlags |= zfCentralHeader;
      if (!IsEncipheredForm(ZipCentralHeader.data())) {
        const int64_t Local = GetLE32(&ZipCentralHeader[42]);
        if (ReadInsideFile(Stream, FileSize, Local, ZipLocalHeader.data(), kZipLocalHeaderSize) &&
            IsZipLocal(ZipLocalHeader.data()))
          ZipFlags |= zfLocalHeader;
      }
      return Central;
    }
  }

  // No central header where the end record says (a self-extractor whose offsets count from its archive
  // part): the first local header in the first blocks of the file.
  const int64_t Span = std::min<int64_t>(FileSize, N * kFallbackBlocks);
  std::vector<uint8_t> Buf(static_cast<size_t>(Span));
  if (!ReadInsideFile(Stream, FileSize, 0, Buf.data(), static_cast<int32_t>(Span))) return -1;
  for (int64_t P = 0; P + 4 <= Span; ++P)
    if (Buf[static_cast<size_t>(P)] == 'P' && IsZipLocal(&Buf[static_cast<size_t>(P)])) {
      ZipFlags = zfLocalHeader;
      return P;
    }
  return -1;
}

int64_t TRegisterArcLib::ScanForSfxArchive(TStream32& Stream, int& Code, int64_t StartAt) {
  Code = 0;
  if (StartAt < 0 || StartAt >= FileSize) return 0;
  // Six blocks, and the few bytes a signature at the last position of the last block needs.
  const int64_t Span = std::min<int64_t>(FileSize - StartAt, int64_t{kScanBlock} * kScanBlocks + 8);
  std::vector<uint8_t> Buf(static_cast<size_t>(Span));
  if (!ReadInsideFile(Stream, FileSize, StartAt, Buf.data(), static_cast<int32_t>(Span))) return 0;
  const int64_t Last = std::min<int64_t>(Span, int64_t{kScanBlock} * kScanBlocks);
  const bool AtStart = StartAt == 0;
  auto Has = [&](int64_t P, std::initializer_list<uint8_t> Bytes) {
    if (P + static_cast<int64_t>(Bytes.size()) > Span) return false;
    int64_t K = P;
    for (uint8_t C : Bytes)
      if (Buf[static_cast<size_t>(K++)] != C) return false;
    return true;
  };
  for (int64_t BufPos = 0; BufPos < Last; ++BufPos) {
    const int64_t P = StartAt + BufPos;
    const uint8_t C = Buf[static_cast<size_t>(BufPos)];
    if (C == '*' && P + 5 <= FileSize && Has(BufPos, {'*', '*', 'A', 'C', 'E'})) {
      Code = AtStart ? atAce : atAceSfx;
      return P - 6;
    }
    if (C == '-' && P + 5 <= FileSize && Has(BufPos, {'-', 'l', 'h'}) && BufPos + 4 < Span &&
        Buf[static_cast<size_t>(BufPos + 4)] == '-') {
      Code = AtStart ? atLha : atLhaSfx;
      return P - 1;
    }
    if (C == 'B' && Has(BufPos, {'B', 'H', 5, 7}) && !Has(BufPos + 4, {0x0F, 0x94, 0xC3, 0x84})) {
      Code = AtStart ? atBh : atBhSfx;
      return P + 1;
    }
    if (C == 'P' && Has(BufPos, {'P', 'K', 3, 4}) && !Has(BufPos + 4, {0x74, 0x0B, 0x3D, 0x00})) {
      Code = AtStart ? atZip : atZipSfx;
      FindZipEndRecord(Stream);
      // The archive part starts at this local header; detection's ZIP records tell the decoder whether
      // its central directory can be used.
      ZipFlags |= zfLocalHeader;
      return P + 1;
    }
    if (C == 'R' && Has(BufPos, {'R', 'a', 'r', '!'})) {
      Code = AtStart ? atRar : atRarSfx;
      return P + 1;
    }
  }
  return 0;
}

bool TRegisterArcLib::IsUue(const uint8_t* Head, int32_t HeadLen) const {
  const int32_t End = std::min(HeadLen, kUueWindow) - 2;
  for (int32_t P = 0; P < End; ++P) {
    if (P > 0 && Head[P - 1] != '\n') continue;
    if (HasText(Head, HeadLen, P, "begin 6") || HasText(Head, HeadLen, P, "begin 7")) return true;
  }
  return false;
}

bool TRegisterArcLib::IsTar(TStream32& Stream) {
  if (FileSize <= kTarBlock) return false;
  uint8_t Block[kTarBlock];
  if (!ReadInsideFile(Stream, FileSize, 0, Block, kTarBlock)) return false;
  if (Block[kTarTypeOffset] == 'V') {
    StartOffset = kTarBlock + 1;
    if (!ReadInsideFile(Stream, FileSize, kTarBlock, Block, kTarBlock)) {
      StartOffset = 1;
      return false;
    }
  }
  const std::string Field(reinterpret_cast<const char*>(Block + kTarChecksumField), 8);
  if (OctalToInt(Field) == TarHeaderChecksum(Block)) return true;
  StartOffset = 1;
  return false;
}

// --- String resources of an executable ---------------------------------------------------------------

int64_t TRegisterArcLib::ResourceOffset(TStream32& Stream, int Index) {
  uint8_t B[64];
  auto U16 = [&](int64_t Pos, uint16_t& V) {
    if (!ReadInsideFile(Stream, FileSize, Pos, B, 2)) return false;
    V = GetLE16(B);
    return true;
  };
  auto U32 = [&](int64_t Pos, uint32_t& V) {
    if (!ReadInsideFile(Stream, FileSize, Pos, B, 4)) return false;
    V = GetLE32(B);
    return true;
  };
  uint32_t Pe = 0;
  if (!U32(0x3C, Pe) || !ReadInsideFile(Stream, FileSize, Pe, B, 4) || std::memcmp(B, "PE\0\0", 4) != 0)
    return -1;
  const int64_t Coff = int64_t{Pe} + 4;
  uint16_t Sections = 0, OptSize = 0, Magic = 0;
  if (!U16(Coff + 2, Sections) || !U16(Coff + 16, OptSize) || !U16(Coff + 20, Magic)) return -1;
  if (Sections > kMaxSections) return -1;
  const int64_t Opt = Coff + 20;
  // The resource table is data directory 2 (8 bytes each) behind the fixed fields of the optional header.
  const int64_t Dirs = Opt + (Magic == 0x20B ? 112 : 96);
  uint32_t ResRva = 0, ResSize = 0;
  if (Dirs + 24 > Opt + OptSize || !U32(Dirs + 16, ResRva) || !U32(Dirs + 20, ResSize) || ResRva == 0)
    return -1;
  // Section table: virtual size +8, virtual address +12, raw size +16, raw pointer +20; 40 bytes each.
  const int64_t SecTable = Opt + OptSize;
  auto RvaToOffset = [&](uint32_t Rva, int64_t& FileOffset) {
    for (uint16_t S = 0; S < Sections; ++S) {
      uint32_t Va = 0, Raw = 0, Ptr = 0, Vsize = 0;
      const int64_t E = SecTable + int64_t{S} * 40;
      if (!U32(E + 8, Vsize) || !U32(E + 12, Va) || !U32(E + 16, Raw) || !U32(E + 20, Ptr)) return false;
      const uint32_t Extent = std::max(Vsize, Raw);
      if (Rva >= Va && Rva - Va < Extent) {
        FileOffset = int64_t{Ptr} + (Rva - Va);
        return FileOffset < FileSize;
      }
    }
    return false;
  };
  int64_t Root = 0;
  if (!RvaToOffset(ResRva, Root)) return -1;
  // Finds the entry with Id (or the first entry when Id is 0) of the directory at Dir; the entry's
  // offset field, relative to the resource root.
  auto FindEntry = [&](int64_t Dir, uint32_t Id, uint32_t& Target) {
    uint16_t Named = 0, Ids = 0;
    if (!U16(Dir + 12, Named) || !U16(Dir + 14, Ids)) return false;
    const uint32_t Total = uint32_t{Named} + Ids;
    if (Total > kMaxResourceEntries) return false;
    for (uint32_t K = 0; K < Total; ++K) {
      uint32_t Name = 0, EntryOffset = 0;
      if (!U32(Dir + 16 + int64_t{K} * 8, Name) || !U32(Dir + 20 + int64_t{K} * 8, EntryOffset)) return false;
      if (Id == 0 || (!(Name & 0x80000000u) && Name == Id)) {
        Target = EntryOffset;
        return true;
      }
    }
    return false;
  };
  // Strings are kept in blocks of 16: string n lies in block n / 16 + 1 at index n mod 16.
  const auto Id = static_cast<uint32_t>(Index);
  uint32_t T1 = 0, T2 = 0, T3 = 0;
  if (!FindEntry(Root, kRtString, T1) || !(T1 & 0x80000000u)) return -1;
  if (!FindEntry(Root + (T1 & 0x7FFFFFFFu), Id / 16 + 1, T2) || !(T2 & 0x80000000u)) return -1;
  if (!FindEntry(Root + (T2 & 0x7FFFFFFFu), 0, T3) || (T3 & 0x80000000u)) return -1;
  uint32_t DataRva = 0, DataSize = 0;
  if (!U32(Root + T3, DataRva) || !U32(Root + T3 + 4, DataSize)) return -1;
  int64_t Data = 0;
  if (!RvaToOffset(DataRva, Data)) return -1;
  const int64_t DataEnd = Data + DataSize;
  int64_t Pos = Data;
  for (uint32_t K = 0; K <= Id % 16; ++K) {
    uint16_t Len = 0;
    if (Pos + 2 > DataEnd || !U16(Pos, Len)) return -1;
    if (K == Id % 16) {
      if (Len == 0) return -1;
      const int Take = std::min<int>(Len, kResourceDigits);
      if (Pos + 2 + Take * 2 > DataEnd || !ReadInsideFile(Stream, FileSize, Pos + 2, B, Take * 2)) return -1;
      int64_t Value = 0;
      for (int C = 0; C < Take; ++C) {
        const uint16_t Ch = GetLE16(B + C * 2);
        if (Ch < '0' || Ch > '9') return -1;
        Value = Value * 10 + (Ch - '0');
      }
      return Value;
    }
    Pos += 2 + int64_t{Len} * 2;
  }
  return -1;
}
