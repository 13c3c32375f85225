#include "platform/unrar/RarBlocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace unrar {

namespace {

const uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t kMarker5[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};

uint16_t Le16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t Le32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

void AppendUtf8(std::string& Out, uint32_t C) {
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

std::string Utf16ToUtf8(const std::vector<uint16_t>& W) {
  std::string Out;
  for (size_t I = 0; I < W.size(); ++I) {
    uint32_t C = W[I];
    if (C >= 0xD800 && C < 0xDC00 && I + 1 < W.size() && W[I + 1] >= 0xDC00 && W[I + 1] < 0xE000) {
      C = 0x10000 + ((C - 0xD800) << 10) + (W[I + 1] - 0xDC00);
      ++I;
    } else if (C >= 0xD800 && C < 0xE000) {
      C = 0xFFFD;  // a lone surrogate
    }
    AppendUtf8(Out, C);
  }
  return Out;
}

// The Unicode form of a name stored after its 8-bit form and a NUL: a high byte, then groups of four
// two-bit codes (0: a byte with high byte 0, 1: a byte with the stored high byte, 2: a 16-bit unit,
// 3: a run copied from the 8-bit form, optionally with a correction added to each byte).
std::vector<uint16_t> DecodeUnicodeName(const uint8_t* Ansi, size_t AnsiLen, const uint8_t* Enc,
                                        size_t EncLen) {
  std::vector<uint16_t> W;
  if (EncLen == 0) return W;
  const size_t MaxLen = 0x10000;  // a name field is 16 bits long: its Unicode form cannot be longer
  size_t Pos = 0;
  const uint8_t High = Enc[Pos++];
  unsigned Flags = 0, FlagBits = 0;
  while (Pos < EncLen && W.size() < MaxLen) {
    if (FlagBits == 0) {
      Flags = Enc[Pos++];
      FlagBits = 8;
      if (Pos > EncLen) break;
    }
    FlagBits -= 2;
    switch ((Flags >> FlagBits) & 3) {
      case 0:
        if (Pos >= EncLen) return W;
        W.push_back(Enc[Pos++]);
        break;
      case 1:
        if (Pos >= EncLen) return W;
        W.push_back(static_cast<uint16_t>(Enc[Pos++] | (High << 8)));
        break;
      case 2:
        if (Pos + 1 >= EncLen) return W;
        W.push_back(static_cast<uint16_t>(Enc[Pos] | (Enc[Pos + 1] << 8)));
        Pos += 2;
        break;
      default: {
        if (Pos >= EncLen) return W;
        unsigned Length = Enc[Pos++];
        if (Length & 0x80) {
          if (Pos >= EncLen) return W;
          const uint8_t Correction = Enc[Pos++];
          for (Length = (Length & 0x7F) + 2; Length > 0 && W.size() < AnsiLen; --Length)
            W.push_back(static_cast<uint16_t>(((Ansi[W.size()] + Correction) & 0xFF) | (High << 8)));
        } else {
          for (Length += 2; Length > 0 && W.size() < AnsiLen; --Length) W.push_back(Ansi[W.size()]);
        }
        break;
      }
    }
  }
  return W;
}

}  // namespace

TVolume::~TVolume() { Close(); }

bool TVolume::Open(const std::string& FileName) {
  Close();
  Fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd_ < 0) return false;
  struct stat St {};
  if (::fstat(Fd_, &St) != 0 || !S_ISREG(St.st_mode)) {
    Close();
    return false;
  }
  Size = St.st_size;
  Name = FileName;
  Device = static_cast<uint64_t>(St.st_dev);
  Inode = static_cast<uint64_t>(St.st_ino);
  return true;
}

void TVolume::Close() {
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = -1;
  Size = 0;
}

