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
  static TLostOutputHandler Handler;
  return Handler;
}

}  // namespace

void SetLostOutputHandler(TLostOutputHandler Handler) { LostOutputHandler() = std::move(Handler); }

void ReportLostOutput(const std::string& Message) {
  try {
    if (LostOutputHandler()) {
      LostOutputHandler()(Message);
      return;
    }
  } catch (...) {
    // A failing handler must not turn a destructor into a throwing one; fall back to standard error.
  }
  std::fprintf(stderr, "Output lost: %s\n", Message.c_str());
}

// --- TVFileStream ----------------------------------------------------------------------------------------

TVFileStream::TVFileStream(const std::string& FileName, TFileOpenMode Mode)
    : Mode_(Mode), FileName_(FileName) {
  OpenAtCreation();
}

TVFileStream::TVFileStream(const std::u16string& FileName, TFileOpenMode Mode)
    : Mode_(Mode), WideFileName_(FileName) {
  OpenAtCreation();
}

TVFileStream::TVFileStream(const std::u16string& FileName, TFileOpenMode Mode, const TFileAt& At)
    : Mode_(Mode), WideFileName_(FileName) {
  OpenAtCreation(&At);
}

void TVFileStream::OpenAtCreation(const TFileAt* At) {
  const int64_t FileSize = Open(Mode_, At);
  try {
    Size_ = -1;
    Size_ = CheckedSize(FileSize);
  } catch (...) {
    ReleaseHandle();
    throw;
  }
}

TVFileStream::~TVFileStream() { ReleaseHandle(); }

std::string TVFileStream::GetFileName() const {
  return WideFileName_.empty() ? FileName_ : Utf16ToUtf8(WideFileName_);
}

std::u16string TVFileStream::GetWideFileName() const {
  return WideFileName_.empty() ? Utf8ToUtf16(FileName_) : WideFileName_;
}

void TVFileStream::FileError(const std::string& Text, int ErrnoValue) const {
  // The name is added after any formatting, so that a "%" in it is shown as it stands.
  throw EVFileStream(std::string("Class ") + ClassName() + " (file \"" + GetFileName() + "\"): " + Text,
                     FileErrorCode(ErrnoValue));
}

int64_t TVFileStream::Open(TFileOpenMode OpenMode, const TFileAt* At) {
  int Flags;
  if (OpenMode == fmCreate) {
    Flags = O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (OpenMode & 3) {
      case 0:
        Flags = O_RDONLY;
        break;
      case 1:
        Flags = O_WRONLY;
        break;
      case 2:
        Flags = O_RDWR;
        break;
      default:
        Flags = O_PATH;
        break;  // no access: the file is only looked at
    }
  }
  // Non-blocking, so that a FIFO is refused (or, found where a regular file was seen, fails at the first
  // read) instead of blocking the open.
  Flags |= O_NOCTTY | O_NONBLOCK;
  const char* FailText = OpenMode == fmCreate ? "Can't create file" : "Can't open file";
  IFileLayer& Fs = FileLayer();
  if (At != nullptr && OpenMode != fmCreate && At->Fd >= 0) {
    // The caller has opened the file and looked at it already.
    Handle_ = At->Fd;
    return At->Size;
  }
  if (At != nullptr && OpenMode != fmCreate) {
    // The caller has seen a regular file of this size there: one call. O_NONBLOCK stays set, since it
    // changes nothing for a regular file.
    const int Fd = Fs.OpenAt(At->DirFd, At->Name, Flags, 0);
    if (Fd < 0) FileError(FailText, errno);
    Handle_ = Fd;
    return At->Size;
  }
  const int Fd = Fs.Open(GetFileName(), Flags, 0666);
  if (Fd < 0) FileError(FailText, errno);
  struct stat St;
  int Err = 0;
  if (Fs.FStat(Fd, &St) != 0)
    Err = errno;
  else if (S_ISDIR(St.st_mode))
    Err = EISDIR;
  else if (!S_ISREG(St.st_mode))
    Err = EACCES;
  if (Err == 0 && (Flags & O_PATH) == 0 && ::fcntl(Fd, F_SETFL, 0) != 0) Err = errno;
  if (Err != 0) {
    Fs.Close(Fd);
    FileError(FailText, Err);
  }
  Handle_ = Fd;
  return St.st_size;
}

