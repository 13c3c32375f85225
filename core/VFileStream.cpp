#include "core/VFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/FileLayer.h"

namespace {

TLostOutputHandler& LostOutputHandler() {
  static TLostOutputHandler handler;
  return handler;
}

}  // namespace

void SetLostOutputHandler(TLostOutputHandler handler) { LostOutputHandler() = std::move(handler); }

void ReportLostOutput(const std::string& message) {
  try {
    if (LostOutputHandler()) {
      LostOutputHandler()(message);
      return;
    }
  } catch (...) {
    // A failing handler must not turn a destructor into a throwing one; fall back to standard error.
  }
  std::fprintf(stderr, "Output lost: %s\n", message.c_str());
}

// --- TVFileStream ----------------------------------------------------------------------------------------

TVFileStream::TVFileStream(const std::string& FileName, TFileOpenMode Mode) : Mode(Mode), FileName(FileName) {
  OpenAtCreation();
}

TVFileStream::TVFileStream(const std::u16string& FileName, TFileOpenMode Mode)
    : Mode(Mode), WideFileName(FileName) {
  OpenAtCreation();
}

TVFileStream::TVFileStream(const std::u16string& FileName, TFileOpenMode Mode, const TFileAt& At)
    : Mode(Mode), WideFileName(FileName) {
  OpenAtCreation(&At);
}

void TVFileStream::OpenAtCreation(const TFileAt* At) {
  const int64_t fileSize = Open(Mode, At);
  try {
    Size = -1;
    Size = CheckedSize(fileSize);
  } catch (...) {
    ReleaseHandle();
    throw;
  }
}

TVFileStream::~TVFileStream() { ReleaseHandle(); }

std::string TVFileStream::GetFileName() const {
  return WideFileName.empty() ? FileName : Utf16ToUtf8(WideFileName);
}

std::u16string TVFileStream::GetWideFileName() const {
  return WideFileName.empty() ? Utf8ToUtf16(FileName) : WideFileName;
}

void TVFileStream::FileError(const std::string& Text, int errnoValue) const {
  // The name is added after any formatting, so that a "%" in it is shown as it stands.
  throw EVFileStream(std::string("Class ") + ClassName() + " (file \"" + GetFileName() + "\"): " + Text,
                     FileErrorCode(errnoValue));
}

int64_t TVFileStream::Open(TFileOpenMode OpenMode, const TFileAt* At) {
  int flags;
  if (OpenMode == fmCreate) {
    flags = O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (OpenMode & 3) {
      case 0:
        flags = O_RDONLY;
        break;
      case 1:
        flags = O_WRONLY;
        break;
      case 2:
        flags = O_RDWR;
        break;
      default:
        flags = O_PATH;
        break;  // no access: the file is only looked at
    }
  }
  // Non-blocking, so that a FIFO is refused (or, found where a regular file was seen, fails at the first
  // read) instead of blocking the open.
  flags |= O_NOCTTY | O_NONBLOCK;
  const char* failText = OpenMode == fmCreate ? "Can't create file" : "Can't open file";
  IFileLayer& fs = FileLayer();
  if (At != nullptr && OpenMode != fmCreate) {
    // The caller has seen a regular file of this size there: one call. O_NONBLOCK stays set, since it
    // changes nothing for a regular file.
    const int fd = fs.OpenAt(At->DirFd, At->Name, flags, 0);
    if (fd < 0) FileError(failText, errno);
    Handle = fd;
    return At->Size;
  }
  const int fd = fs.Open(GetFileName(), flags, 0666);
  if (fd < 0) FileError(failText, errno);
  struct stat st;
  int err = 0;
  if (fs.FStat(fd, &st) != 0)
    err = errno;
  else if (S_ISDIR(st.st_mode))
    err = EISDIR;
  else if (!S_ISREG(st.st_mode))
    err = EACCES;
  if (err == 0 && (flags & O_PATH) == 0 && ::fcntl(fd, F_SETFL, 0) != 0) err = errno;
  if (err != 0) {
    fs.Close(fd);
    FileError(failText, err);
  }
  Handle = fd;
  return st.st_size;
}

void TVFileStream::ReleaseHandle() {
  if (Handle >= 0) {
    FileLayer().Close(Handle);
    Handle = -1;
  }
}

