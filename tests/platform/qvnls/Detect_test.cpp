#include <gtest/gtest.h>

#include <string>

#include "platform/qvnls/Qvnls.h"
#include "tests/platform/qvnls/IcuSamples.h"

using namespace qvnls;
using qvnls_test::IcuEncode;
using qvnls_test::kRussianProse;

namespace {

const std::u16string kEnglish = u"The quick brown fox jumps over the lazy dog.\r\n";
const std::u16string kFrench = u"Le café crème à la française coûte très cher, mais il est délicieux.\r\n";

// What the stream routines hand over: detection at the start of a stream, all forms allowed.
constexpr uint32_t kEverything =
    kDetectStartOfStream | kDetectUtf8 | kDetectUtf16 | kDetectEightBit | kDetectCyrillic;

struct Answer {
  uint8_t Charset;
  bool BigEndian;
};

Answer Detect(const std::string& Bytes, uint32_t Options) {
  uint8_t Charset = DetermineCharsetEx(Bytes.data(), static_cast<int32_t>(Bytes.size()), Options);
  return {Charset, (Options & kDetectBigEndian) != 0};
}

class DetectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetSystemCodePages(1252, 850)); }
  void TearDown() override { ResetSystemCodePages(); }
};

}  // namespace

TEST_F(DetectTest, DetectionTable) {
  const std::string BomLe = std::string("\xFF\xFE") + IcuEncode(kRussianProse, "UTF-16LE");
  const std::string BomBe = std::string("\xFE\xFF") + IcuEncode(kRussianProse, "UTF-16BE");
  const struct {
    const char* Name;
    std::string Bytes;
    uint32_t Options;
    uint8_t Charset;
    bool BigEndian;
  } Rows[] = {
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "abc",
       kEverything, 42, false},
      {"UTF-16LE mark", BomLe, kEverything, 43, false},
      {"UTF-16BE mark", BomBe, kEverything, 43, true},
      {"UTF-16LE mark alone", "\xFF\xFE", kDetectStartOfStream, 43, false},
      {"mark outside the start",
       "\xFF\xFE"
       "ab",
       kDetectEightBit, 18, false},
      {"UTF-16LE English", IcuEncode(kEnglish, "UTF-16LE"), kEverything, 43, false},
      {"UTF-16BE English", IcuEncode(kEnglish, "UTF-16BE"), kEverything, 43, true},
      {"UTF-16LE Russian", IcuEncode(kRussianProse, "UTF-16LE"), kEverything, 43, false},
      {"UTF-16BE Russian", IcuEncode(kRussianProse, "UTF-16BE"), kEverything, 43, true},
      {"UTF-16 one character", std::string("A\0", 2), kDetectUtf16, 43, false},
      {"UTF-16 not asked for", IcuEncode(kEnglish, "UTF-16LE"), kDetectUtf8, 0, false},
      {"UTF-8 Russian", IcuEncode(kRussianProse, "UTF-8"), kEverything, 42, false},
      {"UTF-8 French", IcuEncode(kFrench, "UTF-8"), kEverything, 42, false},
      {"UTF-8 cut at the end", IcuEncode(u"été \u20AC", "UTF-8").substr(0, 8), kEverything, 42, false},
      {"UTF-8 not asked for", IcuEncode(kFrench, "UTF-8"), kDetectEightBit, 18, false},
      {"cp1251", IcuEncode(kRussianProse, "cp1251"), kEverything, 17, false},
      {"KOI8-R", IcuEncode(kRussianProse, "KOI8-R"), kEverything, 14, false},
      {"cp866", IcuEncode(kRussianProse, "IBM866"), kEverything, 36, false},
      {"ISO-8859-5", IcuEncode(kRussianProse, "ISO-8859-5"), kEverything, 5, false},
      {"cp1251 without the Cyrillic guess", IcuEncode(kRussianProse, "cp1251"),
       kEverything & ~kDetectCyrillic, 18, false},
      {"Western 8-bit", IcuEncode(kFrench, "cp1252"), kEverything, 18, false},
      {"ASCII", IcuEncode(kEnglish, "US-ASCII"), kEverything, 18, false},
      {"8-bit without an 8-bit answer", IcuEncode(kFrench, "cp1252"), kDetectUtf8 | kDetectUtf16, 0, false},
      {"binary with zero units", std::string("\0\0\0\0ab\0\0\x01\0\0\0", 12), kEverything, 18, false},
      {"empty", "", kEverything, 18, false},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    const Answer Detected = Detect(Row.Bytes, Row.Options);
    EXPECT_EQ(Detected.Charset, Row.Charset);
    EXPECT_EQ(Detected.BigEndian, Row.BigEndian);
    // The same bytes answer the same every time.
    const Answer Again = Detect(Row.Bytes, Row.Options);
    EXPECT_EQ(Again.Charset, Detected.Charset);
    EXPECT_EQ(Again.BigEndian, Detected.BigEndian);
  }
}

