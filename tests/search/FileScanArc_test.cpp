// The file scanner's archive walk over real archives: archives inside archives with their display paths,
// TAR inside GZIP, an ARJ set and a cabinet chain inside a ZIP folder, nested archives switched off, empty
// items, name hits without extraction, items through temporary files when memory is short, a damaged
// inner archive, the inner-archive cache seen from the walk, and the search within results. After every
// test no temporary file or folder is left.
#include "search/FileScanArc.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>

#include "archive/ArcNested.h"
#include "archive/cab/arlUnCab.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/WinUtils.h"
#include "search/QVConvIntf.h"
#include "search/SrchRes.h"
#include "tests/TestFiles.h"
#include "tests/archive/ArchiveBytes.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/search/FileScanTree.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arcwalk";

using arcbytes::StoredZip;

// A program image that holds no archive, with the pattern in its bytes.
const std::string kProgram =
    "MZ\x90\x00" + std::string(200, '\x01') + "a needle in a program" + std::string(50, '\0');

class FileScanArc : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* Old = std::getenv("TMPDIR");
    HadTmp_ = Old != nullptr;
    if (HadTmp_) OldTmp_ = Old;
    Temp_ = Tree_.Path("tmp");
    fs::create_directories(Temp_);
    ::setenv("TMPDIR", Temp_.c_str(), 1);
    for (const auto& E : fs::directory_iterator(kFixtures))
      if (E.path().extension() != ".md" && E.path().extension() != ".py")
        Tree_.File("d/" + E.path().filename().string(), ReadFileBytes(E.path()));
    Scanner_.Archives = &Walk_;
    Scanner_.ScanNestedArchives = true;
    Scanner_.Scanner.SetPattern(u"needle");
    // Asked on worker threads too, when archives are walked there.
    Walk_.MemoryCheck = [this](int64_t Size) {
      std::lock_guard<std::mutex> Guard(MemoryLock_);
      MemoryAsked_.push_back(Size);
      return !LowMemory_;
    };
  }
  void TearDown() override {
    ClearArchiveCache();
    EXPECT_EQ(Leftovers(), Names{});
    if (HadTmp_)
      ::setenv("TMPDIR", OldTmp_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  // Searches the fixture Name (below d/) and answers the hits, relative to the tree.
  Names Run(const std::string& Name, const std::u16string& Masks = u"") {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    Completed_ = Scanner_.Search(Tree_.Roots("d/" + Name), Masks, false);
    return Log_.Hits;
  }
  // What is left below the temporary folder.
  Names Leftovers() const {
    Names Out;
    std::error_code Ec;
    for (const auto& E : fs::recursive_directory_iterator(Temp_, Ec)) Out.push_back(E.path().string());
    return Out;
  }
  std::string D(const std::string& Rel) const { return Tree_.Path("d/" + Rel); }

  TScanTree Tree_;
  std::string Temp_;
  bool HadTmp_ = false;
  std::string OldTmp_;
  TArchiveWalk Walk_;
  TFileScanner Scanner_;
  TScanLog Log_;
  bool Completed_ = false;
  bool LowMemory_ = false;
  std::mutex MemoryLock_;
  std::vector<int64_t> MemoryAsked_;
};

TEST_F(FileScanArc, ZipInsideZip) {
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_TRUE(Completed_);
  for (const TFoundFileInfo& Info : Log_.Infos) {
    EXPECT_TRUE(Info.InArchive);
    EXPECT_EQ(Info.Encoding, seAnsi);
  }
  EXPECT_EQ(Log_.Infos[1].Size, 19);
  EXPECT_EQ(Log_.ErrorsOf(sekEmptyFile), Names{"d/nested.zip|empty.txt"});
  EXPECT_EQ(Log_.Errors.size(), 1u);
  EXPECT_EQ(Scanner_.FilesScanned, 3);  // top.txt, docs/hit.txt, other.txt
}

// The ZIP archives of many writers (see tests/archive/zip/fixtures/README.md) are searched item by item,
// whatever their local headers repeat of the central records.
TEST_F(FileScanArc, ZipsOfEveryWriterAreSearched) {
  const fs::path Writers = fs::path(SCRYLINE_TEST_DATA) / ".." / "archive" / "zip" / "fixtures" / "writers";
  for (const char* Name : {"zip_fz.zip", "py_stored.zip", "py_deflated.zip", "py_zip64_stored.zip",
                           "py_zip64_deflated.zip", "sevenzip.zip", "bsdtar.zip"}) {
    Tree_.File(std::string("d/") + Name, ReadFileBytes(Writers / Name));
    const std::string At = std::string("d/") + Name + "|";
    EXPECT_EQ(Run(Name), (Names{At + "a.txt", At + "b.txt"})) << Name;
    EXPECT_TRUE(Log_.Errors.empty()) << Name;
  }
  Tree_.File("d/stdin.zip", ReadFileBytes(Writers / "stdin.zip"));
  EXPECT_EQ(Run("stdin.zip"), Names{"d/stdin.zip|-"});
  Scanner_.Scanner.SetPattern(u"Test file");
  const char* Peer = "test_read_format_zip_7075_utf8_paths.zip";
  Tree_.File(std::string("d/") + Peer, ReadFileBytes(Writers / Peer));
  EXPECT_EQ(Run(Peer).size(), 4u);
  EXPECT_TRUE(Log_.Errors.empty());
}

// A search ended by an interrupt, a termination or a hang-up while a converter reads its copy of an
// archive item leaves nothing in the temporary folder: the copy lies in the process's own folder, which
// the signal cleanup removes.
TEST_F(FileScanArc, EndingSignalDuringAConversionLeavesNothingBehind) {
  Tree_.File("d/docs.zip", StoredZip({{"sheet.xls", "xls: progress"}}));
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    int Ready[2];
    ASSERT_EQ(::pipe(Ready), 0);
    const pid_t Child = ::fork();
    if (Child == 0) {
      TQVConverters Converters;
      if (Converters.AddConverter(TestPluginPath("impxls"), false) != kConverterLoaded) ::_exit(2);
      // The library reports progress while it converts the copy: the signal comes then.
      Converters.OnProgress = [&](TQVConverter*, int32_t, int32_t) -> bool {
        (void)!::write(Ready[1], "x", 1);
        for (;;) ::pause();
      };
      Scanner_.Converters = &Converters;
      Scanner_.Mode = smConvert;
      Run("docs.zip");
      ::_exit(3);
    }
    ASSERT_GT(Child, 0);
    char C = 0;
    ASSERT_EQ(::read(Ready[0], &C, 1), 1) << Signal;
    ::close(Ready[0]);
    ::close(Ready[1]);
    Names During = Leftovers();
    EXPECT_TRUE(std::any_of(During.begin(), During.end(), [](const std::string& P) {
      return P.size() > 4 && P.substr(P.size() - 4) == ".xls";
    })) << "no converter copy while converting";
    ::kill(Child, Signal);
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Signal;
    EXPECT_EQ(Leftovers(), Names{}) << Signal;
  }
}

