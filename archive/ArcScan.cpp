#include "archive/ArcScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

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
constexpr size_t kRar5MarkerSize = 8;
// The ACE marker follows the 7 bytes of the block's CRC, size, type and flags.
constexpr size_t kAceMarkerOffset = 7;

struct ExtEntry {
  const char* Ext;
  TArchiveKind Kind;
};
constexpr ExtEntry kArchiveExtensions[] = {
    {"ace", akAce}, {"arc", akArc}, {"pak", akArc},   {"arj", akArj},  {"cab", akCab}, {"exe", akExe},
    {"jar", akJar}, {"gz", akGZip}, {"gzip", akGZip}, {"tgz", akGZip}, {"z", akGZip},  {"ha", akHa},
    {"hyp", akHyp}, {"lzh", akLzh}, {"lha", akLzh},   {"q", akQ},      {"rar", akRar}, {"tar", akTar},
    {"zip", akZip}, {"zoo", akZoo}, {"ice", akLzh},
};

struct ExtTables {
  TStrPtrDic Kinds;
  std::string List;
  ExtTables() {
    for (const ExtEntry& E : kArchiveExtensions)
      Kinds.Put(E.Ext, reinterpret_cast<void*>(static_cast<uintptr_t>(E.Kind)));
    List = ":";
    TStrPtrData Data;
    for (TRBTreeIterator<TStrPtrData> It(Kinds); !It.IsEof(); It.Next()) {
      It.GetData(Data);
      List += Data.Key + ":";
    }
  }
};

const ExtTables& Tables() {
  static const ExtTables Tables;
  return Tables;
}

char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

std::string LowerAscii(std::string S) {
  for (char& C : S) C = LowerAscii(C);
  return S;
}

std::string UpperAsciiText(std::string S) {
  for (char& C : S)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return S;
}

// The position of the extension's dot in the name part of FileName, or npos.
size_t ExtDotPos(const std::string& FileName) {
  size_t Dot = FileName.rfind('.');
  size_t Slash = FileName.rfind(kItemSeparator);
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return std::string::npos;
  return Dot;
}

std::string BaseName(const std::string& FileName) {
  size_t Slash = FileName.rfind(kItemSeparator);
  return Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
}

// A decimal number made of digits only, at most 9 of them; -1 otherwise.
int ParseVolumeNumber(const std::string& Digits) {
  if (Digits.empty() || Digits.size() > 9 || !IsAllDigits(Digits)) return -1;
  return std::stoi(Digits);
}

std::string Format2(int N) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%.2d", N);
  return Buf;
}

// How far into an executable the RAR reader looks for the marker of a self-extracting RAR archive.
constexpr size_t kRarSfxSearchBytes = 1 << 20;

// The head of a file: at most Bytes from its start. Raises EWin32Error when the file cannot be opened
// or read.
std::string ReadHead(const std::u16string& FileName, size_t Bytes = kHeadBytes) {
  IFileLayer& Files = FileLayer();
  int Fd = Files.Open(Utf16ToUtf8(FileName), O_RDONLY, 0);
  auto Raise = [] {
    int Err = errno;
    throw EWin32Error(FileErrorCode(Err), std::strerror(Err));
  };
  if (Fd < 0) Raise();
  struct Closer {
    int Fd;
    ~Closer() { FileLayer().Close(Fd); }
  } Closer{Fd};
  std::string Head(Bytes, '\0');
  size_t Got = 0;
  while (Got < Head.size()) {
    ssize_t N = Files.PRead(Fd, Head.data() + Got, Head.size() - Got, static_cast<off_t>(Got));
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) Raise();
    if (N == 0) break;
    Got += static_cast<size_t>(N);
  }
  Head.resize(Got);
  return Head;
}

bool HasBytesAt(const std::string& Head, size_t Offset, const void* Bytes, size_t Count) {
  return Head.size() >= Offset + Count && std::memcmp(Head.data() + Offset, Bytes, Count) == 0;
}

bool HasTextAt(const std::string& Head, size_t Offset, const char* Text) {
  return HasBytesAt(Head, Offset, Text, std::strlen(Text));
}

uint8_t ByteAt(const std::string& Head, size_t Offset) { return static_cast<uint8_t>(Head[Offset]); }

bool LhaHead(const std::string& H) {
  return H.size() >= 7 && H[2] == '-' && H[3] == 'l' && (H[4] == 'h' || H[4] == 'z') && H[6] == '-';
}

