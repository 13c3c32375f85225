#include "search/FileScan.h"

#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "archive/Archiver.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "search/FileScanRecord.h"
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
  static const TCharSet Separators = CharSetOf(" ,;");
  return Separators;
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
  const size_t Cut = Path.find_last_of(InArchive ? u"/|" : u"/");
  return Cut == std::u16string::npos ? Path : Path.substr(Cut + 1);
}

bool HasWildcard(const std::u16string& S) { return S.find_first_of(u"*?") != std::u16string::npos; }

// The folder path without a final "/", except for the root folder itself.
std::u16string WithoutFinalSlash(const std::u16string& Path) {
  return Path.size() > 1 ? WideExcludeTrailingSlash(Path) : Path;
}

// Clears the stream scanner's stream when the scan of one stream ends, on every path.
class TScannerStreamScope {
 public:
  TScannerStreamScope(TStreamScanner& Scanner, TVStream& Stream) : Scanner_(Scanner) {
    Scanner.Stream = &Stream;
  }
  ~TScannerStreamScope() { Scanner_.Stream = nullptr; }
  TScannerStreamScope(const TScannerStreamScope&) = delete;
  TScannerStreamScope& operator=(const TScannerStreamScope&) = delete;

 private:
  TStreamScanner& Scanner_;
};

// The display name of the stream the stream scanner scans, for the time of one scan.
class TScanningScope {
 public:
  TScanningScope(const std::u16string*& Slot, const std::u16string& Name) : Slot_(Slot) { Slot = &Name; }
  ~TScanningScope() { Slot_ = nullptr; }
  TScanningScope(const TScanningScope&) = delete;
  TScanningScope& operator=(const TScanningScope&) = delete;

 private:
  const std::u16string*& Slot_;
};

// A listed file opened to be looked at through its descriptor, which a TFileAt hands on to the stream that
// scans the file; closed when the scope ends unless the stream took it (the TFileAt's Fd is then -1).
class TOpenedFile {
 public:
  TOpenedFile() = default;
  TOpenedFile(const TOpenedFile&) = delete;
  TOpenedFile& operator=(const TOpenedFile&) = delete;
  ~TOpenedFile() {
    if (At_ != nullptr && At_->Fd >= 0) FileLayer().Close(std::exchange(At_->Fd, -1));
  }
  // Closes At's descriptor when the scope ends, unless a stream took it.
  void Hold(TFileAt& At) { At_ = &At; }
  // Opens the file At names and gives its size, date and attributes; false (nothing open) when it cannot
  // be opened or is no regular file.
  bool OpenAt(TFileAt& At, int64_t& Size, TDateTime& Date, uint32_t& Attributes) {
    struct stat St {};
    const int Fd = OpenRegularFileAt(At.DirFd, At.Name, St);
    if (Fd < 0) return false;
    FileInfoOfStatus(St, At.Name, &Size, &Date, &Attributes);
    At.Fd = Fd;
    At_ = &At;
    return true;
  }

 private:
  TFileAt* At_ = nullptr;
};

// A temporary file of this process's own (MakeProcessTempFile), deleted with its folder when the scope
// ends, on every path.
struct TTempFileScope {
  std::string Name;
  TTempFileScope() = default;
  TTempFileScope(const TTempFileScope&) = delete;
  TTempFileScope& operator=(const TTempFileScope&) = delete;
  ~TTempFileScope() {
    if (!Name.empty()) RemoveProcessTempFile(Name);
  }
};

}  // namespace

// --- Events ----------------------------------------------------------------------------------------------

const std::u16string& TFileScanner::ScanningName() const {
  static const std::u16string kNone;
  return Scanning_ != nullptr ? *Scanning_ : kNone;
}

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
  TFoundFileInfo Info;
  Info.Name = DisplayName;
  Info.Size = Size;
  Info.Date = Date;
  Info.Converter = Converter;
  Info.Encoding = Encoding;
  Info.InArchive = InArchive;
  if (InArchive && Archives != nullptr) Info.ItemPath = Archives->ItemPathOf(DisplayName);
  OnFound(Info);
}

void TFileScanner::ReportNameMatch(const std::u16string& DisplayName, TDateTime Date, int64_t Size,
                                   bool InArchive) {
  ReportFound(DisplayName, Date, Size, nullptr, seFileName, InArchive);
}

// --- The walk --------------------------------------------------------------------------------------------

bool TFileScanner::Search(const std::u16string& Paths, const std::u16string& Masks, bool Recurse) {
  TWideStrLst Entries;
  Entries.SetDelimitedText(Paths, '"', ListSeparators(), false);
  TWideStrLst Roots;
  std::set<std::u16string> Added;  // exact: two roots that differ only in case are two folders
  for (int32_t I = 0; I < Entries.GetCount(); ++I) {
    const std::u16string Entry = Entries.Get(I);
    if (Entry.empty()) continue;
    if (Entry[0] != u'/') {
      DoError(Entry, std::string(), kNoSystemError, sekPathNotFound);
      continue;
    }
    // Absolute and lexically normal: "/a/./b/.." is "/a", "/a/." is "/a"; a final "/" stays.
    const std::u16string Root = WideExpandLongFileName(Entry);
    if (Added.insert(Root).second) Roots.Add(Root);
  }

  TWideStrLst MaskList;
  MaskList.SetDelimitedText(Masks, '"', ListSeparators(), false);
  if (NormalizeMaskList) NormalizeMaskList(MaskList);

  return ScanRoots(Roots, MaskList, Recurse);
}

