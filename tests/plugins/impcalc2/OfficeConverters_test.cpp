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
    const char* Path;
    const char* Info;
    int32_t Version;
    int32_t Flags;
    const char* Type;
    const char* Description;
    bool SetCallback;
  };
  const TCase Cases[] = {
      {SCRYLINE_IMPCALC2, "Quorvane Library v.021010", 21010, 0x1E, "xls",
       "Microsoft\u00ae Excel Sheet (XLS)", true},
      {SCRYLINE_IMPSHOW2, "Quorvane Library v.020808", 20808, 0x0E, "ppt",
       "Microsoft(R) PowerPoint Presentation (PPT)", false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Path);
    void* Lib = dlopen(C.Path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Lib, nullptr) << dlerror();
    auto Sym = [Lib](const char* Name) { return dlsym(Lib, Name); };
    EXPECT_STREQ(reinterpret_cast<TGetDllInfo>(Sym("GetDllInfo"))(), C.Info);
    EXPECT_EQ(reinterpret_cast<TGetDllVersion>(Sym("GetDllVersion"))(), C.Version);
    EXPECT_EQ(reinterpret_cast<TGetCompatibilityFlags>(Sym("GetCompatibilityFlags"))(), C.Flags);
    int32_t Count = 0;
    EXPECT_STREQ(reinterpret_cast<TListSupportedTypes>(Sym("ListSupportedTypes"))(&Count), C.Type);
    EXPECT_EQ(Count, 1);
    EXPECT_STREQ(reinterpret_cast<TGetType>(Sym("GetType"))(0), C.Type);
    EXPECT_EQ(reinterpret_cast<TGetType>(Sym("GetType"))(1), nullptr);
    EXPECT_STREQ(reinterpret_cast<TGetTypeDescription>(Sym("GetTypeDescription"))(0), C.Description);
    EXPECT_EQ(reinterpret_cast<TGetTypeDescription>(Sym("GetTypeDescription"))(1), nullptr);
    auto TypeSupported = reinterpret_cast<TIsFileTypeSupported>(Sym("IsFileTypeSupported"));
    EXPECT_TRUE(TypeSupported(std::string(C.Type).c_str()));
    EXPECT_TRUE(TypeSupported((std::string(1, static_cast<char>(C.Type[0] - 32)) + (C.Type + 1)).c_str()));
    EXPECT_FALSE(TypeSupported((std::string(C.Type) + "x").c_str()));
    EXPECT_EQ(Sym("SetCallback") != nullptr, C.SetCallback);
    EXPECT_EQ(Sym("IsMemDataSupported"), nullptr);
    // Memory conversion: null, with Size and the error text left alone.
    char Data[4] = {};
    int32_t Size = 4;
    EXPECT_EQ(reinterpret_cast<TConvertMemoryToUnicode>(Sym("ConvertMemoryToUnicode"))(Data, 0, &Size),
              nullptr);
    EXPECT_EQ(Size, 4);
    char Error[64] = "x";
    EXPECT_FALSE(reinterpret_cast<TGetConversionError>(Sym("GetConversionError"))(Error, sizeof Error));
    EXPECT_STREQ(Error, "");
    dlclose(Lib);
  }
}

class OfficeHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Converters_.AddConverter(SCRYLINE_IMPCALC2, false), kConverterLoaded);
    ASSERT_EQ(Converters_.AddConverter(SCRYLINE_IMPSHOW2, false), kConverterLoaded);
  }
  // The text of FileName through the host, asking for UTF-16; ErrorText on failure.
  std::u16string Convert(const std::string& FileName, std::string& ErrorText, TQVConverter** Who = nullptr) {
    TQVConverter* Converter = nullptr;
    int32_t Size = -1;
    bool Unicode = false;
    TResultBlock Block =
        Converters_.ConvertFile(FileName, kUnicodeModeUnicode, "", ErrorText, Converter, Size, Unicode);
    if (Who != nullptr) *Who = Converter;
    if (Block == nullptr) return u"(none)";
    EXPECT_TRUE(Unicode);
    // A zero character follows the text.
    EXPECT_EQ(static_cast<const char*>(Block.get())[Size], 0);
    EXPECT_EQ(static_cast<const char*>(Block.get())[Size + 1], 0);
    return FromUtf16Bytes(Block.get(), static_cast<std::size_t>(Size));
  }

  TQVConverters Converters_;
  TTestFolder Folder_;
};

