// Damages every good fixture of the archive library's base a little (flipped bytes, a cut tail, a cut
// head) and runs detection and the inflating readers over the result. Only that nothing crashes, hangs or
// leaks is checked (the sanitizers watch the memory); the results themselves may be anything.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/arlInflate.h"
#include "archive/arlRegister.h"
#include "archive/arlStreams.h"
#include "tests/TestFiles.h"
#include "tests/archive/arlTestSupport.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arlbase";

// Damaged variants of Good: a few bytes flipped at random places, and cuts at several lengths.
std::vector<std::string> Damaged(const std::string& Good, uint32_t Seed) {
  std::vector<std::string> out;
  std::mt19937 rng(Seed);
  for (int round = 0; round < 24 && !Good.empty(); ++round) {
    std::string s = Good;
    const int flips = 1 + round % 4;
    for (int f = 0; f < flips; ++f) {
      // Half of the flips go into the first and last 64 bytes, where the headers and end records lie.
      size_t at = rng() % s.size();
      if (f % 2 == 0)
        at = (round % 2 == 0) ? at % std::min<size_t>(64, s.size())
                              : s.size() - 1 - at % std::min<size_t>(64, s.size());
      s[at] = static_cast<char>(s[at] ^ (1u << (rng() % 8)));
    }
    out.push_back(std::move(s));
  }
  for (size_t cut : {size_t{1}, size_t{4}, size_t{22}, size_t{100}, Good.size() / 2, Good.size() - 1}) {
    if (cut < Good.size()) {
      out.push_back(Good.substr(0, Good.size() - cut));
      out.push_back(Good.substr(cut));
    }
  }
  return out;
}

class ArlDamage : public ::testing::Test {
 protected:
  void SetUp() override { Dir = arltest::MakeTestDir("arldamage"); }
  void TearDown() override { arltest::RemoveTestDir(Dir); }
  fs::path Dir;
};

TEST_F(ArlDamage, DetectionSurvivesDamagedFixtures) {
  int files = 0;
  for (const auto& entry : fs::directory_iterator(kFixtures)) {
    if (entry.path().extension() == ".md") continue;
    const std::string good = ReadFileBytes(entry.path());
    uint32_t seed = 1;
    for (const auto& bad : Damaged(good, static_cast<uint32_t>(good.size()))) {
      const fs::path p = Dir / ("damaged" + entry.path().extension().string());
      std::ofstream(p, std::ios::binary | std::ios::trunc) << bad;
      TRegisterArcLib lib;
      lib.SetArchiveFile(p.string());
      EXPECT_LE(lib.ArcType, kLastArlType);
      EXPECT_GE(lib.StartOffset, 1) << entry.path().filename() << " variant " << seed;
      ++seed;
    }
    ++files;
  }
  EXPECT_GE(files, 15);
}

TEST_F(ArlDamage, RandomExecutableHeadersAreSurvived) {
  // "MZ", a header pointer to a "PE" signature somewhere in the file, and random bytes everywhere else:
  // the section table, the resource directories and the string blocks all point anywhere.
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    std::string exe(64 + rng() % 4096, '\0');
    for (auto& c : exe) c = static_cast<char>(rng() % 4 == 0 ? rng() : rng() % 8);
    exe[0] = 'M';
    exe[1] = 'Z';
    const uint32_t pe = 64 + rng() % static_cast<uint32_t>(exe.size() - 64);
    for (int i = 0; i < 4; ++i) exe[0x3C + i] = static_cast<char>((pe >> (8 * i)) & 0xFF);
    exe.replace(pe, std::min<size_t>(4, exe.size() - pe), std::string("PE\0\0", 4), 0,
                std::min<size_t>(4, exe.size() - pe));
    const fs::path p = Dir / "random.exe";
    std::ofstream(p, std::ios::binary | std::ios::trunc) << exe;
    TRegisterArcLib lib;
    lib.SetArchiveFile(p.string());
    EXPECT_LE(lib.ArcType, kLastArlType);
  }
}

// The raw deflate data of a GZIP member: behind the 10-byte header, a stored name when flag 8 says so.
std::string GzipDeflateData(const std::string& Gz) {
  if (Gz.size() < 18) return "";
  size_t at = 10;
  if (static_cast<uint8_t>(Gz[3]) & 8) at = Gz.find('\0', at) + 1;
  return Gz.substr(at, Gz.size() - at - 8);
}

TEST_F(ArlDamage, InflatingReadersSurviveDamagedMembers) {
  for (const char* name : {"a.txt.gz", "peer.tgz"}) {
    const std::string deflated = GzipDeflateData(ReadFileBytes(kFixtures / name));
    ASSERT_FALSE(deflated.empty()) << name;
    for (const auto& bad : Damaged(deflated, 7)) {
      std::vector<uint8_t> out;
      try {
        InflateBuffer(bad.data(), static_cast<int32_t>(bad.size()), out, 0, 1 << 24);
      } catch (const EInflateError&) {
      }
      TMemoryStream32 src;
      src.WriteBuffer(bad.data(), static_cast<int32_t>(bad.size()));
      src.SetPosition(0);
      TDecompressStream z(src);
      char buf[4096];
      int64_t total = 0;
      for (int32_t n; (n = z.Read(buf, sizeof buf)) > 0 && total < (1 << 24);) total += n;
    }
  }
}

}  // namespace
