#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"

using namespace qvnls;

namespace {

int32_t NaiveFind(const std::vector<uint8_t>& Pattern, const uint8_t* Buffer, int32_t N) {
  const int32_t M = static_cast<int32_t>(Pattern.size());
  if (M == 0) return -1;
  for (int32_t I = 0; I + M <= N; ++I)
    if (std::memcmp(Buffer + I, Pattern.data(), M) == 0) return I;
  return -1;
}

int32_t NaiveFindWords(const std::vector<uint8_t>& Pattern, const uint8_t* Buffer, int32_t Chars) {
  const int32_t M = static_cast<int32_t>(Pattern.size()) / 2;
  if (M == 0) return -1;
  for (int32_t I = 0; I + M <= Chars; ++I)
    if (std::memcmp(Buffer + 2 * I, Pattern.data(), 2 * M) == 0) return I;
  return -1;
}

}  // namespace

// Random buffers over a tiny alphabet that includes zero bytes, so that near misses, zero bytes inside
// hits and hits at every alignment are common; the buffer starts at every offset 0..3 of a block, so
// both searches also run on odd addresses. The symbols differ in how common the searches take them
// to be, so the filter positions move around the pattern.
TEST(BufSearchTest, AgreesWithNaiveSearchOnRandomBuffers) {
  const uint8_t kSymbols[] = {'e', 0, 'q', ' ', 1};
  std::mt19937 Random(12345);
  std::vector<uint8_t> Storage(600);
  for (int Round = 0; Round < 4000; ++Round) {
    const int32_t Offset = Round % 4;
    const int32_t N = static_cast<int32_t>(Random() % 300);
    const uint32_t Alphabet = 2 + Random() % 4;
    for (int32_t I = 0; I < N; ++I) Storage[Offset + I] = kSymbols[Random() % Alphabet];
    const uint8_t* Buffer = Storage.data() + Offset;
    const int32_t M = static_cast<int32_t>(1 + Random() % 40);
    std::vector<uint8_t> Pattern(2 * M);
    // Half the patterns are cut from the buffer so that hits happen; the rest are random.
    if (N >= 2 * M && Random() % 2 == 0) {
      std::memcpy(Pattern.data(), Buffer + Random() % (N - 2 * M + 1), 2 * M);
    } else {
      for (auto& B : Pattern) B = kSymbols[Random() % Alphabet];
    }
    std::vector<uint8_t> BytePattern(Pattern.begin(), Pattern.begin() + M);
    ASSERT_EQ(FindInBuf(BytePattern.data(), M, Buffer, N), NaiveFind(BytePattern, Buffer, N))
        << "round " << Round;
    ASSERT_EQ(FindWordsInBuf(Pattern.data(), M, Buffer, N / 2), NaiveFindWords(Pattern, Buffer, N / 2))
        << "round " << Round;
    // A pattern prepared once serves every later search, here of each tail of the buffer.
    const TBufPattern Bytes = PrepareBufPattern(BytePattern.data(), M);
    const TBufPattern Units = PrepareWordsPattern(Pattern.data(), M);
    for (int32_t From = 0; From <= N; From += 1 + static_cast<int32_t>(Random() % 16)) {
      ASSERT_EQ(FindInBuf(Bytes, Buffer + From, N - From), NaiveFind(BytePattern, Buffer + From, N - From))
          << "round " << Round << ", from " << From;
      ASSERT_EQ(FindWordsInBuf(Units, Buffer + From, (N - From) / 2),
                NaiveFindWords(Pattern, Buffer + From, (N - From) / 2))
          << "round " << Round << ", from " << From;
    }
  }
}

// A unit pattern whose bytes occur at an odd offset before its first real occurrence: the byte-wise
// match at the odd offset is no hit, and the answer counts units.
TEST(BufSearchTest, FindWordsInBufSkipsOddOffsetDecoys) {
  const std::u16string Pattern = u"\u4142\u4344";  // bytes 42 41 44 43
  // Bytes: 00 42 41 44 43 00 | 42 41 44 43: the first copy sits at byte 1 (odd), the real unit hit
  // at unit 3.
  const uint8_t Buffer[] = {0x00, 0x42, 0x41, 0x44, 0x43, 0x00, 0x42, 0x41, 0x44, 0x43};
  EXPECT_EQ(FindInBuf(Pattern.data(), 4, Buffer, sizeof Buffer), 1);
  EXPECT_EQ(FindWordsInBuf(Pattern.data(), 2, Buffer, 5), 3);
  // Only the decoy: no hit.
  EXPECT_EQ(FindWordsInBuf(Pattern.data(), 2, Buffer, 3), -1);
}

