#include "archive/Archiver.h"

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

std::mutex& RootsGuard() {
  static std::mutex guard;
  return guard;
}

// Sorted, without duplicates.
std::vector<std::string>& Roots() {
  static std::vector<std::string> roots;
  return roots;
}

// Makes Path (mode 0700) unless it is there; true when it then is a folder of this user that is no
// symbolic link.
bool EnsurePrivateFolder(const std::string& Path) {
  const std::string dir = ExcludeTrailingBackslash(Path);
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
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
  std::string out(static_cast<size_t>(Count), 'a');
  for (int i = Count - 1; i >= 0; --i, Value >>= 4)
    out[static_cast<size_t>(i)] = static_cast<char>('a' + (Value & 15));
  return out;
}

// The tag of a new folder of this process.
std::string NextFolderTag() {
  static std::atomic<uint32_t> count{0};
  return HexDigits(static_cast<uint32_t>(::getpid()), kPidDigits) +
         HexDigits(count++, kTagDigits - kPidDigits);
}

// The process id in a folder name made by NextFolderTag (with or without a ".N" suffix); -1 for any
// other name.
pid_t FolderOwner(const std::string& Name) {
  if (Name.size() < static_cast<size_t>(kTagDigits) || (Name.size() > kTagDigits && Name[kTagDigits] != '.'))
    return -1;
  uint32_t pid = 0;
  for (int i = 0; i < kTagDigits; ++i) {
    const char c = Name[static_cast<size_t>(i)];
    const int digit = c >= 'a' && c <= 'p' ? c - 'a' : -1;
    if (digit < 0) return -1;
    if (i < kPidDigits) pid = pid * 16 + static_cast<uint32_t>(digit);
  }
  return static_cast<pid_t>(pid);
}

// Removes the folders below Root that processes which no longer run left behind. A folder of a process
// that runs (also of another user's, which kill may not signal) stays.
void RemoveEndedProcessFolders(const std::string& Root) {
  std::error_code ec;
  std::vector<std::filesystem::path> ended;
  for (const auto& entry : std::filesystem::directory_iterator(Root, ec)) {
    const pid_t owner = FolderOwner(entry.path().filename().string());
    if (owner <= 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) != 0 && errno == ESRCH) ended.push_back(entry.path());
  }
  for (const auto& folder : ended)
    std::filesystem::remove_all(folder, ec);  // links are removed, not followed
}

// What a signal that ends the process runs first: a shell command per root that removes this process's
// folders below it. Written before the handlers are installed and whenever a root is added, under the
// roots' lock; read by the handler only, which may call nothing but async-signal-safe functions.
constexpr int kMaxSignalRoots = 8;
constexpr size_t kSignalCommandBytes = 8192;
char SignalCommands[kMaxSignalRoots][kSignalCommandBytes];
volatile sig_atomic_t SignalCommandCount = 0;

