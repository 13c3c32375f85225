// The spreadsheet converter library: workbooks (.xls, BIFF5/BIFF7 and BIFF8) as tab-separated text.
#include "plugins/frame/ConverterFrame.h"
#include "plugins/impcalc2/Workbook.h"

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"xls"};
  static const char* const kDescriptions[] = {"Microsoft\u00ae Excel Sheet (XLS)"};
  static const TConverterDefinition definition = [] {
    TConverterDefinition d;
    d.DllInfo = "Quorvane Library v.021010";
    d.DllVersion = 21010;
    d.CompatibilityFlags = cfUnicodeOutput | cfFlag4 | cfFlag8 | cfNoBusyLock;
    d.TypeList = "xls";
    d.Types = kTypes;
    d.Descriptions = kDescriptions;
    d.OutOfRange = nullptr;
    d.TypeMatch = TTypeMatch::tmWhole;
    d.ConvertFile = ConvertWorkbookFile;
    d.IsFileSupported = IsWorkbookFile;
    d.ClearErrorOnConvert = true;
    d.KeepContentTestError = false;
    d.TrimTrailingZeros = true;
    return d;
  }();
  return definition;
}
