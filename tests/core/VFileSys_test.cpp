#include "core/VFileSys.h"

#include <fcntl.h>
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
  TEnvScope(const char* Name, const std::string& Value) : Name_(Name) {
    const char* Old = std::getenv(Name);
    Had_ = Old != nullptr;
    if (Had_) Old_ = Old;
    setenv(Name, Value.c_str(), 1);
    tzset();
  }
  ~TEnvScope() {
    if (Had_)
      setenv(Name_, Old_.c_str(), 1);
    else
      unsetenv(Name_);
    tzset();
  }

 private:
  const char* Name_;
  bool Had_;
  std::string Old_;
};

TEST(VFileSys, PathStrings) {
  EXPECT_EQ(WideExtractFileExt(u"/dir.d/file"), u"");
  EXPECT_EQ(WideExtractFileExt(u"a.b.txt"), u".txt");
  EXPECT_EQ(ExtractFileExt("C:\\x.y"), ".y");  // "\" and ":" are ordinary characters
  EXPECT_EQ(WideExtractFilePath(u"/a/b/c.txt"), u"/a/b/");
  EXPECT_EQ(WideExtractFilePath(u"c.txt"), u"");
  EXPECT_EQ(WideExtractFileName(u"/a/b/c.txt"), u"c.txt");
  EXPECT_EQ(WideExtractFileName(u"/a/b/"), u"");
  std::string Dir, Name;
  SplitFileName("/a/b.c/d", Dir, Name);
  EXPECT_EQ(Dir, "/a/b.c/");
  EXPECT_EQ(Name, "d");
  EXPECT_EQ(RemoveFileExt("/a/b.c/d"), "/a/b.c/d");
  EXPECT_EQ(WideRemoveFileExt(u"x.tar.gz"), u"x.tar");
  EXPECT_EQ(LowerFileExt("README.HTM"), "htm");
  EXPECT_EQ(LowerFileExt("noext"), "");
  EXPECT_EQ(WideIncludeTrailingSlash(u""), u"/");
  EXPECT_EQ(WideIncludeTrailingSlash(u"/a/"), u"/a/");
  EXPECT_EQ(WideExcludeTrailingSlash(u"/a/"), u"/a");
  EXPECT_EQ(WideExcludeTrailingSlash(u"/a"), u"/a");
  EXPECT_EQ(WideLastDelimiter(u"/.", u"/a/b.c"), 5);
  EXPECT_EQ(WideLastDelimiter(u"/", u"abc"), 0);
}

