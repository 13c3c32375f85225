#include "search/FileScan.h"

#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "search/QVConvIntf.h"
#include "search/TextAuto.h"

namespace {

// The Windows-style code of a copy that its progress routine cancelled.
constexpr int32_t kErrorRequestAborted = 1235;
// Bytes copied between two polls while a locked file is copied.
constexpr int32_t kCopyPieceSize = 1048576;
const std::u16string kAllFilesMask = u"*.*";

// The separators of the typed path and mask lists, outside double quotes.
const TCharSet& ListSeparators() {
  static const TCharSet separators = CharSetOf(" ,;");
  return separators;
}

// Paths of at least this many bytes are not handed to the system whole (its limit is PATH_MAX, 4096).
constexpr size_t kLongPathBytes = 4000;

// Text of a message about the file FileName shown as DisplayName: an archive item's temporary file is
// named by the item's display path.
std::string ShownText(const std::string& Text, const std::u16string& FileName,
                      const std::u16string& DisplayName) {
  if (FileName == DisplayName || FileName.empty()) return Text;
  return ReplaceAll(Text, Utf16ToUtf8(FileName), Utf16ToUtf8(DisplayName));
}

// The last component of Path: after its last "/", and for an archive item path after its last "|" too.
std::u16string ItemName(const std::u16string& Path, bool InArchive) {
  const size_t cut = Path.find_last_of(InArchive ? u"/|" : u"/");
  return cut == std::u16string::npos ? Path : Path.substr(cut + 1);
}

bool HasWildcard(const std::u16string& S) { return S.find_first_of(u"*?") != std::u16string::npos; }

// The folder path without a final "/", except for the root folder itself.
std::u16string WithoutFinalSlash(const std::u16string& Path) {
  return Path.size() > 1 ? WideExcludeTrailingBackslash(Path) : Path;
}

// Clears the stream scanner's stream when the scan of one stream ends, on every path.
class TScannerStreamScope {
 public:
  TScannerStreamScope(TStreamScanner& Scanner, TVStream& Stream) : Scanner(Scanner) {
    Scanner.Stream = &Stream;
  }
  ~TScannerStreamScope() { Scanner.Stream = nullptr; }
  TScannerStreamScope(const TScannerStreamScope&) = delete;
  TScannerStreamScope& operator=(const TScannerStreamScope&) = delete;

 private:
  TStreamScanner& Scanner;
};

// A temporary file that is deleted when the scope ends, on every path.
struct TTempFileScope {
  std::string Name;
  TTempFileScope() = default;
  TTempFileScope(const TTempFileScope&) = delete;
  TTempFileScope& operator=(const TTempFileScope&) = delete;
  ~TTempFileScope() {
    if (!Name.empty()) ForceDeleteFile(Name);
  }
};

}  // namespace

// --- Events ----------------------------------------------------------------------------------------------

bool TFileScanner::DoProgress(const std::u16string& Name, TScanProgressKind Kind) {
  if (!OnProgress || OnProgress(Name, Kind)) return true;
  DoError(Name, std::string(), kNoSystemError, sekAborted);
  return false;
}

void TFileScanner::DoError(const std::u16string& Name, const std::string& Text, int32_t OSCode,
                           TScanErrorKind Kind) {
  if (OnError) OnError(TScanError{Name, Text, OSCode, Kind});
}

void TFileScanner::ReportFound(const std::u16string& DisplayName, TDateTime Date, int64_t Size,
                               TQVConverter* Converter, TScanEncoding Encoding, bool InArchive) {
  if (!OnFound) return;
  TFoundFileInfo info;
  info.Name = DisplayName;
  info.Size = Size;
  info.Date = Date;
  info.Converter = Converter;
  info.Encoding = Encoding;
  info.InArchive = InArchive;
  if (InArchive && Archives != nullptr) info.ItemPath = Archives->ItemPathOf(DisplayName);
  OnFound(info);
}

void TFileScanner::ReportNameMatch(const std::u16string& DisplayName, TDateTime Date, int64_t Size,
                                   bool InArchive) {
  ReportFound(DisplayName, Date, Size, nullptr, seFileName, InArchive);
}

