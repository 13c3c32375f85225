// The passes of the HTML-to-text engine and the choice of character sets. A conversion reads the page at
// least twice: a detection pass (byte-order mark, UTF-8 or UTF-16 by their bytes, a META charset, pure
// ASCII) and a conversion pass in the charset found; Cyrillic pages are guessed among the Russian code
// pages, and 8-bit output is tried in windows-1251 against windows-1252 when the first loses characters.
//
// Streams: Source is read from its position; each routine leaves it where a later pass can rewind to.
// Dest receives the text from its position (UTF-16LE bytes when the target is 43). Links, when given,
// receives every link of the text; Progress, when given, is polled once every 256 tokens and stops the
// pass when it answers false. A pass puts a byte-swapping filter on Source for a big-endian UTF-16 page
// and takes it off again on every path.
//
// Answers: the charset of the result (or the charset detected); 0 only when Progress stopped the pass.
// Stream errors raise out of every routine.
#pragma once

#include <cstdint>

class IConvProgress;
class IHTMLLinks;
class TVStream;

// One pass over Source: a conversion into Dest (DetectOnly false) answering the source charset it used,
// or a detection (Dest may be null) answering the charset it found (0: undecided). MetaCharset lets a
// META tag name the charset; SourceCharset 0 lets the byte-order mark and the bytes decide.
uint8_t HTMLToTextPass(TVStream& Source, TVStream* Dest, IHTMLLinks* Links, uint8_t ReplacementChar,
                       bool DetectOnly, bool MetaCharset, uint8_t TargetCharset, uint8_t SourceCharset,
                       IConvProgress* Progress);
// A conversion pass.
uint8_t RunHTMLPass(TVStream& Source, TVStream& Dest, IHTMLLinks* Links, uint8_t ReplacementChar,
                    bool MetaCharset, uint8_t TargetCharset, uint8_t SourceCharset, IConvProgress* Progress);
// The page's charset as far as its bytes and META tags tell it; 0 when undecided (8-bit text, no META).
uint8_t DetectHTMLCharset(TVStream& Source, IConvProgress* Progress);
// The text of the page in Charset (0: guessed from the bytes) into Dest, as UTF-16 (Unicode) or as 8-bit
// text; answers the charset of the result (43 for UTF-16). Cyrillic lets the Russian code pages be
// guessed and windows-1251 be the 8-bit target for Cyrillic and Unicode pages.
uint8_t ConvertHTMLCharset(TVStream& Source, TVStream& Dest, IHTMLLinks* Links, bool Unicode, bool Cyrillic,
                           uint8_t Charset, IConvProgress* Progress);
// ConvertHTMLCharset with the charset DetectHTMLCharset finds.
uint8_t ConvertHTML(TVStream& Source, TVStream& Dest, IHTMLLinks* Links, bool Unicode, bool Cyrillic,
                    IConvProgress* Progress);
