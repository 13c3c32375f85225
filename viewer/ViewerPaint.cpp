#include "viewer/ViewerPaint.h"

#include <algorithm>

namespace {

bool IsHighSurrogate(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsLowSurrogate(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

// Advance of each unit of display text (no tabs left in it): a surrogate pair measures as one code
// point on its first half.
std::vector<int32_t> Advances(TWrapTextStream& Source, const std::u16string& Text) {
  std::vector<int32_t> A(Text.size(), 0);
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    if (IsHighSurrogate(C) && I + 1 < Text.size() && IsLowSurrogate(Text[I + 1])) {
      A[I] = Source.CharWidth(0x10000 + ((static_cast<char32_t>(C) - 0xD800) << 10) + (Text[I + 1] - 0xDC00));
      ++I;
      continue;
    }
    A[I] = Source.CharWidth(C);
  }
  return A;
}

}  // namespace

std::vector<TPaintRun> BuildLineRuns(TFileViewer64& V, int32_t Index, const TPaintColors& Colors) {
  std::vector<TPaintRun> Runs;
  const TVisibleLines& Lines = V.GetVisibleLines();
  if (Index < 0 || Index >= Lines.Count()) return Runs;
  const TVisibleLine& L = Lines[Index];
  const int32_t Unit = IsWideMode(V.GetCharsetMode()) ? 2 : 1;

  int32_t SelStart = V.GetSelStart();
  int32_t SelLen = SelStart >= 0 ? V.GetSelLength() : 0;
  if (Unit == 2 && SelLen > 0) {
    if (SelStart % 2 != 0) {
      --SelStart;
      ++SelLen;
    }
    if (SelLen % 2 != 0) ++SelLen;
  }

  std::u16string Text = L.Text;
  std::string Attrs = Lines.GetAttributes(Index);
  TWrapTextStream& Source = V.LineSource();
  Source.ExpandTabs(Text, Attrs, SelLen, SelStart, L.Start);
  if (!Attrs.empty() && Attrs.size() < Text.size()) Attrs.resize(Text.size(), '\0');

  // Which display characters the selection covers: those whose byte lies inside it.
  const int64_t SelEnd = static_cast<int64_t>(SelStart) + SelLen;
  auto Selected = [&](size_t I) {
    const int64_t Pos = L.Start + static_cast<int64_t>(I) * Unit;
    return SelLen > 0 && Pos >= SelStart && Pos < SelEnd;
  };
  bool EmptySelected = false;
  if (Text.empty() && SelLen > 0 && L.Start >= SelStart && L.Start < SelEnd) {
    Text = u" ";
    EmptySelected = true;
  }
  const std::vector<int32_t> Adv = Advances(Source, Text);

  int32_t X = 0;
  size_t I = 0;
  while (I < Text.size()) {
    const bool Sel = EmptySelected || Selected(I);
    const uint8_t Attr = Attrs.empty() || EmptySelected ? 0 : static_cast<uint8_t>(Attrs[I]);
    size_t J = I + 1;
    while (J < Text.size() && (EmptySelected || Selected(J)) == Sel &&
           (Attrs.empty() || EmptySelected ? 0 : static_cast<uint8_t>(Attrs[J])) == Attr) {
      ++J;
    }
    TPaintRun R;
    R.Text = Text.substr(I, J - I);
    R.Advances.assign(Adv.begin() + static_cast<std::ptrdiff_t>(I),
                      Adv.begin() + static_cast<std::ptrdiff_t>(J));
    R.X = X;
    for (int32_t A : R.Advances) R.Width += A;
    R.Selected = Sel;
    R.TextColor = Sel ? Colors.SelText : Colors.Text;
    R.BkColor = Sel ? Colors.SelBk : Colors.Background;
    R.Opaque = Sel;
    R.Underline = false;
    if (Attr != 0 && V.OnGetAttrColors) {
      TAttrColors AttrColors{Attr, Sel, R.TextColor, R.BkColor, R.Opaque, R.Underline};
      V.OnGetAttrColors(&V, AttrColors);
      R.TextColor = AttrColors.TextColor;
      R.BkColor = AttrColors.BkColor;
      R.Opaque = AttrColors.Opaque;
      R.Underline = AttrColors.Underline;
    }
    X += R.Width;
    Runs.push_back(std::move(R));
    I = J;
  }
  return Runs;
}

std::vector<TGutterStripe> GutterStripes(int32_t Width) {
  std::vector<TGutterStripe> S;
  if (Width <= 0) return S;
  // Columns 0..W-5 and W-3..W-2 in the gutter colour, W-4 and W-1 in the background colour.
  auto Add = [&](int32_t From, int32_t To, bool Gutter) {
    From = std::max(From, 0);
    if (To >= From) S.push_back({From, To - From + 1, Gutter});
  };
  Add(0, Width - 5, true);
  Add(Width - 4, Width - 4, false);
  Add(Width - 3, Width - 2, true);
  Add(Width - 1, Width - 1, false);
  return S;
}
