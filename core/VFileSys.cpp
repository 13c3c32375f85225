#include "core/VFileSys.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/CivilDate.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "platform/qvnls/Qvnls.h"

namespace {

constexpr char16_t kSlash = u'/';

size_t LastSlash(const std::u16string& S) { return S.rfind(kSlash); }

std::u16string W(const std::string& s) { return Utf8ToUtf16(s); }
std::string U(const std::u16string& s) { return Utf16ToUtf8(s); }

// Index of the extension's dot, or npos when the name part has none.
template <class Str>
size_t ExtDot(const Str& S) {
  const size_t dot = S.rfind('.');
  if (dot == Str::npos) return Str::npos;
  const size_t slash = S.rfind('/');
  return slash != Str::npos && slash > dot ? Str::npos : dot;
}

template <class Str>
int32_t MaskExtLengthOf(const Str& Mask) {
  const size_t dot = Mask.rfind('.');
  if (Mask.empty() || dot == Str::npos || Mask.find('*', dot) != Str::npos) return -1;
  return static_cast<int32_t>(Mask.size() - dot - 1);
}

// Characters after the last "." of a name (0 without one).
int32_t NameExtLength(const std::string& Name) {
  const size_t dot = Name.rfind('.');
  return dot == std::string::npos ? 0 : static_cast<int32_t>(Name.size() - dot - 1);
}

std::u16string UpperWide(const std::string& s) {
  std::u16string w = W(s);
  const char16_t* table = qvnls::WideUpperTable();
  for (auto& c : w) c = table[c];
  return w;
}

// "*" and "?" matching of two upper-cased texts, with backtracking to the last "*".
bool Glob(const std::u16string& name, const std::u16string& mask) {
  size_t n = 0, m = 0, starM = std::u16string::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == u'*') {
      starM = m++;
      starN = n;
    } else if (starM != std::u16string::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

// Appends the sort key of Name to Keys: its UTF-16 form through the upper-case table. An ASCII name (most
// are) is mapped byte by byte, which gives the same key without the conversion.
void AppendSortKey(const std::string& Name, std::u16string& Keys) {
  const char16_t* table = qvnls::WideUpperTable();
  const size_t start = Keys.size();
  for (const char ch : Name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      Keys.resize(start);
      Keys += UpperWide(Name);
      return;
    }
    Keys.push_back(table[c]);
  }
}

// Sorts Names without case, ties broken exactly (a.txt and A.txt keep one order). Each name's key is made
// once, and the keys lie in one buffer, so that the sort moves small records only.
void SortWithoutCase(std::vector<std::string>& Names) {
  if (Names.size() < 2) return;
  struct TKeyed {
    size_t Start, Length;
    std::string* Name;
  };
  std::u16string keys;
  std::vector<TKeyed> keyed;
  keyed.reserve(Names.size());
  for (std::string& name : Names) {
    const size_t start = keys.size();
    AppendSortKey(name, keys);
    keyed.push_back({start, keys.size() - start, &name});
  }
  const std::u16string_view all(keys);
  std::sort(keyed.begin(), keyed.end(), [all](const TKeyed& a, const TKeyed& b) {
    const int c = all.substr(a.Start, a.Length).compare(all.substr(b.Start, b.Length));
    return c != 0 ? c < 0 : *a.Name < *b.Name;
  });
  std::vector<std::string> sorted;
  sorted.reserve(Names.size());
  for (TKeyed& k : keyed) sorted.push_back(std::move(*k.Name));
  Names = std::move(sorted);
}

// Keeps a name that matches the mask and, when the mask fixes the extension's length, has one that long.
bool Selected(const std::string& Name, const std::string& Mask, int32_t MaskExt) {
  return MatchesMask(Name, Mask) && (MaskExt < 0 || NameExtLength(Name) == MaskExt);
}

void ListFilesInto(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask,
                   int32_t MaskExt, bool Recursive, std::set<std::pair<dev_t, ino_t>>& Visited) {
  TFolderListing listing;
  if (!listing.Read(Dir)) return;
  if (Recursive) {
    // A folder reached twice (a bind mount of one of its parents) is listed once.
    struct stat st;
    if (::fstat(listing.Fd(), &st) != 0 || !Visited.insert({st.st_dev, st.st_ino}).second) return;
  }
  listing.Close();  // one folder open at a time, however deep the walk
  const std::string prefix = IncludeTrailingBackslash(Dir);
  for (const auto& name : listing.Files)
    if (Selected(name, Mask, MaskExt)) List.push_back(prefix + name);
  if (Recursive)
    for (const auto& sub : listing.Folders) ListFilesInto(List, prefix + sub, Mask, MaskExt, true, Visited);
}

constexpr int64_t kTicksPerSecond = 10000000;  // a file time counts 100 ns
constexpr int64_t kTicksPerDay = 864000000000;
constexpr int64_t kFileTimeDaysTo1899 = 109205;  // 1601-01-01 .. 1899-12-30
constexpr int64_t kUnixDaysFrom1899 = 25569;     // 1899-12-30 .. 1970-01-01
constexpr int64_t kFileTimeSecondsToUnix = 11644473600;

TFileTime UnixToFileTime(int64_t sec, int64_t nsec) {
  return (sec + kFileTimeSecondsToUnix) * kTicksPerSecond + nsec / 100;
}

// A file time as whole seconds since 1970 and the 100-ns ticks after them (0..9999999).
void FileTimeToUnix(TFileTime FileTime, int64_t& sec, int64_t& ticks) {
  const int64_t unixTicks = FileTime - kFileTimeSecondsToUnix * kTicksPerSecond;
  sec = unixTicks / kTicksPerSecond;
  ticks = unixTicks % kTicksPerSecond;
  if (ticks < 0) {
    ticks += kTicksPerSecond;
    --sec;
  }
}

}  // namespace