void TVFileStream::ReleaseHandle() {
  if (Handle_ >= 0) {
    FileLayer().Close(Handle_);
    Handle_ = -1;
  }
}

void TVFileStream::EnsureOpen() {
  if (Handle_ >= 0) return;
  const int64_t FileSize = Open(Mode_ == fmCreate ? fmOpenReadWrite : Mode_);
  // The file may have changed while it was closed: take its size again, and refuse it when too large.
  try {
    Size_ = CheckedSize(FileSize);
  } catch (...) {
    ReleaseHandle();
    throw;
  }
}

int32_t TVFileStream::AskSize() {
  struct stat St;
  if (FileLayer().FStat(Handle_, &St) != 0) FileError("File read error", errno);
  return CheckedSize(St.st_size);
}

int32_t TVFileStream::CheckedSize(int64_t FileSize) const {
  if (FileSize > kMaxStreamFileSize) FileError("File is too large (>= 2Gb)", EFBIG);
  return static_cast<int32_t>(FileSize);
}

int32_t TVFileStream::GetSize() {
  if (Size_ >= 0) return Size_;
  EnsureOpen();
  if (Size_ < 0) Size_ = AskSize();
  return Size_;
}

void TVFileStream::Seek(int32_t Pos) {
  if (Pos == Position_) return;
  if (Pos < 0 || Pos > GetSize()) FileError("seek error (" + std::to_string(Pos) + ")", EINVAL);
  Position_ = Pos;
}

void TVFileStream::TruncateTo(int32_t NewSize) {
  if (NewSize < 0) FileError("Set size error", EINVAL);
  EnsureOpen();
  if (FileLayer().FTruncate(Handle_, NewSize) != 0) {
    const int Err = errno;
    Size_ = -1;
    FileError("Set size error", Err);
  }
  Size_ = NewSize;
}

void TVFileStream::SetSize(int32_t NewSize) {
  TruncateTo(NewSize);
  if (Position_ > NewSize) Position_ = NewSize;
}

int64_t TVFileStream::ReadAt(int64_t Offset, void* Buf, int64_t Count) {
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N =
        FileLayer().PRead(Handle_, static_cast<uint8_t*>(Buf) + Done, Count - Done, Offset + Done);
    if (N < 0) return -1;
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

int64_t TVFileStream::WriteAt(int64_t Offset, const void* Buf, int64_t Count, int64_t& Done) {
  Done = 0;
  while (Done < Count) {
    const ssize_t N =
        FileLayer().PWrite(Handle_, static_cast<const uint8_t*>(Buf) + Done, Count - Done, Offset + Done);
    if (N < 0) return -1;
    if (N == 0) {
      errno = ENOSPC;  // a write that makes no progress: the disk is full
      return -1;
    }
    Done += N;
  }
  return Done;
}

void TVFileStream::Write(const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  if (Count > INT32_MAX - Position_) FileError("File write error", EFBIG);
  EnsureOpen();
  int64_t Done;
  if (WriteAt(Position_, Buf, Count, Done) < 0) {
    const int Err = errno;
    if (Done > 0) Size_ = -1;  // part of it may have reached the file: ask the size again
    FileError("File write error", Err);
  }
  Position_ += Count;
  if (Position_ > Size_) Size_ = Position_;
}

int32_t TVFileStream::Read(void* Buf, int32_t Count) {
  if (Count <= 0) return 0;
  EnsureOpen();
  const int64_t N = ReadAt(Position_, Buf, Count);
  if (N < 0) FileError("File read error", errno);
  Position_ += static_cast<int32_t>(N);
  if (Filter != nullptr && N > 0) Filter->Apply(this, Buf, static_cast<int32_t>(N));
  return static_cast<int32_t>(N);
}

void TVFileStream::Close() {
  if (Handle_ >= 0) {
    const int Fd = Handle_;
    Handle_ = -1;
    Size_ = -1;
    // A failing close(2) can mean that written data did not reach the file (a network file system).
    if (FileLayer().Close(Fd) != 0 && errno != EINTR) FileError("File write error", errno);
  }
  Size_ = -1;
}

bool TVFileStream::Flush() { return Handle_ >= 0 && FileLayer().FSync(Handle_) == 0; }

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
  if (WriteBufLen_ > 0) {
    try {
      FlushWriteBuffer();
    } catch (const std::exception& E) {
      ReportLostOutput(E.what());
    } catch (...) {
      ReportLostOutput("Class TVBufFileStream (file \"" + GetFileName() + "\"): File write error");
    }
  }
}

