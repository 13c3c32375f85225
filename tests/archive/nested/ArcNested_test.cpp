// Nested archive paths and the inner-archive cache: items of archives inside archives extracted by their
// path, the cache that keeps the inner archivers (hits, stale entries, pins, trims, the cleaner thread,
// the bounded lock), volume sets and cabinet chains inside an archive, and temporary files that are all
// gone once the cache is cleared.
#include "archive/ArcNested.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "archive/cab/arlUnCab.h"
#include "core/FileLayer.h"
#include "tests/archive/wrappers/WrapperTestUtil.h"

namespace {

using namespace wraptest;

const fs::path kNested = fs::path(SCRYLINE_TEST_DATA) / "nested";
// Free space that still takes the small extractions of these tests but is below the spare space a trim
// keeps, so that a trim evicts every entry it may.
constexpr int64_t kLowSpace = 2 * 1048576;

// nested.zip: top.txt, empty.txt, inner.zip (docs/hit.txt "the needle is here\n", other.txt).
class ArcNested : public TWrapperTest {
 protected:
  void SetUp() override {
    TWrapperTest::SetUp();
    for (const char* name : {"nested.zip", "arjset.zip", "cabset.zip", "damaged.zip"})
      WriteAll(Work / name, ReadFileBytes(kNested / name));
  }
  void TearDown() override {
    ClearArchiveCache();
    SetArchiveCacheTimings(0, 0);
    SetArchiveCacheClock(nullptr);
    // Every temporary file and folder of the cache is gone.
    EXPECT_EQ(Entries(Temp), std::vector<std::string>{});
    TWrapperTest::TearDown();
  }
  std::string P(const std::string& Rel) const { return (Work / Rel).string(); }
  static std::string ToMemory(const std::string& Path, int32_t Size) {
    return TakeBlock(ExtractArchivePathToMemory(Path, Size, nullptr), Size);
  }
  // The cache's archiver of Key (the cache keeps it), or null.
  static TArchiver* Cached(const std::string& Key) {
    TArchiveCacheLock lock;
    EXPECT_TRUE(lock.Locked());
    return FindCachedArchive(Key).get();
  }
  static int32_t Count() {
    TArchiveCacheLock lock;
    return ArchiveCacheCount();
  }
};

TEST_F(ArcNested, ItemOfAnInnerArchiveToMemoryAndFile) {
  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19), "the needle is here\n");
  const std::string dest = (Work / "out.txt").string();
  int32_t size = 0;
  ExtractArchivePathToFile(P("nested.zip|inner.zip|other.txt"), dest, false, nullptr, &size, nullptr);
  EXPECT_EQ(ReadFileBytes(dest), "nothing to see\n");
  EXPECT_EQ(size, 15);
  // An item at the top needs no cache.
  EXPECT_EQ(ToMemory(P("nested.zip|top.txt"), 17), "top level needle\n");
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, SecondOpenIsServedFromTheCache) {
  ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19);
  TArchiver* first = Cached(P("nested.zip|inner.zip"));
  ASSERT_NE(first, nullptr);
  const std::string innerFile = first->GetArchiveName();
  struct stat before {};
  ASSERT_EQ(::stat(innerFile.c_str(), &before), 0);

  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|other.txt"), 15), "nothing to see\n");
  EXPECT_EQ(Cached(P("nested.zip|inner.zip")), first);
  struct stat after {};
  ASSERT_EQ(::stat(innerFile.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not extracted again
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, ChangedOuterFileDropsTheEntry) {
  ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19);
  const std::string innerFile = Cached(P("nested.zip|inner.zip"))->GetArchiveName();
  fs::last_write_time(P("nested.zip"), fs::last_write_time(P("nested.zip")) + std::chrono::hours(1));
  EXPECT_EQ(Cached(P("nested.zip|inner.zip")), nullptr);
  EXPECT_FALSE(fs::exists(innerFile));  // the stale extraction went with its entry
  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19), "the needle is here\n");
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, BadPaths) {
  // No "|": an assertion, raised as an error of the archive layer.
  EXPECT_THROW(ExtractArchivePathToMemory(P("nested.zip"), 1, nullptr), EArcError);
  {
    TArchiveCacheLock lock;
    EXPECT_THROW(OpenArchivePath(P("nested.zip"), "", nullptr, true), EArcError);
  }
  // A missing member, a missing outer file, a damaged inner archive: clean errors, nothing cached or left.
  EXPECT_THROW(ToMemory(P("nested.zip|missing.zip|a.txt"), 1), std::exception);
  EXPECT_THROW(ToMemory(P("gone.zip|inner.zip|a.txt"), 1), std::exception);
  EXPECT_THROW(ToMemory(P("damaged.zip|bad.zip|a.txt"), 1), std::exception);
  EXPECT_EQ(Cached(P("nested.zip|missing.zip")), nullptr);
}

