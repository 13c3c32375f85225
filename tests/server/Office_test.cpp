// The office back-ends and the built-in text-import converter: with stand-in office programs that write a
// file, complain, crash or hang, and with LibreOffice itself on small fixtures when it is installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/qvnls/Qvnls.h"
#include "server/ChildProcess.h"
#include "server/MSConvIntf.h"
#include "server/OLEPPTConv.h"
#include "server/OLEWordConv.h"
#include "server/OLEXLSConv.h"
#include "server/Soffice.h"
#include "tests/server/ServerTestSupport.h"

namespace {

const std::string kFixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/";

// The shell lines that find the output folder and the source among the office's arguments.
constexpr const char* kArgs =
    "out=; src=; prev=\n"
    "for a in \"$@\"; do [ \"$prev\" = --outdir ] && out=$a; prev=$a; src=$a; done\n"
    "name=$(basename \"$src\"); name=${name%.*}\n"
    "echo run >> \"$(dirname \"$0\")/runs\"\n";

class OfficeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvnls::SetSystemCodePages(1252, 850);
    ASSERT_TRUE(SetTempFolderOverride(Dir_.Path));
    WriteAll(Dir_ / "in.doc", "document");
  }
  void TearDown() override {
    DoneOffice();
    DoneTextConverters();
    OfficeProgram.clear();
    OfficeTimeoutMs = kDefaultOfficeTimeoutMs;
    qvnls::ResetSystemCodePages();
  }
  // Installs a stand-in office program running Script after kArgs.
  void FakeOffice(const std::string& Script) {
    std::filesystem::create_directories(Dir_ / "bin");
    OfficeProgram = Dir_ / "bin/soffice";
    WriteAll(OfficeProgram, std::string("#!/bin/sh\n") + kArgs + Script + "\n");
    ::chmod(OfficeProgram.c_str(), 0755);
  }
  int Runs() {
    const std::string Runs = ReadFileBytes(Dir_ / "bin/runs");
    return static_cast<int>(std::count(Runs.begin(), Runs.end(), '\n'));
  }
  TServerStateGuard Guard_;
  TTestDir Dir_;
};

TEST_F(OfficeTest, OutcomesOfStandInOffices) {
  struct TCase {
    const char* Script;
    bool Ok;
    const char* Result;  // the target's text, or the error text
    int Runs;
  };
  const TCase Cases[] = {
      {"printf '\\357\\273\\277one\\ntwo caf\\303\\251\\n' > \"$out/$name.txt\"", true,
       "one\r\ntwo caf\xE9\r\n", 1},
      {"echo 'Error: source file could not be loaded' >&2; exit 0", false,
       "Error: source file could not be loaded", 1},
      {"echo 'Error: source file could not be loaded'; exit 0", false,
       "Error: source file could not be loaded", 1},
      {"[ -f \"$out/../crashed\" ] || { touch \"$out/../crashed\"; kill -SEGV $$; }; echo ok > "
       "\"$out/$name.txt\"",
       true, "ok\r\n", 2},
      {"echo \"Error: crash $(wc -l < \"$(dirname \"$0\")/runs\")\" >&2; kill -SEGV $$", false,
       "Error: crash 2", 2},
      {"exit 81", false, "The office program could not convert \"%s\"", 2},
  };
  for (const TCase& C : Cases) {
    FakeOffice(C.Script);
    std::filesystem::remove(Dir_ / "bin/runs");
    std::error_code Ec;
    for (const auto& E : std::filesystem::directory_iterator(Dir_.Path))
      if (E.path().filename().string().rfind("crashed", 0) == 0) std::filesystem::remove(E.path(), Ec);
    std::filesystem::remove(Dir_ / "out.txt", Ec);
    const bool Ok = ConvertWordDocument(Dir_ / "in.doc", Dir_ / "out.txt", false);
    EXPECT_EQ(Ok, C.Ok) << C.Script;
    std::string Expected = C.Result;
    if (const size_t At = Expected.find("%s"); At != std::string::npos)
      Expected.replace(At, 2, Dir_ / "in.doc");
    EXPECT_EQ(Ok ? ReadFileBytes(Dir_ / "out.txt") : std::string(GetLastErrorText()), Expected) << C.Script;
    EXPECT_EQ(Runs(), C.Runs) << C.Script;
  }
  // Every output folder is gone; the profile stays until DoneOffice.
  std::vector<std::string> Left;
  for (const auto& E : std::filesystem::directory_iterator(Dir_.Path))
    Left.push_back(E.path().filename().string());
  EXPECT_EQ(
      std::count_if(Left.begin(), Left.end(), [](const std::string& n) { return n.rfind("qvout-", 0) == 0; }),
      0);
  EXPECT_EQ(
      std::count_if(Left.begin(), Left.end(), [](const std::string& n) { return n.rfind("qvlo-", 0) == 0; }),
      1);
  DoneOffice();
  EXPECT_FALSE(std::any_of(std::filesystem::directory_iterator(Dir_.Path), {}, [](const auto& e) {
    return e.path().filename().string().rfind("qvlo-", 0) == 0;
  }));
}