void TVBufFileStream::SetBufferSize(int32_t NewSize) {
  if (NewSize <= 0) FileError("Error in parameters", EINVAL);
  BufferSize_ = NewSize;
  // The read buffer is sized afresh at its next refill.
  ReadBuf_.reset();
  ReadBufAlloc_ = 0;
  ReadBufLen_ = 0;
}

int32_t TVBufFileStream::GetSize() {
  const int32_t FileSize = TVFileStream::GetSize();
  if (WriteBufLen_ > 0 && WriteBufPos_ + WriteBufLen_ > FileSize) return WriteBufPos_ + WriteBufLen_;
  return FileSize;
}

void TVBufFileStream::Seek(int32_t Pos) {
  if (Pos < 0 || Pos > GetSize()) FileError("seek error (" + std::to_string(Pos) + ")", EINVAL);
  BufPos_ = Pos;
}

void TVBufFileStream::SetSize(int32_t NewSize) {
  FlushWriteBuffer();
  EmptyReadBuffer();
  TVFileStream::SetSize(NewSize);
  if (BufPos_ > NewSize) BufPos_ = NewSize;
}

int32_t TVBufFileStream::ReadFile(int64_t Offset, void* Buf, int32_t Count) {
  EnsureOpen();
  const int64_t N = ReadAt(Offset, Buf, Count);
  if (N < 0) FileError("File read error", errno);
  Position_ = static_cast<int32_t>(Offset + N);
  return static_cast<int32_t>(N);
}

void TVBufFileStream::WriteFile(int64_t Offset, const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  EnsureOpen();
  int64_t Done;
  if (WriteAt(Offset, Buf, Count, Done) < 0) {
    const int Err = errno;
    Size_ = -1;  // part of it may have reached the file: ask the size again
    EmptyReadBuffer();
    FileError("File write error", Err);
  }
  Position_ = static_cast<int32_t>(Offset + Count);
  if (Position_ > Size_ && Size_ >= 0) Size_ = Position_;
}

void TVBufFileStream::FlushWriteBuffer() {
  if (WriteBufLen_ <= 0) return;
  WriteFile(WriteBufPos_, WriteBuf_.get(), WriteBufLen_);
  WriteBufLen_ = 0;
  EmptyReadBuffer();
}

void TVBufFileStream::FreeWriteBuffer() {
  FlushWriteBuffer();
  WriteBuf_.reset();
}

void TVBufFileStream::Write(const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  if (Count > INT32_MAX - BufPos_) FileError("File write error", EFBIG);
  // 1. Bytes in the read buffer that this write replaces are no longer valid.
  if (ReadBufLen_ > 0 && BufPos_ < ReadBufPos_ + ReadBufLen_ && ReadBufPos_ < BufPos_ + Count)
    EmptyReadBuffer();
  // 2. A write that does not continue or overlap the waiting bytes starts a new run.
  if (BufPos_ < WriteBufPos_ || BufPos_ > WriteBufPos_ + WriteBufLen_) {
    FlushWriteBuffer();
    WriteBufPos_ = BufPos_;
  }
  const int32_t D = BufPos_ - WriteBufPos_;
  if (Count > BufferSize_ - D) {
    // 3. Too big for the free room: the waiting bytes before BufPos go first, then the new data directly;
    // the waiting bytes past BufPos lie inside the new data's range (d + Count > BufferSize >= WriteBufLen).
    if (D > 0) {
      WriteFile(WriteBufPos_, WriteBuf_.get(), D);
      EmptyReadBuffer();  // it may hold what the file had before these bytes
    }
    WriteBufLen_ = 0;
    WriteFile(BufPos_, Buf, Count);
    BufPos_ += Count;
    WriteBufPos_ = BufPos_;
    return;
  }
  // 4. Into the write buffer.
  if (!WriteBuf_)
    WriteBuf_ = std::make_unique_for_overwrite<uint8_t[]>(BufferSize_);  // only written bytes are read
  std::memcpy(WriteBuf_.get() + D, Buf, Count);
  BufPos_ += Count;
  if (BufPos_ - WriteBufPos_ > WriteBufLen_) WriteBufLen_ = BufPos_ - WriteBufPos_;
}

