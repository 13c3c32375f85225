// TFileViewer64: the model of a text viewer control that shows one read-only byte stream of up to 2 GB as
// text, line by line in a charset mode, with a selection, host-marked spans (search hits, links) and an
// optional gutter. It never loads the whole stream: it keeps the lines that fit its client area and
// re-reads them whenever the view moves.
//
// The model holds every decision of the control and no widget. The window that hosts it (a Qt widget
// built on top) supplies:
//   - an IFontMetrics for its text font (widths and line height), and FontChanged when the font changes;
//   - the size of its text area (SetClientSize; both scroll bars are always present and only disabled
//     when not needed, so the text area never changes when a bar turns on or off);
//   - plain input events: KeyDown, MouseDown / MouseMove / MouseUp / ContextMenu, DragTick on a timer
//     while IsSelecting (every DragDelay ms), MouseWheel, VScroll / HScroll;
//   - an IViewerClipboard for CopyToClipboard.
// and reacts to the notifications below: OnInvalidate (repaint everything), OnInvalidateRect,
// OnScrollWindow (move the pixels already shown; the uncovered strip is invalidated separately) and
// OnScrollBars (new scroll-bar settings). To paint it calls PrepareLines and reads GetVisibleLines.
//
// Positions are signed 32-bit byte offsets into the shown window of the stream (after a UTF-16
// byte-order mark); in the 16-bit mode a character is 2 bytes, in the 8-bit modes 1.
//
// Errors: an exception of the system's hierarchy while opening, or while handling an input event or
// preparing a paint, puts the model into the error state (IsOpen false, GetErrorText the message ending
// in "."); the exception then passes on to the caller, which reports it. The next successful Open leaves
// the state.
//
// Ownership: the model owns the opened stream. Metrics and Clipboard are borrowed and must outlive it.
// One thread (the window's).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/NumVector.h"
#include "core/VStream.h"
#include "viewer/FontMetrics.h"
#include "viewer/VisibleLines.h"
#include "viewer/WrapTextStream.h"

class TFileViewer64;

// Errors of the viewer's own operations (copy).
class EFileViewer : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EFileViewer"; }
};

// Where copied text goes. Open answers false when the clipboard cannot be taken; the Set calls raise an
// exception of the system's hierarchy when the data cannot be placed. Close is always called after a
// successful Open.
class IViewerClipboard {
 public:
  virtual ~IViewerClipboard() = default;
  virtual bool Open() = 0;
  virtual void Empty() = 0;
  virtual void SetUnicodeText(const std::u16string& Text) = 0;
  // 8-bit text in the qvnls charset Charset.
  virtual void SetText(const std::string& Text, uint8_t Charset) = 0;
  virtual void Close() = 0;
};

// The viewer's line source: keeps the viewer's top line when the charset mode changes.
class TViewerTextStream : public TWrapTextStream {
 public:
  TViewerTextStream(TFileViewer64* Viewer, IFontMetrics* Metrics);
  void SetCharsetMode(uint8_t Mode) override;

 private:
  TFileViewer64* Viewer_;
};

// One scroll bar's settings in the window system's terms: the range Min..Max, the page size and the
// position (a Qt bar takes maximum Max - Page + 1 and page step Page). Max 0 means the bar is disabled.
struct TScrollBarInfo {
  int32_t Min = 0;
  int32_t Max = 0;
  int32_t Page = 0;
  int32_t Pos = 0;
  bool operator==(const TScrollBarInfo&) const = default;
};

// Shift state of an input event.
constexpr uint32_t ssShift = 1;
constexpr uint32_t ssAlt = 2;
constexpr uint32_t ssCtrl = 4;
constexpr uint32_t ssDouble = 8;  // a double click

enum class TViewerKey { PageUp, PageDown, Up, Down, Home, End, Left, Right, Other };
enum class TMouseButton { Left, Right, Middle };
enum class TScrollCode { LineUp, LineDown, PageUp, PageDown, Track, EndScroll, Top, Bottom };

// The drawing state of one run of characters with the same attribute code: the code, whether the run
// is selected, and its colours, background and underline, which the host may change.
struct TAttrColors {
  uint8_t Attr = 0;
  bool Selected = false;
  uint32_t TextColor = 0;
  uint32_t BkColor = 0;
  bool Opaque = false;
  bool Underline = false;
};
// Asked for every run of characters with a non-zero attribute while painting; Colors holds the run's
// current drawing state and the host changes what it wants.
using TGetAttrColorsEvent = std::function<void(TFileViewer64* Sender, TAttrColors& Colors)>;
// A part of the viewer's window in pixels: its left and top, width and height.
struct TViewerArea {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t W = 0;
  int32_t H = 0;
};

