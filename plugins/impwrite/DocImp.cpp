#include "plugins/impwrite/DocImp.h"

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/impwrite/MSWord2Txt.h"
#include "search/TextAuto.h"

namespace {

// How the other form is made: 8-bit text is detected among the 8-bit pages with the Cyrillic guess
// limited to its first family, and UTF-16 goes to the 8-bit page that the Cyrillic guess picks.
constexpr uint8_t kConvertFlags = kDetectFlagEightBit | kDetectFlagCyrillic | kDetectFlagNarrow;

}  // namespace

bool ConvertWordFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  TVMemStream Output;
  bool IsUnicode = false;
  uint8_t Charset = qvnls::kCharsetNone;
  if (!ReadWordDocument(FileName, Output, IsUnicode, Charset, Progress)) return false;
  // 8-bit text needs converting to UTF-16, and to 8-bit form too when it is in a page other than the
  // system's; text already in the form asked for stays as it was read.
  const bool Convert = Unicode != IsUnicode ||
                       (!Unicode && Charset != qvnls::kCharsetNone && Charset != qvnls::GetAnsiCharset());
  TVMemStream Converted;
  TVMemStream* Result = &Output;
  if (Convert) {
    Output.Seek(0);
    ConvertTextCharset(Output, Converted, Charset, Unicode, kConvertFlags);
    Result = &Converted;
  }
  Text.assign(reinterpret_cast<const char*>(Result->GetMemory()),
              static_cast<std::size_t>(Result->GetSize()));
  return true;
}
