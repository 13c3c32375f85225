#include "viewer/ui/FileViewerWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

#include "platform/qvnls/Qvnls.h"
#include "viewer/ClickView.h"
#include "viewer/HTMLViewer.h"

namespace {

// Degrees of one wheel notch in Qt's angle units (eighths of a degree).
constexpr int kWheelNotch = 120;
// The error text's colour, red.
constexpr uint32_t kErrorColor = 0x0000FF;

QString ToQString(const std::u16string& S) {
  return QString::fromUtf16(S.data(), static_cast<qsizetype>(S.size()));
}

uint32_t ShiftOf(Qt::KeyboardModifiers M) {
  uint32_t S = 0;
  if (M & Qt::ShiftModifier) S |= ssShift;
  if (M & Qt::AltModifier) S |= ssAlt;
  if (M & Qt::ControlModifier) S |= ssCtrl;
  return S;
}

}  // namespace

QColor RGBToQColor(uint32_t C) { return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

// ---- Metrics and clipboard --------------------------------------------------------------------------

void TQtFontMetrics::SetFont(const QFont& F) {
  Font_ = F;
  const QFontMetricsF M(Font_);
  Height_ = std::max(1, static_cast<int32_t>(std::ceil(M.height())));
  AscentPx_ = static_cast<int32_t>(std::ceil(M.ascent()));
}

int32_t TQtFontMetrics::CharWidth(char32_t Ch) {
  const QFontMetricsF M(Font_);
  return static_cast<int32_t>(std::lround(M.horizontalAdvance(QString::fromUcs4(&Ch, 1))));
}

int32_t TQtFontMetrics::LineHeight() { return Height_; }

void TQtViewerClipboard::Empty() {
  delete Data_;
  Data_ = new QMimeData;
}

void TQtViewerClipboard::SetUnicodeText(const std::u16string& Text) {
  if (!Data_) Data_ = new QMimeData;
  Data_->setText(ToQString(Text));
}

void TQtViewerClipboard::SetText(const std::string& Text, uint8_t Charset) {
  if (!Data_) Data_ = new QMimeData;
  char Name[64] = {};
  if (!qvnls::GetHTMLCharsetNameBuf(Charset, Name, sizeof Name)) return;
  Data_->setData(QString("text/plain;charset=") + Name,
                 QByteArray(Text.data(), static_cast<qsizetype>(Text.size())));
}

void TQtViewerClipboard::Close() {
  if (!Data_) return;
  QGuiApplication::clipboard()->setMimeData(Data_);
  Data_ = nullptr;
}

// ---- The widget -------------------------------------------------------------------------------------

TFileViewerWidget::TFileViewerWidget(const TModelFactory& MakeModel, QWidget* Parent)
    : QAbstractScrollArea(Parent) {
  Font_ = QFont("Monospace");
  Font_.setStyleHint(QFont::TypeWriter);
  Font_.setPointSize(10);
  Font_.setKerning(false);
  Metrics_.SetFont(Font_);
  ViewerModel_ = MakeModel(&Metrics_);
  ViewerModel_->Clipboard = &Clipboard_;
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  DragTimer_.setSingleShot(true);
  connect(&DragTimer_, &QTimer::timeout, this, [this] { DragStep(); });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int A) { BarAction(true, A); });
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, [this](int A) { BarAction(false, A); });
  connect(verticalScrollBar(), &QScrollBar::sliderReleased, this,
          [this] { Guard([&] { ViewerModel_->VScroll(TScrollCode::EndScroll); }); });

  TFileViewer64& M = *ViewerModel_;
  M.OnInvalidate = [this] { viewport()->update(); };
  M.OnInvalidateRect = [this](const TViewerArea& A) { viewport()->update(A.X, A.Y, A.W, A.H); };
  M.OnScrollWindow = [this](int32_t Dx, int32_t Dy) {
    if (Dy != 0) {
      viewport()->scroll(0, Dy);
    } else {
      // The gutter stays where it is.
      const int32_t G = ViewerModel_->HasGutter() ? ViewerModel_->GetGutterWidth() : 0;
      viewport()->scroll(Dx, 0, QRect(G, 0, viewport()->width() - G, viewport()->height()));
    }
  };
  M.OnScrollBars = [this](const TScrollBarInfo& V, const TScrollBarInfo& H) { ApplyScrollBars(V, H); };
  M.FontChanged();
  ApplyScrollBars(M.GetVertScrollBar(), M.GetHorzScrollBar());
}

