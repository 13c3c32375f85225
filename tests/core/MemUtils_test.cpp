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
    std::string Pattern;
    std::string Data;
    int32_t PatLen;  // -1: the pattern's length
    int32_t Result;
  };
  const std::vector<Case> Cases = {
      {"abc", "abc", -1, 0},    // as long as the data and equal
      {"abcd", "abc", -1, -1},  // one byte longer than the data
      {"c", "abc", -1, 2},     {"bc", "abcbc", -1, 1}, {"x", "abc", -1, -1},
      {"a", "abc", 0, -1},     {"a", "abc", -3, -1},   {std::string("\0b", 2), std::string("a\0b", 3), -1, 1},
  };
  for (const Case& C : Cases) {
    const int32_t Len = C.PatLen == -1 ? static_cast<int32_t>(C.Pattern.size()) : C.PatLen;
    EXPECT_EQ(FindMem(C.Pattern.data(), Len, C.Data.data(), static_cast<int32_t>(C.Data.size())), C.Result)
        << C.Pattern << " in " << C.Data;
  }
  EXPECT_EQ(FindMem("a", 1, "a", -1), -1);
}

TEST(MemUtilsTest, FindMemWordsCountsUnitsAndSkipsOddByteHits) {
  const char16_t Data[] = {0x4100, 0x0042, 0x4100, 0x4142};
  const char16_t Pattern[] = {0x4142};
  // The bytes 42 41 also occur at byte offset 1 (00 41 | 42 00 ...): not on a unit boundary.
  EXPECT_EQ(FindMemWords(Pattern, 1, Data, 4), 3);
  const char16_t Two[] = {0x0042, 0x4100};
  EXPECT_EQ(FindMemWords(Two, 2, Data, 4), 1);
  EXPECT_EQ(FindMemWords(Two, 2, Data, 1), -1);
  EXPECT_EQ(FindMemWords(Two, 0, Data, 4), -1);
}

TEST(MemUtilsTest, CountIndexAndLastIndex) {
  const uint8_t Bytes[] = {1, 2, 1, 3};
  EXPECT_EQ(CountByte(Bytes, 1, 4), 2);
  EXPECT_EQ(IndexOfByte(Bytes, 1, 4), 0);
  EXPECT_EQ(LastIndexOfByte(Bytes, 1, 4), 2);
  EXPECT_EQ(IndexOfByte(Bytes, 9, 4), -1);
  EXPECT_EQ(IndexOfByte(Bytes, 1, 0), -1);
  EXPECT_EQ(LastIndexOfByte(Bytes, 1, -1), -1);
  const uint16_t Words[] = {7, 0x100, 7};
  EXPECT_EQ(IndexOfWord(Words, 0x100, 3), 1);
  const int32_t Ints[] = {-1, 5, -1, 5, 5};
  EXPECT_EQ(CountInt32(Ints, 5, 5), 3);
  EXPECT_EQ(IndexOfInt32(Ints, 5, 5), 1);
  EXPECT_EQ(LastIndexOfInt32(Ints, -1, 5), 2);
  EXPECT_EQ(CountInt32(Ints, 5, 0), 0);

  const double Nan = std::numeric_limits<double>::quiet_NaN();
  const double Doubles[] = {0.0, 1.5, -0.0, Nan};
  EXPECT_EQ(CountDouble(Doubles, -0.0, 4), 2);  // +0 equals -0
  EXPECT_EQ(LastIndexOfDouble(Doubles, 0.0, 4), 2);
  EXPECT_EQ(IndexOfDouble(Doubles, 1.5, 4), 1);
  EXPECT_EQ(IndexOfDouble(Doubles, Nan, 4), -1);  // a NaN equals nothing
  EXPECT_EQ(CountDouble(Doubles, Nan, 4), 0);
  EXPECT_EQ(LastIndexOfDouble(Doubles, 0.0, 0), -1);

  // Unaligned data.
  alignas(8) uint8_t Raw[13] = {};
  const int32_t V = 0x12345678;
  std::memcpy(Raw + 5, &V, 4);
  EXPECT_EQ(IndexOfInt32(Raw + 1, V, 3), 1);
}

