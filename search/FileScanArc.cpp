#include "search/FileScanArc.h"

#include <malloc.h>
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
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "core/VFileSys.h"
#include "core/VStream.h"

namespace {

std::string LastComponent(const std::string& Path) {
  const size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// The item's folder inside its archive, with its final "/" ("" at the top).
std::string ItemFolder(const std::string& ItemName) {
  const size_t Slash = ItemName.find_last_of('/');
  return Slash == std::string::npos ? std::string() : ItemName.substr(0, Slash + 1);
}

bool LowerCaseLess(const std::string& A, const std::string& B) {
  const int C = ::strcasecmp(A.c_str(), B.c_str());
  return C != 0 ? C < 0 : A < B;
}

// An item block of this size or more is given back to the system when it goes. Smaller ones stay with the
// allocator for the next items (given back, each would cost its pages' faults again).
constexpr int32_t kTrimAfterBytes = 8 << 20;

// The kinds whose archives may span volumes: their items are held back until their folder is complete.
bool MaySpanVolumes(TArchiveKind Kind) {
  return Kind == akExe || Kind == akAce || Kind == akArj || Kind == akCab || Kind == akRar;
}

// The kinds whose decoders are libraries with process-wide state: their archives are walked on the owner's
// thread only.
bool NeedsOwnerThread(TArchiveKind Kind) {
  return Kind == akExe || Kind == akAce || Kind == akCab || Kind == akRar;
}

// Deletes a temporary file of the walk unless the inner-archive cache owns it. When the cache cannot be
// asked, the file stays: a file left behind is better than a cache entry without its archive.
void DeleteWalkFile(const std::string& Name) {
  TArchiveCacheLock Lock;
  if (!Lock.Locked() || IsArchiveFileCached(Name)) return;
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
  std::ifstream StreamA(A, std::ios::binary), StreamB(B, std::ios::binary);
  if (!StreamA || !StreamB) return false;
  std::vector<char> Pa(kPiece), Pb(kPiece);
  for (int64_t Left = Size; Left > 0;) {
    const auto N = static_cast<std::streamsize>(std::min<int64_t>(Left, kPiece));
    if (!StreamA.read(Pa.data(), N) || !StreamB.read(Pb.data(), N)) return false;
    if (std::memcmp(Pa.data(), Pb.data(), static_cast<size_t>(N)) != 0) return false;
    Left -= N;
  }
  return true;
}

// kB value of one /proc/meminfo line, in bytes; -1 when absent.
int64_t MemInfoBytes(const std::string& Key) {
  std::ifstream In("/proc/meminfo");
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.compare(0, Key.size() + 1, Key + ":") != 0) continue;
    long long Kb = -1;
    if (std::sscanf(Line.c_str() + Key.size() + 1, "%lld", &Kb) == 1) return static_cast<int64_t>(Kb) * 1024;
  }
  return -1;
}

// MemAvailable, read again at most once a second: the answer is asked for every archive item, and reading
// /proc/meminfo each time cost more than the small items it decided about.
int64_t AvailableMemoryBytes() {
  using Clock = std::chrono::steady_clock;
  static std::mutex Guard;
  static Clock::time_point ReadAt;
  static int64_t Available = -1;
  static bool Read = false;
  std::lock_guard<std::mutex> Lock(Guard);
  const Clock::time_point Now = Clock::now();
  if (!Read || Now - ReadAt >= std::chrono::seconds(1)) {
    Available = MemInfoBytes("MemAvailable");
    ReadAt = Now;
    Read = true;
  }
  return Available;
}

}  // namespace

// The state of one open archive and the answers to its archiver's callbacks.
class TListHelper {
 public:
  TListHelper(TArchiveWalk& Walk, TFileScanner& Scanner, TArchiver& Archiver, std::string FileName,
              std::string DisplayName, std::vector<std::string> Parts, bool Explicit,
              const TWideStrLst& Masks)
      : Explicit_(Explicit),
        ArchiveFileName_(std::move(FileName)),
        ArchiveDisplayName_(std::move(DisplayName)),
        ArchiveParts_(std::move(Parts)),
        Owner_(Walk),
        Scanner_(Scanner),
        Archiver_(Archiver),
        Masks_(Masks) {}
  ~TListHelper() { DropQueue(); }
  TListHelper(const TListHelper&) = delete;
  TListHelper& operator=(const TListHelper&) = delete;

  // The whole walk of the archive; false: stop the search.
  bool Walk();

