// The file scanner's walk: roots, masks, excluded folders, filters, name matching, skip-binary, the
// size limits and the error events, on trees the tests build.
#include "search/FileScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "tests/search/FileScanTree.h"

namespace {

using Names = std::vector<std::string>;

// A tree with nested folders, two files whose names differ only in case, an empty file, a binary file,
// a file whose name holds the pattern, a link to a folder and a FIFO.
class FileScanWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    Tree_.File("a.txt", "say hello world");
    Tree_.File("B.TXT", "HELLO there");
    Tree_.File("b.txt", "nothing here");
    Tree_.File("c.doc", "hello doc");
    Tree_.File("empty.txt", "");
    Tree_.File("bin.dat", std::string("\x00\x01\x02hello\x00\xff\x03", 10));
    Tree_.File("hello-name.log", "zzz");
    Tree_.File("sub/d.txt", "hello");
    Tree_.File("sub/deeper/e.txt", "xhellox");
    Tree_.File("sub2/f.txt", "hello");
    Tree_.File("other/g.txt", "hello");
    ASSERT_EQ(symlink(Tree_.Path("sub").c_str(), Tree_.Path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(Tree_.Path("fifo").c_str(), 0644), 0);
    Log_.Attach(Scanner_, Tree_);
    Scanner_.Scanner.SetPattern(u"hello");
  }

  // Runs a search over the roots (TScanTree::Roots) and answers the hits in order.
  Names Run(const std::string& Roots, const std::string& Masks, bool Recurse) {
    Completed_ = Scanner_.Search(Tree_.Roots(Roots), Utf8ToUtf16(Masks), Recurse);
    return Log_.Hits;
  }

  TScanTree Tree_;
  TFileScanner Scanner_;
  TScanLog Log_;
  bool Completed_ = false;
};

