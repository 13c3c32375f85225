// The file scanner's archive walk over real archives: archives inside archives with their display paths,
// TAR inside GZIP, an ARJ set and a cabinet chain inside a ZIP folder, nested archives switched off, empty
// items, name hits without extraction, items through temporary files when memory is short, a damaged
// inner archive, the inner-archive cache seen from the walk, and the search within results. After every
// test no temporary file or folder is left.
#include "search/FileScanArc.h"

#include <gtest/gtest.h>

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
#include "search/SrchRes.h"
#include "tests/TestFiles.h"
#include "tests/search/FileScanTree.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arcwalk";

// A ZIP archive of stored entries (name, bytes), made here so that a test can build any nesting. With
// Prefix the archive has data in front; Shifted says whether its offsets count that data (as "zip -A"
// leaves them) or not (a padded download).
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& Entries,
                      const std::string& Prefix = std::string(), bool Shifted = false) {
  auto le16 = [](std::string& S, uint32_t V) {
    S += static_cast<char>(V & 0xFF);
    S += static_cast<char>((V >> 8) & 0xFF);
  };
  auto le32 = [&](std::string& S, uint32_t V) {
    le16(S, V & 0xFFFF);
    le16(S, V >> 16);
  };
  const uint32_t base = Shifted ? static_cast<uint32_t>(Prefix.size()) : 0;
  constexpr uint32_t kDosDate = (40 << 9) | (5 << 5) | 6;  // 2020-05-06
  std::string out, central;
  for (const auto& [name, data] : Entries) {
    const uint32_t crc = ~UpdateCrc32(0xFFFFFFFF, data.data(), static_cast<int32_t>(data.size()));
    const uint32_t offset = base + static_cast<uint32_t>(out.size());
    std::string fields;  // version needed .. name length, shared by both headers
    le16(fields, 10);
    le16(fields, 0);  // flags
    le16(fields, 0);  // stored
    le16(fields, 0);  // time
    le16(fields, kDosDate);
    le32(fields, crc);
    le32(fields, static_cast<uint32_t>(data.size()));
    le32(fields, static_cast<uint32_t>(data.size()));
    le16(fields, static_cast<uint32_t>(name.size()));
    le16(fields, 0);  // extra
    out += "PK\x03\x04" + fields + name + data;
    central += "PK\x01\x02";
    le16(central, 10);  // made by
    central += fields;
    le16(central, 0);  // comment
    le16(central, 0);  // disk
    le16(central, 0);  // internal attributes
    le32(central, 0);  // external attributes
    le32(central, offset);
    central += name;
  }
  const uint32_t centralOffset = base + static_cast<uint32_t>(out.size());
  out += central + "PK\x05\x06";
  le16(out, 0);
  le16(out, 0);
  le16(out, static_cast<uint32_t>(Entries.size()));
  le16(out, static_cast<uint32_t>(Entries.size()));
  le32(out, static_cast<uint32_t>(central.size()));
  le32(out, centralOffset);
  le16(out, 0);
  return Prefix + out;
}

