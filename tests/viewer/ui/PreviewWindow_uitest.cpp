// The viewer control painted offscreen (hit colours where the hits are, the error text), and the preview
// window around it: opening a result, one window per file, the window limit, navigation buttons and keys,
// the menu toggles in every window, and the options dialog whose edits reach every open preview.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/Options.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"
#include "search/QVConvIntf.h"
#include "tests/viewer/PreviewTestUtil.h"
#include "viewer/ClickView.h"
#include "viewer/ui/FileViewerWidget.h"
#include "viewer/ui/PreviewForm.h"
#include "viewer/ui/PreviewOptionsForm.h"

namespace fs = std::filesystem;

namespace {

QColor Pixel(const QImage& I, int X, int Y) { return QColor(I.pixel(X, Y)); }

// Whether some pixel of the rectangle has colour C.
bool HasColor(const QImage& I, const QRect& R, const QColor& C) {
  for (int Y = R.top(); Y <= R.bottom(); ++Y) {
    for (int X = R.left(); X <= R.right(); ++X) {
      if (QColor(I.pixel(X, Y)) == C) return true;
    }
  }
  return false;
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    Folder_ = std::make_unique<TPreviewTestFolder>("scry_previewui");
    Dir_ = Folder_->Dir;
    SetDefaultOptions();
    ProgramSettings().ViewOptions.WrapText = false;
    ProgramSettings().ViewerFont.Name = "DejaVu Sans Mono";
    ProgramSettings().ViewerFont.Height = -13;
    SetPreviewHost(&Host_);
  }
  void TearDown() override {
    while (!PreviewWindows().empty()) delete PreviewWindows().back();
    SetPreviewHost(nullptr);
    EXPECT_EQ(Folder_->TempFiles(), 0);
    Folder_.reset();
    qvnls::ResetSystemCodePages();
  }
  TFoundFileInfo Write(const std::string& Name, const std::string& Bytes) {
    return Folder_->Write(Name, Bytes);
  }
  static void Key(QWidget* W, int K, Qt::KeyboardModifiers M = Qt::NoModifier) {
    QKeyEvent Press(QEvent::KeyPress, K, M);
    QApplication::sendEvent(W, &Press);
  }

  std::unique_ptr<TPreviewTestFolder> Folder_;
  fs::path Dir_;
  FakePreviewHost Host_;
  TPreviewSearchSettings Search_;
};

TEST_F(PreviewWindowTest, ControlPaintsHitsWhereTheyAre) {
  TFileViewerWidget W(
      [](IFontMetrics* M) -> std::unique_ptr<TFileViewer64> { return std::make_unique<TFileViewer64>(M); });
  W.resize(400, 200);
  QFont F("DejaVu Sans Mono");
  F.setPixelSize(13);
  W.SetTextFont(F);
  W.SetColors(0xFFFFFF, 0x000000);
  TFileViewer64& M = W.Model();
  M.OnMarkSpans = [](TFileViewer64* S) { S->MarkSpan(10, 6, vaHit); };
  M.OnGetAttrColors = [](TFileViewer64*, TAttrColors& Colors) {
    if (Colors.Selected) return;
    Colors.TextColor = 0xFFFFFF;
    Colors.BkColor = 0x00FF00;  // green
    Colors.Opaque = true;
  };
  M.SetGutterWidth(16);
  M.GutterColor = 0x0000FF;  // red
  M.Open(std::make_unique<TVMemStream>(), u"x");
  auto S = std::make_unique<TVMemStream>();
  const std::string Text = "plain line needle and more\nsecond\n";
  S->Write(Text.data(), static_cast<int32_t>(Text.size()));
  M.Open(std::move(S), u"x");
  W.show();
  QApplication::processEvents();
  const QImage I = W.RenderToImage();
  const int32_t CW = M.LineSource().CharWidth(U'a');
  const int32_t LH = M.GetLineHeight();
  ASSERT_GT(CW, 0);
  // The hit (characters 10..15 of line 0) on green; the text before it and line 1 on white.
  const QRect Hit(16 + 10 * CW + 1, 1, 6 * CW - 2, LH - 2);
  EXPECT_EQ(Pixel(I, Hit.left(), Hit.top()), QColor(0, 255, 0));
  EXPECT_EQ(Pixel(I, Hit.right(), Hit.bottom()), QColor(0, 255, 0));
  EXPECT_TRUE(HasColor(I, Hit, QColor(255, 255, 255)));  // the hit's text
  EXPECT_FALSE(HasColor(I, QRect(16, 0, 10 * CW - 1, LH), QColor(0, 255, 0)));
  EXPECT_FALSE(HasColor(I, QRect(16, LH, 20 * CW, LH), QColor(0, 255, 0)));
  EXPECT_TRUE(HasColor(I, QRect(16, 0, 10 * CW, LH), QColor(0, 0, 0)));  // plain text is black
  // The gutter: red body, a background column at width - 4.
  EXPECT_EQ(Pixel(I, 2, 50), QColor(255, 0, 0));
  EXPECT_EQ(Pixel(I, 12, 50), QColor(255, 255, 255));
  // A selection over the hit keeps the selection colours.
  M.SetSelection(10, 3);
  const QImage J = W.RenderToImage();
  EXPECT_EQ(Pixel(J, 16 + 10 * CW + 1, 1), RGBToQColor(M.SelBkColor));
  EXPECT_EQ(Pixel(J, 16 + 14 * CW + 1, 1), QColor(0, 255, 0));
}

