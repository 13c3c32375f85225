// The PDF back-end: pdftotext on small PDF fixtures, and stand-in programs named pdftotext that fail,
// hang or print nothing, found through PATH.
#include "server/PDFConv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "server/AsyncComm.h"
#include "server/ChildProcess.h"
#include "server/TextSink.h"
#include "tests/server/ServerTestSupport.h"

namespace {

const std::string kFixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/";

// Sets PATH for the test's lifetime.
class TPathScope {
 public:
  explicit TPathScope(const std::string& Path) {
    const char* old = std::getenv("PATH");
    Had = old != nullptr;
    if (Had) Old = old;
    ::setenv("PATH", Path.c_str(), 1);
  }
  ~TPathScope() {
    if (Had)
      ::setenv("PATH", Old.c_str(), 1);
    else
      ::unsetenv("PATH");
  }

 private:
  bool Had = false;
  std::string Old;
};

class PDFConvTest : public ::testing::Test {
 protected:
  void TearDown() override { PdfToTextTimeoutMs = kDefaultPdfToTextTimeoutMs; }
  // A folder holding a program "pdftotext" that runs Script under /bin/sh.
  std::string FakeTool(const std::string& Script) {
    const std::string folder = Dir / "bin";
    std::filesystem::create_directories(folder);
    // The text file is the last argument.
    WriteAll(folder + "/pdftotext", "#!/bin/sh\nfor a; do out=$a; done\n" + Script + "\n");
    ::chmod((folder + "/pdftotext").c_str(), 0755);
    return folder;
  }
  TServerStateGuard Guard;
  TTestDir Dir;
};

bool HavePdfToText() { return !FindOnPath("pdftotext").empty(); }

TEST_F(PDFConvTest, ConvertsPagesToCrLfText) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext is not installed";
  ASSERT_TRUE(ConvertPDF(kFixtures + "two_pages.pdf", Dir / "out.txt")) << GetLastErrorText();
  const std::string text = ReadFileBytes(Dir / "out.txt");
  EXPECT_EQ(text.substr(0, 35), "Scryline PDF fixture\r\nsecond line\r\n") << text;
  EXPECT_NE(text.find("\r\npage two\r\n"), std::string::npos);
  EXPECT_EQ(text.find('\f'), std::string::npos);  // page breaks are line breaks
}

TEST_F(PDFConvTest, ARelativeSourceNameIsFound) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext is not installed";
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(kFixtures);
  const bool ok = ConvertPDF("two_pages.pdf", Dir / "out.txt");
  std::filesystem::current_path(old);
  EXPECT_TRUE(ok) << GetLastErrorText();
}

TEST_F(PDFConvTest, DamagedPdfGivesTheToolsFirstComplaintAndNoTarget) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext is not installed";
  const std::string pdf = ReadFileBytes(kFixtures + "two_pages.pdf");
  const std::string inputs[] = {pdf.substr(0, 300), pdf.substr(0, pdf.size() / 2), "not a pdf at all", ""};
  for (const std::string& bad : inputs) {
    WriteAll(Dir / "bad.pdf", bad);
    WriteAll(Dir / "out.txt", "old text");
    EXPECT_FALSE(ConvertPDF(Dir / "bad.pdf", Dir / "out.txt"));
    EXPECT_FALSE(GetLastErrorText().empty());
    EXPECT_EQ(GetLastErrorText().find('\n'), std::string::npos);
    EXPECT_FALSE(Exists(Dir / "out.txt"));
  }
  WriteAll(Dir / "bad.pdf", pdf.substr(0, 300));
  EXPECT_FALSE(ConvertPDF(Dir / "bad.pdf", Dir / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "Syntax Error: Couldn't find trailer dictionary");
}

TEST_F(PDFConvTest, OutcomesOfStandInTools) {
  struct TCase {
    const char* Script;
    bool Ok;
    const char* Result;  // the target's text, or the error text
  };
  const TCase cases[] = {
      {"printf 'one\\ntwo\\r\\nthree\\fcaf\\303\\251\\n' > \"$out\"", true,
       "one\r\ntwo\r\nthree\r\ncaf\xE9\r\n"},
      {"exit 0", false, "Error converting PDF to text"},
      {": > \"$out\"", false, "Error converting PDF to text"},
      {"echo 'Permission Error: copying of text not allowed' >&2; echo more >&2; exit 3", false,
       "Permission Error: copying of text not allowed"},
      {"echo partial > \"$out\"; exit 1", false, "Error converting PDF to text"},
      {"kill -SEGV $$", false, "Error converting PDF to text"},
      // Text whose letters are all control characters (fonts without character codes).
      {"printf '\\001\\002\\003\\004, \\005\\002!\\n\\006\\007.\\n' > \"$out\"", false, kUnreadableText},
  };
  for (const TCase& c : cases) {
    TPathScope path(FakeTool(c.Script));
    WriteAll(Dir / "in.pdf", "%PDF-1.4");
    const bool ok = ConvertPDF(Dir / "in.pdf", Dir / "out.txt");
    EXPECT_EQ(ok, c.Ok) << c.Script;
    EXPECT_EQ(ok ? ReadFileBytes(Dir / "out.txt") : std::string(GetLastErrorText()), c.Result) << c.Script;
    if (!ok) {
      EXPECT_FALSE(Exists(Dir / "out.txt"));
    }
  }
}

TEST_F(PDFConvTest, AHangingToolIsEnded) {
  TPathScope path(FakeTool("exec /bin/sleep 30"));
  PdfToTextTimeoutMs = 300;
  WriteAll(Dir / "in.pdf", "%PDF-1.4");
  const uint32_t start = TickCount();
  EXPECT_FALSE(ConvertPDF(Dir / "in.pdf", Dir / "out.txt"));
  EXPECT_LT(TickCount() - start, 5000u);
  EXPECT_EQ(GetLastErrorText(), "\"pdftotext\" did not finish in 0 s and was ended");
}

int32_t CancelAfterTwoPolls(int32_t, int32_t, int32_t, void* Data) {
  return ++*static_cast<int*>(Data) <= 2 ? 1 : 0;
}

TEST_F(PDFConvTest, ACancelEndsTheTool) {
  TPathScope path(FakeTool("exec /bin/sleep 30"));
  int polls = 0;
  PluginCallback = CancelAfterTwoPolls;
  PluginCallbackData = &polls;
  WriteAll(Dir / "in.pdf", "%PDF-1.4");
  EXPECT_FALSE(ConvertPDF(Dir / "in.pdf", Dir / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
  EXPECT_EQ(polls, 3);
}

TEST_F(PDFConvTest, AMissingToolIsReported) {
  TPathScope path(Dir.Path);
  EXPECT_FALSE(ConvertPDF(kFixtures + "two_pages.pdf", Dir / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "Can't find \"pdftotext\".");
}

}  // namespace
