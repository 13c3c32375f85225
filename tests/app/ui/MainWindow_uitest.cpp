// The main window driven offscreen: start-up from the command line, a search over a tree (and into a
// ZIP archive) that fills the results list and the log, sorting by a header click, the interface
// language switch, and the settings and histories kept between two runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/Options.h"
#include "app/ui/GripForm.h"
#include "app/ui/LogWindow.h"
#include "app/ui/MainActions.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/WideSBar.h"
#include "core/FileLayer.h"
#include "search/SrchRes.h"
#include "tests/app/AppFixtures.h"

namespace {

// A stored ZIP of one file, "inner/note.txt" holding "hello from the zip", made by Python's zipfile.
std::string ZipFixture() { return ReadFileBytes(AppTestData("ui/note.zip")); }

// Runs Act on the next modal dialog or pop-up menu once it shows (polled, since it opens inside a posted
// event or a nested loop); gives up after a few seconds.
void WhenShown(std::function<bool()> Act) {
  auto* Poll = new QTimer;
  auto Tries = std::make_shared<int>(0);
  QObject::connect(Poll, &QTimer::timeout, [Poll, Act, Tries] {
    if (Act() || ++*Tries > 300) Poll->deleteLater();
  });
  Poll->start(10);
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageDlgHandler = [this](TMessageDlgRequest& R) {
      Boxes_.push_back(R.Text);
      return (R.Buttons & mbYes) ? mrYes : mrOk;
    };
    // These tests drive the search panel: the panel style is stored, so the search dialog does not
    // open by itself at the first activation.
    SetDefaultOptions();
    ProgramSettings().ViewOptions.InterfaceStyle = 0;
    ASSERT_TRUE(SaveOptions());
    WriteFileBytes(Tree_ / "a.txt", "say hello world");
    WriteFileBytes(Tree_ / "b.txt", "nothing here");
    WriteFileBytes(Tree_ / "zz-hello.txt", "name hit");
    WriteFileBytes(Tree_ / "note.zip", ZipFixture());
  }
  void TearDown() override { MessageDlgHandler = nullptr; }

  TMainCommandLine CommandLine(const std::string& Text) {
    return TreeSearchCommandLine(ProgramDir_.Path, Tree_.Path, Text);
  }

  std::vector<std::string> Column(TMain& Main, int Col) {
    std::vector<std::string> Cells;
    auto* Model = Main.ResList()->model();
    for (int Row = 0; Row < Model->rowCount(); ++Row)
      Cells.push_back(Model->index(Row, Col).data().toString().toStdString());
    return Cells;
  }

  TRegistrySandbox Registry_;
  TTempFolder Tree_, ProgramDir_;
  std::vector<std::u16string> Boxes_;
};

