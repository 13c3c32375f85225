// The main window's help, passwords, properties and animation driven offscreen: F1 and the program's own
// help window when no program opens the help, the stored archive passwords offered before the question
// (after a password typed during the search, for a preview and for "Extract to..."), a cancelled question
// logged as a skipped item or a cancelled extraction, a password that did not fit logged as such, Alt+Enter's
// properties window, and the animation standing still while a menu or a modal window is open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/ResultCommands.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/FilePropertiesForm.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/LogWindow.h"
#include "app/ui/MainActions.h"
#include "app/ui/MainWindow.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "search/SrchRes.h"
#include "tests/app/AppFixtures.h"
#include "viewer/PreviewModel.h"
#include "viewer/ui/PreviewForm.h"

namespace {

// Processes events until Done answers true (or a few seconds passed).
bool ProcessUntil(const std::function<bool()>& Done) {
  for (int I = 0; I < 1000 && !Done(); ++I) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    usleep(2000);
  }
  return Done();
}

// PATH points at a folder of the test's own for as long as the object lives.
class TPathSandbox {
 public:
  TPathSandbox() {
    if (const char* Old = std::getenv("PATH")) Saved_ = Old;
    setenv("PATH", Bin.Path.c_str(), 1);
  }
  ~TPathSandbox() {
    if (Saved_)
      setenv("PATH", Saved_->c_str(), 1);
    else
      unsetenv("PATH");
  }
  TPathSandbox(const TPathSandbox&) = delete;
  TPathSandbox& operator=(const TPathSandbox&) = delete;
  // A script named xdg-open in the folder.
  void Opener(const std::string& Script) {
    const std::string Name = Bin / "xdg-open";
    WriteFileBytes(Name, "#!/bin/sh\n" + Script + "\n");
    ASSERT_EQ(chmod(Name.c_str(), 0755), 0);
  }
  TTempFolder Bin;

 private:
  std::optional<std::string> Saved_;
};

// Answers the password questions as they come, in order: a password, or nullopt for Cancel.
class TPasswordScript {
 public:
  TPasswordScript() {
    QObject::connect(&Poll_, &QTimer::timeout, [this] {
      auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      // Each question is a dialog of its own (which may come at the address of the last one).
      if (D == nullptr || !D->isVisible() || D->objectName() != QStringLiteral("EnterPassword") ||
          D->property("Answered").toBool())
        return;
      D->setProperty("Answered", true);
      ++Asked;
      std::optional<std::string> Answer;
      if (!Answers.empty()) {
        Answer = Answers.front();
        Answers.pop_front();
      }
      if (!Answer) {
        D->findChild<QPushButton*>(QStringLiteral("CancelBtn"))->click();
        return;
      }
      D->findChild<QLineEdit*>(QStringLiteral("PWDEdit"))->setText(QString::fromStdString(*Answer));
      D->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
    });
    Poll_.start(10);
  }
  std::deque<std::optional<std::string>> Answers;
  int Asked = 0;

 private:
  QTimer Poll_;
};

class MainFileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageDlgHandler = [this](TMessageDlgRequest& R) {
      Boxes_.push_back(R.Text);
      return (R.Buttons & mbYes) ? mrYes : mrOk;
    };
    SetDefaultOptions();
    ProgramSettings().ViewOptions.InterfaceStyle = 0;
    ASSERT_TRUE(SaveOptions());
    WriteFileBytes(Tree_ / "a.txt", "a needle in a file");
  }
  void TearDown() override {
    MessageDlgHandler = nullptr;
    SetDefaultOptions();
  }

  TMainCommandLine CommandLine(const std::string& Text) {
    return TreeSearchCommandLine(ProgramDir_.Path, Tree_.Path, Text);
  }
  // A key pressed in the focused control (the main window's when none has the focus).
  static void Key(TMain& Main, int KeyCode, Qt::KeyboardModifiers Modifiers) {
    QWidget* Target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &Main;
    QKeyEvent Press(QEvent::KeyPress, KeyCode, Modifiers);
    QApplication::sendEvent(Target, &Press);
  }
  static void ShowAndFocus(TMain& Main) {
    Main.show();
    Main.activateWindow();
    QApplication::setActiveWindow(&Main);
    Main.PatternCombo()->setFocus();
    QApplication::processEvents();
  }
  static void FocusRow(TMain& Main, const std::string& Name) {
    auto* Model = Main.ResList()->model();
    for (int Row = 0; Row < Model->rowCount(); ++Row)
      if (Model->index(Row, 0).data().toString().toStdString() == Name) {
        Main.ResList()->setCurrentIndex(Model->index(Row, 0));
        return;
      }
    FAIL() << "no row " << Name;
  }
  // "Extract to..." from the focused row's menu, into Dest: the menu entry is chosen and the file dialog
  // answered as they open.
  static void ExtractCurrentRowTo(TMain& Main, const std::string& Dest) {
    QTimer Answer;
    QObject::connect(&Answer, &QTimer::timeout, [&] {
      if (auto* Menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (QAction* A : Menu->actions())
          if (A->data().toInt() == rmExtract) {
            Menu->setActiveAction(A);
            QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(Menu, &Enter);
            return;
          }
      }
      auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (Dialog != nullptr && Dialog->isVisible()) {
        Dialog->selectFile(QString::fromStdString(Dest));
        static_cast<QDialog*>(Dialog)->accept();  // QFileDialog::accept, through the public slot
      }
    });
    Answer.start(10);
    const QRect Row = Main.ResList()->visualRect(Main.ResList()->currentIndex());
    emit Main.ResList()->customContextMenuRequested(Row.center());
    Answer.stop();
  }
  static int Openers() { return static_cast<int>(qApp->findChildren<QProcess*>().size()); }
  static std::string LogText(TMain& Main) { return Main.GetLogForm()->Memo()->toPlainText().toStdString(); }

  TRegistrySandbox Registry_;
  TTempFolder Tree_, ProgramDir_;
  std::vector<std::u16string> Boxes_;
};

// F1 did nothing, and help that no program opened said nothing: F1 asks for help (not with Ctrl or Alt
// held), the desktop's program shows it when it can, and the program's own window when it cannot.
TEST_F(MainFileCommandsTest, F1ShowsTheHelpInTheProgramsOwnWindowWhenNoProgramOpensIt) {
  const std::string Help = ProgramDir_ / "qvsrchen.html";
  WriteFileBytes(Help,
                 "<html><head><title>Scryline Help</title></head><body><h1>Searching</h1>"
                 "<p>How to find a needle.</p></body></html>");
  TPathSandbox Path;
  TMain Main(CommandLine(""), ProgramDir_.Path);
  ShowAndFocus(Main);

  // An opener that finds no browser (xdg-open's status 3): the program's window shows the document.
  Path.Opener("exit 3");
  Key(Main, Qt::Key_F1, Qt::NoModifier);
  ASSERT_TRUE(ProcessUntil([] { return OpenHelpWindow() != nullptr && OpenHelpWindow()->isVisible(); }));
  EXPECT_TRUE(OpenHelpWindow()->Browser()->toPlainText().contains(QStringLiteral("How to find a needle")));
  EXPECT_EQ(OpenHelpWindow()->windowTitle(), QStringLiteral("Scryline Help"));
  delete OpenHelpWindow();

  // No opener at all: the same.
  ASSERT_EQ(unlink((Path.Bin / "xdg-open").c_str()), 0);
  Main.HelpExec();
  ASSERT_TRUE(ProcessUntil([] { return OpenHelpWindow() != nullptr && OpenHelpWindow()->isVisible(); }));
  delete OpenHelpWindow();

  // An opener that shows it: no window of the program's own.
  const std::string Opened = Path.Bin / "opened";
  Path.Opener("printf %s \"$1\" > '" + Opened + "'");
  Key(Main, Qt::Key_F1, Qt::NoModifier);
  ASSERT_TRUE(ProcessUntil([&] { return FileExists(Opened) && Openers() == 0; }));
  EXPECT_EQ(ReadFileBytes(Opened), Help);
  EXPECT_EQ(OpenHelpWindow(), nullptr);

  // Ctrl or Alt with F1 are language keys: no help.
  for (const Qt::KeyboardModifiers Modifiers : {Qt::ControlModifier, Qt::AltModifier}) {
    Key(Main, Qt::Key_F1, Modifiers);
    EXPECT_EQ(Openers(), 0);
  }
  EXPECT_TRUE(Boxes_.empty());
}

