#include "core/MemUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

TEST(MemUtilsTest, MinMaxClamp) {
  EXPECT_EQ(Min(3, -4), -4);
  EXPECT_EQ(Max(3, -4), 3);
  EXPECT_EQ(Clamp(5, 0, 10), 5);
  EXPECT_EQ(Clamp(-5, 0, 10), 0);
  EXPECT_EQ(Clamp(15, 0, 10), 10);
  EXPECT_EQ(Clamp(5, 10, 0), 0);  // Hi wins when Lo > Hi
}

TEST(MemUtilsTest, FindMemBoundaries) {
  struct Case {
    std::string pattern;
    std::string data;
    int32_t patLen;  // -1: the pattern's length
    int32_t result;
  };
  const std::vector<Case> cases = {
      {"abc", "abc", -1, 0},    // as long as the data and equal
      {"abcd", "abc", -1, -1},  // one byte longer than the data
      {"c", "abc", -1, 2},     {"bc", "abcbc", -1, 1}, {"x", "abc", -1, -1},
      {"a", "abc", 0, -1},     {"a", "abc", -3, -1},   {std::string("\0b", 2), std::string("a\0b", 3), -1, 1},
  };
  for (const Case& c : cases) {
    const int32_t len = c.patLen == -1 ? static_cast<int32_t>(c.pattern.size()) : c.patLen;
    EXPECT_EQ(FindMem(c.pattern.data(), len, c.data.data(), static_cast<int32_t>(c.data.size())), c.result)
        << c.pattern << " in " << c.data;
  }
  EXPECT_EQ(FindMem("a", 1, "a", -1), -1);
}

TEST(MemUtilsTest, FindMemWordsCountsUnitsAndSkipsOddByteHits) {
  const char16_t data[] = {0x4100, 0x0042, 0x4100, 0x4142};
  const char16_t pattern[] = {0x4142};
  // The bytes 42 41 also occur at byte offset 1 (00 41 | 42 00 ...): not on a unit boundary.
  EXPECT_EQ(FindMemWords(pattern, 1, data, 4), 3);
  const char16_t two[] = {0x0042, 0x4100};
  EXPECT_EQ(FindMemWords(two, 2, data, 4), 1);
  EXPECT_EQ(FindMemWords(two, 2, data, 1), -1);
  EXPECT_EQ(FindMemWords(two, 0, data, 4), -1);
}

TEST(MemUtilsTest, CountIndexAndLastIndex) {
  const uint8_t bytes[] = {1, 2, 1, 3};
  EXPECT_EQ(CountByte(bytes, 1, 4), 2);
  EXPECT_EQ(IndexOfByte(bytes, 1, 4), 0);
  EXPECT_EQ(LastIndexOfByte(bytes, 1, 4), 2);
  EXPECT_EQ(IndexOfByte(bytes, 9, 4), -1);
  EXPECT_EQ(IndexOfByte(bytes, 1, 0), -1);
  EXPECT_EQ(LastIndexOfByte(bytes, 1, -1), -1);
  const uint16_t words[] = {7, 0x100, 7};
  EXPECT_EQ(IndexOfWord(words, 0x100, 3), 1);
  const int32_t ints[] = {-1, 5, -1, 5, 5};
  EXPECT_EQ(CountInt32(ints, 5, 5), 3);
  EXPECT_EQ(IndexOfInt32(ints, 5, 5), 1);
  EXPECT_EQ(LastIndexOfInt32(ints, -1, 5), 2);
  EXPECT_EQ(CountInt32(ints, 5, 0), 0);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double doubles[] = {0.0, 1.5, -0.0, nan};
  EXPECT_EQ(CountDouble(doubles, -0.0, 4), 2);  // +0 equals -0
  EXPECT_EQ(LastIndexOfDouble(doubles, 0.0, 4), 2);
  EXPECT_EQ(IndexOfDouble(doubles, 1.5, 4), 1);
  EXPECT_EQ(IndexOfDouble(doubles, nan, 4), -1);  // a NaN equals nothing
  EXPECT_EQ(CountDouble(doubles, nan, 4), 0);
  EXPECT_EQ(LastIndexOfDouble(doubles, 0.0, 0), -1);

  // Unaligned data.
  alignas(8) uint8_t raw[13] = {};
  const int32_t v = 0x12345678;
  std::memcpy(raw + 5, &v, 4);
  EXPECT_EQ(IndexOfInt32(raw + 1, v, 3), 1);
}

