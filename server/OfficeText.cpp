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
  TVMemStream out;
  WriteUtf8FileAsAnsi(Utf8File, out);
  const size_t old = Ansi.size();
  Ansi.resize(old + static_cast<size_t>(out.GetSize()));
  out.Seek(0);
  out.Read(Ansi.data() + old, out.GetSize());
}

void WriteTargetFile(const std::string& Target, const std::string& Data) {
  auto out = std::make_unique<TVBufFileStream>(Target, fmCreate);
  out->Write(Data.data(), static_cast<int32_t>(Data.size()));
  out->Close();
}
