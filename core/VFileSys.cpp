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

std::u16string W(const std::string& S) { return Utf8ToUtf16(S); }
std::string U(const std::u16string& S) { return Utf16ToUtf8(S); }

// Index of the extension's dot, or npos when the name part has none.
template <class Str>
size_t ExtDot(const Str& S) {
  const size_t Dot = S.rfind('.');
  if (Dot == Str::npos) return Str::npos;
  const size_t Slash = S.rfind('/');
  return Slash != Str::npos && Slash > Dot ? Str::npos : Dot;
}

template <class Str>
int32_t MaskExtLengthOf(const Str& Mask) {
  const size_t Dot = Mask.rfind('.');
  if (Mask.empty() || Dot == Str::npos || Mask.find('*', Dot) != Str::npos) return -1;
  return static_cast<int32_t>(Mask.size() - Dot - 1);
}

// Characters after the last "." of a name (0 without one).
int32_t NameExtLength(const std::string& Name) {
  const size_t Dot = Name.rfind('.');
  return Dot == std::string::npos ? 0 : static_cast<int32_t>(Name.size() - Dot - 1);
}

std::u16string UpperWide(const std::string& S) {
  std::u16string Upper = W(S);
  const char16_t* Table = qvnls::WideUpperTable();
  for (auto& C : Upper) C = Table[C];
  return Upper;
}

// "*" and "?" matching of two upper-cased texts, with backtracking to the last "*".
bool Glob(const std::u16string& Name, const std::u16string& Mask) {
  size_t N = 0, M = 0, StarM = std::u16string::npos, StarN = 0;
  while (N < Name.size()) {
    if (M < Mask.size() && (Mask[M] == u'?' || Mask[M] == Name[N])) {
      ++N;
      ++M;
    } else if (M < Mask.size() && Mask[M] == u'*') {
      StarM = M++;
      StarN = N;
    } else if (StarM != std::u16string::npos) {
      M = StarM + 1;
      N = ++StarN;
    } else {
      return false;
    }
  }
  while (M < Mask.size() && Mask[M] == u'*') ++M;
  return M == Mask.size();
}

// Appends the sort key of Name to Keys: its UTF-16 form through the upper-case table. An ASCII name (most
// are) is mapped byte by byte, which gives the same key without the conversion.
void AppendSortKey(const std::string& Name, std::u16string& Keys) {
  const char16_t* Table = qvnls::WideUpperTable();
  const size_t Start = Keys.size();
  for (const char Ch : Name) {
    const auto C = static_cast<unsigned char>(Ch);
    if (C >= 0x80) {
      Keys.resize(Start);
      Keys += UpperWide(Name);
      return;
    }
    Keys.push_back(Table[C]);
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
  std::u16string Keys;
  std::vector<TKeyed> Keyed;
  Keyed.reserve(Names.size());
  for (std::string& Name : Names) {
    const size_t Start = Keys.size();
    AppendSortKey(Name, Keys);
    Keyed.push_back({Start, Keys.size() - Start, &Name});
  }
  const std::u16string_view All(Keys);
  std::sort(Keyed.begin(), Keyed.end(), [All](const TKeyed& A, const TKeyed& B) {
    const int C = All.substr(A.Start, A.Length).compare(All.substr(B.Start, B.Length));
    return C != 0 ? C < 0 : *A.Name < *B.Name;
  });
  std::vector<std::string> Sorted;
  Sorted.reserve(Names.size());
  for (TKeyed& K : Keyed) Sorted.push_back(std::move(*K.Name));
  Names = std::move(Sorted);
}

// Keeps a name that matches the mask and, when the mask fixes the extension's length, has one that long.
bool Selected(const std::string& Name, const std::string& Mask, int32_t MaskExt) {
  return MatchesMask(Name, Mask) && (MaskExt < 0 || NameExtLength(Name) == MaskExt);
}

void ListFilesInto(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask,
                   int32_t MaskExt, bool Recursive, std::set<std::pair<dev_t, ino_t>>& Visited) {
  TFolderListing Listing;
  if (!Listing.Read(Dir)) return;
  if (Recursive) {
    // A folder reached twice (a bind mount of one of its parents) is listed once.
    struct stat St;
    if (::fstat(Listing.Fd(), &St) != 0 || !Visited.insert({St.st_dev, St.st_ino}).second) return;
  }
  Listing.Close();  // one folder open at a time, however deep the walk
  const std::string Prefix = IncludeTrailingSlash(Dir);
  for (const auto& Name : Listing.Files)
    if (Selected(Name, Mask, MaskExt)) List.push_back(Prefix + Name);
  if (Recursive)
    for (const auto& Sub : Listing.Folders) ListFilesInto(List, Prefix + Sub, Mask, MaskExt, true, Visited);
}

constexpr int64_t kTicksPerSecond = 10000000;  // a file time counts 100 ns
constexpr int64_t kTicksPerDay = 864000000000;
constexpr int64_t kFileTimeDaysTo1899 = 109205;  // 1601-01-01 .. 1899-12-30
constexpr int64_t kUnixDaysFrom1899 = 25569;     // 1899-12-30 .. 1970-01-01
constexpr int64_t kFileTimeSecondsToUnix = 11644473600;

TFileTime UnixToFileTime(int64_t Sec, int64_t Nsec) {
  return (Sec + kFileTimeSecondsToUnix) * kTicksPerSecond + Nsec / 100;
}

// A file time as whole seconds since 1970 and the 100-ns ticks after them (0..9999999).
void FileTimeToUnix(TFileTime FileTime, int64_t& Sec, int64_t& Ticks) {
  const int64_t UnixTicks = FileTime - kFileTimeSecondsToUnix * kTicksPerSecond;
  Sec = UnixTicks / kTicksPerSecond;
  Ticks = UnixTicks % kTicksPerSecond;
  if (Ticks < 0) {
    Ticks += kTicksPerSecond;
    --Sec;
  }
}

}  // namespace

