#include "bench/scan_tree.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <set>

#include "app/Utils.h"
#include "bench/scan_options.h"
#include "core/EndingSignals.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "platform/qvnls/Qvnls.h"
#include "search/FileScan.h"
#include "search/FileScanArc.h"
#include "search/NLSProcsDyn.h"
#include "search/QVConvIntf.h"

namespace {

constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitError = 2;

// Days between 1899-12-30, day 0 of a TDateTime, and 1970-01-01.
constexpr int64_t kUnixEpochDay = 25569;

// A whole path of this system: made absolute against the current folder, lexically normal.
std::u16string AbsolutePath(const std::string& Path) { return WideExpandFileName(Utf8ToUtf16(Path)); }

// What each kind of error prints before the file's name; kinds the program logs only in its debug mode
// (an empty file, a file that is no text, archive kinds left out) print nothing.
const char* ErrorWhat(TScanErrorKind Kind) {
  switch (Kind) {
    case sekPathNotFound:
      return "no such file or folder";
    case sekOpenFailed:
      return "cannot open";
    case sekConvertFailed:
      return "cannot convert";
    case sekScanFailed:
      return "cannot scan";
    case sekTooLarge:
      return "too large to scan";
    case sekTooLargeToConvert:
      return "too large to convert";
    case sekArchiveOpenFailed:
      return "cannot open the archive";
    case sekArchiveWarning:
      return "archive warning";
    case sekConvertWarning:
      return "conversion warning";
    case sekArchiveTooLarge:
      return "archive too large";
    case sekException:
      return "error";
    default:
      return nullptr;
  }
}

// Loads every "imp*.so" in the program's folder into Converters.
void LoadConverters(TQVConverters& Converters) {
  const std::string Folder = Utf16ToUtf8(WideExtractFilePath(WideModuleFileName(nullptr)));
  std::vector<std::string> Files;
  ListFileNames(Files, Folder, "imp*.so", false);
  for (const std::string& File : Files)
    if (Converters.AddConverter(File, false) != kConverterLoaded)
      std::fprintf(stderr, "scan: %s: %s\n", File.c_str(), Converters.LastLoadError.c_str());
}

}  // namespace

std::string PasswordRefusalText(const std::string& Text, bool PasswordGiven) {
  // How an archive reports an encrypted item that no password given to it opened.
  static const std::string kRefusal = "Invalid password";
  const size_t At = Text.find(kRefusal);
  if (At == std::string::npos) return Text;
  std::string Said = Text;
  Said.replace(At, kRefusal.size(),
               PasswordGiven ? "The password given with -P does not open it"
                             : "It needs a password: give it with -P PASSWORD");
  return Said;
}

bool ParseTreeDate(const std::string& Text, TDateTime& Date) {
  int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0, Used = 0;
  const char* P = Text.c_str();
  if (std::sscanf(P, "%4d-%2d-%2d%n", &Y, &Mo, &D, &Used) != 3) return false;
  P += Used;
  if (*P == ' ' || *P == 'T') {
    Used = 0;
    if (std::sscanf(P + 1, "%2d:%2d%n", &H, &Mi, &Used) != 2) return false;
    P += 1 + Used;
    if (*P == ':') {
      Used = 0;
      if (std::sscanf(P + 1, "%2d%n", &S, &Used) != 1) return false;
      P += 1 + Used;
    }
  }
  if (*P != '\0' || Mo < 1 || Mo > 12 || D < 1 || D > 31 || H > 23 || Mi > 59 || S > 59) return false;
  // A TDateTime of local time counts the local calendar: the date and time taken as UTC give its seconds.
  std::tm T{};
  T.tm_year = Y - 1900;
  T.tm_mon = Mo - 1;
  T.tm_mday = D;
  T.tm_hour = H;
  T.tm_min = Mi;
  T.tm_sec = S;
  const time_t Seconds = timegm(&T);
  Date = static_cast<TDateTime>(Seconds) / 86400.0 + kUnixEpochDay;
  return true;
}

TDateSizeFilter DateSizeFilterOf(const TTreeOptions& Tree) {
  TDateSizeFilter Filter;
  Filter.DateFrom = Tree.After;
  // At or before: before the next moment a TDateTime can tell.
  if (Tree.Before != 0) Filter.DateBefore = std::nextafter(Tree.Before, HUGE_VAL);
  Filter.SizeFrom = Tree.MinSize;
  Filter.SizeTo = Tree.MaxSize;
  return Filter;
}

