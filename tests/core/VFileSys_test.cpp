#include "core/VFileSys.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "tests/core/FileFixtures.h"

namespace {

using Names = std::vector<std::string>;

// Sets an environment variable for one scope.
class TEnvScope {
 public:
  TEnvScope(const char* name, const std::string& value) : Name(name) {
    const char* old = std::getenv(name);
    Had = old != nullptr;
    if (Had) Old = old;
    setenv(name, value.c_str(), 1);
    tzset();
  }
  ~TEnvScope() {
    if (Had)
      setenv(Name, Old.c_str(), 1);
    else
      unsetenv(Name);
    tzset();
  }

 private:
  const char* Name;
  bool Had;
  std::string Old;
};

TEST(VFileSys, PathStrings) {
  EXPECT_EQ(WideExtractFileExt(u"/dir.d/file"), u"");
  EXPECT_EQ(WideExtractFileExt(u"a.b.txt"), u".txt");
  EXPECT_EQ(ExtractFileExt("C:\\x.y"), ".y");  // "\" and ":" are ordinary characters
  EXPECT_EQ(WideExtractFilePath(u"/a/b/c.txt"), u"/a/b/");
  EXPECT_EQ(WideExtractFilePath(u"c.txt"), u"");
  EXPECT_EQ(WideExtractFileName(u"/a/b/c.txt"), u"c.txt");
  EXPECT_EQ(WideExtractFileName(u"/a/b/"), u"");
  std::string dir, name;
  SplitFileName("/a/b.c/d", dir, name);
  EXPECT_EQ(dir, "/a/b.c/");
  EXPECT_EQ(name, "d");
  EXPECT_EQ(RemoveFileExt("/a/b.c/d"), "/a/b.c/d");
  EXPECT_EQ(WideRemoveFileExt(u"x.tar.gz"), u"x.tar");
  EXPECT_EQ(LowerFileExt("README.HTM"), "htm");
  EXPECT_EQ(LowerFileExt("noext"), "");
  EXPECT_EQ(WideIncludeTrailingBackslash(u""), u"/");
  EXPECT_EQ(WideIncludeTrailingBackslash(u"/a/"), u"/a/");
  EXPECT_EQ(WideExcludeTrailingBackslash(u"/a/"), u"/a");
  EXPECT_EQ(WideExcludeTrailingBackslash(u"/a"), u"/a");
  EXPECT_EQ(WideLastDelimiter(u"/.", u"/a/b.c"), 5);
  EXPECT_EQ(WideLastDelimiter(u"/", u"abc"), 0);
}

TEST(VFileSys, MaskExtLengthAndMatching) {
  struct {
    const char* mask;
    int32_t ext;
  } lengths[] = {{"*.txt", 3}, {"*.*", -1}, {"*", -1}, {"*.", 0}, {"", -1}, {"a.t*", -1}, {"a.b.c", 1}};
  for (const auto& c : lengths) EXPECT_EQ(MaskExtLength(c.mask), c.ext) << c.mask;
  EXPECT_EQ(WideMaskExtLength(u"*.txt"), 3);

  struct {
    const char* name;
    const char* mask;
    bool match;
  } cases[] = {
      {"x.htm", "*.htm", true},
      {"x.html", "*.htm", false},
      {"X.HTM", "*.htm", true},
      {"noext", "*.", true},
      {"a.b", "*.", false},
      {"abc", "*.*", true},
      {"abc", "a*.*", true},
      {"abc.d", "a*.*", true},
      {"a.b.c", "*.c", true},
      {"ab", "?", false},
      {"ab", "??", true},
      {"abc", "a*c*", true},
      {"t\xc3\xa4st.txt", "T?ST.TXT", true},       // "?" is one character, not one byte
      {"t\xc3\xa4st.txt", "T\xc3\x84ST.*", true},  // case is ignored beyond ASCII as well
      {"abc", "", true},
      {"a.txt", "*.txt*", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " / " << c.mask;
}

TEST(VFileSys, ShortenPath) {
  const std::u16string path = u"C:/folder/subfolder/file.txt";  // 28 characters
  ASSERT_EQ(path.size(), 28u);
  const std::u16string s = WideShortenPath(path, 20, u"");
  EXPECT_EQ(s, u"C:/folde.../file.txt");
  EXPECT_EQ(WideShortenPath(u"abcdefghijklmnopqrstuvwxyz", 10, u"/"), u"abcdefg...");
  EXPECT_EQ(WideShortenPath(u"abcdefgh", 2, u"/"), u"a...");  // below 4 counts as 4
  EXPECT_EQ(WideShortenPath(path, 28, u"/"), path);
  // Not enough room between the delimiters: the end is cut instead.
  EXPECT_EQ(WideShortenPath(u"/ab/cdefghijklmnopqrstuvwxyz", 12, u"/").size(), 12u);
}

// A tree with a symbolic-link loop, a link to a file, a FIFO, files with and without extensions and
// hidden files, in two levels of sub-folders.
class ListingTree : public testing::Test {
 protected:
  void SetUp() override {
    root = dir.Path + "/root";
    namespace fs = std::filesystem;
    fs::create_directories(root + "/sub/deeper");
    fs::create_directories(root + "/Sub2");
    for (const char* f : {"b.txt", "A.txt", "x.htm", "x.html", "noext", ".hidden", "sub/c.htm",
                          "sub/deeper/d.htm", "Sub2/e.txt"})
      WriteFileBytes(root + "/" + f, f);
    ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0600), 0);
    fs::create_directory_symlink(root, root + "/loop");
    fs::create_directory_symlink(root + "/sub", root + "/sub/deeper/up");
    fs::create_symlink(root + "/b.txt", root + "/linkfile");
    fs::create_symlink(root + "/nowhere", root + "/dangling");
    chmod((root + "/A.txt").c_str(), 0444);
  }
  Names Rel(const Names& full) {
    Names out;
    for (const auto& f : full) out.push_back(f.substr(root.size() + 1));
    return out;
  }
  TTempFolder dir;
  std::string root;
};

TEST_F(ListingTree, RecursiveListingIsOrderedSkipsFifoAndLinkedFolders) {
  Names files;
  ListFileNames(files, root, "", true);
  EXPECT_EQ(Rel(files), (Names{".hidden", "A.txt", "b.txt", "linkfile", "noext", "x.htm", "x.html",
                               "sub/c.htm", "sub/deeper/d.htm", "Sub2/e.txt"}));
  ListFileNames(files, root + "/", "*.htm", true);
  EXPECT_EQ(Rel(files), (Names{"x.htm", "sub/c.htm", "sub/deeper/d.htm"}));
  ListFileNames(files, root, "*.", false);
  EXPECT_EQ(Rel(files), (Names{"linkfile", "noext"}));
  ListFileNames(files, "", "*", true);
  EXPECT_TRUE(files.empty());
  ListFileNames(files, root + "/missing", "*", true);
  EXPECT_TRUE(files.empty());
}

// File systems that give no entry types (DT_UNKNOWN) are listed alike: each entry's type is asked then.
TEST_F(ListingTree, SameListingsWhenTheFileSystemGivesNoTypes) {
  Names files, subs;
  ListFileNames(files, root, "", true);
  ListSubdirNames(subs, root, "");
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.HideEntryTypes = true;
  Names untypedFiles, untypedSubs;
  ListFileNames(untypedFiles, root, "", true);
  ListSubdirNames(untypedSubs, root, "");
  EXPECT_EQ(untypedFiles, files);
  EXPECT_EQ(untypedSubs, subs);
  EXPECT_EQ(layer.Calls(TFileOp::ReadFolder),
            5);  // root, sub, sub/deeper, Sub2; root again for its sub-folders
}

// A recursive listing reads each folder once, for its files and its sub-folders together, and opens no
// file. A folder that cannot be opened or read is left out with everything below it.
TEST_F(ListingTree, EachFolderIsReadOnceAndUnreadableFoldersAreLeftOut) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  Names files;
  ListFileNames(files, root, "*.htm", true);
  EXPECT_EQ(Rel(files), (Names{"x.htm", "sub/c.htm", "sub/deeper/d.htm"}));
  EXPECT_EQ(layer.Calls(TFileOp::OpenFolder), 4);
  EXPECT_EQ(layer.Calls(TFileOp::ReadFolder), 4);
  EXPECT_EQ(layer.Calls(TFileOp::Open), 0);
  EXPECT_EQ(layer.Calls(TFileOp::Close), 4);