// The Help menu did not name its key, and the program's own help window could only be closed through a
// window manager's title bar: the menu shows F1 (a key press through the shortcut system still asks
// once), and Escape or Ctrl+W close the help window.
TEST_F(MainFileCommandsTest, HelpMenuNamesF1AndTheHelpWindowClosesByKey) {
  const std::string Help = ProgramDir_ / "qvsrchen.html";
  WriteFileBytes(Help, "<html><head><title>Scryline Help</title></head><body><p>Help.</p></body></html>");
  TPathSandbox Path;
  TMain Main(CommandLine(""), ProgramDir_.Path);
  ShowAndFocus(Main);
  QAction* HelpAction = Main.Actions().ActionByIndex(maHelp);
  auto* HelpMenu = Main.findChild<QMenu*>(QStringLiteral("mHelp"));
  ASSERT_NE(HelpMenu, nullptr);
  EXPECT_TRUE(HelpMenu->actions().contains(HelpAction));
  EXPECT_EQ(HelpAction->shortcut(), QKeySequence(Qt::Key_F1));

  const std::string Asked = Path.Bin / "asked";
  Path.Opener("echo \"$1\" >> '" + Asked + "'");
  QTest::keyClick(Main.PatternCombo(), Qt::Key_F1);
  ASSERT_TRUE(ProcessUntil([&] { return FileExists(Asked) && Openers() == 0; }));
  EXPECT_EQ(ReadFileBytes(Asked), Help + "\n");

  for (const QKeyCombination Key : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
    const QPointer<THelpWindow> Window = ShowHelpWindow(QString::fromStdString(Help), &Main);
    QApplication::setActiveWindow(Window);
    QApplication::processEvents();
    ASSERT_TRUE(Window->isVisible());
    QTest::keyClick(Window->Browser(), Key.key(), Key.keyboardModifiers());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Window.isNull()) << QKeySequence(Key).toString().toStdString();
    delete Window.data();
  }
}

// "Extract to..." always asked, and previewing a protected hit right after the search asked again for the
// password just typed: both offer the stored passwords first. A cancelled question is logged as an item
// skipped without a password, not as an invalid one.
TEST_F(MainFileCommandsTest, StoredPasswordsComeFirstAndACancelledQuestionIsLoggedAsSkipped) {
  WriteFileBytes(Tree_ / "locked.zip", ReadFileBytes(AppTestData("../e2e/fixtures/locked.zip")));
  ProgramSettings().ViewOptions.LogWindow = true;
  TPasswordScript Script;
  TMain Main(CommandLine("needle"), ProgramDir_.Path);
  ShowAndFocus(Main);

  Script.Answers = {std::nullopt};
  Main.SearchStartExec();
  EXPECT_EQ(Script.Asked, 1);
  const std::string Cancelled = LogText(Main);
  EXPECT_NE(Cancelled.find(GetMsg(TMsgIndex::NoPasswordGiven)), std::string::npos) << Cancelled;
  EXPECT_EQ(Cancelled.find("Invalid password"), std::string::npos) << Cancelled;

  Script.Answers = {std::string("secret")};
  Main.SearchStartExec();
  EXPECT_EQ(Script.Asked, 2);
  FocusRow(Main, "secret.txt");
  // The preview opens with the password typed in the search, without asking.
  Main.PreviewExec();
  ASSERT_TRUE(ProcessUntil([] { return !PreviewWindows().empty(); }));
  EXPECT_EQ(Script.Asked, 2);
  for (TPreview* W : std::vector<TPreview*>(PreviewWindows())) delete W;

  // "Extract to..." from the row's menu: the stored password, no question.
  TTempFolder Out;
  const std::string Dest = Out / "secret-copy.txt";
  ExtractCurrentRowTo(Main, Dest);
  ASSERT_TRUE(FileExists(Dest)) << "extracted";
  EXPECT_NE(ReadFileBytes(Dest).find("needle"), std::string::npos);
  EXPECT_EQ(Script.Asked, 2);
}