TEST_F(FileScanArc, MasksApplyToItemsNotToInnerArchives) {
  EXPECT_EQ(Run("nested.zip", u"hit.*"), Names{"d/nested.zip|inner.zip|docs/hit.txt"});
}

TEST_F(FileScanArc, TarInsideGzip) {
  EXPECT_EQ(Run("t.tar.gz"), Names{"d/t.tar.gz|t.tar|docs/hit.txt"});
  EXPECT_EQ(Log_.Errors.size(), 0u);
}

TEST_F(FileScanArc, ArjSetInsideZipFolderIsWalkedOnce) {
  // long.txt begins in vols/set.arj and ends in vols/set.a01; the set is walked from its first volume.
  EXPECT_EQ(Run("arjset.zip"), Names{"d/arjset.zip|vols/set.arj|long.txt"});
  EXPECT_EQ(Log_.Errors.size(), 0u);
}

TEST_F(FileScanArc, CabinetsInsideZip) {
  ASSERT_TRUE(LoadCabinetDll(""));
  Scanner_.Scanner.SetPattern(u"BBBBBBBB");
  // b.txt runs from set1.cab into set2.cab and is found once, in the chain that set1.cab begins.
  EXPECT_EQ(Run("cabset.zip"), Names{"d/cabset.zip|cabs/set1.cab|b.txt"});
  // Each cabinet of the chain is read once and no cabinet file is opened after it was used up.
  for (const auto& E : Log_.Errors) ADD_FAILURE() << E.Name << ": " << int(E.Kind) << " " << E.Text;
  Scanner_.Scanner.SetPattern(u"needle");
  EXPECT_EQ(Run("cab.zip"), Names{"d/cab.zip|c.cab|docs/hit.txt"});
}

TEST_F(FileScanArc, NestedArchivesOff) {
  Scanner_.ScanNestedArchives = false;
  EXPECT_EQ(Run("nested.zip"), Names{"d/nested.zip|top.txt"});
  EXPECT_EQ(Log_.ErrorsOf(sekSubArchiveDisabled), Names{"d/nested.zip|inner.zip"});
}

TEST_F(FileScanArc, NameHitWithoutExtraction) {
  Scanner_.Mode = smMatchName | smNameOnly;
  Scanner_.Scanner.SetPattern(u"top");
  EXPECT_EQ(Run("nested.zip"), Names{"d/nested.zip|top.txt"});
  ASSERT_EQ(Log_.Infos.size(), 1u);
  EXPECT_EQ(Log_.Infos[0].Encoding, seFileName);
  EXPECT_EQ(Log_.Infos[0].Size, 17);
  EXPECT_EQ(MemoryAsked_, std::vector<int64_t>{});  // no plain item was extracted
  EXPECT_EQ(Scanner_.FilesScanned, 0);
}

TEST_F(FileScanArc, EmptyPatternReportsEveryItemByName) {
  Scanner_.Scanner.SetPattern(u"");
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt",
                                      "d/nested.zip|inner.zip|other.txt"}));
  EXPECT_EQ(MemoryAsked_, std::vector<int64_t>{});
}

TEST_F(FileScanArc, LowMemoryTakesTemporaryFiles) {
  LowMemory_ = true;
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_EQ(MemoryAsked_, (std::vector<int64_t>{17, 19, 15}));
  EXPECT_EQ(Log_.Errors.size(), 1u);  // the empty item
}

// Items beyond what the memory budget grants go through temporary files and give the same hits and
// messages as from memory, in every kind of archive and nesting: a budget that holds every item, one that
// holds the small items only (the part of an ARJ item that spans volumes is granted and its next part is
// not: the item moves to a file half way), and one that holds none. The grants are all given back, and
// never more is held than the budget. (The fixture's memory question answers yes: only the budget decides.)
TEST_F(FileScanArc, ItemsBeyondTheMemoryBudgetGoThroughTemporaryFiles) {
  const fs::path TarGz = fs::path(SCRYLINE_TEST_DATA) / "targz";
  Tree_.File("d/stored.zip",
             StoredZip({{"big.txt", std::string(30000, 'b') + " needle"},
                        {"small.txt", "a small needle"},
                        {"in.zip", StoredZip({{"deep.txt", std::string(9000, 'd') + "needle"}})}}));
  Tree_.File("d/notes.txt.gz", ReadFileBytes(TarGz / "notes.txt.gz"));
  Tree_.File("d/outer.zip", ReadFileBytes(TarGz / "outer.zip"));
  Tree_.File("d/multi_large.tar.gz", ReadFileBytes(TarGz / "multi_large.tar.gz"));
  auto Messages = [this] {
    Names Out;
    for (const TScanLog::TError& E : Log_.Errors)
      Out.push_back(E.Name + " " + std::to_string(E.Kind) + " " + E.Text);
    return Out;
  };
  for (const char* Name : {"nested.zip", "t.tar.gz", "arjset.zip", "cab.zip", "damaged.zip", "stored.zip",
                           "notes.txt.gz", "outer.zip", "multi_large.tar.gz"}) {
    SCOPED_TRACE(Name);
    Walk_.MemoryBudget = std::make_shared<TItemMemoryBudget>(int64_t{1} << 30);
    const Names Hits = Run(Name);
    const Names Said = Messages();
    EXPECT_FALSE(Hits.empty());
    EXPECT_EQ(Walk_.MemoryBudget->Refused(), 0);
    // Every archive here holds an item of more than 16 bytes.
    for (const int64_t Capacity : {int64_t{12000}, int64_t{16}, int64_t{0}}) {
      SCOPED_TRACE("a budget of " + std::to_string(Capacity));
      const auto Budget = std::make_shared<TItemMemoryBudget>(Capacity);
      Walk_.MemoryBudget = Budget;
      EXPECT_EQ(Run(Name), Hits);
      EXPECT_EQ(Messages(), Said);
      EXPECT_EQ(Budget->InUse(), 0);
      EXPECT_LE(Budget->Peak(), Capacity);
      if (Capacity <= 16) {
        EXPECT_GT(Budget->Refused(), 0);
      }
    }
  }
  // The ARJ item that spans two volumes: its first part fits in 12000 bytes, the whole item does not.
  const auto Budget = std::make_shared<TItemMemoryBudget>(12000);
  Walk_.MemoryBudget = Budget;
  Run("arjset.zip");
  EXPECT_EQ(Budget->Granted(), 1);
  EXPECT_EQ(Budget->Refused(), 1);
}