// --- The walk --------------------------------------------------------------------------------------------

bool TFileScanner::Search(const std::u16string& Paths, const std::u16string& Masks, bool Recurse) {
  TWideStrLst entries;
  entries.SetDelimitedText(Paths, '"', ListSeparators(), false);
  TWideStrLst roots;
  std::set<std::u16string> added;  // exact: two roots that differ only in case are two folders
  for (int32_t i = 0; i < entries.GetCount(); ++i) {
    const std::u16string entry = entries.Get(i);
    if (entry.empty()) continue;
    if (entry[0] != u'/') {
      DoError(entry, std::string(), kNoSystemError, sekPathNotFound);
      continue;
    }
    // Absolute and lexically normal: "/a/./b/.." is "/a", "/a/." is "/a"; a final "/" stays.
    const std::u16string root = WideExpandLongFileName(entry);
    if (added.insert(root).second) roots.Add(root);
  }

  TWideStrLst masks;
  masks.SetDelimitedText(Masks, '"', ListSeparators(), false);
  if (NormalizeMaskList) NormalizeMaskList(masks);

  return ScanRoots(roots, masks, Recurse);
}

bool TFileScanner::ScanRoots(const TWideStrLst& Roots, const TWideStrLst& Masks, bool Recurse) {
  std::set<std::u16string> scannedFolders;
  for (int32_t i = 0; i < Roots.GetCount(); ++i) {
    const std::u16string entry = Roots.Get(i);
    std::u16string root = entry;
    if (OnEnterFolder && !OnEnterFolder(root)) {
      if (!Poll()) return false;
      continue;
    }

    struct stat st;
    const bool exists = ::stat(Utf16ToUtf8(root).c_str(), &st) == 0;
    if (exists && S_ISREG(st.st_mode)) {
      if (!ScanSingleFile(root, Masks, true, true)) return false;
      continue;
    }
    if (exists && !S_ISDIR(st.st_mode)) {
      // A FIFO, socket or device named as a root: opening it could block or read without end.
      DoError(root, "Not a regular file", kNoSystemError, sekOpenFailed);
      if (!Poll()) return false;
      continue;
    }

    std::u16string mask;
    bool subfolderMask = false;
    if (!exists) {
      if (root.size() > 1 && root.back() == u'/') {
        root.pop_back();
        subfolderMask = true;
      }
      std::u16string folder, name;
      WideSplitFileName(root, folder, name);
      if (HasWildcard(name) && !folder.empty() && WideDirExists(folder)) {
        root = folder;
        mask = name;
      } else {
        DoError(entry, std::string(), kNoSystemError, sekPathNotFound);
        if (!Poll()) return false;
        continue;
      }
    }

    root = WithoutFinalSlash(root);
    // A folder is walked once however often it is named; a root with a mask names a selection of it.
    if (mask.empty() && !scannedFolders.insert(root).second) continue;

    if (subfolderMask) {
      if (!ScanSubfolders(root, mask, std::u16string(), Masks, Recurse)) return false;
    } else if (!WalkFolder(root, mask, Masks, Recurse)) {
      return false;
    }
  }
  return true;
}

bool TFileScanner::ScanFolder(const std::u16string& Folder, const std::u16string& Mask,
                              const TWideStrLst& Masks) {
  return WalkFolder(Folder, Mask, Masks, false);
}

bool TFileScanner::ScanSubfolders(const std::u16string& Folder, const std::u16string& SubMask,
                                  const std::u16string& FileMask, const TWideStrLst& Masks, bool Recurse) {
  TFolderListing listing;
  if (!ReadFolder(listing, Folder, -1, std::string())) return Poll();
  listing.KeepFolders(Utf16ToUtf8(SubMask));
  return ScanListedSubfolders(Folder, listing.Fd(), listing.Folders, FileMask, Masks, Recurse);
}