// --- Path strings ----------------------------------------------------------------------------------------

int32_t WideLastDelimiter(const std::u16string& Delimiters, const std::u16string& S) {
  for (size_t I = S.size(); I-- > 0;)
    if (S[I] != 0 && Delimiters.find(S[I]) != std::u16string::npos) return static_cast<int32_t>(I + 1);
  return 0;
}

std::u16string WideExtractFilePath(const std::u16string& S) {
  const size_t P = LastSlash(S);
  return P == std::u16string::npos ? std::u16string() : S.substr(0, P + 1);
}

std::u16string WideExtractFileName(const std::u16string& S) {
  const size_t P = LastSlash(S);
  return P == std::u16string::npos ? S : S.substr(P + 1);
}

std::u16string WideExtractFileExt(const std::u16string& S) {
  const size_t Dot = ExtDot(S);
  return Dot == std::u16string::npos ? std::u16string() : S.substr(Dot);
}

std::string ExtractFileExt(const std::string& S) {
  const size_t Dot = ExtDot(S);
  return Dot == std::string::npos ? std::string() : S.substr(Dot);
}

void SplitFileName(const std::string& S, std::string& Dir, std::string& Name) {
  const size_t P = S.rfind('/');
  Dir = P == std::string::npos ? std::string() : S.substr(0, P + 1);
  Name = P == std::string::npos ? S : S.substr(P + 1);
}

void WideSplitFileName(const std::u16string& S, std::u16string& Dir, std::u16string& Name) {
  Dir = WideExtractFilePath(S);
  Name = WideExtractFileName(S);
}

std::string RemoveFileExt(const std::string& Name) {
  const size_t Dot = ExtDot(Name);
  return Dot == std::string::npos ? Name : Name.substr(0, Dot);
}

std::u16string WideRemoveFileExt(const std::u16string& Name) {
  const size_t Dot = ExtDot(Name);
  return Dot == std::u16string::npos ? Name : Name.substr(0, Dot);
}

std::string LowerFileExt(const std::string& Name) {
  std::string Ext = ExtractFileExt(Name);
  if (!Ext.empty()) Ext.erase(0, 1);
  for (auto& C : Ext)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return Ext;
}

std::u16string WideIncludeTrailingSlash(const std::u16string& S) {
  return !S.empty() && S.back() == kSlash ? S : S + kSlash;
}

std::string IncludeTrailingSlash(const std::string& S) { return !S.empty() && S.back() == '/' ? S : S + '/'; }

std::u16string WideExcludeTrailingSlash(const std::u16string& S) {
  return !S.empty() && S.back() == kSlash ? S.substr(0, S.size() - 1) : S;
}

std::string ExcludeTrailingSlash(const std::string& S) {
  return !S.empty() && S.back() == '/' ? S.substr(0, S.size() - 1) : S;
}

int32_t MaskExtLength(const std::string& Mask) { return MaskExtLengthOf(Mask); }