TEST_F(FileScanWalk, RootsMasksAndRecursion) {
  struct TCase {
    const char* Roots;
    const char* Masks;
    bool Recurse;
    Names Hits;
  };
  const TCase Cases[] = {
      // The folder's files in order without case (ties exactly), a.txt and A.txt as two files.
      {".", "", false, {"a.txt", "B.TXT", "bin.dat", "c.doc"}},
      // A folder's own files before its sub-folders; the link to sub is not entered.
      {".",
       "",
       true,
       {"a.txt", "B.TXT", "bin.dat", "c.doc", "other/g.txt", "sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}},
      {".",
       "*.txt;*.DOC",
       true,
       {"a.txt", "B.TXT", "c.doc", "other/g.txt", "sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}},
      {".", "*.doc *.dat", false, {"bin.dat", "c.doc"}},
      {".", "*.*", false, {"a.txt", "B.TXT", "bin.dat", "c.doc"}},
      // A wildcard root: the matching files of its folder and, with recursion, of every sub-folder.
      {"*.txt", "", false, {"a.txt", "B.TXT"}},
      {"*.txt", "", true, {"a.txt", "B.TXT", "other/g.txt", "sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}},
      // ... that also pass the search masks.
      {"*.txt", "*.doc", true, {}},
      {"?.txt", "a*", true, {"a.txt"}},
      // A sub-folder mask root: the matching sub-folders of its folder.
      {"sub*/", "", false, {"sub/d.txt", "sub2/f.txt"}},
      {"sub*/", "", true, {"sub/d.txt", "sub/deeper/e.txt", "sub2/f.txt"}},
      // A folder named twice (also with a final "/" or "/.") is walked once.
      {"sub sub", "", false, {"sub/d.txt"}},
      {"sub sub/ sub/.", "", false, {"sub/d.txt"}},
      // A folder named after a root that holds it is walked again, as it is a root of its own.
      {". sub", "", false, {"a.txt", "B.TXT", "bin.dat", "c.doc", "sub/d.txt"}},
      // A file named as a root, subject to the masks.
      {"a.txt", "", false, {"a.txt"}},
      {"a.txt", "*.doc", false, {}},
      // The link to a folder named as a root is the user's choice and is walked.
      {"link", "", false, {"link/d.txt"}},
  };
  for (const TCase& C : Cases) {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    EXPECT_EQ(Run(C.Roots, C.Masks, C.Recurse), C.Hits) << C.Roots << " | " << C.Masks << " | " << C.Recurse;
    EXPECT_TRUE(Completed_);
  }
}

TEST_F(FileScanWalk, ReportsBadRootsAndGoesOn) {
  Run("=data =./a.txt missing missing/*.txt zzz*.txt fifo sub", "", false);
  EXPECT_EQ(Log_.ErrorsOf(sekPathNotFound), (Names{"data", "./a.txt", "missing", "missing/*.txt"}));
  // A FIFO named as a root is reported, never opened (opening it would block).
  EXPECT_EQ(Log_.ErrorsOf(sekOpenFailed), Names{"fifo"});
  EXPECT_EQ(Log_.Hits, Names{"sub/d.txt"});
  EXPECT_TRUE(Completed_);
}

// The root folder keeps its only "/" ("/." names it too): it is asked for, listed and reported as "/".
TEST(FileScanRoot, TheRootFolder) {
  TFileScanner Scanner;
  std::vector<std::u16string> Folders, Asked;
  std::vector<TScanErrorKind> Errors;
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFolder) Folders.push_back(Name);
    return true;
  };
  Scanner.OnError = [&](const TScanError& Error) { Errors.push_back(Error.Kind); };
  Scanner.OnEnterFolder = [&](const std::u16string& Folder) {
    Asked.push_back(Folder);
    return true;
  };
  Scanner.Scanner.SetPattern(u"x");
  EXPECT_TRUE(Scanner.Search(u"/.", u"no-such-name-anywhere", false));
  EXPECT_EQ(Asked, std::vector<std::u16string>{u"/"});
  EXPECT_EQ(Folders, std::vector<std::u16string>{u"/"});
  EXPECT_TRUE(Errors.empty());
}

TEST_F(FileScanWalk, EmptyFileIsReportedAndNotOpened) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Run("empty.txt", "", false);
  EXPECT_EQ(Log_.ErrorsOf(sekEmptyFile), Names{"empty.txt"});
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 0);
}

TEST_F(FileScanWalk, NameMatchReportsWithoutReading) {
  Scanner_.Mode = smScanContents | smMatchName;
  EXPECT_EQ(Run(".", "*.log", false), Names{"hello-name.log"});
  ASSERT_EQ(Log_.Infos.size(), 1u);
  EXPECT_EQ(Log_.Infos[0].Encoding, seFileName);
  EXPECT_EQ(Log_.Infos[0].Size, 3);
  EXPECT_EQ(Log_.Infos[0].Converter, nullptr);
  EXPECT_FALSE(Log_.Infos[0].InArchive);
}

TEST_F(FileScanWalk, NameOnlyOpensNoFile) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Scanner_.Mode = smMatchName | smNameOnly;
  EXPECT_EQ(Run(".", "", true), Names{"hello-name.log"});
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 0);
  EXPECT_TRUE(Log_.Errors.empty());
}

// Names only with a pattern: the files whose names are no hit are passed over without their size and
// date; the hit is still looked up and carries both.
TEST_F(FileScanWalk, NameOnlyHitsCarryTheirSize) {
  Scanner_.Mode = smMatchName | smNameOnly;
  Scanner_.Scanner.SetPattern(u"name");
  EXPECT_EQ(Run(".", "", true), Names{"hello-name.log"});
  ASSERT_EQ(Log_.Infos.size(), 1u);
  EXPECT_EQ(Log_.Infos[0].Size, 3);
  EXPECT_TRUE(Log_.Errors.empty());
}

TEST_F(FileScanWalk, ContentHitsCarryTheirEncodingAndSize) {
  Run("c.doc", "", false);
  ASSERT_EQ(Log_.Infos.size(), 1u);
  EXPECT_EQ(Log_.Infos[0].Encoding, seAnsi);
  EXPECT_EQ(Log_.Infos[0].Size, 9);
  EXPECT_EQ(Scanner_.FilesScanned, 1);
}

