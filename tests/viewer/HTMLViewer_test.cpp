// Addresses found in plain text (FindURL), made openable (CompleteURL), and the link-aware viewer that
// marks them on its visible lines in every charset mode, wrapped or not, tracks the one under the mouse
// and reports clicks.
#include "viewer/HTMLViewer.h"

#include <gtest/gtest.h>

#include "tests/viewer/ViewerFixture.h"

namespace {

struct TURLCase {
  const char16_t* Text;
  const char16_t* Found;  // null: none
};

TEST(FindURL, AddressesAndTheirEnds) {
  const TURLCase Cases[] = {
      {u"see www.example.com. Then", u"www.example.com"},
      {u"(http://example.org/a?b=1)", u"http://example.org/a?b=1"},
      {u"mail john.doe@example.com!", u"john.doe@example.com"},
      {u"ftp://x", u"ftp://x"},
      {u"http://", nullptr},
      {u"http://a", u"http://a"},
      {u"FILE://host/x", u"FILE://host/x"},
      {u"news:comp.lang", u"news:comp.lang"},
      {u"url:thing/one", u"url:thing/one"},
      // An "=" before any "?" drops the run; a new one starts after it.
      {u"x=www.example.com", u"www.example.com"},
      {u"key=value", nullptr},
      // After a "?" an "=" stays inside the address.
      {u"http://h.com/p?q=1&r=2", u"http://h.com/p?q=1&r=2"},
      // Two characters after "@": tested as a web address instead (and none).
      {u"a@bc", nullptr},
      {u"a@b.c", u"a@b.c"},
      {u"ab@www.cd", u"ab@www.cd"},
      // No "." after the "@": no address there, but the search goes on behind it.
      {u"user@localhost then www.later.org", u"www.later.org"},
      {u"plain words only", nullptr},
      {u"www.", nullptr},
      {u"\"http://quoted.com\"", u"http://quoted.com"},
      {u"<https://secure.com>", nullptr},
      {u"\u00e9www.accent.org", u"www.accent.org"},
  };
  for (const TURLCase& C : Cases) {
    const std::u16string Text = C.Text;
    int32_t Length = -1;
    const int32_t At = FindURL(Text, Length);
    if (!C.Found) {
      EXPECT_EQ(At, -1) << std::string(Text.begin(), Text.end());
      continue;
    }
    ASSERT_GE(At, 0) << std::string(Text.begin(), Text.end());
    EXPECT_EQ(Text.substr(static_cast<size_t>(At), static_cast<size_t>(Length)), std::u16string(C.Found))
        << std::string(Text.begin(), Text.end());
  }
}

TEST(CompleteURL, SchemesAddedOrRefused) {
  struct TCase {
    const char16_t* In;
    bool Detected;
    bool Ok;
    const char16_t* Out;
  };
  const TCase Cases[] = {
      {u"www.example.com", true, true, u"http://www.example.com"},
      {u"john@example.com", true, true, u"mailto:john@example.com"},
      {u"http://x.org", false, true, u"http://x.org"},
      {u"news:comp", true, true, u"news:comp"},
      {u"www.example.com", false, false, u"www.example.com"},
      {u"/path.to/file", true, false, u"/path.to/file"},
      {u".com", true, false, u".com"},
  };
  for (const TCase& C : Cases) {
    std::u16string URL = C.In;
    EXPECT_EQ(CompleteURL(URL, C.Detected), C.Ok) << std::string(URL.begin(), URL.end());
    EXPECT_EQ(URL, std::u16string(C.Out));
  }
}

TEST(HTMLLinks, ListOperations) {
  THTMLLinks L;
  L.Add(u"a", 4, 1);
  L.Add(u"bb", 10, 2);
  std::u16string T;
  int32_t S = 0;
  int32_t N = 0;
  ASSERT_TRUE(L.Get(1, T, S, N));
  EXPECT_EQ(T, u"bb");
  EXPECT_EQ(S, 10);
  EXPECT_EQ(N, 2);
  EXPECT_FALSE(L.Get(2, T, S, N));
  EXPECT_FALSE(L.Get(-1, T, S, N));
  auto Copy = L.NewLinks();
  EXPECT_EQ(Copy->Count(), 0);
  Copy->Assign(L);
  EXPECT_EQ(Copy->Count(), 2);
  EXPECT_EQ(Copy->GetText(0), u"a");
  EXPECT_EQ(L.IndexOfStart(10), 1);
  L.Clear();
  EXPECT_EQ(L.Count(), 0);
}

class HTMLViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    V_ = std::make_unique<THTMLViewer64>(&Metrics_);
    V_->SetClientSize(400, 160);
    V_->OnHotLinkChange = [this](THTMLViewer64*) { ++HotChanges_; };
    V_->SetAutodetectLinks(true);
  }
  void TearDown() override {
    V_.reset();
    qvnls::ResetSystemCodePages();
  }
  void Open(const std::string& Bytes, uint8_t Mode = cmANSI) {
    V_->SetCharsetMode(Mode);
    V_->Open(MemStream(Bytes), u"t");
    V_->PrepareLines();
    HotChanges_ = 0;
  }
  // The detected addresses as (text, start, length).
  std::vector<std::tuple<std::u16string, int32_t, int32_t>> Found() {
    std::vector<std::tuple<std::u16string, int32_t, int32_t>> R;
    THTMLLinks* L = const_cast<THTMLLinks*>(V_->GetDetectedURLs());
    for (int32_t I = 0; I < L->GetCount(); ++I) {
      std::u16string T;
      int32_t S = 0;
      int32_t N = 0;
      L->Get(I, T, S, N);
      R.emplace_back(T, S, N);
    }
    return R;
  }
  std::string Attrs(int32_t Line) { return V_->GetVisibleLines().GetAttributes(Line); }

  FixedMetrics Metrics_;
  std::unique_ptr<THTMLViewer64> V_;
  int HotChanges_ = 0;
};

