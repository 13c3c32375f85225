// The file scanner: one search over the file system. It takes the root paths and file masks the user
// typed, walks folders and sub-folders in a fixed order, filters files by masks, excluded folders, the
// owner's date and size filter and the size limits, matches the pattern against file names, has
// documents converted to text by the converter plug-ins and/or scans the bytes directly with its stream
// scanner, hands archives to the archive walk, and reports every hit, skipped file and failure to its
// owner through events. A failure of one file or folder is one error event; only a progress answer of
// stop ends the walk.
//
// Paths: absolute, "/" between folders. A file's own path is its display name; inside an archive the
// display name is the archive's display name, "|" and the item's path, and whether a name is such an
// item path is always carried explicitly (a "|" is an ordinary character of a plain file's name). Names
// are compared exactly (a.txt and A.txt are two files); masks match without case. The walk never enters
// a symbolic link to a folder and never opens a FIFO, socket or device.
//
// Ownership: the scanner owns its stream scanner. Converters and Archives are the owner's and must
// outlive every search. Threads: one thread (the owner's); the events run on it and must not start
// another search. With WorkerThreads above 1, worker threads scan files and walk archives ahead of the
// walk (FileScanAhead.h, FileScanRecord.h), with copies of the settings (TFileScanSettings and the stream
// scanner's TStreamScanOptions) taken when a root's walk begins; of the owner's routines they call only
// MatchMask, FilterFileAhead and the archive walk's NewWorkerWalk.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArcScan.h"
#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "search/FileScanAhead.h"
#include "search/StrmScan.h"

class TFileScanner;
class TQVConverter;
class TQVConverters;
class TStrLst;
class TVStream;
class TWideStrLst;

// One hit.
struct TFoundFileInfo {
  // The display name: the file's path, or for an archive item the archive's display name, "|" and the
  // item's path (one more "|" and path per nesting level).
  std::u16string Name;
  int64_t Size = 0;
  TDateTime Date = 0;  // last write, local time
  // The plug-in whose text held the hit; null for direct and name hits.
  TQVConverter* Converter = nullptr;
  // The encoding of the hit; seFileName for a name hit and for a file accepted without a pattern.
  TScanEncoding Encoding = seFileName;
  bool InArchive = false;  // Name is an archive item path
  // For an archive item, its path in parts (UTF-8): the archive's file on disk, then the item's path in
  // each archive down to the item. Name joins them with "|", which cannot tell a "|" inside an item's
  // own name from a separator; the parts can, and reopen the item by its own path. Empty for a plain
  // file, and for an item whose parts are unknown (Name is then split at every "|").
  std::vector<std::string> ItemPath;
};

// TScanModes, a set of these bits.
using TScanModes = uint8_t;
constexpr TScanModes smScanContents = 1;  // scan the bytes directly
constexpr TScanModes smConvert = 2;       // scan the text of a converter plug-in
constexpr TScanModes smMatchName = 4;     // also match the pattern against the file name
constexpr TScanModes smNameOnly = 8;      // only the name

enum TScanScope : uint8_t {
  ssFilesAndArchives = 0,
  ssFilesOnly = 1,     // archives are skipped unless named as a root
  ssArchivesOnly = 2,  // plain files are skipped unless they lie inside an archive
};

enum TScanProgressKind : uint8_t { spkPoll = 0, spkFolder = 1, spkArchive = 2, spkFile = 3 };

// What an error event reports; Name, Text and OSCode of each are given where it is raised.
enum TScanErrorKind : uint8_t {
  sekPathNotFound = 1,
  sekOpenFailed = 2,
  sekConvertFailed = 3,
  sekScanFailed = 4,
  sekEmptyFile = 5,
  sekNotText = 6,
  sekTooLarge = 7,
  sekTooLargeToConvert = 8,
  sekArchiveOpenFailed = 9,
  sekSearchFailed = 10,  // never raised by the scanner; the owner's own failures
  sekArchiveWarning = 11,
  sekArchiveUnsupported = 12,
  sekArchiveDisabled = 13,
  sekSubArchiveDisabled = 14,
  sekArchiveTooLarge = 15,
  sekAborted = 16,
  sekException = 17,
  sekConvertWarning = 18,  // a converter answered text with a warning (pages it left out, say), which is
                           // the Text; the text is searched all the same
};

// The OS code of an error event that no failed system call stands behind (a damaged archive, a file too
// large, a stop): there is no system error to give.
constexpr int32_t kNoSystemError = 0;

