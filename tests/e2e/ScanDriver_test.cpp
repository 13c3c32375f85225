// The scan driver's tree search from its command line: -P answers every password question of an archive
// item, and a pattern the scanner refuses is an error of the run, not an abort.
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
  std::string Out;
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
  Run.Status = RunTreeSearch(Options);
  std::fflush(stdout);
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

TEST_F(ScanDriver, PatternTooLongIsAnErrorOfTheRun) {
  Write("a.txt", "needle");
  const std::string Long(static_cast<size_t>(kMaxScanPatternLength) + 1, 'n');
  const TRun Run = RunScan(Root_, {"-r", Long, "."});
  EXPECT_EQ(Run.Status, 2);
  EXPECT_EQ(Run.Out, "");
}

}  // namespace
}  // namespace e2e
