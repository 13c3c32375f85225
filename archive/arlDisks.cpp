#include "archive/arlDisks.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "archive/arlBase.h"

namespace {

std::string FolderOfPath(const std::string& Path) {
  const size_t p = Path.rfind(kItemSeparator);
  if (p == std::string::npos) {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
  }
  return p == 0 ? std::string("/") : Path.substr(0, p);
}

}  // namespace

// --- TDiskManager ---------------------------------------------------------------------------------------

bool TDiskManager::CheckArchiveDrive(const std::string& Path) {
  Drive = FolderOfPath(Path);
  struct stat st {};
  if (::stat(Drive.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(Drive.c_str(), R_OK | X_OK) != 0) {
    Owner.DoError(Path, Drive, errNotAccessible);
    return false;
  }
  struct statvfs vfs {};
  if (::statvfs(Drive.c_str(), &vfs) == 0) {
    FreeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
    TotalBytes = static_cast<int64_t>(vfs.f_blocks) * static_cast<int64_t>(vfs.f_frsize);
  }
  DiskNumber = 0;
  return true;
}

// --- TDiskSpannObj --------------------------------------------------------------------------------------

TDiskSpannObj::TDiskSpannObj(TZipCommon& Owner, bool& SharedCancel)
    : TDiskCommon(Owner), SharedCancel(SharedCancel) {
  Owner.ShareCancelFlag(&SharedCancel);
}

TDiskSpannObj::~TDiskSpannObj() { Owner.ShareCancelFlag(nullptr); }

bool TDiskSpannObj::StartsWithZipSignature() {
  int32_t error = 0;
  TFileStream32 s(Owner.ArchiveFile, fmOpenRead | fmShareDenyNone, error);
  uint8_t b[4];
  if (error != 0 || s.Read(b, 4) != 4 || b[0] != 'P' || b[1] != 'K') return false;
  return (b[2] == 3 && b[3] == 4) || (b[2] == 1 && b[3] == 2) || (b[2] == 7 && b[3] == 8);
}

bool TDiskSpannObj::OpenNextDisk(std::unique_ptr<TFileStream32>& Stream) {
  Stream.reset();
  const char* eventName = DiskStep == 0   ? "OnGetZipLastDisk"
                          : DiskStep == 1 ? "OnGetZipFirstDisk"
                                          : "OnGetZipNextDisk";
  const bool assigned = DiskStep == 0   ? static_cast<bool>(Owner.OnGetZipLastDisk)
                        : DiskStep == 1 ? static_cast<bool>(Owner.OnGetZipFirstDisk)
                                        : static_cast<bool>(Owner.OnGetZipNextDisk);
  if (!assigned) {
    Owner.DoError(Owner.ArchiveFile, eventName, errEventNotAssigned);
    SharedCancel = true;
    return false;
  }
  bool found = false;
  for (int32_t tries = 0; tries < kMaxDiskTries && !found; ++tries) {
    if (DiskStep == 0) {
      Owner.Redetect();
      found = (Owner.ZipFlags & zfEndRecord) != 0;
    } else {
      found = StartsWithZipSignature();
    }
    if (found) break;
    bool cancel = true;
    if (DiskStep == 0)
      Owner.OnGetZipLastDisk(&Owner, cancel);
    else if (DiskStep == 1)
      Owner.OnGetZipFirstDisk(&Owner, cancel);
    else
      Owner.OnGetZipNextDisk(&Owner, std::to_string(DiskStep), cancel);
    if (cancel) break;
  }
  if (!found) {
    SharedCancel = true;
    return false;
  }
  ++DiskStep;
  int32_t error = 0;
  Stream = std::make_unique<TFileStream32>(Owner.ArchiveFile, fmOpenRead | fmShareDenyNone, error);
  if (error != 0) {
    Stream.reset();
    Owner.DoError(Owner.ArchiveFile, "", errOpeningFile);
    SharedCancel = true;
    return false;
  }
  ArchiveSize = Stream->Size();
  return true;
}
