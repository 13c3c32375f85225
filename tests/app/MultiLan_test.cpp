#include "app/MultiLan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "app/MLUtil.h"
#include "app/VLocales.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/app/AppFixtures.h"
#include "tests/app/LangFakes.h"

namespace {

class MultiLang : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }

  std::u16string Write(const std::string& Name, const std::string& Text) {
    WriteFileBytes(Folder_ / Name, Text);
    return Utf8ToUtf16(Folder_ / Name);
  }

  TTempFolder Folder_;
};

TEST_F(MultiLang, SelectsLanguagesAndCapturesTheMainWindowBeforeTheFirstSwitch) {
  TFakeComponent Main{"Main", "TMain"}, Button{"Button"};
  Main.Texts["Caption"] = u"Designed";
  Button.Texts["Caption"] = u"Go";
  Main.Children = {&Button};
  TFakeScreen Screen;
  Screen.Forms = {&Main};

  TMultiLang Languages(&Screen);
  int Changes = 0;
  Languages.OnChange = [&] { ++Changes; };
  EXPECT_EQ(Languages.GetLanguageIndex(), -1);
  Languages.AddLanguage("English", 1);
  const int32_t XX = Languages.LoadLanguageFile(
      Write("xx.lng",
            "[!META]\nLANGUAGE=XX\nLANGID=1031\n[Main]\nCaption=XX\nButton.Caption=XX go\n[$]\nOK=xok\n"));
  EXPECT_EQ(XX, 1);
  EXPECT_EQ(Languages.GetLanguageIndex(), 0);  // the first file selects the built-in language
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Languages.LanguageOfId("1031"), 1);
  EXPECT_EQ(Languages.LanguageOfId("1049"), -1);

  std::u16string Value;
  EXPECT_FALSE(Languages.GetString("OK", Value));  // language 0 has no string entries
  Languages.SetLanguageIndex(1);
  EXPECT_EQ(Changes, 2);
  EXPECT_EQ(Main.Texts["Caption"], u"XX");
  EXPECT_EQ(Button.Texts["Caption"], u"XX go");
  ASSERT_TRUE(Languages.GetString("ok", Value));
  EXPECT_EQ(Value, u"xok");
  Languages.SetLanguageIndex(1);
  EXPECT_EQ(Changes, 2);  // no change, no event

  Languages.SetLanguageIndex(0);
  EXPECT_EQ(Main.Texts["Caption"], u"Designed");
  EXPECT_EQ(Button.Texts["Caption"], u"Go");

  for (int32_t Bad : {2, -1, -7}) EXPECT_THROW(Languages.SetLanguageIndex(Bad), EMultiLang) << Bad;
  EXPECT_EQ(Languages.GetLanguageIndex(), 0);
  Languages.ChangeLanguage(5, true, nullptr, false);
  EXPECT_EQ(Languages.GetLanguageIndex(), 0);
}

TEST_F(MultiLang, WindowsMadeLaterAreCapturedThenTranslated) {
  TFakeScreen Screen;
  TMultiLang Languages(&Screen);
  Languages.AddLanguage("English", 1);
  Languages.LoadLanguageFile(Write("xx.lng", "[!META]\nLANGUAGE=XX\n[Search]\nCaption=XX search\n"));
  Languages.SetLanguageIndex(1);

  TFakeComponent Dialog{"Search", "TSearch"};
  Dialog.Texts["Caption"] = u"Search";
  ILangForm* Made = Languages.CreateForm(
      [&]() -> ILangForm* {
        Screen.Forms.push_back(&Dialog);
        return &Dialog;
      },
      0);
  EXPECT_EQ(Made, &Dialog);
  EXPECT_EQ(Dialog.Texts["Caption"], u"XX search");
  Languages.SetLanguageIndex(0);
  EXPECT_EQ(Dialog.Texts["Caption"], u"Search");
  EXPECT_EQ(Languages.CreateForm([]() -> ILangForm* { return nullptr; }, 0), nullptr);
}

// ---- The language menu ----

class LanguageMenu : public MultiLang {
 protected:
  void SetUp() override {
    MultiLang::SetUp();
    Languages_.AddLanguage("English", 1);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> R;
    for (const auto& I : Menu_.Items) R.push_back(I.Name);
    return R;
  }
  std::vector<std::u16string> Captions() const {
    std::vector<std::u16string> R;
    for (const auto& I : Menu_.Items) R.push_back(I.Caption);
    return R;
  }

  TMultiLang Languages_;
  std::vector<TLanguageFile> Files_;
  TLanguageMenu Menu_;
};

