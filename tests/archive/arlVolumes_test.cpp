#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/arlBase.h"
#include "archive/arlDisks.h"
#include "archive/arlTimer.h"
#include "tests/archive/arlTestSupport.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arlbase";

using arltest::TReport;

class ArlVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = arltest::MakeTestDir("arlvolumes");
    Lib.OnError = arltest::CollectReports(Reports);
  }
  void TearDown() override { arltest::RemoveTestDir(Dir); }
  std::string Touch(const std::string& Name, const std::string& Content = "volume") {
    std::ofstream(Dir / Name, std::ios::binary) << Content;
    return (Dir / Name).string();
  }

  fs::path Dir;
  TUnBase Lib;
  std::vector<TReport> Reports;
};

TEST_F(ArlVolumes, NextVolumeNames) {
  Lib.VolumeLetter = 'a';
  struct Row {
    const char* File;
    int32_t Number;
    const char* Name;
  };
  const Row rows[] = {
      {"/d/set.arj", 1, "/d/set.a01"},
      {"/d/set.arj", 12, "/d/set.a12"},
      {"/d/set.arj", 100, "/d/set.100"},
      {"/d/set.arj", 0, "/d/set.a00"},
      {"/d/my.backup.arj", 5, "/d/my.a05"},
      {"/d.x/set", 2, "/d.x/set.a02"},
      {"set.arj", 3, "set.a03"},
      {"", 1, ""},
      {"/d/set.arj", -1, ""},
      {"/d/set.arj", 1000, ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Lib.GetNextVolumeName(r.File, r.Number), r.Name) << r.File << " " << r.Number;
  Lib.VolumeLetter = 0;  // no letter set: the digits alone, never a NUL in the name
  EXPECT_EQ(Lib.GetNextVolumeName("/d/set.cab", 4), "/d/set.04");
}

TEST_F(ArlVolumes, RequestNextVolumeLimitsAndMissingEvent) {
  std::string name = Touch("set.a01");
  EXPECT_FALSE(Lib.RequestNextVolume(name, 1000));
  std::string empty;
  EXPECT_FALSE(Lib.RequestNextVolume(empty, 2));
  EXPECT_FALSE(Lib.RequestNextVolume(name, 2));
  ASSERT_EQ(Reports.size(), 3u);
  EXPECT_EQ(Reports[0].Code, errMaxVolumes);
  EXPECT_EQ(Reports[0].Extra, "1000");
  EXPECT_EQ(Reports[1].Code, errInvalidFileName);
  EXPECT_EQ(Reports[2].Code, errEventNotAssigned);
  EXPECT_EQ(Reports[2].Extra, "OnNextVolumeFile");
  EXPECT_EQ(ArlErrorText(Reports[0].Code), "Maximum volumes 999");

  int asked = 0;
  Lib.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) {
    ++asked;
    EXPECT_TRUE(Request.Exists);
    EXPECT_EQ(Request.VolumeText, "999");
    Request.Cancel = false;
  };
  EXPECT_TRUE(Lib.RequestNextVolume(name, 999));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Lib.VolumesOpened, 1);
}

TEST_F(ArlVolumes, AHandlerIsAskedUntilItNamesAFileOrGivesUp) {
  const std::string real = Touch("elsewhere.a02");
  std::string name = (Dir / "set.a02").string();
  std::vector<bool> exists;
  Lib.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) {
    exists.push_back(Request.Exists);
    Request.Cancel = false;
    // First a name that does not exist either, then the real one.
    Request.FileName = exists.size() == 1 ? (Dir / "still-missing.a02").string() : real;
  };
  EXPECT_TRUE(Lib.RequestNextVolume(name, 2));
  EXPECT_EQ(name, real);
  EXPECT_EQ(exists, (std::vector<bool>{false, false}));

  Lib.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume&) {};  // leaves Cancel
  std::string again = (Dir / "set.a03").string();
  EXPECT_FALSE(Lib.RequestNextVolume(again, 3));
  // A bare name is taken from the current folder.
  std::string bare = "set.a04";
  std::string seen;
  Lib.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) { seen = Request.FileName; };
  EXPECT_FALSE(Lib.RequestNextVolume(bare, 4));
  EXPECT_EQ(seen, fs::current_path().string() + "/set.a04");
}

