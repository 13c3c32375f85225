// The file scanner's archive walk over real archives: archives inside archives with their display paths,
// TAR inside GZIP, an ARJ set and a cabinet chain inside a ZIP folder, nested archives switched off, empty
// items, name hits without extraction, items through temporary files when memory is short, a damaged
// inner archive, the inner-archive cache seen from the walk, and the search within results. After every
// test no temporary file or folder is left.
#include "search/FileScanArc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/ArcNested.h"
#include "archive/cab/arlUnCab.h"
#include "core/StrLst.h"
#include "tests/search/FileScanTree.h"
#include "tests/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arcwalk";

class FileScanArc : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    HadTmp = old != nullptr;
    if (HadTmp) OldTmp = old;
    Temp = Tree.Path("tmp");
    fs::create_directories(Temp);
    ::setenv("TMPDIR", Temp.c_str(), 1);
    for (const auto& e : fs::directory_iterator(kFixtures))
      if (e.path().extension() != ".md") Tree.File("d/" + e.path().filename().string(), ReadFileBytes(e.path()));
    Scanner.Archives = &Walk;
    Scanner.ScanNestedArchives = true;
    Scanner.Scanner.SetPattern(u"needle");
    Walk.MemoryCheck = [this](int64_t Size) {
      MemoryAsked.push_back(Size);
      return !LowMemory;
    };
  }
  void TearDown() override {
    ClearArchiveCache();
    EXPECT_EQ(Leftovers(), Names{});
    if (HadTmp)
      ::setenv("TMPDIR", OldTmp.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  // Searches the fixture Name (below d/) and answers the hits, relative to the tree.
  Names Run(const std::string& Name, const std::u16string& Masks = u"") {
    Log = TScanLog();
    Log.Attach(Scanner, Tree);
    Completed = Scanner.Search(Tree.Roots("d/" + Name), Masks, false);
    return Log.Hits;
  }
  // What is left below the temporary folder.
  Names Leftovers() const {
    Names out;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(Temp, ec)) out.push_back(e.path().string());
    return out;
  }
  std::string D(const std::string& Rel) const { return Tree.Path("d/" + Rel); }

  TScanTree Tree;
  std::string Temp;
  bool HadTmp = false;
  std::string OldTmp;
  TArchiveWalk Walk;
  TFileScanner Scanner;
  TScanLog Log;
  bool Completed = false;
  bool LowMemory = false;
  std::vector<int64_t> MemoryAsked;
};

TEST_F(FileScanArc, ZipInsideZip) {
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_TRUE(Completed);
  for (const TFoundFileInfo& info : Log.Infos) {
    EXPECT_TRUE(info.InArchive);
    EXPECT_EQ(info.Encoding, seAnsi);
  }
  EXPECT_EQ(Log.Infos[1].Size, 19);
  EXPECT_EQ(Log.ErrorsOf(sekEmptyFile), Names{"d/nested.zip|empty.txt"});
  EXPECT_EQ(Log.Errors.size(), 1u);
  EXPECT_EQ(Scanner.FilesScanned, 3);  // top.txt, docs/hit.txt, other.txt
}

TEST_F(FileScanArc, MasksApplyToItemsNotToInnerArchives) {
  EXPECT_EQ(Run("nested.zip", u"hit.*"), Names{"d/nested.zip|inner.zip|docs/hit.txt"});
}

TEST_F(FileScanArc, TarInsideGzip) {
  EXPECT_EQ(Run("t.tar.gz"), Names{"d/t.tar.gz|t.tar|docs/hit.txt"});
  EXPECT_EQ(Log.Errors.size(), 0u);
}

TEST_F(FileScanArc, ArjSetInsideZipFolderIsWalkedOnce) {
  // long.txt begins in vols/set.arj and ends in vols/set.a01; the set is walked from its first volume.
  EXPECT_EQ(Run("arjset.zip"), Names{"d/arjset.zip|vols/set.arj|long.txt"});
  EXPECT_EQ(Log.Errors.size(), 0u);
}

TEST_F(FileScanArc, CabinetsInsideZip) {
  ASSERT_TRUE(LoadCabinetDll(""));
  Scanner.Scanner.SetPattern(u"BBBBBBBB");
  // b.txt runs from set1.cab into set2.cab and is found once, in the chain that set1.cab begins.
  EXPECT_EQ(Run("cabset.zip"), Names{"d/cabset.zip|cabs/set1.cab|b.txt"});
  // Each cabinet of the chain is read once and no cabinet file is opened after it was used up.
  for (const auto& e : Log.Errors) ADD_FAILURE() << e.Name << ": " << int(e.Kind) << " " << e.Text;
  Scanner.Scanner.SetPattern(u"needle");
  EXPECT_EQ(Run("cab.zip"), Names{"d/cab.zip|c.cab|docs/hit.txt"});
}

TEST_F(FileScanArc, NestedArchivesOff) {
  Scanner.ScanNestedArchives = false;
  EXPECT_EQ(Run("nested.zip"), Names{"d/nested.zip|top.txt"});
  EXPECT_EQ(Log.ErrorsOf(sekSubArchiveDisabled), Names{"d/nested.zip|inner.zip"});
}

TEST_F(FileScanArc, NameHitWithoutExtraction) {
  Scanner.Mode = smMatchName | smNameOnly;
  Scanner.Scanner.SetPattern(u"top");
  EXPECT_EQ(Run("nested.zip"), Names{"d/nested.zip|top.txt"});
  ASSERT_EQ(Log.Infos.size(), 1u);
  EXPECT_EQ(Log.Infos[0].Encoding, seFileName);
  EXPECT_EQ(Log.Infos[0].Size, 17);
  EXPECT_EQ(MemoryAsked, std::vector<int64_t>{});  // no plain item was extracted
  EXPECT_EQ(Scanner.FilesScanned, 0);
}

