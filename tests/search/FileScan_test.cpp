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
    Tree.File("a.txt", "say hello world");
    Tree.File("B.TXT", "HELLO there");
    Tree.File("b.txt", "nothing here");
    Tree.File("c.doc", "hello doc");
    Tree.File("empty.txt", "");
    Tree.File("bin.dat", std::string("\x00\x01\x02hello\x00\xff\x03", 10));
    Tree.File("hello-name.log", "zzz");
    Tree.File("sub/d.txt", "hello");
    Tree.File("sub/deeper/e.txt", "xhellox");
    Tree.File("sub2/f.txt", "hello");
    Tree.File("other/g.txt", "hello");
    ASSERT_EQ(symlink(Tree.Path("sub").c_str(), Tree.Path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(Tree.Path("fifo").c_str(), 0644), 0);
    Log.Attach(Scanner, Tree);
    Scanner.Scanner.SetPattern(u"hello");
  }

  // Runs a search over the roots (TScanTree::Roots) and answers the hits in order.
  Names Run(const std::string& Roots, const std::string& Masks, bool Recurse) {
    Completed = Scanner.Search(Tree.Roots(Roots), Utf8ToUtf16(Masks), Recurse);
    return Log.Hits;
  }

  TScanTree Tree;
  TFileScanner Scanner;
  TScanLog Log;
  bool Completed = false;
};

TEST_F(FileScanWalk, RootsMasksAndRecursion) {
  struct TCase {
    const char* Roots;
    const char* Masks;
    bool Recurse;
    Names Hits;
  };
  const TCase cases[] = {
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
  for (const TCase& c : cases) {
    Log = TScanLog();
    Log.Attach(Scanner, Tree);
    EXPECT_EQ(Run(c.Roots, c.Masks, c.Recurse), c.Hits) << c.Roots << " | " << c.Masks << " | " << c.Recurse;
    EXPECT_TRUE(Completed);
  }
}

TEST_F(FileScanWalk, ReportsBadRootsAndGoesOn) {
  Run("=data =./a.txt missing missing/*.txt zzz*.txt fifo sub", "", false);
  EXPECT_EQ(Log.ErrorsOf(sekPathNotFound), (Names{"data", "./a.txt", "missing", "missing/*.txt"}));
  // A FIFO named as a root is reported, never opened (opening it would block).
  EXPECT_EQ(Log.ErrorsOf(sekOpenFailed), Names{"fifo"});
  EXPECT_EQ(Log.Hits, Names{"sub/d.txt"});
  EXPECT_TRUE(Completed);
}

// The root folder keeps its only "/" ("/." names it too): it is asked for, listed and reported as "/".
TEST(FileScanRoot, TheRootFolder) {
  TFileScanner scanner;
  std::vector<std::u16string> folders, asked;
  std::vector<TScanErrorKind> errors;
  scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFolder) folders.push_back(Name);
    return true;
  };
  scanner.OnError = [&](const TScanError& Error) { errors.push_back(Error.Kind); };
  scanner.OnEnterFolder = [&](const std::u16string& Folder) {
    asked.push_back(Folder);
    return true;
  };
  scanner.Scanner.SetPattern(u"x");
  EXPECT_TRUE(scanner.Search(u"/.", u"no-such-name-anywhere", false));
  EXPECT_EQ(asked, std::vector<std::u16string>{u"/"});
  EXPECT_EQ(folders, std::vector<std::u16string>{u"/"});
  EXPECT_TRUE(errors.empty());
}

TEST_F(FileScanWalk, EmptyFileIsReportedAndNotOpened) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  Run("empty.txt", "", false);
  EXPECT_EQ(Log.ErrorsOf(sekEmptyFile), Names{"empty.txt"});
  EXPECT_EQ(layer.Calls(TFileOp::Open), 0);
}

