// The spreadsheet and presentation converter libraries loaded by the converter host, as the program loads
// them: their answers to the contract, conversions in both forms, failures with their texts, and cancel.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "plugins/ConverterExports.h"
#include "search/QVConvIntf.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/BiffBuilder.h"
#include "tests/plugins/impcalc2/FixtureDamage.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"

#ifndef SCRYLINE_IMPCALC2
#error "SCRYLINE_IMPCALC2 must name the spreadsheet converter library"
#endif

namespace {

TEST(OfficeConverters, AnswersOfTheLibraries) {
  struct TCase {
    const char* path;
    const char* info;
    int32_t version;
    int32_t flags;
    const char* type;
    const char* description;
    bool set_callback;
  };
  const TCase cases[] = {
      {SCRYLINE_IMPCALC2, "Quorvane Library v.021010", 21010, 0x1E, "xls",
       "Microsoft\u00ae Excel Sheet (XLS)", true},
      {SCRYLINE_IMPSHOW2, "Quorvane Library v.020808", 20808, 0x0E, "ppt",
       "Microsoft(R) PowerPoint Presentation (PPT)", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.path);
    void* lib = dlopen(c.path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto sym = [lib](const char* name) { return dlsym(lib, name); };
    EXPECT_STREQ(reinterpret_cast<TGetDllInfo>(sym("GetDllInfo"))(), c.info);
    EXPECT_EQ(reinterpret_cast<TGetDllVersion>(sym("GetDllVersion"))(), c.version);
    EXPECT_EQ(reinterpret_cast<TGetCompatibilityFlags>(sym("GetCompatibilityFlags"))(), c.flags);
    int32_t count = 0;
    EXPECT_STREQ(reinterpret_cast<TListSupportedTypes>(sym("ListSupportedTypes"))(&count), c.type);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(reinterpret_cast<TGetType>(sym("GetType"))(0), c.type);
    EXPECT_EQ(reinterpret_cast<TGetType>(sym("GetType"))(1), nullptr);
    EXPECT_STREQ(reinterpret_cast<TGetTypeDescription>(sym("GetTypeDescription"))(0), c.description);
    EXPECT_EQ(reinterpret_cast<TGetTypeDescription>(sym("GetTypeDescription"))(1), nullptr);
    auto type_supported = reinterpret_cast<TIsFileTypeSupported>(sym("IsFileTypeSupported"));
    EXPECT_TRUE(type_supported(std::string(c.type).c_str()));
    EXPECT_TRUE(type_supported((std::string(1, static_cast<char>(c.type[0] - 32)) + (c.type + 1)).c_str()));
    EXPECT_FALSE(type_supported((std::string(c.type) + "x").c_str()));
    EXPECT_EQ(sym("SetCallback") != nullptr, c.set_callback);
    EXPECT_EQ(sym("IsMemDataSupported"), nullptr);
    // Memory conversion: null, with Size and the error text left alone.
    char data[4] = {};
    int32_t size = 4;
    EXPECT_EQ(reinterpret_cast<TConvertMemoryToUnicode>(sym("ConvertMemoryToUnicode"))(data, 0, &size),
              nullptr);
    EXPECT_EQ(size, 4);
    char error[64] = "x";
    EXPECT_FALSE(reinterpret_cast<TGetConversionError>(sym("GetConversionError"))(error, sizeof error));
    EXPECT_STREQ(error, "");
    dlclose(lib);
  }
}

class OfficeHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(converters_.AddConverter(SCRYLINE_IMPCALC2, false), kConverterLoaded);
    ASSERT_EQ(converters_.AddConverter(SCRYLINE_IMPSHOW2, false), kConverterLoaded);
  }
  // The text of FileName through the host, asking for UTF-16; ErrorText on failure.
  std::u16string Convert(const std::string& FileName, std::string& ErrorText, TQVConverter** Who = nullptr) {
    TQVConverter* converter = nullptr;
    int32_t size = -1;
    bool unicode = false;
    TResultBlock block =
        converters_.ConvertFile(FileName, kUnicodeModeUnicode, "", ErrorText, converter, size, unicode);
    if (Who != nullptr) *Who = converter;
    if (block == nullptr) return u"(none)";
    EXPECT_TRUE(unicode);
    // A zero character follows the text.
    EXPECT_EQ(static_cast<const char*>(block.get())[size], 0);
    EXPECT_EQ(static_cast<const char*>(block.get())[size + 1], 0);
    return FromUtf16Bytes(block.get(), static_cast<std::size_t>(size));
  }

