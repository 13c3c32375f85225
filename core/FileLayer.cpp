#include "core/FileLayer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

int32_t FileErrorCode(int errnoValue) {
  switch (errnoValue) {
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

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one UTF-8 sequence at s[i]: its code point and length, or 0 when the bytes there are not a
// whole, shortest-form sequence of a code point that is not a surrogate.
size_t DecodeUtf8(const std::string& s, size_t i, uint32_t& c) {
  const uint8_t b = static_cast<uint8_t>(s[i]);
  if (b < 0x80) {
    c = b;
    return 1;
  }
  const int extra = (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
  if (extra < 0 || s.size() - i <= static_cast<size_t>(extra)) return 0;
  c = extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k <= extra; ++k) {
    const uint8_t t = static_cast<uint8_t>(s[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    c = (c << 6) | (t & 0x3F);
  }
  // The smallest code point each length may carry: anything below is an over-long form (C0 AF for "/").
  constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return static_cast<size_t>(extra) + 1;
}

void AppendUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (IsHighSurrogate(c) && i + 1 < s.size() && IsLowSurrogate(s[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= kFirstEscape && c <= kLastEscape) {
      out += static_cast<char>(c - kEscapeBase);  // the byte it stands for
      continue;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = 0xFFFD;  // no file name decodes to it: there are no bytes to give back
    }
    AppendUtf8(c, out);
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    uint32_t c;
    const size_t n = DecodeUtf8(s, i, c);
    if (n == 0) {
      // One escape per byte, and decoding goes on at the next byte: a sequence cut short or a stray
      // continuation byte costs only its own bytes.
      out += static_cast<char16_t>(kEscapeBase + static_cast<uint8_t>(s[i]));
      ++i;
      continue;
    }
    i += n;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// --- POSIX ---------------------------------------------------------------------------------------------

int TPosixFileLayer::Open(const std::string& path, int flags, mode_t mode) {
  int fd;
  do fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int TPosixFileLayer::Close(int fd) { return ::close(fd); }

ssize_t TPosixFileLayer::PRead(int fd, void* buf, size_t count, off_t offset) {
  ssize_t n;
  do n = ::pread(fd, buf, count, offset);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t TPosixFileLayer::PWrite(int fd, const void* buf, size_t count, off_t offset) {
  ssize_t n;
  do n = ::pwrite(fd, buf, count, offset);
  while (n < 0 && errno == EINTR);
  return n;
}

int TPosixFileLayer::FTruncate(int fd, off_t size) {
  int r;
  do r = ::ftruncate(fd, size);
  while (r < 0 && errno == EINTR);
  return r;
}

int TPosixFileLayer::FStat(int fd, struct stat* st) { return ::fstat(fd, st); }

int TPosixFileLayer::FSync(int fd) { return ::fsync(fd); }

int64_t TPosixFileLayer::FreeSpace(const std::string& path) {
  struct statvfs vfs;
  if (::statvfs(path.c_str(), &vfs) != 0) return -1;
  return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

int TPosixFileLayer::MakeTemp(std::string& pathTemplate) {
  return ::mkostemp(pathTemplate.data(), O_CLOEXEC);
}

int TPosixFileLayer::OpenAt(int dirfd, const std::string& name, int flags, mode_t mode) {
  int fd;
  do fd = ::openat(dirfd, name.c_str(), flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int TPosixFileLayer::OpenFolder(const std::string& path) {
  return TPosixFileLayer::OpenAt(AT_FDCWD, path, O_RDONLY | O_DIRECTORY | O_NOCTTY,
                                 0);  // not counted as a file open
}

int TPosixFileLayer::OpenFolderAt(int dirfd, const std::string& name) {
  return TPosixFileLayer::OpenAt(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOCTTY | O_NOFOLLOW, 0);
}

int TPosixFileLayer::ReadFolder(int fd, std::vector<TFolderEntry>& entries) {
  // getdents64 directly on the descriptor, so that it stays the caller's for the *at calls (fdopendir
  // would take it over). The buffer holds many entries per call, as readdir's own does.
  constexpr size_t kEntryBufferSize = 32768;
  alignas(struct dirent64) char buf[kEntryBufferSize];
  for (;;) {
    const ssize_t n = ::getdents64(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return 0;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const struct dirent64*>(buf + at);
      at += e->d_reclen;
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      entries.push_back({name, e->d_type});
    }
  }
}

// --- Fault injection -------------------------------------------------------------------------------------

bool TFaultyFileLayer::Inject(TFileOp op) {
  TSlot& slot = Slots[static_cast<size_t>(op)];
  ++slot.Calls;
  if (slot.FailAlways || slot.Calls == slot.FailAt) {
    slot.FailAt = 0;
    errno = slot.Err;
    return true;
  }
  return false;
}

void TFaultyFileLayer::FailCall(TFileOp op, int64_t n, int err) {
  TSlot& slot = Slots[static_cast<size_t>(op)];
  slot.FailAt = slot.Calls + n;
  slot.Err = err;
}

void TFaultyFileLayer::FailFrom(TFileOp op, int err) {
  TSlot& slot = Slots[static_cast<size_t>(op)];
  slot.FailAlways = true;
  slot.Err = err;
}

void TFaultyFileLayer::SetFreeSpace(const std::string& prefix, int64_t bytes) {
  FreeSpaceAnswers.emplace_back(prefix, bytes);
}

int TFaultyFileLayer::Open(const std::string& path, int flags, mode_t mode) {
  return Inject(TFileOp::Open) ? -1 : TPosixFileLayer::Open(path, flags, mode);
}

int TFaultyFileLayer::Close(int fd) {
  if (Inject(TFileOp::Close)) {
    const int err = errno;
    TPosixFileLayer::Close(fd);  // the descriptor is gone either way, as with close(2)
    errno = err;
    return -1;
  }
  return TPosixFileLayer::Close(fd);
}

ssize_t TFaultyFileLayer::PRead(int fd, void* buf, size_t count, off_t offset) {
  return Inject(TFileOp::Read) ? -1 : TPosixFileLayer::PRead(fd, buf, count, offset);
}

ssize_t TFaultyFileLayer::PWrite(int fd, const void* buf, size_t count, off_t offset) {
  if (Inject(TFileOp::Write)) return -1;
  if (MaxWriteBytes >= 0 && count > static_cast<size_t>(MaxWriteBytes))
    count = static_cast<size_t>(MaxWriteBytes);
  return TPosixFileLayer::PWrite(fd, buf, count, offset);
}

int TFaultyFileLayer::FTruncate(int fd, off_t size) {
  return Inject(TFileOp::Truncate) ? -1 : TPosixFileLayer::FTruncate(fd, size);
}

int TFaultyFileLayer::FStat(int fd, struct stat* st) {
  return Inject(TFileOp::Stat) ? -1 : TPosixFileLayer::FStat(fd, st);
}

int TFaultyFileLayer::FSync(int fd) { return Inject(TFileOp::Sync) ? -1 : TPosixFileLayer::FSync(fd); }

int64_t TFaultyFileLayer::FreeSpace(const std::string& path) {
  if (Inject(TFileOp::FreeSpace)) return -1;
  const std::pair<std::string, int64_t>* best = nullptr;
  for (const auto& answer : FreeSpaceAnswers) {
    if (path.compare(0, answer.first.size(), answer.first) == 0 &&
        (best == nullptr || answer.first.size() > best->first.size()))
      best = &answer;
  }
  return best != nullptr ? best->second : TPosixFileLayer::FreeSpace(path);
}

int TFaultyFileLayer::MakeTemp(std::string& pathTemplate) {
  return Inject(TFileOp::MakeTemp) ? -1 : TPosixFileLayer::MakeTemp(pathTemplate);
}

int TFaultyFileLayer::OpenAt(int dirfd, const std::string& name, int flags, mode_t mode) {
  return Inject(TFileOp::Open) ? -1 : TPosixFileLayer::OpenAt(dirfd, name, flags, mode);
}

int TFaultyFileLayer::OpenFolder(const std::string& path) {
  return Inject(TFileOp::OpenFolder) ? -1 : TPosixFileLayer::OpenFolder(path);
}

int TFaultyFileLayer::OpenFolderAt(int dirfd, const std::string& name) {
  return Inject(TFileOp::OpenFolder) ? -1 : TPosixFileLayer::OpenFolderAt(dirfd, name);
}

int TFaultyFileLayer::ReadFolder(int fd, std::vector<TFolderEntry>& entries) {
  if (Inject(TFileOp::ReadFolder)) return -1;
  const size_t first = entries.size();
  const int r = TPosixFileLayer::ReadFolder(fd, entries);
  if (HideEntryTypes)
    for (size_t i = first; i < entries.size(); ++i) entries[i].Type = DT_UNKNOWN;
  return r;
}

// --- The layer in force ----------------------------------------------------------------------------------

namespace {
TPosixFileLayer posixLayer;
std::atomic<IFileLayer*> currentLayer{&posixLayer};
}  // namespace

IFileLayer& FileLayer() { return *currentLayer.load(std::memory_order_acquire); }

void SetFileLayer(IFileLayer* layer) {
  currentLayer.store(layer != nullptr ? layer : &posixLayer, std::memory_order_release);
}

TFileLayerScope::TFileLayerScope(IFileLayer& layer) : Previous(&FileLayer()) { SetFileLayer(&layer); }

TFileLayerScope::~TFileLayerScope() { SetFileLayer(Previous); }
