// Text of ID3 tags: the four ID3v2 text encodings turned into 8-bit text in the Windows code page, the
// cleaning of values for report lines, and the content type (genre) list made readable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text in ID3v2 text encoding Encoding as 8-bit text in the Windows code page: 0 ISO-8859-1 (taken as
// it is), 1 UTF-16 with a byte-order mark (a mark behind a zero character, where a value follows its
// description or the next entry of a list begins, is obeyed and dropped too), 2 UTF-16 big-endian,
// 3 UTF-8; any other encoding gives "".
// Zero characters survive as zero bytes; a character the code page lacks becomes "?".
std::string DecodeID3Text(uint8_t Encoding, std::string_view Bytes);

// A value cleaned for a report line: terminating zero bytes dropped, other zero bytes (separators of a
// list) and every line break (CR LF, a lone CR or LF) made CR LF.
std::string CleanID3Text(std::string_view Text);

// S without the blanks and control characters at either end.
std::string TrimID3Blanks(std::string_view S);
// Whether S is one or more decimal digits and nothing else.
bool IsDecimalText(std::string_view S);

// The content type as a list of entries joined with one blank: genre numbers become names, "RX" and
// "CR" become "Remix" and "Cover", empty entries and repeats are dropped. Version 2.3 writes the list as
// "(17)(RX)Text" (a "((" starts a text that begins with "("; an unclosed "(" makes the rest one entry);
// version 2.4 separates entries with zero bytes. Raw is the frame's text behind the encoding byte.
std::string RewriteContentType(std::string_view Raw, uint8_t Version);