TEST_F(PreviewWindowTest, ControlShowsItsErrorInRed) {
  TFileViewerWidget W(
      [](IFontMetrics* M) -> std::unique_ptr<TFileViewer64> { return std::make_unique<TFileViewer64>(M); });
  W.resize(400, 200);
  W.SetColors(0xFFFFFF, 0);
  class FailingStream : public TVMemStream {
   public:
    int32_t Read(void*, int32_t) override { Error("Read failed"); }
  };
  EXPECT_THROW(W.Model().Open(std::make_unique<FailingStream>(), u"x"), Exception);
  EXPECT_FALSE(W.Model().IsOpen());
  const QImage I = W.RenderToImage();
  bool Red = false;
  for (int X = 0; X < 200 && !Red; ++X) {
    for (int Y = 0; Y < 20 && !Red; ++Y) {
      const QColor C = Pixel(I, X, Y);
      Red = C.red() > 200 && C.green() < 80 && C.blue() < 80;
    }
  }
  EXPECT_TRUE(Red);
}

TEST_F(PreviewWindowTest, PreviewShowsHitsAndWalksThem) {
  std::string Text = "start\n";
  for (int I = 0; I < 60; ++I) Text += "line " + std::to_string(I) + (I % 20 == 5 ? " needle" : "") + "\n";
  const TFoundFileInfo Info = Write("hits.txt", Text);
  TPreview* W = OpenPreview(Info, false, u"needle", Search_);
  ASSERT_NE(W, nullptr);
  W->resize(500, 300);
  QApplication::processEvents();
  EXPECT_EQ(W->windowTitle().toStdU16String(), Info.Name);
  EXPECT_EQ(W->StatusText(), "windows-1252");
  EXPECT_EQ(W->Model().HitCount(), 3);
  EXPECT_TRUE(W->FirstBtn->isEnabled());
  EXPECT_FALSE(W->PriorBtn->isEnabled());
  EXPECT_TRUE(W->NextBtn->isEnabled());
  W->NextBtn->click();
  EXPECT_EQ(W->Model().GetCurrentHit(), 1);
  // Tab and Shift+Tab in the viewer walk the hits; the focus stays.
  QWidget* Port = &W->ViewerControl();
  Key(Port, Qt::Key_Tab);
  EXPECT_EQ(W->Model().GetCurrentHit(), 2);
  EXPECT_FALSE(W->NextBtn->isEnabled());
  Key(Port, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(W->Model().GetCurrentHit(), 1);
  W->LastBtn->click();
  EXPECT_TRUE(W->Viewer().IsPositionVisible(W->Model().GetHitStarts().Get(2), 6));

  // The current hit is painted in its own background.
  const QImage I = W->ViewerControl().RenderToImage();
  EXPECT_TRUE(HasColor(I, I.rect(), RGBToQColor(ColorToRGB(ProgramSettings().ViewOptions.CurrentHitBack))));
  W->FirstBtn->click();
  const QImage J = W->ViewerControl().RenderToImage();
  EXPECT_TRUE(HasColor(J, J.rect(), RGBToQColor(ColorToRGB(ProgramSettings().ViewOptions.CurrentHitBack))));
}

TEST_F(PreviewWindowTest, AddressUnderTheMouseIsShownAndOpened) {
  ProgramSettings().ViewOptions.DetectLinks = true;
  ProgramSettings().ViewOptions.GutterWidth = 16;
  const TFoundFileInfo Info = Write(
      "links.txt", "Notes on the needle\n\tsee www.example.com for the needle\nno needle here? a needle!\n");
  TPreview* W = OpenPreview(Info, false, u"needle", Search_);
  ASSERT_NE(W, nullptr);
  W->resize(560, 200);
  QApplication::processEvents();
  TFileViewerWidget& C = W->ViewerControl();
  const QImage Before = C.RenderToImage();
  if (const char* Png = std::getenv("SCRYLINE_PREVIEW_PNG")) W->grab().save(Png);
  EXPECT_TRUE(
      HasColor(Before, Before.rect(), RGBToQColor(ColorToRGB(ProgramSettings().ViewOptions.HitBack))));
  EXPECT_TRUE(
      HasColor(Before, Before.rect(), RGBToQColor(ColorToRGB(ProgramSettings().ViewOptions.CurrentHitBack))));
  // Line 1 holds the address after a tab: its first character lies at column 13.
  THTMLViewer64& V = W->Viewer();
  const int32_t CW = V.LineSource().CharWidth(U'w');
  const int32_t LH = V.GetLineHeight();
  const QPoint Over(16 + 14 * CW + CW / 2, LH + LH / 2);
  QMouseEvent Move(QEvent::MouseMove, Over, C.viewport()->mapToGlobal(Over), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(C.viewport(), &Move);
  EXPECT_EQ(V.GetHotLinkURL(), u"www.example.com");
  EXPECT_EQ(C.viewport()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(W->StatusText(), "www.example.com");
  QMouseEvent Press(QEvent::MouseButtonPress, Over, C.viewport()->mapToGlobal(Over), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(C.viewport(), &Press);
  QMouseEvent Release(QEvent::MouseButtonRelease, Over, C.viewport()->mapToGlobal(Over), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(C.viewport(), &Release);
  EXPECT_EQ(Host_.Opened, (std::vector<std::u16string>{u"http://www.example.com"}));
  // Away from it: the charset again.
  const QPoint Off(16 + 2, LH * 2 + 2);
  QMouseEvent Away(QEvent::MouseMove, Off, C.viewport()->mapToGlobal(Off), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(C.viewport(), &Away);
  EXPECT_FALSE(V.HasHotLink());
  EXPECT_EQ(W->StatusText(), "windows-1252");
}

TEST_F(PreviewWindowTest, OneWindowPerFileUnlessItChanged) {
  TFoundFileInfo Info = Write("same.txt", "a needle\n");
  TPreview* A = OpenPreview(Info, false, u"needle", Search_);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(OpenPreview(Info, false, u"needle", Search_), A);
  EXPECT_EQ(PreviewWindows().size(), 1u);
  // The file is rewritten: a warning, and a window of the file as it is now.
  std::ofstream(Dir_ / "same.txt", std::ios::binary) << "a needle, changed\n";
  TPreview* B = OpenPreview(Info, false, u"needle", Search_);
  ASSERT_NE(B, nullptr);
  EXPECT_NE(B, A);
  ASSERT_EQ(Host_.Warnings.size(), 1u);
  EXPECT_EQ(OpenPreview(Info, false, u"needle", Search_), B);
  // A missing file: a message, no window.
  TFoundFileInfo Gone = Info;
  Gone.Name = Utf8ToUtf16((Dir_ / "gone.txt").string());
  EXPECT_EQ(OpenPreview(Gone, false, u"x", Search_), nullptr);
  EXPECT_EQ(Host_.Errors.size(), 1u);
  EXPECT_EQ(PreviewWindows().size(), 2u);
}

TEST_F(PreviewWindowTest, TheSixtyFourthWindowIsRefused) {
  for (int I = 0; I < kMaxPreviewWindows; ++I) {
    ASSERT_NE(OpenPreview(Write("f" + std::to_string(I), "x"), false, u"", Search_), nullptr);
  }
  const TFoundFileInfo Extra = Write("extra", "x");
  EXPECT_THROW(OpenPreview(Extra, false, u"", Search_), EPreview);
  delete PreviewWindows().front();
  EXPECT_NE(OpenPreview(Extra, false, u"", Search_), nullptr);
}

TEST_F(PreviewWindowTest, MenuTogglesAndEmptyPattern) {
  TPreview* A = OpenPreview(Write("a.txt", "a\tb\n"), false, u"", Search_);
  TPreview* B = OpenPreview(Write("b.txt", "c\n"), false, u"", Search_);
  ASSERT_TRUE(A && B);
  // Without a pattern nothing can be walked.
  EXPECT_FALSE(A->FirstBtn->isEnabled());
  EXPECT_FALSE(A->LastBtn->isEnabled());
  A->ToggleWrap();
  EXPECT_TRUE(A->Viewer().GetWordWrap());
  EXPECT_TRUE(B->Viewer().GetWordWrap());
  EXPECT_TRUE(ProgramSettings().ViewOptions.WrapText);
  Key(&A->ViewerControl(), Qt::Key_F2);
  EXPECT_FALSE(B->Viewer().GetWordWrap());
  A->ToggleEOL();
  EXPECT_EQ(B->Viewer().GetEOLMark(), kPreviewEOLMark);
  // Tabs and spaces: this window only, but kept in the settings.
  A->ToggleShowTabs();
  EXPECT_TRUE(A->Viewer().GetShowTabs());
  EXPECT_FALSE(B->Viewer().GetShowTabs());
  EXPECT_TRUE(ProgramSettings().ViewOptions.ShowTabs);
  // Find: not found is a warning.
  A->FindDlg->findChild<QLineEdit*>()->setText("zzz");
  A->FindNext();
  ASSERT_EQ(Host_.Warnings.size(), 1u);
  EXPECT_EQ(Host_.Warnings[0], u"Search string 'zzz' not found");
}

TEST_F(PreviewWindowTest, OptionsDialogReachesEveryPreview) {
  TPreview* A = OpenPreview(Write("a.txt", "text\n"), false, u"", Search_);
  TPreview* B = OpenPreview(Write("b.txt", "text\n"), false, u"", Search_);
  ASSERT_TRUE(A && B);
  TPreviewOptions& D = PreviewOptionsDialog();
  D.ShowSettings();
  EXPECT_EQ(D.TabEdit->text(), QString::number(ProgramSettings().ViewOptions.TabSize));
  // Edits are taken even when the dialog is left with Escape.
  D.TabEdit->setText("0");
  D.GutterEdit->setText("100");
  D.show();
  Key(&D, Qt::Key_Escape);
  EXPECT_FALSE(D.isVisible());
  EXPECT_EQ(ProgramSettings().ViewOptions.TabSize, 1);
  EXPECT_EQ(ProgramSettings().ViewOptions.GutterWidth, 64);
  EXPECT_EQ(D.TabEdit->text(), "1");
  EXPECT_EQ(A->Viewer().GetTabSize(), 1);
  EXPECT_EQ(B->Viewer().GetGutterWidth(), 64);
  // A text that is no number keeps the setting and shows it again.
  D.TabEdit->setText("x");
  D.CommitEdits();
  EXPECT_EQ(ProgramSettings().ViewOptions.TabSize, 1);
  EXPECT_EQ(D.TabEdit->text(), "1");
  // A colour chosen reaches the previews at once.
  D.ChooseColor = [](uint32_t& C) {
    C = 0x00FF00;
    return true;
  };
  D.SelBkColorBtn->click();
  EXPECT_EQ(ProgramSettings().ViewOptions.Selection, 0x00FF00u);
  EXPECT_EQ(A->Viewer().SelBkColor, 0x00FF00u);
  EXPECT_EQ(B->Viewer().SelBkColor, 0x00FF00u);
  D.Defaults2Btn->click();
  EXPECT_EQ(B->ViewerControl().GetBackground(), ColorToRGB(RGBColor(0, 0, 160)));
  // A cancelled colour changes nothing.
  D.ChooseColor = [](uint32_t&) { return false; };
  D.BkColorBtn->click();
  EXPECT_EQ(ProgramSettings().ViewOptions.Background, RGBColor(0, 0, 160));
  D.ChooseColor = nullptr;
}

}  // namespace

namespace {

TEST_F(PreviewWindowTest, EscapeCancelsAConversionThenReachesTheWindowsAgain) {
  TQVConverters List;
  ASSERT_EQ(List.AddConverter(std::string(SCRYLINE_TEST_PLUGINS) + "/impxls.so", false), kConverterLoaded);
  std::u16string MainStatus = u"main";
  std::vector<std::u16string> Statuses;
  TPreviewEnvironment E;
  E.Converters = &List;
  E.GetStatusText = [&] { return MainStatus; };
  E.SetStatusText = [&](const std::u16string& S) {
    MainStatus = S;
    Statuses.push_back(S);
  };
  SetPreviewEnvironment(E);
  // The program's own host, with message boxes: the error box is closed as soon as it shows.
  SetPreviewHost(nullptr);
  TPreview* Open = OpenPreview(Write("open.txt", "x"), false, u"", Search_);
  ASSERT_NE(Open, nullptr);
  QTimer Closer;
  QObject::connect(&Closer, &QTimer::timeout, [] {
    if (QWidget* M = QApplication::activeModalWidget()) M->close();
  });
  Closer.start(10);
  // Pressed before the conversion polls: the conversion takes it and stops.
  QApplication::postEvent(&Open->ViewerControl(),
                          new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  EXPECT_EQ(OpenPreview(Write("slow.xls", "xls: cancel\n"), true, u"x", Search_), nullptr);
  Closer.stop();
  EXPECT_EQ(PreviewWindows().size(), 1u);
  ASSERT_GE(Statuses.size(), 2u);
  EXPECT_EQ(Statuses.front().rfind(u"Converting \"slow.xls\"... Press 'Escape' to cancel", 0), 0u);
  EXPECT_EQ(MainStatus, u"main");
  // Once the conversion is over, Escape reaches the windows again and closes the preview.
  Open->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Open));
  QTest::keyClick(&Open->ViewerControl(), Qt::Key_Escape);
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(PreviewWindows().empty());
  SetPreviewEnvironment(TPreviewEnvironment());
}

}  // namespace

namespace {

TEST_F(PreviewWindowTest, ScrollBarsFollowTheModel) {
  std::string Text;
  for (int I = 0; I < 500; ++I) Text += "row " + std::to_string(I) + "\n";
  TPreview* W = OpenPreview(Write("rows.txt", Text), false, u"", Search_);
  ASSERT_NE(W, nullptr);
  W->resize(400, 300);
  QApplication::processEvents();
  QScrollBar* Bar = W->ViewerControl().verticalScrollBar();
  EXPECT_TRUE(Bar->isEnabled());
  Bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  THTMLViewer64& V = W->Viewer();
  EXPECT_GT(V.GetPosition(), 0);
  EXPECT_EQ(Bar->value(), V.GetVertScrollBar().Pos);
  Bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(V.GetPosition(), V.GetLastTop());
  EXPECT_EQ(Bar->value(), Bar->maximum());
  Bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(V.GetPosition(), 0);
  // Keys reach the model too.
  Key(&W->ViewerControl(), Qt::Key_End);
  EXPECT_EQ(V.GetPosition(), V.GetLastTop());
}

TEST_F(PreviewWindowTest, PlacementIsKept) {
  ProgramSettings().ViewOptions.PreviewRect = TRect32{};
  TPreview* A = OpenPreview(Write("a.txt", "a"), false, u"", Search_);
  ASSERT_NE(A, nullptr);
  A->setGeometry(40, 50, 420, 310);
  QApplication::processEvents();
  const QRect G = A->normalGeometry();
  EXPECT_EQ(ProgramSettings().ViewOptions.PreviewRect,
            (TRect32{G.left(), G.top(), G.right() + 1, G.bottom() + 1}));
  EXPECT_FALSE(ProgramSettings().ViewOptions.PreviewMaximized);
  // A second window takes the stored size.
  TPreview* B = OpenPreview(Write("b.txt", "b"), false, u"", Search_);
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->size(), G.size());
}

TEST_F(PreviewWindowTest, LinkTextControl) {
  TFileViewerWidget W([](IFontMetrics* M) -> std::unique_ptr<TFileViewer64> {
    return std::make_unique<TClickableViewer>(M);
  });
  W.resize(400, 100);
  W.SetColors(0xFFFFFF, 0);
  auto& C = static_cast<TClickableViewer&>(W.Model());
  C.SetLinkText("Home: <the site|http://s.org/>");
  std::string Clicked;
  W.OnClick = [&](int32_t, int32_t) { Clicked = C.GetHotLinkTarget(); };
  W.show();
  QApplication::processEvents();
  const int32_t CW = C.LineSource().CharWidth(U'e');
  const QPoint Over(7 * CW + CW / 2, 4);
  QMouseEvent Move(QEvent::MouseMove, Over, W.viewport()->mapToGlobal(Over), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(W.viewport(), &Move);
  EXPECT_EQ(W.viewport()->cursor().shape(), Qt::PointingHandCursor);
  const QImage I = W.RenderToImage();
  EXPECT_TRUE(HasColor(I, QRect(6 * CW, 0, 8 * CW, C.GetLineHeight()), QColor(0, 0, 255)));
  EXPECT_FALSE(HasColor(I, QRect(0, 0, 5 * CW, C.GetLineHeight()), QColor(0, 0, 255)));
  QMouseEvent Press(QEvent::MouseButtonPress, Over, W.viewport()->mapToGlobal(Over), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W.viewport(), &Press);
  QMouseEvent Release(QEvent::MouseButtonRelease, Over, W.viewport()->mapToGlobal(Over), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(W.viewport(), &Release);
  EXPECT_EQ(Clicked, "http://s.org/");
  EXPECT_EQ(C.GetSelLength(), 0);
}

}  // namespace
