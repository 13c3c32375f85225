// TFileViewerWidget: the viewer control on the screen. A QAbstractScrollArea that hosts a viewer model
// (TFileViewer64 or one of its link-aware kinds), paints its visible lines with QPainter from the runs
// ViewerPaint decides, measures characters with the text font, feeds the model keys, mouse, wheel and
// scroll-bar actions, runs the auto-scroll of a mouse drag on a timer and puts copied text on the
// clipboard. Both scroll bars are always there and only disabled when not needed, so the text area never
// changes size when a bar would turn on or off.
//
// A failure of the model while it paints or handles input leaves it in its error state, which paints its
// message in red; nothing is thrown out of a Qt event handler.
//
// Ownership: the widget owns its model, its metrics and its clipboard adapter. GUI thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "viewer/FontMetrics.h"
#include "viewer/Viewer64.h"
#include "viewer/ViewerPaint.h"

// Advance widths and line height of one QFont, rounded to whole pixels.
class TQtFontMetrics : public IFontMetrics {
 public:
  void SetFont(const QFont& Font);
  int32_t CharWidth(char32_t Ch) override;
  int32_t LineHeight() override;
  int32_t Ascent() const { return AscentPx_; }

 private:
  QFont Font_;
  int32_t Height_ = 16;
  int32_t AscentPx_ = 12;
};

// The system clipboard for copies: UTF-16 text, and the 8-bit form under its charset's MIME type.
class TQtViewerClipboard : public IViewerClipboard {
 public:
  bool Open() override { return true; }
  void Empty() override;
  void SetUnicodeText(const std::u16string& Text) override;
  void SetText(const std::string& Text, uint8_t Charset) override;
  void Close() override;

 private:
  class QMimeData* Data_ = nullptr;
};

class TFileViewerWidget : public QAbstractScrollArea {
  Q_OBJECT

 public:
  using TModelFactory = std::function<std::unique_ptr<TFileViewer64>(IFontMetrics* Metrics)>;

  explicit TFileViewerWidget(const TModelFactory& MakeModel, QWidget* Parent = nullptr);
  ~TFileViewerWidget() override;

  TFileViewer64& Model() { return *ViewerModel_; }

  // The text font (its metrics are measured again) and the colours of the control itself.
  void SetTextFont(const QFont& Font);
  const QFont& TextFont() const { return Font_; }
  void SetColors(uint32_t Background, uint32_t Text);
  uint32_t GetBackground() const { return Background_; }
  // Whether Tab and Shift+Tab reach the viewer instead of moving the focus.
  bool WantTabs = false;

  // The host sees keys before the viewer; true swallows the key.
  std::function<bool(QKeyEvent* Event)> OnKeyDown;
  // A click (press and release of the left button) the viewer did not take as a link click.
  std::function<void(int32_t X, int32_t Y)> OnClick;
  // The mouse moved over the text area (after the viewer's own handling).
  std::function<void(int32_t X, int32_t Y)> OnMouseMoved;
  std::function<void(const QPoint& GlobalPos)> OnContextMenu;
  std::function<void()> OnMouseLeave;

  // Paints the whole text area into an image (what the screen would show).
  QImage RenderToImage();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void contextMenuEvent(QContextMenuEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void scrollContentsBy(int Dx, int Dy) override;
  bool focusNextPrevChild(bool Next) override;
  bool event(QEvent* Event) override;

 private:
  void Paint(QPainter& P, const QRect& Clip);
  void ApplyScrollBars(const TScrollBarInfo& Vert, const TScrollBarInfo& Horz);
  // A scroll bar's action handed to the model.
  void BarAction(bool Vertical, int Action);
  void DragStep();
  void UpdateCursor();
  void MouseDownModel(TMouseButton Button, uint32_t Shift, int32_t X, int32_t Y);
  // Runs Body; a failure of the model (already in its error state) is shown, never thrown on.
  void Guard(const std::function<void()>& Body);

  TQtFontMetrics Metrics_;
  TQtViewerClipboard Clipboard_;
  std::unique_ptr<TFileViewer64> ViewerModel_;
  QFont Font_;
  uint32_t Background_ = 0xFFFFFF;
  uint32_t TextColor_ = 0x000000;
  QTimer DragTimer_;
  bool Pressed_ = false;
  bool ApplyingBars_ = false;
};

// A QColor of an RGB value (red in the low byte).
QColor RGBToQColor(uint32_t C);
