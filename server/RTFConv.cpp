#include "server/RTFConv.h"

#include <memory>

#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/RtfReader.h"

bool RTFToText(TVStream& Source, TVStream& Dest) {
  try {
    std::string rtf(static_cast<size_t>(std::max<int32_t>(Source.GetSize() - Source.GetPosition(), 0)), '\0');
    rtf.resize(static_cast<size_t>(Source.Read(rtf.data(), static_cast<int32_t>(rtf.size()))));
    std::function<bool()> progress;
    if (PluginCallback != nullptr) {
      const TPluginCallback callback = PluginCallback;
      void* const data = PluginCallbackData;
      progress = [callback, data] { return callback(0, -1, -1, data) != 0; };
    }
    std::u16string text;
    if (!RtfToUtf16(rtf, text, progress)) {
      SetLastErrorText(kUserCanceled);
      return false;
    }
    if (text.empty()) return true;
    // Every UTF-16 unit gives at most one byte of a single-byte code page, two of a double-byte one.
    std::string ansi(text.size() * 2, '\0');
    const int32_t n =
        qvnls::ConvertBufsDef(text.data(), static_cast<int32_t>(text.size() * 2), ansi.data(),
                              static_cast<int32_t>(ansi.size()), qvnls::kCharsetUtf16LE, 0, '?');
    if (n > 0) Dest.Write(ansi.data(), n);
    return true;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}

bool ConvertRTFFile(const std::string& Source, const std::string& Target, bool Unicode) {
  if (Unicode) {
    SetLastErrorText("Unicode not supported");
    return false;
  }
  try {
    TVBufFileStream source(Source, fmOpenRead | fmShareDenyWrite);
    auto dest = std::make_unique<TVBufFileStream>(Target, fmCreate);
    const bool ok = RTFToText(source, *dest);
    dest->Close();
    return ok;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
