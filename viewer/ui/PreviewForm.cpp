#include "viewer/ui/PreviewForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "core/FileLayer.h"
#include "core/MsgStr.h"
#include "viewer/ui/InputGuard.h"
#include "viewer/ui/PreviewOptionsForm.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromUtf16(S.data(), static_cast<qsizetype>(S.size())); }
std::u16string U(const QString& S) {
  return std::u16string(reinterpret_cast<const char16_t*>(S.utf16()), S.size());
}

// The window's size before it was ever placed, and its smallest size.
constexpr int kPreviewWidth = 400, kPreviewHeight = 300;
constexpr int kPreviewMinWidth = 120, kPreviewMinHeight = 90;
constexpr int kNavButtonSize = 23;

TPreviewEnvironment Environment;
std::vector<TPreview*> Windows;

// The host of message boxes, the main window's status text and the desktop's URL handler.
class TDefaultPreviewHost : public IPreviewHost {
 public:
  void ShowError(const std::u16string& Text) override {
    QMessageBox::critical(Parent(), QString::fromUtf8(GetMsg(TMsgIndex::Error)), Q(Text));
  }
  void ShowWarning(const std::u16string& Text) override {
    QMessageBox::warning(Parent(), QString::fromUtf8(GetMsg(TMsgIndex::Warning)), Q(Text));
  }
  std::u16string GetStatusText() override {
    return Environment.GetStatusText ? Environment.GetStatusText() : Status_;
  }
  void SetStatusText(const std::u16string& Text) override {
    if (Environment.SetStatusText) {
      Environment.SetStatusText(Text);
    } else {
      Status_ = Text;
    }
  }
  TQVConverters* GetConverters() override { return Environment.Converters; }
  bool ExtractPassword(const std::string& ArcName, const std::string& ItemName,
                       std::string& Password) override {
    return Environment.ExtractPassword && Environment.ExtractPassword(ArcName, ItemName, Password);
  }
  // While a conversion runs the user's input is held back, so that nothing closes or reloads a window in
  // the middle of it, and an Escape key pressed anywhere is remembered.
  void ConversionStarted() override { Guard_.Begin(); }
  void ConversionEnded() override { Guard_.End(); }
  bool EscapePressed() override { return Guard_.EscapePressed(); }
  void OpenURL(const std::u16string& URL) override { QDesktopServices::openUrl(QUrl(Q(URL))); }

 private:
  static QWidget* Parent() {
    return QApplication::activeWindow() ? QApplication::activeWindow() : Environment.MainWindow;
  }
  std::u16string Status_;
  TInputGuard Guard_;
};

TDefaultPreviewHost DefaultHost;
IPreviewHost* Host = &DefaultHost;

}  // namespace

void SetPreviewEnvironment(const TPreviewEnvironment& E) {
  Environment = E;
  DropPreviewOptionsDialog();
}

void PreviewWindowMade(QWidget* Window) {
  if (Environment.WindowMade) Environment.WindowMade(Window);
}

void SetPreviewHost(IPreviewHost* H) { Host = H ? H : &DefaultHost; }
const std::vector<TPreview*>& PreviewWindows() { return Windows; }

QFont FontRecToFont(const TFontRec& Rec) {
  QFont F(QString::fromStdString(Rec.Name));
  F.setStyleHint(QFont::TypeWriter);
  if (Rec.Height < 0) {
    F.setPixelSize(-Rec.Height);
  } else if (Rec.Height > 0) {
    F.setPointSize(Rec.Height);
  }
  F.setBold(Rec.Style & fsBold);
  F.setItalic(Rec.Style & fsItalic);
  F.setUnderline(Rec.Style & fsUnderline);
  F.setStrikeOut(Rec.Style & fsStrikeOut);
  return F;
}

TFontRec FontToFontRec(const QFont& Font, TColor Color) {
  TFontRec R;
  R.Name = Font.family().toStdString();
  R.Height = Font.pixelSize() > 0 ? -Font.pixelSize() : Font.pointSize();
  R.Color = Color;
  R.Style = static_cast<uint8_t>((Font.bold() ? fsBold : 0) | (Font.italic() ? fsItalic : 0) |
                                 (Font.underline() ? fsUnderline : 0) | (Font.strikeOut() ? fsStrikeOut : 0));
  return R;
}

// ---- Find dialog ------------------------------------------------------------------------------------

