// The token reader, attribute extraction and entity decoding of the HTML engine.
#include "plugins/impweb/html/HTML2Txt.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/plugins/impweb/HTMLTestUtil.h"

namespace {

class HTML2TxtTest : public THTMLTest {};

// The line a decoding wrote: UTF-8 for UTF-16 output, the 8-bit bytes (windows-1252) otherwise.
std::string Decode(const std::string& Text, bool Unicode) {
  THTMLPassState S;
  S.SourceCharset = qvnls::kCharsetWin1252;
  S.TargetCharset = Unicode ? qvnls::kCharsetUtf16LE : qvnls::kCharsetWin1252;
  S.UnicodeOutput = Unicode;
  DecodeHTMLEntities(Text, S);
  std::string Bytes(reinterpret_cast<const char*>(S.Line.GetMemory()),
                    static_cast<size_t>(S.Line.GetPosition()));
  return Unicode ? Utf16ToUtf8(RawToWideStr(Bytes)) : Bytes;
}

// The tokens of a page: "T:text" for a text token (an ALT or submit text "A:text"), "S<code>" and
// "E<code>" for start and end tags, with ":token text" when a tag carries one.
std::vector<std::string> Tokens(const std::string& Page, bool Wide = false, bool Memo = true) {
  const std::string Bytes = Wide ? Utf16LEBytes(Page, false) : Page;
  TVReadOnlyMemStream Source(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  THTMLPassState S;
  S.Source = std::make_unique<TVCharStreamOnStream>(&Source, false);
  S.WideSource = Wide;
  S.MetaCharset = true;
  std::vector<std::string> Tokens;
  while (NextHTMLToken(S)) {
    std::string Text = S.TokenText;
    // A wide page keeps raw UTF-16 bytes, except the narrowed LI and OL values and the DL mark.
    const bool Narrow =
        S.TokenKind != kTokenText &&
        (S.TagCode == kTagListItem || S.TagCode == kTagOrderedList || S.TagCode == kTagDefinitionList);
    if (Wide && !Narrow) {
      Text = Utf16ToUtf8(RawToWideStr(Text));
    }
    if (S.TokenKind == kTokenText) {
      Tokens.push_back((S.AttributeText ? "A:" : "T:") + Text);
    } else {
      std::string Tag = (S.TokenKind == kTokenStartTag ? "S" : "E") + std::to_string(S.TagCode);
      if (!Text.empty()) Tag += ":" + Text;
      Tokens.push_back(Tag);
    }
    if (!Memo) S.Comments = TCommentMemo();
  }
  return Tokens;
}

using TokenList = std::vector<std::string>;

TEST_F(HTML2TxtTest, EntityReferencesResolveOrStayLiteral) {
  struct Case {
    const char* Text;
    const char* EightBit;  // windows-1252 bytes
    const char* Unicode;   // UTF-8 of the UTF-16 output
  };
  const Case Cases[] = {
      {"&nbsp;", " ", " "},                // no-break space is a plain blank
      {"&euro; x", "&euro x", "&euro x"},  // not in the table: literal, ";" dropped
      {"&ndash;", "&ndash", "&ndash"},
      {"&AMP;", "&", "&"},  // retried in lower case
      {"&lt;p&gt;", "<p>", "<p>"},
      {"&Eacute;&eacute;", "\xC9\xE9", "Éé"},  // case-sensitive first
      {"&#233;", "\xE9", "é"},
      {"&#x41;&#X42;", "AB", "AB"},
      {"&#x41 b", "&#x41 b", "&#x41 b"},  // hex runs to ";" or the end
      {"&#65x", "Ax", "Ax"},              // decimal runs over digits
      {"a & b", "a & b", "a & b"},
      {"&x", "&x", "&x"},  // fewer than two characters behind "&"
      {"&copy", "\xA9", "©"},
      {"&alpha;", "?", "α"},                                 // not in windows-1252
      {"&#128512;", "?", "\xF0\x9F\x98\x80"},                // beyond U+FFFF: a surrogate pair
      {"&#99999999999;", "&#99999999999", "&#99999999999"},  // too large: literal, no overflow
      {"&#x110000;", "&#x110000", "&#x110000"},
      {"&#0;", "&#0", "&#0"},
      {"&#xD800;", "&#xD800", "&#xD800"},  // a lone surrogate is no character
      {"&#150;", "?", "–"},                // 127-159 name the page's code page
      {"x&#;y", "x&#y", "x&#y"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Decode(C.Text, false), C.EightBit) << C.Text;
    EXPECT_EQ(Decode(C.Text, true), C.Unicode) << C.Text;
  }
}

TEST_F(HTML2TxtTest, WideEntitiesKeepCharactersAbove255) {
  THTMLPassState S;
  S.SourceCharset = qvnls::kCharsetUtf16LE;
  S.TargetCharset = qvnls::kCharsetUtf16LE;
  S.UnicodeOutput = true;
  DecodeHTMLEntitiesWide(u"\u4E2D&eacute;&#x4E2D\u00E9;", S);
  std::string Bytes(reinterpret_cast<const char*>(S.Line.GetMemory()),
                    static_cast<size_t>(S.Line.GetPosition()));
  EXPECT_EQ(RawToWideStr(Bytes), u"\u4E2D\u00E9&#x4E2D\u00E9");
}

TEST_F(HTML2TxtTest, ReferencesTo127Through159NameWindowsPunctuation) {
  // In every source charset, Unicode ones included, &#150; is the en dash of the Windows page.
  for (uint8_t Charset : {qvnls::kCharsetWin1252, qvnls::kCharsetIso8859_1, qvnls::kCharsetWin1251,
                          qvnls::kCharsetUtf8, qvnls::kCharsetUtf16LE}) {
    THTMLPassState S;
    S.SourceCharset = Charset;
    S.TargetCharset = qvnls::kCharsetUtf16LE;
    S.UnicodeOutput = true;
    OutputHTMLChar(150, S);
    std::string Bytes(reinterpret_cast<const char*>(S.Line.GetMemory()),
                      static_cast<size_t>(S.Line.GetPosition()));
    EXPECT_EQ(RawToWideStr(Bytes), u"\u2013") << int(Charset);
  }
}

TEST_F(HTML2TxtTest, DictionariesHoldEveryName) {
  EXPECT_EQ(LookupHTMLTag("blockquote"), kTagBlockQuote);
  EXPECT_EQ(LookupHTMLTag("Option"), kTagLineItem);
  EXPECT_EQ(LookupHTMLTag("XML"), kTagSkipped);
  EXPECT_EQ(LookupHTMLTag("SPAN"), kTagUnknown);
  const std::pair<const char*, int32_t> Entities[] = {
      {"iexcl", 161},   {"yuml", 255},     {"fnof", 402},  {"Omega", 937}, {"sigmaf", 962}, {"piv", 982},
      {"hellip", 8230}, {"alefsym", 8501}, {"hArr", 8660}, {"sdot", 8901}, {"rang", 9002},  {"diams", 9830},
      {"quot", 34},     {"gt", 62},        {"nbsp", 32},   {"OElig", -1},  {"euro", -1},    {"Amp", -1}};
  for (const auto& [name, code] : Entities) EXPECT_EQ(LookupHTMLEntityCode(name), code) << name;
}

TEST_F(HTML2TxtTest, TokenReaderOnMalformedPages) {
  struct Case {
    const char* Page;
    TokenList Expected;
  };
  const Case Cases[] = {
      {"a < b", {"T:a ", "T:< b"}},
      {"a<<b>c", {"T:a", "T:<", "S-1", "T:c"}},
      {"x<", {"T:x"}},                     // a "<" as the last byte ends the tokens
      {"<p", {}},                          // a tag cut by the end of the page
      {"<a href=\"cut>text", {}},          // a quoted value cut by the end
      {"<BLOCKQUOTE>q", {"S9", "T:q"}},    // ten characters still fit
      {"<ABCDEFGHIJK>x", {"S-1", "T:x"}},  // eleven do not
      {"<BLOCKQUOTES x=1>x", {"S-1", "T:x"}},
      {"</P>", {"E0"}},
      {"a<br/>b", {"T:a", "S1", "T:b"}},
      {"<?xml version='1.0'?>x", {"S-1", "T:x"}},
      {"<img src=a.png alt=Logo>", {"A:Logo"}},
      {"<img alt=\"\">", {"S15"}},
      {"<a href=\"x>y\">link</a>", {"S2:x>y", "T:link", "E2"}},
      {"<a title=x\">\" href=u>", {"S2", "T:\" href=u>"}},  // a quote not behind "=" opens nothing
      {"<a xhref=one href=two>", {"S2:one"}},               // a plain substring search
      {"<a href = 'q v' >", {"S2:q v"}},
      {"<a href>", {"S2"}},
      {"<ol type=I><li value=7>", {"S4:I", "S5:7"}},
      {"<dl compact>", {"S6: "}},
      {"<input type=submit value=\"Go on\">", {"A:Go on"}},
      {"<input type=text value=x>", {"S17"}},
      {"<!-- c -->t", {"S-1", "T:t"}},
      {"<!---->t", {"S-1", "T:t"}},
      {"<!-- a \"-->\" b -->t", {"S-1", "T:t"}},  // a quoted "-->" does not end a comment
      {"<!-- never closed <b>x", {"T: never closed ", "S-1", "T:x"}},
      {"<!--", {}},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Tokens(C.Page), C.Expected) << C.Page;
    EXPECT_EQ(Tokens(C.Page, true), C.Expected) << "UTF-16: " << C.Page;
  }
}

TEST_F(HTML2TxtTest, MetaCharsetEndsTheTagWithItsCharset) {
  const std::string Page = "<meta http-equiv=Content-Type content='text/html; charset=windows-1251'>";
  TVReadOnlyMemStream Source(Page.data(), static_cast<int32_t>(Page.size()));
  THTMLPassState S;
  S.Source = std::make_unique<TVCharStreamOnStream>(&Source, false);
  S.MetaCharset = true;
  ASSERT_TRUE(NextHTMLToken(S));
  EXPECT_EQ(S.TagCode, kTagMetaCharset);
  EXPECT_EQ(S.SourceCharset, qvnls::kCharsetWin1251);

  // Without the META-charset flag, or in a UTF-16 page, it is an ordinary META tag.
  EXPECT_EQ(Tokens(Page, true), TokenList{"S16"});
  Source.Seek(0);
  THTMLPassState Ordinary;
  Ordinary.Source = std::make_unique<TVCharStreamOnStream>(&Source, false);
  ASSERT_TRUE(NextHTMLToken(Ordinary));
  EXPECT_EQ(Ordinary.TagCode, kTagMeta);
}

TEST_F(HTML2TxtTest, AttributeOfAPlainText) {
  std::string Value;
  EXPECT_TRUE(GetHTMLAttribute("text/html; charset=UTF-8", "CHARSET", Value));
  EXPECT_EQ(Value, "UTF-8");
  EXPECT_TRUE(GetHTMLAttribute("text/html; Charset = koi8-r\"", "CHARSET", Value));
  EXPECT_EQ(Value, "koi8-r");  // the value stops at a double quote
  EXPECT_FALSE(GetHTMLAttribute("text/html; charset=\"koi8-r\"", "CHARSET", Value));
  EXPECT_FALSE(GetHTMLAttribute("text/html", "CHARSET", Value));
  EXPECT_FALSE(GetHTMLAttribute("charset x=1", "CHARSET", Value));
}

TEST_F(HTML2TxtTest, UnclosedCommentsAreAnsweredFromTheFirstSearch) {
  // Later comments after one that never closed: the memo of the first search answers them exactly as
  // a fresh search would.
  const char* Pages[] = {
      "<!-- \" -->x<!-- -->y",       "<!-- \" -->x<!-- \" -->y",    "<!-- \"x<!-- -->y",
      "<!-- \"x<!--\" -->y<!-- \"z", "<!--\"<!--\"<!--\"-->a<!--b",
  };
  for (const char* Page : Pages) EXPECT_EQ(Tokens(Page), Tokens(Page, false, false)) << Page;

  std::mt19937 Random(20261210);
  const char Alphabet[] = "<!-->\"a ";
  for (int Round = 0; Round < 400; ++Round) {
    std::string Page;
    const int Length = 1 + static_cast<int>(Random() % 60);
    for (int I = 0; I < Length; ++I) Page += Alphabet[Random() % (sizeof Alphabet - 1)];
    ASSERT_EQ(Tokens(Page), Tokens(Page, false, false)) << Page;
  }
}

TEST_F(HTML2TxtTest, ManyUnclosedCommentsReadInLinearTime) {
  // Each "<!--" would otherwise search to the end of the page again.
  std::string Page;
  for (int I = 0; I < 40000; ++I) Page += "<!--\"x";
  const TokenList PageTokens = Tokens(Page);
  ASSERT_FALSE(PageTokens.empty());
  EXPECT_EQ(PageTokens.front(), "T:\"x");
}

}  // namespace
