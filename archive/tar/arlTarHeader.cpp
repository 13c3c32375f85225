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

int64_t RoundUpToBlock(int64_t N) { return (N + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize; }

// The bytes of a field up to its first NUL.
std::string FieldText(const uint8_t* Block, int32_t Offset, int32_t Length) {
  const auto* P = reinterpret_cast<const char*>(Block + Offset);
  return std::string(P, std::find(P, P + Length, '\0'));
}

bool AllZero(const uint8_t* Block) {
  return std::all_of(Block, Block + kTarBlockSize, [](uint8_t B) { return !B; });
}

// The "path" value of a POSIX extended header ("<length> <key>=<value>\n" records); "" when absent.
std::string ExtendedPath(const std::string& Data) {
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
    if (Record.rfind("path=", 0) == 0 && !Record.empty() && Record.back() == '\n')
      return Record.substr(5, Record.size() - 6);
    P += Length;
  }
  return std::string();
}

}  // namespace

bool TTarHeader::IsFolder() const {
  return TypeFlag == '5' ||
         ((TypeFlag == '0' || TypeFlag == '\0') && !RawName.empty() && RawName.back() == '/');
}

bool TTarHeader::IsListable() const {
  return TypeFlag == '0' || TypeFlag == '\0' || TypeFlag == '7' || IsFolder();
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
        const std::string Name = Type == 'L' ? Text.substr(0, Text.find('\0')) : ExtendedPath(Text);
        if (!Name.empty()) LongName = Name;
      }
      At += kTarBlockSize + RoundUpToBlock(Size);
      continue;
    }
    H.HeaderPos = At;
    H.TypeFlag = Type;
    H.Size = Size;
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
    H.NextPos = H.DataPos + RoundUpToBlock(H.Size);
    H.Torn = H.DataPos + H.Size > StreamSize;
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
