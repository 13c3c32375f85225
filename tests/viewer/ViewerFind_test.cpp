// Find and copy.
#include <gtest/gtest.h>

#include "tests/viewer/ViewerFixture.h"

namespace {

// Records what a copy puts on the clipboard, and fails on request.
class FakeClipboard : public IViewerClipboard {
 public:
  bool Open() override {
    Calls += "open ";
    return CanOpen;
  }
  void Empty() override { Calls += "empty "; }
  void SetUnicodeText(const std::u16string& Text) override {
    Calls += "unicode ";
    if (FailOnSet) throw EWin32Error(1418, "Clipboard refused");
    Wide = Text;
  }
  void SetText(const std::string& Text, uint8_t Charset) override {
    Calls += "text ";
    Narrow = Text;
    NarrowCharset = Charset;
  }
  void Close() override { Calls += "close"; }

  bool CanOpen = true;
  bool FailOnSet = false;
  std::string Calls;
  std::u16string Wide;
  std::string Narrow;
  uint8_t NarrowCharset = 0;
};

struct Sel {
  int32_t Start, Len;
  bool operator==(const Sel&) const = default;
};

class ViewerFindTest : public ViewerTest {
 protected:
  Sel Selection() const { return {V_->GetSelStart(), V_->GetSelLength()}; }
};

TEST_F(ViewerFindTest, FindsForwardWithCaseAndWholeWords) {
  OpenBytes("Hello World hello cathedral cat\n");
  EXPECT_EQ(V_->Find(u"hello", false, false), 0);
  EXPECT_EQ(Selection(), (Sel{0, 5}));
  EXPECT_EQ(V_->Find(u"hello", false, false), 0);  // goes on after the visible selection
  EXPECT_EQ(Selection(), (Sel{12, 5}));
  EXPECT_EQ(V_->Find(u"hello", false, false), 1);
  EXPECT_EQ(V_->GetSelStart(), -1);
  EXPECT_EQ(V_->Find(u"hello", true, false), 0);
  EXPECT_EQ(Selection(), (Sel{12, 5}));
  V_->ClearSelection();
  EXPECT_EQ(V_->Find(u"cat", true, true), 0);  // not inside "cathedral"
  EXPECT_EQ(Selection(), (Sel{28, 3}));
  V_->ClearSelection();
  EXPECT_EQ(V_->Find(u"cathedra", true, true), 1);
  EXPECT_EQ(V_->GetSelStart(), -1);
  EXPECT_EQ(V_->Find(u"", true, false), 1);
}

TEST_F(ViewerFindTest, PatternsAcrossTheBlockBorderAndWrappedLines) {
  // Bytes 32766..32771: the pattern straddles the 32768-byte block border.
  OpenBytes(std::string(32766, '.') + "needle" + std::string(100, '.'));
  EXPECT_EQ(V_->Find(u"NEEDLE", false, false), 0);
  EXPECT_EQ(Selection(), (Sel{32766, 6}));
  EXPECT_EQ(V_->GetPosition(), V_->GetLastTop());  // far below the page: the view moved

  const std::u16string Wide = std::u16string(16382, u'.') + u"needle" + u"...";
  OpenBytes(Utf16LE(Wide), cmUnicode);
  EXPECT_EQ(V_->Find(u"needle", true, false), 0);
  EXPECT_EQ(Selection(), (Sel{32764, 12}));

  // A word wrapped onto the next display line is found whole.
  V_->SetWordWrap(true);
  OpenBytes(std::string(45, 'a') + " xx" + "splitword" + std::string(30, 'b'));
  ASSERT_GE(V_->GetVisibleLines().Count(), 0);
  EXPECT_EQ(V_->Find(u"SPLITWORD", false, false), 0);
  EXPECT_EQ(Selection(), (Sel{48, 9}));
  EXPECT_EQ(V_->GetPosition(), 0);
}

TEST_F(ViewerFindTest, PatternsLongerThanABlockAreSearchedToo) {
  // With 32768-byte blocks overlapping by the pattern less one byte, a longer pattern would never move
  // the search on.
  std::string Long(40000, 'q');
  Long[20000] = 'Q';
  OpenBytes(std::string(50000, '.') + Long + "...");
  std::u16string Pattern(Long.begin(), Long.end());
  EXPECT_EQ(V_->Find(Pattern, true, false), 0);
  EXPECT_EQ(Selection(), (Sel{50000, 40000}));
  Pattern[0] = u'x';
  EXPECT_EQ(V_->Find(Pattern, false, false), 1);
}

TEST_F(ViewerFindTest, Utf16MatchesStartOnWholeCharacters) {
  // The bytes 61 00 62 00 ("ab") also occur at byte 1, across the units U+6100, U+6200.
  OpenBytes(Utf16LE(std::u16string(u"\u6100\u6200") + u'\0' + u"x ab"), cmUnicode);
  EXPECT_EQ(V_->Find(u"ab", true, false), 0);
  EXPECT_EQ(Selection(), (Sel{10, 4}));
  V_->ClearSelection();
  EXPECT_EQ(V_->Find(u"AB", false, true), 0);
  EXPECT_EQ(Selection(), (Sel{10, 4}));
}

TEST_F(ViewerFindTest, OemTextIsSearchedInTheDisplayCharset) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  // "ПРИВЕТ мир привет" in IBM866.
  OpenBytes("\x8F\x90\x88\x82\x85\x92 \xAC\xA8\xE0 \xAF\xE0\xA8\xA2\xA5\xE2", cmOEM);
  EXPECT_EQ(V_->GetDisplayCharset(), qvnls::kCharsetWin1251);
  EXPECT_EQ(V_->Find(u"привет", false, false), 0);
  EXPECT_EQ(Selection(), (Sel{0, 6}));
  EXPECT_EQ(V_->Find(u"привет", false, false), 0);
  EXPECT_EQ(Selection(), (Sel{11, 6}));
  V_->ClearSelection();
  EXPECT_EQ(V_->Find(u"МИР", true, false), 1);
  EXPECT_EQ(V_->Find(u"мир", true, true), 0);
  EXPECT_EQ(Selection(), (Sel{7, 3}));
}

