// Test converter "mp3": converts files and memory, 8-bit output only, never locks the host, takes every
// extension that begins with "mp3", and is built without SetCallback, so it cannot be cancelled.
#include "plugins/frame/ConverterFrame.h"
#include "tests/plugins/lib/ScriptConverter.h"

namespace {

constexpr const char* kTypes[] = {"mp3"};
constexpr const char* kDescriptions[] = {"Test Tag (MP3)"};

bool ReadFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return ScriptConvertFile("mp3", FileName, Unicode, Progress, Text);
}
bool ReadMemory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress, std::string& Text) {
  return ScriptConvertMemory("mp3", Data, Size, Unicode, Progress, Text);
}
bool Claims(const std::string& FileName) { return ScriptContentTest("mp3", FileName); }

}  // namespace

const TConverterDefinition& ConverterDefinition() {
  static const TConverterDefinition definition{
      .DllInfo = "Test Library mp3",
      .DllVersion = 3,
      .CompatibilityFlags = cfMemoryConversion | cfFlag4 | cfFlag8 | cfNoBusyLock,
      .TypeList = "mp3",
      .Types = kTypes,
      .Descriptions = kDescriptions,
      .OutOfRange = "-",
      .TypeMatch = TTypeMatch::tmPrefix,
      .ConvertFile = ReadFile,
      .ConvertMemory = ReadMemory,
      .IsFileSupported = Claims,
      .ClearErrorOnContentTest = true,
  };
  return definition;
}
