// The command line of the scan driver: options first, then the pattern and the files.
//
//   scan [-c] [-w] [-z] [-l phrase|any|all] [-e ansi,oem,unicode] [-p] PATTERN FILE...
//
// Options are single letters after "-"; letters without a value may be bundled ("-cw"); a value follows
// its letter in the same word or in the next one ("-lall", "-l all"); "--" ends the options. Each option
// is one row of the table in scan_options.cpp, so a new option is one new row.
#pragma once

#include <string>
#include <vector>

#include "search/StrmScan.h"

struct TScanOptions {
  bool CaseSensitive = false;  // -c
  bool WholeWords = false;     // -w
  bool Fuzzy = false;          // -z
  bool Positions = false;      // -p: every hit as FILE:POSITION:LENGTH instead of the file's name
  TSearchLogic Logic = slEntirePhrase;  // -l
  TScanEncodings Encodings = kScanAnsi;  // -e
  std::string Pattern;                   // UTF-8
  std::vector<std::string> Files;
};

// Fills Options from argv (argv[0] is the program). False, with a message in Error, for a bad command
// line.
bool ParseScanOptions(int argc, const char* const* argv, TScanOptions& Options, std::string& Error);

// The usage line printed with a command-line error.
extern const char* const kScanUsage;
