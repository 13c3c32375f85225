// A file layer that counts, for each file by its whole path, how often a search opens it and looks at it
// (an fstat of a descriptor opened on it, a statx of its name), from every thread. A path opened relative to
// a folder's descriptor is named by the folder's path, "/" and the name.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

#include "core/FileLayer.h"

class TPerFileLayer : public TPosixFileLayer {
 public:
  struct TCalls {
    int Opens = 0;
    int Looks = 0;
    bool operator==(const TCalls&) const = default;
    friend std::ostream& operator<<(std::ostream& Out, const TCalls& C) {
      return Out << C.Opens << " opens, " << C.Looks << " looks";
    }
  };

  int Open(const std::string& Path, int Flags, mode_t Mode) override {
    std::lock_guard<std::mutex> Guard(Lock_);
    const int Fd = TPosixFileLayer::Open(Path, Flags, Mode);
    Opened(PathAt(AT_FDCWD, Path), Fd);
    return Fd;
  }
  int OpenAt(int Dirfd, const std::string& Name, int Flags, mode_t Mode) override {
    std::lock_guard<std::mutex> Guard(Lock_);
    const int Fd = TPosixFileLayer::OpenAt(Dirfd, Name, Flags, Mode);
    Opened(PathAt(Dirfd, Name), Fd);
    return Fd;
  }
  int Close(int Fd) override {
    // Forgotten before the number may be given out again.
    std::lock_guard<std::mutex> Guard(Lock_);
    Names_.erase(Fd);
    return TPosixFileLayer::Close(Fd);
  }
  int FStat(int Fd, struct stat* St) override {
    {
      std::lock_guard<std::mutex> Guard(Lock_);
      const auto It = Names_.find(Fd);
      if (It != Names_.end()) ++Calls_[It->second].Looks;
    }
    return TPosixFileLayer::FStat(Fd, St);
  }
  int StatAt(int Dirfd, const std::string& Name, int Flags, unsigned Mask, struct statx* Sx) override {
    {
      std::lock_guard<std::mutex> Guard(Lock_);
      ++Calls_[PathAt(Dirfd, Name)].Looks;
    }
    return TPosixFileLayer::StatAt(Dirfd, Name, Flags, Mask, Sx);
  }

  // The calls per path so far.
  std::map<std::string, TCalls> Calls() const {
    std::lock_guard<std::mutex> Guard(Lock_);
    return Calls_;
  }
  // The calls of the paths that start with Prefix.
  std::map<std::string, TCalls> CallsBelow(const std::string& Prefix) const {
    std::map<std::string, TCalls> Below;
    for (const auto& [Path, Calls] : Calls())
      if (Path.compare(0, Prefix.size(), Prefix) == 0) Below[Path] = Calls;
    return Below;
  }

 private:
  static std::string PathAt(int Dirfd, const std::string& Name) {
    if (!Name.empty() && Name[0] == '/') return Name;
    char Folder[PATH_MAX];
    ssize_t N = -1;
    if (Dirfd == AT_FDCWD) {
      if (::getcwd(Folder, sizeof Folder) != nullptr) N = static_cast<ssize_t>(std::string(Folder).size());
    } else {
      N = ::readlink(("/proc/self/fd/" + std::to_string(Dirfd)).c_str(), Folder, sizeof Folder - 1);
    }
    return (N > 0 ? std::string(Folder, static_cast<size_t>(N)) : std::string("?")) + "/" + Name;
  }
  void Opened(const std::string& Path, int Fd) {
    ++Calls_[Path].Opens;
    if (Fd >= 0) Names_[Fd] = Path;
  }

  mutable std::mutex Lock_;
  std::map<std::string, TCalls> Calls_;
  std::map<int, std::string> Names_;  // the open descriptors of files
};