// A program image that holds no archive, with the pattern in its bytes.
const std::string kProgram =
    "MZ\x90\x00" + std::string(200, '\x01') + "a needle in a program" + std::string(50, '\0');

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
      if (e.path().extension() != ".md" && e.path().extension() != ".py")
        Tree.File("d/" + e.path().filename().string(), ReadFileBytes(e.path()));
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
  EXPECT_EQ(Run("nested.zip"), (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt",
                                      "d/nested.zip|inner.zip|other.txt"}));
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
  // The reports name the inner archive: it fails to open, or its reader gives up on it (saying what).
  ASSERT_FALSE(Log.Errors.empty());
  for (const auto& E : Log.Errors) EXPECT_EQ(E.Name, "d/damaged.zip|bad.zip") << E.Text;
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
  ExtractArchivePathToMemory(D("nested.zip|inner.zip|other.txt"), size, nullptr);
  std::string cachedFile;
  {
    TArchiveCacheLock lock;
    TArchiver* cached = FindCachedArchive(D("nested.zip|inner.zip")).get();
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

// A "|" inside an item's own name: "a|b.txt" beside the item b.txt of a folder "a", and an inner archive
// "c|d.zip". Joined with "|" their paths read alike (and "x.zip|a|b.txt" was reopened as the item b.txt
// of an inner archive "a"); each hit carries its path in parts, the results table shows each item's own
// name, and reopening or scanning again by the parts gives each item's own bytes.
TEST_F(FileScanArc, BarInsideAnItemNameKeepsEachItemItsOwnPath) {
  Tree.File("d/x.zip", StoredZip({{"a|b.txt", "needle one"},
                                  {"a/b.txt", "needle two, longer"},
                                  {"c|d.zip", StoredZip({{"e.txt", "needle three"}})}}));
  EXPECT_EQ(Run("x.zip"), (Names{"d/x.zip|a|b.txt", "d/x.zip|a/b.txt", "d/x.zip|c|d.zip|e.txt"}));
  EXPECT_EQ(Log.Errors.size(), 0u);
  const std::string x = D("x.zip");
  ASSERT_EQ(Log.Infos.size(), 3u);
  EXPECT_EQ(Log.Infos[0].ItemPath, (Names{x, "a|b.txt"}));
  EXPECT_EQ(Log.Infos[1].ItemPath, (Names{x, "a/b.txt"}));
  EXPECT_EQ(Log.Infos[2].ItemPath, (Names{x, "c|d.zip", "e.txt"}));

  TSearchResults results;
  for (const TFoundFileInfo& info : Log.Infos) results.Add(info);
  const Names expectedBytes = {"needle one", "needle two, longer", "needle three"};
  const std::vector<std::u16string> names = {u"a|b.txt", u"b.txt", u"e.txt"};
  const std::vector<std::string> archives = {x, x, x + "|c|d.zip"};
  for (int32_t row = 0; row < 3; ++row) {
    EXPECT_EQ(results.GetName(row), names[row]) << row;
    EXPECT_EQ(Utf16ToUtf8(results.GetArchiveName(row)), archives[row]) << row;
    TFoundFileInfo info;
    results.GetInfo(row, info);
    const std::string& bytes = expectedBytes[row];
    const auto size = static_cast<int32_t>(bytes.size());
    TArcBlockPtr block(ExtractArchivePathToMemory(info.ItemPath, size, nullptr));
    EXPECT_EQ(std::string(static_cast<const char*>(block.get()), bytes.size()), bytes) << row;
    const std::string file = Temp + "/reopened.txt";
    TDateTime date = 0;
    int32_t written = 0;
    ExtractArchivePathToFile(info.ItemPath, file, false, &date, &written, nullptr);
    EXPECT_EQ(ReadFileBytes(file), bytes) << row;
    fs::remove(file);
  }
  // A joined path without its parts is read as before: cut at every "|".
  TArcBlockPtr plain(ExtractArchivePathToMemory(x + "|a/b.txt", 18, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(plain.get()), 18), "needle two, longer");

  // The search within results scans each row's own item again, in memory and through a file.
  for (const bool low : {false, true}) {
    LowMemory = low;
    Log = TScanLog();
    Log.Attach(Scanner, Tree);
    Scanner.Scanner.SetPattern(low ? u"longer" : u"one");
    EXPECT_TRUE(SearchInResults(results, Scanner));
    EXPECT_EQ(Log.Errors.size(), 0u);
    ASSERT_EQ(Log.Infos.size(), 1u) << low;
    EXPECT_EQ(Log.Infos[0].ItemPath, (Names{x, low ? "a/b.txt" : "a|b.txt"}));
  }
}

// An executable that holds no archive is a plain file, on disk and inside an archive: found, with no
// message. One that holds a ZIP is walked as that archive.
TEST_F(FileScanArc, ExecutablesWithoutArchiveAreScannedAsPlainFiles) {
  Tree.File("d/prog.exe", kProgram);
  Tree.File("d/progs.zip", StoredZip({{"bin/prog.exe", kProgram}, {"bin/other.exe", "MZ nothing"}}));
  Tree.File("d/sfx.exe", "MZ" + std::string(2046, '\0') + StoredZip({{"inside.txt", "needle in a box"}}));
  EXPECT_EQ(Run("prog.exe"), Names{"d/prog.exe"});
  EXPECT_EQ(Run("progs.zip"), Names{"d/progs.zip|bin/prog.exe"});
  EXPECT_EQ(Run("sfx.exe"), Names{"d/sfx.exe|inside.txt"});
  for (const char* name : {"prog.exe", "progs.zip", "sfx.exe"}) {
    Run(name);
    for (const auto& e : Log.Errors)
      ADD_FAILURE() << name << ": " << e.Name << " " << int(e.Kind) << " " << e.Text;
  }
}

// A ".cab" item that is no cabinet is scanned as the same file on disk is.
TEST_F(FileScanArc, CabItemThatIsNoCabinetIsScanned) {
  Tree.File("d/notes.cab", "a needle, not a cabinet");
  Tree.File("d/z.zip", StoredZip({{"notes.cab", "a needle, not a cabinet"}}));
  EXPECT_EQ(Run("notes.cab"), Names{"d/notes.cab"});
  EXPECT_EQ(Run("z.zip"), Names{"d/z.zip|notes.cab"});
  EXPECT_EQ(Log.Errors.size(), 0u);
}

// A ZIP with data in front of its first entry, with offsets that count that data and without.
TEST_F(FileScanArc, ZipWithDataInFrontIsWalked) {
  const std::string prefix(300, '\x7F');
  Tree.File("d/shifted.zip", StoredZip({{"a.txt", "needle one"}}, prefix, true));
  Tree.File("d/padded.zip", StoredZip({{"b.txt", "needle two"}}, prefix, false));
  EXPECT_EQ(Run("shifted.zip"), Names{"d/shifted.zip|a.txt"});
  EXPECT_EQ(Log.Errors.size(), 0u);
  EXPECT_EQ(Run("padded.zip"), Names{"d/padded.zip|b.txt"});
  EXPECT_EQ(Log.Errors.size(), 0u);
}

// No message about an archive item names a temporary file: the item's display path stands for it.
TEST_F(FileScanArc, MessagesNameTheDisplayPathNeverTheTemporaryFile) {
  Tree.File("d/m.zip",
            StoredZip({{"broken.rar", std::string("Rar!\x1A\x07\x00", 7) + std::string(200, '\x55')},
                       {"broken.arj", "\x60\xEA" + std::string(200, '\x55')},
                       {"broken.lzh", "xx-lh5-" + std::string(200, '\x55')},
                       {"inner/damaged.zip", ReadFileBytes(kFixtures / "damaged.zip")},
                       {"ok.txt", "needle"}}));
  EXPECT_EQ(Run("m.zip"), (Names{"d/m.zip|inner/damaged.zip|good.txt", "d/m.zip|ok.txt"}));
  const Names named = {"d/m.zip|broken.rar", "d/m.zip|broken.arj", "d/m.zip|broken.lzh",
                       "d/m.zip|inner/damaged.zip|bad.zip"};
  // Every damaged item is reported (a damaged archive may give a message for each fault it holds).
  std::set<std::string> reported;
  for (const auto& e : Log.Errors) reported.insert(e.Name);
  EXPECT_EQ(reported, std::set<std::string>(named.begin(), named.end()));
  for (const auto& e : Log.Errors) {
    EXPECT_NE(std::find(named.begin(), named.end(), e.Name), named.end()) << e.Name;
    EXPECT_FALSE(e.Text.empty()) << e.Name;
    EXPECT_EQ(e.Text.find(Temp), std::string::npos) << e.Name << ": " << e.Text;
  }
}

// A chain of archives nested deeper than the walk's limit ends at the limit with one error naming the
// archive not opened; everything above it is searched and nothing is left in the temporary folder.
TEST_F(FileScanArc, DeepNestingEndsAtTheLimit) {
  const size_t depth = TArchiveWalk::kMaxArchiveNesting + 8;
  std::string archive = StoredZip({{"deep.txt", "needle at the bottom"}});
  std::string path;
  for (size_t level = depth; level-- > 1;) {
    archive = StoredZip({{"level.txt", "needle at level " + std::to_string(level)}, {"z.zip", archive}});
    path = "|z.zip" + path;
  }
  Tree.File("d/chain.zip", archive);
  const Names hits = Run("chain.zip");
  EXPECT_TRUE(Completed);
  ASSERT_EQ(hits.size(), TArchiveWalk::kMaxArchiveNesting);  // level.txt of each level walked
  const Names failed = Log.ErrorsOf(sekArchiveOpenFailed);
  ASSERT_EQ(failed.size(), 1u);
  std::string expected = "d/chain.zip";
  for (size_t level = 1; level <= TArchiveWalk::kMaxArchiveNesting; ++level) expected += "|z.zip";
  EXPECT_EQ(failed[0], expected);
  EXPECT_EQ(Log.Errors.size(), 1u);
  // A chain within the limit is walked to its end.
  archive = StoredZip({{"deep.txt", "needle at the bottom"}});
  for (size_t level = 0; level < 5; ++level) archive = StoredZip({{"z.zip", archive}});
  Tree.File("d/short.zip", archive);
  EXPECT_EQ(Run("short.zip"), Names{"d/short.zip|z.zip|z.zip|z.zip|z.zip|z.zip|deep.txt"});
}

// An inner archive with the same bytes as an archive it lies in (a file that holds itself would hold
// itself again without end) is reported, naming both, and not walked; the walk goes on with the rest.
// Here the inner archive is a copy of the outer one, handed to the walk from inside the outer walk.
TEST_F(FileScanArc, InnerArchiveIdenticalToAnOuterOneIsReportedAndSkipped) {
  Tree.File("d/copy/inner.zip", ReadFileBytes(kFixtures / "nested.zip"));
  bool handed = false;
  Log = TScanLog();
  Log.Attach(Scanner, Tree);
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && !handed && Utf16ToUtf8(Name).find("inner.zip|other.txt") != std::string::npos) {
      handed = true;
      TWideStrLst masks;
      EXPECT_TRUE(Walk.ScanArchive(Scanner, Utf8ToUtf16(D("copy/inner.zip")),
                                   Utf8ToUtf16(D("nested.zip|inner.zip|again.zip")), nullptr, false, masks));
    }
    return true;
  };
  Completed = Scanner.Search(Tree.Roots("d/nested.zip"), u"", false);
  EXPECT_EQ(Log.Hits, (Names{"d/nested.zip|top.txt", "d/nested.zip|inner.zip|docs/hit.txt"}));
  EXPECT_TRUE(handed);
  EXPECT_TRUE(Completed);
  ASSERT_EQ(Log.ErrorsOf(sekArchiveOpenFailed), Names{"d/nested.zip|inner.zip|again.zip"});
  for (const auto& e : Log.Errors)
    if (e.Kind == sekArchiveOpenFailed) EXPECT_NE(e.Text.find(D("nested.zip")), std::string::npos) << e.Text;
}

