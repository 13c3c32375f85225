// Workbooks built record by record, read through a compound file on disk as the converter reads them.
#include "plugins/impcalc2/Workbook.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "plugins/common/OleStorage.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/BiffBuilder.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"

namespace {

using B = TBiffStream;

class WorkbookTest : public TWesternCodePageTest {
 protected:
  // The UTF-16 text of a compound file holding Stream (named Name).
  std::u16string Wide(const std::string& Stream, const std::u16string& Name = u"Workbook") {
    std::string Bytes;
    EXPECT_TRUE(
        ConvertWorkbookFile(Folder_.Write("w.xls", WorkbookFile(Stream, Name)), true, nullptr, Bytes));
    return FromUtf16Bytes(Bytes);
  }
  std::string Ansi(const std::string& Stream, const std::u16string& Name = u"Workbook") {
    std::string Text;
    EXPECT_TRUE(
        ConvertWorkbookFile(Folder_.Write("w.xls", WorkbookFile(Stream, Name)), false, nullptr, Text));
    return Text;
  }
  // The message of the failure of reading the file with these bytes.
  std::string Failure(const std::string& FileBytes) {
    std::string Text;
    try {
      ConvertWorkbookFile(Folder_.Write("f.xls", FileBytes), true, nullptr, Text);
    } catch (const std::exception& E) {
      return E.what();
    }
    return "(no failure)";
  }

  TTestFolder Folder_;
};

// One record of each cell kind in a row of its own; XF 1 has format 7 (currency), XF 2 format 14 (date).
TEST_F(WorkbookTest, TextOfEveryCellKind) {
  const uint32_t RkMinus5 = (static_cast<uint32_t>(-5) << 2) | 0x02;
  const uint32_t Rk1234Cents = (1234u << 2) | 0x03;
  const uint32_t RkOneAndHalf = 0x3FF80000u;  // high half of the double 1.5
  auto Formula = [](uint16_t Row, std::initializer_list<uint8_t> Result) {
    TBiffBody Body = B::Cell(Row, 0);
    for (uint8_t Byte : Result) Body.U8(Byte);
    return B::Rec(0x0006, Body.U16(0).U32(0).U16(0));
  };
  std::string Cells;
  Cells += B::Number(0, 0, 1234.5, 1);
  Cells += B::Rec(0x027E, B::Cell(1, 0).U32(RkMinus5));
  Cells += B::Rec(0x027E, B::Cell(2, 0).U32(Rk1234Cents));
  Cells += B::Rec(0x027E, B::Cell(3, 0).U32(RkOneAndHalf));
  Cells += B::Rec(0x0205, B::Cell(4, 0).U8(1).U8(0));  // TRUE
  Cells += B::Rec(0x0205, B::Cell(5, 0).U8(7).U8(1));  // #DIV/0!
  Cells += B::Label8(6, 0, "plain");
  Cells += B::Rec(0x0204, B::Cell(7, 0).U16(5).U8(1).Chars16(u"\u03a9mega"));
  Cells += B::Rec(0x00D6, B::Cell(8, 0).U16(4).U8(0).Chars8("rich").U8(1).U16(0));
  Cells += B::Rec(0x00FD, B::Cell(9, 0).U32(1));
  Cells += Formula(10, {0, 0, 0, 0, 0, 0, 0x04, 0x40});  // the double 2.5
  Cells +=
      Formula(11, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}) + B::Rec(0x0207, TBiffBody().U16(3).U8(0).Chars8("XYZ"));
  Cells += Formula(12, {1, 0, 1, 0, 0, 0, 0xFF, 0xFF});
  Cells += Formula(13, {2, 0, 42, 0, 0, 0, 0xFF, 0xFF});
  // An empty result, and the NUMBER after it is a cell of its own.
  Cells += Formula(14, {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}) + B::Number(14, 1, 37329, 2);
  Cells += B::Rec(0x00BD, TBiffBody()
                              .U16(15)
                              .U16(1)
                              .U16(0)
                              .U32(RkMinus5)
                              .U16(1)
                              .U32(Rk1234Cents)
                              .U16(15)
                              .U32(RkOneAndHalf)
                              .U16(3));
  Cells +=
      B::Rec(0x00BE, TBiffBody().U16(16).U16(1).U16(0).U16(0).U16(0).U16(0).U16(4)) + B::Number(16, 5, 9);
  Cells += B::Rec(0x0201, B::Cell(17, 1)) + B::Rec(0x0201, B::Cell(17, 2)) + B::Rec(0x0201, B::Cell(17, 3)) +
           B::Rec(0x0201, B::Cell(17, 4)) + B::Number(17, 5, 9);

