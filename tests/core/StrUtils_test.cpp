#include "core/StrUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"

namespace {

TEST(StrUtilsTest, SearchAndTests) {
  EXPECT_EQ(CountChar('a', "banana"), 3);
  EXPECT_EQ(WideCountChar(u'\u00E9', u"\u00E9t\u00E9"), 2);
  struct PosCase {
    char ch;
    const char* s;
    int32_t from;
    int32_t pos;
  };
  const std::vector<PosCase> positions = {
      {'a', "abca", 0, 1}, {'a', "abca", -5, 1}, {'a', "abca", 1, 1}, {'a', "abca", 2, 4},
      {'a', "abca", 4, 4}, {'a', "abca", 5, 0},  {'z', "abca", 1, 0}, {'a', "", 1, 0},
  };
  for (const PosCase& c : positions) {
    EXPECT_EQ(CharPos(c.ch, c.s, c.from), c.pos) << c.s << " from " << c.from;
    std::u16string wide(c.s, c.s + std::char_traits<char>::length(c.s));
    EXPECT_EQ(WideCharPos(static_cast<char16_t>(c.ch), wide, c.from), c.pos);
  }
  EXPECT_EQ(LastCharPos('a', "abca"), 4);
  EXPECT_EQ(LastCharPos('x', "abca"), 0);
  EXPECT_EQ(WideLastCharPos(u'b', u"abcb"), 4);

  const TCharSet digits = CharSetOf("0123456789\xE9");
  EXPECT_EQ(WideCharSetPos(digits, u"ab1c2", 0), 3);
  EXPECT_EQ(WideCharSetPos(digits, u"ab1c2", 4), 5);
  EXPECT_EQ(WideCharSetPos(digits, u"ab1c2", 6), 0);
  EXPECT_TRUE(WideCharInSet(u'\u00E9', digits));
  EXPECT_FALSE(WideCharInSet(u'\u01E9', digits));  // above 255: never in a set, whatever its low byte
  EXPECT_TRUE(ContainsCharIn("ab\xE9", digits));
  EXPECT_FALSE(ContainsCharIn("abc", digits));
  EXPECT_TRUE(WideContainsCharIn(u"x7", digits));
  EXPECT_FALSE(WideContainsCharIn(u"x\u0137", digits));
  EXPECT_TRUE(WideIsAscii(u"plain \x7F"));
  EXPECT_FALSE(WideIsAscii(u"caf\u00E9"));
  EXPECT_TRUE(StartsWith("abc", ""));
  EXPECT_TRUE(StartsWith("abc", "ab"));
  EXPECT_FALSE(StartsWith("abc", "Ab"));
  EXPECT_TRUE(EndsWith("abc", ""));
  EXPECT_TRUE(EndsWith("abc", "bc"));
  EXPECT_FALSE(EndsWith("bc", "abc"));
  EXPECT_TRUE(WideEndsWith(u"abc", u"c"));
  EXPECT_EQ(LastChar(""), '\0');
  EXPECT_EQ(LastChar("ab"), 'b');
  EXPECT_EQ(WideLastChar(u""), u'\0');
}

TEST(StrUtilsTest, BuildingAndChanging) {
  EXPECT_EQ(AddCharIfMissing("", '/'), "");
  EXPECT_EQ(AddCharIfMissing("a", '/'), "a/");
  EXPECT_EQ(AddCharIfMissing("a/", '/'), "a/");
  for (const char* unchanged : {"", "Hi!", "Hi.", "Hi?"}) EXPECT_EQ(AddPeriod(unchanged), unchanged);
  EXPECT_EQ(AddPeriod("Hi"), "Hi.");
  EXPECT_EQ(WideAddPeriod(u"Hi"), u"Hi.");
  EXPECT_EQ(WideAddPeriod(u"Hi?"), u"Hi?");
  EXPECT_EQ(WideTrim(u" \t\r\n a b \x01"), u"a b");
  EXPECT_EQ(WideTrim(u"   "), u"");
  EXPECT_EQ(WideTrim(u"\u00A0x\u00A0"), u"\u00A0x\u00A0");  // only codes up to 32 are trimmed
  EXPECT_EQ(StrOfChar('-', 3), "---");
  EXPECT_EQ(StrOfChar('-', 0), "");
  EXPECT_EQ(StrOfChar('-', -2), "");
  EXPECT_EQ(PadLeft('0', "42", 5), "00042");
  EXPECT_EQ(PadLeft('0', "12345", 3), "12345");
  struct ReplaceCase {
    const char* s;
    const char* from;
    const char* to;
    const char* result;
  };
  for (const ReplaceCase& c :
       std::vector<ReplaceCase>{{"aaa", "a", "aa", "aaaaaa"},  // inserted text not rescanned
                                {"abcabc", "bc", "", "aa"},
                                {"abc", "", "x", "abc"},
                                {"abc", "abcd", "x", "abc"},
                                {"xAx", "a", "b", "xAx"}})
    EXPECT_EQ(ReplaceAll(c.s, c.from, c.to), c.result) << c.s;
  EXPECT_EQ(ReplaceChar("a.b.c", '.', '/'), "a/b/c");
  std::string inPlace = "a\\b";
  ReplaceCharInPlace(inPlace, '\\', '/');
  EXPECT_EQ(inPlace, "a/b");
}

TEST(StrUtilsTest, StripComment) {
  struct Case {
    const char* line;
    const char* result;
  };
  const std::vector<Case> cases = {
      {"key = 'x;y' ; note", "key = 'x;y'"},
      {"  plain  ", "plain"},
      {"; all comment", ""},
      {"a \"b;c\" ; d", "a \"b;c\""},
      {"it's ; here", "it's ; here"},  // an apostrophe opens a quote that never closes
      {"'a\"b;' ;c", "'a\"b;'"},       // the other quote character inside does not close it
      {"x;y;z", "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(StripComment(c.line, ';'), c.result) << c.line;
  EXPECT_EQ(StripComment("a # b", '#'), "a");
}

TEST(StrUtilsTest, DecodeEscapes) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"plain", "plain"},
      {R"(\"\'\?\\)", "\"'?\\"},
      {R"(\a\b\f\r\t\v)", "\a\b\f\r\t\v"},
      {R"(a\nb)", "a\r\nb"},
      {R"(\101)", "A"},
      {R"(\400)", " 0"},  // octal 400 is 256: the last digit is text again
      {R"(\0)", std::string(1, '\0')},
      {R"(\7777)",
       "\x3F"
       "77"},  // 077 = 63; 0777 would pass 255
      {R"(\x41)", "A"},
      {R"(\x414)", "A4"},
      {R"(\xfF)", "\xFF"},
      {R"(\x)", R"(\x)"},
      {R"(\xg)", R"(\xg)"},
      {R"(\q)", R"(\q)"},
      {R"(end\)", R"(end\)"},
      {R"(\8)", R"(\8)"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeEscapes(c.in), c.out) << c.in;
}

TEST(StrUtilsTest, QuotingAndUnquoting) {
  EXPECT_EQ(QuoteStr("it's", '\''), "'it''s'");
  EXPECT_EQ(DoubleQuoteStr("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(SingleQuoteStr(""), "''");
  EXPECT_EQ(WideQuoteStr(u"x|y", u'|'), u"|x||y|");
  EXPECT_EQ(WideSingleQuoteStr(u"a'"), u"'a'''");
  EXPECT_EQ(WideDoubleQuoteStr(u"\u00E9"), u"\"\u00E9\"");

  struct TokenCase {
    const char* s;
    bool plain;
  };
  for (const TokenCase& c : std::vector<TokenCase>{{"ab", true},
                                                   {"a!#$%&()*~", true},
                                                   {"", false},
                                                   {"a b", false},
                                                   {"a\"b", false},
                                                   {"a'b", false},
                                                   {"a\x7F", false},
                                                   {"caf\xE9", false},
                                                   {"a\tb", false}})
    EXPECT_EQ(IsPlainToken(c.s), c.plain) << c.s;
  EXPECT_TRUE(WideIsPlainToken(u"caf\u00E9"));  // characters above 127 are allowed in UTF-16 tokens
  EXPECT_FALSE(WideIsPlainToken(u"a b"));
  EXPECT_FALSE(WideIsPlainToken(u"it's"));
  EXPECT_FALSE(WideIsPlainToken(u""));

  EXPECT_EQ(DoubleQuoteIfNeeded("a b"), "\"a b\"");
  EXPECT_EQ(DoubleQuoteIfNeeded("ab"), "ab");
  EXPECT_EQ(SingleQuoteIfNeeded("it's"), "'it''s'");
  EXPECT_EQ(WideDoubleQuoteIfNeeded(u"a b"), u"\"a b\"");
  EXPECT_EQ(WideSingleQuoteIfNeeded(u"\u00E9"), u"\u00E9");

  struct UnquoteCase {
    const char* in;
    const char* out;
  };
  for (const UnquoteCase& c : std::vector<UnquoteCase>{{"'it''s'", "it's"},
                                                       {"\"a\"\"b\"", "a\"b"},
                                                       {"'", "'"},
                                                       {"''", ""},
                                                       {"'a\"", "'a\""},
                                                       {"'a'b'", "a'b"},  // an undoubled quote inside stays
                                                       {"'a''", "a'"},    // a quote before the closing one
                                                       {"\"it's\"", "it's"},
                                                       {"plain", "plain"}}) {
    EXPECT_EQ(UnquoteStr(c.in), c.out) << c.in;
    // Quoting and unquoting are inverse.
    EXPECT_EQ(UnquoteStr(SingleQuoteStr(c.in)), c.in);
  }
  EXPECT_EQ(WideUnquoteStr(u"'\u00E9''s'"), u"\u00E9's");
}

TEST(StrUtilsTest, ComparisonAndNumbers) {
  EXPECT_EQ(WideStrComp(nullptr, u""), 0);
  EXPECT_EQ(WideStrComp(nullptr, nullptr), 0);
  EXPECT_LT(WideStrComp(nullptr, u"a"), 0);
  EXPECT_EQ(WideStrComp(u"abc", u"abd"), -1);
  EXPECT_EQ(WideStrComp(u"ab", u"a"), u'b');
  EXPECT_GT(WideStrComp(u"\uFFFF", u"a"), 0);  // code units compare unsigned
  EXPECT_EQ(WideCompareOrdinal(u"B", u"a"), u'B' - u'a');

  struct GroupCase {
    int64_t value;
    const char* text;
  };
  for (const GroupCase& c : std::vector<GroupCase>{{0, "0"},
                                                   {999, "999"},
                                                   {1000, "1,000"},
                                                   {1234567, "1,234,567"},
                                                   {-1234, "-1,234"},
                                                   {INT64_MIN, "-9,223,372,036,854,775,808"}})
    EXPECT_EQ(IntToStrGrouped(c.value), c.text);

  struct RomanCase {
    int32_t n;
    const char* text;
  };
  for (const RomanCase& c : std::vector<RomanCase>{{0, ""},
                                                   {-1, ""},
                                                   {5001, ""},
                                                   {1, "I"},
                                                   {4, "IV"},
                                                   {9, "IX"},
                                                   {14, "XIV"},
                                                   {40, "XL"},
                                                   {90, "XC"},
                                                   {400, "CD"},
                                                   {1999, "MCMXCIX"},
                                                   {3888, "MMMDCCCLXXXVIII"},
                                                   {4999, "MMMMCMXCIX"},
                                                   {5000, "MMMMM"}})
    EXPECT_EQ(IntToRoman(c.n), c.text) << c.n;

  EXPECT_EQ(FormatIfPercent("no directives {0}"), "no directives {0}");
  EXPECT_EQ(FormatIfPercent("Seek error (%d)", {70000}), "Seek error (70000)");
  EXPECT_THROW(FormatIfPercent("Value %d"), EConvertError);
}

// Fixes the code pages, since case and OEM conversion follow them.
class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

TEST_F(CodePageTest, CaseAndOemConversionFollowTheCodePages) {
  EXPECT_EQ(TextPos("CAF\xC9", "un caf\xE9"), 4);
  EXPECT_EQ(TextPos("b", "ABC"), 2);
  EXPECT_EQ(TextPos("", "ABC"), 0);
  EXPECT_EQ(TextPos("abcd", "abc"), 0);
  EXPECT_EQ(UpperFirstChar("\xE9t\xE9"), "\xC9t\xE9");
  EXPECT_EQ(UpperFirstChar(""), "");
  EXPECT_EQ(LowerFirstChar("\xC9T\xC9"), "\xE9T\xC9");
  EXPECT_EQ(LowerFirstChar("ABC"), "aBC");
  EXPECT_EQ(LowerFirstChar("1A"), "1A");
  EXPECT_EQ(AnsiStrToOem("caf\xE9"), "caf\x82");
  EXPECT_EQ(OemStrToAnsi("caf\x82"), "caf\xE9");
  EXPECT_EQ(AnsiStrToOem(""), "");
  EXPECT_EQ(OemStrToAnsi(AnsiStrToOem("\xC4\xD6\xDC\xDF")), "\xC4\xD6\xDC\xDF");
}

}  // namespace