TEST_F(OfficeTest, AHangingOfficeIsEndedAndACancelStopsIt) {
  FakeOffice("exec /bin/sleep 30");
  OfficeTimeoutMs = 300;
  EXPECT_FALSE(ConvertWordDocument(Dir_ / "in.doc", Dir_ / "out.txt", false));
  EXPECT_EQ(GetLastErrorText(), "\"soffice\" did not finish in 0 s and was ended");
  OfficeTimeoutMs = kDefaultOfficeTimeoutMs;
  PluginCallback = [](int32_t, int32_t Current, int32_t Total, void*) -> int32_t {
    return Current == 4 && Total == 10 ? 0 : 1;
  };
  EXPECT_FALSE(ConvertExcelWorkbook(Dir_ / "in.doc", Dir_ / "out.txt", false));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
}

TEST_F(OfficeTest, RequestChecks) {
  FakeOffice("echo x > \"$out/$name.txt\"");
  EXPECT_FALSE(ConvertExcelWorkbook(Dir_ / "in.doc", Dir_ / "out.txt", true));
  EXPECT_EQ(GetLastErrorText(), "Unicode not supported");
  EXPECT_FALSE(ConvertPowerPointPresentation(Dir_ / "in.doc", Dir_ / "out.txt", true));
  EXPECT_EQ(GetLastErrorText(), "Unicode not supported");
  for (auto* Convert : {ConvertWordDocument, ConvertExcelWorkbook, ConvertPowerPointPresentation}) {
    EXPECT_FALSE(Convert(Dir_ / "none.doc", Dir_ / "out.txt", false));
    EXPECT_EQ(GetLastErrorText(), "File \"" + Dir_ / "none.doc\" not found");
  }
  OfficeProgram = Dir_ / "bin/absent";
  EXPECT_FALSE(ConvertWordDocument(Dir_ / "in.doc", Dir_ / "out.txt", false));
  EXPECT_EQ(GetLastErrorText(), kOfficeNotFound);
  EXPECT_EQ(Runs(), 0);
}

