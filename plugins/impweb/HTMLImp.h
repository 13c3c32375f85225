// The HTML converter library (impweb.so): the export frame's readers around the HTML-to-text engine
// (html/). It recognises an HTML page by content (a text file that holds "<html" in any case), and
// converts files and memory blocks to UTF-16 or 8-bit text in the charset the page declares or its bytes
// suggest. An empty page converts to an empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IConvProgress;
class TVStream;

// Read buffer of the library's file streams.
constexpr int32_t kHTMLFileBuffer = 0x20000;

// The content test: the file is text and holds "<HTML" in any case. Raises when it cannot be read.
bool IsHTMLFile(const std::string& FileName);
// The text of the page in Source, from its position: UTF-16LE bytes when Unicode, else 8-bit text.
// False when Progress stopped the conversion; raises on a read failure.
bool ConvertHTMLStream(TVStream& Source, bool Unicode, IConvProgress* Progress, std::string& Text);
// The same over a named file and over a memory block.
bool ConvertHTMLFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text);
bool ConvertHTMLMemory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress,
                       std::string& Text);