TEST_F(ArcNested, FileNameWithBarOnDisk) {
  // "|" is an ordinary character of a file name: the longest existing prefix is the file on disk.
  fs::copy_file(P("nested.zip"), P("a|b.zip"));
  EXPECT_EQ(ToMemory(P("a|b.zip|inner.zip|docs/hit.txt"), 19), "the needle is here\n");
  EXPECT_NE(Cached(P("a|b.zip|inner.zip")), nullptr);
}

TEST_F(ArcNested, VolumesOfAnInnerSetAreExtractedBesideIt) {
  // long.txt begins in set.arj and ends in set.a01, both items of arjset.zip.
  const std::string text = ToMemory(P("arjset.zip|vols/set.arj|long.txt"), 15174);
  EXPECT_EQ(text.size(), 15174u);
  EXPECT_EQ(text.substr(text.size() - 18), "needle at the end\n");
}

TEST_F(ArcNested, NextCabinetComesFromTheSameOuterArchive) {
  ASSERT_TRUE(LoadCabinetDll(""));
  // b.txt runs from set1.cab into set2.cab: the next cabinet is extracted from cabset.zip on demand, from
  // the folder that holds set1.cab.
  const std::string text = ToMemory(P("cabset.zip|cabs/set1.cab|b.txt"), 30000);
  EXPECT_EQ(text.substr(0, 4), "BBBB");
  EXPECT_EQ(text.size(), 30000u);
  EXPECT_NE(Cached(P("cabset.zip|cabs/set2.cab")), nullptr);

  std::string next;
  bool first = false;
  EXPECT_TRUE(GetCabinetInfo(Cached(P("cabset.zip|cabs/set1.cab"))->GetArchiveName(), next, first));
  EXPECT_EQ(next, "set2.cab");
  EXPECT_TRUE(first);
  EXPECT_FALSE(GetCabinetInfo(P("nested.zip"), next, first));
  EXPECT_FALSE(GetCabinetInfo(P("missing.cab"), next, first));
}

TEST_F(ArcNested, NextCabinetUnderLowSpaceKeepsTheRunningCabinet) {
  // Regression: opening the next cabinet trims the cache, which evicted the cabinet whose decoder was
  // running (the most recently used entry) and freed it under the run.
  ASSERT_TRUE(LoadCabinetDll(""));
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.SetFreeSpace("/", kLowSpace);
  const std::string text = ToMemory(P("cabset.zip|cabs/set1.cab|b.txt"), 30000);
  EXPECT_EQ(text.substr(0, 64), std::string(63, 'B') + "\n");
  EXPECT_EQ(text.size(), 30000u);
}

