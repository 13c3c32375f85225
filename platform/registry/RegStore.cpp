#include "platform/registry/RegStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr const char* kValueSuffix = ".val";
constexpr const char* kDefaultValueFile = "@";
// Bytes before a value's data in its file: the type as a little-endian 32-bit number.
constexpr size_t kValueHeaderBytes = 4;

char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

bool SameTextAscii(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (LowerAscii(A[I]) != LowerAscii(B[I])) return false;
  return true;
}

bool LessTextAscii(const std::string& A, const std::string& B) {
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
    return static_cast<unsigned char>(LowerAscii(X)) < static_cast<unsigned char>(LowerAscii(Y));
  });
}

// A key or value name as a file name (see the header). Never empty for a non-empty name.
std::string EscapeName(const std::string& Name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string Out;
  for (size_t I = 0; I < Name.size(); ++I) {
    unsigned char C = static_cast<unsigned char>(Name[I]);
    bool Escape = C < 0x20 || C == 0x7F || C == '/' || C == '%' || (I == 0 && (C == '.' || C == '@'));
    if (Escape) {
      Out += '%';
      Out += kHex[C >> 4];
      Out += kHex[C & 15];
    } else {
      Out += static_cast<char>(C);
    }
  }
  return Out;
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  C = LowerAscii(C);
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

std::string UnescapeName(const std::string& File) {
  std::string Out;
  for (size_t I = 0; I < File.size(); ++I) {
    if (File[I] == '%' && I + 2 < File.size() && HexValue(File[I + 1]) >= 0 && HexValue(File[I + 2]) >= 0) {
      Out += static_cast<char>(HexValue(File[I + 1]) * 16 + HexValue(File[I + 2]));
      I += 2;
    } else {
      Out += File[I];
    }
  }
  return Out;
}

std::string ValueFileName(const std::string& ValueName) {
  return (ValueName.empty() ? std::string(kDefaultValueFile) : EscapeName(ValueName)) + kValueSuffix;
}

TRegStatus StatusOfErrno(int Err) {
  switch (Err) {
    case ENOENT:
    case ENOTDIR:
      return TRegStatus::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return TRegStatus::AccessDenied;
    default:
      return TRegStatus::Failed;
  }
}

struct DirCloser {
  void operator()(DIR* D) const { closedir(D); }
};

// The entry of `Folder` named `Wanted`: the exact name when it exists, else the first one equal to it
// without case. `WantDir` selects folders (keys) or regular files (values).
std::optional<std::string> FindEntry(const std::string& Folder, const std::string& Wanted, bool WantDir) {
  auto IsWanted = [&](const std::string& Name) {
    struct stat St;
    if (stat((Folder + "/" + Name).c_str(), &St) != 0) return false;
    return WantDir ? S_ISDIR(St.st_mode) : S_ISREG(St.st_mode);
  };
  if (IsWanted(Wanted)) return Wanted;
  std::unique_ptr<DIR, DirCloser> Dir(opendir(Folder.c_str()));
  if (!Dir) return std::nullopt;
  while (dirent* E = readdir(Dir.get())) {
    std::string Name = E->d_name;
    if (Name != Wanted && SameTextAscii(Name, Wanted) && IsWanted(Name)) return Name;
  }
  return std::nullopt;
}

// Splits a key path at "\", dropping empty components.
std::vector<std::string> SplitKeyPath(const std::string& Path) {
  std::vector<std::string> Parts;
  size_t Start = 0;
  while (Start <= Path.size()) {
    size_t End = Path.find('\\', Start);
    if (End == std::string::npos) End = Path.size();
    if (End > Start) Parts.push_back(Path.substr(Start, End - Start));
    Start = End + 1;
  }
  return Parts;
}

bool WriteAll(int Fd, const char* Data, size_t Size) {
  while (Size > 0) {
    ssize_t N = write(Fd, Data, Size);
    if (N < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Data += N;
    Size -= static_cast<size_t>(N);
  }
  return true;
}

// Whether Path is a folder (a link to one counts). Sets errno to ENOTDIR when something else is there.
bool IsFolder(const std::string& Path) {
  struct stat St;
  if (stat(Path.c_str(), &St) != 0) return false;
  if (S_ISDIR(St.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

// Whether a folder entry is the temporary file of a value update: "." + value file name + "." and the six
// characters mkstemp fills in.
bool IsUpdateTemporary(const std::string& Name) {
  constexpr size_t kRandom = 6;
  const std::string kMiddle = std::string(kValueSuffix) + ".";
  if (Name.size() < 1 + kMiddle.size() + kRandom || Name[0] != '.') return false;
  return Name.compare(Name.size() - kRandom - kMiddle.size(), kMiddle.size(), kMiddle) == 0;
}

// Closes a descriptor and removes a temporary file unless released.
class TempFile {
 public:
  TempFile(int Fd, std::string Path) : Fd_(Fd), Path_(std::move(Path)) {}
  ~TempFile() {
    if (Fd_ >= 0) close(Fd_);
    if (!Path_.empty()) unlink(Path_.c_str());
  }
  int fd() const { return Fd_; }
  const std::string& path() const { return Path_; }
  int Close() {
    int Rc = close(Fd_);
    Fd_ = -1;
    return Rc;
  }
  void Release() { Path_.clear(); }

 private:
  int Fd_;
  std::string Path_;
};

TRegStore* g_store = nullptr;
std::unique_ptr<TRegStore> g_default;

}  // namespace

TRegStore::TRegStore(TRoots Roots) : Roots_(std::move(Roots)) {}

TRegStore TRegStore::FromEnvironment() {
  TRoots Roots;
  const char* Xdg = std::getenv("XDG_CONFIG_HOME");
  if (Xdg != nullptr && Xdg[0] == '/') {
    Roots.CurrentUser = Xdg;
  } else {
    const char* Home = std::getenv("HOME");
    Roots.CurrentUser = std::string(Home != nullptr ? Home : "") + "/.config";
  }
  Roots.Machine = "/etc/xdg";
  return TRegStore(std::move(Roots));
}

TRegStatus TRegStore::OpenKey(TRegRoot Root, const std::string& Path, bool Create, TRegKey& Key,
                              bool* NewlyCreated) const {
  if (NewlyCreated != nullptr) *NewlyCreated = false;
  std::string Folder;
  bool Writable = false;
  std::vector<std::string> Parts = SplitKeyPath(Path);
  if (!Parts.empty() && SameTextAscii(Parts.front(), "Software")) Parts.erase(Parts.begin());
  switch (Root) {
    case TRegRoot::CurrentUser:
      Folder = Roots_.CurrentUser;
      Writable = true;
      break;
    case TRegRoot::LocalMachine:
      Folder = Roots_.Machine;
      break;
    case TRegRoot::ClassesRoot:
      Folder = Roots_.Machine;
      Parts.insert(Parts.begin(), "Classes");
      break;
    case TRegRoot::Users:
      break;
  }
  if (Folder.empty()) return TRegStatus::NotFound;
  if (Create && !Writable) return TRegStatus::AccessDenied;

  bool Created = false;
  if (Create) {
    // The root folder itself may be missing on a fresh system.
    if (mkdir(Folder.c_str(), 0700) != 0) {
      if (errno != EEXIST) return StatusOfErrno(errno);
      if (!IsFolder(Folder)) return TRegStatus::Failed;
    }
  }
  for (const std::string& Part : Parts) {
    std::string Escaped = EscapeName(Part);
    std::optional<std::string> Found = FindEntry(Folder, Escaped, true);
    Created = false;
    if (!Found) {
      if (!Create) return TRegStatus::NotFound;
      std::string Next = Folder + "/" + Escaped;
      if (mkdir(Next.c_str(), 0700) == 0) {
        Created = true;
      } else if (errno != EEXIST) {
        return StatusOfErrno(errno);
      } else if (!IsFolder(Next)) {
        // Something that is not a folder (a regular file, say) holds the key's name: the key cannot be
        // made, and values written "into" it would be lost.
        return TRegStatus::Failed;
      }
      Found = Escaped;
    }
    Folder += "/" + *Found;
  }
  if (!Create) {
    struct stat St;
    if (stat(Folder.c_str(), &St) != 0) return StatusOfErrno(errno);
    if (!S_ISDIR(St.st_mode)) return TRegStatus::NotFound;
  }
  Key.Folder = Folder;
  Key.Writable = Writable;
  if (NewlyCreated != nullptr) *NewlyCreated = Created;
  return TRegStatus::Ok;
}

TRegStatus TRegStore::ReadValue(const TRegKey& Key, const std::string& Name, TRegValue& Value) const {
  std::optional<std::string> File = FindEntry(Key.Folder, ValueFileName(Name), false);
  if (!File) return TRegStatus::NotFound;
  int Fd = open((Key.Folder + "/" + *File).c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return StatusOfErrno(errno);
  TempFile Guard(Fd, "");
  struct stat St;
  if (fstat(Fd, &St) != 0) return StatusOfErrno(errno);
  if (St.st_size < static_cast<off_t>(kValueHeaderBytes) ||
      St.st_size > static_cast<off_t>(kMaxRegValueBytes + kValueHeaderBytes))
    return TRegStatus::Failed;
  std::string Bytes(static_cast<size_t>(St.st_size), '\0');
  size_t Got = 0;
  while (Got < Bytes.size()) {
    ssize_t N = read(Fd, Bytes.data() + Got, Bytes.size() - Got);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Got += static_cast<size_t>(N);
  }
  // A file that shrank under us was replaced while we read; its old bytes are not a value.
  if (Got != Bytes.size()) return TRegStatus::Failed;
  const auto* B = reinterpret_cast<const unsigned char*>(Bytes.data());
  Value.Type = uint32_t{B[0]} | uint32_t{B[1]} << 8 | uint32_t{B[2]} << 16 | uint32_t{B[3]} << 24;
  Value.Data = Bytes.substr(kValueHeaderBytes);
  return TRegStatus::Ok;
}

TRegStatus TRegStore::WriteValue(const TRegKey& Key, const std::string& Name, uint32_t Type, const void* Data,
                                 size_t Size) const {
  if (!Key.Writable) return TRegStatus::AccessDenied;
  if (Size > kMaxRegValueBytes || (Size > 0 && Data == nullptr)) return TRegStatus::Failed;
  auto Failed = [&](TRegWriteStep Step) { return FailPoint ? FailPoint(Step) : 0; };

  std::string FileName = ValueFileName(Name);
  // An existing value keeps its file name, whatever case the caller wrote the value name in.
  if (std::optional<std::string> Existing = FindEntry(Key.Folder, FileName, false)) FileName = *Existing;
  std::string Target = Key.Folder + "/" + FileName;

  if (int Err = Failed(TRegWriteStep::CreateTemp)) return StatusOfErrno(Err);
  std::string Pattern = Key.Folder + "/." + FileName + ".XXXXXX";
  int Fd = mkstemp(Pattern.data());
  if (Fd < 0) return StatusOfErrno(errno);
  TempFile Temp(Fd, Pattern);

  unsigned char Header[kValueHeaderBytes] = {
      static_cast<unsigned char>(Type), static_cast<unsigned char>(Type >> 8),
      static_cast<unsigned char>(Type >> 16), static_cast<unsigned char>(Type >> 24)};
  if (int Err = Failed(TRegWriteStep::WriteData)) return StatusOfErrno(Err);
  if (!WriteAll(Fd, reinterpret_cast<const char*>(Header), sizeof Header) ||
      !WriteAll(Fd, static_cast<const char*>(Data), Size))
    return StatusOfErrno(errno);
  if (int Err = Failed(TRegWriteStep::Sync)) return StatusOfErrno(Err);
  if (fsync(Fd) != 0) return StatusOfErrno(errno);
  if (Temp.Close() != 0) return StatusOfErrno(errno);
  if (int Err = Failed(TRegWriteStep::Rename)) return StatusOfErrno(Err);
  if (rename(Temp.path().c_str(), Target.c_str()) != 0) return StatusOfErrno(errno);
  Temp.Release();
  // Make the rename itself durable; a failure here cannot undo the update, so it is not reported.
  int DirFd = open(Key.Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (DirFd >= 0) {
    fsync(DirFd);
    close(DirFd);
  }
  return TRegStatus::Ok;
}

size_t TRegStore::RemoveTemporaries(const TRegKey& Key) const {
  if (!Key.Writable) return 0;
  size_t Removed = 0;
  std::unique_ptr<DIR, DirCloser> Dir(opendir(Key.Folder.c_str()));
  if (!Dir) return 0;
  while (dirent* E = readdir(Dir.get())) {
    std::string Name = E->d_name;
    if (Name == "." || Name == "..") continue;
    std::string Path = Key.Folder + "/" + Name;
    struct stat St;
    if (lstat(Path.c_str(), &St) != 0) continue;
    if (S_ISDIR(St.st_mode) && Name[0] != '.') {
      Removed += RemoveTemporaries(TRegKey{Path, true});
    } else if (S_ISREG(St.st_mode) && IsUpdateTemporary(Name) && unlink(Path.c_str()) == 0) {
      ++Removed;
    }
  }
  return Removed;
}

TRegStatus TRegStore::EnumKeys(const TRegKey& Key, std::vector<std::string>& Names) const {
  Names.clear();
  std::unique_ptr<DIR, DirCloser> Dir(opendir(Key.Folder.c_str()));
  if (!Dir) return StatusOfErrno(errno);
  while (dirent* E = readdir(Dir.get())) {
    std::string Name = E->d_name;
    if (Name.empty() || Name[0] == '.') continue;  // ".", ".." and temporary files
    struct stat St;
    if (stat((Key.Folder + "/" + Name).c_str(), &St) == 0 && S_ISDIR(St.st_mode))
      Names.push_back(UnescapeName(Name));
  }
  std::sort(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) {
    if (LessTextAscii(A, B)) return true;
    if (LessTextAscii(B, A)) return false;
    return A < B;
  });
  return TRegStatus::Ok;
}

TRegStore& RegStore() {
  if (g_store != nullptr) return *g_store;
  if (!g_default) g_default = std::make_unique<TRegStore>(TRegStore::FromEnvironment());
  return *g_default;
}

void SetRegStore(TRegStore* Store) {
  g_store = Store;
  if (Store == nullptr) g_default.reset();
}
