// The cabinet decoder through cabinet.so: single cabinets (stored, MSZIP, LZX), a set of three cabinets
// whose folder runs on through all of them, a set started from a later cabinet, the next-cabinet request
// refused, files that are not cabinets, damaged cabinets, a second cabinet operation from inside a
// notification, and a binding that cannot be made.
#include "archive/cab/arlUnCab.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/cab/arlCabGbls.h"
#include "tests/archive/lzh/DecoderRun.h"

namespace {

namespace fs = std::filesystem;
using archivetest::Bytes;
using archivetest::TRunLog;

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/cab/fixtures/" + Name;
}

uint32_t Crc(const Bytes& B) {
  return static_cast<uint32_t>(::crc32(0, B.data(), static_cast<uInt>(B.size())));
}

// The content make_cab_set.py gives a file: lines of 63 letters and a line feed, cut at Size.
Bytes SetContent(char Letter, size_t Size) {
  Bytes B;
  while (B.size() < Size) {
    B.insert(B.end(), 63, static_cast<uint8_t>(Letter));
    B.push_back('\n');
  }
  B.resize(Size);
  return B;
}

class UnCab : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadCabinetDll("")) << "cabinet.so beside the test program"; }
};

struct TSingleCase {
  const char* File;
  std::vector<std::pair<std::string, size_t>> Items;  // name and size, in the cabinet's order
};

TEST_F(UnCab, ExtractsEveryFileOfSingleCabinetsOfEachMethod) {
  const std::vector<TSingleCase> Cases = {
      {"stored.cab", {{"a.txt", 14}, {"big.txt", 100000}, {"empty.txt", 0}}},
      {"mszip.cab", {{"a.txt", 14}, {"big.txt", 100000}, {"empty.txt", 0}}},
      {"test_read_format_cab_1.cab", {{"empty", 0}, {"dir1/file1", 60}, {"dir2/file2", 78}}},
      {"test_read_format_cab_3.cab", {{"empty", 0}, {"zero", 33000}, {"dir1/file1", 60}, {"dir2/file2", 78}}},
      {"test_read_format_cab_lzx_e8.cab", {{"e8.bin", 30}}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    TUnCab D;
    const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath(C.File));
    EXPECT_TRUE(Log.Errors.empty());
    ASSERT_EQ(Log.Items.size(), C.Items.size());
    for (size_t I = 0; I < C.Items.size(); ++I) {
      EXPECT_EQ(Log.Items[I].Name, C.Items[I].first);
      EXPECT_EQ(Log.Items[I].Data.size(), C.Items[I].second);
      EXPECT_TRUE(Log.Passed(C.Items[I].first));
    }
    EXPECT_EQ(Log.Result, static_cast<int32_t>(C.Items.size()));
  }
  TUnCab D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("mszip.cab"));
  ASSERT_EQ(Log.Items.size(), 3u);
  EXPECT_EQ(std::string(Log.Items[0].Data.begin(), Log.Items[0].Data.end()), "hello cabinet\n");
  EXPECT_EQ(Crc(Log.Items[1].Data), 0xec37dbafu);  // the CRC-32 of the file gcab packed
}

TEST_F(UnCab, ExtractsSelectedFilesToAFolderWithTheirDates) {
  archivetest::TTempFolder Out("uncab_files");
  TUnCab D;
  D.SetArchiveFile(FixturePath("test_read_format_cab_1.cab"));
  D.FileSpec = {"dir2/*.*"};
  D.SetExtractDir(Out.Path.string());
  TRunLog Log;
  archivetest::Record(D, Log);
  EXPECT_EQ(D.ExtractToFiles(), 1);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(fs::file_size(Out.Path / "dir2" / "file2"), 78u);
  EXPECT_FALSE(fs::exists(Out.Path / "dir1"));
  EXPECT_FALSE(fs::exists(Out.Path / "empty"));
}

