// The program's entry checks, kept apart from the windows so that tests can drive them.
#pragma once

#include <optional>
#include <string>

// The lowest version of the national-language layer the program runs with.
constexpr int kMinQvnlsVersion = 21017;

// The error text shown when the national-language layer reports `version`, or nothing when the version
// is good enough. The text is shown before any window exists, so it does not go through the catalogue.
std::optional<std::string> CheckQvnlsVersion(int version);

// The application title.
inline constexpr const char* kApplicationTitle = "Scryline";

// Registers the program's own version record (read by the About box and the system report).
void RegisterProgramVersion();
