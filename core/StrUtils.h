// Free functions over 8-bit (std::string) and UTF-16 (std::u16string) text that every part uses:
// character search and counting, prefix and suffix tests, trimming and filling, replacing, character-set
// tests, quoting and unquoting of tokens, C-style escapes, comment stripping, ANSI/OEM conversion, ordinal
// comparison, grouped and Roman numbers, and FormatIfPercent for library messages.
//
// Positions are 1-based and 0 means "not found". A character set holds 8-bit characters; a UTF-16
// character is in it only when its code is below 256. Comparisons are case-sensitive and ordinal unless
// a function says otherwise. ANSI case rules and the ANSI/OEM code pages are those set in the
// national-language layer.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/WideFormat.h"

// A set of 8-bit characters.
using TCharSet = std::bitset<256>;
// The set of the characters of Chars.
TCharSet CharSetOf(std::string_view Chars);

// Search and tests.
int32_t CountChar(char Ch, const std::string& S);
int32_t WideCountChar(char16_t Ch, const std::u16string& S);
// Position of the first Ch at or after From (From <= 0 counts as 1); 0 when none or From > length.
int32_t CharPos(char Ch, const std::string& S, int32_t From = 1);
int32_t WideCharPos(char16_t Ch, const std::u16string& S, int32_t From = 1);
int32_t LastCharPos(char Ch, const std::string& S);
int32_t WideLastCharPos(char16_t Ch, const std::u16string& S);
// Position of the first character in CharSet at or after From (From < 1 counts as 1).
int32_t WideCharSetPos(const TCharSet& CharSet, const std::u16string& S, int32_t From = 1);
// Position of SubStr in S, both upper-cased with the ANSI case rules; 0 when absent.
int32_t TextPos(const std::string& SubStr, const std::string& S);
bool WideCharInSet(char16_t Ch, const TCharSet& CharSet);
bool ContainsCharIn(const std::string& S, const TCharSet& CharSet);
bool WideContainsCharIn(const std::u16string& S, const TCharSet& CharSet);
bool WideIsAscii(const std::u16string& S);
bool StartsWith(const std::string& S, const std::string& Prefix);
bool EndsWith(const std::string& S, const std::string& Suffix);
bool WideEndsWith(const std::u16string& S, const std::u16string& Suffix);
// The last character, NUL for an empty string.
char LastChar(const std::string& S);
char16_t WideLastChar(const std::u16string& S);

// Building and changing.
std::string UpperFirstChar(const std::string& S);
std::string LowerFirstChar(const std::string& S);
// S + Ch unless S is empty or already ends with Ch.
std::string AddCharIfMissing(const std::string& S, char Ch);
// S + "." unless S is empty or ends with ".", "!" or "?".
std::string AddPeriod(const std::string& S);
std::u16string WideAddPeriod(const std::u16string& S);
// S without the characters up to code 32 at both ends.
std::u16string WideTrim(const std::u16string& S);
std::string StrOfChar(char Ch, int32_t Count);
// S with Ch in front up to Width characters.
std::string PadLeft(char Ch, const std::string& S, int32_t Width);
// Every occurrence replaced, left to right; the inserted text is not searched again.
std::string ReplaceAll(const std::string& S, const std::string& OldPattern, const std::string& NewPattern);
std::string ReplaceChar(const std::string& S, char OldCh, char NewCh);
void ReplaceCharInPlace(std::string& S, char OldCh, char NewCh);
// The same length of text converted between the ANSI and the OEM code page.
std::string AnsiStrToOem(const std::string& S);
std::string OemStrToAnsi(const std::string& S);
// S cut at the first CommentChar outside single or double quotes, then trimmed.
std::string StripComment(const std::string& S, char CommentChar);
// C-style escapes decoded (\n gives CR LF).
std::string DecodeEscapes(const std::string& S);

// Quoting.
// Quote + S with every Quote character doubled + Quote.
std::string QuoteStr(const std::string& S, char Quote);
std::u16string WideQuoteStr(const std::u16string& S, char16_t Quote);
std::string SingleQuoteStr(const std::string& S);
std::string DoubleQuoteStr(const std::string& S);
std::u16string WideSingleQuoteStr(const std::u16string& S);
std::u16string WideDoubleQuoteStr(const std::u16string& S);
// Not empty, and only the characters "!", "#".."&" and "(".."~".
bool IsPlainToken(const std::string& S);
// Not empty, and no character of code 32 or below, no double and no single quote.
bool WideIsPlainToken(const std::u16string& S);
std::string SingleQuoteIfNeeded(const std::string& S);
std::string DoubleQuoteIfNeeded(const std::string& S);
std::u16string WideSingleQuoteIfNeeded(const std::u16string& S);
std::u16string WideDoubleQuoteIfNeeded(const std::u16string& S);
// S without its enclosing quotes (' or ") and with doubled quotes made single; otherwise S.
std::string UnquoteStr(const std::string& S);
std::u16string WideUnquoteStr(const std::u16string& S);

// Comparison and numbers.
// Ordinal comparison of two zero-terminated texts: the difference of the first code units that differ,
// 0 when equal; nullptr counts as empty.
int32_t WideStrComp(const char16_t* P1, const char16_t* P2);
int32_t WideCompareOrdinal(const std::u16string& S1, const std::u16string& S2);
// Decimal digits with the thousand separator of the format settings (as UTF-8) every three digits;
// a negative value gets a "-" in front.
std::string IntToStrGrouped(int64_t Value);
// The Roman numeral of N for 1..5000; empty outside.
std::string IntToRoman(int32_t N);
// Msg formatted with Args when Msg contains "%"; otherwise Msg unchanged. Raises EConvertError.
std::string FormatIfPercent(const std::string& Msg, const TFormatArgs& Args = {});
