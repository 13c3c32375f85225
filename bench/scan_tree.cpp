#include "bench/scan_tree.h"

#include <cstdio>
#include <ctime>
#include <set>

#include "app/Utils.h"
#include "bench/scan_options.h"
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
  const std::string folder = Utf16ToUtf8(WideExtractFilePath(WideModuleFileName(nullptr)));
  std::vector<std::string> files;
  ListFileNames(files, folder, "imp*.so", false);
  for (const std::string& file : files)
    if (Converters.AddConverter(file, false) != kConverterLoaded)
      std::fprintf(stderr, "scan: %s: %s\n", file.c_str(), Converters.LastLoadError.c_str());
}

}  // namespace

bool ParseTreeDate(const std::string& Text, TDateTime& Date) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  const char* p = Text.c_str();
  if (std::sscanf(p, "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3) return false;
  p += used;
  if (*p == ' ' || *p == 'T') {
    used = 0;
    if (std::sscanf(p + 1, "%2d:%2d%n", &h, &mi, &used) != 2) return false;
    p += 1 + used;
    if (*p == ':') {
      used = 0;
      if (std::sscanf(p + 1, "%2d%n", &s, &used) != 1) return false;
      p += 1 + used;
    }
  }
  if (*p != '\0' || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  // A TDateTime of local time counts the local calendar: the date and time taken as UTC give its seconds.
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  const time_t seconds = timegm(&t);
  Date = static_cast<TDateTime>(seconds) / 86400.0 + kUnixEpochDay;
  return true;
}

int RunTreeSearch(const TScanCommandLine& Options) {
  const TTreeOptions& tree = Options.Tree;
  TFileScanner scanner;
  TStreamScanner& s = scanner.Scanner;
  if (!SetUpScanner(s, Options)) return kExitError;

  scanner.Encodings = Options.Encodings;
  scanner.SkipBinary = tree.SkipBinary;
  scanner.Mode = smScanContents;
  if (tree.MatchName) scanner.Mode |= smMatchName;
  if (tree.NameOnly) scanner.Mode = smMatchName | smNameOnly;
  TQVConverters converters;
  if (tree.Convert) {
    LoadConverters(converters);
    scanner.Converters = &converters;
    scanner.Mode |= smConvert;
  }
  // Every file a stream can read is scanned: there are no settings here to limit it.
  scanner.MaxScanSize = INT32_MAX;
  scanner.MaxConvertSize = INT32_MAX;
  TArchiveWalk archives;
  if (tree.Archives) {
    scanner.Archives = &archives;
    scanner.ScanNestedArchives = true;
    scanner.MaxArchiveSize = INT32_MAX;
  }
  if (!tree.Password.empty())
    scanner.OnPassword = [&tree](TScanPasswordQuery& Query) {
      Query.Password = tree.Password;
      return true;
    };
  if (tree.Threads > 0) scanner.WorkerThreads = tree.Threads;
  scanner.NormalizeMaskList = [](TWideStrLst& Masks) { NormalizeMaskList(Masks); };
  scanner.MatchMask = [](const std::string& Name, const std::string& Mask) {
    return MatchesMask(Name, Mask, true);
  };

  static char outBuffer[1 << 16];
  std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
  bool anyFound = false, anyError = false;
  scanner.OnFound = [&](const TFoundFileInfo& Info) {
    anyFound = true;
    std::fputs(Utf16ToUtf8(Info.Name).c_str(), stdout);
    std::fputc('\n', stdout);
  };
  scanner.OnError = [&](const TScanError& Error) {
    const std::u16string& Name = Error.Name;
    const std::string& Text = Error.Text;
    const TScanErrorKind Kind = Error.Kind;
    const char* what = ErrorWhat(Kind);
    if (what == nullptr || (Kind == sekConvertFailed && Text.empty())) return;
    anyError = true;
    std::fflush(stdout);
    std::string line = "scan: " + Utf16ToUtf8(Name) + ": " + what;
    if (!Text.empty()) line += ": " + Text;
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
  };

  // Excluded folders, each compared exactly with a "/" after it.
  std::set<std::u16string> excluded;
  TWideStrLst list;
  SplitQuotedList(list, Utf8ToUtf16(tree.Excluded));
  for (int32_t i = 0; i < list.GetCount(); ++i)
    excluded.insert(WideIncludeTrailingBackslash(AbsolutePath(Utf16ToUtf8(list.Get(i)))));
  if (!excluded.empty())
    scanner.OnEnterFolder = [&](const std::u16string& Folder) {
      return excluded.count(WideIncludeTrailingBackslash(Folder)) == 0;
    };

  if (tree.MinSize >= 0 || tree.MaxSize >= 0 || tree.After != 0 || tree.Before != 0)
    scanner.OnFilterFile = [&](const TFilterFileInfo& File) {
      if (tree.After != 0 && File.Date < tree.After) return false;
      if (tree.Before != 0 && File.Date > tree.Before) return false;
      if (!File.SizeIncomplete && File.Size < tree.MinSize) return false;
      return !(tree.MaxSize >= 0 && File.Size > tree.MaxSize);
    };

  // The roots as one quoted list, each made absolute (a final "/", which selects sub-folders, stays).
  TWideStrLst roots;
  for (const std::string& file : Options.Files) roots.Add(AbsolutePath(file));
  scanner.Search(JoinQuotedList(roots), Utf8ToUtf16(tree.Masks), tree.Recurse);
  std::fflush(stdout);
  return anyError ? kExitError : anyFound ? kExitFound : kExitNotFound;
}
