// The language files shipped in the program folder: each one translates every catalogue message and every
// text of every window (the window's title, and the caption, tool tip and list items of each named
// control), so that switching the interface language leaves nothing in English.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
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
#include "app/ui/MainActions.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PasswordForm.h"
#include "app/ui/PreferencesForm.h"
#include "app/ui/QtLang.h"
#include "app/ui/SearchForm.h"
#include "app/ui/SelectFileTypesForm.h"
#include "app/ui/SelectPathsForm.h"
#include "app/ui/SysInfoForm.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "search/QVConvIntf.h"
#include "search/SrchRes.h"
#include "tests/app/AppFixtures.h"
#include "viewer/ui/PreviewForm.h"
#include "viewer/ui/PreviewOptionsForm.h"

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
void CollectComponentTexts(IComponentNode* Owner, const std::string& Prefix, const std::string& Form,
                           TTexts& Keys) {
  for (int32_t I = 0; I < Owner->OwnedCount(); ++I) {
    IComponentNode* Node = Owner->Owned(I);
    auto* Component = dynamic_cast<ILangComponent*>(Node);
    if (Component == nullptr || IsDataText(Form, Component->Name())) continue;
    const std::string Name = Prefix + Component->Name();
    for (const char* Prop : {"Caption", "Hint"})
      if (Component->PropertyKind(Prop) == TLangPropKind::String &&
          !Component->GetStringProperty(Prop).empty())
        Keys[Name + "." + Prop] = Utf16ToUtf8(Component->GetStringProperty(Prop));
    // A list's column captions.
    IComponentNode* Header = Component->ObjectProperty("Header");
    IComponentNode* Columns = Header != nullptr ? Header->ObjectProperty("Columns") : nullptr;
    for (int32_t C = 0; Columns != nullptr && C < Columns->CollectionCount(); ++C)
      if (auto* Column = dynamic_cast<ILangComponent*>(Columns->CollectionItem(C)))
        Keys[Name + ".Header.Columns[" + std::to_string(C) + "].Text"] =
            Utf16ToUtf8(Column->GetStringProperty("Text"));
    if (Component->PropertyKind("Items") == TLangPropKind::Strings) {
      std::string Items;
      for (const std::u16string& Item : Component->GetStringsProperty("Items"))
        Items += (Items.empty() ? "" : " | ") + Utf16ToUtf8(Item);
      if (!Items.empty()) Keys[Name + ".Items"] = Items;
    }
    // A frame's controls are its own.
    CollectComponentTexts(Component, Name + ".", Form, Keys);
  }
}

void CollectTexts(TQtLangForm& Form, TTexts& Keys) {
  const std::string Name = Form.Name();
  if (!Form.GetStringProperty("Caption").empty())
    Keys[Name + ".Caption"] = Utf16ToUtf8(Form.GetStringProperty("Caption"));
  CollectComponentTexts(&Form, Name + ".", Name, Keys);
}

