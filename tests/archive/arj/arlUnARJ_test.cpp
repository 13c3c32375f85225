#include "archive/arj/arlUnARJ.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/qvnls/Qvnls.h"
#include "tests/archive/lzh/DecoderRun.h"
#include "tests/archive/zip/ZipTestUtil.h"

using archivetest::Bytes;
using archivetest::TRunLog;

namespace {

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/arj/fixtures/" + Name;
}
Bytes Content(const std::string& Name) { return archivetest::Fixture("arj", "content/" + Name); }

TRunLog Extract(const std::string& Fixture, std::function<void(TUnArj&)> Setup = {}) {
  TUnArj D;
  if (Setup) Setup(D);
  return archivetest::ExtractAllToMemory(D, FixturePath(Fixture));
}

// A folder entry, a stored file, method-1 files and a method-4 file.
TEST(UnArj, ExtractsEveryMethodWithMatchingCrcs) {
  const TRunLog Log = Extract("basic.arj");
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Log.Result, 4);
  ASSERT_EQ(Log.Items.size(), 4u);
  const std::pair<const char*, const char*> Expected[] = {
      {"sub/m1b.txt", "m1b.txt"}, {"stored.txt", "stored.txt"}, {"m1.txt", "m1.txt"}, {"m4.bin", "m4.bin"}};
  for (const auto& [Item, File] : Expected) {
    const auto* I = Log.Find(Item);
    ASSERT_NE(I, nullptr) << Item;
    EXPECT_TRUE(I->Data == Content(File)) << Item;
    EXPECT_TRUE(Log.Passed(Item)) << Item;
  }
  EXPECT_TRUE(Log.Passed("sub"));  // the folder entry passes its check with nothing written
}

// A name is converted from the OEM code page when the header's host OS is MS-DOS, OS/2 or Windows; names
// from other hosts are kept as stored. The first file header's name "sub/m1b.txt" is made to start with
// byte E1 (a Cyrillic "s" in code page 866) under the host of the case, and its header CRC made right.
TEST(UnArj, NamesFromTheOemCodePageWhenADosHostWroteThem) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  const std::string Converted = "\xD1\x81ub/m1b.txt";
  const std::string Stored = "\xE1ub/m1b.txt";
  constexpr uint8_t kMsDos = 0, kUnix = 2, kOs2 = 5, kNext = 8, kWin95 = 10, kWin32 = 11;
  const std::pair<uint8_t, std::string> Cases[] = {{kMsDos, Converted}, {kOs2, Converted},
                                                   {kWin95, Converted}, {kWin32, Converted},
                                                   {kUnix, Stored},     {kNext, Stored}};
  archivetest::TTempFolder Temp("arj_names");
  const std::string Path = (Temp.Path / "names.arj").string();
  for (const auto& [Host, Name] : Cases) {
    SCOPED_TRACE(testing::Message() << "host " << int{Host});
    Bytes A = archivetest::Fixture("arj", "basic.arj");
    // The main header, then the first file header: id, basic header size, basic header, its CRC-32.
    const size_t File = 4 + (A[2] | A[3] << 8) + 4 + 2;
    const size_t Size = A[File + 2] | A[File + 3] << 8;
    const size_t NameAt = File + 4 + A[File + 4];
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(&A[NameAt])), "sub/m1b.txt");
    A[NameAt] = 0xE1;
    A[File + 4 + 3] = Host;
    const uint32_t Crc = ziptest::RefCrc32(&A[File + 4], Size);
    for (int I = 0; I < 4; ++I) A[File + 4 + Size + I] = static_cast<uint8_t>(Crc >> (8 * I));
    {
      std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
      Out.write(reinterpret_cast<const char*>(A.data()), static_cast<std::streamsize>(A.size()));
    }
    TUnArj D;
    const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
    EXPECT_TRUE(Log.Errors.empty());
    const auto* I = Log.Find(Name);
    ASSERT_NE(I, nullptr);
    EXPECT_TRUE(I->Data == Content("m1b.txt"));
    EXPECT_TRUE(Log.Passed(Name));
  }
  qvnls::ResetSystemCodePages();
}