TEST_F(MainWindowTest, SearchFillsTheListTheLogAndTheStatusLine) {
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  EXPECT_EQ(Main.PatternCombo()->currentText(), QStringLiteral("hello"));
  Main.SearchStartExec();
  std::vector<std::string> Names = Column(Main, 0);
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"a.txt", "note.txt", "zz-hello.txt"}));
  // The archive item shows the archive's path, "|" and its folder, once.
  std::vector<std::string> Folders = Column(Main, 1);
  EXPECT_EQ(std::count(Folders.begin(), Folders.end(), Tree_.Path + "/note.zip|inner"), 1);
  EXPECT_EQ(std::count(Folders.begin(), Folders.end(), Tree_.Path), 2);
  EXPECT_TRUE(Boxes_.empty());
  EXPECT_NE(Main.StatusText().find(u"3"), std::u16string::npos);
  QString Log = Main.GetLogForm()->Memo()->toPlainText();
  EXPECT_TRUE(Log.contains(QStringLiteral(">>> "))) << Log.toStdString();
  EXPECT_TRUE(Log.contains(QStringLiteral("<<< "))) << Log.toStdString();

  // Sorting by name ascending, then descending, keeps the focused row.
  Main.ResList()->setCurrentIndex(Main.ResList()->model()->index(0, 0));
  std::string Focused = Main.ResList()->currentIndex().data().toString().toStdString();
  Main.ResList()->header()->sectionClicked(0);
  EXPECT_EQ(Column(Main, 0), (std::vector<std::string>{"a.txt", "note.txt", "zz-hello.txt"}));
  Main.ResList()->header()->sectionClicked(0);
  EXPECT_EQ(Column(Main, 0), (std::vector<std::string>{"zz-hello.txt", "note.txt", "a.txt"}));
  EXPECT_EQ(Main.ResList()->currentIndex().data().toString().toStdString(), Focused);

  // Type-to-find, and dragging out: a plain file goes as a file URL, an archive item not at all.
  auto* Model = Main.ResList()->model();
  QModelIndexList Hits = Model->match(Model->index(0, 0), Qt::DisplayRole, QStringLiteral("NO"), 1,
                                      Qt::MatchStartsWith | Qt::MatchWrap);
  ASSERT_EQ(Hits.size(), 1);
  EXPECT_EQ(Hits[0].data().toString(), QStringLiteral("note.txt"));
  EXPECT_FALSE(Model->flags(Hits[0]) & Qt::ItemIsDragEnabled);
  EXPECT_EQ(Model->mimeData({Hits[0]}), nullptr);
  QModelIndex Plain = Model->match(Model->index(0, 0), Qt::DisplayRole, QStringLiteral("a."), 1,
                                   Qt::MatchStartsWith | Qt::MatchWrap)[0];
  std::unique_ptr<QMimeData> Drag(Model->mimeData({Plain}));
  ASSERT_NE(Drag, nullptr);
  EXPECT_EQ(Drag->urls().value(0).toLocalFile().toStdString(), Tree_ / "a.txt");

  // Nothing found: the list empties and the user is told.
  Main.PatternCombo()->setEditText(QStringLiteral("absent-word"));
  Main.SearchStartExec();
  EXPECT_EQ(Main.ResList()->model()->rowCount(), 0);
  ASSERT_EQ(Boxes_.size(), 1u);

  // Keeps the window on the screen for a while when asked (to take a picture of it).
  if (const char* Hold = std::getenv("SCRYLINE_UITEST_HOLD_MS")) {
    Main.PatternCombo()->setEditText(QStringLiteral("hello"));
    Main.SearchStartExec();
    Main.ShowLogExec();
    QEventLoop Loop;
    QTimer::singleShot(std::atoi(Hold), &Loop, &QEventLoop::quit);
    Loop.exec();
    if (const char* Grab = std::getenv("SCRYLINE_UITEST_GRAB"))
      Main.GetLogForm()->grab().save(QString::fromUtf8(Grab));
  }
}

TEST_F(MainWindowTest, StopFromInsideTheSearch) {
  for (int I = 0; I < 40; ++I) WriteFileBytes(Tree_ / ("many" + std::to_string(I) + ".txt"), "hello");
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  // A click on Stop arrives while the search pumps events.
  QTimer::singleShot(0, &Main, [&] { Main.SearchStopExec(); });
  Main.SearchStartExec();
  EXPECT_FALSE(Main.SearchRun().Busy);
  EXPECT_LT(Main.ResList()->model()->rowCount(), 43);
  QApplication::processEvents();
  QString Log = Main.GetLogForm()->Memo()->toPlainText();
  EXPECT_FALSE(Log.contains(QStringLiteral("<<< ") + QString::fromStdString(GetMsg(TMsgIndex::SrchFin))));
  EXPECT_TRUE(Log.contains(QString::fromStdString(GetMsg(TMsgIndex::UserInterrupt)))) << Log.toStdString();
}