TFileViewerWidget::~TFileViewerWidget() {
  // The model must not call back into a widget that is going.
  ViewerModel_->OnInvalidate = nullptr;
  ViewerModel_->OnInvalidateRect = nullptr;
  ViewerModel_->OnScrollWindow = nullptr;
  ViewerModel_->OnScrollBars = nullptr;
}

void TFileViewerWidget::Guard(const std::function<void()>& Body) {
  try {
    Body();
  } catch (const Exception&) {
    // The model has taken the error state and shows the message.
    viewport()->update();
  }
}

void TFileViewerWidget::SetTextFont(const QFont& F) {
  Font_ = F;
  Font_.setKerning(false);
  Metrics_.SetFont(Font_);
  Guard([&] { ViewerModel_->FontChanged(); });
}

void TFileViewerWidget::SetColors(uint32_t Bk, uint32_t Text) {
  Background_ = Bk;
  TextColor_ = Text;
  viewport()->update();
}

void TFileViewerWidget::ApplyScrollBars(const TScrollBarInfo& V, const TScrollBarInfo& H) {
  ApplyingBars_ = true;
  auto Apply = [](QScrollBar* B, const TScrollBarInfo& I) {
    const int Page = std::max(1, I.Page);
    B->setEnabled(I.Max != 0);
    B->setRange(I.Min, std::max(I.Min, I.Max - Page + 1));
    B->setPageStep(Page);
    B->setSingleStep(1);
    B->setValue(I.Pos);
    B->setSliderPosition(I.Pos);
  };
  Apply(verticalScrollBar(), V);
  Apply(horizontalScrollBar(), H);
  ApplyingBars_ = false;
}

void TFileViewerWidget::BarAction(bool Vertical, int Action) {
  TScrollCode Code;
  switch (Action) {
    case QAbstractSlider::SliderSingleStepAdd:
      Code = TScrollCode::LineDown;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      Code = TScrollCode::LineUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      Code = TScrollCode::PageDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      Code = TScrollCode::PageUp;
      break;
    case QAbstractSlider::SliderToMinimum:
      Code = TScrollCode::Top;
      break;
    case QAbstractSlider::SliderToMaximum:
      Code = TScrollCode::Bottom;
      break;
    case QAbstractSlider::SliderMove:
      Code = TScrollCode::Track;
      break;
    default:
      return;
  }
  QScrollBar* B = Vertical ? verticalScrollBar() : horizontalScrollBar();
  Guard([&] {
    if (Vertical) {
      ViewerModel_->VScroll(Code, B->sliderPosition());
    } else {
      ViewerModel_->HScroll(Code, B->sliderPosition());
    }
  });
  // The bar shows where the model went, not where the action would have put it.
  if (Code != TScrollCode::Track) {
    B->setSliderPosition(Vertical ? ViewerModel_->GetVertScrollBar().Pos
                                  : ViewerModel_->GetHorzScrollBar().Pos);
  }
}

void TFileViewerWidget::scrollContentsBy(int, int) {
  // The model moves the pixels itself (OnScrollWindow).
}

void TFileViewerWidget::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  Guard([&] { ViewerModel_->SetClientSize(viewport()->width(), viewport()->height()); });
}

void TFileViewerWidget::paintEvent(QPaintEvent* Event) {
  QPainter P(viewport());
  Paint(P, Event->rect());
}

QImage TFileViewerWidget::RenderToImage() {
  QImage Image(viewport()->size(), QImage::Format_RGB32);
  Image.fill(RGBToQColor(Background_));
  QPainter P(&Image);
  Paint(P, Image.rect());
  return Image;
}