void TVFileStream::EnsureOpen() {
  if (Handle >= 0) return;
  const int64_t fileSize = Open(Mode == fmCreate ? fmOpenReadWrite : Mode);
  // The file may have changed while it was closed: take its size again, and refuse it when too large.
  try {
    Size = CheckedSize(fileSize);
  } catch (...) {
    ReleaseHandle();
    throw;
  }
}

int32_t TVFileStream::AskSize() {
  struct stat st;
  if (FileLayer().FStat(Handle, &st) != 0) FileError("File read error", errno);
  return CheckedSize(st.st_size);
}

int32_t TVFileStream::CheckedSize(int64_t FileSize) const {
  if (FileSize > kMaxStreamFileSize) FileError("File is too large (>= 2Gb)", EFBIG);
  return static_cast<int32_t>(FileSize);
}

int32_t TVFileStream::GetSize() {
  if (Size >= 0) return Size;
  EnsureOpen();
  if (Size < 0) Size = AskSize();
  return Size;
}

void TVFileStream::Seek(int32_t Pos) {
  if (Pos == Position) return;
  if (Pos < 0 || Pos > GetSize()) FileError("seek error (" + std::to_string(Pos) + ")", EINVAL);
  Position = Pos;
}

void TVFileStream::TruncateTo(int32_t NewSize) {
  if (NewSize < 0) FileError("Set size error", EINVAL);
  EnsureOpen();
  if (FileLayer().FTruncate(Handle, NewSize) != 0) {
    const int err = errno;
    Size = -1;
    FileError("Set size error", err);
  }
  Size = NewSize;
}

void TVFileStream::SetSize(int32_t NewSize) {
  TruncateTo(NewSize);
  if (Position > NewSize) Position = NewSize;
}

