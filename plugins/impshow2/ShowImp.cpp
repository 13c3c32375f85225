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
  static const TConverterDefinition definition = [] {
    TConverterDefinition d;
    d.DllInfo = "Quorvane Library v.020808";
    d.DllVersion = 20808;
    d.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8;
    d.TypeList = "ppt";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = nullptr;
    d.TypeMatch = TTypeMatch::tmWhole;
    d.ConvertFile = ConvertFile;
    d.IsFileSupported = IsPresentationFile;
    d.ClearErrorOnConvert = true;
    d.KeepContentTestError = false;
    d.TrimTrailingZeros = true;
    return d;
  }();
  return definition;
}