TEST_F(LanguageMenu, TheFixturesGiveOneItemEachInNameOrder) {
  LoadLanguages(Languages_, Utf8ToUtf16(AppTestData("lng")), kLanguageFileMask, Files_, Menu_);
  EXPECT_TRUE(Menu_.Enabled);
  EXPECT_EQ(Captions(), (std::vector<std::u16string>{u"English", u"English (UK)",
                                                     u"\u0420\u0443\u0441\u0441\u043A\u0438\u0439"}));
  EXPECT_EQ(Names(), (std::vector<std::string>{"ml0", "ml1", "ml2"}));
  ASSERT_EQ(Files_.size(), 2u);
  EXPECT_EQ(Languages_.GetLanguageName(1), "UK");
  EXPECT_EQ(Languages_.GetLanguageName(2), "RU");
  EXPECT_EQ(Menu_.Items[2].HotKey, 3);  // Ctrl+Alt+F3
  EXPECT_EQ(Languages_.LanguageOfId("1049"), 2);
}

TEST_F(LanguageMenu, FilesThatFailOrRepeatANameNeverShiftTheItems) {
  const std::string Meta = "[!META]\nLANGUAGE=";
  Write("qvsrch1.lng", Meta + "AA\nNAME=Alpha\n[$]\nOK=a\n");
  Write("qvsrch2.lng", Meta + "BB\nNAME=Beta\n[$]\n=broken\n");  // fails after its LANGUAGE line
  Write("qvsrch3.lng", Meta + "CC\nNAME=Alpha\n[$]\nOK=c\n");    // shows the name of another file
  Write("qvsrch4.lng", Meta + "DD,204\n[$]\nOK=d\n");            // no NAME: the language up to ","
  Write("qvsrch5.lng", "[$]\nOK=e\n");                           // no meta section: not a language file
  Write("qvsrch6.lng", "[!META]\nNAME=Nameless\n");              // no language: left out
  Write("other.lng", Meta + "ZZ\n");                             // not matching the mask
  LoadLanguages(Languages_, Utf8ToUtf16(Folder_.Path), kLanguageFileMask, Files_, Menu_);

  EXPECT_EQ(Captions(), (std::vector<std::u16string>{u"English", u"Alpha", u"DD"}));
  // Every item selects the language whose name it shows.
  for (const auto& Item : Menu_.Items) {
    EXPECT_EQ(Item.Name, "ml" + std::to_string(Item.LanguageIndex));
    if (Item.Caption == u"Alpha") {
      EXPECT_EQ(Languages_.GetLanguageName(Item.LanguageIndex), "AA");
    }
    if (Item.Caption == u"DD") {
      EXPECT_EQ(Languages_.GetLanguageName(Item.LanguageIndex), "DD");
    }
  }
  EXPECT_EQ(Languages_.GetLanguageCount(), 4);  // English, AA, CC, DD: the failing file added nothing
  EXPECT_EQ(Languages_.GetStorage().IndexOfLanguage("BB"), -1);
  ASSERT_EQ(Files_.size(), 3u);
  for (const auto& F : Files_) EXPECT_EQ(Languages_.GetLanguageName(F.LanguageIndex).size(), 2u);
  ASSERT_NE(Menu_.ItemOfLanguage(3), nullptr);
  EXPECT_EQ(Menu_.ItemOfLanguage(3)->Caption, u"DD");
  EXPECT_EQ(Menu_.ItemOfLanguage(2), nullptr);  // CC: the name was taken
}

TEST_F(LanguageMenu, NoFilesLeaveTheMenuDisabled) {
  Write("qvsrchbad.lng", "no meta here\n");
  LoadLanguages(Languages_, Utf8ToUtf16(Folder_.Path), kLanguageFileMask, Files_, Menu_);
  EXPECT_FALSE(Menu_.Enabled);
  EXPECT_TRUE(Menu_.Items.empty());
  EXPECT_TRUE(Files_.empty());
}

TEST_F(LanguageMenu, TwelveItemsGetHotKeys) {
  for (int I = 0; I < 14; ++I)
    EXPECT_TRUE(Menu_.AddLanguageMenuItem(u"L" + Utf8ToUtf16(std::to_string(I)), I));
  EXPECT_FALSE(Menu_.AddLanguageMenuItem(u"L3", 20));
  EXPECT_EQ(Menu_.Items[0].HotKey, 1);
  EXPECT_EQ(Menu_.Items[11].HotKey, 12);
  EXPECT_EQ(Menu_.Items[12].HotKey, 0);
}