TEST_F(FileScanWalk, NameMatchReportsWithoutReading) {
  Scanner.Mode = smScanContents | smMatchName;
  EXPECT_EQ(Run(".", "*.log", false), Names{"hello-name.log"});
  ASSERT_EQ(Log.Infos.size(), 1u);
  EXPECT_EQ(Log.Infos[0].Encoding, seFileName);
  EXPECT_EQ(Log.Infos[0].Size, 3);
  EXPECT_EQ(Log.Infos[0].Converter, nullptr);
  EXPECT_FALSE(Log.Infos[0].InArchive);
}

TEST_F(FileScanWalk, NameOnlyOpensNoFile) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  Scanner.Mode = smMatchName | smNameOnly;
  EXPECT_EQ(Run(".", "", true), Names{"hello-name.log"});
  EXPECT_EQ(layer.Calls(TFileOp::Open), 0);
  EXPECT_TRUE(Log.Errors.empty());
}

// Names only with a pattern: the files whose names are no hit are passed over without their size and
// date; the hit is still looked up and carries both.
TEST_F(FileScanWalk, NameOnlyHitsCarryTheirSize) {
  Scanner.Mode = smMatchName | smNameOnly;
  Scanner.Scanner.SetPattern(u"name");
  EXPECT_EQ(Run(".", "", true), Names{"hello-name.log"});
  ASSERT_EQ(Log.Infos.size(), 1u);
  EXPECT_EQ(Log.Infos[0].Size, 3);
  EXPECT_TRUE(Log.Errors.empty());
}

TEST_F(FileScanWalk, ContentHitsCarryTheirEncodingAndSize) {
  Run("c.doc", "", false);
  ASSERT_EQ(Log.Infos.size(), 1u);
  EXPECT_EQ(Log.Infos[0].Encoding, seAnsi);
  EXPECT_EQ(Log.Infos[0].Size, 9);
  EXPECT_EQ(Scanner.FilesScanned, 1);
}

TEST_F(FileScanWalk, SkipBinary) {
  Scanner.SkipBinary = true;
  EXPECT_EQ(Run(".", "", false), (Names{"a.txt", "B.TXT", "c.doc"}));
  EXPECT_EQ(Log.ErrorsOf(sekNotText), Names{"bin.dat"});

  // Without a pattern, only the text files are accepted, and empty files, which hold no binary data.
  Log = TScanLog();
  Log.Attach(Scanner, Tree);
  Scanner.Scanner.SetPattern(u"");
  EXPECT_EQ(Run(".", "", false), (Names{"a.txt", "B.TXT", "b.txt", "c.doc", "empty.txt", "hello-name.log"}));
  EXPECT_EQ(Log.ErrorsOf(sekNotText), Names{"bin.dat"});
}

TEST_F(FileScanWalk, EmptyPatternAcceptsEveryFileEvenAboveTheLimit) {
  Scanner.Scanner.SetPattern(u"");
  Scanner.MaxScanSize = 4;
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  EXPECT_EQ(Run(".", "", false),
            (Names{"a.txt", "B.TXT", "b.txt", "bin.dat", "c.doc", "empty.txt", "hello-name.log"}));
  for (const TFoundFileInfo& info : Log.Infos) EXPECT_EQ(info.Encoding, seFileName);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(layer.Calls(TFileOp::Open), 0);
}

// The size limit applies only to files whose contents must be read: a large file is still found by its
// name, and a file that the masks or the owner's filter skip is never reported as too large.
TEST_F(FileScanWalk, SizeLimitComesAfterMasksFiltersAndName) {
  Tree.File("big/hello-big.txt", std::string(100, 'x'));
  Tree.File("big/big.txt", std::string(100, 'x') + "hello");
  Tree.File("big/big.doc", std::string(100, 'x') + "hello");
  Tree.File("big/filtered.txt", std::string(100, 'x') + "hello");
  Tree.File("big/small.txt", "hello");
  Scanner.MaxScanSize = 50;
  Scanner.Mode = smScanContents | smMatchName;
  Scanner.OnFilterFile = [&](const TFilterFileInfo& File) {
    EXPECT_FALSE(File.SizeIncomplete);
    return Tree.Relative(File.FileName) != "big/filtered.txt";
  };
  EXPECT_EQ(Run("big", "*.txt", false), (Names{"big/hello-big.txt", "big/small.txt"}));
  EXPECT_EQ(Log.ErrorsOf(sekTooLarge), Names{"big/big.txt"});
}

