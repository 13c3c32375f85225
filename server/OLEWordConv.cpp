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
    TOfficeOutput Output;
    if (!OfficeConvert(Source, Unicode ? "txt:Text (encoded):UNICODE,CRLF" : "txt:Text (encoded):UTF8,CRLF",
                       Output) ||
        !OfficeProgress(4))
      return false;
    if (Unicode) {
      // The office's UTF-16 text is the target as it stands.
      std::filesystem::copy_file(Output.File, Target, std::filesystem::copy_options::overwrite_existing);
    } else {
      std::string Text;
      AppendOfficeText(Output.File, Text);
      WriteTargetFile(Target, Text);
    }
    return OfficeProgress(8) && OfficeProgress(9);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
