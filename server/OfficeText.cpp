#include "server/OfficeText.h"

#include <memory>

#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "core/VStream.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/TextSink.h"

bool OfficeSourceExists(const std::string& Source) {
  if (FileExists(Source)) return true;
  SetLastErrorText("File \"" + Source + "\" not found");
  return false;
}

bool OfficeRefusesUnicode(bool Unicode) {
  if (!Unicode) return false;
  SetLastErrorText("Unicode not supported");
  return true;
}

void AppendOfficeText(const std::string& Utf8File, std::string& Ansi) {
  TVMemStream Out;
  WriteUtf8FileAsAnsi(Utf8File, Out);
  const size_t Old = Ansi.size();
  Ansi.resize(Old + static_cast<size_t>(Out.GetSize()));
  Out.Seek(0);
  Out.Read(Ansi.data() + Old, Out.GetSize());
}

void WriteTargetFile(const std::string& Target, const std::string& Data) {
  auto Out = std::make_unique<TVBufFileStream>(Target, fmCreate);
  Out->Write(Data.data(), static_cast<int32_t>(Data.size()));
  Out->Close();
}