bool TarHead(const std::string& H) {
  if (H.size() < kTarBlockBytes) return false;
  int64_t Stored = OctalToInt(H.substr(kTarChecksumOffset, kTarChecksumBytes));
  return Stored == TarHeaderChecksum(reinterpret_cast<const uint8_t*>(H.data()));
}

bool ZooHead(const std::string& H) {
  static const uint8_t kMagic[] = {0xDC, 0xA7, 0xC4, 0xFD};
  return HasBytesAt(H, kZooMagicOffset, kMagic, sizeof kMagic);
}

bool HypHead(const std::string& H) {
  return H.size() >= 3 && ByteAt(H, 0) == 0x1A && (HasTextAt(H, 1, "HP") || HasTextAt(H, 1, "ST"));
}

// A volume after the first of a set named name.partN.rar: its extension is "rar" like the first one's,
// so only its main header tells it apart. Its flags are believed only when the header passes its check
// (the low 16 bits of the CRC-32 of the header from its third byte on): a damaged header that happened to
// read as a later volume would otherwise be passed over as one, without a word.
bool LaterNumberedRarVolume(const std::string& H) {
  if (H.size() < kRarMainHeaderOffset + 7 || ByteAt(H, kRarMainHeaderOffset + 2) != kRarMainHeaderType)
    return false;
  const size_t Size = ByteAt(H, kRarMainHeaderOffset + 5) | ByteAt(H, kRarMainHeaderOffset + 6) << 8;
  if (Size < 7 || H.size() < kRarMainHeaderOffset + Size) return false;
  const auto* Header = reinterpret_cast<const Bytef*>(H.data() + kRarMainHeaderOffset);
  const uint16_t Crc = static_cast<uint16_t>(::crc32(0, Header + 2, static_cast<uInt>(Size - 2)) & 0xFFFF);
  if (Crc != (ByteAt(H, kRarMainHeaderOffset) | ByteAt(H, kRarMainHeaderOffset + 1) << 8)) return false;
  uint16_t Flags =
      static_cast<uint16_t>(ByteAt(H, kRarMainHeaderOffset + 3) | ByteAt(H, kRarMainHeaderOffset + 4) << 8);
  return (Flags & kRarVolume) && (Flags & kRarNewNumbering) && !(Flags & kRarFirstVolume);
}

// The same for RAR 5: after the 8-byte marker, the main header (a CRC-32, then as variable-length numbers
// of 7 bits a byte its size, type 1, its flags, the extra area's size when flag 1 is set) holds the
// archive flags, in which 1 marks a volume and 2 one that carries its number: every volume but the first.
// The CRC-32 covers the header from its size on; a header that fails it is not believed.
bool LaterRar5Volume(const std::string& H) {
  size_t At = kRar5MarkerSize + 4;
  auto Number = [&](uint64_t& Value) {
    Value = 0;
    for (int Shift = 0; Shift < 64 && At < H.size(); Shift += 7) {
      const uint8_t B = ByteAt(H, At++);
      Value |= static_cast<uint64_t>(B & 0x7F) << Shift;
      if (!(B & 0x80)) return true;
    }
    return false;
  };
  uint64_t Size = 0, Type = 0, Flags = 0, Extra = 0, ArchiveFlags = 0;
  if (!HasBytesAt(H, 0, "Rar!\x1A\x07\x01\x00", kRar5MarkerSize) || !Number(Size) || !Number(Type) ||
      Type != 1 || !Number(Flags) || ((Flags & 1) && !Number(Extra)) || ((Flags & 2) && !Number(Extra)) ||
      !Number(ArchiveFlags))
    return false;
  if (!(ArchiveFlags & 1) || !(ArchiveFlags & 2)) return false;
  // The size counts the bytes after its own field: find where that field ends.
  size_t SizeEnd = kRar5MarkerSize + 4;
  while (SizeEnd < H.size() && (ByteAt(H, SizeEnd) & 0x80)) ++SizeEnd;
  ++SizeEnd;
  if (Size > H.size() || SizeEnd + Size > H.size()) return false;
  const auto* Covered = reinterpret_cast<const Bytef*>(H.data() + kRar5MarkerSize + 4);
  const uint32_t Crc =
      static_cast<uint32_t>(::crc32(0, Covered, static_cast<uInt>(SizeEnd + Size - (kRar5MarkerSize + 4))));
  const uint32_t Stored = ByteAt(H, kRar5MarkerSize) | ByteAt(H, kRar5MarkerSize + 1) << 8 |
                          ByteAt(H, kRar5MarkerSize + 2) << 16 |
                          static_cast<uint32_t>(ByteAt(H, kRar5MarkerSize + 3)) << 24;
  return Crc == Stored;
}

