#include "archive/tar/arlTarHeader.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <vector>

#include "archive/arlBase.h"
#include "archive/arlHeaderCursor.h"

namespace {

// Fields of the header block.
constexpr int32_t kNameField = 0, kNameLength = 100;
constexpr int32_t kSizeField = 124, kNumberLength = 12;
constexpr int32_t kMTimeField = 136;
constexpr int32_t kTypeField = 156;
constexpr int32_t kMagicField = 257;  // "ustar"
constexpr int32_t kPrefixField = 345, kPrefixLength = 155;
constexpr int32_t kGnuRealSizeField = 483;  // old GNU sparse header: the file's full size

int64_t RoundUpToBlock(int64_t N) { return (N + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize; }

// The bytes of a field up to its first NUL.
std::string FieldText(const uint8_t* Block, int32_t Offset, int32_t Length) {
  const auto* P = reinterpret_cast<const char*>(Block + Offset);
  return std::string(P, std::find(P, P + Length, '\0'));
}

bool AllZero(const uint8_t* Block) {
  return std::all_of(Block, Block + kTarBlockSize, [](uint8_t B) { return !B; });
}

// The records of a POSIX extended header ("<length> <key>=<value>\n"), in order; parsing stops at the
// first malformed record.
std::vector<std::pair<std::string, std::string>> ExtendedRecords(const std::string& Data) {
  std::vector<std::pair<std::string, std::string>> Out;
  size_t P = 0;
  while (P < Data.size()) {
    size_t Digits = P;
    size_t Length = 0;
    while (Digits < Data.size() && Data[Digits] >= '0' && Data[Digits] <= '9' && Length <= Data.size())
      Length = Length * 10 + static_cast<size_t>(Data[Digits++] - '0');
    if (Digits == P || Digits >= Data.size() || Data[Digits] != ' ' || Length <= Digits - P + 1 ||
        Length > Data.size() - P)
      break;
    const std::string Record = Data.substr(Digits + 1, Length - (Digits - P) - 1);
    const size_t Equals = Record.find('=');
    if (Equals == std::string::npos || Record.empty() || Record.back() != '\n') break;
    Out.emplace_back(Record.substr(0, Equals), Record.substr(Equals + 1, Record.size() - Equals - 2));
    P += Length;
  }
  return Out;
}

// A decimal number of an extended header; -1 when it is not one or does not fit 62 bits.
int64_t Decimal(const std::string& Text) {
  if (Text.empty() || Text.size() > 18) return -1;
  int64_t V = 0;
  for (char C : Text) {
    if (C < '0' || C > '9') return -1;
    V = V * 10 + (C - '0');
  }
  return V;
}

// What the extended headers in front of an entry say about a sparse file.
struct TPaxSparse {
  std::string Name;       // GNU.sparse.name
  int64_t RealSize = -1;  // GNU.sparse.size or GNU.sparse.realsize
  int64_t Major = -1;
  std::vector<TSparseChunk> Map;
  int64_t PendingOffset = -1;  // format 0.0: an offset waiting for its numbytes
  bool Bad = false;
  void Take(const std::string& Key, const std::string& Value) {
    if (Key == "GNU.sparse.name") {
      Name = Value;
    } else if (Key == "GNU.sparse.size" || Key == "GNU.sparse.realsize") {
      RealSize = Decimal(Value);
      Bad |= RealSize < 0;
    } else if (Key == "GNU.sparse.major") {
      Major = Decimal(Value);
    } else if (Key == "GNU.sparse.offset") {
      PendingOffset = Decimal(Value);
      Bad |= PendingOffset < 0;
    } else if (Key == "GNU.sparse.numbytes") {
      const int64_t N = Decimal(Value);
      Bad |= N < 0 || PendingOffset < 0 || Map.size() >= kMaxSparseChunks;
      if (!Bad) Map.push_back({PendingOffset, N});
      PendingOffset = -1;
    } else if (Key == "GNU.sparse.map") {
      Map.clear();
      std::vector<int64_t> Numbers;
      size_t P = 0;
      while (P <= Value.size() && !Value.empty() && Numbers.size() <= 2 * kMaxSparseChunks) {
        const size_t Comma = std::min(Value.find(',', P), Value.size());
        Numbers.push_back(Decimal(Value.substr(P, Comma - P)));
        Bad |= Numbers.back() < 0;
        P = Comma + 1;
      }
      Bad |= Numbers.size() % 2 != 0 || Numbers.size() > 2 * kMaxSparseChunks;
      for (size_t I = 0; !Bad && I + 1 < Numbers.size(); I += 2) Map.push_back({Numbers[I], Numbers[I + 1]});
    }
  }
};

// The sparse map of an old GNU header ('S'): the four chunks in the header, then 21 more in each
// extension block while the "is extended" flag is set. Answers where the data starts; -1 when the
// extension blocks run past the file or the map holds a bad number.
int64_t ReadGnuSparseMap(TStream32& Stream, const uint8_t* Header, int64_t At, int64_t StreamSize,
                         std::vector<TSparseChunk>& Map) {
  constexpr int32_t kHeaderMap = 386, kHeaderEntries = 4, kHeaderExtended = 482;
  constexpr int32_t kBlockEntries = 21, kBlockExtended = 504, kEntrySize = 24;
  auto TakeEntries = [&Map](const uint8_t* P, int32_t Count) {
    for (int32_t I = 0; I < Count; ++I, P += kEntrySize) {
      const int64_t Offset = TarNumber(P, kNumberLength), Bytes = TarNumber(P + kNumberLength, kNumberLength);
      if (Offset < 0 || Bytes < 0) return false;
      if (Offset == 0 && Bytes == 0 && P[0] == 0) break;  // an unused entry
      if (Map.size() >= kMaxSparseChunks) return false;
      Map.push_back({Offset, Bytes});
    }
    return true;
  };
  if (!TakeEntries(Header + kHeaderMap, kHeaderEntries)) return -1;
  int64_t Next = At + kTarBlockSize;
  bool Extended = Header[kHeaderExtended] != 0;
  while (Extended) {
    if (Next + kTarBlockSize > StreamSize) return -1;
    const std::vector<uint8_t> Block = ReadAt(Stream, Next, kTarBlockSize);
    if (Block.size() < static_cast<size_t>(kTarBlockSize) || !TakeEntries(Block.data(), kBlockEntries))
      return -1;
    Extended = Block[kBlockExtended] != 0;
    Next += kTarBlockSize;
  }
  return Next;
}

}  // namespace

bool TTarHeader::IsFolder() const {
  return TypeFlag == '5' ||
         ((TypeFlag == '0' || TypeFlag == '\0') && !RawName.empty() && RawName.back() == '/');
}

bool TTarHeader::IsListable() const {
  return TypeFlag == '0' || TypeFlag == '\0' || TypeFlag == '7' || TypeFlag == 'S' || IsFolder();
}

int64_t TarNumber(const uint8_t* Field, int32_t Length) {
  if (Length <= 0) return 0;
  if (Field[0] & 0x80) {             // base-256, big endian, the first byte's top bit the marker
    if (Field[0] & 0x40) return -1;  // negative
    uint64_t V = Field[0] & 0x3F;
    for (int32_t I = 1; I < Length; ++I) {
      if (V > (std::numeric_limits<uint64_t>::max() >> 9)) return -1;
      V = (V << 8) | Field[I];
    }
    return V > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? -1 : static_cast<int64_t>(V);
  }
  const int64_t V =
      OctalToInt(std::string(reinterpret_cast<const char*>(Field), static_cast<size_t>(Length)));
  return V == std::numeric_limits<int64_t>::max() ? -1 : V;
}

TTarReadResult ReadTarHeader(TStream32& Stream, int64_t Pos, int64_t StreamSize, TTarHeader& H) {
  H = TTarHeader();
  H.Pos = Pos;
  std::string LongName;
  TPaxSparse Sparse;
  int64_t PaxSize = -1;  // the data's size from an extended header's "size" record, which overrides the field
  int64_t At = Pos;
  for (int32_t Records = 0;; ++Records) {
    const std::vector<uint8_t> Block = ReadAt(Stream, At, kTarBlockSize);
    if (Block.size() < static_cast<size_t>(kTarBlockSize)) return Records == 0 ? trEnd : trBad;
    if (!TZipCommon::TarChecksumOk(Block.data()))
      return Records == 0 && AllZero(Block.data()) ? trEnd : trBad;
    const int64_t Size = TarNumber(&Block[kSizeField], kNumberLength);
    if (Size < 0 || Size > kMaxTarSize) return trBad;
    const char Type = static_cast<char>(Block[kTypeField]);
    const bool NameRecord = Type == 'L' || Type == 'x';
    if (NameRecord || Type == 'g' || Type == 'K') {
      // A record for the header that follows: its data must lie inside the file.
      if (Records + 1 >= kMaxMetaRecords || At + kTarBlockSize + Size > StreamSize) return trBad;
      if (NameRecord) {
        if (Size > kMaxNameRecord) return trBad;
        const std::vector<uint8_t> Data = ReadAt(Stream, At + kTarBlockSize, static_cast<int32_t>(Size));
        if (Data.size() < static_cast<size_t>(Size)) return trBad;
        const std::string Text(Data.begin(), Data.end());
        if (Type == 'L') {
          const std::string Name = Text.substr(0, Text.find('\0'));
          if (!Name.empty()) LongName = Name;
        } else {
          for (const auto& [Key, Value] : ExtendedRecords(Text)) {
            if (Key == "path" && !Value.empty()) LongName = Value;
            if (Key == "size") {
              PaxSize = Decimal(Value);
              if (PaxSize < 0 || PaxSize > kMaxTarSize) return trBad;
            }
            Sparse.Take(Key, Value);
          }
        }
      }
      At += kTarBlockSize + RoundUpToBlock(Size);
      continue;
    }
    H.HeaderPos = At;
    H.TypeFlag = Type;
    H.Size = PaxSize >= 0 ? PaxSize : Size;
    H.MTime = std::max<int64_t>(TarNumber(&Block[kMTimeField], kNumberLength), 0);
    if (!LongName.empty()) {
      H.RawName = LongName;
    } else {
      H.RawName = FieldText(Block.data(), kNameField, kNameLength);
      const std::string Prefix = FieldText(Block.data(), kPrefixField, kPrefixLength);
      if (FieldText(Block.data(), kMagicField, 5) == "ustar" && !Prefix.empty())
        H.RawName = Prefix + "/" + H.RawName;
    }
    // Links, devices and FIFOs carry no data whatever their size field says.
    if (Type >= '1' && Type <= '6' && Type != '5') H.Size = 0;
    if (H.IsFolder()) H.Size = std::min<int64_t>(H.Size, 0);
    H.DataPos = At + kTarBlockSize;
    H.RealSize = H.Size;
    if (Type == 'S') {  // old GNU sparse file: the map in the header and its extension blocks
      H.Sparse = true;
      H.DataPos = ReadGnuSparseMap(Stream, Block.data(), At, StreamSize, H.Map);
      H.RealSize = TarNumber(&Block[kGnuRealSizeField], kNumberLength);
      if (H.DataPos < 0 || H.RealSize < 0 || H.RealSize > kMaxTarSize) return trBad;
    } else if (Sparse.Bad) {
      return trBad;
    } else if (Sparse.RealSize >= 0 || Sparse.Major >= 0) {  // POSIX sparse file, formats 0.0, 0.1, 1.0
      if (Sparse.RealSize < 0 || Sparse.RealSize > kMaxTarSize || Sparse.Major > 1) return trBad;
      H.Sparse = true;
      H.MapInData = Sparse.Major == 1;
      H.Map = std::move(Sparse.Map);
      H.RealSize = Sparse.RealSize;
      if (!Sparse.Name.empty()) H.RawName = Sparse.Name;
    }
    H.NextPos = H.DataPos + RoundUpToBlock(H.Size);
    H.Torn = H.DataPos + H.Size > StreamSize;
    if (H.Torn) H.Held = std::max<int64_t>(StreamSize - H.DataPos, 0);
    return trOk;
  }
}

uint32_t UnixTimeToDos(int64_t Seconds) {
  const auto T = static_cast<std::time_t>(Seconds);
  std::tm L{};
  if (!localtime_r(&T, &L) || L.tm_year < 80 || L.tm_year > 207) return 0;
  return (static_cast<uint32_t>(L.tm_year - 80) << 25) | (static_cast<uint32_t>(L.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(L.tm_mday) << 16) | (static_cast<uint32_t>(L.tm_hour) << 11) |
         (static_cast<uint32_t>(L.tm_min) << 5) | static_cast<uint32_t>(L.tm_sec / 2);
}

bool ReadSparseDataMap(TStream32& Stream, const TTarHeader& H, std::vector<TSparseChunk>& Map,
                       int64_t& DataPos) {
  Map.clear();
  // Decimal numbers, one a line: the count of chunks, then each chunk's offset and size; the data
  // follows at the next block boundary.
  const int64_t Limit = std::min<int64_t>(H.Size, kMaxSparseMapBytes);
  const std::vector<uint8_t> Raw = ReadAt(Stream, H.DataPos, static_cast<int32_t>(Limit));
  size_t P = 0;
  auto Number = [&Raw, &P](int64_t& V) {
    const size_t Start = P;
    while (P < Raw.size() && Raw[P] != '\n') ++P;
    if (P >= Raw.size()) return false;
    V = Decimal(
        std::string(Raw.begin() + static_cast<ptrdiff_t>(Start), Raw.begin() + static_cast<ptrdiff_t>(P)));
    ++P;
    return V >= 0;
  };
  int64_t Count = 0;
  if (!Number(Count) || Count > static_cast<int64_t>(kMaxSparseChunks)) return false;
  for (int64_t I = 0; I < Count; ++I) {
    TSparseChunk C;
    if (!Number(C.Offset) || !Number(C.Bytes)) return false;
    Map.push_back(C);
  }
  const int64_t MapBytes = RoundUpToBlock(static_cast<int64_t>(P));
  if (MapBytes > H.Size) return false;
  DataPos = H.DataPos + MapBytes;
  return true;
}

bool SparseMapFits(const std::vector<TSparseChunk>& Map, int64_t RealSize, int64_t StoredBytes) {
  int64_t End = 0, Stored = 0;
  for (const TSparseChunk& C : Map) {
    if (C.Offset < End || C.Bytes > RealSize || C.Offset > RealSize - C.Bytes) return false;
    End = C.Offset + C.Bytes;
    Stored += C.Bytes;
  }
  return Stored <= StoredBytes;
}
