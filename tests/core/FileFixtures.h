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
    std::string Pattern = testing::TempDir() + "scryline-test-XXXXXX";
    if (mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Path = Pattern;
  }
  ~TTempFolder() {
    std::error_code Ec;
    std::filesystem::remove_all(Path, Ec);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }

  std::string Path;
};