// Whether the archive library's detection finds an archive the kind's decoder reads in the file: for
// an executable any archive inside it, for a ZIP or JAR a ZIP archive anywhere in it.
bool LibraryFindsArchive(const std::string& FileName, TArchiveKind Kind) {
  TRegisterArcLib Detector;
  const int Code = Detector.DetectArchiveType(FileName);
  if (Kind != akExe) return Code == atZip || Code == atZipSfx || Code == atJar;
  if (IsUsableArlType(Code)) return true;
  // The RAR reader finds the archive of a self-extractor further in than the library looks.
  return ReadHead(Utf8ToUtf16(FileName), kRarSfxSearchBytes).find(std::string("Rar!\x1A\x07", 6)) !=
         std::string::npos;
}

bool SignatureMatches(TArchiveKind Kind, const std::string& H) {
  switch (Kind) {
    case akExe:
      return HasTextAt(H, 0, "MZ");
    case akAce:
      return HasTextAt(H, kAceMarkerOffset, "**ACE**");
    case akArc:
      return !H.empty() && ByteAt(H, 0) == 0x1A && !HypHead(H) && !ZooHead(H);
    case akArj:
      return H.size() >= 2 && ByteAt(H, 0) == 0x60 && ByteAt(H, 1) == 0xEA;
    case akCab:
      return HasTextAt(H, 0, "MSCF");
    case akGZip: {
      if (H.size() < 2 || ByteAt(H, 0) != 0x1F) return false;
      uint8_t B = ByteAt(H, 1);
      return B == 0x8B || B == 0x9E || B == 0x9D || B == 0xA0 || B == 0x1E;
    }
    case akJar:
    case akZip:
      return HasBytesAt(H, 0, "PK\x03\x04", 4);
    case akLzh:
      return LhaHead(H);
    case akRar:
      return HasBytesAt(H, 0, "Rar!\x1A\x07\x00", 7) || HasBytesAt(H, 0, "Rar!\x1A\x07\x01\x00", 8);
    case akTar:
      return TarHead(H);
    case akZoo:
      return ZooHead(H);
    case akHa:
      return HasTextAt(H, 0, "HA");
    case akHyp:
      return HypHead(H);
    case akQ:
      return HasTextAt(H, 0, "DS");
    case akNone:
      break;
  }
  return false;
}

}  // namespace

const TStrPtrDic& ArchiveExtKinds() { return Tables().Kinds; }

const std::string& ArchiveExtList() { return Tables().List; }

std::string ArchiveKindExt(TArchiveKind Kind) {
  if (Kind == akExe) return "exe";
  if (Kind < kFirstDecodedKind || Kind > kLastDecodedKind) return "";
  return LowerAscii(ArcInfos[Kind].Name);
}

std::string FirstVolumeName(const std::string& FileName, TArchiveKind Kind) {
  if (Kind != akExe && Kind != akAce && Kind != akArj && Kind != akCab && Kind != akRar) return "";
  size_t Dot = ExtDotPos(FileName);
  return (Dot == std::string::npos ? FileName : FileName.substr(0, Dot)) + "." + ArchiveKindExt(Kind);
}

bool NextVolumeName(std::string& FileName, TArchiveKind Kind) {
  size_t Dot = ExtDotPos(FileName);
  if (Dot == std::string::npos || Dot + 1 == FileName.size()) return false;
  const std::string Ext = FileName.substr(Dot + 1);
  const std::string Lower = LowerAscii(Ext);
  const char First = Ext[0];
  const int N = ParseVolumeNumber(Ext.substr(1));
  std::string Next;
  switch (Kind) {
    case akAce:
      if (Lower[0] == 'c' && N >= 0 && N < 99)
        Next = "c" + Format2(N + 1);
      else if (Lower == "ace")
        Next = "c00";
      break;
    case akArj: {
      int All = ParseVolumeNumber(Ext);
      if (All >= 0 && All <= 998) {
        char Buf[16];
        std::snprintf(Buf, sizeof Buf, "%.3d", All + 1);
        Next = Buf;
      } else if (Lower == "arj") {
        Next = std::string(1, First) + "01";
      } else if (Lower[0] == 'a' && N >= 0 && N <= 98) {
        Next = std::string(1, First) + Format2(N + 1);
      }
      break;
    }
    case akRar:
      if (Lower == "rar") {
        Next = std::string(1, First) + "00";
      } else if (Lower[0] >= 'r' && Lower[0] <= 'z' && N >= 0 && N < 99) {
        Next = std::string(1, First) + Format2(N + 1);
      } else if (Lower[0] >= 'r' && Lower[0] <= 'y' && N == 99) {
        Next = std::string(1, static_cast<char>(First + 1)) + "00";
      }
      break;
    default:
      break;
  }
  if (Next.empty()) return false;
  FileName = FileName.substr(0, Dot + 1) + Next;
  return true;
}

