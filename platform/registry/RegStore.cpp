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

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool LessTextAscii(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}

// A key or value name as a file name (see the header). Never empty for a non-empty name.
std::string EscapeName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool escape = c < 0x20 || c == 0x7F || c == '/' || c == '%' || (i == 0 && (c == '.' || c == '@'));
    if (escape) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string UnescapeName(const std::string& file) {
  std::string out;
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '%' && i + 2 < file.size() && HexValue(file[i + 1]) >= 0 && HexValue(file[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(file[i + 1]) * 16 + HexValue(file[i + 2]));
      i += 2;
    } else {
      out += file[i];
    }
  }
  return out;
}

std::string ValueFileName(const std::string& valueName) {
  return (valueName.empty() ? std::string(kDefaultValueFile) : EscapeName(valueName)) + kValueSuffix;
}

TRegStatus StatusOfErrno(int err) {
  switch (err) {
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
  void operator()(DIR* d) const { closedir(d); }
};

// The entry of `folder` named `wanted`: the exact name when it exists, else the first one equal to it
// without case. `wantDir` selects folders (keys) or regular files (values).
std::optional<std::string> FindEntry(const std::string& folder, const std::string& wanted, bool wantDir) {
  auto isWanted = [&](const std::string& name) {
    struct stat st;
    if (stat((folder + "/" + name).c_str(), &st) != 0) return false;
    return wantDir ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
  };
  if (isWanted(wanted)) return wanted;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return std::nullopt;
  while (dirent* e = readdir(dir.get())) {
    std::string name = e->d_name;
    if (name != wanted && SameTextAscii(name, wanted) && isWanted(name)) return name;
  }
  return std::nullopt;
}

// Splits a key path at "\", dropping empty components.
std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Whether Path is a folder (a link to one counts). Sets errno to ENOTDIR when something else is there.
bool IsFolder(const std::string& Path) {
  struct stat st;
  if (stat(Path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
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
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  int Close() {
    int rc = close(fd_);
    fd_ = -1;
    return rc;
  }
  void Release() { path_.clear(); }

 private:
  int fd_;
  std::string path_;
};

TRegStore* g_store = nullptr;
std::unique_ptr<TRegStore> g_default;

}  // namespace

TRegStore::TRegStore(TRoots Roots) : Roots_(std::move(Roots)) {}

TRegStore TRegStore::FromEnvironment() {
  TRoots roots;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    roots.CurrentUser = xdg;
  } else {
    const char* home = std::getenv("HOME");
    roots.CurrentUser = std::string(home != nullptr ? home : "") + "/.config";
  }
  roots.Machine = "/etc/xdg";
  return TRegStore(std::move(roots));
}

TRegStatus TRegStore::OpenKey(TRegRoot Root, const std::string& Path, bool Create, TRegKey& Key,
                              bool* NewlyCreated) const {
  if (NewlyCreated != nullptr) *NewlyCreated = false;
  std::string folder;
  bool writable = false;
  std::vector<std::string> parts = SplitKeyPath(Path);
  if (!parts.empty() && SameTextAscii(parts.front(), "Software")) parts.erase(parts.begin());
  switch (Root) {
    case TRegRoot::CurrentUser:
      folder = Roots_.CurrentUser;
      writable = true;
      break;
    case TRegRoot::LocalMachine:
      folder = Roots_.Machine;
      break;
    case TRegRoot::ClassesRoot:
      folder = Roots_.Machine;
      parts.insert(parts.begin(), "Classes");
      break;
    case TRegRoot::Users:
      break;
  }
  if (folder.empty()) return TRegStatus::NotFound;
  if (Create && !writable) return TRegStatus::AccessDenied;

  bool created = false;
  if (Create) {
    // The root folder itself may be missing on a fresh system.
    if (mkdir(folder.c_str(), 0700) != 0) {
      if (errno != EEXIST) return StatusOfErrno(errno);
      if (!IsFolder(folder)) return TRegStatus::Failed;
    }
  }
  for (const std::string& part : parts) {
    std::string escaped = EscapeName(part);
    std::optional<std::string> found = FindEntry(folder, escaped, true);
    created = false;
    if (!found) {
      if (!Create) return TRegStatus::NotFound;
      std::string next = folder + "/" + escaped;
      if (mkdir(next.c_str(), 0700) == 0) {
        created = true;
      } else if (errno != EEXIST) {
        return StatusOfErrno(errno);
      } else if (!IsFolder(next)) {
        // Something that is not a folder (a regular file, say) holds the key's name: the key cannot be
        // made, and values written "into" it would be lost.
        return TRegStatus::Failed;
      }
      found = escaped;
    }
    folder += "/" + *found;
  }
  if (!Create) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) return StatusOfErrno(errno);
    if (!S_ISDIR(st.st_mode)) return TRegStatus::NotFound;
  }
  Key.Folder = folder;
  Key.Writable = writable;
  if (NewlyCreated != nullptr) *NewlyCreated = created;
  return TRegStatus::Ok;
}

