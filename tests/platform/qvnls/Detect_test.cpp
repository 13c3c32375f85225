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
  uint8_t charset;
  bool bigEndian;
};

Answer Detect(const std::string& bytes, uint32_t options) {
  uint8_t charset = DetermineCharsetEx(bytes.data(), static_cast<int32_t>(bytes.size()), options);
  return {charset, (options & kDetectBigEndian) != 0};
}

class DetectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetSystemCodePages(1252, 850)); }
  void TearDown() override { ResetSystemCodePages(); }
};

}  // namespace

TEST_F(DetectTest, DetectionTable) {
  const std::string bomLe = std::string("\xFF\xFE") + IcuEncode(kRussianProse, "UTF-16LE");
  const std::string bomBe = std::string("\xFE\xFF") + IcuEncode(kRussianProse, "UTF-16BE");
  const struct {
    const char* name;
    std::string bytes;
    uint32_t options;
    uint8_t charset;
    bool bigEndian;
  } rows[] = {
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "abc",
       kEverything, 42, false},
      {"UTF-16LE mark", bomLe, kEverything, 43, false},
      {"UTF-16BE mark", bomBe, kEverything, 43, true},
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
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Answer answer = Detect(row.bytes, row.options);
    EXPECT_EQ(answer.charset, row.charset);
    EXPECT_EQ(answer.bigEndian, row.bigEndian);
    // The same bytes answer the same every time.
    const Answer again = Detect(row.bytes, row.options);
    EXPECT_EQ(again.charset, answer.charset);
    EXPECT_EQ(again.bigEndian, answer.bigEndian);
  }
}

TEST_F(DetectTest, DetailWordKeepsTheOptionsAndReportsByteOrder) {
  const std::string le = IcuEncode(kEnglish, "UTF-16LE");
  uint32_t options = kDetectUtf16 | kDetectBigEndian | 0x10;  // a stale big-endian bit in
  EXPECT_EQ(DetermineCharsetEx(le.data(), static_cast<int32_t>(le.size()), options), 43);
  EXPECT_EQ(options, kDetectUtf16 | 0x10u);
  const std::string be = IcuEncode(kEnglish, "UTF-16BE");
  options = kDetectUtf16;
  EXPECT_EQ(DetermineCharsetEx(be.data(), static_cast<int32_t>(be.size()), options), 43);
  EXPECT_EQ(options, kDetectUtf16 | kDetectBigEndian);
  options = kEverything;
  EXPECT_EQ(DetermineCharsetEx(nullptr, 10, options), 18);
}

// With a Cyrillic system page the plain 8-bit answer follows it.
TEST_F(DetectTest, EightBitAnswerIsTheSystemWindowsCharset) {
  ASSERT_TRUE(SetSystemCodePages(1251, 866));
  EXPECT_EQ(Detect(IcuEncode(kEnglish, "US-ASCII"), kDetectEightBit).charset, 17);
}

TEST_F(DetectTest, RussianGuess) {
  const struct {
    const char* icuName;
    uint32_t candidates;
    uint8_t expected;
  } rows[] = {
      {"cp1251", kRussianKoi8 | kRussianDos, 17},
      {"KOI8-R", kRussianKoi8 | kRussianDos, 14},
      {"IBM866", kRussianKoi8 | kRussianDos, 36},
      {"ISO-8859-5", kRussianKoi8 | kRussianDos | kRussianIso, 5},
      {"KOI8-R", 0, 17},  // not a candidate: the default answer
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.icuName);
    const std::string text = IcuEncode(kRussianProse, row.icuName);
    EXPECT_TRUE(TextIsPossiblyRussian(text.data(), static_cast<int32_t>(text.size())));
    EXPECT_EQ(DetermineRussianCharsetEx(text.data(), static_cast<int32_t>(text.size()), row.candidates),
              row.expected);
  }
  // A short greeting is enough.
  const std::string hello = IcuEncode(u"Привет, мир!", "KOI8-R");
  EXPECT_EQ(DetermineRussianCharsetEx(hello.data(), static_cast<int32_t>(hello.size()), 5), 14);
}

TEST_F(DetectTest, WesternTextIsNotPossiblyRussian) {
  for (const char* icuName : {"cp1252", "IBM850", "ISO-8859-1"}) {
    const std::string text = IcuEncode(kFrench, icuName);
    EXPECT_FALSE(TextIsPossiblyRussian(text.data(), static_cast<int32_t>(text.size()))) << icuName;
  }
  const std::string german = IcuEncode(u"Grüße aus Köln, schöne Straßen und Bäume.", "cp1252");
  EXPECT_FALSE(TextIsPossiblyRussian(german.data(), static_cast<int32_t>(german.size())));
  EXPECT_FALSE(TextIsPossiblyRussian("plain ascii", 11));
  EXPECT_FALSE(TextIsPossiblyRussian(nullptr, 5));
  EXPECT_EQ(DetermineRussianCharsetEx(nullptr, 0, 5), 17);
}