void TFileViewerWidget::Paint(QPainter& P, const QRect& Clip) {
  TFileViewer64& M = *ViewerModel_;
  const int32_t W = viewport()->width();
  const int32_t H = viewport()->height();
  const int32_t Gutter = M.HasGutter() ? M.GetGutterWidth() : 0;
  P.fillRect(Clip, RGBToQColor(Background_));
  if (M.IsUpdating()) return;
  for (const TGutterStripe& S : GutterStripes(Gutter)) {
    P.fillRect(S.X, 0, S.Width, H, RGBToQColor(S.GutterColor ? M.GutterColor : Background_));
  }
  P.setClipRect(QRect(Gutter, 0, W - Gutter, H).intersected(Clip));
  const int32_t X0 = Gutter - M.GetHorzPosition();
  if (M.GetSourceStream() == nullptr && M.GetErrorText().empty()) return;
  if (M.IsOpen()) Guard([&] { M.PrepareLines(); });
  if (!M.IsOpen()) {
    P.setFont(Font_);
    P.setPen(RGBToQColor(kErrorColor));
    P.drawText(QPoint(X0, Metrics_.Ascent()), QString::fromStdString(M.GetErrorText()));
    return;
  }
  TPaintColors Colors;
  Colors.Background = Background_;
  Colors.Text = TextColor_;
  Colors.SelText = M.SelTextColor;
  Colors.SelBk = M.SelBkColor;
  const int32_t LineHeight = M.GetLineHeight();
  QFont Underlined = Font_;
  Underlined.setUnderline(true);
  const TVisibleLines& Lines = M.GetVisibleLines();
  for (int32_t I = 0; I < Lines.Count(); ++I) {
    const int32_t Y = I * LineHeight;
    if (Y + LineHeight <= Clip.top() || Y > Clip.bottom()) continue;
    for (const TPaintRun& R : BuildLineRuns(M, I, Colors)) {
      const int32_t X = X0 + R.X;
      if (X > Clip.right() || X + R.Width < Clip.left()) continue;
      if (R.Opaque) P.fillRect(X, Y, R.Width, LineHeight, RGBToQColor(R.BkColor));
      P.setFont(R.Underline ? Underlined : Font_);
      P.setPen(RGBToQColor(R.TextColor));
      // Character by character at the advances the hit tests use, so that what is drawn is where a click
      // lands.
      int32_t Cx = X;
      for (size_t K = 0; K < R.Text.size(); ++K) {
        const char16_t C = R.Text[K];
        if (R.Advances[K] == 0 && K > 0) continue;
        QString Glyph = (C >= 0xD800 && C <= 0xDBFF && K + 1 < R.Text.size())
                            ? QString(QChar(C)) + QChar(R.Text[K + 1])
                            : QString(QChar(C));
        if (C != u' ' && C != 0) P.drawText(QPoint(Cx, Y + Metrics_.Ascent()), Glyph);
        if (R.Underline && C == u' ')
          P.drawLine(Cx, Y + Metrics_.Ascent() + 1, Cx + R.Advances[K], Y + Metrics_.Ascent() + 1);
        Cx += R.Advances[K];
      }
    }
  }
}

bool TFileViewerWidget::focusNextPrevChild(bool Next) {
  if (WantTabs) return false;
  return QAbstractScrollArea::focusNextPrevChild(Next);
}

bool TFileViewerWidget::event(QEvent* Event) {
  if (WantTabs && Event->type() == QEvent::KeyPress) {
    auto* K = static_cast<QKeyEvent*>(Event);
    if (K->key() == Qt::Key_Tab || K->key() == Qt::Key_Backtab) {
      keyPressEvent(K);
      return true;
    }
  }
  return QAbstractScrollArea::event(Event);
}

void TFileViewerWidget::keyPressEvent(QKeyEvent* Event) {
  if (OnKeyDown && OnKeyDown(Event)) return;
  TViewerKey Key = TViewerKey::Other;
  switch (Event->key()) {
    case Qt::Key_PageUp:
      Key = TViewerKey::PageUp;
      break;
    case Qt::Key_PageDown:
      Key = TViewerKey::PageDown;
      break;
    case Qt::Key_Up:
      Key = TViewerKey::Up;
      break;
    case Qt::Key_Down:
      Key = TViewerKey::Down;
      break;
    case Qt::Key_Home:
      Key = TViewerKey::Home;
      break;
    case Qt::Key_End:
      Key = TViewerKey::End;
      break;
    case Qt::Key_Left:
      Key = TViewerKey::Left;
      break;
    case Qt::Key_Right:
      Key = TViewerKey::Right;
      break;
    default:
      break;
  }
  bool Handled = false;
  Guard([&] { Handled = ViewerModel_->KeyDown(Key, ShiftOf(Event->modifiers())); });
  if (!Handled) QAbstractScrollArea::keyPressEvent(Event);
}

void TFileViewerWidget::MouseDownModel(TMouseButton Button, uint32_t Shift, int32_t X, int32_t Y) {
  if (auto* H = dynamic_cast<THTMLViewer64*>(ViewerModel_.get())) {
    H->MouseDown(Button, Shift, X, Y);
  } else {
    ViewerModel_->MouseDown(Button, Shift, X, Y);
  }
}

