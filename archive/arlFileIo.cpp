#include "archive/arlFileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "archive/arlBase.h"
#include "core/FileLayer.h"

THandle CreateFileChecked(TZipCommon* Component, const std::string& Name, int Flags, int Mode) {
  const int fd = FileLayer().Open(Name, Flags, static_cast<mode_t>(Mode));
  if (fd < 0) {
    if (Component) Component->DoError(Name, "", errOpeningFile);
    return kInvalidHandle;
  }
  return fd;
}

THandle OpenOutputFile(TZipCommon* Component, const std::string& Name, bool Exclusive) {
  const int flags = O_WRONLY | O_CREAT | (Exclusive ? O_EXCL : O_TRUNC);
  return CreateFileChecked(Component, Name, flags, 0644);
}

THandle OpenExistingForAppend(TZipCommon* Component, const std::string& Name) {
  struct stat st {};
  if (::stat(Name.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR)) ::chmod(Name.c_str(), st.st_mode | S_IWUSR);
  const THandle h = CreateFileChecked(Component, Name, O_WRONLY, 0);
  if (h != kInvalidHandle) SeekFile(h, 0, soEnd);
  return h;
}

int64_t FilePosition(THandle Handle) { return static_cast<int64_t>(::lseek(Handle, 0, SEEK_CUR)); }

bool SeekFile(THandle Handle, int64_t Distance, int Method) {
  const int whence = Method == soBeginning ? SEEK_SET : Method == soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(Handle, static_cast<off_t>(Distance), whence) >= 0;
}

int64_t FileSizeOf(THandle Handle) {
  struct stat st {};
  if (FileLayer().FStat(Handle, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

uint32_t UnixToDosTime(int64_t Seconds) {
  const time_t t = static_cast<time_t>(Seconds);
  struct tm lt {};
  if (!localtime_r(&t, &lt)) return 0;
  const int year = lt.tm_year + 1900;
  // A DOS stamp holds the years 1980 to 2107 in 7 bits.
  if (year < 1980 || year > 2107) return 0;
  return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(lt.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(lt.tm_mday) << 16) | (static_cast<uint32_t>(lt.tm_hour) << 11) |
         (static_cast<uint32_t>(lt.tm_min) << 5) | static_cast<uint32_t>(lt.tm_sec / 2);
}

uint32_t FileDosTime(THandle Handle, int Which) {
  struct stat st {};
  if (FileLayer().FStat(Handle, &st) != 0) return 0;
  const time_t t = Which == 1 ? st.st_ctime : Which == 2 ? st.st_atime : st.st_mtime;
  return UnixToDosTime(static_cast<int64_t>(t));
}

int32_t FileRead(THandle Handle, void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const off_t off = ::lseek(Handle, 0, SEEK_CUR);
  if (off < 0) return -1;
  const ssize_t n = FileLayer().PRead(Handle, Buffer, static_cast<size_t>(Count), off);
  if (n < 0) return -1;
  ::lseek(Handle, off + n, SEEK_SET);
  return static_cast<int32_t>(n);
}

int32_t FileWrite(THandle Handle, const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const off_t off = ::lseek(Handle, 0, SEEK_CUR);
  if (off < 0) return -1;
  const ssize_t n = FileLayer().PWrite(Handle, Buffer, static_cast<size_t>(Count), off);
  if (n < 0) return -1;
  ::lseek(Handle, off + n, SEEK_SET);
  return static_cast<int32_t>(n);
}

bool FileClose(THandle Handle) { return Handle != kInvalidHandle && FileLayer().Close(Handle) == 0; }
