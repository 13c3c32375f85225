// The few Windows national-language routines that the search engine calls on 8-bit and UTF-16 text,
// with their Windows contracts, on the system code pages of the qvnls layer (SetSystemCodePages).
// Beside them, the ready tables that the stream scanner uses for its copy-and-fold pass, built from
// the same code pages so that a pattern and the scanned text are always folded alike.
//
// Every table is 256 entries, read-only, and valid until the system code pages are changed (start-up
// and tests only); the routines may be called from any thread.
#pragma once

#include <cstdint>

// ---- 8-bit text in the system code pages --------------------------------------------------------

// Upper-cases `Length` bytes in place in the system Windows code page; a letter whose upper case is
// not in the code page stays. Answers `Length`.
uint32_t CharUpperBuffA(char* Buffer, uint32_t Length);
// OEM code page -> Windows code page and back, `Length` bytes; source and target may be the same
// buffer. A character the target page cannot hold becomes "?". Answers true.
bool OemToCharBuffA(const char* Source, char* Target, uint32_t Length);
bool CharToOemBuffA(const char* Source, char* Target, uint32_t Length);
// The C1_ALPHA test of GetStringTypeExA (CT_CTYPE1): is this byte a letter in the Windows code page.
bool IsCharAlphaA(char Ch);

// ---- UTF-16 comparison --------------------------------------------------------------------------

// lstrcmpiW: case-insensitive, zero-terminated; negative, 0 or positive (the order of
// qvnls::CompareTextWide).
int32_t lstrcmpiW(const char16_t* Text1, const char16_t* Text2);

constexpr uint32_t NORM_IGNORECASE = 0x00000001;
constexpr int32_t CSTR_LESS_THAN = 1;
constexpr int32_t CSTR_EQUAL = 2;
constexpr int32_t CSTR_GREATER_THAN = 3;
// CompareStringW: a length of -1 means zero-terminated. NORM_IGNORECASE compares as
// qvnls::CompareTextBufWide, otherwise as qvnls::CompareStrBufWide; other flags and the locale do not
// change the order. Answers CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN, or 0 for a null text.
int32_t CompareStringW(uint32_t Locale, uint32_t Flags, const char16_t* Text1, int32_t Chars1,
                       const char16_t* Text2, int32_t Chars2);

// ---- Tables for the stream scanner --------------------------------------------------------------

// Windows-page byte -> its upper-case Windows-page byte (what CharUpperBuffA does).
const uint8_t* AnsiUpperTable();
// OEM-page byte -> Windows-page byte (what OemToCharBuffA does).
const uint8_t* OemToAnsiTable();
// Windows-page byte -> OEM-page byte (what CharToOemBuffA does).
const uint8_t* AnsiToOemTable();
// OEM-page byte -> upper-case Windows-page byte: OemToCharBuffA, then CharUpperBuffA, in one step.
const uint8_t* OemToAnsiUpperTable();
