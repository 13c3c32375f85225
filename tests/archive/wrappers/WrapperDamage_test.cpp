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
  std::vector<std::string> out;
  std::mt19937 rng(Seed);
  for (int round = 0; round < 20; ++round) {
    std::string s = Good;
    const int flips = 1 + round % 3;
    for (int f = 0; f < flips; ++f) {
      // Every other flip lands in the first or last 128 bytes, where headers and directories lie.
      size_t at = rng() % s.size();
      if (f % 2 == 0) {
        const size_t edge = std::min<size_t>(128, s.size());
        at = round % 2 == 0 ? at % edge : s.size() - 1 - at % edge;
      }
      s[at] = static_cast<char>(s[at] ^ (1u << (rng() % 8)));
    }
    out.push_back(std::move(s));
  }
  for (size_t cut : {size_t{1}, size_t{22}, size_t{200}, Good.size() / 2, Good.size() - 10}) {
    if (cut < Good.size()) {
      out.push_back(Good.substr(0, Good.size() - cut));
      out.push_back(Good.substr(cut));
    }
  }
  return out;
}

class WrapperDamage : public TWrapperTest {
 protected:
  // Runs everything the archiver offers over the archive at Path.
  void Exercise(const std::string& Path) {
    auto a = std::make_unique<TArchiver>();
    std::string msg;
    if (!a->Open(Path, msg)) return;
    ++Opened;
    int asked = 0;
    a->SetPasswordCallback([&asked](const std::string&, const std::string&, std::string& Password) {
      Password = "secret";
      return ++asked < 3;
    });
    a->SetMessageCallback([](const std::string&) {});
    const auto dropFile = [](TArcFileItem& File, bool&) { fs::remove(File.FileName); };
    a->OnFileDone = dropFile;
    int n = 0;
    try {
      a->ExtractAll([](TArcMemoryItem&, bool&) {},
                    [&n](TArcDecideItem& Item) {
                      Item.Decision = (++n % 2 == 0) ? edToMemory : edToFile;
                      return true;
                    });
    } catch (const Exception&) {
    }
    try {
      a->ListItems();
    } catch (const Exception&) {
    }
    for (int32_t i = 0; i < a->ItemCount(); ++i) {
      std::string name;
      TDateTime date = 0;
      int32_t size = 0;
      a->GetItem(i, name, date, size);
      try {
        a->ExtractItemToMemory(i, size);
      } catch (const EArcError&) {
      }
      try {
        std::string path;
        a->ExtractItemToTemp(i, size, path);
        fs::remove(path);
      } catch (const EArcError&) {
      }
    }
    a.reset();
    EXPECT_TRUE(Entries(Temp).empty()) << Path;
  }
  int Opened = 0;
};

TEST_F(WrapperDamage, DamagedArchivesNeitherCrashNorLeaveFilesBehind) {
  // vol.arj runs with its second volume beside it.
  Copy("vol.a01");
  uint32_t seed = 1;
  for (const std::string name : {"x.zip", "x.jar", "x.arj", "x.lzh", "pw.zip", "vol.arj", "escape.zip",
                                 "sfx.exe", "x.tar", "x.tgz", "x.arc"}) {
    SCOPED_TRACE(name);
    const std::string path = (Work / name).string();
    Opened = 0;
    for (const std::string& bad : Damaged(Fixture(name), seed++)) {
      WriteAll(path, bad);
      Exercise(path);
    }
    EXPECT_GT(Opened, 10);  // most copies still open, so the readers behind them run
    fs::remove(path);
  }
}

}  // namespace