int32_t WideMaskExtLength(const std::u16string& Mask) { return MaskExtLengthOf(Mask); }

std::u16string WideShortenPath(const std::u16string& Path, int32_t MaxLen, const std::u16string& Delimiters) {
  if (MaxLen < 4) MaxLen = 4;
  const int32_t Len = static_cast<int32_t>(Path.size());
  if (Len <= MaxLen) return Path;
  const int32_t Excess = Len - MaxLen;
  const std::u16string Delims = Delimiters.empty() ? std::u16string(1, kSlash) : Delimiters;
  auto IsDelim = [&](char16_t C) { return C < 256 && Delims.find(C) != std::u16string::npos; };
  std::u16string S = Path;
  int32_t First = 0;  // 1-based positions, 0 = none
  for (int32_t I = 0; I < Len && First == 0; ++I)
    if (IsDelim(S[I])) First = I + 1;
  if (First > 0) {
    int32_t Last = First;
    for (int32_t I = Len; I > First; --I)
      if (IsDelim(S[I - 1])) {
        Last = I;
        break;
      }
    const int32_t Room = Last - First - 5;
    if (Room > 0) {
      const int32_t Cut = std::min(Excess, Room);
      S.erase(Last - 1 - Cut, Cut);  // the cut characters just before the last delimiter
      S.replace(Last - 1 - Cut - 3, 3, u"...");
      if (Cut == Excess) return S;
    }
  }
  S.resize(MaxLen);
  S.replace(MaxLen - 3, 3, u"...");
  return S;
}

bool MatchesMask(const std::string& Name, const std::string& Mask) {
  if (Mask.empty() || Mask == "*" || Mask == "*.*") return true;
  const std::u16string UpperName = UpperWide(Name);
  std::u16string UpperMask = UpperWide(Mask);
  if (UpperMask.size() > 2 && UpperMask.compare(UpperMask.size() - 2, 2, u".*") == 0) {
    if (Glob(UpperName, UpperMask)) return true;
    return UpperName.find(u'.') == std::u16string::npos &&
           Glob(UpperName, UpperMask.substr(0, UpperMask.size() - 2));
  }
  if (UpperMask.back() == u'.') {
    while (!UpperMask.empty() && UpperMask.back() == u'.') UpperMask.pop_back();
    return UpperName.find(u'.') == std::u16string::npos && Glob(UpperName, UpperMask);
  }
  return Glob(UpperName, UpperMask);
}

// --- Folders and names from the system -------------------------------------------------------------------

std::u16string WideGetCurrentDir() {
  std::error_code Ec;
  const auto P = std::filesystem::current_path(Ec);
  return Ec ? std::u16string() : W(P.string());
}

bool WideSetCurrentDir(const std::u16string& Dir) { return ::chdir(U(Dir).c_str()) == 0; }

std::string GetTempDir() {
  const char* Env = std::getenv("TMPDIR");
  return IncludeTrailingSlash(Env != nullptr && *Env != '\0' ? Env : "/tmp");
}

std::u16string WideGetTempDir() { return W(GetTempDir()); }

std::string ModuleFileName(const void* Module) {
  if (Module == nullptr) {
    std::error_code Ec;
    const auto P = std::filesystem::read_symlink("/proc/self/exe", Ec);
    return Ec ? std::string() : P.string();
  }
  Dl_info Info;
  if (::dladdr(Module, &Info) == 0 || Info.dli_fname == nullptr) return std::string();
  std::unique_ptr<char, decltype(&std::free)> Full(::realpath(Info.dli_fname, nullptr), &std::free);
  return Full ? std::string(Full.get()) : std::string(Info.dli_fname);
}

std::u16string WideModuleFileName(const void* Module) { return W(ModuleFileName(Module)); }

std::u16string WideExpandFileName(const std::u16string& S) {
  if (S.empty()) return S;
  std::error_code Ec;
  const auto P = std::filesystem::absolute(std::filesystem::path(U(S)), Ec);
  if (Ec) return S;
  std::string Full = P.lexically_normal().string();
  if (Full.size() > 1 && Full.back() == '/' && !(S.back() == kSlash)) Full.pop_back();
  return W(Full);
}

std::string ExpandLongFileName(const std::string& Path) { return U(WideExpandFileName(W(Path))); }

std::u16string WideExpandLongFileName(const std::u16string& Path) { return WideExpandFileName(Path); }

// --- Existence, copy, delete -----------------------------------------------------------------------------

