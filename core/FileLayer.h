// The seam between the file streams and file-system routines and the operating system: every open, read,
// write, size change, flush and close of a file, the opening and reading of a folder for a listing, the
// free-space query and the making of a unique temporary file go through the program-wide IFileLayer. The
// default is the POSIX layer; a test installs its own (TFaultyFileLayer) to count the calls or to make a
// chosen call fail.
//
// Calls report failure POSIX-style (-1 and errno). FileErrorCode maps an errno value to the Windows-style
// code that callers test and that exceptions carry (2 file not found, 5 access denied, 32 sharing
// violation, ...).
//
// Threads: the layer may be used from any thread; SetFileLayer is for tests and start-up only.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Windows-style error codes that the file routines report.
enum : int32_t {
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorWriteProtect = 19,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleDiskFull = 39,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorDirNotEmpty = 145,
  kErrorFilenameTooLong = 206,
  kErrorFileTooLarge = 223,
  kErrorGenFailure = 31,
};

// The Windows-style code for an errno value (EBUSY and ETXTBSY count as a sharing violation); an errno
// without a counterpart gives kErrorGenFailure.
int32_t FileErrorCode(int ErrnoValue);

// File names: an 8-bit name holds UTF-8; a UTF-16 name is converted for the system calls. A Linux name is
// any string of bytes, and the conversion keeps every one of them: a byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF) and goes back to the same byte, so a name read
// from a folder, converted to UTF-16 and back opens the same file. Valid UTF-8 (characters outside the BMP
// as surrogate pairs) converts as it stands. Any other unpaired surrogate, which no name converts to, gives
// U+FFFD. These are conversions of names, not of text: a window shows an escape as U+FFFD when it draws it.
std::string Utf16ToUtf8(const std::u16string& S);
std::u16string Utf8ToUtf16(const std::string& S);

// The calls of IFileLayer, for counting and for fault injection. Open counts OpenAt too; opening a folder
// is OpenFolder, not Open. Stat is a look at an open file (FStat), StatName one at a file by its name
// (StatAt).
enum class TFileOp {
  Open,
  Close,
  Read,
  Write,
  Truncate,
  Stat,
  Sync,
  FreeSpace,
  MakeTemp,
  OpenFolder,
  ReadFolder,
  StatName,
  Count
};

// One entry of a folder as readdir(3) reports it: the name and the d_type, which is DT_UNKNOWN where the
// file system does not tell the type.
struct TFolderEntry {
  std::string Name;
  unsigned char Type;
};

class IFileLayer {
 public:
  virtual ~IFileLayer() = default;
  // open(2) with O_CLOEXEC added; returns a descriptor or -1.
  virtual int Open(const std::string& Path, int Flags, mode_t Mode) = 0;
  // openat(2) of name relative to the folder open on dirfd, with O_CLOEXEC added.
  virtual int OpenAt(int Dirfd, const std::string& Name, int Flags, mode_t Mode) = 0;
  virtual int Close(int Fd) = 0;
  // One pread(2)/pwrite(2); may transfer fewer bytes than asked.
  virtual ssize_t PRead(int Fd, void* Buf, size_t Count, off_t Offset) = 0;
  virtual ssize_t PWrite(int Fd, const void* Buf, size_t Count, off_t Offset) = 0;
  virtual int FTruncate(int Fd, off_t Size) = 0;
  virtual int FStat(int Fd, struct stat* St) = 0;
  // statx(2) of name relative to the folder open on dirfd (AT_FDCWD: the current folder): a look at a
  // file by its name.
  virtual int StatAt(int Dirfd, const std::string& Name, int Flags, unsigned Mask, struct statx* Sx) = 0;
  virtual int FSync(int Fd) = 0;
  // Bytes available to an unprivileged caller on the file system holding path; -1 on failure.
  virtual int64_t FreeSpace(const std::string& Path) = 0;
  // mkstemp(3) on a template ending in "XXXXXX" (replaced in place); the descriptor or -1.
  virtual int MakeTemp(std::string& PathTemplate) = 0;
  // Opens the folder path (a link to a folder is followed) for reading its entries and for the *at calls
  // relative to it; a descriptor that Close releases, or -1.
  virtual int OpenFolder(const std::string& Path) = 0;
  // The same for the sub-folder name of the folder open on dirfd, relative to it; a link is not followed.
  virtual int OpenFolderAt(int Dirfd, const std::string& Name) = 0;
  // Appends every entry of the folder open on fd except "." and ".."; -1 with errno set on failure (the
  // entries appended before it stay), else 0.
  virtual int ReadFolder(int Fd, std::vector<TFolderEntry>& Entries) = 0;
};

