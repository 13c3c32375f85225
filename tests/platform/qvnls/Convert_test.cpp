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
  uint8_t code;
  const char* icuName;
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

std::u16string ToWide(const std::string& bytes, uint8_t charset) {
  std::u16string out(bytes.size() + 4, u'\0');
  const int32_t n = BufToWide(bytes.data(), static_cast<int32_t>(bytes.size()), out.data(),
                              static_cast<int32_t>(2 * out.size()), charset);
  EXPECT_GE(n, 0) << "charset " << int(charset);
  out.resize(n < 0 ? 0 : n / 2);
  return out;
}

std::string FromWide(const std::u16string& text, uint8_t charset) {
  std::string out(text.size() * 5 + 8, '\0');
  const int32_t n = WideToBuf(text.data(), static_cast<int32_t>(2 * text.size()), out.data(),
                              static_cast<int32_t>(out.size()), charset);
  EXPECT_GE(n, 0) << "charset " << int(charset);
  out.resize(n < 0 ? 0 : n);
  return out;
}

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetSystemCodePages(1252, 850)); }
};

}  // namespace

// Every byte of every single-byte charset survives BufToWide and WideToBuf, and every byte the
// reference converter defines decodes to the reference's character.
TEST_F(ConvertTest, SingleByteCharsetsRoundTripEveryByteAndAgreeWithIcu) {
  std::string all(256, '\0');
  for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
  for (const CodeRow& row : kSingleByteCodes) {
    SCOPED_TRACE(row.icuName);
    ASSERT_TRUE(IsSingleByteCharset(row.code));
    const std::u16string wide = ToWide(all, row.code);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(FromWide(wide, row.code), all);
    for (int b = 0x80; b < 256; ++b) {
      const std::u16string reference = IcuDecode(std::string(1, static_cast<char>(b)), row.icuName);
      if (reference.size() == 1 && reference[0] != 0xFFFD && reference[0] != 0x1A) {
        EXPECT_EQ(wide[b], reference[0]) << "byte " << b;
      }
    }
  }
}

// Text built by ICU in each multi-byte charset decodes to the original and encodes back to the
// same bytes.
TEST_F(ConvertTest, MultiByteCharsetsRoundTripIcuSamples) {
  const struct {
    uint8_t code;
    const char* icuName;
    std::u16string text;
  } rows[] = {
      {42, "UTF-8", u"Grüße, Привет, 日本語, \U0001F600 + a"},
      {43, "UTF-16LE", u"Grüße, Привет, 日本語, \U0001F600"},
      {44, "UTF-7", u"Grüße, Привет + 1, 日本語"},
      {45, "windows-31j", u"日本語のテキスト abc"},
      {46, "windows-936", u"中文文本 abc"},
      {47, "windows-949", u"한국어 텍스트 abc"},
      {48, "windows-950", u"中文字 abc"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.icuName);
    const std::string bytes = IcuEncode(row.text, row.icuName);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(ToWide(bytes, row.code), row.text);
    if (row.code != 44) {  // UTF-7 has several spellings of one text
      EXPECT_EQ(FromWide(row.text, row.code), bytes);
    }
    EXPECT_EQ(ToWide(FromWide(row.text, row.code), row.code), row.text);
  }
}

TEST_F(ConvertTest, KnownBytesOfTheCyrillicAndWesternPages) {
  const struct {
    uint8_t code;
    uint8_t byte;
    char16_t unit;
  } rows[] = {
      {17, 0xC0, u'А'}, {17, 0xFF, u'я'}, {17, 0xB8, u'ё'}, {14, 0xC1, u'а'}, {14, 0xE1, u'А'},
      {36, 0x80, u'А'}, {36, 0xA0, u'а'}, {36, 0xE0, u'р'}, {5, 0xB0, u'А'},  {18, 0x80, u'€'},
      {18, 0xE9, u'é'}, {31, 0x82, u'é'}, {1, 0xE9, u'é'},  {16, 0x8A, u'Š'}, {19, 0xE1, u'α'},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CharToWideChar(row.byte, row.code), row.unit) << int(row.code) << " " << int(row.byte);
    EXPECT_EQ(WideCharToChar(row.unit, row.code), row.byte) << int(row.code) << " " << int(row.byte);
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

  const std::string utf8 = IcuEncode(u"aЖéb", "UTF-8");
  std::string out(16, 'x');
  int32_t n = ConvertBufsDef(utf8.data(), static_cast<int32_t>(utf8.size()), out.data(), 16, 42, 18, '?');
  EXPECT_EQ(out.substr(0, n),
            "a?\xE9"
            "b");
  n = ConvertBufsDef(utf8.data(), static_cast<int32_t>(utf8.size()), out.data(), 16, 42, 17);
  EXPECT_EQ(out.substr(0, n), std::string("a\xC6\0b", 4));
  const std::string cp866 = IcuEncode(u"Жa", "IBM866");
  n = ConvertBufsDef(cp866.data(), 2, out.data(), 16, 36, 18, '#');
  EXPECT_EQ(out.substr(0, n), "#a");
  n = ConvertBufsDef(cp866.data(), 2, out.data(), 16, 36, 43);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out.data()), n / 2), u"Жa");
  const std::string thai = IcuEncode(u"xกy", "windows-874");
  n = ConvertBufsDef(thai.data(), 3, out.data(), 16, 25, 45, '?');
  EXPECT_EQ(out.substr(0, n), "x?y");

  std::string inPlace = IcuEncode(u"Жa\u0401", "cp1251");
  EXPECT_EQ(ConvertBufDef(inPlace.data(), 3, 17, 36), 3);
  EXPECT_EQ(IcuDecode(inPlace, "IBM866"), u"Жa\u0401");
  EXPECT_EQ(ConvertBufDef(inPlace.data(), 3, 36, 18), 3);
  EXPECT_EQ(inPlace, "?a?");
  EXPECT_EQ(ConvertBufDef(inPlace.data(), 3, 42, 18), kErrorCharset);
}

