// The tree search of the scan driver: walks root folders with the file scanner, as the program's search
// does, and prints the full path of every file it finds, one a line. Errors of single files go to
// standard error, one line each, and never stop the walk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/VFileSys.h"
#include "search/FileScan.h"

struct TScanCommandLine;

struct TTreeOptions {
  bool Enabled = false;     // any of the options below: the roots are walked with the file scanner
  bool Recurse = false;     // -r: sub-folders too
  std::string Masks;        // -m: file masks as the mask box takes them ("txt doc", "*.h;*.c")
  std::string Excluded;     // -x: folders left out with everything below them, a list like the masks
  bool MatchName = false;   // -n: a file whose name holds the pattern is a hit without being read
  bool NameOnly = false;    // -N: only names are matched
  bool SkipBinary = false;  // -B
  bool Convert = false;     // -t: documents converted by the plug-ins beside the program, then scanned
  bool Archives = false;    // -a: archives are searched, and archives inside them
  std::string Password;     // -P: the answer to every password question of an archive item
  int64_t MinSize = -1;     // --min-size: bytes, -1 for none
  int64_t MaxSize = -1;     // --max-size
  TDateTime After = 0;      // --after DATE: last written at or after DATE (local time), 0 for none
  TDateTime Before = 0;     // --before DATE: at or before
  int32_t Threads = 0;      // -j N: threads that scan files; 0 for the scanner's default (one a processor)
};

// A date "YYYY-MM-DD" with an optional time " HH:MM" or " HH:MM:SS" (or "T" between), local time, as a
// TDateTime; false when Text is not one.
bool ParseTreeDate(const std::string& Text, TDateTime& Date);

// The text of an error of an item for standard error: an archive's "Invalid password" report says instead
// that the item needs a password and how to give it (PasswordGiven false: no -P), or that the -P password
// does not open it. Any other text as it is.
std::string PasswordRefusalText(const std::string& Text, bool PasswordGiven);

// The date and size filter of --after, --before, --min-size and --max-size (not Active when none is given).
TDateSizeFilter DateSizeFilterOf(const TTreeOptions& Tree);

// Runs the tree search that Options describe (the pattern, the stream scanner's options, the roots in
// Files and the tree options) and answers the exit status: 0 something found, 1 nothing found, 2 when an
// error was reported.
int RunTreeSearch(const TScanCommandLine& Options);