TEST_F(ViewerFindTest, UnconvertibleAndFoldedCharactersDoNotMatchStandIns) {
  // "??" in the text must not be found by a pattern the ANSI page cannot hold.
  OpenBytes(
      "what?? stra\xDF"
      "e \x9F");
  V_->SetSelection(0, 1);
  EXPECT_EQ(V_->Find(u"日本", true, false), 1);
  EXPECT_EQ(V_->GetSelStart(), -1);
  // y-diaeresis folds to Y-diaeresis, never to sharp s.
  EXPECT_EQ(V_->Find(u"STRA\u00FFE", false, false), 1);
  EXPECT_EQ(V_->Find(u"\u00FF", false, false), 0);
  EXPECT_EQ(Selection(), (Sel{14, 1}));
  // In the 16-bit mode any character is searched as it is.
  OpenBytes(Utf16LE(u"x 日本 ??"), cmUnicode);
  EXPECT_EQ(V_->Find(u"日本", true, false), 0);
  EXPECT_EQ(Selection(), (Sel{4, 4}));
}

TEST_F(ViewerFindTest, FindStartsAtTheTopWhenTheSelectionIsOffThePage) {
  OpenBytes(NumberedLines(300));
  EXPECT_EQ(V_->Find(u"L1", true, true), 0);
  EXPECT_EQ(Selection(), (Sel{0, 2}));
  V_->ScrollLines(-150);  // the selection is far above now: the search starts at the top, "L151"
  const int32_t Top = V_->GetPosition();
  EXPECT_EQ(FirstLine(), u"L151");
  EXPECT_EQ(V_->Find(u"L1", true, false), 0);
  EXPECT_EQ(V_->GetSelStart(), Top);
  EXPECT_EQ(V_->Find(u"L155", true, true), 0);
  EXPECT_EQ(V_->GetSelStart(), Top + 4 * 5);
  EXPECT_EQ(V_->GetPosition(), Top);  // the match lies on the page: the top stays
  EXPECT_EQ(V_->Find(u"L200", true, true), 0);
  EXPECT_EQ(FirstLine(), u"L200");  // below the page: its line becomes the top
}

TEST_F(ViewerFindTest, ReadErrorsPassOnAndRestoreTheView) {
  auto S = std::make_unique<PatternStream>(200000, "abc\n");
  PatternStream* Raw = S.get();
  V_->Open(std::move(S), u"");
  V_->ScrollLines(-4);
  const int32_t Top = V_->GetPosition();
  Raw->FailAfterReads = Raw->Reads;
  EXPECT_THROW(V_->Find(u"zzz", true, false), EVStream);
  EXPECT_EQ(V_->GetSourceStream()->Filter, nullptr);
  EXPECT_FALSE(V_->IsBusy());
  Raw->FailAfterReads = -1;
  EXPECT_EQ(V_->GetPosition(), Top);
}

