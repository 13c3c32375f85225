// Nested archive paths and the inner-archive cache.
//
// An archive item path names an item inside an archive: the archive's file path, "|" and the item's path
// inside it; an item of an archive that itself lies inside an archive adds "|" and the next path, to any
// depth ("/data/a.zip|b.zip|docs/c.txt" is docs/c.txt of b.zip, an item of a.zip). OpenArchivePath opens
// the innermost archive of such a path by extracting every intermediate archive (with the further volumes
// of a multi-volume inner archive) into temporary folders; the archivers of extracted inner archives are
// kept in a cache under their archive item path (the cache key), so the next item of the same inner
// archive costs nothing. ExtractArchivePath extracts the item itself to a file or to memory.
//
// The first component is a file on disk. Since "|" is an ordinary character of a Linux file name, the
// file is the longest prefix, cut before a "|", that names an existing regular file (the first "|" when
// none does). Keys are ordered without case, ties broken exactly, so keys that differ only in case stay
// two entries.
//
// Trimming: the cache is trimmed by age and by free space on the temporary drive, from the main thread
// before every extraction and from a background cleaner thread that wakes every two minutes and ends when
// the cache is empty. An entry that is in use (pinned: an extraction runs on its archiver, or the file
// scanner still walks an archiver the cache took over) is never evicted or dropped.
//
// Threads and locking: the cache, the list of archivers the file scanner has open (OpenArchives) and the
// pins are shared by the threads that use the cache and the cleaner and are guarded by one process-local
// mutex. All but the cleaner take it through the foreground lock, waiting at most
// kArchiveCacheLockWaitMs; the cleaner gives it up after each eviction while any of them waits. Work on the
// shared state never goes on without the lock: a foreground lock that times out makes ExtractArchivePath
// raise and makes a cache lookup of the file scanner answer "not cached". Routines marked "lock held" must be
// called between LockArchiveCacheForeground and UnlockArchiveCacheForeground.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Archiver.h"

// An entry idles at least this long before it expires (five minutes)...
constexpr uint32_t kArchiveCacheIdleMs = 300000;
// ... and at least this many times as long as its extraction took.
constexpr uint32_t kArchiveCacheCostFactor = 2;
// The cleaner's sleep between two trims (two minutes).
constexpr uint32_t kArchiveCacheCleanerMs = 120000;
// The longest wait for the cache lock.
constexpr uint32_t kArchiveCacheLockWaitMs = 5000;
// Free space that a trim keeps on the temporary drive beyond what is needed (10 MB).
constexpr int64_t kArchiveCacheSpareBytes = 0xA00000;

// One cache entry: the archiver of an extracted inner archive, shared with whoever uses it now. Destroying
// the entry drops the cache's share; the archiver goes with its last share and deletes its archive file and
// volume copies (a pinned entry, whose users hold shares, is never destroyed). Then OwnedFiles are deleted.
class TSubArcCache {
 public:
  // Stamps LastUse and marks the archiver Cached.
  TSubArcCache(std::shared_ptr<TArchiver> Archiver, TDateTime OuterTime, int64_t OuterSize, uint32_t CostMs);
  ~TSubArcCache();
  TSubArcCache(const TSubArcCache&) = delete;
  TSubArcCache& operator=(const TSubArcCache&) = delete;

  // Idle for at least kArchiveCacheIdleMs and for at least twice CostMs.
  bool IsExpired() const;

  std::shared_ptr<TArchiver> Archiver;
  uint32_t LastUse;  // tick count of the last hit
  uint32_t CostMs;   // how long extracting the inner archive took
  int64_t OuterSize;
  TDateTime OuterTime;  // of the outermost file when the entry was made
  // Users of the archiver right now; a pinned entry is neither evicted nor dropped.
  int32_t Pins = 0;
  // Files the cache took over with the archiver (the volume files of an archive the file scanner had
  // open); deleted after the archiver.
  std::vector<std::string> OwnedFiles;
};

// --- Paths -------------------------------------------------------------------------------------------------

// Path split into the file on disk (Outer) and the rest after the "|" that follows it; false when Path
// holds no "|".
bool SplitArchivePath(const std::string& Path, std::string& Outer, std::string& Rest);

// An archive item path carried in its parts: the archive's file on disk, then the item's path inside each
// archive down to the item (UTF-8). A "|" inside a part is a character of that name, never a separator, so
// an item named "a|b.txt" and the item "b.txt" of a folder "a" stay two paths.
using TArchiveItemPath = std::vector<std::string>;
// The parts of a joined path, as a path without its parts was always read: the file on disk as
// SplitArchivePath finds it, then the rest cut at every "|". Empty when Path holds no "|".
TArchiveItemPath SplitArchiveItemPath(const std::string& Path);
// The first Count parts (all by default) joined by "|": the path as it is shown.
std::string JoinArchiveItemPath(const TArchiveItemPath& Parts, size_t Count = SIZE_MAX);
// The cache key of the inner archive named by the first Count parts: the parts joined by "|", with a "|"
// inside an item's name written as "\x1F", so that no two inner archives share a key. Equal to the joined
// path for names without "|".
std::string ArchiveCacheKey(const TArchiveItemPath& Parts, size_t Count = SIZE_MAX);

// The archiver of the archive that holds the last component of Path. Key: the cache key of the first
// component when Path starts inside an extracted archive ("" at the top); Outer: an open archiver of the
// first component (null: open it). A cached archiver is shared with the cache; a new one (Path names an
// archive on disk) is the caller's alone. Lock held. Raises EArcError for a Path without "|" and the
// archivers' and wrappers' errors.
std::shared_ptr<TArchiver> OpenArchivePath(const std::string& Path, const std::string& Key,
                                           std::shared_ptr<TArchiver> Outer, bool UseCache);
