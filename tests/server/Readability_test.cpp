// Whether a page of converted text can be read: readable pages of many kinds and languages, whatever
// their words look like, and the garbage that fonts numbering their glyphs leave (control characters,
// printable codes in order of first use, dingbats).
#include "server/Readability.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

// Verdicts by name in failure messages.
void PrintTo(TPageReadability Verdict, std::ostream* Out) {
  *Out << (Verdict == TPageReadability::Readable   ? "Readable"
           : Verdict == TPageReadability::Doubtful ? "Doubtful"
                                                   : "Unreadable");
}

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

// A table that lists a character set in code order, one character a line.
std::string CharacterTable() {
  std::string Table;
  for (char C = 'A'; C <= 'Z'; ++C)
    Table += "0x" + std::to_string(41 + (C - 'A')) + "  " + C + "  LATIN CAPITAL LETTER " + C + "\n";
  return Table;
}

// Lines that count: Prefix and the numbers From to To, in Width digits, one a line ("Line 001" ...).
std::string CountedLines(const std::string& Prefix, int From, int To, int Width) {
  std::string Out;
  char Number[16];
  for (int N = From; N <= To; ++N) {
    std::snprintf(Number, sizeof Number, "%0*d", Width, N);
    Out += Prefix + Number + "\n";
  }
  return Out;
}

// A grid of cells named by a column letter and a row number ("A10 B10 ... J10", then row 11, ...).
std::string CellGrid(char LastColumn, int FirstRow, int LastRow) {
  std::string Out;
  for (int Row = FirstRow; Row <= LastRow; ++Row) {
    for (char Column = 'A'; Column <= LastColumn; ++Column) Out += Column + std::to_string(Row) + " ";
    Out += "\n";
  }
  return Out;
}

