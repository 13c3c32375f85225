#include "archive/lha/arlUnLha.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/qvnls/Qvnls.h"
#include "tests/archive/lzh/DecoderRun.h"

using archivetest::Bytes;
using archivetest::TRunLog;

namespace {

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/lha/fixtures/" + Name;
}
Bytes Content(const std::string& Name) { return archivetest::Fixture("lha", "content/" + Name); }

TRunLog Extract(const std::string& Fixture) {
  TUnLha D;
  return archivetest::ExtractAllToMemory(D, FixturePath(Fixture));
}

// The items that were written whole and passed their CRC, in order.
std::vector<std::string> Good(const TRunLog& Log) {
  std::vector<std::string> Out;
  for (const auto& I : Log.Items)
    if (Log.Passed(I.Name)) Out.push_back(I.Name);
  return Out;
}

void ExpectContent(const TRunLog& Log, const std::string& Item, const std::string& File) {
  const auto* I = Log.Find(Item);
  ASSERT_NE(I, nullptr) << Item;
  EXPECT_TRUE(I->Data == Content(File)) << Item;
}

// The same files at header levels 0, 1 and 2 (-lh5- and -lh0- entries, a folder entry and a file in it):
// the same names, bytes and CRCs; level 1 and 2 carry the folder in an extended header.
TEST(UnLha, HeaderLevelsZeroOneAndTwoGiveTheSameItems) {
  for (const char* Fixture : {"level0.lzh", "level1.lzh", "level2.lzh", "lha_level2_long_header.lzh"}) {
    const TRunLog Log = Extract(Fixture);
    EXPECT_TRUE(Log.Errors.empty()) << Fixture;
    EXPECT_EQ(Log.Result, 3) << Fixture;
    EXPECT_EQ(Good(Log), (std::vector<std::string>{"a.txt", "sub/b.bin", "c.txt"})) << Fixture;
    ExpectContent(Log, "a.txt", "a.txt");
    ExpectContent(Log, "sub/b.bin", "sub/b.bin");
    ExpectContent(Log, "c.txt", "c.txt");
  }
}

TEST(UnLha, EveryDecodedMethod) {
  struct TCase {
    const char* Fixture;
    std::vector<std::string> Items;
  };
  const TCase Cases[] = {
      {"stored1.lzh", {"a.txt", "c.txt"}},  // -lh0- at level 1: the extended headers are not data
      {"lh1.lzh", {"a.txt", "b.bin"}},
      {"lh4.lzh", {"a.txt", "b.bin"}},
      {"lh6.lzh", {"a.txt", "c.txt"}},
  };
  for (const auto& C : Cases) {
    const TRunLog Log = Extract(C.Fixture);
    EXPECT_TRUE(Log.Errors.empty()) << C.Fixture;
    EXPECT_EQ(Good(Log), C.Items) << C.Fixture;
    for (const auto& Name : C.Items) ExpectContent(Log, Name, Name == "b.bin" ? "sub/b.bin" : Name);
  }
}

TEST(UnLha, ExtractsToFilesWithTheFolderEntry) {
  archivetest::TTempFolder Dir("lha_files");
  TUnLha D;
  const TRunLog Log = archivetest::ExtractAllToFolder(D, FixturePath("level2.lzh"), Dir.Path);
  EXPECT_EQ(Log.Result, 3);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_TRUE(archivetest::ReadFile((Dir.Path / "sub/b.bin").string()) == Content("sub/b.bin"));
  EXPECT_TRUE(archivetest::ReadFile((Dir.Path / "c.txt").string()) == Content("c.txt"));
}

// An item whose stored name climbs out of the output folder is reported and not written anywhere.
TEST(UnLha, NameLeavingTheOutputFolderIsRefused) {
  archivetest::TTempFolder Dir("lha_escape");
  const auto Out = Dir.Path / "out";
  std::filesystem::create_directories(Out);
  TUnLha D;
  const TRunLog Log = archivetest::ExtractAllToFolder(D, FixturePath("lha_name_escapes.lzh"), Out);
  EXPECT_TRUE(Log.HasError(errInvalidFileName));
  EXPECT_EQ(Log.Result, 2);
  EXPECT_FALSE(std::filesystem::exists(Dir.Path / "cc"));
  EXPECT_TRUE(archivetest::ReadFile((Out / "a.txt").string()) == Content("a.txt"));
}

