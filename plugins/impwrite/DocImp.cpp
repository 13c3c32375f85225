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
  TVMemStream output;
  bool is_unicode = false;
  if (!ReadWordDocument(FileName, output, is_unicode, Progress)) return false;
  TVMemStream converted;
  TVMemStream* result = &output;
  if (Unicode != is_unicode) {
    output.Seek(0);
    ConvertTextCharset(output, converted, is_unicode ? qvnls::kCharsetUtf16LE : qvnls::kCharsetNone, Unicode,
                       kConvertFlags);
    result = &converted;
  }
  Text.assign(reinterpret_cast<const char*>(result->GetMemory()),
              static_cast<std::size_t>(result->GetSize()));
  return true;
}
