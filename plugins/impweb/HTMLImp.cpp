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
  const std::u16string wide = Utf8ToUtf16(FileName);
  if (Utf16ToUtf8(wide) == FileName) return std::make_unique<TVBufFileStream>(wide, kHTMLFileBuffer, kMode);
  return std::make_unique<TVBufFileStream>(FileName, kMode);
}

bool InitializeTypes() { return BuildHTMLDictionaries(); }

bool FreeUpTypes() {
  FreeHTMLDictionaries();
  return true;
}

}  // namespace

bool IsHTMLFile(const std::string& FileName) {
  std::unique_ptr<TVBufFileStream> stream = OpenHTMLFile(FileName);
  TUpperCaseFilter upper;
  stream->Filter = &upper;
  const bool html = IsTextStream(*stream, -1) && stream->FindString("<HTML", kWholeFile);
  stream->Filter = nullptr;
  return html;
}

bool ConvertHTMLStream(TVStream& Source, bool Unicode, IConvProgress* Progress, std::string& Text) {
  TVMemStream output;
  if (ConvertHTML(Source, output, nullptr, Unicode, true, Progress) == 0) return false;
  Text.assign(reinterpret_cast<const char*>(output.GetMemory()), static_cast<std::size_t>(output.GetSize()));
  return true;
}

bool ConvertHTMLFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  std::unique_ptr<TVBufFileStream> stream = OpenHTMLFile(FileName);
  return ConvertHTMLStream(*stream, Unicode, Progress, Text);
}

bool ConvertHTMLMemory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress,
                       std::string& Text) {
  TVReadOnlyMemStream stream(Data, static_cast<int32_t>(Size));
  return ConvertHTMLStream(stream, Unicode, Progress, Text);
}

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"htm", "html", "shtml", "asp"};
  static const char* const kDescriptions[] = {
      "Hyper Text Markup Language Document (HTML)", "Hyper Text Markup Language Document (HTML)",
      "Hyper Text Markup Language Document (HTML)", "Hyper Text Markup Language Document (HTML)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d;
    d.DllInfo = "Quorvane Library v.021010";
    d.DllVersion = 5378562;
    d.CompatibilityFlags = cfMemoryConversion | cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "htm;html;shtml;asp";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = "-";
    d.TypeMatch = TTypeMatch::tmWhole;
    d.ConvertFile = ConvertHTMLFile;
    d.ConvertMemory = ConvertHTMLMemory;
    d.IsFileSupported = IsHTMLFile;
    d.InitializeTypes = InitializeTypes;
    d.FreeUpTypes = FreeUpTypes;
    d.ClearErrorOnConvert = true;
    d.ClearErrorOnContentTest = true;
    d.KeepContentTestError = true;
    return d;
  }();
  return definition;
}
