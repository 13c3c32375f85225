// Test converter "mp3": converts files and memory, 8-bit output only, never locks the host, takes every
// extension that begins with "mp3", and is built without SetCallback, so it cannot be cancelled.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"mp3"};
  static const char* const kDescriptions[] = {"Test Tag (MP3)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d = ScriptDefinition("mp3");
    d.DllInfo = "Test Library mp3";
    d.CompatibilityFlags = cfMemoryConversion | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "mp3";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = "-";
    d.TypeMatch = TTypeMatch::tmPrefix;
    d.ClearErrorOnContentTest = true;
    return d;
  }();
  return definition;
}
