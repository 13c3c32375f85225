#include "core/FileLayer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

int32_t FileErrorCode(int ErrnoValue) {
  switch (ErrnoValue) {
    case 0:
      return 0;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EROFS:
      return kErrorWriteProtect;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    case EWOULDBLOCK:
      return kErrorLockViolation;
    case EEXIST:
      return kErrorFileExists;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EFBIG:
    case EOVERFLOW:
      return kErrorFileTooLarge;
    default:
      return kErrorGenFailure;
  }
}

namespace {

// A byte that is not part of a valid UTF-8 sequence is carried as the lone low surrogate U+DC00 + byte.
// Only bytes 0x80..0xFF are ever invalid (ASCII always decodes), so the escapes are U+DC80..U+DCFF, and
// no valid UTF-8 decodes to a lone surrogate: the two cannot be confused.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

bool IsHighSurrogate(uint32_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsLowSurrogate(uint32_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

// Decodes one UTF-8 sequence at s[i]: its code point and length, or 0 when the bytes there are not a
// whole, shortest-form sequence of a code point that is not a surrogate.
size_t DecodeUtf8(const std::string& S, size_t I, uint32_t& C) {
  const uint8_t B = static_cast<uint8_t>(S[I]);
  if (B < 0x80) {
    C = B;
    return 1;
  }
  const int Extra = (B >> 5) == 6 ? 1 : (B >> 4) == 14 ? 2 : (B >> 3) == 30 ? 3 : -1;
  if (Extra < 0 || S.size() - I <= static_cast<size_t>(Extra)) return 0;
  C = Extra == 1 ? (B & 0x1F) : Extra == 2 ? (B & 0x0F) : (B & 0x07);
  for (int K = 1; K <= Extra; ++K) {
    const uint8_t T = static_cast<uint8_t>(S[I + K]);
    if ((T & 0xC0) != 0x80) return 0;
    C = (C << 6) | (T & 0x3F);
  }
  // The smallest code point each length may carry: anything below is an over-long form (C0 AF for "/").
  constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (C < kMinimum[Extra] || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) return 0;
  return static_cast<size_t>(Extra) + 1;
}

void AppendUtf8(uint32_t C, std::string& Out) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& S) {
  std::string Out;
  Out.reserve(S.size());
  for (size_t I = 0; I < S.size(); ++I) {
    uint32_t C = S[I];
    if (IsHighSurrogate(C) && I + 1 < S.size() && IsLowSurrogate(S[I + 1])) {
      C = 0x10000 + ((C - 0xD800) << 10) + (S[I + 1] - 0xDC00u);
      ++I;
    } else if (C >= kFirstEscape && C <= kLastEscape) {
      Out += static_cast<char>(C - kEscapeBase);  // the byte it stands for
      continue;
    } else if (IsHighSurrogate(C) || IsLowSurrogate(C)) {
      C = 0xFFFD;  // no file name decodes to it: there are no bytes to give back
    }
    AppendUtf8(C, Out);
  }
  return Out;
}

std::u16string Utf8ToUtf16(const std::string& S) {
  std::u16string Out;
  Out.reserve(S.size());
  size_t I = 0;
  while (I < S.size()) {
    uint32_t C;
    const size_t N = DecodeUtf8(S, I, C);
    if (N == 0) {
      // One escape per byte, and decoding goes on at the next byte: a sequence cut short or a stray
      // continuation byte costs only its own bytes.
      Out += static_cast<char16_t>(kEscapeBase + static_cast<uint8_t>(S[I]));
      ++I;
      continue;
    }
    I += N;
    if (C >= 0x10000) {
      Out += static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10));
      Out += static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Out += static_cast<char16_t>(C);
    }
  }
  return Out;
}

// --- POSIX ---------------------------------------------------------------------------------------------

int TPosixFileLayer::Open(const std::string& Path, int Flags, mode_t Mode) {
  int Fd;
  do Fd = ::open(Path.c_str(), Flags | O_CLOEXEC, Mode);
  while (Fd < 0 && errno == EINTR);
  return Fd;
}

int TPosixFileLayer::Close(int Fd) { return ::close(Fd); }

ssize_t TPosixFileLayer::PRead(int Fd, void* Buf, size_t Count, off_t Offset) {
  ssize_t N;
  do N = ::pread(Fd, Buf, Count, Offset);
  while (N < 0 && errno == EINTR);
  return N;
}

ssize_t TPosixFileLayer::PWrite(int Fd, const void* Buf, size_t Count, off_t Offset) {
  ssize_t N;
  do N = ::pwrite(Fd, Buf, Count, Offset);
  while (N < 0 && errno == EINTR);
  return N;
}