  for (TFileOp op : {TFileOp::OpenFolder, TFileOp::ReadFolder}) {
    layer.FailCall(op, 2, EACCES);  // the second folder, sub
    ListFileNames(files, root, "*.htm", true);
    EXPECT_EQ(Rel(files), Names{"x.htm"});
  }
  // Root and Sub2 after the failed open of sub; root, sub and Sub2 after its failed read, which is closed
  // too.
  EXPECT_EQ(layer.Calls(TFileOp::Close), 4 + 2 + 3);
}

// Names in order without case, by their upper-case UTF-16 form (the ASCII names and the others by the
// same key), ties broken exactly.
TEST(VFileSys, ListingOrderWithoutCaseTiesBrokenExactly) {
  TTempFolder dir;
  // Upper case: "\u0131" (dotless i) is "I"; "\u00e9" is "\u00c9"; the fullwidth A is its own.
  for (const char* name : {"\xef\xbc\xa1", "\xf0\x9f\x98\x80",
                           "\xc3\x89"
                           "a",
                           "\xc3\xa9", "[x", "z",
                           "\xc4\xb1"
                           "b",
                           "ib", "Ib", "b", "B", "a"})
    WriteFileBytes(dir / name, "");
  Names files;
  ListFileNames(files, dir.Path, "", false);
  for (auto& f : files) f = f.substr(dir.Path.size() + 1);
  // "[" (0x5B) comes after "Z" and before the letters beyond ASCII; U+1F600 (a surrogate pair, D83D)
  // before U+FF21, although its UTF-8 form is the greater.
  EXPECT_EQ(files, (Names{"a", "B", "b", "Ib", "ib",
                          "\xc4\xb1"
                          "b",
                          "z", "[x", "\xc3\xa9",
                          "\xc3\x89"
                          "a",
                          "\xf0\x9f\x98\x80", "\xef\xbc\xa1"}));
}

