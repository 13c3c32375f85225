#include "server/OLEPPTConv.h"

#include "plugins/frame/ConvCmmn.h"
#include "server/OfficeText.h"
#include "server/PDFConv.h"
#include "server/Soffice.h"

bool ConvertPowerPointPresentation(const std::string& Source, const std::string& Target, bool Unicode) {
  if (!OfficeSourceExists(Source) || OfficeRefusesUnicode(Unicode)) return false;
  ClearLastErrorText();
  try {
    TOfficeOutput Output;
    if (!OfficeConvert(Source, "pdf", Output) || !OfficeProgress(4) || !OfficeProgress(8)) return false;
    return ConvertPDF(Output.File, Target) && OfficeProgress(9);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