bool TFileScanner::ReadFolder(TFolderListing& Listing, const std::u16string& Folder, int ParentFd,
                              const std::string& Name) {
  const bool read = ParentFd >= 0 ? Listing.ReadAt(ParentFd, Name) : Listing.Read(Utf16ToUtf8(Folder));
  if (read) return true;
  // A folder that cannot be opened or read (no permission, gone since its parent was listed, a path
  // the system refuses) is one error, and the walk goes on without it.
  DoError(Folder, std::strerror(Listing.Error), FileErrorCode(Listing.Error), sekOpenFailed);
  return false;
}

int32_t TFileScanner::DefaultWorkerThreads() {
  // The processors this process may run on (fewer than the machine's when it is pinned to some), at most
  // kMaxDefaultWorkerThreads: beyond that the walk's own thread, which reports every file, sets the pace.
  int32_t processors = 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) processors = CPU_COUNT(&set);
  if (processors <= 0) processors = static_cast<int32_t>(std::thread::hardware_concurrency());
  return std::clamp(processors, 1, kMaxDefaultWorkerThreads);
}

bool TFileScanner::ScanAheadUsable() {
  // A converted or name-only search, the binary test and an empty pattern do more than one stream scan
  // (or none). The stream scanner's progress event stays on this thread (ScanFile asks it).
  return WorkerThreads > 1 && (Mode & (smConvert | smNameOnly)) == 0 && !SkipBinary &&
         !Scanner.IsPatternEmpty();
}

namespace {

// Ends the folder's scan-ahead on every way out of its walk, before its descriptor closes.
struct TScanAheadScope {
  TScanAhead* Ahead;
  ~TScanAheadScope() {
    if (Ahead != nullptr) Ahead->End();
  }
};

}  // namespace

bool TFileScanner::WalkFolder(const std::u16string& Folder, const std::u16string& FileMask,
                              const TWideStrLst& Masks, bool Recurse, int ParentFd, const std::string& Name) {
  if (!DoProgress(Folder, spkFolder)) return false;
  // One read gives the files and the sub-folders. The folder stays open while its files are looked at
  // and opened relative to it, and while its sub-folders are walked, which are opened relative to it in
  // turn: no system call is given a whole path, so a path of any length is walked.
  TFolderListing listing;
  if (!ReadFolder(listing, Folder, ParentFd, Name)) return Poll();
  listing.KeepFiles(Utf16ToUtf8(FileMask));
  const std::u16string prefix = WideIncludeTrailingBackslash(Folder);
  // With scan-ahead, the names and masks of the whole folder are settled first, so that the workers know
  // which files the walk will scan (archives are the walk's own).
  // A folder of few files is not worth waking the workers for.
  const bool ahead = listing.Files.size() >= TScanAhead::kMinFiles && ScanAheadUsable();
  std::vector<uint8_t> matches;
  if (ahead) {
    if (!Ahead_) Ahead_ = std::make_unique<TScanAhead>(WorkerThreads - 1);
    std::vector<uint8_t> wanted;
    for (const std::string& name : listing.Files) {
      const std::u16string file = prefix + Utf8ToUtf16(name);
      matches.push_back(MatchesMasks(file, Masks, true) ? 1 : 0);
      wanted.push_back(matches.back() != 0 && !(Archives != nullptr && Archives->IsEnabledArchiveName(file)));
    }
    TScanAhead::TSettings settings;
    settings.Pattern = Scanner.GetPattern();
    settings.CaseSensitive = Scanner.GetCaseSensitive();
    settings.Logic = Scanner.GetLogic();
    settings.WholeWords = Scanner.WholeWords;
    settings.Fuzzy = Scanner.Fuzzy;
    settings.Encodings = Encodings;
    settings.MaxSize = MaxScanSize;
    Ahead_->Begin(settings, listing.Fd(), listing.Files, std::move(wanted));
  }
  TScanAheadScope aheadScope{ahead ? Ahead_.get() : nullptr};
  for (size_t i = 0; i < listing.Files.size(); ++i) {
    const std::string& name = listing.Files[i];
    const std::u16string file = prefix + Utf8ToUtf16(name);
    if (ahead ? matches[i] != 0 : MatchesMasks(file, Masks, true)) {
      AheadIndex_ = ahead ? static_cast<int32_t>(i) : -1;
      const bool goOn = ScanListedFile(file, listing.Fd(), name, Masks);
      AheadIndex_ = -1;
      if (ahead) Ahead_->Pass(static_cast<int32_t>(i));
      if (!goOn) return false;
    } else if (!Poll()) {
      return false;
    }
  }
  if (ahead) Ahead_->End();
  if (!Recurse) return true;
  return ScanListedSubfolders(Folder, listing.Fd(), listing.Folders, FileMask, Masks, true);
}

