#include "viewer/TransTextStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "tests/viewer/ViewerTestUtil.h"

namespace {

class TransTextStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }

  std::vector<std::u16string> ReadAll(TTransTextStream& T) {
    std::vector<std::u16string> Lines;
    std::u16string Line;
    while (!T.Eof()) {
      T.ReadText(Line);
      Lines.push_back(Line);
    }
    return Lines;
  }
};

TEST_F(TransTextStreamTest, EveryModeGivesUtf16LinesWithThePositionsOfTheSource) {
  // "Привет" in windows-1251, in IBM866 and in UTF-16LE.
  const std::string Ansi = "\xCF\xF0\xE8\xE2\xE5\xF2\r\nb";
  const std::string Oem = "\x8F\xE0\xA8\xA2\xA5\xE2\r\nb";
  const std::string Wide = Utf16LE(u"Привет\r\nb");
  struct Case {
    uint8_t Mode;
    std::string Bytes;
    int32_t SecondLine;
  } Cases[] = {{cmANSI, Ansi, 8}, {cmOEM, Oem, 8}, {cmUnicode, Wide, 16}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(static_cast<int>(C.Mode));
    auto S = MemStream(C.Bytes);
    TTransTextStream T(S.get());
    T.SetCharsetMode(C.Mode);
    std::u16string Line;
    T.ReadText(Line);
    EXPECT_EQ(Line, u"Привет");
    EXPECT_EQ(T.GetPosition(), C.SecondLine);
    T.ReadText(Line);
    EXPECT_EQ(Line, u"b");
    EXPECT_TRUE(T.Eof());
  }
}

TEST_F(TransTextStreamTest, ModesSetTheirCharsets) {
  auto S = MemStream("x");
  TTransTextStream T(S.get());
  EXPECT_EQ(T.GetCharsetMode(), cmANSI);
  EXPECT_EQ(T.GetSourceCharset(), qvnls::kCharsetWin1251);
  T.SetCharsetMode(cmOEM);
  EXPECT_EQ(T.GetSourceCharset(), qvnls::kCharsetDos866);
  EXPECT_EQ(T.GetDisplayCharset(), qvnls::kCharsetWin1251);
  ASSERT_NE(T.TransMap(), nullptr);
  EXPECT_EQ(T.TransMap()[0x8F - 128], 0xCF);  // OEM "П" is windows-1251 "П"
  T.SetCharsetMode(cmUnicode);
  EXPECT_EQ(T.GetSourceCharset(), 0);
  EXPECT_EQ(T.GetEncoding(), TViewTextStream::kEncodingUtf16);
}

TEST_F(TransTextStreamTest, EndOfLineMarkOnlyAfterARealLineBreak) {
  // Lines: ended by CR LF, by LF, by a lone CR, and the last one without a break.
  auto S = MemStream("a\r\nb\nc\rd");
  TTransTextStream T(S.get());
  T.EOLMark = 0x00B6;
  EXPECT_EQ(ReadAll(T), (std::vector<std::u16string>{u"a\u00B6", u"b\u00B6", u"c\u00B6", u"d"}));

  // A line cut at the length limit carries no mark; its last piece, ended by a break, does.
  auto Long = MemStream(std::string(kViewerLineLength + 5, 'x') + "\n");
  TTransTextStream L(Long.get());
  L.EOLMark = 0x00B6;
  std::u16string Line;
  L.ReadText(Line);
  EXPECT_EQ(Line.size(), static_cast<size_t>(kViewerLineLength));
  EXPECT_FALSE(L.GetMarkAppended());
  L.ReadText(Line);
  EXPECT_EQ(Line, u"xxxxx\u00B6");
  EXPECT_TRUE(L.GetMarkAppended());
}

TEST_F(TransTextStreamTest, ControlCharactersBecomeGlyphsExceptTabAndNul) {
  auto S = MemStream(Utf16LE(std::u16string(u"\a\t\x1F") + u'\0' + u"z"));
  TTransTextStream T(S.get());
  T.SetCharsetMode(cmUnicode);
  T.ControlGlyphs = true;
  std::u16string Line;
  T.ReadText(Line);
  EXPECT_EQ(Line, std::u16string(u"\u25CF\t\u25BC") + u'\0' + u"z");
}

TEST_F(TransTextStreamTest, TabStops) {
  auto S = MemStream("");
  TTransTextStream T(S.get());
  // Tab size 8: a tab at column 1 takes 8 cells, at column 8 one, at column 9 eight.
  EXPECT_EQ(T.TabStop(1), 8);
  EXPECT_EQ(T.TabStop(8), 8);
  EXPECT_EQ(T.TabStop(9), 16);
}

