// Text with inline link markup: the shown text, where each link lies and where it leads, and the hot
// link under the mouse.
#include "viewer/ClickView.h"

#include <gtest/gtest.h>

#include "tests/viewer/ViewerFixture.h"

namespace {

TEST(LinkMarkup, CaptionsTargetsAndPlaces) {
  struct TCase {
    const char* Markup;
    const char* Shown;
    std::vector<std::tuple<int32_t, int32_t, std::string>> Links;
  };
  const TCase Cases[] = {
      {"<Home page|http://h.org/> and <mail@x.org>",
       "Home page and mail@x.org",
       {{0, 9, "http://h.org/"}, {14, 10, "mail@x.org"}}},
      {"no links", "no links", {}},
      {"a <b", "a <b", {}},
      {"x <y|z> <unclosed", "x y <unclosed", {{2, 1, "z"}}},
      {"<|t>end", "end", {{0, 0, "t"}}},
      // The scan goes on after the shown part: a caption that looks like markup is not read again.
      {"<x<y> z", "x<y z", {{0, 3, "x<y"}}},
  };
  for (const TCase& C : Cases) {
    std::vector<TMarkupLink> Links;
    EXPECT_EQ(ParseLinkMarkup(C.Markup, Links), C.Shown) << C.Markup;
    ASSERT_EQ(Links.size(), C.Links.size()) << C.Markup;
    for (size_t I = 0; I < Links.size(); ++I) {
      EXPECT_EQ(Links[I].Start, std::get<0>(C.Links[I])) << C.Markup;
      EXPECT_EQ(Links[I].Length, std::get<1>(C.Links[I])) << C.Markup;
      EXPECT_EQ(Links[I].Target, std::get<2>(C.Links[I])) << C.Markup;
    }
  }
}

TEST(ClickableViewer, LinksMarkedAndHotUnderTheMouse) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  FixedMetrics Metrics;
  TClickableViewer V(&Metrics);
  V.SetClientSize(400, 64);
  V.SetLinkText("Visit <our site|http://s.org/> or <x@y.org>.");
  EXPECT_TRUE(V.GetWordWrap());
  EXPECT_EQ(V.GetVertScrollBar().Max, 0);
  EXPECT_EQ(V.LinkCount(), 2);
  V.PrepareLines();
  EXPECT_EQ(V.GetVisibleLines()[0].Text, u"Visit our site or x@y.org.");
  EXPECT_EQ(V.GetVisibleLines().GetAttributes(0), std::string(6, '\0') + std::string(8, '\1') +
                                                      std::string(4, '\0') + std::string(7, '\1') +
                                                      std::string(1, '\0'));
  // New text: the first look always reports a change, even to "none".
  EXPECT_EQ(V.GetHotLink(), -2);
  EXPECT_TRUE(V.UpdateHotLink(4, 4));
  EXPECT_EQ(V.GetHotLink(), -1);
  EXPECT_EQ(V.GetHotLinkTarget(), "");
  EXPECT_TRUE(V.UpdateHotLink(6 * 8 + 2, 4));
  EXPECT_EQ(V.GetHotLinkTarget(), "http://s.org/");
  EXPECT_EQ(V.GetVisibleLines().GetAttributes(0).substr(6, 8), std::string(8, '\2'));
  EXPECT_FALSE(V.UpdateHotLink(7 * 8 + 2, 4));
  EXPECT_TRUE(V.UpdateHotLink(18 * 8 + 2, 4));
  EXPECT_EQ(V.GetHotLinkTarget(), "x@y.org");
  EXPECT_EQ(V.GetVisibleLines().GetAttributes(0).substr(6, 8), std::string(8, '\1'));
  // Blue, underlined when hot (or always).
  TAttrColors Colors{vaLink, false, 0, 7, false, false};
  V.OnGetAttrColors(&V, Colors);
  EXPECT_EQ(Colors.TextColor, TClickableViewer::kLinkColor);
  EXPECT_FALSE(Colors.Underline);
  EXPECT_EQ(Colors.BkColor, 7u);
  Colors.Attr = vaHotLink;
  V.OnGetAttrColors(&V, Colors);
  EXPECT_TRUE(Colors.Underline);
  V.AlwaysUnderline = true;
  Colors.Attr = vaLink;
  V.OnGetAttrColors(&V, Colors);
  EXPECT_TRUE(Colors.Underline);
  // The mouse selects nothing.
  V.MouseDown(TMouseButton::Left, 0, 2, 2);
  V.MouseMove(100, 2);
  EXPECT_EQ(V.GetSelLength(), 0);
  qvnls::ResetSystemCodePages();
}

}  // namespace
