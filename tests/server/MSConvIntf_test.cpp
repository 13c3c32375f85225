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
        Exts(std::move(Exts)),
        Tag(std::move(Tag)),
        Code(Code),
        Description(std::move(Description)) {}
  std::string Name() const override { return Name_; }
  std::string Extensions() const override { return Exts; }
  bool IsFormatCorrect(const std::string& FileName) override {
    return ReadFileBytes(FileName).rfind(Tag, 0) == 0;
  }
  int32_t ForeignToRtf(const std::string& FileName, std::string& Rtf,
                       const std::function<bool(int32_t)>& Progress) override {
    if (Progress && !Progress(50)) return fceUserCancel;
    Rtf = "{\\rtf1 " + Name_ + ":" + ReadFileBytes(FileName).substr(Tag.size()) + "\\par}";
    return Code;
  }
  std::string ErrorDescription(int32_t) override { return Description; }

 private:
  std::string Name_, Exts, Tag;
  int32_t Code;
  std::string Description;
};

class MSConvTest : public ::testing::Test {
 protected:
  void SetUp() override { qvnls::SetSystemCodePages(1252, 850); }
  void TearDown() override {
    DoneTextConverters();
    qvnls::ResetSystemCodePages();
  }
  static void Use(std::vector<TFakeConverter*> List) {
    std::vector<std::unique_ptr<TTextConverter>> converters;
    for (TFakeConverter* c : List) converters.emplace_back(c);
    SetTextConverters(std::move(converters));
  }
  TServerStateGuard Guard;
  TTestDir Dir;
};

TEST_F(MSConvTest, ConvertersClaimingTheExtensionComeFirst) {
  Use({new TFakeConverter("A", "wri", "X", 0), new TFakeConverter("B", "doc dot", "X", 0)});
  WriteAll(Dir / "one.DOC", "Xtext");
  std::string text;
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir / "one.DOC", text)) << GetLastErrorText();
  EXPECT_EQ(text, "B:text\r\n");
  WriteAll(Dir / "two.txt", "Xmore");
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir / "two.txt", text));
  EXPECT_EQ(text, "B:more\r\n");  // B has been used, so it is tried first now
}

TEST_F(MSConvTest, TheConverterThatSucceededIsTriedFirstNextTime) {
  Use({new TFakeConverter("A", "", "A", 0), new TFakeConverter("B", "", "B", 0),
       new TFakeConverter("C", "", "C", 0)});
  EXPECT_EQ(TextConverterOrder(), (std::vector<std::string>{"A", "B", "C"}));
  WriteAll(Dir / "b.x", "Bfirst");
  std::string text;
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir / "b.x", text));
  EXPECT_EQ(TextConverterOrder(), (std::vector<std::string>{"B", "A", "C"}));
  WriteAll(Dir / "c.x", "Csecond");
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir / "c.x", text));
  ASSERT_TRUE(ConvertFileWithTextConverters(Dir / "c.x", text));
  EXPECT_EQ(TextConverterOrder(), (std::vector<std::string>{"C", "B", "A"}));
}

TEST_F(MSConvTest, FailureTexts) {
  struct TCase {
    int32_t Code;
    std::string Description;
    std::string Expected;  // "%s" stands for the file name
  };
  const TCase cases[] = {
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
  const std::string file = Dir / "f.doc";
  WriteAll(file, "Tx");
  for (const TCase& c : cases) {
    Use({new TFakeConverter("T", "doc", "T", c.Code, c.Description)});
    std::string text;
    EXPECT_FALSE(ConvertFileWithTextConverters(file, text));
    std::string expected = c.Expected;
    if (const size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, file);
    EXPECT_EQ(GetLastErrorText(), expected);
  }
}

TEST_F(MSConvTest, NoConverterTakesTheFile) {
  WriteAll(Dir / "f.doc", "nothing known");
  WriteAll(Dir / "err.txt", "");
  Use({new TFakeConverter("A", "doc", "A", 0)});
  EXPECT_FALSE(ConvertWithTextConverters(Dir / "f.doc", Dir / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "No appropriate converters found for \"" + Dir / "f.doc\"");
  EXPECT_FALSE(Exists(Dir / "out.txt"));
  // With no converter at all the request fails as well; it is never reported as converted.
  Use({});
  EXPECT_EQ(RunServer({"-srv:msconv", Dir / "f.doc", Dir / "out.txt", "-err:" + Dir / "err.txt"}), 1);
  EXPECT_EQ(ReadFileBytes(Dir / "err.txt"), "No appropriate converters found for \"" + Dir / "f.doc\"");
  EXPECT_FALSE(ConvertWithTextConverters(Dir / "missing.doc", Dir / "out.txt"));
  EXPECT_EQ(GetLastErrorText(), "File \"" + Dir / "missing.doc\" not found");
}

int32_t CancelAll(int32_t, int32_t, int32_t, void*) { return 0; }

TEST_F(MSConvTest, ACancelStopsTheSearchForConverters) {
  Use({new TFakeConverter("A", "", "X", 0), new TFakeConverter("B", "", "X", 0)});
  WriteAll(Dir / "f.doc", "Xtext");
  PluginCallback = CancelAll;
  std::string text;
  EXPECT_FALSE(ConvertFileWithTextConverters(Dir / "f.doc", text));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
}

TEST_F(MSConvTest, WritesTheTextToTheTarget) {
  Use({new TFakeConverter("A", "doc", "X", 0)});
  WriteAll(Dir / "f.doc", "Xcaf\\'e9");
  ASSERT_TRUE(ConvertWithTextConverters(Dir / "f.doc", Dir / "out.txt"));
  EXPECT_EQ(ReadFileBytes(Dir / "out.txt"), "A:caf\xE9\r\n");
}

}  // namespace