TEST_F(TransTextStreamTest, ExpandTabsMovesAttributesAndRanges) {
  struct Case {
    const char16_t* Text;
    bool Show;
    const char16_t* Expanded;
  } Cases[] = {
      {u"\tx", false, u"        x"},
      {u"1234567\tx", false, u"1234567 x"},
      {u"12345678\tx", false, u"12345678        x"},
      {u"abc\t", true, u"abc\u00BB    "},
      {u"a b", true, u"a\u00B7b"},
  };
  auto S = MemStream("");
  TTransTextStream T(S.get());
  for (size_t I = 0; I < std::size(Cases); ++I) {
    const Case& C = Cases[I];
    SCOPED_TRACE(I);
    T.ShowTabs = C.Show;
    std::u16string Text = C.Text;
    std::string Attrs;
    int32_t Start = -1;
    int32_t Len = 0;
    T.ExpandTabs(Text, Attrs, Len, Start, 0);
    EXPECT_EQ(Text, C.Expanded);
  }

  // The tab's attribute covers its cells; a range over the tab grows, a range after it moves.
  T.ShowTabs = false;
  std::u16string Text = u"ab\tcd";
  std::string Attrs = std::string("\0\0\x64", 3);  // shorter than the text: padded
  int32_t Start = 100 + 1;
  int32_t Len = 2;  // "b" and the tab
  T.ExpandTabs(Text, Attrs, Len, Start, 100);
  EXPECT_EQ(Text, u"ab      cd");
  EXPECT_EQ(Attrs, std::string("\0\0\x64\x64\x64\x64\x64\x64\0\0", 10));
  EXPECT_EQ(Start, 101);
  EXPECT_EQ(Len, 2 + 5);

  Text = u"ab\tcd";
  Attrs.clear();
  Start = 100 + 3;  // "c"
  Len = 1;
  T.ExpandTabs(Text, Attrs, Len, Start, 100);
  EXPECT_EQ(Start, 108);
  EXPECT_EQ(Len, 1);
  EXPECT_TRUE(Attrs.empty());

  // In the 16-bit mode the shift counts bytes.
  T.SetCharsetMode(cmUnicode);
  Text = u"\tc";
  Start = 2;  // "c"
  Len = 2;
  T.ExpandTabs(Text, Attrs, Len, Start, 0);
  EXPECT_EQ(Start, 2 + 7 * 2);
}

TEST_F(TransTextStreamTest, UpperBufFoldsTextAndPatternAlike) {
  auto S = MemStream("");
  TTransTextStream T(S.get());
  std::string Cyr =
      "\xE0\xFF"
      "a{";  // "а", "я", "a", "{"
  T.UpperBuf(Cyr.data(), static_cast<int32_t>(Cyr.size()));
  EXPECT_EQ(Cyr,
            "\xC0\xDF"
            "A{");

  // Western page: y-diaeresis becomes Y-diaeresis (159), never sharp s (223); division sign stays.
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  TTransTextStream W(S.get());
  std::string West = "\xFF\xDF\xF7\xE9";
  W.UpperBuf(West.data(), static_cast<int32_t>(West.size()));
  EXPECT_EQ(West, "\x9F\xDF\xF7\xC9");

  W.SetCharsetMode(cmUnicode);
  std::string Wide = Utf16LE(u"яz");
  W.UpperBuf(Wide.data(), static_cast<int32_t>(Wide.size()));
  EXPECT_EQ(Wide, Utf16LE(u"ЯZ"));
}

TEST_F(TransTextStreamTest, FindInSourceTranslatesAndFoldsTheOemText) {
  // "... привет ..." in IBM866, searched as upper-case windows-1251 bytes.
  const std::string Text = std::string(40000, '.') + "\xAF\xE0\xA8\xA2\xA5\xE2" + "...";
  auto S = MemStream(Text);
  TTransTextStream T(S.get());
  T.SetCharsetMode(cmOEM);
  const std::string Pattern = "\xCF\xD0\xC8\xC2\xC5\xD2";  // "ПРИВЕТ" in windows-1251
  S->Seek(0);
  EXPECT_FALSE(T.FindInSource(Pattern.data(), 6, true, true));  // one block: 32768 bytes
  EXPECT_EQ(S->Filter, nullptr);
  S->Seek(32768 - 5);
  EXPECT_TRUE(T.FindInSource(Pattern.data(), 6, true, true));
  EXPECT_EQ(S->GetPosition(), 40000);
  EXPECT_EQ(S->Filter, nullptr);
  S->Seek(32768 - 5);
  EXPECT_FALSE(T.FindInSource(Pattern.data(), 6, false, true));  // case kept: lower case stays
}

TEST_F(TransTextStreamTest, DamagedInputReadsWithoutHarm) {
  // Invalid UTF-8 shown in an 8-bit mode is just bytes; an odd-sized UTF-16 stream drops its last byte.
  auto Utf8 = MemStream("\xC3\x28\xE2\x82\n\xF0\x9F");
  TTransTextStream A(Utf8.get());
  EXPECT_EQ(ReadAll(A).size(), 2u);

  auto Odd = MemStream(Utf16LE(u"ab\ncd") + "x");
  TTransTextStream U(Odd.get());
  U.SetCharsetMode(cmUnicode);
  EXPECT_EQ(ReadAll(U), (std::vector<std::u16string>{u"ab", u"cd"}));

  // A lone surrogate and a big-endian text in the 16-bit mode come out as units, unchanged.
  const std::string Be("\0a\0b", 4);
  auto Big = MemStream(Be + Utf16LE(std::u16string(1, char16_t(0xD800))));
  TTransTextStream B(Big.get());
  B.SetCharsetMode(cmUnicode);
  std::u16string Line;
  B.ReadText(Line);
  EXPECT_EQ(Line, std::u16string(u"\u6100\u6200\xD800"));
}

}  // namespace
