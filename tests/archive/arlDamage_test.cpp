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
  std::vector<std::string> Out;
  std::mt19937 Rng(Seed);
  for (int Round = 0; Round < 24 && !Good.empty(); ++Round) {
    std::string S = Good;
    const int Flips = 1 + Round % 4;
    for (int F = 0; F < Flips; ++F) {
      // Half of the flips go into the first and last 64 bytes, where the headers and end records lie.
      size_t At = Rng() % S.size();
      if (F % 2 == 0)
        At = (Round % 2 == 0) ? At % std::min<size_t>(64, S.size())
                              : S.size() - 1 - At % std::min<size_t>(64, S.size());
      S[At] = static_cast<char>(S[At] ^ (1u << (Rng() % 8)));
    }
    Out.push_back(std::move(S));
  }
  for (size_t Cut : {size_t{1}, size_t{4}, size_t{22}, size_t{100}, Good.size() / 2, Good.size() - 1}) {
    if (Cut < Good.size()) {
      Out.push_back(Good.substr(0, Good.size() - Cut));
      Out.push_back(Good.substr(Cut));
    }
  }
  return Out;
}

class ArlDamage : public ::testing::Test {
 protected:
  void SetUp() override { Dir_ = arltest::MakeTestDir("arldamage"); }
  void TearDown() override { arltest::RemoveTestDir(Dir_); }
  fs::path Dir_;
};

TEST_F(ArlDamage, DetectionSurvivesDamagedFixtures) {
  int Files = 0;
  for (const auto& Entry : fs::directory_iterator(kFixtures)) {
    if (Entry.path().extension() == ".md") continue;
    const std::string Good = ReadFileBytes(Entry.path());
    uint32_t Seed = 1;
    for (const auto& Bad : Damaged(Good, static_cast<uint32_t>(Good.size()))) {
      const fs::path P = Dir_ / ("damaged" + Entry.path().extension().string());
      std::ofstream(P, std::ios::binary | std::ios::trunc) << Bad;
      TRegisterArcLib Lib;
      Lib.SetArchiveFile(P.string());
      EXPECT_LE(Lib.ArcType, kLastArlType);
      EXPECT_GE(Lib.StartOffset, 1) << Entry.path().filename() << " variant " << Seed;
      ++Seed;
    }
    ++Files;
  }
  EXPECT_GE(Files, 15);
}

TEST_F(ArlDamage, RandomExecutableHeadersAreSurvived) {
  // "MZ", a header pointer to a "PE" signature somewhere in the file, and random bytes everywhere else:
  // the section table, the resource directories and the string blocks all point anywhere.
  std::mt19937 Rng(2024);
  for (int Round = 0; Round < 300; ++Round) {
    std::string Exe(64 + Rng() % 4096, '\0');
    for (auto& C : Exe) C = static_cast<char>(Rng() % 4 == 0 ? Rng() : Rng() % 8);
    Exe[0] = 'M';
    Exe[1] = 'Z';
    const uint32_t Pe = 64 + Rng() % static_cast<uint32_t>(Exe.size() - 64);
    for (int I = 0; I < 4; ++I) Exe[0x3C + I] = static_cast<char>((Pe >> (8 * I)) & 0xFF);
    Exe.replace(Pe, std::min<size_t>(4, Exe.size() - Pe), std::string("PE\0\0", 4), 0,
                std::min<size_t>(4, Exe.size() - Pe));
    const fs::path P = Dir_ / "random.exe";
    std::ofstream(P, std::ios::binary | std::ios::trunc) << Exe;
    TRegisterArcLib Lib;
    Lib.SetArchiveFile(P.string());
    EXPECT_LE(Lib.ArcType, kLastArlType);
  }
}

// The raw deflate data of a GZIP member: behind the 10-byte header, a stored name when flag 8 says so.
std::string GzipDeflateData(const std::string& Gz) {
  if (Gz.size() < 18) return "";
  size_t At = 10;
  if (static_cast<uint8_t>(Gz[3]) & 8) At = Gz.find('\0', At) + 1;
  return Gz.substr(At, Gz.size() - At - 8);
}

TEST_F(ArlDamage, InflatingReadersSurviveDamagedMembers) {
  for (const char* Name : {"a.txt.gz", "peer.tgz"}) {
    const std::string Deflated = GzipDeflateData(ReadFileBytes(kFixtures / Name));
    ASSERT_FALSE(Deflated.empty()) << Name;
    for (const auto& Bad : Damaged(Deflated, 7)) {
      std::vector<uint8_t> Out;
      try {
        InflateBuffer(Bad.data(), static_cast<int32_t>(Bad.size()), Out, 0, 1 << 24);
      } catch (const EInflateError&) {
      }
      TMemoryStream32 Src;
      Src.WriteBuffer(Bad.data(), static_cast<int32_t>(Bad.size()));
      Src.SetPosition(0);
      TDecompressStream Z(Src);
      char Buf[4096];
      int64_t Total = 0;
      for (int32_t N; (N = Z.Read(Buf, sizeof Buf)) > 0 && Total < (1 << 24);) Total += N;
    }
  }
}

}  // namespace