int TPosixFileLayer::FTruncate(int Fd, off_t Size) {
  int R;
  do R = ::ftruncate(Fd, Size);
  while (R < 0 && errno == EINTR);
  return R;
}

int TPosixFileLayer::FStat(int Fd, struct stat* St) { return ::fstat(Fd, St); }

int TPosixFileLayer::StatAt(int Dirfd, const std::string& Name, int Flags, unsigned Mask, struct statx* Sx) {
  return ::statx(Dirfd, Name.c_str(), Flags, Mask, Sx);
}

int TPosixFileLayer::FSync(int Fd) { return ::fsync(Fd); }

int64_t TPosixFileLayer::FreeSpace(const std::string& Path) {
  struct statvfs Vfs;
  if (::statvfs(Path.c_str(), &Vfs) != 0) return -1;
  return static_cast<int64_t>(Vfs.f_bavail) * static_cast<int64_t>(Vfs.f_frsize);
}

int TPosixFileLayer::MakeTemp(std::string& PathTemplate) {
  return ::mkostemp(PathTemplate.data(), O_CLOEXEC);
}

int TPosixFileLayer::OpenAt(int Dirfd, const std::string& Name, int Flags, mode_t Mode) {
  int Fd;
  do Fd = ::openat(Dirfd, Name.c_str(), Flags | O_CLOEXEC, Mode);
  while (Fd < 0 && errno == EINTR);
  return Fd;
}

int TPosixFileLayer::OpenFolder(const std::string& Path) {
  return TPosixFileLayer::OpenAt(AT_FDCWD, Path, O_RDONLY | O_DIRECTORY | O_NOCTTY,
                                 0);  // not counted as a file open
}

int TPosixFileLayer::OpenFolderAt(int Dirfd, const std::string& Name) {
  return TPosixFileLayer::OpenAt(Dirfd, Name, O_RDONLY | O_DIRECTORY | O_NOCTTY | O_NOFOLLOW, 0);
}

int TPosixFileLayer::ReadFolder(int Fd, std::vector<TFolderEntry>& Entries) {
  // getdents64 directly on the descriptor, so that it stays the caller's for the *at calls (fdopendir
  // would take it over). The buffer holds many entries per call, as readdir's own does.
  constexpr size_t kEntryBufferSize = 32768;
  alignas(struct dirent64) char Buf[kEntryBufferSize];
  for (;;) {
    const ssize_t N = ::getdents64(Fd, Buf, sizeof Buf);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return -1;
    if (N == 0) return 0;
    for (ssize_t At = 0; At < N;) {
      const auto* E = reinterpret_cast<const struct dirent64*>(Buf + At);
      At += E->d_reclen;
      const char* Name = E->d_name;
      if (Name[0] == '.' && (Name[1] == '\0' || (Name[1] == '.' && Name[2] == '\0'))) continue;
      Entries.push_back({Name, E->d_type});
    }
  }
}

// --- Fault injection -------------------------------------------------------------------------------------

bool TFaultyFileLayer::Inject(TFileOp Op) {
  std::lock_guard<std::mutex> Guard(Lock_);
  TSlot& Slot = Slots_[static_cast<size_t>(Op)];
  ++Slot.Calls;
  if (Slot.FailAlways || (Slot.FailAt != 0 && Slot.Calls >= Slot.FailAt && Slot.Calls <= Slot.FailLast)) {
    if (Slot.Calls == Slot.FailLast) Slot.FailAt = 0;
    errno = Slot.Err;
    return true;
  }
  return false;
}

void TFaultyFileLayer::FailCall(TFileOp Op, int64_t N, int Err, int64_t Times) {
  std::lock_guard<std::mutex> Guard(Lock_);
  TSlot& Slot = Slots_[static_cast<size_t>(Op)];
  Slot.FailAt = Slot.Calls + N;
  Slot.FailLast = Slot.FailAt + std::max<int64_t>(Times, 1) - 1;
  Slot.Err = Err;
}

void TFaultyFileLayer::FailFrom(TFileOp Op, int Err) {
  std::lock_guard<std::mutex> Guard(Lock_);
  TSlot& Slot = Slots_[static_cast<size_t>(Op)];
  Slot.FailAlways = true;
  Slot.Err = Err;
}

void TFaultyFileLayer::SetFreeSpace(const std::string& Prefix, int64_t Bytes) {
  FreeSpaceAnswers_.emplace_back(Prefix, Bytes);
}