  bool Progress() {
    const bool GoOn = Scanner_.DoProgress(std::u16string(), spkPoll);
    if (!GoOn) Stopped = true;
    return GoOn;
  }
  void ReportWarning(const std::string& Msg) {
    Scanner_.DoError(Utf8ToUtf16(ArchiveDisplayName_), Shown(Msg), kNoSystemError, sekArchiveWarning);
  }
  // Msg with the archive's file (a temporary file for an inner archive) named by its display path.
  std::string Shown(const std::string& Msg) const {
    return ReplaceAll(Msg, ArchiveFileName_, ArchiveDisplayName_);
  }
  // The tests of an item before it is extracted (folder, empty, masks and filters, archive limits).
  bool FilterItem(const TArcListItem& Item);
  // The archiver's question before each item: whether and where it is extracted (Item.FileName and
  // Item.Decision), after the walk's tests and reports of the item.
  bool DecideItem(TArcDecideItem& Item);
  // An item the archiver has written to File.FileName, of File.Date and File.Size.
  void ItemExtracted(const TArcFileItem& File, bool& Stop);
  // Whether an item that can be read as a stream is wanted so: a TAR inside a GZIP file that the way
  // through a temporary file would walk as a TAR archive with the same outcome.
  bool WantsStream(const TArcStreamQuery& Query) const;
  // The item taken as a stream: walked as an inner archive, as ItemExtracted walks one from its file.
  void ItemStreamed(TArcStreamItem& Item, bool& Stop);
  void ItemExtractedToMemory(TArcMemoryItem& Item, bool& Stop);
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

  std::string ItemPath(const std::string& ItemName) const { return ArchiveDisplayName_ + "|" + ItemName; }
  std::u16string WideItemPath(const std::string& ItemName) const { return Utf8ToUtf16(ItemPath(ItemName)); }
  // The item's archive item path in parts, and the inner-archive cache key of an item that is an archive.
  std::vector<std::string> ItemParts(const std::string& ItemName) const {
    std::vector<std::string> Parts = ArchiveParts_;
    Parts.push_back(ItemName);
    return Parts;
  }
  std::string ItemKey(const std::string& ItemName) const { return ArchiveCacheKey(ItemParts(ItemName)); }
  void ReportItemNameMatch(const std::u16string& Path, const std::string& ItemName, TDateTime Date,
                           int64_t Size);
  bool ProcessSet(const TItemInfo& First, const std::vector<TItemInfo>& Rest);
  void DropQueue();
  // What ProcessFile and TArchiveWalk::ScanArchive do for an inner archive, for one read from Data and
  // shown as Display; false: stop the search.
  bool ScanStreamedArchive(TStream32& Data, const std::string& Display);

  bool Explicit_;
  std::string CurrentFolder_;
  std::string LastItem_;
  std::string ArchiveFileName_;
  std::string ArchiveDisplayName_;
  std::vector<std::string> ArchiveParts_;
  TArchiveWalk& Owner_;
  TFileScanner& Scanner_;
  TArchiver& Archiver_;
  std::vector<TItemInfo> Queue_;
  const TWideStrLst& Masks_;
  // The budget's grant for the item that goes to memory now (none for an item that goes to a file).
  TItemMemoryLease Lease_;
  // FlushNestedArchives' work, on this thread.
  bool FlushHere();
  // DecideItem's answer, before the grant of an item that does not go to memory is given back.
  bool DecideHere(TArcDecideItem& Item);
};

bool TListHelper::Walk() {
  Archiver_.OnFileDone = [this](TArcFileItem& File, bool& Stop) { ItemExtracted(File, Stop); };
  if (Owner_.StreamTarInGzip && Archiver_.Kind == akGZip) {
    Archiver_.OnStreamQuery = [this](const TArcStreamQuery& Query) { return WantsStream(Query); };
    Archiver_.OnItemStream = [this](TArcStreamItem& Item, bool& Stop) { ItemStreamed(Item, Stop); };
  }
  try {
    Archiver_.ExtractAll([this](TArcMemoryItem& Item, bool& Stop) { ItemExtractedToMemory(Item, Stop); },
                         [this](TArcDecideItem& Item) { return DecideItem(Item); });
  } catch (const std::exception& E) {
    Scanner_.DoError(Utf8ToUtf16(ArchiveDisplayName_), Shown(E.what()), kNoSystemError, sekException);
  }
  // The archiver may live on in the cache: nothing of this walk may be called from it later.
  Archiver_.OnStreamQuery = nullptr;
  Archiver_.OnItemStream = nullptr;
  Lease_.Release();  // an item the archiver gave up holds nothing now
  if (Stopped) return false;
  return FlushNestedArchives();
}

void TListHelper::ReportItemNameMatch(const std::u16string& Path, const std::string& ItemName, TDateTime Date,
                                      int64_t Size) {
  if (!Scanner_.OnFound) return;
  TFoundFileInfo Info;
  Info.Name = Path;
  Info.Size = Size;
  Info.Date = Date;
  Info.Encoding = seFileName;
  Info.InArchive = true;
  Info.ItemPath = ItemParts(ItemName);
  Scanner_.OnFound(Info);
}

