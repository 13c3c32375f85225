// TFileViewer64: opening, the stream window, layout, the visible lines and scrolling. Selection, input
// and hit tests are in ViewerInput.cpp, find and copy in ViewerFind.cpp.
#include "viewer/Viewer64.h"

#include <algorithm>
#include <climits>

#include "core/MemUtils.h"
#include "platform/qvnls/Qvnls.h"

namespace {

// The UTF-16 byte-order mark as the first two bytes read little-endian.
constexpr uint16_t kUtf16Bom = 0xFEFF;
// Characters a line holds at most, plus one: the unwrapped horizontal extent in character widths.
constexpr int32_t kExtentChars = kViewerLineLength + 1;
// The strip uncovered by a one-line scroll is invalidated this much taller.
constexpr int32_t kScrollStripExtra = 8;

}  // namespace

// ---- TViewerTextStream ------------------------------------------------------------------------------

TViewerTextStream::TViewerTextStream(TFileViewer64* Viewer, IFontMetrics* Metrics)
    : TWrapTextStream(Metrics, nullptr), Viewer(Viewer) {}

void TViewerTextStream::SetCharsetMode(uint8_t Mode) {
  if (Mode == CharsetMode) return;
  const int32_t Top = Viewer->GetPosition();
  TWrapTextStream::SetCharsetMode(Mode);
  Viewer->SetPosition(Top);
}

// ---- Construction and errors ------------------------------------------------------------------------

TFileViewer64::TFileViewer64(IFontMetrics* Metrics)
    : Source(std::make_unique<TViewerTextStream>(this, Metrics)), Metrics(Metrics) {
  Source->ControlGlyphs = true;
  PhysicalMemorySize = [] { return GetPhysicalMemorySize(); };
  MeasureFont();
}

TFileViewer64::~TFileViewer64() {
  // The line source borrows the window: detach it before the window goes.
  Source->SetStream(nullptr);
}

void TFileViewer64::Guarded(const std::function<void()>& Body) {
  try {
    Body();
  } catch (const Exception& E) {
    EnterErrorState(E.Message());
    throw;
  }
}

void TFileViewer64::EnterErrorState(const std::string& Message) {
  ErrorText = Message;
  if (ErrorText.empty() || ErrorText.back() != '.') ErrorText += '.';
  OpenedOK = false;
  SelStart = -1;
  SelLength = 0;
  Selecting = false;
  ResetScrollSetup();
  Invalidate();
}

void TFileViewer64::Invalidate() {
  if (UpdateCount == 0 && OnInvalidate) OnInvalidate();
}

// ---- Opening ----------------------------------------------------------------------------------------

void TFileViewer64::Open(std::unique_ptr<TVStream> Stream, const std::u16string& NewName) {
  ErrorText.clear();
  OpenedOK = true;
  SelStart = -1;
  SelLength = 0;
  Selecting = false;
  try {
    LineIndex.clear();
    LineWidths.clear();
    WidestLine = 0;
    HorzPosition = 0;
    Source->SetStream(nullptr);
    Window.reset();
    Name.clear();
    StartValue = 0;
    ++LayoutGeneration;
    if (Stream) {
      Stream->Seek(0);
      uint8_t Start[2] = {0, 0};
      Stream->Read(Start, 2);
      StartValue = static_cast<uint16_t>(Start[0] | (Start[1] << 8));
      Name = NewName;
      const int32_t Size = Stream->GetSize();
      Window = std::make_unique<TVLimitedStream>(Stream.release(), 0, Size, true);
      Source->SetStream(Window.get());
      ApplyWindow();
    }
    Relayout();
    Invalidate();
  } catch (const Exception& E) {
    EnterErrorState(E.Message());
    throw;
  }
}

void TFileViewer64::SetText(const std::string& S) {
  if (IsWideMode(GetCharsetMode())) ApplyCharsetMode(cmANSI);
  auto M = std::make_unique<TVMemStream>();
  M->Write(S.data(), static_cast<int32_t>(S.size()));
  Open(std::move(M), u"");
}

