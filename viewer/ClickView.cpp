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
  Starts_.Clear();
  Lengths_.Clear();
  Targets_.clear();
  for (const TMarkupLink& L : Links) {
    Starts_.Add(L.Start);
    Lengths_.Add(L.Length);
    Targets_.push_back(L.Target);
  }
  HotLink_ = -2;
  SetText(Text);
}

void TClickableViewer::UpdateAttributes() {
  MarkSpans(Starts_, Lengths_, vaLink);
  if (HotLink_ >= 0) MarkSpan(Starts_.Get(HotLink_), Lengths_.Get(HotLink_), vaHotLink);
  TFileViewer64::UpdateAttributes();
}

bool TClickableViewer::UpdateHotLink(int32_t X, int32_t Y) {
  const int32_t Index = SpanAtCursor(X, Y, Starts_, Lengths_);
  if (Index == HotLink_) return false;
  Lines_.ReplaceAttribute(vaHotLink, vaLink);
  if (Index >= 0) MarkSpan(Starts_.Get(Index), Lengths_.Get(Index), vaHotLink);
  HotLink_ = Index;
  RepaintAttributes();
  return true;
}

std::string TClickableViewer::GetHotLinkTarget() const {
  return HotLink_ >= 0 ? Targets_[static_cast<size_t>(HotLink_)] : std::string();
}
