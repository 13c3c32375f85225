#include "viewer/HTMLViewer.h"

#include <algorithm>
#include <climits>

namespace {

// Addresses are made of the printable ASCII codes 33..127 less the quote and the brackets.
bool IsURLChar(char16_t C) {
  if (C < 33 || C > 127) return false;
  switch (C) {
    case u'"':
    case u'(':
    case u')':
    case u'<':
    case u'>':
    case u'[':
    case u']':
    case u'{':
    case u'}':
      return false;
    default:
      return true;
  }
}

bool IsAsciiAlnum(char16_t C) {
  return (C >= u'0' && C <= u'9') || (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z');
}

// Punctuation that ends a sentence rather than an address, cut from a run's end.
bool IsTrailingPunctuation(char16_t C) {
  switch (C) {
    case u'!':
    case u'\'':
    case u'(':
    case u')':
    case u',':
    case u'.':
    case u':':
    case u';':
    case u'?':
    case u'[':
    case u']':
    case u'{':
    case u'}':
      return true;
    default:
      return false;
  }
}

bool StartsWithLower(std::u16string_view Text, std::u16string_view Prefix) {
  if (Text.size() < Prefix.size()) return false;
  for (size_t I = 0; I < Prefix.size(); ++I) {
    char16_t C = Text[I];
    if (C >= u'A' && C <= u'Z') C = static_cast<char16_t>(C + 32);
    if (C != Prefix[I]) return false;
  }
  return true;
}

// Whether a run that survived trimming is an address: 1 e-mail, 2 web address, 0 neither.
int ClassifyCandidate(std::u16string_view C) {
  const size_t N = C.size();
  const size_t At = C.find(u'@');
  if (At != std::u16string_view::npos && At > 0 && N - At - 1 >= 3) {
    // An e-mail address needs a "." in its domain.
    return C.find(u'.', At + 1) != std::u16string_view::npos ? 1 : 0;
  }
  const size_t Dot = C.find(u'.', 1);
  const bool DotInside = N > 4 && Dot != std::u16string_view::npos && Dot + 1 < N;
  const size_t Slash = C.find(u'/', 1);
  const bool SlashInside = N > 6 && Slash != std::u16string_view::npos;
  if (!DotInside && !SlashInside) return 0;
  if ((DotInside && StartsWithLower(C, u"www.")) || StartsWithLower(C, u"url:") ||
      StartsWithLower(C, u"news:"))
    return 2;
  if (N > 6 && StartsWithLower(C, u"ftp://")) return 2;
  if (N > 7 && (StartsWithLower(C, u"http://") || StartsWithLower(C, u"file://"))) return 2;
  return 0;
}

// Shortest run that can hold an address.
constexpr size_t kMinRun = 3;

}  // namespace

int32_t FindURL(std::u16string_view Text, int32_t& Length) {
  const size_t N = Text.size();
  size_t I = 0;
  while (I < N) {
    if (!IsURLChar(Text[I]) || !IsAsciiAlnum(Text[I])) {
      ++I;
      continue;
    }
    const size_t Start = I;
    bool Question = false;
    bool Abandoned = false;
    size_t J = I;
    for (; J < N && IsURLChar(Text[J]); ++J) {
      if (Text[J] == u'?') Question = true;
      // Before any "?", an "=" belongs to an assignment, not an address: the run is dropped.
      if (Text[J] == u'=' && !Question) {
        Abandoned = true;
        break;
      }
    }
    I = Abandoned ? J + 1 : J;
    if (Abandoned || J - Start < kMinRun) continue;
    size_t End = J;
    while (End > Start && IsTrailingPunctuation(Text[End - 1])) --End;
    const std::u16string_view Candidate = Text.substr(Start, End - Start);
    // An "@" run without a "." in its domain is no address; the scan goes on after it, so that later
    // addresses of the same text are still found.
    if (ClassifyCandidate(Candidate) != 0) {
      Length = static_cast<int32_t>(Candidate.size());
      return static_cast<int32_t>(Start);
    }
  }
  return -1;
}

bool CompleteURL(std::u16string& URL, bool Detected) {
  if (URL.find(u':') != std::u16string::npos) return true;
  if (!Detected) return false;
  const size_t At = URL.find(u'@');
  if (At != std::u16string::npos && At >= 1) {
    URL = u"mailto:" + URL;
    return true;
  }
  const size_t Dot = URL.find(u'.');
  if (Dot != std::u16string::npos && Dot >= 1 && URL[0] != u'/') {
    URL = u"http://" + URL;
    return true;
  }
  return false;
}

// ---- THTMLViewer64 ----------------------------------------------------------------------------------

THTMLViewer64::THTMLViewer64(IFontMetrics* Metrics)
    : TFileViewer64(Metrics), HtmlLinks_(std::make_unique<THTMLLinks>()) {
  HTMLLinkStyle.TextColor = 0xFFFFFF;
  HTMLLinkStyle.BkColor = 0x808000;
  HTMLLinkStyle.HotTextColor = 0x00FF00;
  URLStyle.TextColor = 0xC0C0C0;
  URLStyle.BkColor = 0x808000;
  URLStyle.HotTextColor = 0xFFFF00;
  OnGetAttrColors = [this](TFileViewer64* Sender, TAttrColors& Colors) { GetAttrColors(Sender, Colors); };
}

void THTMLViewer64::Open(std::unique_ptr<TVStream> Stream, const std::u16string& Name) {
  HotLink_ = -1;
  HotUrlStart_ = -1;
  HotUrlText_.clear();
  if (UrLs_) UrLs_->Clear();
  HotLinkChanged();
  TFileViewer64::Open(std::move(Stream), Name);
}

void THTMLViewer64::SetAutodetectLinks(bool On) {
  if (On == AutodetectLinks_) return;
  AutodetectLinks_ = On;
  if (On && !UrLs_) UrLs_ = std::make_unique<THTMLLinks>();
  if (!On) {
    UrLs_->Clear();
    HotUrlStart_ = -1;
    HotUrlText_.clear();
  }
  Redraw();
}

void THTMLViewer64::HotLinkChanged() {
  if (OnHotLinkChange) OnHotLinkChange(this);
}

void THTMLViewer64::AddURLs(const std::u16string& Text, int32_t LineStart) {
  const int32_t U = Unit();
  std::u16string_view Rest(Text);
  int32_t Offset = 0;
  for (;;) {
    int32_t Length = 0;
    const int32_t Found = FindURL(Rest, Length);
    if (Found < 0) break;
    const int32_t At = Offset + Found;
    const int64_t Pos = LineStart + static_cast<int64_t>(At) * U;
    if (Pos > INT32_MAX) break;
    UrLs_->Add(Text.substr(static_cast<size_t>(At), static_cast<size_t>(Length)), static_cast<int32_t>(Pos),
               Length);
    Offset = At + Length;
    Rest = std::u16string_view(Text).substr(static_cast<size_t>(Offset));
  }
}

void THTMLViewer64::DetectURLs() {
  UrLs_->Clear();
  if (!IsOpen() || Lines_.Count() == 0) return;
  if (!GetWordWrap()) {
    for (int32_t I = 0; I < Lines_.Count(); ++I) {
      const TVisibleLine& L = Lines_[I];
      AddURLs(L.Text.substr(0, static_cast<size_t>(L.Length)), L.Start);
    }
    return;
  }
  // Whole logical lines: a reader of its own that wraps (so that lines are cut where the view cuts
  // them) at a width no line reaches, so each display line it gives is one logical line. The view's
  // own line source is not moved.
  TWrapTextStream Reader(nullptr, GetSourceStream());
  Reader.SetCharsetMode(GetCharsetMode());
  Reader.ControlGlyphs = true;
  Reader.SetWrap(true);
  Reader.SetWrapWidth(INT32_MAX);
  Reader.SetPosition(Lines_.FirstPos);
  std::u16string Text;
  while (!Reader.Eof() && Reader.GetPosition() < Lines_.PosAfter) {
    const int32_t Start = Reader.GetPosition();
    Reader.ReadText(Text);
    AddURLs(Text, Start);
    if (Reader.GetPosition() <= Start) break;
  }
}

void THTMLViewer64::UpdateAttributes() {
  if (AutodetectLinks_ && UrLs_) {
    DetectURLs();
    MarkSpans(UrLs_->GetStarts(), UrLs_->GetLengths(), vaURL);
    if (URLStyle.HighlightHot && HotUrlStart_ >= 0) {
      MarkSpan(HotUrlStart_, static_cast<int32_t>(HotUrlText_.size()), vaHotURL);
    }
  }
  TFileViewer64::UpdateAttributes();
}

bool THTMLViewer64::UpdateHotLink(int32_t X, int32_t Y) {
  if (!IsOpen() || !AutodetectLinks_ || !UrLs_ || UrLs_->GetCount() == 0) return false;
  const int32_t Index = SpanAtCursor(X, Y, UrLs_->GetStarts(), UrLs_->GetLengths());
  bool Changed = false;
  bool Repaint = false;
  if (Index >= 0) {
    const int32_t Start = UrLs_->GetStarts().Get(Index);
    if (Start != HotUrlStart_) {
      if (URLStyle.HighlightHot) {
        Lines_.ReplaceAttribute(vaHotURL, vaURL);
        MarkSpan(Start, UrLs_->GetLengths().Get(Index), vaHotURL);
        Repaint = true;
      }
      HotUrlStart_ = Start;
      HotUrlText_ = UrLs_->GetText(Index);
      Changed = true;
    }
  } else if (!HotUrlText_.empty() || HotUrlStart_ >= 0) {
    HotUrlText_.clear();
    HotUrlStart_ = -1;
    Lines_.ReplaceAttribute(vaHotURL, vaURL);
    Repaint = URLStyle.HighlightHot;
    Changed = true;
  }
  if (Repaint) RepaintAttributes();
  if (Changed) HotLinkChanged();
  return Changed;
}

void THTMLViewer64::ClearHotLink() {
  if (!HasHotLink()) return;
  HotLink_ = -1;
  HotUrlStart_ = -1;
  HotUrlText_.clear();
  Lines_.ReplaceAttribute(vaHotURL, vaURL);
  Lines_.ReplaceAttribute(vaHotLink, vaLink);
  RepaintAttributes();
  HotLinkChanged();
}

std::u16string THTMLViewer64::GetHotLinkURL() {
  if (HotLink_ >= 0 && HotLink_ < HtmlLinks_->Count()) return HtmlLinks_->GetText(HotLink_);
  return HotUrlText_;
}

void THTMLViewer64::MouseDown(TMouseButton Button, uint32_t Shift, int32_t X, int32_t Y) {
  const int32_t Start = GetSelStart();
  const int32_t Length = GetSelLength();
  TFileViewer64::MouseDown(Button, Shift, X, Y);
  PressSelected_ = (Shift & ssShift) != 0 && (GetSelStart() != Start || GetSelLength() != Length);
  PressSelStart_ = GetSelStart();
  PressSelLength_ = GetSelLength();
}

bool THTMLViewer64::Click(int32_t X, int32_t Y) {
  if (!OnLinkClick) return false;
  const bool Changed = UpdateHotLink(X, Y);
  const bool Selected =
      PressSelected_ || GetSelStart() != PressSelStart_ || GetSelLength() != PressSelLength_;
  if (!Selected) {
    const std::u16string URL = GetHotLinkURL();
    if (!URL.empty()) OnLinkClick(this, URL, HotLink_);
  } else if (!Changed) {
    HotLinkChanged();
  }
  return true;
}

void THTMLViewer64::GetAttrColors(TFileViewer64*, TAttrColors& Colors) {
  const uint8_t Attr = Colors.Attr;
  const TLinkStyle& Style = Attr == vaLink || Attr == vaHotLink ? HTMLLinkStyle : URLStyle;
  Colors.Underline = Style.Underline;
  if (Colors.Selected) return;
  const bool Hot = Attr == vaHotLink || Attr == vaHotURL;
  if (Hot && !Style.HighlightHot) return;
  Colors.TextColor = Hot ? Style.HotTextColor : Style.TextColor;
  Colors.Opaque = Style.Opaque;
  if (Style.Opaque) Colors.BkColor = Style.BkColor;
}
