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
std::string ShmNameOf(const std::string& mapName) {
  std::string name = "/" + mapName;
  std::replace(name.begin() + 1, name.end(), '/', '_');
  if (name.size() > 250) name.resize(250);
  return name;
}

int64_t RoundUpToStep(int64_t n, int64_t step) { return (n + step - 1) / step * step; }

}  // namespace

TVMemoryMappedStream::TVMemoryMappedStream(const std::string& FileName, int32_t Size, TFileOpenMode Mode,
                                           const std::string& MapName)
    : TVFileStream(TBare{}), MapName(MapName) {
  this->FileName = FileName;
  this->Mode = Mode;
  Writable = Mode == fmCreate || (Mode & 3) != 0;
  try {
    if (Size < 0) FileError("Error in parameters", EINVAL);
    if (FileName.empty()) {
      MapSize = Size;
      this->Size = Size;
      if (!MapName.empty()) {
        ShmName = ShmNameOf(MapName);
        const int access = Writable ? O_RDWR : O_RDONLY;
        Handle = ::shm_open(ShmName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        CreatedShm = Handle >= 0;
        if (!CreatedShm && errno == EEXIST) Handle = ::shm_open(ShmName.c_str(), access | O_CLOEXEC, 0);
        if (Handle < 0) {
          const int err = errno;
          throw EVStream("Error creating file mapping object '" + MapName + "' (" +
                         std::to_string(FileErrorCode(err)) + ")");
        }
        struct stat st;
        if (FileLayer().FStat(Handle, &st) != 0) FileError("Can't create file", errno);
        if (st.st_size < Size) {
          // Sized before it is mapped, so that no access can fault past its end.
          if (!Writable && !CreatedShm) {
            MapSize = this->Size = static_cast<int32_t>(st.st_size);
          } else if (FileLayer().FTruncate(Handle, Size) != 0) {
            FileError("Set size error", errno);
          }
        }
      }
    } else {
      int flags = Mode == fmCreate ? O_RDWR | O_CREAT | O_TRUNC : (Writable ? O_RDWR : O_RDONLY);
      Handle = FileLayer().Open(FileName, flags | O_NONBLOCK, 0666);
      if (Handle < 0) FileError("Can't create file", errno);
      struct stat st;
      if (FileLayer().FStat(Handle, &st) != 0) FileError("Can't create file", errno);
      if (!S_ISREG(st.st_mode)) FileError("Can't create file", S_ISDIR(st.st_mode) ? EISDIR : EACCES);
      if (st.st_size > kMaxStreamFileSize) FileError("File is too large (>= 2Gb)", EFBIG);
      this->Size = static_cast<int32_t>(st.st_size);
      // A read-only view covers the whole file; a writable one has room for Size bytes at least.
      MapSize = Writable ? std::max<int64_t>(Size, st.st_size) : st.st_size;
      if (Writable && MapSize > st.st_size && FileLayer().FTruncate(Handle, MapSize) != 0)
        FileError("Set size error", errno);
    }
    MapView();
  } catch (...) {
    Finish();
    throw;
  }
}

TVMemoryMappedStream::~TVMemoryMappedStream() {
  const std::string failure = Finish();
  if (!failure.empty()) ReportLostOutput(failure);
}

void TVMemoryMappedStream::Close() {
  if (Finished) return;
  const std::string failure = Finish();
  if (!failure.empty()) throw EVFileStream(failure, FileErrorCode(EIO));
}

std::string TVMemoryMappedStream::Finish() {
  if (Finished) return std::string();
  Finished = true;
  std::string failure;
  if (View != nullptr) {
    const bool flushed = !Writable || ::msync(View, MapSize, MS_SYNC) == 0;
    const bool unmapped = ::munmap(View, MapSize) == 0;
    if (!flushed || !unmapped)
      failure = std::string("Class ") + ClassName() + " (file \"" + FileName + "\"): Flush error";
    View = nullptr;
  }
  if (Handle >= 0) {
    // Cut off the rest of the last 64 KB step, so that the file ends where the stream does.
    if (ShmName.empty() && !FileName.empty() && Writable && FileLayer().FTruncate(Handle, Size) != 0 &&
        failure.empty())
      failure = std::string("Class ") + ClassName() + " (file \"" + FileName + "\"): Set size error";
    FileLayer().Close(Handle);
    Handle = -1;
  }
  if (CreatedShm) {
    ::shm_unlink(ShmName.c_str());
    CreatedShm = false;
  }
  return failure;
}

void TVMemoryMappedStream::MapView() {
  if (MapSize == 0) {
    View = nullptr;  // nothing to map until the first write
    return;
  }
  const int prot = Writable ? PROT_READ | PROT_WRITE : PROT_READ;
  const int flags = Handle >= 0 ? MAP_SHARED : MAP_SHARED | MAP_ANONYMOUS;
  void* p = ::mmap(nullptr, MapSize, prot, flags, Handle, 0);
  if (p == MAP_FAILED) {
    const int err = errno;
    View = nullptr;
    if (Handle < 0 || !ShmName.empty())
      throw EVStream("Error creating file mapping object '" + MapName + "' (" +
                     std::to_string(FileErrorCode(err)) + ")");
    throw EVStream("Error mapping file \"" + FileName + "\" (" + std::to_string(FileErrorCode(err)) + ")");
  }
  View = static_cast<uint8_t*>(p);
}

void TVMemoryMappedStream::Unmap() {
  if (View != nullptr) {
    ::munmap(View, MapSize);
    View = nullptr;
  }
}

void TVMemoryMappedStream::Remap(int64_t N) {
  const int64_t newSize = RoundUpToStep(N, kMapStep);
  if (newSize == MapSize) return;
  if (FileName.empty()) FileError("Set size error", EINVAL);  // shared memory cannot grow or shrink
  if (!Writable) FileError("File write error", EACCES);
  if (newSize > kMaxStreamFileSize + 1) FileError("File is too large (>= 2Gb)", EFBIG);
  if (View != nullptr && ::msync(View, MapSize, MS_SYNC) != 0) FileError("Flush error", errno);
  Unmap();
  // The file is sized first: the new view never reaches past its end. Bytes past the logical size are cut
  // off when the stream is finished.
  const int64_t oldMap = MapSize;
  if (FileLayer().FTruncate(Handle, std::max<int64_t>(newSize, Size)) != 0) {
    const int err = errno;
    MapView();  // the old view again, so the stream stays usable
    FileError("Set size error", err);
  }
  MapSize = newSize;
  try {
    MapView();
  } catch (...) {
    MapSize = oldMap;
    if (FileLayer().FTruncate(Handle, std::max<int64_t>(oldMap, Size)) == 0) MapView();
    throw;
  }
}

void TVMemoryMappedStream::CheckOpen() const {
  if (Finished) FileError("Method not applicable", EBADF);
}

void TVMemoryMappedStream::Seek(int32_t Pos) {
  CheckOpen();
  if (Pos < 0 || Pos > Size) FileError("Seek error (" + std::to_string(Pos) + ")", EINVAL);
  Position = Pos;
}

void TVMemoryMappedStream::SetSize(int32_t NewSize) {
  CheckOpen();
  if (NewSize == Size) return;
  if (NewSize < 0) FileError("Set size error", EINVAL);
  Remap(NewSize);
  Size = NewSize;
  if (Position > NewSize) Position = NewSize;
}

void TVMemoryMappedStream::Write(const void* Buf, int32_t Count) {
  CheckOpen();
  if (Count <= 0) return;
  if (!Writable) FileError("File write error", EACCES);
  if (Count > INT32_MAX - Position) FileError("File write error", EFBIG);
  const int32_t end = Position + Count;
  if (end > Size) {
    if (end > MapSize) Remap(end);
    Size = end;
  }
  std::memcpy(View + Position, Buf, Count);
  Position = end;
}

int32_t TVMemoryMappedStream::Read(void* Buf, int32_t Count) {
  CheckOpen();
  if (Count <= 0) return 0;
  if (Position > Size) FileError("File read error", EINVAL);
  const int32_t n = std::min(Count, Size - Position);
  if (n <= 0) return 0;
  std::memcpy(Buf, View + Position, n);
  Position += n;
  if (Filter != nullptr) Filter->Apply(this, Buf, n);
  return n;
}

bool TVMemoryMappedStream::FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes) {
  CheckOpen();
  if (Filter != nullptr) return TVStream::FindBytes(Pattern, PatLen, MaxBytes);
  if (PatLen < 1) return false;
  if (Position > Size) FileError("File read error", EINVAL);
  const int32_t span = std::min(Size - Position, std::max(MaxBytes, 0));
  if (span <= 0) return false;
  const int32_t at = FindMem(Pattern, PatLen, View + Position, span);
  if (at < 0) return false;
  Position += at;
  return true;
}

bool TVMemoryMappedStream::Flush() {
  if (Finished || View == nullptr) return !Finished;
  return ::msync(View, MapSize, MS_SYNC) == 0;
}