bool TListHelper::FilterItem(const TArcListItem& Item) {
  const std::string& ItemName = Item.ItemName;
  const int32_t Size = Item.Size;
  if (ItemName.empty() || ItemName.back() == '/') return false;  // a folder
  const std::u16string Path = WideItemPath(ItemName);
  if (Size == 0) {
    Scanner_.DoError(Path, std::string(), kNoSystemError, sekEmptyFile);
    return false;
  }
  const TArchiveKind Kind = GetArchiveKind(ItemName);
  if (Kind == akNone) {
    // The size limits wait until the name tests of DecideItem are done: a large item can be found by name.
    if (!Scanner_.MatchesMasks(Path, Masks_, false, true)) return false;
    return !Scanner_.OnFilterFile ||
           Scanner_.OnFilterFile(TFilterFileInfo{Path, Item.SizeIncomplete, Item.Date, Size});
  }
  TScanErrorKind Refused{};
  if (Size > Scanner_.MaxArchiveSize)
    Refused = sekArchiveTooLarge;
  else if (!Scanner_.ScanNestedArchives)
    Refused = sekSubArchiveDisabled;
  else if (Kind < kFirstDecodedKind || Kind > kLastDecodedKind)
    Refused = sekArchiveUnsupported;
  else if (!ArcInfos[Kind].Enabled)
    Refused = sekArchiveDisabled;
  if (Refused == 0) return true;
  Scanner_.DoError(Path, std::string(), kNoSystemError, Refused);
  return false;
}

bool TListHelper::DecideItem(TArcDecideItem& Item) {
  const bool Go = DecideHere(Item);
  // Only an item that goes to memory keeps a grant; a part that continues an item in memory and goes to
  // a file takes the item's bytes out of memory.
  if (!Go || Item.Decision != edToMemory) Lease_.Release();
  return Go;
}

bool TListHelper::DecideHere(TArcDecideItem& Item) {
  const std::string& ItemName = Item.ItemName;
  const TDateTime Date = Item.Date;
  const int32_t Size = Item.Size;
  TExtractDecision& Decision = Item.Decision;
  if (ItemName.empty()) {
    if (!Progress()) Decision = edCancel;
    return false;
  }
  // Whatever the previous item held is gone by now: delivered and scanned, or dropped by the archiver
  // before this item starts. A next part of an item keeps its grant and asks for the difference.
  if (!Item.Continued) Lease_.Release();
  const std::u16string Path = WideItemPath(ItemName);
  if (!Scanner_.DoProgress(Path, spkFile)) {
    Stopped = true;
    Decision = edCancel;
    return false;
  }
  const std::string Folder = ItemFolder(ItemName);
  if (Folder != CurrentFolder_) {
    // Every volume of a nested set lies in one folder: the queue is complete when the folder changes.
    if (!FlushNestedArchives()) {
      Decision = edCancel;
      return false;
    }
    CurrentFolder_ = Folder;
  }
  const bool Accepted = FilterItem(TArcListItem{ItemName, Item.SizeIncomplete, Date, Size});
  LastItem_ = ItemName;
  if (!Accepted) return false;

  bool LaterVolume = false;
  const TArchiveKind Kind = ArchiveKindByExt(ItemName, LaterVolume);
  if (Kind >= kFirstDecodedKind && Kind <= kLastDecodedKind) {
    if (LaterVolume) {
      // Read with its first volume, which the cache already holds.
      TArchiveCacheLock Lock;
      if (Lock.Locked() && FindCachedArchive(FirstVolumeName(ItemKey(ItemName), Kind)) != nullptr)
        return false;
    } else {
      TArchiver* Cached = nullptr;  // the cache holds it while it is pinned
      std::string CachedFile;
      {
        TArchiveCacheLock Lock;
        if (Lock.Locked()) Cached = FindCachedArchive(ItemKey(ItemName)).get();
        if (Cached != nullptr) {
          CachedFile = Cached->GetArchiveName();
          PinCachedArchiver(Cached);  // the cleaner must not take the file away while it is walked
        }
      }
      if (Cached != nullptr) {
        // Extracted before (a preview): the cache's file is walked instead, and stays the cache's.
        bool Stop = false;
        ItemExtracted(TArcFileItem{CachedFile, Date, Size}, Stop);
        if (LockCacheOrStop(Scanner_)) {
          UnpinCachedArchiver(Cached);
          UnlockArchiveCacheForeground();
        } else {
          Owner_.PendingPins_.push_back(Cached);  // a pinned entry stays in the cache until then
          Stop = true;
        }
        if (Stop) {
          Stopped = true;
          Decision = edCancel;
        }
        return false;
      }
      if (Item.StreamOffered) {  // WantsStream took it: read while it is inflated
        Decision = edToStream;
        return true;
      }
    }
  } else {
    if (!Item.SizeIncomplete) {
      if (Scanner_.Scanner.IsPatternEmpty()) {
        if (!Scanner_.SkipBinary) {
          ReportItemNameMatch(Path, ItemName, Date, Size);
          return false;
        }
      } else {
        if ((Scanner_.Mode & smMatchName) != 0 && Scanner_.MatchFileName(Path, true)) {
          ReportItemNameMatch(Path, ItemName, Date, Size);
          return false;
        }
        if ((Scanner_.Mode & smNameOnly) != 0) return false;
      }
    }
    if (Size > Scanner_.MaxScanSize) {
      Scanner_.DoError(Path, std::string(), kNoSystemError, sekTooLarge);
      return false;
    }
    if ((Scanner_.Mode & smScanContents) == 0 && Size > Scanner_.MaxConvertSize) {
      Scanner_.DoError(Path, std::string(), kNoSystemError, sekTooLargeToConvert);
      return false;
    }
    if (Owner_.TakeMemory(Lease_, Size)) {
      Decision = edToMemory;
      return true;
    }
  }
  if (!Item.Continued) {
    std::string TempFolder;
    try {
      Archiver_.MakeTempFolder(Size, TempFolder);
    } catch (const std::exception& E) {
      // No temporary folder for this item: it alone is left out, and the items that fit in memory are
      // still searched.
      Scanner_.DoError(Path, E.what(), kNoSystemError, sekException);
      return false;
    }
    Item.FileName = TempFolder + LastComponent(Item.FileName);
  }
  Decision = edToFile;
  return true;
}

