// Test converter "xls": UTF-16 output, files only (the memory exports answer null silently), locks the host
// while it converts, drops trailing zero characters, keeps no error text from its content test, answers
// null for a type index out of range.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"xls"};
  static const char* const kDescriptions[] = {"Test Sheet (XLS)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d = ScriptDefinition("xls");
    d.DllInfo = "Test Library xls";
    d.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8;
    d.TypeList = "xls";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.ConvertMemory = nullptr;
    d.KeepContentTestError = false;
    d.TrimTrailingZeros = true;
    return d;
  }();
  return definition;
}