TEST_F(ListingTree, SubfolderNamesWithoutLinks) {
  Names subs;
  ListSubdirNames(subs, root, "");
  EXPECT_EQ(subs, (Names{"sub", "Sub2"}));
  ListSubdirNames(subs, root, "s*2");
  EXPECT_EQ(subs, (Names{"Sub2"}));
}

TEST_F(ListingTree, StringListForms) {
  TStrLst files;
  files.Add("stale");
  EXPECT_EQ(ListFiles(files, root, "*.txt", true), 3);
  EXPECT_EQ(files.Get(0), root + "/A.txt");
  EXPECT_EQ(files.Get(2), root + "/Sub2/e.txt");
  TWideStrLst wide;
  EXPECT_EQ(WideListFiles(wide, Utf8ToUtf16(root), u"*.htm", false), 1);
  EXPECT_EQ(wide.Get(0), Utf8ToUtf16(root) + u"/x.htm");
  TStrLst subs;
  EXPECT_EQ(ListSubdirs(subs, root, "*"), 2);
  EXPECT_EQ(subs.Get(1), "Sub2");
  EXPECT_EQ(WideListSubdirs(wide, Utf8ToUtf16(root + "/sub"), u""), 1);
  EXPECT_EQ(wide.Get(0), u"deeper");
}

