#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"
#include "tests/platform/qvnls/IcuSamples.h"

using namespace qvnls;

namespace {

int Sign(int32_t V) { return (V > 0) - (V < 0); }

int Text(const std::u16string& A, const std::u16string& B) {
  return Sign(
      CompareTextBufWide(A.data(), B.data(), static_cast<int32_t>(A.size()), static_cast<int32_t>(B.size())));
}

int Str(const std::u16string& A, const std::u16string& B) {
  return Sign(
      CompareStrBufWide(A.data(), B.data(), static_cast<int32_t>(A.size()), static_cast<int32_t>(B.size())));
}

std::u16string Upper(std::u16string S) {
  WideUpperBuf(S.data(), static_cast<int32_t>(S.size()));
  return S;
}

}  // namespace

// The table is ICU's simple upper-case mapping of every unit; nothing changes length.
TEST(CaseTest, UpperTableIsIcuSimpleMapping) {
  const char16_t* Table = WideUpperTable();
  for (int32_t C = 0; C < 0x10000; ++C) {
    const UChar32 Expected = (C >= 0xD800 && C <= 0xDFFF) ? C : u_toupper(C);
    ASSERT_EQ(Table[C], Expected > 0xFFFF ? C : Expected) << std::hex << C;
  }
  EXPECT_EQ(Upper(u"straße µ ÿ ı ǆ ς abc жё"), u"STRAßE Μ Ÿ I Ǆ Σ ABC ЖЁ");
  // A surrogate pair keeps its units.
  EXPECT_EQ(Upper(u"\U00010428"), u"\U00010428");
}

// The upper case of a byte in each 8-bit charset is the upper case of its character when the charset
// holds it (checked through ICU's own converters), else 0.
TEST(CaseTest, EightBitUpperCaseFollowsTheUtf16Table) {
  const struct {
    uint8_t Code;
    const char* IcuName;
  } Rows[] = {{17, "cp1251"}, {18, "cp1252"}, {16, "cp1250"}, {19, "cp1253"}, {20, "cp1254"},
              {14, "KOI8-R"}, {36, "IBM866"}, {31, "IBM850"}, {33, "IBM737"}, {5, "ISO-8859-5"}};
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.IcuName);
    for (int B = 0; B < 256; ++B) {
      const std::u16string Wide = qvnls_test::IcuDecode(std::string(1, static_cast<char>(B)), Row.IcuName);
      if (Wide.size() != 1 || Wide[0] == 0xFFFD) continue;
      const std::string UpperBytes = qvnls_test::IcuEncode(Upper(Wide), Row.IcuName);
      const uint8_t Expected = UpperBytes.size() == 1 ? static_cast<uint8_t>(UpperBytes[0]) : 0;
      EXPECT_EQ(UpperChar(static_cast<uint8_t>(B), Row.Code), Expected) << "byte " << B;
    }
  }
}

// The stream scanner folds the pattern with WideUpperBuf and converts it to the Windows page, and
// folds the window with CharUpperBuffA (or the OEM table): for every byte both roads must agree.
TEST(CaseTest, PatternAndWindowFoldAlikeInTheSystemPages) {
  const int32_t Pages[][2] = {{1252, 850}, {1251, 866}, {1250, 852}, {1253, 737}, {1254, 857}};
  for (const auto& Pair : Pages) {
    ASSERT_TRUE(SetSystemCodePages(Pair[0], Pair[1]));
    SCOPED_TRACE(Pair[0]);
    const uint8_t Ansi = GetAnsiCharset();
    for (int B = 0; B < 256; ++B) {
      const char Byte = static_cast<char>(B);
      char16_t Unit = 0;
      ASSERT_EQ(BufToWide(&Byte, 1, &Unit, 2, Ansi), 2);
      Unit = WideUpperTable()[Unit];
      char Folded = Byte;
      CharUpperBuffA(&Folded, 1);
      uint8_t ViaPattern = 0;
      ASSERT_EQ(WideToBuf(&Unit, 2, &ViaPattern, 1, Ansi), 1);
      if (ViaPattern != 0 || Unit == 0) {
        EXPECT_EQ(static_cast<uint8_t>(Folded), ViaPattern) << "byte " << B;
      } else {
        EXPECT_EQ(static_cast<uint8_t>(Folded), B) << "byte " << B;  // capital not in the page
      }
      EXPECT_EQ(AnsiUpperTable()[B], static_cast<uint8_t>(Folded));
      EXPECT_EQ(OemToAnsiUpperTable()[B], AnsiUpperTable()[OemToAnsiTable()[B]]);
    }
  }
  ResetSystemCodePages();
}

