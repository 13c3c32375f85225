// Character sets of the HTML engine: byte-order marks, UTF-8 and UTF-16 by their bytes, META charsets,
// the Cyrillic guess, and the choice between the two 8-bit code pages; real pages and small built ones.
#include "plugins/impweb/html/HTMLPasses.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "search/NLSProcsDyn.h"
#include "tests/plugins/impweb/HTMLTestUtil.h"

namespace {

class HTMLPassesTest : public THTMLTest {};

// Runs of white space as one blank, so that a phrase may span a line break.
std::string Squeeze(const std::string& Text) {
  return std::regex_replace(Text, std::regex("[ \r\n\t]+"), " ");
}

struct TFixturePhrases {
  const char* File;
  std::vector<std::string> Phrases;  // UTF-8
};

const std::vector<TFixturePhrases>& FixturePhrases() {
  static const std::vector<TFixturePhrases> Table = {
      {"_chromium_KOI8-R_with_no_encoding_declared.html",
       {"МОСКВА, 9 янв - РИА Новости", "Газпрома", "Россия готова возобновить"}},
      {"_chromium_windows-1251_with_no_encoding_declared.html",
       {"МОСКВА, 9 янв - РИА Новости", "Газпрома", "Россия готова возобновить"}},
      {"_mozilla_bug421271_text.html", {"£825", "£2 bet", "Rushden & Diamonds"}},
      {"_mozilla_bug638318_text.html", {"NOT UTF-16!"}},
      {"plane1-utf-16le.html", {"Etruscan", "Brigham Young", "𐌓𐌀𐌔𐌍𐌀"}},
      {"plane1-utf-16be.html", {"Etruscan", "Brigham Young", "𐌓𐌀𐌔𐌍𐌀"}},
      {"big-preamble.html",
       {"Аренда квартир", "Континент-Недвижимость", "Снять квартиру", "Внимание! Мы не берем предоплаты"}},
      {"testHTML_charset_utf16le.html", {"This is a sample text"}},
      {"testHTML_utf8.html", {"Content with UTF-8 chars", "åäö"}},
      {"bom_utf16le.html", {"UTF-16LE Encoded Korean Page with BOM", "가각갂갃간갅"}},
      {"bom_utf16be.html", {"UTF-16BE Encoded Korean Page with BOM", "가각갂갃간갅"}},
      {"bom_utf8.html",
       {"There is a UTF8 BOM at the top (before the XML decl). If not read correctly, will look like a "
        "non-joining space."}},
      {"iso-8859-1.html",
       {"iso8859-1 table", "pound sterling", "£", "small sharp s, German (sz ligature)", "ß", "é", "ÿ"}},
  };
  return Table;
}

TEST_F(HTMLPassesTest, RealPagesInUnicodeOutput) {
  for (const TFixturePhrases& Fixture : FixturePhrases()) {
    const THTMLResult Result = ConvertPage(ReadFixture(Fixture.File), true);
    EXPECT_EQ(Result.Charset, qvnls::kCharsetUtf16LE) << Fixture.File;
    const std::string Text = Squeeze(Result.Text);
    for (const std::string& Phrase : Fixture.Phrases) {
      EXPECT_NE(Text.find(Phrase), std::string::npos) << Fixture.File << ": " << Phrase << "\n" << Text;
    }
    // No byte-order mark and no title reach the text.
    EXPECT_EQ(Text.find("\xEF\xBB\xBF"), std::string::npos) << Fixture.File;
  }
  EXPECT_EQ(Squeeze(ConvertPage(ReadFixture("testHTML_utf8.html"), true).Text).find("Tilte"),
            std::string::npos);
}

TEST_F(HTMLPassesTest, RealPagesInEightBitOutput) {
  struct Case {
    const char* File;
    uint8_t Charset;  // of the text
    const char* Phrase;
  };
  const Case Cases[] = {
      {"_chromium_KOI8-R_with_no_encoding_declared.html", qvnls::kCharsetWin1251,
       "Россия готова возобновить"},
      {"_chromium_windows-1251_with_no_encoding_declared.html", qvnls::kCharsetWin1251, "Газпрома"},
      {"big-preamble.html", qvnls::kCharsetWin1251, "Снять квартиру"},
      {"_mozilla_bug421271_text.html", qvnls::kCharsetWin1252, "£825"},
      {"iso-8859-1.html", qvnls::kCharsetWin1252, "small sharp s, German (sz ligature)"},
      {"testHTML_utf8.html", qvnls::kCharsetWin1252, "åäö"},
      {"bom_utf16be.html", qvnls::kCharsetWin1251, "UTF-16BE Encoded Korean Page with BOM"},
  };
  for (const Case& C : Cases) {
    const THTMLResult Result = ConvertPage(ReadFixture(C.File), false);
    EXPECT_EQ(Result.Charset, C.Charset) << C.File;
    const std::string Text = Squeeze(Utf16ToUtf8(CharsetToWide(Result.Text, Result.Charset)));
    EXPECT_NE(Text.find(C.Phrase), std::string::npos) << C.File << "\n" << Text;
  }
}

TEST_F(HTMLPassesTest, DetectionAnswers) {
  struct Case {
    std::string Page;
    uint8_t Charset;
  };
  const Case Cases[] = {
      {"<p>plain ASCII</p>", qvnls::kCharsetWin1252},
      {"<p>caf\xE9</p>", 0},  // 8-bit without META: undecided
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">caf\xE9",
       qvnls::kCharsetWin1252},
      {"<META HTTP-EQUIV=content-type CONTENT=\"text/html; charset=koi8-r\">", qvnls::kCharsetKoi8R},
      {"<meta http-equiv=refresh content=\"0; charset=koi8-r\">caf\xE9", 0},
      {"\xEF\xBB\xBF<p>x</p>", qvnls::kCharsetUtf8},
      {"<p>caf\xC3\xA9</p>", qvnls::kCharsetUtf8},
      {Utf16LEBytes("<p>x</p>", true), qvnls::kCharsetUtf16LE},
      {Utf16LEBytes("<p>text without a mark</p>", false), qvnls::kCharsetUtf16LE},
      {"", qvnls::kCharsetWin1252},
  };
  for (const Case& C : Cases) {
    TVReadOnlyMemStream Source(C.Page.data(), static_cast<int32_t>(C.Page.size()));
    EXPECT_EQ(DetectHTMLCharset(Source, nullptr), C.Charset) << C.Page;
    EXPECT_EQ(Source.GetPosition(), 0) << C.Page;
  }
}