// Scanning an item again holds its bytes under the budget too.
TEST_F(FileScanArc, RescanArchiveItemWithinTheBudget) {
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  const std::u16string Path = Utf8ToUtf16(D("nested.zip|inner.zip|docs/hit.txt"));
  for (const int64_t Capacity : {int64_t{19}, int64_t{18}}) {
    const auto Budget = std::make_shared<TItemMemoryBudget>(Capacity);
    Walk_.MemoryBudget = Budget;
    EXPECT_TRUE(Scanner_.RescanArchiveItem(Path, 19, 0));
    EXPECT_EQ(Budget->Granted(), Capacity >= 19 ? 1 : 0);
    EXPECT_EQ(Budget->InUse(), 0);
  }
  EXPECT_EQ(Log_.Hits, (Names{"d/nested.zip|inner.zip|docs/hit.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
}

TEST_F(FileScanArc, DamagedInnerArchiveIsReportedAndTheWalkGoesOn) {
  EXPECT_EQ(Run("damaged.zip"), Names{"d/damaged.zip|good.txt"});
  EXPECT_TRUE(Completed_);
  // The reports name the inner archive: it fails to open, or its reader gives up on it (saying what).
  ASSERT_FALSE(Log_.Errors.empty());
  for (const auto& E : Log_.Errors) EXPECT_EQ(E.Name, "d/damaged.zip|bad.zip") << E.Text;
  EXPECT_TRUE(Log_.Errors[0].Kind == sekArchiveOpenFailed || Log_.Errors[0].Kind == sekArchiveWarning ||
              Log_.Errors[0].Kind == sekException);
  EXPECT_FALSE(Log_.Errors[0].Text.empty());
}

TEST_F(FileScanArc, StopInsideAnInnerArchiveEndsTheSearch) {
  Scanner_.OnProgress = [](const std::u16string& Name, TScanProgressKind) {
    return Utf16ToUtf8(Name).find("docs/hit.txt") == std::string::npos;
  };
  Log_ = TScanLog();
  Scanner_.OnFound = [this](const TFoundFileInfo& Info) { Log_.Hits.push_back(Tree_.Relative(Info.Name)); };
  EXPECT_FALSE(Scanner_.Search(Tree_.Roots("d/nested.zip d/t.tar.gz"), u"", false));
  EXPECT_EQ(Log_.Hits, Names{"d/nested.zip|top.txt"});
}

TEST_F(FileScanArc, CachedInnerArchiveIsWalkedAndKept) {
  // A preview extracted an item of inner.zip before the search: the walk reads the cache's copy and
  // must not delete it.
  const int32_t Size = 15;
  ExtractArchivePathToMemory(D("nested.zip|inner.zip|other.txt"), Size, nullptr);
  std::string CachedFile;
  {
    TArchiveCacheLock Lock;
    TArchiver* Cached = FindCachedArchive(D("nested.zip|inner.zip")).get();
    ASSERT_NE(Cached, nullptr);
    CachedFile = Cached->GetArchiveName();
  }
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_TRUE(fs::exists(CachedFile));
  TArcBlockPtr Again(ExtractArchivePathToMemory(D("nested.zip|inner.zip|docs/hit.txt"), 19, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(Again.get()), 19), "the needle is here\n");
}

TEST_F(FileScanArc, WalkedArchivesGoToTheCacheOnlyWhenExtracted) {
  // A lookup during the walk (a preview) takes over the archiver of an extracted inner archive, never
  // that of a file on disk, even one whose name holds "|": the cache deletes the files it owns.
  fs::copy_file(D("nested.zip"), D("a|b.zip"));
  Names TakenOver;
  Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind != spkFile) return true;
    const std::string Utf8Name = Utf16ToUtf8(Name);
    const std::string Archive = Utf8Name.substr(0, Utf8Name.rfind('|'));
    TArchiveCacheLock Lock;
    if (FindCachedArchive(Archive) != nullptr) TakenOver.push_back(Tree_.Relative(Utf8ToUtf16(Archive)));
    return true;
  };
  Scanner_.OnFound = nullptr;
  EXPECT_TRUE(Scanner_.Search(Tree_.Roots("d/a|b.zip"), u"", false));
  EXPECT_EQ(TakenOver, (Names{"d/a|b.zip|inner.zip", "d/a|b.zip|inner.zip"}));
  EXPECT_TRUE(fs::exists(D("a|b.zip")));
  // The inner archive's file is the cache's now and outlives the walk.
  TArcBlockPtr Block(ExtractArchivePathToMemory(D("a|b.zip|inner.zip|other.txt"), 15, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(Block.get()), 15), "nothing to see\n");
}

TEST_F(FileScanArc, RescanArchiveItem) {
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  const std::u16string Path = Utf8ToUtf16(D("nested.zip|inner.zip|docs/hit.txt"));
  EXPECT_TRUE(Scanner_.RescanArchiveItem(Path, 19, 0));
  LowMemory_ = true;  // the second time through a temporary file, the inner archive from the cache
  EXPECT_TRUE(Scanner_.RescanArchiveItem(Path, 19, 0));
  EXPECT_EQ(Log_.Hits, (Names{"d/nested.zip|inner.zip|docs/hit.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_EQ(Scanner_.CurrentArchive, D("nested.zip|inner.zip"));
  // A missing item is one error and the search goes on.
  EXPECT_TRUE(Walk_.RescanArchiveItem(Scanner_, Utf8ToUtf16(D("nested.zip|inner.zip|gone.txt")), 5, 0));
  EXPECT_EQ(Log_.ErrorsOf(sekException), Names{"d/nested.zip|inner.zip|gone.txt"});
  LowMemory_ = false;
  EXPECT_TRUE(Walk_.RescanArchiveItem(Scanner_, Utf8ToUtf16(D("nested.zip|inner.zip|gone.txt")), 5, 0));
  EXPECT_EQ(Log_.ErrorsOf(sekException).size(), 2u);
}

// A "|" inside an item's own name: "a|b.txt" beside the item b.txt of a folder "a", and an inner archive
// "c|d.zip". Joined with "|" their paths read alike (and "x.zip|a|b.txt" was reopened as the item b.txt
// of an inner archive "a"); each hit carries its path in parts, the results table shows each item's own
// name, and reopening or scanning again by the parts gives each item's own bytes.
TEST_F(FileScanArc, BarInsideAnItemNameKeepsEachItemItsOwnPath) {
  Tree_.File("d/x.zip", StoredZip({{"a|b.txt", "needle one"},
                                   {"a/b.txt", "needle two, longer"},
                                   {"c|d.zip", StoredZip({{"e.txt", "needle three"}})}}));
  EXPECT_EQ(Run("x.zip"), (Names{"d/x.zip|a|b.txt", "d/x.zip|a/b.txt", "d/x.zip|c|d.zip|e.txt"}));
  EXPECT_EQ(Log_.Errors.size(), 0u);
  const std::string X = D("x.zip");
  ASSERT_EQ(Log_.Infos.size(), 3u);
  EXPECT_EQ(Log_.Infos[0].ItemPath, (Names{X, "a|b.txt"}));
  EXPECT_EQ(Log_.Infos[1].ItemPath, (Names{X, "a/b.txt"}));
  EXPECT_EQ(Log_.Infos[2].ItemPath, (Names{X, "c|d.zip", "e.txt"}));

  TSearchResults Results;
  for (const TFoundFileInfo& Info : Log_.Infos) Results.Add(Info);
  const Names ExpectedBytes = {"needle one", "needle two, longer", "needle three"};
  const std::vector<std::u16string> ExpectedNames = {u"a|b.txt", u"b.txt", u"e.txt"};
  const std::vector<std::string> Archives = {X, X, X + "|c|d.zip"};
  for (int32_t Row = 0; Row < 3; ++Row) {
    EXPECT_EQ(Results.GetName(Row), ExpectedNames[Row]) << Row;
    EXPECT_EQ(Utf16ToUtf8(Results.GetArchiveName(Row)), Archives[Row]) << Row;
    TFoundFileInfo Info;
    Results.GetInfo(Row, Info);
    const std::string& Bytes = ExpectedBytes[Row];
    const auto Size = static_cast<int32_t>(Bytes.size());
    TArcBlockPtr Block(ExtractArchivePathToMemory(Info.ItemPath, Size, nullptr));
    EXPECT_EQ(std::string(static_cast<const char*>(Block.get()), Bytes.size()), Bytes) << Row;
    const std::string File = Temp_ + "/reopened.txt";
    TDateTime Date = 0;
    int32_t Written = 0;
    ExtractArchivePathToFile(Info.ItemPath, File, false, &Date, &Written, nullptr);
    EXPECT_EQ(ReadFileBytes(File), Bytes) << Row;
    fs::remove(File);
  }
  // A joined path without its parts is read as before: cut at every "|".
  TArcBlockPtr Plain(ExtractArchivePathToMemory(X + "|a/b.txt", 18, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(Plain.get()), 18), "needle two, longer");

  // The search within results scans each row's own item again, in memory and through a file.
  for (const bool Low : {false, true}) {
    LowMemory_ = Low;
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    Scanner_.Scanner.SetPattern(Low ? u"longer" : u"one");
    EXPECT_TRUE(SearchInResults(Results, Scanner_));
    EXPECT_EQ(Log_.Errors.size(), 0u);
    ASSERT_EQ(Log_.Infos.size(), 1u) << Low;
    EXPECT_EQ(Log_.Infos[0].ItemPath, (Names{X, Low ? "a/b.txt" : "a|b.txt"}));
  }
}

// An executable that holds no archive is a plain file, on disk and inside an archive: found, with no
// message. One that holds a ZIP is walked as that archive.
TEST_F(FileScanArc, ExecutablesWithoutArchiveAreScannedAsPlainFiles) {
  Tree_.File("d/prog.exe", kProgram);
  Tree_.File("d/progs.zip", StoredZip({{"bin/prog.exe", kProgram}, {"bin/other.exe", "MZ nothing"}}));
  Tree_.File("d/sfx.exe", "MZ" + std::string(2046, '\0') + StoredZip({{"inside.txt", "needle in a box"}}));
  EXPECT_EQ(Run("prog.exe"), Names{"d/prog.exe"});
  EXPECT_EQ(Run("progs.zip"), Names{"d/progs.zip|bin/prog.exe"});
  EXPECT_EQ(Run("sfx.exe"), Names{"d/sfx.exe|inside.txt"});
  for (const char* Name : {"prog.exe", "progs.zip", "sfx.exe"}) {
    Run(Name);
    for (const auto& E : Log_.Errors)
      ADD_FAILURE() << Name << ": " << E.Name << " " << int(E.Kind) << " " << E.Text;
  }
}

// A ".cab" item that is no cabinet is scanned as the same file on disk is.
TEST_F(FileScanArc, CabItemThatIsNoCabinetIsScanned) {
  Tree_.File("d/notes.cab", "a needle, not a cabinet");
  Tree_.File("d/z.zip", StoredZip({{"notes.cab", "a needle, not a cabinet"}}));
  EXPECT_EQ(Run("notes.cab"), Names{"d/notes.cab"});
  EXPECT_EQ(Run("z.zip"), Names{"d/z.zip|notes.cab"});
  EXPECT_EQ(Log_.Errors.size(), 0u);
}

// A ZIP with data in front of its first entry, with offsets that count that data and without.
TEST_F(FileScanArc, ZipWithDataInFrontIsWalked) {
  const std::string Prefix(300, '\x7F');
  Tree_.File("d/shifted.zip", StoredZip({{"a.txt", "needle one"}}, Prefix, true));
  Tree_.File("d/padded.zip", StoredZip({{"b.txt", "needle two"}}, Prefix, false));
  EXPECT_EQ(Run("shifted.zip"), Names{"d/shifted.zip|a.txt"});
  EXPECT_EQ(Log_.Errors.size(), 0u);
  EXPECT_EQ(Run("padded.zip"), Names{"d/padded.zip|b.txt"});
  EXPECT_EQ(Log_.Errors.size(), 0u);
}

// No message about an archive item names a temporary file: the item's display path stands for it.
TEST_F(FileScanArc, MessagesNameTheDisplayPathNeverTheTemporaryFile) {
  Tree_.File("d/m.zip",
             StoredZip({{"broken.rar", std::string("Rar!\x1A\x07\x00", 7) + std::string(200, '\x55')},
                        {"broken.arj", "\x60\xEA" + std::string(200, '\x55')},
                        {"broken.lzh", "xx-lh5-" + std::string(200, '\x55')},
                        {"inner/damaged.zip", ReadFileBytes(kFixtures / "damaged.zip")},
                        {"ok.txt", "needle"}}));
  EXPECT_EQ(Run("m.zip"), (Names{"d/m.zip|inner/damaged.zip|good.txt", "d/m.zip|ok.txt"}));
  const Names Named = {"d/m.zip|broken.rar", "d/m.zip|broken.arj", "d/m.zip|broken.lzh",
                       "d/m.zip|inner/damaged.zip|bad.zip"};
  // Every damaged item is reported (a damaged archive may give a message for each fault it holds).
  std::set<std::string> Reported;
  for (const auto& E : Log_.Errors) Reported.insert(E.Name);
  EXPECT_EQ(Reported, std::set<std::string>(Named.begin(), Named.end()));
  for (const auto& E : Log_.Errors) {
    EXPECT_NE(std::find(Named.begin(), Named.end(), E.Name), Named.end()) << E.Name;
    EXPECT_FALSE(E.Text.empty()) << E.Name;
    EXPECT_EQ(E.Text.find(Temp_), std::string::npos) << E.Name << ": " << E.Text;
  }
}

// A chain of archives nested deeper than the walk's limit ends at the limit with one error naming the
// archive not opened; everything above it is searched and nothing is left in the temporary folder.
TEST_F(FileScanArc, DeepNestingEndsAtTheLimit) {
  const size_t Depth = TArchiveWalk::kMaxArchiveNesting + 8;
  std::string Archive = StoredZip({{"deep.txt", "needle at the bottom"}});
  std::string Path;
  for (size_t Level = Depth; Level-- > 1;) {
    Archive = StoredZip({{"level.txt", "needle at level " + std::to_string(Level)}, {"z.zip", Archive}});
    Path = "|z.zip" + Path;
  }
  Tree_.File("d/chain.zip", Archive);
  const Names Hits = Run("chain.zip");
  EXPECT_TRUE(Completed_);
  ASSERT_EQ(Hits.size(), TArchiveWalk::kMaxArchiveNesting);  // level.txt of each level walked
  const Names Failed = Log_.ErrorsOf(sekArchiveOpenFailed);
  ASSERT_EQ(Failed.size(), 1u);
  std::string Expected = "d/chain.zip";
  for (size_t Level = 1; Level <= TArchiveWalk::kMaxArchiveNesting; ++Level) Expected += "|z.zip";
  EXPECT_EQ(Failed[0], Expected);
  EXPECT_EQ(Log_.Errors.size(), 1u);
  // A chain within the limit is walked to its end.
  Archive = StoredZip({{"deep.txt", "needle at the bottom"}});
  for (size_t Level = 0; Level < 5; ++Level) Archive = StoredZip({{"z.zip", Archive}});
  Tree_.File("d/short.zip", Archive);
  EXPECT_EQ(Run("short.zip"), Names{"d/short.zip|z.zip|z.zip|z.zip|z.zip|z.zip|deep.txt"});
}

// An inner archive with the same bytes as an archive it lies in (a file that holds itself would hold
// itself again without end) is reported, naming both, and not walked; the walk goes on with the rest.
// Here the inner archive is a copy of the outer one, handed to the walk from inside the outer walk.
TEST_F(FileScanArc, InnerArchiveIdenticalToAnOuterOneIsReportedAndSkipped) {
  Tree_.File("d/copy/inner.zip", ReadFileBytes(kFixtures / "nested.zip"));
  bool Handed = false;
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && !Handed && Utf16ToUtf8(Name).find("inner.zip|other.txt") != std::string::npos) {
      Handed = true;
      TWideStrLst Masks;
      EXPECT_TRUE(Walk_.ScanArchive(Scanner_, Utf8ToUtf16(D("copy/inner.zip")),
                                    Utf8ToUtf16(D("nested.zip|inner.zip|again.zip")), nullptr, false, Masks));
    }
    return true;
  };
  Completed_ = Scanner_.Search(Tree_.Roots("d/nested.zip"), u"", false);
  EXPECT_EQ(Log_.Hits, (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_TRUE(Handed);
  EXPECT_TRUE(Completed_);
  ASSERT_EQ(Log_.ErrorsOf(sekArchiveOpenFailed), Names{"d/nested.zip|inner.zip|again.zip"});
  for (const auto& E : Log_.Errors)
    if (E.Kind == sekArchiveOpenFailed) {
      EXPECT_NE(E.Text.find(D("nested.zip")), std::string::npos) << E.Text;
    }
}

// A ZIP whose one member is a byte-for-byte copy of the archive itself (quine.zip) once overflowed the
// stack and filled the temporary drive, one level per copy. Searched among other files, with a chain of
// archives nested deeper than the limit beside it, each is one report and the folder's other files
// are still searched; nothing is left in the temporary folder (TearDown).
TEST_F(FileScanArc, SelfContainingZipAndTooDeepChainAreReportedAndTheSearchGoesOn) {
  const std::string Quine = ReadFileBytes(kFixtures / "quine.zip");
  Tree_.File("d/hostile/a.txt", "needle before");
  Tree_.File("d/hostile/quine.zip", Quine);
  std::string Chain = StoredZip({{"deep.txt", "needle at the bottom"}});
  for (size_t Level = 0; Level < TArchiveWalk::kMaxArchiveNesting + 3; ++Level)
    Chain = StoredZip({{"z.zip", Chain}});
  Tree_.File("d/hostile/m.zip", Chain);
  Tree_.File("d/hostile/z.txt", "needle after");
  // The self-containing archive also as an item of an ordinary one: the copy inside it is the one seen.
  Tree_.File("d/hostile/n.zip", StoredZip({{"q/quine.zip", Quine}, {"x.txt", "needle beside"}}));

  EXPECT_EQ(Run("hostile"), (Names{"d/hostile/a.txt", "d/hostile/n.zip|x.txt", "d/hostile/z.txt"}));
  EXPECT_TRUE(Completed_);
  std::string TooDeep = "d/hostile/m.zip";
  for (size_t Level = 1; Level <= TArchiveWalk::kMaxArchiveNesting; ++Level) TooDeep += "|z.zip";
  EXPECT_EQ(Log_.ErrorsOf(sekArchiveOpenFailed),
            (Names{TooDeep, "d/hostile/n.zip|q/quine.zip|quine.zip", "d/hostile/quine.zip|quine.zip"}));
  EXPECT_EQ(Log_.Errors.size(), 3u);
  for (const auto& E : Log_.Errors) {
    if (E.Name.find("quine") == std::string::npos) continue;
    // The report names the archive it copies, never a temporary file.
    const std::string Outer = E.Name.substr(0, E.Name.rfind('|'));
    EXPECT_NE(E.Text.find(Outer), std::string::npos) << E.Text;
    EXPECT_EQ(E.Text.find(Temp_), std::string::npos) << E.Text;
  }
}

// With a temporary folder that cannot be used, items that fit in memory are still searched; an inner
// archive, which needs a file, is one error naming it.
TEST_F(FileScanArc, UnusableTemporaryFolderStillSearchesItemsInMemory) {
  // Files where the walk's folders would go: no folder of its own can be made there.
  std::vector<std::string> Blocks;
  for (const auto& E : fs::directory_iterator(Temp_)) Blocks.push_back(E.path().string());
  ASSERT_EQ(Blocks, Names{});
  for (const std::string& Root :
       {std::string(kTempArchiveRootName), kTempArchiveRootName + ("-" + std::to_string(::geteuid()))}) {
    Blocks.push_back(Temp_ + "/" + Root);
    std::ofstream(Blocks.back()) << "in the way";
  }
  EXPECT_EQ(Run("nested.zip"), Names{"d/nested.zip|top.txt"});
  EXPECT_TRUE(Completed_);
  EXPECT_EQ(Log_.ErrorsOf(sekException), Names{"d/nested.zip|inner.zip"});
  for (const std::string& Block : Blocks) fs::remove(Block);
}

// A file that cannot be read is one error, not one for the archive check and one for the scan.
TEST_F(FileScanArc, UnreadableFileIsOneError) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Open, 1, EACCES);
  Tree_.File("d/locked.txt", "needle");
  EXPECT_EQ(Run("locked.txt"), Names{});
  ASSERT_EQ(Log_.Errors.size(), 1u);
  EXPECT_EQ(Log_.Errors[0].Name, "d/locked.txt");
  EXPECT_EQ(Log_.Errors[0].Kind, sekOpenFailed);
}

// The walk's waits for the cache lock poll the scanner between tries, so that a stop ends them; the
// work left undone is done at the next walk.
TEST_F(FileScanArc, StopEndsTheWaitForTheCacheLock) {
  SetArchiveCacheTimings(0, 20);
  std::mutex M;
  std::condition_variable Cv;
  bool Take = false, Held = false, Release = false;
  std::thread Other([&] {
    std::unique_lock<std::mutex> G(M);
    Cv.wait(G, [&] { return Take; });
    EXPECT_TRUE(LockArchiveCache());
    Held = true;
    Cv.notify_all();
    Cv.wait(G, [&] { return Release; });
    UnlockArchiveCache();
  });
  int Polls = 0;
  Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Utf16ToUtf8(Name).find("inner.zip|other.txt") != std::string::npos) {
      // The last item of the inner archive: another holder takes the lock for good.
      std::unique_lock<std::mutex> G(M);
      Take = true;
      Cv.notify_all();
      Cv.wait(G, [&] { return Held; });
    }
    if (Kind == spkPoll && Held) return ++Polls < 3;
    return true;
  };
  Log_ = TScanLog();
  Scanner_.OnFound = [this](const TFoundFileInfo& Info) { Log_.Hits.push_back(Tree_.Relative(Info.Name)); };
  EXPECT_FALSE(Scanner_.Search(Tree_.Roots("d/nested.zip"), u"", false));
  EXPECT_EQ(Polls, 3);
  {
    std::lock_guard<std::mutex> G(M);
    Release = true;
  }
  Cv.notify_all();
  Other.join();
  SetArchiveCacheTimings(0, 0);
  // The next walk lets the inner archive go; nothing is left behind.
  Scanner_.OnProgress = nullptr;
  EXPECT_EQ(Run("t.tar.gz"), Names{"d/t.tar.gz|t.tar|docs/hit.txt"});
}