TEST_F(FileScanWalk, SkipBinary) {
  Scanner_.SkipBinary = true;
  EXPECT_EQ(Run(".", "", false), (Names{"a.txt", "B.TXT", "c.doc"}));
  EXPECT_EQ(Log_.ErrorsOf(sekNotText), Names{"bin.dat"});

  // Without a pattern, only the text files are accepted, and empty files, which hold no binary data.
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  Scanner_.Scanner.SetPattern(u"");
  EXPECT_EQ(Run(".", "", false), (Names{"a.txt", "B.TXT", "b.txt", "c.doc", "empty.txt", "hello-name.log"}));
  EXPECT_EQ(Log_.ErrorsOf(sekNotText), Names{"bin.dat"});
}

TEST_F(FileScanWalk, EmptyPatternAcceptsEveryFileEvenAboveTheLimit) {
  Scanner_.Scanner.SetPattern(u"");
  Scanner_.MaxScanSize = 4;
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  EXPECT_EQ(Run(".", "", false),
            (Names{"a.txt", "B.TXT", "b.txt", "bin.dat", "c.doc", "empty.txt", "hello-name.log"}));
  for (const TFoundFileInfo& Info : Log_.Infos) EXPECT_EQ(Info.Encoding, seFileName);
  EXPECT_TRUE(Log_.Errors.empty());
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 0);
}

// The size limit applies only to files whose contents must be read: a large file is still found by its
// name, and a file that the masks or the owner's filter skip is never reported as too large.
TEST_F(FileScanWalk, SizeLimitComesAfterMasksFiltersAndName) {
  Tree_.File("big/hello-big.txt", std::string(100, 'x'));
  Tree_.File("big/big.txt", std::string(100, 'x') + "hello");
  Tree_.File("big/big.doc", std::string(100, 'x') + "hello");
  Tree_.File("big/filtered.txt", std::string(100, 'x') + "hello");
  Tree_.File("big/small.txt", "hello");
  Scanner_.MaxScanSize = 50;
  Scanner_.Mode = smScanContents | smMatchName;
  Scanner_.OnFilterFile = [&](const TFilterFileInfo& File) {
    EXPECT_FALSE(File.SizeIncomplete);
    return Tree_.Relative(File.FileName) != "big/filtered.txt";
  };
  EXPECT_EQ(Run("big", "*.txt", false), (Names{"big/hello-big.txt", "big/small.txt"}));
  EXPECT_EQ(Log_.ErrorsOf(sekTooLarge), Names{"big/big.txt"});
}

TEST_F(FileScanWalk, ExcludedFolders) {
  std::vector<std::string> Asked;
  Scanner_.OnEnterFolder = [&](const std::u16string& Folder) {
    Asked.push_back(Tree_.Relative(Folder));
    return Asked.back() != "sub";
  };
  EXPECT_EQ(Run(".", "*.txt", true), (Names{"a.txt", "B.TXT", "other/g.txt", "sub2/f.txt"}));
  // The root is asked too; nothing below an excluded folder is.
  EXPECT_EQ(Asked, (Names{Tree_.Root, "other", "sub", "sub2"}));

  // An excluded root is skipped whole.
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  EXPECT_EQ(Run("sub", "", true), Names{});
}

TEST_F(FileScanWalk, DateAndSizeFilterSeesTheDirectoryEntry) {
  Tree_.File("dated/old.txt", "hello");
  Tree_.File("dated/new.txt", "hello");
  Tree_.File("dated/large.txt", std::string(5000, 'y') + "hello");
  Tree_.SetTime("dated/old.txt", 978307200);   // 2001-01-01
  Tree_.SetTime("dated/new.txt", 1700000000);  // 2023-11-14
  Tree_.SetTime("dated/large.txt", 1700000000);
  const TDateTime From = 43831;  // 2020-01-01, days since 1899-12-30
  std::vector<int64_t> Sizes;
  Scanner_.OnFilterFile = [&](const TFilterFileInfo& File) {
    Sizes.push_back(File.Size);
    return File.Date >= From && File.Size <= 1000;
  };
  EXPECT_EQ(Run("dated", "", false), Names{"dated/new.txt"});
  EXPECT_EQ(Sizes, (std::vector<int64_t>{5005, 5, 5}));
  ASSERT_EQ(Log_.Infos.size(), 1u);
  EXPECT_GT(Log_.Infos[0].Date, 45243.0);  // the local time of 2023-11-14 22:13 UTC falls on the 14th or 15th
  EXPECT_LT(Log_.Infos[0].Date, 45245.0);
}