TEST_F(FileScanArc, EmptyPatternReportsEveryItemByName) {
  Scanner.Scanner.SetPattern(u"");
  EXPECT_EQ(Run("nested.zip"),
            (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt", "d/nested.zip|inner.zip|other.txt"}));
  EXPECT_EQ(MemoryAsked, std::vector<int64_t>{});
}

TEST_F(FileScanArc, LowMemoryTakesTemporaryFiles) {
  LowMemory = true;
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_EQ(MemoryAsked, (std::vector<int64_t>{17, 19, 15}));
  EXPECT_EQ(Log.Errors.size(), 1u);  // the empty item
}

TEST_F(FileScanArc, DamagedInnerArchiveIsReportedAndTheWalkGoesOn) {
  EXPECT_EQ(Run("damaged.zip"), Names{"d/damaged.zip|good.txt"});
  EXPECT_TRUE(Completed);
  // One report names the inner archive: it fails to open, or its reader gives up on it.
  ASSERT_EQ(Log.Errors.size(), 1u);
  EXPECT_EQ(Log.Errors[0].Name, "d/damaged.zip|bad.zip");
  EXPECT_TRUE(Log.Errors[0].Kind == sekArchiveOpenFailed || Log.Errors[0].Kind == sekArchiveWarning ||
              Log.Errors[0].Kind == sekException);
  EXPECT_FALSE(Log.Errors[0].Text.empty());
}

TEST_F(FileScanArc, StopInsideAnInnerArchiveEndsTheSearch) {
  Scanner.OnProgress = [](const std::u16string& Name, TScanProgressKind) {
    return Utf16ToUtf8(Name).find("docs/hit.txt") == std::string::npos;
  };
  Log = TScanLog();
  Scanner.OnFound = [this](const TFoundFileInfo& Info) { Log.Hits.push_back(Tree.Relative(Info.Name)); };
  EXPECT_FALSE(Scanner.Search(Tree.Roots("d/nested.zip d/t.tar.gz"), u"", false));
  EXPECT_EQ(Log.Hits, Names{"d/nested.zip|top.txt"});
}

TEST_F(FileScanArc, CachedInnerArchiveIsWalkedAndKept) {
  // A preview extracted an item of inner.zip before the search: the walk reads the cache's copy and
  // must not delete it.
  const int32_t size = 15;
  FreeArcBlock(ExtractArchivePathToMemory(D("nested.zip|inner.zip|other.txt"), size, nullptr));
  std::string cachedFile;
  {
    TArchiveCacheLock lock;
    TArchiver* cached = FindCachedArchive(D("nested.zip|inner.zip"));
    ASSERT_NE(cached, nullptr);
    cachedFile = cached->GetArchiveName();
  }
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_TRUE(fs::exists(cachedFile));
  TArcBlockPtr again(ExtractArchivePathToMemory(D("nested.zip|inner.zip|docs/hit.txt"), 19, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(again.get()), 19), "the needle is here\n");
}

TEST_F(FileScanArc, WalkedArchivesGoToTheCacheOnlyWhenExtracted) {
  // A lookup during the walk (a preview) takes over the archiver of an extracted inner archive, never
  // that of a file on disk, even one whose name holds "|": the cache deletes the files it owns.
  fs::copy_file(D("nested.zip"), D("a|b.zip"));
  Names takenOver;
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind != spkFile) return true;
    const std::string name = Utf16ToUtf8(Name);
    const std::string archive = name.substr(0, name.rfind('|'));
    TArchiveCacheLock lock;
    if (FindCachedArchive(archive) != nullptr) takenOver.push_back(Tree.Relative(Utf8ToUtf16(archive)));
    return true;
  };
  Scanner.OnFound = nullptr;
  EXPECT_TRUE(Scanner.Search(Tree.Roots("d/a|b.zip"), u"", false));
  EXPECT_EQ(takenOver, (Names{"d/a|b.zip|inner.zip", "d/a|b.zip|inner.zip"}));
  EXPECT_TRUE(fs::exists(D("a|b.zip")));
  // The inner archive's file is the cache's now and outlives the walk.
  TArcBlockPtr block(ExtractArchivePathToMemory(D("a|b.zip|inner.zip|other.txt"), 15, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(block.get()), 15), "nothing to see\n");
}

TEST_F(FileScanArc, RescanArchiveItem) {
  Log = TScanLog();
  Log.Attach(Scanner, Tree);
  const std::u16string path = Utf8ToUtf16(D("nested.zip|inner.zip|docs/hit.txt"));
  EXPECT_TRUE(Scanner.RescanArchiveItem(path, 19, 0));
  LowMemory = true;  // the second time through a temporary file, the inner archive from the cache
  EXPECT_TRUE(Scanner.RescanArchiveItem(path, 19, 0));
  EXPECT_EQ(Log.Hits, (Names{"d/nested.zip|inner.zip|docs/hit.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_EQ(Scanner.CurrentArchive, D("nested.zip|inner.zip"));
  // A missing item is one error and the search goes on.
  EXPECT_TRUE(Walk.RescanArchiveItem(Scanner, Utf8ToUtf16(D("nested.zip|inner.zip|gone.txt")), 5, 0));
  EXPECT_EQ(Log.ErrorsOf(sekException), Names{"d/nested.zip|inner.zip|gone.txt"});
  LowMemory = false;
  EXPECT_TRUE(Walk.RescanArchiveItem(Scanner, Utf8ToUtf16(D("nested.zip|inner.zip|gone.txt")), 5, 0));
  EXPECT_EQ(Log.ErrorsOf(sekException).size(), 2u);
}

}  // namespace
