// Whether a page of converted text can be read: readable pages of many kinds and languages, and the
// garbage that fonts numbering their glyphs leave (control characters, printable codes in order of first
// use, random case, dingbats).
#include "server/Readability.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr const char* kProse =
    "Sales rose in the north while the south held steady through the winter months. This report covers "
    "the second quarter and the outlook for the rest of the year. Every department met its targets, and "
    "the board thanks all of the staff for their work.";

// UTF-8 of one code point.
std::string Utf8(char32_t C) {
  std::string S;
  if (C < 0x80) {
    S += static_cast<char>(C);
  } else if (C < 0x800) {
    S += static_cast<char>(0xC0 | (C >> 6));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    S += static_cast<char>(0xE0 | (C >> 12));
    S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  }
  return S;
}

// Text as a subset font shows it when its glyphs are numbered in order of first use from First on: each
// distinct character (blanks too, unless KeepBlanks) becomes the next code.
std::string GlyphNumbers(const std::string& Text, char32_t First, bool KeepBlanks) {
  std::map<char, char32_t> Codes;
  std::string Out;
  for (char C : Text) {
    if (KeepBlanks && C == ' ') {
      Out += ' ';
      continue;
    }
    auto It = Codes.find(C);
    if (It == Codes.end()) It = Codes.emplace(C, First + static_cast<char32_t>(Codes.size())).first;
    Out += Utf8(It->second);
  }
  return Out;
}

TEST(Readability, ReadablePages) {
  const struct {
    const char* What;
    std::string Text;
  } Cases[] = {
      {"blank", " \r\n\t\f  \r\n"},
      {"empty", ""},
      {"a page number", "     3\r\n"},
      {"English prose", kProse},
      {"German prose",
       "Gr\xC3\xB6\xC3\x9F"
       "ere \xC3\x84nderungen f\xC3\xBCr M\xC3\xBCller: Die Stra\xC3\x9F"
       "e wird im n\xC3\xA4"
       "chsten Jahr erneuert, und die \xC3\x9C"
       "bersicht zeigt alle Arbeiten der Stadt."},
      {"Czech prose",
       "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88 \xC3\xBA"
       "p\xC4\x9Bl \xC4\x8F\xC3\xA1"
       "belsk\xC3\xA9 \xC3\xB3"
       "dy. V\xC5\xA1"
       "echny d\xC4\x9Bti \xC5\xA1ly do \xC5\xA1koly a u\xC4\x8Dily se \xC4\x8D\xC3\xADst a psát."},
      {"Russian prose",
       "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80! \xD0\xAD\xD1\x82\xD0\xBE "
       "\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0 "
       "\xD1\x82\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82"
       "\xD0\xB0 \xD0\xBD\xD0\xB0 \xD1\x80\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xBE\xD0\xBC "
       "\xD1\x8F\xD0\xB7\xD1"
       "\x8B\xD0\xBA\xD0\xB5, \xD1\x81 \xD1\x80\xD0\xB0\xD0\xB7\xD0\xBD\xD1\x8B\xD0\xBC\xD0\xB8 "
       "\xD0\xB1\xD1\x83"
       "\xD0\xBA\xD0\xB2\xD0\xB0\xD0\xBC\xD0\xB8 \xD0\xB8 "
       "\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xB0\xD0\xBC\xD0"
       "\xB8."},
      {"Chinese", std::string(40, ' ') + "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE6\x9C\xAC\xE7\x9A\x84"
                                         "\xE4\xBE\x8B\xE5\xAD\x90\xEF\xBC\x8C\xE6\xB2\xA1\xE6\x9C\x89"
                                         "\xE7\xA9\xBA\xE6\xA0\xBC\xE3\x80\x82\xE4\xB8\xAD\xE6\x96\x87"
                                         "\xE6\x96\x87\xE6\x9C\xAC\xE7\x9A\x84\xE4\xBE\x8B\xE5\xAD\x90"
                                         "\xEF\xBC\x8C\xE6\xB2\xA1\xE6\x9C\x89\xE7\xA9\xBA\xE6\xA0\xBC"
                                         "\xE3\x80\x82\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE6\x9C\xAC"},
      {"a program listing",
       "void TStreamScanner::SetPattern(const std::u16string& Pattern) {\n  if (Pattern.size() > "
       "static_cast<size_t>(kMaxScanPatternLength))\n    throw EStreamScanner(\"Search pattern is too "
       "long\");\n"
       "  if (Pattern == Pattern_) return;\n  Pattern_ = Pattern;\n  Changed_ = true;\n}\n"
       "int main(int argc, char **argv) { int c, nl = 0, nw = 0; while ((c = getchar()) != EOF) ++nl; }\n"},
      {"names in camel case",
       "ForwardX11Timeout\nGSSAPIAuthentication\nGSSAPIDelegateCredentials\nHostbasedAcceptedAlgorithms\n"
       "KbdInteractiveAuthentication\nNoHostAuthenticationForLocalhost\nPubkeyAcceptedAlgorithms\n"},
      {"references of a manual page",
       "awk(1), cmp(1), diff(1), find(1), perl(1), sed(1), sort(1), xargs(1), read(2), pcre2(3), "
       "pcre2syntax(3), pcre2pattern(3), terminfo(5), glob(7), regex(7), --color[=WHEN], --block-size=SIZE"},
      {"a table of numbers",
       "2024-01-01   1,234.56   12%\n2024-02-01   2,345.67   15%\n2024-03-01   3,456.78   18%\n"
       "Total        7,036.01   45%\n"},
      {"a tick", "\xE2\x9C\x94 Done: the report was sent to the board on time and everyone agreed."},
  };
  for (const auto& C : Cases) EXPECT_TRUE(IsReadablePage(C.Text)) << C.What;
}