// The next-cabinet answers of a run: each request is recorded; Accept decides.
struct TVolumes {
  std::vector<std::string> Asked;
  bool Accept = true;
  void Hook(TUnCab& D) {
    D.OnNextVolumeFile = [this](TZipCommon*, TArlNextVolume& Request) {
      Asked.push_back(fs::path(Request.FileName).filename().string());
      Request.Cancel = !(Accept && Request.Exists);
    };
  }
};

TEST_F(UnCab, FollowsASetOfThreeCabinetsFromTheFirst) {
  TUnCab D;
  TVolumes V;
  V.Hook(D);
  const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("set1.cab"));
  EXPECT_EQ(V.Asked, (std::vector<std::string>{"set2.cab", "set3.cab"}));
  EXPECT_TRUE(Log.Errors.empty());
  ASSERT_EQ(Log.Items.size(), 3u);
  EXPECT_EQ(Log.Items[0].Data, SetContent('A', 40000));
  EXPECT_EQ(Log.Items[1].Data, SetContent('B', 30000));
  EXPECT_EQ(Log.Items[2].Data, SetContent('C', 50000));
  EXPECT_EQ(D.NextCabinetName, "set2.cab");
  EXPECT_EQ(D.SetId, 0x1234);
  EXPECT_EQ(D.CabinetNumber, 0);
}

// One file picked out of the set: c.txt, whose data runs through all three cabinets, failed its CRC check
// while the files that span two cabinets came out whole.
TEST_F(UnCab, EachFileOfTheSetAloneComesOutWhole) {
  const std::vector<std::pair<std::string, Bytes>> Cases = {{"a.txt", SetContent('A', 40000)},
                                                            {"b.txt", SetContent('B', 30000)},
                                                            {"c.txt", SetContent('C', 50000)}};
  for (const auto& [Name, Content] : Cases) {
    SCOPED_TRACE(Name);
    TUnCab D;
    TVolumes V;
    V.Hook(D);
    TRunLog Log;
    archivetest::Record(D, Log);
    D.SetArchiveFile(FixturePath("set1.cab"));
    D.FileSpec = {Name};
    TDecompMemoryStream Out;
    EXPECT_EQ(D.ExtractToMemoryStream(&Out), 1);
    EXPECT_TRUE(Log.Errors.empty()) << Log.Errors.front().first << " " << Log.Errors.front().second;
    EXPECT_TRUE(Log.Passed(Name));
    ASSERT_EQ(Out.Records.size(), 1u);
    EXPECT_EQ(
        Bytes(Out.Memory() + Out.Records[0].Start, Out.Memory() + Out.Records[0].Start + Out.Records[0].Size),
        Content);
  }
}

TEST_F(UnCab, RefusingTheNextCabinetEndsTheCopyQuietly) {
  TUnCab D;
  TVolumes V;
  V.Accept = false;
  V.Hook(D);
  const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("set1.cab"));
  EXPECT_EQ(V.Asked, (std::vector<std::string>{"set2.cab"}));
  // a.txt lies wholly in the first cabinet; b.txt cannot be completed and is reported as failed.
  ASSERT_GE(Log.Items.size(), 1u);
  EXPECT_EQ(Log.Items[0].Data, SetContent('A', 40000));
  EXPECT_TRUE(Log.Passed("a.txt"));
  EXPECT_FALSE(Log.Passed("b.txt"));
  EXPECT_FALSE(Log.HasError(errCorruptInput));
}

TEST_F(UnCab, ALaterCabinetSkipsTheFilesBegunBeforeIt) {
  // Both files of set2.cab belong to the folder that set1.cab begins: neither is decoded without it,
  // and no further cabinet is asked for.
  TUnCab D;
  TVolumes V;
  V.Hook(D);
  const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("set2.cab"));
  EXPECT_TRUE(V.Asked.empty());
  EXPECT_TRUE(Log.Items.empty());
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Log.Result, 0);
}