void TListHelper::ItemExtractedToMemory(TArcMemoryItem& Item, bool& Stop) {
  {
    TVReadOnlyMemStream Stream(Item.Block.get(), Item.Size);
    Stop =
        Scanner_.ScanStream(Stream, WideItemPath(Item.ItemName), Item.Date, Item.Size, true) == srCancelled;
  }
  // The block goes before its grant does, so that the budget never counts less than is held. The
  // allocator keeps a large block it took from a worker thread's heap for that thread: given back to the
  // system at once, the memory the budget grants is the memory the process holds (each worker's heap would
  // otherwise keep the largest items it had). The walk's own thread reuses its block for the next item:
  // trimming there would only make the next item fault its pages in again.
  Item.Block.reset();
  if (Item.Size >= kTrimAfterBytes && Owner_.RunOnOwner_) ::malloc_trim(0);
  Lease_.Release();
  if (Stop) Stopped = true;
}

void TListHelper::ItemExtracted(const TArcFileItem& File, bool& Stop) {
  const std::string& FileName = File.FileName;
  const TDateTime ItemDate = File.Date;
  const int64_t ItemSize = File.Size;

  bool LaterVolume = false;
  if (MaySpanVolumes(ArchiveKindByExt(FileName, LaterVolume))) {
    Queue_.push_back(TItemInfo{LastItem_, FileName, ItemDate, ItemSize});
    return;
  }
  const std::u16string Path = WideItemPath(LastItem_);
  try {
    if (GetArchiveKind(LastComponent(FileName)) == akNone) {
      // A plain item that went to a file rather than to memory (too large for the memory budget) is
      // scanned as it would be from memory: DecideItem has made every test of the item already.
      Stop = Scanner_.ScanFile(Utf8ToUtf16(FileName), Path, ItemDate, ItemSize, true) == srCancelled;
    } else {
      Stop = !Scanner_.ProcessFile(Utf8ToUtf16(FileName), Path, nullptr, true, Explicit_, true, Masks_,
                                   ItemDate, ItemSize);
    }
  } catch (const std::exception& E) {
    Scanner_.DoError(Path, ReplaceAll(E.what(), FileName, ItemPath(LastItem_)), kNoSystemError, sekException);
  }
  if (Stop) Stopped = true;
  DeleteWalkFile(FileName);
}

bool TListHelper::WantsStream(const TArcStreamQuery& Query) const {
  bool LaterVolume = false;
  if (ArchiveKindByExt(Query.ItemName, LaterVolume) != akTar || LaterVolume) return false;
  // The tests that would leave the inner archive unwalked, or report it, keep the file's way.
  if (!Scanner_.ScanNestedArchives || !ArcInfos[akTar].Enabled ||
      (!Explicit_ && Scanner_.Scope == ssFilesOnly))
    return false;
  if (Query.Head == nullptr) return true;  // by its name; the first bytes decide
  // The size that the item's filter and the archive size limit test. A declared size below what was
  // already inflated is wrong (several members, bytes after the last one), and so is one below half the
  // GZIP file (a TAR compresses; the trailer holds the size modulo 4 GB): the file's way counts it.
  if (Query.Size <= 0 || Query.Size > Scanner_.MaxArchiveSize || Query.Size < Query.HeadSize) return false;
  if (!Query.SizeExact && !Owner_.Levels_.empty() && Query.Size < Owner_.Levels_.back().Size / 2)
    return false;
  if (!IsTarArchiveStart(Query.Head, static_cast<size_t>(Query.HeadSize))) return false;
  // An inner archive that holds the bytes of an archive it lies in is found by comparing the files, and
  // a stream has none: one that starts as the file of an outer level does takes the file's way.
  for (const TArchiveWalk::TOpenLevel& Outer : Owner_.Levels_) {
    if (Outer.File.empty()) continue;
    std::ifstream In(Outer.File, std::ios::binary);
    // The first block tells almost every file apart; the rest is read only when it is the same.
    const size_t First = std::min<size_t>(512, static_cast<size_t>(Query.HeadSize));
    std::vector<char> Start(static_cast<size_t>(Query.HeadSize));
    if (In.read(Start.data(), static_cast<std::streamsize>(First)) &&
        std::memcmp(Start.data(), Query.Head, First) == 0 &&
        In.read(Start.data() + First, static_cast<std::streamsize>(Start.size() - First)) &&
        std::memcmp(Start.data(), Query.Head, Start.size()) == 0)
      return false;
  }
  return true;
}

void TListHelper::ItemStreamed(TArcStreamItem& Item, bool& Stop) {
  const std::string Display = ItemPath(LastItem_);
  try {
    Stop = !ScanStreamedArchive(Item.Data, Display);
  } catch (const std::exception& E) {
    Scanner_.DoError(Utf8ToUtf16(Display), E.what(), kNoSystemError, sekException);
  }
  if (Stop) Stopped = true;
}

