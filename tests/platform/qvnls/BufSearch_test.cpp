#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"

using namespace qvnls;

namespace {

int32_t NaiveFind(const std::vector<uint8_t>& pattern, const uint8_t* buffer, int32_t n) {
  const int32_t m = static_cast<int32_t>(pattern.size());
  if (m == 0) return -1;
  for (int32_t i = 0; i + m <= n; ++i)
    if (std::memcmp(buffer + i, pattern.data(), m) == 0) return i;
  return -1;
}

int32_t NaiveFindWords(const std::vector<uint8_t>& pattern, const uint8_t* buffer, int32_t chars) {
  const int32_t m = static_cast<int32_t>(pattern.size()) / 2;
  if (m == 0) return -1;
  for (int32_t i = 0; i + m <= chars; ++i)
    if (std::memcmp(buffer + 2 * i, pattern.data(), 2 * m) == 0) return i;
  return -1;
}

}  // namespace

// Random buffers over a tiny alphabet that includes zero bytes, so that near misses, zero bytes inside
// hits and hits at every alignment are common; the buffer starts at every offset 0..3 of a block, so
// both searches also run on odd addresses. The symbols differ in how common the searches take them
// to be, so the filter positions move around the pattern.
TEST(BufSearchTest, AgreesWithNaiveSearchOnRandomBuffers) {
  const uint8_t kSymbols[] = {'e', 0, 'q', ' ', 1};
  std::mt19937 random(12345);
  std::vector<uint8_t> storage(600);
  for (int round = 0; round < 4000; ++round) {
    const int32_t offset = round % 4;
    const int32_t n = static_cast<int32_t>(random() % 300);
    const uint32_t alphabet = 2 + random() % 4;
    for (int32_t i = 0; i < n; ++i) storage[offset + i] = kSymbols[random() % alphabet];
    const uint8_t* buffer = storage.data() + offset;
    const int32_t m = static_cast<int32_t>(1 + random() % 40);
    std::vector<uint8_t> pattern(2 * m);
    // Half the patterns are cut from the buffer so that hits happen; the rest are random.
    if (n >= 2 * m && random() % 2 == 0) {
      std::memcpy(pattern.data(), buffer + random() % (n - 2 * m + 1), 2 * m);
    } else {
      for (auto& b : pattern) b = kSymbols[random() % alphabet];
    }
    std::vector<uint8_t> bytePattern(pattern.begin(), pattern.begin() + m);
    ASSERT_EQ(FindInBuf(bytePattern.data(), m, buffer, n), NaiveFind(bytePattern, buffer, n))
        << "round " << round;
    ASSERT_EQ(FindWordsInBuf(pattern.data(), m, buffer, n / 2), NaiveFindWords(pattern, buffer, n / 2))
        << "round " << round;
    // A pattern prepared once serves every later search, here of each tail of the buffer.
    const TBufPattern bytes = PrepareBufPattern(bytePattern.data(), m);
    const TBufPattern units = PrepareWordsPattern(pattern.data(), m);
    for (int32_t from = 0; from <= n; from += 1 + static_cast<int32_t>(random() % 16)) {
      ASSERT_EQ(FindInBuf(bytes, buffer + from, n - from), NaiveFind(bytePattern, buffer + from, n - from))
          << "round " << round << ", from " << from;
      ASSERT_EQ(FindWordsInBuf(units, buffer + from, (n - from) / 2),
                NaiveFindWords(pattern, buffer + from, (n - from) / 2))
          << "round " << round << ", from " << from;
    }
  }
}

// A unit pattern whose bytes occur at an odd offset before its first real occurrence: the byte-wise
// match at the odd offset is no hit, and the answer counts units.
TEST(BufSearchTest, FindWordsInBufSkipsOddOffsetDecoys) {
  const std::u16string pattern = u"\u4142\u4344";  // bytes 42 41 44 43
  // Bytes: 00 42 41 44 43 00 | 42 41 44 43: the first copy sits at byte 1 (odd), the real unit hit
  // at unit 3.
  const uint8_t buffer[] = {0x00, 0x42, 0x41, 0x44, 0x43, 0x00, 0x42, 0x41, 0x44, 0x43};
  EXPECT_EQ(FindInBuf(pattern.data(), 4, buffer, sizeof buffer), 1);
  EXPECT_EQ(FindWordsInBuf(pattern.data(), 2, buffer, 5), 3);
  // Only the decoy: no hit.
  EXPECT_EQ(FindWordsInBuf(pattern.data(), 2, buffer, 3), -1);
}