TEST(VFileSys, MaskExtLengthAndMatching) {
  struct {
    const char* Mask;
    int32_t Ext;
  } Lengths[] = {{"*.txt", 3}, {"*.*", -1}, {"*", -1}, {"*.", 0}, {"", -1}, {"a.t*", -1}, {"a.b.c", 1}};
  for (const auto& C : Lengths) EXPECT_EQ(MaskExtLength(C.Mask), C.Ext) << C.Mask;
  EXPECT_EQ(WideMaskExtLength(u"*.txt"), 3);

  struct {
    const char* Name;
    const char* Mask;
    bool Match;
  } Cases[] = {
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
  for (const auto& C : Cases) EXPECT_EQ(MatchesMask(C.Name, C.Mask), C.Match) << C.Name << " / " << C.Mask;
}

TEST(VFileSys, ShortenPath) {
  const std::u16string Path = u"C:/folder/subfolder/file.txt";  // 28 characters
  ASSERT_EQ(Path.size(), 28u);
  const std::u16string S = WideShortenPath(Path, 20, u"");
  EXPECT_EQ(S, u"C:/folde.../file.txt");
  EXPECT_EQ(WideShortenPath(u"abcdefghijklmnopqrstuvwxyz", 10, u"/"), u"abcdefg...");
  EXPECT_EQ(WideShortenPath(u"abcdefgh", 2, u"/"), u"a...");  // below 4 counts as 4
  EXPECT_EQ(WideShortenPath(Path, 28, u"/"), Path);
  // Not enough room between the delimiters: the end is cut instead.
  EXPECT_EQ(WideShortenPath(u"/ab/cdefghijklmnopqrstuvwxyz", 12, u"/").size(), 12u);
}

// A tree with a symbolic-link loop, a link to a file, a FIFO, files with and without extensions and
// hidden files, in two levels of sub-folders.
class ListingTree : public testing::Test {
 protected:
  void SetUp() override {
    Root_ = Dir_.Path + "/root";
    namespace fs = std::filesystem;
    fs::create_directories(Root_ + "/sub/deeper");
    fs::create_directories(Root_ + "/Sub2");
    for (const char* F : {"b.txt", "A.txt", "x.htm", "x.html", "noext", ".hidden", "sub/c.htm",
                          "sub/deeper/d.htm", "Sub2/e.txt"})
      WriteFileBytes(Root_ + "/" + F, F);
    ASSERT_EQ(mkfifo((Root_ + "/pipe").c_str(), 0600), 0);
    fs::create_directory_symlink(Root_, Root_ + "/loop");
    fs::create_directory_symlink(Root_ + "/sub", Root_ + "/sub/deeper/up");
    fs::create_symlink(Root_ + "/b.txt", Root_ + "/linkfile");
    fs::create_symlink(Root_ + "/nowhere", Root_ + "/dangling");
    chmod((Root_ + "/A.txt").c_str(), 0444);
  }
  Names Rel(const Names& Full) {
    Names Out;
    for (const auto& F : Full) Out.push_back(F.substr(Root_.size() + 1));
    return Out;
  }
  TTempFolder Dir_;
  std::string Root_;
};

TEST_F(ListingTree, RecursiveListingIsOrderedSkipsFifoAndLinkedFolders) {
  Names Files;
  ListFileNames(Files, Root_, "", true);
  EXPECT_EQ(Rel(Files), (Names{".hidden", "A.txt", "b.txt", "linkfile", "noext", "x.htm", "x.html",
                               "sub/c.htm", "sub/deeper/d.htm", "Sub2/e.txt"}));
  ListFileNames(Files, Root_ + "/", "*.htm", true);
  EXPECT_EQ(Rel(Files), (Names{"x.htm", "sub/c.htm", "sub/deeper/d.htm"}));
  ListFileNames(Files, Root_, "*.", false);
  EXPECT_EQ(Rel(Files), (Names{"linkfile", "noext"}));
  ListFileNames(Files, "", "*", true);
  EXPECT_TRUE(Files.empty());
  ListFileNames(Files, Root_ + "/missing", "*", true);
  EXPECT_TRUE(Files.empty());
}

// File systems that give no entry types (DT_UNKNOWN) are listed alike: each entry's type is asked then.
TEST_F(ListingTree, SameListingsWhenTheFileSystemGivesNoTypes) {
  Names Files, Subs;
  ListFileNames(Files, Root_, "", true);
  ListSubdirNames(Subs, Root_, "");
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.HideEntryTypes = true;
  Names UntypedFiles, UntypedSubs;
  ListFileNames(UntypedFiles, Root_, "", true);
  ListSubdirNames(UntypedSubs, Root_, "");
  EXPECT_EQ(UntypedFiles, Files);
  EXPECT_EQ(UntypedSubs, Subs);
  EXPECT_EQ(Layer.Calls(TFileOp::ReadFolder),
            5);  // root, sub, sub/deeper, Sub2; root again for its sub-folders
}

// A recursive listing reads each folder once, for its files and its sub-folders together, and opens no
// file. A folder that cannot be opened or read is left out with everything below it.
TEST_F(ListingTree, EachFolderIsReadOnceAndUnreadableFoldersAreLeftOut) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Names Files;
  ListFileNames(Files, Root_, "*.htm", true);
  EXPECT_EQ(Rel(Files), (Names{"x.htm", "sub/c.htm", "sub/deeper/d.htm"}));
  EXPECT_EQ(Layer.Calls(TFileOp::OpenFolder), 4);
  EXPECT_EQ(Layer.Calls(TFileOp::ReadFolder), 4);
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 0);
  EXPECT_EQ(Layer.Calls(TFileOp::Close), 4);

  for (TFileOp Op : {TFileOp::OpenFolder, TFileOp::ReadFolder}) {
    Layer.FailCall(Op, 2, EACCES);  // the second folder, sub
    ListFileNames(Files, Root_, "*.htm", true);
    EXPECT_EQ(Rel(Files), Names{"x.htm"});
  }
  // Root and Sub2 after the failed open of sub; root, sub and Sub2 after its failed read, which is closed
  // too.
  EXPECT_EQ(Layer.Calls(TFileOp::Close), 4 + 2 + 3);
}

