#include "search/FileScanArc.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "archive/ArcNested.h"
#include "archive/Archiver.h"
#include "core/FileLayer.h"
#include "core/MemUtils.h"
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "core/VFileSys.h"
#include "core/VStream.h"

namespace {

std::string LastComponent(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// The item's folder inside its archive, with its final "/" ("" at the top).
std::string ItemFolder(const std::string& ItemName) {
  const size_t slash = ItemName.find_last_of('/');
  return slash == std::string::npos ? std::string() : ItemName.substr(0, slash + 1);
}

bool LowerCaseLess(const std::string& A, const std::string& B) {
  const int c = ::strcasecmp(A.c_str(), B.c_str());
  return c != 0 ? c < 0 : A < B;
}

// The kinds whose archives may span volumes: their items are held back until their folder is complete.
bool MaySpanVolumes(TArchiveKind Kind) {
  return Kind == akExe || Kind == akAce || Kind == akArj || Kind == akCab || Kind == akRar;
}

// Deletes a temporary file of the walk unless the inner-archive cache owns it. When the cache cannot be
// asked, the file stays: a file left behind is better than a cache entry without its archive.
void DeleteWalkFile(const std::string& Name) {
  TArchiveCacheLock lock;
  if (!lock.Locked() || IsArchiveFileCached(Name)) return;
  ForceDeleteFile(Name);
}

// Waits for the cache lock, polling the scanner between tries so that a stop ends the wait; false when
// the search was stopped (the lock is then not held).
bool LockCacheOrStop(TFileScanner& Scanner) {
  while (!LockArchiveCacheForeground())
    if (!Scanner.DoProgress(std::u16string(), spkPoll)) return false;
  return true;
}

// Whether the files A and B hold the same bytes (both of Size bytes).
bool SameFileContents(const std::string& A, const std::string& B, int64_t Size) {
  constexpr size_t kPiece = 65536;
  std::ifstream a(A, std::ios::binary), b(B, std::ios::binary);
  if (!a || !b) return false;
  std::vector<char> pa(kPiece), pb(kPiece);
  for (int64_t left = Size; left > 0;) {
    const auto n = static_cast<std::streamsize>(std::min<int64_t>(left, kPiece));
    if (!a.read(pa.data(), n) || !b.read(pb.data(), n)) return false;
    if (std::memcmp(pa.data(), pb.data(), static_cast<size_t>(n)) != 0) return false;
    left -= n;
  }
  return true;
}

// kB value of one /proc/meminfo line, in bytes; -1 when absent.
int64_t MemInfoBytes(const std::string& Key) {
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, Key.size() + 1, Key + ":") != 0) continue;
    long long kb = -1;
    if (std::sscanf(line.c_str() + Key.size() + 1, "%lld", &kb) == 1) return static_cast<int64_t>(kb) * 1024;
  }
  return -1;
}

// MemAvailable, read again at most once a second: the answer is asked for every archive item, and reading
// /proc/meminfo each time cost more than the small items it decided about.
int64_t AvailableMemoryBytes() {
  using Clock = std::chrono::steady_clock;
  static std::mutex guard;
  static Clock::time_point readAt;
  static int64_t available = -1;
  static bool read = false;
  std::lock_guard<std::mutex> lock(guard);
  const Clock::time_point now = Clock::now();
  if (!read || now - readAt >= std::chrono::seconds(1)) {
    available = MemInfoBytes("MemAvailable");
    readAt = now;
    read = true;
  }
  return available;
}

}  // namespace

bool CanExtractToMemory(int64_t Size) {
  const int64_t available = AvailableMemoryBytes();
  if (available >= Size) return true;
  const int64_t total = GetPhysicalMemorySize();
  int64_t virtualBytes = INT64_MAX;
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    virtualBytes = static_cast<int64_t>(limit.rlim_cur);
  return total / 8 >= Size && virtualBytes / 16 >= Size;
}