bool TFileScanner::ScanListedSubfolders(const std::u16string& Folder, int FolderFd,
                                        const std::vector<std::string>& Names, const std::u16string& FileMask,
                                        const TWideStrLst& Masks, bool Recurse) {
  const std::u16string prefix = WideIncludeTrailingBackslash(Folder);
  for (const std::string& name : Names) {
    const std::u16string path = prefix + Utf8ToUtf16(name);
    if (OnEnterFolder && !OnEnterFolder(path)) {
      if (!Poll()) return false;
      continue;
    }
    if (!WalkFolder(path, FileMask, Masks, Recurse, FolderFd, name)) return false;
  }
  return true;
}

bool TFileScanner::MatchesMasks(const std::u16string& Name, const TWideStrLst& Masks, bool MayBeArchive,
                                bool InArchive) {
  if (MayBeArchive && Scope != ssFilesOnly && Archives != nullptr && Archives->IsEnabledArchiveName(Name))
    return true;
  if (MayBeArchive && Scope == ssArchivesOnly) return false;
  if (Masks.GetCount() == 0) return true;
  for (int32_t i = 0; i < Masks.GetCount(); ++i)
    if (Masks.Get(i) == kAllFilesMask) return true;
  const std::string name = Utf16ToUtf8(ItemName(Name, InArchive));
  for (int32_t i = 0; i < Masks.GetCount(); ++i) {
    const std::string mask = Utf16ToUtf8(Masks.Get(i));
    if (MatchMask ? MatchMask(name, mask) : MatchesMask(name, mask)) return true;
  }
  return false;
}

// --- One file --------------------------------------------------------------------------------------------

bool TFileScanner::ScanSingleFile(const std::u16string& FileName, const TWideStrLst& Masks, bool Explicit,
                                  bool CheckArchive) {
  return ScanFileInfo(FileName, Masks, Explicit, CheckArchive, nullptr);
}

bool TFileScanner::ScanListedFile(const std::u16string& FileName, int DirFd, const std::string& Name,
                                  const TWideStrLst& Masks) {
  TFileAt at{DirFd, Name, -1};
  return ScanFileInfo(FileName, Masks, false, true, &at);
}

bool TFileScanner::ScanFileInfo(const std::u16string& FileName, const TWideStrLst& Masks, bool Explicit,
                                bool CheckArchive, TFileAt* At) {
  // Names only, with nothing that needs a file's size or date before its name decides (no archive check,
  // no size or date filter): a listed file whose name is no hit goes on without asking the file system
  // about it, which is most of the walk's cost in this mode.
  if (At != nullptr && (Mode & smNameOnly) != 0 && Archives == nullptr && !OnFilterFile &&
      !Scanner.IsPatternEmpty() && !MatchFileName(FileName, false))
    return ProcessFile(FileName, FileName, nullptr, false, Explicit, CheckArchive, Masks, 0, -1, nullptr);
  int64_t size = -1;
  TDateTime date = 0;
  uint32_t attributes = 0;
  errno = 0;
  // A file a worker has scanned already: the worker's look at it, taken when the file was scanned.
  const bool found =
      (At != nullptr && AheadIndex_ >= 0 && Ahead_ && Ahead_->Info(AheadIndex_, size, date, attributes)) ||
      (At != nullptr ? GetFileInfoAt(At->DirFd, At->Name, &size, &date, nullptr, nullptr, &attributes)
                     : WideGetFileInfo(FileName, &size, &date, nullptr, nullptr, nullptr));
  if (!found) {
    // Gone since the listing (or never there): an open failure, never a hit of unknown size.
    const int err = errno != 0 ? errno : ENOENT;
    DoError(FileName, std::strerror(err), FileErrorCode(err), sekOpenFailed);
    return true;
  }
  // A folder that has taken the file's place since the listing is refused by the open by name, which
  // checks the type.
  if (At != nullptr && (attributes & faDirectory) != 0) At = nullptr;
  if (At != nullptr) At->Size = size;
  return ProcessFile(FileName, FileName, nullptr, false, Explicit, CheckArchive, Masks, date, size, At);
}