// Closing the window while the search walks inner archives: the search stops, and the folders it
// extracted them to are gone once it has (they once stayed, hundreds of megabytes of them).
TEST_F(MainWindowTest, ClosingTheWindowDuringASearchStopsItAndRemovesItsTemporaryFolders) {
  ProgramSettings().ArchiveFlags.ProcessSubarchives = true;
  ASSERT_TRUE(SaveOptions());
  WriteFileBytes(Tree_ / "nested.zip", ReadFileBytes(AppTestData("ui/nested.zip")));
  TTempFolder Temp;
  const char* OldTmp = std::getenv("TMPDIR");
  const std::string SavedTmp = OldTmp != nullptr ? OldTmp : "";
  ::setenv("TMPDIR", Temp.Path.c_str(), 1);
  auto FilesBelow = [&Temp] {
    int N = 0;
    std::error_code Ec;
    for (const auto& E : std::filesystem::recursive_directory_iterator(Temp.Path, Ec))
      if (E.is_regular_file()) ++N;
    return N;
  };
  bool Closed = false;
  {
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    QApplication::processEvents();
    // Polled at every event pump of the search: once an inner archive lies in the temporary folder, the
    // user closes the window, and the program quits as it does when its last window closes.
    QTimer Poll;
    QObject::connect(&Poll, &QTimer::timeout, [&] {
      if (!Closed && Main.SearchRun().Busy && FilesBelow() > 0) {
        Closed = true;
        Main.close();
        QCoreApplication::quit();
      }
    });
    Poll.start(0);
    Main.SearchStartExec();
    Poll.stop();
    EXPECT_TRUE(Closed);
    EXPECT_FALSE(Main.SearchRun().Busy);
    EXPECT_FALSE(Main.isVisible());
    // Stopped: the later inner archives were never reached.
    EXPECT_LT(Main.ResList()->model()->rowCount(), 30);
    EXPECT_EQ(FilesBelow(), 0);
  }
  std::vector<std::string> Left;
  std::error_code Ec;
  for (const auto& E : std::filesystem::recursive_directory_iterator(Temp.Path, Ec))
    Left.push_back(E.path().string());
  EXPECT_EQ(Left, std::vector<std::string>{});
  if (OldTmp != nullptr)
    ::setenv("TMPDIR", SavedTmp.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

TEST_F(MainWindowTest, LanguageSwitchTranslatesTheWindowAndBack) {
  WriteFileBytes(ProgramDir_ / "qvsrchru.lng", ReadFileBytes(AppTestData("lng/qvsrchru.lng")));
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.show();
  ASSERT_EQ(Main.Languages().GetLanguageCount(), 2);
  ASSERT_EQ(Main.LanguageMenu().Items.size(), 2u);
  auto* Start = Main.findChild<QPushButton*>(QStringLiteral("StartBtn"));
  ASSERT_NE(Start, nullptr);
  Main.SetLanguage(1);
  EXPECT_EQ(Main.windowTitle().toStdU16String(), u"Скрайлайн - поиск");
  EXPECT_EQ(Start->toolTip().toStdU16String(), u"Начать поиск");
  EXPECT_EQ(GetMsgW(TMsgIndex::SrchFin), u"Поиск завершён");
  Main.SetLanguage(0);
  EXPECT_EQ(Main.windowTitle(), QStringLiteral("Scryline"));
  EXPECT_TRUE(Start->toolTip().isEmpty());
}

TEST_F(MainWindowTest, SettingsAndHistoriesPersistBetweenRuns) {
  {
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    Main.findChild<QCheckBox*>(QStringLiteral("CaseSensCheck"))->setChecked(true);
    Main.SearchStartExec();
    Main.close();
  }
  TMain Again(CommandLine(""), ProgramDir_.Path);
  Again.show();
  QApplication::processEvents();
  EXPECT_TRUE(Again.findChild<QCheckBox*>(QStringLiteral("CaseSensCheck"))->isChecked());
  EXPECT_EQ(Again.PatternCombo()->currentText(), QString()) << "no text option: the box starts empty";
  ASSERT_GT(Again.PatternCombo()->count(), 0);
  EXPECT_EQ(Again.PatternCombo()->itemText(0), QStringLiteral("hello"));
  EXPECT_EQ(Again.PathCombo()->itemText(0).toStdString(), Tree_.Path);
}

TEST_F(MainWindowTest, ConversionTurnedOffForLackOfConvertersIsNotStoredAsTheUsersChoice) {
  auto ConvertBox = [](TMain& Main) { return Main.findChild<QCheckBox*>(QStringLiteral("ConvToTextCheck")); };
  {
    // The user's choice: conversion on.
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    ProgramSettings().ScanOptions.ConvertToText = true;
    SaveOptions();
  }
  {
    // No converter in the program folder: the box is off and greyed; a search and the close store
    // the settings.
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    QApplication::processEvents();
    EXPECT_FALSE(ConvertBox(Main)->isChecked());
    EXPECT_FALSE(ConvertBox(Main)->isEnabled());
    Main.SearchStartExec();
    Main.close();
  }
  // Converters found at the next start: conversion is on again.
  const std::string Plugin = std::string(SCRYLINE_TEST_PLUGINS) + "/impxls.so";
  std::ifstream In(Plugin, std::ios::binary);
  ASSERT_TRUE(In) << Plugin;
  WriteFileBytes(ProgramDir_ / "impxls.so", std::string(std::istreambuf_iterator<char>(In), {}));
  TMain Again(CommandLine("hello"), ProgramDir_.Path);
  Again.show();
  QApplication::processEvents();
  EXPECT_TRUE(ConvertBox(Again)->isEnabled());
  EXPECT_TRUE(ConvertBox(Again)->isChecked());
}

TEST_F(MainWindowTest, ClosingWithSettingsThatCannotBeWrittenTellsTheUser) {
  {
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    QApplication::processEvents();
    // While the program runs, a regular file takes the settings folder's place: nothing can be written
    // below it (even as root).
    std::filesystem::remove_all(Registry_.Folder / "Quorvane");
    WriteFileBytes(Registry_.Folder / "Quorvane", "not a folder");
    Boxes_.clear();
    Main.close();
  }
  ASSERT_EQ(Boxes_.size(), 1u);
  const std::string Text = Utf16ToUtf8(Boxes_[0]);
  EXPECT_NE(Text.find("The settings could not be saved in \"" + Registry_.ProgramKeyFolder() + "\""),
            std::string::npos)
      << Text;

  // With the folder writable again, closing says nothing and the settings are there at the next start.
  std::remove((Registry_.Folder / "Quorvane").c_str());
  Boxes_.clear();
  {
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    Main.close();
  }
  EXPECT_TRUE(Boxes_.empty());
  std::ifstream Options(Registry_.ProgramKeyFolder() + "/Options.val");
  EXPECT_TRUE(Options.good());
}

TEST_F(MainWindowTest, StartRemovesWhatInterruptedSettingsWritesLeftBehind) {
  {
    TMain Main(CommandLine("hello"), ProgramDir_.Path);
    Main.show();
    Main.close();
  }
  const std::string Stale = Registry_.ProgramKeyFolder() + "/.Options.val.Qx81zA";
  WriteFileBytes(Stale, "half a value");
  TMain Again(CommandLine("hello"), ProgramDir_.Path);
  std::ifstream Left(Stale);
  EXPECT_FALSE(Left.good()) << "the temporary file of an interrupted write is still there";
}

TEST_F(MainWindowTest, CommandsLayerCarriesToolbarMenusAndResultMenu) {
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();

  // Every command is one action of the commands layer, shown by the menus and the toolbar.
  const std::pair<const char*, std::vector<int32_t>> Menus[] = {
      {"mFile", {maPreview, maPrint, maExit}},
      {"mSearch", {maSearchStart, maSearchStop, maSearchPause}},
      {"mView", {maShowLog, maOptions}},
      {"mHelp", {maHelp}},
  };
  for (const auto& [MenuName, Indexes] : Menus) {
    auto* Menu = Main.menuBar()->findChild<QMenu*>(QString::fromUtf8(MenuName));
    ASSERT_NE(Menu, nullptr) << MenuName;
    for (int32_t Index : Indexes) {
      const char* Name = MainActionTable[Index].Name;
      // One action by that name: the window makes none of its own beside the commands layer's.
      QList<QAction*> Found = Main.findChildren<QAction*>(QString::fromUtf8(Name));
      ASSERT_EQ(Found.size(), 1) << Name;
      EXPECT_EQ(Found[0], Main.Actions().ActionByIndex(Index)) << Name;
      EXPECT_TRUE(Menu->actions().contains(Found[0])) << MenuName << " " << Name;
    }
  }
  QToolBar* Bar = Main.findChild<QToolBar*>(QStringLiteral("ToolBar"));
  ASSERT_NE(Bar, nullptr);
  EXPECT_TRUE(Bar->isVisible());
  for (int32_t Tag = 0; Tag < kMainActionCount; ++Tag)
    EXPECT_NE(Main.Actions().ToolButtonByTag(Tag), nullptr) << Tag;

  // The Archives button toggles the archives box; the box follows the button and back.
  auto* Archives = Main.findChild<QCheckBox*>(QStringLiteral("ArchivesCheck"));
  const bool ArchivesBefore = Archives->isChecked();
  Main.Actions().ToolButtonByTag(maSearchArchives)->click();
  QApplication::processEvents();
  EXPECT_NE(Archives->isChecked(), ArchivesBefore);
  Main.Actions().ToolButtonByTag(maSearchArchives)->click();
  QApplication::processEvents();
  EXPECT_EQ(Archives->isChecked(), ArchivesBefore);

  // Start from the toolbar runs once the click has been handled: in the dialog style it asks with the
  // search dialog, which starts from the window's fields and runs the search on "Search".
  ProgramSettings().ViewOptions.InterfaceStyle = 1;
  QString DialogPattern;
  WhenShown([&] {
    QWidget* Dialog = QApplication::activeModalWidget();
    if (Dialog == nullptr) return false;
    DialogPattern = Dialog->findChild<QComboBox*>(QStringLiteral("PatternCmb"))->currentText();
    Dialog->findChild<QPushButton*>(QStringLiteral("SearchBtn"))->click();
    return true;
  });
  Main.Actions().ToolButtonByTag(maSearchStart)->click();
  EXPECT_EQ(Main.ResList()->model()->rowCount(), 0);
  QApplication::processEvents();
  EXPECT_EQ(DialogPattern, QStringLiteral("hello"));
  std::vector<std::string> Names = Column(Main, 0);
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"a.txt", "note.txt", "zz-hello.txt"}));

  // A right click on a result opens its menu; an archive item's menu offers extraction, a file's does not.
  auto* Model = Main.ResList()->model();
  for (const char* Row : {"note.txt", "a.txt"}) {
    QModelIndex Index =
        Model->match(Model->index(0, 0), Qt::DisplayRole, QString::fromUtf8(Row), 1, Qt::MatchExactly)[0];
    QString Shown;
    std::vector<int> Ids;
    WhenShown([&] {
      auto* Popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (Popup == nullptr) return false;
      Shown = Popup->objectName();
      for (QAction* A : Popup->actions())
        if (!A->isSeparator()) Ids.push_back(A->data().toInt());
      Popup->close();
      return true;
    });
    QPoint At = Main.ResList()->visualRect(Index).center();
    QContextMenuEvent Click(QContextMenuEvent::Mouse, At, Main.ResList()->viewport()->mapToGlobal(At));
    QApplication::sendEvent(Main.ResList()->viewport(), &Click);
    EXPECT_EQ(Shown, QStringLiteral("ResultPopup")) << Row;
    EXPECT_EQ(Main.ResList()->currentIndex().row(), Index.row());
    const bool InArchive = std::string(Row) == "note.txt";
    EXPECT_EQ(std::count(Ids.begin(), Ids.end(), rmExtract), InArchive ? 1 : 0) << Row;
    EXPECT_EQ(std::count(Ids.begin(), Ids.end(), rmPreview), 1) << Row;
  }
}