// OpenArchivePath(Path, "", null, true). Lock held.
std::shared_ptr<TArchiver> OpenNestedArchive(const std::string& Path);
// The archiver of the archive that holds the last part of Parts (at least two parts), inner archives
// taken from the cache when it holds them. Lock held. Raises as OpenArchivePath.
std::shared_ptr<TArchiver> OpenNestedArchive(const TArchiveItemPath& Parts);

// The item of Path to DestFile, or (ToMemory) in a block of exactly *Size bytes (empty for a file). Takes the
// foreground lock for the whole work; raises EArcError when it cannot be had.
TArcBlockPtr ExtractArchivePath(const std::string& Path, const std::string& DestFile, bool ToMemory,
                                TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback,
                                bool SetFileTime);
void ExtractArchivePathToFile(const std::string& Path, const std::string& DestFile, bool SetFileTime,
                              TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback);
TArcBlockPtr ExtractArchivePathToMemory(const std::string& Path, int32_t Size,
                                        const TArcPasswordEvent& PasswordCallback);
// The same for an item path given in its parts.
TArcBlockPtr ExtractArchivePath(const TArchiveItemPath& Parts, const std::string& DestFile, bool ToMemory,
                                TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback,
                                bool SetFileTime);
void ExtractArchivePathToFile(const TArchiveItemPath& Parts, const std::string& DestFile, bool SetFileTime,
                              TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback);
TArcBlockPtr ExtractArchivePathToMemory(const TArchiveItemPath& Parts, int32_t Size,
                                        const TArcPasswordEvent& PasswordCallback);

// True when FileName is a cabinet; NextCabinet is the name stored for the next cabinet of its set ("" for
// the last), IsFirst whether it has no previous cabinet. Any failure answers false.
bool GetCabinetInfo(const std::string& FileName, std::string& NextCabinet, bool& IsFirst);

// --- The cache (lock held) ---------------------------------------------------------------------------------

// The cached archiver of Key, or null. An entry whose outermost file changed (size or write time) is
// dropped (unless pinned). An archiver the file scanner has open under Key moves into the cache, pinned
// until the scanner lets it go.
std::shared_ptr<TArchiver> FindCachedArchive(const std::string& Key);
// Puts Archiver under Key (which must not be cached yet) and starts the cleaner when none runs.
void AddToArchiveCache(const std::string& Key, std::shared_ptr<TArchiver> Archiver, uint32_t CostMs);
// Evicts entries other than ExceptKey: expired ones, and any while the temporary drive has less than
// Need + kArchiveCacheSpareBytes free. Need <= 0 evicts only for age or a drive below the spare bytes.
void TrimArchiveCache(const std::string& ExceptKey, int64_t Need);
// Size and write time of the outermost file of Key; both zero when it cannot be read.
void GetOuterFileStamp(const std::string& Key, int64_t& Size, TDateTime& Time);
// One more or one less user of a cached archiver (nothing for an archiver the cache does not hold).
void PinCachedArchiver(TArchiver* Archiver);
void UnpinCachedArchiver(TArchiver* Archiver);
// True when FileName belongs to a cache entry (its archive file or a file it took over): such a file
// must not be deleted by anyone but the cache.
bool IsArchiveFileCached(const std::string& FileName);

// The file scanner's archivers of inner archives, open while it walks them. Files: the archive file and
// its volume files. The registration holds a share of the archiver. Lock held.
void RegisterOpenArchive(const std::string& Key, std::shared_ptr<TArchiver> Archiver,
                         const std::vector<std::string>& Files);
// Removes the registration. True when the cache took the archiver over in the meantime: the cache then
// keeps it (the pin of the scanner is dropped) together with its files.
bool UnregisterOpenArchive(const std::string& Key, TArchiver* Archiver);

// Entries in the cache. Lock held.
int32_t ArchiveCacheCount();

// --- Locking and the cleaner -------------------------------------------------------------------------------

// Waits for the cache mutex at most kArchiveCacheLockWaitMs (or the wait the tests set); false on timeout.
bool LockArchiveCache();
void UnlockArchiveCache();
// The lock of a thread that works for the user (the main thread, a scanner): marks the thread as waiting,
// so that a running trim of the cleaner gives way, then LockArchiveCache. Any number of threads may use it
// at once; the cleaner gives way while one of them waits or holds the lock.
bool LockArchiveCacheForeground();
void UnlockArchiveCacheForeground();
// For tests: the threads that wait through the foreground lock or hold it now.
int32_t ArchiveCacheForegroundThreads();

// The foreground lock for the lifetime of a scope; Locked() tells whether it was had.
class TArchiveCacheLock {
 public:
  TArchiveCacheLock() : Held_(LockArchiveCacheForeground()) {}
  ~TArchiveCacheLock() {
    if (Held_) UnlockArchiveCacheForeground();
  }
  TArchiveCacheLock(const TArchiveCacheLock&) = delete;
  TArchiveCacheLock& operator=(const TArchiveCacheLock&) = delete;
  bool Locked() const { return Held_; }

 private:
  bool Held_;
};

// Ends the cleaner thread when one runs (it gives way at once and is joined).
void StopArchiveCacheCleaner();
// Whether a cleaner thread runs now.
bool ArchiveCacheCleanerRunning();
// Stops the cleaner and destroys every entry that is not pinned (deleting the extracted inner archives).
// Also done at program end.
void ClearArchiveCache();

// For tests: the cleaner's sleep and the lock wait in milliseconds (0 restores the defaults), and the
// millisecond tick clock (null restores the steady clock).
void SetArchiveCacheTimings(uint32_t CleanerMs, uint32_t LockWaitMs);
void SetArchiveCacheClock(std::function<uint32_t()> Clock);
