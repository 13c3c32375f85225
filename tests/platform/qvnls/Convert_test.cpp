#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "tests/platform/qvnls/IcuSamples.h"

using namespace qvnls;
using qvnls_test::IcuDecode;
using qvnls_test::IcuEncode;

namespace {

// Every assigned code with the ICU converter the test takes as the reference for it.
struct CodeRow {
  uint8_t Code;
  const char* IcuName;
};
const CodeRow kSingleByteCodes[] = {
    {1, "ISO-8859-1"},   {2, "ISO-8859-2"},   {3, "ISO-8859-3"}, {4, "ISO-8859-4"},   {5, "ISO-8859-5"},
    {6, "ISO-8859-6"},   {7, "ISO-8859-7"},   {8, "ISO-8859-8"}, {9, "ISO-8859-9"},   {10, "ISO-8859-10"},
    {11, "ISO-8859-11"}, {13, "ISO-8859-13"}, {14, "KOI8-R"},    {15, "KOI8-U"},      {16, "cp1250"},
    {17, "cp1251"},      {18, "cp1252"},      {19, "cp1253"},    {20, "cp1254"},      {21, "cp1255"},
    {22, "cp1256"},      {23, "cp1257"},      {24, "cp1258"},    {25, "windows-874"}, {26, "ISO-8859-15"},
    {30, "IBM437"},      {31, "IBM850"},      {32, "IBM852"},    {33, "IBM737"},      {34, "IBM857"},
    {35, "IBM775"},      {36, "IBM866"},      {37, "IBM862"},    {38, "IBM720"},
};

std::u16string ToWide(const std::string& Bytes, uint8_t Charset) {
  std::u16string Out(Bytes.size() + 4, u'\0');
  const int32_t N = BufToWide(Bytes.data(), static_cast<int32_t>(Bytes.size()), Out.data(),
                              static_cast<int32_t>(2 * Out.size()), Charset);
  EXPECT_GE(N, 0) << "charset " << int(Charset);
  Out.resize(N < 0 ? 0 : N / 2);
  return Out;
}

std::string FromWide(const std::u16string& Text, uint8_t Charset) {
  std::string Out(Text.size() * 5 + 8, '\0');
  const int32_t N = WideToBuf(Text.data(), static_cast<int32_t>(2 * Text.size()), Out.data(),
                              static_cast<int32_t>(Out.size()), Charset);
  EXPECT_GE(N, 0) << "charset " << int(Charset);
  Out.resize(N < 0 ? 0 : N);
  return Out;
}

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetSystemCodePages(1252, 850)); }
};

}  // namespace

// Every byte of every single-byte charset survives BufToWide and WideToBuf, and every byte the
// reference converter defines decodes to the reference's character.
TEST_F(ConvertTest, SingleByteCharsetsRoundTripEveryByteAndAgreeWithIcu) {
  std::string All(256, '\0');
  for (int B = 0; B < 256; ++B) All[B] = static_cast<char>(B);
  for (const CodeRow& Row : kSingleByteCodes) {
    SCOPED_TRACE(Row.IcuName);
    ASSERT_TRUE(IsSingleByteCharset(Row.Code));
    const std::u16string Wide = ToWide(All, Row.Code);
    ASSERT_EQ(Wide.size(), 256u);
    EXPECT_EQ(FromWide(Wide, Row.Code), All);
    for (int B = 0x80; B < 256; ++B) {
      const std::u16string Reference = IcuDecode(std::string(1, static_cast<char>(B)), Row.IcuName);
      if (Reference.size() == 1 && Reference[0] != 0xFFFD && Reference[0] != 0x1A) {
        EXPECT_EQ(Wide[B], Reference[0]) << "byte " << B;
      }
    }
  }
}

// Text built by ICU in each multi-byte charset decodes to the original and encodes back to the
// same bytes.
TEST_F(ConvertTest, MultiByteCharsetsRoundTripIcuSamples) {
  const struct {
    uint8_t Code;
    const char* IcuName;
    std::u16string Text;
  } Rows[] = {
      {42, "UTF-8", u"Grüße, Привет, 日本語, \U0001F600 + a"},
      {43, "UTF-16LE", u"Grüße, Привет, 日本語, \U0001F600"},
      {44, "UTF-7", u"Grüße, Привет + 1, 日本語"},
      {45, "windows-31j", u"日本語のテキスト abc"},
      {46, "windows-936", u"中文文本 abc"},
      {47, "windows-949", u"한국어 텍스트 abc"},
      {48, "windows-950", u"中文字 abc"},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.IcuName);
    const std::string Bytes = IcuEncode(Row.Text, Row.IcuName);
    ASSERT_FALSE(Bytes.empty());
    EXPECT_EQ(ToWide(Bytes, Row.Code), Row.Text);
    if (Row.Code != 44) {  // UTF-7 has several spellings of one text
      EXPECT_EQ(FromWide(Row.Text, Row.Code), Bytes);
    }
    EXPECT_EQ(ToWide(FromWide(Row.Text, Row.Code), Row.Code), Row.Text);
  }
}

