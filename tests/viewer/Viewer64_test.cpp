#include "viewer/Viewer64.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/viewer/ViewerFixture.h"

namespace {

TEST_F(ViewerTest, Utf16ByteOrderMarkIsHiddenAndPositionsCountAfterIt) {
  OpenBytes("\xFF\xFE" + Utf16LE(u"ab\r\ncd"), cmUnicode);
  EXPECT_EQ(V_->GetSourceStream()->GetSize(), 12);
  EXPECT_EQ(V_->GetPosition(), 0);
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{u"ab", u"cd"}));
  EXPECT_EQ(V_->GetVisibleLines()[1].Start, 8);

  // In an 8-bit mode the mark is two ordinary bytes again; a selection keeps covering its bytes.
  V_->SetCharsetMode(cmANSI);
  EXPECT_EQ(V_->GetSourceStream()->GetSize(), 14);
  V_->SetSelection(2, 2);
  V_->SetCharsetMode(cmOEM);  // 8-bit to 8-bit keeps the selection
  EXPECT_EQ(V_->GetSelStart(), 2);
  V_->SetCharsetMode(cmUnicode);  // into the 16-bit mode clears it
  EXPECT_EQ(V_->GetSelStart(), -1);
  EXPECT_EQ(FirstLine(), u"ab");
}

TEST_F(ViewerTest, EmptyFileOneLineWithoutBreakAndBinaryBytes) {
  OpenBytes("");
  EXPECT_TRUE(V_->IsOpen());
  EXPECT_TRUE(Texts().empty());
  EXPECT_FALSE(V_->GoToEnd());
  EXPECT_FALSE(V_->ScrollLines(-5));
  EXPECT_EQ(V_->GetVertScrollBar().Max, 0);
  EXPECT_EQ(V_->Find(u"x", true, false), 1);

  OpenBytes("only line");
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{u"only line"}));
  EXPECT_EQ(V_->GetLastTop(), 0);

  // Every byte value: controls become glyphs (NUL stays), the rest decodes in the ANSI page.
  std::string Binary;
  for (int B = 0; B < 256; ++B) Binary.push_back(static_cast<char>(B));
  OpenBytes(Binary);
  const auto T = Texts();
  ASSERT_EQ(T.size(), 3u);  // broken at LF (10) and at CR (13)
  EXPECT_EQ(T[0][0], u'\0');
  EXPECT_EQ(T[0][7], u'\u25CF');
  EXPECT_EQ(T[2].back(), u'\u00FF');
}

TEST_F(ViewerTest, LineCountsFollowTheClientHeightAndPageMode) {
  struct Case {
    int32_t Height;
    int32_t PageMode;
    int32_t Visible, LastPage, Page;
  } Cases[] = {
      {160, 0, 11, 9, 9}, {160, 1, 11, 9, 10}, {160, 2, 11, 9, 5}, {8, 0, 1, 0, 1},
      {0, 1, 1, 0, 1},    {100, 1, 7, 5, 6},   {100, 0, 7, 5, 5},  {20, 2, 2, 0, 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Height) + "/" + std::to_string(C.PageMode));
    V_->SetClientSize(400, C.Height);
    V_->PageMode = C.PageMode;
    EXPECT_EQ(V_->VisibleLines(), C.Visible);
    EXPECT_EQ(V_->LastPageLines(), C.LastPage);
    EXPECT_EQ(V_->PageLines(), C.Page);
  }
}

TEST_F(ViewerTest, TheEndShowsTheLastPageLines) {
  OpenBytes(NumberedLines(100));
  EXPECT_TRUE(V_->GoToEnd());
  const auto T = Texts();
  ASSERT_EQ(static_cast<int32_t>(T.size()), V_->LastPageLines());
  EXPECT_EQ(T.front(), u"L92");
  EXPECT_EQ(T.back(), u"L100");
  // Nothing scrolls beyond it.
  EXPECT_FALSE(V_->ScrollLines(-1));
  EXPECT_FALSE(V_->PageDown());
}

