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
  const char* Iso;
  uint16_t Id;
  int32_t Ansi;
  int32_t Oem;
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
bool BuildPages(int32_t AnsiCodePage, int32_t OemCodePage) {
  const CharsetInfo* AnsiInfo = FindCodePage(AnsiCodePage);
  const CharsetInfo* OemInfo = FindCodePage(OemCodePage);
  if (AnsiInfo == nullptr || OemInfo == nullptr || AnsiInfo->MaxBytes != 1 || OemInfo->MaxBytes != 1)
    return false;
  const SingleByteMaps& Ansi = *GetSingleByteMaps(AnsiInfo->Code);
  const SingleByteMaps& Oem = *GetSingleByteMaps(OemInfo->Code);
  SystemPages Pages{};
  Pages.AnsiCodePage = AnsiCodePage;
  Pages.OemCodePage = OemCodePage;
  Pages.AnsiCharset = AnsiInfo->Code;
  Pages.OemCharset = OemInfo->Code;
  for (int B = 0; B < 256; ++B) {
    Pages.AnsiUpper[B] = Ansi.Upper[B] != 0 ? Ansi.Upper[B] : static_cast<uint8_t>(B);
    uint8_t Byte = 0;
    Pages.OemToAnsi[B] = Ansi.Encode(Oem.ToWide[B], Byte) ? Byte : '?';
    Pages.AnsiToOem[B] = Oem.Encode(Ansi.ToWide[B], Byte) ? Byte : '?';
    Pages.AnsiAlpha[B] = u_isalpha(Ansi.ToWide[B]);
  }
  for (int B = 0; B < 256; ++B) Pages.OemToAnsiUpper[B] = Pages.AnsiUpper[Pages.OemToAnsi[B]];
  g_pages = Pages;
  return true;
}

void BuildLocalePages() {
  char Language[ULOC_LANG_CAPACITY] = {};
  char Script[ULOC_SCRIPT_CAPACITY] = {};
  UErrorCode Error = U_ZERO_ERROR;
  const char* Locale = uloc_getDefault();
  uloc_getLanguage(Locale, Language, sizeof Language, &Error);
  Error = U_ZERO_ERROR;
  uloc_getScript(Locale, Script, sizeof Script, &Error);
  int32_t Ansi = kDefaultAnsi;
  int32_t Oem = kDefaultOem;
  if (!LanguageCodePages(Language, Script, Ansi, Oem) || !BuildPages(Ansi, Oem))
    BuildPages(kDefaultAnsi, kDefaultOem);
}

void EnsurePages() { std::call_once(g_pagesOnce, BuildLocalePages); }

}  // namespace

bool LanguageCodePages(const char* Language, const char* Script, int32_t& Ansi, int32_t& Oem) {
  if (Language == nullptr) return false;
  for (const LanguageRow& Row : kLanguages) {
    if (std::strcmp(Row.Iso, Language) != 0) continue;
    Ansi = Row.Ansi;
    Oem = Row.Oem;
    // Serbian in Latin letters uses the Central European pages; Azeri and Uzbek in Cyrillic the
    // Cyrillic ones.
    if (Script != nullptr && std::strcmp(Script, "Latn") == 0 && std::strcmp(Language, "sr") == 0) {
      Ansi = 1250;
      Oem = 852;
    }
    if (Script != nullptr && std::strcmp(Script, "Cyrl") == 0 &&
        (std::strcmp(Language, "az") == 0 || std::strcmp(Language, "uz") == 0)) {
      Ansi = 1251;
      Oem = 866;
    }
    return true;
  }
  return false;
}

bool LanguageIdCodePages(uint16_t PrimaryLanguage, int32_t& Ansi, int32_t& Oem) {
  for (const LanguageRow& Row : kLanguages) {
    if (Row.Id != PrimaryLanguage) continue;
    Ansi = Row.Ansi;
    Oem = Row.Oem;
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

bool SetSystemCodePages(int32_t AnsiCodePage, int32_t OemCodePage) {
  EnsurePages();
  return BuildPages(AnsiCodePage, OemCodePage);
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

bool LocalePages(uint32_t Locale, int32_t& Ansi, int32_t& Oem) {
  if (Locale == kLocaleSystemDefault || Locale == kLocaleUserDefault || Locale == kLocaleNeutral) {
    const SystemPages& Pages = GetSystemPages();
    Ansi = Pages.AnsiCodePage;
    Oem = Pages.OemCodePage;
    return true;
  }
  if (Locale == kLocaleInvariant) {
    Ansi = 1252;
    Oem = 437;
    return true;
  }
  return LanguageIdCodePages(static_cast<uint16_t>(Locale & kPrimaryLanguageMask), Ansi, Oem);
}

}  // namespace

int32_t GetWindowsCodePage(uint32_t Locale) {
  int32_t Ansi = 0, Oem = 0;
  return LocalePages(Locale, Ansi, Oem) ? Ansi : -1;
}

int32_t GetOEMCodePage(uint32_t Locale) {
  int32_t Ansi = 0, Oem = 0;
  return LocalePages(Locale, Ansi, Oem) ? Oem : -1;
}

uint8_t GetAnsiCharset() { return GetSystemPages().AnsiCharset; }
uint8_t GetOemCharset() { return GetSystemPages().OemCharset; }

}  // namespace qvnls
