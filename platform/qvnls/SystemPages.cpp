#include "platform/qvnls/SystemPages.h"

#include <unicode/uchar.h>
#include <unicode/uloc.h>

#include <cstring>
#include <mutex>

#include "platform/qvnls/CharsetTable.h"
#include "platform/qvnls/Qvnls.h"

namespace qvnls::detail {
namespace {

// The code pages Windows gives each language: ISO 639 code, Windows primary language identifier,
// Windows code page, OEM code page. Languages written in more than one script carry the pages of
// their default ICU script; LatinScriptPages below corrects the Latin forms.
struct LanguageRow {
  const char* iso;
  uint16_t id;
  int32_t ansi;
  int32_t oem;
};
constexpr LanguageRow kLanguages[] = {
    {"ar", 0x01, 1256, 720}, {"bg", 0x02, 1251, 866}, {"ca", 0x03, 1252, 850}, {"zh", 0x04, 936, 936},
    {"cs", 0x05, 1250, 852}, {"da", 0x06, 1252, 850}, {"de", 0x07, 1252, 850}, {"el", 0x08, 1253, 737},
    {"en", 0x09, 1252, 850}, {"es", 0x0A, 1252, 850}, {"fi", 0x0B, 1252, 850}, {"fr", 0x0C, 1252, 850},
    {"he", 0x0D, 1255, 862}, {"hu", 0x0E, 1250, 852}, {"is", 0x0F, 1252, 850}, {"it", 0x10, 1252, 850},
    {"ja", 0x11, 932, 932},  {"ko", 0x12, 949, 949},  {"nl", 0x13, 1252, 850}, {"nb", 0x14, 1252, 850},
    {"nn", 0x14, 1252, 850}, {"no", 0x14, 1252, 850}, {"pl", 0x15, 1250, 852}, {"pt", 0x16, 1252, 850},
    {"ro", 0x18, 1250, 852}, {"ru", 0x19, 1251, 866}, {"hr", 0x1A, 1250, 852}, {"sr", 0x1A, 1251, 866},
    {"bs", 0x1A, 1250, 852}, {"sk", 0x1B, 1250, 852}, {"sq", 0x1C, 1250, 852}, {"sv", 0x1D, 1252, 850},
    {"th", 0x1E, 874, 874},  {"tr", 0x1F, 1254, 857}, {"ur", 0x20, 1256, 720}, {"id", 0x21, 1252, 850},
    {"uk", 0x22, 1251, 866}, {"be", 0x23, 1251, 866}, {"sl", 0x24, 1250, 852}, {"et", 0x25, 1257, 775},
    {"lv", 0x26, 1257, 775}, {"lt", 0x27, 1257, 775}, {"fa", 0x29, 1256, 720}, {"vi", 0x2A, 1258, 1258},
    {"az", 0x2C, 1254, 857}, {"eu", 0x2D, 1252, 850}, {"mk", 0x2F, 1251, 866}, {"af", 0x36, 1252, 850},
    {"fo", 0x38, 1252, 850}, {"ga", 0x3C, 1252, 850}, {"ms", 0x3E, 1252, 850}, {"kk", 0x3F, 1251, 866},
    {"ky", 0x40, 1251, 866}, {"sw", 0x41, 1252, 437}, {"uz", 0x43, 1254, 857}, {"tt", 0x44, 1251, 866},
    {"mn", 0x50, 1251, 866}, {"gl", 0x56, 1252, 850},
};

// The pages of the system when the locale names no language of the table, and of the C locale.
constexpr int32_t kDefaultAnsi = 1252;
constexpr int32_t kDefaultOem = 850;

SystemPages g_pages;
std::once_flag g_pagesOnce;

// Fills every table from the two pages; both charsets must be single-byte.
bool BuildPages(int32_t ansiCodePage, int32_t oemCodePage) {
  const CharsetInfo* ansiInfo = FindCodePage(ansiCodePage);
  const CharsetInfo* oemInfo = FindCodePage(oemCodePage);
  if (ansiInfo == nullptr || oemInfo == nullptr || ansiInfo->maxBytes != 1 || oemInfo->maxBytes != 1)
    return false;
  const SingleByteMaps& ansi = *GetSingleByteMaps(ansiInfo->code);
  const SingleByteMaps& oem = *GetSingleByteMaps(oemInfo->code);
  SystemPages pages{};
  pages.ansiCodePage = ansiCodePage;
  pages.oemCodePage = oemCodePage;
  pages.ansiCharset = ansiInfo->code;
  pages.oemCharset = oemInfo->code;
  for (int b = 0; b < 256; ++b) {
    pages.ansiUpper[b] = ansi.upper[b] != 0 ? ansi.upper[b] : static_cast<uint8_t>(b);
    uint8_t byte = 0;
    pages.oemToAnsi[b] = ansi.Encode(oem.toWide[b], byte) ? byte : '?';
    pages.ansiToOem[b] = oem.Encode(ansi.toWide[b], byte) ? byte : '?';
    pages.ansiAlpha[b] = u_isalpha(ansi.toWide[b]);
  }
  for (int b = 0; b < 256; ++b) pages.oemToAnsiUpper[b] = pages.ansiUpper[pages.oemToAnsi[b]];
  g_pages = pages;
  return true;
}

void BuildLocalePages() {
  char language[ULOC_LANG_CAPACITY] = {};
  char script[ULOC_SCRIPT_CAPACITY] = {};
  UErrorCode error = U_ZERO_ERROR;
  const char* locale = uloc_getDefault();
  uloc_getLanguage(locale, language, sizeof language, &error);
  error = U_ZERO_ERROR;
  uloc_getScript(locale, script, sizeof script, &error);
  int32_t ansi = kDefaultAnsi;
  int32_t oem = kDefaultOem;
  if (!LanguageCodePages(language, script, ansi, oem) || !BuildPages(ansi, oem))
    BuildPages(kDefaultAnsi, kDefaultOem);
}

void EnsurePages() { std::call_once(g_pagesOnce, BuildLocalePages); }

}  // namespace

bool LanguageCodePages(const char* language, const char* script, int32_t& ansi, int32_t& oem) {
  if (language == nullptr) return false;
  for (const LanguageRow& row : kLanguages) {
    if (std::strcmp(row.iso, language) != 0) continue;
    ansi = row.ansi;
    oem = row.oem;
    // Serbian in Latin letters uses the Central European pages; Azeri and Uzbek in Cyrillic the
    // Cyrillic ones.
    if (script != nullptr && std::strcmp(script, "Latn") == 0 && std::strcmp(language, "sr") == 0) {
      ansi = 1250;
      oem = 852;
    }
    if (script != nullptr && std::strcmp(script, "Cyrl") == 0 &&
        (std::strcmp(language, "az") == 0 || std::strcmp(language, "uz") == 0)) {
      ansi = 1251;
      oem = 866;
    }
    return true;
  }
  return false;
}

bool LanguageIdCodePages(uint16_t primaryLanguage, int32_t& ansi, int32_t& oem) {
  for (const LanguageRow& row : kLanguages) {
    if (row.id != primaryLanguage) continue;
    ansi = row.ansi;
    oem = row.oem;
    return true;
  }
  return false;
}

const SystemPages& GetSystemPages() {
  EnsurePages();
  return g_pages;
}

}  // namespace qvnls::detail

