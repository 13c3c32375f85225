#include "archive/ArcIntf.h"

void TArcWrapper::Open(const std::string& FileName) {
  std::string msg;
  if (SetArcName(FileName, msg)) return;
  if (msg.empty()) msg = std::string(ClassName()) + ".SetArcName error";
  throw Exception(msg);
}