bool FileExists(const std::string& S) {
  struct stat St;
  return !S.empty() && ::stat(S.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool WideFileExists(const std::u16string& S) { return FileExists(U(S)); }

bool DirExists(const std::string& S) {
  struct stat St;
  return !S.empty() && ::stat(S.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool WideDirExists(const std::u16string& S) { return DirExists(U(S)); }

bool WideCopyFile(const std::u16string& Src, const std::u16string& Dst, bool FailIfExists) {
  IFileLayer& Fs = FileLayer();
  const std::string DstName = U(Dst);
  const int In = Fs.Open(U(Src), O_RDONLY | O_NONBLOCK, 0);
  if (In < 0) return false;
  struct stat St;
  if (Fs.FStat(In, &St) != 0 || !S_ISREG(St.st_mode)) {
    Fs.Close(In);
    return false;
  }
  const int Out =
      Fs.Open(DstName, O_WRONLY | O_CREAT | (FailIfExists ? O_EXCL : O_TRUNC), St.st_mode & 07777);
  if (Out < 0) {
    Fs.Close(In);
    return false;
  }
  bool Ok = true;
  std::unique_ptr<char[]> Buf(new char[65536]);
  for (off_t Offset = 0; Ok;) {
    const ssize_t N = Fs.PRead(In, Buf.get(), 65536, Offset);
    if (N < 0) Ok = false;
    if (N <= 0) break;
    for (ssize_t Done = 0; Ok && Done < N;) {
      const ssize_t W = Fs.PWrite(Out, Buf.get() + Done, N - Done, Offset + Done);
      if (W <= 0)
        Ok = false;
      else
        Done += W;
    }
    Offset += N;
  }
  if (Ok) {
    const struct timespec Times[2] = {St.st_atim, St.st_mtim};
    ::futimens(Out, Times);
  }
  Fs.Close(In);
  if (Fs.Close(Out) != 0) Ok = false;
  if (!Ok) ::unlink(DstName.c_str());  // no half copy is left behind
  return Ok;
}

bool ForceDeleteFile(const std::string& Name) {
  struct stat St;
  if (Name.empty() || ::lstat(Name.c_str(), &St) != 0 || S_ISDIR(St.st_mode)) return false;
  return ::unlink(Name.c_str()) == 0;
}

bool ForceRemoveDir(const std::string& Name) {
  struct stat St;
  if (Name.empty() || ::lstat(Name.c_str(), &St) != 0 || !S_ISDIR(St.st_mode)) return false;
  return ::rmdir(Name.c_str()) == 0;
}

bool ForceDelete(const std::string& Name) {
  struct stat St;
  if (Name.empty() || ::lstat(Name.c_str(), &St) != 0) return false;
  return S_ISDIR(St.st_mode) ? ::rmdir(Name.c_str()) == 0 : ::unlink(Name.c_str()) == 0;
}

void DeleteFileList(const TStrLst& List) {
  for (int32_t I = 0; I < List.GetCount(); ++I) ForceDeleteFile(List.Get(I));
}

namespace {
void RemoveDirTree(const std::string& Dir) {
  std::vector<std::string> Subs;
  ListSubdirNames(Subs, Dir, "*");
  for (const auto& Sub : Subs) RemoveDirTree(IncludeTrailingSlash(Dir) + Sub);
  ForceRemoveDir(Dir);
}
}  // namespace

void RemoveDirList(TStrLst& List, bool Recursive) {
  List.SortDesc();
  for (int32_t I = 0; I < List.GetCount(); ++I) {
    const std::string Dir = ExcludeTrailingSlash(List.Get(I));
    if (Recursive)
      RemoveDirTree(Dir);
    else
      ForceRemoveDir(Dir);
  }
}

bool CreateDirTree(const std::string& Dir) {
  if (Dir.empty()) throw Exception("Cannot create directory");
  const std::string Trimmed = ExcludeTrailingSlash(Dir);
  if (Trimmed.empty() || DirExists(Trimmed)) return true;  // the root, or there already
  const size_t Slash = Trimmed.rfind('/');
  if (Slash == std::string::npos) throw Exception("Cannot create directory");  // no folder part
  if (Slash > 0 && !CreateDirTree(Trimmed.substr(0, Slash))) return false;
  return ::mkdir(Trimmed.c_str(), 0777) == 0 || (errno == EEXIST && DirExists(Trimmed));
}

// --- Opening and reading ---------------------------------------------------------------------------------

int OpenReadShared(const std::string& Name) {
  IFileLayer& Fs = FileLayer();
  const int Fd = Fs.Open(Name, O_RDONLY | O_NONBLOCK, 0);
  if (Fd < 0) return -1;
  struct stat St;
  int Err = 0;
  if (Fs.FStat(Fd, &St) != 0)
    Err = errno;
  else if (!S_ISREG(St.st_mode))
    Err = S_ISDIR(St.st_mode) ? EISDIR : EACCES;
  else if (::fcntl(Fd, F_SETFL, 0) != 0)
    Err = errno;
  if (Err != 0) {
    Fs.Close(Fd);
    errno = Err;
    return -1;
  }
  return Fd;
}

int WideOpenReadShared(const std::u16string& Name) { return OpenReadShared(U(Name)); }

bool CloseFileHandle(int& Handle) {
  if (Handle == -1) return false;
  const bool Ok = FileLayer().Close(Handle) == 0;
  Handle = -1;
  return Ok;
}

bool WideReadFileBytes(const std::u16string& Name, void* Buf, int32_t Count, int64_t Offset) {
  int Fd = OpenReadShared(U(Name));
  if (Fd < 0) {
    const int Err = errno;
    throw EWin32Error(FileErrorCode(Err), std::strerror(Err));
  }
  bool Ok = Offset >= 0 && Count >= 0;
  int64_t Done = 0;
  while (Ok && Done < Count) {
    const ssize_t N = FileLayer().PRead(Fd, static_cast<char*>(Buf) + Done, Count - Done, Offset + Done);
    if (N <= 0) break;
    Done += N;
  }
  CloseFileHandle(Fd);
  return Ok && Done == Count;
}

bool WideFileHasBytesAt(const std::u16string& Name, const std::string& Signature, int64_t Offset) {
  std::string Buf(Signature.size(), '\0');
  if (!WideReadFileBytes(Name, Buf.data(), static_cast<int32_t>(Buf.size()), Offset)) return false;
  return std::strncmp(Buf.c_str(), Signature.c_str(), Signature.size()) == 0;
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
  const int64_t Milliseconds = std::llround((DateTime + kFileTimeDaysTo1899) * kMillisecondsPerDay);
  return Milliseconds * (kTicksPerSecond / 1000);
}

TDateTime FileTimeToLocalDateTime(TFileTime FileTime) {
  int64_t Sec, Rem;
  FileTimeToUnix(FileTime, Sec, Rem);
  const time_t T = static_cast<time_t>(Sec);
  struct tm Tm;
  if (::localtime_r(&T, &Tm) == nullptr) return FileTimeToDateTime(FileTime);
  const int64_t Days = DaysFromCivil(Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday) + kUnixDaysFrom1899;
  const double SecondsOfDay =
      Tm.tm_hour * 3600.0 + Tm.tm_min * 60.0 + Tm.tm_sec + static_cast<double>(Rem) / kTicksPerSecond;
  return static_cast<double>(Days) + SecondsOfDay / 86400.0;
}

TFileTime LocalDateTimeToFileTime(TDateTime DateTime) {
  // Split the local value into its calendar fields and let the zone rules of that date place it.
  const TFileTime Naive = DateTimeToFileTime(DateTime);
  int64_t Sec, Rem;
  FileTimeToUnix(Naive, Sec, Rem);
  const time_t T = static_cast<time_t>(Sec);
  struct tm Tm;
  if (::gmtime_r(&T, &Tm) == nullptr) return Naive;
  Tm.tm_isdst = -1;
  const time_t Local = ::mktime(&Tm);
  if (Local == static_cast<time_t>(-1)) return Naive;
  return UnixToFileTime(Local, Rem * 100);
}

namespace {
bool FileInfoOf(int DirFd, const std::string& Name, int64_t* PSize, TDateTime* PWriteTime,
                TDateTime* PCreationTime, TDateTime* PAccessTime, uint32_t* PAttributes) {
  struct statx Sx;
  if (Name.empty() ||
      (FileLayer().StatAt(DirFd, Name, 0, STATX_BASIC_STATS | STATX_BTIME, &Sx) != 0 &&
       FileLayer().StatAt(DirFd, Name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &Sx) != 0)) {
    if (PSize != nullptr) *PSize = -1;
    return false;
  }
  auto Local = [](const struct statx_timestamp& Ts) {
    return FileTimeToLocalDateTime(UnixToFileTime(Ts.tv_sec, Ts.tv_nsec));
  };
  if (PSize != nullptr) *PSize = static_cast<int64_t>(Sx.stx_size);
  if (PWriteTime != nullptr) *PWriteTime = Local(Sx.stx_mtime);
  if (PAccessTime != nullptr) *PAccessTime = Local(Sx.stx_atime);
  if (PCreationTime != nullptr)
    *PCreationTime = Local((Sx.stx_mask & STATX_BTIME) ? Sx.stx_btime : Sx.stx_mtime);
  if (PAttributes != nullptr) *PAttributes = AttributesOf(Sx.stx_mode, Name);
  return true;
}
}  // namespace

uint32_t AttributesOf(uint32_t Mode, const std::string& Name) {
  uint32_t A = S_ISDIR(Mode) ? faDirectory : faArchive;
  if ((Mode & S_IWUSR) == 0) A |= faReadOnly;
  std::string Dir, BaseName;
  SplitFileName(ExcludeTrailingSlash(Name), Dir, BaseName);
  if (!BaseName.empty() && BaseName[0] == '.' && BaseName != "." && BaseName != "..") A |= faHidden;
  return A;
}

void FileInfoOfStatus(const struct stat& St, const std::string& Name, int64_t* PSize, TDateTime* PWriteTime,
                      uint32_t* PAttributes) {
  if (PSize != nullptr) *PSize = static_cast<int64_t>(St.st_size);
  if (PWriteTime != nullptr)
    *PWriteTime = FileTimeToLocalDateTime(UnixToFileTime(St.st_mtim.tv_sec, St.st_mtim.tv_nsec));
  if (PAttributes != nullptr) *PAttributes = AttributesOf(St.st_mode, Name);
}

int OpenRegularFileAt(int DirFd, const std::string& Name, struct stat& St) {
  IFileLayer& Fs = FileLayer();
  const int Fd = Fs.OpenAt(DirFd, Name, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (Fd < 0) return -1;
  if (Fs.FStat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    Fs.Close(Fd);
    return -1;
  }
  return Fd;
}

bool GetFileInfo(const std::string& Name, int64_t* PSize, TDateTime* PWriteTime, TDateTime* PCreationTime,
                 TDateTime* PAccessTime, uint32_t* PAttributes) {
  return FileInfoOf(AT_FDCWD, Name, PSize, PWriteTime, PCreationTime, PAccessTime, PAttributes);
}

bool GetFileInfoAt(int DirFd, const std::string& Name, int64_t* PSize, TDateTime* PWriteTime,
                   TDateTime* PCreationTime, TDateTime* PAccessTime, uint32_t* PAttributes) {
  return FileInfoOf(DirFd, Name, PSize, PWriteTime, PCreationTime, PAccessTime, PAttributes);
}

bool WideGetFileInfo(const std::u16string& Name, int64_t* PSize, TDateTime* PWriteTime,
                     TDateTime* PCreationTime, TDateTime* PAccessTime, uint32_t* PAttributes) {
  return FileInfoOf(AT_FDCWD, U(Name), PSize, PWriteTime, PCreationTime, PAccessTime, PAttributes);
}

bool SetFileWriteTime(const std::string& Name, TDateTime DateTime) {
  IFileLayer& Fs = FileLayer();
  const int Fd = Fs.Open(Name, O_WRONLY | O_NONBLOCK, 0);
  if (Fd < 0) return false;
  int64_t Sec, Rem;
  FileTimeToUnix(LocalDateTimeToFileTime(DateTime), Sec, Rem);
  struct timespec Times[2];
  Times[0].tv_sec = 0;
  Times[0].tv_nsec = UTIME_OMIT;
  Times[1].tv_sec = static_cast<time_t>(Sec);
  Times[1].tv_nsec = static_cast<long>(Rem * 100);
  const bool Ok = ::futimens(Fd, Times) == 0;
  Fs.Close(Fd);
  return Ok;
}

// --- Listings --------------------------------------------------------------------------------------------

TFolderListing::~TFolderListing() { Close(); }

void TFolderListing::Close() {
  if (DirFd_ >= 0) FileLayer().Close(DirFd_);
  DirFd_ = -1;
}

bool TFolderListing::Read(const std::string& Dir) {
  Close();
  Files.clear();
  Folders.clear();
  DirFd_ = FileLayer().OpenFolder(Dir);
  return ReadOpened();
}

bool TFolderListing::ReadAt(int ParentFd, const std::string& Name) {
  Close();
  Files.clear();
  Folders.clear();
  DirFd_ = FileLayer().OpenFolderAt(ParentFd, Name);
  return ReadOpened();
}

bool TFolderListing::ReadOpened() {
  Error = 0;
  if (DirFd_ < 0) {
    Error = errno != 0 ? errno : EIO;
    return false;
  }
  IFileLayer& Fs = FileLayer();
  std::vector<TFolderEntry> Entries;
  if (Fs.ReadFolder(DirFd_, Entries) != 0) {
    Error = errno != 0 ? errno : EIO;
    Close();
    return false;
  }
  for (TFolderEntry& E : Entries) {
    unsigned char Type = E.Type;
    struct stat St;
    if (Type == DT_UNKNOWN) {
      // The file system does not give types: ask for this entry's, without following a link.
      if (::fstatat(DirFd_, E.Name.c_str(), &St, AT_SYMLINK_NOFOLLOW) != 0) continue;
      Type = S_ISDIR(St.st_mode)   ? DT_DIR
             : S_ISREG(St.st_mode) ? DT_REG
             : S_ISLNK(St.st_mode) ? DT_LNK
                                   : DT_UNKNOWN;
    }
    if (Type == DT_DIR) {
      Folders.push_back(std::move(E.Name));
    } else if (Type == DT_REG) {
      Files.push_back(std::move(E.Name));
    } else if (Type == DT_LNK && ::fstatat(DirFd_, E.Name.c_str(), &St, 0) == 0 && S_ISREG(St.st_mode)) {
      Files.push_back(std::move(E.Name));  // a link to a folder is neither listed nor entered
    }
    // FIFOs, sockets and devices are left out: opening them could block or read without end.
  }
  SortWithoutCase(Files);
  SortWithoutCase(Folders);
  return true;
}

void TFolderListing::KeepFiles(const std::string& Mask) {
  if (Mask.empty() || Mask == "*" || Mask == "*.*") return;
  const int32_t MaskExt = MaskExtLength(Mask);
  std::erase_if(Files, [&](const std::string& Name) { return !Selected(Name, Mask, MaskExt); });
}

void TFolderListing::KeepFolders(const std::string& Mask) {
  if (Mask.empty()) return;
  std::erase_if(Folders, [&](const std::string& Name) { return !MatchesMask(Name, Mask); });
}

void ListFileNames(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask,
                   bool Recursive) {
  List.clear();
  if (Dir.empty()) return;
  const std::string UsedMask = Mask.empty() ? "*.*" : Mask;
  std::set<std::pair<dev_t, ino_t>> Visited;
  ListFilesInto(List, ExcludeTrailingSlash(Dir).empty() ? "/" : ExcludeTrailingSlash(Dir), UsedMask,
                MaskExtLength(UsedMask), Recursive, Visited);
}

void ListSubdirNames(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask) {
  List.clear();
  if (Dir.empty()) return;
  TFolderListing Listing;
  if (!Listing.Read(Dir)) return;
  Listing.KeepFolders(Mask);
  List = std::move(Listing.Folders);
}

namespace {
// Clears Target and adds the names, converted to the list's text type.
template <class List>
int32_t FillList(List& Target, const std::vector<std::string>& Names) {
  Target.Clear();
  for (const auto& N : Names) {
    if constexpr (std::is_same_v<List, TWideStrLst>)
      Target.Add(W(N));
    else
      Target.Add(N);
  }
  return Target.GetCount();
}
}  // namespace

int32_t ListFiles(TStrLst& List, const std::string& Dir, const std::string& Mask, bool Recursive) {
  std::vector<std::string> Names;
  ListFileNames(Names, Dir, Mask, Recursive);
  return FillList(List, Names);
}

int32_t WideListFiles(TWideStrLst& List, const std::u16string& Dir, const std::u16string& Mask,
                      bool Recursive) {
  std::vector<std::string> Names;
  ListFileNames(Names, U(Dir), U(Mask), Recursive);
  return FillList(List, Names);
}

int32_t ListSubdirs(TStrLst& List, const std::string& Dir, const std::string& Mask) {
  std::vector<std::string> Names;
  ListSubdirNames(Names, Dir, Mask);
  return FillList(List, Names);
}

int32_t WideListSubdirs(TWideStrLst& List, const std::u16string& Dir, const std::u16string& Mask) {
  std::vector<std::string> Names;
  ListSubdirNames(Names, U(Dir), U(Mask));
  return FillList(List, Names);
}

// --- Temporary files -------------------------------------------------------------------------------------

std::vector<std::string>& TempFolderCandidates() {
  static std::vector<std::string> Candidates = [] {
    std::vector<std::string> C{"/var/tmp/"};
    const char* Home = std::getenv("HOME");
    const char* Cache = std::getenv("XDG_CACHE_HOME");
    if (Cache != nullptr && *Cache != '\0')
      C.push_back(IncludeTrailingSlash(Cache));
    else if (Home != nullptr && *Home != '\0')
      C.push_back(IncludeTrailingSlash(Home) + ".cache/");
    if (Home != nullptr && *Home != '\0') C.push_back(IncludeTrailingSlash(Home));
    return C;
  }();
  return Candidates;
}

namespace {
bool SameFolder(const std::string& A, const std::string& B) {
  struct stat Sa, Sb;
  if (::stat(A.c_str(), &Sa) != 0 || ::stat(B.c_str(), &Sb) != 0) return A == B;
  return Sa.st_dev == Sb.st_dev && Sa.st_ino == Sb.st_ino;
}
}  // namespace

bool GetTempFolder(std::string& Folder, int64_t NeededBytes) {
  Folder = GetTempDir();
  if (NeededBytes <= 0) return true;
  const int64_t Need = std::max(NeededBytes, kMinTempFreeSpace);
  if (FileLayer().FreeSpace(Folder) >= Need) return true;
  auto& Candidates = TempFolderCandidates();
  for (size_t I = 0; I < Candidates.size(); ++I) {
    const std::string& C = Candidates[I];
    if (!DirExists(C) || SameFolder(C, Folder)) continue;
    if (FileLayer().FreeSpace(C) >= Need) {
      Folder = IncludeTrailingSlash(C);
      std::rotate(Candidates.begin(), Candidates.begin() + I, Candidates.begin() + I + 1);
      return true;
    }
  }
  return false;
}

bool MakeTempFileName(std::string& FileName, const std::string& Prefix, int64_t NeededBytes) {
  for (;;) {
    std::string Folder;
    if (!GetTempFolder(Folder, NeededBytes)) return false;
    std::string Name = Folder + Prefix.substr(0, 3) + "XXXXXX";
    const int Fd = FileLayer().MakeTemp(Name);
    if (Fd >= 0) {
      FileLayer().Close(Fd);
      FileName = Name;
      return true;
    }
    auto& Candidates = TempFolderCandidates();
    auto It = std::find_if(Candidates.begin(), Candidates.end(),
                           [&](const std::string& C) { return IncludeTrailingSlash(C) == Folder; });
    if (It == Candidates.end()) return false;
    Candidates.erase(It);
  }
}

void MakeTempFileNameOrRaise(const std::string& Prefix, std::string& FileName, int64_t NeededBytes) {
  if (!MakeTempFileName(FileName, Prefix, NeededBytes))
    throw Exception("Not enough free space on hard drive(s) for temporary files");
}

std::string MakeInstanceTagFor(uintptr_t Address, uint32_t ProcessId) {
  std::string Tag(8, '0');
  uint64_t A = Address, P = ProcessId;
  for (int I = 7; I >= 0; --I) {
    const unsigned D = static_cast<unsigned>((A & 15) + (P & 15));
    Tag[I] = static_cast<char>(D < 10 ? '0' + D : 'A' + D - 10);
    A >>= 4;
    P >>= 4;
  }
  return Tag;
}

std::string MakeInstanceTag(const void* Obj) {
  return MakeInstanceTagFor(reinterpret_cast<uintptr_t>(Obj), static_cast<uint32_t>(::getpid()));
}

std::string FindOnPath(const std::string& Program) {
  const char* Path = std::getenv("PATH");
  if (Path == nullptr) return std::string();
  std::string All = Path;
  size_t Start = 0;
  while (Start <= All.size()) {
    size_t End = All.find(':', Start);
    if (End == std::string::npos) End = All.size();
    const std::string Dir = All.substr(Start, End - Start);
    if (!Dir.empty()) {
      const std::string Full = Dir + "/" + Program;
      struct stat St;
      if (::stat(Full.c_str(), &St) == 0 && S_ISREG(St.st_mode) && ::access(Full.c_str(), X_OK) == 0)
        return Full;
    }
    Start = End + 1;
  }
  return std::string();
}
