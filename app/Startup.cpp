#include "app/Startup.h"

#include <unicode/uloc.h>

#include <cstdlib>

#include "core/WinUtils.h"
#include "platform/qvnls/Qvnls.h"

std::optional<std::string> CheckQvnlsVersion(int Version) {
  if (Version >= kMinQvnlsVersion) return std::nullopt;
  return "Unsupported version of QVNLS.DLL.\r\nVersion 0" + std::to_string(kMinQvnlsVersion) +
         " or higher is needed.";
}

void RegisterProgramVersion() {
  // Version 0.1.0, build 0: the high and low 16 bits of each half, as version resources hold them.
  TVersionRecord Record;
  Record.Fixed.FileVersionMS = Record.Fixed.ProductVersionMS = (0u << 16) | 1u;
  Record.Fixed.FileVersionLS = Record.Fixed.ProductVersionLS = 0;
  Record.Translation = std::make_pair(uint16_t{0x0409}, uint16_t{1252});  // US English, Western
  Record.Strings["FileVersion"] = u"0.1.0.0";
  Record.Strings["ProductVersion"] = u"0.1.0";
  Record.Strings["ProductName"] = u"Scryline";
  RegisterVersionRecord(u"Scryline", std::move(Record));
}

std::string CharacterTypeLocale(const std::function<const char*(const char*)>& Env) {
  std::string Name;
  for (const char* Var : {"LC_ALL", "LC_CTYPE", "LANG"})
    if (const char* Value = Env(Var); Value != nullptr && *Value != '\0') {
      Name = Value;
      break;
    }
  // language[_territory][.codeset][@modifier]
  std::string Modifier;
  if (const size_t At = Name.find('@'); At != std::string::npos) {
    Modifier = Name.substr(At + 1);
    Name.erase(At);
  }
  if (const size_t Dot = Name.find('.'); Dot != std::string::npos) Name.erase(Dot);
  if (Name.empty() || Name == "C" || Name == "POSIX") return {};
  const char* Script = Modifier == "latin" ? "Latn" : Modifier == "cyrillic" ? "Cyrl" : nullptr;
  if (Script != nullptr) {
    const size_t Bar = Name.find('_');
    Name = Name.substr(0, Bar) + "_" + Script + (Bar == std::string::npos ? std::string() : Name.substr(Bar));
  }
  return Name;
}

void UseCharacterTypeLocale() {
  std::string Locale = CharacterTypeLocale([](const char* Var) { return std::getenv(Var); });
  // The C locale: the Western pair, whatever the message locale says.
  if (Locale.empty()) Locale = "en_US_POSIX";
  UErrorCode Error = U_ZERO_ERROR;
  uloc_setDefault(Locale.c_str(), &Error);
  if (U_SUCCESS(Error)) qvnls::ResetSystemCodePages();
}
