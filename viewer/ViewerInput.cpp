// TFileViewer64: the selection, hit tests from pixels to positions, marking of host spans, bringing a
// position into view, and the keyboard and mouse.
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/qvnls/Qvnls.h"
#include "viewer/Viewer64.h"

namespace {

bool IsWordChar(char16_t C) { return C == u'_' || qvnls::UnicodeIsAlphaNum(C); }

// Auto-scroll delay for a mouse D pixels outside the client area (D <= 0: inside).
int32_t DragDelayFor(int32_t D) {
  if (D <= 0) return TFileViewer64::kDragDelayMax;
  if (D >= TFileViewer64::kDragDistanceMax) return TFileViewer64::kDragDelayMin;
  const double Span = TFileViewer64::kDragDelayMax - TFileViewer64::kDragDelayMin;
  return static_cast<int32_t>(
             std::lround((1.0 - static_cast<double>(D) / TFileViewer64::kDragDistanceMax) * Span)) +
         TFileViewer64::kDragDelayMin;
}

// Distance of V outside 0..Limit-1, 0 inside.
int32_t Outside(int32_t V, int32_t Limit) {
  if (V < 0) return -V;
  if (V >= Limit) return V - (Limit - 1);
  return 0;
}

}  // namespace

// ---- Selection --------------------------------------------------------------------------------------

void TFileViewer64::SetSelection(int32_t Start, int32_t Len) {
  if (!IsOpen() || Len < 0) return;
  Start = std::max(Start, 0);
  const int32_t Size = Window_->GetSize();
  Len = static_cast<int32_t>(std::min<int64_t>(Len, static_cast<int64_t>(Size) - Start));
  if (Len <= 0) return;
  SelStart_ = Start;
  SelLength_ = Len;
  RepaintAttributes();
}

void TFileViewer64::SelectAll() {
  if (IsOpen()) SetSelection(0, Window_->GetSize());
}

bool TFileViewer64::ClearSelection() {
  const bool Had = SelStart_ >= 0 && SelLength_ > 0;
  SelStart_ = -1;
  SelLength_ = 0;
  return Had;
}

// ---- Hit tests --------------------------------------------------------------------------------------

void TFileViewer64::ComputeLineWidths(TVisibleLine& L) {
  if (L.Widths.size() == L.Text.size()) return;
  L.Widths.resize(L.Text.size());
  int32_t Column = 1;
  int32_t X = 0;
  for (size_t I = 0; I < L.Text.size(); ++I) {
    X += Source_->AdvanceWidthAt(L.Text, I, Column);
    L.Widths[I] = X;
  }
}

int32_t TFileViewer64::WordAt(const TVisibleLine& L, int32_t Char, int32_t& WordLen) const {
  const int32_t N = L.Length;
  WordLen = 0;
  if (N <= 0) return L.Start;
  Char = std::clamp(Char, 0, N - 1);
  int32_t J = Char;
  while (J >= 0 && !IsWordChar(L.Text[static_cast<size_t>(J)])) --J;
  if (J < 0) {
    J = Char + 1;
    while (J < N && !IsWordChar(L.Text[static_cast<size_t>(J)])) ++J;
    if (J >= N) return L.Start + Char * Unit();
  }
  int32_t Left = J;
  while (Left > 0 && IsWordChar(L.Text[static_cast<size_t>(Left - 1)])) --Left;
  int32_t Right = J + 1;
  while (Right < N && IsWordChar(L.Text[static_cast<size_t>(Right)])) ++Right;
  WordLen = (Right - Left) * Unit();
  return L.Start + Left * Unit();
}

