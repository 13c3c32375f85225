// Selection, hit tests, marking, bringing positions into view, keys and the mouse.
#include <gtest/gtest.h>

#include "search/StrmScan.h"
#include "tests/viewer/ViewerFixture.h"

namespace {

TEST_F(ViewerTest, PosFromPointMapsPixelsToPositions) {
  // "a" 0..8, "W" 8..24, "c" 24..32, the tab from column 4 to 8: 32..72, "d" 72..80.
  OpenBytes("aWc\td\nsecond\n");
  struct Case {
    int32_t X, Y;
    bool Nearest;
    int32_t Pos;
  } Cases[] = {
      {0, 0, false, 0},  {7, 0, false, 0},  {7, 0, true, 1},   {3, 0, true, 0},     {15, 0, true, 1},
      {16, 0, true, 2},  {40, 0, false, 3}, {60, 0, true, 4},  {75, 0, false, 4},   {200, 0, false, 5},
      {200, 0, true, 5}, {-5, 0, false, 0}, {9, 17, false, 7}, {5, 150, false, 13}, {5, -1, false, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(C.X) + "," + std::to_string(C.Y) + "," + std::to_string(C.Nearest));
    EXPECT_EQ(V_->PosFromPoint(C.X, C.Y, C.Nearest, false), C.Pos);
  }

  // A gutter and a horizontal offset shift the text; the 16-bit mode counts 2 bytes a character.
  V_->SetGutterWidth(20);
  OpenBytes(Utf16LE(u"aWc\td\n") + Utf16LE(std::u16string(200, u'x')), cmUnicode);
  EXPECT_EQ(V_->PosFromPoint(20, 0, false, false), 0);
  EXPECT_EQ(V_->PosFromPoint(28, 0, false, false), 2);
  V_->SetHorzPosition(16);
  EXPECT_EQ(V_->GetHorzPosition(), 16);
  EXPECT_EQ(V_->PosFromPoint(20, 0, false, false), 2);
  EXPECT_EQ(V_->PosFromPoint(21, 16, true, false), 12 + 2 * 2);

  // A surrogate pair is one character: the right half of it gives the position after both halves.
  V_->SetGutterWidth(0);
  OpenBytes(Utf16LE(u"a😀b"), cmUnicode);
  EXPECT_EQ(V_->PosFromPoint(10, 0, true, false), 2);
  EXPECT_EQ(V_->PosFromPoint(14, 0, true, false), 6);
  EXPECT_EQ(V_->PosFromPoint(14, 0, false, false), 2);
}

TEST_F(ViewerTest, WordUnderThePoint) {
  OpenBytes("  foo bar_1, baz\n-- ,,\n");
  struct Case {
    int32_t Char;
    int32_t Line;
    int32_t Pos, Len;
  } Cases[] = {
      {3, 0, 2, 3},    // inside "foo"
      {5, 0, 2, 3},    // the blank after "foo": the word before it
      {0, 0, 2, 3},    // leading blanks: the first word
      {11, 0, 6, 5},   // the comma after "bar_1" ("_" is a word character)
      {13, 0, 13, 3},  // "baz"
      {40, 0, 13, 3},  // right of the text: the last word
      {2, 1, 19, 0},   // no word on the line
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Char);
    int32_t Len = -1;
    EXPECT_EQ(V_->PosFromPoint(C.Char * 8 + 1, C.Line * 16 + 1, true, true, &Len), C.Pos);
    EXPECT_EQ(Len, C.Len);
  }

  // A double click selects the word; on a line without words nothing changes.
  V_->MouseDown(TMouseButton::Left, ssDouble, 8 * 7, 1);
  EXPECT_EQ(V_->GetSelStart(), 6);
  EXPECT_EQ(V_->GetSelLength(), 5);
  EXPECT_FALSE(V_->IsSelecting());
  V_->MouseDown(TMouseButton::Left, ssDouble, 8, 17);
  EXPECT_EQ(V_->GetSelStart(), 6);
}

