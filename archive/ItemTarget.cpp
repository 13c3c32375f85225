#include "archive/ItemTarget.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "archive/arlGbls.h"
#include "core/VFileSys.h"

namespace {

// Attempts at a free temporary name before giving up (each name carries 32 random bits).
constexpr int kMaxNameAttempts = 100;

}  // namespace

TItemTarget::TItemTarget(std::string Path) : Path_(std::move(Path)) {}

TItemTarget::~TItemTarget() {
  if (!Temp_.empty()) ::unlink(Temp_.c_str());
}

bool TItemTarget::Prepare() {
  std::string Dir, Name;
  SplitFileName(Path_, Dir, Name);
  if (Name.empty()) {
    errno = EISDIR;
    return false;
  }
  if (!Dir.empty() && !ForceDirectories(Dir)) {
    if (errno == 0) errno = EACCES;
    return false;
  }
  // A short hidden name, so that a long item name cannot make it too long for the folder.
  std::random_device Seed;
  std::mt19937 Random(Seed());
  for (int Attempt = 0; Attempt < kMaxNameAttempts; ++Attempt) {
    char Suffix[16];
    std::snprintf(Suffix, sizeof Suffix, ".~qv%08x", static_cast<unsigned>(Random()));
    const std::string Candidate = Dir + Suffix;
    // 0666 lets the process's umask give the file the permissions of any other file it makes.
    const int Fd = ::open(Candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd >= 0) {
      ::close(Fd);
      Temp_ = Candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TItemTarget::Commit() {
  if (Temp_.empty()) {
    errno = ENOENT;
    return false;
  }
  if (::rename(Temp_.c_str(), Path_.c_str()) != 0) {
    const int Error = errno;
    ::unlink(Temp_.c_str());
    Temp_.clear();
    errno = Error;
    return false;
  }
  Temp_.clear();
  return true;
}
