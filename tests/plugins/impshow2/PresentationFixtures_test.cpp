// Real presentations from other projects' test suites (fixtures/README.md): the words each must give,
// slide by slide where the order is known, and damaged copies of every one that must end cleanly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugins/impshow2/PptTextScanner.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"

namespace {

std::string Fixture(const std::string& Name) { return OfficeFixture("impshow2", Name); }

void ReadPresentation(const std::string& Path, bool Unicode, std::string& Text) {
  ASSERT_TRUE(ConvertPresentationFile(Path, Unicode, Text));
}

std::u16string Text(const std::string& File) {
  std::string Bytes;
  EXPECT_TRUE(ConvertPresentationFile(Fixture(File), true, Bytes));
  return FromUtf16Bytes(Bytes);
}

class PresentationFixtures : public TWesternCodePageTest {};

TEST_F(PresentationFixtures, WordsOfEachPresentation) {
  struct TCase {
    const char* File;
    std::vector<std::u16string> Words;
  };
  const TCase Cases[] = {
      {"basic_test_ppt_file.ppt",
       {u"This is a test title", u"This is a test subtitle", u"This is on page 1",
        u"This is the title on page 2", u"It has several blocks of text", u"None of them have formatting"}},
      {"with_textbox.ppt",
       {u"Hello, World!!!", u"I am just a poor boy", u"This is Times New Roman", u"Plain Text"}},
      {"incorrect_slide_order.ppt",
       {u"Slide 1", u"Slide 2", u"Slide 3", u"First slide I added", u"Second slide I added",
        u"Third slide I added"}},
      {"Single_Coloured_Page.ppt",
       {u"This is a title, it\u2019s in black", u"This is the subtitle, in bold",
        u"This bit is blue and italic"}},
      {"41071.ppt", {u"Fundera, planera och involvera."}},
      {"54111.ppt", {u"TH Cell 1", u"Row 1, Cell 1", u"Row 5, Cell 4"}},
      {"54880_chinese.ppt", {u"Single byte", u"Mix", u"\u8868", u"\uff8a\uff9d\uff76\uff78"}},
      {"57272_corrupted_usereditatom.ppt",
       {u"RISPETTO DAO 100%", u"CROSS MARKETING SU TUTTO IL NEGOZIO", u"VALORIZZAZIONE LINEARE"}},
      {"testPPT.ppt", {u"Sample Powerpoint Slide", u"Powerpoint X for Mac", u"Service Release 1"}},
      {"testPPT_various.ppt",
       {u"Here is a text box", u"Bullet 1", u"Number bullet 1", u"Row 1 Col 1", u"Row 2 Col 3",
        u"Suddenly some Japanese text:", u"\uff08\uff27\uff28\uff31\uff09",
        u"\u30be\u30eb\u30b2\u3068\u5c3e\u5d0e\u3001\u6de1\u3005\u3068\u6700\u671f",
        u"And then some Gothic text:", u"\U00010332\U0001033F\U00010344\U00010339\U00010343\U0001033A"}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File);
    ExpectWords(ReadPresentation, Fixture(C.File), C.Words);
  }
}

TEST_F(PresentationFixtures, SlideBySlide) {
  // The slide list holds the slides' text in the order shown; the slides themselves follow, in the
  // order they are stored, separated by dash lines.
  EXPECT_EQ(Text("incorrect_slide_order.ppt"),
            u"Slide 1\r\nFirst slide I added\r\nSlide 2\r\nThird slide I added\r\nSlide 3\r\nSecond slide I "
            u"added\r\n"
            u"------------------------------\r\n------------------------------\r\n");
  // Saved three times: the slide lists and slides of the earlier saves (one of them with a stray "T"
  // behind "formatting") stay in the stream but are not part of the presentation.
  EXPECT_EQ(Text("basic_test_ppt_file.ppt"),
            u"This is a test title\r\nThis is a test subtitle\r\nThis is on page 1\r\nThis is the title on "
            u"page 2\r\n"
            u"This is page two\r\nIt has several blocks of text\r\nNone of them have formatting\r\n"
            u"------------------------------\r\n");
  // A later save took the second text off the slide.
  EXPECT_EQ(Text("41071.ppt"), u"Fundera, planera och involvera.\r\n");
}

// An encrypted presentation gives no text rather than garbage; a fuzzed one ends.
TEST_F(PresentationFixtures, EncryptedAndFuzzedPresentations) {
  EXPECT_EQ(Text("Password_Protected-hello.ppt"), u"");
  std::string Text;
  EXPECT_TRUE(ConvertPresentationFile(
      Fixture("clusterfuzz-testcase-minimized-POIHSLFFuzzer-5962760801091584.ppt"), true, Text));
}

TEST_F(PresentationFixtures, DamagedCopiesEndCleanly) {
  std::vector<std::string> Paths;
  for (const char* File : {"basic_test_ppt_file.ppt", "with_textbox.ppt", "incorrect_slide_order.ppt",
                           "Single_Coloured_Page.ppt", "41071.ppt", "54111.ppt", "54880_chinese.ppt",
                           "57272_corrupted_usereditatom.ppt", "testPPT.ppt", "testPPT_various.ppt",
                           "Password_Protected-hello.ppt"}) {
    Paths.push_back(Fixture(File));
  }
  ExpectDamagedCopiesEndCleanly(ReadPresentation, Paths);
}

}  // namespace