TEST(MemUtilsTest, BlockChanges) {
  uint8_t A[7] = {1, 2, 3, 4, 5, 6, 7};
  uint8_t B[7] = {9, 9, 9, 9, 9, 9, 9};
  SwapMem(A, B, 6);
  EXPECT_EQ(std::vector<uint8_t>(A, A + 7), (std::vector<uint8_t>{9, 9, 9, 9, 9, 9, 7}));
  EXPECT_EQ(std::vector<uint8_t>(B, B + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 9}));
  SwapMem(A, B, 0);
  SwapMem(A, B, -3);
  EXPECT_EQ(A[0], 9);

  EXPECT_TRUE(MemEqual(A, B, 0));
  EXPECT_FALSE(MemEqual(A, A, -1));
  EXPECT_TRUE(MemEqual("abc", "abd", 2));
  EXPECT_FALSE(MemEqual("abc", "abd", 3));

  uint32_t Dwords[3] = {};
  FillDWord(Dwords, 0xDEADBEEF, 2);
  EXPECT_EQ(Dwords[1], 0xDEADBEEFu);
  EXPECT_EQ(Dwords[2], 0u);
  double Qwords[3] = {};
  const double Value = -2.5;
  FillQWord(Qwords, &Value, 2);
  EXPECT_EQ(Qwords[1], -2.5);
  EXPECT_EQ(Qwords[2], 0.0);
  FillQWord(Qwords, nullptr, 0);

  char Text[] = "a-b-c";
  EXPECT_EQ(ReplaceByte(Text, '-', '+', 5), 2);
  EXPECT_STREQ(Text, "a+b+c");
  uint8_t Pairs[5] = {1, 2, 3, 4, 5};
  SwapBytePairs(Pairs, 5);
  EXPECT_EQ(std::vector<uint8_t>(Pairs, Pairs + 5), (std::vector<uint8_t>{2, 1, 4, 3, 5}));
  SwapBytePairs(nullptr, 4);
  EXPECT_EQ(FindNonAscii("abc\x80z", 5) - reinterpret_cast<const uint8_t*>("abc\x80z"), 3);
  EXPECT_EQ(FindNonAscii("abc", 3), nullptr);
}

TEST(MemUtilsTest, BufferStrings) {
  EXPECT_EQ(BufToStr("ab\0cd", 5), "ab");
  EXPECT_EQ(BufToStr("abcd", 2), "ab");  // no NUL within MaxLen
  EXPECT_EQ(BufToStr(nullptr, 5), "");
  EXPECT_EQ(RawToWideStr(std::string("a\0\xAC\x20z", 5)), u"a\u20AC");  // odd last byte dropped
  std::string S("ab\0cd", 5);
  TruncateAtNul(S);
  EXPECT_EQ(S, "ab");
  std::u16string W(u"x\0y", 3);
  TruncateAtNul(W);
  EXPECT_EQ(W, u"x");
}

TEST(MemUtilsTest, SystemRoutines) {
  const int64_t Size = GetPhysicalMemorySize();
  EXPECT_GT(Size, 0);
  EXPECT_EQ(GetPhysicalMemorySize(), Size);
  const std::u16string LongPath = u"/" + std::u16string(300, u'a');
  EXPECT_EQ(AddLongPathPrefix(LongPath), LongPath);
  EXPECT_EQ(AddLongPathPrefix(u"./x"), u"./x");
}

struct Counted {
  explicit Counted(int& Deletes) : Deletes(Deletes) {}
  ~Counted() { ++Deletes; }
  int& Deletes;
};

TEST(MemUtilsTest, GuardsFreeTheirItemOnceWhenTheLastReferenceGoes) {
  int Deletes = 0;
  {
    ISafeGuard Guard;
    Counted* Obj = GuardObject(new Counted(Deletes), Guard);
    EXPECT_EQ(&Obj->Deletes, &Deletes);
    ISafeGuard Copy = Guard;
    Guard.reset();
    EXPECT_EQ(Deletes, 0);
    // Guarding a second object releases the first guard's reference.
    GuardObject(new Counted(Deletes), Copy);
    EXPECT_EQ(Deletes, 1);
  }
  EXPECT_EQ(Deletes, 2);
  // A memory block: the leak check of the sanitizer build reports it when it is not freed.
  ISafeGuard Block = std::make_shared<TSafeGuard>(std::malloc(64));
}

}  // namespace
