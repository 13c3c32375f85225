#include "server/RTFConv.h"

#include <memory>

#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/RtfReader.h"

bool RTFToText(TVStream& Source, TVStream& Dest) {
  try {
    std::string Rtf(static_cast<size_t>(std::max<int32_t>(Source.GetSize() - Source.GetPosition(), 0)), '\0');
    Rtf.resize(static_cast<size_t>(Source.Read(Rtf.data(), static_cast<int32_t>(Rtf.size()))));
    std::function<bool()> Progress;
    if (PluginCallback != nullptr) {
      const TPluginCallback Callback = PluginCallback;
      void* const Data = PluginCallbackData;
      Progress = [Callback, Data] { return Callback(0, -1, -1, Data) != 0; };
    }
    std::u16string Text;
    if (!RtfToUtf16(Rtf, Text, Progress)) {
      SetLastErrorText(kUserCanceled);
      return false;
    }
    if (Text.empty()) return true;
    // Every UTF-16 unit gives at most one byte of a single-byte code page, two of a double-byte one.
    std::string Ansi(Text.size() * 2, '\0');
    const int32_t N =
        qvnls::ConvertBufsDef(Text.data(), static_cast<int32_t>(Text.size() * 2), Ansi.data(),
                              static_cast<int32_t>(Ansi.size()), qvnls::kCharsetUtf16LE, 0, '?');
    if (N > 0) Dest.Write(Ansi.data(), N);
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
    TVBufFileStream In(Source, fmOpenRead | fmShareDenyWrite);
    auto Dest = std::make_unique<TVBufFileStream>(Target, fmCreate);
    const bool Ok = RTFToText(In, *Dest);
    Dest->Close();
    return Ok;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
