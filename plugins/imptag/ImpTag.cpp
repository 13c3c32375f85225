// The MP3 tag converter library (imptag.so): the ID3v2, ID3v1 and Lyrics3 tags of MP3 files as a
// labelled 8-bit text report, from files and memory blocks. It exports no SetCallback: a report is made
// in one pass and cannot be cancelled.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/imptag/MP3Imp.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"mp3"};
  static const char* const kDescriptions[] = {"MPEG ID3/Lyrics3 Tag (MP3)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d;
    d.DllInfo = "Quorvane Library v.021010";
    d.DllVersion = 5378562;
    d.CompatibilityFlags = cfMemoryConversion | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "mp3";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = "-";
    d.TypeMatch = TTypeMatch::tmPrefix;
    d.ConvertFile = ConvertMP3File;
    d.ConvertMemory = ConvertMP3Memory;
    d.IsFileSupported = IsMP3File;
    d.ClearErrorOnConvert = true;
    d.ClearErrorOnContentTest = true;
    d.KeepContentTestError = true;
    return d;
  }();
  return definition;
}