namespace {

// The place of a volume in its set by its lower-case extension: 0 for the first volume (the kind's own
// extension or a self-extractor's "exe"), counting up for the numbered ones; -1 for anything else.
int VolumeOrder(const std::string& Ext, TArchiveKind Kind) {
  if (Ext == "exe" || Ext == ArchiveKindExt(Kind)) return 0;
  if (Ext.size() != 3) return -1;
  const int N = ParseVolumeNumber(Ext.substr(1));
  switch (Kind) {
    case akAce:
      return Ext[0] == 'c' && N >= 0 ? N + 1 : -1;
    case akArj: {
      const int All = ParseVolumeNumber(Ext);
      if (All >= 0) return All;
      return Ext[0] == 'a' && N >= 0 ? N : -1;
    }
    case akRar:
      return Ext[0] >= 'r' && Ext[0] <= 'z' && N >= 0 ? (Ext[0] - 'r') * 100 + N + 1 : -1;
    default:
      return -1;
  }
}

// The stem and number of a RAR 3 and later volume name "<stem>.part<N>.rar" (lower case); false for
// other names.
bool SplitPartName(const std::string& Lower, std::string& Stem, int& Number) {
  static const std::string kTail = ".rar";
  if (Lower.size() <= kTail.size() || Lower.compare(Lower.size() - kTail.size(), kTail.size(), kTail) != 0)
    return false;
  const std::string Rest = Lower.substr(0, Lower.size() - kTail.size());
  size_t Digits = Rest.size();
  while (Digits > 0 && Rest[Digits - 1] >= '0' && Rest[Digits - 1] <= '9') --Digits;
  static const std::string kPart = ".part";
  if (Digits == Rest.size() || Rest.size() - Digits > 4 || Digits < kPart.size() ||
      Rest.compare(Digits - kPart.size(), kPart.size(), kPart) != 0)
    return false;
  Stem = Rest.substr(0, Digits - kPart.size());
  Number = ParseVolumeNumber(Rest.substr(Digits));
  return Number >= 0;
}

}  // namespace

bool EarlierVolumeExists(const std::string& FileName, TArchiveKind Kind, std::string& FirstName) {
  const size_t Slash = FileName.rfind(kItemSeparator);
  const std::string Folder = Slash == std::string::npos ? std::string(".") : FileName.substr(0, Slash + 1);
  const std::string Own = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
  const std::string Lower = LowerAscii(Own);
  const size_t Dot = ExtDotPos(Own);
  if (Dot == std::string::npos) return true;
  const std::string Ext = Own.substr(Dot + 1);
  const bool Upper = Ext != LowerAscii(Ext);
  // A name's place in the set (-1: not of the set) and this volume's place.
  std::function<int(const std::string&)> Place;
  std::string PartStem;
  int PartNumber = 0;
  if (Kind == akRar && SplitPartName(Lower, PartStem, PartNumber)) {
    Place = [PartStem](const std::string& Name) {
      std::string Stem;
      int N = 0;
      return SplitPartName(Name, Stem, N) && Stem == PartStem ? N : -1;
    };
    // The first part is written with as many digits as this one ("part01" beside "part02").
    const size_t Width = Dot - PartStem.size() - 5;
    FirstName = FileName.substr(0, FileName.size() - Own.size()) + Own.substr(0, PartStem.size() + 5) +
                std::string(Width > 1 ? Width - 1 : 0, '0') + "1" + Own.substr(Dot);
  } else {
    const std::string Stem = Lower.substr(0, Dot);
    Place = [Stem, Kind](const std::string& Name) {
      return Name.size() > Stem.size() + 1 && Name.compare(0, Stem.size(), Stem) == 0 &&
                     Name[Stem.size()] == '.'
                 ? VolumeOrder(Name.substr(Stem.size() + 1), Kind)
                 : -1;
    };
    const std::string First = ArchiveKindExt(Kind);
    FirstName = FileName.substr(0, FileName.size() - Ext.size()) + (Upper ? UpperAsciiText(First) : First);
  }
  const int Mine = Place(Lower);
  if (Mine <= 0) return true;
  DIR* Dir = ::opendir(Folder.c_str());
  if (Dir == nullptr) return true;  // the folder cannot be read: nothing is said
  bool Found = false;
  while (!Found) {
    const dirent* Entry = ::readdir(Dir);
    if (Entry == nullptr) break;
    const int P = Place(LowerAscii(std::string(Entry->d_name)));
    Found = P >= 0 && P < Mine;
  }
  ::closedir(Dir);
  return Found;
}

