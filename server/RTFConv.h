// The "rtf" back-end: an RTF document becomes plain 8-bit text in the system's ANSI code page with CR LF
// line breaks, read by our own RTF reader (RtfReader.h). A character the code page cannot hold becomes
// "?". The progress callback, when set, is polled while the document is read; a cancel stops the
// conversion with "User canceled".
#pragma once

#include <string>

class TVStream;

// Reads the RTF in Source and writes its text to Dest; false with the error text set.
bool RTFToText(TVStream& Source, TVStream& Dest);
// Converts the RTF file Source into the text file Target. UTF-16 output is refused.
bool ConvertRTFFile(const std::string& Source, const std::string& Target, bool Unicode);