bool IArchiveWalk::RescanArchiveItem(TFileScanner& Scanner, const std::u16string& Path, int64_t, TDateTime,
                                     const std::vector<std::string>&) {
  Scanner.DoError(Path, "Archives are not searched", kNoSystemError, sekException);
  return true;
}

std::vector<std::string> IArchiveWalk::ItemPathOf(const std::u16string&) { return {}; }

bool TFileScanner::RescanArchiveItem(const std::u16string& Path, int64_t Size, TDateTime Date,
                                     const std::vector<std::string>& ItemPath) {
  if (Archives != nullptr) return Archives->RescanArchiveItem(*this, Path, Size, Date, ItemPath);
  DoError(Path, "Archives are not searched", kNoSystemError, sekException);
  return true;
}

bool TFileScanner::ProcessFile(const std::u16string& Name, const std::u16string& DisplayName,
                               const TStrLst* Volumes, bool InArchive, bool Explicit, bool CheckArchive,
                               const TWideStrLst& Masks, TDateTime Date, int64_t Size, const TFileAt* At) {
  if (!Poll()) return false;

  TArchiveCheck check = acNone;
  // A path too long for the system is opened through its folder's descriptor.
  const std::u16string checked =
      At != nullptr && Utf16ToUtf8(Name).size() >= kLongPathBytes
          ? Utf8ToUtf16("/proc/self/fd/" + std::to_string(At->DirFd) + "/" + At->Name)
          : Name;
  if (CheckArchive && Archives != nullptr) {
    TArchiveKind kind = akNone;
    try {
      check = Archives->CheckArchiveFile(checked, kind);
    } catch (const EWin32Error& e) {
      // The file cannot be read: one error, since opening it to scan it would fail the same way.
      DoError(DisplayName, e.what(), e.ErrorCode, sekOpenFailed);
      return true;
    } catch (const std::exception& e) {
      DoError(DisplayName, ShownText(e.what(), Name, DisplayName), kNoSystemError, sekException);
      check = acNone;
    }
    switch (check) {
      case acNoDecoder:
        DoError(DisplayName, std::string(), kNoSystemError, sekArchiveUnsupported);
        return true;
      case acDisabled:
        DoError(DisplayName, std::string(), kNoSystemError, sekArchiveDisabled);
        return true;
      case acLaterVolume:
        return true;  // read with the first volume of its set
      default:
        break;
    }
  }
  const bool isArchive = check == acArchive;
  if (!InArchive && Scope == ssArchivesOnly && !isArchive) return true;

  if (isArchive) {
    if (!Explicit && Scope == ssFilesOnly) return true;
    if (Size > MaxArchiveSize) {
      DoError(DisplayName, std::string(), kNoSystemError, sekArchiveTooLarge);
      return true;
    }
    if (OnAcceptFile && !OnAcceptFile(InArchive ? DisplayName : Name)) return true;
    return Archives->ScanArchive(*this, Name, DisplayName, Volumes, Explicit, Masks);
  }

  if (!DoProgress(DisplayName, spkFile)) return false;
  // Masks and filters come before any size limit, so that a file they skip is never reported as too
  // large, and a large file can still be found by its name (ScanFile applies the limit).
  if (!MatchesMasks(Name, Masks, false)) return true;
  // An archive item is known to the owner's duplicate filter by its display path: its file here is a
  // temporary one, and two items of one name in different folders of an archive would share it.
  if (OnAcceptFile && !OnAcceptFile(InArchive ? DisplayName : Name)) return true;
  if (OnFilterFile && !OnFilterFile(TFilterFileInfo{Name, false, Date, Size})) return true;
  return ScanFile(Name, DisplayName, Date, Size, InArchive, At) != srCancelled;
}