bool TFileScanner::ScanRoots(const TWideStrLst& Roots, const TWideStrLst& Masks, bool Recurse) {
  std::set<std::u16string> ScannedFolders;
  for (int32_t I = 0; I < Roots.GetCount(); ++I) {
    const std::u16string Entry = Roots.Get(I);
    std::u16string Root = Entry;
    if (OnEnterFolder && !OnEnterFolder(Root)) {
      if (!Poll()) return false;
      continue;
    }

    struct stat St;
    const bool Exists = ::stat(Utf16ToUtf8(Root).c_str(), &St) == 0;
    if (Exists && S_ISREG(St.st_mode)) {
      if (!ScanSingleFile(Root, Masks, true, true)) return false;
      continue;
    }
    if (Exists && !S_ISDIR(St.st_mode)) {
      // A FIFO, socket or device named as a root: opening it could block or read without end.
      DoError(Root, "Not a regular file", kNoSystemError, sekOpenFailed);
      if (!Poll()) return false;
      continue;
    }

    std::u16string Mask;
    bool SubfolderMask = false;
    if (!Exists) {
      if (Root.size() > 1 && Root.back() == u'/') {
        Root.pop_back();
        SubfolderMask = true;
      }
      std::u16string Folder, Name;
      WideSplitFileName(Root, Folder, Name);
      if (HasWildcard(Name) && !Folder.empty() && WideDirExists(Folder)) {
        Root = Folder;
        Mask = Name;
      } else {
        DoError(Entry, std::string(), kNoSystemError, sekPathNotFound);
        if (!Poll()) return false;
        continue;
      }
    }

    Root = WithoutFinalSlash(Root);
    // A folder is walked once however often it is named; a root with a mask names a selection of it.
    if (Mask.empty() && !ScannedFolders.insert(Root).second) continue;

    if (SubfolderMask) {
      if (!ScanSubfolders(Root, Mask, std::u16string(), Masks, Recurse)) return false;
    } else if (!WalkFolder(Root, Mask, Masks, Recurse)) {
      return false;
    }
  }
  return true;
}

bool TFileScanner::ScanFolder(const std::u16string& Folder, const std::u16string& Mask,
                              const TWideStrLst& Masks) {
  return WalkFolder(Folder, Mask, Masks, false);
}

bool TFileScanner::ReadFolder(TFolderListing& Listing, const std::u16string& Folder, int ParentFd,
                              const std::string& Name) {
  const bool Read = ParentFd >= 0 ? Listing.ReadAt(ParentFd, Name) : Listing.Read(Utf16ToUtf8(Folder));
  if (Read) return true;
  // A folder that cannot be opened or read (no permission, gone since its parent was listed, a path
  // the system refuses) is one error, and the walk goes on without it.
  DoError(Folder, std::strerror(Listing.Error), FileErrorCode(Listing.Error), sekOpenFailed);
  return false;
}

namespace {

// The worker threads of a walk of Threads threads: the walk's own thread lists ahead, reports, and scans
// the files no worker has started.
int32_t ScanAheadWorkers(int32_t Threads) { return Threads - 1; }

}  // namespace

int32_t TFileScanSettings::DefaultWorkerThreads() {
  // The processors this process may run on (fewer than the machine's when it is pinned to some), at most
  // kMaxDefaultWorkerThreads: beyond that the walk's own thread, which reports every file, sets the pace.
  int32_t Processors = 0;
  cpu_set_t Set;
  CPU_ZERO(&Set);
  if (::sched_getaffinity(0, sizeof Set, &Set) == 0) Processors = CPU_COUNT(&Set);
  if (Processors <= 0) Processors = static_cast<int32_t>(std::thread::hardware_concurrency());
  return std::clamp(Processors, 1, kMaxDefaultWorkerThreads);
}

bool TFileScanner::ScanAheadUsable() {
  // A converted or name-only search, the binary test and an empty pattern do more than one stream scan
  // (or none). The stream scanner's progress event stays on this thread (ScanFile asks it).
  return WorkerThreads > 1 && (Mode & (smConvert | smNameOnly)) == 0 && !SkipBinary &&
         !Scanner.IsPatternEmpty();
}

// --- The walk with scan-ahead ------------------------------------------------------------------------------

// Lists the folders of one root ahead of the walk, in the walk's order (a folder's files, then each of
// its sub-folders in turn), settles which of their files pass the masks, and adds the files to the
// scan-ahead buffer for the workers as it has room. The walk takes each folder's listing from here when it
// comes to the folder. Owner's thread only. Listing ahead asks no question of the owner and reports
// nothing: a folder that cannot be read is reported when the walk comes to it, and a sub-folder the owner
// refuses (OnEnterFolder, asked by the walk in its place) is dropped with everything listed below it.
class TFileScanner::TWalkPlanner {
 public:
  // One folder listed ahead: its listing (null when it could not be read, with the errno in Error), the
  // walk position of its first file, and for each file whether it passes the masks (kMatch), and whether
  // it is walked whole on a worker then (kWhole as well).
  struct TPlanned {
    std::u16string Folder;
    std::shared_ptr<const TFolderListing> Listing;
    int Error = 0;
    int64_t FirstPos = 0;
    std::vector<uint8_t> Matches;
  };
  // Folders listed and not yet walked, beyond the files in the buffer: bounds the open folders.
  static constexpr size_t kMaxPlannedFolders = 64;
  static constexpr uint8_t kMatch = 1;
  static constexpr uint8_t kWhole = 2;

