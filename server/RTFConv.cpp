#include "server/RTFConv.h"

#include "plugins/frame/ConvCmmn.h"

bool RTFToText(TVStream&, TVStream&) {
  SetLastErrorText("Can't initialize RTF control");
  return false;
}

bool ConvertRTFFile(const std::string&, const std::string&, bool Unicode) {
  if (Unicode) {
    SetLastErrorText("Unicode not supported");
    return false;
  }
  SetLastErrorText("Can't initialize RTF control");
  return false;
}