// An encrypted ACE item without a password is reported once; a later volume whose earlier volumes are
// missing is read on its own after a warning that names the set's first volume.
TEST_F(FileScanArc, AceItemWithoutPasswordOnceAndALaterVolumeAlone) {
  const fs::path Archives = fs::path(SCRYLINE_TEST_DATA) / ".." / "archive";
  Tree_.File("d/pw/passwd2.ace", ReadFileBytes(Archives / "ace" / "fixtures" / "passwd2.ace"));
  Run("pw");
  ASSERT_EQ(Log_.Errors.size(), 1u);
  EXPECT_EQ(Log_.Errors[0].Text, "Invalid password (passwd2.m4)");

  for (const char* Volume : {"my.set.a01", "my.set.a02"})
    Tree_.File(std::string("d/later/") + Volume, ReadFileBytes(Archives / "volumes" / "fixtures" / Volume));
  EXPECT_EQ(Run("later"), (Names{"d/later/my.set.a01|four.txt", "d/later/my.set.a01|five.txt",
                                 "d/later/my.set.a01|six.txt"}));
  ASSERT_EQ(Log_.Errors.size(), 2u);
  EXPECT_EQ(Log_.Errors[0].Text, "Volume \"my.set.arj\" not found: the set is read from this volume on");
  EXPECT_EQ(Log_.Errors[1].Text, "three.txt: lost with a missing volume");
}

