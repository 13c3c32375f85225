// Test converter "doc": UTF-16 output, never locks the host, refuses memory blocks with an error text, and
// does not clear its error text when a conversion starts.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"doc"};
  static const char* const kDescriptions[] = {"Test Document (DOC)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D = ScriptDefinition("doc");
    D.DllInfo = "Test Library doc";
    D.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "doc";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.TypeMatch = TTypeMatch::tmPrefix;
    D.ConvertMemory = nullptr;
    D.RefuseMemory = true;
    D.ClearErrorOnConvert = false;
    return D;
  }();
  return Definition;
}
