#include "archive/ArcNested.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "archive/ArcLibIntf.h"
#include "archive/cab/arlUnCab.h"
#include "core/FileLayer.h"
#include "core/MemUtils.h"
#include "core/StrLst.h"
#include "core/VFileSys.h"

namespace {

// Keys without case, ties broken exactly.
struct TKeyLess {
  bool operator()(const std::string& A, const std::string& B) const {
    const int c = ::strcasecmp(A.c_str(), B.c_str());
    return c != 0 ? c < 0 : A < B;
  }
};

// A mutex with a bounded wait, made of a plain mutex and a condition so that every tool that checks
// threads understands it.
class TTimedLock {
 public:
  bool TryLockFor(uint32_t Ms) {
    std::unique_lock<std::mutex> guard(Guard);
    if (!Free.wait_for(guard, std::chrono::milliseconds(Ms), [this] { return !Held; })) return false;
    Held = true;
    return true;
  }
  void Lock() {
    std::unique_lock<std::mutex> guard(Guard);
    Free.wait(guard, [this] { return !Held; });
    Held = true;
  }
  void Unlock() {
    {
      std::lock_guard<std::mutex> guard(Guard);
      Held = false;
    }
    Free.notify_one();
  }

 private:
  std::mutex Guard;
  std::condition_variable Free;
  bool Held = false;
};

struct TOpenArchive {
  std::shared_ptr<TArchiver> Archiver;
  std::vector<std::string> Files;
};

// The state shared by the main thread and the cleaner. Everything but the flags and the cleaner's own
// wake-up is guarded by Mutex.
struct TCacheState {
  TCacheState() {
    // The archivers' root list must outlive this state, whose end destroys archivers.
    (void)TempArchiveRootList();
  }
  ~TCacheState() {
    StopCleaner();
    Cache.clear();
    Retired.clear();
  }
  void StopCleaner();

  TTimedLock Mutex;
  std::map<std::string, std::unique_ptr<TSubArcCache>, TKeyLess> Cache;
  // Entries dropped while pinned; destroyed when their last user lets go.
  std::vector<std::unique_ptr<TSubArcCache>> Retired;
  std::map<std::string, TOpenArchive, TKeyLess> OpenArchives;

  std::thread Cleaner;
  bool CleanerRunning = false;  // guarded by Mutex
  std::mutex WakeMutex;
  std::condition_variable Wake;
  bool StopRequested = false;  // guarded by WakeMutex