TEST_F(FileScanWalk, DuplicateFilterSeesEachFileOnce) {
  std::vector<std::string> Asked;
  Scanner_.OnAcceptFile = [&](const std::u16string& FileName) {
    Asked.push_back(Tree_.Relative(FileName));
    return Asked.back() != "a.txt";
  };
  EXPECT_EQ(Run(". sub", "*.txt", false), (Names{"B.TXT", "sub/d.txt"}));
  EXPECT_EQ(Asked, (Names{"a.txt", "B.TXT", "b.txt", "empty.txt", "sub/d.txt"}));
}

TEST_F(FileScanWalk, StopEndsTheWalk) {
  int Files = 0;
  Scanner_.OnProgress = [&](const std::u16string&, TScanProgressKind Kind) {
    if (Kind == spkFile) ++Files;
    return Files < 2;
  };
  EXPECT_EQ(Run(".", "", true), Names{"a.txt"});
  EXPECT_FALSE(Completed_);
  EXPECT_EQ(Log_.ErrorsOf(sekAborted).size(), 1u);
}

// A file that disappears between the listing and its use is an open failure, never a hit.
TEST_F(FileScanWalk, FileGoneAfterTheListing) {
  Scanner_.Scanner.SetPattern(u"");
  Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Tree_.Relative(Name) == "a.txt") unlink(Tree_.Path("b.txt").c_str());
    return true;
  };
  EXPECT_EQ(Run(".", "*.txt", false), (Names{"a.txt", "B.TXT", "empty.txt"}));
  ASSERT_EQ(Log_.ErrorsOf(sekOpenFailed), Names{"b.txt"});
  EXPECT_EQ(Log_.Errors[0].OSCode, kErrorFileNotFound);
  for (const TFoundFileInfo& Info : Log_.Infos) EXPECT_GE(Info.Size, 0);

  TWideStrLst Masks;
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  EXPECT_TRUE(Scanner_.ScanSingleFile(Tree_.WidePath("gone.txt"), Masks, true, true));
  EXPECT_EQ(Log_.ErrorsOf(sekOpenFailed), Names{"gone.txt"});
  EXPECT_TRUE(Log_.Hits.empty());
}

// Descriptors the process holds, to see that a walk leaves none open.
size_t OpenDescriptors() {
  size_t N = 0;
  if (DIR* D = opendir("/proc/self/fd")) {
    while (readdir(D) != nullptr) ++N;
    closedir(D);
  }
  return N;
}

// The walk reads each folder once, for its files and its sub-folders together, and opens each file once,
// relative to its folder, looking at its type, size and date through the descriptor it reads from.
TEST_F(FileScanWalk, EachFolderIsReadOnceAndEachFileOpenedOnce) {
  // The walk's own calls: scan-ahead workers would open files (the empty one too) on other threads.
  Scanner_.WorkerThreads = 1;
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  const size_t Before = OpenDescriptors();
  Run(".", "", true);
  EXPECT_EQ(Log_.Folders, (Names{Tree_.Root, "other", "sub", "sub/deeper", "sub2"}));
  EXPECT_EQ(Layer.Calls(TFileOp::OpenFolder), 5);
  EXPECT_EQ(Layer.Calls(TFileOp::ReadFolder), 5);
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 11);  // the empty one too, which is not read
  EXPECT_EQ(Layer.Calls(TFileOp::Stat), 11);
  EXPECT_EQ(OpenDescriptors(), Before);
}