TArchiveKind ArchiveKindByExt(const std::string& FileName, bool& LaterVolume) {
  LaterVolume = false;
  const std::string Ext = LowerFileExt(FileName);
  if (Ext.empty()) return akNone;
  if (ArchiveExtList().find(":" + Ext + ":") != std::string::npos) {
    // The list holds exactly the dictionary's keys, so the lookup finds the extension.
    return static_cast<TArchiveKind>(reinterpret_cast<uintptr_t>(ArchiveExtKinds().Get(Ext)));
  }
  auto IsDigit = [](char C) { return C >= '0' && C <= '9'; };
  if (Ext.size() == 3 && IsDigit(Ext[1]) && IsDigit(Ext[2])) {
    TArchiveKind Kind = akNone;
    if (Ext[0] == 'a')
      Kind = akArj;
    else if (Ext[0] == 'c')
      Kind = akAce;
    else if (Ext[0] >= 'r' && Ext[0] <= 'z')
      Kind = akRar;
    LaterVolume = Kind != akNone;
    return Kind;
  }
  return akNone;
}

TArchiveKind GetArchiveKind(const std::string& FileName) {
  bool LaterVolume;
  return ArchiveKindByExt(FileName, LaterVolume);
}

bool IsEnabledArchiveName(const std::string& FileName) {
  TArchiveKind Kind = GetArchiveKind(FileName);
  return Kind >= kFirstDecodedKind && Kind <= kLastDecodedKind && ArcInfos[Kind].Enabled;
}

TArchiveCheck CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) {
  const std::string Name = Utf16ToUtf8(FileName);
  bool LaterVolume = false;
  Kind = ArchiveKindByExt(Name, LaterVolume);
  // A name of no archive kind is taken for one only as a ".tar." of some compression; any other such file
  // is a plain file whatever its bytes, and is not opened here: the scan opens it once.
  if (Kind == akNone && LowerAscii(BaseName(Name)).find(".tar.") == std::string::npos) return acNone;
  const std::string Head = ReadHead(FileName);
  bool Matched = SignatureMatches(Kind, Head);
  // An executable is an archive only when the archive library finds one inside it; any other program
  // is a plain file. A ZIP may have data in front of its first entry (a self-extractor's stub, padding):
  // the library finds it by its end record.
  if ((Matched && Kind == akExe) || (!Matched && (Kind == akZip || Kind == akJar)))
    Matched = LibraryFindsArchive(Name, Kind);
  if (Matched && (LaterVolume || (Kind == akRar && (LaterNumberedRarVolume(Head) || LaterRar5Volume(Head)))))
    return acLaterVolume;
  if (!Matched && LowerAscii(BaseName(Name)).find(".tar.") != std::string::npos) {
    Kind = akTar;
    Matched = TarHead(Head);
  }
  if (!Matched) return acNone;
  if (Kind >= kFirstDecodedKind && Kind <= kLastDecodedKind)
    return ArcInfos[Kind].Enabled ? acArchive : acDisabled;
  return acNoDecoder;
}

bool IsLhaHeader(const std::u16string& FileName) { return LhaHead(ReadHead(FileName)); }
bool IsTarHeader(const std::u16string& FileName) { return TarHead(ReadHead(FileName)); }
bool IsTarArchiveStart(const uint8_t* Head, size_t Len) {
  if (Head == nullptr || Len > static_cast<size_t>(INT32_MAX)) return false;
  if (!TarHead(std::string(reinterpret_cast<const char*>(Head), std::min(Len, kHeadBytes)))) return false;
  TRegisterArcLib Detector;
  return Detector.DetectsTarAtStart(Head, static_cast<int32_t>(Len));
}
bool IsZooHeader(const std::u16string& FileName) { return ZooHead(ReadHead(FileName)); }
bool IsHypHeader(const std::u16string& FileName) { return HypHead(ReadHead(FileName)); }

int32_t TarHeaderChecksum(const uint8_t* Header) {
  int32_t Sum = SumBytes(Header, static_cast<int32_t>(kTarBlockBytes));
  for (size_t I = kTarChecksumOffset; I < kTarChecksumOffset + kTarChecksumBytes; ++I) Sum += ' ' - Header[I];
  return Sum;
}
