// The "ps" back-end: Ghostscript's interpreter library, loaded at run time, turns a PostScript file into
// text with its text-extraction device. The file is fed to the interpreter as its standard input and the
// text comes back as its standard output, written to the target in the system's ANSI code page with
// CR LF line ends (page breaks become line breaks).
//
// Checks: the library is looked for once per attempt and every entry point must be there; one
// conversion runs at a time (the interpreter's state is process-wide): a nested call answers "Busy";
// a complaint before any input was read, or on the interpreter's error output, becomes the error text;
// the progress callback is polled on every input read and while the interpreter runs, and a run longer
// than PsTimeoutMs is stopped, so a PostScript program that never ends cannot hang the server.
//
// One thread.
#pragma once

#include <cstdint>
#include <string>

class TVStream;

// The library's file name; tests point it at a missing file. Empty: "libgs.so.10", then "libgs.so".
extern std::string GhostscriptLibrary;
// Longest time one interpreter run may take.
extern int32_t PsTimeoutMs;
constexpr int32_t kDefaultPsTimeoutMs = 120000;

bool LoadGhostscript();
void FreeGhostscript();
// Runs the interpreter over Source and writes the text to Dest; false with the error text set.
bool RunPs2Ascii(TVStream& Source, TVStream& Dest);
bool ConvertPostScript(const std::string& Source, const std::string& Target);
