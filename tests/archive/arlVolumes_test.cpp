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
    Dir_ = arltest::MakeTestDir("arlvolumes");
    Lib_.OnError = arltest::CollectReports(Reports_);
  }
  void TearDown() override { arltest::RemoveTestDir(Dir_); }
  std::string Touch(const std::string& Name, const std::string& Content = "volume") {
    std::ofstream(Dir_ / Name, std::ios::binary) << Content;
    return (Dir_ / Name).string();
  }

  fs::path Dir_;
  TUnBase Lib_;
  std::vector<TReport> Reports_;
};

TEST_F(ArlVolumes, NextVolumeNames) {
  Lib_.VolumeLetter = 'a';
  struct Row {
    const char* File;
    int32_t Number;
    const char* Name;
  };
  const Row Rows[] = {
      {"/d/set.arj", 1, "/d/set.a01"},
      {"/d/set.arj", 12, "/d/set.a12"},
      {"/d/set.arj", 100, "/d/set.100"},
      {"/d/set.arj", 0, "/d/set.a00"},
      {"/d/my.backup.arj", 5, "/d/my.backup.a05"},
      {"/d/backup.2024.a01", 2, "/d/backup.2024.a02"},
      {"/d.x/set", 2, "/d.x/set.a02"},
      {"set.arj", 3, "set.a03"},
      {"", 1, ""},
      {"/d/set.arj", -1, ""},
      {"/d/set.arj", 1000, ""},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(Lib_.GetNextVolumeName(R.File, R.Number), R.Name) << R.File << " " << R.Number;
  Lib_.VolumeLetter = 0;  // no letter set: the digits alone, never a NUL in the name
  EXPECT_EQ(Lib_.GetNextVolumeName("/d/set.cab", 4), "/d/set.04");
}

TEST_F(ArlVolumes, RequestNextVolumeLimitsAndMissingEvent) {
  std::string Name = Touch("set.a01");
  EXPECT_FALSE(Lib_.RequestNextVolume(Name, 1000));
  std::string Empty;
  EXPECT_FALSE(Lib_.RequestNextVolume(Empty, 2));
  EXPECT_FALSE(Lib_.RequestNextVolume(Name, 2));
  ASSERT_EQ(Reports_.size(), 3u);
  EXPECT_EQ(Reports_[0].Code, errMaxVolumes);
  EXPECT_EQ(Reports_[0].Extra, "1000");
  EXPECT_EQ(Reports_[1].Code, errInvalidFileName);
  EXPECT_EQ(Reports_[2].Code, errEventNotAssigned);
  EXPECT_EQ(Reports_[2].Extra, "OnNextVolumeFile");
  EXPECT_EQ(ArlErrorText(Reports_[0].Code), "Maximum volumes 999");

  int Asked = 0;
  Lib_.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) {
    ++Asked;
    EXPECT_TRUE(Request.Exists);
    EXPECT_EQ(Request.VolumeText, "999");
    Request.Cancel = false;
  };
  EXPECT_TRUE(Lib_.RequestNextVolume(Name, 999));
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(Lib_.VolumesOpened, 1);
}

TEST_F(ArlVolumes, AHandlerIsAskedUntilItNamesAFileOrGivesUp) {
  const std::string Real = Touch("elsewhere.a02");
  std::string Name = (Dir_ / "set.a02").string();
  std::vector<bool> Exists;
  Lib_.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) {
    Exists.push_back(Request.Exists);
    Request.Cancel = false;
    // First a name that does not exist either, then the real one.
    Request.FileName = Exists.size() == 1 ? (Dir_ / "still-missing.a02").string() : Real;
  };
  EXPECT_TRUE(Lib_.RequestNextVolume(Name, 2));
  EXPECT_EQ(Name, Real);
  EXPECT_EQ(Exists, (std::vector<bool>{false, false}));

  Lib_.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume&) {};  // leaves Cancel
  std::string Again = (Dir_ / "set.a03").string();
  EXPECT_FALSE(Lib_.RequestNextVolume(Again, 3));
  // A bare name is taken from the current folder.
  std::string Bare = "set.a04";
  std::string Seen;
  Lib_.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) { Seen = Request.FileName; };
  EXPECT_FALSE(Lib_.RequestNextVolume(Bare, 4));
  EXPECT_EQ(Seen, fs::current_path().string() + "/set.a04");
}

// --- Disks
// ---------------------------------------------------------------------------------------------------

