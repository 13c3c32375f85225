// Inside the qvnls layer: the system Windows and OEM code pages and the 256-entry tables built from
// them (see WinNls.h for what each table does).
#pragma once

#include <cstdint>

namespace qvnls::detail {

struct SystemPages {
  int32_t ansiCodePage;
  int32_t oemCodePage;
  uint8_t ansiCharset;
  uint8_t oemCharset;
  uint8_t ansiUpper[256];
  uint8_t oemToAnsi[256];
  uint8_t ansiToOem[256];
  uint8_t oemToAnsiUpper[256];
  bool ansiAlpha[256];
};

// The current pages; the locale's defaults on first use.
const SystemPages& GetSystemPages();

// The Windows and OEM code pages of a language: an ISO 639 code ("ru") with its ICU script ("Latn",
// may be empty), or a Windows primary language identifier. False for a language not in the table.
bool LanguageCodePages(const char* language, const char* script, int32_t& ansi, int32_t& oem);
bool LanguageIdCodePages(uint16_t primaryLanguage, int32_t& ansi, int32_t& oem);

}  // namespace qvnls::detail
