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
    const char* Tmp = std::getenv("TMPDIR");
    std::string Pattern = std::string(Tmp != nullptr && *Tmp != '\0' ? Tmp : "/tmp") + "/scry-scan-XXXXXX";
    if (mkdtemp(Pattern.data()) != nullptr) Root = Pattern;
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
    const std::string FullPath = Path(Rel);
    std::ofstream(FullPath, std::ios::binary) << Content;
    return FullPath;
  }
  void Folder(const std::string& Rel) const { MakeFolders(Rel + "/"); }
  // Sets the last-write time of Rel to Seconds after 1970-01-01 UTC.
  void SetTime(const std::string& Rel, time_t Seconds) const {
    const timespec Times[2] = {{Seconds, 0}, {Seconds, 0}};
    utimensat(AT_FDCWD, Path(Rel).c_str(), Times, 0);
  }

  // A path list for TFileScanner::Search from space-separated entries: each a path below the root ("."
  // for the root itself), or after "=" a path taken as typed.
  std::u16string Roots(const std::string& Entries) const {
    std::string Paths;
    for (size_t From = 0; From <= Entries.size();) {
      size_t To = Entries.find(' ', From);
      if (To == std::string::npos) To = Entries.size();
      const std::string Entry = Entries.substr(From, To - From);
      if (!Paths.empty()) Paths += ";";
      Paths += Entry.rfind('=', 0) == 0 ? Entry.substr(1) : Path(Entry == "." ? "" : Entry);
      From = To + 1;
    }
    return Utf8ToUtf16(Paths);
  }

  // The part of Path below the root ("sub/d.txt").
  std::string Relative(const std::u16string& Path) const {
    const std::string P = Utf16ToUtf8(Path);
    return P.compare(0, Root.size() + 1, Root + "/") == 0 ? P.substr(Root.size() + 1) : P;
  }

  std::string Root;

 private:
  void MakeFolders(const std::string& Rel) const {
    for (size_t Slash = Rel.find('/'); Slash != std::string::npos; Slash = Rel.find('/', Slash + 1))
      mkdir(Path(Rel.substr(0, Slash)).c_str(), 0755);
  }
  static void RemoveTree(const std::string& Dir) {
    if (Dir.empty()) return;
    if (DIR* D = opendir(Dir.c_str())) {
      while (dirent* E = readdir(D)) {
        const std::string Name = E->d_name;
        if (Name == "." || Name == "..") continue;
        const std::string Path = Dir + "/" + Name;
        struct stat St;
        if (lstat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode)) {
          RemoveTree(Path);
        } else {
          unlink(Path.c_str());
        }
      }
      closedir(D);
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
    std::vector<std::string> Names;
    for (const TError& E : Errors)
      if (E.Kind == Kind) Names.push_back(E.Name);
    return Names;
  }
};