TPreviewFindDialog::TPreviewFindDialog(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FindDlg");
  setWindowTitle(tr("Find"));
  Edit_ = new QLineEdit(this);
  Edit_->setObjectName("FindEdit");
  CaseCheck_ = new QCheckBox(tr("Match &case"), this);
  CaseCheck_->setObjectName("FindCaseCheck");
  WordCheck_ = new QCheckBox(tr("Match &whole word only"), this);
  WordCheck_->setObjectName("FindWordCheck");
  auto* FindBtn = new QPushButton(tr("&Find Next"), this);
  FindBtn->setObjectName("FindNextBtn");
  FindBtn->setDefault(true);
  auto* CancelBtn = new QPushButton(tr("Cancel"), this);
  CancelBtn->setObjectName("FindCancelBtn");
  auto* L = new QVBoxLayout(this);
  L->addWidget(Edit_);
  L->addWidget(CaseCheck_);
  L->addWidget(WordCheck_);
  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(FindBtn);
  Buttons->addWidget(CancelBtn);
  L->addLayout(Buttons);
  connect(FindBtn, &QPushButton::clicked, this, [this] {
    if (OnFind) OnFind();
  });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::hide);
}

std::u16string TPreviewFindDialog::Text() const { return U(Edit_->text()); }
bool TPreviewFindDialog::MatchCase() const { return CaseCheck_->isChecked(); }
bool TPreviewFindDialog::WholeWord() const { return WordCheck_->isChecked(); }

// ---- The window -------------------------------------------------------------------------------------