int32_t TFileViewer64::PosFromPoint(int32_t X, int32_t Y, bool Nearest, bool Word, int32_t* WordLen) {
  if (WordLen) *WordLen = 0;
  if (!IsOpen()) return 0;
  if (Y < 0) return GetPosition();
  EnsureLines();
  const int32_t Line = Y / LineHeight_;
  if (Line >= Lines_.Count()) return Lines_.PosAfter;
  TVisibleLine& L = Lines_[Line];
  ComputeLineWidths(L);
  const int32_t Tx = X + HorzPosition_ - (HasGutter() ? GutterWidth_ : 0);
  // The first character whose right edge lies right of the point; none: right of the text.
  int32_t Char =
      static_cast<int32_t>(std::upper_bound(L.Widths.begin(), L.Widths.end(), Tx) - L.Widths.begin());
  const bool RightOfText = Char >= L.Length;
  if (Word) {
    int32_t Len = 0;
    const int32_t Pos = WordAt(L, RightOfText ? L.Length - 1 : Char, Len);
    if (WordLen) *WordLen = Len;
    return Pos;
  }
  if (RightOfText) return L.Start + L.Length * Unit();
  if (Nearest) {
    const int32_t Left = Char > 0 ? L.Widths[static_cast<size_t>(Char - 1)] : 0;
    const int32_t Width = L.Widths[static_cast<size_t>(Char)] - Left;
    if (2 * static_cast<int64_t>(Tx - Left) >= Width) {
      ++Char;
      // After a surrogate pair, not between its halves.
      if (Char < L.Length && L.Widths[static_cast<size_t>(Char)] == L.Widths[static_cast<size_t>(Char - 1)] &&
          L.Text[static_cast<size_t>(Char)] >= 0xDC00 && L.Text[static_cast<size_t>(Char)] <= 0xDFFF) {
        ++Char;
      }
    }
  }
  return L.Start + Char * Unit();
}

bool TFileViewer64::CharAtCursor(int32_t X, int32_t Y, int32_t& Line, int32_t& Column) {
  Line = -1;
  Column = 0;
  if (!IsOpen()) return false;
  const int32_t Gutter = HasGutter() ? GutterWidth_ : 0;
  if (X < Gutter || X >= ClientWidth_ || Y < 0 || Y >= ClientHeight_) return false;
  EnsureLines();
  const int32_t L = Y / LineHeight_;
  if (L >= Lines_.Count()) return false;
  TVisibleLine& VL = Lines_[L];
  ComputeLineWidths(VL);
  const int32_t Tx = X + HorzPosition_ - Gutter;
  const int32_t Char =
      static_cast<int32_t>(std::upper_bound(VL.Widths.begin(), VL.Widths.end(), Tx) - VL.Widths.begin());
  if (Char >= VL.Length) return false;
  Line = L;
  Column = Char + 1;
  return true;
}

// ---- Marking ----------------------------------------------------------------------------------------

namespace {

// Writes Attr over the characters of L that the byte span [Pos, Pos + Len x Unit) covers.
void MarkLine(TVisibleLine& L, int64_t Pos, int64_t Len, int32_t Unit, uint8_t Attr) {
  const int64_t LineEnd = L.Start + static_cast<int64_t>(L.Length) * Unit;
  const int64_t SpanEnd = Pos + Len * Unit;
  if (Pos >= LineEnd || SpanEnd <= L.Start || Len <= 0) return;
  const int64_t From = std::max<int64_t>(Pos, L.Start);
  const int64_t To = std::min(SpanEnd, LineEnd);
  const size_t First = static_cast<size_t>((From - L.Start) / Unit);
  const size_t Last = static_cast<size_t>((To - L.Start + Unit - 1) / Unit);
  if (L.Attrs.size() < static_cast<size_t>(L.Length)) L.Attrs.resize(static_cast<size_t>(L.Length), '\0');
  for (size_t I = First; I < Last && I < L.Attrs.size(); ++I) L.Attrs[I] = static_cast<char>(Attr);
}

}  // namespace

void TFileViewer64::MarkSpan(int32_t Pos, int32_t Len, uint8_t Attr) {
  for (int32_t I = 0; I < Lines_.Count(); ++I) MarkLine(Lines_[I], Pos, Len, Unit(), Attr);
}

void TFileViewer64::MarkSpans(const TInt32Vector& Starts, const TInt32Vector& Lens, uint8_t Attr) {
  const int32_t Count = std::min(Starts.GetCount(), Lens.GetCount());
  if (Count == 0) return;
  for (int32_t I = 0; I < Lines_.Count(); ++I) {
    TVisibleLine& L = Lines_[I];
    const int64_t LineEnd = L.Start + static_cast<int64_t>(L.Length) * Unit();
    // The last span starting at or before the line start, which may reach into the line.
    int32_t Lo = 0;
    int32_t Hi = Count;
    while (Lo < Hi) {
      const int32_t Mid = Lo + (Hi - Lo) / 2;
      if (Starts.Get(Mid) <= L.Start) {
        Lo = Mid + 1;
      } else {
        Hi = Mid;
      }
    }
    for (int32_t K = std::max(0, Lo - 1); K < Count && Starts.Get(K) < LineEnd; ++K) {
      MarkLine(L, Starts.Get(K), Lens.Get(K), Unit(), Attr);
    }
  }
}

