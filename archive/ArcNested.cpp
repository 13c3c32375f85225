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
    const int C = ::strcasecmp(A.c_str(), B.c_str());
    return C != 0 ? C < 0 : A < B;
  }
};

// A mutex with a bounded wait, made of a plain mutex and a condition so that every tool that checks
// threads understands it.
class TTimedLock {
 public:
  bool TryLockFor(uint32_t Ms) {
    std::unique_lock<std::mutex> Guard(Guard_);
    if (!Free_.wait_for(Guard, std::chrono::milliseconds(Ms), [this] { return !Held_; })) return false;
    Held_ = true;
    return true;
  }
  void Lock() {
    std::unique_lock<std::mutex> Guard(Guard_);
    Free_.wait(Guard, [this] { return !Held_; });
    Held_ = true;
  }
  void Unlock() {
    {
      std::lock_guard<std::mutex> Guard(Guard_);
      Held_ = false;
    }
    Free_.notify_one();
  }

 private:
  std::mutex Guard_;
  std::condition_variable Free_;
  bool Held_ = false;
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

  // Threads that wait for the lock through the foreground lock or hold it so; a trim of the cleaner gives
  // way while any does. A count, not a flag, so that one such thread letting go does not hide another that
  // still waits.
  std::atomic<int32_t> Foreground{0};
  bool Trimming = false;
  std::atomic<uint32_t> CleanerMs{kArchiveCacheCleanerMs};
  std::atomic<uint32_t> LockWaitMs{kArchiveCacheLockWaitMs};
  std::function<uint32_t()> Clock;  // set by tests between searches only
};

TCacheState& State() {
  static TCacheState State;
  return State;
}

uint32_t Ticks() {
  TCacheState& S = State();
  if (S.Clock) return S.Clock();
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Milliseconds between two tick counts as a signed 32-bit difference, made positive.
uint32_t TickDistance(uint32_t Now, uint32_t Then) {
  const int32_t D = static_cast<int32_t>(Now - Then);
  return D < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(D)) : static_cast<uint32_t>(D);
}