// A symbolic link is stored as a folder entry named "link|target": the real folders are made, the link
// is not made as a folder.
TEST(UnLha, LinkEntriesAreNotMadeAsFolders) {
  archivetest::TTempFolder Dir("lha_links");
  TUnLha D;
  const TRunLog Log =
      archivetest::ExtractAllToFolder(D, FixturePath("peer/test_read_format_lha_header2.lzh"), Dir.Path);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_TRUE(std::filesystem::is_directory(Dir.Path / "dir2"));
  EXPECT_TRUE(std::filesystem::is_regular_file(Dir.Path / "file1"));
  EXPECT_FALSE(std::filesystem::exists(Dir.Path / "dir2/symlink1|.."));
}

// -lh7- and -lz5- are listed and reported at extraction; -lzs- is not listed; an id that is not of the
// form "-xxx-" is reported too.
// A name is converted from the OEM code page when the header says a DOS, OS/2 or Windows system wrote it
// (level-0 headers carry no system and come from DOS archivers); other systems' names are kept as stored.
// The first entry's name "a.txt" is made "\xA0.txt" (a Cyrillic "a" in code page 866) with the system
// byte of the case, and the header checksum is made right again.
TEST(UnLha, NamesFromTheOemCodePageWhenADosSystemWroteThem) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  const std::string Converted = "\xD0\xB0.txt";
  const std::string Stored = "\xA0.txt";
  struct TCase {
    const char* Fixture;
    int OsId;  // -1: the level-0 header has none
    std::string Name;
  } Cases[] = {
      {"level0.lzh", -1, Converted},  {"level1.lzh", 'M', Converted}, {"level1.lzh", '2', Converted},
      {"level1.lzh", 'w', Converted}, {"level1.lzh", 'W', Converted}, {"level1.lzh", 'U', Stored},
      {"level1.lzh", 'm', Stored},    {"level1.lzh", 0, Stored},
  };
  archivetest::TTempFolder Temp("lha_names");
  const std::string Path = (Temp.Path / "names.lzh").string();
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Fixture << ", system " << C.OsId);
    Bytes A = archivetest::Fixture("lha", C.Fixture);
    const size_t HeaderSize = A[0] + 2u;
    const size_t NameLength = A[21];
    ASSERT_EQ(std::string(A.begin() + 22, A.begin() + 22 + static_cast<long>(NameLength)), "a.txt");
    A[22] = 0xA0;
    if (C.OsId >= 0) A[22 + NameLength + 2] = static_cast<uint8_t>(C.OsId);  // after the name and the CRC
    uint8_t Sum = 0;
    for (size_t I = 2; I < HeaderSize; ++I) Sum = static_cast<uint8_t>(Sum + A[I]);
    A[1] = Sum;
    {
      std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
      Out.write(reinterpret_cast<const char*>(A.data()), static_cast<std::streamsize>(A.size()));
    }
    TUnLha D;
    const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
    EXPECT_TRUE(Log.Errors.empty());
    ASSERT_FALSE(Log.Items.empty());
    EXPECT_EQ(Log.Items.front().Name, C.Name);
    EXPECT_TRUE(Log.Passed(C.Name));
  }
  qvnls::ResetSystemCodePages();
}

TEST(UnLha, ForeignMethodsAreReportedOrLeftOut) {
  const TRunLog Lh7 = Extract("lh7.lzh");
  EXPECT_TRUE(Lh7.HasError(errUnsupportedMethod));
  EXPECT_EQ(Good(Lh7), (std::vector<std::string>{"c.txt"}));

  const TRunLog Log = Extract("lha_foreign_methods.lzh");
  int Unsupported = 0;
  for (const auto& E : Log.Errors) Unsupported += E.second == errUnsupportedMethod;
  EXPECT_EQ(Unsupported, 2);  // a.txt (-lz5-) and sub/b.bin (xlh5-); c.txt (-lzs-) is not listed
  EXPECT_TRUE(Log.Items.empty());
  EXPECT_EQ(Log.Result, 0);
}

TEST(UnLha, HostileArchivesReportTheirFault) {
  struct TCase {
    const char* Fixture;
    int32_t Error;
    std::vector<std::string> Extracted;
  };
  const TCase Cases[] = {
      {"lha_header_checksum_bad.lzh", errBadFileHeader, {"a.txt", "sub/b.bin"}},
      {"lha_torn_tail.lzh", errReadingFile, {"a.txt"}},
      // a.txt's header is passed over by its sane size: the entries after it are read.
      {"lha_ext_header_overflow.lzh", errBadFileHeader, {"sub/b.bin", "c.txt"}},
  };
  for (const auto& C : Cases) {
    const TRunLog Log = Extract(C.Fixture);
    EXPECT_TRUE(Log.HasError(C.Error)) << C.Fixture;
    EXPECT_EQ(Good(Log), C.Extracted) << C.Fixture;
  }
}