// Events. An unassigned notification is skipped; an unassigned question counts as yes.
using TFoundEvent = std::function<void(const TFoundFileInfo& Info)>;
// False stops the search.
using TFileScanProgressEvent = std::function<bool(const std::u16string& Name, TScanProgressKind Kind)>;
// One error of the walk: the file or folder, the text in UTF-8 (an exception's message, a converter's
// error lines; empty when the kind has none), the system error code (0: none) and the kind.
struct TScanError {
  const std::u16string& Name;
  const std::string& Text;
  int32_t OSCode = 0;
  TScanErrorKind Kind = sekException;
};
using TScanErrorEvent = std::function<void(const TScanError& Error)>;
// False skips the file or archive (the owner's duplicate filter).
using TAcceptFileEvent = std::function<bool(const std::u16string& FileName)>;
// False skips the folder and everything below it (excluded folders).
using TEnterFolderEvent = std::function<bool(const std::u16string& Folder)>;
// A file offered to the date and size filter. SizeIncomplete is false for plain files; for an archive item
// whose data continues in the next volume, Size is only this volume's part.
struct TFilterFileInfo {
  const std::u16string& FileName;
  bool SizeIncomplete = false;
  TDateTime Date = 0;
  int64_t Size = 0;
};
// False skips the file (the date and size filter).
using TFilterFileEvent = std::function<bool(const TFilterFileInfo& File)>;
// The password question for ItemName of an archive: ArcFileName is the file the archive layer reads,
// ArcName the archive as the user knows it; the answer goes to Password.
struct TScanPasswordQuery {
  const std::string& ArcFileName;
  const std::string& ArcName;
  const std::string& ItemName;
  std::string& Password;
};
// False: no password for the archive item.
using TScanPasswordEvent = std::function<bool(TScanPasswordQuery& Query)>;

// What the scanner asks of the archive layer: whether a name or a file is an archive, and the walk
// through one archive's items. Without it (TFileScanner::Archives null) no file is taken for an archive
// and every file is scanned as a plain file.
class IArchiveWalk {
 public:
  virtual ~IArchiveWalk() = default;
  // Whether Name's extension is that of an archive kind with a decoder that is switched on.
  virtual bool IsEnabledArchiveName(const std::u16string& Name) = 0;
  // The kind of the file by its extension and signature; may raise (the scanner reports sekException).
  virtual TArchiveCheck CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) = 0;
  // For a later volume of a set (acLaterVolume): true when no volume of the set before it is there, with
  // the name of the set's first volume (without its folder) in FirstName; such a volume is read on its own.
  virtual bool FirstVolumeMissing(const std::u16string& FileName, TArchiveKind Kind, std::string& FirstName);
  // Walks the items of the archive FileName (shown as DisplayName) with Scanner, reporting through its
  // events. Volumes: the files of the later volumes, or null. False: the search was stopped.
  virtual bool ScanArchive(TFileScanner& Scanner, const std::u16string& FileName,
                           const std::u16string& DisplayName, const TStrLst* Volumes, bool Explicit,
                           const TWideStrLst& Masks) = 0;
  // Scans the archive item Path (the archive's path, "|", the item's path) of Size bytes again, for the
  // search within results; ItemPath, when not empty, is the same path in parts (TFoundFileInfo::ItemPath)
  // and names the item. False: the search was stopped. A layer that cannot read archive items reports
  // the item as sekException and answers true.
  virtual bool RescanArchiveItem(TFileScanner& Scanner, const std::u16string& Path, int64_t Size,
                                 TDateTime Date, const std::vector<std::string>& ItemPath = {});
  // The parts of the archive item shown as DisplayName, for a hit the walk reports now; empty when they
  // are not known.
  virtual std::vector<std::string> ItemPathOf(const std::u16string& DisplayName);

  // Runs work on the owner's thread (waiting until it is done there) and answers the work's answer.
  using TOwnerWork = std::function<bool(const std::function<bool()>& Work)>;
  // A walk of the same archives for a worker thread, which hands what must be done on the owner's thread
  // to RunOnOwner; null when archives are walked on the owner's thread only (the default).
  virtual std::unique_ptr<IArchiveWalk> NewWorkerWalk(TOwnerWork RunOnOwner);
  // Whether an archive of this name may be walked whole on a worker thread.
  virtual bool WalkableOnWorker(const std::u16string& Name);
};