bool TListHelper::ScanStreamedArchive(TStream32& Data, const std::string& Display) {
  const std::u16string WideDisplay = Utf8ToUtf16(Display);
  // ProcessFile: the poll, and the owner's acceptance (the rest WantsStream has settled).
  if (!Scanner_.DoProgress(std::u16string(), spkPoll)) return false;
  if (Scanner_.OnAcceptFile && !Scanner_.OnAcceptFile(WideDisplay)) return true;
  // ScanArchive, for an archive without a file: nothing to register in the inner-archive cache (the cache
  // holds extracted files), and no file for a deeper level to be compared with.
  if (!Scanner_.DoProgress(WideDisplay, spkArchive)) return false;
  Owner_.SettlePending();
  if (Owner_.Levels_.size() >= TArchiveWalk::kMaxArchiveNesting) {
    Scanner_.DoError(WideDisplay,
                     "Archives nested more than " + std::to_string(TArchiveWalk::kMaxArchiveNesting) +
                         " levels deep are not searched",
                     kNoSystemError, sekArchiveOpenFailed);
    return true;
  }
  TArchiver Archiver;
  std::string OpenError;
  if (!Archiver.OpenStream(Data, Display, OpenError)) {
    Scanner_.DoError(WideDisplay, OpenError, kNoSystemError, sekArchiveOpenFailed);
    return true;
  }
  const std::vector<std::string> Parts = Owner_.PartsOf(Display);
  Owner_.Levels_.push_back(TArchiveWalk::TOpenLevel{std::string(), Display, -1, Parts});
  TFileScanner& Scanner = Scanner_;
  Archiver.SetPasswordCallback(
      [&Scanner](const std::string& ArcFileName, const std::string& ItemName, std::string& Password) {
        if (!Scanner.OnPassword) return false;
        TScanPasswordQuery Query{ArcFileName, Scanner.CurrentArchive, ItemName, Password};
        return Scanner.OnPassword(Query);
      });
  Scanner_.CurrentArchive = Display;
  bool Result = true;
  {
    TListHelper Helper(Owner_, Scanner_, Archiver, Display, Display, Parts, Explicit_, Masks_);
    Archiver.SetMessageCallback([&Helper](const std::string& Msg) { Helper.ReportWarning(Msg); });
    Archiver.OnItemFilter = [&Helper](TArcListItem& Item, bool&) { return Helper.FilterItem(Item); };
    Archiver.SetProgressCallback([&Helper](int32_t, int32_t) { return Helper.Progress(); });
    try {
      Result = Helper.Walk();
    } catch (const std::exception& E) {
      Scanner_.DoError(WideDisplay, E.what(), kNoSystemError, sekException);
    }
  }
  Owner_.Levels_.pop_back();
  return Result;
}

bool TListHelper::ProcessSet(const TItemInfo& First, const std::vector<TItemInfo>& Rest) {
  TStrLst Volumes;
  for (const TItemInfo& V : Rest) Volumes.Add(V.FileName);
  return Scanner_.ProcessFile(Utf8ToUtf16(First.FileName), WideItemPath(First.Name),
                              Rest.empty() ? nullptr : &Volumes, true, Explicit_, true, Masks_, First.Date,
                              First.Size);
}

bool TListHelper::FlushNestedArchives() {
  if (Queue_.empty()) return true;
  // Cabinet sets are put together by the cabinet library: on the owner's thread.
  bool LaterVolume = false;
  for (const TItemInfo& Q : Queue_)
    if (ArchiveKindByExt(Q.Name, LaterVolume) == akCab)
      return Owner_.OnOwnerThread([this] { return FlushHere(); });
  return FlushHere();
}