void TFileViewer64::ApplyWindow() {
  if (!Window) return;
  const int32_t Whole = Window->Stream->GetSize();
  const int32_t NewStart = IsWideMode(GetCharsetMode()) && StartValue == kUtf16Bom && Whole >= 2 ? 2 : 0;
  const int32_t D = NewStart - Window->Offset;
  const int32_t Top = GetPosition();
  Window->SetLimits(NewStart, Whole - NewStart);
  if (D == 0) {
    Source->SetPosition(Top);
    return;
  }
  // The selection and the top keep covering the same bytes.
  if (SelStart >= 0) {
    SelStart -= D;
    if (SelStart < 0) {
      SelLength += SelStart;
      SelStart = 0;
    }
    if (SelLength <= 0) {
      SelStart = -1;
      SelLength = 0;
    }
  }
  Source->SetPosition(std::max(0, Top - D));
  LineIndex.clear();
}

void TFileViewer64::SetPosition(int32_t Pos) { Source->SetPosition(Pos); }

// ---- Options ----------------------------------------------------------------------------------------

void TFileViewer64::SetCharsetMode(uint8_t Mode) {
  if (Mode == GetCharsetMode()) return;
  ApplyCharsetMode(Mode);
}

void TFileViewer64::ApplyCharsetMode(uint8_t Mode) {
  const uint8_t Old = GetCharsetMode();
  if (IsWideMode(Old) || IsWideMode(Mode)) {
    SelStart = -1;
    SelLength = 0;
  }
  if (IsWideMode(Old) != IsWideMode(Mode)) {
    LineIndex.clear();
    LineWidths.clear();
    WidestLine = 0;
  }
  Source->SetCharsetMode(Mode);
  ApplyWindow();
  ++LayoutGeneration;
  Relayout();
  Invalidate();
}

uint8_t TFileViewer64::GetDisplayCharset() const {
  const uint8_t D = Source->GetDisplayCharset();
  return D != 0 ? D : qvnls::FontCharsetToHTMLCharset(FontCharset);
}

void TFileViewer64::SetFontCharset(uint8_t Charset) { FontCharset = Charset; }

