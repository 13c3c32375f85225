// scan: runs the stream scanner over files, for measuring it and checking it against other tools.
//
// Prints the name of each file in which the scanner answers found, one a line (like grep -l), or with -p
// every hit of FindAll as FILE:POSITION:LENGTH (byte offset, length in characters). Exit status 0 when
// something was found, 1 when nothing was, 2 on an error (the message on standard error; the other files
// are still scanned). The pattern comes as UTF-8. Files are read through the plain file stream, whose
// positional reads of the scanner's 16 KB steps go straight into the scanner's window.
//
// An interrupt, termination or hang-up stops the scan at its next step; what was printed is flushed, the
// temporary folders of the archives go, and scan then ends with that signal.
#include <cstdio>
#include <string>

#include "app/Startup.h"
#include "bench/scan_options.h"
#include "core/EndingSignals.h"
#include "core/NumVector.h"
#include "core/VFileStream.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"
#include "search/StrmScan.h"

namespace {

constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitError = 2;

// Scans one file; true when found. Raises the stream's errors.
bool ScanFile(TStreamScanner& Scanner, const TScanCommandLine& Options, const std::string& Name) {
  TVFileStream Stream(Name, fmOpenRead);
  Scanner.Stream = &Stream;
  TScanEncoding Encoding = seAnsi;
  if (!Options.Positions) {
    const bool Found = Scanner.Find(Options.Encodings, Encoding) == srFound;
    if (Found) std::printf("%s\n", Name.c_str());
    return Found;
  }
  TInt32Vector Positions, Lengths;
  if (Scanner.FindAll(Options.Encodings, Encoding, Positions, Lengths) != srFound) return false;
  for (int32_t I = 0; I < Positions.GetCount(); ++I)
    std::printf("%s:%d:%d\n", Name.c_str(), Positions.Get(I), Lengths.Get(I));
  return true;
}

// Runs scan's command line; the exit status.
int Run(int Argc, char** Argv) {
  TScanCommandLine Options;
  std::string Error;
  if (!ParseScanOptions(Argc, Argv, Options, Error)) {
    std::fprintf(stderr, "scan: %s\n%s\n", Error.c_str(), kScanUsage);
    return kExitError;
  }

  if (Options.Tree.Enabled) return RunTreeSearch(Options);

  TStreamScanner Scanner;
  if (!SetUpScanner(Scanner, Options)) return kExitError;
  Scanner.OnProgress = [](int32_t) { return !EndingRequested(); };
  if (Scanner.IsPatternEmpty()) {
    std::fprintf(stderr, "scan: the pattern holds no word\n");
    return kExitError;
  }

  static char OutBuffer[1 << 16];
  std::setvbuf(stdout, OutBuffer, _IOFBF, sizeof OutBuffer);
  bool AnyFound = false, AnyError = false;
  for (const std::string& Name : Options.Files) {
    if (EndingRequested()) break;
    try {
      AnyFound = ScanFile(Scanner, Options, Name) || AnyFound;
    } catch (const Exception& E) {
      std::fflush(stdout);
      std::fprintf(stderr, "scan: %s: %s\n", Name.c_str(), E.what());
      AnyError = true;
    }
  }
  std::fflush(stdout);
  return AnyError ? kExitError : AnyFound ? kExitFound : kExitNotFound;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread is made: the ending signals are taken by the signal thread alone.
  BlockEndingSignals();
  StartEndingSignals(nullptr);
  UseCharacterTypeLocale();  // the ANSI and OEM pages follow LC_ALL, LC_CTYPE or LANG, as in the program
  const int Status = Run(argc, argv);
  EndProcessIfSignalled();
  return Status;
}