  B Stream;
  Stream.XF(0).XF(7).XF(14);
  Stream.Record(0x00FC, TBiffBody().U32(2).U32(2).U16(3).U8(0).Chars8("one").U16(3).U8(0).Chars8("two"));
  Stream.Eof().Sheet(18, 6, Cells);
  EXPECT_EQ(Wide(Stream.Bytes),
            u"$1234.50\r\n-5\r\n12.34\r\n1.5\r\n1\r\n#DIV/"
            u"0!\r\nplain\r\n\u03a9mega\r\nrich\r\ntwo\r\n2.5\r\nXYZ\r\n"
            u"1\r\n#N/A\r\n\t3/14/2002\r\n\t-5\t$12.34\t1.5\r\n\t\t\t\t\t9\r\n\t\t\t\t\t9\r\n");
}

TEST_F(WorkbookTest, SheetLayout) {
  B Stream;
  Stream.Eof();
  // Values in the first and third columns only; an empty row; trailing empty columns add nothing.
  Stream.Sheet(3, 4, B::Label8(0, 0, "a") + B::Label8(0, 2, "c") + B::Label8(2, 1, "b"));
  Stream.Sheet(2, 1, "");
  EXPECT_EQ(Wide(Stream.Bytes), u"a\t\tc\r\n\r\n\tb\r\n------------------------------\r\n\r\n\r\n");
  EXPECT_EQ(Ansi(Stream.Bytes), "a\t\tc\r\n\r\n\tb\r\n------------------------------\r\n\r\n\r\n");
}

TEST_F(WorkbookTest, SheetOriginAndEmbeddedSubStreams) {
  B Stream;
  Stream.Eof().Bof(0x0010).Dimensions(5, 7, 2, 4);
  Stream.Bytes += B::Label8(5, 2, "first");
  // A chart embedded in the sheet: its records, even cell-like ones, are skipped up to its EOF.
  Stream.Bof(0x0020);
  Stream.Bytes += B::Label8(0, 0, "chart");
  Stream.Eof();
  Stream.Bytes += B::Label8(6, 3, "last");
  Stream.Eof();
  EXPECT_EQ(Wide(Stream.Bytes), u"first\r\n\tlast\r\n");
}

TEST_F(WorkbookTest, SharedStringsAcrossContinueRecords) {
  // String 0 starts 8-bit and continues 16-bit; string 1 starts 16-bit and continues 8-bit; string 2 is
  // rich text with extended data whose 7-byte trailer crosses a boundary; string 3's characters start
  // right at a boundary, after their own flags byte.
  TBiffBody First;
  First.U32(4).U32(4).U16(6).U8(0).Chars8("abc");
  TBiffBody Second;
  Second.U8(1).Chars16(u"\u0434\u0435f").U16(3).U8(1).Chars16(u"\u0416");
  TBiffBody Third;
  Third.U8(0).Chars8("xy").U16(2).U8(0x0C).U16(1).U32(3).Chars8("pq").U16(0);
  TBiffBody Fourth;
  Fourth.U32(0).U8(0).U16(2).U8(0);
  TBiffBody Fifth;
  Fifth.U8(1).Chars16(u"\u00fc!");
  B Stream;
  Stream.Record(0x00FC, First).Record(0x003C, Second).Record(0x003C, Third).Record(0x003C, Fourth);
  Stream.Record(0x003C, Fifth).Eof();
  std::string Cells;
  for (uint16_t I = 0; I < 4; ++I) Cells += B::Rec(0x00FD, B::Cell(I, 0).U32(I));
  Stream.Sheet(4, 1, Cells);
  EXPECT_EQ(Wide(Stream.Bytes), u"abc\u0434\u0435f\r\n\u0416xy\r\npq\r\n\u00fc!\r\n");
}