// File systems that give no entry types (DT_UNKNOWN) are walked alike: the link to a folder is not
// entered and the FIFO is not opened.
TEST_F(FileScanWalk, SameWalkWhenTheFileSystemGivesNoTypes) {
  const Names Typed = Run(".", "", true);
  const std::vector<TScanLog::TError> Errors = Log_.Errors;
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.HideEntryTypes = true;
  EXPECT_EQ(Run(".", "", true), Typed);
  EXPECT_EQ(Log_.Errors.size(), Errors.size());
  EXPECT_EQ(Log_.Folders, (Names{Tree_.Root, "other", "sub", "sub/deeper", "sub2"}));
}

// A folder that cannot be opened or read is left out with one error naming it, and the walk goes on
// with nothing left open.
TEST_F(FileScanWalk, UnreadableFolderIsReportedAndLeftOut) {
  for (TFileOp Op : {TFileOp::OpenFolder, TFileOp::ReadFolder}) {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    Layer.FailCall(Op, 3, EACCES);  // sub: after the root and other
    const size_t Before = OpenDescriptors();
    EXPECT_EQ(Run(".", "*.txt", true), (Names{"a.txt", "B.TXT", "other/g.txt", "sub2/f.txt"}));
    EXPECT_TRUE(Completed_);
    EXPECT_EQ(OpenDescriptors(), Before);
    const auto Failed = std::find_if(Log_.Errors.begin(), Log_.Errors.end(),
                                     [](const TScanLog::TError& E) { return E.Kind == sekOpenFailed; });
    ASSERT_NE(Failed, Log_.Errors.end());
    EXPECT_EQ(Failed->Name, "sub");
    EXPECT_EQ(Failed->Text, std::strerror(EACCES));
    EXPECT_EQ(std::count_if(Log_.Errors.begin(), Log_.Errors.end(),
                            [](const TScanLog::TError& E) { return E.Kind == sekOpenFailed; }),
              1);
  }
}

// Removes the folder Name of the folder open on DirFd with everything in it, relative to it, so that
// the length of the whole path does not matter.
void RemoveTreeAt(int DirFd, const std::string& Name) {
  const int Fd = openat(DirFd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (Fd < 0) return;
  if (DIR* D = fdopendir(dup(Fd))) {
    std::vector<std::pair<std::string, bool>> Entries;
    while (dirent* E = readdir(D))
      if (std::string(E->d_name) != "." && std::string(E->d_name) != "..")
        Entries.emplace_back(E->d_name, E->d_type == DT_DIR);
    closedir(D);
    for (const auto& [name, folder] : Entries) {
      if (folder) RemoveTreeAt(Fd, name);
      unlinkat(Fd, name.c_str(), folder ? AT_REMOVEDIR : 0);
    }
  }
  close(Fd);
}

// A tree deeper than the system's path limit is walked to its bottom: every folder is opened relative
// to its parent, and a file there is scanned like any other.
TEST_F(FileScanWalk, PathsLongerThanTheSystemAllowsAreWalked) {
  const std::string Name(200, 'n');
  constexpr int kLevels = 25;  // about 5,000 bytes of path
  int Fd = open(Tree_.Path("").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(Fd, 0);
  ASSERT_EQ(mkdirat(Fd, "long", 0755), 0);
  int At = openat(Fd, "long", O_RDONLY | O_DIRECTORY);
  std::string Rel = "long";
  for (int I = 0; I < kLevels; ++I) {
    ASSERT_EQ(mkdirat(At, Name.c_str(), 0755), 0);
    const int Next = openat(At, Name.c_str(), O_RDONLY | O_DIRECTORY);
    close(At);
    At = Next;
    Rel += "/" + Name;
  }
  const int File = openat(At, "deep.txt", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(File, "hello from below", 16), 16);
  close(File);
  close(At);
  ASSERT_GT(Tree_.Path(Rel).size(), size_t{PATH_MAX});

  EXPECT_EQ(Run("long", "", true), Names{Rel + "/deep.txt"});
  EXPECT_TRUE(Completed_);
  EXPECT_TRUE(Log_.Errors.empty());
  RemoveTreeAt(Fd, "long");
  unlinkat(Fd, "long", AT_REMOVEDIR);
  close(Fd);
}

// A file that changes between the listing and its turn is taken as it is at its turn, as when each file
// is looked up by its name: a folder in its place cannot be opened, a FIFO has no bytes and is never
// opened, a new file is read whole.
TEST_F(FileScanWalk, FileReplacedAfterTheListing) {
  // The walk's own look at each file in its turn: a worker scanning ahead looks at a file when it comes
  // to it, which may be before the change.
  Scanner_.WorkerThreads = 1;
  Tree_.File("r/a.txt", "hello");
  Tree_.File("r/b.txt", "hello");
  Tree_.File("r/c.txt", "hello");
  Tree_.File("r/d.txt", "hello");
  Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Tree_.Relative(Name) == "r/a.txt") {
      unlink(Tree_.Path("r/b.txt").c_str());
      mkdir(Tree_.Path("r/b.txt").c_str(), 0755);
      unlink(Tree_.Path("r/c.txt").c_str());
      mkfifo(Tree_.Path("r/c.txt").c_str(), 0644);
      Tree_.File("r/d.txt", std::string(40000, 'x') + "hello");
    }
    return true;
  };
  EXPECT_EQ(Run("r", "", false), (Names{"r/a.txt", "r/d.txt"}));
  ASSERT_EQ(Log_.ErrorsOf(sekOpenFailed), Names{"r/b.txt"});
  EXPECT_EQ(Log_.Errors[0].OSCode, kErrorAccessDenied);
  EXPECT_EQ(Log_.ErrorsOf(sekEmptyFile), Names{"r/c.txt"});
  EXPECT_EQ(Log_.Infos[1].Size, 40005);
}

