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
    char Ch;
    const char* S;
    int32_t From;
    int32_t Pos;
  };
  const std::vector<PosCase> Positions = {
      {'a', "abca", 0, 1}, {'a', "abca", -5, 1}, {'a', "abca", 1, 1}, {'a', "abca", 2, 4},
      {'a', "abca", 4, 4}, {'a', "abca", 5, 0},  {'z', "abca", 1, 0}, {'a', "", 1, 0},
  };
  for (const PosCase& C : Positions) {
    EXPECT_EQ(CharPos(C.Ch, C.S, C.From), C.Pos) << C.S << " from " << C.From;
    std::u16string Wide(C.S, C.S + std::char_traits<char>::length(C.S));
    EXPECT_EQ(WideCharPos(static_cast<char16_t>(C.Ch), Wide, C.From), C.Pos);
  }
  EXPECT_EQ(LastCharPos('a', "abca"), 4);
  EXPECT_EQ(LastCharPos('x', "abca"), 0);
  EXPECT_EQ(WideLastCharPos(u'b', u"abcb"), 4);

  const TCharSet Digits = CharSetOf("0123456789\xE9");
  EXPECT_EQ(WideCharSetPos(Digits, u"ab1c2", 0), 3);
  EXPECT_EQ(WideCharSetPos(Digits, u"ab1c2", 4), 5);
  EXPECT_EQ(WideCharSetPos(Digits, u"ab1c2", 6), 0);
  EXPECT_TRUE(WideCharInSet(u'\u00E9', Digits));
  EXPECT_FALSE(WideCharInSet(u'\u01E9', Digits));  // above 255: never in a set, whatever its low byte
  EXPECT_TRUE(ContainsCharIn("ab\xE9", Digits));
  EXPECT_FALSE(ContainsCharIn("abc", Digits));
  EXPECT_TRUE(WideContainsCharIn(u"x7", Digits));
  EXPECT_FALSE(WideContainsCharIn(u"x\u0137", Digits));
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
  for (const char* Unchanged : {"", "Hi!", "Hi.", "Hi?"}) EXPECT_EQ(AddPeriod(Unchanged), Unchanged);
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
    const char* S;
    const char* From;
    const char* To;
    const char* Result;
  };
  for (const ReplaceCase& C :
       std::vector<ReplaceCase>{{"aaa", "a", "aa", "aaaaaa"},  // inserted text not rescanned
                                {"abcabc", "bc", "", "aa"},
                                {"abc", "", "x", "abc"},
                                {"abc", "abcd", "x", "abc"},
                                {"xAx", "a", "b", "xAx"}})
    EXPECT_EQ(ReplaceAll(C.S, C.From, C.To), C.Result) << C.S;
  EXPECT_EQ(ReplaceChar("a.b.c", '.', '/'), "a/b/c");
  std::string InPlace = "a\\b";
  ReplaceCharInPlace(InPlace, '\\', '/');
  EXPECT_EQ(InPlace, "a/b");
}

TEST(StrUtilsTest, StripComment) {
  struct Case {
    const char* Line;
    const char* Result;
  };
  const std::vector<Case> Cases = {
      {"key = 'x;y' ; note", "key = 'x;y'"},
      {"  plain  ", "plain"},
      {"; all comment", ""},
      {"a \"b;c\" ; d", "a \"b;c\""},
      {"it's ; here", "it's ; here"},  // an apostrophe opens a quote that never closes
      {"'a\"b;' ;c", "'a\"b;'"},       // the other quote character inside does not close it
      {"x;y;z", "x"},
  };
  for (const Case& C : Cases) EXPECT_EQ(StripComment(C.Line, ';'), C.Result) << C.Line;
  EXPECT_EQ(StripComment("a # b", '#'), "a");
}

TEST(StrUtilsTest, DecodeEscapes) {
  struct Case {
    std::string In;
    std::string Out;
  };
  const std::vector<Case> Cases = {
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
  for (const Case& C : Cases) EXPECT_EQ(DecodeEscapes(C.In), C.Out) << C.In;
}

TEST(StrUtilsTest, QuotingAndUnquoting) {
  EXPECT_EQ(QuoteStr("it's", '\''), "'it''s'");
  EXPECT_EQ(DoubleQuoteStr("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(SingleQuoteStr(""), "''");
  EXPECT_EQ(WideQuoteStr(u"x|y", u'|'), u"|x||y|");
  EXPECT_EQ(WideSingleQuoteStr(u"a'"), u"'a'''");
  EXPECT_EQ(WideDoubleQuoteStr(u"\u00E9"), u"\"\u00E9\"");

  struct TokenCase {
    const char* S;
    bool Plain;
  };
  for (const TokenCase& C : std::vector<TokenCase>{{"ab", true},
                                                   {"a!#$%&()*~", true},
                                                   {"", false},
                                                   {"a b", false},
                                                   {"a\"b", false},
                                                   {"a'b", false},
                                                   {"a\x7F", false},
                                                   {"caf\xE9", false},
                                                   {"a\tb", false}})
    EXPECT_EQ(IsPlainToken(C.S), C.Plain) << C.S;
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
    const char* In;
    const char* Out;
  };
  for (const UnquoteCase& C : std::vector<UnquoteCase>{{"'it''s'", "it's"},
                                                       {"\"a\"\"b\"", "a\"b"},
                                                       {"'", "'"},
                                                       {"''", ""},
                                                       {"'a\"", "'a\""},
                                                       {"'a'b'", "a'b"},  // an undoubled quote inside stays
                                                       {"'a''", "a'"},    // a quote before the closing one
                                                       {"\"it's\"", "it's"},
                                                       {"plain", "plain"}}) {
    EXPECT_EQ(UnquoteStr(C.In), C.Out) << C.In;
    // Quoting and unquoting are inverse.
    EXPECT_EQ(UnquoteStr(SingleQuoteStr(C.In)), C.In);
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
    int64_t Value;
    const char* Text;
  };
  for (const GroupCase& C : std::vector<GroupCase>{{0, "0"},
                                                   {999, "999"},
                                                   {1000, "1,000"},
                                                   {1234567, "1,234,567"},
                                                   {-1234, "-1,234"},
                                                   {INT64_MIN, "-9,223,372,036,854,775,808"}})
    EXPECT_EQ(IntToStrGrouped(C.Value), C.Text);

  struct RomanCase {
    int32_t N;
    const char* Text;
  };
  for (const RomanCase& C : std::vector<RomanCase>{{0, ""},
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
    EXPECT_EQ(IntToRoman(C.N), C.Text) << C.N;

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