// A compound-file workbook takes one run: every sheet is saved into a file named after it, and the
// workbook's sheet list puts the files in order.
TEST_F(OfficeTest, AWorkbookTakesOneRunForAllItsSheets) {
  EXPECT_EQ(WorkbookSheetNames(kFixtures + "sheets.xls"), (std::vector<std::string>{"Zeta", "Alpha", "Mid"}));
  FakeOffice(
      "case \"$*\" in *,-1\\ *) printf 'm1\\n' > \"$out/$name-Mid.csv\"; printf 'z1,z2\\n' > "
      "\"$out/$name-Zeta.csv\"; "
      "printf 'a1\\n' > \"$out/$name-Alpha.csv\";; esac");
  ASSERT_TRUE(ConvertExcelWorkbook(kFixtures + "sheets.xls", Dir_ / "out.txt", false)) << GetLastErrorText();
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "z1,z2\r\n\r\na1\r\n\r\nm1\r\n");
  EXPECT_EQ(Runs(), 1);

  // Files that do not answer the sheet names: the sheets are asked for one by one after all.
  std::filesystem::remove(Dir_ / "bin/runs");
  FakeOffice(
      "n=$(echo \"$@\" | sed 's/.*,\\(-*[0-9]*\\) .*/\\1/'); "
      "if [ \"$n\" = -1 ]; then echo x > \"$out/$name-Other.csv\"; elif [ \"$n\" -le 2 ]; then printf "
      "\"s$n\\n\" > \"$out/$name.csv\"; fi");
  ASSERT_TRUE(ConvertExcelWorkbook(kFixtures + "sheets.xls", Dir_ / "out.txt", false)) << GetLastErrorText();
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "s1\r\n\r\ns2\r\n");
  EXPECT_EQ(Runs(), 4);
}

TEST_F(OfficeTest, SheetNamesOfDamagedOrOtherFiles) {
  const std::string Workbook = ReadFileBytes(kFixtures + "sheets.xls");
  WriteAll(Dir_ / "cut.xls", Workbook.substr(0, Workbook.size() / 2));
  for (const std::string& File :
       {Dir_ / "in.doc", Dir_ / "cut.xls", kFixtures + "letter.doc", Dir_ / "none.xls"})
    EXPECT_TRUE(WorkbookSheetNames(File).empty()) << File;
}

// A workbook that is not a compound file: the sheets are asked for one by one until a sheet number gives
// no file.
TEST_F(OfficeTest, SheetsAreJoinedInOrder) {
  FakeOffice(
      "n=$(echo \"$@\" | sed 's/.*,\\([0-9]*\\) .*/\\1/'); [ \"$n\" -le 3 ] && printf \"s$n,x\\n\" > "
      "\"$out/$name.csv\"; "
      "exit 0");
  ASSERT_TRUE(ConvertExcelWorkbook(Dir_ / "in.doc", Dir_ / "out.txt", false)) << GetLastErrorText();
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "s1,x\r\n\r\ns2,x\r\n\r\ns3,x\r\n");
  EXPECT_EQ(Runs(), 4);
}

// The text-import back-end takes word-processor documents only, and says why a conversion failed.
TEST_F(OfficeTest, TextImportSaysWhatWentWrong) {
  FakeOffice("printf '{\\\\rtf1 Hello\\\\par}' > \"$out/$name.rtf\"");
  std::string Text;
  ASSERT_TRUE(ConvertFileWithTextConverters(kFixtures + "letter.doc", Text)) << GetLastErrorText();
  EXPECT_NE(Text.find("Hello"), std::string::npos) << Text;

  // Workbooks and presentations are no word-processor documents: no converter takes them.
  WriteAll(Dir_ / "book.xlsx", std::string("PK\x03\x04", 4) + std::string(60, 'x') + "xl/workbook.xml" +
                                   std::string("PK\x05\x06", 4));
  WriteAll(Dir_ / "book.ods", std::string("PK\x03\x04", 4) + std::string(26, '\0') +
                                  "mimetypeapplication/vnd.oasis.opendocument.spreadsheetPK");
  WriteAll(Dir_ / "letter.odt", std::string("PK\x03\x04", 4) + std::string(26, '\0') +
                                    "mimetypeapplication/vnd.oasis.opendocument.textPK");
  std::filesystem::remove(Dir_ / "bin/runs");
  for (const std::string& File : {kFixtures + "sheets.xls", Dir_ / "book.xlsx", Dir_ / "book.ods"}) {
    EXPECT_FALSE(ConvertFileWithTextConverters(File, Text)) << File;
    EXPECT_EQ(GetLastErrorText(), "No appropriate converters found for \"" + File + "\"");
  }
  EXPECT_EQ(Runs(), 0);
  EXPECT_TRUE(ConvertFileWithTextConverters(Dir_ / "letter.odt", Text)) << GetLastErrorText();

  const struct {
    const char* Script;
    std::string Error;
  } Failures[] = {
      {"echo 'Error: no export filter for x.rtf found, aborting.'",
       "Error: no export filter for x.rtf found, aborting."},
      {"echo 'Error: source file could not be loaded' >&2",
       "Probably the document is password-protected or invalid\r\n"
       "MS Converter returned the following error description:\r\nError: source file could not be loaded"},
  };
  for (const auto& F : Failures) {
    FakeOffice(F.Script);
    EXPECT_FALSE(ConvertFileWithTextConverters(kFixtures + "letter.doc", Text)) << F.Script;
    EXPECT_EQ(GetLastErrorText(), F.Error);
  }
  OfficeProgram = Dir_ / "bin/absent";
  EXPECT_FALSE(ConvertFileWithTextConverters(kFixtures + "letter.doc", Text));
  EXPECT_EQ(GetLastErrorText(), kOfficeNotFound);
}