int64_t TVFileStream::ReadAt(int64_t Offset, void* Buf, int64_t Count) {
  int64_t done = 0;
  while (done < Count) {
    const ssize_t n =
        FileLayer().PRead(Handle, static_cast<uint8_t*>(Buf) + done, Count - done, Offset + done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TVFileStream::WriteAt(int64_t Offset, const void* Buf, int64_t Count, int64_t& Done) {
  Done = 0;
  while (Done < Count) {
    const ssize_t n =
        FileLayer().PWrite(Handle, static_cast<const uint8_t*>(Buf) + Done, Count - Done, Offset + Done);
    if (n < 0) return -1;
    if (n == 0) {
      errno = ENOSPC;  // a write that makes no progress: the disk is full
      return -1;
    }
    Done += n;
  }
  return Done;
}

void TVFileStream::Write(const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  if (Count > INT32_MAX - Position) FileError("File write error", EFBIG);
  EnsureOpen();
  int64_t done;
  if (WriteAt(Position, Buf, Count, done) < 0) {
    const int err = errno;
    if (done > 0) Size = -1;  // part of it may have reached the file: ask the size again
    FileError("File write error", err);
  }
  Position += Count;
  if (Position > Size) Size = Position;
}

int32_t TVFileStream::Read(void* Buf, int32_t Count) {
  if (Count <= 0) return 0;
  EnsureOpen();
  const int64_t n = ReadAt(Position, Buf, Count);
  if (n < 0) FileError("File read error", errno);
  Position += static_cast<int32_t>(n);
  if (Filter != nullptr && n > 0) Filter->Apply(this, Buf, static_cast<int32_t>(n));
  return static_cast<int32_t>(n);
}

void TVFileStream::Close() {
  if (Handle >= 0) {
    const int fd = Handle;
    Handle = -1;
    Size = -1;
    // A failing close(2) can mean that written data did not reach the file (a network file system).
    if (FileLayer().Close(fd) != 0 && errno != EINTR) FileError("File write error", errno);
  }
  Size = -1;
}

bool TVFileStream::Flush() { return Handle >= 0 && FileLayer().FSync(Handle) == 0; }

// --- TVBufFileStream -------------------------------------------------------------------------------------

TVBufFileStream::TVBufFileStream(const std::string& FileName, TFileOpenMode Mode)
    : TVFileStream(FileName, Mode) {}

TVBufFileStream::TVBufFileStream(const std::u16string& FileName, TFileOpenMode Mode)
    : TVFileStream(FileName, Mode) {}

TVBufFileStream::TVBufFileStream(const std::u16string& FileName, int32_t BufferSize, TFileOpenMode Mode)
    : TVFileStream(FileName, Mode) {
  SetBufferSize(BufferSize);  // a raise here destroys the base, which closes the file
}

TVBufFileStream::TVBufFileStream(const std::u16string& FileName, int32_t BufferSize, TFileOpenMode Mode,
                                 const TFileAt& At)
    : TVFileStream(FileName, Mode, At) {
  SetBufferSize(BufferSize);
}

TVBufFileStream::~TVBufFileStream() {
  if (WriteBufLen > 0) {
    try {
      FlushWriteBuffer();
    } catch (const std::exception& e) {
      ReportLostOutput(e.what());
    } catch (...) {
      ReportLostOutput("Class TVBufFileStream (file \"" + GetFileName() + "\"): File write error");
    }
  }
}

void TVBufFileStream::SetBufferSize(int32_t NewSize) {
  if (NewSize <= 0) FileError("Error in parameters", EINVAL);
  BufferSize = NewSize;
  // The read buffer is sized afresh at its next refill.
  ReadBuf.reset();
  ReadBufAlloc = 0;
  ReadBufLen = 0;
}

int32_t TVBufFileStream::GetSize() {
  const int32_t fileSize = TVFileStream::GetSize();
  if (WriteBufLen > 0 && WriteBufPos + WriteBufLen > fileSize) return WriteBufPos + WriteBufLen;
  return fileSize;
}

void TVBufFileStream::Seek(int32_t Pos) {
  if (Pos < 0 || Pos > GetSize()) FileError("seek error (" + std::to_string(Pos) + ")", EINVAL);
  BufPos = Pos;
}

void TVBufFileStream::SetSize(int32_t NewSize) {
  FlushWriteBuffer();
  EmptyReadBuffer();
  TVFileStream::SetSize(NewSize);
  if (BufPos > NewSize) BufPos = NewSize;
}

int32_t TVBufFileStream::ReadFile(int64_t Offset, void* Buf, int32_t Count) {
  EnsureOpen();
  const int64_t n = ReadAt(Offset, Buf, Count);
  if (n < 0) FileError("File read error", errno);
  Position = static_cast<int32_t>(Offset + n);
  return static_cast<int32_t>(n);
}

void TVBufFileStream::WriteFile(int64_t Offset, const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  EnsureOpen();
  int64_t done;
  if (WriteAt(Offset, Buf, Count, done) < 0) {
    const int err = errno;
    Size = -1;  // part of it may have reached the file: ask the size again
    EmptyReadBuffer();
    FileError("File write error", err);
  }
  Position = static_cast<int32_t>(Offset + Count);
  if (Position > Size && Size >= 0) Size = Position;
}

void TVBufFileStream::FlushWriteBuffer() {
  if (WriteBufLen <= 0) return;
  WriteFile(WriteBufPos, WriteBuf.get(), WriteBufLen);
  WriteBufLen = 0;
  EmptyReadBuffer();
}

void TVBufFileStream::FreeWriteBuffer() {
  FlushWriteBuffer();
  WriteBuf.reset();
}

void TVBufFileStream::Write(const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  if (Count > INT32_MAX - BufPos) FileError("File write error", EFBIG);
  // 1. Bytes in the read buffer that this write replaces are no longer valid.
  if (ReadBufLen > 0 && BufPos < ReadBufPos + ReadBufLen && ReadBufPos < BufPos + Count) EmptyReadBuffer();
  // 2. A write that does not continue or overlap the waiting bytes starts a new run.
  if (BufPos < WriteBufPos || BufPos > WriteBufPos + WriteBufLen) {
    FlushWriteBuffer();
    WriteBufPos = BufPos;
  }
  const int32_t d = BufPos - WriteBufPos;
  if (Count > BufferSize - d) {
    // 3. Too big for the free room: the waiting bytes before BufPos go first, then the new data directly;
    // the waiting bytes past BufPos lie inside the new data's range (d + Count > BufferSize >= WriteBufLen).
    if (d > 0) {
      WriteFile(WriteBufPos, WriteBuf.get(), d);
      EmptyReadBuffer();  // it may hold what the file had before these bytes
    }
    WriteBufLen = 0;
    WriteFile(BufPos, Buf, Count);
    BufPos += Count;
    WriteBufPos = BufPos;
    return;
  }
  // 4. Into the write buffer.
  if (!WriteBuf)
    WriteBuf = std::make_unique_for_overwrite<uint8_t[]>(BufferSize);  // only written bytes are read
  std::memcpy(WriteBuf.get() + d, Buf, Count);
  BufPos += Count;
  if (BufPos - WriteBufPos > WriteBufLen) WriteBufLen = BufPos - WriteBufPos;
}

int32_t TVBufFileStream::Read(void* Buf, int32_t Count) {
  // 1. Not past the end, waiting bytes included.
  const int32_t size = GetSize();
  if (Count > size - BufPos) Count = size - BufPos;
  if (Count <= 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(Buf);
  // 2. Waiting bytes inside the range must reach the file before it is read.
  if (WriteBufLen > 0 && WriteBufPos < BufPos + Count && BufPos < WriteBufPos + WriteBufLen)
    FlushWriteBuffer();
  // 3. Refill when the position is outside the read buffer; a step backwards refills from a quarter
  // buffer before the position, so that short backward steps do not read each time.
  if (ReadBufLen == 0 || BufPos < ReadBufPos || BufPos >= ReadBufPos + ReadBufLen) {
    int32_t start = BufPos;
    if (ReadBufLen > 0 && BufPos < ReadBufPos) start = std::max(0, BufPos - BufferSize / 4);
    const int32_t want = std::min(BufferSize, TVFileStream::GetSize());
    if (ReadBufAlloc < want) {
      ReadBuf = std::make_unique_for_overwrite<uint8_t[]>(want);  // only the bytes read are used
      ReadBufAlloc = want;
    }
    ReadBufLen = 0;
    ReadBufLen = ReadFile(start, ReadBuf.get(), ReadBufAlloc);
    ReadBufPos = start;
  }
  const int32_t off = BufPos - ReadBufPos;
  const int32_t avail = std::max(0, ReadBufLen - off);  // 0 only when the file shrank behind our back
  int32_t delivered;
  if (avail >= Count) {
    std::memcpy(out, ReadBuf.get() + off, Count);
    delivered = Count;
  } else {
    // 4. Take what the buffer has, then the rest from the file just after the buffer.
    if (avail > 0) std::memcpy(out, ReadBuf.get() + off, avail);
    const int32_t rest = Count - avail;
    const int32_t slide = avail > 0 ? off / 2 : 0;
    if (slide <= 0) {
      delivered = avail + ReadFile(int64_t{BufPos} + avail, out + avail, rest);
    } else {
      // Keep the second half of what was before the position: slide it to the front and refill the tail.
      std::memmove(ReadBuf.get(), ReadBuf.get() + slide, ReadBufLen - slide);
      ReadBufPos += slide;
      ReadBufLen -= slide;
      const int32_t tail = ReadBufAlloc - ReadBufLen;
      const int32_t fileOffset = ReadBufPos + ReadBufLen;
      if (rest < tail) {
        const int32_t got = ReadFile(fileOffset, ReadBuf.get() + ReadBufLen, tail);
        const int32_t take = std::min(rest, got);
        std::memcpy(out + avail, ReadBuf.get() + ReadBufLen, take);
        ReadBufLen += got;
        delivered = avail + take;
      } else {
        const int32_t got = ReadFile(fileOffset, out + avail, rest);
        const int32_t keep = std::min(tail, got);
        std::memcpy(ReadBuf.get() + ReadBufLen, out + avail, keep);
        ReadBufLen += keep;
        delivered = avail + got;
      }
    }
  }
  BufPos += delivered;
  if (Filter != nullptr) Filter->Apply(this, Buf, delivered);
  return delivered;
}

void TVBufFileStream::Close() {
  try {
    FlushWriteBuffer();
  } catch (...) {
    // The failure is the caller's news; the bytes are not kept for a second report by the destructor.
    WriteBufLen = 0;
    EmptyReadBuffer();
    try {
      TVFileStream::Close();
    } catch (...) {
    }
    throw;
  }
  TVFileStream::Close();
}

bool TVBufFileStream::Flush() {
  FlushWriteBuffer();
  return TVFileStream::Flush();
}
