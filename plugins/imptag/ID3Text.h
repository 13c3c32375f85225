// Text of ID3 tags: the four ID3v2 text encodings turned into 8-bit text in the Windows code page, the
// cleaning of values for report lines, and the content type (genre) list made readable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The two forms a report is made in: 8-bit text in the Windows code page, or UTF-8 (turned into the
// UTF-16 output when the host asks for it). Every value is brought into the report's form as it is read.
enum class TID3Form : uint8_t { Ansi, Utf8 };

// Text in ID3v2 text encoding Encoding in the report's Form: 0 ISO-8859-1 (8-bit text read in the Windows
// code page, as the 8-bit report has always read it), 1 UTF-16 with a byte-order mark (a mark behind a
// zero character, where a value follows its description or the next entry of a list begins, is obeyed
// and dropped too), 2 UTF-16 big-endian, 3 UTF-8; any other encoding gives "".
// Zero characters survive as zero bytes; in the 8-bit form a character the code page lacks becomes "?".
std::string DecodeID3Text(uint8_t Encoding, std::string_view Bytes, TID3Form Form = TID3Form::Ansi);

// 8-bit text in the Windows code page (an ID3v1 field, a Lyrics3 field, a URL) in the report's Form.
std::string AnsiToID3Form(std::string_view Text, TID3Form Form);
// UTF-16 in the report's Form.
std::string WideToID3Form(std::u16string_view Text, TID3Form Form);

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