TEST(VFileSys, RemoveDirListRemovesFoldersInnermostFirstAndKeepsFiles) {
  TTempFolder dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir / "a/b/c");
  fs::create_directories(dir / "d/e");
  fs::create_directories(dir / "x/y");
  WriteFileBytes(dir / "d/keep", "k");
  TStrLst list;
  list.Add(dir / "a");
  list.Add(dir / "d/");
  RemoveDirList(list, true);
  EXPECT_FALSE(DirExists(dir / "a"));
  EXPECT_FALSE(DirExists(dir / "d/e"));
  EXPECT_TRUE(FileExists(dir / "d/keep"));
  list.Clear();
  list.Add(dir / "x");
  list.Add(dir / "x/y");  // sorted so that the inner one goes first
  RemoveDirList(list, false);
  EXPECT_FALSE(DirExists(dir / "x"));

  WriteFileBytes(dir / "f1", "");
  list.Clear();
  list.Add(dir / "f1");
  list.Add(dir / "d");
  DeleteFileList(list);
  EXPECT_FALSE(FileExists(dir / "f1"));
  EXPECT_TRUE(DirExists(dir / "d"));
}

TEST(VFileSys, CreateDirTree) {
  TTempFolder dir;
  const std::string deep = dir / "a/b/c";
  EXPECT_TRUE(CreateDirTree(deep + "/"));
  EXPECT_TRUE(DirExists(dir / "a/b"));
  EXPECT_TRUE(DirExists(deep));
  EXPECT_TRUE(CreateDirTree(deep));  // exists
  EXPECT_TRUE(CreateDirTree("/"));
  WriteFileBytes(dir / "file", "");
  EXPECT_FALSE(CreateDirTree(dir / "file/x"));
  EXPECT_THROW(CreateDirTree(""), Exception);
  try {
    CreateDirTree("ab");  // used to answer true for any name shorter than 3 without creating it
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot create directory");
  }
}

TEST(VFileSys, ExistenceAndDeletion) {
  TTempFolder dir;
  WriteFileBytes(dir / "f", "x");
  std::filesystem::create_directory(dir / "d");
  EXPECT_TRUE(FileExists(dir / "f"));
  EXPECT_FALSE(FileExists(dir / "d"));
  EXPECT_TRUE(DirExists(dir / "d"));
  EXPECT_TRUE(WideFileExists(Utf8ToUtf16(dir / "f")));
  EXPECT_FALSE(ForceDeleteFile(""));
  EXPECT_FALSE(ForceDeleteFile(dir / "d"));
  EXPECT_FALSE(ForceRemoveDir(dir / "f"));
  chmod((dir / "f").c_str(), 0444);
  EXPECT_TRUE(ForceDeleteFile(dir / "f"));
  EXPECT_FALSE(ForceDelete(dir / "f"));
  EXPECT_TRUE(ForceDelete(dir / "d"));
}

TEST(VFileSys, CopyKeepsContentAndTimeAndLeavesNoHalfCopy) {
  TTempFolder dir;
  const std::string content(200000, 'c');
  WriteFileBytes(dir / "src", content);
  ASSERT_TRUE(SetFileWriteTime(dir / "src", 43000.5));
  EXPECT_TRUE(WideCopyFile(Utf8ToUtf16(dir / "src"), Utf8ToUtf16(dir / "dst"), true));
  EXPECT_EQ(ReadFileBytes(dir / "dst"), content);
  TDateTime t = 0;
  ASSERT_TRUE(GetFileInfo(dir / "dst", nullptr, &t, nullptr, nullptr, nullptr));
  EXPECT_NEAR(t, 43000.5, 1e-6);
  EXPECT_FALSE(WideCopyFile(Utf8ToUtf16(dir / "src"), Utf8ToUtf16(dir / "dst"), true));

  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Write, 2, ENOSPC);
  EXPECT_FALSE(WideCopyFile(Utf8ToUtf16(dir / "src"), Utf8ToUtf16(dir / "dst2"), false));
  EXPECT_FALSE(FileExists(dir / "dst2"));
}