void TFileViewerWidget::mousePressEvent(QMouseEvent* Event) {
  setFocus(Qt::MouseFocusReason);
  const QPoint P = Event->position().toPoint();
  const TMouseButton B = Event->button() == Qt::LeftButton    ? TMouseButton::Left
                         : Event->button() == Qt::RightButton ? TMouseButton::Right
                                                              : TMouseButton::Middle;
  Pressed_ = B == TMouseButton::Left;
  Guard([&] { MouseDownModel(B, ShiftOf(Event->modifiers()), P.x(), P.y()); });
  if (ViewerModel_->IsSelecting()) DragTimer_.start(ViewerModel_->GetDragDelay());
}

void TFileViewerWidget::mouseDoubleClickEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  const QPoint P = Event->position().toPoint();
  Pressed_ = false;
  Guard([&] { MouseDownModel(TMouseButton::Left, ShiftOf(Event->modifiers()) | ssDouble, P.x(), P.y()); });
}

void TFileViewerWidget::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint P = Event->position().toPoint();
  Guard([&] {
    if (ViewerModel_->IsSelecting()) {
      ViewerModel_->MouseMove(P.x(), P.y());
      return;
    }
    if (auto* H = dynamic_cast<THTMLViewer64*>(ViewerModel_.get())) H->UpdateHotLink(P.x(), P.y());
    if (auto* C = dynamic_cast<TClickableViewer*>(ViewerModel_.get())) C->UpdateHotLink(P.x(), P.y());
  });
  UpdateCursor();
  if (OnMouseMoved) OnMouseMoved(P.x(), P.y());
}

void TFileViewerWidget::UpdateCursor() {
  bool Hand = false;
  if (auto* H = dynamic_cast<THTMLViewer64*>(ViewerModel_.get())) Hand = H->HasHotLink();
  if (auto* C = dynamic_cast<TClickableViewer*>(ViewerModel_.get())) Hand = C->GetHotLink() >= 0;
  const bool Selectable = !ViewerModel_->NoMouseSelection;
  viewport()->setCursor(Hand ? Qt::PointingHandCursor : Selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void TFileViewerWidget::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint P = Event->position().toPoint();
  const bool Left = Event->button() == Qt::LeftButton;
  Guard([&] { ViewerModel_->MouseUp(Left ? TMouseButton::Left : TMouseButton::Right); });
  DragTimer_.stop();
  if (!Left || !Pressed_) return;
  Pressed_ = false;
  bool Taken = false;
  Guard([&] {
    if (auto* H = dynamic_cast<THTMLViewer64*>(ViewerModel_.get())) Taken = H->Click(P.x(), P.y());
  });
  UpdateCursor();
  if (!Taken && OnClick) OnClick(P.x(), P.y());
}

void TFileViewerWidget::DragStep() {
  if (!ViewerModel_->IsSelecting()) return;
  const QPoint P = viewport()->mapFromGlobal(QCursor::pos());
  bool AtBottom = false;
  if (QScreen* S = screen()) AtBottom = QCursor::pos().y() >= S->geometry().bottom();
  int32_t Delay = 0;
  Guard([&] { Delay = ViewerModel_->DragTick(P.x(), P.y(), AtBottom); });
  if (Delay > 0) DragTimer_.start(Delay);
}

void TFileViewerWidget::wheelEvent(QWheelEvent* Event) {
  const int Notches = Event->angleDelta().y() / kWheelNotch;
  Guard([&] { ViewerModel_->MouseWheel(Notches, QApplication::wheelScrollLines()); });
  Event->accept();
}

void TFileViewerWidget::contextMenuEvent(QContextMenuEvent* Event) {
  Guard([&] { ViewerModel_->ContextMenu(); });
  DragTimer_.stop();
  if (auto* H = dynamic_cast<THTMLViewer64*>(ViewerModel_.get())) {
    const QPoint P = viewport()->mapFromGlobal(Event->globalPos());
    Guard([&] { H->UpdateHotLink(P.x(), P.y()); });
  }
  if (OnContextMenu) OnContextMenu(Event->globalPos());
}

void TFileViewerWidget::leaveEvent(QEvent* Event) {
  QAbstractScrollArea::leaveEvent(Event);
  if (OnMouseLeave) OnMouseLeave();
}