// A tree of many small folders (so that the files of several folders are in flight at once), with
// archives (walked whole on workers when there are several threads), nested archives, cabinets inside
// archives (which only the owner's thread may read), encrypted items, a damaged archive, errors of the
// walk, folders the owner refuses at several depths, and files and items that the owner's duplicate and
// date filters refuse. Every event, and every question asked of the owner, in one trace.
class FileScanArcInFlight : public FileScanArc {
 protected:
  void SetUp() override {
    FileScanArc::SetUp();
    const std::string Filler(300, 'x');
    const fs::path Encrypted = fs::path(SCRYLINE_TEST_DATA) / ".." / "archive" / "zip" / "fixtures" /
                               "test_read_format_zip_traditional_encryption_data.zip";
    for (int Top = 0; Top < 6; ++Top) {
      for (int Sub = 0; Sub < 6; ++Sub) {
        const std::string Dir = "w/t" + std::to_string(Top) + "/s" + std::to_string(Sub) + "/";
        for (int I = 0; I < 3 + (Top + Sub) % 5; ++I) {
          const int Kind = (Top * 7 + Sub * 3 + I) % 6;
          const std::string Name = Dir + "f" + std::to_string(I) + ".txt";
          if (Kind == 0) Tree_.File(Name, Filler + "needle" + Filler);
          if (Kind == 1) Tree_.File(Name, Filler);
          if (Kind == 2) Tree_.File(Name, "");
          if (Kind == 3) Tree_.File(Name, std::string(70000, 'n') + "needle");
          if (Kind == 4) Tree_.File(Name, std::string(5000, 'y'));
          if (Kind == 5) Tree_.File(Name, "a Needle");
        }
        if ((Top + Sub) % 4 == 0) Tree_.File(Dir + "deep/er/g.txt", "needle down here");
        switch ((Top * 6 + Sub) % 9) {
          case 0:
            Tree_.File(Dir + "a.zip", ReadFileBytes(kFixtures / "nested.zip"));
            break;
          case 1:
            Tree_.File(Dir + "b.tar.gz", ReadFileBytes(kFixtures / "t.tar.gz"));
            break;
          case 2:
            Tree_.File(Dir + "c.zip",
                       StoredZip({{"one.txt", "needle"},
                                  {"in/two.zip", StoredZip({{"x.txt", "no"}, {"y.txt", "needle"}})},
                                  {"three.txt", ""},
                                  {"big.txt", std::string(50000, 'b') + "needle"},
                                  {"old.txt", "an old needle"}}));
            break;
          case 3:
            Tree_.File(Dir + "d.zip", ReadFileBytes(kFixtures / "damaged.zip"));
            break;
          case 4:
            symlink(Tree_.Path(Dir + "gone").c_str(), Tree_.Path(Dir + "dangling.txt").c_str());
            symlink(Tree_.Path(Dir + "f0.txt").c_str(), Tree_.Path(Dir + "link.txt").c_str());
            break;
          case 5:
            Tree_.File(Dir + "e.zip", ReadFileBytes(kFixtures / (Sub % 2 == 0 ? "cab.zip" : "cabset.zip")));
            break;
          case 6:
            Tree_.File(Dir + "p.zip", ReadFileBytes(Encrypted));
            Tree_.File(Dir + "q.zip", StoredZip({{"p.zip", ReadFileBytes(Encrypted)}, {"r.txt", "needle"}}));
            break;
          default:
            break;
        }
      }
    }
    Scanner_.MaxScanSize = 60000;
    Scanner_.Encodings = kScanAnsi | kScanUnicode;
  }

