// The scan driver's tree search from its command line: -P answers the password question of an archive
// item, an item that needs one says how to give it, a pattern the scanner refuses is an error of the run,
// not an abort, and the date and size filter reaches the threads that walk archives ahead.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/scan_options.h"
#include "bench/scan_tree.h"
#include "search/StrmScan.h"
#include "tests/e2e/SearchRoad.h"
#include "tests/search/PerFileLayer.h"

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

// The bounds of the filter options include their ends: a file written at the very moment --before or
// --after names passes, one a moment outside does not; a size below --min-size passes only when it is a
// volume's part of an item.
TEST(ScanDriverFilter, BoundsIncludeTheirEnds) {
  TDateTime Day = 0;
  ASSERT_TRUE(ParseTreeDate("2021-03-04 05:06:07", Day));
  TTreeOptions Tree;
  Tree.After = Day - 1;
  Tree.Before = Day;
  Tree.MinSize = 10;
  Tree.MaxSize = 20;
  const TDateSizeFilter Filter = DateSizeFilterOf(Tree);
  ASSERT_TRUE(Filter.Active());
  EXPECT_FALSE(DateSizeFilterOf(TTreeOptions()).Active());
  const std::u16string Name = u"/x";
  struct TCase {
    TDateTime Date;
    int64_t Size;
    bool Incomplete;
    bool Passes;
  } Cases[] = {
      {Day, 15, false, true},     {std::nextafter(Day, 2 * Day), 15, false, false},
      {Day - 1, 15, false, true}, {std::nextafter(Day - 1, 0.0), 15, false, false},
      {Day, 10, false, true},     {Day, 9, false, false},
      {Day, 9, true, true},       {Day, 20, false, true},
      {Day, 21, true, false},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(Filter.Passes(TFilterFileInfo{Name, C.Incomplete, C.Date, C.Size}), C.Passes)
        << C.Date << " " << C.Size << (C.Incomplete ? " incomplete" : "");
}

// Items the date and size filter refuses, in archives walked ahead on workers: the same lines on every
// thread count, and every archive read as often as on one thread (the workers take the filter's answer,
// so that no refused item sends the walk's thread through the archive again).
TEST_F(ScanDriver, FilterRefusingItemsWalksEachArchiveAsOneThreadDoes) {
  for (const char* Folder : {"z/t1", "z/t2", "z/t3"}) {
    Copy("e2e/fixtures/twins.zip", std::string(Folder) + "/twins.zip");
    Copy("e2e/fixtures/media.zip", std::string(Folder) + "/media.zip");
    Copy("e2e/fixtures/pages.zip", std::string(Folder) + "/pages.zip");
    Write(std::string(Folder) + "/short.txt", "needle");
    Write(std::string(Folder) + "/long.txt", "a plain needle, long enough");
  }
  char Real[PATH_MAX];
  ASSERT_NE(realpath(Root_.c_str(), Real), nullptr);
  const std::string Root = std::string(Real) + "/";
  struct TCase {
    std::vector<std::string> Filter;
    const char* Kept;     // a line of the output
    const char* Refused;  // a part of no line
  } Cases[] = {
      {{"--min-size", "13"}, "z/t2/twins.zip|a/inner.zip|n.txt", "note.txt"},
      {{"--max-size", "13"}, "z/t3/twins.zip|b/note.txt", "long.txt"},
      {{"--before", "2021-03-01"}, nullptr, "twins.zip"},
      {{"--after", "2021-03-01", "--max-size", "5000"}, "z/t1/twins.zip|b/inner.zip|n.txt", "media.zip"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Filter[0] + " " + C.Filter[1]);
    bool First = true;
    std::string OneThread;
    std::map<std::string, TPerFileLayer::TCalls> OneThreadCalls;
    for (const char* Threads : {"1", "3", "8"}) {
      SCOPED_TRACE(std::string("-j ") + Threads);
      std::vector<std::string> Args = {"-r", "-a", "-j", Threads};
      Args.insert(Args.end(), C.Filter.begin(), C.Filter.end());
      Args.insert(Args.end(), {"needle", "z"});
      TPerFileLayer Layer;
      TRun Run;
      {
        TFileLayerScope Scope(Layer);
        Run = RunScan(Root_, Args);
      }
      const std::map<std::string, TPerFileLayer::TCalls> Calls = Layer.CallsBelow(Root);
      if (First) {
        First = false;
        OneThread = Run.Out;
        OneThreadCalls = Calls;
        if (C.Kept != nullptr) {
          EXPECT_NE(Run.Out.find(std::string(C.Kept) + "\n"), std::string::npos) << Run.Out;
        }
        EXPECT_EQ(Run.Out.find(C.Refused), std::string::npos) << Run.Out;
        EXPECT_FALSE(Calls.empty());
        continue;
      }
      EXPECT_EQ(Run.Out, OneThread);
      EXPECT_EQ(Calls, OneThreadCalls);
    }
  }
}

}  // namespace
}  // namespace e2e
