// Test converter "mp3": converts files and memory, 8-bit output only, never locks the host, takes every
// extension that begins with "mp3", and is built without SetCallback, so it cannot be cancelled.
#include "tests/plugins/lib/ScriptConverter.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"mp3"};
  static const char* const kDescriptions[] = {"Test Tag (MP3)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D = ScriptDefinition("mp3");
    D.DllInfo = "Test Library mp3";
    D.CompatibilityFlags = cfMemoryConversion | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "mp3";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.TypeMatch = TTypeMatch::tmPrefix;
    D.ClearErrorOnContentTest = true;
    return D;
  }();
  return Definition;
}
