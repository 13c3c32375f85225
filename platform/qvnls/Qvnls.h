// The national-language layer: code pages, conversion between charsets, case mapping, comparison,
// charset detection and buffer search, built on ICU. The rest of the system reaches every charset
// through the one-byte charset codes declared here.
//
// Conventions of every routine below:
// - Sizes of 8-bit buffers are in bytes; "chars" are UTF-16 code units.
// - Buffer routines answer the number of bytes written, or a negative error (kErrorCharset,
//   kErrorTargetTooSmall, kErrorArgument). A target that is too small writes nothing useful and
//   answers kErrorTargetTooSmall: output is never cut silently.
// - Unless said otherwise, a character that the target charset cannot hold becomes a zero byte (the
//   "none" answer of the single-character routines), so callers can count or replace what was lost.
//
// Threads: the tables are built once, on first use, and are read-only afterwards; every routine may be
// called from any thread. The system code pages (SetSystemCodePages) are changed only at start-up and
// in tests, while no other thread uses the layer.
#pragma once

#include <cstdint>

namespace qvnls {

// The layer's version. Callers refuse to run with a version below 21017.
constexpr int kVersion = 21017;
int GetVersion();

// ---------------------------------------------------------------------------------------------------
// Charset codes. One byte each; 0 is "none" (and, where a charset is taken, the system Windows code
// page). The numbers of the ISO 8859 parts follow the part number; the Windows pages run from 16, the
// DOS (OEM) pages from 30. Unlisted numbers are unassigned and every routine rejects them.
//
//  code  charset            code page   8-bit?   Windows charset of the same script (CharsetToWindows)
//  1-11  ISO-8859-1 .. -11  28591..     yes      1,3,10 -> 18; 2 -> 16; 4 -> 23; 5 -> 17; 6 -> 22;
//                                                7 -> 19; 8 -> 21; 9 -> 20; 11 -> 25
//  13    ISO-8859-13        28603       yes      23
//  14    KOI8-R             20866       yes      17
//  15    KOI8-U             21866       yes      17
//  16-24 windows-1250..1258 1250..1258  yes      itself
//  25    windows-874        874         yes      itself
//  26    ISO-8859-15        28605       yes      18
//  30    IBM437             437         yes      18
//  31    IBM850             850         yes      18
//  32    IBM852             852         yes      16
//  33    IBM737             737         yes      19
//  34    IBM857             857         yes      20
//  35    IBM775             775         yes      23
//  36    IBM866             866         yes      17
//  37    IBM862             862         yes      21
//  38    IBM720             720         yes      22
//  42    UTF-8              65001       no       itself (at most 3 bytes per UTF-16 unit)
//  43    UTF-16LE           1200        no       itself
//  44    UTF-7              65000       no       itself (at most 5 bytes per UTF-16 unit)
//  45    Shift_JIS          932         no       itself (at most 2 bytes per UTF-16 unit)
//  46    GBK                936         no       itself (at most 2 bytes per UTF-16 unit)
//  47    EUC-KR (UHC)       949         no       itself (at most 2 bytes per UTF-16 unit)
//  48    Big5               950         no       itself (at most 2 bytes per UTF-16 unit)
// ---------------------------------------------------------------------------------------------------
constexpr uint8_t kCharsetNone = 0;
constexpr uint8_t kCharsetIso8859_1 = 1;
constexpr uint8_t kCharsetIso8859_2 = 2;
constexpr uint8_t kCharsetIso8859_3 = 3;
constexpr uint8_t kCharsetIso8859_4 = 4;
constexpr uint8_t kCharsetIso8859_5 = 5;
constexpr uint8_t kCharsetIso8859_6 = 6;
constexpr uint8_t kCharsetIso8859_7 = 7;
constexpr uint8_t kCharsetIso8859_8 = 8;
constexpr uint8_t kCharsetIso8859_9 = 9;
constexpr uint8_t kCharsetIso8859_10 = 10;
constexpr uint8_t kCharsetIso8859_11 = 11;
constexpr uint8_t kCharsetIso8859_13 = 13;
constexpr uint8_t kCharsetKoi8R = 14;
constexpr uint8_t kCharsetKoi8U = 15;
constexpr uint8_t kCharsetWin1250 = 16;
constexpr uint8_t kCharsetWin1251 = 17;
constexpr uint8_t kCharsetWin1252 = 18;
constexpr uint8_t kCharsetWin1253 = 19;
constexpr uint8_t kCharsetWin1254 = 20;
constexpr uint8_t kCharsetWin1255 = 21;
constexpr uint8_t kCharsetWin1256 = 22;
constexpr uint8_t kCharsetWin1257 = 23;
constexpr uint8_t kCharsetWin1258 = 24;
constexpr uint8_t kCharsetWin874 = 25;
constexpr uint8_t kCharsetIso8859_15 = 26;
constexpr uint8_t kCharsetDos437 = 30;
constexpr uint8_t kCharsetDos850 = 31;
constexpr uint8_t kCharsetDos852 = 32;
constexpr uint8_t kCharsetDos737 = 33;
constexpr uint8_t kCharsetDos857 = 34;
constexpr uint8_t kCharsetDos775 = 35;
constexpr uint8_t kCharsetDos866 = 36;
constexpr uint8_t kCharsetDos862 = 37;
constexpr uint8_t kCharsetDos720 = 38;
constexpr uint8_t kCharsetUtf8 = 42;
constexpr uint8_t kCharsetUtf16LE = 43;
constexpr uint8_t kCharsetUtf7 = 44;
constexpr uint8_t kCharsetShiftJis = 45;
constexpr uint8_t kCharsetGbk = 46;
constexpr uint8_t kCharsetEucKr = 47;
constexpr uint8_t kCharsetBig5 = 48;

// Negative answers of the buffer routines.
constexpr int32_t kErrorCharset = -1;         // unknown charset, or one the routine cannot use
constexpr int32_t kErrorTargetTooSmall = -2;  // the whole result does not fit the target
constexpr int32_t kErrorArgument = -3;        // a negative size or a null buffer with a size

// True for an assigned charset code; IsSingleByteCharset for the codes whose characters are one byte.
bool IsKnownCharset(uint8_t Charset);
bool IsSingleByteCharset(uint8_t Charset);

// ---------------------------------------------------------------------------------------------------
// The system code pages: "the Windows code page" (ANSI) and "the OEM code page" of this process.
// Defaulted on first use from the locale's language the way Windows pairs them (Western 1252/850,
// Central European 1250/852, Cyrillic 1251/866, Greek 1253/737, Turkish 1254/857, Hebrew 1255/862,
// Arabic 1256/720, Baltic 1257/775, Vietnamese 1258/1258, Thai 874/874; any other language, and the
// C locale, 1252/850). Both must be single-byte pages of the table above.
// ---------------------------------------------------------------------------------------------------

// Sets both pages and rebuilds every table that depends on them. False (and nothing changed) when a
// page has no single-byte charset code. Call at start-up or in tests only, while no other thread
// uses the layer.
bool SetSystemCodePages(int32_t AnsiCodePage, int32_t OemCodePage);
// Back to the pages the locale gives.
void ResetSystemCodePages();

// Locale identifiers accepted by the code-page queries: the system and user defaults answer the
// setting above; another Windows locale identifier answers its language's pair.
constexpr uint32_t kLocaleSystemDefault = 2048;  // LOCALE_SYSTEM_DEFAULT
constexpr uint32_t kLocaleUserDefault = 1024;    // LOCALE_USER_DEFAULT
int32_t GetWindowsCodePage(uint32_t Locale);     // negative for a locale of unknown language
int32_t GetOEMCodePage(uint32_t Locale);         // negative for a locale of unknown language

// The charset codes of the two system pages (never 0).
uint8_t GetAnsiCharset();
uint8_t GetOemCharset();

// ---------------------------------------------------------------------------------------------------
// Conversion. Charset 0 stands for the system Windows code page. Single-byte charsets map every byte:
// a byte the code page leaves undefined stands for the unit U+0080-U+009F of the same value below
// 0xA0 (0x81 -> U+0081, as the system converter does) and for the private-use unit U+F700 + byte
// above, so every byte string survives a round trip through UTF-16. Encoding uses only the code
// page's own characters: no look-alike ("A" for "Ā") stands in for a missing one.
// ---------------------------------------------------------------------------------------------------

// Text in `Charset` to UTF-16LE. Bytes the charset cannot decode (malformed UTF-8, a lone lead byte)
// become U+FFFD. Needs at most 2 target bytes per source byte.
int32_t BufToWide(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes,
                  uint8_t Charset);
// UTF-16LE to `Charset`. A character the charset cannot hold becomes a zero byte; a lone surrogate
// becomes U+FFFD in the Unicode charsets. A trailing odd byte of the source is ignored.
int32_t WideToBuf(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes,
                  uint8_t Charset);
// From one charset to another through UTF-16; a character the target cannot hold becomes
// `DefaultChar` (0 writes a zero byte).
int32_t ConvertBufsDef(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes,
                       uint8_t FromCharset, uint8_t ToCharset, char DefaultChar = 0);
// In place between two single-byte charsets; a byte the target cannot hold becomes `DefaultChar`.
// Answers the bytes converted, or kErrorCharset when either charset is not single-byte.
int32_t ConvertBufDef(void* Buffer, int32_t Bytes, uint8_t FromCharset, uint8_t ToCharset,
                      char DefaultChar = '?');

// Every line break of the UTF-16 source (CR LF, a lone CR, a lone LF) becomes CR LF. Needs at most
// twice the source bytes.
int32_t AdjustLineBreaksBufWide(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes);

// Single characters of single-byte charsets; 0 means none (an undefined byte, a character not in the
// charset, and in a multi-byte charset every byte or character but ASCII).
char16_t CharToWideChar(uint8_t Ch, uint8_t Charset);
uint8_t WideCharToChar(char16_t Ch, uint8_t Charset);
// The upper-case form of a character of `Charset`; 0 when the upper-case letter is not in the charset
// (the character itself when it has no upper case).
uint8_t UpperChar(uint8_t Ch, uint8_t Charset);
// A character of `FromCharset` in `ToCharset`; 0 when it has no place there.
uint8_t ConvertChar(uint8_t Ch, uint8_t FromCharset, uint8_t ToCharset);

// Translation of the bytes 128-255 from one single-byte charset to another: entry i is byte 128 + i
// in `ToCharset`, 0 when it has no place there. Null for equal charsets or when either is not
// single-byte. The map lives until the process ends.
const uint8_t* GetTransMap(uint8_t FromCharset, uint8_t ToCharset);

// ---------------------------------------------------------------------------------------------------
// Case. Upper case is the simple one-to-one mapping of each UTF-16 unit (ICU's u_toupper), so the
// length never changes (no "SS" for sharp s) and a pattern and the text it is matched against are
// always folded by the same table. Surrogates and letters whose upper case lies outside the BMP are
// left as they are.
// ---------------------------------------------------------------------------------------------------
void WideUpperBuf(char16_t* Buffer, int32_t Chars);
// The 65,536-entry table behind WideUpperBuf: table[unit] is the upper-case unit.
const char16_t* WideUpperTable();

// ---------------------------------------------------------------------------------------------------
// Comparison, by ICU collation of the root locale. The Text variants ignore case: they answer 0 only
// when the texts are equal after upper-casing unit by unit (WideUpperBuf); texts that the collator
// ranks equal but that differ otherwise are ordered by their upper-cased units. The Str variants
// answer 0 only for identical texts (collation, then the code units break ties). Both orders are
// total. The answer is negative, 0 or positive.
// ---------------------------------------------------------------------------------------------------
int32_t CompareTextWide(const char16_t* Text1, const char16_t* Text2);  // zero-terminated
int32_t CompareStrWide(const char16_t* Text1, const char16_t* Text2);   // zero-terminated
int32_t CompareTextBufWide(const char16_t* Text1, const char16_t* Text2, int32_t Chars1, int32_t Chars2);
int32_t CompareStrBufWide(const char16_t* Text1, const char16_t* Text2, int32_t Chars1, int32_t Chars2);
// The contracts of lstrcmpiW and CompareStringW (WinNls.h), kept under the names older callers use.
int32_t Emulate_lstrcmpiW(const char16_t* Text1, const char16_t* Text2);
int32_t Emulate_CompareStringW(uint32_t Locale, uint32_t Flags, const char16_t* Text1, int32_t Chars1,
                               const char16_t* Text2, int32_t Chars2);

// A letter or a digit (ICU's u_isalnum).
bool UnicodeIsAlphaNum(char16_t Ch);

// ---------------------------------------------------------------------------------------------------
// Zero-terminated UTF-16 texts and value scans.
// ---------------------------------------------------------------------------------------------------
int32_t StrLenW(const char16_t* Text);
// The first of the first `Chars` units equal to `Ch`, or null.
const char16_t* StrLScanW(const char16_t* Text, char16_t Ch, int32_t Chars);
// Swaps the two bytes of every unit of a zero-terminated text in place (UTF-16BE <-> UTF-16LE).
void StrSwapByteOrder(char16_t* Text);
// The first index in 0..LastIndex whose byte / 16-bit unit equals `Value`, or -1. The 16-bit form
// reads units at any byte address.
int32_t IndexOfValue8(const void* Buffer, uint8_t Value, int32_t LastIndex);
int32_t IndexOfValue16(const void* Buffer, uint16_t Value, int32_t LastIndex);
// How many of the first `Count` bytes equal `Value`.
int32_t CountEqualToValue8(const void* Buffer, uint8_t Value, int32_t Count);

// ---------------------------------------------------------------------------------------------------
// Exact search. Zero bytes are ordinary bytes; buffers may lie at any address.
// ---------------------------------------------------------------------------------------------------
// The byte offset of the first occurrence of the pattern in the buffer, or -1 (also for an empty
// pattern, a pattern longer than the buffer and negative lengths).
int32_t FindInBuf(const void* Pattern, int32_t PatternBytes, const void* Buffer, int32_t BufferBytes);
// The same over UTF-16 units: lengths and the answer count units, and a hit always starts on a unit
// boundary of the buffer (never at an odd byte).
int32_t FindWordsInBuf(const void* Pattern, int32_t PatternChars, const void* Buffer, int32_t BufferChars);
// A pattern prepared once for many searches: the two positions the search tests first are chosen when
// it is made, not on every call (for a long pattern that choice costs as much as searching a window).
// It points into the pattern, which must stay where it is, unchanged, while it is used.
struct TBufPattern {
  const void* Pattern = nullptr;
  int32_t Length = 0;  // bytes for FindInBuf, UTF-16 units for FindWordsInBuf
  int32_t First = 0, Second = 0;
};
TBufPattern PrepareBufPattern(const void* Pattern, int32_t PatternBytes);
TBufPattern PrepareWordsPattern(const void* Pattern, int32_t PatternChars);
// FindInBuf and FindWordsInBuf of a prepared pattern: the same answers.
int32_t FindInBuf(const TBufPattern& Pattern, const void* Buffer, int32_t BufferBytes);
int32_t FindWordsInBuf(const TBufPattern& Pattern, const void* Buffer, int32_t BufferChars);

// ---------------------------------------------------------------------------------------------------
// Charset detection. The answers depend only on the bytes and the options, never on earlier calls.
// ---------------------------------------------------------------------------------------------------
// Option word bits of DetermineCharsetEx (in), and the detail bit it sets (out).
constexpr uint32_t kDetectCyrillic = 0x0000000F;    // 8-bit families to guess among; any bit lets the
                                                    // Cyrillic guess run (the only family guessed)
constexpr uint32_t kDetectEightBit = 0x00000100;    // answer an 8-bit charset for text that is not
                                                    // Unicode (else 0)
constexpr uint32_t kDetectStartOfStream = 0x10000;  // the sample starts the stream: byte-order marks
                                                    // count
constexpr uint32_t kDetectUtf8 = 0x20000;           // recognise UTF-8 without a byte-order mark
constexpr uint32_t kDetectUtf16 = 0x40000;          // recognise UTF-16 without a byte-order mark
constexpr uint32_t kDetectBigEndian = 0x80000000u;  // out: the answer 43 is big-endian UTF-16

// Detection in this order: a byte-order mark (with kDetectStartOfStream: EF BB BF -> 42, FF FE -> 43,
// FE FF -> 43 big-endian); UTF-16 by its zero bytes (kDetectUtf16); UTF-8 with at least one valid
// multi-byte sequence and no invalid one (kDetectUtf8; a sequence cut by the sample's end is allowed);
// then, with kDetectEightBit, the Cyrillic guess (when allowed and TextIsPossiblyRussian) or the system
// Windows charset; otherwise 0. `Options` comes back with kDetectBigEndian set or cleared.
uint8_t DetermineCharsetEx(const void* Buffer, int32_t Bytes, uint32_t& Options);

// Candidate bits of DetermineRussianCharsetEx; windows-1251 is always a candidate.
constexpr uint32_t kRussianKoi8 = 1;  // KOI8-R (answered as 14)
constexpr uint32_t kRussianIso = 2;   // ISO-8859-5
constexpr uint32_t kRussianDos = 4;   // IBM866
// The Cyrillic 8-bit charset under which the bytes read most like Russian text (by letter frequency,
// lower case preferred); windows-1251 (17) when nothing decides. The usual request, 5, weighs
// windows-1251, KOI8-R and IBM866.
uint8_t DetermineRussianCharsetEx(const void* Buffer, int32_t Bytes, uint32_t Candidates);
// True when the 8-bit text holds words made only of bytes 128-255 and more of them than of words that
// mix such bytes with ASCII letters (accented Western words).
bool TextIsPossiblyRussian(const void* Buffer, int32_t Bytes);

// ---------------------------------------------------------------------------------------------------
// Charset names and code pages.
// ---------------------------------------------------------------------------------------------------
// The charset of an IANA or MIME name or alias (case ignored), 0 when unknown.
uint8_t GetHTMLCharsetP(const char* Name);
// The MIME (else IANA) name of a charset, zero-ended into `Buffer` of `BufferSize` bytes; false for
// an unknown charset or a buffer too small.
bool GetHTMLCharsetNameBuf(uint8_t Charset, char* Buffer, int32_t BufferSize);
// A Windows font charset (ANSI_CHARSET 0, DEFAULT_CHARSET 1, RUSSIAN_CHARSET 204, OEM_CHARSET 255,
// ...) to its charset code; DEFAULT and OEM answer the system pages; 0 when unknown.
uint8_t FontCharsetToHTMLCharset(uint8_t FontCharset);
// A Windows or DOS code page number to its charset code, 0 when not in the table.
uint8_t WindowsCodePageToHTMLCharset(int32_t CodePage);
uint8_t DOSCodePageToHTMLCharset(int32_t CodePage);
// The Windows charset of the same script (see the table), 0 for an unknown code.
uint8_t CharsetToWindows(uint8_t Charset);

}  // namespace qvnls
