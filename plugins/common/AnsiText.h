// Conversion of converted text between UTF-16 and the system's Windows code page (the 8-bit output of
// the converter plug-ins and the 8-bit strings of their documents), through the national-language layer.
#pragma once

#include <string>
#include <string_view>

// UTF-16 to the Windows code page: composed first (a letter followed by a combining mark becomes the one
// character when the code page has it), then one byte per character; a character the code page lacks
// becomes "?" (a surrogate pair is one character).
std::string WideToAnsi(std::u16string_view Text);
// Windows code page to UTF-16, one character per byte.
std::u16string AnsiToWide(std::string_view Text);
