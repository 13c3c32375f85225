// Test converter "doc": UTF-16 output, never locks the host, refuses memory blocks with an error text, and
// does not clear its error text when a conversion starts.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"doc"};
  static const char* const kDescriptions[] = {"Test Document (DOC)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d = ScriptDefinition("doc");
    d.DllInfo = "Test Library doc";
    d.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "doc";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = "-";
    d.TypeMatch = TTypeMatch::tmPrefix;
    d.ConvertMemory = nullptr;
    d.RefuseMemory = true;
    d.ClearErrorOnConvert = false;
    return d;
  }();
  return definition;
}
