// The "excel" back-end: the office's spreadsheet saves every sheet of a workbook as comma-separated text,
// in sheet order, the sheets separated by CR LF, in the system's ANSI code page with CR LF line ends.
// The office makes one run per sheet, until a sheet number gives no file (at most kMaxWorkbookSheets).
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t kMaxWorkbookSheets = 256;

bool ConvertExcelWorkbook(const std::string& Source, const std::string& Target, bool Unicode);