// BIFF8 keeps 1-byte characters as the first 256 code points, also where a shared string switches from
// 1-byte to 2-byte characters at a record boundary: the Windows code page plays no part.
TEST_F(WorkbookTest, OneByteCharactersOfBiff8AreTheFirst256CodePoints) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  B Stream;
  Stream.Record(0x00FC, TBiffBody().U32(1).U32(1).U16(2).U8(0).Chars8("\xe9"));
  Stream.Record(0x003C, TBiffBody().U8(1).Chars16(u"\u0416")).Eof();
  Stream.Sheet(2, 1, B::Rec(0x00FD, B::Cell(0, 0).U32(0)) + B::Label8(1, 0, "\xe4"));
  EXPECT_EQ(Wide(Stream.Bytes), u"\u00e9\u0416\r\n\u00e4\r\n");
}

// The counts of the shared string table are not trusted: a table claiming more strings than its body
// holds keeps those it holds.
TEST_F(WorkbookTest, SharedStringCountsBeyondTheBody) {
  B Stream;
  Stream.Record(
      0x00FC, TBiffBody().U32(0x0FFFFFFF).U32(0x0FFFFFFF).U16(1).U8(0).Chars8("a").U16(1).U8(0).Chars8("b"));
  Stream.Eof().Sheet(1, 1, B::Rec(0x00FD, B::Cell(0, 0).U32(1)));
  EXPECT_EQ(Wide(Stream.Bytes), u"b\r\n");
}

TEST_F(WorkbookTest, Biff5StringsUseTheWindowsCodePage) {
  B Stream(false);
  Stream.Eof().Sheet(2, 1, B::Label5(0, 0, "\x80 \xe9t\xe9") + B::Label5(1, 0, "\xc4"));
  EXPECT_EQ(Wide(Stream.Bytes, u"Book"), u"\u20ac \u00e9t\u00e9\r\n\u00c4\r\n");
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  EXPECT_EQ(Wide(Stream.Bytes, u"Book"), u"\u0402 \u0439t\u0439\r\n\u0414\r\n");
  // 8-bit output is in the same page.
  EXPECT_EQ(Ansi(Stream.Bytes, u"Book"), "\x80 \xe9t\xe9\r\n\xc4\r\n");
}

TEST_F(WorkbookTest, EightBitOutputMarksWhatTheCodePageLacks) {
  B Stream;
  Stream.Eof().Sheet(1, 1, B::Rec(0x0204, B::Cell(0, 0).U16(5).U8(1).Chars16(u"e\u0301\u4e2d\U0001d11e")));
  // A letter with a combining accent is composed; a character outside the page, even outside the BMP, is
  // one "?".
  EXPECT_EQ(Ansi(Stream.Bytes), "\xe9??\r\n");
}

TEST_F(WorkbookTest, WorkbookStreamIsPreferredOverBook) {
  B Biff8;
  Biff8.Eof().Sheet(1, 1, B::Label8(0, 0, "from workbook"));
  B Biff5(false);
  Biff5.Eof().Sheet(1, 1, B::Label5(0, 0, "from book"));
  const std::string Both = BuildCompoundFile({{u"Book", Biff5.Bytes}, {u"Workbook", Biff8.Bytes}}).Bytes;
  std::string Bytes;
  ASSERT_TRUE(ConvertWorkbookFile(Folder_.Write("both.xls", Both), true, nullptr, Bytes));
  EXPECT_EQ(FromUtf16Bytes(Bytes), u"from workbook\r\n");
  EXPECT_EQ(Wide(Biff5.Bytes, u"BOOK"), u"from book\r\n");
}

