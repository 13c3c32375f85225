#include "app/Startup.h"

std::optional<std::string> CheckQvnlsVersion(int version) {
  if (version >= kMinQvnlsVersion) return std::nullopt;
  return "Unsupported version of QVNLS.DLL.\r\nVersion 0" + std::to_string(kMinQvnlsVersion) +
         " or higher is needed.";
}
