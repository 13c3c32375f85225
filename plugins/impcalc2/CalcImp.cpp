// The spreadsheet converter library: workbooks (.xls, BIFF5/BIFF7 and BIFF8) as tab-separated text.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/impcalc2/Workbook.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"xls"};
  static const char* const kDescriptions[] = {"Microsoft\u00ae Excel Sheet (XLS)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D;
    D.DllInfo = "Quorvane Library v.021010";
    D.DllVersion = 21010;
    D.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    D.TypeList = "xls";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = nullptr;
    D.TypeMatch = TTypeMatch::tmWhole;
    D.ConvertFile = ConvertWorkbookFile;
    D.IsFileSupported = IsWorkbookFile;
    D.ClearErrorOnConvert = true;
    D.KeepContentTestError = false;
    D.TrimTrailingZeros = true;
    return D;
  }();
  return Definition;
}