  TQVConverters converters_;
  TTestFolder folder_;
};

TEST_F(OfficeHost, ConvertsWorkbooksAndPresentations) {
  std::string error;
  TQVConverter* who = nullptr;
  const std::u16string sheet = Convert(OfficeFixture("impcalc2", "testEXCEL.xls"), error, &who);
  EXPECT_NE(sheet.find(u"Numbers and their Squares"), std::u16string::npos) << error;
  EXPECT_EQ(who, converters_.GetConverter(0));
  const std::u16string slides = Convert(OfficeFixture("impshow2", "testPPT.ppt"), error, &who);
  EXPECT_NE(slides.find(u"Sample Powerpoint Slide"), std::u16string::npos) << error;
  EXPECT_EQ(who, converters_.GetConverter(1));
  // By content when the extension says nothing: a workbook named .dat.
  const std::string renamed =
      folder_.Write("book.dat", ReadWholeFile(OfficeFixture("impcalc2", "Simple.xls")));
  EXPECT_NE(Convert(renamed, error, &who).find(u"replaceMe"), std::u16string::npos) << error;
  EXPECT_EQ(who, converters_.GetConverter(0));
  EXPECT_TRUE(converters_.GetConverter(0)->IsFileSupported(renamed));
  EXPECT_FALSE(converters_.GetConverter(1)->IsFileSupported(renamed));

  // 8-bit text from the same library.
  int32_t size = 0;
  std::string text_error;
  TResultBlock ansi = converters_.GetConverter(0)->ConvertFile(OfficeFixture("impcalc2", "Simple.xls"), false,
                                                               nullptr, text_error, size);
  ASSERT_NE(ansi, nullptr) << text_error;
  EXPECT_EQ(std::string(static_cast<const char*>(ansi.get()), static_cast<std::size_t>(size)),
            "replaceMe\r\n------------------------------\r\n------------------------------\r\n");
}

TEST_F(OfficeHost, FailuresCarryTheirTexts) {
  struct TCase {
    std::string file;
    int converter;
    const char* text;
  };
  const TCase cases[] = {
      {OfficeFixture("impcalc2", "password.xls"), 0, "File is password-protected"},
      {OfficeFixture("impcalc2", "testEXCEL_4.xls"), 0, "The file is not a storage object"},
      {folder_.Write("other.xls", BuildCompoundFile({{u"Other", "x"}}).Bytes), 0,
       "The stream with specified name does not exist"},
      {folder_.Write("other.ppt", BuildCompoundFile({{u"Other", "x"}}).Bytes), 1,
       "The stream with specified name does not exist"},
  };
  for (const TCase& c : cases) {
    int32_t size = -1;
    std::string error;
    TResultBlock block =
        converters_.GetConverter(c.converter)->ConvertFile(c.file, true, nullptr, error, size);
    EXPECT_EQ(block, nullptr) << c.file;
    EXPECT_NE(error.find(c.text), std::string::npos) << c.file << ": " << error;
  }
}

TEST_F(OfficeHost, AnEmptyWorkbookIsAnEmptyText) {
  TBiffStream stream;
  stream.Eof().Sheet(0, 1, "");
  const std::string path = folder_.Write("empty.xls", WorkbookFile(stream.Bytes));
  int32_t size = -1;
  std::string error;
  TResultBlock block = converters_.GetConverter(0)->ConvertFile(path, true, nullptr, error, size);
  ASSERT_NE(block, nullptr) << error;
  EXPECT_EQ(size, 0);
  EXPECT_EQ(static_cast<const char*>(block.get())[0], 0);
  EXPECT_EQ(static_cast<const char*>(block.get())[1], 0);
}

TEST_F(OfficeHost, AWorkbookConversionCanBeCancelled) {
  int polls = 0;
  const TConvertProgressEvent stop = [&polls](TQVConverter*, int32_t Current, int32_t Total) {
    EXPECT_EQ(Current, -1);
    EXPECT_EQ(Total, -1);
    ++polls;
    return false;
  };
  int32_t size = -1;
  std::string error;
  TResultBlock block = converters_.GetConverter(0)->ConvertFile(OfficeFixture("impcalc2", "Simple.xls"), true,
                                                                stop, error, size);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(polls, 1);
  EXPECT_NE(error.find("User canceled"), std::string::npos) << error;
}

}  // namespace