bool TListHelper::FlushHere() {
  bool Result = true;
  try {
    std::stable_sort(Queue_.begin(), Queue_.end(),
                     [](const TItemInfo& A, const TItemInfo& B) { return LowerCaseLess(A.Name, B.Name); });
    size_t I = 0;
    // Once every set that has its first volume is done, the later volumes left have lost theirs: the
    // first of each such set is read on its own (the file walk warns of the missing volume).
    bool LeftOver = false;
    while (I < Queue_.size()) {
      bool LaterVolume = false;
      const TArchiveKind Kind = ArchiveKindByExt(Queue_[I].Name, LaterVolume);
      if (LaterVolume && !LeftOver) {
        if (++I == Queue_.size()) {
          LeftOver = true;
          I = 0;
        }
        continue;
      }
      // E starts a set and leaves the queue with its members, so none of their files is deleted twice.
      const TItemInfo First = Queue_[I];
      Queue_.erase(Queue_.begin() + static_cast<ptrdiff_t>(I));
      std::vector<TItemInfo> Set;
      if (Kind == akCab) {
        std::string Next;
        bool IsFirst = false;
        // An item that is no cabinet (or one that cannot be read) is processed alone, as a file of that
        // name on disk is: scanned as a plain file, or reported as a damaged archive.
        if (!GetCabinetInfo(First.FileName, Next, IsFirst)) Next.clear();
        while (!Next.empty()) {
          const auto Member = std::find_if(Queue_.begin(), Queue_.end(), [&Next](const TItemInfo& Q) {
            return ::strcasecmp(LastComponent(Q.Name).c_str(), LastComponent(Next).c_str()) == 0;
          });
          if (Member == Queue_.end()) break;
          Set.push_back(*Member);
          Queue_.erase(Member);
          if (!GetCabinetInfo(Set.back().FileName, Next, IsFirst)) break;
        }
      } else {
        const std::string Base = RemoveFileExt(First.Name);
        for (size_t J = 0; J < Queue_.size();) {
          bool Later = false;
          if (::strcasecmp(RemoveFileExt(Queue_[J].Name).c_str(), Base.c_str()) == 0 &&
              ArchiveKindByExt(Queue_[J].Name, Later) == Kind) {
            Set.push_back(Queue_[J]);
            Queue_.erase(Queue_.begin() + static_cast<ptrdiff_t>(J));
          } else {
            ++J;
          }
        }
      }

      bool GoOn = ProcessSet(First, Set);
      // A cabinet set: every further cabinet is an archive of its own too (files that begin in it), with
      // the rest of the chain as its volumes; each used cabinet goes before the next.
      if (Kind == akCab) {
        DeleteWalkFile(First.FileName);
        for (size_t K = 0; GoOn && K < Set.size(); ++K) {
          GoOn = ProcessSet(Set[K],
                            std::vector<TItemInfo>(Set.begin() + static_cast<ptrdiff_t>(K) + 1, Set.end()));
          DeleteWalkFile(Set[K].FileName);
        }
      }
      DeleteWalkFile(First.FileName);
      for (const TItemInfo& V : Set) DeleteWalkFile(V.FileName);
      if (!GoOn) {
        Stopped = true;
        Result = false;
        break;
      }
      I = 0;
    }
  } catch (const std::exception& E) {
    Scanner_.DoError(Utf8ToUtf16(ArchiveDisplayName_), Shown(E.what()), kNoSystemError, sekException);
  }
  DropQueue();
  return Result;
}

void TListHelper::DropQueue() {
  for (const TItemInfo& Q : Queue_) DeleteWalkFile(Q.FileName);
  Queue_.clear();
}

// --- TArchiveWalk ------------------------------------------------------------------------------------------

bool TArchiveWalk::TakeMemory(TItemMemoryLease& Lease, int64_t Size) const {
  if (!MemoryBudget || Size < 0) return false;
  if (MemoryCheck) {
    if (!MemoryCheck(Size)) return false;
  } else {
    const int64_t Available = AvailableMemoryBytes();
    if (Available >= 0 && Available < Size) return false;
  }
  return Lease.Hold(*MemoryBudget, Size);
}

TArchiveWalk::~TArchiveWalk() {
  // Each try waits for the lock as long as any foreground lock does.
  constexpr int kSettleTries = 3;
  for (int I = 0; I < kSettleTries && !SettlePending(); ++I) {
  }
}

bool TArchiveWalk::SettlePending() {
  if (PendingRegistrations_.empty() && PendingPins_.empty()) return true;
  TArchiveCacheLock Lock;
  if (!Lock.Locked()) return false;
  for (TArchiver* Pinned : PendingPins_) UnpinCachedArchiver(Pinned);
  PendingPins_.clear();
  for (const TPendingRegistration& R : PendingRegistrations_) {
    UnregisterOpenArchive(R.Key, R.Archiver.get());
    // The files the walk could not delete while the lock was away, and the folders they leave empty
    // (the outer archive's, and the root of the temporary folders).
    for (const std::string& File : R.Files) {
      if (IsArchiveFileCached(File)) continue;
      ForceDeleteFile(File);
      std::string Folder = File, Name;
      for (int Up = 0; Up < 2; ++Up) {
        SplitFileName(ExcludeTrailingSlash(Folder), Folder, Name);
        if (Folder.empty() || ::rmdir(ExcludeTrailingSlash(Folder).c_str()) != 0) break;
      }
    }
  }
  PendingRegistrations_.clear();
  return true;
}

bool TArchiveWalk::IsEnabledArchiveName(const std::u16string& Name) {
  return ::IsEnabledArchiveName(Utf16ToUtf8(Name));
}

TArchiveCheck TArchiveWalk::CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) {
  CheckedFile_.clear();
  const TArchiveCheck Check = ::CheckArchiveFile(FileName, Kind);
  CheckedFile_ = FileName;
  CheckedKind_ = Kind;
  return Check;
}

std::unique_ptr<IArchiveWalk> TArchiveWalk::NewWorkerWalk(TOwnerWork RunOnOwner) {
  auto Walk = std::make_unique<TArchiveWalk>();
  Walk->MemoryCheck = MemoryCheck;
  Walk->MemoryBudget = MemoryBudget;
  Walk->StreamTarInGzip = StreamTarInGzip;
  Walk->RunOnOwner_ = std::move(RunOnOwner);
  return Walk;
}

bool TArchiveWalk::WalkableOnWorker(const std::u16string& Name) {
  bool LaterVolume = false;
  const TArchiveKind Kind = ArchiveKindByExt(Utf16ToUtf8(Name), LaterVolume);
  return Kind != akNone && !NeedsOwnerThread(Kind);
}