// A typed password that did not fit was logged as "Invalid password" although the next one opened the
// item; Cancel in the password question of "Extract to..." or of the preview ended with the error box
// "Invalid password". The log says what happened, and a cancel shows no error.
TEST_F(MainFileCommandsTest, APasswordThatDidNotFitAndACancelledExtractionSayWhatHappened) {
  WriteFileBytes(Tree_ / "locked.zip", ReadFileBytes(AppTestData("../e2e/fixtures/locked.zip")));
  const std::string Arc = Tree_ / "locked.zip";
  ProgramSettings().ViewOptions.LogWindow = true;
  TPasswordScript Script;
  {
    TMain Main(CommandLine("needle"), ProgramDir_.Path);
    ShowAndFocus(Main);
    Script.Answers = {std::string("wrong"), std::string("secret")};
    Main.SearchStartExec();
    EXPECT_EQ(Script.Asked, 2);
    const std::string Logged = LogText(Main);
    EXPECT_EQ(Logged.find("Invalid password"), std::string::npos) << Logged;
    EXPECT_NE(Logged.find(FormatMsg(TMsgIndex::TypedPasswordDidNotFit_ss, {std::string("secret.txt"), Arc})),
              std::string::npos)
        << Logged;
    EXPECT_EQ(Main.Results().Count(), 3) << "a.txt, open.txt and secret.txt";
  }

  // The item found by its name, its password not known: Cancel in the question of "Extract to..." and of the
  // preview.
  TMain Main(CommandLine("secret"), ProgramDir_.Path);
  ShowAndFocus(Main);
  Main.SearchStartExec();
  EXPECT_EQ(Script.Asked, 2) << "a name hit is not read";
  FocusRow(Main, "secret.txt");
  TTempFolder Out;
  const std::string Dest = Out / "secret-copy.txt";
  Script.Answers = {std::nullopt, std::nullopt};
  ExtractCurrentRowTo(Main, Dest);
  EXPECT_EQ(Script.Asked, 3);
  EXPECT_FALSE(FileExists(Dest));
  Main.PreviewExec();
  ASSERT_TRUE(ProcessUntil([&] { return Script.Asked == 4; }));
  QApplication::processEvents();
  EXPECT_TRUE(PreviewWindows().empty());
  EXPECT_TRUE(Boxes_.empty()) << Utf16ToUtf8(Boxes_.front());
  const std::string Cancelled =
      FormatMsg(TMsgIndex::ExtractionCancelled_s, {std::string("secret.txt")}) + ".";
  const std::string Logged = LogText(Main);
  size_t Count = 0;
  for (size_t At = Logged.find(Cancelled); At != std::string::npos; At = Logged.find(Cancelled, At + 1))
    ++Count;
  EXPECT_EQ(Count, 2u) << Logged;
  EXPECT_EQ(Logged.find("Invalid password"), std::string::npos) << Logged;
  for (TPreview* W : std::vector<TPreview*>(PreviewWindows())) delete W;
}