TEST_F(ConvertTest, KnownBytesOfTheCyrillicAndWesternPages) {
  const struct {
    uint8_t Code;
    uint8_t Byte;
    char16_t Unit;
  } Rows[] = {
      {17, 0xC0, u'А'}, {17, 0xFF, u'я'}, {17, 0xB8, u'ё'}, {14, 0xC1, u'а'}, {14, 0xE1, u'А'},
      {36, 0x80, u'А'}, {36, 0xA0, u'а'}, {36, 0xE0, u'р'}, {5, 0xB0, u'А'},  {18, 0x80, u'€'},
      {18, 0xE9, u'é'}, {31, 0x82, u'é'}, {1, 0xE9, u'é'},  {16, 0x8A, u'Š'}, {19, 0xE1, u'α'},
  };
  for (const auto& Row : Rows) {
    EXPECT_EQ(CharToWideChar(Row.Byte, Row.Code), Row.Unit) << int(Row.Code) << " " << int(Row.Byte);
    EXPECT_EQ(WideCharToChar(Row.Unit, Row.Code), Row.Byte) << int(Row.Code) << " " << int(Row.Byte);
  }
  // A byte the code page leaves undefined is no character, yet survives a buffer round trip.
  EXPECT_EQ(CharToWideChar(0xD2, 19), 0);
  EXPECT_EQ(CharToWideChar(0x81, 38), 0);
  EXPECT_EQ(FromWide(ToWide("\xD2\xFF", 19), 19), "\xD2\xFF");
  EXPECT_EQ(FromWide(ToWide("\x81", 38), 38), "\x81");
  // windows-1252 assigns its five gaps to the C1 controls of the same value, as the system does.
  EXPECT_EQ(CharToWideChar(0x81, 18), u'\x81');
  // Multi-byte charsets answer single ASCII bytes only.
  EXPECT_EQ(CharToWideChar('a', 42), u'a');
  EXPECT_EQ(CharToWideChar(0xC3, 42), 0);
  EXPECT_EQ(WideCharToChar(u'é', 42), 0);
}

// WideToBuf writes a zero byte where the charset has no character; ConvertBufsDef and ConvertBufDef
// write the default character given.
TEST_F(ConvertTest, UnmappableCharactersBecomeTheDefaultCharacter) {
  EXPECT_EQ(FromWide(u"aЖ€b", 18), std::string("a\0\x80"
                                               "b",
                                               4));
  // No look-alike stands in for a missing letter (Ā is not A, ＡＢ are not AB): a pattern must not
  // match text it does not contain.
  EXPECT_EQ(FromWide(u"Ā\uFF21\uFF22", 18), std::string(3, '\0'));
  EXPECT_EQ(FromWide(u"aéb", 17), std::string("a\0b", 3));
  EXPECT_EQ(FromWide(u"aกb", 45), std::string("a\0b", 3));  // Thai is not in Shift_JIS

  const std::string Utf8 = IcuEncode(u"aЖéb", "UTF-8");
  std::string Out(16, 'x');
  int32_t N = ConvertBufsDef(Utf8.data(), static_cast<int32_t>(Utf8.size()), Out.data(), 16, 42, 18, '?');
  EXPECT_EQ(Out.substr(0, N),
            "a?\xE9"
            "b");
  N = ConvertBufsDef(Utf8.data(), static_cast<int32_t>(Utf8.size()), Out.data(), 16, 42, 17);
  EXPECT_EQ(Out.substr(0, N), std::string("a\xC6\0b", 4));
  const std::string Cp866 = IcuEncode(u"Жa", "IBM866");
  N = ConvertBufsDef(Cp866.data(), 2, Out.data(), 16, 36, 18, '#');
  EXPECT_EQ(Out.substr(0, N), "#a");
  N = ConvertBufsDef(Cp866.data(), 2, Out.data(), 16, 36, 43);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Out.data()), N / 2), u"Жa");
  const std::string Thai = IcuEncode(u"xกy", "windows-874");
  N = ConvertBufsDef(Thai.data(), 3, Out.data(), 16, 25, 45, '?');
  EXPECT_EQ(Out.substr(0, N), "x?y");

  std::string InPlace = IcuEncode(u"Жa\u0401", "cp1251");
  EXPECT_EQ(ConvertBufDef(InPlace.data(), 3, 17, 36), 3);
  EXPECT_EQ(IcuDecode(InPlace, "IBM866"), u"Жa\u0401");
  EXPECT_EQ(ConvertBufDef(InPlace.data(), 3, 36, 18), 3);
  EXPECT_EQ(InPlace, "?a?");
  EXPECT_EQ(ConvertBufDef(InPlace.data(), 3, 42, 18), kErrorCharset);
}

