#include "server/MSConvIntf.h"

#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"

bool ConvertWithTextConverters(const std::string& Source, const std::string&) {
  if (!FileExists(Source)) {
    SetLastErrorText("File \"" + Source + "\" not found");
    return false;
  }
  SetLastErrorText("No appropriate converters found for \"" + Source + "\"");
  return false;
}