TEST_F(FileScanWalk, ExcludedFolders) {
  std::vector<std::string> asked;
  Scanner.OnEnterFolder = [&](const std::u16string& Folder) {
    asked.push_back(Tree.Relative(Folder));
    return asked.back() != "sub";
  };
  EXPECT_EQ(Run(".", "*.txt", true), (Names{"a.txt", "B.TXT", "other/g.txt", "sub2/f.txt"}));
  // The root is asked too; nothing below an excluded folder is.
  EXPECT_EQ(asked, (Names{Tree.Root, "other", "sub", "sub2"}));

  // An excluded root is skipped whole.
  Log = TScanLog();
  Log.Attach(Scanner, Tree);
  EXPECT_EQ(Run("sub", "", true), Names{});
}

TEST_F(FileScanWalk, DateAndSizeFilterSeesTheDirectoryEntry) {
  Tree.File("dated/old.txt", "hello");
  Tree.File("dated/new.txt", "hello");
  Tree.File("dated/large.txt", std::string(5000, 'y') + "hello");
  Tree.SetTime("dated/old.txt", 978307200);   // 2001-01-01
  Tree.SetTime("dated/new.txt", 1700000000);  // 2023-11-14
  Tree.SetTime("dated/large.txt", 1700000000);
  const TDateTime from = 43831;  // 2020-01-01, days since 1899-12-30
  std::vector<int64_t> sizes;
  Scanner.OnFilterFile = [&](const TFilterFileInfo& File) {
    sizes.push_back(File.Size);
    return File.Date >= from && File.Size <= 1000;
  };
  EXPECT_EQ(Run("dated", "", false), Names{"dated/new.txt"});
  EXPECT_EQ(sizes, (std::vector<int64_t>{5005, 5, 5}));
  ASSERT_EQ(Log.Infos.size(), 1u);
  EXPECT_GT(Log.Infos[0].Date, 45243.0);  // the local time of 2023-11-14 22:13 UTC falls on the 14th or 15th
  EXPECT_LT(Log.Infos[0].Date, 45245.0);
}

TEST_F(FileScanWalk, DuplicateFilterSeesEachFileOnce) {
  std::vector<std::string> asked;
  Scanner.OnAcceptFile = [&](const std::u16string& FileName) {
    asked.push_back(Tree.Relative(FileName));
    return asked.back() != "a.txt";
  };
  EXPECT_EQ(Run(". sub", "*.txt", false), (Names{"B.TXT", "sub/d.txt"}));
  EXPECT_EQ(asked, (Names{"a.txt", "B.TXT", "b.txt", "empty.txt", "sub/d.txt"}));
}

TEST_F(FileScanWalk, StopEndsTheWalk) {
  int files = 0;
  Scanner.OnProgress = [&](const std::u16string&, TScanProgressKind Kind) {
    if (Kind == spkFile) ++files;
    return files < 2;
  };
  EXPECT_EQ(Run(".", "", true), Names{"a.txt"});
  EXPECT_FALSE(Completed);
  EXPECT_EQ(Log.ErrorsOf(sekAborted).size(), 1u);
}

// A file that disappears between the listing and its use is an open failure, never a hit.
TEST_F(FileScanWalk, FileGoneAfterTheListing) {
  Scanner.Scanner.SetPattern(u"");
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Tree.Relative(Name) == "a.txt") unlink(Tree.Path("b.txt").c_str());
    return true;
  };
  EXPECT_EQ(Run(".", "*.txt", false), (Names{"a.txt", "B.TXT", "empty.txt"}));
  ASSERT_EQ(Log.ErrorsOf(sekOpenFailed), Names{"b.txt"});
  EXPECT_EQ(Log.Errors[0].OSCode, kErrorFileNotFound);
  for (const TFoundFileInfo& info : Log.Infos) EXPECT_GE(info.Size, 0);

  TWideStrLst masks;
  Log = TScanLog();
  Log.Attach(Scanner, Tree);
  EXPECT_TRUE(Scanner.ScanSingleFile(Tree.WidePath("gone.txt"), masks, true, true));
  EXPECT_EQ(Log.ErrorsOf(sekOpenFailed), Names{"gone.txt"});
  EXPECT_TRUE(Log.Hits.empty());
}