int64_t TVolume::ReadSome(int64_t Pos, void* Buffer, int64_t Count) const {
  if (Fd_ < 0 || Pos < 0 || Count <= 0) return 0;
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N =
        ::pread(Fd_, static_cast<char*>(Buffer) + Done, static_cast<size_t>(Count - Done), Pos + Done);
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

bool TVolume::ReadAt(int64_t Pos, void* Buffer, int64_t Count) const {
  return ReadSome(Pos, Buffer, Count) == Count;
}

uint16_t HeaderCrc(const uint8_t* Header, size_t Size) {
  if (Size < 2) return 0;
  return static_cast<uint16_t>(::crc32(0, Header + 2, static_cast<uInt>(Size - 2)) & 0xFFFF);
}

void SetHeaderCrc(std::vector<uint8_t>& Header) {
  const uint16_t C = HeaderCrc(Header.data(), Header.size());
  Header[0] = static_cast<uint8_t>(C);
  Header[1] = static_cast<uint8_t>(C >> 8);
}

TOpenResult ReadArchiveStart(const TVolume& V, uint16_t& MainFlags, int64_t& Pos, int64_t* MarkerPos) {
  uint8_t Head[8] = {};
  int64_t Marker = -1;
  if (V.ReadAt(0, Head, 8) && std::memcmp(Head, kMarker5, 8) == 0) {
    Pos = 0;
    return orRar5;
  }
  if (V.ReadAt(0, Head, 7) && std::memcmp(Head, kMarker, 7) == 0) {
    Marker = 0;
  } else {
    // A self-extractor: the marker after the program, within the first kMarkerSearchLimit bytes.
    std::vector<uint8_t> Buf(static_cast<size_t>(std::min<int64_t>(V.Size, kMarkerSearchLimit)));
    const int64_t N = V.ReadSome(0, Buf.data(), static_cast<int64_t>(Buf.size()));
    if (N < 2 || Buf[0] != 'M' || Buf[1] != 'Z') return orNotRar;
    for (int64_t I = 1; I + 7 <= N; ++I) {
      if (Buf[I] == 0x52 && std::memcmp(&Buf[I], kMarker, 7) == 0) {
        if (I + 8 <= N && Buf[I + 6] == 0x01) continue;
        Marker = I;
        break;
      }
      if (Buf[I] == 0x52 && I + 8 <= N && std::memcmp(&Buf[I], kMarker5, 8) == 0) {
        Pos = I;
        return orRar5;
      }
    }
    if (Marker < 0) return orNotRar;
  }
  if (MarkerPos) *MarkerPos = Marker;
  uint8_t Main[13];
  Pos = Marker + 7;
  if (!V.ReadAt(Pos, Main, 7) || Main[2] != btMain) return orBroken;
  const uint16_t Size = Le16(Main + 5);
  if (Size < 7 || Pos + Size > V.Size) return orBroken;
  std::vector<uint8_t> Raw(Size);
  if (!V.ReadAt(Pos, Raw.data(), Size) || HeaderCrc(Raw.data(), Size) != Le16(Raw.data())) return orBroken;
  MainFlags = Le16(Raw.data() + 3);
  if (MainFlags & mfEncryptedHeaders) return orEncryptedHeaders;
  Pos += Size;
  return orOk;
}

namespace {

// A RAR 5 variable-length number: 7 bits a byte, low bits first, the high bit set on all bytes but the
// last; false when it runs past End or over 64 bits.
bool ReadVint(const uint8_t*& P, const uint8_t* End, uint64_t& Value) {
  Value = 0;
  for (int Shift = 0; Shift < 64; Shift += 7) {
    if (P >= End) return false;
    const uint8_t B = *P++;
    Value |= static_cast<uint64_t>(B & 0x7F) << Shift;
    if (!(B & 0x80)) return true;
  }
  return false;
}

constexpr int64_t kRar5MarkerSize = 8;
constexpr uint64_t kRar5MaxHeader = 2 * 1024 * 1024;  // the format's own limit of a header's size
enum : uint64_t { h5Main = 1, h5File = 2, h5Encryption = 4, h5End = 5 };
enum : uint64_t { h5Extra = 0x0001, h5Data = 0x0002, h5SplitBefore = 0x0008, h5SplitAfter = 0x0010 };
enum : uint64_t { f5Folder = 0x0001, f5Time = 0x0002, f5Crc = 0x0004 };
constexpr uint64_t kRar5CryptRecord = 0x01;

// The name of a file header whose fields start at P, when its extra area (the last Extra bytes before End)
// holds an encryption record; "" otherwise.
std::string EncryptedName(const uint8_t* P, const uint8_t* End, uint64_t Extra) {
  uint64_t Flags = 0, Value = 0, NameSize = 0;
  if (!ReadVint(P, End, Flags) || !ReadVint(P, End, Value) || !ReadVint(P, End, Value)) return "";
  P += ((Flags & f5Time) ? 4 : 0) + ((Flags & f5Crc) ? 4 : 0);
  if (P > End || !ReadVint(P, End, Value) || !ReadVint(P, End, Value) || !ReadVint(P, End, NameSize))
    return "";
  if (NameSize > static_cast<uint64_t>(End - P) || Extra > static_cast<uint64_t>(End - P)) return "";
  const std::string Name(reinterpret_cast<const char*>(P), static_cast<size_t>(NameSize));
  const uint8_t* Record = End - Extra;
  while (Record < End) {
    uint64_t Size = 0, Type = 0;
    if (!ReadVint(Record, End, Size) || Size > static_cast<uint64_t>(End - Record)) return "";
    const uint8_t* Next = Record + Size;
    if (!ReadVint(Record, Next, Type)) return "";
    if (Type == kRar5CryptRecord) return Name.empty() ? std::string(1, '\0') : Name;
    Record = Next;
  }
  return "";
}

// The name, kind, declared size and recorded CRC-32 of a file header whose fields start at P; false when
// they do not fit.
bool ReadRar5File(const uint8_t* P, const uint8_t* End, TRar5File& File) {
  uint64_t Flags = 0, Value = 0, NameSize = 0;
  if (!ReadVint(P, End, Flags) || !ReadVint(P, End, File.Size) || !ReadVint(P, End, Value)) return false;
  File.Folder = (Flags & f5Folder) != 0;
  if ((Flags & f5Time) && End - P < 4) return false;
  P += (Flags & f5Time) ? 4 : 0;
  if (Flags & f5Crc) {
    if (End - P < 4) return false;
    File.HasCrc = true;
    File.Crc = Le32(P);
    P += 4;
  }
  if (!ReadVint(P, End, Value) || !ReadVint(P, End, Value) || !ReadVint(P, End, NameSize) ||
      NameSize > static_cast<uint64_t>(End - P))
    return false;
  File.Name.assign(reinterpret_cast<const char*>(P), static_cast<size_t>(NameSize));
  return true;
}

}  // namespace

bool ReadRar5Start(const TVolume& V, int64_t Marker, TRar5Start& Start) {
  Start = TRar5Start();
  int64_t Pos = Marker + kRar5MarkerSize;
  bool SeenMain = false;
  std::vector<uint8_t> Header;
  while (Pos < V.Size) {
    // CRC-32 (4 bytes), then the header's size as a number of at most 3 bytes, then that many bytes.
    uint8_t Fixed[7] = {};
    const int64_t Got = V.ReadSome(Pos, Fixed, sizeof Fixed);
    // The size: a variable-length number (7 bits a byte, the high bit set on all bytes but the last) in
    // the bytes after the CRC; the fixed part holds at most 3 of them, enough for any size allowed.
    uint64_t Size = 0;
    int64_t SizeBytes = 0;
    bool SizeEnded = false;
    for (int64_t I = 4; I < std::min<int64_t>(Got, sizeof Fixed) && !SizeEnded; ++I, ++SizeBytes) {
      Size |= static_cast<uint64_t>(Fixed[I] & 0x7F) << (7 * SizeBytes);
      SizeEnded = !(Fixed[I] & 0x80);
    }
    if (!SizeEnded || Size == 0 || Size > kRar5MaxHeader) break;
    Header.resize(static_cast<size_t>(Size));
    if (!V.ReadAt(Pos + 4 + SizeBytes, Header.data(), static_cast<int64_t>(Size))) break;
    uint32_t Crc = static_cast<uint32_t>(::crc32(0, Fixed + 4, static_cast<uInt>(SizeBytes)));
    Crc = static_cast<uint32_t>(::crc32(Crc, Header.data(), static_cast<uInt>(Size)));
    if (Crc != Le32(Fixed)) break;
    const uint8_t* P = Header.data();
    const uint8_t* End = P + Size;
    uint64_t Type = 0, Flags = 0, Extra = 0, Data = 0;
    if (!ReadVint(P, End, Type) || !ReadVint(P, End, Flags)) break;
    if ((Flags & h5Extra) && !ReadVint(P, End, Extra)) break;
    if ((Flags & h5Data) && !ReadVint(P, End, Data)) break;
    if (Type == h5Encryption && !SeenMain) {
      Start.EncryptedHeaders = true;
      return true;
    }
    if (Type == h5Main) {
      if (!ReadVint(P, End, Start.ArchiveFlags)) return false;
      SeenMain = true;
    } else if (!SeenMain) {
      return false;
    } else if (Type == h5File) {
      const std::string Name = EncryptedName(P, End, Extra);
      if (!Name.empty()) Start.EncryptedNames.insert(Name);
      TRar5File File;
      if (ReadRar5File(P, End, File)) {
        File.SplitBefore = (Flags & h5SplitBefore) != 0;
        File.SplitAfter = (Flags & h5SplitAfter) != 0;
        Start.Files.push_back(std::move(File));
      }
    } else if (Type == h5End) {
      uint64_t EndFlags = 0;
      Start.MoreVolumes = ReadVint(P, End, EndFlags) && (EndFlags & 0x0001);
      Start.EndSeen = true;
      return true;
    }
    if (Data > static_cast<uint64_t>(V.Size)) break;
    Pos += 4 + SizeBytes + static_cast<int64_t>(Size) + static_cast<int64_t>(Data);
  }
  return SeenMain;
}

namespace {

bool ParseFileHeader(std::vector<uint8_t> Raw, int64_t Pos, TFileHeader& H) {
  const uint8_t* B = Raw.data();
  const size_t Size = Raw.size();
  if (Size < static_cast<size_t>(kFileHeaderFixed)) return false;
  H = TFileHeader();
  H.HeaderPos = Pos;
  H.Flags = Le16(B + 3);
  H.PackSize = Le32(B + 7);
  H.UnpSize = Le32(B + 11);
  H.HostOs = B[15];
  H.FileCrc = Le32(B + 16);
  H.FileTime = Le32(B + 20);
  H.UnpVer = B[24];
  H.Method = B[25];
  const uint16_t NameSize = Le16(B + 26);
  H.Attr = Le32(B + 28);
  size_t At = kFileHeaderFixed;
  if (H.Flags & ffLarge) {
    if (At + 8 > Size) return false;
    H.PackSize |= static_cast<uint64_t>(Le32(B + At)) << 32;
    H.UnpSize |= static_cast<uint64_t>(Le32(B + At + 4)) << 32;
    At += 8;
  }
  if (At + NameSize > Size) return false;
  const uint8_t* Name = B + At;
  if (H.Flags & ffUnicode) {
    const size_t AnsiLen = std::find(Name, Name + NameSize, 0) - Name;
    if (AnsiLen == NameSize) {
      H.Name.assign(reinterpret_cast<const char*>(Name), NameSize);  // UTF-8 stored as is
    } else {
      H.Name = Utf16ToUtf8(DecodeUnicodeName(Name, AnsiLen, Name + AnsiLen + 1, NameSize - AnsiLen - 1));
    }
  } else {
    H.Name.assign(reinterpret_cast<const char*>(Name), std::find(Name, Name + NameSize, 0) - Name);
    H.OemName = H.HostOs != kHostUnix;
  }
  H.Raw = std::move(Raw);
  H.DataPos = Pos + static_cast<int64_t>(Size);
  return true;
}

// The names service headers are written with: a comment, a recovery record, an authenticity record,
// file system data (streams, access lists, extended attributes, owners).
bool IsServiceName(const std::string& Name) {
  for (const char* Known : {"CMT", "RR", "AV", "STM", "ACL", "EA2", "UOW", "QO"})
    if (Name == Known) return true;
  return false;
}

}  // namespace

TBlockResult NextFileHeader(const TVolume& V, int64_t& Pos, TFileHeader& H, bool& NextVolume,
                            bool& EndBlockSeen) {
  NextVolume = false;
  EndBlockSeen = false;
  for (;;) {
    uint8_t B[kBlockHeaderSize];
    if (Pos + kBlockHeaderSize > V.Size) return brEndOfVolume;
    if (!V.ReadAt(Pos, B, kBlockHeaderSize)) return brEndOfVolume;
    const uint8_t Type = B[2];
    const uint16_t Flags = Le16(B + 3);
    const uint16_t Size = Le16(B + 5);
    if (Size < kBlockHeaderSize || Pos + Size > V.Size) return brBroken;
    std::vector<uint8_t> Raw(Size);
    if (!V.ReadAt(Pos, Raw.data(), Size)) return brBroken;
    // Every header carries the CRC of its bytes, apart from the two old kinds written without one and
    // the end block of a volume rebuilt from recovery volumes (whose last bytes are overwritten).
    const bool CrcChecked =
        Type != btOldAuthenticity && Type != btOldSignature && !(Type == btEnd && (Flags & efRecoverySpace));
    if (CrcChecked && HeaderCrc(Raw.data(), Size) != Le16(Raw.data())) {
      // A damaged header that still reads as a file header (a damaged type byte, say) is an item that
      // cannot be read: it is handed on by its name, marked, and the walk goes on after its data.
      TFileHeader Damaged;
      if (!(Flags & ffLongBlock) || !ParseFileHeader(std::move(Raw), Pos, Damaged) || Damaged.Name.empty() ||
          Damaged.PackSize > static_cast<uint64_t>(V.Size - Damaged.DataPos))
        return brBroken;
      if (Type == btService && IsServiceName(Damaged.Name)) {
        // A damaged comment, recovery record or the like holds no item: it is passed over.
        Pos = Damaged.DataPos + static_cast<int64_t>(Damaged.PackSize);
        continue;
      }
      H = std::move(Damaged);
      H.HeaderBroken = true;
      Pos = H.DataPos + static_cast<int64_t>(H.PackSize);
      return brFile;
    }
    if (Type == btEnd) {
      EndBlockSeen = true;
      NextVolume = (Flags & efNextVolume) != 0;
      return brEndOfVolume;
    }
    uint64_t Add = 0;
    if ((Flags & ffLongBlock) && Size >= kBlockHeaderSize + 4) Add = Le32(Raw.data() + kBlockHeaderSize);
    if (Type == btFile) {
      if (!ParseFileHeader(std::move(Raw), Pos, H)) return brBroken;
      Pos = H.DataPos + static_cast<int64_t>(std::min<uint64_t>(H.PackSize, INT64_MAX / 2));
      return brFile;
    }
    // Any other block (comment, recovery record, service header, ...) is passed over.
    Pos += Size + static_cast<int64_t>(Add);
  }
}

std::string NextVolumeFileName(const std::string& Name, bool NewNumbering) {
  const size_t Slash = Name.rfind('/');
  const size_t Dot = Name.rfind('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  std::string Base = Name.substr(0, Dot);
  std::string Ext = Name.substr(Dot + 1);
  if (NewNumbering) {
    // The last run of digits before the extension is the volume number.
    size_t End = Base.size();
    while (End > 0 && !(Base[End - 1] >= '0' && Base[End - 1] <= '9')) --End;
    if (End == 0 || (Slash != std::string::npos && End <= Slash + 1)) return "";
    size_t Begin = End;
    while (Begin > 0 && Base[Begin - 1] >= '0' && Base[Begin - 1] <= '9') --Begin;
    std::string Digits = Base.substr(Begin, End - Begin);
    int I = static_cast<int>(Digits.size()) - 1;
    for (; I >= 0; --I) {
      if (Digits[I] != '9') {
        ++Digits[I];
        break;
      }
      Digits[I] = '0';
    }
    if (I < 0) Digits.insert(Digits.begin(), '1');
    const bool Upper = !Ext.empty() && Ext[0] >= 'A' && Ext[0] <= 'Z';
    return Base.substr(0, Begin) + Digits + Base.substr(End) + (Upper ? ".RAR" : ".rar");
  }
  if (Ext.size() == 3 && (Ext[1] >= '0' && Ext[1] <= '9') && (Ext[2] >= '0' && Ext[2] <= '9')) {
    int N = (Ext[1] - '0') * 10 + (Ext[2] - '0');
    char Letter = Ext[0];
    if (N < 99) {
      ++N;
    } else {
      if (Letter == 'z' || Letter == 'Z') return "";
      ++Letter;
      N = 0;
    }
    return Base + "." + Letter + static_cast<char>('0' + N / 10) + static_cast<char>('0' + N % 10);
  }
  const bool Upper = !Ext.empty() && Ext[0] >= 'A' && Ext[0] <= 'Z';
  return Base + (Upper ? ".R00" : ".r00");
}

}  // namespace unrar