// The operating system's calls.
class TPosixFileLayer : public IFileLayer {
 public:
  int Open(const std::string& Path, int Flags, mode_t Mode) override;
  int Close(int Fd) override;
  ssize_t PRead(int Fd, void* Buf, size_t Count, off_t Offset) override;
  ssize_t PWrite(int Fd, const void* Buf, size_t Count, off_t Offset) override;
  int FTruncate(int Fd, off_t Size) override;
  int FStat(int Fd, struct stat* St) override;
  int StatAt(int Dirfd, const std::string& Name, int Flags, unsigned Mask, struct statx* Sx) override;
  int FSync(int Fd) override;
  int64_t FreeSpace(const std::string& Path) override;
  int MakeTemp(std::string& PathTemplate) override;
  int OpenAt(int Dirfd, const std::string& Name, int Flags, mode_t Mode) override;
  int OpenFolder(const std::string& Path) override;
  int OpenFolderAt(int Dirfd, const std::string& Name) override;
  int ReadFolder(int Fd, std::vector<TFolderEntry>& Entries) override;
};

// The POSIX layer with call counters and fault injection, for tests: FailCall (op, n, err, times) makes the
// n-th call of op from now on (1 = the next one), and the times - 1 calls after it, fail with errno err
// without reaching the system;
// FailFrom (op, err) makes every later call fail. A fake free-space answer per path prefix replaces the
// system's when set. HideEntryTypes makes every folder entry's type unknown, as file systems without d_type
// report it. The counters and faults are kept under a lock: a search's worker threads call the layer too.
class TFaultyFileLayer : public TPosixFileLayer {
 public:
  int Open(const std::string& Path, int Flags, mode_t Mode) override;
  int Close(int Fd) override;
  ssize_t PRead(int Fd, void* Buf, size_t Count, off_t Offset) override;
  ssize_t PWrite(int Fd, const void* Buf, size_t Count, off_t Offset) override;
  int FTruncate(int Fd, off_t Size) override;
  int FStat(int Fd, struct stat* St) override;
  int StatAt(int Dirfd, const std::string& Name, int Flags, unsigned Mask, struct statx* Sx) override;
  int FSync(int Fd) override;
  int64_t FreeSpace(const std::string& Path) override;
  int MakeTemp(std::string& PathTemplate) override;
  int OpenAt(int Dirfd, const std::string& Name, int Flags, mode_t Mode) override;
  int OpenFolder(const std::string& Path) override;
  int OpenFolderAt(int Dirfd, const std::string& Name) override;
  int ReadFolder(int Fd, std::vector<TFolderEntry>& Entries) override;

  void FailCall(TFileOp Op, int64_t N, int Err, int64_t Times = 1);
  void FailFrom(TFileOp Op, int Err);
  // Writes of this call transfer at most this many bytes (a short write), -1 for no limit.
  int64_t MaxWriteBytes = -1;
  bool HideEntryTypes = false;
  int64_t Calls(TFileOp Op) const {
    std::lock_guard<std::mutex> Guard(Lock_);
    return Slot(Op).Calls;
  }
  // The free space reported for every path that starts with prefix (the longest prefix wins); the system
  // is asked for the others.
  void SetFreeSpace(const std::string& Prefix, int64_t Bytes);

 private:
  struct TSlot {
    int64_t Calls = 0;
    int64_t FailAt = 0;    // the first call number that fails, 0 = none
    int64_t FailLast = 0;  // the last one
    bool FailAlways = false;
    int Err = 0;
  };
  // Counts the call; true (errno set) when it must fail.
  bool Inject(TFileOp Op);
  const TSlot& Slot(TFileOp Op) const { return Slots_[static_cast<size_t>(Op)]; }
  mutable std::mutex Lock_;  // guards Slots_
  std::array<TSlot, static_cast<size_t>(TFileOp::Count)> Slots_{};
  std::vector<std::pair<std::string, int64_t>> FreeSpaceAnswers_;
};

// The layer in force.
IFileLayer& FileLayer();
// Installs layer (not owned) for every later call; nullptr restores the POSIX layer.
void SetFileLayer(IFileLayer* Layer);

// Installs a layer for the lifetime of the scope and restores the previous one after it.
class TFileLayerScope {
 public:
  explicit TFileLayerScope(IFileLayer& Layer);
  ~TFileLayerScope();
  TFileLayerScope(const TFileLayerScope&) = delete;
  TFileLayerScope& operator=(const TFileLayerScope&) = delete;

 private:
  IFileLayer* Previous_;
};
