// Scan-ahead on worker threads: every event of a search (hits, errors, progress) comes on the caller's
// thread in exactly the order and with exactly the content of the walk on one thread, also when the
// search is stopped in the middle of a folder. Run under ThreadSanitizer as well (see tests/README.md).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/FileLayer.h"
#include "search/FileScan.h"
#include "tests/search/FileScanTree.h"

namespace {

// Files in three folders: hits at the start, across the 16 KB steps of the scanner's window and at the
// end; UTF-16 hits; empty files; a file over the size limit; a name that holds the pattern; a link to
// nowhere (an error of the walk); and files of many words of which only some occur.
void MakeTree(const TScanTree& Tree) {
  const std::string filler(700, 'x');
  for (int folder = 0; folder < 3; ++folder) {
    const std::string dir = "f" + std::to_string(folder) + "/";
    for (int i = 0; i < 40; ++i) {
      const std::string name = dir + "file" + std::to_string(100 + i) + ".txt";
      std::string text;
      switch ((i + folder) % 8) {
        case 0:
          text = "needle at the start";
          break;
        case 1:
          text = std::string(16380, 'y') + "needle" + std::string(30000, 'z');
          break;
        case 2:
          text = std::string(49150, 'a') + " Needle";
          break;
        case 3:
          text = "";
          break;
        case 4:
          text.assign("n\0e\0e\0d\0l\0e\0", 12);
          break;  // UTF-16
        case 5:
          text = filler + "haystack only" + filler;
          break;
        case 6:
          text = std::string(90000, 'q');
          break;  // over the size limit of the tests
        default:
          text = "alpha beta gamma delta needles";
          break;
      }
      Tree.File(name, text);
    }
    Tree.File(dir + "needle-in-name.log", "nothing");
    symlink((Tree.Path(dir) + "gone").c_str(), Tree.Path(dir + "dangling.txt").c_str());
  }
}

struct TTrace {
  std::vector<std::string> Events;
  bool OffThread = false;  // an event came from another thread
  bool Completed = false;
};

// Runs one search with Threads threads; StopAt > 0 stops at that file event; a StopIn name stops the
// search from the stream scanner's progress event while that file is scanned. The stream scanner's
// progress event is always assigned (as the program assigns it) and must come on the caller's thread.
TTrace RunSearch(const TScanTree& Tree, int32_t Threads, const std::u16string& Pattern, TSearchLogic Logic,
                 bool CaseSensitive, bool WholeWords, TScanModes Mode, int StopAt,
                 const std::string& StopIn = std::string(), int32_t MaxScanSize = 80000) {
  TFileScanner scanner;
  scanner.WorkerThreads = Threads;
  scanner.Scanner.SetPattern(Pattern);
  scanner.Scanner.SetLogic(Logic);
  scanner.Scanner.SetCaseSensitive(CaseSensitive);
  scanner.Scanner.WholeWords = WholeWords;
  scanner.Mode = Mode;
  scanner.Encodings = kScanAnsi | kScanUnicode;
  scanner.MaxScanSize = MaxScanSize;
  TTrace trace;
  const std::thread::id owner = std::this_thread::get_id();
  int fileEvents = 0;
  std::string current;  // the file of the last file event
  scanner.OnFound = [&](const TFoundFileInfo& Info) {
    trace.OffThread |= std::this_thread::get_id() != owner;
    char date[32];
    std::snprintf(date, sizeof date, "%.9f", Info.Date);
    trace.Events.push_back("found " + Tree.Relative(Info.Name) + " " + std::to_string(Info.Encoding) + " " +
                           std::to_string(Info.Size) + " " + date);
  };
  scanner.OnError = [&](const TScanError& Error) {
    trace.OffThread |= std::this_thread::get_id() != owner;
    trace.Events.push_back("error " + Tree.Relative(Error.Name) + " " + std::to_string(Error.Kind) + " " +
                           Error.Text);
  };
  scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    trace.OffThread |= std::this_thread::get_id() != owner;
    trace.Events.push_back("progress " + Tree.Relative(Name) + " " + std::to_string(Kind));
    if (Kind == spkFile) current = Tree.Relative(Name);
    return !(Kind == spkFile && ++fileEvents == StopAt);
  };
  scanner.Scanner.OnProgress = [&](int32_t) {
    trace.OffThread |= std::this_thread::get_id() != owner;
    return StopIn.empty() || current != StopIn;
  };
  trace.Completed = scanner.Search(Tree.Roots("."), u"", true);
  trace.Events.push_back("files scanned " + std::to_string(scanner.FilesScanned));
  return trace;
}

