// Test converter "htm": converts files and memory, UTF-16 output, never locks the host, clears the error
// text in its content test and keeps the test's failure, answers "-" for a type index out of range.
#include "plugins/frame/ConverterFrame.h"
#include "tests/plugins/lib/ScriptConverter.h"

namespace {

constexpr const char* kTypes[] = {"htm", "html"};
constexpr const char* kDescriptions[] = {"Test Page (HTM)", "Test Page (HTML)"};

bool ReadFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return ScriptConvertFile("htm", FileName, Unicode, Progress, Text);
}
bool ReadMemory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return ScriptConvertMemory("htm", Data, Size, Unicode, Progress, Text);
}
bool Claims(const std::string& FileName) { return ScriptContentTest("htm", FileName); }

}  // namespace

const TConverterDefinition& ConverterDefinition() {
  static const TConverterDefinition definition{
      .DllInfo = "Test Library htm",
      .DllVersion = 2,
      .CompatibilityFlags = cfMemoryConversion | cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock,
      .TypeList = "htm;html",
      .Types = kTypes,
      .Descriptions = kDescriptions,
      .OutOfRange = "-",
      .TypeMatch = TTypeMatch::tmWhole,
      .ConvertFile = ReadFile,
      .ConvertMemory = ReadMemory,
      .IsFileSupported = Claims,
      .ClearErrorOnContentTest = true,
  };
  return definition;
}