// Names in order without case, by their upper-case UTF-16 form (the ASCII names and the others by the
// same key), ties broken exactly.
TEST(VFileSys, ListingOrderWithoutCaseTiesBrokenExactly) {
  TTempFolder Dir;
  // Upper case: "\u0131" (dotless i) is "I"; "\u00e9" is "\u00c9"; the fullwidth A is its own.
  for (const char* Name : {"\xef\xbc\xa1", "\xf0\x9f\x98\x80",
                           "\xc3\x89"
                           "a",
                           "\xc3\xa9", "[x", "z",
                           "\xc4\xb1"
                           "b",
                           "ib", "Ib", "b", "B", "a"})
    WriteFileBytes(Dir / Name, "");
  Names Files;
  ListFileNames(Files, Dir.Path, "", false);
  for (auto& F : Files) F = F.substr(Dir.Path.size() + 1);
  // "[" (0x5B) comes after "Z" and before the letters beyond ASCII; U+1F600 (a surrogate pair, D83D)
  // before U+FF21, although its UTF-8 form is the greater.
  EXPECT_EQ(Files, (Names{"a", "B", "b", "Ib", "ib",
                          "\xc4\xb1"
                          "b",
                          "z", "[x", "\xc3\xa9",
                          "\xc3\x89"
                          "a",
                          "\xf0\x9f\x98\x80", "\xef\xbc\xa1"}));
}

TEST_F(ListingTree, SubfolderNamesWithoutLinks) {
  Names Subs;
  ListSubdirNames(Subs, Root_, "");
  EXPECT_EQ(Subs, (Names{"sub", "Sub2"}));
  ListSubdirNames(Subs, Root_, "s*2");
  EXPECT_EQ(Subs, (Names{"Sub2"}));
}

TEST_F(ListingTree, StringListForms) {
  TStrLst Files;
  Files.Add("stale");
  EXPECT_EQ(ListFiles(Files, Root_, "*.txt", true), 3);
  EXPECT_EQ(Files.Get(0), Root_ + "/A.txt");
  EXPECT_EQ(Files.Get(2), Root_ + "/Sub2/e.txt");
  TWideStrLst Wide;
  EXPECT_EQ(WideListFiles(Wide, Utf8ToUtf16(Root_), u"*.htm", false), 1);
  EXPECT_EQ(Wide.Get(0), Utf8ToUtf16(Root_) + u"/x.htm");
  TStrLst Subs;
  EXPECT_EQ(ListSubdirs(Subs, Root_, "*"), 2);
  EXPECT_EQ(Subs.Get(1), "Sub2");
  EXPECT_EQ(WideListSubdirs(Wide, Utf8ToUtf16(Root_ + "/sub"), u""), 1);
  EXPECT_EQ(Wide.Get(0), u"deeper");
}

TEST(VFileSys, RemoveDirListRemovesFoldersInnermostFirstAndKeepsFiles) {
  TTempFolder Dir;
  namespace fs = std::filesystem;
  fs::create_directories(Dir / "a/b/c");
  fs::create_directories(Dir / "d/e");
  fs::create_directories(Dir / "x/y");
  WriteFileBytes(Dir / "d/keep", "k");
  TStrLst List;
  List.Add(Dir / "a");
  List.Add(Dir / "d/");
  RemoveDirList(List, true);
  EXPECT_FALSE(DirExists(Dir / "a"));
  EXPECT_FALSE(DirExists(Dir / "d/e"));
  EXPECT_TRUE(FileExists(Dir / "d/keep"));
  List.Clear();
  List.Add(Dir / "x");
  List.Add(Dir / "x/y");  // sorted so that the inner one goes first
  RemoveDirList(List, false);
  EXPECT_FALSE(DirExists(Dir / "x"));

  WriteFileBytes(Dir / "f1", "");
  List.Clear();
  List.Add(Dir / "f1");
  List.Add(Dir / "d");
  DeleteFileList(List);
  EXPECT_FALSE(FileExists(Dir / "f1"));
  EXPECT_TRUE(DirExists(Dir / "d"));
}