// --- Path strings ----------------------------------------------------------------------------------------

int32_t WideLastDelimiter(const std::u16string& Delimiters, const std::u16string& S) {
  for (size_t i = S.size(); i-- > 0;)
    if (S[i] != 0 && Delimiters.find(S[i]) != std::u16string::npos) return static_cast<int32_t>(i + 1);
  return 0;
}

std::u16string WideExtractFilePath(const std::u16string& S) {
  const size_t p = LastSlash(S);
  return p == std::u16string::npos ? std::u16string() : S.substr(0, p + 1);
}

std::u16string WideExtractFileName(const std::u16string& S) {
  const size_t p = LastSlash(S);
  return p == std::u16string::npos ? S : S.substr(p + 1);
}

std::u16string WideExtractFileExt(const std::u16string& S) {
  const size_t dot = ExtDot(S);
  return dot == std::u16string::npos ? std::u16string() : S.substr(dot);
}

std::string ExtractFileExt(const std::string& S) {
  const size_t dot = ExtDot(S);
  return dot == std::string::npos ? std::string() : S.substr(dot);
}

void SplitFileName(const std::string& S, std::string& Dir, std::string& Name) {
  const size_t p = S.rfind('/');
  Dir = p == std::string::npos ? std::string() : S.substr(0, p + 1);
  Name = p == std::string::npos ? S : S.substr(p + 1);
}

void WideSplitFileName(const std::u16string& S, std::u16string& Dir, std::u16string& Name) {
  Dir = WideExtractFilePath(S);
  Name = WideExtractFileName(S);
}

std::string RemoveFileExt(const std::string& Name) {
  const size_t dot = ExtDot(Name);
  return dot == std::string::npos ? Name : Name.substr(0, dot);
}

std::u16string WideRemoveFileExt(const std::u16string& Name) {
  const size_t dot = ExtDot(Name);
  return dot == std::u16string::npos ? Name : Name.substr(0, dot);
}