void TFileViewer64::SetTabSize(int32_t N) {
  Source->SetTabSize(std::min(N, kMaxTabSize));
  WidestLine = 0;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetGutterWidth(int32_t N) {
  GutterWidth = std::clamp(N, 0, kMaxGutterWidth);
  Relayout();
  Invalidate();
}

void TFileViewer64::SetWordWrap(bool On) {
  if (On == WordWrap) return;
  WordWrap = On;
  HorzPosition = 0;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetShowTabs(bool On) {
  if (On == Source->ShowTabs) return;
  Source->ShowTabs = On;
  WidestLine = 0;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetEOLMark(char16_t Ch) {
  if (Ch == Source->EOLMark) return;
  Source->EOLMark = Ch;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetTrackLineWidths(bool On) {
  TrackLineWidths = On;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetNoVertScrollBar(bool On) {
  NoVertScrollBar = On;
  UpdateScrollBars();
}

void TFileViewer64::SetSelTextColor(uint32_t C) {
  SelTextColor = C;
  Invalidate();
}

void TFileViewer64::SetSelBkColor(uint32_t C) {
  SelBkColor = C;
  Invalidate();
}

void TFileViewer64::SetGutterColor(uint32_t C) {
  GutterColor = C;
  Invalidate();
}

// ---- Geometry and metrics ---------------------------------------------------------------------------

void TFileViewer64::SetClientSize(int32_t Width, int32_t Height, bool Force) {
  if (Busy) return;
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (!Force && Width == ClientWidth && Height == ClientHeight) return;
  ClientWidth = Width;
  ClientHeight = Height;
  Guarded([&] {
    Relayout();
    LineWidths.resize(static_cast<size_t>(VisibleLines()), 0);
    if (WordWrap || TrackLineWidths) Invalidate();
  });
}

void TFileViewer64::FontChanged() {
  MetricsStale = true;
  Relayout();
  Invalidate();
}

void TFileViewer64::MeasureFont() {
  MetricsStale = false;
  int32_t Widths[256] = {};
  int32_t Widest = 0;
  if (Metrics) {
    for (int32_t B = 0; B < 256; ++B) {
      const char32_t Ch = B < 128 ? static_cast<char32_t>(B)
                                  : qvnls::CharToWideChar(static_cast<uint8_t>(B), qvnls::GetAnsiCharset());
      Widths[B] = std::max(0, Metrics->CharWidth(Ch));
    }
    for (char32_t C = U'A'; C <= U'Z'; ++C) Widest = std::max(Widest, Widths[C]);
    LineHeight = std::max(1, Metrics->LineHeight());
  }
  // Widths of 0 would make every count below divide by zero.
  CharWidth = std::max(1, Widest);
  Source->SetByteWidths(Widths);
  WidestLine = 0;
  ++LayoutGeneration;
}

// ---- Layout -----------------------------------------------------------------------------------------

void TFileViewer64::BeginUpdate() { ++UpdateCount; }

void TFileViewer64::EndUpdate() {
  if (UpdateCount == 0) return;
  if (--UpdateCount == 0) {
    Relayout();
    Redraw();
  }
}

void TFileViewer64::Relayout() {
  if (MetricsStale) MeasureFont();
  ++LayoutGeneration;
  Source->SetWrap(WordWrap);
  Source->SetWrapWidth(ClientWidth - (HasGutter() ? GutterWidth : 0) - 1);
  ComputeExtent();
  if (IsOpen()) {
    ComputeLastTop();
    if (GetPosition() > LastTop) Source->SetPosition(LastTop);
  } else {
    LastTop = 0;
  }
  UpdateScrollBars();
}

void TFileViewer64::ComputeExtent() {
  if (WordWrap) {
    HorzExtent = 0;
  } else if (TrackLineWidths) {
    int32_t Widest = 0;
    for (int32_t W : LineWidths) Widest = std::max(Widest, W);
    HorzExtent = Widest + 1;
  } else {
    // A line of 1024 characters, and any wider line met since (tabs widen lines beyond that).
    const int64_t Fixed = static_cast<int64_t>(GutterWidth) + static_cast<int64_t>(kExtentChars) * CharWidth;
    HorzExtent = static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>(Fixed, WidestLine + int64_t{GutterWidth}), INT32_MAX));
  }
}

void TFileViewer64::ComputeLastTop() {
  const int32_t Top = GetPosition();
  Source->GoToEnd();
  Source->LinesBack(LastPageLines());
  LastTop = Source->GetPosition();
  Source->SetPosition(Top);
}

int32_t TFileViewer64::VisibleLines() const { return (ClientHeight + LineHeight) / LineHeight; }

int32_t TFileViewer64::LastPageLines() const { return std::max(0, VisibleLines() - 2); }

int32_t TFileViewer64::PageLines() const {
  int32_t N = (ClientHeight + LineHeight / 4) / LineHeight;
  if (PageMode == kPageScreenLessLine) N -= 1;
  if (PageMode == kPageHalfScreen) N /= 2;
  return std::max(N, 1);
}

void TFileViewer64::ResetScrollSetup() {
  HorzPosition = 0;
  HorzExtent = 0;
  LastTop = 0;
  LineIndex.clear();
  VertBar = TScrollBarInfo();
  HorzBar = TScrollBarInfo();
  if (UpdateCount == 0 && OnScrollBars) OnScrollBars(VertBar, HorzBar);
}

void TFileViewer64::BuildLineIndex() {
  LineIndex.clear();
  const int32_t Top = GetPosition();
  const bool Glyphs = Source->ControlGlyphs;
  Source->ControlGlyphs = false;
  Source->GoToStart();
  std::string Line;
  while (!Source->Eof()) {
    LineIndex.push_back(Source->GetPosition());
    Source->ReadLine(Line);
  }
  if (LineIndex.empty()) LineIndex.push_back(0);
  Source->ControlGlyphs = Glyphs;
  Source->SetPosition(Top);
}

void TFileViewer64::UpdateScrollBars() {
  if (UpdateCount > 0) return;
  TScrollBarInfo V;
  TScrollBarInfo H;
  if (IsOpen()) {
    const int32_t Size = Window->GetSize();
    UseLineIndex = !WordWrap && Size <= kLineIndexMaxBytes;
    int32_t Range = 0;
    int32_t Pos = 0;
    int32_t C = 0;
    if (UseLineIndex) {
      if (LineIndex.empty()) BuildLineIndex();
      const auto LastIt = std::upper_bound(LineIndex.begin(), LineIndex.end(), LastTop);
      Range = static_cast<int32_t>(LastIt - LineIndex.begin()) - 1;
      const auto TopIt = std::upper_bound(LineIndex.begin(), LineIndex.end(), GetPosition());
      Pos = static_cast<int32_t>(TopIt - LineIndex.begin()) - 1;
      C = VisibleLines();
      VertUnit = 1;
    } else {
      VertUnit = Size / INT32_MAX + 1;
      Range = LastTop / VertUnit;
      Pos = GetPosition() / VertUnit;
    }
    if (NoVertScrollBar) Range = 0;
    V.Max = Range == 0 ? 0 : Range + C;
    V.Page = C + 1;
    V.Pos = std::clamp(Pos, 0, std::max(Range, 0));
    const int32_t W = ClientWidth;
    H.Max = HorzExtent > W ? HorzExtent : 0;
    H.Page = W + 1;
    HorzPosition = std::clamp(HorzPosition, 0, std::max(0, HorzExtent - W));
    H.Pos = HorzPosition;
  }
  VertBar = V;
  HorzBar = H;
  if (OnScrollBars) OnScrollBars(VertBar, HorzBar);
}

// ---- Visible lines ----------------------------------------------------------------------------------

void TFileViewer64::BuildVisibleLines() {
  Lines.Clear();
  LinesBuilt = true;
  BuiltTop = GetPosition();
  BuiltGeneration = LayoutGeneration;
  if (!IsOpen()) return;
  const int32_t Top = GetPosition();
  Lines.FirstPos = Top;
  const int32_t Wanted = std::max(1, (ClientHeight + LineHeight - 1) / LineHeight);
  std::u16string Text;
  for (int32_t N = 0; N < Wanted && !Source->Eof(); ++N) {
    const int32_t Start = Source->GetPosition();
    Source->ReadText(Text);
    const int32_t Len = static_cast<int32_t>(Text.size()) - (Source->GetMarkAppended() ? 1 : 0);
    Lines.Add(Text, Start, Len);
  }
  Lines.PosAfter = Source->GetPosition();
  Source->SetPosition(Top);

  // Line widths: for the horizontal range of the unwrapped view and for track-line-widths.
  if (!WordWrap) {
    LineWidths.assign(static_cast<size_t>(Lines.Count()), 0);
    bool Wider = false;
    for (int32_t I = 0; I < Lines.Count(); ++I) {
      const int32_t W = Source->TextWidth(Lines[I].Text);
      LineWidths[static_cast<size_t>(I)] = W + GutterWidth;
      if (W > WidestLine) {
        WidestLine = W;
        Wider = true;
      }
    }
    const int32_t OldExtent = HorzExtent;
    if (Wider || (TrackLineWidths && !ThumbTracking)) ComputeExtent();
    if (HorzExtent != OldExtent) UpdateScrollBars();
  }
  UpdateAttributes();
}

void TFileViewer64::EnsureLines() {
  if (!LinesBuilt || BuiltTop != GetPosition() || BuiltGeneration != LayoutGeneration) BuildVisibleLines();
}

void TFileViewer64::PrepareLines() {
  Guarded([&] {
    if (AttrOnly && LinesBuilt && BuiltTop == GetPosition() && BuiltGeneration == LayoutGeneration) {
      AttrOnly = false;
      return;
    }
    AttrOnly = false;
    BuildVisibleLines();
  });
}

void TFileViewer64::UpdateAttributes() {
  if (OnMarkSpans) OnMarkSpans(this);
}

void TFileViewer64::Redraw(bool Twice) {
  if (UpdateCount > 0) return;
  // The measuring pass: line widths decide the horizontal range before the real paint.
  if (Twice && TrackLineWidths && !WordWrap && IsOpen()) BuildVisibleLines();
  Invalidate();
}

void TFileViewer64::RepaintAttributes() {
  AttrOnly = true;
  Invalidate();
}

int32_t TFileViewer64::PositionAtHeight(int32_t Y) {
  EnsureLines();
  if (!IsOpen()) return 0;
  const int32_t Meeting = std::max(0, (Y + LineHeight - 1) / LineHeight);
  return Meeting < Lines.Count() ? Lines[Meeting].Start : Lines.PosAfter;
}

// ---- Scrolling --------------------------------------------------------------------------------------

bool TFileViewer64::LineForward() {
  if (GetPosition() >= LastTop) return false;
  std::string Line;
  Source->ReadLine(Line);
  UpdateScrollBars();
  if (UpdateCount == 0) {
    if (OnScrollWindow) OnScrollWindow(0, -LineHeight);
    const int32_t Strip = LineHeight + kScrollStripExtra;
    if (OnInvalidateRect) OnInvalidateRect(TViewerArea{0, ClientHeight - Strip, ClientWidth, Strip});
  }
  return true;
}

bool TFileViewer64::LineBack() {
  if (GetPosition() <= 0) return false;
  Source->PrevLine();
  UpdateScrollBars();
  if (UpdateCount == 0) {
    if (OnScrollWindow) OnScrollWindow(0, LineHeight);
    if (OnInvalidateRect) OnInvalidateRect(TViewerArea{0, 0, ClientWidth, LineHeight + kScrollStripExtra});
  }
  return true;
}

bool TFileViewer64::ScrollLines(int32_t N) {
  if (!IsOpen() || N == 0) return false;
  bool Changed = false;
  Guarded([&] {
    if (N == -1) {
      Changed = LineForward();
      return;
    }
    if (N == 1) {
      Changed = LineBack();
      return;
    }
    const int32_t Start = GetPosition();
    if (N < 0) {
      Source->LinesForward(-N);
      if (GetPosition() > LastTop) Source->SetPosition(LastTop);
    } else {
      Source->LinesBack(N);
    }
    Changed = GetPosition() != Start;
    if (Changed) {
      UpdateScrollBars();
      Redraw(true);
    }
  });
  return Changed;
}

bool TFileViewer64::SetTopPosition(int32_t Pos) {
  if (!IsOpen()) return false;
  const int32_t Start = GetPosition();
  Source->SetPosition(std::min(Pos, LastTop));
  return GetPosition() != Start;
}

bool TFileViewer64::MoveTop(int32_t Pos) {
  const bool Moved = SetTopPosition(Pos);
  UpdateScrollBars();
  if (Moved) Invalidate();
  return Moved;
}

void TFileViewer64::SetHorzPosition(int32_t X) {
  const int32_t Max = std::max(0, HorzExtent - ClientWidth);
  X = std::clamp(X, 0, Max);
  if (X == HorzPosition) return;
  const int32_t D = X - HorzPosition;
  HorzPosition = X;
  UpdateScrollBars();
  if (UpdateCount == 0 && OnScrollWindow) OnScrollWindow(-D, 0);
}

void TFileViewer64::VScroll(TScrollCode Code, int32_t Pos) {
  if (!IsOpen()) return;
  Guarded([&] {
    switch (Code) {
      case TScrollCode::LineUp:
        ScrollLines(1);
        break;
      case TScrollCode::LineDown:
        ScrollLines(-1);
        break;
      case TScrollCode::PageUp:
        PageUp();
        break;
      case TScrollCode::PageDown:
        PageDown();
        break;
      case TScrollCode::Top:
        GoToStart();
        break;
      case TScrollCode::Bottom:
        GoToEnd();
        break;
      case TScrollCode::Track:
        ThumbTracking = true;
        if (UseLineIndex) {
          if (Pos >= 0 && Pos < static_cast<int32_t>(LineIndex.size()))
            SetTopPosition(LineIndex[static_cast<size_t>(Pos)]);
        } else {
          SetTopPosition(static_cast<int32_t>(
              std::min<int64_t>(static_cast<int64_t>(std::max(Pos, 0)) * VertUnit, INT32_MAX)));
        }
        Invalidate();
        break;
      case TScrollCode::EndScroll:
        ThumbTracking = false;
        UpdateScrollBars();
        Redraw(true);
        break;
    }
  });
}

void TFileViewer64::HScroll(TScrollCode Code, int32_t Pos) {
  if (!IsOpen()) return;
  const int32_t HalfPage = (ClientWidth - GutterWidth) / 2;
  switch (Code) {
    case TScrollCode::LineUp:
      SetHorzPosition(HorzPosition - kHorzStep);
      break;
    case TScrollCode::LineDown:
      SetHorzPosition(HorzPosition + kHorzStep);
      break;
    case TScrollCode::PageUp:
      SetHorzPosition(HorzPosition - HalfPage);
      break;
    case TScrollCode::PageDown:
      SetHorzPosition(HorzPosition + HalfPage);
      break;
    case TScrollCode::Track:
      SetHorzPosition(Pos);
      break;
    case TScrollCode::Top:
      SetHorzPosition(0);
      break;
    case TScrollCode::Bottom:
      SetHorzPosition(HorzExtent);
      break;
    case TScrollCode::EndScroll:
      break;
  }
}

void TFileViewer64::MouseWheel(int32_t Notches, int32_t WheelLines) {
  if (!IsOpen() || Selecting || Notches == 0) return;
  if (WheelLines < 0) {
    const int32_t Pages = std::abs(Notches);
    for (int32_t I = 0; I < Pages; ++I) {
      if (Notches > 0 ? !PageUp() : !PageDown()) break;
    }
    return;
  }
  ScrollLines(static_cast<int32_t>(
      std::clamp<int64_t>(static_cast<int64_t>(Notches) * WheelLines, -INT32_MAX, INT32_MAX)));
}
