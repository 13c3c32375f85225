// The scan driver's tree search from its command line: -P answers the password question of an archive
// item, an item that needs one says how to give it, and a pattern the scanner refuses is an error of the run,
// not an abort.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/scan_options.h"
#include "bench/scan_tree.h"
#include "search/StrmScan.h"
#include "tests/e2e/SearchRoad.h"

namespace e2e {
namespace {

using ScanDriver = SearchRoad;

// Parses Args as scan's command line and runs its tree search in the tree's root; the exit status and what
// the run printed on standard output.
struct TRun {
  int Status = -1;
  std::string Out, Err;
};

TRun RunScan(const fs::path& Root, std::vector<std::string> Args) {
  Args.insert(Args.begin(), "scan");
  std::vector<const char*> Argv;
  for (const std::string& A : Args) Argv.push_back(A.c_str());
  TScanCommandLine Options;
  std::string Error;
  EXPECT_TRUE(ParseScanOptions(static_cast<int>(Argv.size()), Argv.data(), Options, Error)) << Error;
  const fs::path Old = fs::current_path();
  fs::current_path(Root);
  TRun Run;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Run.Status = RunTreeSearch(Options);
  std::fflush(stdout);
  Run.Err = testing::internal::GetCapturedStderr();
  Run.Out = testing::internal::GetCapturedStdout();
  fs::current_path(Old);
  return Run;
}

TEST_F(ScanDriver, PasswordOptionOpensEncryptedItems) {
  Copy("e2e/fixtures/locked.zip", "locked/locked.zip");
  const TRun Right = RunScan(Root_, {"-r", "-a", "-P", "secret", "needle", "locked"});
  EXPECT_EQ(Right.Status, 0);
  EXPECT_NE(Right.Out.find("locked.zip|secret.txt"), std::string::npos) << Right.Out;
  EXPECT_NE(Right.Out.find("locked.zip|open.txt"), std::string::npos) << Right.Out;

  // A wrong password leaves the item unread and the run reports an error, the other item still found.
  const TRun Wrong = RunScan(Root_, {"-r", "-a", "-P", "wrong", "needle", "locked"});
  EXPECT_EQ(Wrong.Status, 2);
  EXPECT_EQ(Wrong.Out.find("secret.txt"), std::string::npos) << Wrong.Out;
  EXPECT_NE(Wrong.Out.find("locked.zip|open.txt"), std::string::npos) << Wrong.Out;
}

// Without -P an encrypted item was reported as having an invalid password, where none was given; with a
// wrong -P the same words did not say that the password given was the one that failed.
TEST_F(ScanDriver, AnEncryptedItemSaysWhatItNeeds) {
  Copy("e2e/fixtures/locked.zip", "locked/locked.zip");
  Copy("e2e/fixtures/box.zip", "locked/box.zip");
  struct TCase {
    std::vector<std::string> Args;
    const char* Said;  // once for each encrypted item: locked.zip's and the one inside box.zip
  };
  const TCase Cases[] = {
      {{"-r", "-a", "needle", "locked"}, "It needs a password: give it with -P PASSWORD (secret.txt)"},
      {{"-r", "-a", "-j", "4", "needle", "locked"},
       "It needs a password: give it with -P PASSWORD (secret.txt)"},
      {{"-r", "-a", "-P", "wrong", "needle", "locked"},
       "The password given with -P does not open it (secret.txt)"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Args.size() > 4 ? C.Args[2] + " " + C.Args[3] : "no -P");
    const TRun Run = RunScan(Root_, C.Args);
    EXPECT_EQ(Run.Status, 2);
    EXPECT_NE(Run.Out.find("locked.zip|open.txt"), std::string::npos) << Run.Out;
    EXPECT_EQ(Run.Err.find("Invalid password"), std::string::npos) << Run.Err;
    size_t Count = 0;
    for (size_t At = Run.Err.find(C.Said); At != std::string::npos; At = Run.Err.find(C.Said, At + 1))
      ++Count;
    EXPECT_EQ(Count, 2u) << Run.Err;
    EXPECT_NE(Run.Err.find("box.zip|locked.zip: "), std::string::npos) << Run.Err;
  }
  // Other texts pass as they are.
  EXPECT_EQ(PasswordRefusalText("File fails CRC check (a.txt)", false), "File fails CRC check (a.txt)");
}

TEST_F(ScanDriver, PatternTooLongIsAnErrorOfTheRun) {
  Write("a.txt", "needle");
  const std::string Long(static_cast<size_t>(kMaxScanPatternLength) + 1, 'n');
  const TRun Run = RunScan(Root_, {"-r", Long, "."});
  EXPECT_EQ(Run.Status, 2);
  EXPECT_EQ(Run.Out, "");
}

}  // namespace
}  // namespace e2e