TEST(WideStatusBar, PanelsBeyondTheLimitAreNotLaidOut) {
  QWidget Window;
  auto* Bar = new TWideStatusBar(&Window);
  for (int I = 0; I < 130; ++I) Bar->AddPanel({u"\u0436 " + Utf8ToUtf16(std::to_string(I)), 40, 0, 1});
  EXPECT_EQ(Bar->PanelCount(), 130);
  ASSERT_NE(Bar->PanelLabel(kMaxStatusPanels - 1), nullptr);
  EXPECT_EQ(Bar->PanelLabel(kMaxStatusPanels), nullptr);
  // UTF-16 text shows as given.
  EXPECT_EQ(Bar->PanelLabel(5)->text().toStdU16String(), u"\u0436 5");
  Window.show();
  Bar->SetSimplePanel(true);
  Bar->SetSimpleText(u"simple");
  EXPECT_FALSE(Bar->PanelLabel(0)->isVisible());
  Bar->SetSimplePanel(false);
  EXPECT_TRUE(Bar->PanelLabel(0)->isVisible());
  // A hint goes to the first panel, or to the simple text in simple mode.
  Bar->ShowHint(u"hint");
  EXPECT_EQ(Bar->Panel(0).Text, u"hint");
  Bar->SetSimplePanel(true);
  Bar->ShowHint(u"simple hint");
  EXPECT_EQ(Bar->SimpleText(), u"simple hint");
}

