// The "excel" back-end: the office's spreadsheet saves every sheet of a workbook as comma-separated text,
// in sheet order, the sheets separated by CR LF, in the system's ANSI code page with CR LF line ends.
//
// For a workbook in the compound-file format (BIFF5 and later) the office runs once: it saves all sheets,
// each into a file named after its sheet, and the sheet names the workbook lists put the files in order.
// For any other workbook, or when the files do not answer the names, the office runs once per sheet
// until a sheet number gives no file (at most kMaxWorkbookSheets).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t kMaxWorkbookSheets = 256;

bool ConvertExcelWorkbook(const std::string& Source, const std::string& Target, bool Unicode);

// The names of the sheets of a compound-file workbook in their order, as UTF-8 (BIFF8 names as stored;
// BIFF5 names in the system's ANSI code page); empty when Source is not such a workbook or its sheet list
// cannot be read.
std::vector<std::string> WorkbookSheetNames(const std::string& Source);