  std::atomic<bool> Foreground{false};
  bool Trimming = false;
  std::atomic<uint32_t> CleanerMs{kArchiveCacheCleanerMs};
  std::atomic<uint32_t> LockWaitMs{kArchiveCacheLockWaitMs};
  std::function<uint32_t()> Clock;  // set by tests between searches only
};

TCacheState& State() {
  static TCacheState state;
  return state;
}

uint32_t Ticks() {
  TCacheState& s = State();
  if (s.Clock) return s.Clock();
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Milliseconds between two tick counts as a signed 32-bit difference, made positive.
uint32_t TickDistance(uint32_t Now, uint32_t Then) {
  const int32_t d = static_cast<int32_t>(Now - Then);
  return d < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(d)) : static_cast<uint32_t>(d);
}

bool IsRegularFile(const std::string& Name) {
  struct stat st {};
  return ::stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string LastComponent(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

int64_t FileSizeOf(const std::string& Name) {
  int64_t size = -1;
  if (!GetFileInfo(Name, &size, nullptr, nullptr, nullptr, nullptr)) return -1;
  return size;
}

[[noreturn]] void PathAssertion(const std::string& Path) {
  throw EArcError("Assertion failed: \"" + Path + "\" is not an archive item path");
}

TSubArcCache* EntryOf(TArchiver* Archiver) {
  TCacheState& s = State();
  for (auto& [key, entry] : s.Cache)
    if (entry->Archiver.get() == Archiver) return entry.get();
  for (auto& entry : s.Retired)
    if (entry->Archiver.get() == Archiver) return entry.get();
  return nullptr;
}

// Trims as TrimArchiveCache does; only the cleaner gives way to a waiting main thread, so that a trim of
// the main thread runs until there is room.
void Trim(const std::string& ExceptKey, int64_t Need, bool FromCleaner) {
  TCacheState& s = State();
  if (s.Trimming || s.Cache.empty() || TempArchiveRootList().empty()) return;
  s.Trimming = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{s.Trimming};

  std::vector<std::string> order;  // keys, least recently used first
  bool first = true;
  for (;;) {
    const int64_t free = FileLayer().FreeSpace(GetTempDir());
    if (free < 0) break;
    int64_t d = Need - free;
    if (Need > 0 && d + GetPhysicalMemorySize() <= 0) break;  // room enough
    d += kArchiveCacheSpareBytes;
    if (first) {
      first = false;
      const uint32_t now = Ticks();
      std::vector<std::pair<uint32_t, std::string>> aged;
      for (const auto& [key, entry] : s.Cache)
        if (key != ExceptKey) aged.emplace_back(TickDistance(now, entry->LastUse), key);
      if (aged.empty()) break;
      std::sort(aged.begin(), aged.end(), [](const auto& A, const auto& B) { return A.first > B.first; });
      for (auto& a : aged) order.push_back(std::move(a.second));
    }
    // The most recently used of the remaining entries.
    const std::string key = std::move(order.back());
    order.pop_back();
    const auto it = s.Cache.find(key);
    if (it != s.Cache.end() && it->second->Pins == 0 && (d > 0 || it->second->IsExpired())) s.Cache.erase(it);
    if ((FromCleaner && s.Foreground) || order.empty()) break;
  }
}

void CleanerMain() {
  TCacheState& s = State();
  for (;;) {
    {
      std::unique_lock<std::mutex> wake(s.WakeMutex);
      if (s.Wake.wait_for(wake, std::chrono::milliseconds(s.CleanerMs.load()),
                          [&s] { return s.StopRequested; }))
        return;
    }
    if (!LockArchiveCache()) continue;  // the main thread works with the cache: next turn
    bool end = s.Cache.empty();
    if (!end) {
      try {
        Trim(std::string(), 0, true);
      } catch (...) {
        // A failed eviction leaves the entry for the next turn.
      }
      end = s.Cache.empty();
    }
    // Decided under the lock, so that AddToArchiveCache sees either a running cleaner or none.
    if (end) s.CleanerRunning = false;
    UnlockArchiveCache();
    if (end) return;
  }
}

void TCacheState::StopCleaner() {
  if (!Cleaner.joinable()) return;
  const bool wasForeground = Foreground.exchange(true);
  {
    std::lock_guard<std::mutex> wake(WakeMutex);
    StopRequested = true;
  }
  Wake.notify_all();
  Cleaner.join();
  {
    std::lock_guard<std::mutex> wake(WakeMutex);
    StopRequested = false;
  }
  CleanerRunning = false;
  Foreground = wasForeground;
}

// Answers the CAB decoder's question for the next cabinet from the archive that holds the cabinet: the
// next cabinet is extracted from there (and cached) like any inner archive.
class TExtractHelper {
 public:
  TExtractHelper(TArchiveItemPath OuterPath, std::string Folder, TArchiver* Archiver)
      : OuterPath(std::move(OuterPath)), Folder(std::move(Folder)), Archiver(Archiver) {}
  bool NextCabinetCallback(std::string& FileName) {
    try {
      // The next cabinet lies in the same folder of the outer archive as the current one; the empty last
      // part asks for the archiver of the cabinet itself.
      TArchiveItemPath path = OuterPath;
      path.push_back(Folder + LastComponent(FileName));
      path.emplace_back();
      const std::shared_ptr<TArchiver> next = OpenNestedArchive(path);
      FileName = next->GetArchiveName();
      return true;
    } catch (...) {
      return false;
    }
  }
  TArchiveItemPath OuterPath;  // archive item path of the archive that holds the cabinet
  std::string Folder;          // the cabinet's folder inside it, with "/" ("" at the top)
  TArchiver* Archiver;         // the cabinet's archiver, not owned
};

}  // namespace

// --- TSubArcCache ------------------------------------------------------------------------------------------

TSubArcCache::TSubArcCache(std::shared_ptr<TArchiver> Archiver, TDateTime OuterTime, int64_t OuterSize,
                           uint32_t CostMs)
    : Archiver(std::move(Archiver)),
      LastUse(Ticks()),
      CostMs(CostMs),
      OuterSize(OuterSize),
      OuterTime(OuterTime) {
  this->Archiver->Cached = true;
}

TSubArcCache::~TSubArcCache() {
  Archiver.reset();  // Cached: its archive file goes with it
  for (const auto& f : OwnedFiles) ForceDeleteFile(f);
}

bool TSubArcCache::IsExpired() const {
  const uint32_t idle = TickDistance(Ticks(), LastUse);
  return idle >= kArchiveCacheIdleMs &&
         static_cast<uint64_t>(idle) >= uint64_t{kArchiveCacheCostFactor} * CostMs;
}

// --- Paths -------------------------------------------------------------------------------------------------

bool SplitArchivePath(const std::string& Path, std::string& Outer, std::string& Rest) {
  const size_t first = Path.find('|');
  if (first == std::string::npos) return false;
  size_t cut = first;
  for (size_t at = Path.rfind('|'); at != std::string::npos && at > first; at = Path.rfind('|', at - 1)) {
    if (IsRegularFile(Path.substr(0, at))) {
      cut = at;
      break;
    }
  }
  Outer = Path.substr(0, cut);
  Rest = Path.substr(cut + 1);
  return true;
}

TArchiveItemPath SplitArchiveItemPath(const std::string& Path) {
  std::string outer, rest;
  if (!SplitArchivePath(Path, outer, rest)) return TArchiveItemPath();
  TArchiveItemPath parts{outer};
  for (size_t from = 0;;) {
    const size_t bar = rest.find('|', from);
    parts.push_back(rest.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
    if (bar == std::string::npos) break;
    from = bar + 1;
  }
  return parts;
}

std::string JoinArchiveItemPath(const TArchiveItemPath& Parts, size_t Count) {
  std::string path;
  for (size_t i = 0; i < Parts.size() && i < Count; ++i) path += (i == 0 ? "" : "|") + Parts[i];
  return path;
}

namespace {

// A "|" of an item's own name in a cache key: a control character that no real name holds.
constexpr char kKeyNameBar = '\x1F';

// Key of the archive whose parts are Parts[0..Count - 1], where Key0 is the key of Parts[0].
std::string KeyOfParts(const std::string& Key0, const TArchiveItemPath& Parts, size_t Count) {
  std::string key = Key0;
  for (size_t i = 1; i < Parts.size() && i < Count; ++i) {
    std::string name = Parts[i];
    std::replace(name.begin(), name.end(), '|', kKeyNameBar);
    key += "|" + name;
  }
  return key;
}

// The archiver of the archive that holds the last part of Parts. Outer, when given, is the open archiver
// of Parts[0], whose key is Key0 (Parts[0] itself when empty). Lock held.
std::shared_ptr<TArchiver> OpenArchiveParts(const TArchiveItemPath& Parts, const std::string& Key0In,
                                            std::shared_ptr<TArchiver> Outer, bool UseCache) {
  if (Parts.size() < 2) PathAssertion(JoinArchiveItemPath(Parts));
  const std::string key0 = Key0In.empty() ? Parts[0] : Key0In;
  // Parts[0..level - 1] name the archive that archiver holds.
  size_t level = 1;
  std::shared_ptr<TArchiver> archiver = std::move(Outer);
  if (UseCache) {
    // The longest prefix of Parts that names a cached inner archive.
    for (size_t n = Parts.size() - 1; n >= 2; --n) {
      std::shared_ptr<TArchiver> cached = FindCachedArchive(KeyOfParts(key0, Parts, n));
      if (cached == nullptr) continue;
      archiver = std::move(cached);
      level = n;
      break;
    }
  }
  if (archiver == nullptr) {
    archiver = std::make_shared<TArchiver>();
    archiver->OpenChecked(Parts[0]);
  }

  while (level + 1 < Parts.size()) {
    const std::string& member = Parts[level];
    const std::string key = KeyOfParts(key0, Parts, level);
    const std::string innerKey = KeyOfParts(key0, Parts, level + 1);
    const std::string outerName = archiver->GetArchiveName();

    int64_t need = FileSizeOf(outerName);
    if (need >= 0) need &= 0xFFFFFFFF;  // the low 32 bits, as the temporary-folder choice takes them
    TrimArchiveCache(key, need);
    auto sub = std::make_shared<TSubArchiver>();
    std::string folder;
    sub->MakeTempFolder(need, folder);
    const std::string innerFile = folder + LastComponent(member);
    const uint32_t start = Ticks();
    ExtractArchiveItem(*archiver, member, innerFile);

    // Further volumes of a set lie beside the first one in the outer archive.
    TStrLst volumes;
    TArchiveKind kind = GetArchiveKind(innerFile);
    std::string volume = member;
    if (kind == akExe) {
      TArchiver scratch;
      std::string msg;
      const bool opened = scratch.Open(innerFile, msg);
      const TArchiveKind k = opened ? scratch.Kind : akNone;
      kind = k == akAce || k == akArj || k == akCab || k == akRar ? k : akNone;
      if (kind != akNone) volume = RemoveFileExt(member) + "." + ArchiveKindExt(kind);
    }
    if (kind == akAce || kind == akArj || kind == akRar) {
      int64_t previous = FileSizeOf(innerFile);
      while (previous >= 0 && NextVolumeName(volume, kind)) {
        TrimArchiveCache(key, previous);
        std::string volumeFolder;
        sub->MakeTempFolder(previous, volumeFolder);
        const std::string volumeFile = volumeFolder + LastComponent(volume);
        try {
          ExtractArchiveItem(*archiver, volume, volumeFile);
        } catch (const std::exception&) {
          break;  // the set ends here: the inner archive is opened with the volumes found
        }
        volumes.Add(volumeFile);
        previous = FileSizeOf(volumeFile);
      }
    }
    const uint32_t cost = TickDistance(Ticks(), start);

    try {
      sub->OpenChecked(innerFile, volumes.GetCount() > 0 ? &volumes : nullptr);
    } catch (...) {
      ForceDeleteFile(innerFile);
      DeleteFileList(volumes);
      throw;
    }
    AddToArchiveCache(innerKey, sub, cost);
    archiver = std::move(sub);  // the outer archive is done with
    ++level;
  }
  return archiver;
}

}  // namespace

std::string ArchiveCacheKey(const TArchiveItemPath& Parts, size_t Count) {
  return Parts.empty() ? std::string() : KeyOfParts(Parts[0], Parts, Count);
}

std::shared_ptr<TArchiver> OpenArchivePath(const std::string& Path, const std::string& Key,
                                           std::shared_ptr<TArchiver> Outer, bool UseCache) {
  const TArchiveItemPath parts = SplitArchiveItemPath(Path);
  if (parts.empty()) PathAssertion(Path);
  return OpenArchiveParts(parts, Key, std::move(Outer), UseCache);
}

std::shared_ptr<TArchiver> OpenNestedArchive(const std::string& Path) {
  return OpenArchivePath(Path, std::string(), nullptr, true);
}

std::shared_ptr<TArchiver> OpenNestedArchive(const TArchiveItemPath& Parts) {
  return OpenArchiveParts(Parts, std::string(), nullptr, true);
}

TArcBlockPtr ExtractArchivePath(const std::string& Path, const std::string& DestFile, bool ToMemory,
                                TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback,
                                bool SetFileTime) {
  const TArchiveItemPath parts = SplitArchiveItemPath(Path);
  if (parts.empty()) PathAssertion(Path);
  return ExtractArchivePath(parts, DestFile, ToMemory, Date, Size, PasswordCallback, SetFileTime);
}

TArcBlockPtr ExtractArchivePath(const TArchiveItemPath& Parts, const std::string& DestFile, bool ToMemory,
                                TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback,
                                bool SetFileTime) {
  if (Parts.size() < 2) PathAssertion(JoinArchiveItemPath(Parts));
  const std::string& itemName = Parts.back();

  TArchiveCacheLock lock;
  // Without the lock the cleaner could evict what this extraction works with.
  if (!lock.Locked()) throw EArcError("The archive cache is busy; try again");

  const std::shared_ptr<TArchiver> archiver = OpenNestedArchive(Parts);
  PinCachedArchiver(archiver.get());
  const TArcPasswordEvent savedPassword = archiver->GetPasswordCallback();
  std::unique_ptr<TExtractHelper> helper;
  struct TRestore {
    TArchiver* A;  // kept alive by archiver
    const TArcPasswordEvent& Saved;
    std::unique_ptr<TExtractHelper>& Helper;
    ~TRestore() {
      A->SetPasswordCallback(Saved);
      if (Helper && A->GetWrapper() != nullptr) A->GetWrapper()->OnNextVolume = nullptr;
      Helper.reset();
      UnpinCachedArchiver(A);
    }
  } restore{archiver.get(), savedPassword, helper};

  TArcWrapperMem2* wrapper = archiver->GetWrapper();
  if (archiver->Kind == akCab && wrapper != nullptr && !wrapper->OnNextVolume && Parts.size() > 2) {
    // The cabinet lies inside an archive: its next cabinet is sought there.
    const std::string& cabinet = Parts[Parts.size() - 2];
    const size_t slash = cabinet.rfind('/');
    helper = std::make_unique<TExtractHelper>(
        TArchiveItemPath(Parts.begin(), Parts.end() - 2),
        slash == std::string::npos ? std::string() : cabinet.substr(0, slash + 1), archiver.get());
    TExtractHelper* h = helper.get();
    wrapper->OnNextVolume = [h](std::string& FileName) { return h->NextCabinetCallback(FileName); };
  }
  archiver->SetPasswordCallback(PasswordCallback);
  if (ToMemory) {
    if (Size == nullptr) throw EArcError("Assertion failed: the size of a memory extraction is needed");
    return ExtractArchiveItemToMemory(*archiver, itemName, *Size);
  }
  ExtractArchiveItem(*archiver, itemName, DestFile, Date, Size, SetFileTime);
  return TArcBlockPtr();
}

void ExtractArchivePathToFile(const std::string& Path, const std::string& DestFile, bool SetFileTime,
                              TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback) {
  ExtractArchivePath(Path, DestFile, false, Date, Size, PasswordCallback, SetFileTime);
}

TArcBlockPtr ExtractArchivePathToMemory(const std::string& Path, int32_t Size,
                                        const TArcPasswordEvent& PasswordCallback) {
  return ExtractArchivePath(Path, std::string(), true, nullptr, &Size, PasswordCallback, false);
}

void ExtractArchivePathToFile(const TArchiveItemPath& Parts, const std::string& DestFile, bool SetFileTime,
                              TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback) {
  ExtractArchivePath(Parts, DestFile, false, Date, Size, PasswordCallback, SetFileTime);
}

TArcBlockPtr ExtractArchivePathToMemory(const TArchiveItemPath& Parts, int32_t Size,
                                        const TArcPasswordEvent& PasswordCallback) {
  return ExtractArchivePath(Parts, std::string(), true, nullptr, &Size, PasswordCallback, false);
}

bool GetCabinetInfo(const std::string& FileName, std::string& NextCabinet, bool& IsFirst) {
  NextCabinet.clear();
  IsFirst = false;
  try {
    TBaseArcLibWrapper wrapper;
    std::string msg;
    if (!wrapper.SetArcName(FileName, msg)) return false;
    auto* cab = dynamic_cast<TUnCab*>(wrapper.GetDecoder());
    if (cab == nullptr) return false;
    TCabinetInfo info{};
    if (!cab->IsCabinet(FileName, info, NextCabinet)) return false;
    IsFirst = info.HasPrevious == 0;
    return true;
  } catch (...) {
    return false;
  }
}

// --- The cache ---------------------------------------------------------------------------------------------

std::shared_ptr<TArchiver> FindCachedArchive(const std::string& Key) {
  TCacheState& s = State();
  const auto it = s.Cache.find(Key);
  if (it != s.Cache.end()) {
    TSubArcCache& entry = *it->second;
    int64_t size = 0;
    TDateTime time = 0;
    GetOuterFileStamp(Key, size, time);
    if (size == entry.OuterSize && time == entry.OuterTime) {
      entry.LastUse = Ticks();
      return entry.Archiver;
    }
    // The outer file changed: the extraction is out of date. A pinned entry waits for its last user.
    if (entry.Pins > 0) s.Retired.push_back(std::move(it->second));
    s.Cache.erase(it);
    return nullptr;
  }
  const auto open = s.OpenArchives.find(Key);
  if (open == s.OpenArchives.end()) return nullptr;
  TOpenArchive taken = std::move(open->second);
  s.OpenArchives.erase(open);
  AddToArchiveCache(Key, taken.Archiver, 0);
  TSubArcCache& entry = *s.Cache.at(Key);
  entry.Pins = 1;  // the file scanner still walks it
  const std::string archive = taken.Archiver->GetArchiveName();
  for (auto& f : taken.Files)
    if (f != archive) entry.OwnedFiles.push_back(std::move(f));
  return taken.Archiver;
}

void AddToArchiveCache(const std::string& Key, std::shared_ptr<TArchiver> Archiver, uint32_t CostMs) {
  TCacheState& s = State();
  if (s.Cache.count(Key) != 0) throw EArcError("Assertion failed: \"" + Key + "\" is cached already");
  int64_t size = 0;
  TDateTime time = 0;
  GetOuterFileStamp(Key, size, time);
  s.Cache.emplace(Key, std::make_unique<TSubArcCache>(std::move(Archiver), time, size, CostMs));
  if (!s.CleanerRunning) {
    // A cleaner that ended by itself has left the lock behind and only returns now.
    if (s.Cleaner.joinable()) s.Cleaner.join();
    s.CleanerRunning = true;
    s.Cleaner = std::thread(CleanerMain);
  }
}

void TrimArchiveCache(const std::string& ExceptKey, int64_t Need) { Trim(ExceptKey, Need, false); }

void GetOuterFileStamp(const std::string& Key, int64_t& Size, TDateTime& Time) {
  Size = 0;
  Time = 0;
  std::string outer, rest;
  if (!SplitArchivePath(Key, outer, rest)) return;
  int64_t size = 0;
  TDateTime time = 0;
  if (!GetFileInfo(outer, &size, &time, nullptr, nullptr, nullptr)) return;
  Size = size;
  Time = time;
}

void PinCachedArchiver(TArchiver* Archiver) {
  if (TSubArcCache* entry = EntryOf(Archiver)) ++entry->Pins;
}

void UnpinCachedArchiver(TArchiver* Archiver) {
  TCacheState& s = State();
  TSubArcCache* entry = EntryOf(Archiver);
  if (entry == nullptr || entry->Pins == 0) return;
  if (--entry->Pins > 0) return;
  for (auto it = s.Retired.begin(); it != s.Retired.end(); ++it) {
    if (it->get() == entry) {
      s.Retired.erase(it);
      return;
    }
  }
}

bool IsArchiveFileCached(const std::string& FileName) {
  if (FileName.empty()) return false;
  TCacheState& s = State();
  const auto owns = [&FileName](const TSubArcCache& E) {
    return E.Archiver->GetArchiveName() == FileName ||
           std::find(E.OwnedFiles.begin(), E.OwnedFiles.end(), FileName) != E.OwnedFiles.end();
  };
  for (const auto& [key, entry] : s.Cache)
    if (owns(*entry)) return true;
  for (const auto& entry : s.Retired)
    if (owns(*entry)) return true;
  return false;
}

void RegisterOpenArchive(const std::string& Key, std::shared_ptr<TArchiver> Archiver,
                         const std::vector<std::string>& Files) {
  State().OpenArchives[Key] = TOpenArchive{std::move(Archiver), Files};
}

bool UnregisterOpenArchive(const std::string& Key, TArchiver* Archiver) {
  TCacheState& s = State();
  const auto it = s.OpenArchives.find(Key);
  if (it != s.OpenArchives.end() && it->second.Archiver.get() == Archiver) {
    s.OpenArchives.erase(it);
    return false;
  }
  if (EntryOf(Archiver) == nullptr) return false;
  UnpinCachedArchiver(Archiver);
  return true;
}

int32_t ArchiveCacheCount() { return static_cast<int32_t>(State().Cache.size()); }

// --- Locking and the cleaner -------------------------------------------------------------------------------

bool LockArchiveCache() { return State().Mutex.TryLockFor(State().LockWaitMs.load()); }

void UnlockArchiveCache() { State().Mutex.Unlock(); }

bool LockArchiveCacheForeground() {
  TCacheState& s = State();
  s.Foreground = true;
  if (LockArchiveCache()) return true;
  s.Foreground = false;
  return false;
}

void UnlockArchiveCacheForeground() {
  TCacheState& s = State();
  s.Mutex.Unlock();
  s.Foreground = false;
}

void StopArchiveCacheCleaner() { State().StopCleaner(); }

bool ArchiveCacheCleanerRunning() {
  TCacheState& s = State();
  s.Mutex.Lock();
  const bool running = s.CleanerRunning;
  s.Mutex.Unlock();
  return running;
}

void ClearArchiveCache() {
  TCacheState& s = State();
  s.StopCleaner();
  s.Mutex.Lock();
  for (auto it = s.Cache.begin(); it != s.Cache.end();) {
    if (it->second->Pins == 0)
      it = s.Cache.erase(it);
    else
      ++it;
  }
  s.Mutex.Unlock();
}

void SetArchiveCacheTimings(uint32_t CleanerMs, uint32_t LockWaitMs) {
  State().CleanerMs = CleanerMs != 0 ? CleanerMs : kArchiveCacheCleanerMs;
  State().LockWaitMs = LockWaitMs != 0 ? LockWaitMs : kArchiveCacheLockWaitMs;
}

void SetArchiveCacheClock(std::function<uint32_t()> Clock) { State().Clock = std::move(Clock); }
