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
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/scry-conv-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) Path = pattern;
  }
  ~TTestFolder() { RemoveTree(Path); }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  // Writes Content to the file Name in this folder and answers its path.
  std::string Write(const std::string& Name, const std::string& Content) const {
    std::string path = Path + "/" + Name;
    std::ofstream(path, std::ios::binary) << Content;
    return path;
  }

  std::string Path;

 private:
  static void RemoveTree(const std::string& Dir) {
    if (Dir.empty()) return;
    if (DIR* d = opendir(Dir.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = Dir + "/" + name;
        if (e->d_type == DT_DIR) {
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

// Whether a file exists.
inline bool TestFileExists(const std::string& Path) { return access(Path.c_str(), F_OK) == 0; }
