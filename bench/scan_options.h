// The command line of the scan driver: options first, then the pattern and the files.
//
//   scan [-c] [-w] [-z] [-l phrase|any|all] [-e ansi,oem,unicode] [-p] PATTERN FILE...
//   scan -r [-m MASKS] [-x EXCLUDED] [-n] [-N] [-B] [-t] [-a] [-P PASSWORD] [-j THREADS] [--min-size N]
//        [--max-size N] [--after DATE] [--before DATE] [stream-scanner options] PATTERN ROOT...   (a tree
//        search, see scan_tree.h)
//
// Options are single letters after "-"; letters without a value may be bundled ("-cw"); a value follows
// its letter in the same word or in the next one ("-lall", "-l all"); "--" ends the options. A long option
// ("--min-size") takes its value from the next word. Each option is one row of the table in scan_options.cpp,
// so a new option is one new row.
#pragma once

#include <string>
#include <vector>

#include "bench/scan_tree.h"
#include "search/StrmScan.h"

struct TScanCommandLine {
  bool CaseSensitive = false;            // -c
  bool WholeWords = false;               // -w
  bool Fuzzy = false;                    // -z
  bool Positions = false;                // -p: every hit as FILE:POSITION:LENGTH instead of the file's name
  TSearchLogic Logic = slEntirePhrase;   // -l
  TScanEncodings Encodings = kScanAnsi;  // -e
  std::string Pattern;                   // UTF-8
  std::vector<std::string> Files;
  TTreeOptions Tree;  // -r, -m, -x, -n, -N, -B, -t, -a, -P, -j, --min-size, --max-size, --after, --before
};

// Fills Options from argv (argv[0] is the program). False, with a message in Error, for a bad command
// line.
bool ParseScanOptions(int Argc, const char* const* Argv, TScanCommandLine& Options, std::string& Error);

// Gives Scanner the pattern and the matching options of Options; false, with the reason on standard error,
// when the scanner refuses them (a pattern too long, a fuzzy pattern with whole words, ...).
bool SetUpScanner(TStreamScanner& Scanner, const TScanCommandLine& Options);

// The usage line printed with a command-line error.
extern const char* const kScanUsage;
