// The four extra exports of the HTML converter library: a page in memory converted to text with its
// links and progress, for callers that show HTML pages as text (a viewer). Bound by name with dlsym.
//
// Buffer holds *Size bytes of the page (Size in), Charset is the page's qvnls charset (0: detect), and
// Unicode asks for UTF-16 text. The result is a block from ConvAllocResultBlock that the caller frees with
// ConvFreeResultBlock: the text, then two zero bytes; *Size receives the text's byte count. A cancel or
// any failure answers null with *Size 0; no exception leaves an export. Links (may be null) receives the
// links of the text; Progress (may be null) is polled during the conversion.
#pragma once

#include <cstdint>

#include "plugins/ConverterExports.h"

class IConvProgress;
class IHTMLLinks;

extern "C" {

using THTMLToTextWithLinks2 = void* (*)(const void* Buffer, IHTMLLinks* Links, IConvProgress* Progress,
                                        uint8_t Charset, TConvBool Unicode, int32_t* Size);
using THTMLToTextWithLinks = void* (*)(const void* Buffer, IHTMLLinks* Links, uint8_t Charset,
                                       TConvBool Unicode, int32_t* Size);
using THTMLToText2 = void* (*)(const void* Buffer, IConvProgress* Progress, uint8_t Charset,
                               TConvBool Unicode, int32_t* Size);
using THTMLToText = void* (*)(const void* Buffer, uint8_t Charset, TConvBool Unicode, int32_t* Size);

#ifdef SCRYLINE_CONVERTER_LIBRARY
void* HTMLToTextWithLinks2(const void* Buffer, IHTMLLinks* Links, IConvProgress* Progress, uint8_t Charset,
                           TConvBool Unicode, int32_t* Size);
void* HTMLToTextWithLinks(const void* Buffer, IHTMLLinks* Links, uint8_t Charset, TConvBool Unicode,
                          int32_t* Size);
void* HTMLToText2(const void* Buffer, IConvProgress* Progress, uint8_t Charset, TConvBool Unicode,
                  int32_t* Size);
void* HTMLToText(const void* Buffer, uint8_t Charset, TConvBool Unicode, int32_t* Size);
#endif
}