// Readable text of many kinds is kept, whatever its words look like; garbage that fonts numbering their
// glyphs leave is not; text with some signs of garbage is kept and named.
TEST(Readability, PagesOfEveryKind) {
  using enum TPageReadability;
  const std::string Prose = kProse;
  const struct {
    const char* What;
    std::string Text;
    TPageReadability Verdict;
  } Cases[] = {
      {"blank", " \r\n\t\f  \r\n", Readable},
      {"empty", "", Readable},
      {"a page number", "     3\r\n", Readable},
      {"English prose", kProse, Readable},
      {"German prose",
       "Gr\xC3\xB6\xC3\x9F"
       "ere \xC3\x84nderungen f\xC3\xBCr M\xC3\xBCller: Die Stra\xC3\x9F"
       "e wird im n\xC3\xA4"
       "chsten Jahr erneuert, und die \xC3\x9C"
       "bersicht zeigt alle Arbeiten der Stadt.",
       Readable},
      {"Czech prose",
       "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88 \xC3\xBA"
       "p\xC4\x9Bl \xC4\x8F\xC3\xA1"
       "belsk\xC3\xA9 \xC3\xB3"
       "dy. V\xC5\xA1"
       "echny d\xC4\x9Bti \xC5\xA1ly do \xC5\xA1koly a u\xC4\x8Dily se \xC4\x8D\xC3\xADst a psát.",
       Readable},
      {"Czech words without vowels, in a font without accents",
       "Strc prst skrz krk. Smrt zhltl vlk. Krtek zmrzl v brlohu. Prst zvlhl, drn trhl, vlk vrcl. Zmrzl, "
       "scvrkl, zvlhl, strc prst skrz krk.",
       Readable},
      {"Czech words without vowels",
       "Str\xC4\x8D prst skrz krk. Vlk zmrzl, smrt zhltla trs zrn, "
       "\xC4\x8Dtvr\xC5\xA5 hrst zrn skrz drn.",
       Readable},
      {"Welsh prose",
       "Mae hen wlad fy nhadau yn annwyl i mi, Gwlad beirdd a chantorion, enwogion o fri; Ei gwrol "
       "ryfelwyr, gwladgarwyr tra mad, Dros ryddid collasant eu gwaed. Cwm, crwth, cwrw, bwlch, llwybr, "
       "ffordd, mynydd, yng Nghymru.",
       Readable},
      {"Polish prose",
       "Chrz\xC4\x85szcz brzmi w trzcinie w Szczebrzeszynie, a Szczebrzeszyn z tego s\xC5\x82ynie. "
       "Pchn\xC4\x85\xC4\x87 w t\xC4\x99 \xC5\x82\xC3\xB3"
       "d\xC5\xBA je\xC5\xBC"
       "a lub o\xC5\x9Bm skrzy\xC5\x84 fig.",
       Readable},
      {"Vietnamese prose",
       "Ti\xE1\xBA\xBFng Vi\xE1\xBB\x87t l\xC3\xA0 ng\xC3\xB4n ng\xE1\xBB\xAF ch\xC3\xADnh th\xE1\xBB\xA9"
       "c c\xE1\xBB\xA7"
       "a Vi\xE1\xBB\x87t Nam. Ch\xE1\xBB\xAF Qu\xE1\xBB\x91"
       "c ng\xE1\xBB\xAF d\xC3\xB9ng b\xE1\xBA\xA3ng ch\xE1\xBB\xAF c\xC3\xA1i Latinh v\xE1\xBB\x9Bi "
       "nhi\xE1\xBB\x81u d\xE1\xBA\xA5u thanh \xC4\x91i\xE1\xBB\x87u v\xC3\xA0 d\xE1\xBA\xA5u "
       "ph\xE1\xBB\xA5.",
       Readable},
      {"Greek prose",
       "\xCE\x97 \xCE\xB3\xCE\xBB\xCF\x8E\xCF\x83\xCF\x83\xCE\xB1 \xCE\xBC\xCE\xBF\xCF\x85 "
       "\xCE\xAD\xCE\xB4\xCF\x89\xCF\x83\xCE\xB1\xCE\xBD \xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9"
       "\xCE\xBA\xCE\xAE, \xCF\x84\xCE\xBF \xCF\x83\xCF\x80\xCE\xAF\xCF\x84\xCE\xB9 "
       "\xCF\x86\xCF\x84\xCF\x89\xCF\x87\xCE\xB9\xCE\xBA\xCF\x8C \xCF\x83\xCF\x84\xCE\xB9\xCF\x82 "
       "\xCE\xB1\xCE\xBC\xCE\xBC\xCE\xBF\xCF\x85\xCE\xB4\xCE\xB9\xCE\xAD\xCF\x82 \xCF\x84\xCE\xBF\xCF\x85 "
       "\xCE\x9F\xCE\xBC\xCE\xAE\xCF\x81\xCE\xBF\xCF\x85.",
       Readable},
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
       "\xB8.",
       Readable},
      {"Chinese",
       std::string(40, ' ') + "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE6\x9C\xAC\xE7\x9A\x84"
                              "\xE4\xBE\x8B\xE5\xAD\x90\xEF\xBC\x8C\xE6\xB2\xA1\xE6\x9C\x89"
                              "\xE7\xA9\xBA\xE6\xA0\xBC\xE3\x80\x82\xE4\xB8\xAD\xE6\x96\x87"
                              "\xE6\x96\x87\xE6\x9C\xAC\xE7\x9A\x84\xE4\xBE\x8B\xE5\xAD\x90"
                              "\xEF\xBC\x8C\xE6\xB2\xA1\xE6\x9C\x89\xE7\xA9\xBA\xE6\xA0\xBC"
                              "\xE3\x80\x82\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE6\x9C\xAC",
       Readable},
      {"Japanese",
       "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0\xE3\x81\xA7\xE3\x81\x99"
       "\xE3\x80\x82\xE3\x81\xB2\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA\xE3\x80\x81\xE3\x82\xAB\xE3\x82\xBF"
       "\xE3\x82\xAB\xE3\x83\x8A\xE3\x80\x81\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8C\xE6\xB7\xB7\xE3\x81\x96"
       "\xE3\x81\xA3\xE3\x81\xA6\xE3\x81\x84\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82\xEF\xBC\xA1\xEF\xBC\xA2"
       "\xEF\xBC\xA3\xE3\x81\xA8\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93\xE3\x82\x82\xE5\x85\xA8\xE8\xA7\x92"
       "\xE3\x81\xA7\xE6\x9B\xB8\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82",
       Readable},
      {"a program listing",
       "void TStreamScanner::SetPattern(const std::u16string& Pattern) {\n  if (Pattern.size() > "
       "static_cast<size_t>(kMaxScanPatternLength))\n    throw EStreamScanner(\"Search pattern is too "
       "long\");\n"
       "  if (Pattern == Pattern_) return;\n  Pattern_ = Pattern;\n  Changed_ = true;\n}\n"
       "int main(int argc, char **argv) { int c, nl = 0, nw = 0; while ((c = getchar()) != EOF) ++nl; }\n",
       Readable},
      {"a shell and Perl listing",
       "for f in *.ps; do gs -q -sDEVICE=txtwrite -o \"${f%.ps}.txt\" \"$f\" || echo \"$f\" >&2; done\n"
       "s/^\\s*([A-Za-z_]\\w*)\\s*=\\s*(.*?)\\s*$/$1 => $2/; $h{$1} //= []; push @{$h{$1}}, $2;\n"
       "[[ -n ${x:-} ]] && x=$((x+1)); printf '%s\\n' \"${a[@]}\" | sort -u | tr -d '\\r';\n",
       Readable},
      {"names in camel case",
       "ForwardX11Timeout\nGSSAPIAuthentication\nGSSAPIDelegateCredentials\nHostbasedAcceptedAlgorithms\n"
       "KbdInteractiveAuthentication\nNoHostAuthenticationForLocalhost\nPubkeyAcceptedAlgorithms\n",
       Readable},
      {"references of a manual page",
       "awk(1), cmp(1), diff(1), find(1), perl(1), sed(1), sort(1), xargs(1), read(2), pcre2(3), "
       "pcre2syntax(3), pcre2pattern(3), terminfo(5), glob(7), regex(7), --color[=WHEN], --block-size=SIZE",
       Readable},
      {"a table of numbers",
       "2024-01-01   1,234.56   12%\n2024-02-01   2,345.67   15%\n2024-03-01   3,456.78   18%\n"
       "Total        7,036.01   45%\n",
       Readable},
      {"a tick", "\xE2\x9C\x94 Done: the report was sent to the board on time and everyone agreed.",
       Readable},
      {"URLs",
       "https://www.example.org/docs/index.html\nhttp://ftp.debian.org/debian/pool/main/g/ghostscript/\n"
       "https://github.com/acme/widget/issues/1234?utm_source=feed&utm_medium=rss#comment-998877\n"
       "https://de.wikipedia.org/wiki/Stra%C3%9Fe\nmailto:info@example.com\n"
       "ftp://ftp.gnu.org/gnu/grep/grep-3.11.tar.xz\nhttps://maps.example.com/?q=52.5200,13.4050&z=14\n",
       Readable},
      {"a key in base64",
       "-----BEGIN PGP PUBLIC KEY BLOCK-----\n\n"
       "pU3KGCUwux1tEyze1iN7LtkeP3IfyxlxF0SU1kk8nVw0YL4xIB5p/tqg7ui5mX9c\n"
       "fCmZ/a/lkyU81lSvTfrXFCegrrP+6SMvivIhH57kkcWxC+y1Vjv8Hm+TQn7LyP4p\n"
       "VeXNjkbcjtS3wnZNKlpNdncG+F2GkAJK1r2jQBvpyMvMyTX2zR9hImrhUziuGjQA\n"
       "TTO6DSRqwEyBsbryPjv57vX3nytJNK+H9VILablLDZguhbtVtnKocmN6zXRm/LYO\n"
       "Do/xhGOw5LK6KXA0dPBkrGj3APWwKz3GZvRb3qosyu3NK1FXQQ5N7krys09DCgc0\n"
       "R95jbA6AbJV7poTWQx+16tdCTQnhXQJMWEjyPR+m9zYdf2GNFTLnDiDipmaN5/R+\n"
       "hGflRtU+yOKhJXvb\n=jNOE\n-----END PGP PUBLIC KEY BLOCK-----\n",
       Readable},
      {"a hex dump",
       "00000000: 7f45 4c46 0201 0100 0000 0000 0000 0000  .ELF............\n"
       "00000010: 0300 3e00 0100 0000 d061 0000 0000 0000  ..>......a......\n"
       "00000020: 4000 0000 0000 0000 7047 0200 0000 0000  @.......pG......\n"
       "00000030: 0000 0000 4000 3800 0d00 4000 1f00 1e00  ....@.8...@.....\n"
       "00000040: 0600 0000 0400 0000 4000 0000 0000 0000  ........@.......\n",
       Readable},
      {"part numbers",
       "Part no.         Description            Qty\nXKCD-9921-BZ     M3x12 DIN 912 A2       100\n"
       "TPS7A4701RGWR    LDO 1A VQFN-20         5\nSN74HC595N       8-bit shift reg.       20\n"
       "GRM188R71H104KA  100nF X7R 0603         250\nRC0603FR-0710KL  10k 1% 0603            250\n",
       Readable},
      {"an alphabet before the text",
       "ABCDEFGHIJKLMNOPQRSTUVWXYZ\nabcdefghijklmnopqrstuvwxyz\n0123456789 !\"#$%&'()*+,-./\n"
       "The quick brown fox jumps over the lazy dog.",
       Readable},
      {"a character set in code order", CharacterTable(), Readable},
      {"words in random case",
       "sAlEs RoSe iN tHe NoRtH wHiLe ThE sOuTh HeLd StEaDy ThRoUgH tHe WiNtEr MoNtHs. tHiS rEpOrT cOvErS "
       "tHe SeCoNd QuArTeR aNd ThE oUtLoOk FoR tHe ReSt Of ThE yEaR.",
       Readable},
      {"Braille",
       "\xE2\xA0\x93\xE2\xA0\x91\xE2\xA0\x87\xE2\xA0\x87\xE2\xA0\x95 \xE2\xA0\xBA\xE2\xA0\x95"
       "\xE2\xA0\x97\xE2\xA0\x87\xE2\xA0\x99 \xE2\xA0\x9E\xE2\xA0\x93\xE2\xA0\x91 \xE2\xA0\x84"
       "\xE2\xA0\x89\xE2\xA0\x95\xE2\xA0\x8D\xE2\xA0\x8F\xE2\xA0\xA5\xE2\xA0\x9E\xE2\xA0\x91"
       "\xE2\xA0\x97 \xE2\xA0\x81\xE2\xA0\x9D\xE2\xA0\x99 \xE2\xA0\x9E\xE2\xA0\x93\xE2\xA0\x91 "
       "\xE2\xA0\x8F\xE2\xA0\x81\xE2\xA0\x9B\xE2\xA0\x91 \xE2\xA0\x81\xE2\xA0\x97\xE2\xA0\x91 "
       "\xE2\xA0\x9E\xE2\xA0\x91\xE2\xA0\xAD\xE2\xA0\x9E",
       Readable},
      {"a drawing of boxes",
       "\xE2\x94\x8C\xE2\x94\x80\xE2\x94\xAC\xE2\x94\x80\xE2\x94\x90\n\xE2\x94\x82 \xE2\x94\x82 "
       "\xE2\x94\x82\n\xE2\x94\x9C\xE2\x94\x80\xE2\x94\xBC\xE2\x94\x80\xE2\x94\xA4\n\xE2\x94\x82 "
       "\xE2\x94\x82 \xE2\x94\x82\n\xE2\x94\x94\xE2\x94\x80\xE2\x94\xB4\xE2\x94\x80\xE2\x94\x98"
       "\n\xE2\x94\x8C\xE2\x94\xAC\xE2\x94\x90\xE2\x94\x94\xE2\x94\xB4\xE2\x94\x98\xE2\x94\x9C"
       "\xE2\x94\xBC\xE2\x94\xA4\xE2\x95\x94\xE2\x95\x97\xE2\x95\x9A\xE2\x95\x9D\xE2\x95\x90"
       "\xE2\x95\x91\xE2\x95\xA0\xE2\x95\xA3\xE2\x95\xA6\xE2\x95\xA9\xE2\x95\xAC",
       Readable},
      {"emoji",
       "\xF0\x9F\x98\x80\xF0\x9F\x98\x83\xF0\x9F\x98\x84\xF0\x9F\x98\x81 \xF0\x9F\x8E\x89"
       "\xF0\x9F\x8E\x82\xF0\x9F\x8E\x81 \xF0\x9F\x8C\x9E\xF0\x9F\x8C\x88\xF0\x9F\x8C\x8A"
       "\xF0\x9F\x90\xB1\xF0\x9F\x90\xB6 \xF0\x9F\x8D\x8E\xF0\x9F\x8D\x8C\xF0\x9F\x8D\x87"
       "\xF0\x9F\x8D\x93\xF0\x9F\x8D\x92 \xF0\x9F\x9A\x97\xF0\x9F\x9A\x95\xF0\x9F\x9A\x99"
       "\xF0\x9F\x9A\x8C\xF0\x9F\x9A\x8E \xE2\x9D\xA4\xEF\xB8\x8F\xF0\x9F\x91\x8D\xF0\x9F\x91"
       "\x8F\xF0\x9F\x99\x8C",
       Readable},
      {"numbered lines", CountedLines("Line ", 1, 59, 3), Readable},
      {"bin numbers", CountedLines("Bin A", 1, 49, 3), Readable},
      {"a grid of cells", CellGrid('J', 10, 29), Readable},
      {"a short word", "xkcd", Readable},
      {"a short page of consonants", "Strc prst", Readable},
      {"a short URL", "https://x.io/a?b=c", Readable},
      {"a short number", "ISBN 978-3-16-148410-0", Readable},

      {"control characters", "\x01\x02\x03\x04\x05, \x06\x02\x01!\n\x07\x08.", Unreadable},
      {"glyph numbers from 1", GlyphNumbers(Prose, 1, false), Unreadable},
      {"C1 controls (codes past 127)", GlyphNumbers(Prose, 0x80, true), Unreadable},
      {"printable codes, blanks numbered too", GlyphNumbers(Prose, 0x21, false), Unreadable},
      {"printable codes", GlyphNumbers(Prose, 0x21, true), Unreadable},
      {"capitals and lower letters", GlyphNumbers(Prose, 0x41, true), Unreadable},
      {"Latin-1 letters", GlyphNumbers(Prose, 0xC0, true), Unreadable},
      {"Latin-1 symbols and letters", GlyphNumbers(Prose, 0xA0, true), Unreadable},
      {"dingbats", GlyphNumbers(Prose, 0x2701, true), Unreadable},
      {"private use", GlyphNumbers(Prose, 0xE000, true), Unreadable},
      {"a short page of controls", "\x01\x02\x03\xC3\xA4\xE2\x82\xAC", Unreadable},

      {"text with some control characters", Prose + " \x01\x02 \x03\x01\x02 \x04\x05\x01", Doubtful},
      {"a short page with a control character", "Page \x01\x02 of 4", Doubtful},
  };
  for (const auto& C : Cases) EXPECT_EQ(JudgePage(C.Text), C.Verdict) << C.What << ": " << C.Text;
}