TEST_F(UnCab, WithoutTheNextVolumeEventTheSpanningFileFails) {
  TUnCab D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("set1.cab"));
  EXPECT_TRUE(Log.HasError(errEventNotAssigned));
  EXPECT_TRUE(Log.Passed("a.txt"));
  EXPECT_FALSE(Log.Passed("b.txt"));
}

TEST_F(UnCab, TheCabinetQueryAnswersForCabinetsAndOtherFiles) {
  TUnCab D;
  D.FileSpec = {"*.*"};
  TCabinetInfo Info;
  std::string Next;
  ASSERT_TRUE(D.IsCabinet(FixturePath("set2.cab"), Info, Next));
  EXPECT_EQ(Next, "set3.cab");
  EXPECT_TRUE(Info.HasPrevious);
  EXPECT_TRUE(Info.HasNext);
  EXPECT_EQ(Info.CabinetIndex, 1);
  ASSERT_TRUE(D.IsCabinet(FixturePath("mszip.cab"), Info, Next));
  EXPECT_EQ(Next, "");
  EXPECT_FALSE(Info.HasPrevious);
  EXPECT_EQ(D.TotalUnpacked, 100014);
  EXPECT_FALSE(D.IsCabinet(FixturePath("../make_cab_set.py"), Info, Next));
  EXPECT_THROW(D.IsCabinet(FixturePath("missing.cab"), Info, Next), E_RAISE);

  // A file that is not a cabinet gives a run that does nothing.
  TUnCab Plain;
  TRunLog Log;
  archivetest::Record(Plain, Log);
  Plain.SetArchiveFile(FixturePath("../make_cab_set.py"));
  Plain.ArcType = atCab;  // as if detection had been fooled
  TDecompMemoryStream Out;
  EXPECT_EQ(Plain.ExtractToMemoryStream(&Out), 0);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_TRUE(Out.Records.empty());
}

TEST_F(UnCab, DamagedDataFailsItsFileOnly) {
  // A byte flipped in the MSZIP data of big.txt fails the data block's checksum.
  Bytes Bad = archivetest::Fixture("cab", "mszip.cab");
  Bad[Bad.size() - 100] ^= 0x55;  // in the last data block, which a.txt does not reach
  archivetest::TTempFolder T("uncab_bad");
  const std::string P = (T.Path / "bad.cab").string();
  std::ofstream(P, std::ios::binary).write(reinterpret_cast<const char*>(Bad.data()), Bad.size());
  TUnCab D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, P);
  EXPECT_TRUE(Log.Passed("a.txt"));
  EXPECT_FALSE(Log.Passed("big.txt"));
}

TEST_F(UnCab, ACabinetCutShortIsReportedAsCorrupt) {
  // The header is whole, the file entries are cut: nothing is delivered and the run says why.
  Bytes Cut = archivetest::Fixture("cab", "test_read_format_cab_1.cab");
  Cut.resize(70);
  archivetest::TTempFolder T("uncab_cut");
  const std::string P = (T.Path / "cut.cab").string();
  std::ofstream(P, std::ios::binary).write(reinterpret_cast<const char*>(Cut.data()), Cut.size());
  TUnCab D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, P);
  EXPECT_TRUE(Log.Items.empty());
  EXPECT_TRUE(Log.HasError(errCorruptInput));
}

TEST_F(UnCab, ANotificationHandlerMayRunAnotherCabinet) {
  TUnCab Outer;
  std::vector<size_t> InnerItems;
  Outer.OnBegin = [&](TZipCommon*, TArlBeginItem&) {
    TUnCab Inner;
    const TRunLog L = archivetest::ExtractAllToMemory(Inner, FixturePath("stored.cab"));
    InnerItems.push_back(L.Items.size());
  };
  const TRunLog Log = archivetest::ExtractAllToMemory(Outer, FixturePath("test_read_format_cab_3.cab"));
  ASSERT_EQ(Log.Items.size(), 4u);
  EXPECT_EQ(Log.Items[1].Data, Bytes(33000, 0));
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(InnerItems, (std::vector<size_t>(4, 3)));
}