TEST_F(ConvertTest, MalformedUtf8BecomesReplacementCharacters) {
  const std::string Bad = "a\xC3(\xE2\x82";  // a lone lead byte, then a sequence cut off
  const std::u16string Wide = ToWide(Bad, 42);
  EXPECT_EQ(Wide.substr(0, 3), u"a\uFFFD(");
  EXPECT_EQ(Wide.back(), u'\uFFFD');
  // Two target bytes per source byte are always enough.
  std::u16string Room(Bad.size(), u'\0');
  EXPECT_GE(BufToWide(Bad.data(), 5, Room.data(), 10, 42), 0);
  // A lone surrogate encodes as U+FFFD in UTF-8.
  EXPECT_EQ(FromWide(std::u16string(1, u'\xD800') + u"a", 42),
            "\xEF\xBF\xBD"
            "a");
}

// A byte sequence a double-byte page cannot decode becomes U+FFFD, also after an encoding into that
// page chose its own default character.
TEST_F(ConvertTest, UndecodableDoubleByteInputBecomesReplacementCharacters) {
  for (uint8_t Code : {45, 46, 47, 48}) {
    SCOPED_TRACE(int(Code));
    const std::string Bad = "a\x81";  // a lead byte without its trail byte
    EXPECT_EQ(ToWide(Bad, Code), u"a\uFFFD");
    char Out[8];
    ASSERT_GE(ConvertBufsDef("\xE9", 1, Out, 8, 18, Code, '#'), 0);
    EXPECT_EQ(ToWide(Bad, Code), u"a\uFFFD");
  }
}

// Every buffer routine refuses a short target instead of cutting the output.
TEST_F(ConvertTest, TargetTooSmallIsAFailure) {
  char Small[8];
  const std::string Bytes = "abcdef";
  const std::u16string Wide = u"abcdef";
  EXPECT_EQ(BufToWide(Bytes.data(), 6, Small, 8, 18), kErrorTargetTooSmall);
  EXPECT_EQ(BufToWide(Bytes.data(), 6, Small, 8, 42), kErrorTargetTooSmall);
  EXPECT_EQ(WideToBuf(Wide.data(), 12, Small, 5, 18), kErrorTargetTooSmall);
  EXPECT_EQ(WideToBuf(u"ééé", 6, Small, 5, 42), kErrorTargetTooSmall);
  EXPECT_EQ(ConvertBufsDef(Bytes.data(), 6, Small, 5, 18, 17), kErrorTargetTooSmall);
  EXPECT_EQ(ConvertBufsDef(Bytes.data(), 6, Small, 5, 18, 18), kErrorTargetTooSmall);
  EXPECT_EQ(ConvertBufsDef(Bytes.data(), 6, Small, 8, 18, 43), kErrorTargetTooSmall);
  EXPECT_EQ(AdjustLineBreaksBufWide(u"a\nb", 6, Small, 6), kErrorTargetTooSmall);
  // Exactly enough room succeeds.
  EXPECT_EQ(WideToBuf(u"ééé", 6, Small, 6, 42), 6);
  EXPECT_EQ(BufToWide(Bytes.data(), 4, Small, 8, 18), 8);
}