// The settings of a search, which the owner sets before it. A worker thread's own scanner, which walks
// archives ahead of the walk, copies them whole: a setting added here reaches the walks on workers too.
// What is not a setting (the events, the owner's objects, the counts of a search) belongs to TFileScanner.
struct TFileScanSettings {
  // The program's default limits, the one place they are written: the settings start from them (the
  // owner sets its own before every search).
  static constexpr int32_t kDefaultMaxScanSize = 128 * 1048576;
  static constexpr int32_t kDefaultMaxConvertSize = 16 * 1048576;
  static constexpr int32_t kDefaultMaxArchiveSize = 128 * 1048576;
  static constexpr int32_t kMaxDefaultWorkerThreads = 8;
  // The processors this process may run on, at most kMaxDefaultWorkerThreads.
  static int32_t DefaultWorkerThreads();

  int32_t MaxScanSize = kDefaultMaxScanSize;
  int32_t MaxConvertSize = kDefaultMaxConvertSize;
  int32_t MaxArchiveSize = kDefaultMaxArchiveSize;
  bool SkipBinary = false;
  bool ScanNestedArchives = false;
  TScanModes Mode = smScanContents;
  TScanEncodings Encodings = 0;  // for direct scans; 0 means ANSI
  TScanScope Scope = ssFilesAndArchives;
  // Threads that scan files: with more than one, the walk lists folders ahead and worker threads read
  // and scan the files of several folders ahead of it (TScanAhead) while every event stays on the
  // caller's thread in the same order; 1: the walk scans every file itself. The default is one a processor
  // (DefaultWorkerThreads).
  int32_t WorkerThreads = DefaultWorkerThreads();
  // OnFilterFile's answer for the workers that walk archives ahead of the walk, from an owner whose filter
  // depends only on the file it is shown and may be asked on any thread (TDateSizeFilter is such a one).
  // The workers take it (yes when unassigned) as the answer OnFilterFile will give when it is asked, on the
  // owner's thread, in the walk's order; when that answer differs, the rest of the archive is walked again
  // on the owner's thread.
  std::function<bool(const TFilterFileInfo& File)> FilterFileAhead;
  // The mask routines of the program's list utilities, which the owner installs: the normal form of a
  // typed mask list, and the match of one file name against one mask. Unassigned, masks are used as
  // typed and matched without case by the file-system unit's MatchesMask.
  std::function<void(TWideStrLst& Masks)> NormalizeMaskList;
  std::function<bool(const std::string& Name, const std::string& Mask)> MatchMask;
};

// The date and size filter of a search: a file passes when its last-write date and its size lie within
// the bounds that are set. It reads nothing but its bounds, so that a copy may be asked on any thread: an
// owner gives it as OnFilterFile and as FilterFileAhead alike.
struct TDateSizeFilter {
  TDateTime DateFrom = 0;    // last written at or after; 0: no bound
  TDateTime DateBefore = 0;  // last written before; 0: no bound
  int64_t SizeFrom = -1;     // bytes at least, unless the size is only a volume's part; -1: no bound
  int64_t SizeTo = -1;       // bytes at most; -1: no bound
  // Whether any bound is set.
  bool Active() const { return DateFrom != 0 || DateBefore != 0 || SizeFrom >= 0 || SizeTo >= 0; }
  bool Passes(const TFilterFileInfo& File) const {
    if (DateFrom != 0 && File.Date < DateFrom) return false;
    if (DateBefore != 0 && File.Date >= DateBefore) return false;
    if (!File.SizeIncomplete && SizeFrom >= 0 && File.Size < SizeFrom) return false;
    return !(SizeTo >= 0 && File.Size > SizeTo);
  }
};

class TFileScanner : public TFileScanSettings {
 public:
  // Bytes of the read buffer of a file stream.
  static constexpr int32_t kFileBufferSize = 32768;
  // Bytes at the start of a stream that the skip-binary test examines.
  static constexpr int32_t kTextTestBytes = 4096;
  TFileScanner() = default;
  TFileScanner(const TFileScanner&) = delete;
  TFileScanner& operator=(const TFileScanner&) = delete;
  virtual ~TFileScanner() = default;