TEST_F(ViewerTest, MouseDragSelectsAndShiftClickExtends) {
  OpenBytes(NumberedLines(100));
  int BeginSelects = 0;
  V_->OnBeginSelect = [&](TFileViewer64*) { ++BeginSelects; };
  V_->MouseDown(TMouseButton::Left, 0, 1, 1);  // before "L1"
  EXPECT_TRUE(V_->IsSelecting());
  EXPECT_EQ(V_->GetSelStart(), -1);
  V_->MouseMove(13, 17);  // right half of "2" in "L2": after it
  V_->MouseMove(13, 33);
  V_->MouseUp(TMouseButton::Left);
  EXPECT_FALSE(V_->IsSelecting());
  EXPECT_EQ(V_->GetSelStart(), 0);
  EXPECT_EQ(V_->GetSelLength(), 8);  // "L1\nL2\nL3"
  EXPECT_EQ(BeginSelects, 1);

  // Keys are swallowed while a drag runs.
  V_->MouseDown(TMouseButton::Left, ssShift, 1, 17);  // Shift with a selection: from its start
  EXPECT_EQ(V_->GetSelStart(), 0);
  EXPECT_EQ(V_->GetSelLength(), 3);
  EXPECT_TRUE(V_->KeyDown(TViewerKey::Other, 0));
  V_->ContextMenu();
  EXPECT_FALSE(V_->IsSelecting());
  EXPECT_EQ(BeginSelects, 2);

  // Shift without a selection starts a new one at the click.
  V_->ClearSelection();
  V_->MouseDown(TMouseButton::Left, ssShift, 1, 17);
  EXPECT_EQ(V_->GetSelStart(), -1);
  V_->MouseMove(1, 33);
  EXPECT_EQ(V_->GetSelStart(), 3);
  EXPECT_EQ(V_->GetSelLength(), 3);
  V_->MouseUp(TMouseButton::Left);

  // No mouse selection: presses only reach the host.
  V_->NoMouseSelection = true;
  V_->MouseDown(TMouseButton::Left, 0, 1, 1);
  EXPECT_FALSE(V_->IsSelecting());
  EXPECT_EQ(V_->GetSelStart(), 3);
}

TEST_F(ViewerTest, HoldingTheMouseBelowTheViewScrollsAndExtends) {
  OpenBytes(NumberedLines(100));
  V_->MouseDown(TMouseButton::Left, 0, 1, 1);
  V_->MouseMove(1, 159 + 41);  // 41 pixels below the last row
  EXPECT_EQ(V_->GetDragDelay(), 8 + 42);
  int32_t Delay = 0;
  for (int I = 0; I < 5; ++I) Delay = V_->DragTick(1, 200);
  EXPECT_EQ(Delay, 50);
  EXPECT_EQ(FirstLine(), u"L6");
  // The selection runs to the point under the mouse: past the last visible line.
  EXPECT_EQ(V_->GetSelStart(), 0);
  EXPECT_EQ(V_->GetSelLength(), V_->GetVisibleLines().PosAfter);
  V_->DragTick(1, 400);
  EXPECT_EQ(V_->GetDragDelay(), TFileViewer64::kDragDelayMin);
  V_->DragTick(1, 80);  // back inside: no scrolling, the longest delay
  EXPECT_EQ(V_->GetDragDelay(), TFileViewer64::kDragDelayMax);
  V_->MouseUp(TMouseButton::Left);
  EXPECT_EQ(V_->DragTick(1, 200), 0);
}

