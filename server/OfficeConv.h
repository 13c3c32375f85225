// The "winword", "excel" and "powerpoint" back-ends. They drive an office suite's applications, which
// this system does not have: each checks its request as the suite would (the source must exist; only
// "winword" takes UTF-16 output) and then fails with kOfficeNotAvailable.
#pragma once

#include <string>

inline constexpr const char* kOfficeNotAvailable = "The office application is not available on this system";

bool ConvertWordDocument(const std::string& Source, const std::string& Target, bool Unicode);
bool ConvertExcelWorkbook(const std::string& Source, const std::string& Target, bool Unicode);
bool ConvertPowerPointPresentation(const std::string& Source, const std::string& Target, bool Unicode);
