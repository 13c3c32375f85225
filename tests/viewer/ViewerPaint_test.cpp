// The runs a viewer line is drawn in: pieces of the selection, attribute runs and their colours, tabs,
// the 16-bit mode's whole characters, empty selected lines, and the gutter's stripes.
#include "viewer/ViewerPaint.h"

#include <gtest/gtest.h>

#include "tests/viewer/ViewerFixture.h"

namespace {

class ViewerPaintTest : public ViewerTest {
 protected:
  // Runs as "text|flags" with S selected, O opaque, U underline, and the text colour.
  std::vector<std::string> Runs(int32_t Line) {
    V_->PrepareLines();
    std::vector<std::string> R;
    for (const TPaintRun& Run : BuildLineRuns(*V_, Line, Colors_)) {
      std::string T(Run.Text.begin(), Run.Text.end());
      for (char& C : T) {
        if (static_cast<unsigned char>(C) > 127) C = '~';
      }
      char Buf[64];
      std::snprintf(Buf, sizeof Buf, "|%s%s%s|%06X@%d", Run.Selected ? "S" : "", Run.Opaque ? "O" : "",
                    Run.Underline ? "U" : "", Run.TextColor, Run.X);
      R.push_back(T + Buf);
    }
    return R;
  }
  TPaintColors Colors_{0xFFFFFF, 0x000000, 0x00FFFF, 0x800000};
};

TEST_F(ViewerPaintTest, SelectionPiecesAndAttributeRuns) {
  V_->OnMarkSpans = [](TFileViewer64* S) { S->MarkSpan(2, 4, vaHit); };
  V_->OnGetAttrColors = [](TFileViewer64*, TAttrColors& Colors) {
    if (Colors.Selected) {
      Colors.Underline = true;
      return;
    }
    Colors.TextColor = 0x0000FF;
    Colors.BkColor = 0x00FF00;
    Colors.Opaque = true;
  };
  OpenBytes("abcdefgh\nxy\n");
  V_->SetSelection(4, 3);
  // "ab" plain, "cd" hit, "ef" hit inside the selection (selection colours, underlined), "g" selected.
  EXPECT_EQ(Runs(0), (std::vector<std::string>{"ab||000000@0", "cd|O|0000FF@16", "ef|SOU|00FFFF@32",
                                               "g|SO|00FFFF@48", "h||000000@56"}));
  EXPECT_EQ(Runs(1), (std::vector<std::string>{"xy||000000@0"}));
  // Without a host callback a marked run keeps its piece's state.
  V_->OnGetAttrColors = nullptr;
  EXPECT_EQ(Runs(0), (std::vector<std::string>{"ab||000000@0", "cd||000000@16", "ef|SO|00FFFF@32",
                                               "g|SO|00FFFF@48", "h||000000@56"}));
}

TEST_F(ViewerPaintTest, TabsExpandWithTheirMarksAndTheSelection) {
  V_->OnMarkSpans = [](TFileViewer64* S) { S->MarkSpan(1, 1, vaHit); };
  OpenBytes("a\tb\n");
  V_->SetSelection(2, 1);
  const auto R = Runs(0);
  // The tab's mark covers its 7 cells; "b" stays selected at column 9.
  ASSERT_EQ(R.size(), 3u);
  EXPECT_EQ(R[0], "a||000000@0");
  EXPECT_EQ(R[1], "       ||000000@8");
  EXPECT_EQ(R[2], "b|SO|00FFFF@64");
}

TEST_F(ViewerPaintTest, EmptyLinesInsideTheSelection) {
  OpenBytes("a\n\nb\n");
  V_->SelectAll();
  EXPECT_EQ(Runs(1), (std::vector<std::string>{" |SO|00FFFF@0"}));
  // A shown end-of-line mark is selected with its line instead of the blank.
  V_->SetEOLMark(0xB6);
  V_->SelectAll();
  EXPECT_EQ(Runs(1), (std::vector<std::string>{"~|SO|00FFFF@0"}));
  EXPECT_EQ(Runs(0), (std::vector<std::string>{"a~|SO|00FFFF@0"}));
}

TEST_F(ViewerPaintTest, SixteenBitSelectionCoversWholeCharacters) {
  OpenBytes(Utf16LE(u"abcd\n"), cmUnicode);
  V_->SetSelection(3, 2);  // from the middle of "b" into "c"
  EXPECT_EQ(Runs(0), (std::vector<std::string>{"a||000000@0", "bc|SO|00FFFF@8", "d||000000@24"}));
  V_->SetSelection(2, 1);  // half of "b"
  EXPECT_EQ(Runs(0), (std::vector<std::string>{"a||000000@0", "b|SO|00FFFF@8", "cd||000000@16"}));
}

TEST_F(ViewerPaintTest, AdvancesSumToTheHitTestWidths) {
  V_->SetShowTabs(true);
  OpenBytes("W\tx y\n");
  V_->PrepareLines();
  const auto Runs0 = BuildLineRuns(*V_, 0, Colors_);
  ASSERT_EQ(Runs0.size(), 1u);
  int32_t X = 0;
  for (int32_t A : Runs0[0].Advances) X += A;
  // W 16, the tab from column 2 to 8 (U+00BB and 6 blanks) 56, x, U+00B7, y.
  EXPECT_EQ(X, 16 + 56 + 24);
  EXPECT_EQ(V_->PosFromPoint(X - 1, 0, false, false), 4);
}

TEST(GutterStripes, BodyAndEdge) {
  const auto S = GutterStripes(16);
  ASSERT_EQ(S.size(), 4u);
  EXPECT_EQ(S[0].X, 0);
  EXPECT_EQ(S[0].Width, 12);
  EXPECT_TRUE(S[0].GutterColor);
  EXPECT_EQ(S[1].X, 12);
  EXPECT_FALSE(S[1].GutterColor);
  EXPECT_EQ(S[2].X, 13);
  EXPECT_EQ(S[2].Width, 2);
  EXPECT_EQ(S[3].X, 15);
  EXPECT_FALSE(S[3].GutterColor);
  EXPECT_TRUE(GutterStripes(0).empty());
  for (int32_t W = 1; W < 5; ++W) {
    int32_t Sum = 0;
    for (const auto& Stripe : GutterStripes(W)) Sum += Stripe.Width;
    EXPECT_LE(Sum, W);
  }
}

}  // namespace