TEST_F(ViewerTest, KeysScrollTheView) {
  // The last line comes in pieces of at most 1024 characters: the last page starts at "L95". The
  // character width is that of the widest capital, 16 for "W".
  OpenBytes(NumberedLines(100) + std::string(3000, 'x'));
  ASSERT_EQ(V_->GetCharWidth(), 16);
  struct Step {
    TViewerKey Key;
    uint32_t Shift;
    const char16_t* Top;
    int32_t Horz;
  } Steps[] = {
      {TViewerKey::Down, 0, u"L2", 0},      {TViewerKey::PageDown, 0, u"L11", 0},
      {TViewerKey::Up, 0, u"L10", 0},       {TViewerKey::PageUp, 0, u"L1", 0},
      {TViewerKey::Right, 0, u"L1", 8},     {TViewerKey::Right, ssCtrl, u"L1", 208},
      {TViewerKey::Left, 0, u"L1", 200},    {TViewerKey::End, 0, u"L95", 200},
      {TViewerKey::Left, ssAlt, u"L95", 0}, {TViewerKey::Right, ssAlt, u"L95", 1025 * 16 - 400},
      {TViewerKey::Home, ssCtrl, u"L1", 0},
  };
  for (const Step& S : Steps) {
    SCOPED_TRACE(static_cast<int>(S.Key));
    EXPECT_TRUE(V_->KeyDown(S.Key, S.Shift));
    EXPECT_EQ(FirstLine(), S.Top);
    EXPECT_EQ(V_->GetHorzPosition(), S.Horz);
  }
  EXPECT_FALSE(V_->KeyDown(TViewerKey::Other, 0));
  // The wheel: three lines a notch, or pages when the system says so.
  V_->MouseWheel(-1, 3);
  EXPECT_EQ(FirstLine(), u"L4");
  V_->MouseWheel(-1, -1);
  EXPECT_EQ(FirstLine(), u"L13");
}

TEST_F(ViewerTest, SpansAreMarkedOnTheVisibleLinesAndFoundUnderTheMouse) {
  OpenBytes(NumberedLines(100));
  V_->ScrollLines(-9);  // top "L10" at byte 27
  TInt32Vector Starts;
  TInt32Vector Lens;
  // A span that starts above the first line and runs into it, one inside, one across two lines.
  for (auto [S, L] : {std::pair{25, 4}, {32, 2}, {36, 6}, {2000, 3}}) {
    Starts.Add(S);
    Lens.Add(L);
  }
  V_->OnMarkSpans = [&](TFileViewer64* Sender) { Sender->MarkSpans(Starts, Lens, vaHit); };
  V_->PrepareLines();
  const TVisibleLines& L = V_->GetVisibleLines();
  ASSERT_EQ(L[0].Start, 27);
  EXPECT_EQ(L.GetAttributes(0), std::string("\x64\x64\0", 3));    // bytes 27, 28 of the first span
  EXPECT_EQ(L.GetAttributes(1), std::string("\0\x64\x64", 3));    // "L11" (31..33): bytes 32, 33
  EXPECT_EQ(L.GetAttributes(2), std::string("\0\x64\x64", 3));    // "L12" (35..37): bytes 36, 37 ...
  EXPECT_EQ(L.GetAttributes(3), std::string("\x64\x64\x64", 3));  // ... and 39..41 of "L13"
  EXPECT_TRUE(L.GetAttributes(4).empty());

  EXPECT_EQ(V_->SpanAtCursor(9, 17, Starts, Lens), 1);
  EXPECT_EQ(V_->SpanAtCursor(1, 17, Starts, Lens), -1);
  EXPECT_EQ(V_->SpanAtCursor(1, 1, Starts, Lens), 0);
  EXPECT_EQ(V_->SpanAtCursor(100, 1, Starts, Lens), -1);  // past the line's end

  // Replacing codes, and a single span in the 16-bit mode (2 bytes a character).
  V_->GetVisibleLines().ReplaceAttribute(vaHit, vaCurrentHit);
  EXPECT_EQ(L.GetAttributes(1), std::string("\0\x65\x65", 3));
  V_->OnMarkSpans = [](TFileViewer64* Sender) { Sender->MarkSpan(2, 2, vaURL); };
  OpenBytes(Utf16LE(u"abcd"), cmUnicode);
  V_->PrepareLines();
  EXPECT_EQ(V_->GetVisibleLines().GetAttributes(0), std::string("\0\x03\x03\0", 4));
}