TEST_F(ArcNested, Expiry) {
  uint32_t now = 1000;
  SetArchiveCacheClock([&now] { return now; });
  const uint32_t minute = 60000;
  struct TCase {
    uint32_t CostMs, IdleMs;
    bool Expired;
  } cases[] = {
      {0, 4 * minute, false},
      {0, 5 * minute, true},
      {4 * minute, 6 * minute, false},
      {4 * minute, 8 * minute, true},
      {20 * minute, 30 * minute, false},
  };
  for (const TCase& c : cases) {
    now = 1000;
    TSubArcCache entry(std::make_shared<TArchiver>(), 0, 0, c.CostMs);
    now += c.IdleMs;
    EXPECT_EQ(entry.IsExpired(), c.Expired) << c.CostMs << " " << c.IdleMs;
  }
  // A tick count that wrapped around is still a short idle time.
  now = 0xFFFFFF00u;
  TSubArcCache entry(std::make_shared<TArchiver>(), 0, 0, 0);
  now = 0x100;
  EXPECT_FALSE(entry.IsExpired());
}

// Three inner archives cached: a.zip|inner.zip and two copies of it. The cache's clock is the test's
// from the start, so that every entry is stamped with it and no age depends on how long the machine
// has been up.
class ArcNestedTrim : public ArcNested {
 protected:
  void SetUp() override {
    ArcNested::SetUp();
    SetArchiveCacheClock([this] { return Now.load(); });
    fs::copy_file(P("nested.zip"), P("b.zip"));
    fs::copy_file(P("nested.zip"), P("c.zip"));
    for (const char* outer : {"nested.zip", "b.zip", "c.zip"})
      ToMemory(P(std::string(outer) + "|inner.zip|other.txt"), 15);
    ASSERT_EQ(Count(), 3);
  }
  TFaultyFileLayer Layer;
  // Read by the cleaner thread too.
  std::atomic<uint32_t> Now{5000};
};

TEST_F(ArcNestedTrim, PlentyOfSpaceKeepsFreshEntries) {
  TFileLayerScope scope(Layer);
  Layer.SetFreeSpace("/", int64_t{1} << 40);
  TArchiveCacheLock lock;
  TrimArchiveCache("", 1000);
  EXPECT_EQ(ArchiveCacheCount(), 3);
}

TEST_F(ArcNestedTrim, LowSpaceEvictsAllButTheExceptedAndPinned) {
  // Regression: the main thread's trim stopped after one entry, since it always holds the foreground
  // lock; it must go on until there is room.
  TArchiver* pinned = Cached(P("b.zip|inner.zip"));
  TFileLayerScope scope(Layer);
  Layer.SetFreeSpace("/", kLowSpace);
  TArchiveCacheLock lock;
  PinCachedArchiver(pinned);
  TrimArchiveCache(P("nested.zip|inner.zip"), 1000);
  EXPECT_EQ(ArchiveCacheCount(), 2);
  EXPECT_NE(FindCachedArchive(P("nested.zip|inner.zip")), nullptr);
  EXPECT_EQ(FindCachedArchive(P("b.zip|inner.zip")).get(), pinned);
  EXPECT_EQ(FindCachedArchive(P("c.zip|inner.zip")), nullptr);
  UnpinCachedArchiver(pinned);
}

TEST_F(ArcNestedTrim, ExpiredEntriesGoWithoutSpacePressure) {
  TFileLayerScope scope(Layer);
  Layer.SetFreeSpace("/", int64_t{1} << 40);
  Now += kArchiveCacheIdleMs - 1000;
  {
    TArchiveCacheLock lock;
    FindCachedArchive(P("b.zip|inner.zip"));  // a hit: b's idle time starts again
    TrimArchiveCache("", 0);
    EXPECT_EQ(ArchiveCacheCount(), 3);  // nothing idle long enough yet
  }
  Now += 1000;
  {
    TArchiveCacheLock lock;
    TrimArchiveCache("", 0);
    EXPECT_EQ(ArchiveCacheCount(), 1);
    EXPECT_NE(FindCachedArchive(P("b.zip|inner.zip")), nullptr);
  }
  Now += kArchiveCacheIdleMs;
  TArchiveCacheLock lock;
  TrimArchiveCache("", 0);
  EXPECT_EQ(ArchiveCacheCount(), 0);
}