bool TArchiveWalk::FirstVolumeMissing(const std::u16string& FileName, TArchiveKind Kind,
                                      std::string& FirstName) {
  std::string First;
  if (EarlierVolumeExists(Utf16ToUtf8(FileName), Kind, First)) return false;
  FirstName = LastComponent(First);
  return true;
}

bool TArchiveWalk::ScanArchive(TFileScanner& Scanner, const std::u16string& FileName,
                               const std::u16string& DisplayName, const TStrLst* Volumes, bool Explicit,
                               const TWideStrLst& Masks) {
  if (RunOnOwner_) {
    TArchiveKind Kind = akNone;
    if (CheckedFile_ == FileName) {
      Kind = CheckedKind_;
    } else {
      try {
        ::CheckArchiveFile(FileName, Kind);
      } catch (const std::exception&) {
        Kind = akNone;  // the walk reports what it meets when it opens the file
      }
    }
    if (NeedsOwnerThread(Kind))
      return RunOnOwner_(
          [&] { return ScanArchiveHere(Scanner, FileName, DisplayName, Volumes, Explicit, Masks); });
  }
  return ScanArchiveHere(Scanner, FileName, DisplayName, Volumes, Explicit, Masks);
}

bool TArchiveWalk::ScanArchiveHere(TFileScanner& Scanner, const std::u16string& FileName,
                                   const std::u16string& DisplayName, const TStrLst* Volumes, bool Explicit,
                                   const TWideStrLst& Masks) {
  if (!Scanner.DoProgress(DisplayName, spkArchive)) return false;
  SettlePending();
  const std::string File = Utf16ToUtf8(FileName);
  const std::string Display = Utf16ToUtf8(DisplayName);

  // Hostile nesting: a chain of archives deeper than any real one, or an archive that holds a copy of
  // an archive it lies in (which would hold it again, without end), is reported and not walked.
  if (Levels_.size() >= kMaxArchiveNesting) {
    Scanner.DoError(
        DisplayName,
        "Archives nested more than " + std::to_string(kMaxArchiveNesting) + " levels deep are not searched",
        kNoSystemError, sekArchiveOpenFailed);
    return true;
  }
  int64_t FileSize = -1;
  GetFileInfo(File, &FileSize, nullptr, nullptr, nullptr, nullptr);
  for (const TOpenLevel& Outer : Levels_) {
    if (FileSize < 0 || Outer.Size != FileSize || !SameFileContents(Outer.File, File, FileSize)) continue;
    Scanner.DoError(DisplayName,
                    "The archive is identical to the archive \"" + Outer.Display +
                        "\" that holds it, and is not searched again",
                    kNoSystemError, sekArchiveOpenFailed);
    return true;
  }

  // Shared: the cache may take the archiver over while it is walked.
  auto Archiver = std::make_shared<TArchiver>();
  std::string OpenError;
  if (!Archiver->Open(File, OpenError, Volumes)) {
    Scanner.DoError(DisplayName, ReplaceAll(OpenError, File, Display), kNoSystemError, sekArchiveOpenFailed);
    return true;
  }
  const std::vector<std::string> Parts = PartsOf(Display);
  const std::string Key = ArchiveCacheKey(Parts);
  Levels_.push_back(TOpenLevel{File, Display, FileSize, Parts});

  // An inner archive (a temporary file shown under an archive item path) may be taken over by the cache
  // while it is walked. An archive on disk never is: the cache deletes the files it owns.
  bool Registered = false;
  if (FileName != DisplayName) {
    TArchiveCacheLock Lock;
    if (Lock.Locked()) {
      std::vector<std::string> Files{File};
      if (Volumes != nullptr)
        for (int32_t I = 0; I < Volumes->GetCount(); ++I) Files.push_back(Volumes->Get(I));
      RegisterOpenArchive(Key, Archiver, Files);
      Registered = true;
    }
  }

  Archiver->SetPasswordCallback(
      [&Scanner](const std::string& ArcFileName, const std::string& ItemName, std::string& Password) {
        if (!Scanner.OnPassword) return false;
        TScanPasswordQuery Query{ArcFileName, Scanner.CurrentArchive, ItemName, Password};
        return Scanner.OnPassword(Query);
      });
  Scanner.CurrentArchive = Display;
  bool Result = true;
  {
    TListHelper Helper(*this, Scanner, *Archiver, File, Display, Parts, Explicit, Masks);
    Archiver->SetMessageCallback([&Helper](const std::string& Msg) { Helper.ReportWarning(Msg); });
    Archiver->OnItemFilter = [&Helper](TArcListItem& Item, bool&) { return Helper.FilterItem(Item); };
    Archiver->SetProgressCallback([&Helper](int32_t, int32_t) { return Helper.Progress(); });
    try {
      Result = Helper.Walk();
    } catch (const std::exception& E) {
      Scanner.DoError(DisplayName, E.what(), kNoSystemError, sekException);
    }
    // The archiver may live on in the cache: nothing of this walk may be called from it later.
    Archiver->SetMessageCallback(nullptr);
    Archiver->SetProgressCallback(nullptr);
    Archiver->SetPasswordCallback(nullptr);
    Archiver->OnItemFilter = nullptr;
    Archiver->OnFileDone = nullptr;
  }

  Levels_.pop_back();
  if (Registered) {
    // The registration must go before the archiver does; the cleaner gives the lock up soon.
    if (!LockCacheOrStop(Scanner)) {
      // Stopped while the lock could not be had: the archiver stays registered, and so alive, until
      // the registration can go.
      std::vector<std::string> Files{File};
      if (Volumes != nullptr)
        for (int32_t I = 0; I < Volumes->GetCount(); ++I) Files.push_back(Volumes->Get(I));
      PendingRegistrations_.push_back(TPendingRegistration{Key, Archiver, std::move(Files)});
      return false;
    }
    UnregisterOpenArchive(Key, Archiver.get());
    UnlockArchiveCacheForeground();
  }
  return Result;  // a cached archiver lives on in the cache
}

