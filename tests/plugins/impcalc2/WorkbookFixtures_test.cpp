// Real workbooks from other projects' test suites (fixtures/README.md): the words each must give, the
// clean error of each that cannot be read, and damaged copies of every one that must end cleanly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugins/impcalc2/Workbook.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"

namespace {

std::string Fixture(const std::string& Name) { return OfficeFixture("impcalc2", Name); }

void ReadWorkbook(const std::string& Path, bool Unicode, std::string& Text) {
  ASSERT_TRUE(ConvertWorkbookFile(Path, Unicode, nullptr, Text));
}

class WorkbookFixtures : public TWesternCodePageTest {};

TEST_F(WorkbookFixtures, WordsOfEachWorkbook) {
  struct TCase {
    const char* File;
    std::vector<std::u16string> Words;
  };
  const TCase Cases[] = {
      {"Simple.xls", {u"replaceMe"}},
      {"StringFormulas.xls", {u"XYZ"}},
      {"MissingBits.xls", {u"Hello", u"11", u"23", u"Bye", u"Stuff"}},
      {"Formatting.xls", {u"Dates, all 24th November 2006", u"Numbers, all 10.52", u"10.52"}},
      {"testEXCEL_95.xls", {u"Sample Excel", u"Written and saved", u"Numbers and their Squares", u"169"}},
      {"59074.xls", {u"Exotic warrant", u"SYMBOL_RTS", u"NL0011622006"}},
      {"46368.xls", {u"8 xxxxxxxxxx", u"32760 xxxxxx", u"32770", u"32766"}},
      {"WORKBOOK_in_capitals.xls",
       {u"Inventarliste f\u00fcr GALIPLAN Aktien Global AMI*", u"Fondsverm\u00f6gen", u"Umlaufende Anteile",
        u"Seite 7 von 7"}},
      {"BOOK_in_capitals.xls",
       {u"301. Exposures by Counterparty and Agreement Detail", u"Merrill Lynch International",
        u"COMAC CAPITAL LLP"}},
      {"43251.xls", {u"Smith,Joe J", u"Jones,Fred K", u"BusTITLE", u"LOCCODE"}},
      {"chinese-provinces.xls",
       {u"Provinces in China", u"Chinese Name", u"\u5b89\u5fbd\u7701", u"\u5317\u4eac\u5e02",
        u"\u91cd\u5e86\u5e02"}},
      {"testEXCEL.xls",
       {u"Sample Excel Worksheet", u"Numbers and their Squares", u"Number", u"Square", u"196"}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File);
    ExpectWords(ReadWorkbook, Fixture(C.File), C.Words);
  }
}

// 46368.xls holds strings of 32770 and 32766 characters in its shared string table, each spread over
// several CONTINUE records; a reader that follows one record boundary per string shifts every later
// string.
TEST_F(WorkbookFixtures, LongSharedStringsOverManyRecords) {
  std::string Bytes;
  ASSERT_TRUE(ConvertWorkbookFile(Fixture("46368.xls"), true, nullptr, Bytes));
  const std::u16string Text = FromUtf16Bytes(Bytes);
  std::vector<std::u16string> Lines;
  for (std::size_t At = 0; At < Text.size();) {
    const std::size_t End = Text.find(u"\r\n", At);
    Lines.push_back(Text.substr(At, End - At));
    At = End + 2;
  }
  ASSERT_GE(Lines.size(), 4u);
  // A1 and A3 hold the long strings, B2 and B4 their lengths.
  EXPECT_EQ(Lines[0].size(), 32770u);
  EXPECT_EQ(Lines[0].substr(0, 3), u"8 x");
  EXPECT_EQ(Lines[0].find_first_not_of(u'x', 2), std::u16string::npos);
  EXPECT_EQ(Lines[1], u"\t32770");
  EXPECT_EQ(Lines[2].size(), 32766u);
  EXPECT_EQ(Lines[2].substr(0, 7), u"32760 x");
  EXPECT_EQ(Lines[3], u"\t32766");
}

TEST_F(WorkbookFixtures, WorkbooksThatCannotBeRead) {
  struct TCase {
    const char* File;
    const char* Message;
  };
  const TCase Cases[] = {
      {"64130.xls", "There are no worksheets in this workbook: charts, macros, etc. are not supported"},
      {"61300.xls", "There are no worksheets in this workbook: charts, macros, etc. are not supported"},
      {"60284.xls", "File is password-protected"},
      {"password.xls", "File is password-protected"},
      {"testEXCEL_4.xls", "The file is not a storage object"},
      {"clusterfuzz-testcase-minimized-POIHSSFFuzzer-5786329142919168.xls",
       "The stream with specified name does not exist"},
      {"clusterfuzz-testcase-minimized-POIHSSFFuzzer-6137883240824832.xls",
       "Can't open storage: unknown error"},
  };
  for (const TCase& C : Cases) {
    std::string Text;
    try {
      ConvertWorkbookFile(Fixture(C.File), true, nullptr, Text);
      ADD_FAILURE() << C.File << " gave a text";
    } catch (const std::exception& E) {
      EXPECT_STREQ(E.what(), C.Message) << C.File;
    }
  }
}

TEST_F(WorkbookFixtures, DamagedCopiesEndCleanly) {
  std::vector<std::string> Paths;
  for (const char* File :
       {"Simple.xls", "StringFormulas.xls", "MissingBits.xls", "Formatting.xls", "testEXCEL_95.xls",
        "59074.xls", "46368.xls", "WORKBOOK_in_capitals.xls", "BOOK_in_capitals.xls", "43251.xls",
        "chinese-provinces.xls", "testEXCEL.xls", "64130.xls", "60284.xls"}) {
    Paths.push_back(Fixture(File));
  }
  ExpectDamagedCopiesEndCleanly(ReadWorkbook, Paths);
}

}  // namespace
