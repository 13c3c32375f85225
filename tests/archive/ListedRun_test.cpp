// The list-then-extract run that the TAR, LHA, ARC, ZOO and ARJ decoders share: an entry whose header no
// longer reads when it is about to be extracted (the file changed after the walk listed it) is reported by
// its name and the run goes on with the next entry, in every one of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/arc/arlUnArc.h"
#include "archive/arj/arlUnARJ.h"
#include "archive/lha/arlUnLha.h"
#include "archive/tar/arlUnTar.h"
#include "archive/zoo/arlUnZoo.h"
#include "tests/archive/lzh/DecoderRun.h"

namespace {

using archivetest::TRunLog;

using TOffsets = std::vector<std::pair<std::string, int64_t>>;  // item name and header offset

// A decoder that reads its archive from a copy in memory and records each item's name and header offset
// as the item begins; with DamageAt set, it overwrites the bytes there as soon as the first item begins:
// after the walk has listed every entry, before the later ones are read again.
template <class TDecoder>
class TChangedUnderfoot : public TDecoder {
 public:
  TOffsets Offsets;
  int64_t DamageAt = -1;

 protected:
  void ExtractArchive(TStream32* Stream) override {
    TMemoryStream32 Copy;
    Stream->SetPosition(0);
    Copy.CopyFrom(*Stream, nullptr, {}, Stream->Size());
    this->OnBegin = [this, &Copy](TZipCommon*, TArlBeginItem&) {
      Offsets.emplace_back(this->Item.Name, this->Item.HeaderOffset);
      if (DamageAt >= 0 && Offsets.size() == 1)
        for (int64_t I = DamageAt; I < std::min(DamageAt + 4, Copy.GetSize()); ++I) Copy.Memory()[I] ^= 0xFF;
    };
    TDecoder::ExtractArchive(&Copy);
  }
};

template <class TDecoder>
std::function<TRunLog(const std::string&, int64_t, TOffsets&)> Runner() {
  return [](const std::string& Path, int64_t DamageAt, TOffsets& Offsets) {
    TChangedUnderfoot<TDecoder> D;
    D.DamageAt = DamageAt;
    TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
    Offsets = D.Offsets;
    return Log;
  };
}

TEST(ListedRun, AHeaderThatNoLongerReadsIsReportedAndTheRunGoesOn) {
  struct TCase {
    const char* Folder;
    const char* Fixture;
    std::function<TRunLog(const std::string&, int64_t, TOffsets&)> Run;
  };
  const TCase Cases[] = {
      {"tar", "basic.tar", Runner<TUnTar>()}, {"lha", "level2.lzh", Runner<TUnLha>()},
      {"arc", "basic.arc", Runner<TUnArc>()}, {"zoo", "basic.zoo", Runner<TUnZoo>()},
      {"arj", "basic.arj", Runner<TUnArj>()},
  };
  for (const TCase& C : Cases) {
    const std::string Path = std::string(SCRYLINE_TEST_DATA) + "/" + C.Folder + "/fixtures/" + C.Fixture;
    TOffsets Offsets;
    const TRunLog Whole = C.Run(Path, -1, Offsets);
    ASSERT_TRUE(Whole.Errors.empty()) << C.Fixture;
    ASSERT_GE(Whole.Items.size(), 3u) << C.Fixture;
    // The second item written is the one whose header changes.
    const std::string Lost = Whole.Items[1].Name;
    const auto Target =
        std::find_if(Offsets.begin(), Offsets.end(), [&Lost](const auto& O) { return O.first == Lost; });
    ASSERT_NE(Target, Offsets.end()) << C.Fixture;

    TOffsets Ignored;
    const TRunLog Changed = C.Run(Path, Target->second, Ignored);
    // Reported once, by the entry's name ...
    EXPECT_EQ(Changed.Errors, (std::vector<std::pair<std::string, int32_t>>{{Lost, errBadFileHeader}}))
        << C.Fixture;
    // ... and every other entry written as before.
    std::vector<std::string> Expected, Got;
    for (const auto& I : Whole.Items)
      if (I.Name != Lost) Expected.push_back(I.Name);
    for (const auto& I : Changed.Items) {
      Got.push_back(I.Name);
      EXPECT_EQ(I.Data, Whole.Find(I.Name)->Data) << C.Fixture << " " << I.Name;
    }
    EXPECT_EQ(Got, Expected) << C.Fixture;
    EXPECT_EQ(Changed.Ends.size(), Whole.Ends.size() - 1) << C.Fixture;
    for (const auto& E : Changed.Ends) EXPECT_TRUE(E.second) << C.Fixture << " " << E.first;
  }
}

}  // namespace
