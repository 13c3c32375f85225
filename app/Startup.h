// The program's entry checks, kept apart from the windows so that tests can drive them.
#pragma once

#include <functional>
#include <optional>
#include <string>

// The lowest version of the national-language layer the program runs with.
constexpr int kMinQvnlsVersion = 21017;

// The error text shown when the national-language layer reports `Version`, or nothing when the version
// is good enough. The text is shown before any window exists, so it does not go through the catalogue.
std::optional<std::string> CheckQvnlsVersion(int Version);

// The application title.
inline constexpr const char* kApplicationTitle = "Scryline";

// Registers the program's own version record (read by the About box and the system report).
void RegisterProgramVersion();

// The locale that decides the ANSI and OEM code pages, from the first of LC_ALL, LC_CTYPE and LANG that is
// set (Env reads a variable): its POSIX name made an ICU locale id ("ru_RU.UTF-8" -> "ru_RU", "sr_RS@latin"
// -> "sr_Latn_RS"); empty for none and for the C and POSIX locales.
std::string CharacterTypeLocale(const std::function<const char*(const char*)>& Env);
// Makes that locale the default of the national-language layer, so that its system code pages follow the
// character-type locale rather than the message locale. Called once at start, before any search.
void UseCharacterTypeLocale();