// The state of one open archive and the answers to its archiver's callbacks.
class TListHelper {
 public:
  TListHelper(TArchiveWalk& Walk, TFileScanner& Scanner, TArchiver& Archiver, std::string FileName,
              std::string DisplayName, std::vector<std::string> Parts, bool Explicit,
              const TWideStrLst& Masks)
      : Explicit(Explicit),
        ArchiveFileName(std::move(FileName)),
        ArchiveDisplayName(std::move(DisplayName)),
        ArchiveParts(std::move(Parts)),
        Owner(Walk),
        Scanner(Scanner),
        Archiver(Archiver),
        Masks(Masks) {}
  ~TListHelper() { DropQueue(); }
  TListHelper(const TListHelper&) = delete;
  TListHelper& operator=(const TListHelper&) = delete;

  // The whole walk of the archive; false: stop the search.
  bool Walk();

  bool Progress() {
    const bool goOn = Scanner.DoProgress(std::u16string(), spkPoll);
    if (!goOn) Stopped = true;
    return goOn;
  }
  void ReportWarning(const std::string& Msg) {
    Scanner.DoError(Utf8ToUtf16(ArchiveDisplayName), Shown(Msg), kNoSystemError, sekArchiveWarning);
  }
  // Msg with the archive's file (a temporary file for an inner archive) named by its display path.
  std::string Shown(const std::string& Msg) const {
    return ReplaceAll(Msg, ArchiveFileName, ArchiveDisplayName);
  }
  bool FilterItem(const std::string& ItemName, bool SizeIncomplete, TDateTime Date, int32_t Size);
  bool DecideItem(const std::string& ItemName, bool SizeIncomplete, std::string& FileName,
                  TExtractDecision& Decision, TDateTime Date, int32_t Size, bool Continued);
  void ItemExtracted(const std::string& FileName, bool& Stop, TDateTime* Date, int32_t* Size);
  void ItemExtractedToMemory(const TArcMemoryItem& Item, bool& Stop);
  bool FlushNestedArchives();

  bool Stopped = false;

 private:
  // One nested archive held back until its folder is complete; its file is the walk's to delete.
  struct TItemInfo {
    std::string Name;      // the item's name in the archive
    std::string FileName;  // the temporary file it was extracted to
    TDateTime Date;
    int64_t Size;
  };

  std::string ItemPath(const std::string& ItemName) const { return ArchiveDisplayName + "|" + ItemName; }
  std::u16string WideItemPath(const std::string& ItemName) const { return Utf8ToUtf16(ItemPath(ItemName)); }
  // The item's archive item path in parts, and the inner-archive cache key of an item that is an archive.
  std::vector<std::string> ItemParts(const std::string& ItemName) const {
    std::vector<std::string> parts = ArchiveParts;
    parts.push_back(ItemName);
    return parts;
  }
  std::string ItemKey(const std::string& ItemName) const { return ArchiveCacheKey(ItemParts(ItemName)); }
  void ReportItemNameMatch(const std::u16string& Path, const std::string& ItemName, TDateTime Date,
                           int64_t Size);
  void WalkItemByItem();
  bool ProcessSet(const TItemInfo& First, const std::vector<TItemInfo>& Rest);
  void DropQueue();

  bool Explicit;
  std::string CurrentFolder;
  std::string LastItem;
  std::string ArchiveFileName;
  std::string ArchiveDisplayName;
  std::vector<std::string> ArchiveParts;
  TArchiveWalk& Owner;
  TFileScanner& Scanner;
  TArchiver& Archiver;
  std::vector<TItemInfo> Queue;
  const TWideStrLst& Masks;
};