TScanResult TFileScanner::ScanFile(const std::u16string& FileName, const std::u16string& DisplayName,
                                   TDateTime Date, int64_t Size, bool InArchive, const TFileAt* At) {
  const bool emptyPattern = Scanner.IsPatternEmpty();
  if (!emptyPattern) {
    if ((Mode & smMatchName) != 0 && MatchFileName(DisplayName, InArchive)) {
      ReportNameMatch(DisplayName, Date, Size, InArchive);
      return srFound;
    }
    if ((Mode & smNameOnly) != 0) return srNotFound;
    if (Size > MaxScanSize) {
      DoError(DisplayName, std::string(), kNoSystemError, sekTooLarge);
      return srNotFound;
    }
  } else if (!(SkipBinary && Size > 0)) {
    ReportNameMatch(DisplayName, Date, Size, InArchive);
    return srFound;
  }
  if (Size == 0) {
    DoError(DisplayName, std::string(), kNoSystemError, sekEmptyFile);
    return srNotFound;
  }
  // A walked file that a worker has scanned ahead: its answer, reported as ScanStream would.
  if (At != nullptr && AheadIndex_ >= 0 && Ahead_) {
    TScanResult ahead = srNotFound;
    TScanEncoding encoding = seFileName;
    // While a worker still scans the file, the stream scanner's progress event is asked now and then
    // here, as the scan on this thread would ask it, so that a stop is answered as quickly.
    const std::function<bool()> poll = [this, Size] {
      return !Scanner.OnProgress ||
             Scanner.OnProgress(static_cast<int32_t>(std::min<int64_t>(Size, INT32_MAX)));
    };
    if (Ahead_->Take(std::exchange(AheadIndex_, -1), Size, ahead, encoding, poll)) {
      // A scan on this thread asks the event at least once, after its first block.
      if (ahead != srCancelled && !poll()) ahead = srCancelled;
      if (ahead == srCancelled) {
        DoError(DisplayName, std::string(), kNoSystemError, sekAborted);
        return srCancelled;
      }
      ++FilesScanned;
      if (ahead == srFound) ReportFound(DisplayName, Date, Size, nullptr, encoding, InArchive);
      return ahead;
    }
  }

  TScanResult result = srNotFound;
  TTempFileScope copy;  // declared before the stream, so the stream is closed before the copy goes
  std::unique_ptr<TVBufFileStream> stream;
  try {
    try {
      stream = At != nullptr
                   ? std::make_unique<TVBufFileStream>(FileName, kFileBufferSize, fmShareDenyWrite, *At)
                   : std::make_unique<TVBufFileStream>(FileName, kFileBufferSize, fmShareDenyWrite);
    } catch (const EVFileStream& e) {
      if (e.ErrorCode != kErrorSharingViolation) throw;
      // Another program holds the file: scan a copy of it.
      MakeTempFileNameOrRaise("QV", copy.Name, Size);
      CopyLockedFile(FileName, copy.Name);
      stream = std::make_unique<TVBufFileStream>(Utf8ToUtf16(copy.Name), kFileBufferSize, fmShareDenyWrite);
    }
    result = ScanStream(*stream, DisplayName, Date, Size, InArchive);
  } catch (const EVFileStream& e) {
    DoError(DisplayName, ShownText(e.what(), FileName, DisplayName), e.ErrorCode, sekOpenFailed);
  } catch (const EWin32Error& e) {
    DoError(DisplayName, ShownText(e.what(), FileName, DisplayName), e.ErrorCode, sekOpenFailed);
  } catch (const std::exception& e) {
    DoError(DisplayName, ShownText(e.what(), FileName, DisplayName), kNoSystemError, sekOpenFailed);
  }
  return result;
}

