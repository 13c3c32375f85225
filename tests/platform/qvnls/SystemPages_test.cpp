#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <string>

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

using namespace qvnls;

namespace {

class SystemPagesTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetSystemCodePages(); }
};

std::string Oem(std::string S) {
  OemToCharBuffA(S.data(), S.data(), static_cast<uint32_t>(S.size()));
  return S;
}

}  // namespace

TEST_F(SystemPagesTest, SettingChoosesThePagesAndTheirCharsets) {
  ASSERT_TRUE(SetSystemCodePages(1251, 866));
  EXPECT_EQ(GetWindowsCodePage(kLocaleSystemDefault), 1251);
  EXPECT_EQ(GetOEMCodePage(kLocaleSystemDefault), 866);
  EXPECT_EQ(GetWindowsCodePage(kLocaleUserDefault), 1251);
  EXPECT_EQ(GetAnsiCharset(), 17);
  EXPECT_EQ(GetOemCharset(), 36);
  EXPECT_EQ(FontCharsetToHTMLCharset(1), 17);    // DEFAULT_CHARSET
  EXPECT_EQ(FontCharsetToHTMLCharset(255), 36);  // OEM_CHARSET

  // Pages without a single-byte charset are refused and change nothing.
  EXPECT_FALSE(SetSystemCodePages(65001, 866));
  EXPECT_FALSE(SetSystemCodePages(1251, 932));
  EXPECT_FALSE(SetSystemCodePages(1234, 850));
  EXPECT_EQ(GetWindowsCodePage(kLocaleSystemDefault), 1251);
  EXPECT_EQ(GetOEMCodePage(kLocaleSystemDefault), 866);
}

TEST_F(SystemPagesTest, CyrillicRoutines) {
  ASSERT_TRUE(SetSystemCodePages(1251, 866));
  EXPECT_EQ(Oem("\x80\xA0\xE0\xF0"), "\xC0\xE0\xF0\xA8");  // А а р Ё
  std::string S = "\xC0\xE0\xF0\xA8";
  CharToOemBuffA(S.data(), S.data(), 4);
  EXPECT_EQ(S, "\x80\xA0\xE0\xF0");
  S = "abc\xE0\xFF\xB8";
  EXPECT_EQ(CharUpperBuffA(S.data(), static_cast<uint32_t>(S.size())), S.size());
  EXPECT_EQ(S, "ABC\xC0\xDF\xA8");               // а я ё
  EXPECT_EQ(OemToAnsiUpperTable()[0xA0], 0xC0);  // а in the OEM page -> А in the Windows page
  EXPECT_EQ(OemToAnsiTable()[0xB0], '?');        // a box-drawing shade has no Windows character
  EXPECT_TRUE(IsCharAlphaA('\xC0'));
  EXPECT_TRUE(IsCharAlphaA('z'));
  EXPECT_FALSE(IsCharAlphaA('\xB9'));  // №
  EXPECT_FALSE(IsCharAlphaA('1'));
}

TEST_F(SystemPagesTest, WesternRoutines) {
  ASSERT_TRUE(SetSystemCodePages(1252, 850));
  EXPECT_EQ(Oem("\x82\x81\xE1"), "\xE9\xFC\xDF");  // é ü ß
  std::string S = "\xE9\xFF\xDF\xB5";
  CharUpperBuffA(S.data(), 4);
  EXPECT_EQ(S, "\xC9\x9F\xDF\xB5");  // É Ÿ; ß and µ stay
  EXPECT_EQ(OemToAnsiUpperTable()[0x82], 0xC9);
  EXPECT_EQ(AnsiToOemTable()[0xE9], 0x82);
  EXPECT_TRUE(IsCharAlphaA('\xE9'));
  EXPECT_TRUE(IsCharAlphaA('\xAA'));   // ª is a letter
  EXPECT_FALSE(IsCharAlphaA('\xD7'));  // ×
  EXPECT_FALSE(IsCharAlphaA('\x81'));  // undefined
}

// Other Windows locale identifiers answer their language's pages.
TEST_F(SystemPagesTest, LocaleIdentifiers) {
  const struct {
    uint32_t Locale;
    int32_t Ansi, Oem;
  } Rows[] = {
      {0x0419, 1251, 866}, {0x0408, 1253, 737}, {0x041F, 1254, 857}, {0x0405, 1250, 852}, {0x0407, 1252, 850},
      {0x040D, 1255, 862}, {0x0426, 1257, 775}, {0x7F, 1252, 437},   {0x0411, 932, 932},  {0x0077, -1, -1},
  };
  for (const auto& Row : Rows) {
    EXPECT_EQ(GetWindowsCodePage(Row.Locale), Row.Ansi) << std::hex << Row.Locale;
    EXPECT_EQ(GetOEMCodePage(Row.Locale), Row.Oem) << std::hex << Row.Locale;
  }
}