TEST(GripForm, NoGripWhileMaximized) {
  TGripForm Form;
  Form.show();
  EXPECT_TRUE(Form.isSizeGripEnabled());
  Form.setWindowState(Qt::WindowMaximized);
  QApplication::processEvents();
  EXPECT_FALSE(Form.isSizeGripEnabled());
  Form.setWindowState(Qt::WindowNoState);
  QApplication::processEvents();
  EXPECT_TRUE(Form.isSizeGripEnabled());
}

TEST(QueryStringDialog, BlankTextIsRefusedUnlessAllowed) {
  int Tries = 0;
  std::function<void()> Answer = [&] {
    auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!Dialog) {
      QTimer::singleShot(10, Answer);
      return;
    }
    auto* Edit = Dialog->findChild<QLineEdit*>();
    auto* Ok = Dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    Edit->setText(Tries == 0 ? QStringLiteral("   ") : QStringLiteral("named"));
    Ok->click();
    if (++Tries < 2) QTimer::singleShot(10, Answer);
  };
  QTimer::singleShot(10, Answer);
  std::u16string Value = u"old";
  EXPECT_TRUE(QueryString(static_cast<int32_t>(TMsgIndex::EnterMask),
                          static_cast<int32_t>(TMsgIndex::EditMask), Value, nullptr, false));
  EXPECT_EQ(Tries, 2) << "the blank answer kept the dialog open";
  EXPECT_EQ(Value, u"named");
}