TEST(VFileSys, CreateDirTree) {
  TTempFolder Dir;
  const std::string Deep = Dir / "a/b/c";
  EXPECT_TRUE(CreateDirTree(Deep + "/"));
  EXPECT_TRUE(DirExists(Dir / "a/b"));
  EXPECT_TRUE(DirExists(Deep));
  EXPECT_TRUE(CreateDirTree(Deep));  // exists
  EXPECT_TRUE(CreateDirTree("/"));
  WriteFileBytes(Dir / "file", "");
  EXPECT_FALSE(CreateDirTree(Dir / "file/x"));
  EXPECT_THROW(CreateDirTree(""), Exception);
  try {
    CreateDirTree("ab");  // used to answer true for any name shorter than 3 without creating it
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Cannot create directory");
  }
}

TEST(VFileSys, ExistenceAndDeletion) {
  TTempFolder Dir;
  WriteFileBytes(Dir / "f", "x");
  std::filesystem::create_directory(Dir / "d");
  EXPECT_TRUE(FileExists(Dir / "f"));
  EXPECT_FALSE(FileExists(Dir / "d"));
  EXPECT_TRUE(DirExists(Dir / "d"));
  EXPECT_TRUE(WideFileExists(Utf8ToUtf16(Dir / "f")));
  EXPECT_FALSE(ForceDeleteFile(""));
  EXPECT_FALSE(ForceDeleteFile(Dir / "d"));
  EXPECT_FALSE(ForceRemoveDir(Dir / "f"));
  chmod((Dir / "f").c_str(), 0444);
  EXPECT_TRUE(ForceDeleteFile(Dir / "f"));
  EXPECT_FALSE(ForceDelete(Dir / "f"));
  EXPECT_TRUE(ForceDelete(Dir / "d"));
}

TEST(VFileSys, CopyKeepsContentAndTimeAndLeavesNoHalfCopy) {
  TTempFolder Dir;
  const std::string Content(200000, 'c');
  WriteFileBytes(Dir / "src", Content);
  ASSERT_TRUE(SetFileWriteTime(Dir / "src", 43000.5));
  EXPECT_TRUE(WideCopyFile(Utf8ToUtf16(Dir / "src"), Utf8ToUtf16(Dir / "dst"), true));
  EXPECT_EQ(ReadFileBytes(Dir / "dst"), Content);
  TDateTime T = 0;
  ASSERT_TRUE(GetFileInfo(Dir / "dst", nullptr, &T, nullptr, nullptr, nullptr));
  EXPECT_NEAR(T, 43000.5, 1e-6);
  EXPECT_FALSE(WideCopyFile(Utf8ToUtf16(Dir / "src"), Utf8ToUtf16(Dir / "dst"), true));

  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Write, 2, ENOSPC);
  EXPECT_FALSE(WideCopyFile(Utf8ToUtf16(Dir / "src"), Utf8ToUtf16(Dir / "dst2"), false));
  EXPECT_FALSE(FileExists(Dir / "dst2"));
}