TEST(BufSearchTest, EdgeCases) {
  const char Text[] = "abcabc";
  struct Case {
    const char* Pattern;
    int32_t PatternBytes;
    int32_t BufferBytes;
    int32_t Expected;
  } Cases[] = {
      {"", 0, 6, -1},         // an empty pattern finds nothing
      {"abc", 3, 2, -1},      // a buffer shorter than the pattern
      {"abcabcx", 7, 6, -1},  // a pattern longer than the buffer
      {"abc", 3, 0, -1},      // an empty buffer
      {"abc", -1, 6, -1},     // negative lengths
      {"abc", 3, -5, -1},    {"c", 1, 6, 2},   {"cab", 3, 6, 2}, {"abcabc", 6, 6, 0},  // the whole buffer
      {"bc", 2, 6, 1},       {"ca", 2, 3, -1},  // a hit just past the buffer's end
  };
  for (const Case& C : Cases)
    EXPECT_EQ(FindInBuf(C.Pattern, C.PatternBytes, Text, C.BufferBytes), C.Expected) << C.Pattern;
  EXPECT_EQ(FindInBuf(nullptr, 3, Text, 6), -1);
  EXPECT_EQ(FindInBuf("abc", 3, nullptr, 6), -1);
  const std::u16string Wide = u"xyzxyz";
  EXPECT_EQ(FindWordsInBuf(u"", 0, Wide.data(), 6), -1);
  EXPECT_EQ(FindWordsInBuf(u"zx", 2, Wide.data(), 6), 2);
  EXPECT_EQ(FindWordsInBuf(u"zx", 2, Wide.data(), 3), -1);
  EXPECT_EQ(FindWordsInBuf(u"xyzxyzx", 7, Wide.data(), 6), -1);
}

// Long buffers take the vector loop; the hit sits at the last possible start.
TEST(BufSearchTest, FindsHitAtTheVeryEndOfALongBuffer) {
  std::vector<uint8_t> Buffer(1000, 0);
  const uint8_t Pattern[] = {0, 0, 7, 0};
  std::memcpy(Buffer.data() + 996, Pattern, 4);
  EXPECT_EQ(FindInBuf(Pattern, 4, Buffer.data(), 1000), 996);
  std::u16string Wide(500, u'\0');
  Wide[499] = u'\x0700';
  const char16_t WidePattern[] = {0, 0x0700};
  EXPECT_EQ(FindWordsInBuf(WidePattern, 2, Wide.data(), 500), 498);
}

TEST(BufSearchTest, ValueScansAndZeroTerminatedTexts) {
  const uint8_t Bytes[] = {5, 0, 7, 0, 5, 9};
  EXPECT_EQ(IndexOfValue8(Bytes, 0, 5), 1);
  EXPECT_EQ(IndexOfValue8(Bytes, 9, 5), 5);
  EXPECT_EQ(IndexOfValue8(Bytes, 9, 4), -1);  // the last index bounds the scan
  EXPECT_EQ(IndexOfValue8(Bytes, 5, -1), -1);
  EXPECT_EQ(CountEqualToValue8(Bytes, 5, 6), 2);
  EXPECT_EQ(CountEqualToValue8(Bytes, 0, 6), 2);
  EXPECT_EQ(CountEqualToValue8(Bytes, 5, 0), 0);
  // Units 0x0005 0x0700 at byte offset 1 of the block: read from an odd address.
  const uint8_t Units[] = {0xFF, 0x05, 0x00, 0x00, 0x07, 0x05, 0x09};
  EXPECT_EQ(IndexOfValue16(Units + 1, 0x0700, 2), 1);
  EXPECT_EQ(IndexOfValue16(Units + 1, 0x0905, 2), 2);
  EXPECT_EQ(IndexOfValue16(Units + 1, 0x0905, 1), -1);

  char16_t Text[] = u"ab\u0441d";
  EXPECT_EQ(StrLenW(Text), 4);
  EXPECT_EQ(StrLenW(u""), 0);
  EXPECT_EQ(StrLenW(nullptr), 0);
  EXPECT_EQ(StrLScanW(Text, u'\u0441', 4), Text + 2);
  EXPECT_EQ(StrLScanW(Text, u'\u0441', 2), nullptr);
  StrSwapByteOrder(Text);
  EXPECT_EQ(Text[0], u'\x6100');
  EXPECT_EQ(Text[2], u'\x4104');
  EXPECT_EQ(Text[4], u'\0');
  StrSwapByteOrder(Text);
  EXPECT_EQ(std::u16string(Text), u"ab\u0441d");
}