TEST_F(WorkbookTest, Failures) {
  auto Sheet = [](const std::string& Cells, uint32_t Rows = 2, uint16_t Cols = 2) {
    B S;
    S.Eof().Sheet(Rows, Cols, Cells);
    return WorkbookFile(S.Bytes);
  };
  auto Globals = [](const std::function<void(B&)>& Add) {
    B S;
    Add(S);
    return WorkbookFile(S.Bytes);
  };
  struct TCase {
    const char* Name;
    std::string File;
    const char* Message;
  };
  const TCase Cases[] = {
      {"not a compound file", "just text, long enough to be read as a header or not",
       "The file is not a storage object"},
      {"neither stream", BuildCompoundFile({{u"Other", "x"}}).Bytes,
       "The stream with specified name does not exist"},
      {"not a workbook stream", WorkbookFile(std::string("\x09\x02\x06\x00", 4) + std::string(6, '\0')),
       "Wrong stream type"},
      {"password", Globals([](B& S) { S.Record(0x002F, TBiffBody().U16(0)).Eof(); }),
       "File is password-protected"},
      {"no dimensions", Globals([](B& S) { S.Eof().Bof(0x0010).Eof(); }), "Bad sheet: dimensions not found"},
      {"columns beyond 256", Globals([](B& S) { S.Eof().Bof(0x0010).Dimensions(0, 1, 0, 257).Eof(); }),
       "Illegal table dimensions"},
      {"rows backwards", Globals([](B& S) { S.Eof().Bof(0x0010).Dimensions(5, 1, 0, 1).Eof(); }),
       "Illegal table dimensions"},
      {"cell twice", Sheet(B::Number(0, 0, 1) + B::Number(0, 0, 2)), "Trying to overwrite record"},
      {"cell before the origin", Globals([](B& S) {
         S.Eof().Bof(0x0010).Dimensions(3, 5, 0, 1);
         S.Bytes += B::Number(2, 0, 1);
         S.Eof();
       }),
       "invalid vector<T> subscript"},
      {"cell past the last column",
       Sheet(B::Rec(0x00BE,
                    TBiffBody().U16(0).U16(250).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(256))),
       "invalid vector<T> subscript"},
      {"chart only", Globals([](B& S) { S.Eof().Bof(0x0020).Record(0x0200, std::string(14, '\0')).Eof(); }),
       "There are no worksheets in this workbook: charts, macros, etc. are not supported"},
      {"shared string beyond the table", Globals([](B& S) {
         S.Record(0x00FC, TBiffBody().U32(1).U32(1).U16(1).U8(0).Chars8("a")).Eof();
         S.Sheet(1, 1, B::Rec(0x00FD, B::Cell(0, 0).U32(1)));
       }),
       "Shared string table is invalid"},
      {"shared string count",
       Globals([](B& S) { S.Record(0x00FC, TBiffBody().U32(1).U32(0x10000000)).Eof(); }),
       "Can't read shared string table: invalid table length"},
      {"short NUMBER", Sheet(B::Rec(0x0203, B::Cell(0, 0).U32(0))),
       "Record 0x0203 is shorter than its fields"},
      {"empty LABELSST", Sheet(B::Rec(0x00FD, TBiffBody())), "Record 0x00FD is shorter than its fields"},
      {"LABEL longer than its record", Sheet(B::Rec(0x0204, B::Cell(0, 0).U16(50).U8(0).Chars8("abc"))),
       "Record 0x0204 is shorter than its fields"},
      {"MULBLANK backwards", Sheet(B::Rec(0x00BE, TBiffBody().U16(0).U16(1).U16(0).U16(0))),
       "Record 0x00BE: columns 1 to 0 do not match its 1 values"},
      {"MULRK with too few values", Sheet(B::Rec(0x00BD, TBiffBody().U16(0).U16(0).U16(0).U32(2).U16(1))),
       "Record 0x00BD: columns 0 to 1 do not match its 1 values"},
      {"short XF", Globals([](B& S) { S.Record(0x00E0, TBiffBody().U16(0)).Eof(); }),
       "Record 0x00E0 is shorter than its fields"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(Failure(C.File), C.Message) << C.Name;
  }
}

// Some writers store the last row and column in DIMENSIONS instead of one past them, and some write no
// DIMENSIONS at all: the table grows to hold the cells, and the rows before stay in place.
TEST_F(WorkbookTest, CellsPastTheDimensionsOrWithoutThem) {
  B ShortDims;
  ShortDims.Eof().Sheet(2, 2, B::Label8(0, 0, "a") + B::Label8(2, 2, "past") + B::Label8(1, 1, "b"));
  EXPECT_EQ(Wide(ShortDims.Bytes), u"a\r\n\tb\r\n\t\tpast\r\n");
  B NoDims(false);
  NoDims.Eof().Bof(0x0010);
  NoDims.Bytes += B::Label5(1, 1, "x") + B::Label5(0, 0, "y");
  NoDims.Eof();
  EXPECT_EQ(Wide(NoDims.Bytes, u"Book"), u"y\r\n\tx\r\n");
}

// DIMENSIONS can claim four billion rows in a 20-byte record; cells address only 65536 of them, and that
// many are what the sheet holds.
TEST_F(WorkbookTest, HugeDimensionsStayBounded) {
  B Stream;
  Stream.Eof().Bof(0x0010).Dimensions(0, 0xFFFFFFFFu, 0, 256);
  Stream.Bytes += B::Label8(65535, 255, "corner");
  Stream.Eof();
  const std::string Text = Ansi(Stream.Bytes);
  EXPECT_EQ(Text.size(), 65536u * 2 + 255 + 6);
  EXPECT_EQ(Text.substr(Text.size() - 8), "corner\r\n");
}

// Rows without cells cost nothing while a workbook is read: thousands of small sheets that each declare
// 65536 rows are read without a table of that many rows each.
TEST_F(WorkbookTest, DeclaredRowsCostNothingUntilWritten) {
  B BookStream;
  BookStream.Eof();
  for (int I = 0; I < 4000; ++I) {
    BookStream.Bof(0x0010).Dimensions(0, 65536, 0, 256);
    BookStream.Bytes += B::Label8(65535, 0, "x");
    BookStream.Eof();
  }
  std::unique_ptr<Storage> Storage = OpenStorage(Folder_.Write("many.xls", WorkbookFile(BookStream.Bytes)));
  std::unique_ptr<Stream> S = Storage->OpenStream(u"Workbook");
  Workbook Book;
  ASSERT_TRUE(Book.Read(*S, nullptr));
  ASSERT_EQ(Book.Sheets().size(), 4000u);
  EXPECT_EQ(Book.Sheets().back()->Rows(), 65536u);
}

TEST_F(WorkbookTest, TheEndOfTheStreamEndsTheReading) {
  B Stream;
  Stream.Eof().Bof(0x0010).Dimensions(0, 2, 0, 1);
  Stream.Bytes += B::Label8(0, 0, "kept") + B::Label8(1, 0, "also kept");
  // Cut inside the next record: what was read stays.
  Stream.Bytes += std::string("\x04\x02\x20\x00", 4) + "cut";
  EXPECT_EQ(Wide(Stream.Bytes), u"kept\r\nalso kept\r\n");
}

TEST_F(WorkbookTest, ProgressCanStopReadingAndWriting) {
  class TStopAfter : public IConvProgress {
   public:
    explicit TStopAfter(int Polls) : Left_(Polls) {}
    bool Progress(int32_t Current, int32_t Total) override {
      EXPECT_EQ(Current, -1);
      EXPECT_EQ(Total, -1);
      ++Count;
      return Left_-- > 0;
    }
    int Count = 0;

   private:
    int Left_;
  };
  B Stream;
  Stream.Eof().Sheet(3, 1, B::Label8(0, 0, "x"));
  const std::string Path = Folder_.Write("p.xls", WorkbookFile(Stream.Bytes));
  std::string Text;
  TStopAfter AtOnce(0);
  EXPECT_FALSE(ConvertWorkbookFile(Path, true, &AtOnce, Text));
  EXPECT_EQ(AtOnce.Count, 1);
  TStopAfter Never(1000);
  EXPECT_TRUE(ConvertWorkbookFile(Path, false, &Never, Text));
  const int Polls = Never.Count;
  // Polls while writing too: one per row; stopping at the last one stops the conversion.
  TStopAfter Late(Polls - 1);
  Text.clear();
  EXPECT_FALSE(ConvertWorkbookFile(Path, false, &Late, Text));
}

}  // namespace