// Alt+Enter on a plain file was swallowed: it shows the file's properties.
TEST_F(MainFileCommandsTest, AltEnterShowsTheFilesProperties) {
  ASSERT_EQ(chmod((Tree_ / "a.txt").c_str(), 0640), 0);
  TMain Main(CommandLine("needle"), ProgramDir_.Path);
  ShowAndFocus(Main);
  Main.SearchStartExec();
  ASSERT_EQ(Main.Results().Count(), 1);
  FocusRow(Main, "a.txt");
  Main.ResList()->setFocus();
  QApplication::processEvents();
  Key(Main, Qt::Key_Return, Qt::AltModifier);
  TFilePropertiesForm* Form = nullptr;
  ASSERT_TRUE(ProcessUntil([&] {
    Form = Main.findChild<TFilePropertiesForm*>();
    return Form != nullptr && Form->isVisible();
  }));
  EXPECT_EQ(Form->Value("NameLabel"), QStringLiteral("a.txt"));
  EXPECT_EQ(Form->Value("FolderLabel").toStdString(), Tree_.Path);
  EXPECT_EQ(Form->Value("SizeLabel"), QStringLiteral("18"));
  EXPECT_TRUE(Form->Value("PermissionsLabel").startsWith(QStringLiteral("rw-r----- (0640)")));
  EXPECT_FALSE(Form->Value("ModifiedLabel").isEmpty());
  EXPECT_FALSE(Form->Value("OwnerLabel").isEmpty());
  EXPECT_TRUE(Form->Value("TypeLabel").contains(QStringLiteral("text/plain")))
      << Form->Value("TypeLabel").toStdString();
  delete Form;
  // Enter without Alt still previews; the properties window does not come.
  Key(Main, Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(Main.findChild<TFilePropertiesForm*>(), nullptr);
  for (TPreview* W : std::vector<TPreview*>(PreviewWindows())) delete W;
}

// The animation went on turning while a question, a dialog or a menu was open: it stands still there and
// turns again after.
TEST_F(MainFileCommandsTest, AnimationStandsStillWhileAMenuOrAModalWindowIsOpen) {
  ProgramSettings().ViewOptions.Animation = 1;  // in the status bar
  ASSERT_TRUE(SaveOptions());
  TMain Main(CommandLine("needle"), ProgramDir_.Path);
  ShowAndFocus(Main);
  ISearchHost& Host = Main;
  Main.SearchRun().Busy = true;  // as while a search runs
  Host.StateChanged();
  TBusyIndicator* Animation = Main.StatusBarAnimation();
  ASSERT_TRUE(Animation->isVisible());
  ASSERT_TRUE(Animation->Running());

  struct TSeen {
    bool Checked = false, Running = true, Visible = false;
  };
  // A modal dialog (questions are modal dialogs too).
  TSeen InDialog;
  QDialog Dialog(&Main);
  QTimer::singleShot(0, &Dialog, [&] {
    InDialog = {true, Animation->Running(), Animation->isVisible()};
    Dialog.reject();
  });
  Dialog.exec();
  EXPECT_TRUE(InDialog.Checked);
  EXPECT_FALSE(InDialog.Running);
  EXPECT_TRUE(InDialog.Visible) << "it stands still where it is";
  EXPECT_TRUE(Animation->Running());

  // A menu.
  TSeen InMenu;
  QMenu Menu(&Main);
  Menu.addAction(QStringLiteral("Item"));
  QTimer::singleShot(0, &Menu, [&] {
    InMenu = {true, Animation->Running(), Animation->isVisible()};
    Menu.close();
  });
  Menu.exec(Main.mapToGlobal(QPoint(10, 10)));
  EXPECT_TRUE(InMenu.Checked);
  EXPECT_FALSE(InMenu.Running);
  EXPECT_TRUE(Animation->Running());

  // A modeless window does not stop it.
  QWidget Other(nullptr, Qt::Window);
  Other.show();
  QApplication::processEvents();
  EXPECT_TRUE(Animation->Running());

  Main.SearchRun().Busy = false;
  Host.StateChanged();
  EXPECT_FALSE(Animation->isVisible());
}

}  // namespace