  // Searches the roots in Paths (split at blanks, "," and ";" outside double quotes) for files that
  // pass Masks (split the same way), walking sub-folders when Recurse. A root is an absolute path of a
  // file or folder; its last component may hold "*" or "?" (the files of its folder that match it), and
  // with a final "/" it selects the sub-folders of its folder that match. True when the walk ran to its
  // end, false when it was stopped.
  bool Search(const std::u16string& Paths, const std::u16string& Masks, bool Recurse);
  // Scans one file named by its path (also for the search within results). False: stop.
  bool ScanSingleFile(const std::u16string& FileName, const TWideStrLst& Masks, bool Explicit,
                      bool CheckArchive);
  // Scans one archive item named by its archive item path again (the search within results); without an
  // archive layer the item cannot be read and is reported as sekException. False: stop.
  bool RescanArchiveItem(const std::u16string& Path, int64_t Size, TDateTime Date,
                         const std::vector<std::string>& ItemPath = {});

  // True when OnProgress is unassigned or answers go on; otherwise reports sekAborted with Name and
  // answers false.
  bool DoProgress(const std::u16string& Name, TScanProgressKind Kind);
  void DoError(const std::u16string& Name, const std::string& Text, int32_t OSCode, TScanErrorKind Kind);

  // --- The steps of the walk, also used by the archive walk and the search within results -------------

  // Walks each root; false when stopped.
  bool ScanRoots(const TWideStrLst& Roots, const TWideStrLst& Masks, bool Recurse);
  // The files of Folder that match Mask (all when empty) and pass Masks; false when stopped.
  bool ScanFolder(const std::u16string& Folder, const std::u16string& Mask, const TWideStrLst& Masks);
  // The sub-folders of Folder that match SubMask (all when empty): the files in each that match
  // FileMask, and with Recurse their sub-folders in turn; false when stopped.
  bool ScanSubfolders(const std::u16string& Folder, const std::u16string& SubMask,
                      const std::u16string& FileMask, const TWideStrLst& Masks, bool Recurse);
  // Whether Name passes the masks: an archive name passes while archives are searched (MayBeArchive),
  // other names when their last component matches a mask. InArchive: Name is an archive item path.
  bool MatchesMasks(const std::u16string& Name, const TWideStrLst& Masks, bool MayBeArchive,
                    bool InArchive = false);
  // One file, plain or archive: Name is the file on disk, DisplayName what the events show. At, when
  // given, is where a walked folder holds the file (see TFileAt), so that it is opened relative to the
  // folder; a descriptor it holds goes to the stream that scans the file (its Fd is then -1), and stays
  // the caller's when the file is not scanned. False: stop.
  bool ProcessFile(const std::u16string& Name, const std::u16string& DisplayName, const TStrLst* Volumes,
                   bool InArchive, bool Explicit, bool CheckArchive, const TWideStrLst& Masks, TDateTime Date,
                   int64_t Size, TFileAt* At = nullptr);
  // The name test, then the contents of one plain file (At as ProcessFile's).
  TScanResult ScanFile(const std::u16string& FileName, const std::u16string& DisplayName, TDateTime Date,
                       int64_t Size, bool InArchive = false, TFileAt* At = nullptr);
  // The contents of one stream: converted, then directly, as Mode says.
  TScanResult ScanStream(TVStream& Stream, const std::u16string& DisplayName, TDateTime Date, int64_t Size,
                         bool InArchive = false);
  // Whether the pattern occurs in the last component of Path, searched as UTF-16 text.
  bool MatchFileName(const std::u16string& Path, bool InArchive = false);

  // --- State the owner sets before a search, besides the settings (TFileScanSettings) --------------------
  // A new setting of the search goes into TFileScanSettings (or TStreamScanOptions), never here: only what
  // is there reaches the walks on worker threads.

  // The stream scanner; its options (TStreamScanOptions) are the search's too.
  TStreamScanner Scanner;
  // Display name of the archive last opened (UTF-8).
  std::string CurrentArchive;
  TFoundEvent OnFound;
  TFileScanProgressEvent OnProgress;
  TScanErrorEvent OnError;
  // Streams scanned and not cancelled.
  int32_t FilesScanned = 0;
  TAcceptFileEvent OnAcceptFile;
  TEnterFolderEvent OnEnterFolder;
  TFilterFileEvent OnFilterFile;
  TScanPasswordEvent OnPassword;
  // The display name of the stream the stream scanner scans now (empty between scans).
  const std::u16string& ScanningName() const;

  // The converter host that smConvert uses (null: no converter gives text).
  TQVConverters* Converters = nullptr;
  // The archive layer (null: no file is an archive).
  IArchiveWalk* Archives = nullptr;

