// Damages every good fixture of the wrapper tests a little (flipped bytes, a cut tail, a cut head) and runs
// the archiver over each copy: open, list, a pass with items to memory and to files, and every listed item
// by index. Nothing may crash, hang or leak (the sanitizers watch the memory); what is read may be
// anything. Every path must leave the temporary folder empty once the delivered files are deleted.
#include <gtest/gtest.h>

#include <random>

#include "archive/Archiver.h"
#include "tests/archive/wrappers/WrapperTestUtil.h"

namespace {

using namespace wraptest;

std::vector<std::string> Damaged(const std::string& Good, uint32_t Seed) {
  std::vector<std::string> Out;
  std::mt19937 Rng(Seed);
  for (int Round = 0; Round < 20; ++Round) {
    std::string S = Good;
    const int Flips = 1 + Round % 3;
    for (int F = 0; F < Flips; ++F) {
      // Every other flip lands in the first or last 128 bytes, where headers and directories lie.
      size_t At = Rng() % S.size();
      if (F % 2 == 0) {
        const size_t Edge = std::min<size_t>(128, S.size());
        At = Round % 2 == 0 ? At % Edge : S.size() - 1 - At % Edge;
      }
      S[At] = static_cast<char>(S[At] ^ (1u << (Rng() % 8)));
    }
    Out.push_back(std::move(S));
  }
  for (size_t Cut : {size_t{1}, size_t{22}, size_t{200}, Good.size() / 2, Good.size() - 10}) {
    if (Cut < Good.size()) {
      Out.push_back(Good.substr(0, Good.size() - Cut));
      Out.push_back(Good.substr(Cut));
    }
  }
  return Out;
}

class WrapperDamage : public TWrapperTest {
 protected:
  // Runs everything the archiver offers over the archive at Path.
  void Exercise(const std::string& Path) {
    auto A = std::make_unique<TArchiver>();
    std::string Msg;
    if (!A->Open(Path, Msg)) return;
    ++Opened_;
    int Asked = 0;
    A->SetPasswordCallback([&Asked](const std::string&, const std::string&, std::string& Password) {
      Password = "secret";
      return ++Asked < 3;
    });
    A->SetMessageCallback([](const std::string&) {});
    const auto DropFile = [](TArcFileItem& File, bool&) { fs::remove(File.FileName); };
    A->OnFileDone = DropFile;
    int N = 0;
    try {
      A->ExtractAll([](TArcMemoryItem&, bool&) {},
                    [&N](TArcDecideItem& Item) {
                      Item.Decision = (++N % 2 == 0) ? edToMemory : edToFile;
                      return true;
                    });
    } catch (const Exception&) {
    }
    try {
      A->ListItems();
    } catch (const Exception&) {
    }
    for (int32_t I = 0; I < A->ItemCount(); ++I) {
      std::string Name;
      TDateTime Date = 0;
      int32_t Size = 0;
      A->GetItem(I, Name, Date, Size);
      try {
        A->ExtractItemToMemory(I, Size);
      } catch (const EArcError&) {
      }
      try {
        std::string Path;
        A->ExtractItemToTemp(I, Size, Path);
        fs::remove(Path);
      } catch (const EArcError&) {
      }
    }
    A.reset();
    EXPECT_TRUE(Entries(Temp_).empty()) << Path;
  }
  int Opened_ = 0;
};

TEST_F(WrapperDamage, DamagedArchivesNeitherCrashNorLeaveFilesBehind) {
  // vol.arj runs with its second volume beside it.
  Copy("vol.a01");
  uint32_t Seed = 1;
  for (const std::string Name : {"x.zip", "x.jar", "x.arj", "x.lzh", "pw.zip", "vol.arj", "escape.zip",
                                 "sfx.exe", "x.tar", "x.tgz", "x.arc"}) {
    SCOPED_TRACE(Name);
    const std::string Path = (Work_ / Name).string();
    Opened_ = 0;
    for (const std::string& Bad : Damaged(Fixture(Name), Seed++)) {
      WriteAll(Path, Bad);
      Exercise(Path);
    }
    EXPECT_GT(Opened_, 10);  // most copies still open, so the readers behind them run
    fs::remove(Path);
  }
}

}  // namespace
