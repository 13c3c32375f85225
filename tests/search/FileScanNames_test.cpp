// Files and folders whose names are not UTF-8 (any byte string is a Linux name): the walk enters them,
// finds them by content and by name, reports them with a path that converts back to their exact bytes,
// and every later step (results table, search within results, locked-file copy, archive walk through
// temporary files) finds them again.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/ArcNested.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"
#include "search/FileScan.h"
#include "search/FileScanArc.h"
#include "search/NLSProcsDyn.h"
#include "search/SrchRes.h"
#include "tests/TestFiles.h"
#include "tests/search/FileScanTree.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The names: 0xFF in a folder's name, a lone 0x80, a three-byte sequence cut short, the over-long form of
// "/" (C0 AF, which must stay two bytes of one name), a character outside the BMP (valid UTF-8 that
// converts to a surrogate pair), and 0xFE in a file without a hit.
const std::string kInBad = "n/bad\xFF/in\x80side.txt";
const std::string kTrunc = "n/trunc\xE2\x82.txt";
const std::string kOver = "n/over\xC0\xAF.txt";
const std::string kSmile = "n/smile\xF0\x9F\x98\x80.txt";
const std::string kPlain = "n/plain.txt";
const std::string kNone = "n/none\xFE.txt";

class FileScanNames : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* Contents[][2] = {{kInBad.c_str(), "say hello"}, {kTrunc.c_str(), "hello again"},
                                 {kOver.c_str(), "hello"},      {kSmile.c_str(), "a hello"},
                                 {kPlain.c_str(), "hello"},     {kNone.c_str(), "nothing"}};
    for (const auto& [name, text] : Contents) {
      Tree_.File(name, text);
      Tree_.SetTime(name, 1700000000);
    }
    Log_.Attach(Scanner_, Tree_);
    Scanner_.Scanner.SetPattern(u"hello");
  }

  Names Run(const std::string& Roots, const std::u16string& Masks, bool Recurse) {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    Completed_ = Scanner_.Search(Tree_.Roots(Roots), Masks, Recurse);
    return Log_.Hits;
  }

  TScanTree Tree_;
  TFileScanner Scanner_;
  TScanLog Log_;
  bool Completed_ = false;
};

// Content hits in walk order (a folder's files before its sub-folders, without case), each with the size
// and date the system gives for the name's bytes.
TEST_F(FileScanNames, FoundByContentWithSizeAndDate) {
  EXPECT_EQ(Run("n", u"", true), (Names{kOver, kPlain, kSmile, kTrunc, kInBad}));
  EXPECT_TRUE(Completed_);
  EXPECT_TRUE(Log_.Errors.empty());
  EXPECT_EQ(Log_.Folders, (Names{"n", "n/bad\xFF"}));
  for (const TFoundFileInfo& Info : Log_.Infos) {
    const std::string Bytes = Utf16ToUtf8(Info.Name);
    int64_t Size = -1;
    TDateTime Date = 0;
    ASSERT_TRUE(GetFileInfo(Bytes, &Size, &Date, nullptr, nullptr, nullptr)) << Bytes;
    EXPECT_EQ(Info.Size, Size) << Bytes;
    EXPECT_EQ(Info.Date, Date) << Bytes;
    EXPECT_EQ(Info.Encoding, seAnsi);
  }
}

// Masks and names: "*" and an empty pattern list every file; masks and the name search see the names'
// other characters; the root may itself be such a name, a wildcard inside such a folder, or a sub-folder
// mask that selects it.
TEST_F(FileScanNames, FoundByNameMaskAndAsRoot) {
  struct TCase {
    const char* What;
    std::string Roots;
    std::u16string Masks;
    bool Recurse;
    std::u16string Pattern;
    TScanModes Mode;
    Names Hits;
  };
  const TCase Cases[] = {
      {"every file, mask *",
       "n",
       u"*",
       true,
       u"",
       smScanContents,
       {kNone, kOver, kPlain, kSmile, kTrunc, kInBad}},
      {"mask on the name's other characters",
       "n",
       u"*.txt;in*",
       true,
       u"hello",
       smScanContents,
       {kOver, kPlain, kSmile, kTrunc, kInBad}},
      {"mask that needs the bytes after", "n", u"trunc*.txt", true, u"hello", smScanContents, {kTrunc}},
      {"name search", "n", u"", true, u"none", smMatchName | smNameOnly, {kNone}},
      {"name search through a broken sequence", "n", u"", true, u"trunc", smMatchName | smNameOnly, {kTrunc}},
      {"file named as a root", kInBad, u"", false, u"hello", smScanContents, {kInBad}},
      {"folder named as a root", "n/bad\xFF", u"", false, u"hello", smScanContents, {kInBad}},
      {"wildcard inside such a folder", "n/bad\xFF/*.txt", u"", false, u"hello", smScanContents, {kInBad}},
      {"sub-folder mask that selects it", "n/b*/", u"", false, u"hello", smScanContents, {kInBad}},
  };
  for (const TCase& C : Cases) {
    Scanner_.Scanner.SetPattern(C.Pattern);
    Scanner_.Mode = C.Mode;
    EXPECT_EQ(Run(C.Roots, C.Masks, C.Recurse), C.Hits) << C.What;
    EXPECT_TRUE(Log_.Errors.empty()) << C.What;
  }
}

