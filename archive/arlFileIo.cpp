#include "archive/arlFileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "archive/arlBase.h"
#include "core/FileLayer.h"

THandle CreateFileChecked(TZipCommon* Component, const std::string& Name, int Flags, int Mode) {
  const int Fd = FileLayer().Open(Name, Flags, static_cast<mode_t>(Mode));
  if (Fd < 0) {
    if (Component) Component->DoError(Name, "", errOpeningFile);
    return kInvalidHandle;
  }
  return Fd;
}

THandle OpenOutputFile(TZipCommon* Component, const std::string& Name, bool Exclusive) {
  const int Flags = O_WRONLY | O_CREAT | (Exclusive ? O_EXCL : O_TRUNC);
  return CreateFileChecked(Component, Name, Flags, 0644);
}

THandle OpenExistingForAppend(TZipCommon* Component, const std::string& Name) {
  struct stat St {};
  if (::stat(Name.c_str(), &St) == 0 && !(St.st_mode & S_IWUSR)) ::chmod(Name.c_str(), St.st_mode | S_IWUSR);
  const THandle H = CreateFileChecked(Component, Name, O_WRONLY, 0);
  if (H != kInvalidHandle) SeekFile(H, 0, soEnd);
  return H;
}

int64_t FilePosition(THandle Handle) { return static_cast<int64_t>(::lseek(Handle, 0, SEEK_CUR)); }

bool SeekFile(THandle Handle, int64_t Distance, int Method) {
  const int Whence = Method == soBeginning ? SEEK_SET : Method == soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(Handle, static_cast<off_t>(Distance), Whence) >= 0;
}

int64_t FileSizeOf(THandle Handle) {
  struct stat St {};
  if (FileLayer().FStat(Handle, &St) != 0) return 0;
  return static_cast<int64_t>(St.st_size);
}

uint32_t UnixToDosTime(int64_t Seconds) {
  const time_t T = static_cast<time_t>(Seconds);
  struct tm Lt {};
  if (!localtime_r(&T, &Lt)) return 0;
  const int Year = Lt.tm_year + 1900;
  // A DOS stamp holds the years 1980 to 2107 in 7 bits.
  if (Year < 1980 || Year > 2107) return 0;
  return (static_cast<uint32_t>(Year - 1980) << 25) | (static_cast<uint32_t>(Lt.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(Lt.tm_mday) << 16) | (static_cast<uint32_t>(Lt.tm_hour) << 11) |
         (static_cast<uint32_t>(Lt.tm_min) << 5) | static_cast<uint32_t>(Lt.tm_sec / 2);
}

uint32_t FileDosTime(THandle Handle, int Which) {
  struct stat St {};
  if (FileLayer().FStat(Handle, &St) != 0) return 0;
  const time_t T = Which == 1 ? St.st_ctime : Which == 2 ? St.st_atime : St.st_mtime;
  return UnixToDosTime(static_cast<int64_t>(T));
}

int32_t FileRead(THandle Handle, void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const off_t Off = ::lseek(Handle, 0, SEEK_CUR);
  if (Off < 0) return -1;
  const ssize_t N = FileLayer().PRead(Handle, Buffer, static_cast<size_t>(Count), Off);
  if (N < 0) return -1;
  ::lseek(Handle, Off + N, SEEK_SET);
  return static_cast<int32_t>(N);
}

int32_t FileWrite(THandle Handle, const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const off_t Off = ::lseek(Handle, 0, SEEK_CUR);
  if (Off < 0) return -1;
  const ssize_t N = FileLayer().PWrite(Handle, Buffer, static_cast<size_t>(Count), Off);
  if (N < 0) return -1;
  ::lseek(Handle, Off + N, SEEK_SET);
  return static_cast<int32_t>(N);
}

bool FileClose(THandle Handle) { return Handle != kInvalidHandle && FileLayer().Close(Handle) == 0; }
