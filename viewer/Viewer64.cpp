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
    : TWrapTextStream(Metrics, nullptr), Viewer_(Viewer) {}

void TViewerTextStream::SetCharsetMode(uint8_t Mode) {
  if (Mode == CharsetMode_) return;
  const int32_t Top = Viewer_->GetPosition();
  TWrapTextStream::SetCharsetMode(Mode);
  Viewer_->SetPosition(Top);
}

// ---- Construction and errors ------------------------------------------------------------------------

TFileViewer64::TFileViewer64(IFontMetrics* Metrics)
    : Source_(std::make_unique<TViewerTextStream>(this, Metrics)), Metrics_(Metrics) {
  Source_->ControlGlyphs = true;
  PhysicalMemorySize = [] { return GetPhysicalMemorySize(); };
  MeasureFont();
}

TFileViewer64::~TFileViewer64() {
  // The line source borrows the window: detach it before the window goes.
  Source_->SetStream(nullptr);
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
  ErrorText_ = Message;
  if (ErrorText_.empty() || ErrorText_.back() != '.') ErrorText_ += '.';
  OpenedOk_ = false;
  SelStart_ = -1;
  SelLength_ = 0;
  Selecting_ = false;
  ResetScrollSetup();
  Invalidate();
}

void TFileViewer64::Invalidate() {
  if (UpdateCount_ == 0 && OnInvalidate) OnInvalidate();
}

// ---- Opening ----------------------------------------------------------------------------------------