// A ZIP whose one member is a byte-for-byte copy of the archive itself (quine.zip) once overflowed the
// stack and filled the temporary drive, one level per copy. Searched among other files, with a chain of
// archives nested deeper than the limit beside it, each is one report and the folder's other files
// are still searched; nothing is left in the temporary folder (TearDown).
TEST_F(FileScanArc, SelfContainingZipAndTooDeepChainAreReportedAndTheSearchGoesOn) {
  const std::string quine = ReadFileBytes(kFixtures / "quine.zip");
  Tree.File("d/hostile/a.txt", "needle before");
  Tree.File("d/hostile/quine.zip", quine);
  std::string chain = StoredZip({{"deep.txt", "needle at the bottom"}});
  for (size_t level = 0; level < TArchiveWalk::kMaxArchiveNesting + 3; ++level)
    chain = StoredZip({{"z.zip", chain}});
  Tree.File("d/hostile/m.zip", chain);
  Tree.File("d/hostile/z.txt", "needle after");
  // The self-containing archive also as an item of an ordinary one: the copy inside it is the one seen.
  Tree.File("d/hostile/n.zip", StoredZip({{"q/quine.zip", quine}, {"x.txt", "needle beside"}}));

  EXPECT_EQ(Run("hostile"), (Names{"d/hostile/a.txt", "d/hostile/n.zip|x.txt", "d/hostile/z.txt"}));
  EXPECT_TRUE(Completed);
  std::string tooDeep = "d/hostile/m.zip";
  for (size_t level = 1; level <= TArchiveWalk::kMaxArchiveNesting; ++level) tooDeep += "|z.zip";
  EXPECT_EQ(Log.ErrorsOf(sekArchiveOpenFailed),
            (Names{tooDeep, "d/hostile/n.zip|q/quine.zip|quine.zip", "d/hostile/quine.zip|quine.zip"}));
  EXPECT_EQ(Log.Errors.size(), 3u);
  for (const auto& e : Log.Errors) {
    if (e.Name.find("quine") == std::string::npos) continue;
    // The report names the archive it copies, never a temporary file.
    const std::string outer = e.Name.substr(0, e.Name.rfind('|'));
    EXPECT_NE(e.Text.find(outer), std::string::npos) << e.Text;
    EXPECT_EQ(e.Text.find(Temp), std::string::npos) << e.Text;
  }
}