  TWalkPlanner(TFileScanner& Owner, TScanAhead& Ahead, const std::u16string& FileMask,
               const TWideStrLst& Masks, bool Recurse)
      : Owner_(Owner), Ahead_(Ahead), FileMask_(Utf16ToUtf8(FileMask)), Masks_(Masks), Recurse_(Recurse) {}

  // The root folder itself comes first.
  void StartAt(const std::u16string& Folder) { List(Folder, -1, std::string()); }
  // The sub-folders of Listing (the folder Prefix names) come first, the folder itself is not walked.
  void StartBelow(const std::shared_ptr<TFolderListing>& Listing, const std::u16string& Prefix) {
    Stack_.push_back(TFrame{Listing, Prefix, 0});
  }

  // The listing of Folder, the next folder of the walk.
  TPlanned Next(const std::u16string& Folder) {
    while (Planned_.empty() && !Done_) ListNext();
    if (Planned_.empty() || Planned_.front().Folder != Folder) {
      // The walk and the listing ahead always agree; should they not, the folder is read now and its
      // files are the walk's own (at positions the buffer never holds).
      TPlanned Own;
      Own.Folder = Folder;
      Own.FirstPos = INT64_MIN / 2;
      auto Listing = std::make_shared<TFolderListing>();
      if (!Listing->Read(Utf16ToUtf8(Folder))) {
        Own.Error = Listing->Error;
        return Own;
      }
      Listing->KeepFiles(FileMask_);
      const std::u16string Prefix = WideIncludeTrailingSlash(Folder);
      for (const std::string& File : Listing->Files)
        Own.Matches.push_back(Owner_.MatchesMasks(Prefix + Utf8ToUtf16(File), Masks_, true) ? 1 : 0);
      Own.Listing = Listing;
      return Own;
    }
    TPlanned Front = std::move(Planned_.front());
    Planned_.pop_front();
    return Front;
  }

  // Lists ahead and adds files to the buffer while it has room.
  void Fill() {
    for (;;) {
      while (!Adds_.empty()) {
        TAdd& Add = Adds_.front();
        while (Add.Next < Add.Wanted.size() && Ahead_.Room()) {
          const uint8_t Wanted = Add.Wanted[Add.Next];
          if ((Wanted & kWhole) != 0) {
            const std::u16string Path = Add.Prefix + Utf8ToUtf16(Add.Listing->Files[Add.Next]);
            Ahead_.Add(Add.Listing, Add.Next, true, &Path);
          } else {
            Ahead_.Add(Add.Listing, Add.Next, Wanted != 0);
          }
          ++Add.Next;
        }
        if (Add.Next < Add.Wanted.size()) {
          Ahead_.Publish();
          return;
        }
        Adds_.pop_front();
      }
      if (Done_ || Planned_.size() >= kMaxPlannedFolders) break;
      ListNext();
    }
    Ahead_.Publish();
  }

  // The walk does not enter the sub-folder Path: nothing below it is walked, and its files are passed.
  void Skip(const std::u16string& Path) {
    const std::u16string Under = Path + u"/";
    auto Below = [&](const std::u16string& Folder) { return Folder.compare(0, Under.size(), Under) == 0; };
    int64_t EndPos = -1;
    bool Listed = false;
    while (!Planned_.empty() && (Planned_.front().Folder == Path || Below(Planned_.front().Folder))) {
      const TPlanned& Front = Planned_.front();
      Listed = true;
      if (Front.Listing) EndPos = Front.FirstPos + static_cast<int64_t>(Front.Listing->Files.size());
      Planned_.pop_front();
    }
    while (!Stack_.empty() && Below(Stack_.back().Prefix)) Stack_.pop_back();
    if (!Listed) {
      // Not listed yet: it is the next folder the listing would come to.
      while (!Stack_.empty()) {
        TFrame& Top = Stack_.back();
        if (Top.NextSub < Top.Listing->Folders.size()) {
          if (Top.Prefix + Utf8ToUtf16(Top.Listing->Folders[Top.NextSub]) == Path) ++Top.NextSub;
          break;
        }
        Stack_.pop_back();
      }
    }
    if (EndPos > 0) Ahead_.Pass(EndPos - 1);
  }

 private:
  // A folder listed whose sub-folders are still to be listed; Prefix is its path with a final "/".
  struct TFrame {
    std::shared_ptr<const TFolderListing> Listing;
    std::u16string Prefix;
    size_t NextSub = 0;
  };
  // Files of a listed folder still to be added to the buffer.
  struct TAdd {
    std::shared_ptr<const TFolderListing> Listing;
    std::u16string Prefix;
    std::vector<uint8_t> Wanted;  // kMatch and kWhole
    size_t Next = 0;
  };

  // Lists the next folder of the walk's order.
  void ListNext() {
    while (!Stack_.empty()) {
      TFrame& Top = Stack_.back();
      if (!Recurse_ || Top.NextSub >= Top.Listing->Folders.size()) {
        Stack_.pop_back();
        continue;
      }
      const std::string Name = Top.Listing->Folders[Top.NextSub++];
      const std::u16string Folder = Top.Prefix + Utf8ToUtf16(Name);
      const std::shared_ptr<const TFolderListing> Parent = Top.Listing;  // Top goes with the push
      List(Folder, Parent->Fd(), Name);
      return;
    }
    Done_ = true;
  }

