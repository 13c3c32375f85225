// The PostScript back-end through Ghostscript's library, on PostScript written by the tests.
#include "server/PSConv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "server/TextSink.h"
#include "tests/server/ServerTestSupport.h"

namespace {

constexpr const char* kTwoPages =
    "%!PS\n/Helvetica findfont 20 scalefont setfont\n"
    "72 700 moveto (Hello World) show 72 670 moveto (second line) show showpage\n"
    "72 700 moveto (page two) show showpage\n";

class PSConvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvnls::SetSystemCodePages(1252, 850);
    if (!LoadGhostscript()) GTEST_SKIP() << "Ghostscript's library is not installed";
    ASSERT_TRUE(SetTempFolderOverride(Dir_.Path));
  }
  void TearDown() override {
    PsTimeoutMs = kDefaultPsTimeoutMs;
    qvnls::ResetSystemCodePages();
  }
  // Converts PostScript text; Text receives the target's content.
  bool Convert(const std::string& Ps, std::string& Text) {
    WriteAll(Dir_ / "in.ps", Ps);
    const bool Ok = ConvertPostScript(Dir_ / "in.ps", Dir_ / "out.txt");
    Text = ReadFileBytes(Dir_ / "out.txt");
    return Ok;
  }
  TServerStateGuard Guard_;
  TTestDir Dir_;
};

bool HasBareLf(const std::string& S) {
  for (size_t I = 0; I < S.size(); ++I)
    if (S[I] == '\n' && (I == 0 || S[I - 1] != '\r')) return true;
  return false;
}

TEST_F(PSConvTest, TurnsPagesIntoCrLfText) {
  std::string Text;
  ASSERT_TRUE(Convert(kTwoPages, Text)) << GetLastErrorText();
  const size_t Hello = Text.find("Hello World\r\n");
  ASSERT_NE(Hello, std::string::npos) << Text;
  EXPECT_LT(Hello, Text.find("second line"));
  EXPECT_LT(Text.find("second line"), Text.find("page two"));
  EXPECT_FALSE(HasBareLf(Text));
  // The temporary text file is gone.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir_.Path), {}), 2);
}

// PostScript that pdftops made from PDF files: one with fonts that name their characters converts; one
// whose fonts only number their glyphs gives control characters for every letter, and fails as unreadable.
TEST_F(PSConvTest, PostScriptMadeFromPdf) {
  const std::string Fixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/";
  ASSERT_TRUE(ConvertPostScript(Fixtures + "text_from_pdf.ps", Dir_ / "out.txt")) << GetLastErrorText();
  const std::string Text = ReadFileBytes(Dir_ / "out.txt");
  EXPECT_NE(Text.find("Quarterly report: sales rose in the north.\r\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Second line of text.\r\n"), std::string::npos) << Text;

  EXPECT_FALSE(ConvertPostScript(Fixtures + "glyph_codes_from_pdf.ps", Dir_ / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), kUnreadableText);
  EXPECT_FALSE(Exists(Dir_ / "out.txt"));
}

