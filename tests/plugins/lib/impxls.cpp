// Test converter "xls": UTF-16 output, files only (the memory exports answer null silently), locks the host
// while it converts, drops trailing zero characters, keeps no error text from its content test, answers
// null for a type index out of range.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"xls"};
  static const char* const kDescriptions[] = {"Test Sheet (XLS)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D = ScriptDefinition("xls");
    D.DllInfo = "Test Library xls";
    D.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8;
    D.TypeList = "xls";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.ConvertMemory = nullptr;
    D.KeepContentTestError = false;
    D.TrimTrailingZeros = true;
    return D;
  }();
  return Definition;
}