TEST_F(ViewerTest, ScrollingToTheEndAndBackShowsTheSameLinesBothWays) {
  std::string Text;
  for (int I = 0; I < 120; ++I) Text += "line " + std::to_string(I) + std::string(I % 7 * 20, '-') + "\r\n";
  for (bool Wrap : {false, true}) {
    SCOPED_TRACE(Wrap);
    V_->SetWordWrap(Wrap);
    OpenBytes(Text);
    std::vector<std::u16string> Down{FirstLine()};
    while (V_->ScrollLines(-1)) Down.push_back(FirstLine());
    EXPECT_EQ(V_->GetPosition(), V_->GetLastTop());
    std::vector<std::u16string> Up{FirstLine()};
    while (V_->ScrollLines(1)) Up.push_back(FirstLine());
    std::reverse(Up.begin(), Up.end());
    EXPECT_EQ(Down, Up);
    EXPECT_EQ(Down.front(), u"line 0");
    if (Wrap) {
      EXPECT_GT(Down.size(), 120u);
    }

    // Pages land on the same lines as single steps.
    V_->GoToStart();
    V_->PageDown();
    EXPECT_EQ(FirstLine(), Down[static_cast<size_t>(V_->PageLines())]);
    V_->PageUp();
    EXPECT_EQ(V_->GetPosition(), 0);
  }
}

TEST_F(ViewerTest, SmallStreamsScrollByLineIndexLargerOnesByBytesToTheSameLastPage) {
  // 32768 bytes of lines, and the same with one more character on the last line.
  std::string Text;
  int N = 0;
  while (Text.size() + 12 < 32768) {
    const std::string Number = std::to_string(++N);
    Text += "row " + Number + std::string(12 - 5 - Number.size(), ' ') + "\n";
  }
  Text += std::string(32768 - Text.size() - 1, 'z') + "\n";
  ASSERT_EQ(Text.size(), 32768u);
  OpenBytes(Text);
  EXPECT_TRUE(V_->UsesLineIndex());
  V_->GoToEnd();
  const int32_t LastTop = V_->GetLastTop();
  const auto LastPage = Texts();
  const TScrollBarInfo Bar = V_->GetVertScrollBar();
  EXPECT_EQ(Bar.Page, V_->VisibleLines() + 1);
  EXPECT_EQ(Bar.Max, Bar.Pos + V_->VisibleLines());

  std::string Longer = Text;
  Longer.insert(Longer.size() - 1, "z");
  OpenBytes(Longer);
  EXPECT_FALSE(V_->UsesLineIndex());
  V_->GoToEnd();
  EXPECT_EQ(V_->GetLastTop(), LastTop);
  auto Page = Texts();
  Page.back().pop_back();
  EXPECT_EQ(Page, LastPage);
  EXPECT_EQ(V_->GetVertScrollBar().Max, LastTop);
  EXPECT_EQ(V_->GetVertScrollBar().Pos, LastTop);

  // Dragging the thumb to a byte unit shows the line that holds that byte.
  V_->VScroll(TScrollCode::Track, 5000);
  EXPECT_LE(V_->GetPosition(), 5000);
  EXPECT_GT(V_->GetPosition(), 5000 - 13);
}

TEST_F(ViewerTest, StreamsNearTheTwoGigabyteLimit) {
  // INT32_MAX bytes of 16-byte lines, made on demand.
  V_->Open(std::make_unique<PatternStream>(INT32_MAX, "0123456789abcde\n"), u"big");
  EXPECT_EQ(V_->GetVertUnit(), 2);
  EXPECT_TRUE(V_->GoToEnd());
  const int32_t Last = V_->GetLastTop();
  EXPECT_EQ(Last % 16, 0);
  // The last line has no break: the end lies on its start, and the page shows it below the others.
  EXPECT_EQ(Last, (INT32_MAX / 16) * 16 - 16 * V_->LastPageLines());
  const auto T = Texts();
  ASSERT_EQ(static_cast<int32_t>(T.size()), V_->LastPageLines() + 1);
  EXPECT_EQ(T.back(), u"0123456789abcde");  // the last 15 bytes: the final line without its break
  EXPECT_EQ(V_->GetVertScrollBar().Max, Last / 2);
  V_->VScroll(TScrollCode::Track, Last / 2);
  EXPECT_EQ(V_->GetPosition(), Last);
  EXPECT_TRUE(V_->ScrollLines(3));
  EXPECT_EQ(V_->GetPosition(), Last - 48);

  // Selection, find and copy at the very end.
  V_->SetSelection(INT32_MAX - 5, 100);
  EXPECT_EQ(V_->GetSelLength(), 5);
  V_->ClearSelection();
  EXPECT_EQ(V_->Find(u"ABCDE", false, true), 1);  // "abcde" always follows a digit: never a whole word
  const int32_t Top = V_->GetPosition();
  EXPECT_EQ(V_->Find(u"0123456789ABCDE", false, true), 0);
  EXPECT_EQ(V_->GetSelStart(), Top);
  EXPECT_EQ(V_->GetSelLength(), 15);
  EXPECT_EQ(V_->Find(u"0123456789ABCDE", false, true), 0);  // a repeat goes on after the match
  EXPECT_EQ(V_->GetSelStart(), Top + 16);
  std::u16string Wide;
  std::string Narrow;
  V_->SetSelection(INT32_MAX - 20, 20);
  V_->BuildCopy(Wide, Narrow);
  EXPECT_EQ(Narrow, "bcde\r\n0123456789abcde");
}