  // Lists Folder (Name of the folder open on ParentFd when ParentFd >= 0).
  void List(const std::u16string& Folder, int ParentFd, const std::string& Name) {
    auto Listing = std::make_shared<TFolderListing>();
    TPlanned Planned;
    Planned.Folder = Folder;
    Planned.FirstPos = NextPos_;
    if (!(ParentFd >= 0 ? Listing->ReadAt(ParentFd, Name) : Listing->Read(Utf16ToUtf8(Folder)))) {
      Planned.Error = Listing->Error;
      Planned_.push_back(std::move(Planned));
      return;
    }
    Listing->KeepFiles(FileMask_);
    const std::u16string Prefix = WideIncludeTrailingSlash(Folder);
    TAdd Add;
    Add.Listing = Listing;
    Add.Prefix = Prefix;
    Planned.Matches.reserve(Listing->Files.size());
    Add.Wanted.reserve(Listing->Files.size());
    for (const std::string& File : Listing->Files) {
      const std::u16string Path = Prefix + Utf8ToUtf16(File);
      uint8_t Flags = Owner_.MatchesMasks(Path, Masks_, true) ? kMatch : 0;
      bool Wanted = Flags != 0;
      // An archive is walked whole on a worker where the archive layer can, and else is the walk's own.
      if (Wanted && Owner_.Archives != nullptr && Owner_.Archives->IsEnabledArchiveName(Path)) {
        Wanted = Owner_.WalkedWholeAhead(Path);
        if (Wanted) Flags |= kWhole;
      }
      Planned.Matches.push_back(Flags);
      Add.Wanted.push_back(Wanted ? Flags : 0);
    }
    NextPos_ += static_cast<int64_t>(Listing->Files.size());
    Planned.Listing = Listing;
    Planned_.push_back(std::move(Planned));
    if (!Add.Wanted.empty()) Adds_.push_back(std::move(Add));
    Stack_.push_back(TFrame{Listing, Prefix, 0});
  }

  TFileScanner& Owner_;
  TScanAhead& Ahead_;
  const std::string FileMask_;
  const TWideStrLst& Masks_;
  const bool Recurse_;
  std::deque<TPlanned> Planned_;
  std::deque<TAdd> Adds_;
  std::vector<TFrame> Stack_;  // the folders whose sub-folders are still to be listed, outermost first
  int64_t NextPos_ = 0;        // the walk position of the next file listed
  bool Done_ = false;
};

// A worker's walk of whole files (archives): a file scanner of its own, the shadow, set up as the owner's
// was when the search began, with an archive walk of its own; its events are recorded for the owner.
class TFileScanner::TWholeFileWalker : public TScanAhead::IWalker {
 public:
  // The owner's settings, copied on the owner's thread when the search begins: the settings whole, the
  // stream scanner's options whole, the masks of the search and the owner's archive walk.
  struct TSetup {
    TFileScanSettings Settings;
    TStreamScanOptions Stream;
    std::vector<std::u16string> Masks;
    IArchiveWalk* Archives = nullptr;
  };

  explicit TWholeFileWalker(const TSetup& Setup) {
    static_cast<TFileScanSettings&>(Shadow_) = Setup.Settings;
    // The shadow walks its file on this thread alone.
    Shadow_.WorkerThreads = 1;
    Shadow_.Scanner.SetOptions(Setup.Stream);
    for (const std::u16string& Mask : Setup.Masks) Masks_.Add(Mask);
    Archives_ = Setup.Archives->NewWorkerWalk(
        [this](const std::function<bool()>& Work) { return Recording_->RunOnOwner(Work); });
    Shadow_.Archives = Archives_.get();
  }

  bool Walk(int DirFd, const std::string& Name, const std::u16string& Path,
            TScanRecording& Recording) override {
    Recording_ = &Recording;
    Recording.Record(Shadow_, Shadow_.FilterFileAhead);
    bool GoOn = true;
    try {
      GoOn = Shadow_.ScanListedFile(Path, DirFd, Name, Masks_);
    } catch (const std::exception& E) {
      Shadow_.DoError(Path, E.what(), kNoSystemError, sekException);
    } catch (...) {
      // Whatever ends the walk, the recording is finished: the walk's thread waits for that.
      Shadow_.DoError(Path, "Unknown error", kNoSystemError, sekException);
    }
    Recording.Finish(Shadow_);
    Recording_ = nullptr;
    return GoOn;
  }

 private:
  TFileScanner Shadow_;
  TWideStrLst Masks_;
  std::unique_ptr<IArchiveWalk> Archives_;
  TScanRecording* Recording_ = nullptr;
};

bool TFileScanner::WalkedWholeAhead(const std::u16string& Path) {
  return MakeWalker_ && Archives != nullptr && Scope != ssFilesOnly && Archives->WalkableOnWorker(Path);
}

bool TFileScanner::WalkWholeAhead(int64_t Pos, const std::u16string& FileName, int DirFd,
                                  const std::string& Name, const TWideStrLst& Masks) {
  const std::shared_ptr<TScanRecording> Recording = Ahead_->TakeWhole(Pos);
  if (!Recording) return ScanListedFile(FileName, DirFd, Name, Masks);
  return Recording->Replay(
      *this, [&](TScanRecording& Again) { return MakeWalker_()->Walk(DirFd, Name, FileName, Again); },
      [this, Pos] { return Ahead_->HelpOne(Pos); });
}

