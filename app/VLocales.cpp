#include "app/VLocales.h"

#include <cstdlib>

#include "app/MultiLan.h"

namespace {

// The primary-language part of an LCID.
constexpr uint32_t kPrimaryLanguageMask = 0x3FF;
// MAKELANGID (primary, SUBLANG_DEFAULT): the default sublanguage is 1, in the bits above the primary.
constexpr uint32_t kSublangDefault = 1u << 10;

struct TLanguageCode {
  uint32_t Primary;
  const char* Code;
};

constexpr TLanguageCode kCodes[] = {
    {6, "DK"},  {7, "DE"},  {9, "UK"},  {10, "ES"}, {11, "FI"}, {12, "FR"},
    {16, "IT"}, {19, "NL"}, {20, "NO"}, {25, "RU"}, {29, "SE"},
};

struct TIsoLanguage {
  const char* Iso;  // ISO 639 code of the POSIX locale name
  uint32_t Primary;
};

constexpr TIsoLanguage kIsoLanguages[] = {
    {"da", 6},  {"de", 7},  {"en", 9},  {"es", 10}, {"fi", 11}, {"fr", 12}, {"it", 16},
    {"nl", 19}, {"nb", 20}, {"nn", 20}, {"no", 20}, {"ru", 25}, {"sv", 29},
};

}  // namespace

std::string LanguageCodeFromLCID(uint32_t LCID) {
  const uint32_t Primary = LCID & kPrimaryLanguageMask;
  for (const auto& C : kCodes)
    if (C.Primary == Primary) return C.Code;
  return {};
}

uint32_t LCIDFromLocaleName(const std::string& LocaleName) {
  // The language is what comes before "_", "." or "@".
  const std::string Language = LocaleName.substr(0, LocaleName.find_first_of("_.@"));
  for (const auto& L : kIsoLanguages)
    if (Language == L.Iso) return kSublangDefault | L.Primary;
  return 0;
}

uint32_t GetSystemDefaultLCID() {
  for (const char* Name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* Value = std::getenv(Name);
    if (Value != nullptr && *Value != '\0') return LCIDFromLocaleName(Value);
  }
  return 0;
}

int32_t LanguageIndexForLCID(const TMultiLang& Languages, uint32_t LCID) {
  const std::string Code = LanguageCodeFromLCID(LCID);
  if (Code.empty()) return -1;
  for (int32_t I = 0; I < Languages.GetLanguageCount(); ++I)
    if (Languages.GetLanguageName(I) == Code) return I;
  return -1;
}