bool TListHelper::Walk() {
  if (Archiver.SupportsExtractAll()) {
    Archiver.OnFileDone = [this](TArcFileItem& File, bool& Stop) {
      ItemExtracted(File.FileName, Stop, &File.Date, &File.Size);
    };
    try {
      Archiver.ExtractAll([this](TArcMemoryItem& Item, bool& Stop) { ItemExtractedToMemory(Item, Stop); },
                          [this](TArcDecideItem& Item) {
                            return DecideItem(Item.ItemName, Item.SizeIncomplete, Item.FileName,
                                              Item.Decision, Item.Date, Item.Size, Item.Continued);
                          });
    } catch (const std::exception& e) {
      Scanner.DoError(Utf8ToUtf16(ArchiveDisplayName), Shown(e.what()), kNoSystemError, sekException);
    }
  } else {
    WalkItemByItem();
  }
  if (Stopped) return false;
  return FlushNestedArchives();
}

void TListHelper::WalkItemByItem() {
  const std::u16string display = Utf8ToUtf16(ArchiveDisplayName);
  try {
    if (!Archiver.ListItems()) {
      Stopped = true;
      return;
    }
  } catch (const std::exception& e) {
    Scanner.DoError(display, Shown(e.what()), kNoSystemError, sekException);
    return;
  }
  for (int32_t i = 0; i < Archiver.ItemCount(); ++i) {
    std::string name;
    TDateTime date = 0;
    int32_t size = 0;
    Archiver.GetItem(i, name, date, size);
    std::string fileName = name;
    TExtractDecision decision = edToFile;
    const bool take = DecideItem(name, false, fileName, decision, date, size, false);
    if (decision == edCancel) {
      Stopped = true;
      return;
    }
    if (!take) continue;
    bool stop = false;
    std::string path;
    try {
      if (decision == edToMemory) {
        ItemExtractedToMemory(TArcMemoryItem{name, Archiver.ExtractItemToMemory(i, size), date, size}, stop);
      } else {
        Archiver.ExtractItemToTemp(i, size, path);
        ItemExtracted(path, stop, &date, &size);
      }
    } catch (const std::exception& e) {
      std::string msg = Shown(e.what());
      if (!path.empty()) msg = ReplaceAll(msg, path, ItemPath(name));
      Scanner.DoError(display, msg, kNoSystemError, sekException);
    }
    if (stop) {
      Stopped = true;
      return;
    }
  }
}

void TListHelper::ReportItemNameMatch(const std::u16string& Path, const std::string& ItemName, TDateTime Date,
                                      int64_t Size) {
  if (!Scanner.OnFound) return;
  TFoundFileInfo info;
  info.Name = Path;
  info.Size = Size;
  info.Date = Date;
  info.Encoding = seFileName;
  info.InArchive = true;
  info.ItemPath = ItemParts(ItemName);
  Scanner.OnFound(info);
}

bool TListHelper::FilterItem(const std::string& ItemName, bool SizeIncomplete, TDateTime Date, int32_t Size) {
  if (ItemName.empty() || ItemName.back() == '/') return false;  // a folder
  const std::u16string path = WideItemPath(ItemName);
  if (Size == 0) {
    Scanner.DoError(path, std::string(), kNoSystemError, sekEmptyFile);
    return false;
  }
  const TArchiveKind kind = GetArchiveKind(ItemName);
  if (kind == akNone) {
    // The size limits wait until the name tests of DecideItem are done: a large item can be found by name.
    if (!Scanner.MatchesMasks(path, Masks, false, true)) return false;
    return !Scanner.OnFilterFile || Scanner.OnFilterFile(TFilterFileInfo{path, SizeIncomplete, Date, Size});
  }
  TScanErrorKind refused{};
  if (Size > Scanner.MaxArchiveSize)
    refused = sekArchiveTooLarge;
  else if (!Scanner.ScanNestedArchives)
    refused = sekSubArchiveDisabled;
  else if (kind < kFirstDecodedKind || kind > kLastDecodedKind)
    refused = sekArchiveUnsupported;
  else if (!ArcInfos[kind].Enabled)
    refused = sekArchiveDisabled;
  if (refused == 0) return true;
  Scanner.DoError(path, std::string(), kNoSystemError, refused);
  return false;
}