int32_t TFileViewer64::SpanAtCursor(int32_t X, int32_t Y, const TInt32Vector& Starts,
                                    const TInt32Vector& Lens) {
  int32_t Line = 0;
  int32_t Column = 0;
  if (!CharAtCursor(X, Y, Line, Column)) return -1;
  const int64_t Byte = Lines_[Line].Start + static_cast<int64_t>(Column - 1) * Unit();
  const int32_t Count = std::min(Starts.GetCount(), Lens.GetCount());
  int32_t Lo = 0;
  int32_t Hi = Count;
  while (Lo < Hi) {
    const int32_t Mid = Lo + (Hi - Lo) / 2;
    if (Starts.Get(Mid) <= Byte) {
      Lo = Mid + 1;
    } else {
      Hi = Mid;
    }
  }
  const int32_t K = Lo - 1;
  if (K < 0) return -1;
  return Byte < Starts.Get(K) + static_cast<int64_t>(Lens.Get(K)) * Unit() ? K : -1;
}

// ---- Bringing a position into view ------------------------------------------------------------------

int32_t TFileViewer64::HorzTarget(int32_t Pos) {
  if (WordWrap_) return -1;
  const int32_t Top = GetPosition();
  Source_->SetPosition(Pos);
  const int32_t Start = Source_->GetPosition();
  std::u16string Text;
  Source_->ReadText(Text);
  const int32_t Len = static_cast<int32_t>(Text.size()) - (Source_->GetMarkAppended() ? 1 : 0);
  Source_->SetPosition(Top);
  const int32_t Chars = (Pos - Start) / Unit();
  if (Chars < 0 || Chars > Len) return -1;
  const int32_t X = Source_->TextWidth(Text.substr(0, static_cast<size_t>(Chars)));
  const int32_t TextWidth = ClientWidth_ - (HasGutter() ? GutterWidth_ : 0);
  if (X < HorzPosition_ + CharWidth_ || X > TextWidth + HorzPosition_ - CharWidth_)
    return std::max(0, X - 3 * CharWidth_);
  return -1;
}

void TFileViewer64::ApplyHorzTarget(int32_t Target) {
  if (!TrackLineWidths_) {
    if (Target >= 0) SetHorzPosition(Target);
    Redraw();
    return;
  }
  Redraw();
  if (Target >= 0) {
    // The range follows painted widths: measure the page before moving there.
    if (HorzExtent_ < Target) BuildVisibleLines();
    SetHorzPosition(Target);
  }
}

bool TFileViewer64::IsPositionVisible(int32_t Pos, int32_t Len) {
  if (!IsOpen()) return false;
  if (GetPosition() >= static_cast<int64_t>(Pos) + static_cast<int64_t>(Len) * Unit()) return false;
  return Pos < PositionAtHeight(ClientHeight_ - LineHeight_ / 2);
}

void TFileViewer64::GotoPosition(int32_t Pos) {
  if (!IsOpen()) return;
  Guarded([&] {
    const int32_t Target = HorzTarget(Pos);
    if (!IsPositionVisible(Pos, 0)) {
      SetTopPosition(Pos);
      UpdateScrollBars();
    }
    ApplyHorzTarget(Target);
  });
}

// ---- Keyboard ---------------------------------------------------------------------------------------

bool TFileViewer64::KeyDown(TViewerKey Key, uint32_t Shift) {
  if (Selecting_) return true;
  if (!IsOpen()) return false;
  bool Handled = true;
  Guarded([&] {
    const int32_t HalfText = (ClientWidth_ - (HasGutter() ? GutterWidth_ : 0)) / 2;
    switch (Key) {
      case TViewerKey::PageUp:
        PageUp();
        break;
      case TViewerKey::PageDown:
        PageDown();
        break;
      case TViewerKey::Up:
        ScrollLines(1);
        break;
      case TViewerKey::Down:
        ScrollLines(-1);
        break;
      case TViewerKey::Home:
      case TViewerKey::End: {
        MoveTop(Key == TViewerKey::Home ? 0 : LastTop_);
        if (Shift & ssCtrl) SetHorzPosition(0);
        break;
      }
      case TViewerKey::Left:
        if (Shift & ssAlt) {
          SetHorzPosition(0);
        } else {
          SetHorzPosition(HorzPosition_ - ((Shift & ssCtrl) ? HalfText : kHorzStep));
        }
        break;
      case TViewerKey::Right:
        if (Shift & ssAlt) {
          SetHorzPosition(HorzExtent_);
        } else {
          SetHorzPosition(HorzPosition_ + ((Shift & ssCtrl) ? HalfText : kHorzStep));
        }
        break;
      case TViewerKey::Other:
        Handled = false;
        break;
    }
  });
  return Handled;
}

