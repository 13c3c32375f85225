// The main window's previews, offscreen: a search, then the preview of a found file and of a ZIP item
// with the hits marked, opened by the Preview command, a double click and Enter; the View menu's list
// of open previews; a file gone since the search told in the program's message box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cstdlib>
#include <fstream>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/ui/MainWindow.h"
#include "core/FileLayer.h"
#include "search/SrchRes.h"
#include "tests/app/AppFixtures.h"
#include "viewer/PreviewModel.h"
#include "viewer/ui/PreviewForm.h"

namespace {

class PreviewFromMainWindowTest : public ::testing::Test {
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
    WriteFileBytes(Tree_ / "a.txt", "say hello world, hello again");
    WriteFileBytes(Tree_ / "b.txt", "nothing here");
    WriteFileBytes(Tree_ / "note.zip", ReadFileBytes(AppTestData("ui/note.zip")));
  }
  void TearDown() override { MessageDlgHandler = nullptr; }

  TMainCommandLine CommandLine(const std::string& Text) {
    return TreeSearchCommandLine(ProgramDir_.Path, Tree_.Path, Text);
  }

  // Focuses the row whose name is Name.
  static void FocusRow(TMain& Main, const std::string& Name) {
    auto* Model = Main.ResList()->model();
    for (int Row = 0; Row < Model->rowCount(); ++Row)
      if (Model->index(Row, 0).data().toString().toStdString() == Name) {
        Main.ResList()->setCurrentIndex(Model->index(Row, 0));
        return;
      }
    FAIL() << "no row " << Name;
  }

  // The View menu's entries after the preview separator, in menu order.
  static std::vector<std::string> PreviewEntries(TMain& Main) {
    std::vector<std::string> Entries;
    bool After = false;
    for (QAction* A : Main.ViewMenu()->actions()) {
      if (After) Entries.push_back(A->text().toStdString());
      if (A->objectName() == QStringLiteral("PreviewSeparator")) After = true;
    }
    return Entries;
  }

  // How many pixels of the window's picture have the colour RGB (0xBBGGRR, a TColor).
  static int PixelsOf(QWidget& Window, uint32_t RGB) {
    const QImage Picture = Window.grab().toImage();
    const QColor Wanted(RGB & 0xFF, (RGB >> 8) & 0xFF, (RGB >> 16) & 0xFF);
    int Count = 0;
    for (int Y = 0; Y < Picture.height(); ++Y)
      for (int X = 0; X < Picture.width(); ++X) Count += Picture.pixelColor(X, Y) == Wanted;
    return Count;
  }

  TRegistrySandbox Registry_;
  TTempFolder Tree_, ProgramDir_;
  std::vector<std::u16string> Boxes_;
};

TEST_F(PreviewFromMainWindowTest, ResultOpensWithItsHitsMarkedAndIsListedInTheViewMenu) {
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  QApplication::processEvents();
  EXPECT_FALSE(Main.PreviewAction()->isEnabled());
  EXPECT_FALSE(Main.PrintAction()->isEnabled());
  Main.SearchStartExec();
  ASSERT_EQ(Main.ResList()->model()->rowCount(), 2);
  EXPECT_TRUE(Main.PrintAction()->isEnabled());

  // The Preview command on a plain file: both hits found in the file, the first one current.
  FocusRow(Main, "a.txt");
  EXPECT_TRUE(Main.PreviewAction()->isEnabled());
  Main.PreviewAction()->trigger();
  ASSERT_EQ(PreviewWindows().size(), 1u);
  TPreview* First = PreviewWindows()[0];
  EXPECT_TRUE(First->isVisible());
  EXPECT_TRUE(First->Viewer().IsOpen());
  EXPECT_EQ(Utf16ToUtf8(First->Model().GetCaption()), Tree_ / "a.txt");
  ASSERT_EQ(First->Model().HitCount(), 2);
  EXPECT_EQ(First->Model().GetHitStarts().Get(0), 4);
  EXPECT_EQ(First->Model().GetHitStarts().Get(1), 17);
  EXPECT_EQ(First->Model().GetCurrentHit(), 0);
  EXPECT_TRUE(First->NextBtn->isEnabled());
  // The hits are painted: the current hit in its own background, the other in the hit background.
  QApplication::processEvents();
  EXPECT_GT(PixelsOf(*First, ColorToRGB(ProgramSettings().ViewOptions.CurrentHitBack)), 0);
  EXPECT_GT(PixelsOf(*First, ColorToRGB(ProgramSettings().ViewOptions.HitBack)), 0);
  EXPECT_EQ(PreviewEntries(Main), (std::vector<std::string>{"0 " + Tree_ / "a.txt"}));

  // Enter on the ZIP item's row: the item is extracted and shown with its hit; it is listed first.
  FocusRow(Main, "note.txt");
  QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(Main.ResList(), &Enter);
  ASSERT_EQ(PreviewWindows().size(), 2u);
  TPreview* Item = PreviewWindows()[1];
  EXPECT_EQ(Utf16ToUtf8(Item->Model().GetCaption()), Tree_ / "note.zip" + "|inner/note.txt");
  ASSERT_EQ(Item->Model().HitCount(), 1);
  EXPECT_EQ(Item->Model().GetHitStarts().Get(0), 0);
  EXPECT_EQ(PreviewEntries(Main), (std::vector<std::string>{"0 " + Tree_ / "note.zip" + "|inner/note.txt",
                                                            "1 " + Tree_ / "a.txt"}));
  EXPECT_TRUE(Main.SearchRun().Results().Count() == 2) << "Enter previews, it does not search again";

  // A double click on a row already shown brings its window forward instead of opening another.
  FocusRow(Main, "a.txt");
  emit Main.ResList()->doubleClicked(Main.ResList()->currentIndex());
  EXPECT_EQ(PreviewWindows().size(), 2u);

  // A menu entry shows its window; closing a window takes its entry away and renumbers the rest.
  First->hide();
  Main.ViewMenu()->actions().back()->trigger();
  EXPECT_TRUE(First->isVisible());
  delete First;
  EXPECT_EQ(PreviewEntries(Main), (std::vector<std::string>{"0 " + Tree_ / "note.zip" + "|inner/note.txt"}));
  EXPECT_TRUE(Boxes_.empty());

  if (const char* Hold = std::getenv("SCRYLINE_UITEST_HOLD_MS")) {
    FocusRow(Main, "a.txt");
    Main.PreviewExec();
    QEventLoop Loop;
    QTimer::singleShot(std::atoi(Hold), &Loop, &QEventLoop::quit);
    Loop.exec();
  }
  // Closing the main window closes the previews with it.
  Main.close();
  EXPECT_TRUE(PreviewWindows().empty());
}

TEST_F(PreviewFromMainWindowTest, FileGoneSinceTheSearchIsToldAndNothingOpens) {
  TMain Main(CommandLine("hello"), ProgramDir_.Path);
  Main.show();
  Main.SearchStartExec();
  std::remove((Tree_ / "a.txt").c_str());
  FocusRow(Main, "a.txt");
  Main.PreviewExec();
  EXPECT_TRUE(PreviewWindows().empty());
  ASSERT_EQ(Boxes_.size(), 1u);
  EXPECT_EQ(Boxes_[0], FormatMsgW(TMsgIndex::FileNotFound_s, {Tree_ / "a.txt"}) + u".");
  EXPECT_TRUE(PreviewEntries(Main).empty());
}

}  // namespace
