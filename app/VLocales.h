// The system locale as a language code, for the interface language of the first start: the program
// chooses the first language whose name equals that code.
//
// A locale is named by a Windows locale identifier (LCID): the primary language in its low 10 bits. On
// this system the locale comes from the environment (LC_ALL, then LC_MESSAGES, then LANG, as the C
// library reads them) and is turned into an identifier by its language part ("de_DE.UTF-8" is German).
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

class TMultiLang;

// The two-letter code of the locale's primary language: "DK", "DE", "UK", "ES", "FI", "FR", "IT", "NL",
// "NO", "RU", "SE"; empty for any other language.
std::string LanguageCodeFromLCID(uint32_t LCID);
// The identifier of a POSIX locale name ("de_DE.UTF-8", "ru_RU", "nb_NO@euro") with the default
// sublanguage; 0 when the language is not one that has a code, and for "C" and "POSIX".
uint32_t LCIDFromLocaleName(const std::string& LocaleName);
// The identifier of the locale the environment names for messages.
uint32_t GetSystemDefaultLCID();
// The first language of Languages whose name equals the locale's code exactly; -1 when the locale has no
// code or no language has that name.
int32_t LanguageIndexForLCID(const TMultiLang& Languages, uint32_t LCID);