// A name that is not valid UTF-8 was converted to U+FFFD, which names another file: the file was
// reported as not found. Its bytes now survive the conversion and it is scanned like any other.
TEST_F(FileScanWalk, NameThatIsNotUtf8IsScanned) {
  Tree_.File("u/bad\xff.txt", "hello");
  Tree_.File("u/good.txt", "hello");
  EXPECT_EQ(Run("u", "", false), (Names{"u/bad\xff.txt", "u/good.txt"}));
  EXPECT_TRUE(Log_.Errors.empty());
}

// Another program holding the file is a sharing violation: the file is scanned from a temporary copy,
// which is gone afterwards.
class FileScanLocked : public FileScanWalk {
 protected:
  void SetUp() override {
    FileScanWalk::SetUp();
    const char* Old = std::getenv("TMPDIR");
    OldTmp_ = Old != nullptr ? Old : "";
    HadTmp_ = Old != nullptr;
    Tree_.Folder("tmp");
    setenv("TMPDIR", Tree_.Path("tmp").c_str(), 1);
  }
  void TearDown() override {
    if (HadTmp_)
      setenv("TMPDIR", OldTmp_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  Names TempFiles() {
    std::vector<std::string> Files;
    ListFileNames(Files, Tree_.Path("tmp"), "*", false);
    return Files;
  }
  std::string OldTmp_;
  bool HadTmp_ = false;
};

// The file named as a root, and the file met in a walked folder (opened relative to it at first).
TEST_F(FileScanLocked, ScansATemporaryCopy) {
  // The failed open must be the walk's own, not a scan-ahead worker's.
  Scanner_.WorkerThreads = 1;
  for (const auto& [roots, masks] : {std::pair{"c.doc", ""}, std::pair{".", "*.doc"}}) {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    // In the walk, the file is opened to be looked at and then by the stream: the hold makes both fail.
    Layer.FailCall(TFileOp::Open, 1, EBUSY, std::string(roots) == "." ? 2 : 1);
    EXPECT_EQ(Run(roots, masks, false), Names{"c.doc"}) << roots;
    EXPECT_TRUE(Log_.Errors.empty());
    EXPECT_EQ(Layer.Calls(TFileOp::MakeTemp), 1);
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(FileScanLocked, FailedCopyIsAnOpenFailureAndLeavesNoCopy) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Open, 1, EBUSY);
  Layer.FailCall(TFileOp::Read, 1, EIO);
  EXPECT_EQ(Run("c.doc a.txt", "", false), Names{"a.txt"});
  ASSERT_EQ(Log_.ErrorsOf(sekOpenFailed), Names{"c.doc"});
  EXPECT_NE(Log_.Errors[0].Text.find("read"), std::string::npos) << Log_.Errors[0].Text;
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileScanLocked, StopDuringTheCopy) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Open, 1, EBUSY);
  bool Copying = false;
  Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile) Copying = true;  // the next poll comes from the copy
    return !(Copying && Kind == spkPoll && Name.empty());
  };
  Run("c.doc a.txt", "", false);
  EXPECT_TRUE(Log_.Hits.empty());
  EXPECT_EQ(Log_.ErrorsOf(sekAborted).size(), 2u);  // the copy's poll, then the next file's
  EXPECT_FALSE(Completed_);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileScanWalk, ReadFailureIsReportedAndTheWalkGoesOn) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Read, 1, EIO);
  EXPECT_EQ(Run("a.txt c.doc", "", false), Names{"c.doc"});
  EXPECT_EQ(Log_.ErrorsOf(sekScanFailed), Names{"a.txt"});
  EXPECT_EQ(Scanner_.FilesScanned, 2);
}