bool TListHelper::DecideItem(const std::string& ItemName, bool SizeIncomplete, std::string& FileName,
                             TExtractDecision& Decision, TDateTime Date, int32_t Size, bool Continued) {
  if (ItemName.empty()) {
    if (!Progress()) Decision = edCancel;
    return false;
  }
  const std::u16string path = WideItemPath(ItemName);
  if (!Scanner.DoProgress(path, spkFile)) {
    Stopped = true;
    Decision = edCancel;
    return false;
  }
  const std::string folder = ItemFolder(ItemName);
  if (folder != CurrentFolder) {
    // Every volume of a nested set lies in one folder: the queue is complete when the folder changes.
    if (!FlushNestedArchives()) {
      Decision = edCancel;
      return false;
    }
    CurrentFolder = folder;
  }
  const bool accepted = FilterItem(ItemName, SizeIncomplete, Date, Size);
  LastItem = ItemName;
  if (!accepted) return false;

  bool laterVolume = false;
  const TArchiveKind kind = ArchiveKindByExt(ItemName, laterVolume);
  if (kind >= kFirstDecodedKind && kind <= kLastDecodedKind) {
    if (laterVolume) {
      // Read with its first volume, which the cache already holds.
      TArchiveCacheLock lock;
      if (lock.Locked() && FindCachedArchive(FirstVolumeName(ItemKey(ItemName), kind)) != nullptr)
        return false;
    } else {
      TArchiver* cached = nullptr;  // the cache holds it while it is pinned
      std::string cachedFile;
      {
        TArchiveCacheLock lock;
        if (lock.Locked()) cached = FindCachedArchive(ItemKey(ItemName)).get();
        if (cached != nullptr) {
          cachedFile = cached->GetArchiveName();
          PinCachedArchiver(cached);  // the cleaner must not take the file away while it is walked
        }
      }
      if (cached != nullptr) {
        // Extracted before (a preview): the cache's file is walked instead, and stays the cache's.
        bool stop = false;
        TDateTime date = Date;
        int32_t size = Size;
        ItemExtracted(cachedFile, stop, &date, &size);
        if (LockCacheOrStop(Scanner)) {
          UnpinCachedArchiver(cached);
          UnlockArchiveCacheForeground();
        } else {
          Owner.PendingPins.push_back(cached);  // a pinned entry stays in the cache until then
          stop = true;
        }
        if (stop) {
          Stopped = true;
          Decision = edCancel;
        }
        return false;
      }
    }
  } else {
    if (!SizeIncomplete) {
      if (Scanner.Scanner.IsPatternEmpty()) {
        if (!Scanner.SkipBinary) {
          ReportItemNameMatch(path, ItemName, Date, Size);
          return false;
        }
      } else {
        if ((Scanner.Mode & smMatchName) != 0 && Scanner.MatchFileName(path, true)) {
          ReportItemNameMatch(path, ItemName, Date, Size);
          return false;
        }
        if ((Scanner.Mode & smNameOnly) != 0) return false;
      }
    }
    if (Size > Scanner.MaxScanSize) {
      Scanner.DoError(path, std::string(), kNoSystemError, sekTooLarge);
      return false;
    }
    if ((Scanner.Mode & smScanContents) == 0 && Size > Scanner.MaxConvertSize) {
      Scanner.DoError(path, std::string(), kNoSystemError, sekTooLargeToConvert);
      return false;
    }
    if (Owner.FitsInMemory(Size)) {
      Decision = edToMemory;
      return true;
    }
  }
  if (!Continued) {
    std::string tempFolder;
    try {
      Archiver.MakeTempFolder(Size, tempFolder);
    } catch (const std::exception& e) {
      // No temporary folder for this item: it alone is left out, and the items that fit in memory are
      // still searched.
      Scanner.DoError(path, e.what(), kNoSystemError, sekException);
      return false;
    }
    FileName = tempFolder + LastComponent(FileName);
  }
  Decision = edToFile;
  return true;
}