TEST(BufSearchTest, EdgeCases) {
  const char text[] = "abcabc";
  struct Case {
    const char* pattern;
    int32_t patternBytes;
    int32_t bufferBytes;
    int32_t expected;
  } cases[] = {
      {"", 0, 6, -1},         // an empty pattern finds nothing
      {"abc", 3, 2, -1},      // a buffer shorter than the pattern
      {"abcabcx", 7, 6, -1},  // a pattern longer than the buffer
      {"abc", 3, 0, -1},      // an empty buffer
      {"abc", -1, 6, -1},     // negative lengths
      {"abc", 3, -5, -1},    {"c", 1, 6, 2},   {"cab", 3, 6, 2}, {"abcabc", 6, 6, 0},  // the whole buffer
      {"bc", 2, 6, 1},       {"ca", 2, 3, -1},  // a hit just past the buffer's end
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindInBuf(c.pattern, c.patternBytes, text, c.bufferBytes), c.expected) << c.pattern;
  EXPECT_EQ(FindInBuf(nullptr, 3, text, 6), -1);
  EXPECT_EQ(FindInBuf("abc", 3, nullptr, 6), -1);
  const std::u16string wide = u"xyzxyz";
  EXPECT_EQ(FindWordsInBuf(u"", 0, wide.data(), 6), -1);
  EXPECT_EQ(FindWordsInBuf(u"zx", 2, wide.data(), 6), 2);
  EXPECT_EQ(FindWordsInBuf(u"zx", 2, wide.data(), 3), -1);
  EXPECT_EQ(FindWordsInBuf(u"xyzxyzx", 7, wide.data(), 6), -1);
}

// Long buffers take the vector loop; the hit sits at the last possible start.
TEST(BufSearchTest, FindsHitAtTheVeryEndOfALongBuffer) {
  std::vector<uint8_t> buffer(1000, 0);
  const uint8_t pattern[] = {0, 0, 7, 0};
  std::memcpy(buffer.data() + 996, pattern, 4);
  EXPECT_EQ(FindInBuf(pattern, 4, buffer.data(), 1000), 996);
  std::u16string wide(500, u'\0');
  wide[499] = u'\x0700';
  const char16_t widePattern[] = {0, 0x0700};
  EXPECT_EQ(FindWordsInBuf(widePattern, 2, wide.data(), 500), 498);
}

TEST(BufSearchTest, ValueScansAndZeroTerminatedTexts) {
  const uint8_t bytes[] = {5, 0, 7, 0, 5, 9};
  EXPECT_EQ(IndexOfValue8(bytes, 0, 5), 1);
  EXPECT_EQ(IndexOfValue8(bytes, 9, 5), 5);
  EXPECT_EQ(IndexOfValue8(bytes, 9, 4), -1);  // the last index bounds the scan
  EXPECT_EQ(IndexOfValue8(bytes, 5, -1), -1);
  EXPECT_EQ(CountEqualToValue8(bytes, 5, 6), 2);
  EXPECT_EQ(CountEqualToValue8(bytes, 0, 6), 2);
  EXPECT_EQ(CountEqualToValue8(bytes, 5, 0), 0);
  // Units 0x0005 0x0700 at byte offset 1 of the block: read from an odd address.
  const uint8_t units[] = {0xFF, 0x05, 0x00, 0x00, 0x07, 0x05, 0x09};
  EXPECT_EQ(IndexOfValue16(units + 1, 0x0700, 2), 1);
  EXPECT_EQ(IndexOfValue16(units + 1, 0x0905, 2), 2);
  EXPECT_EQ(IndexOfValue16(units + 1, 0x0905, 1), -1);

  char16_t text[] = u"ab\u0441d";
  EXPECT_EQ(StrLenW(text), 4);
  EXPECT_EQ(StrLenW(u""), 0);
  EXPECT_EQ(StrLenW(nullptr), 0);
  EXPECT_EQ(StrLScanW(text, u'\u0441', 4), text + 2);
  EXPECT_EQ(StrLScanW(text, u'\u0441', 2), nullptr);
  StrSwapByteOrder(text);
  EXPECT_EQ(text[0], u'\x6100');
  EXPECT_EQ(text[2], u'\x4104');
  EXPECT_EQ(text[4], u'\0');
  StrSwapByteOrder(text);
  EXPECT_EQ(std::u16string(text), u"ab\u0441d");
}