TEST_F(ArcNestedTrim, CleanerTrimsAndEnds) {
  TFileLayerScope scope(Layer);
  Layer.SetFreeSpace("/", kLowSpace);
  SetArchiveCacheTimings(10, 0);
  StopArchiveCacheCleaner();  // restart with the short sleep
  fs::copy_file(P("nested.zip"), P("d.zip"));
  ToMemory(P("d.zip|inner.zip|other.txt"), 15);  // starts a cleaner
  for (int i = 0; i < 500 && ArchiveCacheCleanerRunning(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(ArchiveCacheCleanerRunning());
  EXPECT_EQ(Count(), 0);
  // The next entry starts a new cleaner.
  Layer.SetFreeSpace("/", int64_t{1} << 40);
  ToMemory(P("nested.zip|inner.zip|other.txt"), 15);
  EXPECT_TRUE(ArchiveCacheCleanerRunning());
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, LockWaitIsBoundedAndNeverSkipped) {
  SetArchiveCacheTimings(0, 50);
  std::mutex m;
  std::condition_variable cv;
  bool held = false, release = false;
  std::thread other([&] {
    ASSERT_TRUE(LockArchiveCache());
    {
      std::lock_guard<std::mutex> g(m);
      held = true;
    }
    cv.notify_all();
    std::unique_lock<std::mutex> g(m);
    cv.wait(g, [&] { return release; });
    UnlockArchiveCache();
  });
  {
    std::unique_lock<std::mutex> g(m);
    cv.wait(g, [&] { return held; });
  }
  EXPECT_FALSE(LockArchiveCacheForeground());
  // Without the lock the extraction does not go on.
  EXPECT_THROW(ExtractArchivePathToMemory(P("nested.zip|inner.zip|other.txt"), 15, nullptr), EArcError);
  {
    std::lock_guard<std::mutex> g(m);
    release = true;
  }
  cv.notify_all();
  other.join();
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|other.txt"), 15), "nothing to see\n");
}

TEST_F(ArcNested, OpenArchiveTakenOverByTheCacheKeepsItsFiles) {
  // The file scanner walks an inner archive it extracted into its outer archiver's folder; a lookup of the
  // same key (a preview) moves that archiver into the cache, which then owns its files.
  TArchiver outerWalk;
  std::string folder;
  outerWalk.MakeTempFolder(0, folder);
  const std::string file = folder + "inner.zip";
  const std::string volume = folder + "inner.z01";
  ExtractArchivePathToFile(P("nested.zip|inner.zip"), file, false, nullptr, nullptr, nullptr);
  WriteAll(volume, "x");
  auto archiver = std::make_shared<TArchiver>();
  archiver->OpenChecked(file);
  TArchiver* const opened = archiver.get();
  const std::string key = P("nested.zip|inner.zip");
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.SetFreeSpace("/", kLowSpace);
  TArchiveCacheLock lock;
  RegisterOpenArchive(key, archiver, {file, volume});
  EXPECT_EQ(FindCachedArchive(key).get(), opened);
  EXPECT_TRUE(opened->Cached);
  EXPECT_TRUE(IsArchiveFileCached(file));
  EXPECT_TRUE(IsArchiveFileCached(volume));
  // Pinned while the scanner walks it: a trim for space does not take it away.
  TrimArchiveCache("", 1000);
  EXPECT_EQ(ArchiveCacheCount(), 1);
  EXPECT_TRUE(UnregisterOpenArchive(key, opened));  // the cache's now
  archiver.reset();                                 // the scanner's share goes; the cache keeps it
  EXPECT_EQ(FindCachedArchive(key).get(), opened);
  EXPECT_TRUE(fs::exists(file));
  // Evicted, the cache deletes the archive and the volume it took over.
  TrimArchiveCache("", 1000);
  EXPECT_EQ(ArchiveCacheCount(), 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(volume));
}

}  // namespace