void TListHelper::ItemExtractedToMemory(const TArcMemoryItem& Item, bool& Stop) {
  TVReadOnlyMemStream stream(Item.Block.get(), Item.Size);
  Stop = Scanner.ScanStream(stream, WideItemPath(Item.ItemName), Item.Date, Item.Size, true) == srCancelled;
  if (Stop) Stopped = true;
}

void TListHelper::ItemExtracted(const std::string& FileName, bool& Stop, TDateTime* Date, int32_t* Size) {
  TDateTime date = 0;
  int64_t size = 0;
  if (Date == nullptr || Size == nullptr) {
    TDateTime fileDate = 0;
    int64_t fileSize = -1;
    if (!GetFileInfo(FileName, &fileSize, &fileDate, nullptr, nullptr, nullptr)) {
      DeleteWalkFile(FileName);  // whatever is left of it
      return;
    }
    date = Date != nullptr ? *Date : fileDate;
    size = Size != nullptr ? *Size : fileSize;
  } else {
    date = *Date;
    size = *Size;
  }

  bool laterVolume = false;
  if (MaySpanVolumes(ArchiveKindByExt(FileName, laterVolume))) {
    Queue.push_back(TItemInfo{LastItem, FileName, date, size});
    return;
  }
  const std::u16string path = WideItemPath(LastItem);
  try {
    Stop =
        !Scanner.ProcessFile(Utf8ToUtf16(FileName), path, nullptr, true, Explicit, true, Masks, date, size);
  } catch (const std::exception& e) {
    Scanner.DoError(path, ReplaceAll(e.what(), FileName, ItemPath(LastItem)), kNoSystemError, sekException);
  }
  if (Stop) Stopped = true;
  DeleteWalkFile(FileName);
}

bool TListHelper::ProcessSet(const TItemInfo& First, const std::vector<TItemInfo>& Rest) {
  TStrLst volumes;
  for (const TItemInfo& v : Rest) volumes.Add(v.FileName);
  return Scanner.ProcessFile(Utf8ToUtf16(First.FileName), WideItemPath(First.Name),
                             Rest.empty() ? nullptr : &volumes, true, Explicit, true, Masks, First.Date,
                             First.Size);
}

bool TListHelper::FlushNestedArchives() {
  if (Queue.empty()) return true;
  bool result = true;
  try {
    std::stable_sort(Queue.begin(), Queue.end(),
                     [](const TItemInfo& A, const TItemInfo& B) { return LowerCaseLess(A.Name, B.Name); });
    size_t i = 0;
    while (i < Queue.size()) {
      bool laterVolume = false;
      const TArchiveKind kind = ArchiveKindByExt(Queue[i].Name, laterVolume);
      if (laterVolume) {
        ++i;
        continue;
      }
      // E starts a set and leaves the queue with its members, so none of their files is deleted twice.
      const TItemInfo first = Queue[i];
      Queue.erase(Queue.begin() + static_cast<ptrdiff_t>(i));
      std::vector<TItemInfo> set;
      if (kind == akCab) {
        std::string next;
        bool isFirst = false;
        // An item that is no cabinet (or one that cannot be read) is processed alone, as a file of that
        // name on disk is: scanned as a plain file, or reported as a damaged archive.
        if (!GetCabinetInfo(first.FileName, next, isFirst)) next.clear();
        while (!next.empty()) {
          const auto member = std::find_if(Queue.begin(), Queue.end(), [&next](const TItemInfo& Q) {
            return ::strcasecmp(LastComponent(Q.Name).c_str(), LastComponent(next).c_str()) == 0;
          });
          if (member == Queue.end()) break;
          set.push_back(*member);
          Queue.erase(member);
          if (!GetCabinetInfo(set.back().FileName, next, isFirst)) break;
        }
      } else {
        const std::string base = RemoveFileExt(first.Name);
        for (size_t j = 0; j < Queue.size();) {
          bool later = false;
          if (::strcasecmp(RemoveFileExt(Queue[j].Name).c_str(), base.c_str()) == 0 &&
              ArchiveKindByExt(Queue[j].Name, later) == kind) {
            set.push_back(Queue[j]);
            Queue.erase(Queue.begin() + static_cast<ptrdiff_t>(j));
          } else {
            ++j;
          }
        }
      }

      bool goOn = ProcessSet(first, set);
      // A cabinet set: every further cabinet is an archive of its own too (files that begin in it), with
      // the rest of the chain as its volumes; each used cabinet goes before the next.
      if (kind == akCab) {
        DeleteWalkFile(first.FileName);
        for (size_t k = 0; goOn && k < set.size(); ++k) {
          goOn = ProcessSet(set[k],
                            std::vector<TItemInfo>(set.begin() + static_cast<ptrdiff_t>(k) + 1, set.end()));
          DeleteWalkFile(set[k].FileName);
        }
      }
      DeleteWalkFile(first.FileName);
      for (const TItemInfo& v : set) DeleteWalkFile(v.FileName);
      if (!goOn) {
        Stopped = true;
        result = false;
        break;
      }
      i = 0;
    }
  } catch (const std::exception& e) {
    Scanner.DoError(Utf8ToUtf16(ArchiveDisplayName), Shown(e.what()), kNoSystemError, sekException);
  }
  DropQueue();
  return result;
}