TEST(UnArj, ExtractsToFilesWithTheFolderEntry) {
  archivetest::TTempFolder Dir("arj_files");
  TUnArj D;
  const TRunLog Log = archivetest::ExtractAllToFolder(D, FixturePath("basic.arj"), Dir.Path);
  EXPECT_EQ(Log.Result, 4);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_TRUE(std::filesystem::is_directory(Dir.Path / "sub"));
  EXPECT_TRUE(archivetest::ReadFile((Dir.Path / "sub/m1b.txt").string()) == Content("m1b.txt"));
  EXPECT_TRUE(archivetest::ReadFile((Dir.Path / "m4.bin").string()) == Content("m4.bin"));
}

// Debian's arj (host UNIX) stores seconds since 1970, not a DOS stamp: m1.txt was stamped
// 2026-12-10 12:43:28 UTC. Read as a DOS stamp the date came out years late.
TEST(UnArj, UnixHostStampsAreSecondsSince1970) {
  archivetest::TTempFolder Dir("arj_dates");
  TUnArj D;
  archivetest::ExtractAllToFolder(D, FixturePath("basic.arj"), Dir.Path);
  struct tm Stamp {};
  Stamp.tm_year = 2026 - 1900, Stamp.tm_mon = 11, Stamp.tm_mday = 10;
  Stamp.tm_hour = 12, Stamp.tm_min = 43, Stamp.tm_sec = 28;
  const auto Expected = static_cast<int64_t>(timegm(&Stamp));
  struct stat Info {};
  ASSERT_EQ(stat((Dir.Path / "m1.txt").c_str(), &Info), 0);
  EXPECT_NEAR(static_cast<double>(Info.st_mtime), static_cast<double>(Expected), 2.0);
}

TEST(UnArj, SelectsByFileSpec) {
  TUnArj D;
  TRunLog Log;
  archivetest::Record(D, Log);
  D.SetArchiveFile(FixturePath("basic.arj"));
  D.FileSpec = {"*.bin"};
  TDecompMemoryStream Out;
  EXPECT_EQ(D.ExtractToMemoryStream(&Out), 1);
  ASSERT_EQ(Out.Records.size(), 1u);
  EXPECT_EQ(Out.Records[0].Name, "m4.bin");
}

// Three garbled entries (methods 1, 4 and 0) added in three runs, so that each has its own password
// modifier; the first entry's length is not a multiple of the password's.
TEST(UnArj, GarbledEntriesTakeOnePasswordForAll) {
  int Asked = 0;
  const TRunLog Log = Extract("garbled.arj", [&](TUnArj& D) {
    D.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
      ++Asked;
      Query.Continue = true;
      Query.Password = "secret";
    };
  });
  EXPECT_EQ(Asked, 1);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Log.Result, 3);
  for (const char* Name : {"a.txt", "b.txt", "c.txt"}) {
    const auto* I = Log.Find(Name);
    ASSERT_NE(I, nullptr) << Name;
    EXPECT_TRUE(I->Data == Content(Name)) << Name;
  }
}

// A wrong first answer fails the CRC; the entry is extracted again, into an emptied output, with the
// second answer, and is listed once.
TEST(UnArj, WrongPasswordIsAskedAgainAndTheRetryCountsOnce) {
  std::vector<std::string> Answers = {"wrong", "secret"};
  size_t Asked = 0;
  const TRunLog Log = Extract("garbled.arj", [&](TUnArj& D) {
    D.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
      Query.Continue = true;
      Query.Password = Answers[std::min(Asked++, Answers.size() - 1)];
    };
  });
  EXPECT_EQ(Asked, 2u);
  EXPECT_EQ(Log.Result, 3);
  ASSERT_EQ(Log.Items.size(), 3u);
  EXPECT_TRUE(Log.Find("a.txt")->Data == Content("a.txt"));
  EXPECT_TRUE(Log.Passed("a.txt"));
}

