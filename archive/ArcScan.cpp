#include "archive/ArcScan.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/arlGbls.h"
#include "archive/arlRegister.h"
#include "core/Exception.h"
#include "core/FileLayer.h"
#include "core/SPDic.h"
#include "core/VFileSys.h"
#include "core/VectOps.h"

// What the signature tests check: every test reads only the head of the file (kHeadBytes), compares
// bytes exactly at fixed offsets, and fails when the head is shorter than the bytes it needs. The TAR
// test needs a whole 512-byte header and compares the checksum field, read as octal with every other
// character skipped, with the sum of the header bytes.

std::array<TArcInfo, kLastDecodedKind + 1> ArcInfos = {{
    {false, ""},
    {true, "Self-extracted Archives (EXE)"},
    {true, "ACE"},
    {true, "ARC"},
    {true, "ARJ"},
    {true, "CAB"},
    {true, "GZIP"},
    {true, "JAR"},
    {true, "LZH"},
    {true, "RAR"},
    {true, "TAR"},
    {true, "ZIP"},
    {true, "ZOO"},
}};

namespace {

// The longest head a test reads: one TAR header block.
constexpr size_t kTarBlockBytes = 512;
constexpr size_t kHeadBytes = kTarBlockBytes;
// The TAR checksum field: 8 characters at offset 148.
constexpr size_t kTarChecksumOffset = 148;
constexpr size_t kTarChecksumBytes = 8;
// The ZOO archive's magic number follows its 20-byte text header.
constexpr size_t kZooMagicOffset = 20;
// The RAR main header follows the 7-byte marker: CRC (2), type 0x73 (1), flags (2, little endian).
constexpr size_t kRarMainHeaderOffset = 7;
constexpr uint8_t kRarMainHeaderType = 0x73;
constexpr uint16_t kRarVolume = 0x0001;        // the archive is one volume of a set
constexpr uint16_t kRarNewNumbering = 0x0010;  // volumes are named name.partN.rar
constexpr uint16_t kRarFirstVolume = 0x0100;
// The ACE marker follows the 7 bytes of the block's CRC, size, type and flags.
constexpr size_t kAceMarkerOffset = 7;

struct ExtEntry {
  const char* ext;
  TArchiveKind kind;
};
constexpr ExtEntry kArchiveExtensions[] = {
    {"ace", akAce}, {"arc", akArc}, {"pak", akArc},   {"arj", akArj},  {"cab", akCab}, {"exe", akExe},
    {"jar", akJar}, {"gz", akGZip}, {"gzip", akGZip}, {"tgz", akGZip}, {"z", akGZip},  {"ha", akHa},
    {"hyp", akHyp}, {"lzh", akLzh}, {"lha", akLzh},   {"q", akQ},      {"rar", akRar}, {"tar", akTar},
    {"zip", akZip}, {"zoo", akZoo}, {"ice", akLzh},
};

struct ExtTables {
  TStrPtrDic kinds;
  std::string list;
  ExtTables() {
    for (const ExtEntry& e : kArchiveExtensions)
      kinds.Put(e.ext, reinterpret_cast<void*>(static_cast<uintptr_t>(e.kind)));
    list = ":";
    TStrPtrData data;
    for (TRBTreeIterator<TStrPtrData> it(kinds); !it.IsEof(); it.Next()) {
      it.GetData(data);
      list += data.Key + ":";
    }
  }
};

const ExtTables& Tables() {
  static const ExtTables tables;
  return tables;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string s) {
  for (char& c : s) c = LowerAscii(c);
  return s;
}

// The position of the extension's dot in the name part of FileName, or npos.
size_t ExtDotPos(const std::string& FileName) {
  size_t dot = FileName.rfind('.');
  size_t slash = FileName.rfind(kItemSeparator);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
  return dot;
}

std::string BaseName(const std::string& FileName) {
  size_t slash = FileName.rfind(kItemSeparator);
  return slash == std::string::npos ? FileName : FileName.substr(slash + 1);
}

// A decimal number made of digits only, at most 9 of them; -1 otherwise.
int ParseVolumeNumber(const std::string& digits) {
  if (digits.empty() || digits.size() > 9 || !IsAllDigits(digits)) return -1;
  return std::stoi(digits);
}

std::string Format2(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d", n);
  return buf;
}

// How far into an executable the RAR reader looks for the marker of a self-extracting RAR archive.
constexpr size_t kRarSfxSearchBytes = 1 << 20;

// The head of a file: at most Bytes from its start. Raises EWin32Error when the file cannot be opened
// or read.
std::string ReadHead(const std::u16string& FileName, size_t Bytes = kHeadBytes) {
  IFileLayer& files = FileLayer();
  int fd = files.Open(Utf16ToUtf8(FileName), O_RDONLY, 0);
  auto raise = [] {
    int err = errno;
    throw EWin32Error(FileErrorCode(err), std::strerror(err));
  };
  if (fd < 0) raise();
  struct Closer {
    int fd;
    ~Closer() { FileLayer().Close(fd); }
  } closer{fd};
  std::string head(Bytes, '\0');
  size_t got = 0;
  while (got < head.size()) {
    ssize_t n = files.PRead(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raise();
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  head.resize(got);
  return head;
}

bool HasBytesAt(const std::string& head, size_t offset, const void* bytes, size_t count) {
  return head.size() >= offset + count && std::memcmp(head.data() + offset, bytes, count) == 0;
}

bool HasTextAt(const std::string& head, size_t offset, const char* text) {
  return HasBytesAt(head, offset, text, std::strlen(text));
}

uint8_t ByteAt(const std::string& head, size_t offset) { return static_cast<uint8_t>(head[offset]); }

bool LhaHead(const std::string& h) {
  return h.size() >= 7 && h[2] == '-' && h[3] == 'l' && (h[4] == 'h' || h[4] == 'z') && h[6] == '-';
}

bool TarHead(const std::string& h) {
  if (h.size() < kTarBlockBytes) return false;
  int64_t stored = OctalToInt(h.substr(kTarChecksumOffset, kTarChecksumBytes));
  return stored == TarHeaderChecksum(reinterpret_cast<const uint8_t*>(h.data()));
}

bool ZooHead(const std::string& h) {
  static const uint8_t kMagic[] = {0xDC, 0xA7, 0xC4, 0xFD};
  return HasBytesAt(h, kZooMagicOffset, kMagic, sizeof kMagic);
}

bool HypHead(const std::string& h) {
  return h.size() >= 3 && ByteAt(h, 0) == 0x1A && (HasTextAt(h, 1, "HP") || HasTextAt(h, 1, "ST"));
}

// A volume after the first of a set named name.partN.rar: its extension is "rar" like the first one's,
// so only its main header tells it apart.
bool LaterNumberedRarVolume(const std::string& h) {
  if (h.size() < kRarMainHeaderOffset + 5 || ByteAt(h, kRarMainHeaderOffset + 2) != kRarMainHeaderType)
    return false;
  uint16_t flags =
      static_cast<uint16_t>(ByteAt(h, kRarMainHeaderOffset + 3) | ByteAt(h, kRarMainHeaderOffset + 4) << 8);
  return (flags & kRarVolume) && (flags & kRarNewNumbering) && !(flags & kRarFirstVolume);
}

// Whether the archive library's detection finds an archive the kind's decoder reads in the file: for
// an executable any archive inside it, for a ZIP or JAR a ZIP archive anywhere in it.
bool LibraryFindsArchive(const std::string& FileName, TArchiveKind Kind) {
  TRegisterArcLib detector;
  const int code = detector.DetectArchiveType(FileName);
  if (Kind != akExe) return code == atZip || code == atZipSfx || code == atJar;
  if (IsUsableArlType(code)) return true;
  // The RAR reader finds the archive of a self-extractor further in than the library looks.
  return ReadHead(Utf8ToUtf16(FileName), kRarSfxSearchBytes).find(std::string("Rar!\x1A\x07", 6)) !=
         std::string::npos;
}

bool SignatureMatches(TArchiveKind kind, const std::string& h) {
  switch (kind) {
    case akExe:
      return HasTextAt(h, 0, "MZ");
    case akAce:
      return HasTextAt(h, kAceMarkerOffset, "**ACE**");
    case akArc:
      return !h.empty() && ByteAt(h, 0) == 0x1A && !HypHead(h) && !ZooHead(h);
    case akArj:
      return h.size() >= 2 && ByteAt(h, 0) == 0x60 && ByteAt(h, 1) == 0xEA;
    case akCab:
      return HasTextAt(h, 0, "MSCF");
    case akGZip: {
      if (h.size() < 2 || ByteAt(h, 0) != 0x1F) return false;
      uint8_t b = ByteAt(h, 1);
      return b == 0x8B || b == 0x9E || b == 0x9D || b == 0xA0 || b == 0x1E;
    }
    case akJar:
    case akZip:
      return HasBytesAt(h, 0, "PK\x03\x04", 4);
    case akLzh:
      return LhaHead(h);
    case akRar:
      return HasBytesAt(h, 0, "Rar!\x1A\x07\x00", 7);
    case akTar:
      return TarHead(h);
    case akZoo:
      return ZooHead(h);
    case akHa:
      return HasTextAt(h, 0, "HA");
    case akHyp:
      return HypHead(h);
    case akQ:
      return HasTextAt(h, 0, "DS");
    case akNone:
      break;
  }
  return false;
}

}  // namespace

const TStrPtrDic& ArchiveExtKinds() { return Tables().kinds; }

const std::string& ArchiveExtList() { return Tables().list; }

std::string ArchiveKindExt(TArchiveKind Kind) {
  if (Kind == akExe) return "exe";
  if (Kind < kFirstDecodedKind || Kind > kLastDecodedKind) return "";
  return LowerAscii(ArcInfos[Kind].Name);
}

std::string FirstVolumeName(const std::string& FileName, TArchiveKind Kind) {
  if (Kind != akExe && Kind != akAce && Kind != akArj && Kind != akCab && Kind != akRar) return "";
  size_t dot = ExtDotPos(FileName);
  return (dot == std::string::npos ? FileName : FileName.substr(0, dot)) + "." + ArchiveKindExt(Kind);
}

bool NextVolumeName(std::string& FileName, TArchiveKind Kind) {
  size_t dot = ExtDotPos(FileName);
  if (dot == std::string::npos || dot + 1 == FileName.size()) return false;
  const std::string ext = FileName.substr(dot + 1);
  const std::string lower = LowerAscii(ext);
  const char first = ext[0];
  const int n = ParseVolumeNumber(ext.substr(1));
  std::string next;
  switch (Kind) {
    case akAce:
      if (lower[0] == 'c' && n >= 0 && n < 99)
        next = "c" + Format2(n + 1);
      else if (lower == "ace")
        next = "c00";
      break;
    case akArj: {
      int all = ParseVolumeNumber(ext);
      if (all >= 0 && all <= 998) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%.3d", all + 1);
        next = buf;
      } else if (lower == "arj") {
        next = std::string(1, first) + "01";
      } else if (lower[0] == 'a' && n >= 0 && n <= 98) {
        next = std::string(1, first) + Format2(n + 1);
      }
      break;
    }
    case akRar:
      if (lower == "rar") {
        next = std::string(1, first) + "00";
      } else if (lower[0] >= 'r' && lower[0] <= 'z' && n >= 0 && n < 99) {
        next = std::string(1, first) + Format2(n + 1);
      } else if (lower[0] >= 'r' && lower[0] <= 'y' && n == 99) {
        next = std::string(1, static_cast<char>(first + 1)) + "00";
      }
      break;
    default:
      break;
  }
  if (next.empty()) return false;
  FileName = FileName.substr(0, dot + 1) + next;
  return true;
}

TArchiveKind ArchiveKindByExt(const std::string& FileName, bool& LaterVolume) {
  LaterVolume = false;
  const std::string ext = LowerFileExt(FileName);
  if (ext.empty()) return akNone;
  if (ArchiveExtList().find(":" + ext + ":") != std::string::npos) {
    // The list holds exactly the dictionary's keys, so the lookup finds the extension.
    return static_cast<TArchiveKind>(reinterpret_cast<uintptr_t>(ArchiveExtKinds().Get(ext)));
  }
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (ext.size() == 3 && isDigit(ext[1]) && isDigit(ext[2])) {
    TArchiveKind kind = akNone;
    if (ext[0] == 'a')
      kind = akArj;
    else if (ext[0] == 'c')
      kind = akAce;
    else if (ext[0] >= 'r' && ext[0] <= 'z')
      kind = akRar;
    LaterVolume = kind != akNone;
    return kind;
  }
  return akNone;
}

TArchiveKind GetArchiveKind(const std::string& FileName) {
  bool laterVolume;
  return ArchiveKindByExt(FileName, laterVolume);
}

bool IsEnabledArchiveName(const std::string& FileName) {
  TArchiveKind kind = GetArchiveKind(FileName);
  return kind >= kFirstDecodedKind && kind <= kLastDecodedKind && ArcInfos[kind].Enabled;
}

TArchiveCheck CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) {
  const std::string name = Utf16ToUtf8(FileName);
  bool laterVolume = false;
  Kind = ArchiveKindByExt(name, laterVolume);
  const std::string head = ReadHead(FileName);
  bool matched = SignatureMatches(Kind, head);
  // An executable is an archive only when the archive library finds one inside it; any other program
  // is a plain file. A ZIP may have data in front of its first entry (a self-extractor's stub, padding):
  // the library finds it by its end record.
  if ((matched && Kind == akExe) || (!matched && (Kind == akZip || Kind == akJar)))
    matched = LibraryFindsArchive(name, Kind);
  if (matched && (laterVolume || (Kind == akRar && LaterNumberedRarVolume(head)))) return acLaterVolume;
  if (!matched && LowerAscii(BaseName(name)).find(".tar.") != std::string::npos) {
    Kind = akTar;
    matched = TarHead(head);
  }
  if (!matched) return acNone;
  if (Kind >= kFirstDecodedKind && Kind <= kLastDecodedKind)
    return ArcInfos[Kind].Enabled ? acArchive : acDisabled;
  return acNoDecoder;
}

bool IsLhaHeader(const std::u16string& FileName) { return LhaHead(ReadHead(FileName)); }
bool IsTarHeader(const std::u16string& FileName) { return TarHead(ReadHead(FileName)); }
bool IsZooHeader(const std::u16string& FileName) { return ZooHead(ReadHead(FileName)); }
bool IsHypHeader(const std::u16string& FileName) { return HypHead(ReadHead(FileName)); }

int32_t TarHeaderChecksum(const uint8_t* Header) {
  int32_t sum = SumBytes(Header, static_cast<int32_t>(kTarBlockBytes));
  for (size_t i = kTarChecksumOffset; i < kTarChecksumOffset + kTarChecksumBytes; ++i) sum += ' ' - Header[i];
  return sum;
}