bool TFileScanner::WithScanAhead(const std::u16string& FileMask, const TWideStrLst& Masks, bool Recurse,
                                 const std::function<bool()>& Walk) {
  if (!Ahead_) Ahead_ = std::make_unique<TScanAhead>(ScanAheadWorkers(WorkerThreads));
  TScanAhead::TSettings Settings;
  Settings.Stream = Scanner.GetOptions();
  Settings.Encodings = Encodings;
  Settings.MaxSize = MaxScanSize;
  // Archives are walked whole on workers when there are two or more: with one, the walk's thread would
  // only wait for it.
  if (Archives != nullptr && ScanAheadWorkers(WorkerThreads) >= 2) {
    auto Setup = std::make_shared<TWholeFileWalker::TSetup>();
    Setup->Settings = static_cast<const TFileScanSettings&>(*this);
    Setup->Stream = Settings.Stream;
    for (int32_t I = 0; I < Masks.GetCount(); ++I) Setup->Masks.push_back(Masks.Get(I));
    Setup->Archives = Archives;
    Settings.MakeWalker = [Setup]() -> std::unique_ptr<TScanAhead::IWalker> {
      return std::make_unique<TWholeFileWalker>(*Setup);
    };
  }
  MakeWalker_ = Settings.MakeWalker;
  Ahead_->Begin(Settings);
  TWalkPlanner Planner(*this, *Ahead_, FileMask, Masks, Recurse);
  Planner_ = &Planner;
  // The workers end before the listings they read from go with the planner, on every way out.
  struct TEndScope {
    TFileScanner& Scanner;
    ~TEndScope() {
      Scanner.Ahead_->End();
      Scanner.Planner_ = nullptr;
      Scanner.MakeWalker_ = nullptr;
    }
  } EndScope{*this};
  return Walk();
}

bool TFileScanner::WalkAhead(const std::u16string& Folder, const TWideStrLst& Masks, bool Recurse) {
  if (!DoProgress(Folder, spkFolder)) return false;
  const TWalkPlanner::TPlanned Planned = Planner_->Next(Folder);
  if (!Planned.Listing) {
    DoError(Folder, std::strerror(Planned.Error), FileErrorCode(Planned.Error), sekOpenFailed);
    return Poll();
  }
  const TFolderListing& Listing = *Planned.Listing;
  const std::u16string Prefix = WideIncludeTrailingSlash(Folder);
  for (size_t I = 0; I < Listing.Files.size(); ++I) {
    Planner_->Fill();
    const int64_t Pos = Planned.FirstPos + static_cast<int64_t>(I);
    const std::string& Name = Listing.Files[I];
    bool GoOn = true;
    if ((Planned.Matches[I] & TWalkPlanner::kWhole) != 0) {
      GoOn = WalkWholeAhead(Pos, Prefix + Utf8ToUtf16(Name), Listing.Fd(), Name, Masks);
    } else if (Planned.Matches[I] != 0) {
      AheadPos_ = Pos;
      GoOn = ScanListedFile(Prefix + Utf8ToUtf16(Name), Listing.Fd(), Name, Masks);
      AheadPos_ = -1;
    } else {
      GoOn = Poll();
    }
    Ahead_->Pass(Pos);
    if (!GoOn) return false;
  }
  if (!Recurse) return true;
  return WalkAheadInto(Prefix, Listing.Folders, Masks, Recurse);
}

bool TFileScanner::WalkAheadInto(const std::u16string& Prefix, const std::vector<std::string>& Folders,
                                 const TWideStrLst& Masks, bool Recurse) {
  for (const std::string& Name : Folders) {
    const std::u16string Path = Prefix + Utf8ToUtf16(Name);
    if (OnEnterFolder && !OnEnterFolder(Path)) {
      Planner_->Skip(Path);
      if (!Poll()) return false;
      continue;
    }
    if (!WalkAhead(Path, Masks, Recurse)) return false;
  }
  return true;
}

bool TFileScanner::WalkFolder(const std::u16string& Folder, const std::u16string& FileMask,
                              const TWideStrLst& Masks, bool Recurse, int ParentFd, const std::string& Name) {
  // A root walked with scan-ahead.
  if (ParentFd < 0 && Planner_ == nullptr && ScanAheadUsable())
    return WithScanAhead(FileMask, Masks, Recurse, [&] {
      Planner_->StartAt(Folder);
      return WalkAhead(Folder, Masks, Recurse);
    });
  if (!DoProgress(Folder, spkFolder)) return false;
  // One read gives the files and the sub-folders. The folder stays open while its files are looked at
  // and opened relative to it, and while its sub-folders are walked, which are opened relative to it in
  // turn: no system call is given a whole path, so a path of any length is walked.
  TFolderListing Listing;
  if (!ReadFolder(Listing, Folder, ParentFd, Name)) return Poll();
  Listing.KeepFiles(Utf16ToUtf8(FileMask));
  const std::u16string Prefix = WideIncludeTrailingSlash(Folder);
  for (const std::string& File : Listing.Files) {
    const std::u16string Path = Prefix + Utf8ToUtf16(File);
    if (MatchesMasks(Path, Masks, true)) {
      if (!ScanListedFile(Path, Listing.Fd(), File, Masks)) return false;
    } else if (!Poll()) {
      return false;
    }
  }
  if (!Recurse) return true;
  return ScanListedSubfolders(Folder, Listing.Fd(), Listing.Folders, FileMask, Masks, true);
}

