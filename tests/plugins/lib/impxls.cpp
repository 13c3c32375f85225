// Test converter "xls": UTF-16 output, files only (the memory exports answer null silently), locks the host
// while it converts, drops trailing zero characters, keeps no error text from its content test, answers
// null for a type index out of range.
#include "plugins/frame/ConverterFrame.h"
#include "tests/plugins/lib/ScriptConverter.h"

namespace {

constexpr const char* kTypes[] = {"xls"};
constexpr const char* kDescriptions[] = {"Test Sheet (XLS)"};

bool ReadFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return ScriptConvertFile("xls", FileName, Unicode, Progress, Text);
}
bool Claims(const std::string& FileName) { return ScriptContentTest("xls", FileName); }

}  // namespace

const TConverterDefinition& ConverterDefinition() {
  static const TConverterDefinition definition{
      .DllInfo = "Test Library xls",
      .DllVersion = 1,
      .CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8,
      .TypeList = "xls",
      .Types = kTypes,
      .Descriptions = kDescriptions,
      .OutOfRange = nullptr,
      .TypeMatch = TTypeMatch::tmWhole,
      .ConvertFile = ReadFile,
      .IsFileSupported = Claims,
      .KeepContentTestError = false,
      .TrimTrailingZeros = true,
  };
  return definition;
}