TEST(VFileSys, OpenAndReadBytes) {
  TTempFolder dir;
  WriteFileBytes(dir / "f", std::string("PK\x03\x04rest", 8));
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  int h = OpenReadShared(dir / "f");
  EXPECT_GE(h, 0);
  EXPECT_TRUE(CloseFileHandle(h));
  EXPECT_EQ(h, -1);
  EXPECT_FALSE(CloseFileHandle(h));
  EXPECT_EQ(h, -1);
  EXPECT_EQ(OpenReadShared(dir / "pipe"), -1);  // refused, not blocked
  EXPECT_EQ(OpenReadShared(dir.Path), -1);
  EXPECT_EQ(OpenReadShared(dir / "missing"), -1);

  const std::u16string f = Utf8ToUtf16(dir / "f");
  char buf[4];
  EXPECT_TRUE(WideReadFileBytes(f, buf, 4, 4));
  EXPECT_EQ(std::string(buf, 4), "rest");
  EXPECT_FALSE(WideReadFileBytes(f, buf, 4, 5));  // short
  EXPECT_FALSE(WideReadFileBytes(f, buf, 1, 100));
  try {
    WideReadFileBytes(Utf8ToUtf16(dir / "missing"), buf, 1, 0);
    FAIL();
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode, kErrorFileNotFound);
  }
  try {
    WideReadFileBytes(Utf8ToUtf16(dir.Path), buf, 1, 0);  // a folder
    FAIL();
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode, kErrorAccessDenied);
  }
  EXPECT_TRUE(WideFileHasBytesAt(f, std::string("PK\x03\x04", 4), 0));
  EXPECT_FALSE(WideFileHasBytesAt(f, "PK\x03\x05", 0));
  EXPECT_TRUE(WideFileHasBytesAt(f, "est", 5));
  EXPECT_FALSE(WideFileHasBytesAt(f, "rest!", 4));
  // A NUL at the same place in both ends the comparison.
  WriteFileBytes(dir / "z", std::string("a\0b", 3));
  EXPECT_TRUE(WideFileHasBytesAt(Utf8ToUtf16(dir / "z"), std::string("a\0c", 3), 0));
}