TEST_F(UnCab, DamagedCabinetsNeitherCrashNorHang) {
  const std::vector<std::string> Names = {"stored.cab",
                                          "mszip.cab",
                                          "set1.cab",
                                          "test_read_format_cab_1.cab",
                                          "test_read_format_cab_lzx_e8.cab",
                                          "test_fuzz.cab",
                                          "test_read_format_cab_lzx_oob.cab",
                                          "test_read_format_cab_multi.p1.cab"};
  const auto Run = [](const std::string& Path) {
    TUnCab D;
    D.OnNextVolumeFile = [](TZipCommon*, TArlNextVolume& Request) { Request.Cancel = true; };
    return archivetest::ExtractAllToMemory(D, Path);
  };
  // Each damaged copy that is still a cabinet ("MSCF") reports the damage unless it changed nothing that is
  // read.
  std::map<std::string, TRunLog> Good;
  std::map<std::string, int> Copy;
  archivetest::ForEachDamagedArchive("cab", Names, [&](const std::string& Path, const std::string& Name) {
    if (!Good.count(Name)) Good[Name] = Run(std::string(SCRYLINE_TEST_DATA) + "/cab/fixtures/" + Name);
    if (!archivetest::KeepsSignature(Path, archivetest::Fixture("cab", Name), 4)) return;
    EXPECT_TRUE(archivetest::ReportedOrUnchanged(Run(Path), Good[Name]))
        << Name << ", damaged copy " << Copy[Name];
    ++Copy[Name];
  });
}

TEST(UnCabBinding, AMissingLibraryIsReportedAndRetriedAfterUnloading) {
  UnloadCabinetDll();
  EXPECT_FALSE(LoadCabinetDll("/nonexistent/cabinet.so"));
  EXPECT_FALSE(LoadCabinetDll(""));  // tried once: the binding is not tried again
  {
    TUnCab D;
    TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("stored.cab"));
    ASSERT_EQ(Log.Errors.size(), 1u);
    EXPECT_EQ(Log.Errors[0].second, errCabinetDll);
    EXPECT_EQ(ArlErrorText(errCabinetDll), "Cabinet.dll not found");
    EXPECT_TRUE(Log.Items.empty());
  }
  // A library without the four entry points is not bound.
  UnloadCabinetDll();
  EXPECT_FALSE(LoadCabinetDll("libz.so.1"));
  UnloadCabinetDll();
  EXPECT_TRUE(LoadCabinetDll(""));
  EXPECT_NE(CabinetDllFileName().find("cabinet.so"), std::string::npos);
}

TEST(StreamCabinetFileHandler, RefusesForeignHandlesAndClosesWhatItOpened) {
  TStreamCabinetFileHandler H;
  int32_t Error = 0;
  uint8_t Buf[4];
  EXPECT_EQ(H.Read(12345, Buf, 4, Error), 0u);
  EXPECT_EQ(Error, -1);
  const intptr_t A = H.Open(FixturePath("stored.cab"), cofBinary, 0, Error);
  ASSERT_NE(A, -1);
  EXPECT_EQ(H.Read(A, Buf, 4, Error), 4u);
  EXPECT_EQ(Error, 0);
  EXPECT_EQ(std::string(Buf, Buf + 4), "MSCF");
  EXPECT_EQ(H.Seek(A, 2, soBeginning, Error), 2);
  EXPECT_EQ(H.Open(FixturePath("missing.cab"), cofBinary, 0, Error), -1);
  EXPECT_NE(Error, 0);
  H.Open(FixturePath("mszip.cab"), cofBinary, 0, Error);
  EXPECT_EQ(H.OpenCount(), 2u);  // the destructor closes both
}

}  // namespace
