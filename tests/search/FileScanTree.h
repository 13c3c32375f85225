// Helpers of the file scanner's tests: a folder tree built in a fresh temporary folder, and a log of
// every event a scanner raises.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "search/FileScan.h"

// A fresh folder under $TMPDIR (default /tmp), removed with everything in it at the end of the scope.
class TScanTree {
 public:
  TScanTree() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/scry-scan-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) Root = pattern;
  }
  ~TScanTree() { RemoveTree(Root); }
  TScanTree(const TScanTree&) = delete;
  TScanTree& operator=(const TScanTree&) = delete;

  // The path of Rel below the root.
  std::string Path(const std::string& Rel) const { return Rel.empty() ? Root : Root + "/" + Rel; }
  std::u16string WidePath(const std::string& Rel) const { return Utf8ToUtf16(Path(Rel)); }

  // Writes a file (its folders made first) and answers its path.
  std::string File(const std::string& Rel, const std::string& Content) const {
    MakeFolders(Rel);
    const std::string path = Path(Rel);
    std::ofstream(path, std::ios::binary) << Content;
    return path;
  }
  void Folder(const std::string& Rel) const { MakeFolders(Rel + "/"); }
  // Sets the last-write time of Rel to Seconds after 1970-01-01 UTC.
  void SetTime(const std::string& Rel, time_t Seconds) const {
    const timespec times[2] = {{Seconds, 0}, {Seconds, 0}};
    utimensat(AT_FDCWD, Path(Rel).c_str(), times, 0);
  }

  // A path list for TFileScanner::Search from space-separated entries: each a path below the root ("."
  // for the root itself), or after "=" a path taken as typed.
  std::u16string Roots(const std::string& Entries) const {
    std::string paths;
    for (size_t from = 0; from <= Entries.size();) {
      size_t to = Entries.find(' ', from);
      if (to == std::string::npos) to = Entries.size();
      const std::string entry = Entries.substr(from, to - from);
      if (!paths.empty()) paths += ";";
      paths += entry.rfind('=', 0) == 0 ? entry.substr(1) : Path(entry == "." ? "" : entry);
      from = to + 1;
    }
    return Utf8ToUtf16(paths);
  }

  // The part of Path below the root ("sub/d.txt").
  std::string Relative(const std::u16string& Path) const {
    const std::string p = Utf16ToUtf8(Path);
    return p.compare(0, Root.size() + 1, Root + "/") == 0 ? p.substr(Root.size() + 1) : p;
  }

  std::string Root;

 private:
  void MakeFolders(const std::string& Rel) const {
    for (size_t slash = Rel.find('/'); slash != std::string::npos; slash = Rel.find('/', slash + 1))
      mkdir(Path(Rel.substr(0, slash)).c_str(), 0755);
  }
  static void RemoveTree(const std::string& Dir) {
    if (Dir.empty()) return;
    if (DIR* d = opendir(Dir.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = Dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
          RemoveTree(path);
        } else {
          unlink(path.c_str());
        }
      }
      closedir(d);
    }
    rmdir(Dir.c_str());
  }
};

// Every event of a scanner, with paths below the tree's root made relative.
struct TScanLog {
  struct TError {
    std::string Name;
    TScanErrorKind Kind;
    std::string Text;
    int32_t OSCode;
  };
  std::vector<std::string> Hits;
  std::vector<TFoundFileInfo> Infos;
  std::vector<TError> Errors;
  std::vector<std::string> Folders;  // progress of kind spkFolder

  // Hooks OnFound, OnError and OnProgress of Scanner to this log.
  void Attach(TFileScanner& Scanner, const TScanTree& Tree) {
    Scanner.OnFound = [this, &Tree](const TFoundFileInfo& Info) {
      Hits.push_back(Tree.Relative(Info.Name));
      Infos.push_back(Info);
    };
    Scanner.OnError = [this, &Tree](const TScanError& Error) {
      Errors.push_back({Tree.Relative(Error.Name), Error.Kind, Error.Text, Error.OSCode});
    };
    Scanner.OnProgress = [this, &Tree](const std::u16string& Name, TScanProgressKind Kind) {
      if (Kind == spkFolder) Folders.push_back(Tree.Relative(Name));
      return true;
    };
  }
  // The names reported with Kind, in order.
  std::vector<std::string> ErrorsOf(TScanErrorKind Kind) const {
    std::vector<std::string> names;
    for (const TError& e : Errors)
      if (e.Kind == Kind) names.push_back(e.Name);
    return names;
  }
};