 private:
  // ScanFolder, and with Recurse the sub-folders below (ScanSubfolders' work), from one read of Folder.
  // With ParentFd >= 0 the folder is Name of the folder open on ParentFd, opened relative to it.
  bool WalkFolder(const std::u16string& Folder, const std::u16string& FileMask, const TWideStrLst& Masks,
                  bool Recurse, int ParentFd = -1, const std::string& Name = std::string());
  // Reads Folder (Name of ParentFd when ParentFd >= 0) into Listing; a failure is reported as
  // sekOpenFailed with the system's reason and answers false.
  bool ReadFolder(TFolderListing& Listing, const std::u16string& Folder, int ParentFd,
                  const std::string& Name);
  // The sub-folders Names of Folder (open on FolderFd), each walked unless OnEnterFolder refuses it.
  bool ScanListedSubfolders(const std::u16string& Folder, int FolderFd, const std::vector<std::string>& Names,
                            const std::u16string& FileMask, const TWideStrLst& Masks, bool Recurse);
  // ScanSingleFile of the file Name of the folder open on DirFd, whose full path is FileName.
  bool ScanListedFile(const std::u16string& FileName, int DirFd, const std::string& Name,
                      const TWideStrLst& Masks);
  // ScanSingleFile's work: the file's size and date (at At when given, which then gets the size), then
  // ProcessFile.
  bool ScanFileInfo(const std::u16string& FileName, const TWideStrLst& Masks, bool Explicit,
                    bool CheckArchive, TFileAt* At);
  void ReportNameMatch(const std::u16string& DisplayName, TDateTime Date, int64_t Size, bool InArchive);
  void ReportFound(const std::u16string& DisplayName, TDateTime Date, int64_t Size, TQVConverter* Converter,
                   TScanEncoding Encoding, bool InArchive);
  // A plain poll: DoProgress without a name.
  bool Poll() { return DoProgress(std::u16string(), spkPoll); }
  // Whether files may be scanned ahead in this search: plain scans of the contents only.
  bool ScanAheadUsable();
  // Whether the files of this name are walked whole on workers (archives, when the archive layer can).
  bool WalkedWholeAhead(const std::u16string& Path);
  // The file at walk position Pos, an archive that a worker may have walked whole: its recorded events
  // replayed, or the walk's own ScanListedFile when no worker has started it. False: stop.
  bool WalkWholeAhead(int64_t Pos, const std::u16string& FileName, int DirFd, const std::string& Name,
                      const TWideStrLst& Masks);
  // The walk of whole files on a worker (FileScan.cpp), and the maker of such walks for this search.
  class TWholeFileWalker;
  std::function<std::unique_ptr<TScanAhead::IWalker>()> MakeWalker_;
  // The display name of the stream scanned now; null between scans.
  const std::u16string* Scanning_ = nullptr;
  // The walk with scan-ahead: Folder as WalkFolder walks it, from the listing the planner made ahead.
  bool WalkAhead(const std::u16string& Folder, const TWideStrLst& Masks, bool Recurse);
  // WalkAhead for each of Folders below Prefix that the owner lets the walk enter.
  bool WalkAheadInto(const std::u16string& Prefix, const std::vector<std::string>& Folders,
                     const TWideStrLst& Masks, bool Recurse);
  // Starts scan-ahead for one root (the planner and the workers); the answer of Walk, with both ended
  // on every way out.
  bool WithScanAhead(const std::u16string& FileMask, const TWideStrLst& Masks, bool Recurse,
                     const std::function<bool()>& Walk);
  // The listing ahead of the walk, in walk order (FileScan.cpp); set while a walk with scan-ahead runs.
  class TWalkPlanner;
  TWalkPlanner* Planner_ = nullptr;
  // The scan-ahead workers, made at the first root that uses them; the walk position of the walked file
  // whose worker answer ScanFile may take (-1: none).
  std::unique_ptr<TScanAhead> Ahead_;
  int64_t AheadPos_ = -1;
  // Copies FileName to the new temporary file Copy with a poll per piece; raises on failure or stop.
  void CopyLockedFile(const std::u16string& FileName, const std::string& Copy);
  // The converted text of the stream, scanned (step 1 of ScanStream).
  TScanResult ScanConverted(TVStream& Stream, const std::u16string& DisplayName, TDateTime Date, int64_t Size,
                            bool InArchive, TScanErrorKind& Noted, std::string& NotedText);
};