// Descriptors the process holds, to see that a walk leaves none open.
size_t OpenDescriptors() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// The walk reads each folder once, for its files and its sub-folders together, and opens each file it
// reads once, relative to its folder, without asking its type or size again.
TEST_F(FileScanWalk, EachFolderIsReadOnceAndEachFileOpenedOnce) {
  // The walk's own calls: scan-ahead workers would open files (the empty one too) on other threads.
  Scanner.WorkerThreads = 1;
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  const size_t before = OpenDescriptors();
  Run(".", "", true);
  EXPECT_EQ(Log.Folders, (Names{Tree.Root, "other", "sub", "sub/deeper", "sub2"}));
  EXPECT_EQ(layer.Calls(TFileOp::OpenFolder), 5);
  EXPECT_EQ(layer.Calls(TFileOp::ReadFolder), 5);
  EXPECT_EQ(layer.Calls(TFileOp::Open), 10);  // every file but the empty one
  EXPECT_EQ(layer.Calls(TFileOp::Stat), 0);
  EXPECT_EQ(OpenDescriptors(), before);
}

// File systems that give no entry types (DT_UNKNOWN) are walked alike: the link to a folder is not
// entered and the FIFO is not opened.
TEST_F(FileScanWalk, SameWalkWhenTheFileSystemGivesNoTypes) {
  const Names typed = Run(".", "", true);
  const std::vector<TScanLog::TError> errors = Log.Errors;
  Log = TScanLog();
  Log.Attach(Scanner, Tree);
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.HideEntryTypes = true;
  EXPECT_EQ(Run(".", "", true), typed);
  EXPECT_EQ(Log.Errors.size(), errors.size());
  EXPECT_EQ(Log.Folders, (Names{Tree.Root, "other", "sub", "sub/deeper", "sub2"}));
}

// A folder that cannot be opened or read is left out with one error naming it, and the walk goes on
// with nothing left open.
TEST_F(FileScanWalk, UnreadableFolderIsReportedAndLeftOut) {
  for (TFileOp op : {TFileOp::OpenFolder, TFileOp::ReadFolder}) {
    Log = TScanLog();
    Log.Attach(Scanner, Tree);
    TFaultyFileLayer layer;
    TFileLayerScope scope(layer);
    layer.FailCall(op, 3, EACCES);  // sub: after the root and other
    const size_t before = OpenDescriptors();
    EXPECT_EQ(Run(".", "*.txt", true), (Names{"a.txt", "B.TXT", "other/g.txt", "sub2/f.txt"}));
    EXPECT_TRUE(Completed);
    EXPECT_EQ(OpenDescriptors(), before);
    const auto failed = std::find_if(Log.Errors.begin(), Log.Errors.end(),
                                     [](const TScanLog::TError& E) { return E.Kind == sekOpenFailed; });
    ASSERT_NE(failed, Log.Errors.end());
    EXPECT_EQ(failed->Name, "sub");
    EXPECT_EQ(failed->Text, std::strerror(EACCES));
    EXPECT_EQ(std::count_if(Log.Errors.begin(), Log.Errors.end(),
                            [](const TScanLog::TError& E) { return E.Kind == sekOpenFailed; }),
              1);
  }
}

