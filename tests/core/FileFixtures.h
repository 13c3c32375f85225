// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TestFiles.h"

class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = testing::TempDir() + "scryline-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Path = pattern;
  }
  ~TTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string operator/(const std::string& name) const { return Path + "/" + name; }

  std::string Path;
};