// --- Disks
// ---------------------------------------------------------------------------------------------------

TEST_F(ArlVolumes, TheArchiveFolderMustBeReachable) {
  EXPECT_TRUE(Lib.DiskManager().CheckArchiveDrive(Touch("x.zip")));
  EXPECT_EQ(Lib.DiskManager().Drive, Dir.string());
  EXPECT_GT(Lib.DiskManager().TotalBytes, 0);
  EXPECT_FALSE(Lib.DiskManager().CheckArchiveDrive((Dir / "none" / "x.zip").string()));
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Code, errNotAccessible);
  EXPECT_EQ(Reports[0].Extra, (Dir / "none").string());
}

TEST_F(ArlVolumes, ASpannedArchiveWithoutDiskEventsFails) {
  Lib.SetArchiveFile((kFixtures / "span.zip").string());
  ASSERT_EQ(Lib.ArcType, atZipMVol);
  bool cancel = false;
  TDiskSpannObj disks(Lib, cancel);
  std::unique_ptr<TFileStream32> stream;
  EXPECT_FALSE(disks.OpenNextDisk(stream));
  EXPECT_TRUE(cancel);
  EXPECT_TRUE(Lib.GetCancel());  // the component shares the flag
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Code, errEventNotAssigned);
  EXPECT_EQ(Reports[0].Extra, "OnGetZipLastDisk");
}

TEST_F(ArlVolumes, SpannedDisksAreWalkedThroughTheDiskEvents) {
  // The last disk holds the end record; the first starts with the spanning mark; the others with data.
  Lib.SetArchiveFile((kFixtures / "span.zip").string());
  bool cancel = false;
  TDiskSpannObj disks(Lib, cancel);
  Lib.OnGetZipLastDisk = [](TZipCommon*, bool&) { FAIL() << "the last disk is already there"; };
  std::unique_ptr<TFileStream32> stream;
  ASSERT_TRUE(disks.OpenNextDisk(stream));
  ASSERT_TRUE(stream);
  EXPECT_EQ(disks.ArchiveSize, 75);

  // The disk in the drive is not the first (the last disk itself would do: it starts with a central header).
  Lib.ArchiveFile = Touch("other.z03", "no signature here");
  const std::string first = Touch("first.z01", std::string("PK\x07\x08", 4) + std::string(30, 'f'));
  int askedFirst = 0;
  Lib.OnGetZipFirstDisk = [&](TZipCommon* Sender, bool& Cancel) {
    ++askedFirst;
    Sender->ArchiveFile = first;  // "the user put the first disk in"
    Cancel = false;
  };
  ASSERT_TRUE(disks.OpenNextDisk(stream));
  EXPECT_EQ(askedFirst, 1);
  EXPECT_EQ(disks.DiskStep, 2);

  std::vector<std::string> texts;
  Lib.OnGetZipNextDisk = [&](TZipCommon*, const std::string& Text, bool& Cancel) {
    texts.push_back(Text);
    Cancel = true;
  };
  Lib.ArchiveFile = Touch("data.z02", "no signature here");
  EXPECT_FALSE(disks.OpenNextDisk(stream));
  EXPECT_FALSE(stream);
  EXPECT_EQ(texts, std::vector<std::string>{"2"});
  EXPECT_TRUE(cancel);
}

// --- Timer
// -----------------------------------------------------------------------------------------------------

TEST(ArlTimer, PausedTimeIsNotCounted) {
  TarlTimer t;
  EXPECT_FALSE(t.Running());
  t.Start();
  EXPECT_TRUE(t.Running());
  t.Pause();
  t.Pause();  // nested: one question inside a report
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  t.Resume();
  t.Resume();
  t.Stop();
  EXPECT_FALSE(t.Running());
  EXPECT_GE(t.Elapsed, 0.0);
  EXPECT_LT(t.Elapsed, 0.1);
  // A Stop while paused ends the pause first; further calls on a stopped timer change nothing.
  t.Start();
  t.Pause();
  t.Stop();
  const double e = t.Elapsed;
  t.Resume();
  t.Stop();
  EXPECT_EQ(t.Elapsed, e);
}

}  // namespace