TEST_F(ArlVolumes, TheArchiveFolderMustBeReachable) {
  EXPECT_TRUE(Lib_.DiskManager().CheckArchiveDrive(Touch("x.zip")));
  EXPECT_EQ(Lib_.DiskManager().Drive, Dir_.string());
  EXPECT_GT(Lib_.DiskManager().TotalBytes, 0);
  EXPECT_FALSE(Lib_.DiskManager().CheckArchiveDrive((Dir_ / "none" / "x.zip").string()));
  ASSERT_EQ(Reports_.size(), 1u);
  EXPECT_EQ(Reports_[0].Code, errNotAccessible);
  EXPECT_EQ(Reports_[0].Extra, (Dir_ / "none").string());
}

TEST_F(ArlVolumes, ASpannedArchiveWithoutDiskEventsFails) {
  Lib_.SetArchiveFile((kFixtures / "span.zip").string());
  ASSERT_EQ(Lib_.ArcType, atZipMVol);
  bool Cancel = false;
  TDiskSpannObj Disks(Lib_, Cancel);
  std::unique_ptr<TFileStream32> Stream;
  EXPECT_FALSE(Disks.OpenNextDisk(Stream));
  EXPECT_TRUE(Cancel);
  EXPECT_TRUE(Lib_.GetCancel());  // the component shares the flag
  ASSERT_EQ(Reports_.size(), 1u);
  EXPECT_EQ(Reports_[0].Code, errEventNotAssigned);
  EXPECT_EQ(Reports_[0].Extra, "OnGetZipLastDisk");
}

TEST_F(ArlVolumes, SpannedDisksAreWalkedThroughTheDiskEvents) {
  // The last disk holds the end record; the first starts with the spanning mark; the others with data.
  Lib_.SetArchiveFile((kFixtures / "span.zip").string());
  bool Cancelled = false;
  TDiskSpannObj Disks(Lib_, Cancelled);
  Lib_.OnGetZipLastDisk = [](TZipCommon*, bool&) { FAIL() << "the last disk is already there"; };
  std::unique_ptr<TFileStream32> Stream;
  ASSERT_TRUE(Disks.OpenNextDisk(Stream));
  ASSERT_TRUE(Stream);
  EXPECT_EQ(Disks.ArchiveSize, 75);

  // The disk in the drive is not the first (the last disk itself would do: it starts with a central header).
  Lib_.ArchiveFile = Touch("other.z03", "no signature here");
  const std::string First = Touch("first.z01", std::string("PK\x07\x08", 4) + std::string(30, 'f'));
  int AskedFirst = 0;
  Lib_.OnGetZipFirstDisk = [&](TZipCommon* Sender, bool& Cancel) {
    ++AskedFirst;
    Sender->ArchiveFile = First;  // "the user put the first disk in"
    Cancel = false;
  };
  ASSERT_TRUE(Disks.OpenNextDisk(Stream));
  EXPECT_EQ(AskedFirst, 1);
  EXPECT_EQ(Disks.DiskStep, 2);

  std::vector<std::string> Texts;
  Lib_.OnGetZipNextDisk = [&](TZipCommon*, const std::string& Text, bool& Cancel) {
    Texts.push_back(Text);
    Cancel = true;
  };
  Lib_.ArchiveFile = Touch("data.z02", "no signature here");
  EXPECT_FALSE(Disks.OpenNextDisk(Stream));
  EXPECT_FALSE(Stream);
  EXPECT_EQ(Texts, std::vector<std::string>{"2"});
  EXPECT_TRUE(Cancelled);
}

// --- Timer
// -----------------------------------------------------------------------------------------------------

TEST(ArlTimer, PausedTimeIsNotCounted) {
  TarlTimer T;
  EXPECT_FALSE(T.Running());
  T.Start();
  EXPECT_TRUE(T.Running());
  T.Pause();
  T.Pause();  // nested: one question inside a report
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  T.Resume();
  T.Resume();
  T.Stop();
  EXPECT_FALSE(T.Running());
  EXPECT_GE(T.Elapsed, 0.0);
  EXPECT_LT(T.Elapsed, 0.1);
  // A Stop while paused ends the pause first; further calls on a stopped timer change nothing.
  T.Start();
  T.Pause();
  T.Stop();
  const double E = T.Elapsed;
  T.Resume();
  T.Stop();
  EXPECT_EQ(T.Elapsed, E);
}

}  // namespace