bool IsRegularFile(const std::string& Name) {
  struct stat St {};
  return ::stat(Name.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

std::string LastComponent(const std::string& Path) {
  const size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

int64_t FileSizeOf(const std::string& Name) {
  int64_t Size = -1;
  if (!GetFileInfo(Name, &Size, nullptr, nullptr, nullptr, nullptr)) return -1;
  return Size;
}

[[noreturn]] void PathAssertion(const std::string& Path) {
  throw EArcError("Assertion failed: \"" + Path + "\" is not an archive item path");
}

TSubArcCache* EntryOf(TArchiver* Archiver) {
  TCacheState& S = State();
  for (auto& [key, entry] : S.Cache)
    if (entry->Archiver.get() == Archiver) return entry.get();
  for (auto& Entry : S.Retired)
    if (Entry->Archiver.get() == Archiver) return Entry.get();
  return nullptr;
}

// Trims as TrimArchiveCache does; only the cleaner gives way to a waiting main thread, so that a trim of
// the main thread runs until there is room.
void Trim(const std::string& ExceptKey, int64_t Need, bool FromCleaner) {
  TCacheState& S = State();
  if (S.Trimming || S.Cache.empty() || TempArchiveRootList().empty()) return;
  S.Trimming = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } Reset{S.Trimming};

  std::vector<std::string> Order;  // keys, least recently used first
  bool First = true;
  for (;;) {
    const int64_t Free = FileLayer().FreeSpace(GetTempDir());
    if (Free < 0) break;
    int64_t D = Need - Free;
    if (Need > 0 && D + GetPhysicalMemorySize() <= 0) break;  // room enough
    D += kArchiveCacheSpareBytes;
    if (First) {
      First = false;
      const uint32_t Now = Ticks();
      std::vector<std::pair<uint32_t, std::string>> Aged;
      for (const auto& [key, entry] : S.Cache)
        if (key != ExceptKey) Aged.emplace_back(TickDistance(Now, entry->LastUse), key);
      if (Aged.empty()) break;
      std::sort(Aged.begin(), Aged.end(), [](const auto& A, const auto& B) { return A.first > B.first; });
      for (auto& A : Aged) Order.push_back(std::move(A.second));
    }
    // The most recently used of the remaining entries.
    const std::string Key = std::move(Order.back());
    Order.pop_back();
    const auto It = S.Cache.find(Key);
    if (It != S.Cache.end() && It->second->Pins == 0 && (D > 0 || It->second->IsExpired())) S.Cache.erase(It);
    if ((FromCleaner && S.Foreground.load() > 0) || Order.empty()) break;
  }
}

void CleanerMain() {
  TCacheState& S = State();
  for (;;) {
    {
      std::unique_lock<std::mutex> Wake(S.WakeMutex);
      if (S.Wake.wait_for(Wake, std::chrono::milliseconds(S.CleanerMs.load()),
                          [&S] { return S.StopRequested; }))
        return;
    }
    if (!LockArchiveCache()) continue;  // the main thread works with the cache: next turn
    bool End = S.Cache.empty();
    if (!End) {
      try {
        Trim(std::string(), 0, true);
      } catch (...) {
        // A failed eviction leaves the entry for the next turn.
      }
      End = S.Cache.empty();
    }
    // Decided under the lock, so that AddToArchiveCache sees either a running cleaner or none.
    if (End) S.CleanerRunning = false;
    UnlockArchiveCache();
    if (End) return;
  }
}

void TCacheState::StopCleaner() {
  if (!Cleaner.joinable()) return;
  ++Foreground;
  {
    std::lock_guard<std::mutex> WakeLock(WakeMutex);
    StopRequested = true;
  }
  Wake.notify_all();
  Cleaner.join();
  {
    std::lock_guard<std::mutex> WakeLock(WakeMutex);
    StopRequested = false;
  }
  CleanerRunning = false;
  --Foreground;
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
      TArchiveItemPath Path = OuterPath;
      Path.push_back(Folder + LastComponent(FileName));
      Path.emplace_back();
      const std::shared_ptr<TArchiver> Next = OpenNestedArchive(Path);
      FileName = Next->GetArchiveName();
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
  for (const auto& F : OwnedFiles) ForceDeleteFile(F);
}

bool TSubArcCache::IsExpired() const {
  const uint32_t Idle = TickDistance(Ticks(), LastUse);
  return Idle >= kArchiveCacheIdleMs &&
         static_cast<uint64_t>(Idle) >= uint64_t{kArchiveCacheCostFactor} * CostMs;
}

// --- Paths -------------------------------------------------------------------------------------------------

bool SplitArchivePath(const std::string& Path, std::string& Outer, std::string& Rest) {
  const size_t First = Path.find('|');
  if (First == std::string::npos) return false;
  size_t Cut = First;
  for (size_t At = Path.rfind('|'); At != std::string::npos && At > First; At = Path.rfind('|', At - 1)) {
    if (IsRegularFile(Path.substr(0, At))) {
      Cut = At;
      break;
    }
  }
  Outer = Path.substr(0, Cut);
  Rest = Path.substr(Cut + 1);
  return true;
}

TArchiveItemPath SplitArchiveItemPath(const std::string& Path) {
  std::string Outer, Rest;
  if (!SplitArchivePath(Path, Outer, Rest)) return TArchiveItemPath();
  TArchiveItemPath Parts{Outer};
  for (size_t From = 0;;) {
    const size_t Bar = Rest.find('|', From);
    Parts.push_back(Rest.substr(From, Bar == std::string::npos ? std::string::npos : Bar - From));
    if (Bar == std::string::npos) break;
    From = Bar + 1;
  }
  return Parts;
}

std::string JoinArchiveItemPath(const TArchiveItemPath& Parts, size_t Count) {
  std::string Path;
  for (size_t I = 0; I < Parts.size() && I < Count; ++I) Path += (I == 0 ? "" : "|") + Parts[I];
  return Path;
}

namespace {

// A "|" of an item's own name in a cache key: a control character that no real name holds.
constexpr char kKeyNameBar = '\x1F';

// Key of the archive whose parts are Parts[0..Count - 1], where Key0 is the key of Parts[0].
std::string KeyOfParts(const std::string& Key0, const TArchiveItemPath& Parts, size_t Count) {
  std::string Key = Key0;
  for (size_t I = 1; I < Parts.size() && I < Count; ++I) {
    std::string Name = Parts[I];
    std::replace(Name.begin(), Name.end(), '|', kKeyNameBar);
    Key += "|" + Name;
  }
  return Key;
}

// The archiver of the archive that holds the last part of Parts. Outer, when given, is the open archiver
// of Parts[0], whose key is Key0 (Parts[0] itself when empty). Lock held.
std::shared_ptr<TArchiver> OpenArchiveParts(const TArchiveItemPath& Parts, const std::string& Key0In,
                                            std::shared_ptr<TArchiver> Outer, bool UseCache) {
  if (Parts.size() < 2) PathAssertion(JoinArchiveItemPath(Parts));
  const std::string Key0 = Key0In.empty() ? Parts[0] : Key0In;
  // Parts[0..level - 1] name the archive that archiver holds.
  size_t Level = 1;
  std::shared_ptr<TArchiver> Archiver = std::move(Outer);
  if (UseCache) {
    // The longest prefix of Parts that names a cached inner archive.
    for (size_t N = Parts.size() - 1; N >= 2; --N) {
      std::shared_ptr<TArchiver> Cached = FindCachedArchive(KeyOfParts(Key0, Parts, N));
      if (Cached == nullptr) continue;
      Archiver = std::move(Cached);
      Level = N;
      break;
    }
  }
  if (Archiver == nullptr) {
    Archiver = std::make_shared<TArchiver>();
    Archiver->OpenChecked(Parts[0]);
  }

  while (Level + 1 < Parts.size()) {
    const std::string& Member = Parts[Level];
    const std::string Key = KeyOfParts(Key0, Parts, Level);
    const std::string InnerKey = KeyOfParts(Key0, Parts, Level + 1);
    const std::string OuterName = Archiver->GetArchiveName();

    int64_t Need = FileSizeOf(OuterName);
    if (Need >= 0) Need &= 0xFFFFFFFF;  // the low 32 bits, as the temporary-folder choice takes them
    TrimArchiveCache(Key, Need);
    auto Sub = std::make_shared<TSubArchiver>();
    std::string Folder;
    Sub->MakeTempFolder(Need, Folder);
    const std::string InnerFile = Folder + LastComponent(Member);
    const uint32_t Start = Ticks();
    ExtractArchiveItem(*Archiver, Member, InnerFile);

    // Further volumes of a set lie beside the first one in the outer archive.
    TStrLst Volumes;
    TArchiveKind Kind = GetArchiveKind(InnerFile);
    std::string Volume = Member;
    if (Kind == akExe) {
      TArchiver Scratch;
      std::string Msg;
      const bool Opened = Scratch.Open(InnerFile, Msg);
      const TArchiveKind K = Opened ? Scratch.Kind : akNone;
      Kind = K == akAce || K == akArj || K == akCab || K == akRar ? K : akNone;
      if (Kind != akNone) Volume = RemoveFileExt(Member) + "." + ArchiveKindExt(Kind);
    }
    if (Kind == akAce || Kind == akArj || Kind == akRar) {
      int64_t Previous = FileSizeOf(InnerFile);
      while (Previous >= 0 && NextVolumeName(Volume, Kind)) {
        TrimArchiveCache(Key, Previous);
        std::string VolumeFolder;
        Sub->MakeTempFolder(Previous, VolumeFolder);
        const std::string VolumeFile = VolumeFolder + LastComponent(Volume);
        try {
          ExtractArchiveItem(*Archiver, Volume, VolumeFile);
        } catch (const std::exception&) {
          break;  // the set ends here: the inner archive is opened with the volumes found
        }
        Volumes.Add(VolumeFile);
        Previous = FileSizeOf(VolumeFile);
      }
    }
    const uint32_t Cost = TickDistance(Ticks(), Start);

    try {
      Sub->OpenChecked(InnerFile, Volumes.GetCount() > 0 ? &Volumes : nullptr);
    } catch (...) {
      ForceDeleteFile(InnerFile);
      DeleteFileList(Volumes);
      throw;
    }
    AddToArchiveCache(InnerKey, Sub, Cost);
    Archiver = std::move(Sub);  // the outer archive is done with
    ++Level;
  }
  return Archiver;
}

}  // namespace

std::string ArchiveCacheKey(const TArchiveItemPath& Parts, size_t Count) {
  return Parts.empty() ? std::string() : KeyOfParts(Parts[0], Parts, Count);
}

std::shared_ptr<TArchiver> OpenArchivePath(const std::string& Path, const std::string& Key,
                                           std::shared_ptr<TArchiver> Outer, bool UseCache) {
  const TArchiveItemPath Parts = SplitArchiveItemPath(Path);
  if (Parts.empty()) PathAssertion(Path);
  return OpenArchiveParts(Parts, Key, std::move(Outer), UseCache);
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
  const TArchiveItemPath Parts = SplitArchiveItemPath(Path);
  if (Parts.empty()) PathAssertion(Path);
  return ExtractArchivePath(Parts, DestFile, ToMemory, Date, Size, PasswordCallback, SetFileTime);
}

TArcBlockPtr ExtractArchivePath(const TArchiveItemPath& Parts, const std::string& DestFile, bool ToMemory,
                                TDateTime* Date, int32_t* Size, const TArcPasswordEvent& PasswordCallback,
                                bool SetFileTime) {
  if (Parts.size() < 2) PathAssertion(JoinArchiveItemPath(Parts));
  const std::string& ItemName = Parts.back();

  TArchiveCacheLock Lock;
  // Without the lock the cleaner could evict what this extraction works with.
  if (!Lock.Locked()) throw EArcError("The archive cache is busy; try again");

  const std::shared_ptr<TArchiver> Archiver = OpenNestedArchive(Parts);
  PinCachedArchiver(Archiver.get());
  const TArcPasswordEvent SavedPassword = Archiver->GetPasswordCallback();
  std::unique_ptr<TExtractHelper> CabinetHelper;
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
  } Restore{Archiver.get(), SavedPassword, CabinetHelper};

  TArcWrapperMem2* Wrapper = Archiver->GetWrapper();
  if (Archiver->Kind == akCab && Wrapper != nullptr && !Wrapper->OnNextVolume && Parts.size() > 2) {
    // The cabinet lies inside an archive: its next cabinet is sought there.
    const std::string& Cabinet = Parts[Parts.size() - 2];
    const size_t Slash = Cabinet.rfind('/');
    CabinetHelper = std::make_unique<TExtractHelper>(
        TArchiveItemPath(Parts.begin(), Parts.end() - 2),
        Slash == std::string::npos ? std::string() : Cabinet.substr(0, Slash + 1), Archiver.get());
    TExtractHelper* H = CabinetHelper.get();
    Wrapper->OnNextVolume = [H](std::string& FileName) { return H->NextCabinetCallback(FileName); };
  }
  Archiver->SetPasswordCallback(PasswordCallback);
  if (ToMemory) {
    if (Size == nullptr) throw EArcError("Assertion failed: the size of a memory extraction is needed");
    return ExtractArchiveItemToMemory(*Archiver, ItemName, *Size);
  }
  ExtractArchiveItem(*Archiver, ItemName, DestFile, Date, Size, SetFileTime);
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
    TBaseArcLibWrapper Wrapper;
    std::string Msg;
    if (!Wrapper.SetArcName(FileName, Msg)) return false;
    auto* Cab = dynamic_cast<TUnCab*>(Wrapper.GetDecoder());
    if (Cab == nullptr) return false;
    TCabinetInfo Info{};
    if (!Cab->IsCabinet(FileName, Info, NextCabinet)) return false;
    IsFirst = Info.HasPrevious == 0;
    return true;
  } catch (...) {
    return false;
  }
}