// ---- Mouse ------------------------------------------------------------------------------------------

void TFileViewer64::MouseDown(TMouseButton Button, uint32_t Shift, int32_t X, int32_t Y) {
  if (Selecting_ || !IsOpen()) return;
  if (Button != TMouseButton::Left || NoMouseSelection) return;
  Guarded([&] {
    if ((Shift & ssDouble) && !(Shift & ssShift)) {
      int32_t Len = 0;
      const int32_t Pos = PosFromPoint(X, Y, true, true, &Len);
      if (Len >= 1) {
        ClearSelection();
        SetSelection(Pos, Len);
      }
      return;
    }
    Selecting_ = true;
    BeginSelectCalled_ = false;
    Anchor_ = -1;
    DragDelay_ = kDragDelayMax;
    if (!(Shift & ssShift) && ClearSelection()) RepaintAttributes();
    LastMouseX_ = X;
    LastMouseY_ = Y;
    if ((Shift & ssShift) && SelStart_ >= 0 && SelLength_ > 0) {
      Anchor_ = SelStart_;
      ExtendSelection(X, Y);
    } else {
      Anchor_ = CurrentPos_ = PosFromPoint(X, Y, true, false);
    }
  });
}

void TFileViewer64::ExtendSelection(int32_t X, int32_t Y) {
  CurrentPos_ = PosFromPoint(X, Y, true, false);
  const int32_t OldStart = SelStart_;
  const int32_t OldLen = SelLength_;
  if (CurrentPos_ == Anchor_) {
    ClearSelection();
  } else {
    SelStart_ = std::min(Anchor_, CurrentPos_);
    SelLength_ = std::abs(CurrentPos_ - Anchor_);
  }
  if (SelStart_ != OldStart || SelLength_ != OldLen) {
    if (!BeginSelectCalled_) {
      BeginSelectCalled_ = true;
      if (OnBeginSelect) OnBeginSelect(this);
    }
    RepaintAttributes();
  }
  DragDelay_ = std::min(DragDelayFor(Outside(X, ClientWidth_)), DragDelayFor(Outside(Y, ClientHeight_)));
}

void TFileViewer64::MouseMove(int32_t X, int32_t Y) {
  if (!Selecting_) return;
  if (X == LastMouseX_ && Y == LastMouseY_) return;
  Guarded([&] {
    ExtendSelection(X, Y);
    LastMouseX_ = X;
    LastMouseY_ = Y;
  });
}

int32_t TFileViewer64::DragTick(int32_t X, int32_t Y, bool AtScreenBottom) {
  if (!Selecting_) return 0;
  Guarded([&] {
    if (!IsOpen()) {
      EndDrag();
      return;
    }
    bool Moved = false;
    if (Y <= 0) {
      Moved = ScrollLines(1);
    } else if (AtScreenBottom || Y >= ClientHeight_ - 1) {
      Moved = ScrollLines(-1);
    }
    const int32_t OldH = HorzPosition_;
    if (X < 1) {
      SetHorzPosition(HorzPosition_ - kHorzStep);
    } else if (X >= ClientWidth_ - 1) {
      SetHorzPosition(HorzPosition_ + kHorzStep);
    }
    Moved = Moved || HorzPosition_ != OldH;
    if (Moved || X != LastMouseX_ || Y != LastMouseY_) ExtendSelection(X, Y);
    LastMouseX_ = X;
    LastMouseY_ = Y;
  });
  return Selecting_ ? DragDelay_ : 0;
}

void TFileViewer64::EndDrag() { Selecting_ = false; }

void TFileViewer64::MouseUp(TMouseButton Button) {
  if (Button == TMouseButton::Left || Button == TMouseButton::Right) EndDrag();
}

void TFileViewer64::ContextMenu() { EndDrag(); }