// Whether Bytes is UTF-8 without NUL characters (what the converters write).
bool IsUtf8Text(const std::string& Bytes) {
  for (size_t I = 0; I < Bytes.size();) {
    const auto Lead = static_cast<unsigned char>(Bytes[I]);
    const size_t Length = Lead < 0x80         ? 1
                          : (Lead >> 5) == 6  ? 2
                          : (Lead >> 4) == 14 ? 3
                          : (Lead >> 3) == 30 ? 4
                                              : 0;
    if (Lead == 0 || Length == 0 || I + Length > Bytes.size()) return false;
    for (size_t J = 1; J < Length; ++J)
      if ((static_cast<unsigned char>(Bytes[I + J]) & 0xC0) != 0x80) return false;
    I += Length;
  }
  return true;
}

// Ordinary text of many kinds, the documents, help pages and sources of this program's own tree in pages
// of 60 lines, is never left out.
TEST(Readability, TheTextOfThisSourceTreeIsKept) {
  const std::filesystem::path Root = std::filesystem::path(SCRYLINE_TEST_DATA) / ".." / "..";
  int32_t Pages = 0;
  for (const char* Folder : {"app", "core", "search", "server", "viewer", "tests/server", "bench"}) {
    for (const auto& Entry : std::filesystem::recursive_directory_iterator(Root / Folder)) {
      const std::string Ext = Entry.path().extension().string();
      if (!Entry.is_regular_file() || (Ext != ".md" && Ext != ".html" && Ext != ".cpp" && Ext != ".h"))
        continue;
      std::ifstream In(Entry.path(), std::ios::binary);
      const std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
      if (!IsUtf8Text(Bytes)) continue;
      std::istringstream Lines(Bytes);
      for (std::string Line, Page; !Lines.eof();) {
        int32_t Count = 0;
        for (Page.clear(); Count < 60 && std::getline(Lines, Line); ++Count) Page += Line + "\n";
        ++Pages;
        EXPECT_TRUE(IsReadablePage(Page)) << Entry.path() << ":\n" << Page;
      }
    }
  }
  EXPECT_GT(Pages, 100);
}