TEST(Readability, UnreadablePages) {
  const std::string Prose = kProse;
  const struct {
    const char* What;
    std::string Text;
  } Cases[] = {
      {"control characters", "\x01\x02\x03\x04\x05, \x06\x02\x01!\n\x07\x08."},
      {"glyph numbers from 1", GlyphNumbers(Prose, 1, false)},
      {"C1 controls (codes past 127)", GlyphNumbers(Prose, 0x80, true)},
      {"printable codes, blanks numbered too", GlyphNumbers(Prose, 0x21, false)},
      {"printable codes", GlyphNumbers(Prose, 0x21, true)},
      {"capitals and lower letters", GlyphNumbers(Prose, 0x41, true)},
      {"Latin-1 letters", GlyphNumbers(Prose, 0xC0, true)},
      {"Latin-1 symbols and letters", GlyphNumbers(Prose, 0xA0, true)},
      {"dingbats", GlyphNumbers(Prose, 0x2701, true)},
      {"private use", GlyphNumbers(Prose, 0xE000, true)},
      {"random case",
       "sAlEs RoSe iN tHe NoRtH wHiLe ThE sOuTh HeLd StEaDy ThRoUgH tHe WiNtEr MoNtHs. tHiS rEpOrT cOvErS "
       "tHe SeCoNd QuArTeR aNd ThE oUtLoOk FoR tHe ReSt Of ThE yEaR."},
      {"a short page of controls", "\x01\x02\x03\xC3\xA4\xE2\x82\xAC"},
  };
  for (const auto& C : Cases) EXPECT_FALSE(IsReadablePage(C.Text)) << C.What << ": " << C.Text;
}

TEST(Readability, PagesAreJudgedOneByOne) {
  // Codes past 127: small ones would hold form feeds.
  const std::string Garbage = GlyphNumbers(kProse, 0x80, false);
  TPageVerdict Verdict = JudgePages(std::string(kProse) + "\f" + Garbage + "\f\f" + kProse);
  EXPECT_EQ(Verdict.Unreadable, std::vector<int32_t>{2});
  EXPECT_TRUE(Verdict.AnyReadableText);
  Verdict = JudgePages(Garbage + "\f \r\n\f" + Garbage);
  EXPECT_EQ(Verdict.Unreadable, (std::vector<int32_t>{1, 3}));
  EXPECT_FALSE(Verdict.AnyReadableText);
  Verdict = JudgePages("");
  EXPECT_TRUE(Verdict.Unreadable.empty());
  EXPECT_FALSE(Verdict.AnyReadableText);
}

}  // namespace
