#include "viewer/ClickView.h"

std::string ParseLinkMarkup(const std::string& Markup, std::vector<TMarkupLink>& Links) {
  Links.clear();
  std::string Text = Markup;
  size_t From = 0;
  for (;;) {
    const size_t Open = Text.find('<', From);
    if (Open == std::string::npos) break;
    const size_t Close = Text.find('>', Open + 1);
    if (Close == std::string::npos) break;
    const std::string Inner = Text.substr(Open + 1, Close - Open - 1);
    const size_t Bar = Inner.find('|');
    TMarkupLink Link;
    const std::string Shown = Bar == std::string::npos ? Inner : Inner.substr(0, Bar);
    Link.Target = Bar == std::string::npos ? Inner : Inner.substr(Bar + 1);
    Text.replace(Open, Close - Open + 1, Shown);
    Link.Start = static_cast<int32_t>(Open);
    Link.Length = static_cast<int32_t>(Shown.size());
    Links.push_back(std::move(Link));
    From = Open + Shown.size();
  }
  return Text;
}

TClickableViewer::TClickableViewer(IFontMetrics* Metrics) : TFileViewer64(Metrics) {
  NoMouseSelection = true;
  SetNoVertScrollBar(true);
  SetWordWrap(true);
  OnGetAttrColors = [this](TFileViewer64*, TAttrColors& Colors) {
    if (Colors.Attr != vaLink && Colors.Attr != vaHotLink) return;
    Colors.TextColor = kLinkColor;
    Colors.Underline = AlwaysUnderline || Colors.Attr == vaHotLink;
  };
}

void TClickableViewer::SetLinkText(const std::string& Markup) {
  std::vector<TMarkupLink> Links;
  const std::string Text = ParseLinkMarkup(Markup, Links);
  Starts.Clear();
  Lengths.Clear();
  Targets.clear();
  for (const TMarkupLink& L : Links) {
    Starts.Add(L.Start);
    Lengths.Add(L.Length);
    Targets.push_back(L.Target);
  }
  HotLink = -2;
  SetText(Text);
}

void TClickableViewer::UpdateAttributes() {
  MarkSpans(Starts, Lengths, vaLink);
  if (HotLink >= 0) MarkSpan(Starts.Get(HotLink), Lengths.Get(HotLink), vaHotLink);
  TFileViewer64::UpdateAttributes();
}

bool TClickableViewer::UpdateHotLink(int32_t X, int32_t Y) {
  const int32_t Index = SpanAtCursor(X, Y, Starts, Lengths);
  if (Index == HotLink) return false;
  Lines.ReplaceAttribute(vaHotLink, vaLink);
  if (Index >= 0) MarkSpan(Starts.Get(Index), Lengths.Get(Index), vaHotLink);
  HotLink = Index;
  RepaintAttributes();
  return true;
}

std::string TClickableViewer::GetHotLinkTarget() const {
  return HotLink >= 0 ? Targets[static_cast<size_t>(HotLink)] : std::string();
}