TRegStatus TRegStore::ReadValue(const TRegKey& Key, const std::string& Name, TRegValue& Value) const {
  std::optional<std::string> file = FindEntry(Key.Folder, ValueFileName(Name), false);
  if (!file) return TRegStatus::NotFound;
  int fd = open((Key.Folder + "/" + *file).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return StatusOfErrno(errno);
  TempFile guard(fd, "");
  struct stat st;
  if (fstat(fd, &st) != 0) return StatusOfErrno(errno);
  if (st.st_size < static_cast<off_t>(kValueHeaderBytes) ||
      st.st_size > static_cast<off_t>(kMaxRegValueBytes + kValueHeaderBytes))
    return TRegStatus::Failed;
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  // A file that shrank under us was replaced while we read; its old bytes are not a value.
  if (got != bytes.size()) return TRegStatus::Failed;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  Value.Type = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  Value.Data = bytes.substr(kValueHeaderBytes);
  return TRegStatus::Ok;
}

TRegStatus TRegStore::WriteValue(const TRegKey& Key, const std::string& Name, uint32_t Type, const void* Data,
                                 size_t Size) const {
  if (!Key.Writable) return TRegStatus::AccessDenied;
  if (Size > kMaxRegValueBytes || (Size > 0 && Data == nullptr)) return TRegStatus::Failed;
  auto failed = [&](TRegWriteStep step) { return FailPoint ? FailPoint(step) : 0; };

  std::string fileName = ValueFileName(Name);
  // An existing value keeps its file name, whatever case the caller wrote the value name in.
  if (std::optional<std::string> existing = FindEntry(Key.Folder, fileName, false)) fileName = *existing;
  std::string target = Key.Folder + "/" + fileName;

  if (int err = failed(TRegWriteStep::CreateTemp)) return StatusOfErrno(err);
  std::string pattern = Key.Folder + "/." + fileName + ".XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return StatusOfErrno(errno);
  TempFile temp(fd, pattern);

  unsigned char header[kValueHeaderBytes] = {
      static_cast<unsigned char>(Type), static_cast<unsigned char>(Type >> 8),
      static_cast<unsigned char>(Type >> 16), static_cast<unsigned char>(Type >> 24)};
  if (int err = failed(TRegWriteStep::WriteData)) return StatusOfErrno(err);
  if (!WriteAll(fd, reinterpret_cast<const char*>(header), sizeof header) ||
      !WriteAll(fd, static_cast<const char*>(Data), Size))
    return StatusOfErrno(errno);
  if (int err = failed(TRegWriteStep::Sync)) return StatusOfErrno(err);
  if (fsync(fd) != 0) return StatusOfErrno(errno);
  if (temp.Close() != 0) return StatusOfErrno(errno);
  if (int err = failed(TRegWriteStep::Rename)) return StatusOfErrno(err);
  if (rename(temp.path().c_str(), target.c_str()) != 0) return StatusOfErrno(errno);
  temp.Release();
  // Make the rename itself durable; a failure here cannot undo the update, so it is not reported.
  int dirFd = open(Key.Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return TRegStatus::Ok;
}

size_t TRegStore::RemoveTemporaries(const TRegKey& Key) const {
  if (!Key.Writable) return 0;
  size_t removed = 0;
  std::unique_ptr<DIR, DirCloser> dir(opendir(Key.Folder.c_str()));
  if (!dir) return 0;
  while (dirent* e = readdir(dir.get())) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = Key.Folder + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) && name[0] != '.') {
      removed += RemoveTemporaries(TRegKey{path, true});
    } else if (S_ISREG(st.st_mode) && IsUpdateTemporary(name) && unlink(path.c_str()) == 0) {
      ++removed;
    }
  }
  return removed;
}

TRegStatus TRegStore::EnumKeys(const TRegKey& Key, std::vector<std::string>& Names) const {
  Names.clear();
  std::unique_ptr<DIR, DirCloser> dir(opendir(Key.Folder.c_str()));
  if (!dir) return StatusOfErrno(errno);
  while (dirent* e = readdir(dir.get())) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;  // ".", ".." and temporary files
    struct stat st;
    if (stat((Key.Folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      Names.push_back(UnescapeName(name));
  }
  std::sort(Names.begin(), Names.end(), [](const std::string& a, const std::string& b) {
    if (LessTextAscii(a, b)) return true;
    if (LessTextAscii(b, a)) return false;
    return a < b;
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