TEST_F(ViewerTest, LongLinesContinueOnTheNextDisplayLine) {
  OpenBytes(std::string(1500, 'a') + "\nb");
  const auto T = Texts();
  ASSERT_EQ(T.size(), 3u);
  EXPECT_EQ(T[0].size(), 1024u);
  EXPECT_EQ(T[1].size(), 476u);
  EXPECT_EQ(V_->GetVisibleLines()[1].Start, 1024);
}

TEST_F(ViewerTest, OptionsAreClamped) {
  V_->SetTabSize(0);
  EXPECT_EQ(V_->GetTabSize(), 1);
  V_->SetTabSize(20);
  EXPECT_EQ(V_->GetTabSize(), 16);
  V_->SetGutterWidth(100);
  EXPECT_EQ(V_->GetGutterWidth(), 64);
  V_->SetGutterWidth(-3);
  EXPECT_EQ(V_->GetGutterWidth(), 0);
}

TEST_F(ViewerTest, ModeChangeKeepsTheTop) {
  OpenBytes(NumberedLines(60));
  V_->ScrollLines(-10);
  const int32_t Top = V_->GetPosition();
  V_->SetCharsetMode(cmOEM);
  EXPECT_EQ(V_->GetPosition(), Top);
  EXPECT_EQ(FirstLine(), u"L11");
  V_->SetCharsetMode(cmANSI);
  EXPECT_EQ(FirstLine(), u"L11");
}

TEST_F(ViewerTest, HorizontalExtentCoversLinesWidenedByTabs) {
  OpenBytes("a\n" + std::string(300, '\t') + "x\n");
  Texts();
  // 300 tabs of 8 columns are wider than the 1025 characters a plain line can take.
  EXPECT_GE(V_->GetHorzExtent(), (300 * 8 + 1) * 8);
  EXPECT_TRUE(V_->KeyDown(TViewerKey::Right, ssAlt));
  EXPECT_EQ(V_->GetHorzPosition(), V_->GetHorzExtent() - 400);

  V_->SetWordWrap(true);
  EXPECT_EQ(V_->GetHorzExtent(), 0);
  EXPECT_EQ(V_->GetHorzPosition(), 0);
}

TEST_F(ViewerTest, TrackLineWidthsFollowsThePaintedLines) {
  V_->SetTrackLineWidths(true);
  V_->SetGutterWidth(10);
  OpenBytes("abc\n" + std::string(80, 'w') + "\n");
  Texts();
  EXPECT_EQ(V_->GetHorzExtent(), 10 + 80 * 8 + 1);
  EXPECT_EQ(V_->GetHorzScrollBar().Max, V_->GetHorzExtent());
}

TEST_F(ViewerTest, FailuresEnterTheErrorStateUntilTheNextOpen) {
  // A stream that cannot be read at all.
  auto Broken = std::make_unique<PatternStream>(1000, "x\n");
  Broken->FailAfterReads = 0;
  EXPECT_THROW(V_->Open(std::move(Broken), u"broken"), EVStream);
  EXPECT_FALSE(V_->IsOpen());
  const std::string Error = V_->GetErrorText();
  EXPECT_NE(Error.find("Read failed"), std::string::npos);
  EXPECT_EQ(Error.back(), '.');
  EXPECT_NE(Error.substr(Error.size() - 2), "..");
  EXPECT_FALSE(V_->ScrollLines(-1));
  EXPECT_FALSE(V_->KeyDown(TViewerKey::Down, 0));
  EXPECT_EQ(V_->Find(u"x", true, false), 1);
  V_->SetSelection(0, 1);
  EXPECT_EQ(V_->GetSelStart(), -1);

  // A read error while scrolling: the same state, and the exception passes on.
  auto Late = std::make_unique<PatternStream>(100000, "line\n");
  PatternStream* LateRaw = Late.get();
  V_->Open(std::move(Late), u"late");
  EXPECT_TRUE(V_->IsOpen());
  LateRaw->FailAfterReads = LateRaw->Reads;
  EXPECT_THROW(V_->ScrollLines(-3), EVStream);
  EXPECT_FALSE(V_->IsOpen());
  EXPECT_NO_THROW(V_->Open(std::make_unique<PatternStream>(10, "x"), u""));
  EXPECT_TRUE(V_->IsOpen());
}

