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
    const char* Old = std::getenv("PATH");
    Had_ = Old != nullptr;
    if (Had_) Old_ = Old;
    ::setenv("PATH", Path.c_str(), 1);
  }
  ~TPathScope() {
    if (Had_)
      ::setenv("PATH", Old_.c_str(), 1);
    else
      ::unsetenv("PATH");
  }

 private:
  bool Had_ = false;
  std::string Old_;
};

class PDFConvTest : public ::testing::Test {
 protected:
  void TearDown() override { PdfToTextTimeoutMs = kDefaultPdfToTextTimeoutMs; }
  // A folder holding a program "pdftotext" that runs Script under /bin/sh.
  std::string FakeTool(const std::string& Script) {
    const std::string Folder = Dir_ / "bin";
    std::filesystem::create_directories(Folder);
    // The text file is the last argument.
    WriteAll(Folder + "/pdftotext", "#!/bin/sh\nfor a; do out=$a; done\n" + Script + "\n");
    ::chmod((Folder + "/pdftotext").c_str(), 0755);
    return Folder;
  }
  TServerStateGuard Guard_;
  TTestDir Dir_;
};

bool HavePdfToText() { return !FindOnPath("pdftotext").empty(); }

TEST_F(PDFConvTest, ConvertsPagesToCrLfText) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext is not installed";
  ASSERT_TRUE(ConvertPDF(kFixtures + "two_pages.pdf", Dir_ / "out.txt")) << GetLastErrorText();
  const std::string Text = ReadFileBytes(Dir_ / "out.txt");
  EXPECT_EQ(Text.substr(0, 35), "Scryline PDF fixture\r\nsecond line\r\n") << Text;
  EXPECT_NE(Text.find("\r\npage two\r\n"), std::string::npos);
  EXPECT_EQ(Text.find('\f'), std::string::npos);  // page breaks are line breaks
}

TEST_F(PDFConvTest, ARelativeSourceNameIsFound) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext is not installed";
  const auto Old = std::filesystem::current_path();
  std::filesystem::current_path(kFixtures);
  const bool Ok = ConvertPDF("two_pages.pdf", Dir_ / "out.txt");
  std::filesystem::current_path(Old);
  EXPECT_TRUE(Ok) << GetLastErrorText();
}

TEST_F(PDFConvTest, DamagedPdfGivesTheToolsFirstComplaintAndNoTarget) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext is not installed";
  const std::string Pdf = ReadFileBytes(kFixtures + "two_pages.pdf");
  const std::string Inputs[] = {Pdf.substr(0, 300), Pdf.substr(0, Pdf.size() / 2), "not a pdf at all", ""};
  for (const std::string& Bad : Inputs) {
    WriteAll(Dir_ / "bad.pdf", Bad);
    WriteAll(Dir_ / "out.txt", "old text");
    EXPECT_FALSE(ConvertPDF(Dir_ / "bad.pdf", Dir_ / "out.txt"));
    EXPECT_FALSE(GetLastErrorText().empty());
    EXPECT_EQ(GetLastErrorText().find('\n'), std::string::npos);
    EXPECT_FALSE(Exists(Dir_ / "out.txt"));
  }
  WriteAll(Dir_ / "bad.pdf", Pdf.substr(0, 300));
  EXPECT_FALSE(ConvertPDF(Dir_ / "bad.pdf", Dir_ / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "Syntax Error: Couldn't find trailer dictionary");
}

TEST_F(PDFConvTest, OutcomesOfStandInTools) {
  struct TCase {
    const char* Script;
    bool Ok;
    const char* Result;  // the target's text, or the error text
  };
  const TCase Cases[] = {
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
  for (const TCase& C : Cases) {
    TPathScope Path(FakeTool(C.Script));
    WriteAll(Dir_ / "in.pdf", "%PDF-1.4");
    const bool Ok = ConvertPDF(Dir_ / "in.pdf", Dir_ / "out.txt");
    EXPECT_EQ(Ok, C.Ok) << C.Script;
    EXPECT_EQ(Ok ? ReadFileBytes(Dir_ / "out.txt") : std::string(GetLastErrorText()), C.Result) << C.Script;
    if (!Ok) {
      EXPECT_FALSE(Exists(Dir_ / "out.txt"));
    }
  }
}

TEST_F(PDFConvTest, AHangingToolIsEnded) {
  TPathScope Path(FakeTool("exec /bin/sleep 30"));
  PdfToTextTimeoutMs = 300;
  WriteAll(Dir_ / "in.pdf", "%PDF-1.4");
  const uint32_t Start = TickCount();
  EXPECT_FALSE(ConvertPDF(Dir_ / "in.pdf", Dir_ / "out.txt"));
  EXPECT_LT(TickCount() - Start, 5000u);
  EXPECT_EQ(GetLastErrorText(), "\"pdftotext\" did not finish in 0 s and was ended");
}

int32_t CancelAfterTwoPolls(int32_t, int32_t, int32_t, void* Data) {
  return ++*static_cast<int*>(Data) <= 2 ? 1 : 0;
}

TEST_F(PDFConvTest, ACancelEndsTheTool) {
  TPathScope Path(FakeTool("exec /bin/sleep 30"));
  int Polls = 0;
  PluginCallback = CancelAfterTwoPolls;
  PluginCallbackData = &Polls;
  WriteAll(Dir_ / "in.pdf", "%PDF-1.4");
  EXPECT_FALSE(ConvertPDF(Dir_ / "in.pdf", Dir_ / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
  EXPECT_EQ(Polls, 3);
}

TEST_F(PDFConvTest, AMissingToolIsReported) {
  TPathScope Path(Dir_.Path);
  EXPECT_FALSE(ConvertPDF(kFixtures + "two_pages.pdf", Dir_ / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "Can't find \"pdftotext\".");
}

}  // namespace