namespace qvnls {

using namespace detail;

bool SetSystemCodePages(int32_t ansiCodePage, int32_t oemCodePage) {
  EnsurePages();
  return BuildPages(ansiCodePage, oemCodePage);
}

void ResetSystemCodePages() {
  EnsurePages();
  BuildLocalePages();
}

namespace {

// Windows locale identifiers that stand for the system's own locale, and the invariant locale.
constexpr uint32_t kLocaleNeutral = 0;
constexpr uint32_t kLocaleInvariant = 0x7F;
constexpr uint32_t kPrimaryLanguageMask = 0x3FF;  // the low 10 bits of a language identifier

bool LocalePages(uint32_t locale, int32_t& ansi, int32_t& oem) {
  if (locale == kLocaleSystemDefault || locale == kLocaleUserDefault || locale == kLocaleNeutral) {
    const SystemPages& pages = GetSystemPages();
    ansi = pages.ansiCodePage;
    oem = pages.oemCodePage;
    return true;
  }
  if (locale == kLocaleInvariant) {
    ansi = 1252;
    oem = 437;
    return true;
  }
  return LanguageIdCodePages(static_cast<uint16_t>(locale & kPrimaryLanguageMask), ansi, oem);
}

}  // namespace

int32_t GetWindowsCodePage(uint32_t locale) {
  int32_t ansi = 0, oem = 0;
  return LocalePages(locale, ansi, oem) ? ansi : -1;
}

int32_t GetOEMCodePage(uint32_t locale) {
  int32_t ansi = 0, oem = 0;
  return LocalePages(locale, ansi, oem) ? oem : -1;
}

uint8_t GetAnsiCharset() { return GetSystemPages().ansiCharset; }
uint8_t GetOemCharset() { return GetSystemPages().oemCharset; }

}  // namespace qvnls