// Removes the folder Name of the folder open on DirFd with everything in it, relative to it, so that
// the length of the whole path does not matter.
void RemoveTreeAt(int DirFd, const std::string& Name) {
  const int fd = openat(DirFd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return;
  if (DIR* d = fdopendir(dup(fd))) {
    std::vector<std::pair<std::string, bool>> entries;
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
        entries.emplace_back(e->d_name, e->d_type == DT_DIR);
    closedir(d);
    for (const auto& [name, folder] : entries) {
      if (folder) RemoveTreeAt(fd, name);
      unlinkat(fd, name.c_str(), folder ? AT_REMOVEDIR : 0);
    }
  }
  close(fd);
}

// A tree deeper than the system's path limit is walked to its bottom: every folder is opened relative
// to its parent, and a file there is scanned like any other.
TEST_F(FileScanWalk, PathsLongerThanTheSystemAllowsAreWalked) {
  const std::string name(200, 'n');
  constexpr int kLevels = 25;  // about 5,000 bytes of path
  int fd = open(Tree.Path("").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(mkdirat(fd, "long", 0755), 0);
  int at = openat(fd, "long", O_RDONLY | O_DIRECTORY);
  std::string rel = "long";
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(mkdirat(at, name.c_str(), 0755), 0);
    const int next = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(at);
    at = next;
    rel += "/" + name;
  }
  const int file = openat(at, "deep.txt", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, "hello from below", 16), 16);
  close(file);
  close(at);
  ASSERT_GT(Tree.Path(rel).size(), size_t{PATH_MAX});

  EXPECT_EQ(Run("long", "", true), Names{rel + "/deep.txt"});
  EXPECT_TRUE(Completed);
  EXPECT_TRUE(Log.Errors.empty());
  RemoveTreeAt(fd, "long");
  unlinkat(fd, "long", AT_REMOVEDIR);
  close(fd);
}

// A file that changes between the listing and its turn is taken as it is at its turn, as when each file
// is looked up by its name: a folder in its place cannot be opened, a FIFO has no bytes and is never
// opened, a new file is read whole.
TEST_F(FileScanWalk, FileReplacedAfterTheListing) {
  Tree.File("r/a.txt", "hello");
  Tree.File("r/b.txt", "hello");
  Tree.File("r/c.txt", "hello");
  Tree.File("r/d.txt", "hello");
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Tree.Relative(Name) == "r/a.txt") {
      unlink(Tree.Path("r/b.txt").c_str());
      mkdir(Tree.Path("r/b.txt").c_str(), 0755);
      unlink(Tree.Path("r/c.txt").c_str());
      mkfifo(Tree.Path("r/c.txt").c_str(), 0644);
      Tree.File("r/d.txt", std::string(40000, 'x') + "hello");
    }
    return true;
  };
  EXPECT_EQ(Run("r", "", false), (Names{"r/a.txt", "r/d.txt"}));
  ASSERT_EQ(Log.ErrorsOf(sekOpenFailed), Names{"r/b.txt"});
  EXPECT_EQ(Log.Errors[0].OSCode, kErrorAccessDenied);
  EXPECT_EQ(Log.ErrorsOf(sekEmptyFile), Names{"r/c.txt"});
  EXPECT_EQ(Log.Infos[1].Size, 40005);
}

// A name that is not valid UTF-8 was converted to U+FFFD, which names another file: the file was
// reported as not found. Its bytes now survive the conversion and it is scanned like any other.
TEST_F(FileScanWalk, NameThatIsNotUtf8IsScanned) {
  Tree.File("u/bad\xff.txt", "hello");
  Tree.File("u/good.txt", "hello");
  EXPECT_EQ(Run("u", "", false), (Names{"u/bad\xff.txt", "u/good.txt"}));
  EXPECT_TRUE(Log.Errors.empty());
}

