// The PostScript back-end through Ghostscript's library, on PostScript written by the tests.
#include "server/PSConv.h"

#include <gtest/gtest.h>

#include <filesystem>
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
  EXPECT_EQ(GetLastErrorText(), UnreadablePagesNote({3}));
  // No page file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir_.Path), {}), 1);
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