TEST_F(ConvertTest, MalformedUtf8BecomesReplacementCharacters) {
  const std::string bad = "a\xC3(\xE2\x82";  // a lone lead byte, then a sequence cut off
  const std::u16string wide = ToWide(bad, 42);
  EXPECT_EQ(wide.substr(0, 3), u"a\uFFFD(");
  EXPECT_EQ(wide.back(), u'\uFFFD');
  // Two target bytes per source byte are always enough.
  std::u16string room(bad.size(), u'\0');
  EXPECT_GE(BufToWide(bad.data(), 5, room.data(), 10, 42), 0);
  // A lone surrogate encodes as U+FFFD in UTF-8.
  EXPECT_EQ(FromWide(std::u16string(1, u'\xD800') + u"a", 42),
            "\xEF\xBF\xBD"
            "a");
}

// A byte sequence a double-byte page cannot decode becomes U+FFFD, also after an encoding into that
// page chose its own default character.
TEST_F(ConvertTest, UndecodableDoubleByteInputBecomesReplacementCharacters) {
  for (uint8_t code : {45, 46, 47, 48}) {
    SCOPED_TRACE(int(code));
    const std::string bad = "a\x81";  // a lead byte without its trail byte
    EXPECT_EQ(ToWide(bad, code), u"a\uFFFD");
    char out[8];
    ASSERT_GE(ConvertBufsDef("\xE9", 1, out, 8, 18, code, '#'), 0);
    EXPECT_EQ(ToWide(bad, code), u"a\uFFFD");
  }
}

// Every buffer routine refuses a short target instead of cutting the output.
TEST_F(ConvertTest, TargetTooSmallIsAFailure) {
  char small[8];
  const std::string bytes = "abcdef";
  const std::u16string wide = u"abcdef";
  EXPECT_EQ(BufToWide(bytes.data(), 6, small, 8, 18), kErrorTargetTooSmall);
  EXPECT_EQ(BufToWide(bytes.data(), 6, small, 8, 42), kErrorTargetTooSmall);
  EXPECT_EQ(WideToBuf(wide.data(), 12, small, 5, 18), kErrorTargetTooSmall);
  EXPECT_EQ(WideToBuf(u"ééé", 6, small, 5, 42), kErrorTargetTooSmall);
  EXPECT_EQ(ConvertBufsDef(bytes.data(), 6, small, 5, 18, 17), kErrorTargetTooSmall);
  EXPECT_EQ(ConvertBufsDef(bytes.data(), 6, small, 5, 18, 18), kErrorTargetTooSmall);
  EXPECT_EQ(ConvertBufsDef(bytes.data(), 6, small, 8, 18, 43), kErrorTargetTooSmall);
  EXPECT_EQ(AdjustLineBreaksBufWide(u"a\nb", 6, small, 6), kErrorTargetTooSmall);
  // Exactly enough room succeeds.
  EXPECT_EQ(WideToBuf(u"ééé", 6, small, 6, 42), 6);
  EXPECT_EQ(BufToWide(bytes.data(), 4, small, 8, 18), 8);
}

TEST_F(ConvertTest, UnknownCharsetsAndBadArguments) {
  char out[16];
  for (uint8_t code : {12, 27, 39, 49, 255}) {
    EXPECT_FALSE(IsKnownCharset(code));
    EXPECT_EQ(BufToWide("a", 1, out, 16, code), kErrorCharset);
    EXPECT_EQ(WideToBuf(u"a", 2, out, 16, code), kErrorCharset);
    EXPECT_EQ(ConvertBufsDef("a", 1, out, 16, code, 18), kErrorCharset);
    EXPECT_EQ(CharToWideChar('a', code), 0);
    EXPECT_EQ(GetTransMap(code, 18), nullptr);
  }
  EXPECT_EQ(BufToWide("a", -1, out, 16, 18), kErrorArgument);
  EXPECT_EQ(BufToWide(nullptr, 3, out, 16, 18), kErrorArgument);
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
    std::u16string in;
    std::u16string out;
  } rows[] = {
      {u"", u""},
      {u"abc", u"abc"},
      {u"a\rb\nc\r\nd", u"a\r\nb\r\nc\r\nd"},
      {u"\n\r", u"\r\n\r\n"},
      {u"\r\r\n\n", u"\r\n\r\n\r\n"},
      {u"end\r", u"end\r\n"},
  };
  for (const auto& row : rows) {
    std::u16string out(2 * row.in.size() + 1, u'\0');
    const int32_t n = AdjustLineBreaksBufWide(row.in.data(), static_cast<int32_t>(2 * row.in.size()),
                                              out.data(), static_cast<int32_t>(2 * out.size()));
    ASSERT_GE(n, 0);
    EXPECT_EQ(out.substr(0, n / 2), row.out);
  }
  // A trailing odd byte is no unit.
  char16_t out[4];
  EXPECT_EQ(AdjustLineBreaksBufWide(u"ab", 3, out, 8), 2);
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
  const uint8_t* map = GetTransMap(17, 36);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map, GetTransMap(17, 36));  // built once
  EXPECT_EQ(map[0xC0 - 128], 0x80);     // А
  EXPECT_EQ(map[0xB9 - 128], 0xFC);     // №
  EXPECT_EQ(map[0x80 - 128], 0);        // Ђ is not in IBM866
  const uint8_t* western = GetTransMap(31, 18);
  ASSERT_NE(western, nullptr);
  EXPECT_EQ(western[0x82 - 128], 0xE9);  // é
}
