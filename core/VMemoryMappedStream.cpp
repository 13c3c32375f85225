#include "core/VMemoryMappedStream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/FileLayer.h"
#include "core/MemUtils.h"

namespace {

// The shared-memory object name for a map name: one leading "/", no other "/" (the system's rule), at
// most 250 characters.
std::string ShmNameOf(const std::string& MapName) {
  std::string Name = "/" + MapName;
  std::replace(Name.begin() + 1, Name.end(), '/', '_');
  if (Name.size() > 250) Name.resize(250);
  return Name;
}

int64_t RoundUpToStep(int64_t N, int64_t Step) { return (N + Step - 1) / Step * Step; }

}  // namespace

TVMemoryMappedStream::TVMemoryMappedStream(const std::string& FileName, int32_t Size, TFileOpenMode Mode,
                                           const std::string& MapName)
    : TVFileStream(TBare{}), MapName_(MapName) {
  this->FileName_ = FileName;
  this->Mode_ = Mode;
  Writable_ = Mode == fmCreate || (Mode & 3) != 0;
  try {
    if (Size < 0) FileError("Error in parameters", EINVAL);
    if (FileName.empty()) {
      MapSize_ = Size;
      this->Size_ = Size;
      if (!MapName.empty()) {
        ShmName_ = ShmNameOf(MapName);
        const int Access = Writable_ ? O_RDWR : O_RDONLY;
        Handle_ = ::shm_open(ShmName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        CreatedShm_ = Handle_ >= 0;
        if (!CreatedShm_ && errno == EEXIST) Handle_ = ::shm_open(ShmName_.c_str(), Access | O_CLOEXEC, 0);
        if (Handle_ < 0) {
          const int Err = errno;
          throw EVStream("Error creating file mapping object '" + MapName + "' (" +
                         std::to_string(FileErrorCode(Err)) + ")");
        }
        struct stat St;
        if (FileLayer().FStat(Handle_, &St) != 0) FileError("Can't create file", errno);
        if (St.st_size < Size) {
          // Sized before it is mapped, so that no access can fault past its end.
          if (!Writable_ && !CreatedShm_) {
            MapSize_ = this->Size_ = static_cast<int32_t>(St.st_size);
          } else if (FileLayer().FTruncate(Handle_, Size) != 0) {
            FileError("Set size error", errno);
          }
        }
      }
    } else {
      int Flags = Mode == fmCreate ? O_RDWR | O_CREAT | O_TRUNC : (Writable_ ? O_RDWR : O_RDONLY);
      Handle_ = FileLayer().Open(FileName, Flags | O_NONBLOCK, 0666);
      if (Handle_ < 0) FileError("Can't create file", errno);
      struct stat St;
      if (FileLayer().FStat(Handle_, &St) != 0) FileError("Can't create file", errno);
      if (!S_ISREG(St.st_mode)) FileError("Can't create file", S_ISDIR(St.st_mode) ? EISDIR : EACCES);
      if (St.st_size > kMaxStreamFileSize) FileError("File is too large (>= 2Gb)", EFBIG);
      this->Size_ = static_cast<int32_t>(St.st_size);
      // A read-only view covers the whole file; a writable one has room for Size bytes at least.
      MapSize_ = Writable_ ? std::max<int64_t>(Size, St.st_size) : St.st_size;
      if (Writable_ && MapSize_ > St.st_size && FileLayer().FTruncate(Handle_, MapSize_) != 0)
        FileError("Set size error", errno);
    }
    MapView();
  } catch (...) {
    Finish();
    throw;
  }
}

TVMemoryMappedStream::~TVMemoryMappedStream() {
  const std::string Failure = Finish();
  if (!Failure.empty()) ReportLostOutput(Failure);
}

void TVMemoryMappedStream::Close() {
  if (Finished_) return;
  const std::string Failure = Finish();
  if (!Failure.empty()) throw EVFileStream(Failure, FileErrorCode(EIO));
}

std::string TVMemoryMappedStream::Finish() {
  if (Finished_) return std::string();
  Finished_ = true;
  std::string Failure;
  if (View_ != nullptr) {
    const bool Flushed = !Writable_ || ::msync(View_, MapSize_, MS_SYNC) == 0;
    const bool Unmapped = ::munmap(View_, MapSize_) == 0;
    if (!Flushed || !Unmapped)
      Failure = std::string("Class ") + ClassName() + " (file \"" + FileName_ + "\"): Flush error";
    View_ = nullptr;
  }
  if (Handle_ >= 0) {
    // Cut off the rest of the last 64 KB step, so that the file ends where the stream does.
    if (ShmName_.empty() && !FileName_.empty() && Writable_ && FileLayer().FTruncate(Handle_, Size_) != 0 &&
        Failure.empty())
      Failure = std::string("Class ") + ClassName() + " (file \"" + FileName_ + "\"): Set size error";
    FileLayer().Close(Handle_);
    Handle_ = -1;
  }
  if (CreatedShm_) {
    ::shm_unlink(ShmName_.c_str());
    CreatedShm_ = false;
  }
  return Failure;
}

void TVMemoryMappedStream::MapView() {
  if (MapSize_ == 0) {
    View_ = nullptr;  // nothing to map until the first write
    return;
  }
  const int Prot = Writable_ ? PROT_READ | PROT_WRITE : PROT_READ;
  const int Flags = Handle_ >= 0 ? MAP_SHARED : MAP_SHARED | MAP_ANONYMOUS;
  void* P = ::mmap(nullptr, MapSize_, Prot, Flags, Handle_, 0);
  if (P == MAP_FAILED) {
    const int Err = errno;
    View_ = nullptr;
    if (Handle_ < 0 || !ShmName_.empty())
      throw EVStream("Error creating file mapping object '" + MapName_ + "' (" +
                     std::to_string(FileErrorCode(Err)) + ")");
    throw EVStream("Error mapping file \"" + FileName_ + "\" (" + std::to_string(FileErrorCode(Err)) + ")");
  }
  View_ = static_cast<uint8_t*>(P);
}

void TVMemoryMappedStream::Unmap() {
  if (View_ != nullptr) {
    ::munmap(View_, MapSize_);
    View_ = nullptr;
  }
}

void TVMemoryMappedStream::Remap(int64_t N) {
  const int64_t NewSize = RoundUpToStep(N, kMapStep);
  if (NewSize == MapSize_) return;
  if (FileName_.empty()) FileError("Set size error", EINVAL);  // shared memory cannot grow or shrink
  if (!Writable_) FileError("File write error", EACCES);
  if (NewSize > kMaxStreamFileSize + 1) FileError("File is too large (>= 2Gb)", EFBIG);
  if (View_ != nullptr && ::msync(View_, MapSize_, MS_SYNC) != 0) FileError("Flush error", errno);
  Unmap();
  // The file is sized first: the new view never reaches past its end. Bytes past the logical size are cut
  // off when the stream is finished.
  const int64_t OldMap = MapSize_;
  if (FileLayer().FTruncate(Handle_, std::max<int64_t>(NewSize, Size_)) != 0) {
    const int Err = errno;
    MapView();  // the old view again, so the stream stays usable
    FileError("Set size error", Err);
  }
  MapSize_ = NewSize;
  try {
    MapView();
  } catch (...) {
    MapSize_ = OldMap;
    if (FileLayer().FTruncate(Handle_, std::max<int64_t>(OldMap, Size_)) == 0) MapView();
    throw;
  }
}

void TVMemoryMappedStream::CheckOpen() const {
  if (Finished_) FileError("Method not applicable", EBADF);
}

void TVMemoryMappedStream::Seek(int32_t Pos) {
  CheckOpen();
  if (Pos < 0 || Pos > Size_) FileError("Seek error (" + std::to_string(Pos) + ")", EINVAL);
  Position_ = Pos;
}

void TVMemoryMappedStream::SetSize(int32_t NewSize) {
  CheckOpen();
  if (NewSize == Size_) return;
  if (NewSize < 0) FileError("Set size error", EINVAL);
  Remap(NewSize);
  Size_ = NewSize;
  if (Position_ > NewSize) Position_ = NewSize;
}

void TVMemoryMappedStream::Write(const void* Buf, int32_t Count) {
  CheckOpen();
  if (Count <= 0) return;
  if (!Writable_) FileError("File write error", EACCES);
  if (Count > INT32_MAX - Position_) FileError("File write error", EFBIG);
  const int32_t End = Position_ + Count;
  if (End > Size_) {
    if (End > MapSize_) Remap(End);
    Size_ = End;
  }
  std::memcpy(View_ + Position_, Buf, Count);
  Position_ = End;
}

int32_t TVMemoryMappedStream::Read(void* Buf, int32_t Count) {
  CheckOpen();
  if (Count <= 0) return 0;
  if (Position_ > Size_) FileError("File read error", EINVAL);
  const int32_t N = std::min(Count, Size_ - Position_);
  if (N <= 0) return 0;
  std::memcpy(Buf, View_ + Position_, N);
  Position_ += N;
  if (Filter != nullptr) Filter->Apply(this, Buf, N);
  return N;
}

bool TVMemoryMappedStream::FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes) {
  CheckOpen();
  if (Filter != nullptr) return TVStream::FindBytes(Pattern, PatLen, MaxBytes);
  if (PatLen < 1) return false;
  if (Position_ > Size_) FileError("File read error", EINVAL);
  const int32_t Span = std::min(Size_ - Position_, std::max(MaxBytes, 0));
  if (Span <= 0) return false;
  const int32_t At = FindMem(Pattern, PatLen, View_ + Position_, Span);
  if (At < 0) return false;
  Position_ += At;
  return true;
}

bool TVMemoryMappedStream::Flush() {
  if (Finished_ || View_ == nullptr) return !Finished_;
  return ::msync(View_, MapSize_, MS_SYNC) == 0;
}
