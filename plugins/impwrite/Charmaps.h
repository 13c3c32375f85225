// Character maps of the Word document reader: the upper half of the Windows-1252 code page as UTF-16, for
// the 8-bit pieces of Word 97 documents, which are stored in that page whatever the system's own is.
#pragma once

#include <cstdint>

// The UTF-16 unit of the Windows-1252 byte B. Bytes below 0x80 are ASCII; the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the units of the same value.
char16_t Win1252ToWide(uint8_t B);