// The results table stores the path and gives it back unchanged; the search within results opens every
// row again by its stored path.
TEST_F(FileScanNames, ResultsTableAndSearchWithinResults) {
  Run("n", u"", true);
  ASSERT_EQ(Log_.Infos.size(), 5u);
  TSearchResults Results;
  for (const TFoundFileInfo& Info : Log_.Infos) Results.Add(Info);
  SortSearchResults(Results, rcName, false);
  for (const TFoundFileInfo& Info : Log_.Infos) {
    const int32_t Row = Results.IndexOf(Info.Name);
    ASSERT_GE(Row, 0);
    EXPECT_EQ(Results.GetFullName(Row), Info.Name);
    EXPECT_EQ(Results.GetName(Row), WideExtractFileName(Info.Name));
    TFoundFileInfo Stored;
    Results.GetInfo(Row, Stored);
    EXPECT_EQ(Stored.Name, Info.Name);
    EXPECT_EQ(Stored.Size, Info.Size);
    EXPECT_EQ(Stored.Date, Info.Date);
  }
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  EXPECT_TRUE(SearchInResults(Results, Scanner_));
  EXPECT_TRUE(Log_.Errors.empty());
  EXPECT_EQ(Log_.Hits.size(), 5u);
}

// The temporary folder, its name not UTF-8 either, set as $TMPDIR for one test; emptied and restored after.
class FileScanNamesTemp : public FileScanNames {
 protected:
  void SetUp() override {
    FileScanNames::SetUp();
    const char* Old = std::getenv("TMPDIR");
    HadTmp_ = Old != nullptr;
    if (HadTmp_) OldTmp_ = Old;
    Temp_ = Tree_.Path("tmp\xFE");
    ASSERT_EQ(mkdir(Temp_.c_str(), 0755), 0);
    setenv("TMPDIR", Temp_.c_str(), 1);
  }
  void TearDown() override {
    ClearArchiveCache();
    EXPECT_EQ(Leftovers(), Names{});
    if (HadTmp_)
      setenv("TMPDIR", OldTmp_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  Names Leftovers() const {
    Names Out;
    std::error_code Ec;
    for (const auto& E : fs::recursive_directory_iterator(Temp_, Ec)) Out.push_back(E.path().string());
    return Out;
  }
  std::string Temp_;
  bool HadTmp_ = false;
  std::string OldTmp_;
};

// Another program holds the file: it is copied to a temporary file and scanned from there, in the walk
// (opened relative to its folder) and when named as a root.
TEST_F(FileScanNamesTemp, LockedFileIsScannedFromACopy) {
  Scanner_.WorkerThreads = 1;  // the failed open must be the walk's own, not a scan-ahead worker's
  for (const std::string& Roots : {kInBad, std::string("n/bad\xFF")}) {
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    // The walk opens a listed file first to look at it, and the stream then opens it by name: another
    // program's hold makes both fail.
    Layer.FailCall(TFileOp::Open, 1, EBUSY, Roots == kInBad ? 1 : 2);
    EXPECT_EQ(Run(Roots, u"", false), Names{kInBad}) << Roots;
    EXPECT_TRUE(Log_.Errors.empty()) << Roots;
    EXPECT_EQ(Layer.Calls(TFileOp::MakeTemp), 1) << Roots;
    EXPECT_EQ(Leftovers(), Names{});
  }
}

// An archive in such a folder, with an archive inside it read through temporary files: the items' paths
// keep the archive's bytes.
TEST_F(FileScanNamesTemp, ArchiveWalkThroughTemporaryFiles) {
  const std::string Zip = ReadFileBytes(fs::path(SCRYLINE_TEST_DATA) / "arcwalk" / "nested.zip");
  ASSERT_FALSE(Zip.empty());
  Tree_.File("n/bad\xFF/z\xFE.zip", Zip);
  TArchiveWalk Walk;
  Walk.MemoryCheck = [](int64_t) { return false; };
  Scanner_.Archives = &Walk;
  Scanner_.ScanNestedArchives = true;
  Scanner_.Scanner.SetPattern(u"needle");
  EXPECT_EQ(Run("n/bad\xFF", u"", false),
            (Names{"n/bad\xFF/z\xFE.zip|top.txt", "n/bad\xFF/z\xFE.zip|inner.zip|docs/hit.txt"}));
  EXPECT_EQ(Log_.ErrorsOf(sekOpenFailed), Names{});
  EXPECT_EQ(Log_.ErrorsOf(sekArchiveOpenFailed), Names{});
}

// Only names convert this way: text in a character set keeps U+FFFD for bytes that are not UTF-8.
TEST(FileNameConversionScope, TextKeepsTheReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("h\xFFi"), u"h\xDCFFi");
  EXPECT_EQ(CharsetToWide("h\xFFi", qvnls::kCharsetUtf8), u"h\uFFFDi");
}

}  // namespace