void RemoveOwnFoldersOnSignal(int Signal) {
  const int count = SignalCommandCount;
  for (int i = 0; i < count; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      char sh[] = "/bin/sh";
      char dashC[] = "-c";
      char* argv[] = {sh, dashC, SignalCommands[i], nullptr};
      char* envp[] = {nullptr};
      ::execve(sh, argv, envp);
      ::_exit(127);
    }
    if (child > 0) {
      int status = 0;
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
  ::signal(Signal, SIG_DFL);
  ::raise(Signal);
}

// Roots' lock held. Adds the command that removes this process's folders below Root, and installs the
// handlers of the signals that end a process (interrupt, termination, a closed terminal) where the
// program has none of its own.
void PrepareSignalCleanup(const std::string& Root) {
  const int count = SignalCommandCount;
  if (count >= kMaxSignalRoots) return;
  std::string quoted = "'";
  for (const char c : Root) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  const std::string pid = HexDigits(static_cast<uint32_t>(::getpid()), kPidDigits);
  const std::string command = "rm -rf -- " + quoted + pid + "'?? " + quoted + pid + "'??.*";
  if (command.size() >= kSignalCommandBytes) return;
  std::memcpy(SignalCommands[count], command.c_str(), command.size() + 1);
  SignalCommandCount = count + 1;
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = RemoveOwnFoldersOnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

// The root below Temp that this process may use, made when missing; "" when none can be had.
std::string PrivateRoot(const std::string& Temp) {
  const std::string shared = Temp + kTempArchiveRootName + "/";
  if (EnsurePrivateFolder(shared)) return shared;
  const std::string own = Temp + kTempArchiveRootName + "-" + std::to_string(::geteuid()) + "/";
  return EnsurePrivateFolder(own) ? own : std::string();
}

// Attempts at a folder of our own: a root removed by another process in between is made again, and a tag
// taken by another folder gets a number.
constexpr int kMaxFolderTries = 16;

}  // namespace

std::vector<std::string> TempArchiveRootList() {
  std::lock_guard<std::mutex> lock(RootsGuard());
  return Roots();
}

// --- TArchiver ---------------------------------------------------------------------------------------------

TArchiver::TArchiver() = default;

TArchiver::~TArchiver() {
  try {
    Close();
  } catch (const std::exception& e) {
    if (OnMessage) OnMessage(e.what());
  }
  if (!TempFolders.empty()) {
    TStrLst folders;
    for (const auto& f : TempFolders) folders.Add(f);
    RemoveDirList(folders, true);
  }
  std::lock_guard<std::mutex> lock(RootsGuard());
  auto& roots = Roots();
  for (size_t i = roots.size(); i-- > 0;) {
    const std::string dir = ExcludeTrailingBackslash(roots[i]);
    if (::rmdir(dir.c_str()) == 0 || errno == ENOENT) roots.erase(roots.begin() + static_cast<ptrdiff_t>(i));
  }
}

TSubArchiver::~TSubArchiver() {
  try {
    Close();
  } catch (const std::exception&) {
  }
}

void TSubArchiver::Close() {
  for (const auto& v : Volumes) ForceDeleteFile(v);
  TArchiver::Close();
}

bool TArchiver::Open(const std::string& FileName, std::string& Msg, const TStrLst* VolumeList) {
  Close();
  FileHandle = OpenReadShared(FileName);
  if (FileHandle < 0) {
    Msg = std::strerror(errno);
    return false;
  }
  MatchVolumesByExt = true;
  const std::string ext = LowerFileExt(FileName);
  std::unique_ptr<TArcWrapperMem2> wrapper;
  TArchiveKind kind = akNone;
  if (ext == "rar" || ext == "exe") {
    // The RAR wrapper first; it answers why not when the RAR library cannot be bound.
    wrapper = std::make_unique<TBaseRarWrapper>();
    if (wrapper->SetArcName(FileName, Msg))
      kind = akRar;
    else
      wrapper.reset();
  }
  if (ext != "rar" && !wrapper) {
    auto library = std::make_unique<TBaseArcLibWrapper>();
    if (library->SetArcName(FileName, Msg)) {
      kind = KindOfTypeCode(library->GetTypeCode());
      if (kind == akCab) MatchVolumesByExt = false;  // the next cabinet's name is stored in the cabinet
      wrapper = std::move(library);
    }
  }
  if (!wrapper) return false;
  Wrapper = std::move(wrapper);
  Kind = kind;
  if (VolumeList) {
    HasVolumes = true;
    for (int32_t i = 0; i < VolumeList->GetCount(); ++i) Volumes.push_back(VolumeList->Get(i));
    Wrapper->OnNextVolume = [this](std::string& Name) { return FindVolume(Name); };
  }
  Wrapper->OnProgress = OnProgress;
  Wrapper->OnMessage = OnMessage;
  Wrapper->OnPassword = OnPassword;
  return true;
}

void TArchiver::OpenChecked(const std::string& FileName, const TStrLst* VolumeList) {
  std::string msg;
  if (!Open(FileName, msg, VolumeList)) throw Exception(msg);
}

void TArchiver::Close() {
  CloseFileHandle(FileHandle);
  Kind = akNone;
  const std::string archive = Cached && Wrapper ? Wrapper->GetArcName() : std::string();
  Wrapper.reset();
  if (!archive.empty()) {
    // A cached archive is a temporary extraction: it goes with its folder when that is then empty.
    ForceDeleteFile(archive);
    std::string dir, name;
    SplitFileName(archive, dir, name);
    if (!dir.empty()) ForceRemoveDir(ExcludeTrailingBackslash(dir));
  }
  ClearItems();
  Volumes.clear();
  HasVolumes = false;
}

void TArchiver::SetProgressCallback(const TArcProgressEvent& Event) {
  OnProgress = Event;
  if (Wrapper) Wrapper->OnProgress = Event;
}

void TArchiver::SetMessageCallback(const TArcMessageEvent& Event) {
  OnMessage = Event;
  if (Wrapper) Wrapper->OnMessage = Event;
}

void TArchiver::SetPasswordCallback(const TArcPasswordEvent& Event) {
  OnPassword = Event;
  if (Wrapper) Wrapper->OnPassword = Event;
}

std::string TArchiver::GetArchiveName() const { return Wrapper ? Wrapper->GetArcName() : std::string(); }

TArcWrapperMem2& TArchiver::OpenWrapper() const {
  if (!Wrapper) throw EArcError("No archive is open");
  return *Wrapper;
}

// --- Items -------------------------------------------------------------------------------------------------

bool TArchiver::ListItems() {
  ClearItems();
  return OpenWrapper().List([this](TArcListItem& Item, bool& Stop) { return ListItemCallback(Item, Stop); });
}

void TArchiver::ClearItems() {
  Names.clear();
  Sizes.clear();
  Dates.clear();
}

bool TArchiver::ListItemCallback(TArcListItem& Item, bool& Stop) {
  if (OnItemFilter && !OnItemFilter(Item, Stop)) return false;
  if (Item.SizeIncomplete) return true;
  Names.push_back(Item.ItemName);
  Sizes.push_back(Item.Size);
  Dates.push_back(Item.Date);
  return true;
}

void TArchiver::GetItem(int32_t Index, std::string& Name, TDateTime& Date, int32_t& Size) const {
  if (Index < 0 || Index >= ItemCount())
    throw EArcError("Item index " + std::to_string(Index) + " out of range");
  Name = Names[static_cast<size_t>(Index)];
  Date = Dates[static_cast<size_t>(Index)];
  Size = Sizes[static_cast<size_t>(Index)];
}

void TArchiver::ExtractItemToTemp(int32_t Index, int32_t ExpectedSize, std::string& Path) {
  std::string name;
  TDateTime date = 0;
  int32_t size = 0;
  GetItem(Index, name, date, size);
  TArcWrapperMem2& wrapper = OpenWrapper();
  std::string folder;
  MakeTempFolder(size, folder);
  wrapper.ExtractItem(folder, name, Path, ExpectedSize, nullptr, nullptr, false, "");
}

TArcBlockPtr TArchiver::ExtractItemToMemory(int32_t Index, int32_t Size) {
  std::string name;
  TDateTime date = 0;
  int32_t size = 0;
  GetItem(Index, name, date, size);
  return OpenWrapper().ExtractToMemory(name, Size);
}

void ExtractArchiveItem(TArchiver& Archiver, const std::string& ItemName, const std::string& DestFile,
                        TDateTime* Date, int32_t* Size, bool SetFileTime) {
  TArcWrapperMem2* wrapper = Archiver.GetWrapper();
  if (!wrapper) throw EArcError("No archive is open");
  std::string path;
  wrapper->ExtractItem("", ItemName, path, -1, Date, Size, SetFileTime, DestFile);
}

TArcBlockPtr ExtractArchiveItemToMemory(TArchiver& Archiver, const std::string& ItemName, int32_t Size) {
  TArcWrapperMem2* wrapper = Archiver.GetWrapper();
  if (!wrapper) throw EArcError("No archive is open");
  return wrapper->ExtractToMemory(ItemName, Size);
}

// --- Extract-all passes ------------------------------------------------------------------------------------

void TArchiver::ExtractAll(const TArcMemoryEvent& OnMemory, const TArcDecideEvent& Decide) {
  TArcWrapperMem2& wrapper = OpenWrapper();
  // The temporary folder is made when the first item goes to a file (or may go there: an item that
  // continues in the next volume can move from memory to a file), so that an archive whose items all go
  // to memory leaves the temporary folders alone. Until then the items' preset names lie below a folder
  // name of this process that is not made; Decide's answer is moved into the real folder.
  const std::string unmade =
      IncludeTrailingBackslash(GetTempDir()) + kTempArchiveRootName + "/" + NextFolderTag() + "/";
  std::string folder;
  // The RAR wrapper extracts an encrypted item that failed once more into its folder, after Decide: its
  // folder is made now.
  if (Kind == akRar) {
    try {
      MakeTempFolder(0, folder);
    } catch (const EArcError&) {
      folder.clear();
    }
  }
  auto decide = [&](TArcDecideItem& Item) {
    const bool go = Decide(Item);
    const bool mayGoToFile =
        Item.Decision == edToFile || (Item.Decision == edToMemory && Item.SizeIncomplete);
    if (!go || !mayGoToFile || Item.FileName.compare(0, unmade.size(), unmade) != 0) return go;
    if (folder.empty()) {
      try {
        MakeTempFolder(0, folder);
      } catch (const EArcError&) {
        // No temporary folder can be made: the items that go to memory are still delivered, and a file
        // item keeps its preset name (the extraction reports when it cannot be written there).
        return go;
      }
    }
    Item.FileName = folder + Item.FileName.substr(unmade.size());
    return go;
  };
  wrapper.ExtractAllMem(folder.empty() ? unmade : folder, OnMemory, OnFileDone, decide);
}

int32_t TArchiver::ExtractAllToTemp() {
  ExtractedFiles.clear();
  TArcWrapperMem2& wrapper = OpenWrapper();
  std::string folder;
  MakeTempFolder(0, folder);
  wrapper.ExtractAll(
      folder, [this](TArcFileItem& File, bool& Stop) { FileDoneCallback(File, Stop); },
      [this](TArcListItem& Item, bool& Stop) { return FilterItemCallback(Item, Stop); });
  return static_cast<int32_t>(ExtractedFiles.size());
}

bool TArchiver::FilterItemCallback(TArcListItem& Item, bool& Stop) {
  return !OnItemFilter || OnItemFilter(Item, Stop);
}

void TArchiver::FileDoneCallback(TArcFileItem& File, bool& Stop) {
  if (OnFileDone) OnFileDone(File, Stop);
  ExtractedFiles.push_back(File.FileName);
}

// --- Temporary folders and volumes -----------------------------------------------------------------------

void TArchiver::MakeTempFolder(int64_t NeededBytes, std::string& Folder) {
  std::string temp;
  GetTempFolder(temp, NeededBytes);  // without room anywhere the temporary folder is still the best there is
  std::lock_guard<std::mutex> lock(RootsGuard());
  const std::string tag = NextFolderTag();
  for (int attempt = 0; attempt < kMaxFolderTries; ++attempt) {
    const std::string root = PrivateRoot(temp);
    if (root.empty()) break;
    auto& roots = Roots();
    const auto at = std::lower_bound(roots.begin(), roots.end(), root);
    if (at == roots.end() || *at != root) {
      // First use of the root by this process since it was last empty: what ended processes left
      // there goes.
      roots.insert(at, root);
      RemoveEndedProcessFolders(root);
    }
    // A signal that ends this process takes its folders below the root with it. The commands name the
    // process, so a child made by fork writes its own.
    static std::vector<std::string> prepared;
    static pid_t preparedFor = 0;
    if (preparedFor != ::getpid()) {
      preparedFor = ::getpid();
      prepared.clear();
      SignalCommandCount = 0;
    }
    if (std::find(prepared.begin(), prepared.end(), root) == prepared.end()) {
      prepared.push_back(root);
      PrepareSignalCleanup(root);
    }

    // The folder this archiver already has below that root.
    for (const auto& f : TempFolders) {
      if (f.compare(0, root.size(), root) != 0) continue;
      if (EnsurePrivateFolder(f)) {
        Folder = f;
        return;
      }
    }
    const std::string candidate =
        root + tag + (attempt == 0 ? std::string() : "." + std::to_string(attempt)) + "/";
    if (::mkdir(ExcludeTrailingBackslash(candidate).c_str(), 0700) == 0) {
      TempFolders.push_back(candidate);
      Folder = candidate;
      return;
    }
    // EEXIST: the tag is taken by a folder that is not ours; ENOENT: the root went in between.
    if (errno != EEXIST && errno != ENOENT) break;
  }
  throw EArcError("Cannot create directory \"" + temp + kTempArchiveRootName + "/" + tag + "\"");
}

bool TArchiver::FindVolume(std::string& FileName) {
  if (!HasVolumes) return false;
  if (MatchVolumesByExt) {
    const std::string ext = ExtractFileExt(FileName);
    for (const auto& v : Volumes) {
      if (SameTextAscii(ExtractFileExt(v), ext)) {
        FileName = v;
        return true;
      }
    }
    return false;
  }
  for (const auto& v : Volumes) {
    if (v.size() >= FileName.size() &&
        v.compare(v.size() - FileName.size(), FileName.size(), FileName) == 0) {
      FileName = v;
      return true;
    }
  }
  return false;
}
