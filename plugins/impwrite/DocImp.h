// The Word converter's conversion of a named document: the text in the form the caller asks for. Word 97
// documents are read as UTF-16 and Word 6/95 documents as 8-bit text; when the other form is asked for,
// the text is converted line by line (every line then ends with CR LF): UTF-16 to the Windows page that
// suits the text (1251 for Cyrillic text, else 1252), 8-bit text to UTF-16 from the code page of the
// language the document records, or from the charset its bytes suggest when it records none. 8-bit text
// asked for as 8-bit text stays as it is when it is in the system's Windows page or records no page;
// text in another recorded page is converted as UTF-16 text would be (1251 for Cyrillic, else 1252).
#pragma once

#include <string>

class IConvProgress;

// The frame's file reader: Text receives UTF-16LE bytes when Unicode, else 8-bit text. False when
// Progress said stop; raises EDocInvalid, EDocEncrypted or EComError (MSWord2Txt.h) on failure.
bool ConvertWordFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text);
