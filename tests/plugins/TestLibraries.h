// Helpers of the tests that load the test converter libraries (tests/plugins/lib): their paths, and a
// temporary folder for the documents the tests write.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#ifndef SCRYLINE_TEST_PLUGINS
#error "SCRYLINE_TEST_PLUGINS must name the folder of the test converter libraries"
#endif

// The path of the test converter library Name ("impxls").
inline std::string TestPluginPath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_PLUGINS) + "/" + Name + ".so";
}

// A fresh folder under $TMPDIR (default /tmp), removed with everything in it at the end of the scope.
class TTestFolder {
 public:
  TTestFolder() {
    const char* Tmp = std::getenv("TMPDIR");
    std::string Pattern = std::string(Tmp != nullptr && *Tmp != '\0' ? Tmp : "/tmp") + "/scry-conv-XXXXXX";
    if (mkdtemp(Pattern.data()) != nullptr) Path = Pattern;
  }
  ~TTestFolder() { RemoveTree(Path); }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  // Writes Content to the file Name in this folder and answers its path.
  std::string Write(const std::string& Name, const std::string& Content) const {
    std::string FilePath = Path + "/" + Name;
    std::ofstream(FilePath, std::ios::binary) << Content;
    return FilePath;
  }

  std::string Path;

 private:
  static void RemoveTree(const std::string& Dir) {
    if (Dir.empty()) return;
    if (DIR* D = opendir(Dir.c_str())) {
      while (dirent* E = readdir(D)) {
        std::string Name = E->d_name;
        if (Name == "." || Name == "..") continue;
        std::string Path = Dir + "/" + Name;
        if (E->d_type == DT_DIR) {
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

// Whether a file exists.
inline bool TestFileExists(const std::string& Path) { return access(Path.c_str(), F_OK) == 0; }