TEST_F(ViewerTest, OpenRecoversAfterAnError) {
  auto Broken = std::make_unique<PatternStream>(10, "x");
  Broken->FailAfterReads = 0;
  EXPECT_THROW(V_->Open(std::move(Broken), u""), EVStream);
  OpenBytes("fine\n");
  EXPECT_TRUE(V_->IsOpen());
  EXPECT_TRUE(V_->GetErrorText().empty());
  EXPECT_EQ(FirstLine(), u"fine");
}

TEST_F(ViewerTest, UpdatesAreHeldUntilTheLastEndUpdate) {
  OpenBytes(NumberedLines(50));
  Invalidations_ = 0;
  V_->BeginUpdate();
  V_->BeginUpdate();
  V_->SetTabSize(4);
  V_->SetShowTabs(true);
  V_->EndUpdate();
  EXPECT_EQ(Invalidations_, 0);
  V_->EndUpdate();
  EXPECT_EQ(Invalidations_, 1);
}

TEST_F(ViewerTest, OneLineStepsScrollTheWindowAndInvalidateAStrip) {
  OpenBytes(NumberedLines(50));
  std::vector<std::pair<int32_t, int32_t>> Scrolls;
  std::vector<int32_t> StripTops;
  V_->OnScrollWindow = [&](int32_t Dx, int32_t Dy) { Scrolls.push_back({Dx, Dy}); };
  V_->OnInvalidateRect = [&](const TViewerArea& Area) {
    StripTops.push_back(Area.Y);
    EXPECT_EQ(Area.H, 16 + 8);
  };
  EXPECT_TRUE(V_->KeyDown(TViewerKey::Down, 0));
  EXPECT_TRUE(V_->KeyDown(TViewerKey::Up, 0));
  EXPECT_EQ(Scrolls, (std::vector<std::pair<int32_t, int32_t>>{{0, -16}, {0, 16}}));
  EXPECT_EQ(StripTops, (std::vector<int32_t>{160 - 24, 0}));
}

}  // namespace

namespace {

// Damaged and arbitrary input: random bytes with many breaks, odd sizes, invalid UTF-8 and lone
// surrogates, in every mode, wrapped and not. Nothing may crash, hang or read out of bounds, and
// scrolling down and back must stay consistent.
TEST_F(ViewerTest, ArbitraryBytesInEveryModeStayWellBehaved) {
  uint32_t Seed = 12345;
  auto Next = [&Seed] {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 16) & 0x7FFF;
  };
  const char Alphabet[] = {'\r', '\n', '\t', '\0', ' ', 'a', '\xC3', '\xD8', '\xDC', '\xFF', '\xFE', '.'};
  for (int Round = 0; Round < 12; ++Round) {
    std::string Bytes;
    const int Size = static_cast<int>(Next() % 3000) + (Round % 2);
    for (int I = 0; I < Size; ++I) Bytes.push_back(Alphabet[Next() % sizeof(Alphabet)]);
    for (uint8_t Mode : {cmANSI, cmOEM, cmUnicode}) {
      for (bool Wrap : {false, true}) {
        SCOPED_TRACE(std::to_string(Round) + "/" + std::to_string(Mode) + "/" + std::to_string(Wrap));
        V_->SetWordWrap(Wrap);
        V_->SetShowTabs(Round % 3 == 0);
        V_->SetEOLMark(Round % 2 ? u'\u00B6' : 0);
        OpenBytes(Bytes, Mode);
        int Steps = 0;
        while (V_->ScrollLines(-1)) ASSERT_LT(++Steps, 100000);
        EXPECT_EQ(V_->GetPosition(), V_->GetLastTop());
        while (V_->ScrollLines(1)) ASSERT_GT(Steps--, 0);
        EXPECT_EQ(V_->GetPosition(), 0);
        EXPECT_EQ(Steps, 0);
        V_->SelectAll();
        std::u16string Wide;
        std::string Narrow;
        V_->BuildCopy(Wide, Narrow);
        V_->MouseDown(TMouseButton::Left, ssDouble, 30, 20);
        V_->PosFromPoint(1000, 1000, true, true);
        V_->Find(u"a\u00FF", false, true);
        V_->GotoPosition(Size / 2);
        V_->PrepareLines();
      }
    }
  }
}

}  // namespace