TEST(VFileSys, OpenAndReadBytes) {
  TTempFolder Dir;
  WriteFileBytes(Dir / "f", std::string("PK\x03\x04rest", 8));
  ASSERT_EQ(mkfifo((Dir / "pipe").c_str(), 0600), 0);
  int H = OpenReadShared(Dir / "f");
  EXPECT_GE(H, 0);
  EXPECT_TRUE(CloseFileHandle(H));
  EXPECT_EQ(H, -1);
  EXPECT_FALSE(CloseFileHandle(H));
  EXPECT_EQ(H, -1);
  EXPECT_EQ(OpenReadShared(Dir / "pipe"), -1);  // refused, not blocked
  EXPECT_EQ(OpenReadShared(Dir.Path), -1);
  EXPECT_EQ(OpenReadShared(Dir / "missing"), -1);

  const std::u16string F = Utf8ToUtf16(Dir / "f");
  char Buf[4];
  EXPECT_TRUE(WideReadFileBytes(F, Buf, 4, 4));
  EXPECT_EQ(std::string(Buf, 4), "rest");
  EXPECT_FALSE(WideReadFileBytes(F, Buf, 4, 5));  // short
  EXPECT_FALSE(WideReadFileBytes(F, Buf, 1, 100));
  try {
    WideReadFileBytes(Utf8ToUtf16(Dir / "missing"), Buf, 1, 0);
    FAIL();
  } catch (const EWin32Error& E) {
    EXPECT_EQ(E.ErrorCode, kErrorFileNotFound);
  }
  try {
    WideReadFileBytes(Utf8ToUtf16(Dir.Path), Buf, 1, 0);  // a folder
    FAIL();
  } catch (const EWin32Error& E) {
    EXPECT_EQ(E.ErrorCode, kErrorAccessDenied);
  }
  EXPECT_TRUE(WideFileHasBytesAt(F, std::string("PK\x03\x04", 4), 0));
  EXPECT_FALSE(WideFileHasBytesAt(F, "PK\x03\x05", 0));
  EXPECT_TRUE(WideFileHasBytesAt(F, "est", 5));
  EXPECT_FALSE(WideFileHasBytesAt(F, "rest!", 4));
  // A NUL at the same place in both ends the comparison.
  WriteFileBytes(Dir / "z", std::string("a\0b", 3));
  EXPECT_TRUE(WideFileHasBytesAt(Utf8ToUtf16(Dir / "z"), std::string("a\0c", 3), 0));
}