bool TFileScanner::ScanSubfolders(const std::u16string& Folder, const std::u16string& SubMask,
                                  const std::u16string& FileMask, const TWideStrLst& Masks, bool Recurse) {
  auto Listing = std::make_shared<TFolderListing>();
  if (!ReadFolder(*Listing, Folder, -1, std::string())) return Poll();
  Listing->KeepFolders(Utf16ToUtf8(SubMask));
  if (Planner_ == nullptr && ScanAheadUsable())
    return WithScanAhead(FileMask, Masks, Recurse, [&] {
      const std::u16string Prefix = WideIncludeTrailingSlash(Folder);
      Planner_->StartBelow(Listing, Prefix);
      return WalkAheadInto(Prefix, Listing->Folders, Masks, Recurse);
    });
  return ScanListedSubfolders(Folder, Listing->Fd(), Listing->Folders, FileMask, Masks, Recurse);
}

bool TFileScanner::ScanListedSubfolders(const std::u16string& Folder, int FolderFd,
                                        const std::vector<std::string>& Names, const std::u16string& FileMask,
                                        const TWideStrLst& Masks, bool Recurse) {
  const std::u16string Prefix = WideIncludeTrailingSlash(Folder);
  for (const std::string& Name : Names) {
    const std::u16string Path = Prefix + Utf8ToUtf16(Name);
    if (OnEnterFolder && !OnEnterFolder(Path)) {
      if (!Poll()) return false;
      continue;
    }
    if (!WalkFolder(Path, FileMask, Masks, Recurse, FolderFd, Name)) return false;
  }
  return true;
}