  // The masks of the search.
  std::u16string Masks_;

  // What the workers that walk archives take for the date filter's answer.
  enum TAhead { kYesAhead, kFilterAhead, kWrongAhead };

  // One search of w/ with Threads threads; StopAt > 0 answers stop at that file event, and a StopIn
  // name answers stop to the stream scanner's progress while that file or item is scanned.
  Names Trace(int32_t Threads, int StopAt = 0, const std::string& StopIn = std::string(),
              TAhead Ahead = kYesAhead) {
    Scanner_.WorkerThreads = Threads;
    Names Events;
    const std::thread::id Owner = std::this_thread::get_id();
    auto Note = [&](const std::string& Event) {
      if (std::this_thread::get_id() != Owner) Events.push_back("off the owner's thread: " + Event);
      Events.push_back(Event);
    };
    auto EndsWith = [](const std::string& S, const std::string& End) {
      return S.size() >= End.size() && S.compare(S.size() - End.size(), End.size(), End) == 0;
    };
    int FileEvents = 0;
    std::string Current;  // the file or item of the last file event
    Scanner_.OnFound = [&](const TFoundFileInfo& Info) {
      std::string Parts;
      for (const std::string& Part : Info.ItemPath) Parts += " [" + Tree_.Relative(Utf8ToUtf16(Part)) + "]";
      Note("found " + Tree_.Relative(Info.Name) + " " + std::to_string(Info.Encoding) + " " +
           std::to_string(Info.Size) + " " + std::to_string(Info.Date) + Parts);
    };
    Scanner_.OnError = [&](const TScanError& Error) {
      Note("error " + Tree_.Relative(Error.Name) + " " + std::to_string(Error.Kind) + " " + Error.Text);
    };
    Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
      Note("progress " + Tree_.Relative(Name) + " " + std::to_string(Kind));
      if (Kind == spkFile) Current = Tree_.Relative(Name);
      return !(Kind == spkFile && ++FileEvents == StopAt);
    };
    Scanner_.OnEnterFolder = [&](const std::u16string& Folder) {
      const std::string Rel = Tree_.Relative(Folder);
      Note("enter " + Rel);
      return Rel != "w/t1" && Rel != "w/t3/s2" && Rel != "w/t4/s0/deep" && Rel != "w/t5/s5";
    };
    // The duplicate filter refuses top.txt of nested.zip, and the nested archive in/two.zip.
    Scanner_.OnAcceptFile = [&](const std::u16string& Name) {
      const std::string Rel = Tree_.Relative(Name);
      Note("accept " + Rel);
      return !EndsWith(Rel, "|top.txt") && !EndsWith(Rel, "|in/two.zip");
    };
    // The date filter refuses the items old.txt, docs/hit.txt of every other folder, and the files f1.txt.
    const auto Passes = [this, EndsWith](const TFilterFileInfo& File) {
      const std::string Rel = Tree_.Relative(File.FileName);
      return !EndsWith(Rel, "|old.txt") && !EndsWith(Rel, "f1.txt") &&
             !(EndsWith(Rel, "|docs/hit.txt") && Rel.find("/s0/") == std::string::npos);
    };
    Scanner_.OnFilterFile = [&](const TFilterFileInfo& File) {
      Note("filter " + Tree_.Relative(File.FileName) + " " + std::to_string(File.Size) +
           (File.SizeIncomplete ? " incomplete" : ""));
      return Passes(File);
    };
    // The workers' answer: the filter's own, or the wrong answer every time.
    Scanner_.FilterFileAhead = nullptr;
    if (Ahead == kFilterAhead) Scanner_.FilterFileAhead = Passes;
    if (Ahead == kWrongAhead)
      Scanner_.FilterFileAhead = [Passes](const TFilterFileInfo& File) { return !Passes(File); };
    // The password of the encrypted items in the first three top folders; none in the others.
    Scanner_.OnPassword = [&](TScanPasswordQuery& Query) {
      const std::string Rel = Tree_.Relative(Utf8ToUtf16(Query.ArcName));
      Note("password " + Rel + " " + Query.ItemName);
      if (Rel.compare(0, 4, "w/t3") >= 0) return false;
      Query.Password = "12345678";
      return true;
    };
    Scanner_.Scanner.OnProgress = [&](int32_t) {
      if (std::this_thread::get_id() != Owner) Events.push_back("stream progress off the owner's thread");
      return StopIn.empty() || Current != StopIn;
    };
    const bool Completed = Scanner_.Search(Tree_.Roots("w"), Masks_, true);
    Events.push_back(Completed ? "completed" : "stopped");
    Events.push_back("files scanned " + std::to_string(Scanner_.FilesScanned));
    Scanner_.FilesScanned = 0;
    return Events;
  }
};

