#include "server/OLEWordConv.h"

#include <filesystem>

#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/OfficeText.h"
#include "server/Soffice.h"

bool ConvertWordDocument(const std::string& Source, const std::string& Target, bool Unicode) {
  if (!OfficeSourceExists(Source)) return false;
  ClearLastErrorText();
  try {
    TOfficeOutput output;
    if (!OfficeConvert(Source, Unicode ? "txt:Text (encoded):UNICODE,CRLF" : "txt:Text (encoded):UTF8,CRLF",
                       output) ||
        !OfficeProgress(4))
      return false;
    if (Unicode) {
      // The office's UTF-16 text is the target as it stands.
      std::filesystem::copy_file(output.File, Target, std::filesystem::copy_options::overwrite_existing);
    } else {
      std::string text;
      AppendOfficeText(output.File, text);
      WriteTargetFile(Target, text);
    }
    return OfficeProgress(8) && OfficeProgress(9);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