TEST(FileScanAhead, EventsAsOnOneThread) {
  TScanTree tree;
  MakeTree(tree);
  struct TCase {
    const char16_t* Pattern;
    TSearchLogic Logic;
    bool CaseSensitive;
    bool WholeWords;
    TScanModes Mode;
  } cases[] = {
      {u"needle", slEntirePhrase, false, false, smScanContents},
      {u"needle", slEntirePhrase, true, true, smScanContents | smMatchName},
      {u"alpha delta needle haystack omega", slAnyWord, false, false, smScanContents},
      {u"alpha delta needles gamma beta", slAllWords, true, false, smScanContents},
  };
  for (const TCase& c : cases) {
    const TTrace single = RunSearch(tree, 1, c.Pattern, c.Logic, c.CaseSensitive, c.WholeWords, c.Mode, 0);
    EXPECT_TRUE(single.Completed);
    for (int32_t threads : {2, 4, 9}) {
      SCOPED_TRACE(Utf16ToUtf8(c.Pattern) + ", " + std::to_string(threads) + " threads");
      const TTrace many =
          RunSearch(tree, threads, c.Pattern, c.Logic, c.CaseSensitive, c.WholeWords, c.Mode, 0);
      EXPECT_TRUE(many.Completed);
      EXPECT_FALSE(many.OffThread);
      EXPECT_EQ(many.Events, single.Events);
    }
  }
}

// Stopped at a file event, in the first folder, between folders and near the end: the same events up to
// the stop and the same answer.
TEST(FileScanAhead, StopEndsTheSearchWhereOneThreadWould) {
  TScanTree tree;
  MakeTree(tree);
  for (int stopAt : {1, 2, 17, 41, 42, 100, 122}) {
    SCOPED_TRACE("stop at file event " + std::to_string(stopAt));
    const TTrace single = RunSearch(tree, 1, u"needle", slEntirePhrase, false, false, smScanContents, stopAt);
    const TTrace many = RunSearch(tree, 4, u"needle", slEntirePhrase, false, false, smScanContents, stopAt);
    EXPECT_FALSE(single.Completed);
    EXPECT_EQ(many.Completed, single.Completed);
    EXPECT_FALSE(many.OffThread);
    EXPECT_EQ(many.Events, single.Events);
  }
}

// Stopped from the stream scanner's progress event while one file is scanned (which a worker may have
// scanned already, may be scanning or may not have started): the same events as on one thread, ending
// with the stop of that file. Large files make it likely that the walk waits for a running worker.
TEST(FileScanAhead, StopWhileAFileIsScannedEndsTheSearchWhereOneThreadWould) {
  TScanTree tree;
  MakeTree(tree);
  for (int i = 0; i < 20; ++i)
    tree.File("g/big" + std::to_string(10 + i) + ".txt", std::string(400000 + 1000 * i, 'k') + "needle");
  const std::string targets[] = {"f0/file100.txt", "f1/file125.txt", "f2/file139.txt",
                                 "g/big10.txt",    "g/big17.txt",    "g/big29.txt"};
  for (const std::string& target : targets) {
    SCOPED_TRACE("stop in " + target);
    const TTrace single =
        RunSearch(tree, 1, u"needle", slEntirePhrase, false, false, smScanContents, 0, target, 1 << 20);
    ASSERT_FALSE(single.Completed);
    ASSERT_GE(single.Events.size(), 2U);
    EXPECT_EQ(single.Events[single.Events.size() - 2],
              "error " + target + " " + std::to_string(sekAborted) + " ");
    for (int32_t threads : {2, 5}) {
      const TTrace many = RunSearch(tree, threads, u"needle", slEntirePhrase, false, false, smScanContents, 0,
                                    target, 1 << 20);
      EXPECT_FALSE(many.Completed);
      EXPECT_FALSE(many.OffThread);
      EXPECT_EQ(many.Events, single.Events);
    }
  }
}

// The default follows the processors, within its bounds; 1 is always allowed.
TEST(FileScanAhead, DefaultThreadsWithinBounds) {
  const int32_t threads = TFileScanner::DefaultWorkerThreads();
  EXPECT_GE(threads, 1);
  EXPECT_LE(threads, TFileScanner::kMaxDefaultWorkerThreads);
  EXPECT_EQ(TFileScanner().WorkerThreads, threads);
}

}  // namespace