int32_t TVBufFileStream::Read(void* Buf, int32_t Count) {
  // 1. Not past the end, waiting bytes included.
  const int32_t Size = GetSize();
  if (Count > Size - BufPos_) Count = Size - BufPos_;
  if (Count <= 0) return 0;
  uint8_t* Out = static_cast<uint8_t*>(Buf);
  // 2. Waiting bytes inside the range must reach the file before it is read.
  if (WriteBufLen_ > 0 && WriteBufPos_ < BufPos_ + Count && BufPos_ < WriteBufPos_ + WriteBufLen_)
    FlushWriteBuffer();
  // 3. Refill when the position is outside the read buffer; a step backwards refills from a quarter
  // buffer before the position, so that short backward steps do not read each time.
  if (ReadBufLen_ == 0 || BufPos_ < ReadBufPos_ || BufPos_ >= ReadBufPos_ + ReadBufLen_) {
    int32_t Start = BufPos_;
    if (ReadBufLen_ > 0 && BufPos_ < ReadBufPos_) Start = std::max(0, BufPos_ - BufferSize_ / 4);
    const int32_t Want = std::min(BufferSize_, TVFileStream::GetSize());
    if (ReadBufAlloc_ < Want) {
      ReadBuf_ = std::make_unique_for_overwrite<uint8_t[]>(Want);  // only the bytes read are used
      ReadBufAlloc_ = Want;
    }
    ReadBufLen_ = 0;
    ReadBufLen_ = ReadFile(Start, ReadBuf_.get(), ReadBufAlloc_);
    ReadBufPos_ = Start;
  }
  const int32_t Off = BufPos_ - ReadBufPos_;
  const int32_t Avail = std::max(0, ReadBufLen_ - Off);  // 0 only when the file shrank behind our back
  int32_t Delivered;
  if (Avail >= Count) {
    std::memcpy(Out, ReadBuf_.get() + Off, Count);
    Delivered = Count;
  } else {
    // 4. Take what the buffer has, then the rest from the file just after the buffer.
    if (Avail > 0) std::memcpy(Out, ReadBuf_.get() + Off, Avail);
    const int32_t Rest = Count - Avail;
    const int32_t Slide = Avail > 0 ? Off / 2 : 0;
    if (Slide <= 0) {
      Delivered = Avail + ReadFile(int64_t{BufPos_} + Avail, Out + Avail, Rest);
    } else {
      // Keep the second half of what was before the position: slide it to the front and refill the tail.
      std::memmove(ReadBuf_.get(), ReadBuf_.get() + Slide, ReadBufLen_ - Slide);
      ReadBufPos_ += Slide;
      ReadBufLen_ -= Slide;
      const int32_t Tail = ReadBufAlloc_ - ReadBufLen_;
      const int32_t FileOffset = ReadBufPos_ + ReadBufLen_;
      if (Rest < Tail) {
        const int32_t Got = ReadFile(FileOffset, ReadBuf_.get() + ReadBufLen_, Tail);
        const int32_t Take = std::min(Rest, Got);
        std::memcpy(Out + Avail, ReadBuf_.get() + ReadBufLen_, Take);
        ReadBufLen_ += Got;
        Delivered = Avail + Take;
      } else {
        const int32_t Got = ReadFile(FileOffset, Out + Avail, Rest);
        const int32_t Keep = std::min(Tail, Got);
        std::memcpy(ReadBuf_.get() + ReadBufLen_, Out + Avail, Keep);
        ReadBufLen_ += Keep;
        Delivered = Avail + Got;
      }
    }
  }
  BufPos_ += Delivered;
  if (Filter != nullptr) Filter->Apply(this, Buf, Delivered);
  return Delivered;
}

void TVBufFileStream::Close() {
  try {
    FlushWriteBuffer();
  } catch (...) {
    // The failure is the caller's news; the bytes are not kept for a second report by the destructor.
    WriteBufLen_ = 0;
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