void TListHelper::DropQueue() {
  for (const TItemInfo& q : Queue) DeleteWalkFile(q.FileName);
  Queue.clear();
}

// --- TArchiveWalk ------------------------------------------------------------------------------------------

TArchiveWalk::~TArchiveWalk() {
  // Each try waits for the lock as long as any foreground lock does.
  constexpr int kSettleTries = 3;
  for (int i = 0; i < kSettleTries && !SettlePending(); ++i) {
  }
}

bool TArchiveWalk::SettlePending() {
  if (PendingRegistrations.empty() && PendingPins.empty()) return true;
  TArchiveCacheLock lock;
  if (!lock.Locked()) return false;
  for (TArchiver* pinned : PendingPins) UnpinCachedArchiver(pinned);
  PendingPins.clear();
  for (const TPendingRegistration& r : PendingRegistrations) {
    UnregisterOpenArchive(r.Key, r.Archiver.get());
    // The files the walk could not delete while the lock was away, and the folders they leave empty
    // (the outer archive's, and the root of the temporary folders).
    for (const std::string& file : r.Files) {
      if (IsArchiveFileCached(file)) continue;
      ForceDeleteFile(file);
      std::string folder = file, name;
      for (int up = 0; up < 2; ++up) {
        SplitFileName(ExcludeTrailingBackslash(folder), folder, name);
        if (folder.empty() || ::rmdir(ExcludeTrailingBackslash(folder).c_str()) != 0) break;
      }
    }
  }
  PendingRegistrations.clear();
  return true;
}

bool TArchiveWalk::IsEnabledArchiveName(const std::u16string& Name) {
  return ::IsEnabledArchiveName(Utf16ToUtf8(Name));
}

TArchiveCheck TArchiveWalk::CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) {
  return ::CheckArchiveFile(FileName, Kind);
}