bool TFileScanner::MatchesMasks(const std::u16string& Name, const TWideStrLst& Masks, bool MayBeArchive,
                                bool InArchive) {
  if (MayBeArchive && Scope != ssFilesOnly && Archives != nullptr && Archives->IsEnabledArchiveName(Name))
    return true;
  if (MayBeArchive && Scope == ssArchivesOnly) return false;
  if (Masks.GetCount() == 0) return true;
  for (int32_t I = 0; I < Masks.GetCount(); ++I)
    if (Masks.Get(I) == kAllFilesMask) return true;
  const std::string Utf8Name = Utf16ToUtf8(ItemName(Name, InArchive));
  for (int32_t I = 0; I < Masks.GetCount(); ++I) {
    const std::string Mask = Utf16ToUtf8(Masks.Get(I));
    if (MatchMask ? MatchMask(Utf8Name, Mask) : MatchesMask(Utf8Name, Mask)) return true;
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
  TFileAt At{DirFd, Name, -1};
  return ScanFileInfo(FileName, Masks, false, true, &At);
}

bool TFileScanner::ScanFileInfo(const std::u16string& FileName, const TWideStrLst& Masks, bool Explicit,
                                bool CheckArchive, TFileAt* At) {
  // Names only, with nothing that needs a file's size or date before its name decides (no archive check,
  // no size or date filter): a listed file whose name is no hit goes on without asking the file system
  // about it, which is most of the walk's cost in this mode.
  if (At != nullptr && (Mode & smNameOnly) != 0 && Archives == nullptr && !OnFilterFile &&
      !Scanner.IsPatternEmpty() && !MatchFileName(FileName, false))
    return ProcessFile(FileName, FileName, nullptr, false, Explicit, CheckArchive, Masks, 0, -1, nullptr);
  int64_t Size = -1;
  TDateTime Date = 0;
  uint32_t Attributes = 0;
  errno = 0;
  // A listed file whose contents the search reads is opened first and looked at through its descriptor,
  // one look-up of its name where a look at the name and an open would take two; the descriptor goes to
  // the stream that scans the file (ScanFile), and is closed here when the file is not scanned. A file
  // that cannot be opened so, or is no regular file, is looked at by name, and the stream reports what
  // stands in its way. (Names alone, an empty pattern and archives, which are read by name, need no open.)
  // With scan-ahead the thread that comes to the file first opens it and looks: a worker's look (or its
  // failed open) is the walk's, and a descriptor the walk's thread opened ahead comes back here.
  const bool OpenFirst = At != nullptr && (Mode & smNameOnly) == 0 && !Scanner.IsPatternEmpty() &&
                         !(Archives != nullptr && Archives->IsEnabledArchiveName(FileName));
  TOpenedFile Opened;
  TScanAhead::TLook Ahead = TScanAhead::lkNone;
  if (At != nullptr && AheadPos_ >= 0 && Ahead_) {
    Ahead = Ahead_->Look(AheadPos_, Size, Date, Attributes, At->Fd);
    Opened.Hold(*At);
  }
  const bool Found =
      Ahead == TScanAhead::lkDone ||
      (Ahead == TScanAhead::lkNone && OpenFirst && Opened.OpenAt(*At, Size, Date, Attributes)) ||
      (At != nullptr ? GetFileInfoAt(At->DirFd, At->Name, &Size, &Date, nullptr, nullptr, &Attributes)
                     : WideGetFileInfo(FileName, &Size, &Date, nullptr, nullptr, nullptr));
  if (!Found) {
    // Gone since the listing (or never there): an open failure, never a hit of unknown size.
    const int Err = errno != 0 ? errno : ENOENT;
    DoError(FileName, std::strerror(Err), FileErrorCode(Err), sekOpenFailed);
    return true;
  }
  // A folder that has taken the file's place since the listing is refused by the open by name, which
  // checks the type.
  if (At != nullptr && (Attributes & faDirectory) != 0) At = nullptr;
  if (At != nullptr) At->Size = Size;
  return ProcessFile(FileName, FileName, nullptr, false, Explicit, CheckArchive, Masks, Date, Size, At);
}

bool IArchiveWalk::RescanArchiveItem(TFileScanner& Scanner, const std::u16string& Path, int64_t, TDateTime,
                                     const std::vector<std::string>&) {
  Scanner.DoError(Path, "Archives are not searched", kNoSystemError, sekException);
  return true;
}

std::vector<std::string> IArchiveWalk::ItemPathOf(const std::u16string&) { return {}; }

std::unique_ptr<IArchiveWalk> IArchiveWalk::NewWorkerWalk(TOwnerWork) { return nullptr; }

bool IArchiveWalk::WalkableOnWorker(const std::u16string&) { return false; }

bool IArchiveWalk::FirstVolumeMissing(const std::u16string&, TArchiveKind, std::string&) { return false; }

bool TFileScanner::RescanArchiveItem(const std::u16string& Path, int64_t Size, TDateTime Date,
                                     const std::vector<std::string>& ItemPath) {
  if (Archives != nullptr) return Archives->RescanArchiveItem(*this, Path, Size, Date, ItemPath);
  DoError(Path, "Archives are not searched", kNoSystemError, sekException);
  return true;
}

bool TFileScanner::ProcessFile(const std::u16string& Name, const std::u16string& DisplayName,
                               const TStrLst* Volumes, bool InArchive, bool Explicit, bool CheckArchive,
                               const TWideStrLst& Masks, TDateTime Date, int64_t Size, TFileAt* At) {
  if (!Poll()) return false;

  TArchiveCheck Check = acNone;
  // A path too long for the system is opened through its folder's descriptor.
  // (A UTF-16 unit is at most three bytes of UTF-8: a shorter name needs no conversion to tell.)
  const std::u16string Checked =
      At != nullptr && Name.size() * 3 >= kLongPathBytes && Utf16ToUtf8(Name).size() >= kLongPathBytes
          ? Utf8ToUtf16("/proc/self/fd/" + std::to_string(At->DirFd) + "/" + At->Name)
          : Name;
  if (CheckArchive && Archives != nullptr) {
    TArchiveKind Kind = akNone;
    try {
      Check = Archives->CheckArchiveFile(Checked, Kind);
    } catch (const EWin32Error& E) {
      // The file cannot be read: one error, since opening it to scan it would fail the same way.
      DoError(DisplayName, E.what(), E.ErrorCode, sekOpenFailed);
      return true;
    } catch (const std::exception& E) {
      DoError(DisplayName, ShownText(E.what(), Name, DisplayName), kNoSystemError, sekException);
      Check = acNone;
    }
    switch (Check) {
      case acNoDecoder:
        DoError(DisplayName, std::string(), kNoSystemError, sekArchiveUnsupported);
        return true;
      case acDisabled:
        DoError(DisplayName, std::string(), kNoSystemError, sekArchiveDisabled);
        return true;
      case acLaterVolume: {
        // Read with the first volume of its set; when no volume before it is there, on its own.
        std::string FirstName;
        if (!Archives->FirstVolumeMissing(Checked, Kind, FirstName)) return true;
        DoError(DisplayName, "Volume \"" + FirstName + "\" not found: the set is read from this volume on",
                kNoSystemError, sekArchiveWarning);
        Check = acArchive;
        break;
      }
      default:
        break;
    }
  }
  const bool IsArchive = Check == acArchive;
  if (!InArchive && Scope == ssArchivesOnly && !IsArchive) return true;

  if (IsArchive) {
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
                                   TDateTime Date, int64_t Size, bool InArchive, TFileAt* At) {
  const bool EmptyPattern = Scanner.IsPatternEmpty();
  if (!EmptyPattern) {
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
  if (At != nullptr && AheadPos_ >= 0 && Ahead_) {
    TScanResult Ahead = srNotFound;
    TScanEncoding Encoding = seFileName;
    // While a worker still scans the file, the stream scanner's progress event is asked now and then
    // here, as the scan on this thread would ask it, so that a stop is answered as quickly.
    const std::function<bool()> Poll = [this, Size] {
      return !Scanner.OnProgress ||
             Scanner.OnProgress(static_cast<int32_t>(std::min<int64_t>(Size, INT32_MAX)));
    };
    if (Ahead_->Take(std::exchange(AheadPos_, -1), Size, Ahead, Encoding, Poll)) {
      // A scan on this thread asks the event at least once, after its first block.
      if (Ahead != srCancelled && !Poll()) Ahead = srCancelled;
      if (Ahead == srCancelled) {
        DoError(DisplayName, std::string(), kNoSystemError, sekAborted);
        return srCancelled;
      }
      ++FilesScanned;
      if (Ahead == srFound) ReportFound(DisplayName, Date, Size, nullptr, Encoding, InArchive);
      return Ahead;
    }
  }

  TScanResult Result = srNotFound;
  TTempFileScope Copy;  // declared before the stream, so the stream is closed before the copy goes
  std::unique_ptr<TVBufFileStream> Stream;
  try {
    try {
      if (At != nullptr) {
        // The stream takes over a descriptor At holds, also when it fails.
        const TFileAt Given = *At;
        At->Fd = -1;
        Stream = std::make_unique<TVBufFileStream>(FileName, kFileBufferSize, fmShareDenyWrite, Given);
      } else {
        Stream = std::make_unique<TVBufFileStream>(FileName, kFileBufferSize, fmShareDenyWrite);
      }
    } catch (const EVFileStream& E) {
      if (E.ErrorCode != kErrorSharingViolation) throw;
      // Another program holds the file: scan a copy of it.
      Copy.Name = MakeProcessTempFileOrRaise("QV", Size);
      CopyLockedFile(FileName, Copy.Name);
      Stream = std::make_unique<TVBufFileStream>(Utf8ToUtf16(Copy.Name), kFileBufferSize, fmShareDenyWrite);
    }
    Result = ScanStream(*Stream, DisplayName, Date, Size, InArchive);
  } catch (const EVFileStream& E) {
    DoError(DisplayName, ShownText(E.what(), FileName, DisplayName), E.ErrorCode, sekOpenFailed);
  } catch (const EWin32Error& E) {
    DoError(DisplayName, ShownText(E.what(), FileName, DisplayName), E.ErrorCode, sekOpenFailed);
  } catch (const std::exception& E) {
    DoError(DisplayName, ShownText(E.what(), FileName, DisplayName), kNoSystemError, sekOpenFailed);
  }
  return Result;
}

void TFileScanner::CopyLockedFile(const std::u16string& FileName, const std::string& Copy) {
  TVFileStream Source(FileName, fmOpenRead);
  TVFileStream Target(Copy, fmOpenWrite);
  std::vector<uint8_t> Piece(kCopyPieceSize);
  for (;;) {
    if (!Poll()) throw EWin32Error(kErrorRequestAborted, "The request was aborted.");
    const int32_t N = Source.Read(Piece.data(), kCopyPieceSize);
    if (N <= 0) break;
    Target.Write(Piece.data(), N);
  }
  Target.Close();
}

TScanResult TFileScanner::ScanConverted(TVStream& Stream, const std::u16string& DisplayName, TDateTime Date,
                                        int64_t Size, bool InArchive, TScanErrorKind& Noted,
                                        std::string& NotedText) {
  std::string ErrorText;
  TQVConverter* Converter = nullptr;
  int32_t Length = static_cast<int32_t>(Size);  // Size <= MaxConvertSize
  bool IsUnicode = false;
  TResultBlock Block;
  if (Converters != nullptr)
    Block = Converters->ConvertStream(Stream, Utf16ToUtf8(DisplayName), std::string(), ErrorText, Converter,
                                      Length, IsUnicode, kUnicodeModeNative);
  if (!Block) {
    Noted = sekConvertFailed;
    NotedText = ErrorText;
    return srNotFound;
  }
  // The text came, but the converter says what it left out: the search goes on with the text, and the
  // warning is reported with the document's name.
  if (Converter != nullptr && !Converter->Warning.empty())
    DoError(DisplayName, Converter->Warning, kNoSystemError, sekConvertWarning);
  TVReadOnlyMemStream Text(Block.get(), Length);
  TScannerStreamScope StreamScope(Scanner, Text);
  const TScanningScope Scanning(Scanning_, DisplayName);
  TScanEncoding Encoding = seFileName;
  const TScanResult Result = Scanner.Find(IsUnicode ? kScanUnicode : kScanAnsi, Encoding);
  if (Result == srFound)
    ReportFound(DisplayName, Date, Size, Converter, Encoding, InArchive);
  else if (Result == srCancelled)
    Noted = sekAborted;
  return Result;
}

TScanResult TFileScanner::ScanStream(TVStream& Stream, const std::u16string& DisplayName, TDateTime Date,
                                     int64_t Size, bool InArchive) {
  TScanResult Result = srNotFound;
  TScanErrorKind Noted{};  // 0: nothing to report
  std::string NotedText;
  try {
    const bool EmptyPattern = Scanner.IsPatternEmpty();
    if ((Mode & smConvert) != 0) {
      if (EmptyPattern) {
        if (!SkipBinary || IsTextStream(Stream, kTextTestBytes)) {
          Result = srFound;
          ReportFound(DisplayName, Date, Size, nullptr, seFileName, InArchive);
        }
      } else if (Size > MaxConvertSize) {
        Noted = sekTooLargeToConvert;
      } else {
        Result = ScanConverted(Stream, DisplayName, Date, Size, InArchive, Noted, NotedText);
      }
    }
    const bool Direct = (Mode & smScanContents) != 0 || (Mode & (smScanContents | smConvert)) == 0;
    if (Result == srNotFound && Direct) {
      Stream.Seek(0);
      if (SkipBinary && !IsTextStream(Stream, kTextTestBytes)) {
        Noted = sekNotText;
      } else if (EmptyPattern) {
        Result = srFound;
        ReportFound(DisplayName, Date, Size, nullptr, seFileName, InArchive);
      } else {
        TScannerStreamScope StreamScope(Scanner, Stream);
        const TScanningScope Scanning(Scanning_, DisplayName);
        TScanEncoding Encoding = seFileName;
        Result = Scanner.Find(Encodings, Encoding);
        if (Result == srFound)
          ReportFound(DisplayName, Date, Size, nullptr, Encoding, InArchive);
        else if (Result == srCancelled)
          Noted = sekAborted;
      }
    }
  } catch (const std::exception& E) {
    Noted = sekScanFailed;
    NotedText = E.what();
  }
  if (Result != srCancelled) ++FilesScanned;
  if (Noted != 0) DoError(DisplayName, NotedText, kNoSystemError, Noted);
  return Result;
}

bool TFileScanner::MatchFileName(const std::u16string& Path, bool InArchive) {
  const std::u16string Name = ItemName(Path, InArchive);
  TVReadOnlyMemStream Stream(Name.data(), static_cast<int32_t>(Name.size() * sizeof(char16_t)));
  TScannerStreamScope StreamScope(Scanner, Stream);
  TScanEncoding Encoding = seFileName;
  return Scanner.Find(kScanUnicode, Encoding) == srFound;
}
