// What the tests of the archive library's base share: a fresh folder per test, and a collector of the
// reports a component makes through its error event.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/arlBase.h"

namespace arltest {

// A new empty folder named after the running test, below the temporary folder.
inline std::filesystem::path MakeTestDir(const std::string& Prefix) {
  const auto Dir = std::filesystem::temp_directory_path() /
                   (Prefix + "_" + std::to_string(::getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(Dir);
  std::filesystem::create_directories(Dir);
  return Dir;
}

// Removes a test folder, also when a test left parts of it read-only.
inline void RemoveTestDir(const std::filesystem::path& Dir) {
  std::error_code Ec;
  for (const auto& E : std::filesystem::recursive_directory_iterator(Dir, Ec))
    std::filesystem::permissions(E.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, Ec);
  std::filesystem::remove_all(Dir, Ec);
}

struct TReport {
  std::string FileName;
  int32_t Code;
  std::string Extra;
};

// An error event that appends each report to Reports (which must outlive the component's runs).
inline TArlErrorEvent CollectReports(std::vector<TReport>& Reports) {
  return [&Reports](TZipCommon*, const TArlErrorReport& Error) {
    Reports.push_back({Error.FileName, Error.ErrorCode, Error.ExtraInfo1});
  };
}

}  // namespace arltest