bool TArchiveWalk::ScanArchive(TFileScanner& Scanner, const std::u16string& FileName,
                               const std::u16string& DisplayName, const TStrLst* Volumes, bool Explicit,
                               const TWideStrLst& Masks) {
  if (!Scanner.DoProgress(DisplayName, spkArchive)) return false;
  SettlePending();
  const std::string file = Utf16ToUtf8(FileName);
  const std::string display = Utf16ToUtf8(DisplayName);

  // Hostile nesting: a chain of archives deeper than any real one, or an archive that holds a copy of
  // an archive it lies in (which would hold it again, without end), is reported and not walked.
  if (Levels.size() >= kMaxArchiveNesting) {
    Scanner.DoError(
        DisplayName,
        "Archives nested more than " + std::to_string(kMaxArchiveNesting) + " levels deep are not searched",
        kNoSystemError, sekArchiveOpenFailed);
    return true;
  }
  int64_t fileSize = -1;
  GetFileInfo(file, &fileSize, nullptr, nullptr, nullptr, nullptr);
  for (const TOpenLevel& outer : Levels) {
    if (fileSize < 0 || outer.Size != fileSize || !SameFileContents(outer.File, file, fileSize)) continue;
    Scanner.DoError(DisplayName,
                    "The archive is identical to the archive \"" + outer.Display +
                        "\" that holds it, and is not searched again",
                    kNoSystemError, sekArchiveOpenFailed);
    return true;
  }

  // Shared: the cache may take the archiver over while it is walked.
  auto archiver = std::make_shared<TArchiver>();
  std::string msg;
  if (!archiver->Open(file, msg, Volumes)) {
    Scanner.DoError(DisplayName, ReplaceAll(msg, file, display), kNoSystemError, sekArchiveOpenFailed);
    return true;
  }
  const std::vector<std::string> parts = PartsOf(display);
  const std::string key = ArchiveCacheKey(parts);
  Levels.push_back(TOpenLevel{file, display, fileSize, parts});

  // An inner archive (a temporary file shown under an archive item path) may be taken over by the cache
  // while it is walked. An archive on disk never is: the cache deletes the files it owns.
  bool registered = false;
  if (FileName != DisplayName) {
    TArchiveCacheLock lock;
    if (lock.Locked()) {
      std::vector<std::string> files{file};
      if (Volumes != nullptr)
        for (int32_t i = 0; i < Volumes->GetCount(); ++i) files.push_back(Volumes->Get(i));
      RegisterOpenArchive(key, archiver, files);
      registered = true;
    }
  }

  archiver->SetPasswordCallback(
      [&Scanner](const std::string& ArcFileName, const std::string& ItemName, std::string& Password) {
        if (!Scanner.OnPassword) return false;
        TScanPasswordQuery query{ArcFileName, Scanner.CurrentArchive, ItemName, Password};
        return Scanner.OnPassword(query);
      });
  Scanner.CurrentArchive = display;
  bool result = true;
  {
    TListHelper helper(*this, Scanner, *archiver, file, display, parts, Explicit, Masks);
    archiver->SetMessageCallback([&helper](const std::string& Msg) { helper.ReportWarning(Msg); });
    archiver->OnItemFilter = [&helper](TArcListItem& Item, bool&) {
      return helper.FilterItem(Item.ItemName, Item.SizeIncomplete, Item.Date, Item.Size);
    };
    archiver->SetProgressCallback([&helper](int32_t, int32_t) { return helper.Progress(); });
    try {
      result = helper.Walk();
    } catch (const std::exception& e) {
      Scanner.DoError(DisplayName, e.what(), kNoSystemError, sekException);
    }
    // The archiver may live on in the cache: nothing of this walk may be called from it later.
    archiver->SetMessageCallback(nullptr);
    archiver->SetProgressCallback(nullptr);
    archiver->SetPasswordCallback(nullptr);
    archiver->OnItemFilter = nullptr;
    archiver->OnFileDone = nullptr;
  }

  Levels.pop_back();
  if (registered) {
    // The registration must go before the archiver does; the cleaner gives the lock up soon.
    if (!LockCacheOrStop(Scanner)) {
      // Stopped while the lock could not be had: the archiver stays registered, and so alive, until
      // the registration can go.
      std::vector<std::string> files{file};
      if (Volumes != nullptr)
        for (int32_t i = 0; i < Volumes->GetCount(); ++i) files.push_back(Volumes->Get(i));
      PendingRegistrations.push_back(TPendingRegistration{key, archiver, std::move(files)});
      return false;
    }
    UnregisterOpenArchive(key, archiver.get());
    UnlockArchiveCacheForeground();
  }
  return result;  // a cached archiver lives on in the cache
}