// --- The cache ---------------------------------------------------------------------------------------------

std::shared_ptr<TArchiver> FindCachedArchive(const std::string& Key) {
  TCacheState& S = State();
  const auto It = S.Cache.find(Key);
  if (It != S.Cache.end()) {
    TSubArcCache& Entry = *It->second;
    int64_t Size = 0;
    TDateTime Time = 0;
    GetOuterFileStamp(Key, Size, Time);
    if (Size == Entry.OuterSize && Time == Entry.OuterTime) {
      Entry.LastUse = Ticks();
      return Entry.Archiver;
    }
    // The outer file changed: the extraction is out of date. A pinned entry waits for its last user.
    if (Entry.Pins > 0) S.Retired.push_back(std::move(It->second));
    S.Cache.erase(It);
    return nullptr;
  }
  const auto Open = S.OpenArchives.find(Key);
  if (Open == S.OpenArchives.end()) return nullptr;
  TOpenArchive Taken = std::move(Open->second);
  S.OpenArchives.erase(Open);
  AddToArchiveCache(Key, Taken.Archiver, 0);
  TSubArcCache& Entry = *S.Cache.at(Key);
  Entry.Pins = 1;  // the file scanner still walks it
  const std::string Archive = Taken.Archiver->GetArchiveName();
  for (auto& F : Taken.Files)
    if (F != Archive) Entry.OwnedFiles.push_back(std::move(F));
  return Taken.Archiver;
}

