// The PostScript back-end through Ghostscript's library, on PostScript written by the tests.
#include "server/PSConv.h"

#include <gtest/gtest.h>

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
    ASSERT_TRUE(SetTempFolderOverride(Dir.Path));
  }
  void TearDown() override {
    PsTimeoutMs = kDefaultPsTimeoutMs;
    qvnls::ResetSystemCodePages();
  }
  // Converts PostScript text; Text receives the target's content.
  bool Convert(const std::string& Ps, std::string& Text) {
    WriteAll(Dir / "in.ps", Ps);
    const bool ok = ConvertPostScript(Dir / "in.ps", Dir / "out.txt");
    Text = ReadFileBytes(Dir / "out.txt");
    return ok;
  }
  TServerStateGuard Guard;
  TTestDir Dir;
};

bool HasBareLf(const std::string& S) {
  for (size_t i = 0; i < S.size(); ++i)
    if (S[i] == '\n' && (i == 0 || S[i - 1] != '\r')) return true;
  return false;
}

TEST_F(PSConvTest, TurnsPagesIntoCrLfText) {
  std::string text;
  ASSERT_TRUE(Convert(kTwoPages, text)) << GetLastErrorText();
  const size_t hello = text.find("Hello World\r\n");
  ASSERT_NE(hello, std::string::npos) << text;
  EXPECT_LT(hello, text.find("second line"));
  EXPECT_LT(text.find("second line"), text.find("page two"));
  EXPECT_FALSE(HasBareLf(text));
  // The temporary text file is gone.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path), {}), 2);
}

// PostScript that pdftops made from PDF files: one with fonts that name their characters converts; one
// whose fonts only number their glyphs gives control characters for every letter, and fails as unreadable.
TEST_F(PSConvTest, PostScriptMadeFromPdf) {
  const std::string fixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/";
  ASSERT_TRUE(ConvertPostScript(fixtures + "text_from_pdf.ps", Dir / "out.txt")) << GetLastErrorText();
  const std::string text = ReadFileBytes(Dir / "out.txt");
  EXPECT_NE(text.find("Quarterly report: sales rose in the north.\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Second line of text.\r\n"), std::string::npos) << text;

  EXPECT_FALSE(ConvertPostScript(fixtures + "glyph_codes_from_pdf.ps", Dir / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), kUnreadableText);
  EXPECT_FALSE(Exists(Dir / "out.txt"));
}

TEST_F(PSConvTest, TextIsWrittenInTheAnsiCodePage) {
  std::string text;
  // "\351" is é in the standard Latin encoding of the font.
  ASSERT_TRUE(
      Convert("%!PS\n/Helvetica findfont dup length dict copy dup /Encoding ISOLatin1Encoding put\n"
              "/H1 exch definefont 20 scalefont setfont 72 700 moveto (caf\\351) show showpage\n",
              text))
      << GetLastErrorText();
  EXPECT_NE(text.find("caf\xE9"), std::string::npos) << text;
}

TEST_F(PSConvTest, TheInterpretersComplaintIsTheErrorText) {
  std::string text;
  EXPECT_FALSE(Convert("%!PS\n72 700 moveto no_such_operator showpage\n", text));
  EXPECT_EQ(GetLastErrorText(), "Error: /undefined in no_such_operator");
  EXPECT_FALSE(Exists(Dir / "out.txt"));
}

TEST_F(PSConvTest, HostileInputFailsCleanly) {
  const std::string inputs[] = {
      "%!PS\n(unterminated string",   "%!PS\n{{{{{{{{{{", std::string("\x00\xFF\x1B%binary\x80\x81", 11),
      "%!PS\n/a 1 def 1 0 div",
      "%!PS\n(/etc/passwd) (r) file",  // outside files are off limits
  };
  for (const std::string& ps : inputs) {
    std::string text;
    EXPECT_FALSE(Convert(ps, text)) << ps;
    EXPECT_FALSE(GetLastErrorText().empty()) << ps;
  }
  std::string text;
  EXPECT_TRUE(Convert("", text)) << GetLastErrorText();
  EXPECT_EQ(text, "");
}

TEST_F(PSConvTest, AProgramThatNeverEndsIsStopped) {
  PsTimeoutMs = 300;
  std::string text;
  EXPECT_FALSE(Convert("%!PS\n{ 1 pop } loop\n", text));
  EXPECT_EQ(GetLastErrorText(), "Ghostscript did not finish in 0 s and was ended");
  PsTimeoutMs = kDefaultPsTimeoutMs;
  EXPECT_TRUE(Convert(kTwoPages, text)) << GetLastErrorText();
}

int32_t CancelAtOnce(int32_t, int32_t, int32_t, void*) { return 0; }

TEST_F(PSConvTest, ACancelStopsTheRunAndTheNextOneWorks) {
  PluginCallback = CancelAtOnce;
  std::string text;
  EXPECT_FALSE(Convert(kTwoPages, text));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
  PluginCallback = nullptr;
  EXPECT_TRUE(Convert(kTwoPages, text)) << GetLastErrorText();
  EXPECT_NE(text.find("Hello World"), std::string::npos);
}

// A progress callback that starts a second conversion while the first runs.
int32_t NestedCall(int32_t, int32_t, int32_t, void* Data) {
  auto* answers = static_cast<std::vector<std::string>*>(Data);
  if (answers->empty()) {
    TVMemStream in, out;
    const bool ok = RunPs2Ascii(in, out);
    answers->push_back(ok ? "ok" : std::string(GetLastErrorText()));
  }
  return 1;
}

TEST_F(PSConvTest, ANestedConversionIsBusy) {
  std::vector<std::string> answers;
  PluginCallback = NestedCall;
  PluginCallbackData = &answers;
  std::string text;
  EXPECT_TRUE(Convert(kTwoPages, text)) << GetLastErrorText();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], "Busy");
  EXPECT_NE(text.find("Hello World"), std::string::npos);
}

TEST_F(PSConvTest, AMissingLibraryIsReported) {
  FreeGhostscript();
  GhostscriptLibrary = Dir / "libgs-missing.so";
  std::string text;
  EXPECT_FALSE(Convert(kTwoPages, text));
  EXPECT_EQ(GetLastErrorText(), "Can't load libgs.so");
  GhostscriptLibrary.clear();
  EXPECT_TRUE(Convert(kTwoPages, text)) << GetLastErrorText();
}

}  // namespace
