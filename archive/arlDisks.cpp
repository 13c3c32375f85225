#include "archive/arlDisks.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "archive/arlBase.h"

namespace {

std::string FolderOfPath(const std::string& Path) {
  const size_t P = Path.rfind(kItemSeparator);
  if (P == std::string::npos) {
    char Buf[4096];
    return ::getcwd(Buf, sizeof Buf) ? std::string(Buf) : std::string(".");
  }
  return P == 0 ? std::string("/") : Path.substr(0, P);
}

}  // namespace

// --- TDiskManager ---------------------------------------------------------------------------------------

bool TDiskManager::CheckArchiveDrive(const std::string& Path) {
  Drive = FolderOfPath(Path);
  struct stat St {};
  if (::stat(Drive.c_str(), &St) != 0 || !S_ISDIR(St.st_mode) || ::access(Drive.c_str(), R_OK | X_OK) != 0) {
    Owner_.DoError(Path, Drive, errNotAccessible);
    return false;
  }
  struct statvfs Vfs {};
  if (::statvfs(Drive.c_str(), &Vfs) == 0) {
    FreeBytes = static_cast<int64_t>(Vfs.f_bavail) * static_cast<int64_t>(Vfs.f_frsize);
    TotalBytes = static_cast<int64_t>(Vfs.f_blocks) * static_cast<int64_t>(Vfs.f_frsize);
  }
  DiskNumber = 0;
  return true;
}

// --- TDiskSpannObj --------------------------------------------------------------------------------------

TDiskSpannObj::TDiskSpannObj(TZipCommon& Owner, bool& SharedCancel)
    : TDiskCommon(Owner), SharedCancel_(SharedCancel) {
  Owner.ShareCancelFlag(&SharedCancel);
}

TDiskSpannObj::~TDiskSpannObj() { Owner_.ShareCancelFlag(nullptr); }

bool TDiskSpannObj::StartsWithZipSignature() {
  int32_t Error = 0;
  TFileStream32 S(Owner_.ArchiveFile, fmOpenRead | fmShareDenyNone, Error);
  uint8_t B[4];
  if (Error != 0 || S.Read(B, 4) != 4 || B[0] != 'P' || B[1] != 'K') return false;
  return (B[2] == 3 && B[3] == 4) || (B[2] == 1 && B[3] == 2) || (B[2] == 7 && B[3] == 8);
}

bool TDiskSpannObj::OpenNextDisk(std::unique_ptr<TFileStream32>& Stream) {
  Stream.reset();
  const char* EventName = DiskStep == 0   ? "OnGetZipLastDisk"
                          : DiskStep == 1 ? "OnGetZipFirstDisk"
                                          : "OnGetZipNextDisk";
  const bool Assigned = DiskStep == 0   ? static_cast<bool>(Owner_.OnGetZipLastDisk)
                        : DiskStep == 1 ? static_cast<bool>(Owner_.OnGetZipFirstDisk)
                                        : static_cast<bool>(Owner_.OnGetZipNextDisk);
  if (!Assigned) {
    Owner_.DoError(Owner_.ArchiveFile, EventName, errEventNotAssigned);
    SharedCancel_ = true;
    return false;
  }
  bool Found = false;
  for (int32_t Tries = 0; Tries < kMaxDiskTries && !Found; ++Tries) {
    if (DiskStep == 0) {
      Owner_.Redetect();
      Found = (Owner_.ZipFlags & zfEndRecord) != 0;
    } else {
      Found = StartsWithZipSignature();
    }
    if (Found) break;
    bool Cancel = true;
    if (DiskStep == 0)
      Owner_.OnGetZipLastDisk(&Owner_, Cancel);
    else if (DiskStep == 1)
      Owner_.OnGetZipFirstDisk(&Owner_, Cancel);
    else
      Owner_.OnGetZipNextDisk(&Owner_, std::to_string(DiskStep), Cancel);
    if (Cancel) break;
  }
  if (!Found) {
    SharedCancel_ = true;
    return false;
  }
  ++DiskStep;
  int32_t Error = 0;
  Stream = std::make_unique<TFileStream32>(Owner_.ArchiveFile, fmOpenRead | fmShareDenyNone, Error);
  if (Error != 0) {
    Stream.reset();
    Owner_.DoError(Owner_.ArchiveFile, "", errOpeningFile);
    SharedCancel_ = true;
    return false;
  }
  ArchiveSize = Stream->Size();
  return true;
}