// Another program holding the file is a sharing violation: the file is scanned from a temporary copy,
// which is gone afterwards.
class FileScanLocked : public FileScanWalk {
 protected:
  void SetUp() override {
    FileScanWalk::SetUp();
    const char* old = std::getenv("TMPDIR");
    OldTmp = old != nullptr ? old : "";
    HadTmp = old != nullptr;
    Tree.Folder("tmp");
    setenv("TMPDIR", Tree.Path("tmp").c_str(), 1);
  }
  void TearDown() override {
    if (HadTmp)
      setenv("TMPDIR", OldTmp.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  Names TempFiles() {
    std::vector<std::string> files;
    ListFileNames(files, Tree.Path("tmp"), "*", false);
    return files;
  }
  std::string OldTmp;
  bool HadTmp = false;
};

// The file named as a root, and the file met in a walked folder (opened relative to it at first).
TEST_F(FileScanLocked, ScansATemporaryCopy) {
  // The failed open must be the walk's own, not a scan-ahead worker's.
  Scanner.WorkerThreads = 1;
  for (const auto& [roots, masks] : {std::pair{"c.doc", ""}, std::pair{".", "*.doc"}}) {
    Log = TScanLog();
    Log.Attach(Scanner, Tree);
    TFaultyFileLayer layer;
    TFileLayerScope scope(layer);
    layer.FailCall(TFileOp::Open, 1, EBUSY);
    EXPECT_EQ(Run(roots, masks, false), Names{"c.doc"}) << roots;
    EXPECT_TRUE(Log.Errors.empty());
    EXPECT_EQ(layer.Calls(TFileOp::MakeTemp), 1);
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(FileScanLocked, FailedCopyIsAnOpenFailureAndLeavesNoCopy) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Open, 1, EBUSY);
  layer.FailCall(TFileOp::Read, 1, EIO);
  EXPECT_EQ(Run("c.doc a.txt", "", false), Names{"a.txt"});
  ASSERT_EQ(Log.ErrorsOf(sekOpenFailed), Names{"c.doc"});
  EXPECT_NE(Log.Errors[0].Text.find("read"), std::string::npos) << Log.Errors[0].Text;
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileScanLocked, StopDuringTheCopy) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Open, 1, EBUSY);
  bool copying = false;
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile) copying = true;  // the next poll comes from the copy
    return !(copying && Kind == spkPoll && Name.empty());
  };
  Run("c.doc a.txt", "", false);
  EXPECT_TRUE(Log.Hits.empty());
  EXPECT_EQ(Log.ErrorsOf(sekAborted).size(), 2u);  // the copy's poll, then the next file's
  EXPECT_FALSE(Completed);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileScanWalk, ReadFailureIsReportedAndTheWalkGoesOn) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Read, 1, EIO);
  EXPECT_EQ(Run("a.txt c.doc", "", false), Names{"c.doc"});
  EXPECT_EQ(Log.ErrorsOf(sekScanFailed), Names{"a.txt"});
  EXPECT_EQ(Scanner.FilesScanned, 2);
}

TEST(FileScanMasks, MatchesMasks) {
  struct TCase {
    const char16_t* Name;
    const char16_t* Masks;
    bool InArchive;
    bool Matches;
  };
  const TCase cases[] = {
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
  TFileScanner scanner;
  for (const TCase& c : cases) {
    TWideStrLst masks;
    masks.SetDelimitedText(c.Masks, '"', CharSetOf(";"), false);
    EXPECT_EQ(scanner.MatchesMasks(c.Name, masks, true, c.InArchive), c.Matches)
        << Utf16ToUtf8(c.Name) << " " << Utf16ToUtf8(c.Masks);
  }
}

TEST(FileScanMasks, OwnerMaskRoutines) {
  TScanTree tree;
  tree.File("a.txt", "hello");
  tree.File("b.doc", "hello");
  TFileScanner scanner;
  scanner.WorkerThreads = 1;  // the order of the calls is the walk's on one thread
  TScanLog log;
  log.Attach(scanner, tree);
  scanner.Scanner.SetPattern(u"hello");
  // The owner's normal form turns "txt" into "*.txt".
  scanner.NormalizeMaskList = [](TWideStrLst& Masks) {
    for (int32_t i = 0; i < Masks.GetCount(); ++i)
      if (Masks.Get(i).find(u'.') == std::u16string::npos) Masks.Put(i, u"*." + Masks.Get(i));
  };
  std::vector<std::string> asked;
  scanner.MatchMask = [&](const std::string& Name, const std::string& Mask) {
    asked.push_back(Name + " " + Mask);
    return MatchesMask(Name, Mask);
  };
  EXPECT_TRUE(scanner.Search(tree.WidePath(""), u"txt", false));
  EXPECT_EQ(log.Hits, Names{"a.txt"});
  EXPECT_EQ(asked, (Names{"a.txt *.txt", "a.txt *.txt", "b.doc *.txt"}));
}

}  // namespace