int TFaultyFileLayer::Open(const std::string& Path, int Flags, mode_t Mode) {
  return Inject(TFileOp::Open) ? -1 : TPosixFileLayer::Open(Path, Flags, Mode);
}

int TFaultyFileLayer::Close(int Fd) {
  if (Inject(TFileOp::Close)) {
    const int Err = errno;
    TPosixFileLayer::Close(Fd);  // the descriptor is gone either way, as with close(2)
    errno = Err;
    return -1;
  }
  return TPosixFileLayer::Close(Fd);
}

ssize_t TFaultyFileLayer::PRead(int Fd, void* Buf, size_t Count, off_t Offset) {
  return Inject(TFileOp::Read) ? -1 : TPosixFileLayer::PRead(Fd, Buf, Count, Offset);
}

ssize_t TFaultyFileLayer::PWrite(int Fd, const void* Buf, size_t Count, off_t Offset) {
  if (Inject(TFileOp::Write)) return -1;
  if (MaxWriteBytes >= 0 && Count > static_cast<size_t>(MaxWriteBytes))
    Count = static_cast<size_t>(MaxWriteBytes);
  return TPosixFileLayer::PWrite(Fd, Buf, Count, Offset);
}

int TFaultyFileLayer::FTruncate(int Fd, off_t Size) {
  return Inject(TFileOp::Truncate) ? -1 : TPosixFileLayer::FTruncate(Fd, Size);
}

int TFaultyFileLayer::FStat(int Fd, struct stat* St) {
  return Inject(TFileOp::Stat) ? -1 : TPosixFileLayer::FStat(Fd, St);
}

int TFaultyFileLayer::StatAt(int Dirfd, const std::string& Name, int Flags, unsigned Mask, struct statx* Sx) {
  return Inject(TFileOp::StatName) ? -1 : TPosixFileLayer::StatAt(Dirfd, Name, Flags, Mask, Sx);
}

int TFaultyFileLayer::FSync(int Fd) { return Inject(TFileOp::Sync) ? -1 : TPosixFileLayer::FSync(Fd); }

int64_t TFaultyFileLayer::FreeSpace(const std::string& Path) {
  if (Inject(TFileOp::FreeSpace)) return -1;
  const std::pair<std::string, int64_t>* Best = nullptr;
  for (const auto& Answer : FreeSpaceAnswers_) {
    if (Path.compare(0, Answer.first.size(), Answer.first) == 0 &&
        (Best == nullptr || Answer.first.size() > Best->first.size()))
      Best = &Answer;
  }
  return Best != nullptr ? Best->second : TPosixFileLayer::FreeSpace(Path);
}

int TFaultyFileLayer::MakeTemp(std::string& PathTemplate) {
  return Inject(TFileOp::MakeTemp) ? -1 : TPosixFileLayer::MakeTemp(PathTemplate);
}

int TFaultyFileLayer::OpenAt(int Dirfd, const std::string& Name, int Flags, mode_t Mode) {
  return Inject(TFileOp::Open) ? -1 : TPosixFileLayer::OpenAt(Dirfd, Name, Flags, Mode);
}

int TFaultyFileLayer::OpenFolder(const std::string& Path) {
  return Inject(TFileOp::OpenFolder) ? -1 : TPosixFileLayer::OpenFolder(Path);
}

int TFaultyFileLayer::OpenFolderAt(int Dirfd, const std::string& Name) {
  return Inject(TFileOp::OpenFolder) ? -1 : TPosixFileLayer::OpenFolderAt(Dirfd, Name);
}

int TFaultyFileLayer::ReadFolder(int Fd, std::vector<TFolderEntry>& Entries) {
  if (Inject(TFileOp::ReadFolder)) return -1;
  const size_t First = Entries.size();
  const int R = TPosixFileLayer::ReadFolder(Fd, Entries);
  if (HideEntryTypes)
    for (size_t I = First; I < Entries.size(); ++I) Entries[I].Type = DT_UNKNOWN;
  return R;
}

// --- The layer in force ----------------------------------------------------------------------------------

namespace {
TPosixFileLayer posixLayer;
std::atomic<IFileLayer*> currentLayer{&posixLayer};
}  // namespace

IFileLayer& FileLayer() { return *currentLayer.load(std::memory_order_acquire); }

void SetFileLayer(IFileLayer* Layer) {
  currentLayer.store(Layer != nullptr ? Layer : &posixLayer, std::memory_order_release);
}

TFileLayerScope::TFileLayerScope(IFileLayer& Layer) : Previous_(&FileLayer()) { SetFileLayer(&Layer); }

TFileLayerScope::~TFileLayerScope() { SetFileLayer(Previous_); }
