#include "archive/Archiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "archive/ArcLibIntf.h"
#include "archive/rar/RarIntf.h"
#include "core/EndingSignals.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/VFileSys.h"

namespace {

// The archive kind of a library type code; akNone for a code without one.
TArchiveKind KindOfTypeCode(int Code) {
  switch (Code) {
    case atAce:
      return akAce;
    case atArc:
      return akArc;
    case atArj:
      return akArj;
    case atCab:
      return akCab;
    case atGZip:
      return akGZip;
    case atJar:
    case atJarSfx:  // a JAR behind a stub is still a JAR
      return akJar;
    case atLha:
      return akLzh;
    case atTar:
      return akTar;
    case atZip:
      return akZip;
    case atZoo:
      return akZoo;
    default:
      return akNone;
  }
}

// --- Temporary roots -------------------------------------------------------------------------------------

// The roots' lock and list are never destroyed: the ending of the process on a signal may use them while
// it exits.
std::mutex& RootsGuard() {
  static std::mutex* const Guard = new std::mutex;
  return *Guard;
}

// Sorted, without duplicates.
std::vector<std::string>& Roots() {
  static auto* const List = new std::vector<std::string>;
  return *List;
}

// Makes Path (mode 0700) unless it is there; true when it then is a folder of this user that is no
// symbolic link.
bool EnsurePrivateFolder(const std::string& Path) {
  const std::string Dir = ExcludeTrailingSlash(Path);
  if (::mkdir(Dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat St {};
  return ::lstat(Dir.c_str(), &St) == 0 && S_ISDIR(St.st_mode) && St.st_uid == ::geteuid();
}

// --- Folders of processes that ended ---------------------------------------------------------------------
//
// A folder of an archiver is named by the process (six base-16 digits of its id) and a count of the
// process's folders (two more digits), so that the folders a process leaves behind when it is killed
// can be told apart from those of processes that still run. The digits are the letters "a" to "p": no
// folder named otherwise (by an older version, or by hand) is ever taken for one of these.

constexpr int kPidDigits = 6;
constexpr int kTagDigits = 8;

std::string HexDigits(uint32_t Value, int Count) {
  std::string Out(static_cast<size_t>(Count), 'a');
  for (int I = Count - 1; I >= 0; --I, Value >>= 4)
    Out[static_cast<size_t>(I)] = static_cast<char>('a' + (Value & 15));
  return Out;
}

// The tag of a new folder of this process.
std::string NextFolderTag() {
  static std::atomic<uint32_t> Count{0};
  return HexDigits(static_cast<uint32_t>(::getpid()), kPidDigits) +
         HexDigits(Count++, kTagDigits - kPidDigits);
}

// The process id in a folder name made by NextFolderTag (with or without a ".N" suffix); -1 for any
// other name.
pid_t FolderOwner(const std::string& Name) {
  if (Name.size() < static_cast<size_t>(kTagDigits) || (Name.size() > kTagDigits && Name[kTagDigits] != '.'))
    return -1;
  uint32_t Pid = 0;
  for (int I = 0; I < kTagDigits; ++I) {
    const char C = Name[static_cast<size_t>(I)];
    const int Digit = C >= 'a' && C <= 'p' ? C - 'a' : -1;
    if (Digit < 0) return -1;
    if (I < kPidDigits) Pid = Pid * 16 + static_cast<uint32_t>(Digit);
  }
  return static_cast<pid_t>(Pid);
}

// Removes the folders below Root that processes which no longer run left behind. A folder of a process
// that runs (also of another user's, which kill may not signal) stays.
void RemoveEndedProcessFolders(const std::string& Root) {
  std::error_code Ec;
  std::vector<std::filesystem::path> Ended;
  for (const auto& Entry : std::filesystem::directory_iterator(Root, Ec)) {
    const pid_t Owner = FolderOwner(Entry.path().filename().string());
    if (Owner <= 0 || Owner == ::getpid()) continue;
    if (::kill(Owner, 0) != 0 && errno == ESRCH) Ended.push_back(Entry.path());
  }
  for (const auto& Folder : Ended)
    std::filesystem::remove_all(Folder, Ec);  // links are removed, not followed
}

// The ending's clean-up: every folder of this process below its roots (the archivers' folders and the
// loose temporary copies), and each root that is then empty. No new folder is made once the process is
// ending, so what this removes does not come back from the threads that may still run.
void RemoveOwnTempFolders() {
  std::lock_guard<std::mutex> Lock(RootsGuard());
  std::error_code Ec;
  for (const std::string& Root : Roots()) {
    std::vector<std::filesystem::path> Own;
    for (const auto& Entry : std::filesystem::directory_iterator(Root, Ec))
      if (FolderOwner(Entry.path().filename().string()) == ::getpid()) Own.push_back(Entry.path());
    for (const auto& Folder : Own) std::filesystem::remove_all(Folder, Ec);
    ::rmdir(ExcludeTrailingSlash(Root).c_str());
  }
}

// The root below Temp that this process may use, made when missing; "" when none can be had.
std::string PrivateRoot(const std::string& Temp) {
  const std::string Shared = Temp + kTempArchiveRootName + "/";
  if (EnsurePrivateFolder(Shared)) return Shared;
  const std::string Own = Temp + kTempArchiveRootName + "-" + std::to_string(::geteuid()) + "/";
  return EnsurePrivateFolder(Own) ? Own : std::string();
}

// Roots' lock held. Registers Root as one of this process's roots: at its first use since it was last
// empty, what ended processes left there goes; and a signal that ends this process takes its folders
// below every root with it (see RemoveOwnTempFolders).
void UseRoot(const std::string& Root) {
  auto& RootList = Roots();
  const auto At = std::lower_bound(RootList.begin(), RootList.end(), Root);
  if (At == RootList.end() || *At != Root) {
    RootList.insert(At, Root);
    RemoveEndedProcessFolders(Root);
  }
  AddEndingCleanup(RemoveOwnTempFolders);
  WatchEndingSignals();
}

// Raised by the extractions and the temporary folders once the process is ending on a signal: nothing new
// is written into its temporary folders then, which the ending removes.
constexpr const char* kEndingText = "The search is ending (the program was asked to end)";

// The extraction that Work counts may go on; raises EArcError when the process is ending.
void CheckEntered(const TTempWork& Work) {
  if (!Work.Entered()) throw EArcError(kEndingText);
}

// An owner's callback of an extraction (unassigned stays unassigned), run outside the counted work: it scans
// and may take long, and the ending waits only for the writing of temporary files. Once the process is
// ending the pass stops.
template <class TItem>
std::function<void(TItem&, bool&)> OutsideWork(TTempWork& Work, std::function<void(TItem&, bool&)> Callback) {
  if (!Callback) return {};
  return [&Work, Callback = std::move(Callback)](TItem& Item, bool& Stop) {
    Work.Pause();
    Callback(Item, Stop);
    if (!Work.Resume()) Stop = true;
  };
}

// Attempts at a folder of our own: a root removed by another process in between is made again, and a tag
// taken by another folder gets a number.
constexpr int kMaxFolderTries = 16;

}  // namespace

std::vector<std::string> TempArchiveRootList() {
  std::lock_guard<std::mutex> Lock(RootsGuard());
  return Roots();
}

// --- TArchiver ---------------------------------------------------------------------------------------------

TArchiver::TArchiver() = default;

TArchiver::~TArchiver() {
  try {
    Close();
  } catch (const std::exception& E) {
    if (OnMessage_) OnMessage_(E.what());
  }
  if (!TempFolders_.empty()) {
    TStrLst Folders;
    for (const auto& F : TempFolders_) Folders.Add(F);
    RemoveDirList(Folders, true);
  }
  std::lock_guard<std::mutex> Lock(RootsGuard());
  auto& RootList = Roots();
  for (size_t I = RootList.size(); I-- > 0;) {
    const std::string Dir = ExcludeTrailingSlash(RootList[I]);
    if (::rmdir(Dir.c_str()) == 0 || errno == ENOENT)
      RootList.erase(RootList.begin() + static_cast<ptrdiff_t>(I));
  }
}

TSubArchiver::~TSubArchiver() {
  try {
    Close();
  } catch (const std::exception&) {
  }
}

void TSubArchiver::Close() {
  for (const auto& V : Volumes_) ForceDeleteFile(V);
  TArchiver::Close();
}

bool TArchiver::Open(const std::string& FileName, std::string& Msg, const TStrLst* VolumeList) {
  Close();
  FileHandle_ = OpenReadShared(FileName);
  if (FileHandle_ < 0) {
    Msg = std::strerror(errno);
    return false;
  }
  MatchVolumesByExt_ = true;
  const std::string Ext = LowerFileExt(FileName);
  std::unique_ptr<TArcWrapperMem2> Wrapper;
  TArchiveKind DetectedKind = akNone;
  // A later RAR volume (".r00" to ".z99") read on its own goes to the RAR wrapper as well.
  bool LaterVolume = false;
  const bool LaterRar = ArchiveKindByExt(FileName, LaterVolume) == akRar && LaterVolume;
  if (Ext == "rar" || Ext == "exe" || LaterRar) {
    // The RAR wrapper first; it answers why not when the RAR library cannot be bound.
    Wrapper = std::make_unique<TBaseRarWrapper>();
    if (Wrapper->SetArcName(FileName, Msg))
      DetectedKind = akRar;
    else
      Wrapper.reset();
  }
  if (Ext != "rar" && !LaterRar && !Wrapper) {
    auto Library = std::make_unique<TBaseArcLibWrapper>();
    if (Library->SetArcName(FileName, Msg)) {
      DetectedKind = KindOfTypeCode(Library->GetTypeCode());
      if (DetectedKind == akCab)
        MatchVolumesByExt_ = false;  // the next cabinet's name is stored in the cabinet
      Wrapper = std::move(Library);
    }
  }
  if (!Wrapper) return false;
  Wrapper_ = std::move(Wrapper);
  Kind = DetectedKind;
  if (VolumeList) {
    HasVolumes_ = true;
    for (int32_t I = 0; I < VolumeList->GetCount(); ++I) Volumes_.push_back(VolumeList->Get(I));
    Wrapper_->OnNextVolume = [this](std::string& Name) { return FindVolume(Name); };
  }
  Wrapper_->OnProgress = OnProgress_;
  Wrapper_->OnMessage = OnMessage_;
  Wrapper_->OnPassword = OnPassword_;
  return true;
}

bool TArchiver::OpenStream(TStream32& Data, const std::string& Name, std::string& Msg) {
  Close();
  MatchVolumesByExt_ = true;
  auto Library = std::make_unique<TBaseArcLibWrapper>();
  if (!Library->SetArcStream(Data, Name, Msg)) return false;
  Wrapper_ = std::move(Library);
  Kind = akTar;
  Wrapper_->OnProgress = OnProgress_;
  Wrapper_->OnMessage = OnMessage_;
  Wrapper_->OnPassword = OnPassword_;
  return true;
}

void TArchiver::OpenChecked(const std::string& FileName, const TStrLst* VolumeList) {
  std::string Msg;
  if (!Open(FileName, Msg, VolumeList)) throw Exception(Msg);
}

void TArchiver::Close() {
  CloseFileHandle(FileHandle_);
  Kind = akNone;
  const std::string Archive = Cached && Wrapper_ ? Wrapper_->GetArcName() : std::string();
  Wrapper_.reset();
  if (!Archive.empty()) {
    // A cached archive is a temporary extraction: it goes with its folder when that is then empty.
    ForceDeleteFile(Archive);
    std::string Dir, Name;
    SplitFileName(Archive, Dir, Name);
    if (!Dir.empty()) ForceRemoveDir(ExcludeTrailingSlash(Dir));
  }
  ClearItems();
  Volumes_.clear();
  HasVolumes_ = false;
}

void TArchiver::SetProgressCallback(const TArcProgressEvent& Event) {
  OnProgress_ = Event;
  if (Wrapper_) Wrapper_->OnProgress = Event;
}

void TArchiver::SetMessageCallback(const TArcMessageEvent& Event) {
  OnMessage_ = Event;
  if (Wrapper_) Wrapper_->OnMessage = Event;
}

void TArchiver::SetPasswordCallback(const TArcPasswordEvent& Event) {
  OnPassword_ = Event;
  if (Wrapper_) Wrapper_->OnPassword = Event;
}

std::string TArchiver::GetArchiveName() const { return Wrapper_ ? Wrapper_->GetArcName() : std::string(); }

TArcWrapperMem2& TArchiver::OpenWrapper() const {
  if (!Wrapper_) throw EArcError("No archive is open");
  return *Wrapper_;
}

// --- Items -------------------------------------------------------------------------------------------------

bool TArchiver::ListItems() {
  ClearItems();
  return OpenWrapper().List([this](TArcListItem& Item, bool& Stop) { return ListItemCallback(Item, Stop); });
}

void TArchiver::ClearItems() {
  Names_.clear();
  Sizes_.clear();
  Dates_.clear();
}

bool TArchiver::ListItemCallback(TArcListItem& Item, bool& Stop) {
  if (OnItemFilter && !OnItemFilter(Item, Stop)) return false;
  if (Item.SizeIncomplete) return true;
  Names_.push_back(Item.ItemName);
  Sizes_.push_back(Item.Size);
  Dates_.push_back(Item.Date);
  return true;
}

void TArchiver::GetItem(int32_t Index, std::string& Name, TDateTime& Date, int32_t& Size) const {
  if (Index < 0 || Index >= ItemCount())
    throw EArcError("Item index " + std::to_string(Index) + " out of range");
  Name = Names_[static_cast<size_t>(Index)];
  Date = Dates_[static_cast<size_t>(Index)];
  Size = Sizes_[static_cast<size_t>(Index)];
}

void TArchiver::ExtractItemToTemp(int32_t Index, int32_t ExpectedSize, std::string& Path) {
  std::string Name;
  TDateTime Date = 0;
  int32_t Size = 0;
  GetItem(Index, Name, Date, Size);
  TArcWrapperMem2& Wrapper = OpenWrapper();
  const TTempWork Work;
  CheckEntered(Work);
  std::string Folder;
  MakeTempFolder(Size, Folder);
  Wrapper.ExtractItem(Folder, Name, Path, ExpectedSize, nullptr, nullptr, false, "");
}

TArcBlockPtr TArchiver::ExtractItemToMemory(int32_t Index, int32_t Size) {
  std::string Name;
  TDateTime Date = 0;
  int32_t ItemSize = 0;
  GetItem(Index, Name, Date, ItemSize);
  const TTempWork Work;  // the RAR wrapper may write an item into the archiver's folder
  CheckEntered(Work);
  return OpenWrapper().ExtractToMemory(Name, Size);
}

void ExtractArchiveItem(TArchiver& Archiver, const std::string& ItemName, const std::string& DestFile,
                        TDateTime* Date, int32_t* Size, bool SetFileTime) {
  TArcWrapperMem2* Wrapper = Archiver.GetWrapper();
  if (!Wrapper) throw EArcError("No archive is open");
  const TTempWork Work;
  CheckEntered(Work);
  std::string Path;
  Wrapper->ExtractItem("", ItemName, Path, -1, Date, Size, SetFileTime, DestFile);
}

TArcBlockPtr ExtractArchiveItemToMemory(TArchiver& Archiver, const std::string& ItemName, int32_t Size) {
  TArcWrapperMem2* Wrapper = Archiver.GetWrapper();
  if (!Wrapper) throw EArcError("No archive is open");
  const TTempWork Work;
  CheckEntered(Work);
  return Wrapper->ExtractToMemory(ItemName, Size);
}

// --- Extract-all passes ------------------------------------------------------------------------------------

void TArchiver::ExtractAll(const TArcMemoryEvent& OnMemory, const TArcDecideEvent& Decide) {
  TArcWrapperMem2& Wrapper = OpenWrapper();
  TTempWork Work;
  CheckEntered(Work);
  // The temporary folder is made when the first item goes to a file (or may go there: an item that
  // continues in the next volume can move from memory to a file), so that an archive whose items all go
  // to memory leaves the temporary folders alone. Until then the items' preset names lie below a folder
  // name of this process that is not made; Decide's answer is moved into the real folder.
  const std::string Unmade =
      IncludeTrailingSlash(GetTempDir()) + kTempArchiveRootName + "/" + NextFolderTag() + "/";
  std::string Folder;
  // The RAR wrapper extracts an encrypted item that failed once more into its folder, after Decide: its
  // folder is made now.
  if (Kind == akRar) {
    try {
      MakeTempFolder(0, Folder);
    } catch (const EArcError&) {
      Folder.clear();
    }
  }
  // The owner's callbacks run outside the counted work: they scan (and may take long), and the ending
  // waits only for the writing of temporary files. Once the process is ending the pass stops.
  auto DecideInFolder = [&](TArcDecideItem& Item) {
    Work.Pause();
    const bool Go = Decide(Item);
    if (!Work.Resume()) {
      Item.Decision = edCancel;
      return false;
    }
    const bool MayGoToFile =
        Item.Decision == edToFile || (Item.Decision == edToMemory && Item.SizeIncomplete);
    if (!Go || !MayGoToFile || Item.FileName.compare(0, Unmade.size(), Unmade) != 0) return Go;
    if (Folder.empty()) {
      try {
        MakeTempFolder(0, Folder);
      } catch (const EArcError&) {
        // No temporary folder can be made: the items that go to memory are still delivered, and a file
        // item keeps its preset name (the extraction reports when it cannot be written there).
        return Go;
      }
    }
    Item.FileName = Folder + Item.FileName.substr(Unmade.size());
    return Go;
  };
  Wrapper.OnStreamQuery = OnStreamQuery;
  Wrapper.OnStream = OutsideWork(Work, OnItemStream);
  struct TUnhook {
    TArcWrapper& Wrapper;
    ~TUnhook() {
      Wrapper.OnStreamQuery = nullptr;
      Wrapper.OnStream = nullptr;
    }
  } Unhook{Wrapper};
  Wrapper.ExtractAllMem(Folder.empty() ? Unmade : Folder, OutsideWork(Work, OnMemory),
                        OutsideWork(Work, OnFileDone), DecideInFolder);
}

int32_t TArchiver::ExtractAllToTemp() {
  ExtractedFiles_.clear();
  TArcWrapperMem2& Wrapper = OpenWrapper();
  TTempWork Work;
  CheckEntered(Work);
  std::string Folder;
  MakeTempFolder(0, Folder);
  // The owner's callbacks run outside the counted work, as in ExtractAll.
  Wrapper.ExtractAll(Folder, OutsideWork(Work, TArcFileEvent([this](TArcFileItem& File, bool& Stop) {
                                           FileDoneCallback(File, Stop);
                                         })),
                     [this](TArcListItem& Item, bool& Stop) { return FilterItemCallback(Item, Stop); });
  return static_cast<int32_t>(ExtractedFiles_.size());
}

bool TArchiver::FilterItemCallback(TArcListItem& Item, bool& Stop) {
  return !OnItemFilter || OnItemFilter(Item, Stop);
}

void TArchiver::FileDoneCallback(TArcFileItem& File, bool& Stop) {
  if (OnFileDone) OnFileDone(File, Stop);
  ExtractedFiles_.push_back(File.FileName);
}

// --- Temporary folders and volumes -----------------------------------------------------------------------

void TArchiver::MakeTempFolder(int64_t NeededBytes, std::string& Folder) {
  std::string Temp;
  GetTempFolder(Temp, NeededBytes);  // without room anywhere the temporary folder is still the best there is
  std::lock_guard<std::mutex> Lock(RootsGuard());
  if (EndingRequested()) throw EArcError(kEndingText);
  const std::string Tag = NextFolderTag();
  for (int Attempt = 0; Attempt < kMaxFolderTries; ++Attempt) {
    const std::string Root = PrivateRoot(Temp);
    if (Root.empty()) break;
    UseRoot(Root);

    // The folder this archiver already has below that root.
    for (const auto& F : TempFolders_) {
      if (F.compare(0, Root.size(), Root) != 0) continue;
      if (EnsurePrivateFolder(F)) {
        Folder = F;
        return;
      }
    }
    std::string Candidate = Root + Tag;
    if (Attempt > 0) Candidate += '.' + std::to_string(Attempt);
    Candidate += '/';
    if (::mkdir(ExcludeTrailingSlash(Candidate).c_str(), 0700) == 0) {
      TempFolders_.push_back(Candidate);
      Folder = Candidate;
      return;
    }
    // EEXIST: the tag is taken by a folder that is not ours; ENOENT: the root went in between.
    if (errno != EEXIST && errno != ENOENT) break;
  }
  throw EArcError("Cannot create directory \"" + Temp + kTempArchiveRootName + "/" + Tag + "\"");
}

bool TArchiver::FindVolume(std::string& FileName) {
  if (!HasVolumes_) return false;
  if (MatchVolumesByExt_) {
    const std::string Ext = ExtractFileExt(FileName);
    for (const auto& V : Volumes_) {
      if (SameTextAscii(ExtractFileExt(V), Ext)) {
        FileName = V;
        return true;
      }
    }
    return false;
  }
  for (const auto& V : Volumes_) {
    if (V.size() >= FileName.size() &&
        V.compare(V.size() - FileName.size(), FileName.size(), FileName) == 0) {
      FileName = V;
      return true;
    }
  }
  return false;
}

// --- Loose temporary files ---------------------------------------------------------------------------------

std::string MakeProcessTempFileOrRaise(const std::string& Prefix, int64_t NeededBytes) {
  std::string FileName;
  if (!MakeProcessTempFile(Prefix, "", NeededBytes, FileName))
    throw Exception(errno == ECANCELED ? kEndingText
                                       : "Not enough free space on hard drive(s) for temporary files");
  return FileName;
}

bool MakeProcessTempFile(const std::string& Prefix, const std::string& Ext, int64_t NeededBytes,
                         std::string& FileName) {
  std::string Temp;
  GetTempFolder(Temp, NeededBytes);  // without room anywhere the temporary folder is still the best there is
  std::lock_guard<std::mutex> Lock(RootsGuard());
  if (EndingRequested()) {
    errno = ECANCELED;
    return false;
  }
  const std::string Tag = NextFolderTag();
  for (int Attempt = 0; Attempt < kMaxFolderTries; ++Attempt) {
    const std::string Root = PrivateRoot(Temp);
    if (Root.empty()) return false;
    UseRoot(Root);
    std::string Folder = Root + Tag;
    if (Attempt > 0) Folder += '.' + std::to_string(Attempt);
    if (::mkdir(Folder.c_str(), 0700) != 0) {
      // EEXIST: the tag is taken by a folder that is not ours; ENOENT: the root went in between.
      if (errno != EEXIST && errno != ENOENT) return false;
      continue;
    }
    std::string Path = Folder + "/" + Prefix + "XXXXXX";
    const int Fd = FileLayer().MakeTemp(Path);
    if (Fd < 0) {
      const int Error = errno;
      ::rmdir(Folder.c_str());
      errno = Error;
      return false;
    }
    FileLayer().Close(Fd);
    // The extension, for the libraries that go by it; the folder is this file's alone.
    if (!Ext.empty()) {
      const std::string WithExt = Path + "." + Ext;
      if (::rename(Path.c_str(), WithExt.c_str()) == 0) Path = WithExt;
    }
    FileName = Path;
    return true;
  }
  return false;
}

void RemoveProcessTempFile(const std::string& FileName) {
  if (FileName.empty()) return;
  ::unlink(FileName.c_str());
  std::string Folder, Name;
  SplitFileName(FileName, Folder, Name);
  Folder = ExcludeTrailingSlash(Folder);
  std::lock_guard<std::mutex> Lock(RootsGuard());
  if (Folder.empty() || ::rmdir(Folder.c_str()) != 0) return;
  // The root goes with its last folder, as when an archiver ends.
  std::string Root, FolderName;
  SplitFileName(Folder, Root, FolderName);
  auto& RootList = Roots();
  const auto At = std::find(RootList.begin(), RootList.end(), IncludeTrailingSlash(Root));
  if (At != RootList.end() && ::rmdir(ExcludeTrailingSlash(Root).c_str()) == 0) RootList.erase(At);
}
