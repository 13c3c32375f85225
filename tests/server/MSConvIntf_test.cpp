// The text-import converter list with stand-in converters: trial order, use counts, failure texts.
#include "server/MSConvIntf.h"

#include <gtest/gtest.h>

#include "platform/qvnls/Qvnls.h"
#include "tests/server/ServerTestSupport.h"

namespace {

// A converter that takes files whose content starts with Tag and answers Code.
class TFakeConverter final : public TTextConverter {
 public:
  TFakeConverter(std::string Name, std::string Exts, std::string Tag, int32_t Code,
                 std::string Description = "")
      : Name_(std::move(Name)),
        Exts_(std::move(Exts)),
        Tag_(std::move(Tag)),
        Code_(Code),
        Description_(std::move(Description)) {}
  std::string Name() const override { return Name_; }
  std::string Extensions() const override { return Exts_; }
  bool IsFormatCorrect(const std::string& FileName) override {
    return ReadFileBytes(FileName).rfind(Tag_, 0) == 0;
  }
  int32_t ForeignToRtf(const std::string& FileName, std::string& Rtf,
                       const std::function<bool(int32_t)>& Progress) override {
    if (Progress && !Progress(50)) return fceUserCancel;
    Rtf = "{\\rtf1 " + Name_ + ":" + ReadFileBytes(FileName).substr(Tag_.size()) + "\\par}";
    return Code_;
  }
  std::string ErrorDescription(int32_t) override { return Description_; }

 private:
  std::string Name_, Exts_, Tag_;
  int32_t Code_;
  std::string Description_;
};

class MSConvTest : public ::testing::Test {
 protected:
  void SetUp() override { qvnls::SetSystemCodePages(1252, 850); }
  void TearDown() override {
    DoneTextConverters();
    qvnls::ResetSystemCodePages();
  }
  static void Use(std::vector<TFakeConverter*> List) {
    std::vector<std::unique_ptr<TTextConverter>> Converters;
    for (TFakeConverter* C : List) Converters.emplace_back(C);
    SetTextConverters(std::move(Converters));
  }
  TServerStateGuard Guard_;
  TTestDir Dir_;
};

TEST_F(MSConvTest, ConvertersClaimingTheExtensionComeFirst) {
  Use({new TFakeConverter("A", "wri", "X", 0), new TFakeConverter("B", "doc dot", "X", 0)});
  WriteAll(Dir_ / "one.DOC", "Xtext");
  std::string Text;
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir_ / "one.DOC", Text)) << GetLastErrorText();
  EXPECT_EQ(Text, "B:text\r\n");
  WriteAll(Dir_ / "two.txt", "Xmore");
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir_ / "two.txt", Text));
  EXPECT_EQ(Text, "B:more\r\n");  // B has been used, so it is tried first now
}

TEST_F(MSConvTest, TheConverterThatSucceededIsTriedFirstNextTime) {
  Use({new TFakeConverter("A", "", "A", 0), new TFakeConverter("B", "", "B", 0),
       new TFakeConverter("C", "", "C", 0)});
  EXPECT_EQ(TextConverterOrder(), (std::vector<std::string>{"A", "B", "C"}));
  WriteAll(Dir_ / "b.x", "Bfirst");
  std::string Text;
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir_ / "b.x", Text));
  EXPECT_EQ(TextConverterOrder(), (std::vector<std::string>{"B", "A", "C"}));
  WriteAll(Dir_ / "c.x", "Csecond");
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir_ / "c.x", Text));
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir_ / "c.x", Text));
  EXPECT_EQ(TextConverterOrder(), (std::vector<std::string>{"C", "B", "A"}));
}

TEST_F(MSConvTest, FailureTexts) {
  struct TCase {
    int32_t Code;
    std::string Description;
    std::string Expected;  // "%s" stands for the file name
  };
  const TCase Cases[] = {
      {fcePassword, "", "Probably the document is password-protected or invalid"},
      {fcePassword, "it is locked",
       "Probably the document is password-protected or invalid\r\n"
       "MS Converter returned the following error description:\r\nit is locked"},
      {fceFormatErr, "", "Invalid file \"%s\""},
      {fceInvalidFile, "", "Invalid file \"%s\""},
      {fceNoMemory, "", "No memory"},
      {fceReadErr, "", "Error reading file \"%s\""},
      {fceOpenInFileErr, "", "Can't open file \"%s\""},
      {-99, "", "ForeignToRtf32 error -99"},
  };
  const std::string File = Dir_ / "f.doc";
  WriteAll(File, "Tx");
  for (const TCase& C : Cases) {
    Use({new TFakeConverter("T", "doc", "T", C.Code, C.Description)});
    std::string Text;
    EXPECT_FALSE(ConvertFileWithTextConverters(File, Text));
    std::string Expected = C.Expected;
    if (const size_t At = Expected.find("%s"); At != std::string::npos) Expected.replace(At, 2, File);
    EXPECT_EQ(GetLastErrorText(), Expected);
  }
}

TEST_F(MSConvTest, NoConverterTakesTheFile) {
  WriteAll(Dir_ / "f.doc", "nothing known");
  WriteAll(Dir_ / "err.txt", "");
  Use({new TFakeConverter("A", "doc", "A", 0)});
  EXPECT_FALSE(ConvertWithTextConverters(Dir_ / "f.doc", Dir_ / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "No appropriate converters found for \"" + Dir_ / "f.doc\"");
  EXPECT_FALSE(Exists(Dir_ / "out.txt"));
  // With no converter at all the request fails as well; it is never reported as converted.
  Use({});
  EXPECT_EQ(RunServer({"-srv:msconv", Dir_ / "f.doc", Dir_ / "out.txt", "-err:" + Dir_ / "err.txt"}), 1);
  EXPECT_EQ(ReadFileBytes(Dir_ / "err.txt"), "No appropriate converters found for \"" + Dir_ / "f.doc\"");
  EXPECT_FALSE(ConvertWithTextConverters(Dir_ / "missing.doc", Dir_ / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "File \"" + Dir_ / "missing.doc\" not found");
}

int32_t CancelAll(int32_t, int32_t, int32_t, void*) { return 0; }

TEST_F(MSConvTest, ACancelStopsTheSearchForConverters) {
  Use({new TFakeConverter("A", "", "X", 0), new TFakeConverter("B", "", "X", 0)});
  WriteAll(Dir_ / "f.doc", "Xtext");
  PluginCallback = CancelAll;
  std::string Text;
  EXPECT_FALSE(ConvertFileWithTextConverters(Dir_ / "f.doc", Text));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
}

TEST_F(MSConvTest, WritesTheTextToTheTarget) {
  Use({new TFakeConverter("A", "doc", "X", 0)});
  WriteAll(Dir_ / "f.doc", "Xcaf\\'e9");
  ASSERT_TRUE(ConvertWithTextConverters(Dir_ / "f.doc", Dir_ / "out.txt"));
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "A:caf\xE9\r\n");
}

}  // namespace
