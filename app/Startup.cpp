#include "app/Startup.h"

#include "core/WinUtils.h"

std::optional<std::string> CheckQvnlsVersion(int version) {
  if (version >= kMinQvnlsVersion) return std::nullopt;
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