TEST_F(HTMLPassesTest, BigEndianPagesAreNotByteSwapped) {
  // A UTF-16 page in big-endian order, with and without a byte-order mark: the detection finds UTF-16
  // and the conversion must still read the bytes in the page's order.
  std::string Page = Utf16LEBytes("<html><p>Big end \xD0\x96</p></html>", false);
  for (size_t I = 0; I + 1 < Page.size(); I += 2) std::swap(Page[I], Page[I + 1]);
  for (const std::string& Bytes : {Page, std::string("\xFE\xFF", 2) + Page}) {
    EXPECT_EQ(ConvertPage(Bytes, true).Text, "Big end Ж\r\n");
    const THTMLResult Eight = ConvertPage(Bytes, false);
    EXPECT_EQ(Eight.Charset, qvnls::kCharsetWin1251);
    EXPECT_EQ(Eight.Text, "Big end \xC6\r\n");
  }
}

TEST_F(HTMLPassesTest, EightBitOutputPicksThePageThatLosesLess) {
  // UTF-8 text: the first 8-bit target loses characters, the other code page holds them all.
  struct Case {
    std::string Page;
    bool Cyrillic;
    uint8_t Charset;
    std::string Text;
  };
  const Case Cases[] = {
      {"<p>\xD0\x9C\xD0\xB8\xD1\x80 <a href=u>link</a></p>", false, qvnls::kCharsetWin1251,
       "\xCC\xE8\xF0 link\r\n"},
      {"<p>caf\xC3\xA9 <a href=u>link</a></p>", true, qvnls::kCharsetWin1252, "caf\xE9 link\r\n"},
      // Both lose a character: the first stays, lost characters become "?".
      {"<p>\xD0\x9C caf\xC3\xA9 <a href=u>link</a></p>", true, qvnls::kCharsetWin1251, "\xCC caf? link\r\n"},
  };
  for (const Case& C : Cases) {
    TVReadOnlyMemStream Source(C.Page.data(), static_cast<int32_t>(C.Page.size()));
    TVMemStream Dest;
    TTestLinks Links;
    EXPECT_EQ(ConvertHTMLCharset(Source, Dest, &Links, false, C.Cyrillic, qvnls::kCharsetUtf8, nullptr),
              C.Charset);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Dest.GetMemory()), Dest.GetSize()), C.Text);
    ASSERT_EQ(Links.List.size(), 1u);
    EXPECT_EQ(Links.List[0].Start, static_cast<int32_t>(C.Text.find("link")));
  }
}

TEST_F(HTMLPassesTest, MetaRestartKeepsOneCopyOfTheText) {
  // The META tag names the charset after a link: the pass starts again, and the text and the link
  // before the tag appear once.
  const std::string Page =
      "<a href=x>before</a> <meta http-equiv=content-type content='text/html; charset=koi8-r'>\xF0\xD2\xC9";
  TVReadOnlyMemStream Source(Page.data(), static_cast<int32_t>(Page.size()));
  TVMemStream Dest;
  TTestLinks Links;
  EXPECT_EQ(RunHTMLPass(Source, Dest, &Links, '?', true, qvnls::kCharsetUtf16LE, 0, nullptr),
            qvnls::kCharsetKoi8R);
  EXPECT_EQ(
      Utf16ToUtf8(RawToWideStr(std::string(reinterpret_cast<const char*>(Dest.GetMemory()), Dest.GetSize()))),
      "before При\r\n");
  ASSERT_EQ(Links.List.size(), 1u);
  EXPECT_EQ(Links.List[0].Start, 0);
  EXPECT_EQ(Links.List[0].Length, 6);
}

TEST_F(HTMLPassesTest, PassesLeaveTheCallersFilterAlone) {
  std::string Page = std::string("\xFE\xFF", 2) + Utf16LEBytes("<p>x</p>", false);
  for (size_t I = 2; I + 1 < Page.size(); I += 2) std::swap(Page[I], Page[I + 1]);
  TVReadOnlyMemStream Source(Page.data(), static_cast<int32_t>(Page.size()));
  TUpperCaseFilter Callers;
  Source.Filter = &Callers;
  TVMemStream Dest;
  EXPECT_NE(ConvertHTML(Source, Dest, nullptr, true, true, nullptr), 0);
  EXPECT_EQ(Source.Filter, &Callers);
}

TEST_F(HTMLPassesTest, EmptyPagesGiveEmptyTextsNotCancels) {
  for (const std::string& Page : {std::string(), std::string("<html><body>  </body></html>"),
                                  std::string("\xEF\xBB\xBF"), std::string("\xFF\xFE", 2)}) {
    for (bool Unicode : {false, true}) {
      const THTMLResult Result = ConvertPage(Page, Unicode);
      EXPECT_NE(Result.Charset, 0) << Page;
      EXPECT_EQ(Result.Text, "") << Page;
    }
  }
}

}  // namespace
