#include "platform/qvnls/CharsetTable.h"

#include <strings.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/qvnls/Qvnls.h"

namespace qvnls::detail {
namespace {

// The charset table. Code, ICU converter, name, code page, Windows charset of the script, bytes per
// UTF-16 unit at most.
constexpr CharsetInfo kCharsets[] = {
    {1, "ISO-8859-1", "ISO-8859-1", 28591, 18, 1},
    {2, "ISO-8859-2", "ISO-8859-2", 28592, 16, 1},
    {3, "ISO-8859-3", "ISO-8859-3", 28593, 18, 1},
    {4, "ISO-8859-4", "ISO-8859-4", 28594, 23, 1},
    {5, "ISO-8859-5", "ISO-8859-5", 28595, 17, 1},
    {6, "ISO-8859-6", "ISO-8859-6", 28596, 22, 1},
    {7, "ISO-8859-7", "ISO-8859-7", 28597, 19, 1},
    {8, "ISO-8859-8", "ISO-8859-8", 28598, 21, 1},
    {9, "ISO-8859-9", "ISO-8859-9", 28599, 20, 1},
    {10, "ISO-8859-10", "ISO-8859-10", 28600, 18, 1},
    {11, "ISO-8859-11", "ISO-8859-11", 28601, 25, 1},
    {13, "ISO-8859-13", "ISO-8859-13", 28603, 23, 1},
    {14, "KOI8-R", "KOI8-R", 20866, 17, 1},
    {15, "KOI8-U", "KOI8-U", 21866, 17, 1},
    {16, "windows-1250", "windows-1250", 1250, 16, 1},
    {17, "windows-1251", "windows-1251", 1251, 17, 1},
    {18, "windows-1252", "windows-1252", 1252, 18, 1},
    {19, "windows-1253", "windows-1253", 1253, 19, 1},
    {20, "windows-1254", "windows-1254", 1254, 20, 1},
    {21, "windows-1255", "windows-1255", 1255, 21, 1},
    {22, "windows-1256", "windows-1256", 1256, 22, 1},
    {23, "windows-1257", "windows-1257", 1257, 23, 1},
    {24, "windows-1258", "windows-1258", 1258, 24, 1},
    {25, "windows-874", "windows-874", 874, 25, 1},
    {26, "ISO-8859-15", "ISO-8859-15", 28605, 18, 1},
    {30, "ibm-437", "IBM437", 437, 18, 1},
    {31, "ibm-850", "IBM850", 850, 18, 1},
    {32, "ibm-852", "IBM852", 852, 16, 1},
    {33, "ibm-737", "IBM737", 737, 19, 1},
    {34, "ibm-857", "IBM857", 857, 20, 1},
    {35, "ibm-775", "IBM775", 775, 23, 1},
    {36, "ibm-866", "IBM866", 866, 17, 1},
    {37, "ibm-862", "IBM862", 862, 21, 1},
    {38, "ibm-720", "IBM720", 720, 22, 1},
    {42, "UTF-8", "UTF-8", 65001, 42, 3},
    {43, "UTF-16LE", "UTF-16LE", 1200, 43, 2},
    {44, "UTF-7", "UTF-7", 65000, 44, 5},
    {45, "windows-31j", "Shift_JIS", 932, 45, 2},
    {46, "windows-936", "GBK", 936, 46, 2},
    {47, "windows-949", "EUC-KR", 949, 47, 2},
    {48, "windows-950", "Big5", 950, 48, 2},
};

// Names that ICU files under a converter of its own but that web pages mean as one of ours (the
// superset that browsers decode them with), and the UTF-16 names without a byte order.
struct Alias {
  const char* Name;
  uint8_t Code;
};
constexpr Alias kAliases[] = {
    {"us-ascii", 18}, {"ascii", 18},   {"gb2312", 46},      {"euc-kr", 47},  {"utf-16", 43},
    {"ucs-2", 43},    {"unicode", 43}, {"iso-8859-8-i", 8}, {"tis-620", 11}, {"iso-8859-6-i", 6},
};

// The canonical ICU converter name of a name or alias, or null.
const char* CanonicalName(const char* Name) {
  UErrorCode Error = U_ZERO_ERROR;
  const char* Canonical = ucnv_getAlias(Name, 0, &Error);
  return U_SUCCESS(Error) ? Canonical : nullptr;
}

struct CanonicalNames {
  std::array<const char*, std::size(kCharsets)> Names{};
  CanonicalNames() {
    for (size_t I = 0; I < std::size(kCharsets); ++I) Names[I] = CanonicalName(kCharsets[I].IcuName);
  }
};

const CanonicalNames& TableCanonicalNames() {
  static const CanonicalNames Names;
  return Names;
}

// Builds the maps of one single-byte charset from its ICU converter.
std::unique_ptr<SingleByteMaps> BuildSingleByteMaps(const CharsetInfo& Info) {
  auto Maps = std::make_unique<SingleByteMaps>();
  std::memset(Maps->FromWide, 0, sizeof Maps->FromWide);
  UErrorCode Error = U_ZERO_ERROR;
  UConverter* Converter = ucnv_open(Info.IcuName, &Error);
  if (Converter != nullptr)
    ucnv_setToUCallBack(Converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &Error);
  bool Defined[256] = {};
  for (int B = 0; B < 256; ++B) {
    char16_t Unit = 0;
    if (Converter != nullptr) {
      ucnv_reset(Converter);
      UChar Out[4];
      const char Byte = static_cast<char>(B);
      Error = U_ZERO_ERROR;
      const int32_t N = ucnv_toUChars(Converter, Out, 4, &Byte, 1, &Error);
      if (U_SUCCESS(Error) && N == 1 && !(Out[0] >= 0xD800 && Out[0] <= 0xDFFF)) {
        Unit = Out[0];
        Defined[B] = true;
      }
    }
    // Every charset of the table keeps ASCII as it is; some IBM tables swap a few control codes.
    if (B < 0x80) {
      Unit = static_cast<char16_t>(B);
      Defined[B] = true;
    }
    if (!Defined[B]) Unit = static_cast<char16_t>(B < 0xA0 ? B : 0xF700 + B);
    Maps->ToWide[B] = Unit;
  }
  if (Converter != nullptr) ucnv_close(Converter);
  std::copy(std::begin(Defined), std::end(Defined), Maps->Defined);
  // Defined characters claim their units first, then the stand-ins of undefined bytes take what is
  // left; FromWide of a unit without a byte stays 0, which Encode rejects (ToWide[0] is U+0000).
  std::vector<bool> Claimed(65536, false);
  for (int Pass = 0; Pass < 2; ++Pass) {
    for (int B = 0; B < 256; ++B) {
      if (Defined[B] != (Pass == 0)) continue;
      const char16_t Unit = Maps->ToWide[B];
      if (Claimed[Unit]) continue;
      Claimed[Unit] = true;
      Maps->FromWide[Unit] = static_cast<uint8_t>(B);
    }
  }
  const char16_t* Upper = WideUpperTable();
  for (int B = 0; B < 256; ++B) {
    uint8_t Byte = 0;
    Maps->Upper[B] = Maps->Encode(Upper[Maps->ToWide[B]], Byte) ? Byte : 0;
  }
  return Maps;
}

struct MapSlot {
  std::once_flag Once;
  std::unique_ptr<SingleByteMaps> Maps;
};

}  // namespace

const CharsetInfo* FindCharset(uint8_t Code) {
  for (const CharsetInfo& Info : kCharsets)
    if (Info.Code == Code) return &Info;
  return nullptr;
}

const CharsetInfo* FindCodePage(int32_t CodePage) {
  for (const CharsetInfo& Info : kCharsets)
    if (Info.CodePage == CodePage) return &Info;
  return nullptr;
}

const CharsetInfo* FindCharsetName(const char* Name) {
  if (Name == nullptr || *Name == '\0') return nullptr;
  for (const Alias& Alias : kAliases)
    if (strcasecmp(Alias.Name, Name) == 0) return FindCharset(Alias.Code);
  const char* Canonical = CanonicalName(Name);
  if (Canonical == nullptr) return nullptr;
  const CanonicalNames& Table = TableCanonicalNames();
  for (size_t I = 0; I < std::size(kCharsets); ++I)
    if (Table.Names[I] != nullptr && std::strcmp(Table.Names[I], Canonical) == 0) return &kCharsets[I];
  return nullptr;
}

uint8_t ResolveCharset(uint8_t Code) { return Code == kCharsetNone ? GetAnsiCharset() : Code; }

const SingleByteMaps* GetSingleByteMaps(uint8_t Code) {
  Code = ResolveCharset(Code);
  const CharsetInfo* Info = FindCharset(Code);
  if (Info == nullptr || Info->MaxBytes != 1) return nullptr;
  static MapSlot Slots[256];
  MapSlot& Slot = Slots[Code];
  std::call_once(Slot.Once, [&] { Slot.Maps = BuildSingleByteMaps(*Info); });
  return Slot.Maps.get();
}

}  // namespace qvnls::detail
