// The Word converter on real documents (Word 97 with 8-bit and UTF-16 pieces, fast-saved, lower-case
// stream names, Word 6 and 95), on damaged copies of them, and as impwrite.so through the converter host.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/ConverterExports.h"
#include "plugins/impwrite/DocImp.h"
#include "search/NLSProcsDyn.h"
#include "search/QVConvIntf.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"
#include "tests/plugins/impwrite/ConverterAnswers.h"
#include "tests/plugins/impwrite/WordBuilder.h"

#ifndef SCRYLINE_IMPWRITE
#error "SCRYLINE_IMPWRITE must name the Word converter library"
#endif

namespace {

std::string WordFixture(const std::string& Name) { return OfficeFixture("impwrite", Name); }

void ReadWord(const std::string& Path, bool Unicode, std::string& Text) {
  Text.clear();
  ASSERT_TRUE(ConvertWordFile(Path, Unicode, nullptr, Text));
}

class WordFixtures : public TWesternCodePageTest {};

TEST_F(WordFixtures, TextOfRealDocuments) {
  const struct {
    const char* File;
    std::vector<std::u16string> Words;
  } Cases[] = {
      {"test2.doc",
       {u"This is a simple word document\r\n", u"It has a number of paragraphs in it",
        u"This bit is in a different font and size", u"It is otherwise very very boring."}},
      {"ThreeColHeadFoot.doc",
       {u"First header column!", u"Footer Left", u"This is a sample word document. It has two pages."}},
      {"HeaderFooterUnicode.doc",
       {u"This is a simple header, with a \u20ac euro symbol in it.",
        u"The footer, with Moli\u00e8re, has Unicode in it.", u"GBP - \u00a3", u"EUR - \u20ac",
        u"we\u2019ll have some French text"}},
      {"rasp.doc",
       {u"\u0425\u0425\u0425\u0425\u0425",
        u"\u0420\u0430\u0441\u043f\u043e\u0440\u044f\u0436\u0435\u043d\u0438\u0435 \u043d\u0430"}},
      {"Bug48075.doc", {u"\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435"}},
      {"footnote.doc", {u"Test text", u"TestFootnote", u"TestEndnote", u"TestComment"}},
      {"47950_lower.doc", {u"This is a sample Word document"}},
      {"testWORD.doc",
       {u"Sample Word Document", u"This is a sample Microsoft Word Document.", u"Main Heading"}},
      {"testWORD_various.doc",
       {u"Footnote appears here", u"This is a footnote.", u"Here is a text box", u"Bullet 1", u"Row 1 Col 1",
        u"\u30be\u30eb\u30b2\u3068\u5c3e\u5d0e", u"\uff08\uff27\uff28\uff31\uff09",
        u"\U00010332\U0001033F\U00010344"}},
      // Word 6 and 95: 8-bit text, made UTF-16 from the charset its bytes suggest.
      {"Word6.doc", {u"The quick brown fox jumps over the lazy dog\r\n"}},
      {"Word6-Czech-cp1250.doc", {u"p\u0159ed domem"}},
      {"Word95.doc",
       {u"The quick brown fox jumps over the lazy dog",
        u"Paragraph 3. Has some RED text and some BLUE BOLD text in it.", u"Last (4th) paragraph."}},
      {"Bug60942.doc", {u"BERTHOD", u"APPLICOLOR", u"les meilleurs", u"GUY LECOLE", u"Soci\u00e9t\u00e9"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    ExpectWords(ReadWord, WordFixture(C.File), C.Words);
  }
}

TEST_F(WordFixtures, CyrillicTextBecomesWindows1251InEightBitForm) {
  std::string Text;
  ReadWord(WordFixture("Bug48075.doc"), false, Text);
  const std::string Word = WideToCharset(u"\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435", 17);
  EXPECT_EQ(Text.rfind(Word, 0), 0u);
}

TEST_F(WordFixtures, Word6TextIsReadInTheCodePageOfItsLanguage) {
  // A Word 6 document whose FIB records Czech and whose text is in Windows-1250.
  const std::string Path = WordFixture("Word6-Czech-cp1250.doc");
  std::string Text;
  ReadWord(Path, true, Text);
  EXPECT_EQ(
      FromUtf16Bytes(Text),
      u"\u017dlut\u00fd k\u016f\u0148 p\u0159ed domem: \u0161\u0165astn\u00fd a l\u00edn\u00fd pes...\r\n");
  // 8-bit text on a Western system: Windows-1252, with "?" for the letters it lacks.
  ReadWord(Path, false, Text);
  EXPECT_EQ(Text, "\x8elut\xfd k?? p?ed domem: \x9a?astn\xfd a l\xedn\xfd pes...\r\n");
  // On a Central European system the text stays in its own page.
  ASSERT_TRUE(qvnls::SetSystemCodePages(1250, 852));
  ReadWord(Path, false, Text);
  EXPECT_EQ(Text,
            "\x8elut\xfd k\xf9\xf2 p\xf8"
            "ed domem: \x9a\x9d"
            "astn\xfd a l\xedn\xfd pes...\r\n");
}

// A Word 6 document marked English whose text is in Windows-1250: the language names no code page, so
// the system's decides, and a Central European system reads its own letters (the language once forced
// Windows-1252 on every system: "p\u00f8ed" for "p\u0159ed").
TEST_F(WordFixtures, AnEnglishLanguageNeverOverridesTheSystemPage) {
  const std::string Path = WordFixture("Word6-English-cp1250.doc");
  const std::string Stored =
      "\x8elut\xfd k\xf9\xf2 p\xf8"
      "ed domem: \x9a\x9d"
      "astn\xfd a l\xedn\xfd pes...\r\n";
  std::string Text;
  ASSERT_TRUE(qvnls::SetSystemCodePages(1250, 852));
  ReadWord(Path, true, Text);
  EXPECT_EQ(
      FromUtf16Bytes(Text),
      u"\u017dlut\u00fd k\u016f\u0148 p\u0159ed domem: \u0161\u0165astn\u00fd a l\u00edn\u00fd pes...\r\n");
  ReadWord(Path, false, Text);
  EXPECT_EQ(Text, Stored);
  // A Western system reads the bytes in its own page, as it reads any text that names none.
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  ReadWord(Path, false, Text);
  EXPECT_EQ(Text, Stored);
  ReadWord(Path, true, Text);
  EXPECT_NE(FromUtf16Bytes(Text).find(u"p\u00f8ed domem"), std::u16string::npos);
}

// Word 6/95 text in the code page of each run's font: Word95-two-fonts.doc sets one run in a Cyrillic font
// and one in a Central European font (named in the runs' formatting), the rest in ANSI fonts;
// Word6-style-font-cp1250.doc, marked English, takes its Central European font from its paragraph style.
// The result is the same on every system.
TEST_F(WordFixtures, Word6TextIsReadInTheCodePageOfItsFonts) {
  const std::u16string TwoFonts =
      u"Paragraph 3. Has some \u041c\u0438\u0440 text and some "
      u"\u017elu\u0165ou\u010dk\u00fd text in it.\r\n";
  const std::u16string StyleFont =
      u"\u017dlut\u00fd k\u016f\u0148 p\u0159ed domem: \u0161\u0165astn\u00fd a l\u00edn\u00fd pes...\r\n";
  for (const auto& [Ansi, Oem] : {std::pair{1252, 850}, std::pair{1250, 852}, std::pair{1251, 866}}) {
    SCOPED_TRACE(Ansi);
    ASSERT_TRUE(qvnls::SetSystemCodePages(Ansi, Oem));
    std::string Text;
    ReadWord(WordFixture("Word95-two-fonts.doc"), true, Text);
    const std::u16string Wide = FromUtf16Bytes(Text);
    EXPECT_NE(Wide.find(TwoFonts), std::u16string::npos) << Utf16ToUtf8(Wide);
    EXPECT_NE(Wide.find(u"The quick brown fox jumps over the lazy dog\r\n"), std::u16string::npos);
    ReadWord(WordFixture("Word6-style-font-cp1250.doc"), true, Text);
    EXPECT_EQ(FromUtf16Bytes(Text), StyleFont);
  }
  // 8-bit form: the system's page, with "?" for the letters it lacks.
  std::string Text;
  ASSERT_TRUE(qvnls::SetSystemCodePages(1250, 852));
  ReadWord(WordFixture("Word95-two-fonts.doc"), false, Text);
  EXPECT_NE(Text.find("Has some ??? text and some \x9elu\x9dou\xe8k\xfd text in it.\r\n"), std::string::npos)
      << Text;
  ReadWord(WordFixture("Word6-style-font-cp1250.doc"), false, Text);
  EXPECT_EQ(Text,
            "\x8elut\xfd k\xf9\xf2 p\xf8"
            "ed domem: \x9a\x9d"
            "astn\xfd a l\xedn\xfd pes...\r\n");
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  ReadWord(WordFixture("Word95-two-fonts.doc"), false, Text);
  EXPECT_NE(Text.find("Has some \xcc\xe8\xf0 text and some ?lu?ou?k? text in it.\r\n"), std::string::npos)
      << Text;
}

TEST_F(WordFixtures, Word95CodePageFromTheFibOrFromTheGuess) {
  // Czech and Russian words in their Windows pages, and Greek.
  const std::string Czech = "p\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd\r";
  const std::string Russian = "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0\r";
  const struct {
    const char* Name;
    std::string Bytes;
    uint16_t Language, TextCharset;
    std::u16string Unicode;
  } Cases[] = {
      {"czech", Czech, 0x0405, kFibCharsetWindows,
       u"p\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd\r\n"},
      {"russian", Russian, 0x0419, kFibCharsetWindows,
       u"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440\r\n"},
      {"greek", "\xe3\xe5\xe9\xdc\r", 0x0408, kFibCharsetWindows, u"\u03b3\u03b5\u03b9\u03ac\r\n"},
      // No language, or a Macintosh character set: the charset the bytes suggest (the Cyrillic guess).
      {"none", Russian, 0x0000, kFibCharsetWindows,
       u"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440\r\n"},
      {"mac", Russian, 0x0405, kFibCharsetMacintosh,
       u"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440\r\n"},
  };
  TTestFolder Folder;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string Path =
        Folder.Write(std::string(C.Name) + ".doc", Word95Document(C.Bytes, C.Language, C.TextCharset));
    std::string Text;
    ReadWord(Path, true, Text);
    EXPECT_EQ(FromUtf16Bytes(Text), C.Unicode);
  }
  // 8-bit text in Windows-1251 stays in it, as Cyrillic text of Word 97 documents comes out.
  std::string Text;
  ReadWord(Folder.Write("ru.doc", Word95Document(Russian, 0x0419)), false, Text);
  EXPECT_EQ(Text, Russian + "\n");
}

TEST_F(WordFixtures, BrokenDocumentsFailWithTheirTexts) {
  const struct {
    const char* File;
    const char* Error;
  } Cases[] = {
      {"PasswordProtected.doc", "Document encrypted"},
      {"word2.doc", "The file is not a storage object"},
  };
  for (const auto& C : Cases) {
    for (bool Unicode : {true, false}) {
      std::string Text;
      try {
        ConvertWordFile(WordFixture(C.File), Unicode, nullptr, Text);
        ADD_FAILURE() << C.File << ": no error";
      } catch (const std::exception& E) {
        EXPECT_STREQ(E.what(), C.Error) << C.File;
      }
    }
  }
  // A fuzzed document: its directory names are damaged and its FIB names a table stream that is not
  // there. Whatever it gives, it ends.
  std::string Text;
  try {
    ConvertWordFile(WordFixture("clusterfuzz-testcase-minimized-POIHWPFFuzzer-5418937293340672.doc"), true,
                    nullptr, Text);
  } catch (const std::exception& E) {
    EXPECT_STRNE(E.what(), "");
  }
}

TEST_F(WordFixtures, DamagedCopiesEndCleanly) {
  std::vector<std::string> Paths;
  for (const char* Name :
       {"test2.doc", "ThreeColHeadFoot.doc", "HeaderFooterUnicode.doc", "rasp.doc", "Bug48075.doc",
        "footnote.doc", "47950_lower.doc", "testWORD.doc", "testWORD_various.doc", "Word6.doc", "Word95.doc",
        "Bug60942.doc", "Word6-Czech-cp1250.doc", "Word6-English-cp1250.doc", "Word95-two-fonts.doc",
        "Word6-style-font-cp1250.doc"}) {
    Paths.push_back(WordFixture(Name));
  }
  ExpectDamagedCopiesEndCleanly(ReadWord, Paths);
}

// impwrite.so loaded as the program loads it.
class WordHost : public TWesternCodePageTest {
 protected:
  void SetUp() override {
    TWesternCodePageTest::SetUp();
    ASSERT_EQ(Converters_.AddConverter(SCRYLINE_IMPWRITE, false), kConverterLoaded)
        << Converters_.LastLoadError;
    Converter_ = Converters_.GetConverter(0);
  }
  std::string Convert(const std::string& Path, bool Unicode, std::string& Error,
                      const TConvertProgressEvent& Progress = nullptr) {
    int32_t Size = -1;
    TResultBlock Block = Converter_->ConvertFile(Path, Unicode, Progress, Error, Size);
    if (Block == nullptr) return "(none)";
    return std::string(static_cast<const char*>(Block.get()), static_cast<std::size_t>(Size));
  }

  TQVConverters Converters_;
  TQVConverter* Converter_ = nullptr;
  TTestFolder Folder_;
};

TEST_F(WordHost, AnswersOfTheLibrary) {
  ExpectConverterAnswers(*Converter_, {"Quorvane Library v.021010", 5378562, 30, "doc",
                                       "Microsoft\u00ae Word Document (DOC)", true});

  // Memory conversion is refused with a text.
  char Data[8] = {};
  int32_t Size = 8;
  EXPECT_EQ(Converter_->Exports.ConvertMemoryToUnicode(Data, 0, &Size), nullptr);
  EXPECT_EQ(Size, 0);
  EXPECT_EQ(Converter_->GetErrorText(), "Converting memory not supported");
}

TEST_F(WordHost, ConvertsInBothForms) {
  std::string Error;
  const std::u16string Wide = FromUtf16Bytes(Convert(WordFixture("test2.doc"), true, Error));
  EXPECT_EQ(Wide.rfind(u"This is a simple word document\r\n", 0), 0u) << Error;
  EXPECT_NE(Convert(WordFixture("test2.doc"), false, Error).find("It is otherwise very very boring."),
            std::string::npos);
  // A Word 95 document asked for as UTF-16.
  const std::u16string Word95 = FromUtf16Bytes(Convert(WordFixture("Word95.doc"), true, Error));
  EXPECT_NE(Word95.find(u"Last (4th) paragraph.\r\n"), std::u16string::npos) << Error;

  // By content, when the name says nothing, through the list.
  const std::string Renamed = Folder_.Write("letter.dat", ReadWholeFile(WordFixture("47950_lower.doc")));
  TQVConverter* Who = nullptr;
  int32_t Size = -1;
  bool Unicode = false;
  TResultBlock Block = Converters_.ConvertFile(Renamed, kUnicodeModeNative, "", Error, Who, Size, Unicode);
  ASSERT_NE(Block, nullptr) << Error;
  EXPECT_EQ(Who, Converter_);
  EXPECT_TRUE(Unicode);
  EXPECT_NE(
      FromUtf16Bytes(Block.get(), static_cast<std::size_t>(Size)).find(u"This is a sample Word document"),
      std::u16string::npos);
}

TEST_F(WordHost, FailuresAndCancel) {
  std::string Error;
  EXPECT_EQ(Convert(WordFixture("PasswordProtected.doc"), true, Error), "(none)");
  EXPECT_NE(Error.find("Document encrypted"), std::string::npos) << Error;
  // A conversion does not clear the text of an earlier failure.
  EXPECT_NE(Convert(WordFixture("Word6.doc"), true, Error), "(none)");
  EXPECT_EQ(Converter_->GetErrorText(), "Document encrypted");

  const std::string Missing = Folder_.Path + "/missing.doc";
  EXPECT_EQ(Convert(Missing, true, Error), "(none)");
  EXPECT_FALSE(Error.empty());
  EXPECT_FALSE(Converter_->IsFileSupported(Missing));
  EXPECT_FALSE(Converter_->IsFileSupported(WordFixture("word2.doc")));
  EXPECT_TRUE(Converter_->IsFileSupported(WordFixture("Word6.doc")));

  int Polls = 0;
  const TConvertProgressEvent Stop = [&Polls](TQVConverter*, int32_t, int32_t) { return ++Polls < 2; };
  const std::string TwoPieces = Folder_.Write("two.doc", Word97Document({{"one", false}, {"two", false}}));
  EXPECT_EQ(Convert(TwoPieces, true, Error, Stop), "(none)");
  EXPECT_EQ(Polls, 2);
  EXPECT_NE(Error.find("User canceled"), std::string::npos) << Error;
}

}  // namespace