std::vector<std::string> TArchiveWalk::PartsOf(const std::string& Display) const {
  if (Levels_.empty()) return {Display};
  const std::string& Outer = Levels_.back().Display;
  if (Display.size() > Outer.size() && Display.compare(0, Outer.size(), Outer) == 0 &&
      Display[Outer.size()] == '|') {
    std::vector<std::string> Parts = Levels_.back().Parts;
    Parts.push_back(Display.substr(Outer.size() + 1));
    return Parts;
  }
  return SplitArchiveItemPath(Display);
}

std::vector<std::string> TArchiveWalk::ItemPathOf(const std::u16string& DisplayName) {
  if (!Levels_.empty()) {
    // Only an item of the archive walked now: anything else has no parts known here.
    const std::string Display = Utf16ToUtf8(DisplayName);
    const std::string& Outer = Levels_.back().Display;
    if (Display.size() > Outer.size() && Display.compare(0, Outer.size(), Outer) == 0 &&
        Display[Outer.size()] == '|')
      return PartsOf(Display);
    return {};
  }
  if (!RescanParts_.empty() && DisplayName == RescanDisplay_) return RescanParts_;
  return {};
}

bool TArchiveWalk::RescanArchiveItem(TFileScanner& Scanner, const std::u16string& Path, int64_t Size,
                                     TDateTime Date, const std::vector<std::string>& ItemPath) {
  if (!Scanner.DoProgress(Path, spkFile)) return false;
  const std::vector<std::string> Parts =
      ItemPath.size() >= 2 ? ItemPath : SplitArchiveItemPath(Utf16ToUtf8(Path));
  const std::string InnerName = Parts.empty() ? std::string() : Parts.back();
  Scanner.CurrentArchive = Parts.empty() ? std::string() : JoinArchiveItemPath(Parts, Parts.size() - 1);
  const TArcPasswordEvent AskPassword = [&Scanner](const std::string& ArcFileName,
                                                   const std::string& ItemName, std::string& Password) {
    if (!Scanner.OnPassword) return false;
    TScanPasswordQuery Query{ArcFileName, Scanner.CurrentArchive, ItemName, Password};
    return Scanner.OnPassword(Query);
  };
  // The hits of this scan are this item: they carry its parts.
  struct TRescanScope {
    TArchiveWalk& Walk;
    ~TRescanScope() {
      Walk.RescanParts_.clear();
      Walk.RescanDisplay_.clear();
    }
  } Scope{*this};
  RescanParts_ = Parts;
  RescanDisplay_ = Path;
  std::string Temp;
  try {
    if (Parts.size() < 2)
      throw EArcError("Assertion failed: \"" + Utf16ToUtf8(Path) + "\" is not an archive item path");
    if (Size < 0 || Size > INT32_MAX) throw EArcError("Item size out of range");
    TScanResult Result;
    TItemMemoryLease Lease;
    if (TakeMemory(Lease, Size)) {
      TArcBlockPtr Block = ExtractArchivePathToMemory(Parts, static_cast<int32_t>(Size), AskPassword);
      TVReadOnlyMemStream Stream(Block.get(), static_cast<int32_t>(Size));
      Result = Scanner.ScanStream(Stream, Path, Date, Size, true);
      Block.reset();
    } else {
      Temp = MakeProcessTempFileOrRaise("QV", Size);
      ExtractArchivePathToFile(Parts, Temp, false, nullptr, nullptr, AskPassword);
      // The temporary file exists before the extraction: only its size tells that the item came.
      int64_t Written = -1;
      if (!GetFileInfo(Temp, &Written, nullptr, nullptr, nullptr, nullptr) || Written != Size)
        throw EArcError("Can't extract \"" + InnerName + "\" from \"" + Scanner.CurrentArchive + "\"");
      Result = Scanner.ScanFile(Utf8ToUtf16(Temp), Path, Date, Size, true);
    }
    if (!Temp.empty()) RemoveProcessTempFile(Temp);
    return Result != srCancelled;
  } catch (const std::exception& E) {
    if (!Temp.empty()) RemoveProcessTempFile(Temp);
    Scanner.DoError(Path, E.what(), kNoSystemError, sekException);
    return true;
  }
}
