// The "ps" back-end: Ghostscript's interpreter library, loaded at run time, turns a PostScript file into
// text with its text-extraction device. The file is fed to the interpreter as its standard input; the
// device writes UTF-8 text to a temporary file, which is then written to the target in the system's ANSI
// code page with CR LF line ends (page breaks become line breaks). The interpreter's messages never mix
// with the text.
//
// The interpreter runs in a forked copy of the server (RunForked), so that a PostScript program that never
// ends, or input that crashes the interpreter, cannot take the server with it: the copy is stopped after
// PsTimeoutMs or when the progress callback (polled while it runs, with the position read so far and the
// source's size) cancels. The interpreter's first line of complaint becomes the error text of a failed
// run. One conversion runs at a time: a nested call (from the progress callback) answers "Busy".
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
