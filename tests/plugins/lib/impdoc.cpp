// Test converter "doc": UTF-16 output, never locks the host, refuses memory blocks with an error text, and
// does not clear its error text when a conversion starts.
#include "plugins/frame/ConverterFrame.h"
#include "tests/plugins/lib/ScriptConverter.h"

namespace {

constexpr const char* kTypes[] = {"doc"};
constexpr const char* kDescriptions[] = {"Test Document (DOC)"};

bool ReadFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return ScriptConvertFile("doc", FileName, Unicode, Progress, Text);
}
bool Claims(const std::string& FileName) { return ScriptContentTest("doc", FileName); }

}  // namespace

const TConverterDefinition& ConverterDefinition() {
  static const TConverterDefinition definition{
      .DllInfo = "Test Library doc",
      .DllVersion = 4,
      .CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock,
      .TypeList = "doc",
      .Types = kTypes,
      .Descriptions = kDescriptions,
      .OutOfRange = "-",
      .TypeMatch = TTypeMatch::tmPrefix,
      .ConvertFile = ReadFile,
      .RefuseMemory = true,
      .IsFileSupported = Claims,
      .ClearErrorOnConvert = false,
  };
  return definition;
}