TEST_F(DetectTest, DetailWordKeepsTheOptionsAndReportsByteOrder) {
  const std::string Le = IcuEncode(kEnglish, "UTF-16LE");
  uint32_t Options = kDetectUtf16 | kDetectBigEndian | 0x10;  // a stale big-endian bit in
  EXPECT_EQ(DetermineCharsetEx(Le.data(), static_cast<int32_t>(Le.size()), Options), 43);
  EXPECT_EQ(Options, kDetectUtf16 | 0x10u);
  const std::string Be = IcuEncode(kEnglish, "UTF-16BE");
  Options = kDetectUtf16;
  EXPECT_EQ(DetermineCharsetEx(Be.data(), static_cast<int32_t>(Be.size()), Options), 43);
  EXPECT_EQ(Options, kDetectUtf16 | kDetectBigEndian);
  Options = kEverything;
  EXPECT_EQ(DetermineCharsetEx(nullptr, 10, Options), 18);
}

// With a Cyrillic system page the plain 8-bit answer follows it.
TEST_F(DetectTest, EightBitAnswerIsTheSystemWindowsCharset) {
  ASSERT_TRUE(SetSystemCodePages(1251, 866));
  EXPECT_EQ(Detect(IcuEncode(kEnglish, "US-ASCII"), kDetectEightBit).Charset, 17);
}

TEST_F(DetectTest, RussianGuess) {
  const struct {
    const char* IcuName;
    uint32_t Candidates;
    uint8_t Expected;
  } Rows[] = {
      {"cp1251", kRussianKoi8 | kRussianDos, 17},
      {"KOI8-R", kRussianKoi8 | kRussianDos, 14},
      {"IBM866", kRussianKoi8 | kRussianDos, 36},
      {"ISO-8859-5", kRussianKoi8 | kRussianDos | kRussianIso, 5},
      {"KOI8-R", 0, 17},  // not a candidate: the default answer
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.IcuName);
    const std::string Text = IcuEncode(kRussianProse, Row.IcuName);
    EXPECT_TRUE(TextIsPossiblyRussian(Text.data(), static_cast<int32_t>(Text.size())));
    EXPECT_EQ(DetermineRussianCharsetEx(Text.data(), static_cast<int32_t>(Text.size()), Row.Candidates),
              Row.Expected);
  }
  // A short greeting is enough.
  const std::string Hello = IcuEncode(u"Привет, мир!", "KOI8-R");
  EXPECT_EQ(DetermineRussianCharsetEx(Hello.data(), static_cast<int32_t>(Hello.size()), 5), 14);
}

TEST_F(DetectTest, WesternTextIsNotPossiblyRussian) {
  for (const char* IcuName : {"cp1252", "IBM850", "ISO-8859-1"}) {
    const std::string Text = IcuEncode(kFrench, IcuName);
    EXPECT_FALSE(TextIsPossiblyRussian(Text.data(), static_cast<int32_t>(Text.size()))) << IcuName;
  }
  const std::string German = IcuEncode(u"Grüße aus Köln, schöne Straßen und Bäume.", "cp1252");
  EXPECT_FALSE(TextIsPossiblyRussian(German.data(), static_cast<int32_t>(German.size())));
  EXPECT_FALSE(TextIsPossiblyRussian("plain ascii", 11));
  EXPECT_FALSE(TextIsPossiblyRussian(nullptr, 5));
  EXPECT_EQ(DetermineRussianCharsetEx(nullptr, 0, 5), 17);
}