bool HaveOffice() { return !FindOnPath("soffice").empty(); }

// LibreOffice itself: a few seconds per run.
TEST_F(OfficeTest, RealOfficeConvertsEveryKind) {
  if (!HaveOffice()) GTEST_SKIP() << "LibreOffice is not installed";
  ASSERT_TRUE(ConvertWordDocument(kFixtures + "letter.doc", Dir_ / "w.txt", false)) << GetLastErrorText();
  EXPECT_EQ(ReadFileBytes(Dir_ / "w.txt"), "Dear reader,\r\nthe caf\xE9 opens at nine.\r\n");
  ASSERT_TRUE(ConvertWordDocument(kFixtures + "letter.doc", Dir_ / "u.txt", true)) << GetLastErrorText();
  const std::string Unicode = ReadFileBytes(Dir_ / "u.txt");
  EXPECT_EQ(Unicode.substr(0, 6), std::string("\xFF\xFE"
                                              "D\0e\0",
                                              6));
  EXPECT_NE(Unicode.find(std::string("c\0a\0f\0\xE9\0", 8)), std::string::npos);
  ASSERT_TRUE(ConvertExcelWorkbook(kFixtures + "sheets.xls", Dir_ / "x.txt", false)) << GetLastErrorText();
  EXPECT_EQ(ReadFileBytes(Dir_ / "x.txt"), "z1,z2\r\n\r\na1\r\n\r\nm1\r\n");
  if (!FindOnPath("pdftotext").empty()) {
    ASSERT_TRUE(ConvertPowerPointPresentation(kFixtures + "slides.fodp", Dir_ / "p.txt", false))
        << GetLastErrorText();
    const std::string Slides = ReadFileBytes(Dir_ / "p.txt");
    EXPECT_LT(Slides.find("Quarterly slide words"), Slides.find("Second slide text")) << Slides;
  }
  std::string Text;
  ASSERT_TRUE(ConvertFileWithTextConverters(kFixtures + "letter.doc", Text)) << GetLastErrorText();
  EXPECT_EQ(Text, "Dear reader,\r\nthe caf\xE9 opens at nine.\r\n");
  WriteAll(Dir_ / "bad.docx", "PK\x03\x04 not a document");
  EXPECT_FALSE(ConvertFileWithTextConverters(Dir_ / "bad.docx", Text));
  EXPECT_EQ(
      GetLastErrorText(),
      "Probably the document is password-protected or invalid\r\n"
      "MS Converter returned the following error description:\r\nError: source file could not be loaded");
}

}  // namespace
