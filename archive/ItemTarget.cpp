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

TItemTarget::TItemTarget(std::string Path) : Path(std::move(Path)) {}

TItemTarget::~TItemTarget() {
  if (!Temp.empty()) ::unlink(Temp.c_str());
}

bool TItemTarget::Prepare() {
  std::string dir, name;
  SplitFileName(Path, dir, name);
  if (name.empty()) {
    errno = EISDIR;
    return false;
  }
  if (!dir.empty() && !ForceDirectories(dir)) {
    if (errno == 0) errno = EACCES;
    return false;
  }
  // A short hidden name, so that a long item name cannot make it too long for the folder.
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".~qv%08x", static_cast<unsigned>(random()));
    const std::string candidate = dir + suffix;
    // 0666 lets the process's umask give the file the permissions of any other file it makes.
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      Temp = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TItemTarget::Commit() {
  if (Temp.empty()) {
    errno = ENOENT;
    return false;
  }
  if (::rename(Temp.c_str(), Path.c_str()) != 0) {
    const int error = errno;
    ::unlink(Temp.c_str());
    Temp.clear();
    errno = error;
    return false;
  }
  Temp.clear();
  return true;
}
