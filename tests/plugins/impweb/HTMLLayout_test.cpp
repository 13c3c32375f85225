// How pages are laid out as text: breaks, blanks, lists, tables, quotes, preformatted and skipped text,
// links. Each page is converted from an 8-bit source and from the same page in UTF-16, to 8-bit and to
// UTF-16 text, and all four must give the same text.
#include "plugins/impweb/html/HTMLLayout.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/plugins/impweb/HTMLTestUtil.h"

namespace {

class HTMLLayoutTest : public THTMLTest {};

std::string Repeat(const std::string& Text, int Times) {
  std::string Out;
  for (int I = 0; I < Times; ++I) Out += Text;
  return Out;
}

std::string CRLF(std::string Text) {
  std::string Out;
  for (char C : Text) {
    if (C == '\n') Out += '\r';
    Out += C;
  }
  return Out;
}

TEST_F(HTMLLayoutTest, GoldenLayouts) {
  struct Case {
    std::string Page;
    std::string Text;  // "\n" stands for CR LF
  };
  const std::string Alphabet = "<ol type=a>" + Repeat("<li>x", 27) + "</ol>";
  const Case Cases[] = {
      {"a<br><br><br>b", "a\n\nb\n"},                  // at most one empty line
      {"<p><p><p>Hello<p>World", "Hello\n\nWorld\n"},  // nothing before the first text
      {"Hello   \n  world  ", "Hello world\n"},
      {"bo<b>ld</b> word<i> x</i>", "bold word x\n"},  // glued across tags, one blank kept
      {"<h1>Title</h1>Body<div>Next</div>", "Title\n\nBody\nNext\n"},
      {"<table><tr><td>a</td><td>b</td></tr><tr><th>c<td> d </table>after", "a b\nc d\nafter\n"},
      {"<title>T</title><script>var a = 1 < 2;</script><style>p{}</style><xml>q</xml>body", "body\n"},
      {"<ul><li>one<li>two</ul>", "  - one\n  - two\n"},
      {"<ol><li>one<li value=7>seven<li>eight<li value=x>bad<li>again</ol>",
       "  1. one\n  7. seven\n  8. eight\n  1. bad\n  1. again\n"},
      {"<ol type=I><li>a<li>b<li>c<li>d</ol>", "  I. a\n  II. b\n  III. c\n  IV. d\n"},
      {"<ol type=i><li>a<li>b</ol>", "  i. a\n  ii. b\n"},
      {"<ol type=A><li>a<li>b</ol>", "  A. a\n  B. b\n"},
      {"<ol><li>a<ol type=a><li>b</ol><li>c</ol>", "  1. a\n    a. b\n  2. c\n"},
      {"<dl><dt>term<dd>definition</dl>", "term\n  definition\n"},
      {"<dl compact><dt>term<dd>definition</dl>", "term  definition\n"},
      {"say <q>hi</q>!", "say \"hi\"!\n"},
      {"<blockquote>quoted</blockquote>after", "  quoted\n\nafter\n"},
      {"<pre>\n  a  b\n c</pre>after", "  a  b\n c\n\nafter\n"},
      {"<pre>x &lt; y</pre>", "x < y\n"},
      {"see <img src=l.png alt=Logo> here", "see Logo here\n"},
      {"<form><input type=submit value=Send></form>", "Send\n"},
      {"<select><option>one<option>two</select>", "one\ntwo\n"},
      {"", ""},
      {"<html><body></body></html>", ""},  // no text: an empty text
  };
  for (const Case& C : Cases) {
    const std::string Expected = CRLF(C.Text);
    EXPECT_EQ(PageText(C.Page), Expected) << C.Page;
    EXPECT_EQ(ConvertPage(C.Page, true).Text, Expected) << "UTF-16 output: " << C.Page;
    if (!C.Page.empty()) {
      EXPECT_EQ(ConvertPage(Utf16LEBytes(C.Page, true), true).Text, Expected) << "UTF-16 page: " << C.Page;
    }
  }

  const std::string Letters = PageText(Alphabet);
  EXPECT_NE(Letters.find("  z. x\r\n  aa. x\r\n"), std::string::npos);
  EXPECT_EQ(Letters.rfind("\r\n"), Letters.size() - 2);
}

TEST_F(HTMLLayoutTest, NestedListsIndentAtMostThirtyTwoBlanks) {
  std::string Page;
  for (int I = 0; I < 20; ++I) Page += "<ul><li>L" + std::to_string(I);
  for (int I = 0; I < 20; ++I) Page += "</ul>";
  Page += "<ul><li>back</ul>";
  const std::string Text = PageText(Page);
  EXPECT_NE(Text.find("\r\n      - L2\r\n"), std::string::npos);
  EXPECT_NE(Text.find("\r\n" + std::string(32, ' ') + "- L15\r\n"), std::string::npos);
  EXPECT_NE(Text.find("\r\n" + std::string(32, ' ') + "- L19\r\n"), std::string::npos);
  // Every level closed: the next list starts at the first level again.
  EXPECT_NE(Text.find("\r\n\r\n  - back\r\n"), std::string::npos);
}

TEST_F(HTMLLayoutTest, ListLabels) {
  struct Case {
    int32_t Number;
    int32_t Style;
    const char* Label;
  };
  const Case Cases[] = {
      {1, kListLowerLetters, "a"},        {26, kListLowerLetters, "z"},    {27, kListLowerLetters, "aa"},
      {702, kListUpperLetters, "ZZ"},     {703, kListUpperLetters, "AAA"}, {4, kListUpperRoman, "IV"},
      {1999, kListLowerRoman, "mcmxcix"}, {0, kListUpperRoman, "0"},       {5001, kListUpperRoman, "5001"},
      {-3, kListLowerLetters, "-3"},      {12, kListDecimal, "12"}};
  for (const Case& C : Cases) EXPECT_EQ(HTMLListLabel(C.Number, C.Style), C.Label) << C.Number;
}

TEST_F(HTMLLayoutTest, LinksReportTheirTextPositions) {
  const std::string Page =
      "<p>Go <a href=\"http://a.example/\">there</a> now<br>\n<a href=b.html>x y</a>"
      "<a href=empty></a><a>no href</a>";
  for (bool Unicode : {false, true}) {
    TTestLinks Links;
    Links.Add(u"stale", 0, 1);  // a pass starts from an empty list
    const std::string Text = ConvertPage(Page, Unicode, &Links).Text;
    // Tags alone between "y" and "no" glue the words.
    ASSERT_EQ(Text, "Go there now\r\nx yno href\r\n");
    ASSERT_EQ(Links.List.size(), 2u) << Unicode;
    const int Width = Unicode ? 2 : 1;
    EXPECT_EQ(Links.List[0].URL, u"http://a.example/");
    EXPECT_EQ(Links.List[0].Start, 3 * Width);
    EXPECT_EQ(Links.List[0].Length, 5);
    EXPECT_EQ(Links.List[1].URL, u"b.html");
    EXPECT_EQ(Links.List[1].Start, 14 * Width);  // behind the pending line break
    EXPECT_EQ(Links.List[1].Length, 3);
  }
}

TEST_F(HTMLLayoutTest, ProgressIsAskedOncePer256Tokens) {
  const std::string Page = Repeat("<b>x</b>", 200);  // 600 tokens
  TCountingProgress Counting;
  EXPECT_NE(ConvertPage(Page, false, nullptr, &Counting).Charset, 0);
  EXPECT_EQ(Counting.Polls, 3);  // before tokens 1, 257 and 513

  TCountingProgress Stop(2);  // stops at the second poll
  EXPECT_EQ(ConvertPage(Page, true, nullptr, &Stop).Charset, 0);
  EXPECT_EQ(Stop.Polls, 2);
}

}  // namespace