TEST_F(ViewerFindTest, CopyGivesBothFormsWithCrLfLineEnds) {
  struct Case {
    std::string Bytes;
    std::u16string Wide;
    std::string Narrow;
  } Cases[] = {
      {"a\nb", u"a\r\nb", "a\r\nb"},
      {"a\r\nb", u"a\r\nb", "a\r\nb"},
      {std::string("a\0b", 3), u"a b", "a b"},
      {"ab\r", u"ab\r\n", "ab\r\n"},
      {"caf\xE9", u"café", "caf\xE9"},
      {std::string(32767, 'x') + "\r\ny", std::u16string(32767, u'x') + u"\r\ny",
       std::string(32767, 'x') + "\r\ny"},
      {std::string(32768, 'x') + "\ny", std::u16string(32768, u'x') + u"\r\ny",
       std::string(32768, 'x') + "\r\ny"},
  };
  for (size_t I = 0; I < std::size(Cases); ++I) {
    SCOPED_TRACE(I);
    OpenBytes(Cases[I].Bytes);
    V_->SelectAll();
    std::u16string Wide;
    std::string Narrow;
    V_->BuildCopy(Wide, Narrow);
    EXPECT_TRUE(Wide == Cases[I].Wide);
    EXPECT_TRUE(Narrow == Cases[I].Narrow);
  }
}

TEST_F(ViewerFindTest, CopyConvertsBetweenCharsets) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  // "Мир" and a box-drawing corner (no place in windows-1251) in IBM866.
  OpenBytes("\x8C\xA8\xE0\xC9", cmOEM);
  V_->SelectAll();
  std::u16string Wide;
  std::string Narrow;
  V_->BuildCopy(Wide, Narrow);
  EXPECT_EQ(Wide, u"Мир?");
  EXPECT_EQ(Narrow, "\xCC\xE8\xF0?");

  // UTF-16: whole characters only (odd-sized stream, odd selection start); the 8-bit form in the
  // display charset, "?" for what it cannot hold.
  OpenBytes(Utf16LE(u"Мир\n日") + "z", cmUnicode);
  V_->SelectAll();
  EXPECT_EQ(V_->GetSelLength(), 11);
  V_->BuildCopy(Wide, Narrow);
  EXPECT_EQ(Wide, u"Мир\r\n日");
  EXPECT_EQ(Narrow, "\xCC\xE8\xF0\r\n?");
  V_->SetSelection(3, 2);
  V_->BuildCopy(Wide, Narrow);
  EXPECT_EQ(Wide, u"ир");
}

TEST_F(ViewerFindTest, CopyToClipboardAndItsFailures) {
  FakeClipboard Clip;
  V_->Clipboard = &Clip;
  OpenBytes("one\ntwo");
  V_->CopyToClipboard(0);  // no selection: nothing
  EXPECT_EQ(Clip.Calls, "");

  V_->SelectAll();
  V_->CopyToClipboard(0);
  EXPECT_EQ(Clip.Calls, "open empty unicode text close");
  EXPECT_EQ(Clip.Wide, u"one\r\ntwo");
  EXPECT_EQ(Clip.Narrow, "one\r\ntwo");
  EXPECT_EQ(Clip.NarrowCharset, qvnls::kCharsetWin1252);
  EXPECT_FALSE(V_->IsBusy());

  Clip.Calls.clear();
  V_->PhysicalMemorySize = [] { return int64_t{20}; };  // 3 x 7 bytes do not fit
  try {
    V_->CopyToClipboard(0);
    ADD_FAILURE() << "no exception";
  } catch (const EFileViewer& E) {
    EXPECT_STREQ(E.what(), "The selection is too large");
  }
  EXPECT_EQ(Clip.Calls, "");

  // The estimate of a selection near 2 GB does not wrap around: refused before anything is read.
  V_->Open(std::make_unique<PatternStream>(INT32_MAX, "x\n"), u"big");
  V_->SelectAll();
  V_->PhysicalMemorySize = [] { return int64_t{4} << 30; };
  EXPECT_THROW(V_->CopyToClipboard(0), EFileViewer);
  EXPECT_EQ(Clip.Calls, "");

  OpenBytes("one\ntwo");
  V_->SelectAll();
  V_->PhysicalMemorySize = [] { return int64_t{21}; };
  Clip.CanOpen = false;
  try {
    V_->CopyToClipboard(0);
    ADD_FAILURE() << "no exception";
  } catch (const EFileViewer& E) {
    EXPECT_STREQ(E.what(), "Can't open clipboard");
  }

  Clip.CanOpen = true;
  Clip.FailOnSet = true;
  Clip.Calls.clear();
  EXPECT_THROW(V_->CopyToClipboard(0), EWin32Error);
  EXPECT_EQ(Clip.Calls, "open empty unicode close");
  EXPECT_FALSE(V_->IsBusy());
}

}  // namespace
