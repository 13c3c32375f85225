// What the tests of the TAR, ARC and ZOO readers share: the items that came out whole, the check of one
// hostile archive against what it should give, and the check that a name leaving the output folder is
// refused while the rest is written.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/archive/lzh/DecoderRun.h"

namespace readertest {

// The items written whole and passing their check, in order.
inline std::vector<std::string> Good(const archivetest::TRunLog& Log) {
  std::vector<std::string> Out;
  for (const auto& I : Log.Items)
    if (Log.Passed(I.Name)) Out.push_back(I.Name);
  return Out;
}

// A damaged or hostile archive: the items that still pass, those begun that fail, and the report the
// fault gives (0: none at all).
struct THostileCase {
  const char* Fixture;
  std::vector<std::string> Good;
  std::vector<std::string> Failed;
  int32_t Error;
};

inline void ExpectCase(const archivetest::TRunLog& Log, const THostileCase& C) {
  EXPECT_EQ(Good(Log), C.Good) << C.Fixture;
  for (const auto& F : C.Failed) {
    ASSERT_NE(Log.Find(F), nullptr) << C.Fixture << " " << F;
    EXPECT_FALSE(Log.Passed(F)) << C.Fixture << " " << F;
  }
  if (C.Error == 0)
    EXPECT_TRUE(Log.Errors.empty()) << C.Fixture;
  else
    EXPECT_TRUE(Log.HasError(C.Error)) << C.Fixture;
}

// Extracts Archive (whose first entry leaves the output folder by one level as Escaped, and whose other
// entry is Inside) with D into a folder: the one is refused as "Invalid file name", the other written.
inline void ExpectEscapeRefused(TUnBase& D, const std::string& Archive, const std::string& Escaped,
                                const std::string& Inside) {
  archivetest::TTempFolder Out("escape");
  const auto Inner = Out.Path / "inner";
  std::filesystem::create_directories(Inner);
  const archivetest::TRunLog Log = archivetest::ExtractAllToFolder(D, Archive, Inner);
  EXPECT_TRUE(Log.HasError(errInvalidFileName)) << Archive;
  EXPECT_EQ(Log.Result, 1) << Archive;
  EXPECT_TRUE(std::filesystem::exists(Inner / Inside)) << Archive;
  EXPECT_FALSE(std::filesystem::exists(Out.Path / Escaped)) << Archive;
}

}  // namespace readertest