TEST(UnArj, WithoutAPasswordEveryGarbledEntryIsSkipped) {
  int Asked = 0;
  const TRunLog Log = Extract("garbled.arj", [&](TUnArj& D) {
    D.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
      ++Asked;
      Query.Continue = false;
    };
  });
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(Log.Result, 0);
  EXPECT_TRUE(Log.Items.empty());
  // Each entry left unread is reported by its name.
  const std::vector<std::pair<std::string, int32_t>> EachSkipped = {
      {"a.txt", errInvalidPassword}, {"b.txt", errInvalidPassword}, {"c.txt", errInvalidPassword}};
  EXPECT_EQ(Log.Errors, EachSkipped);

  // Without the event at all: reported once with the event's name, and each entry by its name.
  const TRunLog NoEvent = Extract("garbled.arj");
  EXPECT_EQ(NoEvent.Result, 0);
  EXPECT_TRUE(NoEvent.HasError(errEventNotAssigned));
  for (const auto& E : EachSkipped)
    EXPECT_NE(std::find(NoEvent.Errors.begin(), NoEvent.Errors.end(), E), NoEvent.Errors.end()) << E.first;
}

TEST(UnArj, WrongPasswordsUpToTheLimitLeaveTheEntryUncounted) {
  int Asked = 0;
  const TRunLog Log = Extract("garbled.arj", [&](TUnArj& D) {
    D.PasswordAttempts = 2;
    D.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
      ++Asked;
      Query.Continue = true;
      Query.Password = "nope";
    };
  });
  EXPECT_EQ(Asked, 2);  // then the run's further garbled entries are skipped without asking
  EXPECT_EQ(Log.Result, 0);
  EXPECT_FALSE(Log.Passed("a.txt"));
}

// The end marker is followed by a recovery record; it is not read as an entry.
TEST(UnArj, RecoveryRecordAfterTheEndMarkerIsIgnored) {
  const TRunLog Log = Extract("hk.arj");
  EXPECT_TRUE(Log.Errors.empty());
  ASSERT_EQ(Log.Items.size(), 1u);
  EXPECT_TRUE(Log.Items[0].Data == Content("a.txt"));
}

// The first volume was renamed on disk; the later ones are found by the name in its main header.
TEST(UnArj, ContinuesInVolumesNamedAfterTheStoredName) {
  std::vector<std::string> Asked;
  const TRunLog Log = Extract("renamed.arj", [&](TUnArj& D) {
    D.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) {
      Asked.push_back(std::filesystem::path(Request.FileName).filename().string());
      Request.Cancel = !Request.Exists;
    };
  });
  EXPECT_EQ(Asked, (std::vector<std::string>{"vol.a01", "vol.a02"}));
  EXPECT_TRUE(Log.Errors.empty());
  // The split file arrives part by part, each part checked against its own CRC.
  Bytes Joined;
  for (const auto& I : Log.Items)
    if (I.Name == "vdata.bin") Joined.insert(Joined.end(), I.Data.begin(), I.Data.end());
  EXPECT_TRUE(Joined == Content("vdata.bin"));
  ASSERT_NE(Log.Find("tail.txt"), nullptr);
  EXPECT_TRUE(Log.Find("tail.txt")->Data == Content("tail.txt"));
  for (const auto& E : Log.Ends) EXPECT_TRUE(E.second) << E.first;
}

