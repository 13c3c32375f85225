// The Word document converter library (impwrite.so): the text of Word 97 and Word 6/95 documents. It
// converts files only; the memory exports refuse with "Converting memory not supported". A conversion
// leaves the previous error text alone until it fails.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/impwrite/DocImp.h"
#include "plugins/impwrite/MSWord2Txt.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"doc"};
  static const char* const kDescriptions[] = {"Microsoft\u00ae Word Document (DOC)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D;
    D.DllInfo = "Quorvane Library v.021010";
    D.DllVersion = 5378562;
    D.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "doc";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.TypeMatch = TTypeMatch::tmPrefix;
    D.ConvertFile = ConvertWordFile;
    D.RefuseMemory = true;
    D.IsFileSupported = IsWordDocument;
    D.ClearErrorOnConvert = false;
    D.ClearErrorOnContentTest = false;
    D.KeepContentTestError = true;
    return D;
  }();
  return Definition;
}