TEST_F(LanguageMenu, AFileEditedWhileRunningIsReadAgainWhenChosen) {
  const std::u16string File = Write("qvsrchxx.lng", "[!META]\nLANGUAGE=XX\n[$]\nOK=old\n");
  LoadLanguages(Languages_, Utf8ToUtf16(Folder_.Path), kLanguageFileMask, Files_, Menu_);
  ASSERT_EQ(Files_.size(), 1u);
  TDateTime LoadedAt = 0;
  ASSERT_TRUE(WideGetFileInfo(File, nullptr, &LoadedAt, nullptr, nullptr, nullptr));
  std::vector<std::string> Log;
  auto Logger = [&](const std::string& Line) { Log.push_back(Line); };

  // Edited, with a write time later than the load.
  Write("qvsrchxx.lng", "[!META]\nLANGUAGE=XX\n[$]\nOK=new\n");
  const std::string Path = Folder_ / "qvsrchxx.lng";
  struct utimbuf Times {
    time(nullptr) + 60, time(nullptr) + 60
  };
  ASSERT_EQ(utime(Path.c_str(), &Times), 0);
  SetLanguage(Languages_, Files_, LoadedAt, 1, Logger);
  std::u16string Value;
  ASSERT_TRUE(Languages_.GetString("OK", Value));
  EXPECT_EQ(Value, u"new");
  EXPECT_GT(Files_[0].ImportedAt, LoadedAt);

  // Broken and touched again: the error is logged and the entries stay.
  Write("qvsrchxx.lng", "[!META]\nLANGUAGE=XX\n[$]\nOK=newer\n[]\n");
  Times.modtime += 60;
  ASSERT_EQ(utime(Path.c_str(), &Times), 0);
  SetLanguage(Languages_, Files_, LoadedAt, 0, Logger);
  EXPECT_TRUE(Log.empty());  // the built-in language has no file
  SetLanguage(Languages_, Files_, LoadedAt, 1, Logger);
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_NE(Log[0].find("(line 5)\r\nIllegal section name"), std::string::npos) << Log[0];
  ASSERT_TRUE(Languages_.GetString("OK", Value));
  EXPECT_EQ(Value, u"new");

  // Unchanged since: not read again.
  SetLanguage(Languages_, Files_, LoadedAt, 1, Logger);
  EXPECT_EQ(Log.size(), 1u);
}

TEST(LanguageNames, GermanShowsItsOwnCtrlKey) {
  EXPECT_EQ(CtrlShortcutPrefix("DE"), u"Strg+");
  EXPECT_EQ(CtrlShortcutPrefix("de"), u"Ctrl+");
  EXPECT_EQ(CtrlShortcutPrefix("RU"), u"Ctrl+");
}

// ---- The locale ----

TEST(Locales, PrimaryLanguagesHaveCodes) {
  struct TCase {
    uint32_t LCID;
    const char* Code;
  } Cases[] = {
      {0x0406, "DK"}, {0x0407, "DE"}, {0x0C07, "DE"}, {0x0409, "UK"}, {0x0809, "UK"}, {0x040A, "ES"},
      {0x040B, "FI"}, {0x040C, "FR"}, {0x0410, "IT"}, {0x0413, "NL"}, {0x0414, "NO"}, {0x0814, "NO"},
      {0x0419, "RU"}, {0x041D, "SE"}, {0x0415, ""},   {0x0411, ""},   {0, ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(LanguageCodeFromLCID(C.LCID), C.Code) << std::hex << C.LCID;
}

TEST(Locales, LocaleNamesGiveTheirLanguage) {
  struct TCase {
    const char* Name;
    const char* Code;
  } Cases[] = {
      {"de_DE.UTF-8", "DE"},  {"de_AT", "DE"},
      {"ru_RU.KOI8-R", "RU"}, {"nb_NO.UTF-8", "NO"},
      {"nn_NO", "NO"},        {"sv_FI@euro", "SE"},
      {"en_GB.UTF-8", "UK"},  {"fr", "FR"},
      {"pl_PL.UTF-8", ""},    {"C", ""},
      {"POSIX", ""},          {"", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(LanguageCodeFromLCID(LCIDFromLocaleName(C.Name)), C.Code) << C.Name;
}

TEST(Locales, TheFirstLanguageNamedByTheCodeIsChosen) {
  TMultiLang Languages;
  Languages.AddLanguage("English", 1);
  Languages.AddLanguage("de", 1);  // not the code exactly
  Languages.AddLanguage("RU", 204);
  EXPECT_EQ(LanguageIndexForLCID(Languages, LCIDFromLocaleName("ru_RU.UTF-8")), 2);
  EXPECT_EQ(LanguageIndexForLCID(Languages, LCIDFromLocaleName("de_DE.UTF-8")), -1);
  EXPECT_EQ(LanguageIndexForLCID(Languages, LCIDFromLocaleName("ja_JP.UTF-8")), -1);

  const char* Saved = std::getenv("LC_ALL");
  const std::string Keep = Saved ? Saved : "";
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  EXPECT_EQ(LanguageIndexForLCID(Languages, GetSystemDefaultLCID()), 2);
  if (Saved)
    setenv("LC_ALL", Keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

}  // namespace