TEST_F(ConvertTest, UnknownCharsetsAndBadArguments) {
  char Out[16];
  for (uint8_t Code : {12, 27, 39, 49, 255}) {
    EXPECT_FALSE(IsKnownCharset(Code));
    EXPECT_EQ(BufToWide("a", 1, Out, 16, Code), kErrorCharset);
    EXPECT_EQ(WideToBuf(u"a", 2, Out, 16, Code), kErrorCharset);
    EXPECT_EQ(ConvertBufsDef("a", 1, Out, 16, Code, 18), kErrorCharset);
    EXPECT_EQ(CharToWideChar('a', Code), 0);
    EXPECT_EQ(GetTransMap(Code, 18), nullptr);
  }
  EXPECT_EQ(BufToWide("a", -1, Out, 16, 18), kErrorArgument);
  EXPECT_EQ(BufToWide(nullptr, 3, Out, 16, 18), kErrorArgument);
  EXPECT_EQ(WideToBuf(u"a", 2, nullptr, 4, 18), kErrorArgument);
  EXPECT_EQ(BufToWide(nullptr, 0, nullptr, 0, 42), 0);
}

// Charset 0 is the system Windows code page.
TEST_F(ConvertTest, CharsetZeroIsTheSystemWindowsPage) {
  EXPECT_EQ(ToWide("\xC0", 0), u"À");
  ASSERT_TRUE(SetSystemCodePages(1251, 866));
  EXPECT_EQ(ToWide("\xC0", 0), u"А");
  EXPECT_EQ(FromWide(u"Жé", 0), std::string("\xC6\0", 2));
}

TEST_F(ConvertTest, AdjustLineBreaksMakesEveryBreakCrLf) {
  const struct {
    std::u16string In;
    std::u16string Out;
  } Rows[] = {
      {u"", u""},
      {u"abc", u"abc"},
      {u"a\rb\nc\r\nd", u"a\r\nb\r\nc\r\nd"},
      {u"\n\r", u"\r\n\r\n"},
      {u"\r\r\n\n", u"\r\n\r\n\r\n"},
      {u"end\r", u"end\r\n"},
  };
  for (const auto& Row : Rows) {
    std::u16string Out(2 * Row.In.size() + 1, u'\0');
    const int32_t N = AdjustLineBreaksBufWide(Row.In.data(), static_cast<int32_t>(2 * Row.In.size()),
                                              Out.data(), static_cast<int32_t>(2 * Out.size()));
    ASSERT_GE(N, 0);
    EXPECT_EQ(Out.substr(0, N / 2), Row.Out);
  }
  // A trailing odd byte is no unit.
  char16_t Out[4];
  EXPECT_EQ(AdjustLineBreaksBufWide(u"ab", 3, Out, 8), 2);
}

TEST_F(ConvertTest, SingleCharacterRoutines) {
  EXPECT_EQ(UpperChar(0xE0, 17), 0xC0);  // а -> А
  EXPECT_EQ(UpperChar(0xB8, 17), 0xA8);  // ё -> Ё
  EXPECT_EQ(UpperChar(0xFF, 18), 0x9F);  // ÿ -> Ÿ
  EXPECT_EQ(UpperChar(0xDF, 18), 0xDF);  // ß keeps its one byte
  EXPECT_EQ(UpperChar(0xB5, 18), 0);     // µ: its capital is not in windows-1252
  EXPECT_EQ(UpperChar('q', 42), 'Q');
  EXPECT_EQ(UpperChar(0xE0, 42), 0);
  EXPECT_EQ(ConvertChar(0xC0, 17, 36), 0x80);
  EXPECT_EQ(ConvertChar(0xE9, 18, 31), 0x82);
  EXPECT_EQ(ConvertChar(0xE9, 18, 17), 0);
  EXPECT_EQ(ConvertChar('A', 42, 17), 'A');
}

TEST_F(ConvertTest, TransMapTranslatesHighBytes) {
  EXPECT_EQ(GetTransMap(17, 17), nullptr);
  EXPECT_EQ(GetTransMap(17, 42), nullptr);
  const uint8_t* Map = GetTransMap(17, 36);
  ASSERT_NE(Map, nullptr);
  EXPECT_EQ(Map, GetTransMap(17, 36));  // built once
  EXPECT_EQ(Map[0xC0 - 128], 0x80);     // А
  EXPECT_EQ(Map[0xB9 - 128], 0xFC);     // №
  EXPECT_EQ(Map[0x80 - 128], 0);        // Ђ is not in IBM866
  const uint8_t* Western = GetTransMap(31, 18);
  ASSERT_NE(Western, nullptr);
  EXPECT_EQ(Western[0x82 - 128], 0xE9);  // é
}