// With a temporary folder that cannot be used, items that fit in memory are still searched; an inner
// archive, which needs a file, is one error naming it.
TEST_F(FileScanArc, UnusableTemporaryFolderStillSearchesItemsInMemory) {
  // Files where the walk's folders would go: no folder of its own can be made there.
  std::vector<std::string> blocks;
  for (const auto& e : fs::directory_iterator(Temp)) blocks.push_back(e.path().string());
  ASSERT_EQ(blocks, Names{});
  for (const std::string& root :
       {std::string(kTempArchiveRootName), kTempArchiveRootName + ("-" + std::to_string(::geteuid()))}) {
    blocks.push_back(Temp + "/" + root);
    std::ofstream(blocks.back()) << "in the way";
  }
  EXPECT_EQ(Run("nested.zip"), Names{"d/nested.zip|top.txt"});
  EXPECT_TRUE(Completed);
  EXPECT_EQ(Log.ErrorsOf(sekException), Names{"d/nested.zip|inner.zip"});
  for (const std::string& block : blocks) fs::remove(block);
}

// A file that cannot be read is one error, not one for the archive check and one for the scan.
TEST_F(FileScanArc, UnreadableFileIsOneError) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Open, 1, EACCES);
  Tree.File("d/locked.txt", "needle");
  EXPECT_EQ(Run("locked.txt"), Names{});
  ASSERT_EQ(Log.Errors.size(), 1u);
  EXPECT_EQ(Log.Errors[0].Name, "d/locked.txt");
  EXPECT_EQ(Log.Errors[0].Kind, sekOpenFailed);
}