TPreview::TPreview(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName("Preview");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(kPreviewWidth, kPreviewHeight);
  setMinimumSize(kPreviewMinWidth, kPreviewMinHeight);

  auto* Central = new QWidget(this);
  auto* Layout = new QVBoxLayout(Central);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  auto* Top = new QWidget(Central);
  auto* TopLayout = new QHBoxLayout(Top);
  TopLayout->setContentsMargins(2, 2, 2, 2);
  auto MakeNav = [&](const char* Name, Qt::ArrowType Arrow, const QString& Tip) {
    auto* B = new QToolButton(Top);
    B->setObjectName(Name);
    B->setArrowType(Arrow);
    B->setToolTip(Tip);
    B->setFixedSize(kNavButtonSize, kNavButtonSize);
    TopLayout->addWidget(B);
    return B;
  };
  FirstBtn = MakeNav("FirstBtn", Qt::UpArrow, tr("First hit"));
  PriorBtn = MakeNav("PriorBtn", Qt::LeftArrow, tr("Previous hit"));
  NextBtn = MakeNav("NextBtn", Qt::RightArrow, tr("Next hit"));
  LastBtn = MakeNav("LastBtn", Qt::DownArrow, tr("Last hit"));
  ConvToTextBtn = new QPushButton(tr("Convert to &text"), Top);
  ConvToTextBtn->setObjectName("ConvToTextBtn");
  TopLayout->addWidget(ConvToTextBtn);
  TopLayout->addStretch(1);
  Layout->addWidget(Top);

  ViewerWidget_ = new TFileViewerWidget(
      [](IFontMetrics* M) -> std::unique_ptr<TFileViewer64> { return std::make_unique<THTMLViewer64>(M); },
      Central);
  ViewerWidget_->setObjectName("P2");
  ViewerWidget_->setFrameShape(QFrame::Box);
  ViewerWidget_->WantTabs = true;
  Layout->addWidget(ViewerWidget_, 1);
  setCentralWidget(Central);
  statusBar()->setSizeGripEnabled(true);

  PreviewModel_ = std::make_unique<TPreviewModel>(Viewer(), *Host);
  PreviewModel_->OnNavigationChanged = [this] { UpdateNavigation(); };
  PreviewModel_->OnStatusChanged = [this] { HotLinkChanged(); };
  THTMLViewer64& V = Viewer();
  V.OnHotLinkChange = [this](THTMLViewer64*) { HotLinkChanged(); };
  V.OnLinkClick = [this](THTMLViewer64*, const std::u16string& URL, int32_t Index) {
    PreviewModel_->LinkClick(URL, Index);
  };
  V.OnBeginSelect = [this](TFileViewer64*) { ViewerWidget_->viewport()->setCursor(Qt::IBeamCursor); };
  ViewerWidget_->OnKeyDown = [this](QKeyEvent* E) { return ViewerKeyDown(E); };
  ViewerWidget_->OnContextMenu = [this](const QPoint& P) { ShowPopup(P); };
  ViewerWidget_->OnMouseLeave = [this] { PreviewIdle(this); };

  connect(FirstBtn, &QToolButton::clicked, this, [this] { ShowHit(0); });
  connect(PriorBtn, &QToolButton::clicked, this, [this] { ShowHit(PreviewModel_->GetCurrentHit() - 1); });
  connect(NextBtn, &QToolButton::clicked, this, [this] { ShowHit(PreviewModel_->GetCurrentHit() + 1); });
  connect(LastBtn, &QToolButton::clicked, this, [this] { ShowHit(PreviewModel_->HitCount() - 1); });
  connect(ConvToTextBtn, &QPushButton::clicked, this, [this] { ConvertToText(); });

  FindDlg = new TPreviewFindDialog(this);
  FindDlg->OnFind = [this] { FindNext(); };

  MainPopup = new QMenu(this);
  MainPopup->setObjectName("MainPopup");
  AddAction(MainPopup, "mpClose", tr("Close"), QKeySequence(Qt::Key_Escape), [this] { close(); });
  MainPopup->addSeparator();
  FindAct_ = AddAction(MainPopup, "mpFind", tr("Find"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
    FindDlg->show();
    FindDlg->raise();
  });
  FindNextAct_ =
      AddAction(MainPopup, "mpFindNext", tr("Find &Next"), QKeySequence(Qt::Key_F3), [this] { FindNext(); });
  MainPopup->addSeparator();
  WrapAct_ =
      AddAction(MainPopup, "mpWrap", tr("Wrap Text"), QKeySequence(Qt::Key_W), [this] { ToggleWrap(); });
  EolAct_ =
      AddAction(MainPopup, "mpShowEOL", tr("Show EO&L"), QKeySequence(Qt::Key_L), [this] { ToggleEOL(); });
  TabsAct_ = AddAction(MainPopup, "mpShowTabs", tr("Sh&ow Tabs and Spaces"), QKeySequence(Qt::Key_O),
                       [this] { ToggleShowTabs(); });
  for (QAction* A : {WrapAct_, EolAct_, TabsAct_}) A->setCheckable(true);
  MainPopup->addSeparator();
  CopyAct_ = AddAction(MainPopup, "mpCopy", tr("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C),
                       [this] { ViewerWidget_->Model().CopyToClipboard(0); });
  AddAction(MainPopup, "mpSelectAll", tr("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A),
            [this] { ViewerWidget_->Model().SelectAll(); });
  MainPopup->addSeparator();
  AddAction(MainPopup, "mpProps", tr("Properties"), QKeySequence(Qt::Key_F9), [this] {
    Viewer().ClearHotLink();
    ShowPreviewOptions(this);
  });

  HTMLPopup = new QMenu(this);
  HTMLPopup->setObjectName("HTMLPopup");
  OpenLinkAct_ = HTMLPopup->addAction(tr("&Open URL"));
  OpenLinkAct_->setObjectName("mpOpenLink");
  connect(OpenLinkAct_, &QAction::triggered, this,
          [this] { PreviewModel_->LinkClick(PopupUrl_, PopupLinkIndex_); });
  CopyUrlAct_ = HTMLPopup->addAction(tr("Copy &URL"));
  CopyUrlAct_->setObjectName("mpCopyURL");
  connect(CopyUrlAct_, &QAction::triggered, this, [this] {
    auto* Data = new QMimeData;
    Data->setText(Q(PopupUrl_));
    Data->setData("text/plain;charset=utf-8", Q(PopupUrl_).toUtf8());
    QGuiApplication::clipboard()->setMimeData(Data);
  });

  Windows.push_back(this);
  ApplyPreviewOptions(this);
  UpdateNavigation();
}

TPreview::~TPreview() {
  if (TrackPlacement) StorePlacement();
  if (Environment.RemovePreviewMenuItem) Environment.RemovePreviewMenuItem(this);
  Windows.erase(std::remove(Windows.begin(), Windows.end(), this), Windows.end());
  // The model lets go of the viewer (and deletes its temporary file) before the widgets go.
  PreviewModel_.reset();
}

QAction* TPreview::AddAction(QMenu* Menu, const char* Name, const QString& Caption, const QKeySequence& Key,
                             const std::function<void()>& Do) {
  QAction* A = Menu->addAction(Caption);
  A->setObjectName(Name);
  A->setShortcut(Key);
  A->setShortcutContext(Qt::WindowShortcut);
  addAction(A);
  connect(A, &QAction::triggered, this, [Do] { Do(); });
  return A;
}

void TPreview::UpdateNavigation() {
  FirstBtn->setEnabled(PreviewModel_->CanFirst());
  PriorBtn->setEnabled(PreviewModel_->CanPrior());
  NextBtn->setEnabled(PreviewModel_->CanNext());
  LastBtn->setEnabled(PreviewModel_->CanLast());
  ConvToTextBtn->setVisible(PreviewModel_->CanConvert());
}

void TPreview::ShowHit(int32_t N) { PreviewModel_->ShowHit(N); }

QString TPreview::StatusText() const { return statusBar()->currentMessage(); }

void TPreview::LanguageChanged() { HotLinkChanged(); }

void TPreview::HotLinkChanged() {
  const bool Hot = Viewer().HasHotLink();
  ViewerWidget_->viewport()->setCursor(Hot ? Qt::PointingHandCursor : Qt::IBeamCursor);
  statusBar()->showMessage(Q(PreviewModel_->StatusText()));
}

void TPreview::ShowPopup(const QPoint& GlobalPos) {
  THTMLViewer64& V = Viewer();
  if (V.HasHotLink()) {
    PopupUrl_ = V.GetHotLinkURL();
    PopupLinkIndex_ = V.GetHotLinkIndex();
    std::u16string Complete = PopupUrl_;
    OpenLinkAct_->setEnabled(CompleteURL(Complete, PopupLinkIndex_ < 0));
    CopyUrlAct_->setEnabled(!PopupUrl_.empty());
    HTMLPopup->popup(GlobalPos);
    return;
  }
  FindAct_->setEnabled(V.IsOpen());
  FindNextAct_->setEnabled(V.IsOpen());
  WrapAct_->setChecked(V.GetWordWrap());
  EolAct_->setChecked(V.GetEOLMark() != 0);
  TabsAct_->setChecked(V.GetShowTabs());
  CopyAct_->setEnabled(V.GetSelLength() > 0);
  MainPopup->popup(GlobalPos);
}

bool TPreview::ViewerKeyDown(QKeyEvent* E) {
  const bool Shift = E->modifiers() & Qt::ShiftModifier;
  switch (E->key()) {
    case Qt::Key_Tab:
      PreviewModel_->ViewerKey(TPreviewKey::Tab);
      return true;
    case Qt::Key_Backtab:
      PreviewModel_->ViewerKey(TPreviewKey::ShiftTab);
      return true;
    case Qt::Key_Space:
      PreviewModel_->ViewerKey(Shift ? TPreviewKey::ShiftSpace : TPreviewKey::Space);
      return true;
    case Qt::Key_Insert:
      if (!(E->modifiers() & Qt::ControlModifier)) return false;
      ViewerWidget_->Model().CopyToClipboard(0);
      return true;
    case Qt::Key_F2:
      ToggleWrap();
      return true;
    default:
      return false;
  }
}

void TPreview::FindNext() {
  const std::u16string Text = FindDlg->Text();
  if (Text.empty()) {
    FindDlg->show();
    FindDlg->raise();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    PreviewModel_->Find(Text, FindDlg->MatchCase(), FindDlg->WholeWord());
  } catch (const Exception&) {
    // The viewer shows the failure as its error text.
  }
  QApplication::restoreOverrideCursor();
}

void TPreview::ToggleWrap() {
  PreviewViewOptions().WrapText = !Viewer().GetWordWrap();
  for (TPreview* W : Windows) W->Viewer().SetWordWrap(PreviewViewOptions().WrapText);
}

void TPreview::ToggleEOL() {
  PreviewViewOptions().ShowEOL = Viewer().GetEOLMark() == 0;
  for (TPreview* W : Windows) W->Viewer().SetEOLMark(PreviewViewOptions().ShowEOL ? kPreviewEOLMark : 0);
}

void TPreview::ToggleShowTabs() {
  PreviewViewOptions().ShowTabs = !Viewer().GetShowTabs();
  Viewer().SetShowTabs(PreviewViewOptions().ShowTabs);
}

void TPreview::ConvertToText() {
  ConvToTextBtn->setEnabled(false);
  ViewerWidget_->setFocus();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    PreviewModel_->ConvertShownFile();
  } catch (const Exception& E) {
    Host->ShowError(Utf8ToUtf16(E.Message()));
  }
  QApplication::restoreOverrideCursor();
  UpdateNavigation();
}

void TPreview::StorePlacement() {
  const QRect R = normalGeometry();
  PreviewViewOptions().PreviewRect = TRect32{R.left(), R.top(), R.right() + 1, R.bottom() + 1};
  PreviewViewOptions().PreviewMaximized = isMaximized();
}

void TPreview::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  if (TrackPlacement) StorePlacement();
}

