// String forms of the national-language layer's buffer routines: charset text to UTF-16 and back, upper
// case, charset to charset, line breaks, charset names; and the program-wide UTF-16 comparison functions
// that every list and dialog uses, chosen once at start-up.
//
// Charsets are the one-byte codes of the qvnls layer (42 UTF-8, 43 UTF-16LE, 44 UTF-7, ...). Every
// routine sizes its output for the worst case of the target charset, so text is never cut; a conversion
// the layer refuses gives an empty result. The routines are pure and may be called from any thread; the
// comparison variables are set at start-up only.
#pragma once

#include <cstdint>
#include <string>

// Contract of lstrcmpiW: two zero-terminated UTF-16 texts compared without case; below, equal to or
// above zero.
using TWideCompareTextFunc = int32_t (*)(const char16_t* Text1, const char16_t* Text2);
// Contract of CompareStringW: locale, flags, text 1 and its length, text 2 and its length (-1 means
// zero-terminated); answers 1, 2 or 3 for less, equal or greater, 0 on failure.
using TWideCompareStringFunc = int32_t (*)(uint32_t Locale, uint32_t Flags, const char16_t* Text1,
                                           int32_t Chars1, const char16_t* Text2, int32_t Chars2);

// The program-wide comparisons. Set to the layer's functions before main runs; InitWideCompareFuncs
// sets them again (both), InitWideCompareText only the first.
extern TWideCompareTextFunc WideCompareTextFunc;
extern TWideCompareStringFunc WideCompareStringFunc;
void InitWideCompareFuncs();
void InitWideCompareText();

// The most bytes one UTF-16 unit takes in Charset: 3 for UTF-8, 2 for UTF-16 and the double-byte
// pages, 5 for UTF-7, 1 for the single-byte charsets.
int32_t CharsetMaxBytesPerChar(uint8_t Charset);

// The MIME (or IANA) name of Charset; empty for an unknown charset.
std::string GetHTMLCharsetName(uint8_t Charset);
// The charset of a MIME or IANA name, 0 when unknown.
uint8_t GetHTMLCharset(const std::string& Name);

// Text in Charset as UTF-16; empty when the layer refuses the charset.
std::u16string CharsetToWide(const std::string& S, uint8_t Charset);
// UTF-16 text in Charset; a character the charset cannot hold becomes a zero byte. Empty when the
// layer refuses the charset.
std::string WideToCharset(const std::u16string& W, uint8_t Charset);
// A copy upper-cased unit by unit (the length never changes).
std::u16string WideUpperStr(const std::u16string& W);
// S upper-cased through UTF-16 and back into Charset.
std::string CharsetUpperCase(const std::string& S, uint8_t Charset);
// S converted from FromCharset to ToCharset; S itself for equal charsets. A character the target cannot
// hold becomes a zero byte. Empty when the layer refuses either charset.
std::string ConvertCharsetStr(const std::string& S, uint8_t FromCharset, uint8_t ToCharset);
// Every line break (CR LF, lone CR, lone LF) made CR LF.
std::u16string AdjustLineBreaksWide(const std::u16string& W);
