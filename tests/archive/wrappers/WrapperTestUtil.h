// What the wrapper and archiver tests share: the fixture folder, file helpers, and a test base that gives
// each test its own folder and points the temporary folder ($TMPDIR) into it, so that what an archiver
// leaves behind can be seen.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/ArcIntf.h"
#include "tests/TestFiles.h"
#include "tests/archive/arlTestSupport.h"

namespace wraptest {

namespace fs = std::filesystem;

inline const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "wrappers";

inline void WriteAll(const fs::path& P, const std::string& Data) {
  fs::create_directories(P.parent_path());
  std::ofstream(P, std::ios::binary) << Data;
}

inline std::string Fixture(const std::string& Name) { return ReadFileBytes(kFixtures / Name); }
inline std::string Source(const std::string& Name) { return ReadFileBytes(kFixtures / "src" / Name); }

// Every file and folder below Dir, relative, sorted.
inline std::vector<std::string> Entries(const fs::path& Dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(Dir, ec))
    out.push_back(fs::relative(e.path(), Dir).string() + (e.is_directory() ? "/" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

// The bytes of a delivered block.
inline std::string TakeBlock(const TArcBlockPtr& Block, int32_t Size) {
  return std::string(static_cast<const char*>(Block.get()), static_cast<size_t>(Size));
}

// Dir: a new folder for the test. Temp: the temporary folder for the test ($TMPDIR), inside Dir. Work: a
// folder for the test's own files, inside Dir.
class TWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = arltest::MakeTestDir("wrappers");
    Temp = Dir / "tmp";
    Work = Dir / "work";
    fs::create_directories(Temp);
    fs::create_directories(Work);
    const char* old = std::getenv("TMPDIR");
    HadTmp = old != nullptr;
    if (HadTmp) OldTmp = old;
    ::setenv("TMPDIR", Temp.c_str(), 1);
    // The fixtures were made in UTC: archives that keep UTC times (LHA level 2, TAR) show them in the
    // local zone, which is fixed to UTC here.
    const char* tz = std::getenv("TZ");
    HadTz = tz != nullptr;
    if (HadTz) OldTz = tz;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (HadTz)
      ::setenv("TZ", OldTz.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
    if (HadTmp)
      ::setenv("TMPDIR", OldTmp.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    arltest::RemoveTestDir(Dir);
  }
  // A fixture copied into Work (under another name when given); its path.
  std::string Copy(const std::string& Name, const std::string& As = "") {
    const fs::path to = Work / (As.empty() ? Name : As);
    WriteAll(to, Fixture(Name));
    return to.string();
  }

  fs::path Dir, Temp, Work;
  bool HadTmp = false, HadTz = false;
  std::string OldTmp, OldTz;
};

}  // namespace wraptest