class TFileViewer64 {
 public:
  // Page modes: a screen less one line, a full screen, half a screen.
  static constexpr int32_t kPageScreenLessLine = 0;
  static constexpr int32_t kPageScreen = 1;
  static constexpr int32_t kPageHalfScreen = 2;
  static constexpr int32_t kMaxGutterWidth = 64;
  // Streams up to this size (unwrapped) scroll by a line index, larger ones by byte units.
  static constexpr int32_t kLineIndexMaxBytes = 32768;
  // Horizontal step of arrows and scroll-bar lines, in pixels.
  static constexpr int32_t kHorzStep = 8;
  // Auto-scroll delays of a mouse drag, in milliseconds.
  static constexpr int32_t kDragDelayMax = 125;
  static constexpr int32_t kDragDelayMin = 8;
  static constexpr int32_t kDragDistanceMax = 64;

  explicit TFileViewer64(IFontMetrics* Metrics);
  virtual ~TFileViewer64();
  TFileViewer64(const TFileViewer64&) = delete;
  TFileViewer64& operator=(const TFileViewer64&) = delete;

  // ---- Opening ---------------------------------------------------------------------------------------
  // Takes ownership of Stream (null closes). On a failure the error state is entered and the exception
  // passes on.
  virtual void Open(std::unique_ptr<TVStream> Stream, const std::u16string& Name);
  // Shows the 8-bit text S (a 16-bit mode becomes cmANSI first).
  void SetText(const std::string& S);
  // The opened stream's window (after a byte-order mark), or null.
  TVStream* GetSourceStream() const { return Window_.get(); }
  bool IsOpen() const { return Window_ != nullptr && OpenedOk_; }
  const std::string& GetErrorText() const { return ErrorText_; }
  const std::u16string& GetName() const { return Name_; }

  // ---- Position and display options ---------------------------------------------------------------
  int32_t GetPosition() const { return Source_->GetPosition(); }
  // The top becomes the start of the line that holds Pos.
  void SetPosition(int32_t Pos);
  uint8_t GetCharsetMode() const { return Source_->GetCharsetMode(); }
  void SetCharsetMode(uint8_t Mode);
  // The line source's display charset, or the charset of the text font when it has none.
  uint8_t GetDisplayCharset() const;
  void SetTabSize(int32_t N);
  int32_t GetTabSize() const { return Source_->GetTabSize(); }
  void SetGutterWidth(int32_t N);
  int32_t GetGutterWidth() const { return GutterWidth_; }
  bool HasGutter() const { return GutterWidth_ != 0; }
  void SetWordWrap(bool On);
  bool GetWordWrap() const { return WordWrap_; }
  void SetShowTabs(bool On);
  bool GetShowTabs() const { return Source_->ShowTabs; }
  void SetEOLMark(char16_t Ch);
  char16_t GetEOLMark() const { return Source_->EOLMark; }
  void SetTrackLineWidths(bool On);
  void SetNoVertScrollBar(bool On);
  // The Windows font charset of the text font (1 = default: the system's ANSI page).
  void SetFontCharset(uint8_t Charset);
  // Colours (RGB) for the painter; a change repaints.
  void SetSelTextColor(uint32_t C);
  void SetSelBkColor(uint32_t C);
  void SetGutterColor(uint32_t C);
  uint32_t SelTextColor = 0xFFFFFF;
  uint32_t SelBkColor = 0x800000;
  uint32_t GutterColor = 0xF0F0F0;
  int32_t PageMode = kPageScreenLessLine;

  // ---- Window geometry and metrics ------------------------------------------------------------------
  // The text area's size in pixels. Ignored while busy or when unchanged (unless Force).
  void SetClientSize(int32_t Width, int32_t Height, bool Force = false);
  int32_t GetClientWidth() const { return ClientWidth_; }
  int32_t GetClientHeight() const { return ClientHeight_; }
  // The text font changed: widths are measured again before the next layout.
  void FontChanged();
  int32_t GetCharWidth() const { return CharWidth_; }
  int32_t GetLineHeight() const { return LineHeight_; }