TEST_F(HTMLViewerTest, AddressesMarkedInEveryCharsetMode) {
  using T = std::tuple<std::u16string, int32_t, int32_t>;
  // ANSI: a Western accented letter before the address counts one byte.
  Open("line one\n\xe9 www.a.com and x@y.org\n");
  EXPECT_EQ(Found(), (std::vector<T>{{u"www.a.com", 11, 9}, {u"x@y.org", 25, 7}}));
  EXPECT_EQ(Attrs(1),
            std::string(2, '\0') + std::string(9, '\3') + std::string(5, '\0') + std::string(7, '\3'));
  // OEM (850): byte 0x82 is an accented letter too.
  Open("\x82 www.b.org\n", cmOEM);
  EXPECT_EQ(Found(), (std::vector<T>{{u"www.b.org", 2, 9}}));
  // UTF-16: positions are bytes, twice the characters; a Cyrillic word before the address.
  Open(Utf16LE(u"\u0416\u0416 http://z.ru/\n"), cmUnicode);
  EXPECT_EQ(Found(), (std::vector<T>{{u"http://z.ru/", 6, 12}}));
  // With a byte-order mark the positions count after it.
  Open(Utf16LE(u"\ufeffwww.c.de"), cmUnicode);
  EXPECT_EQ(Found(), (std::vector<T>{{u"www.c.de", 0, 8}}));
}

TEST_F(HTMLViewerTest, SwitchedOffFindsNothing) {
  V_->SetAutodetectLinks(false);
  Open("www.example.com\n");
  EXPECT_EQ(Found().size(), 0u);
  EXPECT_EQ(Attrs(0), "");
}

TEST_F(HTMLViewerTest, WrappedAddressFoundWholeAndMarkedOnEveryDisplayLine) {
  // 400 pixels less 1 hold 49 characters of 8. The line breaks after the blank, and the address, too
  // long for one display line, after its last "/".
  V_->SetWordWrap(true);
  const std::string URL = "http://www.example.com/" + std::string(40, 'x');
  Open("aaaaaaaaaa " + URL + "\nnext\n");
  const auto F = Found();
  ASSERT_EQ(F.size(), 1u);
  EXPECT_EQ(std::get<0>(F[0]), std::u16string(URL.begin(), URL.end()));
  EXPECT_EQ(std::get<1>(F[0]), 11);
  ASSERT_GE(V_->GetVisibleLines().Count(), 4);
  EXPECT_EQ(V_->GetVisibleLines()[1].Text, u"http://www.example.com/");
  EXPECT_EQ(Attrs(0), "");
  EXPECT_EQ(Attrs(1), std::string(23, '\3'));
  EXPECT_EQ(Attrs(2), std::string(40, '\3'));
  EXPECT_EQ(Attrs(3), "");
  // The view's own line source was not moved by the look at whole lines.
  EXPECT_EQ(V_->GetPosition(), 0);
}

TEST_F(HTMLViewerTest, SearchHitsOverwriteAddressMarks) {
  V_->OnMarkSpans = [](TFileViewer64* S) { S->MarkSpan(4, 3, vaHit); };
  Open("www.example.com\n");
  EXPECT_EQ(Attrs(0), std::string(4, '\3') + std::string(3, '\144') + std::string(8, '\3'));
}

