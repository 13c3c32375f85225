// The presentation converter library: the slide text of presentations (.ppt). It cannot be cancelled and
// exports no SetCallback.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/impshow2/PptTextScanner.h"

namespace {

bool ConvertFile(const std::string& FileName, bool Unicode, IConvProgress*, std::string& Text) {
  return ConvertPresentationFile(FileName, Unicode, Text);
}

}  // namespace

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"ppt"};
  static const char* const kDescriptions[] = {"Microsoft(R) PowerPoint Presentation (PPT)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D;
    D.DllInfo = "Quorvane Library v.020808";
    D.DllVersion = 20808;
    D.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8;
    D.TypeList = "ppt";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = nullptr;
    D.TypeMatch = TTypeMatch::tmWhole;
    D.ConvertFile = ConvertFile;
    D.IsFileSupported = IsPresentationFile;
    D.ClearErrorOnConvert = true;
    D.KeepContentTestError = false;
    D.TrimTrailingZeros = true;
    return D;
  }();
  return Definition;
}