TEST(VFileSys, FileInfoAndTimes) {
  TEnvScope tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  // No zone change: the file-time epoch lies 109205 days before the date-time epoch.
  EXPECT_EQ(FileTimeToDateTime(0), -109205.0);
  EXPECT_EQ(DateTimeToFileTime(0), int64_t{109205} * 864000000000);
  EXPECT_EQ(DateTimeToFileTime(FileTimeToDateTime(132000000000000000)), 132000000000000000);
  // Whole seconds of a day stay whole: scaling the double straight to ticks was 16 ticks off for these.
  for (int second : {7919, 63352, 86399}) {
    const TDateTime at = 45000 + second / 86400.0;
    EXPECT_EQ(DateTimeToFileTime(at) % 10000000, 0) << second;  // 10^7 ticks of 100 ns a second
  }
  // 2020-07-01 12:00 local is 10:00 UTC in summer, 2020-01-15 12:00 local is 11:00 UTC in winter.
  const TDateTime summer = 44013.5, winter = 43845.5;
  const int64_t hour = 36000000000;
  EXPECT_EQ(LocalDateTimeToFileTime(summer), DateTimeToFileTime(summer) - 2 * hour);
  EXPECT_EQ(LocalDateTimeToFileTime(winter), DateTimeToFileTime(winter) - hour);
  EXPECT_NEAR(FileTimeToLocalDateTime(LocalDateTimeToFileTime(summer)), summer, 1e-9);

  TTempFolder dir;
  WriteFileBytes(dir / ".f", "12345");
  ASSERT_TRUE(SetFileWriteTime(dir / ".f", summer));
  chmod((dir / ".f").c_str(), 0444);
  int64_t size = 0;
  TDateTime write = 0, created = 0, accessed = 0;
  uint32_t attributes = 0;
  ASSERT_TRUE(GetFileInfo(dir / ".f", &size, &write, &created, &accessed, &attributes));
  EXPECT_EQ(size, 5);
  EXPECT_NEAR(write, summer, 1e-9);
  EXPECT_GT(created, 40000);
  EXPECT_EQ(attributes, faArchive | faReadOnly | faHidden);
  ASSERT_TRUE(WideGetFileInfo(Utf8ToUtf16(dir.Path), nullptr, nullptr, nullptr, nullptr, &attributes));
  EXPECT_EQ(attributes & faDirectory, faDirectory);
  size = 0;
  EXPECT_FALSE(GetFileInfo(dir / "missing", &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(size, -1);
  EXPECT_FALSE(SetFileWriteTime(dir / "missing", summer));
}

TEST(VFileSys, InstanceTag) {
  EXPECT_EQ(MakeInstanceTagFor(16, 1), "00000011");
  EXPECT_EQ(MakeInstanceTagFor(0xFFFFFFFF, 0xFFFFFFFF), "UUUUUUUU");
  EXPECT_EQ(MakeInstanceTag(nullptr).size(), 8u);
}

// The temporary folder and the candidates are replaced for one test, and the file layer answers the
// free-space questions.
class TempFiles : public testing::Test {
 protected:
  void SetUp() override {
    saved = TempFolderCandidates();
    for (const char* d : {"tmp", "small", "large"}) std::filesystem::create_directory(dir / d);
    TempFolderCandidates() = {dir / "small/", dir / "missing/", dir / "large/"};
    layer.SetFreeSpace(dir / "tmp/", 500 * 1024);
    layer.SetFreeSpace(dir / "small/", 900 * 1024);
    layer.SetFreeSpace(dir / "large/", int64_t{100} << 20);
  }
  void TearDown() override { TempFolderCandidates() = saved; }

  TTempFolder dir;
  TEnvScope tmp{"TMPDIR", dir / "tmp"};
  TFaultyFileLayer layer;
  TFileLayerScope scope{layer};
  std::vector<std::string> saved;
};

TEST_F(TempFiles, NoNeedMeansNoFreeSpaceQuestion) {
  std::string folder;
  EXPECT_TRUE(GetTempFolder(folder, 0));
  EXPECT_EQ(folder, dir / "tmp/");
  EXPECT_EQ(layer.Calls(TFileOp::FreeSpace), 0);
  std::string name;
  ASSERT_TRUE(MakeTempFileName(name, "QVxyz", 0));
  EXPECT_EQ(name.rfind(dir / "tmp/QVx", 0), 0u) << name;
  EXPECT_EQ(name.size(), (dir / "tmp/QVx").size() + 6);
  EXPECT_TRUE(FileExists(name));
}

TEST_F(TempFiles, ShortOfRoomMovesToTheFirstCandidateWithEnough) {
  std::string folder;
  EXPECT_TRUE(GetTempFolder(folder, 1000));  // 500 KB free: below the 1 MB floor
  EXPECT_EQ(folder, dir / "large/");
  EXPECT_EQ(TempFolderCandidates().front(), dir / "large/");
  std::string name;
  ASSERT_TRUE(MakeTempFileName(name, "QV", 1000));
  EXPECT_EQ(name.rfind(dir / "large/QV", 0), 0u);
}

TEST_F(TempFiles, AFolderWhereNoFileCanBeMadeIsDropped) {
  layer.FailFrom(TFileOp::MakeTemp, EACCES);
  std::string name;
  EXPECT_FALSE(MakeTempFileName(name, "QV", 1000));
  EXPECT_EQ(TempFolderCandidates(), (std::vector<std::string>{dir / "small/", dir / "missing/"}));
  try {
    MakeTempFileNameOrRaise("QV", name, 1000);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Not enough free space on hard drive(s) for temporary files");
  }
}

}  // namespace
