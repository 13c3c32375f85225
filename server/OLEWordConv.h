// The "winword" back-end: the office's word processor saves a document as text, 8-bit in the system's
// ANSI code page or, with Unicode, UTF-16LE with a byte-order mark; CR LF line ends either way.
#pragma once

#include <string>

bool ConvertWordDocument(const std::string& Source, const std::string& Target, bool Unicode);