std::string LowerFileExt(const std::string& Name) {
  std::string ext = ExtractFileExt(Name);
  if (!ext.empty()) ext.erase(0, 1);
  for (auto& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return ext;
}

std::u16string WideIncludeTrailingBackslash(const std::u16string& S) {
  return !S.empty() && S.back() == kSlash ? S : S + kSlash;
}

std::string IncludeTrailingBackslash(const std::string& S) {
  return !S.empty() && S.back() == '/' ? S : S + '/';
}

std::u16string WideExcludeTrailingBackslash(const std::u16string& S) {
  return !S.empty() && S.back() == kSlash ? S.substr(0, S.size() - 1) : S;
}

std::string ExcludeTrailingBackslash(const std::string& S) {
  return !S.empty() && S.back() == '/' ? S.substr(0, S.size() - 1) : S;
}

int32_t MaskExtLength(const std::string& Mask) { return MaskExtLengthOf(Mask); }

int32_t WideMaskExtLength(const std::u16string& Mask) { return MaskExtLengthOf(Mask); }

std::u16string WideShortenPath(const std::u16string& Path, int32_t MaxLen, const std::u16string& Delimiters) {
  if (MaxLen < 4) MaxLen = 4;
  const int32_t len = static_cast<int32_t>(Path.size());
  if (len <= MaxLen) return Path;
  const int32_t excess = len - MaxLen;
  const std::u16string delims = Delimiters.empty() ? std::u16string(1, kSlash) : Delimiters;
  auto isDelim = [&](char16_t c) { return c < 256 && delims.find(c) != std::u16string::npos; };
  std::u16string s = Path;
  int32_t first = 0;  // 1-based positions, 0 = none
  for (int32_t i = 0; i < len && first == 0; ++i)
    if (isDelim(s[i])) first = i + 1;
  if (first > 0) {
    int32_t last = first;
    for (int32_t i = len; i > first; --i)
      if (isDelim(s[i - 1])) {
        last = i;
        break;
      }
    const int32_t room = last - first - 5;
    if (room > 0) {
      const int32_t cut = std::min(excess, room);
      s.erase(last - 1 - cut, cut);  // the cut characters just before the last delimiter
      s.replace(last - 1 - cut - 3, 3, u"...");
      if (cut == excess) return s;
    }
  }
  s.resize(MaxLen);
  s.replace(MaxLen - 3, 3, u"...");
  return s;
}

bool MatchesMask(const std::string& Name, const std::string& Mask) {
  if (Mask.empty() || Mask == "*" || Mask == "*.*") return true;
  const std::u16string name = UpperWide(Name);
  std::u16string mask = UpperWide(Mask);
  if (mask.size() > 2 && mask.compare(mask.size() - 2, 2, u".*") == 0) {
    if (Glob(name, mask)) return true;
    return name.find(u'.') == std::u16string::npos && Glob(name, mask.substr(0, mask.size() - 2));
  }
  if (mask.back() == u'.') {
    while (!mask.empty() && mask.back() == u'.') mask.pop_back();
    return name.find(u'.') == std::u16string::npos && Glob(name, mask);
  }
  return Glob(name, mask);
}

// --- Folders and names from the system -------------------------------------------------------------------

std::u16string WideGetCurrentDir() {
  std::error_code ec;
  const auto p = std::filesystem::current_path(ec);
  return ec ? std::u16string() : W(p.string());
}

bool WideSetCurrentDir(const std::u16string& Dir) { return ::chdir(U(Dir).c_str()) == 0; }

std::string GetTempDir() {
  const char* env = std::getenv("TMPDIR");
  return IncludeTrailingBackslash(env != nullptr && *env != '\0' ? env : "/tmp");
}

std::u16string WideGetTempDir() { return W(GetTempDir()); }

std::string ModuleFileName(const void* Module) {
  if (Module == nullptr) {
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
  }
  Dl_info info;
  if (::dladdr(Module, &info) == 0 || info.dli_fname == nullptr) return std::string();
  std::unique_ptr<char, decltype(&std::free)> full(::realpath(info.dli_fname, nullptr), &std::free);
  return full ? std::string(full.get()) : std::string(info.dli_fname);
}

std::u16string WideModuleFileName(const void* Module) { return W(ModuleFileName(Module)); }

std::u16string WideExpandFileName(const std::u16string& S) {
  if (S.empty()) return S;
  std::error_code ec;
  const auto p = std::filesystem::absolute(std::filesystem::path(U(S)), ec);
  if (ec) return S;
  std::string full = p.lexically_normal().string();
  if (full.size() > 1 && full.back() == '/' && !(S.back() == kSlash)) full.pop_back();
  return W(full);
}

std::string ExpandLongFileName(const std::string& Path) { return U(WideExpandFileName(W(Path))); }

std::u16string WideExpandLongFileName(const std::u16string& Path) { return WideExpandFileName(Path); }

// --- Existence, copy, delete -----------------------------------------------------------------------------

bool FileExists(const std::string& S) {
  struct stat st;
  return !S.empty() && ::stat(S.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool WideFileExists(const std::u16string& S) { return FileExists(U(S)); }

bool DirExists(const std::string& S) {
  struct stat st;
  return !S.empty() && ::stat(S.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WideDirExists(const std::u16string& S) { return DirExists(U(S)); }

bool WideCopyFile(const std::u16string& Src, const std::u16string& Dst, bool FailIfExists) {
  IFileLayer& fs = FileLayer();
  const std::string dst = U(Dst);
  const int in = fs.Open(U(Src), O_RDONLY | O_NONBLOCK, 0);
  if (in < 0) return false;
  struct stat st;
  if (fs.FStat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    fs.Close(in);
    return false;
  }
  const int out = fs.Open(dst, O_WRONLY | O_CREAT | (FailIfExists ? O_EXCL : O_TRUNC), st.st_mode & 07777);
  if (out < 0) {
    fs.Close(in);
    return false;
  }
  bool ok = true;
  std::unique_ptr<char[]> buf(new char[65536]);
  for (off_t offset = 0; ok;) {
    const ssize_t n = fs.PRead(in, buf.get(), 65536, offset);
    if (n < 0) ok = false;
    if (n <= 0) break;
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = fs.PWrite(out, buf.get() + done, n - done, offset + done);
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
    offset += n;
  }
  if (ok) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
  }
  fs.Close(in);
  if (fs.Close(out) != 0) ok = false;
  if (!ok) ::unlink(dst.c_str());  // no half copy is left behind
  return ok;
}

bool ForceDeleteFile(const std::string& Name) {
  struct stat st;
  if (Name.empty() || ::lstat(Name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(Name.c_str()) == 0;
}

bool ForceRemoveDir(const std::string& Name) {
  struct stat st;
  if (Name.empty() || ::lstat(Name.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return ::rmdir(Name.c_str()) == 0;
}

bool ForceDelete(const std::string& Name) {
  struct stat st;
  if (Name.empty() || ::lstat(Name.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) ? ::rmdir(Name.c_str()) == 0 : ::unlink(Name.c_str()) == 0;
}

void DeleteFileList(const TStrLst& List) {
  for (int32_t i = 0; i < List.GetCount(); ++i) ForceDeleteFile(List.Get(i));
}

namespace {
void RemoveDirTree(const std::string& Dir) {
  std::vector<std::string> subs;
  ListSubdirNames(subs, Dir, "*");
  for (const auto& sub : subs) RemoveDirTree(IncludeTrailingBackslash(Dir) + sub);
  ForceRemoveDir(Dir);
}
}  // namespace

void RemoveDirList(TStrLst& List, bool Recursive) {
  List.SortDesc();
  for (int32_t i = 0; i < List.GetCount(); ++i) {
    const std::string dir = ExcludeTrailingBackslash(List.Get(i));
    if (Recursive)
      RemoveDirTree(dir);
    else
      ForceRemoveDir(dir);
  }
}

bool CreateDirTree(const std::string& Dir) {
  if (Dir.empty()) throw Exception("Cannot create directory");
  const std::string dir = ExcludeTrailingBackslash(Dir);
  if (dir.empty() || DirExists(dir)) return true;  // the root, or there already
  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos) throw Exception("Cannot create directory");  // no folder part
  if (slash > 0 && !CreateDirTree(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && DirExists(dir));
}

// --- Opening and reading ---------------------------------------------------------------------------------

int OpenReadShared(const std::string& Name) {
  IFileLayer& fs = FileLayer();
  const int fd = fs.Open(Name, O_RDONLY | O_NONBLOCK, 0);
  if (fd < 0) return -1;
  struct stat st;
  int err = 0;
  if (fs.FStat(fd, &st) != 0)
    err = errno;
  else if (!S_ISREG(st.st_mode))
    err = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
  else if (::fcntl(fd, F_SETFL, 0) != 0)
    err = errno;
  if (err != 0) {
    fs.Close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

int WideOpenReadShared(const std::u16string& Name) { return OpenReadShared(U(Name)); }

bool CloseFileHandle(int& Handle) {
  if (Handle == -1) return false;
  const bool ok = FileLayer().Close(Handle) == 0;
  Handle = -1;
  return ok;
}

bool WideReadFileBytes(const std::u16string& Name, void* Buf, int32_t Count, int64_t Offset) {
  int fd = OpenReadShared(U(Name));
  if (fd < 0) {
    const int err = errno;
    throw EWin32Error(FileErrorCode(err), std::strerror(err));
  }
  bool ok = Offset >= 0 && Count >= 0;
  int64_t done = 0;
  while (ok && done < Count) {
    const ssize_t n = FileLayer().PRead(fd, static_cast<char*>(Buf) + done, Count - done, Offset + done);
    if (n <= 0) break;
    done += n;
  }
  CloseFileHandle(fd);
  return ok && done == Count;
}

bool WideFileHasBytesAt(const std::u16string& Name, const std::string& Signature, int64_t Offset) {
  std::string buf(Signature.size(), '\0');
  if (!WideReadFileBytes(Name, buf.data(), static_cast<int32_t>(buf.size()), Offset)) return false;
  return std::strncmp(buf.c_str(), Signature.c_str(), Signature.size()) == 0;
}

// --- File information and times --------------------------------------------------------------------------

TDateTime FileTimeToDateTime(TFileTime FileTime) {
  return static_cast<double>(FileTime) / kTicksPerDay - kFileTimeDaysTo1899;
}

TFileTime DateTimeToFileTime(TDateTime DateTime) {
  // A day count with its fraction in a double holds about a microsecond, and scaling it straight to 100-ns
  // ticks carries that error into the result (a whole second came out 1.6 us short). Date values are kept
  // to the millisecond, so round there and scale exactly.
  constexpr double kMillisecondsPerDay = 86400000.0;
  const int64_t milliseconds = std::llround((DateTime + kFileTimeDaysTo1899) * kMillisecondsPerDay);
  return milliseconds * (kTicksPerSecond / 1000);
}

TDateTime FileTimeToLocalDateTime(TFileTime FileTime) {
  int64_t sec, rem;
  FileTimeToUnix(FileTime, sec, rem);
  const time_t t = static_cast<time_t>(sec);
  struct tm tm;
  if (::localtime_r(&t, &tm) == nullptr) return FileTimeToDateTime(FileTime);
  const int64_t days = DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + kUnixDaysFrom1899;
  const double secondsOfDay =
      tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + static_cast<double>(rem) / kTicksPerSecond;
  return static_cast<double>(days) + secondsOfDay / 86400.0;
}

TFileTime LocalDateTimeToFileTime(TDateTime DateTime) {
  // Split the local value into its calendar fields and let the zone rules of that date place it.
  const TFileTime naive = DateTimeToFileTime(DateTime);
  int64_t sec, rem;
  FileTimeToUnix(naive, sec, rem);
  const time_t t = static_cast<time_t>(sec);
  struct tm tm;
  if (::gmtime_r(&t, &tm) == nullptr) return naive;
  tm.tm_isdst = -1;
  const time_t local = ::mktime(&tm);
  if (local == static_cast<time_t>(-1)) return naive;
  return UnixToFileTime(local, rem * 100);
}

namespace {
bool FileInfoOf(int DirFd, const std::string& Name, int64_t* pSize, TDateTime* pWriteTime,
                TDateTime* pCreationTime, TDateTime* pAccessTime, uint32_t* pAttributes) {
  struct statx sx;
  if (Name.empty() ||
      (::statx(DirFd, Name.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0 &&
       ::statx(DirFd, Name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)) {
    if (pSize != nullptr) *pSize = -1;
    return false;
  }
  auto local = [](const struct statx_timestamp& ts) {
    return FileTimeToLocalDateTime(UnixToFileTime(ts.tv_sec, ts.tv_nsec));
  };
  if (pSize != nullptr) *pSize = static_cast<int64_t>(sx.stx_size);
  if (pWriteTime != nullptr) *pWriteTime = local(sx.stx_mtime);
  if (pAccessTime != nullptr) *pAccessTime = local(sx.stx_atime);
  if (pCreationTime != nullptr)
    *pCreationTime = local((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime);
  if (pAttributes != nullptr) {
    uint32_t a = S_ISDIR(sx.stx_mode) ? faDirectory : faArchive;
    if ((sx.stx_mode & S_IWUSR) == 0) a |= faReadOnly;
    std::string dir, name;
    SplitFileName(ExcludeTrailingBackslash(Name), dir, name);
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= faHidden;
    *pAttributes = a;
  }
  return true;
}
}  // namespace

bool GetFileInfo(const std::string& Name, int64_t* pSize, TDateTime* pWriteTime, TDateTime* pCreationTime,
                 TDateTime* pAccessTime, uint32_t* pAttributes) {
  return FileInfoOf(AT_FDCWD, Name, pSize, pWriteTime, pCreationTime, pAccessTime, pAttributes);
}

bool GetFileInfoAt(int DirFd, const std::string& Name, int64_t* pSize, TDateTime* pWriteTime,
                   TDateTime* pCreationTime, TDateTime* pAccessTime, uint32_t* pAttributes) {
  return FileInfoOf(DirFd, Name, pSize, pWriteTime, pCreationTime, pAccessTime, pAttributes);
}

bool WideGetFileInfo(const std::u16string& Name, int64_t* pSize, TDateTime* pWriteTime,
                     TDateTime* pCreationTime, TDateTime* pAccessTime, uint32_t* pAttributes) {
  return FileInfoOf(AT_FDCWD, U(Name), pSize, pWriteTime, pCreationTime, pAccessTime, pAttributes);
}

bool SetFileWriteTime(const std::string& Name, TDateTime DateTime) {
  IFileLayer& fs = FileLayer();
  const int fd = fs.Open(Name, O_WRONLY | O_NONBLOCK, 0);
  if (fd < 0) return false;
  int64_t sec, rem;
  FileTimeToUnix(LocalDateTimeToFileTime(DateTime), sec, rem);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(sec);
  times[1].tv_nsec = static_cast<long>(rem * 100);
  const bool ok = ::futimens(fd, times) == 0;
  fs.Close(fd);
  return ok;
}

// --- Listings --------------------------------------------------------------------------------------------

TFolderListing::~TFolderListing() { Close(); }

void TFolderListing::Close() {
  if (DirFd >= 0) FileLayer().Close(DirFd);
  DirFd = -1;
}

bool TFolderListing::Read(const std::string& Dir) {
  Close();
  Files.clear();
  Folders.clear();
  DirFd = FileLayer().OpenFolder(Dir);
  return ReadOpened();
}

bool TFolderListing::ReadAt(int ParentFd, const std::string& Name) {
  Close();
  Files.clear();
  Folders.clear();
  DirFd = FileLayer().OpenFolderAt(ParentFd, Name);
  return ReadOpened();
}

bool TFolderListing::ReadOpened() {
  Error = 0;
  if (DirFd < 0) {
    Error = errno != 0 ? errno : EIO;
    return false;
  }
  IFileLayer& fs = FileLayer();
  std::vector<TFolderEntry> entries;
  if (fs.ReadFolder(DirFd, entries) != 0) {
    Error = errno != 0 ? errno : EIO;
    Close();
    return false;
  }
  for (TFolderEntry& e : entries) {
    unsigned char type = e.Type;
    struct stat st;
    if (type == DT_UNKNOWN) {
      // The file system does not give types: ask for this entry's, without following a link.
      if (::fstatat(DirFd, e.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode)   ? DT_DIR
             : S_ISREG(st.st_mode) ? DT_REG
             : S_ISLNK(st.st_mode) ? DT_LNK
                                   : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      Folders.push_back(std::move(e.Name));
    } else if (type == DT_REG) {
      Files.push_back(std::move(e.Name));
    } else if (type == DT_LNK && ::fstatat(DirFd, e.Name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
      Files.push_back(std::move(e.Name));  // a link to a folder is neither listed nor entered
    }
    // FIFOs, sockets and devices are left out: opening them could block or read without end.
  }
  SortWithoutCase(Files);
  SortWithoutCase(Folders);
  return true;
}

void TFolderListing::KeepFiles(const std::string& Mask) {
  if (Mask.empty() || Mask == "*" || Mask == "*.*") return;
  const int32_t maskExt = MaskExtLength(Mask);
  std::erase_if(Files, [&](const std::string& name) { return !Selected(name, Mask, maskExt); });
}

void TFolderListing::KeepFolders(const std::string& Mask) {
  if (Mask.empty()) return;
  std::erase_if(Folders, [&](const std::string& name) { return !MatchesMask(name, Mask); });
}

void ListFileNames(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask,
                   bool Recursive) {
  List.clear();
  if (Dir.empty()) return;
  const std::string mask = Mask.empty() ? "*.*" : Mask;
  std::set<std::pair<dev_t, ino_t>> visited;
  ListFilesInto(List, ExcludeTrailingBackslash(Dir).empty() ? "/" : ExcludeTrailingBackslash(Dir), mask,
                MaskExtLength(mask), Recursive, visited);
}

void ListSubdirNames(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask) {
  List.clear();
  if (Dir.empty()) return;
  TFolderListing listing;
  if (!listing.Read(Dir)) return;
  listing.KeepFolders(Mask);
  List = std::move(listing.Folders);
}

namespace {
// Clears List and adds the names, converted to the list's text type.
template <class List>
int32_t FillList(List& list, const std::vector<std::string>& names) {
  list.Clear();
  for (const auto& n : names) {
    if constexpr (std::is_same_v<List, TWideStrLst>)
      list.Add(W(n));
    else
      list.Add(n);
  }
  return list.GetCount();
}
}  // namespace

int32_t ListFiles(TStrLst& List, const std::string& Dir, const std::string& Mask, bool Recursive) {
  std::vector<std::string> names;
  ListFileNames(names, Dir, Mask, Recursive);
  return FillList(List, names);
}

int32_t WideListFiles(TWideStrLst& List, const std::u16string& Dir, const std::u16string& Mask,
                      bool Recursive) {
  std::vector<std::string> names;
  ListFileNames(names, U(Dir), U(Mask), Recursive);
  return FillList(List, names);
}

int32_t ListSubdirs(TStrLst& List, const std::string& Dir, const std::string& Mask) {
  std::vector<std::string> names;
  ListSubdirNames(names, Dir, Mask);
  return FillList(List, names);
}

int32_t WideListSubdirs(TWideStrLst& List, const std::u16string& Dir, const std::u16string& Mask) {
  std::vector<std::string> names;
  ListSubdirNames(names, U(Dir), U(Mask));
  return FillList(List, names);
}

// --- Temporary files -------------------------------------------------------------------------------------

std::vector<std::string>& TempFolderCandidates() {
  static std::vector<std::string> candidates = [] {
    std::vector<std::string> c{"/var/tmp/"};
    const char* home = std::getenv("HOME");
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && *cache != '\0')
      c.push_back(IncludeTrailingBackslash(cache));
    else if (home != nullptr && *home != '\0')
      c.push_back(IncludeTrailingBackslash(home) + ".cache/");
    if (home != nullptr && *home != '\0') c.push_back(IncludeTrailingBackslash(home));
    return c;
  }();
  return candidates;
}

namespace {
bool SameFolder(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return a == b;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

bool GetTempFolder(std::string& Folder, int64_t NeededBytes) {
  Folder = GetTempDir();
  if (NeededBytes <= 0) return true;
  const int64_t need = std::max(NeededBytes, kMinTempFreeSpace);
  if (FileLayer().FreeSpace(Folder) >= need) return true;
  auto& candidates = TempFolderCandidates();
  for (size_t i = 0; i < candidates.size(); ++i) {
    const std::string& c = candidates[i];
    if (!DirExists(c) || SameFolder(c, Folder)) continue;
    if (FileLayer().FreeSpace(c) >= need) {
      Folder = IncludeTrailingBackslash(c);
      std::rotate(candidates.begin(), candidates.begin() + i, candidates.begin() + i + 1);
      return true;
    }
  }
  return false;
}

bool MakeTempFileName(std::string& FileName, const std::string& Prefix, int64_t NeededBytes) {
  for (;;) {
    std::string folder;
    if (!GetTempFolder(folder, NeededBytes)) return false;
    std::string name = folder + Prefix.substr(0, 3) + "XXXXXX";
    const int fd = FileLayer().MakeTemp(name);
    if (fd >= 0) {
      FileLayer().Close(fd);
      FileName = name;
      return true;
    }
    auto& candidates = TempFolderCandidates();
    auto it = std::find_if(candidates.begin(), candidates.end(),
                           [&](const std::string& c) { return IncludeTrailingBackslash(c) == folder; });
    if (it == candidates.end()) return false;
    candidates.erase(it);
  }
}

void MakeTempFileNameOrRaise(const std::string& Prefix, std::string& FileName, int64_t NeededBytes) {
  if (!MakeTempFileName(FileName, Prefix, NeededBytes))
    throw Exception("Not enough free space on hard drive(s) for temporary files");
}

std::string MakeInstanceTagFor(uintptr_t Address, uint32_t ProcessId) {
  std::string tag(8, '0');
  uint64_t a = Address, p = ProcessId;
  for (int i = 7; i >= 0; --i) {
    const unsigned d = static_cast<unsigned>((a & 15) + (p & 15));
    tag[i] = static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10);
    a >>= 4;
    p >>= 4;
  }
  return tag;
}

std::string MakeInstanceTag(const void* Obj) {
  return MakeInstanceTagFor(reinterpret_cast<uintptr_t>(Obj), static_cast<uint32_t>(::getpid()));
}
