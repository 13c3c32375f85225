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
  const size_t End = S.find_first_of("\r\n");
  return S.substr(0, End);
}

}  // namespace

bool ConvertPDF(const std::string& Source, const std::string& Target) {
  try {
    const std::string Program = FindProgram(kProgram);
    if (Program.empty()) {
      SetLastErrorText("Can't find \"pdftotext\".");
      return false;
    }
    ForceDeleteFile(Target);
    // The text goes to a file of our own, so that nothing of a failed run reaches the target.
    TTempFile Text;
    if (!Text.Make()) return false;
    TChildOptions Options;
    Options.CaptureStderr = true;
    Options.MaxCapture = 65536;
    Options.TimeoutMs = PdfToTextTimeoutMs;
    if (PluginCallback != nullptr) {
      const TPluginCallback Callback = PluginCallback;
      void* const Data = PluginCallbackData;
      Options.Poll = [Callback, Data] { return Callback(0, -1, -1, Data) != 0; };
    }
    const TChildResult Run =
        RunChild({Program, "-enc", "UTF-8", "-eol", "unix", AbsoluteFileName(Source), Text.Name()}, Options);
    if (!ChildEndedByItself(Run, "\"pdftotext\"", PdfToTextTimeoutMs)) return false;
    int64_t Size = 0;
    if (Run.End == TChildEnd::Exited && Run.ExitCode == 0 &&
        GetFileInfo(Text.Name(), &Size, nullptr, nullptr, nullptr, nullptr) && Size > 0) {
      if (IsUnreadableTextFile(Text.Name())) {
        SetLastErrorText(kUnreadableText);
        return false;
      }
      auto Dest = std::make_unique<TVBufFileStream>(Target, fmCreate);
      WriteUtf8FileAsAnsi(Text.Name(), *Dest);
      Dest->Close();
      return true;
    }
    const std::string Complaint = FirstLine(Run.Stderr);
    SetLastErrorText(Complaint.empty() ? "Error converting PDF to text" : Complaint);
    return false;
  } catch (...) {
    SetErrorFromCurrentException();
    ForceDeleteFile(Target);
    return false;
  }
}