// The default pages follow the locale's language; a language whose Windows page is not single-byte,
// and the C locale, give the Western pair.
TEST_F(SystemPagesTest, DefaultsFollowTheLocale) {
  const std::string Saved = uloc_getDefault();
  const struct {
    const char* Locale;
    int32_t Ansi, Oem;
  } Rows[] = {
      {"ru_RU", 1251, 866},       {"uk_UA", 1251, 866}, {"el_GR", 1253, 737}, {"tr_TR", 1254, 857},
      {"pl_PL", 1250, 852},       {"de_DE", 1252, 850}, {"sr_RS", 1251, 866}, {"sr_Latn_RS", 1250, 852},
      {"en_US_POSIX", 1252, 850}, {"ja_JP", 1252, 850}, {"xx_YY", 1252, 850},
  };
  for (const auto& Row : Rows) {
    UErrorCode Error = U_ZERO_ERROR;
    uloc_setDefault(Row.Locale, &Error);
    ResetSystemCodePages();
    EXPECT_EQ(GetWindowsCodePage(kLocaleSystemDefault), Row.Ansi) << Row.Locale;
    EXPECT_EQ(GetOEMCodePage(kLocaleSystemDefault), Row.Oem) << Row.Locale;
  }
  UErrorCode Error = U_ZERO_ERROR;
  uloc_setDefault(Saved.c_str(), &Error);
}

TEST(CharsetNamesTest, NamesAndCodePages) {
  const struct {
    const char* Name;
    uint8_t Code;
  } Lookups[] = {
      {"windows-1251", 17}, {"CP1251", 17},    {"koi8-r", 14},   {"KOI8-U", 15},      {"utf-8", 42},
      {"UTF8", 42},         {"utf-16", 43},    {"UTF-16LE", 43}, {"utf-7", 44},       {"latin1", 1},
      {"ISO_8859-1", 1},    {"iso-8859-5", 5}, {"ibm866", 36},   {"cp866", 36},       {"us-ascii", 18},
      {"shift_jis", 45},    {"gb2312", 46},    {"GBK", 46},      {"euc-kr", 47},      {"big5", 48},
      {"iso-8859-15", 26},  {"x-bogus", 0},    {"", 0},          {"ebcdic-cp-us", 0},
  };
  for (const auto& Row : Lookups) EXPECT_EQ(GetHTMLCharsetP(Row.Name), Row.Code) << Row.Name;
  EXPECT_EQ(GetHTMLCharsetP(nullptr), 0);

  // Every assigned code has a name that leads back to it.
  for (int Code = 1; Code < 256; ++Code) {
    char Name[256];
    const bool Known = GetHTMLCharsetNameBuf(static_cast<uint8_t>(Code), Name, sizeof Name);
    EXPECT_EQ(Known, IsKnownCharset(static_cast<uint8_t>(Code))) << Code;
    if (Known) {
      EXPECT_EQ(GetHTMLCharsetP(Name), Code) << Name;
      EXPECT_NE(CharsetToWindows(static_cast<uint8_t>(Code)), 0) << Code;
    }
  }
  char Name[16];
  ASSERT_TRUE(GetHTMLCharsetNameBuf(17, Name, sizeof Name));
  EXPECT_STREQ(Name, "windows-1251");
  EXPECT_FALSE(GetHTMLCharsetNameBuf(17, Name, 12));  // no room for the terminating zero
  EXPECT_TRUE(GetHTMLCharsetNameBuf(17, Name, 13));
  EXPECT_FALSE(GetHTMLCharsetNameBuf(0, Name, sizeof Name));

  const struct {
    int32_t CodePage;
    uint8_t Code;
  } Pages[] = {{1250, 16}, {1251, 17},  {1252, 18},  {874, 25},  {866, 36}, {850, 31},
               {437, 30},  {20866, 14}, {65001, 42}, {1200, 43}, {12345, 0}};
  for (const auto& Row : Pages) {
    EXPECT_EQ(WindowsCodePageToHTMLCharset(Row.CodePage), Row.Code) << Row.CodePage;
    EXPECT_EQ(DOSCodePageToHTMLCharset(Row.CodePage), Row.Code) << Row.CodePage;
  }
  const struct {
    uint8_t Code, Windows;
  } Scripts[] = {{1, 18},  {2, 16},  {5, 17},  {14, 17}, {15, 17}, {36, 17},
                 {31, 18}, {33, 19}, {17, 17}, {42, 42}, {43, 43}, {12, 0}};
  for (const auto& Row : Scripts) EXPECT_EQ(CharsetToWindows(Row.Code), Row.Windows) << int(Row.Code);
  const struct {
    uint8_t Font, Code;
  } Fonts[] = {{0, 18}, {204, 17}, {238, 16}, {161, 19}, {162, 20}, {128, 45}, {2, 0}};
  for (const auto& Row : Fonts) EXPECT_EQ(FontCharsetToHTMLCharset(Row.Font), Row.Code) << int(Row.Font);
  EXPECT_GE(GetVersion(), 21017);
}