TEST_F(FileScanArcInFlight, EventsInTheOrderOfOneThread) {
  const Names Single = Trace(1);
  ASSERT_EQ(Single.end()[-2], "completed");
  EXPECT_GT(Single.size(), 600u);
  // The tree gives what the test is about: hits in plain files and in nested archives, errors of the
  // walk and of archives, refused folders, files and items, cabinets inside archives, encrypted items
  // with and without their password.
  auto Has = [&](const std::string& Part) {
    return std::any_of(Single.begin(), Single.end(),
                       [&](const std::string& E) { return E.find(Part) != std::string::npos; });
  };
  EXPECT_TRUE(Has("found w/t0/s0/a.zip|inner.zip|docs/hit.txt"));
  EXPECT_FALSE(Has("found w/t4/s3/a.zip|inner.zip|docs/hit.txt"));  // refused by the date filter
  EXPECT_TRUE(Has("filter w/t4/s3/a.zip|inner.zip|docs/hit.txt"));
  EXPECT_TRUE(Has("accept w/t0/s2/c.zip|in/two.zip"));
  EXPECT_FALSE(Has("|in/two.zip|y.txt"));  // refused by the duplicate filter
  EXPECT_FALSE(Has("found w/t0/s2/c.zip|old.txt"));
  EXPECT_TRUE(Has("found w/t0/s0/deep/er/g.txt"));
  EXPECT_TRUE(Has("filter w/t2/s2/e.zip|c.cab|docs/hit.txt"));
  EXPECT_TRUE(Has("filter w/t0/s5/e.zip|cabs/set1.cab|a.txt"));
  EXPECT_TRUE(Has("password w/t2/s3/p.zip"));
  EXPECT_TRUE(Has("password w/t4/s0/q.zip|p.zip"));
  EXPECT_TRUE(Has("error w/t4/s0/q.zip|p.zip " + std::to_string(sekArchiveWarning) + " Invalid password"));
  EXPECT_TRUE(Has(" " + std::to_string(sekEmptyFile) + " "));
  EXPECT_TRUE(Has(" " + std::to_string(sekTooLarge) + " "));
  EXPECT_TRUE(Has("d.zip " + std::to_string(sekException)) ||
              Has("d.zip " + std::to_string(sekArchiveWarning)));
  EXPECT_FALSE(Has("w/t1/s0"));
  for (int32_t Threads : {2, 3, 8}) {
    SCOPED_TRACE(std::to_string(Threads) + " threads");
    EXPECT_EQ(Trace(Threads), Single);
  }
  // Whatever the workers take for the date filter's answer, the owner sees its own walk.
  for (TAhead Ahead : {kFilterAhead, kWrongAhead}) {
    SCOPED_TRACE("the workers' filter answer " + std::to_string(Ahead));
    EXPECT_EQ(Trace(1, 0, std::string(), Ahead), Single);
    EXPECT_EQ(Trace(4, 0, std::string(), Ahead), Single);
  }
}