// The walk's waits for the cache lock poll the scanner between tries, so that a stop ends them; the
// work left undone is done at the next walk.
TEST_F(FileScanArc, StopEndsTheWaitForTheCacheLock) {
  SetArchiveCacheTimings(0, 20);
  std::mutex m;
  std::condition_variable cv;
  bool take = false, held = false, release = false;
  std::thread other([&] {
    std::unique_lock<std::mutex> g(m);
    cv.wait(g, [&] { return take; });
    EXPECT_TRUE(LockArchiveCache());
    held = true;
    cv.notify_all();
    cv.wait(g, [&] { return release; });
    UnlockArchiveCache();
  });
  int polls = 0;
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Utf16ToUtf8(Name).find("inner.zip|other.txt") != std::string::npos) {
      // The last item of the inner archive: another holder takes the lock for good.
      std::unique_lock<std::mutex> g(m);
      take = true;
      cv.notify_all();
      cv.wait(g, [&] { return held; });
    }
    if (Kind == spkPoll && held) return ++polls < 3;
    return true;
  };
  Log = TScanLog();
  Scanner.OnFound = [this](const TFoundFileInfo& Info) { Log.Hits.push_back(Tree.Relative(Info.Name)); };
  EXPECT_FALSE(Scanner.Search(Tree.Roots("d/nested.zip"), u"", false));
  EXPECT_EQ(polls, 3);
  {
    std::lock_guard<std::mutex> g(m);
    release = true;
  }
  cv.notify_all();
  other.join();
  SetArchiveCacheTimings(0, 0);
  // The next walk lets the inner archive go; nothing is left behind.
  Scanner.OnProgress = nullptr;
  EXPECT_EQ(Run("t.tar.gz"), Names{"d/t.tar.gz|t.tar|docs/hit.txt"});
}

}  // namespace
