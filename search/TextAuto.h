// Questions about a stream's text: which charset it is in (DetectStreamCharset), whether it is text at
// all (IsTextStream), and the conversion of a whole text stream from one charset to another, line by line
// (ConvertTextCharset, for the document plug-ins).
//
// Charsets are the qvnls layer's one-byte codes. The detection routines leave the stream's position where
// it was, also when they fail. One thread at a time per stream.
#pragma once

#include <cstdint>
#include <string>

class TVStream;

// Flags of the Options byte of DetectStreamCharset (and of the Flags of ConvertTextCharset, which hands
// them on).
constexpr uint8_t kDetectFlagUtf16 = 0x01;     // recognise UTF-16 without a byte-order mark
constexpr uint8_t kDetectFlagUtf8 = 0x02;      // recognise UTF-8 without a byte-order mark
constexpr uint8_t kDetectFlagEightBit = 0x04;  // answer an 8-bit charset for other text
constexpr uint8_t kDetectFlagCyrillic = 0x08;  // let the Cyrillic guess run; also: pick the 8-bit
                                               // target of ConvertTextCharset by the text
constexpr uint8_t kDetectFlagNarrow = 0x10;    // with kDetectFlagCyrillic: only the first family

// The charset of the text from the stream's position: at most MaxBytes bytes are sampled (MaxBytes <= 0:
// the whole rest of the stream), starting at an even offset (one byte is skipped at an odd position).
// Details comes back with the detection word; its bit 31 means big-endian UTF-16.
uint8_t DetectStreamCharset(TVStream& Stream, uint8_t Options, uint32_t& Details, int32_t MaxBytes);
// The same without the details.
uint8_t GetStreamCharset(TVStream& Stream, uint8_t Options, int32_t MaxBytes);

// Whether the stream from its position holds text: a byte-order mark, or no control characters other
// than tab, line breaks, 20, 21, 26, 27 and 127, no zero bytes (except in UTF-16), and at least one
// letter, digit or character of 128 and above. MaxBytes > 0 limits the bytes examined; MaxBytes <= 0
// examines the whole stream. An empty stream is not text.
bool IsTextStream(TVStream& Stream, int32_t MaxBytes);

// Converts the text of Source (read from position 0) into Dest, line by line, every line ended with
// CR LF, and answers the charset written: 43 when ToUnicode; otherwise 18, or 17 when kDetectFlagCyrillic
// is in Flags and the text is Cyrillic. FromCharset 0 detects the source charset with Flags.
// Source's position is left after the text; its Filter is as it was.
uint8_t ConvertTextCharset(TVStream& Source, TVStream& Dest, uint8_t FromCharset, bool ToUnicode,
                           uint8_t Flags);

// The conversion loop: lines of Source in FromCharset (big-endian UTF-16 when BigEndian) written to Dest
// in ToCharset, each followed by CR LF. A long line is joined from its pieces before it is converted, so
// no character is split. With a DefaultChar, every character the target cannot hold becomes it; with 0
// it stays a zero byte.
void ConvertTextLines(TVStream& Source, TVStream& Dest, uint8_t FromCharset, char DefaultChar, bool BigEndian,
                      uint8_t ToCharset);
// One complete line (bytes in FromCharset, UTF-16LE bytes for 43) written to Dest in ToCharset,
// followed by CR LF.
void WriteConvertedLine(TVStream& Dest, const std::string& Line, uint8_t FromCharset, char DefaultChar,
                        uint8_t ToCharset);
