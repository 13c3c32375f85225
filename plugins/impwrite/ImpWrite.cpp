// The Word document converter library (impwrite.so): the text of Word 97 and Word 6/95 documents. It
// converts files only; the memory exports refuse with "Converting memory not supported". A conversion
// leaves the previous error text alone until it fails.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/impwrite/DocImp.h"
#include "plugins/impwrite/MSWord2Txt.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"doc"};
  static const char* const kDescriptions[] = {"Microsoft\u00ae Word Document (DOC)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d;
    d.DllInfo = "Quorvane Library v.021010";
    d.DllVersion = 5378562;
    d.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "doc";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = "-";
    d.TypeMatch = TTypeMatch::tmPrefix;
    d.ConvertFile = ConvertWordFile;
    d.RefuseMemory = true;
    d.IsFileSupported = IsWordDocument;
    d.ClearErrorOnConvert = false;
    d.ClearErrorOnContentTest = false;
    d.KeepContentTestError = true;
    return d;
  }();
  return definition;
}
