#include "app/Startup.h"

#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <string>

#include "platform/qvnls/Qvnls.h"

TEST(Startup, RefusesAnOldNationalLanguageLayer) {
  EXPECT_EQ(CheckQvnlsVersion(21016),
            "Unsupported version of QVNLS.DLL.\r\nVersion 021017 or higher is needed.");
  EXPECT_EQ(CheckQvnlsVersion(0), CheckQvnlsVersion(21016));
}

TEST(Startup, AcceptsOurOwnLayer) {
  EXPECT_FALSE(CheckQvnlsVersion(21017));
  EXPECT_FALSE(CheckQvnlsVersion(qvnls::GetVersion()));
}

TEST(Startup, CodePagesFollowTheCharacterTypeLocale) {
  const struct {
    const char *All, *CType, *Lang;
    const char* Locale;
    int32_t Ansi, Oem;
  } Rows[] = {
      {nullptr, "ru_RU.UTF-8", nullptr, "ru_RU", 1251, 866},
      {nullptr, "ru_RU.UTF-8", "de_DE.UTF-8", "ru_RU", 1251, 866},  // LC_CTYPE before LANG
      {"pl_PL.UTF-8", "ru_RU.UTF-8", nullptr, "pl_PL", 1250, 852},  // LC_ALL before both
      {"", "", "el_GR.UTF-8", "el_GR", 1253, 737},                  // empty variables do not count
      {nullptr, nullptr, "sr_RS@latin", "sr_Latn_RS", 1250, 852},
      {nullptr, nullptr, "de_DE@euro", "de_DE", 1252, 850},
      {nullptr, "C.UTF-8", "ru_RU.UTF-8", "", 1252, 850},  // the C locale: the Western pair
      {nullptr, nullptr, nullptr, "", 1252, 850},
  };
  const std::string Saved = uloc_getDefault();
  for (const auto& Row : Rows) {
    auto Env = [&Row](const char* Var) {
      const std::string Name = Var;
      return Name == "LC_ALL"     ? Row.All
             : Name == "LC_CTYPE" ? Row.CType
             : Name == "LANG"     ? Row.Lang
                                  : nullptr;
    };
    const std::string Locale = CharacterTypeLocale(Env);
    EXPECT_EQ(Locale, Row.Locale);
    UErrorCode Error = U_ZERO_ERROR;
    uloc_setDefault(Locale.empty() ? "en_US_POSIX" : Locale.c_str(), &Error);
    qvnls::ResetSystemCodePages();
    EXPECT_EQ(qvnls::GetWindowsCodePage(qvnls::kLocaleSystemDefault), Row.Ansi) << Row.Locale;
    EXPECT_EQ(qvnls::GetOEMCodePage(qvnls::kLocaleSystemDefault), Row.Oem) << Row.Locale;
  }
  UErrorCode Error = U_ZERO_ERROR;
  uloc_setDefault(Saved.c_str(), &Error);
  qvnls::ResetSystemCodePages();
}