// Each page is judged alone: a page whose fonts number their glyphs is left out and named, the readable
// pages go through; with no readable page the conversion fails. A subset font whose codes are printable
// once its first line has used up the small numbers passed the old count of control characters.
TEST_F(PSConvTest, UnreadablePagesAreLeftOutAndNamed) {
  const std::string Fixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/";
  for (const char* File :
       {"subset_font_printable_codes.ps", "cid_font_from_pdf.ps", "cid_font_ps2write.ps"}) {
    EXPECT_FALSE(ConvertPostScript(Fixtures + File, Dir_ / "out.txt")) << File;
    EXPECT_EQ(GetLastErrorText(), kUnreadableText) << File;
    EXPECT_FALSE(Exists(Dir_ / "out.txt")) << File;
  }

  ASSERT_TRUE(ConvertPostScript(Fixtures + "readable_then_unreadable_page.ps", Dir_ / "out.txt"))
      << GetLastErrorText();
  const std::string Text = ReadFileBytes(Dir_ / "out.txt");
  EXPECT_NE(Text.find("Scryline PDF fixture\r\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("page two\r\n"), std::string::npos) << Text;
  EXPECT_EQ(Text.find('\x01'), std::string::npos) << Text;
  EXPECT_EQ(ConversionWarning, UnreadablePagesNote({3}));
  EXPECT_EQ(GetLastErrorText(), "");
  // No page file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir_.Path), {}), 1);
}

// A PostScript string of Text: printable ASCII as it is, the rest in octal.
std::string PsString(const std::string& Text) {
  std::string Out = "(";
  for (const char C : Text) {
    const auto Byte = static_cast<unsigned char>(C);
    if (Byte >= 0x20 && Byte < 0x7F && C != '(' && C != ')' && C != '\\') {
      Out += C;
    } else {
      const char Octal[] = {'\\', static_cast<char>('0' + (Byte >> 6)),
                            static_cast<char>('0' + ((Byte >> 3) & 7)), static_cast<char>('0' + (Byte & 7)),
                            '\0'};
      Out += Octal;
    }
  }
  return Out + ")";
}

// Lines as a font that numbers its glyphs in order of first use from First shows them (blanks stay).
std::vector<std::string> GlyphCodes(const std::vector<std::string>& Lines, int First) {
  std::map<char, char> Codes;
  std::vector<std::string> Out;
  for (const std::string& Line : Lines) {
    std::string Coded;
    for (const char C : Line) {
      if (C != ' ' && Codes.count(C) == 0)
        Codes[C] = static_cast<char>(First + static_cast<int>(Codes.size()));
      Coded += C == ' ' ? ' ' : Codes[C];
    }
    Out.push_back(Coded);
  }
  return Out;
}

// Type 3 fonts whose glyphs are named g1, g2, ..., as some PDF writers make them: /GlyphsFrom33 has them
// at the codes from 33 ("!") on, /GlyphsFrom65 from 65 ("A") on. No name says which character a glyph
// shows, so the interpreter writes the codes.
constexpr const char* kNumberedGlyphFonts = R"(
/NumberedGlyphs { /Base exch def 10 dict begin
  /FontType 3 def /FontMatrix [0.001 0 0 0.001 0 0] def /FontBBox [0 0 500 700] def
  /Encoding 256 array def 0 1 255 { Encoding exch /.notdef put } for
  1 1 90 { /I exch def Encoding I Base add 1 sub (g) I 3 string cvs
    2 copy length exch length add string dup 0 4 index putinterval dup 3 index length 4 -1 roll
    putinterval exch pop cvn put } for
  /BuildGlyph { pop pop 500 0 0 0 500 700 setcachedevice 0 0 moveto 500 0 lineto 250 700 lineto
    closepath fill } def
  /BuildChar { 1 index /Encoding get exch get 1 index /BuildGlyph get exec } bind def
  currentdict end } def
/GlyphsFrom33 33 NumberedGlyphs definefont pop
/GlyphsFrom65 65 NumberedGlyphs definefont pop
)";

// A document of one page per row, each set in its font: a page whose characters are text is kept, whatever
// its words look like; a page whose font numbers its glyphs is left out; the warning names those, and a
// one-shot run leaves it in the error file with a success.
TEST_F(PSConvTest, EachPageIsKeptOrLeftOutByItsCharacters) {
  const std::vector<std::string> Prose = {
      "Sales rose in the north while the south held steady through the winter",
      "months. This report covers the second quarter and the outlook for the rest",
      "of the year. Every department met its targets, and the board thanks all."};
  const struct {
    const char* What;
    const char* Font;
    std::vector<std::string> Lines;
    bool Kept;
  } Pages[] = {
      {"URLs",
       "Helvetica",
       {"https://www.example.org/docs/index.html", "http://ftp.debian.org/debian/pool/main/g/ghostscript/",
        "https://github.com/acme/widget/issues/1234?utm_source=feed&utm_medium=rss#comment-998877",
        "mailto:info@example.com  ftp://ftp.gnu.org/gnu/grep/grep-3.11.tar.xz"},
       true},
      {"a key in base64",
       "Courier",
       {"-----BEGIN PGP PUBLIC KEY BLOCK-----",
        "pU3KGCUwux1tEyze1iN7LtkeP3IfyxlxF0SU1kk8nVw0YL4xIB5p/tqg7ui5mX9c",
        "fCmZ/a/lkyU81lSvTfrXFCegrrP+6SMvivIhH57kkcWxC+y1Vjv8Hm+TQn7LyP4p",
        "VeXNjkbcjtS3wnZNKlpNdncG+F2GkAJK1r2jQBvpyMvMyTX2zR9hImrhUziuGjQA", "=jNOE",
        "-----END PGP PUBLIC KEY BLOCK-----"},
       true},
      {"Czech words without vowels",
       "Helvetica",
       {"Strc prst skrz krk. Smrt zhltl vlk. Krtek zmrzl v brlohu.",
        "Prst zvlhl, drn trhl, vlk vrcl. Zmrzl, scvrkl, zvlhl, strc prst skrz krk."},
       true},
      {"Welsh prose",
       "Helvetica",
       {"Mae hen wlad fy nhadau yn annwyl i mi, Gwlad beirdd a chantorion, enwogion o fri;",
        "Ei gwrol ryfelwyr, gwladgarwyr tra mad, Dros ryddid collasant eu gwaed.",
        "Cwm, crwth, cwrw, bwlch, llwybr, ffordd, mynydd, yng Nghymru."},
       true},
      {"a hex dump",
       "Courier",
       {"00000000: 7f45 4c46 0201 0100 0000 0000 0000 0000  .ELF............",
        "00000010: 0300 3e00 0100 0000 d061 0000 0000 0000  ..>......a......",
        "00000020: 4000 0000 0000 0000 7047 0200 0000 0000  @.......pG......"},
       true},
      {"part numbers",
       "Helvetica",
       {"XKCD-9921-BZ  M3x12 DIN 912 A2  100", "TPS7A4701RGWR  LDO 1A VQFN-20  5",
        "GRM188R71H104KA  100nF X7R 0603  250", "RC0603FR-0710KL  10k 1% 0603  250"},
       true},
      {"a short page", "Helvetica", {"Fig. 7"}, true},
      {"Greek letters of the symbol font", "Symbol", {"a + b = g, p r 2, S x i"}, true},
      {"glyphs numbered from 33", "GlyphsFrom33", GlyphCodes(Prose, 33), false},
      {"glyphs numbered from 65", "GlyphsFrom65", GlyphCodes(Prose, 65), false},
      {"a dingbat font", "ZapfDingbats", Prose, false},
      {"a program listing",
       "Courier",
       {"int main(int argc, char **argv) {", "  for (int i = 1; i < argc; ++i) puts(argv[i]);",
        "  return argc > 1 ? 0 : 1;", "}"},
       true},
  };
  std::string Ps = std::string("%!PS\n") + kNumberedGlyphFonts;
  std::vector<int32_t> LeftOut;
  for (size_t I = 0; I < std::size(Pages); ++I) {
    Ps += "/" + std::string(Pages[I].Font) + " findfont 11 scalefont setfont\n";
    for (size_t L = 0; L < Pages[I].Lines.size(); ++L)
      Ps += "40 " + std::to_string(740 - 16 * L) + " moveto " + PsString(Pages[I].Lines[L]) + " show\n";
    Ps += "showpage\n";
    if (!Pages[I].Kept) LeftOut.push_back(static_cast<int32_t>(I + 1));
  }
  std::string Text;
  ASSERT_TRUE(Convert(Ps, Text)) << GetLastErrorText();
  for (const auto& Page : Pages) {
    if (!Page.Kept) continue;
    // The symbol font shows Greek letters, which the ANSI code page cannot hold.
    const std::vector<std::string> Lines =
        std::string(Page.Font) == "Symbol" ? std::vector<std::string>{"? + ? = ?, ? ? 2, ? ? ?"} : Page.Lines;
    for (const std::string& Line : Lines)
      EXPECT_NE(Text.find(Line), std::string::npos) << Page.What << ": " << Line << "\n" << Text;
  }
  EXPECT_EQ(Text.find("!\"#$%"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("ABCDE FGED"), std::string::npos) << Text;
  EXPECT_EQ(ConversionWarning, UnreadablePagesNote(LeftOut));

  const std::string Err = Dir_ / "err.txt";
  WriteAll(Err, "old failure");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunServer({"-srv:ps", Dir_ / "in.ps", Dir_ / "one-shot.txt", "-err:" + Err}), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(UnreadablePagesNote(LeftOut)), std::string::npos);
  EXPECT_EQ(ReadFileBytes(Dir_ / "one-shot.txt"), Text);
  EXPECT_EQ(ReadFileBytes(Err), UnreadablePagesNote(LeftOut));
}

// Ordinary PostScript never fails as unreadable: a program listing (enscript) and a manual page (groff).
TEST_F(PSConvTest, OrdinaryPostScriptIsReadable) {
  const std::string Fixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/";
  const struct {
    const char* File;
    std::vector<std::string> Words;
  } Cases[] = {
      {"enscript_listing.ps", {"#include <stdio.h>", "int main(int argc, char **argv) {", "printf("}},
      {"groff_page.ps", {"DEMO(1)", "The quick brown fox jumps", "ls(1)"}},
  };
  for (const auto& C : Cases) {
    ClearLastErrorText();
    ASSERT_TRUE(ConvertPostScript(Fixtures + C.File, Dir_ / "out.txt"))
        << C.File << ": " << GetLastErrorText();
    EXPECT_EQ(GetLastErrorText(), "") << C.File;
    EXPECT_EQ(ConversionWarning, "") << C.File;
    const std::string Text = ReadFileBytes(Dir_ / "out.txt");
    for (const std::string& Word : C.Words)
      EXPECT_NE(Text.find(Word), std::string::npos) << C.File << ": " << Word;
  }
}

TEST_F(PSConvTest, TextIsWrittenInTheAnsiCodePage) {
  std::string Text;
  // "\351" is é in the standard Latin encoding of the font.
  ASSERT_TRUE(
      Convert("%!PS\n/Helvetica findfont dup length dict copy dup /Encoding ISOLatin1Encoding put\n"
              "/H1 exch definefont 20 scalefont setfont 72 700 moveto (caf\\351) show showpage\n",
              Text))
      << GetLastErrorText();
  EXPECT_NE(Text.find("caf\xE9"), std::string::npos) << Text;
}

TEST_F(PSConvTest, TheInterpretersComplaintIsTheErrorText) {
  std::string Text;
  EXPECT_FALSE(Convert("%!PS\n72 700 moveto no_such_operator showpage\n", Text));
  EXPECT_EQ(GetLastErrorText(), "Error: /undefined in no_such_operator");
  EXPECT_FALSE(Exists(Dir_ / "out.txt"));
}

TEST_F(PSConvTest, HostileInputFailsCleanly) {
  const std::string Inputs[] = {
      "%!PS\n(unterminated string",   "%!PS\n{{{{{{{{{{", std::string("\x00\xFF\x1B%binary\x80\x81", 11),
      "%!PS\n/a 1 def 1 0 div",
      "%!PS\n(/etc/passwd) (r) file",  // outside files are off limits
  };
  for (const std::string& Ps : Inputs) {
    std::string Text;
    EXPECT_FALSE(Convert(Ps, Text)) << Ps;
    EXPECT_FALSE(GetLastErrorText().empty()) << Ps;
  }
  std::string Text;
  EXPECT_TRUE(Convert("", Text)) << GetLastErrorText();
  EXPECT_EQ(Text, "");
}

TEST_F(PSConvTest, AProgramThatNeverEndsIsStopped) {
  PsTimeoutMs = 300;
  std::string Text;
  EXPECT_FALSE(Convert("%!PS\n{ 1 pop } loop\n", Text));
  EXPECT_EQ(GetLastErrorText(), "Ghostscript did not finish in 0 s and was ended");
  PsTimeoutMs = kDefaultPsTimeoutMs;
  EXPECT_TRUE(Convert(kTwoPages, Text)) << GetLastErrorText();
}

int32_t CancelAtOnce(int32_t, int32_t, int32_t, void*) { return 0; }

TEST_F(PSConvTest, ACancelStopsTheRunAndTheNextOneWorks) {
  PluginCallback = CancelAtOnce;
  std::string Text;
  EXPECT_FALSE(Convert(kTwoPages, Text));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
  PluginCallback = nullptr;
  EXPECT_TRUE(Convert(kTwoPages, Text)) << GetLastErrorText();
  EXPECT_NE(Text.find("Hello World"), std::string::npos);
}

// A progress callback that starts a second conversion while the first runs.
int32_t NestedCall(int32_t, int32_t, int32_t, void* Data) {
  auto* Answers = static_cast<std::vector<std::string>*>(Data);
  if (Answers->empty()) {
    TVMemStream In, Out;
    const bool Ok = RunPs2Ascii(In, Out);
    Answers->push_back(Ok ? "ok" : std::string(GetLastErrorText()));
  }
  return 1;
}

TEST_F(PSConvTest, ANestedConversionIsBusy) {
  std::vector<std::string> Answers;
  PluginCallback = NestedCall;
  PluginCallbackData = &Answers;
  std::string Text;
  EXPECT_TRUE(Convert(kTwoPages, Text)) << GetLastErrorText();
  ASSERT_EQ(Answers.size(), 1u);
  EXPECT_EQ(Answers[0], "Busy");
  EXPECT_NE(Text.find("Hello World"), std::string::npos);
}

TEST_F(PSConvTest, AMissingLibraryIsReported) {
  FreeGhostscript();
  GhostscriptLibrary = Dir_ / "libgs-missing.so";
  std::string Text;
  EXPECT_FALSE(Convert(kTwoPages, Text));
  EXPECT_EQ(GetLastErrorText(), "Can't load libgs.so");
  GhostscriptLibrary.clear();
  EXPECT_TRUE(Convert(kTwoPages, Text)) << GetLastErrorText();
}

}  // namespace
