// The MP3 tag converter library (imptag.so): the ID3v2, ID3v1 and Lyrics3 tags of MP3 files as a
// labelled text report (UTF-16, or 8-bit text when the host asks for it), from files and memory blocks. It
// exports no SetCallback: a report is made in one pass and cannot be cancelled.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/imptag/MP3Imp.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"mp3"};
  static const char* const kDescriptions[] = {"MPEG ID3/Lyrics3 Tag (MP3)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D;
    D.DllInfo = "Quorvane Library v.021010";
    D.DllVersion = 5378562;
    D.CompatibilityFlags = cfMemoryConversion | cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "mp3";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.TypeMatch = TTypeMatch::tmPrefix;
    D.ConvertFile = ConvertMP3File;
    D.ConvertMemory = ConvertMP3Memory;
    D.IsFileSupported = IsMP3File;
    D.ClearErrorOnConvert = true;
    D.ClearErrorOnContentTest = true;
    D.KeepContentTestError = true;
    return D;
  }();
  return Definition;
}
