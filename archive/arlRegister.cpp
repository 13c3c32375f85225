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

bool IsZipSecond(uint8_t b) { return b == 'K' || b == 'L' || b == 'M' || b == 'N'; }

bool IsZipLocal(const uint8_t* p) { return p[0] == 'P' && IsZipSecond(p[1]) && p[2] == 3 && p[3] == 4; }
bool IsZipCentral(const uint8_t* p) { return p[0] == 'P' && IsZipSecond(p[1]) && p[2] == 1 && p[3] == 2; }
bool IsZipEnd(const uint8_t* p) {
  return p[0] == 'P' && (p[1] == 'K' || p[1] == 'L') && p[2] == 5 && p[3] == 6;
}
// The "L" and "N" forms are enciphered with a header key this library does not have.
bool IsEncipheredForm(const uint8_t* p) { return p[1] == 'L' || p[1] == 'N'; }

// Reads exactly Count bytes at Pos; false when they are not all inside the file.
bool ReadInsideFile(TStream32& S, int64_t FileSize, int64_t Pos, void* Buf, int32_t Count) {
  return Pos >= 0 && Count >= 0 && Pos <= FileSize - Count && ReadExactAt(S, Pos, Buf, Count);
}

bool HasText(const uint8_t* Buf, int32_t Len, int32_t Pos, const char* Text) {
  const auto n = static_cast<int32_t>(std::strlen(Text));
  return Pos >= 0 && Pos <= Len - n && std::memcmp(Buf + Pos, Text, static_cast<size_t>(n)) == 0;
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
  struct stat st {};
  if (FileName.empty() || ::stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
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
  std::string fallback;
  switch (ArcType) {
    case atAce:
    case atAceSfx:
      VolumeLetter = 'C', fallback = "Ace";
      break;
    case atArj:
    case atArjSfx:
      VolumeLetter = 'a', fallback = "Arj";
      break;
    case atRar:
    case atRarSfx:
      VolumeLetter = 'q', fallback = "Rar";
      break;
    default:
      return;
  }
  std::string ext = ExtractFileExt(ArchiveFile);
  ext = ext.empty() ? fallback : ext.substr(1);
  size_t digits = 0;
  while (digits < ext.size() && std::isdigit(static_cast<unsigned char>(ext[ext.size() - 1 - digits])))
    ++digits;
  // Volume numbers have at most three digits; a longer run is taken by its last nine at most.
  digits = std::min<size_t>(digits, 9);
  if (digits > 0) {
    VolumeNumber = std::stoi(ext.substr(ext.size() - digits));
    VolumeLetter = ext[0];
    FirstVolumeNumber = VolumeNumber + 1;
  } else {
    FirstVolumeNumber = (ArcType == atArj || ArcType == atArjSfx) ? 1 : 0;
  }
}

// --- Detection -------------------------------------------------------------------------------------------

int TRegisterArcLib::DetectArchiveType(const std::string& FileName) {
  StartOffset = 1;
  ZipFlags = 0;
  FileSize = 0;
  FileDate = 0;
  ZipEndRecordPos = 0;
  ZipEndRecord.fill(0);
  ZipCentralHeader.fill(0);
  ZipLocalHeader.fill(0);
  try {
    struct stat st {};
    if (FileName.empty() || ::stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    int32_t error = 0;
    TFileStream32 stream(FileName, fmOpenRead | fmShareDenyNone, error);
    if (error != 0) return 0;
    FileSize = stream.Size();
    if (FileSize < kMinFileSize) return 0;
    int code = DetectStream(stream, FileName);
    if (IsUsableArlType(code)) {
      if (code == atZip && LowerFileExt(FileName) == "jar") code = atJar;
      FileDate = FileDosTime(stream.Handle(), 0);
    }
    return code;
  } catch (...) {
    return 0;
  }
}

int TRegisterArcLib::DetectStream(TStream32& Stream, const std::string&) {
  std::vector<uint8_t> head(static_cast<size_t>(std::min<int64_t>(FileSize, kHeadBytes)));
  Stream.SetPosition(0);
  const int32_t len = Stream.Read(head.data(), static_cast<int32_t>(head.size()));
  if (len < 4) return 0;
  if (head[0] == 'M' && head[1] == 'Z') return DetectExecutable(Stream, head.data(), len);
  return DetectPlain(Stream, head.data(), len);
}

int TRegisterArcLib::DetectPlain(TStream32& Stream, const uint8_t* Head, int32_t HeadLen) {
  // A padded download: leading zero bytes before the signature. Only four bytes that are all inside
  // what was read are classified.
  int32_t i = 0;
  while (i < HeadLen && Head[i] == 0) ++i;
  int code = i + 4 <= HeadLen ? ClassifySignature(true, Head + i, Stream) : 0;
  if (code == atFileError || code == atUnknown) return code;
  const bool aceMark = HasText(Head, HeadLen, 7, "**ACE**");
  if (code == atJar || code == atZip || code == atZipSfx) {
    const int64_t found = FindZipEndRecord(Stream);
    if (ZipFlags == zfLocalHeader) {
      StartOffset = found + 1;
    } else if (!(ZipFlags & zfLocalHeader)) {
      // The archive starts at the signature just classified.
      StartOffset = i + 1;
      ZipFlags |= zfLocalHeader;
    }
  } else if (code == atZipMVol) {
    FindZipEndRecord(Stream);
  } else if (code > atUnknown && aceMark) {
    code = atAce;
  }
  if (code <= atUnknown) {
    if (aceMark) return atAce;
    if (IsUue(Head, HeadLen)) {
      StartOffset = 1;
      return atUue;
    }
    if (IsTar(Stream)) return atTar;
    const int64_t found = FindZipEndRecord(Stream);
    if (IsZipEnd(ZipEndRecord.data())) {
      if (ZipFlags == zfLocalHeader) StartOffset = found + 1;
      return ZipEndDiskNumber() != 0 ? atZipMVol : atZip;
    }
  }
  return code;
}

int TRegisterArcLib::DetectExecutable(TStream32& Stream, const uint8_t* Head, int32_t HeadLen) {
  uint8_t b[4];
  // Known stubs. The archive behind them is given its type here, so that these self-extractors can be
  // opened at all (the stub's own code carries no signature of it).
  if (FileSize > kArcStubOffset && ReadInsideFile(Stream, FileSize, kArcStubOffset, b, 2) && b[0] == 0x1A &&
      b[1] == 0x09) {
    StartOffset = kArcStubOffset + 1;
    return atArcSfx;
  }
  for (int64_t stub : kZipStubOffsets) {
    if (ReadInsideFile(Stream, FileSize, stub - 1, b, 4) && IsZipLocal(b)) {
      StartOffset = stub;
      FindZipEndRecord(Stream);
      ZipFlags |= zfLocalHeader;
      return atZipSfx;
    }
  }
  // Offsets named by the string resources 1 to 4.
  for (int index = 1; index <= 4; ++index) {
    const int64_t offset = ResourceOffset(Stream, index);
    if (offset < 0 || offset >= FileSize) break;
    // The resource names the 0-based position of the archive part.
    StartOffset = offset + 1;
    if (!ReadInsideFile(Stream, FileSize, offset, b, 4)) break;
    const int code = ClassifySignature(false, b, Stream);
    if (code != 0) {
      ZipFlags = zfLocalHeader;
      return code;
    }
  }
  StartOffset = 1;
  // The overlay behind the DOS image: (pages - 1) x 512 + bytes in the last page.
  if (HeadLen >= 6) {
    int64_t e = (static_cast<int64_t>(GetLE16(Head + 4)) - 1) * 512 + GetLE16(Head + 2);
    if (e > 0 && e + 4 <= FileSize) {
      if (ReadInsideFile(Stream, FileSize, e + 2, b, 2) && b[0] == 0x60 && b[1] == 0xEA) e += 2;
      StartOffset = e + 1;
      if (e + 5 <= FileSize && ReadInsideFile(Stream, FileSize, e, b, 4) && !IsZipLocal(b)) {
        const int code = ClassifySignature(false, b, Stream);
        if (IsUsableArlType(code)) return code;
      }
    }
  }
  StartOffset = 1;
  const int64_t found = FindZipEndRecord(Stream);
  if (found > 0) {
    // Where the decoder's local walk starts: the local header that detection confirmed.
    if (ZipFlags == zfLocalHeader)
      StartOffset = found + 1;
    else if (ZipFlags & zfLocalHeader)
      StartOffset = static_cast<int64_t>(GetLE32(&ZipCentralHeader[42])) + 1;
    return atZipSfx;
  }
  ZipFlags = 0;
  int code = 0;
  StartOffset = ScanForSfxArchive(Stream, code, kSfxScanStart);
  if (StartOffset <= 0) StartOffset = 1;
  return code;
}

int TRegisterArcLib::ClassifySignature(bool Plain, const uint8_t* V, TStream32& Stream) {
  auto pick = [Plain](int p, int x) { return Plain ? p : x; };
  if (V[0] == 'B' && V[1] == 'H' && V[2] == 5 && V[3] == 7) return pick(atBh, atBhSfx);
  if (std::memcmp(V, "Rar!", 4) == 0) return pick(atRar, atRarSfx);
  if (std::memcmp(V, "PKG5", 4) == 0) return atUnknown;
  if (std::memcmp(V, "MSCF", 4) == 0) return pick(atCab, atUnsupported);
  if (V[0] == 0xB7 && V[1] == 0xDF && V[2] == 0x54 && V[3] == 0x57) {
    if (Plain) return atArc;
    StartOffset = kArcSfxStart;
    return atArcSfx;
  }
  if (V[0] == 0x13 && V[1] == 0x5D && V[2] == 0x65 && V[3] == 0x8C) return pick(atMsGz, atUnsupported);
  if (V[2] == '-' && V[3] == 'l') return pick(atLha, atLhaSfx);
  if (V[0] == 0x1A) {
    if (V[1] == 0x02 || V[1] == 0x1E) return pick(atArc, atUnsupported);
    if (V[1] == 0x08 || V[1] == 0x09) return pick(atArc, atArcSfx);
    if (V[1] == 0x0A || V[1] == 0x0B) return pick(atPak, atPakSfx);
    // An ARC archive starts with the header of its first entry: 1A and the entry's method. Archives whose
    // first entry is stored, packed, squeezed or crunched (methods 1 to 7) are ARC archives too.
    if (V[1] >= 0x01 && V[1] <= 0x07) return pick(atArc, atUnsupported);
  }
  if ((V[0] == 0x1F && (V[1] == 0x1E || V[1] == 0x8B || V[1] == 0x9D || V[1] == 0x9E || V[1] == 0xA0)) ||
      (V[0] == 0x25 && V[1] == 0x21))
    return pick(atGZip, atUnsupported);
  if (V[0] == 'H' && V[1] == 'A') return pick(atHa, atUnsupported);
  if (V[0] == 'P' && IsZipSecond(V[1])) {
    if (V[2] == 1 && V[3] == 2) {
      FindZipEndRecord(Stream);
      return atZipMVol;
    }
    if (V[2] == 7 && V[3] == 8) return atZipMVol;
    if ((V[2] == 'G' && V[3] == '4') || (V[2] == 'C' && V[3] == 'I')) return 0;
    return pick(atZip, atZipSfx);
  }
  if (V[0] == 'Z' && V[1] == 'O') return pick(atZoo, atUnsupported);
  if (V[0] == 0xB7 && (V[1] == 0x92 || V[1] == 0xDF)) {
    StartOffset = kArcSfxStart;
    return atArcSfx;
  }
  if (V[0] == 0x60 && V[1] == 0xEA) return pick(atArj, atArjSfx);
  return 0;
}

int64_t TRegisterArcLib::FindZipEndRecord(TStream32& Stream) {
  if (FileSize <= 0) return 0;
  const int64_t n = std::min<int64_t>(FileSize - 1, kTailBytes);
  if (n < kZipEndRecordSize) return 0;
  std::vector<uint8_t> tail(static_cast<size_t>(n));
  if (!ReadInsideFile(Stream, FileSize, FileSize - n, tail.data(), static_cast<int32_t>(n))) return 0;
  int64_t at = -1;
  for (int64_t p = n - kZipEndRecordSize; p >= 0; --p)
    if (IsZipEnd(&tail[static_cast<size_t>(p)])) {
      at = p;
      break;
    }
  if (at < 0) return 0;
  std::memcpy(ZipEndRecord.data(), &tail[static_cast<size_t>(at)], kZipEndRecordSize);
  ZipEndRecordPos = FileSize - n + at;
  ZipFlags |= zfEndRecord;

  // The central header the end record names, and the local header that one names; offsets are
  // followed only when the record is readable and they lie inside the file.
  if (!IsEncipheredForm(ZipEndRecord.data())) {
    const int64_t central = ZipEndCentralOffset();
    if (ReadInsideFile(Stream, FileSize, central, ZipCentralHeader.data(), kZipCentralHeaderSize) &&
        IsZipCentral(ZipCentralHeader.data())) {
      ZipFlags |= zfCentralHeader;
      if (!IsEncipheredForm(ZipCentralHeader.data())) {
        const int64_t local = GetLE32(&ZipCentralHeader[42]);
        if (ReadInsideFile(Stream, FileSize, local, ZipLocalHeader.data(), kZipLocalHeaderSize) &&
            IsZipLocal(ZipLocalHeader.data()))
          ZipFlags |= zfLocalHeader;
      }
      return central;
    }
  }

  // No central header where the end record says (a self-extractor whose offsets count from its archive
  // part): the first local header in the first blocks of the file.
  const int64_t span = std::min<int64_t>(FileSize, n * kFallbackBlocks);
  std::vector<uint8_t> buf(static_cast<size_t>(span));
  if (!ReadInsideFile(Stream, FileSize, 0, buf.data(), static_cast<int32_t>(span))) return -1;
  for (int64_t p = 0; p + 4 <= span; ++p)
    if (buf[static_cast<size_t>(p)] == 'P' && IsZipLocal(&buf[static_cast<size_t>(p)])) {
      ZipFlags = zfLocalHeader;
      return p;
    }
  return -1;
}

int64_t TRegisterArcLib::ScanForSfxArchive(TStream32& Stream, int& Code, int64_t StartAt) {
  Code = 0;
  if (StartAt < 0 || StartAt >= FileSize) return 0;
  // Six blocks, and the few bytes a signature at the last position of the last block needs.
  const int64_t span = std::min<int64_t>(FileSize - StartAt, int64_t{kScanBlock} * kScanBlocks + 8);
  std::vector<uint8_t> buf(static_cast<size_t>(span));
  if (!ReadInsideFile(Stream, FileSize, StartAt, buf.data(), static_cast<int32_t>(span))) return 0;
  const int64_t last = std::min<int64_t>(span, int64_t{kScanBlock} * kScanBlocks);
  const bool atStart = StartAt == 0;
  auto has = [&](int64_t p, std::initializer_list<uint8_t> bytes) {
    if (p + static_cast<int64_t>(bytes.size()) > span) return false;
    int64_t k = p;
    for (uint8_t c : bytes)
      if (buf[static_cast<size_t>(k++)] != c) return false;
    return true;
  };
  for (int64_t p = 0; p < last; ++p) {
    const int64_t P = StartAt + p;
    const uint8_t c = buf[static_cast<size_t>(p)];
    if (c == '*' && P + 5 <= FileSize && has(p, {'*', '*', 'A', 'C', 'E'})) {
      Code = atStart ? atAce : atAceSfx;
      return P - 6;
    }
    if (c == '-' && P + 5 <= FileSize && has(p, {'-', 'l', 'h'}) && p + 4 < span &&
        buf[static_cast<size_t>(p + 4)] == '-') {
      Code = atStart ? atLha : atLhaSfx;
      return P - 1;
    }
    if (c == 'B' && has(p, {'B', 'H', 5, 7}) && !has(p + 4, {0x0F, 0x94, 0xC3, 0x84})) {
      Code = atStart ? atBh : atBhSfx;
      return P + 1;
    }
    if (c == 'P' && has(p, {'P', 'K', 3, 4}) && !has(p + 4, {0x74, 0x0B, 0x3D, 0x00})) {
      Code = atStart ? atZip : atZipSfx;
      FindZipEndRecord(Stream);
      // The archive part starts at this local header; detection's ZIP records tell the decoder whether
      // its central directory can be used.
      ZipFlags |= zfLocalHeader;
      return P + 1;
    }
    if (c == 'R' && has(p, {'R', 'a', 'r', '!'})) {
      Code = atStart ? atRar : atRarSfx;
      return P + 1;
    }
  }
  return 0;
}

bool TRegisterArcLib::IsUue(const uint8_t* Head, int32_t HeadLen) const {
  const int32_t end = std::min(HeadLen, kUueWindow) - 2;
  for (int32_t p = 0; p < end; ++p) {
    if (p > 0 && Head[p - 1] != '\n') continue;
    if (HasText(Head, HeadLen, p, "begin 6") || HasText(Head, HeadLen, p, "begin 7")) return true;
  }
  return false;
}

bool TRegisterArcLib::IsTar(TStream32& Stream) {
  if (FileSize <= kTarBlock) return false;
  uint8_t block[kTarBlock];
  if (!ReadInsideFile(Stream, FileSize, 0, block, kTarBlock)) return false;
  if (block[kTarTypeOffset] == 'V') {
    StartOffset = kTarBlock + 1;
    if (!ReadInsideFile(Stream, FileSize, kTarBlock, block, kTarBlock)) {
      StartOffset = 1;
      return false;
    }
  }
  const std::string field(reinterpret_cast<const char*>(block + kTarChecksumField), 8);
  if (OctalToInt(field) == TarHeaderChecksum(block)) return true;
  StartOffset = 1;
  return false;
}

// --- String resources of an executable ---------------------------------------------------------------

int64_t TRegisterArcLib::ResourceOffset(TStream32& Stream, int Index) {
  uint8_t b[64];
  auto u16 = [&](int64_t pos, uint16_t& v) {
    if (!ReadInsideFile(Stream, FileSize, pos, b, 2)) return false;
    v = GetLE16(b);
    return true;
  };
  auto u32 = [&](int64_t pos, uint32_t& v) {
    if (!ReadInsideFile(Stream, FileSize, pos, b, 4)) return false;
    v = GetLE32(b);
    return true;
  };
  uint32_t pe = 0;
  if (!u32(0x3C, pe) || !ReadInsideFile(Stream, FileSize, pe, b, 4) || std::memcmp(b, "PE\0\0", 4) != 0)
    return -1;
  const int64_t coff = int64_t{pe} + 4;
  uint16_t sections = 0, optSize = 0, magic = 0;
  if (!u16(coff + 2, sections) || !u16(coff + 16, optSize) || !u16(coff + 20, magic)) return -1;
  if (sections > kMaxSections) return -1;
  const int64_t opt = coff + 20;
  // The resource table is data directory 2 (8 bytes each) behind the fixed fields of the optional header.
  const int64_t dirs = opt + (magic == 0x20B ? 112 : 96);
  uint32_t resRva = 0, resSize = 0;
  if (dirs + 24 > opt + optSize || !u32(dirs + 16, resRva) || !u32(dirs + 20, resSize) || resRva == 0)
    return -1;
  // Section table: virtual size +8, virtual address +12, raw size +16, raw pointer +20; 40 bytes each.
  const int64_t secTable = opt + optSize;
  auto rvaToOffset = [&](uint32_t rva, int64_t& off) {
    for (uint16_t s = 0; s < sections; ++s) {
      uint32_t va = 0, raw = 0, ptr = 0, vsize = 0;
      const int64_t e = secTable + int64_t{s} * 40;
      if (!u32(e + 8, vsize) || !u32(e + 12, va) || !u32(e + 16, raw) || !u32(e + 20, ptr)) return false;
      const uint32_t extent = std::max(vsize, raw);
      if (rva >= va && rva - va < extent) {
        off = int64_t{ptr} + (rva - va);
        return off < FileSize;
      }
    }
    return false;
  };
  int64_t root = 0;
  if (!rvaToOffset(resRva, root)) return -1;
  // Finds the entry with Id (or the first entry when Id is 0) of the directory at Dir; the entry's
  // offset field, relative to the resource root.
  auto findEntry = [&](int64_t dir, uint32_t id, uint32_t& target) {
    uint16_t named = 0, ids = 0;
    if (!u16(dir + 12, named) || !u16(dir + 14, ids)) return false;
    const uint32_t total = uint32_t{named} + ids;
    if (total > kMaxResourceEntries) return false;
    for (uint32_t k = 0; k < total; ++k) {
      uint32_t name = 0, off = 0;
      if (!u32(dir + 16 + int64_t{k} * 8, name) || !u32(dir + 20 + int64_t{k} * 8, off)) return false;
      if (id == 0 || (!(name & 0x80000000u) && name == id)) {
        target = off;
        return true;
      }
    }
    return false;
  };
  // Strings are kept in blocks of 16: string n lies in block n / 16 + 1 at index n mod 16.
  const auto id = static_cast<uint32_t>(Index);
  uint32_t t1 = 0, t2 = 0, t3 = 0;
  if (!findEntry(root, kRtString, t1) || !(t1 & 0x80000000u)) return -1;
  if (!findEntry(root + (t1 & 0x7FFFFFFFu), id / 16 + 1, t2) || !(t2 & 0x80000000u)) return -1;
  if (!findEntry(root + (t2 & 0x7FFFFFFFu), 0, t3) || (t3 & 0x80000000u)) return -1;
  uint32_t dataRva = 0, dataSize = 0;
  if (!u32(root + t3, dataRva) || !u32(root + t3 + 4, dataSize)) return -1;
  int64_t data = 0;
  if (!rvaToOffset(dataRva, data)) return -1;
  const int64_t dataEnd = data + dataSize;
  int64_t pos = data;
  for (uint32_t k = 0; k <= id % 16; ++k) {
    uint16_t len = 0;
    if (pos + 2 > dataEnd || !u16(pos, len)) return -1;
    if (k == id % 16) {
      if (len == 0) return -1;
      const int take = std::min<int>(len, kResourceDigits);
      if (pos + 2 + take * 2 > dataEnd || !ReadInsideFile(Stream, FileSize, pos + 2, b, take * 2)) return -1;
      int64_t value = 0;
      for (int c = 0; c < take; ++c) {
        const uint16_t ch = GetLE16(b + c * 2);
        if (ch < '0' || ch > '9') return -1;
        value = value * 10 + (ch - '0');
      }
      return value;
    }
    pos += 2 + int64_t{len} * 2;
  }
  return -1;
}