  // ---- Layout and scrolling ------------------------------------------------------------------------
  void BeginUpdate();
  void EndUpdate();
  bool IsUpdating() const { return UpdateCount_ > 0; }
  void Relayout();
  // Asks for a repaint (nothing while updating). With Twice and track-line-widths, the widths are
  // measured first so that the horizontal range is right at once.
  void Redraw(bool Twice = false);
  // Repaints without re-reading the lines (after the host changed attributes).
  void RepaintAttributes();
  // N lines: negative forward, positive back. True when the top moved.
  bool ScrollLines(int32_t N);
  bool PageDown() { return ScrollLines(-PageLines()); }
  bool PageUp() { return ScrollLines(PageLines()); }
  int32_t VisibleLines() const;
  int32_t LastPageLines() const;
  int32_t PageLines() const;
  // The top goes to min(Pos, last top), realigned; true when it changed.
  bool SetTopPosition(int32_t Pos);
  // Top to the start / the last top, scroll bars and view following; true when it moved.
  bool GoToStart() { return MoveTop(0); }
  bool GoToEnd() { return MoveTop(LastTop_); }
  int32_t GetLastTop() const { return LastTop_; }
  int32_t GetHorzPosition() const { return HorzPosition_; }
  void SetHorzPosition(int32_t X);
  int32_t GetHorzExtent() const { return HorzExtent_; }
  const TScrollBarInfo& GetVertScrollBar() const { return VertBar_; }
  const TScrollBarInfo& GetHorzScrollBar() const { return HorzBar_; }
  // Bytes one vertical scroll unit stands for (byte-unit model), and whether the line index is used.
  int32_t GetVertUnit() const { return VertUnit_; }
  bool UsesLineIndex() const { return UseLineIndex_; }
  void VScroll(TScrollCode Code, int32_t Pos = 0);
  void HScroll(TScrollCode Code, int32_t Pos = 0);
  // Notches > 0 scroll back (up). WheelLines < 0 pages.
  void MouseWheel(int32_t Notches, int32_t WheelLines);

  // ---- Painting support ----------------------------------------------------------------------------
  // Builds the visible lines from the top (unless only attributes are to be repainted) and lets the host
  // mark its spans; the view does not move.
  void PrepareLines();
  const TVisibleLines& GetVisibleLines() const { return Lines_; }
  TVisibleLines& GetVisibleLines() { return Lines_; }
  // The start of the line just below height Y, or the position after the last visible line.
  int32_t PositionAtHeight(int32_t Y);
  TViewerTextStream& LineSource() { return *Source_; }
  // Pixel width of each visible line plus the gutter, as the last PrepareLines measured it.
  const std::vector<int32_t>& GetLineWidths() const { return LineWidths_; }

  // ---- Selection and marking -----------------------------------------------------------------------
  void SetSelection(int32_t Start, int32_t Len);
  void SelectAll();
  bool ClearSelection();
  int32_t GetSelStart() const { return SelStart_; }
  int32_t GetSelLength() const { return SelLength_; }
  // The position under the client point. Nearest: the right half of a character gives the position
  // after it. Word: the word around the character, its length in WordLen (bytes).
  int32_t PosFromPoint(int32_t X, int32_t Y, bool Nearest, bool Word, int32_t* WordLen = nullptr);
  // The visible line and 1-based character under a client point; false outside the text or past the
  // line's end.
  bool CharAtCursor(int32_t X, int32_t Y, int32_t& Line, int32_t& Column);
  void MarkSpan(int32_t Pos, int32_t Len, uint8_t Attr);
  // Starts ascending (bytes), Lens in characters.
  void MarkSpans(const TInt32Vector& Starts, const TInt32Vector& Lens, uint8_t Attr);
  // The index of the span under the client point, -1 for none.
  int32_t SpanAtCursor(int32_t X, int32_t Y, const TInt32Vector& Starts, const TInt32Vector& Lens);
  void GotoPosition(int32_t Pos);
  bool IsPositionVisible(int32_t Pos, int32_t Len);

  // ---- Input ---------------------------------------------------------------------------------------
  // True when the key was the viewer's (it is then not passed on).
  bool KeyDown(TViewerKey Key, uint32_t Shift);
  void MouseDown(TMouseButton Button, uint32_t Shift, int32_t X, int32_t Y);
  void MouseMove(int32_t X, int32_t Y);
  void MouseUp(TMouseButton Button);
  void ContextMenu();
  // One auto-scroll step of a running drag with the mouse at (X, Y) (AtScreenBottom: the cursor is at
  // the bottom edge of the screen). Answers the delay in ms before the next step, 0 when no drag runs.
  int32_t DragTick(int32_t X, int32_t Y, bool AtScreenBottom = false);
  bool IsSelecting() const { return Selecting_; }
  int32_t GetDragDelay() const { return DragDelay_; }
  // Left presses only reach the host (no selection by mouse).
  bool NoMouseSelection = false;

  // ---- Find and copy -------------------------------------------------------------------------------
  // 0 found (and selected), 1 not found. Searches from after a visible selection, else from the top.
  int32_t Find(const std::u16string& Text, bool MatchCase, bool WholeWord);
  // Kind 0: the selection as UTF-16 and as 8-bit text in the display charset.
  virtual void CopyToClipboard(int32_t Kind);
  // The two forms of the selection as the clipboard receives them (CR LF line ends, NUL as a blank).
  void BuildCopy(std::u16string& Wide, std::string& Narrow);
  IViewerClipboard* Clipboard = nullptr;
  // The memory a copy may take at most; the machine's physical memory unless set.
  std::function<int64_t()> PhysicalMemorySize;

