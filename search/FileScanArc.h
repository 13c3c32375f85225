// The file scanner's archive walk: the archive layer behind TFileScanner::Archives. An archive is opened
// with a TArchiver and walked in one extract-all pass: each item is filtered, then
// scanned from memory or from a temporary file, and archives found inside it are walked in turn, with the
// volume sets of nested archives put back together. RescanArchiveItem reads one archive item again by its
// archive item path for the search within results.
//
// Memory: an item goes to memory only when the walk's memory budget (FileScanArcBudget.h) grants its size,
// which it holds until the item has been scanned; every other item goes through a temporary file. Worker
// walks share their owner's budget.
//
// Display paths: an item of an archive is shown as the archive's display path, "|" and the item's path.
// Nested archives are extracted into the outer archiver's temporary folder; every temporary file is
// deleted on every path, except a file that the inner-archive cache owns (ArcNested.h), which only the
// cache deletes. Nesting is bounded (kMaxArchiveNesting), and an inner archive with the bytes of an
// archive it lies in is reported and not walked, so a file that holds itself ends. A message about an
// archive item names the item's display path, never its temporary file.
//
// Ownership and threads: the walk object is the owner's and must outlive every search that uses it; it
// runs on the scanner's thread. A worker's walk (NewWorkerWalk) runs on its worker's thread, and hands
// the archive kinds read through libraries with process-wide state to the owner's thread. The inner-archive
// cache is shared with its cleaner thread and is touched only under the cache lock; a wait for that lock
// polls the scanner, so a stop ends it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "search/FileScan.h"
#include "search/FileScanArcBudget.h"

class TArchiver;

class TArchiveWalk : public IArchiveWalk {
 public:
  TArchiveWalk() = default;
  ~TArchiveWalk() override;
  TArchiveWalk(const TArchiveWalk&) = delete;
  TArchiveWalk& operator=(const TArchiveWalk&) = delete;

  bool IsEnabledArchiveName(const std::u16string& Name) override;
  TArchiveCheck CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) override;
  bool FirstVolumeMissing(const std::u16string& FileName, TArchiveKind Kind, std::string& FirstName) override;
  bool ScanArchive(TFileScanner& Scanner, const std::u16string& FileName, const std::u16string& DisplayName,
                   const TStrLst* Volumes, bool Explicit, const TWideStrLst& Masks) override;

  // Scans the archive item Path (archive item path: the archive, "|", the item) of Size bytes again.
  // False: the search was stopped. A failure is reported as sekException and answers true.
  bool RescanArchiveItem(TFileScanner& Scanner, const std::u16string& Path, int64_t Size, TDateTime Date,
                         const std::vector<std::string>& ItemPath = {}) override;
  // The parts of an item of the archive walked now (or of the item scanned again now) shown as
  // DisplayName.
  std::vector<std::string> ItemPathOf(const std::u16string& DisplayName) override;
  // A walk for a worker thread (any thread may ask for it): it hands the archive kinds whose libraries
  // keep process-wide state (cabinets, RAR, ACE, self-extractors) to RunOnOwner, with everything in them.
  std::unique_ptr<IArchiveWalk> NewWorkerWalk(TOwnerWork RunOnOwner) override;
  // An archive name of a kind whose walk needs no library with process-wide state.
  bool WalkableOnWorker(const std::u16string& Name) override;

  // The memory all walks of this walk's search hold in items extracted to memory (the process's budget
  // unless set otherwise); worker walks share it.
  std::shared_ptr<TItemMemoryBudget> MemoryBudget = TItemMemoryBudget::Process();
  // A further memory question, asked before the budget; false sends the item through a temporary file.
  // Unassigned, an item also needs the memory the system reports available. Worker walks copy it and ask
  // it on their threads.
  std::function<bool(int64_t Size)> MemoryCheck;

  // The TAR inside a GZIP file (".tar.gz", ".tgz") is read as it is inflated, without a temporary file;
  // false takes the way of every other inner archive, through a temporary file (the tests compare the two).
  // A streamed TAR has no file, so it is never put into the inner-archive cache while it is walked: a
  // lookup of it then finds nothing and extracts it as for any archive not cached, and a TAR the cache
  // holds already is walked from the cache's file instead of being streamed.
  bool StreamTarInGzip = true;

  // Archives inside archives are walked to this depth (an archive on disk is level 1); a deeper one is
  // reported and skipped. Real archives never come near it; a chain made to exhaust the stack or the
  // temporary drive ends here.
  static constexpr size_t kMaxArchiveNesting = 32;

 private:
  // One archive being walked: its file, display path, size, and its archive item path in parts (the
  // file on disk alone for an archive on disk).
  struct TOpenLevel {
    std::string File;
    std::string Display;
    int64_t Size;
    std::vector<std::string> Parts;
  };
  std::vector<TOpenLevel> Levels_;  // outermost first
  // The parts of an archive to be walked, shown as Display: an item of the innermost level walked, or
  // (no level open) the file on disk.
  std::vector<std::string> PartsOf(const std::string& Display) const;
  // The item scanned again by RescanArchiveItem now, in parts, and its display path.
  std::vector<std::string> RescanParts_;
  std::u16string RescanDisplay_;

  // Cache work left undone when a stop ended a wait for the cache lock: the registrations of walked
  // inner archives (whose archivers must live until then) and the pins of cached archivers. Done at the
  // start of the next walk, or when the walk object goes.
  struct TPendingRegistration {
    std::string Key;
    std::shared_ptr<TArchiver> Archiver;
    std::vector<std::string> Files;  // the walk's temporary files of the archive, deleted unless cached
  };
  std::vector<TPendingRegistration> PendingRegistrations_;
  std::vector<TArchiver*> PendingPins_;  // the cache holds them while pinned
  // Does the pending work when the cache lock can be had; false when some is left.
  bool SettlePending();

  // Whether an item of Size bytes may go to memory: true when Lease now holds Size bytes of the budget.
  bool TakeMemory(TItemMemoryLease& Lease, int64_t Size) const;

  // A worker's walk: where the owner's thread does what only it may do (unassigned: this is the owner's).
  TOwnerWork RunOnOwner_;
  // Runs Work on the owner's thread when this walk is a worker's; else here.
  bool OnOwnerThread(const std::function<bool()>& Work) { return RunOnOwner_ ? RunOnOwner_(Work) : Work(); }
  // The kind CheckArchiveFile found for the file it looked at last, which ScanArchive usually walks next.
  std::u16string CheckedFile_;
  TArchiveKind CheckedKind_ = akNone;
  // ScanArchive's walk, on this thread.
  bool ScanArchiveHere(TFileScanner& Scanner, const std::u16string& FileName,
                       const std::u16string& DisplayName, const TStrLst* Volumes, bool Explicit,
                       const TWideStrLst& Masks);
  friend class TListHelper;
};
