// Archives cut short at every point of a sweep, for each in-process reader (ZIP read by its local headers
// once the central directory is cut away): the items before the cut still
// come out whole, and an archive that loses any item says so. No item may disappear without a report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <tuple>

#include "archive/ace/arlUnAce2.h"
#include "archive/arc/arlUnArc.h"
#include "archive/arj/arlUnARJ.h"
#include "archive/cab/arlUnCab.h"
#include "archive/lha/arlUnLha.h"
#include "archive/tar/arlUnTar.h"
#include "archive/zip/arlUnZip.h"
#include "archive/zoo/arlUnZoo.h"
#include "tests/archive/lzh/DecoderRun.h"

namespace {

using archivetest::Bytes;
using archivetest::TRunLog;

struct TCutCase {
  const char* Folder;
  const char* Fixture;
  std::function<std::unique_ptr<TUnBase>()> Make;
};

template <class T>
std::unique_ptr<TUnBase> Make() {
  return std::make_unique<T>();
}

// The items that came out and passed their check.
std::vector<const TRunLog::TItem*> Whole(const TRunLog& Log) {
  std::vector<const TRunLog::TItem*> Out;
  for (const auto& I : Log.Items)
    if (Log.Passed(I.Name)) Out.push_back(&I);
  return Out;
}

TRunLog RunCase(const TCutCase& C, const std::string& Path) {
  auto D = C.Make();
  return archivetest::ExtractAllToMemory(*D, Path);
}

void PrintTo(const TCutCase& C, std::ostream* Os) { *Os << C.Folder << "/" << C.Fixture; }

class Truncation : public ::testing::TestWithParam<TCutCase> {};

TEST_P(Truncation, EveryItemLostToACutIsReported) {
  const TCutCase& C = GetParam();
  const std::string Source = std::string(SCRYLINE_TEST_DATA) + "/" + C.Folder + "/fixtures/" + C.Fixture;
  const TRunLog Full = RunCase(C, Source);
  ASSERT_TRUE(Full.Errors.empty()) << C.Fixture;
  const auto All = Whole(Full);
  ASSERT_GE(All.size(), 2u) << C.Fixture;

  const Bytes Data = archivetest::Fixture(C.Folder, C.Fixture);
  archivetest::TTempFolder Temp(std::string("cut_") + C.Folder);
  const std::string Path = (Temp.Path / C.Fixture).string();
  const size_t Step = std::max<size_t>(1, Data.size() / 97);
  // The first bytes are the type detection's business: the archive is not opened at all.
  for (size_t Cut = 32; Cut < Data.size(); Cut += Step) {
    {
      std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
      Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Cut));
    }
    const TRunLog Log = RunCase(C, Path);
    const auto Got = Whole(Log);
    // What comes out whole is what the full archive holds under that name.
    for (const auto* I : Got) {
      const auto* F = Full.Find(I->Name);
      ASSERT_NE(F, nullptr) << C.Fixture << " cut at " << Cut << ": " << I->Name;
      EXPECT_EQ(I->Data, F->Data) << C.Fixture << " cut at " << Cut << ": " << I->Name;
    }
    // Each item of the full archive comes out whole, or is named by a report (an error, or an end that
    // fails its check, which the wrapper reports), or falls under a report about the archive itself.
    const bool ArchiveReported =
        std::any_of(Log.Errors.begin(), Log.Errors.end(), [&Path](const auto& E) { return E.first == Path; });
    for (const auto* I : All) {
      const bool Whole =
          std::any_of(Got.begin(), Got.end(), [I](const auto* G) { return G->Name == I->Name; });
      const bool Named = std::any_of(Log.Errors.begin(), Log.Errors.end(),
                                     [I](const auto& E) { return E.first == I->Name; }) ||
                         std::any_of(Log.Ends.begin(), Log.Ends.end(),
                                     [I](const auto& E) { return E.first == I->Name && !E.second; });
      EXPECT_TRUE(Whole || Named || ArchiveReported)
          << C.Fixture << " cut at " << Cut << ": " << I->Name << " lost without a report";
    }
    const bool Reported = !Log.Errors.empty() || std::any_of(Log.Ends.begin(), Log.Ends.end(),
                                                             [](const auto& E) { return !E.second; });
    if (Got.size() < All.size()) {
      EXPECT_TRUE(Reported) << C.Fixture << " cut at " << Cut << " gives " << Got.size() << " of "
                            << All.size() << " items and no report";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Readers, Truncation,
    ::testing::Values(TCutCase{"tar", "basic.tar", Make<TUnTar>}, TCutCase{"zoo", "basic.zoo", Make<TUnZoo>},
                      TCutCase{"arc", "basic.arc", Make<TUnArc>}, TCutCase{"lha", "level0.lzh", Make<TUnLha>},
                      TCutCase{"lha", "level1.lzh", Make<TUnLha>},
                      TCutCase{"lha", "level2.lzh", Make<TUnLha>}, TCutCase{"arj", "basic.arj", Make<TUnArj>},
                      TCutCase{"cab", "mszip.cab", Make<TUnCab>},
                      TCutCase{"zip", "old_methods.zip", Make<TUnZip>},
                      TCutCase{"ace", "zdir.ace", Make<TUnAce>}),
    [](const ::testing::TestParamInfo<TCutCase>& Info) {
      std::string Name = Info.param.Fixture;
      for (char& Ch : Name)
        if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
      return Name;
    });

// A TAR cut inside the header of its third entry: the first two entries come out, and the cut is
// reported with the offset from which nothing could be read.
TEST(TruncatedTar, CutInsideAHeaderNamesTheOffset) {
  const Bytes Data = archivetest::Fixture("tar", "basic.tar");
  archivetest::TTempFolder Temp("cut_tar_header");
  const std::string Path = (Temp.Path / "cut.tar").string();
  // basic.tar: folder at 0, empty.txt at 512, b513.bin at 1024 (two data blocks), a.txt at 2560.
  {
    std::ofstream Out(Path, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Data.data()), 2560 + 300);
  }
  std::vector<std::tuple<std::string, int32_t, std::string>> Reports;
  TUnTar D;
  D.OnError = [&Reports](TZipCommon*, const TArlErrorReport& Error) {
    Reports.emplace_back(Error.FileName, Error.ErrorCode, Error.ExtraInfo1);
  };
  D.SetArchiveFile(Path);
  D.FileSpec = {"*.*"};
  TDecompMemoryStream Out;
  EXPECT_EQ(D.ExtractToMemoryStream(&Out), 2);
  ASSERT_EQ(Out.Records.size(), 2u);
  EXPECT_EQ(Out.Records[0].Name, "dir/empty.txt");
  EXPECT_EQ(Out.Records[1].Name, "dir/b513.bin");
  EXPECT_EQ(Out.Records[1].Size, 513u);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(std::get<0>(Reports[0]), Path);
  EXPECT_EQ(std::get<1>(Reports[0]), errReadingFile);
  EXPECT_EQ(std::get<2>(Reports[0]), "entries from offset 2560 on");
}

}  // namespace
