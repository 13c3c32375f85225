#include "server/OLEXLSConv.h"

#include "plugins/frame/ConvCmmn.h"
#include "server/OfficeText.h"
#include "server/Soffice.h"

namespace {

// Comma, double quote, UTF-8, from line 1, standard cell formats, contents as shown, sheet N.
std::string CsvFilter(int32_t Sheet) {
  return "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false," + std::to_string(Sheet);
}

}  // namespace

bool ConvertExcelWorkbook(const std::string& Source, const std::string& Target, bool Unicode) {
  if (OfficeRefusesUnicode(Unicode) || !OfficeSourceExists(Source)) return false;
  ClearLastErrorText();
  try {
    std::string text;
    int32_t sheets = 0;
    for (int32_t n = 1; n <= kMaxWorkbookSheets; ++n) {
      TOfficeOutput output;
      if (!OfficeConvert(Source, CsvFilter(n), output)) {
        // The first sheet must come; a later one that does not is past the last sheet.
        if (n == 1 || GetLastErrorText() == kUserCanceled || GetLastErrorText() == kOfficeNotFound) return false;
        break;
      }
      if (n == 1 && !OfficeProgress(4)) return false;
      if (sheets++ > 0) text += "\r\n";
      AppendOfficeText(output.File, text);
    }
    ClearLastErrorText();
    if (!OfficeProgress(8)) return false;
    WriteTargetFile(Target, text);
    return OfficeProgress(9);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