TEST(MemUtilsTest, BlockChanges) {
  uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7};
  uint8_t b[7] = {9, 9, 9, 9, 9, 9, 9};
  SwapMem(a, b, 6);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 7), (std::vector<uint8_t>{9, 9, 9, 9, 9, 9, 7}));
  EXPECT_EQ(std::vector<uint8_t>(b, b + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 9}));
  SwapMem(a, b, 0);
  SwapMem(a, b, -3);
  EXPECT_EQ(a[0], 9);

  EXPECT_TRUE(MemEqual(a, b, 0));
  EXPECT_FALSE(MemEqual(a, a, -1));
  EXPECT_TRUE(MemEqual("abc", "abd", 2));
  EXPECT_FALSE(MemEqual("abc", "abd", 3));

  uint32_t dwords[3] = {};
  FillDWord(dwords, 0xDEADBEEF, 2);
  EXPECT_EQ(dwords[1], 0xDEADBEEFu);
  EXPECT_EQ(dwords[2], 0u);
  double qwords[3] = {};
  const double value = -2.5;
  FillQWord(qwords, &value, 2);
  EXPECT_EQ(qwords[1], -2.5);
  EXPECT_EQ(qwords[2], 0.0);
  FillQWord(qwords, nullptr, 0);

  char text[] = "a-b-c";
  EXPECT_EQ(ReplaceByte(text, '-', '+', 5), 2);
  EXPECT_STREQ(text, "a+b+c");
  uint8_t pairs[5] = {1, 2, 3, 4, 5};
  SwapBytePairs(pairs, 5);
  EXPECT_EQ(std::vector<uint8_t>(pairs, pairs + 5), (std::vector<uint8_t>{2, 1, 4, 3, 5}));
  SwapBytePairs(nullptr, 4);
  EXPECT_EQ(FindNonAscii("abc\x80z", 5) - reinterpret_cast<const uint8_t*>("abc\x80z"), 3);
  EXPECT_EQ(FindNonAscii("abc", 3), nullptr);
}

TEST(MemUtilsTest, BufferStrings) {
  EXPECT_EQ(BufToStr("ab\0cd", 5), "ab");
  EXPECT_EQ(BufToStr("abcd", 2), "ab");  // no NUL within MaxLen
  EXPECT_EQ(BufToStr(nullptr, 5), "");
  EXPECT_EQ(RawToWideStr(std::string("a\0\xAC\x20z", 5)), u"a\u20AC");  // odd last byte dropped
  std::string s("ab\0cd", 5);
  TruncateAtNul(s);
  EXPECT_EQ(s, "ab");
  std::u16string w(u"x\0y", 3);
  TruncateAtNul(w);
  EXPECT_EQ(w, u"x");
}

TEST(MemUtilsTest, SystemRoutines) {
  const int64_t size = GetPhysicalMemorySize();
  EXPECT_GT(size, 0);
  EXPECT_EQ(GetPhysicalMemorySize(), size);
  const std::u16string longPath = u"/" + std::u16string(300, u'a');
  EXPECT_EQ(AddLongPathPrefix(longPath), longPath);
  EXPECT_EQ(AddLongPathPrefix(u"./x"), u"./x");
}

struct Counted {
  explicit Counted(int& deletes) : deletes(deletes) {}
  ~Counted() { ++deletes; }
  int& deletes;
};

TEST(MemUtilsTest, GuardsFreeTheirItemOnceWhenTheLastReferenceGoes) {
  int deletes = 0;
  {
    ISafeGuard guard;
    Counted* obj = GuardObject(new Counted(deletes), guard);
    EXPECT_EQ(&obj->deletes, &deletes);
    ISafeGuard copy = guard;
    guard.reset();
    EXPECT_EQ(deletes, 0);
    // Guarding a second object releases the first guard's reference.
    GuardObject(new Counted(deletes), copy);
    EXPECT_EQ(deletes, 1);
  }
  EXPECT_EQ(deletes, 2);
  // A memory block: the leak check of the sanitizer build reports it when it is not freed.
  ISafeGuard block = std::make_shared<TSafeGuard>(std::malloc(64));
}

}  // namespace