void AddToArchiveCache(const std::string& Key, std::shared_ptr<TArchiver> Archiver, uint32_t CostMs) {
  TCacheState& S = State();
  if (S.Cache.count(Key) != 0) throw EArcError("Assertion failed: \"" + Key + "\" is cached already");
  int64_t Size = 0;
  TDateTime Time = 0;
  GetOuterFileStamp(Key, Size, Time);
  S.Cache.emplace(Key, std::make_unique<TSubArcCache>(std::move(Archiver), Time, Size, CostMs));
  if (!S.CleanerRunning) {
    // A cleaner that ended by itself has left the lock behind and only returns now.
    if (S.Cleaner.joinable()) S.Cleaner.join();
    S.CleanerRunning = true;
    S.Cleaner = std::thread(CleanerMain);
  }
}

void TrimArchiveCache(const std::string& ExceptKey, int64_t Need) { Trim(ExceptKey, Need, false); }

void GetOuterFileStamp(const std::string& Key, int64_t& Size, TDateTime& Time) {
  Size = 0;
  Time = 0;
  std::string Outer, Rest;
  if (!SplitArchivePath(Key, Outer, Rest)) return;
  int64_t OuterSize = 0;
  TDateTime OuterTime = 0;
  if (!GetFileInfo(Outer, &OuterSize, &OuterTime, nullptr, nullptr, nullptr)) return;
  Size = OuterSize;
  Time = OuterTime;
}

