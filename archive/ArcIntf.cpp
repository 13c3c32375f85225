#include "archive/ArcIntf.h"

void TArcWrapper::Open(const std::string& FileName) {
  std::string Msg;
  if (SetArcName(FileName, Msg)) return;
  if (Msg.empty()) Msg = std::string(ClassName()) + ".SetArcName error";
  throw Exception(Msg);
}
