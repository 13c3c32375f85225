// Test converter "htm": converts files and memory, UTF-16 output, never locks the host, clears the error
// text in its content test and keeps the test's failure, answers "-" for a type index out of range.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"htm", "html"};
  static const char* const kDescriptions[] = {"Test Page (HTM)", "Test Page (HTML)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d = ScriptDefinition("htm");
    d.DllInfo = "Test Library htm";
    d.CompatibilityFlags = cfMemoryConversion | cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "htm;html";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = "-";
    d.ClearErrorOnContentTest = true;
    return d;
  }();
  return definition;
}
