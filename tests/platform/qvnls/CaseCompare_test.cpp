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

int Sign(int32_t v) { return (v > 0) - (v < 0); }

int Text(const std::u16string& a, const std::u16string& b) {
  return Sign(
      CompareTextBufWide(a.data(), b.data(), static_cast<int32_t>(a.size()), static_cast<int32_t>(b.size())));
}

int Str(const std::u16string& a, const std::u16string& b) {
  return Sign(
      CompareStrBufWide(a.data(), b.data(), static_cast<int32_t>(a.size()), static_cast<int32_t>(b.size())));
}

std::u16string Upper(std::u16string s) {
  WideUpperBuf(s.data(), static_cast<int32_t>(s.size()));
  return s;
}

}  // namespace

// The table is ICU's simple upper-case mapping of every unit; nothing changes length.
TEST(CaseTest, UpperTableIsIcuSimpleMapping) {
  const char16_t* table = WideUpperTable();
  for (int32_t c = 0; c < 0x10000; ++c) {
    const UChar32 expected = (c >= 0xD800 && c <= 0xDFFF) ? c : u_toupper(c);
    ASSERT_EQ(table[c], expected > 0xFFFF ? c : expected) << std::hex << c;
  }
  EXPECT_EQ(Upper(u"straße µ ÿ ı ǆ ς abc жё"), u"STRAßE Μ Ÿ I Ǆ Σ ABC ЖЁ");
  // A surrogate pair keeps its units.
  EXPECT_EQ(Upper(u"\U00010428"), u"\U00010428");
}

// The upper case of a byte in each 8-bit charset is the upper case of its character when the charset
// holds it (checked through ICU's own converters), else 0.
TEST(CaseTest, EightBitUpperCaseFollowsTheUtf16Table) {
  const struct {
    uint8_t code;
    const char* icuName;
  } rows[] = {{17, "cp1251"}, {18, "cp1252"}, {16, "cp1250"}, {19, "cp1253"}, {20, "cp1254"},
              {14, "KOI8-R"}, {36, "IBM866"}, {31, "IBM850"}, {33, "IBM737"}, {5, "ISO-8859-5"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.icuName);
    for (int b = 0; b < 256; ++b) {
      const std::u16string wide = qvnls_test::IcuDecode(std::string(1, static_cast<char>(b)), row.icuName);
      if (wide.size() != 1 || wide[0] == 0xFFFD) continue;
      const std::string upper = qvnls_test::IcuEncode(Upper(wide), row.icuName);
      const uint8_t expected = upper.size() == 1 ? static_cast<uint8_t>(upper[0]) : 0;
      EXPECT_EQ(UpperChar(static_cast<uint8_t>(b), row.code), expected) << "byte " << b;
    }
  }
}

// The stream scanner folds the pattern with WideUpperBuf and converts it to the Windows page, and
// folds the window with CharUpperBuffA (or the OEM table): for every byte both roads must agree.
TEST(CaseTest, PatternAndWindowFoldAlikeInTheSystemPages) {
  const int32_t pages[][2] = {{1252, 850}, {1251, 866}, {1250, 852}, {1253, 737}, {1254, 857}};
  for (const auto& pair : pages) {
    ASSERT_TRUE(SetSystemCodePages(pair[0], pair[1]));
    SCOPED_TRACE(pair[0]);
    const uint8_t ansi = GetAnsiCharset();
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      char16_t unit = 0;
      ASSERT_EQ(BufToWide(&byte, 1, &unit, 2, ansi), 2);
      unit = WideUpperTable()[unit];
      char folded = byte;
      CharUpperBuffA(&folded, 1);
      uint8_t viaPattern = 0;
      ASSERT_EQ(WideToBuf(&unit, 2, &viaPattern, 1, ansi), 1);
      if (viaPattern != 0 || unit == 0) {
        EXPECT_EQ(static_cast<uint8_t>(folded), viaPattern) << "byte " << b;
      } else {
        EXPECT_EQ(static_cast<uint8_t>(folded), b) << "byte " << b;  // capital not in the page
      }
      EXPECT_EQ(AnsiUpperTable()[b], static_cast<uint8_t>(folded));
      EXPECT_EQ(OemToAnsiUpperTable()[b], AnsiUpperTable()[OemToAnsiTable()[b]]);
    }
  }
  ResetSystemCodePages();
}

TEST(CompareTest, KnownOrders) {
  const struct {
    std::u16string a, b;
    int text, str;
  } rows[] = {
      {u"abc", u"ABC", 0, -1},                              // case: equal as text, lower first as strings
      {u"a", u"b", -1, -1},          {u"ä", u"b", -1, -1},  // collation, not code units (U+00E4 > U+0062)
      {u"Ärger", u"arger", 1, 1},                           // accents count in both
      {u"", u"a", -1, -1},           {u"a", u"a", 0, 0},   {u"file10", u"file9", -1, -1},
      {u"Straße", u"STRASSE", 1, 1},  // the collator ranks them alike; the units decide
      {u"a\u0001b", u"ab", -1, -1},   // an ignorable control character still tells them apart
      {u"ПРИВЕТ", u"привет", 0, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.a.begin(), row.a.end()));
    EXPECT_EQ(Text(row.a, row.b), row.text);
    EXPECT_EQ(Text(row.b, row.a), -row.text);
    EXPECT_EQ(Str(row.a, row.b), row.str);
    EXPECT_EQ(Str(row.b, row.a), -row.str);
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
  const std::u16string alphabet = u"aAbBäÄ\u00DF\u0301- \u0001";
  std::mt19937 random(7);
  std::vector<std::u16string> texts;
  for (int i = 0; i < 150; ++i) {
    std::u16string s;
    const int length = static_cast<int>(random() % 5);
    for (int k = 0; k < length; ++k) s += alphabet[random() % alphabet.size()];
    texts.push_back(s);
  }
  for (auto compare : {&Text, &Str}) {
    std::vector<std::u16string> sorted = texts;
    std::sort(sorted.begin(), sorted.end(),
              [compare](const auto& a, const auto& b) { return compare(a, b) < 0; });
    for (size_t i = 0; i < sorted.size(); ++i) {
      for (size_t j = i; j < sorted.size(); ++j) {
        ASSERT_LE(compare(sorted[i], sorted[j]), 0);
        ASSERT_EQ(compare(sorted[i], sorted[j]), -compare(sorted[j], sorted[i]));
        const bool same = compare == &Str ? sorted[i] == sorted[j] : Upper(sorted[i]) == Upper(sorted[j]);
        ASSERT_EQ(compare(sorted[i], sorted[j]) == 0, same);
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
  for (char16_t c : {u'a', u'Z', u'5', u'Ж', u'ß', u'\u0660', u'中'}) EXPECT_TRUE(UnicodeIsAlphaNum(c));
  for (char16_t c : {u'_', u' ', u'-', u'\0', u'\u00A0', u'€'}) EXPECT_FALSE(UnicodeIsAlphaNum(c));
}