void PinCachedArchiver(TArchiver* Archiver) {
  if (TSubArcCache* Entry = EntryOf(Archiver)) ++Entry->Pins;
}

void UnpinCachedArchiver(TArchiver* Archiver) {
  TCacheState& S = State();
  TSubArcCache* Entry = EntryOf(Archiver);
  if (Entry == nullptr || Entry->Pins == 0) return;
  if (--Entry->Pins > 0) return;
  for (auto It = S.Retired.begin(); It != S.Retired.end(); ++It) {
    if (It->get() == Entry) {
      S.Retired.erase(It);
      return;
    }
  }
}

bool IsArchiveFileCached(const std::string& FileName) {
  if (FileName.empty()) return false;
  TCacheState& S = State();
  const auto Owns = [&FileName](const TSubArcCache& E) {
    return E.Archiver->GetArchiveName() == FileName ||
           std::find(E.OwnedFiles.begin(), E.OwnedFiles.end(), FileName) != E.OwnedFiles.end();
  };
  for (const auto& [key, entry] : S.Cache)
    if (Owns(*entry)) return true;
  for (const auto& Entry : S.Retired)
    if (Owns(*Entry)) return true;
  return false;
}

void RegisterOpenArchive(const std::string& Key, std::shared_ptr<TArchiver> Archiver,
                         const std::vector<std::string>& Files) {
  State().OpenArchives[Key] = TOpenArchive{std::move(Archiver), Files};
}

bool UnregisterOpenArchive(const std::string& Key, TArchiver* Archiver) {
  TCacheState& S = State();
  const auto It = S.OpenArchives.find(Key);
  if (It != S.OpenArchives.end() && It->second.Archiver.get() == Archiver) {
    S.OpenArchives.erase(It);
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
  TCacheState& S = State();
  ++S.Foreground;
  if (LockArchiveCache()) return true;
  --S.Foreground;
  return false;
}

void UnlockArchiveCacheForeground() {
  TCacheState& S = State();
  // Unmarked before the lock goes, so the thread that takes it next never counts this one still.
  --S.Foreground;
  S.Mutex.Unlock();
}

int32_t ArchiveCacheForegroundThreads() { return State().Foreground.load(); }

void StopArchiveCacheCleaner() { State().StopCleaner(); }

bool ArchiveCacheCleanerRunning() {
  TCacheState& S = State();
  S.Mutex.Lock();
  const bool Running = S.CleanerRunning;
  S.Mutex.Unlock();
  return Running;
}

void ClearArchiveCache() {
  TCacheState& S = State();
  S.StopCleaner();
  S.Mutex.Lock();
  for (auto It = S.Cache.begin(); It != S.Cache.end();) {
    if (It->second->Pins == 0)
      It = S.Cache.erase(It);
    else
      ++It;
  }
  S.Mutex.Unlock();
}

void SetArchiveCacheTimings(uint32_t CleanerMs, uint32_t LockWaitMs) {
  State().CleanerMs = CleanerMs != 0 ? CleanerMs : kArchiveCacheCleanerMs;
  State().LockWaitMs = LockWaitMs != 0 ? LockWaitMs : kArchiveCacheLockWaitMs;
}

void SetArchiveCacheClock(std::function<uint32_t()> Clock) { State().Clock = std::move(Clock); }