void TFileViewer64::Open(std::unique_ptr<TVStream> Stream, const std::u16string& NewName) {
  ErrorText_.clear();
  OpenedOk_ = true;
  SelStart_ = -1;
  SelLength_ = 0;
  Selecting_ = false;
  try {
    LineIndex_.clear();
    LineWidths_.clear();
    WidestLine_ = 0;
    HorzPosition_ = 0;
    Source_->SetStream(nullptr);
    Window_.reset();
    Name_.clear();
    StartValue_ = 0;
    ++LayoutGeneration_;
    if (Stream) {
      Stream->Seek(0);
      uint8_t Start[2] = {0, 0};
      Stream->Read(Start, 2);
      StartValue_ = static_cast<uint16_t>(Start[0] | (Start[1] << 8));
      Name_ = NewName;
      const int32_t Size = Stream->GetSize();
      Window_ = std::make_unique<TVLimitedStream>(Stream.release(), 0, Size, true);
      Source_->SetStream(Window_.get());
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
  if (!Window_) return;
  const int32_t Whole = Window_->Stream->GetSize();
  const int32_t NewStart = IsWideMode(GetCharsetMode()) && StartValue_ == kUtf16Bom && Whole >= 2 ? 2 : 0;
  const int32_t D = NewStart - Window_->Offset;
  const int32_t Top = GetPosition();
  Window_->SetLimits(NewStart, Whole - NewStart);
  if (D == 0) {
    Source_->SetPosition(Top);
    return;
  }
  // The selection and the top keep covering the same bytes.
  if (SelStart_ >= 0) {
    SelStart_ -= D;
    if (SelStart_ < 0) {
      SelLength_ += SelStart_;
      SelStart_ = 0;
    }
    if (SelLength_ <= 0) {
      SelStart_ = -1;
      SelLength_ = 0;
    }
  }
  Source_->SetPosition(std::max(0, Top - D));
  LineIndex_.clear();
}

void TFileViewer64::SetPosition(int32_t Pos) { Source_->SetPosition(Pos); }

// ---- Options ----------------------------------------------------------------------------------------

void TFileViewer64::SetCharsetMode(uint8_t Mode) {
  if (Mode == GetCharsetMode()) return;
  ApplyCharsetMode(Mode);
}

void TFileViewer64::ApplyCharsetMode(uint8_t Mode) {
  const uint8_t Old = GetCharsetMode();
  if (IsWideMode(Old) || IsWideMode(Mode)) {
    SelStart_ = -1;
    SelLength_ = 0;
  }
  if (IsWideMode(Old) != IsWideMode(Mode)) {
    LineIndex_.clear();
    LineWidths_.clear();
    WidestLine_ = 0;
  }
  Source_->SetCharsetMode(Mode);
  ApplyWindow();
  ++LayoutGeneration_;
  Relayout();
  Invalidate();
}

uint8_t TFileViewer64::GetDisplayCharset() const {
  const uint8_t D = Source_->GetDisplayCharset();
  return D != 0 ? D : qvnls::FontCharsetToHTMLCharset(FontCharset_);
}

void TFileViewer64::SetFontCharset(uint8_t Charset) { FontCharset_ = Charset; }

void TFileViewer64::SetTabSize(int32_t N) {
  Source_->SetTabSize(std::min(N, kMaxTabSize));
  WidestLine_ = 0;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetGutterWidth(int32_t N) {
  GutterWidth_ = std::clamp(N, 0, kMaxGutterWidth);
  Relayout();
  Invalidate();
}

void TFileViewer64::SetWordWrap(bool On) {
  if (On == WordWrap_) return;
  WordWrap_ = On;
  HorzPosition_ = 0;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetShowTabs(bool On) {
  if (On == Source_->ShowTabs) return;
  Source_->ShowTabs = On;
  WidestLine_ = 0;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetEOLMark(char16_t Ch) {
  if (Ch == Source_->EOLMark) return;
  Source_->EOLMark = Ch;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetTrackLineWidths(bool On) {
  TrackLineWidths_ = On;
  Relayout();
  Invalidate();
}

void TFileViewer64::SetNoVertScrollBar(bool On) {
  NoVertScrollBar_ = On;
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
  if (Busy_) return;
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (!Force && Width == ClientWidth_ && Height == ClientHeight_) return;
  ClientWidth_ = Width;
  ClientHeight_ = Height;
  Guarded([&] {
    Relayout();
    LineWidths_.resize(static_cast<size_t>(VisibleLines()), 0);
    if (WordWrap_ || TrackLineWidths_) Invalidate();
  });
}

void TFileViewer64::FontChanged() {
  MetricsStale_ = true;
  Relayout();
  Invalidate();
}

void TFileViewer64::MeasureFont() {
  MetricsStale_ = false;
  int32_t Widths[256] = {};
  int32_t Widest = 0;
  if (Metrics_) {
    for (int32_t B = 0; B < 256; ++B) {
      const char32_t Ch = B < 128 ? static_cast<char32_t>(B)
                                  : qvnls::CharToWideChar(static_cast<uint8_t>(B), qvnls::GetAnsiCharset());
      Widths[B] = std::max(0, Metrics_->CharWidth(Ch));
    }
    for (char32_t C = U'A'; C <= U'Z'; ++C) Widest = std::max(Widest, Widths[C]);
    LineHeight_ = std::max(1, Metrics_->LineHeight());
  }
  // Widths of 0 would make every count below divide by zero.
  CharWidth_ = std::max(1, Widest);
  Source_->SetByteWidths(Widths);
  WidestLine_ = 0;
  ++LayoutGeneration_;
}

// ---- Layout -----------------------------------------------------------------------------------------

void TFileViewer64::BeginUpdate() { ++UpdateCount_; }

void TFileViewer64::EndUpdate() {
  if (UpdateCount_ == 0) return;
  if (--UpdateCount_ == 0) {
    Relayout();
    Redraw();
  }
}

void TFileViewer64::Relayout() {
  if (MetricsStale_) MeasureFont();
  ++LayoutGeneration_;
  Source_->SetWrap(WordWrap_);
  Source_->SetWrapWidth(ClientWidth_ - (HasGutter() ? GutterWidth_ : 0) - 1);
  ComputeExtent();
  if (IsOpen()) {
    ComputeLastTop();
    if (GetPosition() > LastTop_) Source_->SetPosition(LastTop_);
  } else {
    LastTop_ = 0;
  }
  UpdateScrollBars();
}

void TFileViewer64::ComputeExtent() {
  if (WordWrap_) {
    HorzExtent_ = 0;
  } else if (TrackLineWidths_) {
    int32_t Widest = 0;
    for (int32_t W : LineWidths_) Widest = std::max(Widest, W);
    HorzExtent_ = Widest + 1;
  } else {
    // A line of 1024 characters, and any wider line met since (tabs widen lines beyond that).
    const int64_t Fixed =
        static_cast<int64_t>(GutterWidth_) + static_cast<int64_t>(kExtentChars) * CharWidth_;
    HorzExtent_ = static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>(Fixed, WidestLine_ + int64_t{GutterWidth_}), INT32_MAX));
  }
}

void TFileViewer64::ComputeLastTop() {
  const int32_t Top = GetPosition();
  Source_->GoToEnd();
  Source_->LinesBack(LastPageLines());
  LastTop_ = Source_->GetPosition();
  Source_->SetPosition(Top);
}

int32_t TFileViewer64::VisibleLines() const { return (ClientHeight_ + LineHeight_) / LineHeight_; }

int32_t TFileViewer64::LastPageLines() const { return std::max(0, VisibleLines() - 2); }

int32_t TFileViewer64::PageLines() const {
  int32_t N = (ClientHeight_ + LineHeight_ / 4) / LineHeight_;
  if (PageMode == kPageScreenLessLine) N -= 1;
  if (PageMode == kPageHalfScreen) N /= 2;
  return std::max(N, 1);
}

void TFileViewer64::ResetScrollSetup() {
  HorzPosition_ = 0;
  HorzExtent_ = 0;
  LastTop_ = 0;
  LineIndex_.clear();
  VertBar_ = TScrollBarInfo();
  HorzBar_ = TScrollBarInfo();
  if (UpdateCount_ == 0 && OnScrollBars) OnScrollBars(VertBar_, HorzBar_);
}

void TFileViewer64::BuildLineIndex() {
  LineIndex_.clear();
  const int32_t Top = GetPosition();
  const bool Glyphs = Source_->ControlGlyphs;
  Source_->ControlGlyphs = false;
  Source_->GoToStart();
  std::string Line;
  while (!Source_->Eof()) {
    LineIndex_.push_back(Source_->GetPosition());
    Source_->ReadLine(Line);
  }
  if (LineIndex_.empty()) LineIndex_.push_back(0);
  Source_->ControlGlyphs = Glyphs;
  Source_->SetPosition(Top);
}

void TFileViewer64::UpdateScrollBars() {
  if (UpdateCount_ > 0) return;
  TScrollBarInfo V;
  TScrollBarInfo H;
  if (IsOpen()) {
    const int32_t Size = Window_->GetSize();
    UseLineIndex_ = !WordWrap_ && Size <= kLineIndexMaxBytes;
    int32_t Range = 0;
    int32_t Pos = 0;
    int32_t C = 0;
    if (UseLineIndex_) {
      if (LineIndex_.empty()) BuildLineIndex();
      const auto LastIt = std::upper_bound(LineIndex_.begin(), LineIndex_.end(), LastTop_);
      Range = static_cast<int32_t>(LastIt - LineIndex_.begin()) - 1;
      const auto TopIt = std::upper_bound(LineIndex_.begin(), LineIndex_.end(), GetPosition());
      Pos = static_cast<int32_t>(TopIt - LineIndex_.begin()) - 1;
      C = VisibleLines();
      VertUnit_ = 1;
    } else {
      VertUnit_ = Size / INT32_MAX + 1;
      Range = LastTop_ / VertUnit_;
      Pos = GetPosition() / VertUnit_;
    }
    if (NoVertScrollBar_) Range = 0;
    V.Max = Range == 0 ? 0 : Range + C;
    V.Page = C + 1;
    V.Pos = std::clamp(Pos, 0, std::max(Range, 0));
    const int32_t W = ClientWidth_;
    H.Max = HorzExtent_ > W ? HorzExtent_ : 0;
    H.Page = W + 1;
    HorzPosition_ = std::clamp(HorzPosition_, 0, std::max(0, HorzExtent_ - W));
    H.Pos = HorzPosition_;
  }
  VertBar_ = V;
  HorzBar_ = H;
  if (OnScrollBars) OnScrollBars(VertBar_, HorzBar_);
}

// ---- Visible lines ----------------------------------------------------------------------------------

void TFileViewer64::BuildVisibleLines() {
  Lines_.Clear();
  LinesBuilt_ = true;
  BuiltTop_ = GetPosition();
  BuiltGeneration_ = LayoutGeneration_;
  if (!IsOpen()) return;
  const int32_t Top = GetPosition();
  Lines_.FirstPos = Top;
  const int32_t Wanted = std::max(1, (ClientHeight_ + LineHeight_ - 1) / LineHeight_);
  std::u16string Text;
  for (int32_t N = 0; N < Wanted && !Source_->Eof(); ++N) {
    const int32_t Start = Source_->GetPosition();
    Source_->ReadText(Text);
    const int32_t Len = static_cast<int32_t>(Text.size()) - (Source_->GetMarkAppended() ? 1 : 0);
    Lines_.Add(Text, Start, Len);
  }
  Lines_.PosAfter = Source_->GetPosition();
  Source_->SetPosition(Top);

  // Line widths: for the horizontal range of the unwrapped view and for track-line-widths.
  if (!WordWrap_) {
    LineWidths_.assign(static_cast<size_t>(Lines_.Count()), 0);
    bool Wider = false;
    for (int32_t I = 0; I < Lines_.Count(); ++I) {
      const int32_t W = Source_->TextWidth(Lines_[I].Text);
      LineWidths_[static_cast<size_t>(I)] = W + GutterWidth_;
      if (W > WidestLine_) {
        WidestLine_ = W;
        Wider = true;
      }
    }
    const int32_t OldExtent = HorzExtent_;
    if (Wider || (TrackLineWidths_ && !ThumbTracking_)) ComputeExtent();
    if (HorzExtent_ != OldExtent) UpdateScrollBars();
  }
  UpdateAttributes();
}

void TFileViewer64::EnsureLines() {
  if (!LinesBuilt_ || BuiltTop_ != GetPosition() || BuiltGeneration_ != LayoutGeneration_)
    BuildVisibleLines();
}

void TFileViewer64::PrepareLines() {
  Guarded([&] {
    if (AttrOnly_ && LinesBuilt_ && BuiltTop_ == GetPosition() && BuiltGeneration_ == LayoutGeneration_) {
      AttrOnly_ = false;
      return;
    }
    AttrOnly_ = false;
    BuildVisibleLines();
  });
}

void TFileViewer64::UpdateAttributes() {
  if (OnMarkSpans) OnMarkSpans(this);
}

void TFileViewer64::Redraw(bool Twice) {
  if (UpdateCount_ > 0) return;
  // The measuring pass: line widths decide the horizontal range before the real paint.
  if (Twice && TrackLineWidths_ && !WordWrap_ && IsOpen()) BuildVisibleLines();
  Invalidate();
}

void TFileViewer64::RepaintAttributes() {
  AttrOnly_ = true;
  Invalidate();
}

int32_t TFileViewer64::PositionAtHeight(int32_t Y) {
  EnsureLines();
  if (!IsOpen()) return 0;
  const int32_t Meeting = std::max(0, (Y + LineHeight_ - 1) / LineHeight_);
  return Meeting < Lines_.Count() ? Lines_[Meeting].Start : Lines_.PosAfter;
}

// ---- Scrolling --------------------------------------------------------------------------------------

bool TFileViewer64::LineForward() {
  if (GetPosition() >= LastTop_) return false;
  std::string Line;
  Source_->ReadLine(Line);
  UpdateScrollBars();
  if (UpdateCount_ == 0) {
    if (OnScrollWindow) OnScrollWindow(0, -LineHeight_);
    const int32_t Strip = LineHeight_ + kScrollStripExtra;
    if (OnInvalidateRect) OnInvalidateRect(TViewerArea{0, ClientHeight_ - Strip, ClientWidth_, Strip});
  }
  return true;
}

bool TFileViewer64::LineBack() {
  if (GetPosition() <= 0) return false;
  Source_->PrevLine();
  UpdateScrollBars();
  if (UpdateCount_ == 0) {
    if (OnScrollWindow) OnScrollWindow(0, LineHeight_);
    if (OnInvalidateRect) OnInvalidateRect(TViewerArea{0, 0, ClientWidth_, LineHeight_ + kScrollStripExtra});
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
      Source_->LinesForward(-N);
      if (GetPosition() > LastTop_) Source_->SetPosition(LastTop_);
    } else {
      Source_->LinesBack(N);
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
  Source_->SetPosition(std::min(Pos, LastTop_));
  return GetPosition() != Start;
}

bool TFileViewer64::MoveTop(int32_t Pos) {
  const bool Moved = SetTopPosition(Pos);
  UpdateScrollBars();
  if (Moved) Invalidate();
  return Moved;
}

void TFileViewer64::SetHorzPosition(int32_t X) {
  const int32_t Max = std::max(0, HorzExtent_ - ClientWidth_);
  X = std::clamp(X, 0, Max);
  if (X == HorzPosition_) return;
  const int32_t D = X - HorzPosition_;
  HorzPosition_ = X;
  UpdateScrollBars();
  if (UpdateCount_ == 0 && OnScrollWindow) OnScrollWindow(-D, 0);
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
        ThumbTracking_ = true;
        if (UseLineIndex_) {
          if (Pos >= 0 && Pos < static_cast<int32_t>(LineIndex_.size()))
            SetTopPosition(LineIndex_[static_cast<size_t>(Pos)]);
        } else {
          SetTopPosition(static_cast<int32_t>(
              std::min<int64_t>(static_cast<int64_t>(std::max(Pos, 0)) * VertUnit_, INT32_MAX)));
        }
        Invalidate();
        break;
      case TScrollCode::EndScroll:
        ThumbTracking_ = false;
        UpdateScrollBars();
        Redraw(true);
        break;
    }
  });
}

void TFileViewer64::HScroll(TScrollCode Code, int32_t Pos) {
  if (!IsOpen()) return;
  const int32_t HalfPage = (ClientWidth_ - GutterWidth_) / 2;
  switch (Code) {
    case TScrollCode::LineUp:
      SetHorzPosition(HorzPosition_ - kHorzStep);
      break;
    case TScrollCode::LineDown:
      SetHorzPosition(HorzPosition_ + kHorzStep);
      break;
    case TScrollCode::PageUp:
      SetHorzPosition(HorzPosition_ - HalfPage);
      break;
    case TScrollCode::PageDown:
      SetHorzPosition(HorzPosition_ + HalfPage);
      break;
    case TScrollCode::Track:
      SetHorzPosition(Pos);
      break;
    case TScrollCode::Top:
      SetHorzPosition(0);
      break;
    case TScrollCode::Bottom:
      SetHorzPosition(HorzExtent_);
      break;
    case TScrollCode::EndScroll:
      break;
  }
}

void TFileViewer64::MouseWheel(int32_t Notches, int32_t WheelLines) {
  if (!IsOpen() || Selecting_ || Notches == 0) return;
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