TEST_F(ViewerTest, ScannerHitsAreMarkedAtTheirDisplayColumns) {
  const std::string Text = "x\tneedle and\r\n\tNEEDLE\tneedles\r\n";
  OpenBytes(Text);
  TStreamScanner Scanner;
  Scanner.SetPattern(u"needle");
  auto S = MemStream(Text);
  Scanner.Stream = S.get();
  TInt32Vector Positions;
  TInt32Vector Lengths;
  TScanEncoding Found = seAnsi;
  ASSERT_EQ(Scanner.FindAll(kScanAnsi, Found, Positions, Lengths), srFound);
  ASSERT_EQ(Positions.GetCount(), 3);
  V_->OnMarkSpans = [&](TFileViewer64* Sender) { Sender->MarkSpans(Positions, Lengths, vaHit); };
  V_->PrepareLines();
  // After tab expansion the hits sit at columns 9 (line 1), 9 and 17 (line 2), 1-based.
  for (auto [Line, Columns] : {std::pair{0, std::vector<int>{9}}, {1, std::vector<int>{9, 17}}}) {
    std::u16string T = V_->GetVisibleLines()[Line].Text;
    std::string A = V_->GetVisibleLines().GetAttributes(Line);
    int32_t Start = -1;
    int32_t Len = 0;
    V_->LineSource().ExpandTabs(T, A, Len, Start, V_->GetVisibleLines()[Line].Start);
    for (int C : Columns) {
      EXPECT_EQ(static_cast<uint8_t>(A[static_cast<size_t>(C - 1)]), vaHit);
      EXPECT_EQ(std::u16string(T.substr(static_cast<size_t>(C - 1), 6)) == u"needle" ||
                    T.substr(static_cast<size_t>(C - 1), 6) == u"NEEDLE",
                true);
      EXPECT_EQ(static_cast<uint8_t>(A[static_cast<size_t>(C - 2)]), 0);
    }
  }
}

TEST_F(ViewerTest, GotoPositionBringsLinesAndColumnsIntoView) {
  std::string Text = NumberedLines(200);
  const int32_t Far = static_cast<int32_t>(Text.size()) + 300;
  Text += std::string(400, 'y') + "\n" + NumberedLines(30);
  OpenBytes(Text);
  EXPECT_TRUE(V_->IsPositionVisible(0, 1));
  EXPECT_FALSE(V_->IsPositionVisible(Far, 1));
  V_->GotoPosition(Far);
  EXPECT_EQ(V_->GetPosition(), Far - 300);
  EXPECT_EQ(V_->GetHorzPosition(), 300 * 8 - 3 * V_->GetCharWidth());
  EXPECT_TRUE(V_->IsPositionVisible(Far, 1));
  // A visible position keeps the top.
  V_->GotoPosition(Far + 50);
  EXPECT_EQ(V_->GetPosition(), Far - 300);
  // Near the end the top stops at the last top.
  V_->GotoPosition(static_cast<int32_t>(Text.size()) - 1);
  EXPECT_EQ(V_->GetPosition(), V_->GetLastTop());
}

TEST_F(ViewerTest, SelectionIsClampedToTheStream) {
  OpenBytes("0123456789");
  struct Case {
    int32_t Start, Len, ExpStart, ExpLen;
  } Cases[] = {{2, 3, 2, 3},  {-4, 3, 0, 3}, {8, 50, 8, 2},
               {10, 1, 8, 2}, {3, -1, 8, 2}, {0, INT32_MAX, 0, 10}};
  for (const Case& C : Cases) {
    V_->SetSelection(C.Start, C.Len);
    EXPECT_EQ(V_->GetSelStart(), C.ExpStart);
    EXPECT_EQ(V_->GetSelLength(), C.ExpLen);
  }
  V_->SelectAll();
  EXPECT_EQ(V_->GetSelLength(), 10);
  EXPECT_TRUE(V_->ClearSelection());
  EXPECT_FALSE(V_->ClearSelection());
}

}  // namespace
