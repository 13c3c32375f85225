// The main window's commands driven offscreen: the search dialog of the dialog style at the first
// activation and its questions asked once, the options that act on the window (clearing the histories,
// the busy animation), the toolbar images, the Search menu's key, folding the search panel, the German
// name of the Ctrl key, message boxes over their owner, and opening a result that fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/WHistList.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/MainActions.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/Pictures.h"
#include "core/FileLayer.h"
#include "core/WideStrings.h"
#include "search/SrchRes.h"
#include "tests/TestFiles.h"
#include "tests/app/AppFixtures.h"

namespace {

// Runs Act on the open modal dialog once it shows (polled: it opens inside a posted event or a nested
// loop); Act answers true when done. Gives up after a few seconds.
void WhenModal(std::function<bool(QDialog*)> Act) {
  auto* Poll = new QTimer;
  auto Tries = std::make_shared<int>(0);
  QObject::connect(Poll, &QTimer::timeout, [Poll, Act, Tries] {
    auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if ((D != nullptr && D->isVisible() && Act(D)) || ++*Tries > 300) Poll->deleteLater();
  });
  Poll->start(10);
}

// Processes events until Done answers true (or a few seconds passed).
bool ProcessUntil(const std::function<bool()>& Done) {
  for (int I = 0; I < 500 && !Done(); ++I) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    usleep(2000);
  }
  return Done();
}

class MainCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageDlgHandler = [this](TMessageDlgRequest& R) {
      Boxes_.push_back(R.Text);
      return (R.Buttons & mbYes) ? mrYes : mrOk;
    };
    WriteFileBytes(Tree_ / "a.txt", "say hello world");
    WriteFileBytes(Tree_ / "b.txt", "nothing here");
  }
  void TearDown() override { MessageDlgHandler = nullptr; }

  // Settings stored before the window starts: the panel style unless told otherwise.
  void StoreStyle(uint8_t Style) {
    SetDefaultOptions();
    ProgramSettings().ViewOptions.InterfaceStyle = Style;
    ASSERT_TRUE(SaveOptions());
  }

  TMainCommandLine CommandLine(const std::string& Text) {
    return TreeSearchCommandLine(ProgramDir_.Path, Tree_.Path, Text);
  }
  int Count(TMsgIndex Index) const {
    return static_cast<int>(std::count(Boxes_.begin(), Boxes_.end(), WideAddPeriod(GetMsgW(Index))));
  }

  TRegistrySandbox Registry_;
  TTempFolder Tree_, ProgramDir_;
  std::vector<std::u16string> Boxes_;
};

TEST_F(MainCommandsTest, DialogStyleOpensTheSearchDialogAndAsksEachQuestionOnce) {
  StoreStyle(1);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  // The dialog opens by itself once the window is up; searching with an empty pattern and all files
  // asks each question once (the dialog asks, the run does not ask again).
  QString Seen;
  WhenModal([&](QDialog* D) {
    Seen = D->objectName();
    D->findChild<QComboBox*>(QStringLiteral("MasksCmb"))->setEditText(QStringLiteral("*.*"));
    D->findChild<QComboBox*>(QStringLiteral("PatternCmb"))->setEditText(QString());
    for (QPushButton* B : D->findChildren<QPushButton*>())
      if (B->text() == QStringLiteral("Search")) B->click();
    return true;
  });
  Main.show();
  ASSERT_TRUE(ProcessUntil([&] { return Main.Results().Count() > 0; })) << Seen.toStdString();
  EXPECT_EQ(Seen, QStringLiteral("Search"));
  EXPECT_EQ(Count(TMsgIndex::AskSearchIfEmptyPattern), 1);
  EXPECT_EQ(Count(TMsgIndex::AskNoFileTypes), 1);
  EXPECT_EQ(Main.Results().Count(), 2);
}