TEST_F(OfficeHost, ConvertsWorkbooksAndPresentations) {
  std::string Error;
  TQVConverter* Who = nullptr;
  const std::u16string Sheet = Convert(OfficeFixture("impcalc2", "testEXCEL.xls"), Error, &Who);
  EXPECT_NE(Sheet.find(u"Numbers and their Squares"), std::u16string::npos) << Error;
  EXPECT_EQ(Who, Converters_.GetConverter(0));
  const std::u16string Slides = Convert(OfficeFixture("impshow2", "testPPT.ppt"), Error, &Who);
  EXPECT_NE(Slides.find(u"Sample Powerpoint Slide"), std::u16string::npos) << Error;
  EXPECT_EQ(Who, Converters_.GetConverter(1));
  // By content when the extension says nothing: a workbook named .dat.
  const std::string Renamed =
      Folder_.Write("book.dat", ReadWholeFile(OfficeFixture("impcalc2", "Simple.xls")));
  EXPECT_NE(Convert(Renamed, Error, &Who).find(u"replaceMe"), std::u16string::npos) << Error;
  EXPECT_EQ(Who, Converters_.GetConverter(0));
  EXPECT_TRUE(Converters_.GetConverter(0)->IsFileSupported(Renamed));
  EXPECT_FALSE(Converters_.GetConverter(1)->IsFileSupported(Renamed));

  // 8-bit text from the same library.
  int32_t Size = 0;
  std::string TextError;
  TResultBlock Ansi = Converters_.GetConverter(0)->ConvertFile(OfficeFixture("impcalc2", "Simple.xls"), false,
                                                               nullptr, TextError, Size);
  ASSERT_NE(Ansi, nullptr) << TextError;
  EXPECT_EQ(std::string(static_cast<const char*>(Ansi.get()), static_cast<std::size_t>(Size)),
            "replaceMe\r\n------------------------------\r\n------------------------------\r\n");
}

TEST_F(OfficeHost, FailuresCarryTheirTexts) {
  struct TCase {
    std::string File;
    int Converter;
    const char* Text;
  };
  const TCase Cases[] = {
      {OfficeFixture("impcalc2", "password.xls"), 0, "File is password-protected"},
      {OfficeFixture("impcalc2", "testEXCEL_4.xls"), 0, "The file is not a storage object"},
      {Folder_.Write("other.xls", BuildCompoundFile({{u"Other", "x"}}).Bytes), 0,
       "The stream with specified name does not exist"},
      {Folder_.Write("other.ppt", BuildCompoundFile({{u"Other", "x"}}).Bytes), 1,
       "The stream with specified name does not exist"},
  };
  for (const TCase& C : Cases) {
    int32_t Size = -1;
    std::string Error;
    TResultBlock Block =
        Converters_.GetConverter(C.Converter)->ConvertFile(C.File, true, nullptr, Error, Size);
    EXPECT_EQ(Block, nullptr) << C.File;
    EXPECT_NE(Error.find(C.Text), std::string::npos) << C.File << ": " << Error;
  }
}

TEST_F(OfficeHost, AnEmptyWorkbookIsAnEmptyText) {
  TBiffStream Stream;
  Stream.Eof().Sheet(0, 1, "");
  const std::string Path = Folder_.Write("empty.xls", WorkbookFile(Stream.Bytes));
  int32_t Size = -1;
  std::string Error;
  TResultBlock Block = Converters_.GetConverter(0)->ConvertFile(Path, true, nullptr, Error, Size);
  ASSERT_NE(Block, nullptr) << Error;
  EXPECT_EQ(Size, 0);
  EXPECT_EQ(static_cast<const char*>(Block.get())[0], 0);
  EXPECT_EQ(static_cast<const char*>(Block.get())[1], 0);
}

TEST_F(OfficeHost, AWorkbookConversionCanBeCancelled) {
  int Polls = 0;
  const TConvertProgressEvent Stop = [&Polls](TQVConverter*, int32_t Current, int32_t Total) {
    EXPECT_EQ(Current, -1);
    EXPECT_EQ(Total, -1);
    ++Polls;
    return false;
  };
  int32_t Size = -1;
  std::string Error;
  TResultBlock Block = Converters_.GetConverter(0)->ConvertFile(OfficeFixture("impcalc2", "Simple.xls"), true,
                                                                Stop, Error, Size);
  EXPECT_EQ(Block, nullptr);
  EXPECT_EQ(Polls, 1);
  EXPECT_NE(Error.find("User canceled"), std::string::npos) << Error;
}

}  // namespace
