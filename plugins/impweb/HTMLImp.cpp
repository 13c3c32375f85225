#include "plugins/impweb/HTMLImp.h"

#include <memory>

#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "plugins/frame/ConverterFrame.h"
#include "plugins/impweb/html/HTML2Txt.h"
#include "plugins/impweb/html/HTMLPasses.h"
#include "search/TextAuto.h"

namespace {

// Longest stretch the content test searches for "<HTML": the whole file.
constexpr int32_t kWholeFile = 2147483647;

// Opens a file for reading while others may read it too. A name that is valid UTF-8 gets the large
// buffer; any other name is opened by its bytes as they stand.
std::unique_ptr<TVBufFileStream> OpenHTMLFile(const std::string& FileName) {
  constexpr TFileOpenMode kMode = fmOpenRead | fmShareDenyWrite;
  const std::u16string Wide = Utf8ToUtf16(FileName);
  if (Utf16ToUtf8(Wide) == FileName) return std::make_unique<TVBufFileStream>(Wide, kHTMLFileBuffer, kMode);
  return std::make_unique<TVBufFileStream>(FileName, kMode);
}

bool InitializeTypes() { return BuildHTMLDictionaries(); }

bool FreeUpTypes() {
  FreeHTMLDictionaries();
  return true;
}

}  // namespace

bool IsHTMLFile(const std::string& FileName) {
  std::unique_ptr<TVBufFileStream> Stream = OpenHTMLFile(FileName);
  TUpperCaseFilter Upper;
  Stream->Filter = &Upper;
  const bool Html = IsTextStream(*Stream, -1) && Stream->FindString("<HTML", kWholeFile);
  Stream->Filter = nullptr;
  return Html;
}

bool ConvertHTMLStream(TVStream& Source, bool Unicode, IConvProgress* Progress, std::string& Text) {
  TVMemStream Output;
  if (ConvertHTML(Source, Output, nullptr, Unicode, true, Progress) == 0) return false;
  Text.assign(reinterpret_cast<const char*>(Output.GetMemory()), static_cast<std::size_t>(Output.GetSize()));
  return true;
}

bool ConvertHTMLFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  std::unique_ptr<TVBufFileStream> Stream = OpenHTMLFile(FileName);
  return ConvertHTMLStream(*Stream, Unicode, Progress, Text);
}

bool ConvertHTMLMemory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress,
                       std::string& Text) {
  TVReadOnlyMemStream Stream(Data, static_cast<int32_t>(Size));
  return ConvertHTMLStream(Stream, Unicode, Progress, Text);
}

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"htm", "html", "shtml", "asp"};
  static const char* const kDescriptions[] = {
      "Hyper Text Markup Language Document (HTML)", "Hyper Text Markup Language Document (HTML)",
      "Hyper Text Markup Language Document (HTML)", "Hyper Text Markup Language Document (HTML)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D;
    D.DllInfo = "Quorvane Library v.021010";
    D.DllVersion = 5378562;
    D.CompatibilityFlags = cfMemoryConversion | cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "htm;html;shtml;asp";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.TypeMatch = TTypeMatch::tmWhole;
    D.ConvertFile = ConvertHTMLFile;
    D.ConvertMemory = ConvertHTMLMemory;
    D.IsFileSupported = IsHTMLFile;
    D.InitializeTypes = InitializeTypes;
    D.FreeUpTypes = FreeUpTypes;
    D.ClearErrorOnConvert = true;
    D.ClearErrorOnContentTest = true;
    D.KeepContentTestError = true;
    return D;
  }();
  return Definition;
}
