#include "server/PDFConv.h"

#include <cstring>
#include <memory>

#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/ChildProcess.h"
#include "server/ConvTemp.h"
#include "server/TextSink.h"

int32_t PdfToTextTimeoutMs = kDefaultPdfToTextTimeoutMs;

namespace {

constexpr const char* kProgram = "pdftotext";

// The text in front of the first line end of S; empty when S has no text before one.
std::string FirstLine(const std::string& S) {
  const size_t end = S.find_first_of("\r\n");
  return S.substr(0, end);
}

}  // namespace

bool ConvertPDF(const std::string& Source, const std::string& Target) {
  try {
    const std::string program = FindProgram(kProgram);
    if (program.empty()) {
      SetLastErrorText("Can't find \"pdftotext\".");
      return false;
    }
    ForceDeleteFile(Target);
    // The text goes to a file of our own, so that nothing of a failed run reaches the target.
    TTempFile text;
    if (!text.Make()) return false;
    TChildOptions options;
    options.CaptureStderr = true;
    options.MaxCapture = 65536;
    options.TimeoutMs = PdfToTextTimeoutMs;
    if (PluginCallback != nullptr) {
      const TPluginCallback callback = PluginCallback;
      void* const data = PluginCallbackData;
      options.Poll = [callback, data] { return callback(0, -1, -1, data) != 0; };
    }
    const TChildResult run =
        RunChild({program, "-enc", "UTF-8", "-eol", "unix", AbsoluteFileName(Source), text.Name()}, options);
    if (!ChildEndedByItself(run, "\"pdftotext\"", PdfToTextTimeoutMs)) return false;
    int64_t size = 0;
    if (run.End == TChildEnd::Exited && run.ExitCode == 0 &&
        GetFileInfo(text.Name(), &size, nullptr, nullptr, nullptr, nullptr) && size > 0) {
      if (IsUnreadableTextFile(text.Name())) {
        SetLastErrorText(kUnreadableText);
        return false;
      }
      auto dest = std::make_unique<TVBufFileStream>(Target, fmCreate);
      WriteUtf8FileAsAnsi(text.Name(), *dest);
      dest->Close();
      return true;
    }
    const std::string complaint = FirstLine(run.Stderr);
    SetLastErrorText(complaint.empty() ? "Error converting PDF to text" : complaint);
    return false;
  } catch (...) {
    SetErrorFromCurrentException();
    ForceDeleteFile(Target);
    return false;
  }
}
