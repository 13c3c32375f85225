// The language files shipped in the program folder: each one translates every catalogue message and every
// text of every window (the window's title, and the caption, tool tip and list items of each named
// control), so that switching the interface language leaves nothing in English.
#include <gtest/gtest.h>

#include <QApplication>
#include <QRadioButton>
#include <QRegularExpression>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/MLAux.h"
#include "app/MsgStr.h"
#include "app/MultiLan.h"
#include "app/Options.h"
#include "app/ui/AboutForm.h"
#include "app/ui/CustomizeToolbarForm.h"
#include "app/ui/EditFiltersForm.h"
#include "app/ui/EditMasksForm.h"
#include "app/ui/FilePropertiesForm.h"
#include "app/ui/LogWindow.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PasswordForm.h"
#include "app/ui/PreferencesForm.h"
#include "app/ui/QtLang.h"
#include "app/ui/SearchForm.h"
#include "app/ui/SelectFileTypesForm.h"
#include "app/ui/SelectPathsForm.h"
#include "app/ui/SysInfoForm.h"
#include "core/FileLayer.h"
#include "search/QVConvIntf.h"
#include "tests/app/AppFixtures.h"

namespace {

// The language files the program folder ships, besides the built-in English.
const char* const kShippedLanguages[] = {"qvsrchde.lng", "qvsrchru.lng"};

// Texts that are not designed texts: the language menu's items show the languages' own names, and the
// About box's build line shows the build.
bool IsDataText(const std::string& Form, const std::string& Component) {
  if (Form == "About" && Component == "lBuild") return true;
  return QRegularExpression(QStringLiteral("^ml\\d+$")).match(QString::fromStdString(Component)).hasMatch();
}

// Every designed text of a window by its property key ("Form.Component.Property", "Form.Caption"), with
// the English text (a list's items joined by " | ").
using TTexts = std::map<std::string, std::string>;
void CollectTexts(TQtLangForm& Form, TTexts& Keys) {
  const std::string Name = Form.Name();
  if (!Form.GetStringProperty("Caption").empty())
    Keys[Name + ".Caption"] = Utf16ToUtf8(Form.GetStringProperty("Caption"));
  for (int32_t I = 0; I < Form.OwnedCount(); ++I) {
    IComponentNode* Node = Form.Owned(I);
    auto* Component = dynamic_cast<ILangComponent*>(Node);
    if (Component == nullptr || IsDataText(Name, Component->Name())) continue;
    for (const char* Prop : {"Caption", "Hint"})
      if (Component->PropertyKind(Prop) == TLangPropKind::String &&
          !Component->GetStringProperty(Prop).empty())
        Keys[Name + "." + Component->Name() + "." + Prop] = Utf16ToUtf8(Component->GetStringProperty(Prop));
    if (Component->PropertyKind("Items") == TLangPropKind::Strings) {
      std::string Items;
      for (const std::u16string& Item : Component->GetStringsProperty("Items"))
        Items += (Items.empty() ? "" : " | ") + Utf16ToUtf8(Item);
      if (!Items.empty()) Keys[Name + "." + Component->Name() + ".Items"] = Items;
    }
  }
}

class LanguageFilesTest : public ::testing::Test {
 protected:
  // The panel style is stored, so the search dialog does not open by itself when the window shows.
  void SetUp() override {
    SetDefaultOptions();
    ProgramSettings().ViewOptions.InterfaceStyle = 0;
    ASSERT_TRUE(SaveOptions());
  }
  // Every window of the program, as it is made, with the texts it was designed with.
  TTexts WindowTexts() {
    TTexts Keys;
    TMainCommandLine Line;
    Line.ProgramPath = Utf8ToUtf16(ProgramDir_ / "Scryline");
    TMain Main(Line, ProgramDir_.Path);
    TQtLangForm MainForm(&Main, "TMain");
    CollectTexts(MainForm, Keys);
    TQtLangForm LogForm(Main.GetLogForm(), "TLog");
    CollectTexts(LogForm, Keys);

    TAbout About;
    CollectTexts(About.LangForm(), Keys);
    TCustomizeToolbar Toolbar;
    CollectTexts(Toolbar.LangForm(), Keys);
    TQVConverters Converters;
    TEditFilters Filters(Converters);
    CollectTexts(Filters.LangForm(), Keys);
    TEditMasks Masks;
    CollectTexts(Masks.LangForm(), Keys);
    TEnterPassword Password;
    CollectTexts(Password.LangForm(), Keys);
    TFilePropertiesForm Properties;
    CollectTexts(Properties.LangForm(), Keys);
    TPreferencesHooks Hooks;
    int32_t AskMode = 0;
    Hooks.PasswordAskMode = &AskMode;
    TPreferences Preferences(Hooks);
    CollectTexts(Preferences.LangForm(), Keys);
    TSearch Search;
    CollectTexts(Search.LangForm(), Keys);
    TSelectFileTypes Types;
    CollectTexts(Types.LangForm(), Keys);
    TSelectPaths Paths;
    CollectTexts(Paths.LangForm(), Keys);
    TSysInfo SysInfo;
    CollectTexts(SysInfo.LangForm(), Keys);
    return Keys;
  }

