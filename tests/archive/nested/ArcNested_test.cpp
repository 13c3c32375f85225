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
    for (const char* Name : {"nested.zip", "arjset.zip", "cabset.zip", "damaged.zip"})
      WriteAll(Work_ / Name, ReadFileBytes(kNested / Name));
  }
  void TearDown() override {
    ClearArchiveCache();
    SetArchiveCacheTimings(0, 0);
    SetArchiveCacheClock(nullptr);
    // Every temporary file and folder of the cache is gone.
    EXPECT_EQ(Entries(Temp_), std::vector<std::string>{});
    TWrapperTest::TearDown();
  }
  std::string P(const std::string& Rel) const { return (Work_ / Rel).string(); }
  static std::string ToMemory(const std::string& Path, int32_t Size) {
    return TakeBlock(ExtractArchivePathToMemory(Path, Size, nullptr), Size);
  }
  // The cache's archiver of Key (the cache keeps it), or null.
  static TArchiver* Cached(const std::string& Key) {
    TArchiveCacheLock Lock;
    EXPECT_TRUE(Lock.Locked());
    return FindCachedArchive(Key).get();
  }
  static int32_t Count() {
    TArchiveCacheLock Lock;
    return ArchiveCacheCount();
  }
};

TEST_F(ArcNested, ItemOfAnInnerArchiveToMemoryAndFile) {
  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19), "the needle is here\n");
  const std::string Dest = (Work_ / "out.txt").string();
  int32_t Size = 0;
  ExtractArchivePathToFile(P("nested.zip|inner.zip|other.txt"), Dest, false, nullptr, &Size, nullptr);
  EXPECT_EQ(ReadFileBytes(Dest), "nothing to see\n");
  EXPECT_EQ(Size, 15);
  // An item at the top needs no cache.
  EXPECT_EQ(ToMemory(P("nested.zip|top.txt"), 17), "top level needle\n");
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, SecondOpenIsServedFromTheCache) {
  ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19);
  TArchiver* First = Cached(P("nested.zip|inner.zip"));
  ASSERT_NE(First, nullptr);
  const std::string InnerFile = First->GetArchiveName();
  struct stat Before {};
  ASSERT_EQ(::stat(InnerFile.c_str(), &Before), 0);

  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|other.txt"), 15), "nothing to see\n");
  EXPECT_EQ(Cached(P("nested.zip|inner.zip")), First);
  struct stat After {};
  ASSERT_EQ(::stat(InnerFile.c_str(), &After), 0);
  EXPECT_EQ(After.st_ino, Before.st_ino);  // not extracted again
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, ChangedOuterFileDropsTheEntry) {
  ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19);
  const std::string InnerFile = Cached(P("nested.zip|inner.zip"))->GetArchiveName();
  fs::last_write_time(P("nested.zip"), fs::last_write_time(P("nested.zip")) + std::chrono::hours(1));
  EXPECT_EQ(Cached(P("nested.zip|inner.zip")), nullptr);
  EXPECT_FALSE(fs::exists(InnerFile));  // the stale extraction went with its entry
  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|docs/hit.txt"), 19), "the needle is here\n");
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, BadPaths) {
  // No "|": an assertion, raised as an error of the archive layer.
  EXPECT_THROW(ExtractArchivePathToMemory(P("nested.zip"), 1, nullptr), EArcError);
  {
    TArchiveCacheLock Lock;
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
  const std::string Text = ToMemory(P("arjset.zip|vols/set.arj|long.txt"), 15174);
  EXPECT_EQ(Text.size(), 15174u);
  EXPECT_EQ(Text.substr(Text.size() - 18), "needle at the end\n");
}

TEST_F(ArcNested, NextCabinetComesFromTheSameOuterArchive) {
  ASSERT_TRUE(LoadCabinetDll(""));
  // b.txt runs from set1.cab into set2.cab: the next cabinet is extracted from cabset.zip on demand, from
  // the folder that holds set1.cab.
  const std::string Text = ToMemory(P("cabset.zip|cabs/set1.cab|b.txt"), 30000);
  EXPECT_EQ(Text.substr(0, 4), "BBBB");
  EXPECT_EQ(Text.size(), 30000u);
  EXPECT_NE(Cached(P("cabset.zip|cabs/set2.cab")), nullptr);

  std::string Next;
  bool First = false;
  EXPECT_TRUE(GetCabinetInfo(Cached(P("cabset.zip|cabs/set1.cab"))->GetArchiveName(), Next, First));
  EXPECT_EQ(Next, "set2.cab");
  EXPECT_TRUE(First);
  EXPECT_FALSE(GetCabinetInfo(P("nested.zip"), Next, First));
  EXPECT_FALSE(GetCabinetInfo(P("missing.cab"), Next, First));
}

TEST_F(ArcNested, NextCabinetUnderLowSpaceKeepsTheRunningCabinet) {
  // Regression: opening the next cabinet trims the cache, which evicted the cabinet whose decoder was
  // running (the most recently used entry) and freed it under the run.
  ASSERT_TRUE(LoadCabinetDll(""));
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.SetFreeSpace("/", kLowSpace);
  const std::string Text = ToMemory(P("cabset.zip|cabs/set1.cab|b.txt"), 30000);
  EXPECT_EQ(Text.substr(0, 64), std::string(63, 'B') + "\n");
  EXPECT_EQ(Text.size(), 30000u);
}

TEST_F(ArcNested, Expiry) {
  uint32_t Now = 1000;
  SetArchiveCacheClock([&Now] { return Now; });
  const uint32_t Minute = 60000;
  struct TCase {
    uint32_t CostMs, IdleMs;
    bool Expired;
  } Cases[] = {
      {0, 4 * Minute, false},
      {0, 5 * Minute, true},
      {4 * Minute, 6 * Minute, false},
      {4 * Minute, 8 * Minute, true},
      {20 * Minute, 30 * Minute, false},
  };
  for (const TCase& C : Cases) {
    Now = 1000;
    TSubArcCache Entry(std::make_shared<TArchiver>(), 0, 0, C.CostMs);
    Now += C.IdleMs;
    EXPECT_EQ(Entry.IsExpired(), C.Expired) << C.CostMs << " " << C.IdleMs;
  }
  // A tick count that wrapped around is still a short idle time.
  Now = 0xFFFFFF00u;
  TSubArcCache Entry(std::make_shared<TArchiver>(), 0, 0, 0);
  Now = 0x100;
  EXPECT_FALSE(Entry.IsExpired());
}

// Three inner archives cached: a.zip|inner.zip and two copies of it. The cache's clock is the test's
// from the start, so that every entry is stamped with it and no age depends on how long the machine
// has been up.
class ArcNestedTrim : public ArcNested {
 protected:
  void SetUp() override {
    ArcNested::SetUp();
    SetArchiveCacheClock([this] { return Now_.load(); });
    fs::copy_file(P("nested.zip"), P("b.zip"));
    fs::copy_file(P("nested.zip"), P("c.zip"));
    for (const char* Outer : {"nested.zip", "b.zip", "c.zip"})
      ToMemory(P(std::string(Outer) + "|inner.zip|other.txt"), 15);
    ASSERT_EQ(Count(), 3);
  }
  TFaultyFileLayer Layer_;
  // Read by the cleaner thread too.
  std::atomic<uint32_t> Now_{5000};
};

TEST_F(ArcNestedTrim, PlentyOfSpaceKeepsFreshEntries) {
  TFileLayerScope Scope(Layer_);
  Layer_.SetFreeSpace("/", int64_t{1} << 40);
  TArchiveCacheLock Lock;
  TrimArchiveCache("", 1000);
  EXPECT_EQ(ArchiveCacheCount(), 3);
}

TEST_F(ArcNestedTrim, LowSpaceEvictsAllButTheExceptedAndPinned) {
  // Regression: the main thread's trim stopped after one entry, since it always holds the foreground
  // lock; it must go on until there is room.
  TArchiver* Pinned = Cached(P("b.zip|inner.zip"));
  TFileLayerScope Scope(Layer_);
  Layer_.SetFreeSpace("/", kLowSpace);
  TArchiveCacheLock Lock;
  PinCachedArchiver(Pinned);
  TrimArchiveCache(P("nested.zip|inner.zip"), 1000);
  EXPECT_EQ(ArchiveCacheCount(), 2);
  EXPECT_NE(FindCachedArchive(P("nested.zip|inner.zip")), nullptr);
  EXPECT_EQ(FindCachedArchive(P("b.zip|inner.zip")).get(), Pinned);
  EXPECT_EQ(FindCachedArchive(P("c.zip|inner.zip")), nullptr);
  UnpinCachedArchiver(Pinned);
}

TEST_F(ArcNestedTrim, ExpiredEntriesGoWithoutSpacePressure) {
  TFileLayerScope Scope(Layer_);
  Layer_.SetFreeSpace("/", int64_t{1} << 40);
  Now_ += kArchiveCacheIdleMs - 1000;
  {
    TArchiveCacheLock Lock;
    FindCachedArchive(P("b.zip|inner.zip"));  // a hit: b's idle time starts again
    TrimArchiveCache("", 0);
    EXPECT_EQ(ArchiveCacheCount(), 3);  // nothing idle long enough yet
  }
  Now_ += 1000;
  {
    TArchiveCacheLock Lock;
    TrimArchiveCache("", 0);
    EXPECT_EQ(ArchiveCacheCount(), 1);
    EXPECT_NE(FindCachedArchive(P("b.zip|inner.zip")), nullptr);
  }
  Now_ += kArchiveCacheIdleMs;
  TArchiveCacheLock Lock;
  TrimArchiveCache("", 0);
  EXPECT_EQ(ArchiveCacheCount(), 0);
}

TEST_F(ArcNestedTrim, CleanerTrimsAndEnds) {
  TFileLayerScope Scope(Layer_);
  Layer_.SetFreeSpace("/", kLowSpace);
  SetArchiveCacheTimings(10, 0);
  StopArchiveCacheCleaner();  // restart with the short sleep
  fs::copy_file(P("nested.zip"), P("d.zip"));
  ToMemory(P("d.zip|inner.zip|other.txt"), 15);  // starts a cleaner
  // The cleaner ends on its own once the cache is empty; the bound is only there so that a cleaner that never
  // ends fails the test instead of hanging it, and is generous because a loaded machine may starve the
  // thread.
  for (int I = 0; I < 6000 && ArchiveCacheCleanerRunning(); ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(ArchiveCacheCleanerRunning());
  EXPECT_EQ(Count(), 0);
  // The next entry starts a new cleaner.
  Layer_.SetFreeSpace("/", int64_t{1} << 40);
  ToMemory(P("nested.zip|inner.zip|other.txt"), 15);
  EXPECT_TRUE(ArchiveCacheCleanerRunning());
  EXPECT_EQ(Count(), 1);
}

TEST_F(ArcNested, LockWaitIsBoundedAndNeverSkipped) {
  SetArchiveCacheTimings(0, 50);
  std::mutex M;
  std::condition_variable Cv;
  bool Held = false, Release = false;
  std::thread Other([&] {
    ASSERT_TRUE(LockArchiveCache());
    {
      std::lock_guard<std::mutex> G(M);
      Held = true;
    }
    Cv.notify_all();
    std::unique_lock<std::mutex> G(M);
    Cv.wait(G, [&] { return Release; });
    UnlockArchiveCache();
  });
  {
    std::unique_lock<std::mutex> G(M);
    Cv.wait(G, [&] { return Held; });
  }
  EXPECT_FALSE(LockArchiveCacheForeground());
  // Without the lock the extraction does not go on.
  EXPECT_THROW(ExtractArchivePathToMemory(P("nested.zip|inner.zip|other.txt"), 15, nullptr), EArcError);
  {
    std::lock_guard<std::mutex> G(M);
    Release = true;
  }
  Cv.notify_all();
  Other.join();
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(ToMemory(P("nested.zip|inner.zip|other.txt"), 15), "nothing to see\n");
}

// Several threads may use the foreground lock at once (scanners on workers): the one that lets go first
// leaves the other still marked, so that a trim of the cleaner keeps giving way to it.
TEST_F(ArcNested, ForegroundMarkHoldsWhileAnotherThreadWaits) {
  ASSERT_TRUE(LockArchiveCacheForeground());
  EXPECT_EQ(ArchiveCacheForegroundThreads(), 1);
  bool Got = false;
  int32_t WhileHeld = -1;
  std::thread Other([&] {
    if (!LockArchiveCacheForeground()) return;
    Got = true;
    WhileHeld = ArchiveCacheForegroundThreads();
    UnlockArchiveCacheForeground();
  });
  while (ArchiveCacheForegroundThreads() < 2) std::this_thread::yield();
  UnlockArchiveCacheForeground();
  Other.join();
  EXPECT_TRUE(Got);
  EXPECT_EQ(WhileHeld, 1);
  EXPECT_EQ(ArchiveCacheForegroundThreads(), 0);
  // A wait that times out unmarks its thread too.
  SetArchiveCacheTimings(0, 20);
  ASSERT_TRUE(LockArchiveCache());
  std::thread Late([] { EXPECT_FALSE(LockArchiveCacheForeground()); });
  Late.join();
  UnlockArchiveCache();
  EXPECT_EQ(ArchiveCacheForegroundThreads(), 0);
}

TEST_F(ArcNested, OpenArchiveTakenOverByTheCacheKeepsItsFiles) {
  // The file scanner walks an inner archive it extracted into its outer archiver's folder; a lookup of the
  // same key (a preview) moves that archiver into the cache, which then owns its files.
  TArchiver OuterWalk;
  std::string Folder;
  OuterWalk.MakeTempFolder(0, Folder);
  const std::string File = Folder + "inner.zip";
  const std::string Volume = Folder + "inner.z01";
  ExtractArchivePathToFile(P("nested.zip|inner.zip"), File, false, nullptr, nullptr, nullptr);
  WriteAll(Volume, "x");
  auto Archiver = std::make_shared<TArchiver>();
  Archiver->OpenChecked(File);
  TArchiver* const Opened = Archiver.get();
  const std::string Key = P("nested.zip|inner.zip");
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.SetFreeSpace("/", kLowSpace);
  TArchiveCacheLock Lock;
  RegisterOpenArchive(Key, Archiver, {File, Volume});
  EXPECT_EQ(FindCachedArchive(Key).get(), Opened);
  EXPECT_TRUE(Opened->Cached);
  EXPECT_TRUE(IsArchiveFileCached(File));
  EXPECT_TRUE(IsArchiveFileCached(Volume));
  // Pinned while the scanner walks it: a trim for space does not take it away.
  TrimArchiveCache("", 1000);
  EXPECT_EQ(ArchiveCacheCount(), 1);
  EXPECT_TRUE(UnregisterOpenArchive(Key, Opened));  // the cache's now
  Archiver.reset();                                 // the scanner's share goes; the cache keeps it
  EXPECT_EQ(FindCachedArchive(Key).get(), Opened);
  EXPECT_TRUE(fs::exists(File));
  // Evicted, the cache deletes the archive and the volume it took over.
  TrimArchiveCache("", 1000);
  EXPECT_EQ(ArchiveCacheCount(), 0);
  EXPECT_FALSE(fs::exists(File));
  EXPECT_FALSE(fs::exists(Volume));
}

}  // namespace