TEST(FileScanMasks, MatchesMasks) {
  struct TCase {
    const char16_t* Name;
    const char16_t* Masks;
    bool InArchive;
    bool Matches;
  };
  const TCase Cases[] = {
      {u"/d/report.TXT", u"*.txt", false, true},
      {u"/d/report.txt", u"*.doc;*.txt", false, true},
      {u"/d/report.txt", u"*.doc", false, false},
      {u"/d/report.txt", u"", false, true},
      {u"/d/report.txt", u"*.doc;*.*", false, true},
      {u"/d.txt/report", u"*.txt", false, false},
      // "|" and "\" are ordinary in a plain file's name; in an archive item path "|" separates.
      {u"/d/a|b.doc", u"b.doc", false, false},
      {u"/d/a|b.doc", u"a|b.doc", false, true},
      {u"/d/x.zip|dir/b.doc", u"b.doc", true, true},
      {u"/d/x.zip|b.doc", u"b.doc", true, true},
      {u"/d/a\\b.doc", u"b.doc", false, false},
  };
  TFileScanner Scanner;
  for (const TCase& C : Cases) {
    TWideStrLst Masks;
    Masks.SetDelimitedText(C.Masks, '"', CharSetOf(";"), false);
    EXPECT_EQ(Scanner.MatchesMasks(C.Name, Masks, true, C.InArchive), C.Matches)
        << Utf16ToUtf8(C.Name) << " " << Utf16ToUtf8(C.Masks);
  }
}

TEST(FileScanMasks, OwnerMaskRoutines) {
  TScanTree Tree;
  Tree.File("a.txt", "hello");
  Tree.File("b.doc", "hello");
  TFileScanner Scanner;
  Scanner.WorkerThreads = 1;  // the order of the calls is the walk's on one thread
  TScanLog Log;
  Log.Attach(Scanner, Tree);
  Scanner.Scanner.SetPattern(u"hello");
  // The owner's normal form turns "txt" into "*.txt".
  Scanner.NormalizeMaskList = [](TWideStrLst& Masks) {
    for (int32_t I = 0; I < Masks.GetCount(); ++I)
      if (Masks.Get(I).find(u'.') == std::u16string::npos) Masks.Put(I, u"*." + Masks.Get(I));
  };
  std::vector<std::string> Asked;
  Scanner.MatchMask = [&](const std::string& Name, const std::string& Mask) {
    Asked.push_back(Name + " " + Mask);
    return MatchesMask(Name, Mask);
  };
  EXPECT_TRUE(Scanner.Search(Tree.WidePath(""), u"txt", false));
  EXPECT_EQ(Log.Hits, Names{"a.txt"});
  EXPECT_EQ(Asked, (Names{"a.txt *.txt", "a.txt *.txt", "b.doc *.txt"}));
}

}  // namespace