TEST(Readability, PagesAreJudgedOneByOne) {
  // Codes past 127: small ones would hold form feeds.
  const std::string Garbage = GlyphNumbers(kProse, 0x80, false);
  TPageVerdict Verdict = JudgePages(std::string(kProse) + "\f" + Garbage + "\f\f" + kProse);
  EXPECT_EQ(Verdict.Unreadable, std::vector<int32_t>{2});
  EXPECT_TRUE(Verdict.AnyReadableText);
  EXPECT_TRUE(Verdict.Doubtful.empty());
  Verdict = JudgePages(Garbage + "\f \r\n\f" + Garbage);
  EXPECT_EQ(Verdict.Unreadable, (std::vector<int32_t>{1, 3}));
  EXPECT_FALSE(Verdict.AnyReadableText);
  // A doubtful page is kept: it counts as text, and is named.
  Verdict = JudgePages(Garbage + "\f" + kProse + " \x01\x02 \x03\x01\x02 \x04\x05\x01");
  EXPECT_EQ(Verdict.Unreadable, std::vector<int32_t>{1});
  EXPECT_EQ(Verdict.Doubtful, std::vector<int32_t>{2});
  EXPECT_TRUE(Verdict.AnyReadableText);
  Verdict = JudgePages("");
  EXPECT_TRUE(Verdict.Unreadable.empty());
  EXPECT_FALSE(Verdict.AnyReadableText);
}

}  // namespace