void TFileScanner::CopyLockedFile(const std::u16string& FileName, const std::string& Copy) {
  TVFileStream source(FileName, fmOpenRead);
  TVFileStream target(Copy, fmOpenWrite);
  std::vector<uint8_t> piece(kCopyPieceSize);
  for (;;) {
    if (!Poll()) throw EWin32Error(kErrorRequestAborted, "The request was aborted.");
    const int32_t n = source.Read(piece.data(), kCopyPieceSize);
    if (n <= 0) break;
    target.Write(piece.data(), n);
  }
  target.Close();
}

TScanResult TFileScanner::ScanConverted(TVStream& Stream, const std::u16string& DisplayName, TDateTime Date,
                                        int64_t Size, bool InArchive, TScanErrorKind& Noted,
                                        std::string& NotedText) {
  std::string errorText;
  TQVConverter* converter = nullptr;
  int32_t length = static_cast<int32_t>(Size);  // Size <= MaxConvertSize
  bool isUnicode = false;
  TResultBlock block;
  if (Converters != nullptr)
    block = Converters->ConvertStream(Stream, Utf16ToUtf8(DisplayName), std::string(), errorText, converter,
                                      length, isUnicode, kUnicodeModeNative);
  if (!block) {
    Noted = sekConvertFailed;
    NotedText = errorText;
    return srNotFound;
  }
  TVReadOnlyMemStream text(block.get(), length);
  TScannerStreamScope scope(Scanner, text);
  TScanEncoding encoding = seFileName;
  const TScanResult result = Scanner.Find(isUnicode ? kScanUnicode : kScanAnsi, encoding);
  if (result == srFound)
    ReportFound(DisplayName, Date, Size, converter, encoding, InArchive);
  else if (result == srCancelled)
    Noted = sekAborted;
  return result;
}

TScanResult TFileScanner::ScanStream(TVStream& Stream, const std::u16string& DisplayName, TDateTime Date,
                                     int64_t Size, bool InArchive) {
  TScanResult result = srNotFound;
  TScanErrorKind noted{};  // 0: nothing to report
  std::string notedText;
  try {
    const bool emptyPattern = Scanner.IsPatternEmpty();
    if ((Mode & smConvert) != 0) {
      if (emptyPattern) {
        if (!SkipBinary || IsTextStream(Stream, kTextTestBytes)) {
          result = srFound;
          ReportFound(DisplayName, Date, Size, nullptr, seFileName, InArchive);
        }
      } else if (Size > MaxConvertSize) {
        noted = sekTooLargeToConvert;
      } else {
        result = ScanConverted(Stream, DisplayName, Date, Size, InArchive, noted, notedText);
      }
    }
    const bool direct = (Mode & smScanContents) != 0 || (Mode & (smScanContents | smConvert)) == 0;
    if (result == srNotFound && direct) {
      Stream.Seek(0);
      if (SkipBinary && !IsTextStream(Stream, kTextTestBytes)) {
        noted = sekNotText;
      } else if (emptyPattern) {
        result = srFound;
        ReportFound(DisplayName, Date, Size, nullptr, seFileName, InArchive);
      } else {
        TScannerStreamScope scope(Scanner, Stream);
        TScanEncoding encoding = seFileName;
        result = Scanner.Find(Encodings, encoding);
        if (result == srFound)
          ReportFound(DisplayName, Date, Size, nullptr, encoding, InArchive);
        else if (result == srCancelled)
          noted = sekAborted;
      }
    }
  } catch (const std::exception& e) {
    noted = sekScanFailed;
    notedText = e.what();
  }
  if (result != srCancelled) ++FilesScanned;
  if (noted != 0) DoError(DisplayName, notedText, kNoSystemError, noted);
  return result;
}

bool TFileScanner::MatchFileName(const std::u16string& Path, bool InArchive) {
  const std::u16string name = ItemName(Path, InArchive);
  TVReadOnlyMemStream stream(name.data(), static_cast<int32_t>(name.size() * sizeof(char16_t)));
  TScannerStreamScope scope(Scanner, stream);
  TScanEncoding encoding = seFileName;
  return Scanner.Find(kScanUnicode, encoding) == srFound;
}
