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
  std::vector<std::string> Out;
  std::error_code Ec;
  for (const auto& E : fs::recursive_directory_iterator(Dir, Ec))
    Out.push_back(fs::relative(E.path(), Dir).string() + (E.is_directory() ? "/" : ""));
  std::sort(Out.begin(), Out.end());
  return Out;
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
    Dir_ = arltest::MakeTestDir("wrappers");
    Temp_ = Dir_ / "tmp";
    Work_ = Dir_ / "work";
    fs::create_directories(Temp_);
    fs::create_directories(Work_);
    const char* Old = std::getenv("TMPDIR");
    HadTmp_ = Old != nullptr;
    if (HadTmp_) OldTmp_ = Old;
    ::setenv("TMPDIR", Temp_.c_str(), 1);
    // The fixtures were made in UTC: archives that keep UTC times (LHA level 2, TAR) show them in the
    // local zone, which is fixed to UTC here.
    const char* Tz = std::getenv("TZ");
    HadTz_ = Tz != nullptr;
    if (HadTz_) OldTz_ = Tz;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (HadTz_)
      ::setenv("TZ", OldTz_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
    if (HadTmp_)
      ::setenv("TMPDIR", OldTmp_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    arltest::RemoveTestDir(Dir_);
  }
  // A fixture copied into Work (under another name when given); its path.
  std::string Copy(const std::string& Name, const std::string& As = "") {
    const fs::path To = Work_ / (As.empty() ? Name : As);
    WriteAll(To, Fixture(Name));
    return To.string();
  }

  fs::path Dir_, Temp_, Work_;
  bool HadTmp_ = false, HadTz_ = false;
  std::string OldTmp_, OldTz_;
};

}  // namespace wraptest
