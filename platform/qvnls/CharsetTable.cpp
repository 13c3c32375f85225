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
  const char* name;
  uint8_t code;
};
constexpr Alias kAliases[] = {
    {"us-ascii", 18}, {"ascii", 18},   {"gb2312", 46},      {"euc-kr", 47},  {"utf-16", 43},
    {"ucs-2", 43},    {"unicode", 43}, {"iso-8859-8-i", 8}, {"tis-620", 11}, {"iso-8859-6-i", 6},
};

// The canonical ICU converter name of a name or alias, or null.
const char* CanonicalName(const char* name) {
  UErrorCode error = U_ZERO_ERROR;
  const char* canonical = ucnv_getAlias(name, 0, &error);
  return U_SUCCESS(error) ? canonical : nullptr;
}

struct CanonicalNames {
  std::array<const char*, std::size(kCharsets)> names{};
  CanonicalNames() {
    for (size_t i = 0; i < std::size(kCharsets); ++i) names[i] = CanonicalName(kCharsets[i].icuName);
  }
};

const CanonicalNames& TableCanonicalNames() {
  static const CanonicalNames names;
  return names;
}

// Builds the maps of one single-byte charset from its ICU converter.
std::unique_ptr<SingleByteMaps> BuildSingleByteMaps(const CharsetInfo& info) {
  auto maps = std::make_unique<SingleByteMaps>();
  std::memset(maps->fromWide, 0, sizeof maps->fromWide);
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(info.icuName, &error);
  if (converter != nullptr)
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  bool defined[256] = {};
  for (int b = 0; b < 256; ++b) {
    char16_t unit = 0;
    if (converter != nullptr) {
      ucnv_reset(converter);
      UChar out[4];
      const char byte = static_cast<char>(b);
      error = U_ZERO_ERROR;
      const int32_t n = ucnv_toUChars(converter, out, 4, &byte, 1, &error);
      if (U_SUCCESS(error) && n == 1 && !(out[0] >= 0xD800 && out[0] <= 0xDFFF)) {
        unit = out[0];
        defined[b] = true;
      }
    }
    // Every charset of the table keeps ASCII as it is; some IBM tables swap a few control codes.
    if (b < 0x80) {
      unit = static_cast<char16_t>(b);
      defined[b] = true;
    }
    if (!defined[b]) unit = static_cast<char16_t>(b < 0xA0 ? b : 0xF700 + b);
    maps->toWide[b] = unit;
  }
  if (converter != nullptr) ucnv_close(converter);
  std::copy(std::begin(defined), std::end(defined), maps->defined);
  // Defined characters claim their units first, then the stand-ins of undefined bytes take what is
  // left; fromWide of a unit without a byte stays 0, which Encode rejects (toWide[0] is U+0000).
  std::vector<bool> claimed(65536, false);
  for (int pass = 0; pass < 2; ++pass) {
    for (int b = 0; b < 256; ++b) {
      if (defined[b] != (pass == 0)) continue;
      const char16_t unit = maps->toWide[b];
      if (claimed[unit]) continue;
      claimed[unit] = true;
      maps->fromWide[unit] = static_cast<uint8_t>(b);
    }
  }
  const char16_t* upper = WideUpperTable();
  for (int b = 0; b < 256; ++b) {
    uint8_t byte = 0;
    maps->upper[b] = maps->Encode(upper[maps->toWide[b]], byte) ? byte : 0;
  }
  return maps;
}

struct MapSlot {
  std::once_flag once;
  std::unique_ptr<SingleByteMaps> maps;
};

}  // namespace

const CharsetInfo* FindCharset(uint8_t code) {
  for (const CharsetInfo& info : kCharsets)
    if (info.code == code) return &info;
  return nullptr;
}

const CharsetInfo* FindCodePage(int32_t codePage) {
  for (const CharsetInfo& info : kCharsets)
    if (info.codePage == codePage) return &info;
  return nullptr;
}

const CharsetInfo* FindCharsetName(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  for (const Alias& alias : kAliases)
    if (strcasecmp(alias.name, name) == 0) return FindCharset(alias.code);
  const char* canonical = CanonicalName(name);
  if (canonical == nullptr) return nullptr;
  const CanonicalNames& table = TableCanonicalNames();
  for (size_t i = 0; i < std::size(kCharsets); ++i)
    if (table.names[i] != nullptr && std::strcmp(table.names[i], canonical) == 0) return &kCharsets[i];
  return nullptr;
}

uint8_t ResolveCharset(uint8_t code) { return code == kCharsetNone ? GetAnsiCharset() : code; }

const SingleByteMaps* GetSingleByteMaps(uint8_t code) {
  code = ResolveCharset(code);
  const CharsetInfo* info = FindCharset(code);
  if (info == nullptr || info->maxBytes != 1) return nullptr;
  static MapSlot slots[256];
  MapSlot& slot = slots[code];
  std::call_once(slot.once, [&] { slot.maps = BuildSingleByteMaps(*info); });
  return slot.maps.get();
}

}  // namespace qvnls::detail