void TPreview::moveEvent(QMoveEvent* Event) {
  QMainWindow::moveEvent(Event);
  if (TrackPlacement) StorePlacement();
}

void TPreview::changeEvent(QEvent* Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() == QEvent::LanguageChange) LanguageChanged();
  if (Event->type() == QEvent::WindowStateChange && TrackPlacement) StorePlacement();
}

// ---- Entry points -----------------------------------------------------------------------------------

namespace {

void PlaceNewWindow(TPreview* W) {
  const TRect32& R = PreviewViewOptions().PreviewRect;
  const bool Stored = R.Right > R.Left && R.Bottom > R.Top;
  if (!Stored) {
    if (QWidget* Main = Environment.MainWindow) W->move(Main->geometry().center() - W->rect().center());
    return;
  }
  QRect Rect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
  if (QScreen* S = QGuiApplication::primaryScreen()) {
    const QRect Avail = S->availableGeometry();
    Rect.setWidth(std::min(Rect.width(), Avail.width()));
    Rect.setHeight(std::min(Rect.height(), Avail.height()));
    if (!Avail.contains(Rect)) Rect.moveTopLeft(Avail.topLeft());
  }
  // The first window takes the whole rectangle, later ones only its size.
  if (Windows.size() == 1) {
    W->setGeometry(Rect);
  } else {
    W->resize(Rect.size());
  }
}

}  // namespace