// Extracted to files, the part in the next volume is added to the file the first part began.
TEST(UnArj, SplitFileIsJoinedWhenExtractedToFiles) {
  archivetest::TTempFolder Dir("arj_volumes");
  TUnArj D;
  D.OnNextVolumeFile = [](TZipCommon*, TArlNextVolume& Request) { Request.Cancel = !Request.Exists; };
  const TRunLog Log = archivetest::ExtractAllToFolder(D, FixturePath("renamed.arj"), Dir.Path);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_TRUE(archivetest::ReadFile((Dir.Path / "vdata.bin").string()) == Content("vdata.bin"));
  EXPECT_TRUE(archivetest::ReadFile((Dir.Path / "tail.txt").string()) == Content("tail.txt"));
}

// One item into a given stream, as the archive wrapper asks for it; a wrong first password empties the
// stream again before the second attempt.
TEST(UnArj, ExtractsOneGarbledItemToAStreamAfterAWrongPassword) {
  TUnArj D;
  TRunLog Log;
  archivetest::Record(D, Log);
  int Asked = 0;
  D.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
    Query.Continue = true;
    Query.Password = Asked++ == 0 ? "wrong" : "secret";
  };
  D.SetArchiveFile(FixturePath("garbled.arj"));
  TMemoryStream32 Out;
  EXPECT_EQ(D.ExtractToStream("b.txt", &Out), 1);
  EXPECT_EQ(Asked, 2);
  const Bytes Got(Out.Memory(), Out.Memory() + Out.GetSize());
  EXPECT_TRUE(Got == Content("b.txt"));
  EXPECT_TRUE(Log.Passed("b.txt"));
}

// The run ends at a refused volume; the item that went on in it is named as lost.
TEST(UnArj, RefusedNextVolumeEndsTheRunAndNamesTheItemLostWithIt) {
  const TRunLog Log = Extract("renamed.arj", [&](TUnArj& D) {
    D.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) { Request.Cancel = true; };
  });
  EXPECT_EQ(Log.Errors, (std::vector<std::pair<std::string, int32_t>>{{"vdata.bin", 0}}));
  EXPECT_EQ(Log.Items.size(), 1u);  // the first part of vdata.bin
}

// Damaged archives: what is read before the fault, and the fault's own message.
TEST(UnArj, HostileArchivesReportTheirFault) {
  struct TCase {
    const char* Fixture;
    int32_t Error;
    std::vector<std::string> Extracted;  // items written whole and passing their CRC
  };
  const TCase Cases[] = {
      {"arj_min_version_4.arj", errVersion, {"sub/m1b.txt", "stored.txt", "m4.bin"}},
      {"arj_header_crc_bad.arj", errBadFileHeader, {"sub/m1b.txt"}},
      {"arj_torn_tail.arj", errReadingFile, {"sub/m1b.txt", "stored.txt", "m1.txt"}},
      {"arj_huffman_bad.arj", errBadHuffmanCode, {"sub/m1b.txt", "stored.txt", "m4.bin"}},
  };
  for (const auto& C : Cases) {
    const TRunLog Log = Extract(C.Fixture);
    EXPECT_TRUE(Log.HasError(C.Error)) << C.Fixture;
    std::vector<std::string> Good;
    for (const auto& I : Log.Items)
      if (Log.Passed(I.Name)) Good.push_back(I.Name);
    EXPECT_EQ(Good, C.Extracted) << C.Fixture;
  }
}

TEST(UnArj, DamagedArchivesNeverCrashOrHang) {
  archivetest::ForEachDamagedArchive("arj", {"basic.arj", "garbled.arj", "hk.arj", "renamed.arj"},
                                     [](const std::string& Path, const std::string& Name) {
                                       TUnArj D;
                                       D.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) {
                                         Query.Continue = true;
                                         Query.Password = "secret";
                                       };
                                       D.OnNextVolumeFile = [](TZipCommon*, TArlNextVolume& Request) {
                                         Request.Cancel = true;
                                       };
                                       const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
                                       for (const auto& I : Log.Items)
                                         EXPECT_LE(I.Data.size(), 64u * 1024) << Name;
                                     });
}

}  // namespace
