// Inside the qvnls layer: the system Windows and OEM code pages and the 256-entry tables built from
// them (see WinNls.h for what each table does).
#pragma once

#include <cstdint>

namespace qvnls::detail {

struct SystemPages {
  int32_t AnsiCodePage;
  int32_t OemCodePage;
  uint8_t AnsiCharset;
  uint8_t OemCharset;
  uint8_t AnsiUpper[256];
  uint8_t OemToAnsi[256];
  uint8_t AnsiToOem[256];
  uint8_t OemToAnsiUpper[256];
  bool AnsiAlpha[256];
};

// The current pages; the locale's defaults on first use.
const SystemPages& GetSystemPages();

// The Windows and OEM code pages of a language: an ISO 639 code ("ru") with its ICU script ("Latn",
// may be empty), or a Windows primary language identifier. False for a language not in the table.
bool LanguageCodePages(const char* Language, const char* Script, int32_t& Ansi, int32_t& Oem);
bool LanguageIdCodePages(uint16_t PrimaryLanguage, int32_t& Ansi, int32_t& Oem);

}  // namespace qvnls::detail