TPreview* OpenPreview(const TFoundFileInfo& Info, bool Convert, const std::u16string& Pattern,
                      const TPreviewSearchSettings& Settings) {
  const TPreviewFileCheck Check = CheckPreviewFile(Info, Pattern, *Host);
  if (!Check.Ok) return nullptr;
  for (TPreview* W : Windows) {
    if (W->Model().ShowsFile(Info, Check.Changed, Check.Size, Check.Date)) {
      W->show();
      W->raise();
      W->activateWindow();
      return W;
    }
  }
  CheckPreviewCount(static_cast<int32_t>(Windows.size()));
  if (Check.Changed) Host->ShowWarning(FormatMsgW(TMsgIndex::FileChanged_s, {Info.Name}));
  auto* W = new TPreview(nullptr);
  PreviewWindowMade(W);
  PlaceNewWindow(W);
  bool Loaded = false;
  try {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Loaded = W->Model().LoadFile(Info, Settings, Pattern, Convert);
    QApplication::restoreOverrideCursor();
  } catch (...) {
    QApplication::restoreOverrideCursor();
    delete W;
    throw;
  }
  if (!Loaded) {
    delete W;
    return nullptr;
  }
  W->setWindowTitle(Q(W->Model().GetCaption()));
  W->Model().SetFileStamp(Check.Size, Check.Date);
  if (PreviewViewOptions().PreviewMaximized) {
    W->showMaximized();
  } else {
    W->show();
  }
  W->TrackPlacement = true;
  W->ViewerControl().setFocus();
  if (Environment.AddPreviewMenuItem) Environment.AddPreviewMenuItem(W);
  return W;
}

void PreviewIdle(TPreview* W) {
  if (!W) return;
  THTMLViewer64& V = W->Viewer();
  if (!V.HasHotLink()) return;
  QWidget* Port = W->ViewerControl().viewport();
  if (!Port->rect().contains(Port->mapFromGlobal(QCursor::pos()))) V.ClearHotLink();
}

void ApplyPreviewOptions(TPreview* W) {
  TFileViewerWidget& C = W->ViewerControl();
  THTMLViewer64& V = W->Viewer();
  V.BeginUpdate();
  C.SetTextFont(FontRecToFont(PreviewFont()));
  const TAppliedColors Colors = ApplyViewOptions(V, PreviewViewOptions(), PreviewFont());
  C.SetColors(Colors.Background, Colors.Text);
  V.EndUpdate();
}

void ApplyPreviewOptionsToAll() {
  for (TPreview* W : Windows) ApplyPreviewOptions(W);
}
