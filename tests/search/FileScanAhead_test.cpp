// Scan-ahead on worker threads: every event of a search (hits, errors, progress) comes on the caller's
// thread in exactly the order and with exactly the content of the walk on one thread, also when the
// search is stopped in the middle of a folder. Run under ThreadSanitizer as well (see tests/README.md).
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/FileLayer.h"
#include "search/FileScan.h"
#include "search/FileScanArc.h"
#include "tests/search/FileScanTree.h"
#include "tests/search/PerFileLayer.h"

namespace {

// Files in three folders: hits at the start, across the 16 KB steps of the scanner's window and at the
// end; UTF-16 hits; empty files; a file over the size limit; a name that holds the pattern; a link to
// nowhere (an error of the walk); and files of many words of which only some occur.
void MakeTree(const TScanTree& Tree) {
  const std::string Filler(700, 'x');
  for (int Folder = 0; Folder < 3; ++Folder) {
    const std::string Dir = "f" + std::to_string(Folder) + "/";
    for (int I = 0; I < 40; ++I) {
      const std::string Name = Dir + "file" + std::to_string(100 + I) + ".txt";
      std::string Text;
      switch ((I + Folder) % 8) {
        case 0:
          Text = "needle at the start";
          break;
        case 1:
          Text = std::string(16380, 'y') + "needle" + std::string(30000, 'z');
          break;
        case 2:
          Text = std::string(49150, 'a') + " Needle";
          break;
        case 3:
          Text = "";
          break;
        case 4:
          Text.assign("n\0e\0e\0d\0l\0e\0", 12);
          break;  // UTF-16
        case 5:
          Text = Filler + "haystack only" + Filler;
          break;
        case 6:
          Text = std::string(90000, 'q');
          break;  // over the size limit of the tests
        default:
          Text = "alpha beta gamma delta needles";
          break;
      }
      Tree.File(Name, Text);
    }
    Tree.File(Dir + "needle-in-name.log", "nothing");
    symlink((Tree.Path(Dir) + "gone").c_str(), Tree.Path(Dir + "dangling.txt").c_str());
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
                 const std::string& StopIn = std::string(), int32_t MaxScanSize = 80000,
                 IArchiveWalk* Archives = nullptr) {
  TFileScanner Scanner;
  Scanner.Archives = Archives;
  Scanner.WorkerThreads = Threads;
  Scanner.Scanner.SetPattern(Pattern);
  Scanner.Scanner.SetLogic(Logic);
  Scanner.Scanner.SetCaseSensitive(CaseSensitive);
  Scanner.Scanner.WholeWords = WholeWords;
  Scanner.Mode = Mode;
  Scanner.Encodings = kScanAnsi | kScanUnicode;
  Scanner.MaxScanSize = MaxScanSize;
  TTrace Trace;
  const std::thread::id Owner = std::this_thread::get_id();
  int FileEvents = 0;
  std::string Current;  // the file of the last file event
  Scanner.OnFound = [&](const TFoundFileInfo& Info) {
    Trace.OffThread |= std::this_thread::get_id() != Owner;
    char Date[32];
    std::snprintf(Date, sizeof Date, "%.9f", Info.Date);
    Trace.Events.push_back("found " + Tree.Relative(Info.Name) + " " + std::to_string(Info.Encoding) + " " +
                           std::to_string(Info.Size) + " " + Date);
  };
  Scanner.OnError = [&](const TScanError& Error) {
    Trace.OffThread |= std::this_thread::get_id() != Owner;
    Trace.Events.push_back("error " + Tree.Relative(Error.Name) + " " + std::to_string(Error.Kind) + " " +
                           Error.Text);
  };
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    Trace.OffThread |= std::this_thread::get_id() != Owner;
    Trace.Events.push_back("progress " + Tree.Relative(Name) + " " + std::to_string(Kind));
    if (Kind == spkFile) Current = Tree.Relative(Name);
    return !(Kind == spkFile && ++FileEvents == StopAt);
  };
  Scanner.Scanner.OnProgress = [&](int32_t) {
    Trace.OffThread |= std::this_thread::get_id() != Owner;
    return StopIn.empty() || Current != StopIn;
  };
  Trace.Completed = Scanner.Search(Tree.Roots("."), u"", true);
  Trace.Events.push_back("files scanned " + std::to_string(Scanner.FilesScanned));
  return Trace;
}

TEST(FileScanAhead, EventsAsOnOneThread) {
  TScanTree Tree;
  MakeTree(Tree);
  struct TCase {
    const char16_t* Pattern;
    TSearchLogic Logic;
    bool CaseSensitive;
    bool WholeWords;
    TScanModes Mode;
  } Cases[] = {
      {u"needle", slEntirePhrase, false, false, smScanContents},
      {u"needle", slEntirePhrase, true, true, smScanContents | smMatchName},
      {u"alpha delta needle haystack omega", slAnyWord, false, false, smScanContents},
      {u"alpha delta needles gamma beta", slAllWords, true, false, smScanContents},
  };
  for (const TCase& C : Cases) {
    const TTrace Single = RunSearch(Tree, 1, C.Pattern, C.Logic, C.CaseSensitive, C.WholeWords, C.Mode, 0);
    EXPECT_TRUE(Single.Completed);
    for (int32_t Threads : {2, 4, 9}) {
      SCOPED_TRACE(Utf16ToUtf8(C.Pattern) + ", " + std::to_string(Threads) + " threads");
      const TTrace Many =
          RunSearch(Tree, Threads, C.Pattern, C.Logic, C.CaseSensitive, C.WholeWords, C.Mode, 0);
      EXPECT_TRUE(Many.Completed);
      EXPECT_FALSE(Many.OffThread);
      EXPECT_EQ(Many.Events, Single.Events);
    }
  }
}

// Stopped at a file event, in the first folder, between folders and near the end: the same events up to
// the stop and the same answer.
TEST(FileScanAhead, StopEndsTheSearchWhereOneThreadWould) {
  TScanTree Tree;
  MakeTree(Tree);
  for (int StopAt : {1, 2, 17, 41, 42, 100, 122}) {
    SCOPED_TRACE("stop at file event " + std::to_string(StopAt));
    const TTrace Single = RunSearch(Tree, 1, u"needle", slEntirePhrase, false, false, smScanContents, StopAt);
    const TTrace Many = RunSearch(Tree, 4, u"needle", slEntirePhrase, false, false, smScanContents, StopAt);
    EXPECT_FALSE(Single.Completed);
    EXPECT_EQ(Many.Completed, Single.Completed);
    EXPECT_FALSE(Many.OffThread);
    EXPECT_EQ(Many.Events, Single.Events);
  }
}

// Stopped from the stream scanner's progress event while one file is scanned (which a worker may have
// scanned already, may be scanning or may not have started): the same events as on one thread, ending
// with the stop of that file. Large files make it likely that the walk waits for a running worker.
TEST(FileScanAhead, StopWhileAFileIsScannedEndsTheSearchWhereOneThreadWould) {
  TScanTree Tree;
  MakeTree(Tree);
  for (int I = 0; I < 20; ++I)
    Tree.File("g/big" + std::to_string(10 + I) + ".txt", std::string(400000 + 1000 * I, 'k') + "needle");
  const std::string Targets[] = {"f0/file100.txt", "f1/file125.txt", "f2/file139.txt",
                                 "g/big10.txt",    "g/big17.txt",    "g/big29.txt"};
  for (const std::string& Target : Targets) {
    SCOPED_TRACE("stop in " + Target);
    const TTrace Single =
        RunSearch(Tree, 1, u"needle", slEntirePhrase, false, false, smScanContents, 0, Target, 1 << 20);
    ASSERT_FALSE(Single.Completed);
    ASSERT_GE(Single.Events.size(), 2U);
    EXPECT_EQ(Single.Events[Single.Events.size() - 2],
              "error " + Target + " " + std::to_string(sekAborted) + " ");
    for (int32_t Threads : {2, 5}) {
      const TTrace Many = RunSearch(Tree, Threads, u"needle", slEntirePhrase, false, false, smScanContents, 0,
                                    Target, 1 << 20);
      EXPECT_FALSE(Many.Completed);
      EXPECT_FALSE(Many.OffThread);
      EXPECT_EQ(Many.Events, Single.Events);
    }
  }
}

// Each file is opened once and looked at once, on any number of threads, with archives searched or not:
// by the thread that comes to it first, whose look the walk takes for its own, also while a worker still
// opens the file. The files of over a megabyte are ones the walk's thread may open ahead while it waits
// and leave for whoever scans them; the empty ones and the names that hold the pattern are opened and
// looked at but not read. A link to nowhere cannot be opened, and is tried as often as on one thread.
TEST(FileScanAhead, EachFileOpenedAndLookedAtOnceOnAnyThreadCount) {
  TScanTree Tree;
  MakeTree(Tree);
  for (int I = 0; I < 12; ++I)
    Tree.File("h/large" + std::to_string(10 + I) + ".txt",
              std::string(1100000 + 1000 * I, 'l') + (I % 3 == 0 ? "needle" : ""));
  char Real[PATH_MAX];
  ASSERT_NE(realpath(Tree.Root.c_str(), Real), nullptr);
  const std::string Root = std::string(Real) + "/";
  const TPerFileLayer::TCalls Once{1, 1};
  TArchiveWalk Archives;
  std::map<std::string, TPerFileLayer::TCalls> OneThread;
  for (IArchiveWalk* Walk : {static_cast<IArchiveWalk*>(nullptr), static_cast<IArchiveWalk*>(&Archives)})
    for (int32_t Threads : {1, 2, 3, 8}) {
      SCOPED_TRACE(std::to_string(Threads) + " threads" + (Walk != nullptr ? ", archives searched" : ""));
      TPerFileLayer Layer;
      {
        TFileLayerScope Scope(Layer);
        const TTrace Trace = RunSearch(Tree, Threads, u"needle", slEntirePhrase, false, false,
                                       smScanContents | smMatchName, 0, std::string(), 4 << 20, Walk);
        EXPECT_TRUE(Trace.Completed);
      }
      const std::map<std::string, TPerFileLayer::TCalls> Calls = Layer.CallsBelow(Root);
      int Files = 0;
      for (const auto& [Path, Counted] : Calls) {
        if (Path.size() >= 12 && Path.compare(Path.size() - 12, 12, "dangling.txt") == 0) continue;
        ++Files;
        EXPECT_EQ(Counted, Once) << Path;
      }
      EXPECT_EQ(Files, 3 * 41 + 12);
      if (Threads == 1 && Walk == nullptr)
        OneThread = Calls;
      else
        EXPECT_EQ(Calls, OneThread);
    }
}

// The default follows the processors, within its bounds; 1 is always allowed.
TEST(FileScanAhead, DefaultThreadsWithinBounds) {
  const int32_t Threads = TFileScanner::DefaultWorkerThreads();
  EXPECT_GE(Threads, 1);
  EXPECT_LE(Threads, TFileScanner::kMaxDefaultWorkerThreads);
  EXPECT_EQ(TFileScanner().WorkerThreads, Threads);
}

}  // namespace
