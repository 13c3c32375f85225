#include "server/OfficeConv.h"

#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"

namespace {

bool SourceMissing(const std::string& Source) {
  if (FileExists(Source)) return false;
  SetLastErrorText("File \"" + Source + "\" not found");
  return true;
}

bool UnicodeRefused(bool Unicode) {
  if (!Unicode) return false;
  SetLastErrorText("Unicode not supported");
  return true;
}

bool NotAvailable() {
  SetLastErrorText(kOfficeNotAvailable);
  return false;
}

}  // namespace

bool ConvertWordDocument(const std::string& Source, const std::string&, bool) {
  if (SourceMissing(Source)) return false;
  return NotAvailable();
}

bool ConvertExcelWorkbook(const std::string& Source, const std::string&, bool Unicode) {
  if (UnicodeRefused(Unicode) || SourceMissing(Source)) return false;
  return NotAvailable();
}

bool ConvertPowerPointPresentation(const std::string& Source, const std::string&, bool Unicode) {
  if (SourceMissing(Source) || UnicodeRefused(Unicode)) return false;
  return NotAvailable();
}