  TRegistrySandbox Registry_;
  TTempFolder ProgramDir_;
};

TEST_F(LanguageFilesTest, EveryMessageAndEveryWindowTextIsTranslated) {
  const TTexts Texts = WindowTexts();
  ASSERT_GT(Texts.size(), 100u) << "the windows were not made";
  for (const char* File : kShippedLanguages) {
    TLangStorage Storage;
    Storage.AddLanguage("English", 1);
    int32_t Language = -1;
    std::string Id;
    ASSERT_NO_THROW(
        Storage.ImportFile(Utf8ToUtf16(std::string(SCRYLINE_PROGRAM_DATA) + "/" + File), Language, Id))
        << File;
    ASSERT_GT(Language, 0) << File;
    std::string Missing;
    for (int32_t I = 0; I <= kLastMsgIndex; ++I) {
      const char* Key = MsgTable[I].Key;
      std::u16string Value;
      if (Key != nullptr && *MsgTable[I].Default != '\0' && !Storage.GetString(Language, Key, Value))
        Missing += std::string("\n[$] ") + Key;
    }
    for (const auto& [Key, English] : Texts)
      if (Storage.GetProperty(Language, Key) == nullptr) Missing += "\n" + Key + " = " + English;
    EXPECT_TRUE(Missing.empty()) << File << " has no entry for:" << Missing;
  }
}

TEST_F(LanguageFilesTest, ShippedLanguagesTranslateTheMainWindowAndTheMessages) {
  // The files as the program loads them from its folder: the menu lists them, and a switch translates.
  for (const char* File : kShippedLanguages) {
    std::ifstream In(std::string(SCRYLINE_PROGRAM_DATA) + "/" + File, std::ios::binary);
    WriteFileBytes(ProgramDir_ / File, std::string(std::istreambuf_iterator<char>(In), {}));
  }
  TMainCommandLine Line;
  Line.ProgramPath = Utf8ToUtf16(ProgramDir_ / "Scryline");
  TMain Main(Line, ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  auto* Exact = Main.findChild<QRadioButton*>(QStringLiteral("ExactRadio"));
  ASSERT_NE(Exact, nullptr);
  const struct {
    int32_t Language;
    std::u16string SearchFinished, Exact;
  } Cases[] = {{1, u"Suche beendet", u"&Genau"}, {2, u"Поиск завершён", u"&Точно"}};
  for (const auto& Case : Cases) {
    Main.SetLanguage(Case.Language);
    EXPECT_EQ(GetMsgW(TMsgIndex::SrchFin), Case.SearchFinished);
    EXPECT_EQ(Exact->text().toStdU16String(), Case.Exact);
  }
  Main.SetLanguage(0);
  EXPECT_EQ(GetMsgW(TMsgIndex::SrchFin), u"Search finished");
  EXPECT_EQ(Exact->text(), QStringLiteral("E&xact"));
}

}  // namespace
