// What the office back-ends share: the checks of a request, and the writing of the text that the office
// made (UTF-8 with or without a byte-order mark) to the target in the system's ANSI code page with CR LF
// line ends.
#pragma once

#include <string>

// False with "File "<Source>" not found" when Source does not exist.
bool OfficeSourceExists(const std::string& Source);
// False with "Unicode not supported" when Unicode is asked for.
bool OfficeRefusesUnicode(bool Unicode);
// Appends the UTF-8 file Utf8File (a byte-order mark dropped) to Ansi, converted.
void AppendOfficeText(const std::string& Utf8File, std::string& Ansi);
// Writes Data to Target, replacing it.
void WriteTargetFile(const std::string& Target, const std::string& Data);