std::vector<std::string> TArchiveWalk::PartsOf(const std::string& Display) const {
  if (Levels.empty()) return {Display};
  const std::string& outer = Levels.back().Display;
  if (Display.size() > outer.size() && Display.compare(0, outer.size(), outer) == 0 &&
      Display[outer.size()] == '|') {
    std::vector<std::string> parts = Levels.back().Parts;
    parts.push_back(Display.substr(outer.size() + 1));
    return parts;
  }
  return SplitArchiveItemPath(Display);
}

std::vector<std::string> TArchiveWalk::ItemPathOf(const std::u16string& DisplayName) {
  if (!Levels.empty()) {
    // Only an item of the archive walked now: anything else has no parts known here.
    const std::string display = Utf16ToUtf8(DisplayName);
    const std::string& outer = Levels.back().Display;
    if (display.size() > outer.size() && display.compare(0, outer.size(), outer) == 0 &&
        display[outer.size()] == '|')
      return PartsOf(display);
    return {};
  }
  if (!RescanParts.empty() && DisplayName == RescanDisplay) return RescanParts;
  return {};
}

bool TArchiveWalk::RescanArchiveItem(TFileScanner& Scanner, const std::u16string& Path, int64_t Size,
                                     TDateTime Date, const std::vector<std::string>& ItemPath) {
  if (!Scanner.DoProgress(Path, spkFile)) return false;
  const std::vector<std::string> parts =
      ItemPath.size() >= 2 ? ItemPath : SplitArchiveItemPath(Utf16ToUtf8(Path));
  const std::string itemName = parts.empty() ? std::string() : parts.back();
  Scanner.CurrentArchive = parts.empty() ? std::string() : JoinArchiveItemPath(parts, parts.size() - 1);
  const TArcPasswordEvent password = [&Scanner](const std::string& ArcFileName, const std::string& ItemName,
                                                std::string& Password) {
    if (!Scanner.OnPassword) return false;
    TScanPasswordQuery query{ArcFileName, Scanner.CurrentArchive, ItemName, Password};
    return Scanner.OnPassword(query);
  };
  // The hits of this scan are this item: they carry its parts.
  struct TRescanScope {
    TArchiveWalk& Walk;
    ~TRescanScope() {
      Walk.RescanParts.clear();
      Walk.RescanDisplay.clear();
    }
  } scope{*this};
  RescanParts = parts;
  RescanDisplay = Path;
  std::string temp;
  try {
    if (parts.size() < 2)
      throw EArcError("Assertion failed: \"" + Utf16ToUtf8(Path) + "\" is not an archive item path");
    if (Size < 0 || Size > INT32_MAX) throw EArcError("Item size out of range");
    TScanResult result;
    if (FitsInMemory(Size)) {
      const TArcBlockPtr block = ExtractArchivePathToMemory(parts, static_cast<int32_t>(Size), password);
      TVReadOnlyMemStream stream(block.get(), static_cast<int32_t>(Size));
      result = Scanner.ScanStream(stream, Path, Date, Size, true);
    } else {
      MakeTempFileNameOrRaise("QV", temp, Size);
      ExtractArchivePathToFile(parts, temp, false, nullptr, nullptr, password);
      // The temporary file exists before the extraction: only its size tells that the item came.
      int64_t written = -1;
      if (!GetFileInfo(temp, &written, nullptr, nullptr, nullptr, nullptr) || written != Size)
        throw EArcError("Can't extract \"" + itemName + "\" from \"" + Scanner.CurrentArchive + "\"");
      result = Scanner.ScanFile(Utf8ToUtf16(temp), Path, Date, Size, true);
    }
    if (!temp.empty()) ForceDeleteFile(temp);
    return result != srCancelled;
  } catch (const std::exception& e) {
    if (!temp.empty()) ForceDeleteFile(temp);
    Scanner.DoError(Path, e.what(), kNoSystemError, sekException);
    return true;
  }
}