TEST(CompareTest, KnownOrders) {
  const struct {
    std::u16string A, B;
    int Text, Str;
  } Rows[] = {
      {u"abc", u"ABC", 0, -1},                              // case: equal as text, lower first as strings
      {u"a", u"b", -1, -1},          {u"ä", u"b", -1, -1},  // collation, not code units (U+00E4 > U+0062)
      {u"Ärger", u"arger", 1, 1},                           // accents count in both
      {u"", u"a", -1, -1},           {u"a", u"a", 0, 0},   {u"file10", u"file9", -1, -1},
      {u"Straße", u"STRASSE", 1, 1},  // the collator ranks them alike; the units decide
      {u"a\u0001b", u"ab", -1, -1},   // an ignorable control character still tells them apart
      {u"ПРИВЕТ", u"привет", 0, 1},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(std::string(Row.A.begin(), Row.A.end()));
    EXPECT_EQ(Text(Row.A, Row.B), Row.Text);
    EXPECT_EQ(Text(Row.B, Row.A), -Row.Text);
    EXPECT_EQ(Str(Row.A, Row.B), Row.Str);
    EXPECT_EQ(Str(Row.B, Row.A), -Row.Str);
  }
  EXPECT_EQ(CompareTextWide(u"Hello", u"hELLO"), 0);
  EXPECT_LT(CompareStrWide(u"Hello", u"hello") * CompareStrWide(u"hello", u"Hello"), 0);
  EXPECT_EQ(CompareTextWide(nullptr, u""), 0);
  // Explicit lengths: only the given units count.
  EXPECT_EQ(CompareTextBufWide(u"abcX", u"ABCy", 3, 3), 0);
}

// Both orders are total: antisymmetric, transitive, and equal only for texts that are the same
// (Str) or the same after upper-casing (Text). Random texts mix case, accents and ignorables.
TEST(CompareTest, OrdersAreTotal) {
  const std::u16string Alphabet = u"aAbBäÄ\u00DF\u0301- \u0001";
  std::mt19937 Random(7);
  std::vector<std::u16string> Texts;
  for (int I = 0; I < 150; ++I) {
    std::u16string S;
    const int Length = static_cast<int>(Random() % 5);
    for (int K = 0; K < Length; ++K) S += Alphabet[Random() % Alphabet.size()];
    Texts.push_back(S);
  }
  for (auto Compare : {&Text, &Str}) {
    std::vector<std::u16string> Sorted = Texts;
    std::sort(Sorted.begin(), Sorted.end(),
              [Compare](const auto& A, const auto& B) { return Compare(A, B) < 0; });
    for (size_t I = 0; I < Sorted.size(); ++I) {
      for (size_t J = I; J < Sorted.size(); ++J) {
        ASSERT_LE(Compare(Sorted[I], Sorted[J]), 0);
        ASSERT_EQ(Compare(Sorted[I], Sorted[J]), -Compare(Sorted[J], Sorted[I]));
        const bool Same = Compare == &Str ? Sorted[I] == Sorted[J] : Upper(Sorted[I]) == Upper(Sorted[J]);
        ASSERT_EQ(Compare(Sorted[I], Sorted[J]) == 0, Same);
      }
    }
  }
}

TEST(CompareTest, WindowsContracts) {
  EXPECT_EQ(lstrcmpiW(u"Zürich", u"zÜRICH"), 0);
  EXPECT_LT(lstrcmpiW(u"apple", u"Banana"), 0);
  EXPECT_EQ(Emulate_lstrcmpiW(u"apple", u"APPLE"), 0);
  EXPECT_EQ(CompareStringW(kLocaleSystemDefault, NORM_IGNORECASE, u"abc", -1, u"ABC", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringW(kLocaleSystemDefault, 0, u"abc", -1, u"ABC", -1), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringW(kLocaleSystemDefault, 0, u"b", 1, u"abc", 3), CSTR_GREATER_THAN);
  EXPECT_EQ(CompareStringW(kLocaleSystemDefault, 0, u"abX", 2, u"abY", 2), CSTR_EQUAL);
  EXPECT_EQ(CompareStringW(kLocaleSystemDefault, 0, nullptr, 0, u"a", 1), 0);
  EXPECT_EQ(Emulate_CompareStringW(kLocaleSystemDefault, NORM_IGNORECASE, u"x", 1, u"X", 1), CSTR_EQUAL);
}

TEST(CompareTest, AlphaNum) {
  for (char16_t C : {u'a', u'Z', u'5', u'Ж', u'ß', u'\u0660', u'中'}) EXPECT_TRUE(UnicodeIsAlphaNum(C));
  for (char16_t C : {u'_', u' ', u'-', u'\0', u'\u00A0', u'€'}) EXPECT_FALSE(UnicodeIsAlphaNum(C));
}