class LanguageFilesTest : public ::testing::Test {
 protected:
  // The panel style is stored, so the search dialog does not open by itself when the window shows.
  void SetUp() override {
    SetDefaultOptions();
    ProgramSettings().ViewOptions.InterfaceStyle = 0;
    ASSERT_TRUE(SaveOptions());
  }
  // The language files as the program loads them from its folder.
  void CopyShippedLanguages() {
    for (const char* File : kShippedLanguages) {
      std::ifstream In(std::string(SCRYLINE_PROGRAM_DATA) + "/" + File, std::ios::binary);
      WriteFileBytes(ProgramDir_ / File, std::string(std::istreambuf_iterator<char>(In), {}));
    }
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
    // The viewer's windows, as the language object sees them.
    TPreview Preview;
    TQtLangForm PreviewForm(&Preview, "TPreview");
    CollectTexts(PreviewForm, Keys);
    TPreviewOptions PreviewOptions;
    TQtLangForm PreviewOptionsForm(&PreviewOptions, "TPreviewOptions");
    CollectTexts(PreviewOptionsForm, Keys);
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
  CopyShippedLanguages();
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

// The status line kept the last search's summary in the language it was made in until the next search:
// it follows a change of language at once, and back.
TEST_F(LanguageFilesTest, StatusLineFollowsALanguageChangeAtOnce) {
  CopyShippedLanguages();
  TTempFolder Tree;
  WriteFileBytes(Tree / "a.txt", "a needle in a file");
  TMain Main(TreeSearchCommandLine(ProgramDir_.Path, Tree.Path, "needle"), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  Main.SearchStartExec();
  const std::u16string English = Main.StatusText();
  ASSERT_EQ(English, u"Files scanned: 1. Files found: 1.");
  for (const int32_t Language : {1, 2, 0}) {
    Main.SetLanguage(Language);
    EXPECT_EQ(Main.StatusText(), WideAddPeriod(FormatMsgW(TMsgIndex::SrchStat_dd, {1, 1}))) << Language;
    EXPECT_EQ(Main.StatusText() == English, Language == 0) << Language;
  }
}

// Every text a user sees in Window: its title, the captions of its buttons, labels, group boxes, tabs and
// menus and their entries, the column captions of its lists and the items of its fixed lists, each with
// the object that shows it.
std::vector<std::pair<std::string, QString>> VisibleTexts(QWidget* Window) {
  std::vector<std::pair<std::string, QString>> Texts;
  auto Add = [&Texts](const QObject* Object, const QString& Text) {
    if (!Text.isEmpty()) Texts.emplace_back(Object->objectName().toStdString(), Text);
  };
  Add(Window, Window->windowTitle());
  QList<QWidget*> Widgets = Window->findChildren<QWidget*>();
  Widgets.prepend(Window);
  for (QWidget* W : Widgets) {
    if (auto* B = qobject_cast<QAbstractButton*>(W)) Add(B, B->text());
    if (auto* L = qobject_cast<QLabel*>(W); L != nullptr && L->pixmap().isNull()) Add(L, L->text());
    if (auto* G = qobject_cast<QGroupBox*>(W)) Add(G, G->title());
    if (auto* T = qobject_cast<QTabWidget*>(W))
      for (int I = 0; I < T->count(); ++I) Add(T, T->tabText(I));
    if (auto* V = qobject_cast<QTreeView*>(W); V != nullptr && V->model() != nullptr && !V->isHeaderHidden())
      for (int C = 0; C < V->model()->columnCount(); ++C)
        Add(V, V->model()->headerData(C, Qt::Horizontal, Qt::DisplayRole).toString());
    if (auto* C = qobject_cast<QComboBox*>(W); C != nullptr && !C->isEditable())
      for (int I = 0; I < C->count(); ++I) Add(C, C->itemText(I));
    if (auto* M = qobject_cast<QMenu*>(W)) {
      Add(M, M->title());
      for (QAction* A : M->actions()) Add(A, A->text());
    }
  }
  return Texts;
}

// Runs Act on the next modal dialog once it shows (polled, since it opens inside a nested loop); the poll
// stops when it has run Act or after a few seconds. The caller owns the timer.
std::unique_ptr<QTimer> WhenModal(std::function<void(QWidget*)> Act) {
  auto Poll = std::make_unique<QTimer>();
  QTimer* Timer = Poll.get();
  auto Tries = std::make_shared<int>(0);
  QWidget* Before = QApplication::activeModalWidget();
  QObject::connect(Timer, &QTimer::timeout, [Timer, Act, Tries, Before] {
    QWidget* Modal = QApplication::activeModalWidget();
    if (Modal != nullptr && Modal != Before && Modal->isVisible()) {
      Timer->stop();
      Act(Modal);
    } else if (++*Tries > 500) {
      Timer->stop();
    }
  });
  Poll->start(10);
  return Poll;
}

// Each shipped language applied to every window as the program opens it: no English text that the file
// translates is left (the About picture turned into the word "Scryline", the system report, the toolbar
// and masks dialogs stayed English, the search dialog's tabs and the results list's columns had no
// entries; the previews, their find dialog and the preview options stayed English). A preview opened
// before the language changed follows the change, as does one opened after it.
TEST_F(LanguageFilesTest, EveryWindowAsOpenedShowsNoEnglishTextTheFileTranslates) {
  const TTexts English = WindowTexts();
  CopyShippedLanguages();
  TMainCommandLine Line;
  Line.ProgramPath = Utf8ToUtf16(ProgramDir_ / "Scryline");
  TMain Main(Line, ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  const TPreviewSearchSettings Search{};
  auto Found = [this](const std::string& Name) {
    WriteFileBytes(ProgramDir_ / Name, "a line of text\n");
    TFoundFileInfo Info;
    Info.Name = Utf8ToUtf16(ProgramDir_ / Name);
    return Info;
  };
  TPreview* Earlier = OpenPreview(Found("earlier.txt"), false, u"", Search);
  ASSERT_NE(Earlier, nullptr);
  for (int32_t Language = 1; Language <= 2; ++Language) {
    const char* File = kShippedLanguages[Language - 1];
    TLangStorage Storage;
    Storage.AddLanguage("English", 1);
    int32_t Index = -1;
    std::string Id;
    Storage.ImportFile(Utf8ToUtf16(std::string(SCRYLINE_PROGRAM_DATA) + "/" + File), Index, Id);
    // The English texts this file gives another text for.
    std::set<QString> Translated;
    for (const auto& [Key, Text] : English)
      if (const TLangValue* V = Storage.GetProperty(Index, Key);
          V != nullptr && !V->IsList && V->Text != Utf8ToUtf16(Text))
        Translated.insert(QString::fromStdString(Text));
    ASSERT_GT(Translated.size(), 100u) << File;

    Main.SetLanguage(Language);
    std::string Left;
    auto Check = [&](const std::string& Where, QWidget* Window) {
      for (const auto& [Object, Text] : VisibleTexts(Window))
        if (Translated.count(Text) != 0)
          Left += "\n" + Where + ": " + Object + " \"" + Text.toStdString() + "\"";
    };
    Check("main window", &Main);
    Check("log", Main.GetLogForm());
    Check("preview opened before", Earlier);
    TPreview* Later = OpenPreview(Found("later" + std::to_string(Language) + ".txt"), false, u"", Search);
    ASSERT_NE(Later, nullptr);
    Check("preview opened after", Later);
    // Each dialog is walked while it is open, with the dialog it opens in turn, then closed.
    auto Walk = [&](const std::string& Where, const char* Inner, const std::string& InnerWhere,
                    const std::function<void()>& Open) {
      bool Seen = false, InnerSeen = false;
      std::unique_ptr<QTimer> InnerPoll;
      std::unique_ptr<QTimer> Poll = WhenModal([&](QWidget* Dialog) {
        Seen = true;
        Check(Where, Dialog);
        // The About box keeps its picture.
        if (auto* Picture = Dialog->findChild<QLabel*>(QStringLiteral("I"));
            Picture && Picture->pixmap().isNull())
          Left += "\n" + Where + ": the picture is gone (\"" + Picture->text().toStdString() + "\")";
        // The masks editor opens from the selected-types mode.
        if (auto* Selected = Dialog->findChild<QAbstractButton*>(QStringLiteral("SelectedRadio")))
          Selected->click();
        if (Inner != nullptr) {
          if (auto* Button = Dialog->findChild<QAbstractButton*>(QString::fromUtf8(Inner))) {
            InnerPoll = WhenModal([&](QWidget* Nested) {
              InnerSeen = true;
              Check(InnerWhere, Nested);
              static_cast<QDialog*>(Nested)->reject();
            });
            Button->click();
          }
          if (!InnerSeen) Left += "\n" + InnerWhere + " did not open";
        }
        static_cast<QDialog*>(Dialog)->reject();
      });
      Open();
      if (!Seen) Left += "\n" + Where + " did not open";
    };
    Walk("About", "SysInfoBtn", "System Information", [&] { Main.AboutExec(); });
    Walk("Options", "SelTBBtnsBtn", "Customize Toolbar", [&] { Main.OptionsExec(1); });
    Walk("Select Paths", nullptr, "", [&] { Main.BrowsePathsExec(); });
    Walk("Select File Types", "EditMasksBtn", "Edit Masks", [&] { Main.SelectFileTypesExec(); });
    Walk("Filters", nullptr, "", [&] { Main.EditFiltersExec(); });
    Walk("Password", nullptr, "",
         [&] { static_cast<ISearchHost&>(Main).AskPassword("item.txt", "archive.zip"); });
    ProgramSettings().ViewOptions.InterfaceStyle = 1;
    Walk("Search", nullptr, "", [&] { Main.Actions().ActionByIndex(maSearchStart)->trigger(); });
    ProgramSettings().ViewOptions.InterfaceStyle = 0;
    Walk("Preview Properties", nullptr, "", [&] { ShowPreviewOptions(Later); });
    EXPECT_TRUE(Left.empty()) << File << " leaves English texts:" << Left;
  }
  Main.SetLanguage(0);
}

// The items of Window's fixed lists (combo boxes that take no typing) that their box cuts off.
std::string CutItems(QWidget* Window) {
  std::string Cut;
  for (QComboBox* Box : Window->findChildren<QComboBox*>()) {
    if (Box->isEditable() || !Box->isVisibleTo(Window)) continue;
    QStyleOptionComboBox Option;
    Option.initFrom(Box);
    const int Room =
        Box->style()->subControlRect(QStyle::CC_ComboBox, &Option, QStyle::SC_ComboBoxEditField, Box).width();
    for (int I = 0; I < Box->count(); ++I)
      if (Box->fontMetrics().horizontalAdvance(Box->itemText(I)) > Room)
        Cut += "\n" + Box->objectName().toStdString() + ": \"" + Box->itemText(I).toStdString() + "\" in " +
               std::to_string(Room) + " pixels";
  }
  return Cut;
}

// The German "Ein beliebiges Wort (ODER)" was cut off in the search dialog, whose logic box kept the width
// of its first items: a fixed list shows its longest item whole, in every language.
TEST_F(LanguageFilesTest, SearchDialogShowsItsListsWholeInEveryLanguage) {
  CopyShippedLanguages();
  TMainCommandLine Line;
  Line.ProgramPath = Utf8ToUtf16(ProgramDir_ / "Scryline");
  TMain Main(Line, ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  ProgramSettings().ViewOptions.InterfaceStyle = 1;
  for (const int32_t Language : {0, 1, 2}) {
    Main.SetLanguage(Language);
    bool Seen = false;
    std::string Cut;
    std::unique_ptr<QTimer> Poll = WhenModal([&](QWidget* Dialog) {
      Seen = true;
      auto* Pages = Dialog->findChild<QTabWidget*>(QStringLiteral("Pages"));
      for (int Page = 0; Pages != nullptr && Page < Pages->count(); ++Page) {
        Pages->setCurrentIndex(Page);
        QApplication::processEvents();
        Cut += CutItems(Dialog);
      }
      static_cast<QDialog*>(Dialog)->reject();
    });
    Main.Actions().ActionByIndex(maSearchStart)->trigger();
    EXPECT_TRUE(Seen) << Language;
    EXPECT_TRUE(Cut.empty()) << "language " << Language << ":" << Cut;
  }
  ProgramSettings().ViewOptions.InterfaceStyle = 0;
  Main.SetLanguage(0);
}

}  // namespace