// Archives of another implementation's test suite: levels 0 to 2 with -lh0-, -lh5-, -lh6- entries,
// folders and symbolic links, junk after the end, and damaged ones.
TEST(UnLha, PeerArchives) {
  struct TCase {
    const char* Fixture;
    std::vector<std::string> Extracted;
  };
  const std::vector<std::string> Files = {"dir2/file1", "dir2/file2"};
  const TCase Cases[] = {
      {"test_read_format_lha_header0.lzh", {"file1", "file2"}},
      {"test_read_format_lha_header1.lzh", {"file1", "file2"}},
      {"test_read_format_lha_header2.lzh", {"file1", "file2"}},
      {"test_read_format_lha_lh0.lzh", {"file1", "file2"}},
      {"test_read_format_lha_lh6.lzh", {"file1", "file2"}},
      {"test_read_format_lha_withjunk.lzh", {"file1", "file2"}},
      {"test_read_format_lha_bugfix_0.lzh", {"f"}},
  };
  for (const auto& C : Cases) {
    const TRunLog Log = Extract(std::string("peer/") + C.Fixture);
    EXPECT_TRUE(Log.Errors.empty()) << C.Fixture;
    EXPECT_EQ(Good(Log), C.Extracted) << C.Fixture;
  }
  // Damaged or unsupported ones end cleanly with a report.
  for (const char* Bad : {"test_fuzz.lzh", "test_read_format_lha_oversize_header.lzh",
                          "test_read_format_lha_header3.lzh", "test_read_format_lha_lh7.lzh"}) {
    const TRunLog Log = Extract(std::string("peer/") + Bad);
    EXPECT_FALSE(Log.Errors.empty()) << Bad;
  }
}

TEST(UnLha, DamagedArchivesNeverCrashOrHang) {
  archivetest::ForEachDamagedArchive("lha",
                                     {"level0.lzh", "level1.lzh", "level2.lzh", "lh1.lzh", "lh4.lzh",
                                      "lh6.lzh", "stored1.lzh", "lha_level2_long_header.lzh"},
                                     [](const std::string& Path, const std::string& Name) {
                                       TUnLha D;
                                       const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
                                       for (const auto& I : Log.Items)
                                         EXPECT_LE(I.Data.size(), 64u * 1024) << Name;
                                     });
}

// A header that fails its checks is reported by its offset; the walk passes over it by its size fields when
// they are sane and ends where they are not. The peer archive holds the same six files and links with
// headers of levels 0, 1 and 2, then level-3 headers, the first of which claims 4 GB: the walk reads the
// 18 entries (lhasa lists the same) and ends there with one report naming the offset.
TEST(UnLha, ABadHeaderIsPassedOverByASaneSize) {
  const TRunLog Oversize = Extract("peer/test_read_format_lha_oversize_header.lzh");
  EXPECT_EQ(Good(Oversize), (std::vector<std::string>{"file1", "file2", "file1", "file2", "file1", "file2"}));
  ASSERT_EQ(Oversize.Errors.size(), 1u);
  EXPECT_EQ(Oversize.Errors[0].second, errBadFileHeader);

  // level2.lzh with a.txt's header damaged (its CRC no longer agrees) but its size intact: a.txt is
  // reported and the two entries after it are read.
  Bytes Level2 = archivetest::Fixture("lha", "level2.lzh");
  ASSERT_GT(Level2.size(), 30u);
  Level2[22] ^= 0xFF;  // the data CRC field, which the header CRC covers
  archivetest::TTempFolder Temp("lha_bad_first");
  const std::string Path = (Temp.Path / "bad.lzh").string();
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Level2.data()), static_cast<std::streamsize>(Level2.size()));
  TUnLha D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
  EXPECT_EQ(Good(Log), (std::vector<std::string>{"sub/b.bin", "c.txt"}));
  EXPECT_EQ(Log.Errors.size(), 1u);
  EXPECT_TRUE(Log.HasError(errBadFileHeader));
}

}  // namespace