TEST(VFileSys, FileInfoAndTimes) {
  TEnvScope Tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  // No zone change: the file-time epoch lies 109205 days before the date-time epoch.
  EXPECT_EQ(FileTimeToDateTime(0), -109205.0);
  EXPECT_EQ(DateTimeToFileTime(0), int64_t{109205} * 864000000000);
  EXPECT_EQ(DateTimeToFileTime(FileTimeToDateTime(132000000000000000)), 132000000000000000);
  // Whole seconds of a day stay whole: scaling the double straight to ticks was 16 ticks off for these.
  for (int Second : {7919, 63352, 86399}) {
    const TDateTime At = 45000 + Second / 86400.0;
    EXPECT_EQ(DateTimeToFileTime(At) % 10000000, 0) << Second;  // 10^7 ticks of 100 ns a second
  }
  // 2020-07-01 12:00 local is 10:00 UTC in summer, 2020-01-15 12:00 local is 11:00 UTC in winter.
  const TDateTime Summer = 44013.5, Winter = 43845.5;
  const int64_t Hour = 36000000000;
  EXPECT_EQ(LocalDateTimeToFileTime(Summer), DateTimeToFileTime(Summer) - 2 * Hour);
  EXPECT_EQ(LocalDateTimeToFileTime(Winter), DateTimeToFileTime(Winter) - Hour);
  EXPECT_NEAR(FileTimeToLocalDateTime(LocalDateTimeToFileTime(Summer)), Summer, 1e-9);

  TTempFolder Dir;
  WriteFileBytes(Dir / ".f", "12345");
  ASSERT_TRUE(SetFileWriteTime(Dir / ".f", Summer));
  chmod((Dir / ".f").c_str(), 0444);
  int64_t Size = 0;
  TDateTime Write = 0, Created = 0, Accessed = 0;
  uint32_t Attributes = 0;
  ASSERT_TRUE(GetFileInfo(Dir / ".f", &Size, &Write, &Created, &Accessed, &Attributes));
  EXPECT_EQ(Size, 5);
  EXPECT_NEAR(Write, Summer, 1e-9);
  EXPECT_GT(Created, 40000);
  EXPECT_EQ(Attributes, faArchive | faReadOnly | faHidden);
  ASSERT_TRUE(WideGetFileInfo(Utf8ToUtf16(Dir.Path), nullptr, nullptr, nullptr, nullptr, &Attributes));
  EXPECT_EQ(Attributes & faDirectory, faDirectory);
  Size = 0;
  EXPECT_FALSE(GetFileInfo(Dir / "missing", &Size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(Size, -1);
  EXPECT_FALSE(SetFileWriteTime(Dir / "missing", Summer));
}

// The look through an open descriptor gives what the look by name gives: size, date and attributes.
TEST(VFileSys, FileInfoOfStatusAsByName) {
  TTempFolder Dir;
  WriteFileBytes(Dir / ".f", "12345");
  WriteFileBytes(Dir / "g", "1234567");
  ASSERT_TRUE(SetFileWriteTime(Dir / ".f", 44013.5));
  chmod((Dir / ".f").c_str(), 0444);
  for (const char* Name : {".f", "g"}) {
    SCOPED_TRACE(Name);
    int64_t Size = 0, StatusSize = 0;
    TDateTime Write = 0, StatusWrite = 0;
    uint32_t Attributes = 0, StatusAttributes = 0;
    ASSERT_TRUE(GetFileInfo(Dir / Name, &Size, &Write, nullptr, nullptr, &Attributes));
    const int Fd = ::open((Dir / Name).c_str(), O_RDONLY);
    ASSERT_GE(Fd, 0);
    struct stat St {};
    ASSERT_EQ(::fstat(Fd, &St), 0);
    ::close(Fd);
    FileInfoOfStatus(St, Name, &StatusSize, &StatusWrite, &StatusAttributes);
    EXPECT_EQ(StatusSize, Size);
    EXPECT_EQ(StatusWrite, Write);
    EXPECT_EQ(StatusAttributes, Attributes);
  }
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
    Saved_ = TempFolderCandidates();
    for (const char* D : {"tmp", "small", "large"}) std::filesystem::create_directory(Dir_ / D);
    TempFolderCandidates() = {Dir_ / "small/", Dir_ / "missing/", Dir_ / "large/"};
    Layer_.SetFreeSpace(Dir_ / "tmp/", 500 * 1024);
    Layer_.SetFreeSpace(Dir_ / "small/", 900 * 1024);
    Layer_.SetFreeSpace(Dir_ / "large/", int64_t{100} << 20);
  }
  void TearDown() override { TempFolderCandidates() = Saved_; }

  TTempFolder Dir_;
  TEnvScope Tmp_{"TMPDIR", Dir_ / "tmp"};
  TFaultyFileLayer Layer_;
  TFileLayerScope Scope_{Layer_};
  std::vector<std::string> Saved_;
};

TEST_F(TempFiles, NoNeedMeansNoFreeSpaceQuestion) {
  std::string Folder;
  EXPECT_TRUE(GetTempFolder(Folder, 0));
  EXPECT_EQ(Folder, Dir_ / "tmp/");
  EXPECT_EQ(Layer_.Calls(TFileOp::FreeSpace), 0);
  std::string Name;
  ASSERT_TRUE(MakeTempFileName(Name, "QVxyz", 0));
  EXPECT_EQ(Name.rfind(Dir_ / "tmp/QVx", 0), 0u) << Name;
  EXPECT_EQ(Name.size(), (Dir_ / "tmp/QVx").size() + 6);
  EXPECT_TRUE(FileExists(Name));
}

TEST_F(TempFiles, ShortOfRoomMovesToTheFirstCandidateWithEnough) {
  std::string Folder;
  EXPECT_TRUE(GetTempFolder(Folder, 1000));  // 500 KB free: below the 1 MB floor
  EXPECT_EQ(Folder, Dir_ / "large/");
  EXPECT_EQ(TempFolderCandidates().front(), Dir_ / "large/");
  std::string Name;
  ASSERT_TRUE(MakeTempFileName(Name, "QV", 1000));
  EXPECT_EQ(Name.rfind(Dir_ / "large/QV", 0), 0u);
}

TEST_F(TempFiles, AFolderWhereNoFileCanBeMadeIsDropped) {
  Layer_.FailFrom(TFileOp::MakeTemp, EACCES);
  std::string Name;
  EXPECT_FALSE(MakeTempFileName(Name, "QV", 1000));
  EXPECT_EQ(TempFolderCandidates(), (std::vector<std::string>{Dir_ / "small/", Dir_ / "missing/"}));
  try {
    MakeTempFileNameOrRaise("QV", Name, 1000);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Not enough free space on hard drive(s) for temporary files");
  }
}

}  // namespace
