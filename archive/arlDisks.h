// The drive check that opens every extraction run, and the disk steps of a spanned ZIP archive.
//
// TDiskManager checks that the archive's folder can be reached before a run. Only reading happens
// in a run, so nothing is written to the archive's medium to probe it: a read-only medium is searched
// like any other. The drive information of the run (the folder, its file system's free and total bytes)
// is kept for the owner.
//
// TDiskSpannObj walks the disks of a spanned ZIP archive: the last disk (the end record) first, then the
// first and the following ones, each asked for through the owner's disk events. Without an assigned
// event the step reports "Required event not assigned" with the event's name and fails.
//
// Both report through the owning component's DoError; nothing here raises. They live as long as their
// owner and run on its thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TZipCommon;
class TStream32;
class TFileStream32;

class TDiskCommon {
 public:
  explicit TDiskCommon(TZipCommon& Owner) : Owner_(Owner) {}
  virtual ~TDiskCommon() = default;

 protected:
  TZipCommon& Owner_;
};

class TDiskManager : public TDiskCommon {
 public:
  using TDiskCommon::TDiskCommon;
  // The folder of Path (the current folder for a bare name) must exist and be readable; otherwise
  // "is not accessible" is reported with the folder and the answer is false.
  bool CheckArchiveDrive(const std::string& Path);

  std::string Drive;  // the folder checked
  int64_t FreeBytes = 0;
  int64_t TotalBytes = 0;
  // The number of a "PKBACK# nnn" label; labels do not exist here, so it stays 0.
  int32_t DiskNumber = 0;
};

class TDiskSpannObj : public TDiskCommon {
 public:
  // Owner's cancel flag is pointed at SharedCancel for the life of this object.
  TDiskSpannObj(TZipCommon& Owner, bool& SharedCancel);
  ~TDiskSpannObj() override;

  // Frees Stream and moves to the next disk (step 0: the last disk, 1: the first, 2 and on: the next
  // ones); on success Stream is the archive file opened again for reading. On failure the shared cancel
  // flag is set.
  bool OpenNextDisk(std::unique_ptr<TFileStream32>& Stream);

  // 0 before the last disk, 1 before the first, 2 and more for the following ones.
  int32_t DiskStep = 0;
  int64_t ArchiveSize = 0;
  // The attempts of one step at most, so that a handler that keeps answering "go on" ends.
  static constexpr int32_t kMaxDiskTries = 100;

 private:
  bool StartsWithZipSignature();
  bool& SharedCancel_;
};
