// Test converter "htm": converts files and memory, UTF-16 output, never locks the host, clears the error
// text in its content test and keeps the test's failure, answers "-" for a type index out of range.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"htm", "html"};
  static const char* const kDescriptions[] = {"Test Page (HTM)", "Test Page (HTML)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D = ScriptDefinition("htm");
    D.DllInfo = "Test Library htm";
    D.CompatibilityFlags = cfMemoryConversion | cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "htm;html";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.ClearErrorOnContentTest = true;
    return D;
  }();
  return Definition;
}