TEST_F(HTMLViewerTest, HotAddressFollowsTheMouse) {
  V_->URLStyle.HighlightHot = true;
  Open("go to www.example.com now\nplain\n");
  // Character 8 (x 64..71) lies in the address, which starts at column 7.
  EXPECT_TRUE(V_->UpdateHotLink(66, 4));
  EXPECT_EQ(HotChanges_, 1);
  EXPECT_EQ(V_->GetHotLinkURL(), u"www.example.com");
  EXPECT_EQ(V_->GetHotLinkIndex(), -1);
  EXPECT_EQ(Attrs(0).substr(6, 15), std::string(15, '\4'));
  // Another point of the same address changes nothing.
  EXPECT_FALSE(V_->UpdateHotLink(100, 4));
  EXPECT_EQ(HotChanges_, 1);
  // A rebuild keeps the hot mark.
  V_->Redraw();
  V_->PrepareLines();
  EXPECT_EQ(Attrs(0).substr(6, 15), std::string(15, '\4'));
  // Off the address: cleared, marked plain URL again.
  EXPECT_TRUE(V_->UpdateHotLink(8, 20));
  EXPECT_EQ(HotChanges_, 2);
  EXPECT_EQ(V_->GetHotLinkURL(), u"");
  EXPECT_EQ(Attrs(0).substr(6, 15), std::string(15, '\3'));
  EXPECT_TRUE(V_->UpdateHotLink(66, 4));
  V_->ClearHotLink();
  EXPECT_FALSE(V_->HasHotLink());
  EXPECT_EQ(HotChanges_, 4);
}

TEST_F(HTMLViewerTest, ClickOpensTheHotAddressUnlessTheMouseSelected) {
  std::vector<std::pair<std::u16string, int32_t>> Clicks;
  Open("go to www.example.com now\n");
  // Without a click handler the host's plain click applies.
  EXPECT_FALSE(V_->Click(66, 4));
  V_->OnLinkClick = [&](THTMLViewer64*, const std::u16string& URL, int32_t Index) {
    Clicks.emplace_back(URL, Index);
  };
  V_->MouseDown(TMouseButton::Left, 0, 66, 4);
  V_->MouseUp(TMouseButton::Left);
  EXPECT_TRUE(V_->Click(66, 4));
  ASSERT_EQ(Clicks.size(), 1u);
  EXPECT_EQ(Clicks[0].first, u"www.example.com");
  EXPECT_EQ(Clicks[0].second, -1);
  // A drag that selected: no click on the address.
  const int Before = HotChanges_;
  V_->MouseDown(TMouseButton::Left, 0, 66, 4);
  V_->MouseMove(120, 4);
  V_->MouseUp(TMouseButton::Left);
  EXPECT_GT(V_->GetSelLength(), 0);
  EXPECT_TRUE(V_->Click(120, 4));
  EXPECT_EQ(Clicks.size(), 1u);
  EXPECT_EQ(HotChanges_, Before + 1);
  // A click away from any address opens nothing.
  V_->MouseDown(TMouseButton::Left, 0, 8, 40);
  V_->MouseUp(TMouseButton::Left);
  V_->Click(8, 40);
  EXPECT_EQ(Clicks.size(), 1u);
}

TEST_F(HTMLViewerTest, OpenClearsTheHotAddress) {
  Open("www.example.com\n");
  ASSERT_TRUE(V_->UpdateHotLink(10, 4));
  V_->Open(MemStream("x"), u"t");
  EXPECT_FALSE(V_->HasHotLink());
  EXPECT_EQ(V_->GetDetectedURLs()->GetCount(), 0);
}

TEST_F(HTMLViewerTest, ColourRule) {
  struct TCase {
    uint8_t Attr;
    bool Selected;
    bool HighlightHot;
    uint32_t Text;
    bool Underline;
  };
  V_->URLStyle.TextColor = 0x111111;
  V_->URLStyle.HotTextColor = 0x222222;
  V_->HTMLLinkStyle.TextColor = 0x333333;
  V_->HTMLLinkStyle.HotTextColor = 0x444444;
  V_->HTMLLinkStyle.Underline = false;
  const TCase Cases[] = {
      {vaURL, false, true, 0x111111, true},     {vaHotURL, false, true, 0x222222, true},
      {vaHotURL, false, false, 0xABCDEF, true}, {vaURL, true, true, 0xABCDEF, true},
      {vaLink, false, true, 0x333333, false},   {vaHotLink, false, true, 0x444444, false},
  };
  for (const TCase& C : Cases) {
    V_->URLStyle.HighlightHot = C.HighlightHot;
    TAttrColors Colors{C.Attr, C.Selected, 0xABCDEF, 0x010101, C.Selected, false};
    V_->OnGetAttrColors(V_.get(), Colors);
    EXPECT_EQ(Colors.TextColor, C.Text) << int(C.Attr);
    EXPECT_EQ(Colors.Underline, C.Underline) << int(C.Attr);
    EXPECT_EQ(Colors.BkColor, 0x010101u);
    EXPECT_EQ(Colors.Opaque, C.Selected);
  }
  // An opaque style paints its background.
  V_->URLStyle.Opaque = true;
  TAttrColors Colors{vaURL, false, 0, 0, false, false};
  V_->OnGetAttrColors(V_.get(), Colors);
  EXPECT_TRUE(Colors.Opaque);
  EXPECT_EQ(Colors.BkColor, V_->URLStyle.BkColor);
}

}  // namespace