// The same over the options of a search: the workers that walk archives ahead search them with the
// owner's options, whichever they are.
TEST_F(FileScanArcInFlight, EventsInTheOrderOfOneThreadWithEveryOption) {
  const TFileScanSettings Settings = Scanner_;
  const TStreamScanOptions Stream = Scanner_.Scanner.GetOptions();
  const struct {
    const char* Name;
    std::function<void(TFileScanner& S, std::u16string& Masks)> Set;
  } Sets[] = {
      {"case and whole words",
       [](TFileScanner& S, std::u16string&) {
         S.Scanner.SetPattern(u"Needle");
         S.Scanner.SetCaseSensitive(true);
         S.Scanner.WholeWords = true;
       }},
      {"fuzzy",
       [](TFileScanner& S, std::u16string&) {
         S.Scanner.SetPattern(u"neadle");
         S.Scanner.Fuzzy = 1;
       }},
      {"any word",
       [](TFileScanner& S, std::u16string&) {
         S.Scanner.SetPattern(u"needle haystack down");
         S.Scanner.SetLogic(slAnyWord);
       }},
      {"all words",
       [](TFileScanner& S, std::u16string&) {
         S.Scanner.SetPattern(u"needle down");
         S.Scanner.SetLogic(slAllWords);
       }},
      {"ANSI only", [](TFileScanner& S, std::u16string&) { S.Encodings = kScanAnsi; }},
      {"OEM and UTF-16", [](TFileScanner& S, std::u16string&) { S.Encodings = kScanOem | kScanUnicode; }},
      {"names and contents",
       [](TFileScanner& S, std::u16string&) {
         S.Scanner.SetPattern(u"hit");
         S.Mode = smScanContents | smMatchName;
       }},
      {"names only",
       [](TFileScanner& S, std::u16string&) {
         S.Scanner.SetPattern(u"hit");
         S.Mode = smMatchName | smNameOnly;
       }},
      {"archives off", [](TFileScanner& S, std::u16string&) { S.Archives = nullptr; }},
      {"no nested archives", [](TFileScanner& S, std::u16string&) { S.ScanNestedArchives = false; }},
      {"archives only", [](TFileScanner& S, std::u16string&) { S.Scope = ssArchivesOnly; }},
      {"plain files only", [](TFileScanner& S, std::u16string&) { S.Scope = ssFilesOnly; }},
      {"small limits",
       [](TFileScanner& S, std::u16string&) {
         S.MaxScanSize = 400;
         S.MaxArchiveSize = 3000;
       }},
      {"masks", [](TFileScanner&, std::u16string& Masks) { Masks = u"*.txt;*.cab"; }},
  };
  for (const auto& Set : Sets) {
    SCOPED_TRACE(Set.Name);
    static_cast<TFileScanSettings&>(Scanner_) = Settings;
    Scanner_.Scanner.SetOptions(Stream);
    Scanner_.Archives = &Walk_;
    Masks_.clear();
    Set.Set(Scanner_, Masks_);
    const Names Single = Trace(1);
    ASSERT_EQ(Single.end()[-2], "completed");
    for (int32_t Threads : {3, 8}) EXPECT_EQ(Trace(Threads), Single) << Threads << " threads";
  }
}

// The workers' walks ask their owner's budget, so that all threads together hold no more than it grants:
// with a budget that holds one small item at a time, one and eight threads give the events of a budget
// that holds every item (but for the polls, which a scan from a temporary file makes more of than one in
// memory, and which item the workers find the budget full for depends on their pace), every item is
// asked about once wherever it is walked, and nothing stays granted.
TEST_F(FileScanArcInFlight, WorkersShareTheOwnersMemoryBudget) {
  const auto WithoutPolls = [](const Names& Events) {
    Names Out;
    for (const std::string& E : Events)
      if (E != "progress  0") Out.push_back(E);
    return Out;
  };
  const Names Whole = WithoutPolls(Trace(1));
  ASSERT_EQ(Whole.end()[-2], "completed");
  for (int32_t Threads : {1, 8}) {
    SCOPED_TRACE(std::to_string(Threads) + " threads");
    MemoryAsked_.clear();
    const auto Budget = std::make_shared<TItemMemoryBudget>(400);
    Walk_.MemoryBudget = Budget;
    EXPECT_EQ(WithoutPolls(Trace(Threads)), Whole);
    EXPECT_EQ(Budget->Granted() + Budget->Refused(), static_cast<int64_t>(MemoryAsked_.size()));
    EXPECT_GT(Budget->Granted(), 0);
    EXPECT_GT(Budget->Refused(), 0);
    EXPECT_LE(Budget->Peak(), 400);
    EXPECT_EQ(Budget->InUse(), 0);
  }
}

// Stopped at file events all over the tree: in a folder, between folders, at an item in the middle of an
// archive and of an archive inside it (on a worker, or in a cabinet the owner's thread reads), just
// before and after a refused folder, file or item.
TEST_F(FileScanArcInFlight, StopEndsTheSearchWhereOneThreadWould) {
  const Names Full = Trace(1);
  std::vector<int> Items;  // the file events of archive items, counted as Trace counts them
  int FileEvents = 0;
  for (const std::string& E : Full) {
    if (E.rfind("progress ", 0) != 0 || E.compare(E.size() - 2, 2, " 3") != 0) continue;
    ++FileEvents;
    if (E.find('|') != std::string::npos) Items.push_back(FileEvents);
  }
  ASSERT_GT(Items.size(), 10u);
  std::vector<int> StopAts = {1, 2, 5, 17, 40, 41, FileEvents - 1, FileEvents};
  for (size_t I = 0; I < Items.size(); I += Items.size() / 12) StopAts.push_back(Items[I] + (I % 2));
  for (int StopAt : StopAts) {
    SCOPED_TRACE("stop at file event " + std::to_string(StopAt));
    const Names Single = Trace(1, StopAt);
    ASSERT_EQ(Single.end()[-2], "stopped");
    for (int32_t Threads : {2, 8}) EXPECT_EQ(Trace(Threads, StopAt), Single) << Threads << " threads";
  }
}

// Stopped from the stream scanner's progress while an archive item is scanned: in an archive, in an
// archive inside it, in a cabinet inside an archive, in a large item, and in a plain file after them.
TEST_F(FileScanArcInFlight, StopWhileAnItemIsScannedEndsTheSearchWhereOneThreadWould) {
  for (const char* Target :
       {"w/t0/s0/a.zip|inner.zip|docs/hit.txt", "w/t0/s2/c.zip|big.txt", "w/t0/s5/e.zip|cabs/set1.cab|c.txt",
        "w/t0/s1/b.tar.gz|b.tar|other.txt", "w/t5/s4/f0.txt"}) {
    SCOPED_TRACE(std::string("stop in ") + Target);
    const Names Single = Trace(1, 0, Target);
    ASSERT_EQ(Single.end()[-2], "stopped");
    for (int32_t Threads : {2, 8}) EXPECT_EQ(Trace(Threads, 0, Target), Single) << Threads << " threads";
  }
}

}  // namespace
