#include "viewer/WrapTextStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/viewer/ViewerTestUtil.h"

namespace {

// FixedMetrics, with the emoji U+1F600 20 pixels wide.
class EmojiMetrics : public FixedMetrics {
 public:
  int32_t CharWidth(char32_t Ch) override { return Ch == U'\U0001F600' ? 20 : FixedMetrics::CharWidth(Ch); }
};

std::vector<std::u16string> Segments(TWrapTextStream& W, std::vector<int32_t>* Starts = nullptr) {
  std::vector<std::u16string> Out;
  std::u16string Line;
  while (!W.Eof()) {
    if (Starts) Starts->push_back(W.GetPosition());
    W.ReadText(Line);
    Out.push_back(Line);
  }
  return Out;
}

TEST(WrapTextStreamTest, BreaksLinesWhereTheyFit) {
  struct Case {
    std::u16string Text;
    int32_t Width;
    std::vector<std::u16string> Expected;
  } Cases[] = {
      {u"hello world", 64, {u"hello ", u"world"}},     // after the blank between the words
      {u"abcd efgh", 32, {u"abcd ", u"efgh"}},         // the overflowing blank ends the line
      {u"aaa/bbb/ccc", 64, {u"aaa/bbb/", u"ccc"}},     // after the last "/" that fits
      {u"a-b c-d-eeee", 64, {u"a-b ", u"c-d-eeee"}},   // a blank wins over punctuation
      {u"abcdefghij", 32, {u"abcd", u"efgh", u"ij"}},  // no break character: cut at the edge
      {u"W", 10, {u"W"}},                              // wider than the width: one character
      {u"", 10, {u""}},                                // an empty line: one empty segment
      {u"a\tb", 40, {u"a\t", u"b"}},                   // the tab runs to column 8 and overflows
  };
  for (size_t I = 0; I < std::size(Cases); ++I) {
    SCOPED_TRACE(I);
    const Case& C = Cases[I];
    auto S = MemStream(Utf16LE(C.Text) + Utf16LE(u"\n"));
    FixedMetrics M;
    TWrapTextStream W(&M, S.get());
    W.SetCharsetMode(cmUnicode);
    W.SetWrap(true);
    W.SetWrapWidth(C.Width);
    W.SetPosition(0);
    std::vector<int32_t> Starts;
    EXPECT_EQ(Segments(W, &Starts), C.Expected);
    // Each segment's source bytes are 2 a character in the 16-bit mode.
    int32_t Pos = 0;
    for (size_t K = 0; K < C.Expected.size(); ++K) {
      EXPECT_EQ(Starts[K], Pos);
      Pos += static_cast<int32_t>(C.Expected[K].size()) * 2;
    }
  }
}

TEST(WrapTextStreamTest, SurrogatePairIsOneCharacterOfOneWidth) {
  EmojiMetrics M;
  const std::u16string Text = u"a\U0001F600b";
  auto S = MemStream(Utf16LE(Text));
  TWrapTextStream W(&M, S.get());
  W.SetCharsetMode(cmUnicode);
  int32_t Column = 1;
  EXPECT_EQ(W.AdvanceWidthAt(Text, 1, Column), 20);
  EXPECT_EQ(W.AdvanceWidthAt(Text, 2, Column), 0);
  EXPECT_EQ(Column, 2);
  EXPECT_EQ(W.TextWidth(Text), 36);

  // Too wide for the width on its own: the pair stays whole.
  W.SetWrap(true);
  W.SetWrapWidth(10);
  W.SetPosition(0);
  EXPECT_EQ(Segments(W), (std::vector<std::u16string>{u"a", u"\U0001F600", u"b"}));
}

TEST(WrapTextStreamTest, TabAndBlankWidthsWithVisibleTabs) {
  FixedMetrics M;
  auto S = MemStream("");
  TWrapTextStream W(&M, S.get());
  W.ShowTabs = true;
  // "abc" + TAB: the tab shows U+00BB and four blanks, measured alike.
  EXPECT_EQ(W.TextWidth(u"abc\t"), 3 * 8 + 8 + 4 * 8);
  int32_t Column = 9;
  EXPECT_EQ(W.AdvanceWidth(U'\t', Column), 64);
  EXPECT_EQ(Column, 17);
}

TEST(WrapTextStreamTest, TabSizeIsClamped) {
  FixedMetrics M;
  auto S = MemStream("");
  TWrapTextStream W(&M, S.get());
  W.SetTabSize(0);
  EXPECT_EQ(W.GetTabSize(), 1);
  W.SetTabSize(20);
  EXPECT_EQ(W.GetTabSize(), 16);
}

// Builds a text of lines of 0, 1, long words and 5000 characters, joined by every kind of break.
std::u16string GeneratedText(bool FinalBreak) {
  std::u16string Words;
  while (Words.size() < 5000) Words += u"word\tand some more ";
  Words.resize(5000);
  const std::u16string Lines[] = {u"", u"a", Words, std::u16string(1500, u'x'), u"tab\there", u"", u"end"};
  const std::u16string Breaks[] = {u"\r\n", u"\n", u"\r"};
  std::u16string Text;
  for (size_t I = 0; I < std::size(Lines); ++I) {
    Text += Lines[I];
    if (I + 1 < std::size(Lines) || FinalBreak) Text += Breaks[I % 3];
  }
  return Text;
}

std::string FirstDifference(const std::vector<int32_t>& A, const std::vector<int32_t>& B) {
  size_t I = 0;
  while (I < A.size() && I < B.size() && A[I] == B[I]) ++I;
  return "sizes " + std::to_string(A.size()) + "/" + std::to_string(B.size()) + ", first difference at " +
         std::to_string(I);
}

std::string Narrow(const std::u16string& W) { return std::string(W.begin(), W.end()); }

TEST(WrapTextStreamTest, ForwardAndBackwardGiveTheSameLinesAndPositionsLandOnTheirLine) {
  FixedMetrics M;
  for (bool Wide : {false, true}) {
    for (bool Wrap : {false, true}) {
      for (bool FinalBreak : {false, true}) {
        SCOPED_TRACE(std::to_string(Wide) + std::to_string(Wrap) + std::to_string(FinalBreak));
        const std::u16string Text = GeneratedText(FinalBreak);
        auto S = MemStream(Wide ? Utf16LE(Text) : Narrow(Text));
        TWrapTextStream W(&M, S.get());
        if (Wide) W.SetCharsetMode(cmUnicode);
        W.SetWrap(Wrap);
        W.SetWrapWidth(300);
        W.SetPosition(0);
        std::vector<int32_t> Starts;
        const std::vector<std::u16string> Forward = Segments(W, &Starts);
        ASSERT_GT(Forward.size(), 10u);

        // Backwards from the end: the same starts and texts in reverse.
        W.GoToEnd();
        std::vector<int32_t> BackStarts;
        std::vector<std::u16string> Back;
        std::u16string Line;
        if (!W.Eof()) {
          // Without a final break the end lies on the last line's start.
          BackStarts.push_back(W.GetPosition());
          const int32_t At = W.GetPosition();
          W.ReadText(Line);
          Back.push_back(Line);
          W.SetPosition(At);
        }
        while (W.GetPosition() > 0) {
          W.PrevLine();
          BackStarts.push_back(W.GetPosition());
          const int32_t At = W.GetPosition();
          W.ReadText(Line);
          Back.push_back(Line);
          W.SetPosition(At);
        }
        std::reverse(BackStarts.begin(), BackStarts.end());
        std::reverse(Back.begin(), Back.end());
        EXPECT_TRUE(BackStarts == Starts) << FirstDifference(BackStarts, Starts);
        EXPECT_TRUE(Back == Forward) << "texts differ";

        // Any byte lands on the start of the display line that holds it.
        const int32_t Size = S->GetSize();
        for (int32_t P = 0; P < Size; P += (P < 64 || P > Size - 64) ? 1 : 97) {
          W.SetPosition(P);
          const int32_t Expected = *(std::upper_bound(Starts.begin(), Starts.end(), P) - 1);
          ASSERT_EQ(W.GetPosition(), Expected) << "P=" << P;
        }
      }
    }
  }
}

TEST(WrapTextStreamTest, WrappedLogicalLinesAreCutOnlyEvery4096Characters) {
  FixedMetrics M;
  auto S = MemStream(std::string(5000, 'x'));
  TWrapTextStream W(&M, S.get());
  EXPECT_EQ(W.GetLineBytes(), kViewerLineLength);
  W.SetWrap(true);
  EXPECT_EQ(W.GetLineBytes(), 4 * kViewerLineLength);
  W.SetWrapWidth(8 * 1000);
  W.SetPosition(0);
  const auto Segs = Segments(W);
  ASSERT_EQ(Segs.size(), 6u);  // 1000 x 4 + 96 of the first piece, then 904 of the second
  EXPECT_EQ(Segs[4].size(), 96u);
  EXPECT_EQ(Segs[5].size(), 904u);
}

}  // namespace