TEST_F(MainCommandsTest, PanelStyleOpensNoDialogAtStart) {
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.show();
  for (int I = 0; I < 20; ++I) QApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// "Clear History" emptied the stored lists but not the boxes, so the next search wrote every old entry
// back.
TEST_F(MainCommandsTest, ClearHistoryEmptiesTheDropDownLists) {
  StoreStyle(0);
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  Main.SearchStartExec();
  Main.PatternCombo()->setEditText(QStringLiteral("world"));
  Main.SearchStartExec();
  ASSERT_GE(Main.PatternCombo()->findText(QStringLiteral("hello")), 0);
  WhenModal([](QDialog* D) {
    if (D->objectName() != QStringLiteral("Preferences")) return false;
    D->findChild<QPushButton*>(QStringLiteral("ClearHistBtn"))->click();
    D->accept();
    return true;
  });
  Main.OptionsExec(0);
  EXPECT_EQ(Main.PatternCombo()->findText(QStringLiteral("hello")), -1);
  EXPECT_EQ(Main.PatternCombo()->currentText(), QStringLiteral("world"));
  Main.SaveSettings();
  TWideStringList Stored;
  LoadHistory(kProgramRegKey, "Pattern", Stored);
  EXPECT_EQ(Stored.IndexOf(u"hello"), -1);
}

// The animation choice did nothing and no animation ever ran: the choice is applied and stored, and the
// animation runs in its place while a search runs.
TEST_F(MainCommandsTest, BusyAnimationRunsInTheChosenPlaceDuringASearch) {
  StoreStyle(0);
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  WhenModal([](QDialog* D) {
    if (D->objectName() != QStringLiteral("Preferences")) return false;
    D->findChild<QRadioButton*>(QStringLiteral("AnimRadio1"))->click();
    D->accept();
    return true;
  });
  Main.OptionsExec(0);
  EXPECT_EQ(ProgramSettings().ViewOptions.Animation, 1);
  EXPECT_EQ(Main.Animation().Mode, 1);

  struct TSeen {
    bool Status = false, StatusRunning = false, Toolbar = false;
  };
  auto Watch = [&Main] {
    auto Seen = std::make_shared<TSeen>();
    QTimer::singleShot(0, &Main, [&Main, Seen] {
      Seen->Status = Main.StatusBarAnimation()->isVisible();
      Seen->StatusRunning = Main.StatusBarAnimation()->Running();
      Seen->Toolbar = Main.ToolbarAnimation()->isVisible();
    });
    return Seen;
  };
  auto InStatusBar = Watch();
  Main.SearchStartExec();
  EXPECT_TRUE(InStatusBar->Status);
  EXPECT_TRUE(InStatusBar->StatusRunning);
  EXPECT_FALSE(InStatusBar->Toolbar);
  EXPECT_FALSE(Main.StatusBarAnimation()->isVisible()) << "hidden once the search ended";

  // Over the toolbar's Start button (mode 0).
  WhenModal([](QDialog* D) {
    if (D->objectName() != QStringLiteral("Preferences")) return false;
    D->findChild<QRadioButton*>(QStringLiteral("AnimRadio0"))->click();
    D->accept();
    return true;
  });
  Main.OptionsExec(0);
  auto OverStart = Watch();
  Main.SearchStartExec();
  EXPECT_TRUE(OverStart->Toolbar);
  EXPECT_FALSE(OverStart->Status);
  EXPECT_FALSE(Main.ToolbarAnimation()->isVisible());
}

TEST_F(MainCommandsTest, ToolbarImagesSearchMenuKeyAndFoldingThePanel) {
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  // Every action has an image in both toolbar sizes; Pause, Files and Archives show another one pressed.
  for (int32_t I = 0; I < kMainActionCount; ++I) {
    SCOPED_TRACE(I);
    const QIcon Icon = Main.Actions().ActionByIndex(I)->icon();
    for (int Size : {kLargeImageSize, kSmallImageSize}) EXPECT_FALSE(Icon.pixmap(Size, Size).isNull());
    EXPECT_FALSE(Main.Actions().ToolButtonByTag(I)->icon().isNull());
  }
  for (int32_t I : {maSearchPause, maSearchFiles, maSearchArchives}) {
    const QIcon Icon = Main.Actions().ActionByIndex(I)->icon();
    EXPECT_NE(Icon.pixmap(32, 32, QIcon::Normal, QIcon::On).toImage(),
              Icon.pixmap(32, 32, QIcon::Normal, QIcon::Off).toImage())
        << I;
  }
  for (int I = 0; I < kToolbarImageCount; ++I) {
    const QImage Drawn = DrawnToolbarImage(I, kSmallImageSize).toImage();
    QImage Empty(Drawn.size(), Drawn.format());
    Empty.fill(Qt::transparent);
    EXPECT_NE(Drawn, Empty) << "image " << I << " is drawn";
  }

  // The Search menu shows Start with its key.
  QMenu* Search = Main.menuBar()->findChild<QMenu*>(QStringLiteral("mSearch"));
  ASSERT_NE(Search, nullptr);
  emit Search->aboutToShow();
  EXPECT_TRUE(Main.Actions().ActionByIndex(maSearchStart)->text().endsWith(QStringLiteral("\tF3")));
  emit Search->aboutToShow();
  EXPECT_EQ(Main.Actions().ActionByIndex(maSearchStart)->text().count(u'\t'), 1);
  EXPECT_FALSE(Main.Actions().ToolButtonByTag(maSearchStart)->text().contains(u'\t'));

  // "<<" folds the search panel to a strip with ">>"; ">>" unfolds it to its designed width.
  auto* Collapse = Main.findChild<QToolButton*>(QStringLiteral("CollapseBtn"));
  auto* Expand = Main.findChild<QToolButton*>(QStringLiteral("ExpandBtn"));
  auto* Side = Main.findChild<QWidget*>(QStringLiteral("SearchSide"));
  auto* Panel = Main.findChild<QScrollArea*>(QStringLiteral("SearchScroll"));
  ASSERT_TRUE(Collapse && Expand && Side && Panel);
  Collapse->click();
  QApplication::processEvents();
  EXPECT_TRUE(Main.SearchPanelCollapsed());
  EXPECT_FALSE(Panel->isVisible());
  EXPECT_TRUE(Expand->isVisible());
  EXPECT_LE(Side->width(), Expand->width() + 4);
  Expand->click();
  QApplication::processEvents();
  EXPECT_FALSE(Main.SearchPanelCollapsed());
  EXPECT_TRUE(Panel->isVisible());
  EXPECT_GE(Side->width(), 280);
}

TEST_F(MainCommandsTest, GermanMenusNameTheCtrlKeyStrg) {
  WriteFileBytes(ProgramDir_ / "qvsrchde.lng", ReadFileBytes(AppTestData("ui/dialogs/lng/qvsrchde.lng")));
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.show();
  ASSERT_EQ(Main.Languages().GetLanguageCount(), 2);
  const QKeySequence ShowLog = Main.Actions().ActionByIndex(maShowLog)->shortcut();
  Main.SetLanguage(1);
  EXPECT_EQ(ShowLog.toString(QKeySequence::NativeText), QStringLiteral("Strg+L"));
  Main.SetLanguage(0);
  EXPECT_EQ(ShowLog.toString(QKeySequence::NativeText), QStringLiteral("Ctrl+L"));
}

// A box raised while no window was active (a search error, a failed open) came up in a corner of the
// screen, owned by nothing; a box whose text wraps came up off its owner (its size was taken before the
// text wrapped).
TEST_F(MainCommandsTest, MessageBoxesComeUpOverTheirOwner) {
  StoreStyle(0);
  InstallMessageDialogs();
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.setGeometry(50, 50, 700, 500);  // inside the offscreen screen of 800 x 600
  Main.show();
  QApplication::processEvents();
  std::u16string Long;
  for (int I = 0; I < 10; ++I) Long += u"The folder could not be read because something went wrong. ";
  for (const std::u16string& Text : {std::u16string(u"Something failed"), Long}) {
    QWidget* Parent = nullptr;
    QPoint Centre;
    auto Poll = std::make_shared<QTimer>();
    QObject::connect(Poll.get(), &QTimer::timeout, [&] {
      auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (Box == nullptr || !Box->isVisible()) return;
      Parent = Box->parentWidget();
      Centre = Box->geometry().center();
      Box->accept();
    });
    Poll->start(10);
    ShowErrorText(Text);
    Poll->stop();
    EXPECT_EQ(Parent, &Main);
    EXPECT_LE((Centre - Main.geometry().center()).manhattanLength(), 40) << Text.size();
  }
  MessageDlgHandler = nullptr;
}

// In the dialog style the search dialog opened by itself before a window manager had placed the main
// window, and stayed where the main window had been: it is centred over its owner, and follows it while
// the owner is still being placed.
TEST_F(MainCommandsTest, SearchDialogComesUpOverTheMainWindow) {
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.setGeometry(50, 50, 700, 500);  // inside the offscreen screen of 800 x 600
  Main.show();
  QApplication::processEvents();
  QPoint Shown, Followed;
  auto Poll = std::make_shared<QTimer>();
  QObject::connect(Poll.get(), &QTimer::timeout, [&] {
    auto* Dialog = QApplication::activeModalWidget();
    if (Dialog == nullptr || !Dialog->isVisible() || Dialog->objectName() != QStringLiteral("Search")) return;
    Poll->stop();
    Shown = Dialog->geometry().center();
    Main.move(0, 20);
    QApplication::processEvents();
    Followed = Dialog->geometry().center();
    static_cast<QDialog*>(Dialog)->reject();
  });
  Poll->start(10);
  ProgramSettings().ViewOptions.InterfaceStyle = 1;
  Main.Actions().ActionByIndex(maSearchStart)->trigger();
  ProgramSettings().ViewOptions.InterfaceStyle = 0;
  EXPECT_LE((Shown - QRect(50, 50, 700, 500).center()).manhattanLength(), 40);
  EXPECT_LE((Followed - Main.geometry().center()).manhattanLength(), 40);
}

// ">>" brought the panel back at a fixed 280 pixels, which cut off Browse... and Select...: it comes back
// at the width it had, at least what its controls need.
TEST_F(MainCommandsTest, UnfoldedSearchPanelKeepsItsWidthAndShowsItsControlsWhole) {
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.resize(1100, 600);
  Main.show();
  QApplication::processEvents();
  auto* Collapse = Main.findChild<QToolButton*>(QStringLiteral("CollapseBtn"));
  auto* Expand = Main.findChild<QToolButton*>(QStringLiteral("ExpandBtn"));
  auto* Side = Main.findChild<QWidget*>(QStringLiteral("SearchSide"));
  auto* Splitter = Main.findChild<QSplitter*>(QStringLiteral("Splitter"));
  auto* Browse = Main.findChild<QPushButton*>(QStringLiteral("BrowseBtn"));
  auto* Scroll = Main.findChild<QScrollArea*>(QStringLiteral("SearchScroll"));
  ASSERT_TRUE(Collapse && Expand && Side && Splitter && Browse && Scroll);
  for (const int Wanted : {Main.SearchPanelNeededWidth() + 120, 280}) {
    Splitter->setSizes({Wanted, Splitter->width() - Wanted});
    QApplication::processEvents();
    const int Before = Side->width();
    Collapse->click();
    QApplication::processEvents();
    Expand->click();
    QApplication::processEvents();
    EXPECT_GE(Side->width(), std::max(Before, Main.SearchPanelNeededWidth())) << Wanted;
    // Browse... lies whole inside the visible part of the panel.
    const QRect Visible = Scroll->viewport()->rect();
    const QRect Button(Browse->mapTo(Scroll->viewport(), QPoint(0, 0)), Browse->size());
    EXPECT_TRUE(Visible.contains(Button)) << Wanted;
  }
}

// The path and pattern boxes completed inline from the history, so a typed path was silently extended:
// completions are offered as a list, and the typed text stays as typed, also in its case.
TEST_F(MainCommandsTest, TypedPathsAreNeverExtendedFromTheHistory) {
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  for (QComboBox* Box : {Main.PathCombo(), Main.PatternCombo()}) {
    Box->clear();
    Box->addItems({QStringLiteral("/data/archive-old/"), QStringLiteral("/data/Reports/")});
    auto Type = [Box](const QString& Text) {
      Box->setEditText(QString());
      Box->lineEdit()->setFocus();
      for (const QChar C : Text) {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
        QApplication::sendEvent(Box->lineEdit(), &Press);
      }
      QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(Box->lineEdit(), &Enter);
      emit Box->lineEdit()->editingFinished();
      QApplication::processEvents();
      return Box->currentText();
    };
    ASSERT_NE(Box->completer(), nullptr);
    EXPECT_EQ(Box->completer()->completionMode(), QCompleter::PopupCompletion);
    EXPECT_EQ(Type(QStringLiteral("/data/arch")), QStringLiteral("/data/arch"));
    EXPECT_EQ(Type(QStringLiteral("/data/reports/")), QStringLiteral("/data/reports/"));
  }
}

// Escape did not close the list a history box offers while the user types (the window's own Escape key
// took it), and the press that closed an open list was lost on X11: Escape closes either list, and a
// press outside it acts once on what it pressed.
TEST_F(MainCommandsTest, HistoryListsCloseWithEscapeAndKeepThePressThatClosesThem) {
  StoreStyle(0);
  TMain Main(CommandLine(""), ProgramDir_.Path);
  Main.show();
  QApplication::setActiveWindow(&Main);
  QApplication::processEvents();
  QComboBox* Box = Main.PatternCombo();
  Box->clear();
  Box->addItems({QStringLiteral("needle"), QStringLiteral("nail")});
  auto* Check = Main.findChild<QCheckBox*>(QStringLiteral("CaseSensCheck"));
  ASSERT_NE(Check, nullptr);
  const struct {
    const char* Name;
    std::function<QWidget*()> Open;
  } Lists[] = {
      {"offered while typing",
       [Box] {
         Box->setEditText(QString());
         Box->lineEdit()->setFocus();
         QTest::keyClicks(Box->lineEdit(), QStringLiteral("n"));
         return Box->completer()->popup();
       }},
      {"the box's own",
       [Box] {
         Box->showPopup();
         return Box->view()->window();
       }},
  };
  for (const auto& List : Lists) {
    QWidget* Popup = List.Open();
    QApplication::processEvents();
    ASSERT_TRUE(Popup->isVisible()) << List.Name;
    QWidget* Focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : Popup;
    QTest::keyClick(Focus, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(Popup->isVisible()) << List.Name;
    EXPECT_TRUE(Main.isVisible()) << List.Name;

    // A press on a check box outside the open list: the list closes and the box is ticked, once.
    Popup = List.Open();
    QApplication::processEvents();
    ASSERT_TRUE(Popup->isVisible()) << List.Name;
    const bool Before = Check->isChecked();

    // On the box's indicator, at its left end (the widget may be wider than what it shows).
    const QPoint At = Check->mapTo(&Main, QPoint(Check->height() / 2, Check->height() / 2));
    QTest::mousePress(Main.windowHandle(), Qt::LeftButton, {}, At);
    QApplication::processEvents();
    QTest::mouseRelease(Main.windowHandle(), Qt::LeftButton, {}, At);
    QApplication::processEvents();
    EXPECT_FALSE(Popup->isVisible()) << List.Name;
    EXPECT_NE(Check->isChecked(), Before) << List.Name;
  }
}

// A failed "Open" or "Open folder" showed nothing: the reason is shown once the desktop's opener ended.
TEST_F(MainCommandsTest, FailedOpenSaysWhy) {
  TTempFolder Bin;
  const std::string Opener = Bin.Path + "/xdg-open";
  WriteFileBytes(Opener, "#!/bin/sh\nexit 3\n");
  ASSERT_EQ(chmod(Opener.c_str(), 0755), 0);
  const std::optional<std::string> SavedPath =
      std::getenv("PATH") ? std::optional<std::string>(std::getenv("PATH")) : std::nullopt;
  setenv("PATH", Bin.Path.c_str(), 1);

  TFoundFileInfo Info;
  Info.Name = Utf8ToUtf16(Tree_ / "a.txt");
  RunResultCommand(rmOpen, Info, {});
  EXPECT_TRUE(ProcessUntil([&] { return !Boxes_.empty(); }));
  ASSERT_EQ(Boxes_.size(), 1u);
  EXPECT_EQ(Boxes_[0].rfind(FormatMsgW(TMsgIndex::NoOpenHandler_s, {Info.Name}), 0), 0u)
      << Utf16ToUtf8(Boxes_[0]);

  // A file gone since the search is said to be gone, without asking the desktop.
  Boxes_.clear();
  Info.Name = Utf8ToUtf16(Tree_ / "gone.txt");
  RunResultCommand(rmOpen, Info, {});
  ASSERT_EQ(Boxes_.size(), 1u);
  EXPECT_EQ(Boxes_[0].rfind(FormatMsgW(TMsgIndex::PathNotExists_s, {Info.Name}), 0), 0u)
      << Utf16ToUtf8(Boxes_[0]);

  // No opener on the system: the folder cannot be shown, and the box says which program to install
  // (not the system's "execvp" text), for a folder and a file alike.
  unlink(Opener.c_str());
  Info.Name = Utf8ToUtf16(Tree_ / "a.txt");
  for (const int32_t Command : {rmOpenFolder, rmOpen}) {
    SCOPED_TRACE(Command);
    Boxes_.clear();
    RunResultCommand(Command, Info, {});
    EXPECT_TRUE(ProcessUntil([&] { return !Boxes_.empty(); }));
    ASSERT_EQ(Boxes_.size(), 1u);
    const std::u16string Shown = Command == rmOpen ? Info.Name : Utf8ToUtf16(Tree_.Path);
    EXPECT_EQ(Boxes_[0].rfind(FormatMsgW(TMsgIndex::NoDesktopOpener_s, {Shown}), 0), 0u)
        << Utf16ToUtf8(Boxes_[0]);
    EXPECT_NE(Boxes_[0].find(u"xdg-utils"), std::u16string::npos);
    EXPECT_EQ(Boxes_[0].find(u"execvp"), std::u16string::npos);
  }

  if (SavedPath)
    setenv("PATH", SavedPath->c_str(), 1);
  else
    unsetenv("PATH");
}

}  // namespace