TEST(LogWindow, NewLinesLeaveTheReadersCaret) {
  TLog Log;
  Log.AddLine("first\r\nsecond", true);
  EXPECT_TRUE(Log.isVisible());
  QTextCursor Caret = Log.Memo()->textCursor();
  Caret.setPosition(2);
  Log.Memo()->setTextCursor(Caret);
  Log.AddLine("third", false);
  EXPECT_EQ(Log.Memo()->textCursor().position(), 2);
  EXPECT_EQ(Log.Memo()->toPlainText(), QStringLiteral("first\nsecond\nthird"));
  // At the end, the caret follows the new lines.
  Log.Memo()->moveCursor(QTextCursor::End);
  Log.AddLine("fourth", false);
  EXPECT_EQ(Log.Memo()->textCursor().position(), Log.Memo()->document()->characterCount() - 1);
  // The copy keeps every character, also those outside any 8-bit code page.
  Log.AddLine("\xd0\xbf\xd0\xbe\xd0\xb8\xd1\x81\xd0\xba \xe2\x9c\x93", false);
  Log.findChild<QAction*>(QStringLiteral("mCopy"))->trigger();
  EXPECT_TRUE(QApplication::clipboard()->text().endsWith(
      QString::fromUtf8("\xd0\xbf\xd0\xbe\xd0\xb8\xd1\x81\xd0\xba \xe2\x9c\x93")))
      << QApplication::clipboard()->text().toStdString();
  Log.Clear();
  EXPECT_TRUE(Log.Memo()->toPlainText().isEmpty());
  EXPECT_EQ(Log.Lines().LogTextLength(), 0);
}

TEST(MessageBoxes, CatalogueBoxComesBackAfterALanguageChange) {
  InstallMessageDialogs();
  int Shown = 0;
  std::function<void()> Answer = [&] {
    auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!Box) {
      QTimer::singleShot(10, Answer);
      return;
    }
    if (++Shown == 1) {
      ReshowMessageDlg();  // the language changed while the box was open
      QTimer::singleShot(10, Answer);
    } else {
      Box->button(QMessageBox::Ok)->click();
    }
  };
  QTimer::singleShot(10, Answer);
  ShowInfoMsg(TMsgIndex::SrchPatNotFound);
  EXPECT_EQ(Shown, 2);
  MessageDlgHandler = nullptr;
  CloseMessageDlgHandler = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication Application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