  // ---- Host events ---------------------------------------------------------------------------------
  std::function<void(TFileViewer64*)> OnMarkSpans;
  TGetAttrColorsEvent OnGetAttrColors;
  std::function<void(TFileViewer64*)> OnBeginSelect;
  // ---- Notifications to the window -----------------------------------------------------------------
  std::function<void()> OnInvalidate;
  std::function<void(const TViewerArea& Area)> OnInvalidateRect;
  // Moves the pixels already shown: Dy for a one-line step (the whole text area), Dx for a horizontal
  // move (only the part right of the gutter, which stays put).
  std::function<void(int32_t Dx, int32_t Dy)> OnScrollWindow;
  std::function<void(const TScrollBarInfo& Vert, const TScrollBarInfo& Horz)> OnScrollBars;

  bool IsBusy() const { return Busy_; }
  // Whether the next paint repaints attributes only (PrepareLines clears it).
  bool AttributesOnly() const { return AttrOnly_; }

 protected:
  // Calls OnMarkSpans after the visible lines were rebuilt.
  virtual void UpdateAttributes();
  // Bytes of one character in the current mode.
  int32_t Unit() const { return IsWideMode(GetCharsetMode()) ? 2 : 1; }
  void Invalidate();
  // Runs F; an exception of the system's hierarchy enters the error state and passes on.
  void Guarded(const std::function<void()>& Body);
  void EnterErrorState(const std::string& Message);

  std::unique_ptr<TViewerTextStream> Source_;
  TVisibleLines Lines_;

 private:
  friend class TViewerTextStream;
  // SetTopPosition with the scroll bars and the view following.
  bool MoveTop(int32_t Pos);
  void ApplyCharsetMode(uint8_t Mode);
  void ApplyWindow();
  void MeasureFont();
  void ComputeExtent();
  void ComputeLastTop();
  void UpdateScrollBars();
  void ResetScrollSetup();
  void BuildLineIndex();
  void BuildVisibleLines();
  void EnsureLines();
  bool LineForward();
  bool LineBack();
  // The x of Pos in its line when it lies outside the visible text (minus 3 character widths), else -1.
  int32_t HorzTarget(int32_t Pos);
  void ApplyHorzTarget(int32_t Target);
  void ExtendSelection(int32_t X, int32_t Y);
  void EndDrag();
  void ComputeLineWidths(TVisibleLine& L);
  int32_t WordAt(const TVisibleLine& L, int32_t Char, int32_t& WordLen) const;
  bool IsWholeWordAt(int32_t Pos, int32_t PatBytes);
  char16_t SourceCharAt(int32_t Pos);

  IFontMetrics* Metrics_;
  std::unique_ptr<TVLimitedStream> Window_;
  std::u16string Name_;
  uint16_t StartValue_ = 0;
  std::string ErrorText_;
  bool OpenedOk_ = true;

  bool WordWrap_ = false;
  int32_t GutterWidth_ = 0;
  bool TrackLineWidths_ = false;
  bool NoVertScrollBar_ = false;
  uint8_t FontCharset_ = 1;

  bool MetricsStale_ = true;
  int32_t CharWidth_ = 1;
  int32_t LineHeight_ = 1;
  int32_t ClientWidth_ = 100;
  int32_t ClientHeight_ = 100;

  int32_t HorzPosition_ = 0;
  int32_t HorzExtent_ = 0;
  int32_t WidestLine_ = 0;  // widest unwrapped line measured since the last layout change
  int32_t LastTop_ = 0;
  bool UseLineIndex_ = false;
  std::vector<int32_t> LineIndex_;
  int32_t VertUnit_ = 1;
  bool ThumbTracking_ = false;
  TScrollBarInfo VertBar_;
  TScrollBarInfo HorzBar_;
  std::vector<int32_t> LineWidths_;

  int32_t SelStart_ = -1;
  int32_t SelLength_ = 0;

  int32_t UpdateCount_ = 0;
  bool Busy_ = false;
  bool AttrOnly_ = false;
  // The top and layout generation the visible lines were built for.
  bool LinesBuilt_ = false;
  int32_t BuiltTop_ = -1;
  uint64_t LayoutGeneration_ = 0;
  uint64_t BuiltGeneration_ = 0;

  // Mouse drag.
  bool Selecting_ = false;
  bool BeginSelectCalled_ = false;
  int32_t Anchor_ = -1;
  int32_t CurrentPos_ = -1;
  int32_t DragDelay_ = kDragDelayMax;
  int32_t LastMouseX_ = 0;
  int32_t LastMouseY_ = 0;
};