int RunTreeSearch(const TScanCommandLine& Options) {
  const TTreeOptions& Tree = Options.Tree;
  TFileScanner Scanner;
  TStreamScanner& S = Scanner.Scanner;
  if (!SetUpScanner(S, Options)) return kExitError;

  Scanner.Encodings = Options.Encodings;
  Scanner.SkipBinary = Tree.SkipBinary;
  Scanner.Mode = smScanContents;
  if (Tree.MatchName) Scanner.Mode |= smMatchName;
  if (Tree.NameOnly) Scanner.Mode = smMatchName | smNameOnly;
  TQVConverters Converters;
  if (Tree.Convert) {
    LoadConverters(Converters);
    Converters.OnProgress = [](TQVConverter*, int32_t, int32_t) { return !EndingRequested(); };
    Scanner.Converters = &Converters;
    Scanner.Mode |= smConvert;
  }
  // Every file a stream can read is scanned: there are no settings here to limit it.
  Scanner.MaxScanSize = INT32_MAX;
  Scanner.MaxConvertSize = INT32_MAX;
  TArchiveWalk Archives;
  if (Tree.Archives) {
    Scanner.Archives = &Archives;
    Scanner.ScanNestedArchives = true;
    Scanner.MaxArchiveSize = INT32_MAX;
  }
  // Every item is given the -P password once: the archive asks again for an item only when the password
  // did not fit, and the same answer would not fit either.
  std::string AnsweredItem;
  Scanner.OnPassword = [&Tree, &AnsweredItem](TScanPasswordQuery& Query) {
    if (Tree.Password.empty()) return false;
    std::string Item = Query.ArcName + "|" + Query.ItemName;
    if (Item == AnsweredItem) return false;
    AnsweredItem = std::move(Item);
    Query.Password = Tree.Password;
    return true;
  };
  if (Tree.Threads > 0) Scanner.WorkerThreads = Tree.Threads;
  // An ending signal stops the walk, a file's scan and a conversion at their next step.
  Scanner.OnProgress = [](const std::u16string&, TScanProgressKind) { return !EndingRequested(); };
  S.OnProgress = [](int32_t) { return !EndingRequested(); };
  Scanner.NormalizeMaskList = [](TWideStrLst& Masks) { NormalizeMaskList(Masks); };
  Scanner.MatchMask = [](const std::string& Name, const std::string& Mask) {
    return MatchesMask(Name, Mask, true);
  };

  static char OutBuffer[1 << 16];
  std::setvbuf(stdout, OutBuffer, _IOFBF, sizeof OutBuffer);
  bool AnyFound = false, AnyError = false;
  Scanner.OnFound = [&](const TFoundFileInfo& Info) {
    AnyFound = true;
    std::fputs(Utf16ToUtf8(Info.Name).c_str(), stdout);
    std::fputc('\n', stdout);
  };
  Scanner.OnError = [&](const TScanError& Error) {
    const std::u16string& Name = Error.Name;
    const std::string& Text = Error.Text;
    const TScanErrorKind Kind = Error.Kind;
    const char* What = ErrorWhat(Kind);
    if (What == nullptr || (Kind == sekConvertFailed && Text.empty())) return;
    // A converter's warning names what its text left out; the file itself was read.
    if (Kind != sekConvertWarning) AnyError = true;
    std::fflush(stdout);
    std::string Line = "scan: " + Utf16ToUtf8(Name) + ": " + What;
    if (!Text.empty()) Line += ": " + PasswordRefusalText(Text, !Tree.Password.empty());
    for (char& C : Line)
      if (C == '\n' || C == '\r') C = ' ';
    std::fprintf(stderr, "%s\n", Line.c_str());
  };

  // Excluded folders, each compared exactly with a "/" after it.
  std::set<std::u16string> Excluded;
  TWideStrLst List;
  SplitQuotedList(List, Utf8ToUtf16(Tree.Excluded));
  for (int32_t I = 0; I < List.GetCount(); ++I)
    Excluded.insert(WideIncludeTrailingSlash(AbsolutePath(Utf16ToUtf8(List.Get(I)))));
  if (!Excluded.empty())
    Scanner.OnEnterFolder = [&](const std::u16string& Folder) {
      return Excluded.count(WideIncludeTrailingSlash(Folder)) == 0;
    };

  const TDateSizeFilter Filter = DateSizeFilterOf(Tree);
  if (Filter.Active()) {
    // The filter reads only its bounds: the workers that walk archives ahead ask it as well, so that an
    // item it refuses does not send the walk through the archive again.
    Scanner.OnFilterFile = [Filter](const TFilterFileInfo& File) { return Filter.Passes(File); };
    Scanner.FilterFileAhead = Scanner.OnFilterFile;
  }

  // The roots as one quoted list, each made absolute (a final "/", which selects sub-folders, stays).
  TWideStrLst Roots;
  for (const std::string& File : Options.Files) Roots.Add(AbsolutePath(File));
  Scanner.Search(JoinQuotedList(Roots), Utf8ToUtf16(Tree.Masks), Tree.Recurse);
  std::fflush(stdout);
  return AnyError ? kExitError : AnyFound ? kExitFound : kExitNotFound;
}
