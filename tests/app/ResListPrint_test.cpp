// Printing the results list: column placement, the printed cells, pages, copies and Escape.
#include "app/ResListPrint.h"

#include <gtest/gtest.h>

#include "app/ResList.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "search/SrchRes.h"

namespace {

// Every character is 10 pixels wide and a line 10 pixels high; Escape comes at the EscapeAt-th poll.
class TRecordingSurface : public IResListPrintSurface {
 public:
  struct TText {
    int32_t Page, X, Y;
    std::u16string Text;
    bool Bold;
  };
  void BeginDocument() override { ++Begun, Page = 1; }
  void NewPage() override { ++Page; }
  void EndDocument() override { ++Ended; }
  void AbortDocument() override { ++Aborted; }
  void SetBold(bool B) override { Bold = B; }
  int32_t TextWidth(const std::u16string& Text) override { return 10 * static_cast<int32_t>(Text.size()); }
  int32_t AverageCharWidth() override { return 10; }
  int32_t LineHeight() override { return 10; }
  void DrawText(int32_t X, int32_t Y, const std::u16string& Text) override {
    Texts.push_back({Page, X, Y, Text, Bold});
  }
  bool EscapePressed() override { return ++Polls == EscapeAt; }

  int EscapeAt = -1;
  int Polls = 0, Begun = 0, Ended = 0, Aborted = 0;
  int32_t Page = 0;
  bool Bold = false;
  std::vector<TText> Texts;
};

const std::u16string kCaptions[4] = {u"Name", u"Path", u"Size", u"Date/Time"};

// Name, Path and Size columns wide enough for the test's names; Date/Time narrow.
std::vector<TPrintColumnSpec> Columns() { return {{0, 0, 30}, {1, 1, 40}, {2, 2, 20}, {3, 3, 10}}; }

void AddRows(TSearchResults& Results, int Rows) {
  for (int I = 0; I < Rows; ++I) {
    TFoundFileInfo Info;
    Info.Name = u"/d/f" + Utf8ToUtf16(std::to_string(I));
    Info.Size = 1234567;
    Info.Date = 45000;
    Results.Add(Info);
  }
}

TEST(ResListPrintColumns, ScaledInScreenOrderWithFractionsCut) {
  // Screen order Path, Size, Name; widths 100 + 50 + 50 fill 1000 - 2 * 100 pixels: scale 4.
  const std::vector<TPrintColumnSpec> Specs = {{0, 2, 50}, {1, 0, 100}, {2, 1, 50}};
  const std::vector<TPrintColumn> Placed = PlanPrintColumns(Specs, 1000, 800, 100);
  ASSERT_EQ(Placed.size(), 3u);
  EXPECT_EQ(Placed[0].Column, 1);
  EXPECT_EQ(Placed[0].X, 100);
  EXPECT_EQ(Placed[0].Width, 400);
  EXPECT_EQ(Placed[1].Column, 2);
  EXPECT_EQ(Placed[1].X, 500);
  EXPECT_EQ(Placed[2].Column, 0);
  EXPECT_EQ(Placed[2].X, 700);
  // 700 / 3 pixels each: the fractions are cut off.
  const std::vector<TPrintColumn> Thirds = PlanPrintColumns({{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, 900, 800, 100);
  ASSERT_EQ(Thirds.size(), 3u);
  EXPECT_EQ(Thirds[1].X, 333);
  EXPECT_EQ(Thirds[2].Width, 233);
}

TEST(ResListPrintColumns, NoRoomOrNoWidthPlacesNothing) {
  EXPECT_TRUE(PlanPrintColumns(Columns(), 200, 800, 100).empty());  // margin meets the right limit
  EXPECT_TRUE(PlanPrintColumns(Columns(), 800, 150, 100).empty());  // bottom limit above the margin
  EXPECT_TRUE(PlanPrintColumns({{0, 0, 0}, {1, 1, 0}}, 800, 800, 100).empty());
  EXPECT_TRUE(PlanPrintColumns({}, 800, 800, 100).empty());
}

TEST(ResListPrintCells, SizeAsPlainDigitsOtherCellsAsTheList) {
  TSearchResults Results;
  AddRows(Results, 1);
  TFoundFileInfo Item;
  Item.Name = u"/a/b.zip|in/c.txt";
  Item.InArchive = true;
  Results.Add(Item);
  EXPECT_EQ(PrintCellText(Results, 0, rlcSize), u"1234567");
  for (int Row : {0, 1})
    for (int Column : {rlcName, rlcPath, rlcDate})
      EXPECT_EQ(PrintCellText(Results, Row, Column), ResListCellText(Results, Row, Column));
  EXPECT_EQ(PrintCellText(Results, 1, rlcPath), u"/a/b.zip|in");
}

TEST(ResListPrint, CollatedCopiesEachStartOnANewPageWithTheirHeader) {
  // Page 100 high, margin 10: the header at 10, rows at 20..80 on the first page, 10..80 on the next.
  TSearchResults Results;
  AddRows(Results, 10);
  TResListPrintJob Job{1000, 100, 10, 2, true};
  TRecordingSurface Surface;
  ASSERT_EQ(PrintResList(Results, Columns(), kCaptions, Job, Surface), prPrinted);
  EXPECT_EQ(Surface.Begun, 1);
  EXPECT_EQ(Surface.Ended, 1);
  EXPECT_EQ(Surface.Page, 4);  // 2 pages per copy, 2 copies
  std::vector<std::pair<int32_t, int32_t>> HeaderPlaces, NamePlaces;
  for (const auto& T : Surface.Texts) {
    if (T.Bold && T.Text == u"Name") HeaderPlaces.push_back({T.Page, T.Y});
    if (!T.Bold && T.X == 10) NamePlaces.push_back({T.Page, T.Y});
  }
  EXPECT_EQ(HeaderPlaces, (std::vector<std::pair<int32_t, int32_t>>{{1, 10}, {3, 10}}));
  ASSERT_EQ(NamePlaces.size(), 20u);
  EXPECT_EQ(NamePlaces[0], (std::pair<int32_t, int32_t>{1, 20}));
  EXPECT_EQ(NamePlaces[6], (std::pair<int32_t, int32_t>{1, 80}));
  EXPECT_EQ(NamePlaces[7], (std::pair<int32_t, int32_t>{2, 10}));  // no header on the second page
  EXPECT_EQ(NamePlaces[10], (std::pair<int32_t, int32_t>{3, 20}));

  int32_t Passes = 0, PrinterCopies = 0;
  PrintCopies(Job, Passes, PrinterCopies);
  EXPECT_EQ(Passes, 2);
  EXPECT_EQ(PrinterCopies, 1);
  // Not collated: the printer makes the copies, the list prints once.
  Job.Collate = false;
  PrintCopies(Job, Passes, PrinterCopies);
  EXPECT_EQ(Passes, 1);
  EXPECT_EQ(PrinterCopies, 2);
  TRecordingSurface Once;
  ASSERT_EQ(PrintResList(Results, Columns(), kCaptions, Job, Once), prPrinted);
  EXPECT_EQ(Once.Page, 2);
}

TEST(ResListPrint, CellsAreCutWithAnEllipsisToTheirColumnLessOneCharacter) {
  // Page 1020 wide, margin 10: scale 10, so Name is 300 pixels wide and holds 29 characters of 10
  // pixels less the one-character slack: the name's "…" form of 28 + 1 characters.
  TSearchResults Results;
  TFoundFileInfo Info;
  Info.Name = u"/d/" + std::u16string(40, u'x');
  Results.Add(Info);
  Info.Name = u"/d/short";
  Results.Add(Info);
  TRecordingSurface Surface;
  ASSERT_EQ(PrintResList(Results, Columns(), kCaptions, {1020, 1000, 10, 1, false}, Surface), prPrinted);
  std::vector<std::u16string> Names;
  for (const auto& T : Surface.Texts)
    if (!T.Bold && T.X == 10) Names.push_back(T.Text);
  ASSERT_EQ(Names.size(), 2u);
  EXPECT_EQ(Names[0], std::u16string(28, u'x') + u"\u2026");
  EXPECT_EQ(Names[1], u"short");
  // The narrow Date/Time column (100 pixels) takes the date cut to fit 90 pixels.
  for (const auto& T : Surface.Texts)
    if (T.X == 910) {
      EXPECT_LE(static_cast<int32_t>(T.Text.size()) * 10, 90) << Utf16ToUtf8(T.Text);
    }
}

TEST(ResListPrint, EscapeBeforeTheDocumentPrintsNothingAndDuringTheListDropsTheJob) {
  TSearchResults Results;
  AddRows(Results, 5);
  const TResListPrintJob Job{1000, 1000, 10, 1, false};
  TRecordingSurface Before;
  Before.EscapeAt = 1;
  EXPECT_EQ(PrintResList(Results, Columns(), kCaptions, Job, Before), prCancelled);
  EXPECT_EQ(Before.Begun, 0);
  EXPECT_TRUE(Before.Texts.empty());

  TRecordingSurface During;
  During.EscapeAt = 4;  // the poll before the third row
  EXPECT_EQ(PrintResList(Results, Columns(), kCaptions, Job, During), prAborted);
  EXPECT_EQ(During.Aborted, 1);
  EXPECT_EQ(During.Ended, 0);
  int Rows = 0;
  for (const auto& T : During.Texts) Rows += !T.Bold && T.X == 10;
  EXPECT_EQ(Rows, 2);

  TRecordingSurface NoRoom;
  EXPECT_EQ(PrintResList(Results, Columns(), kCaptions, {15, 1000, 10, 1, false}, NoRoom), prNothing);
  EXPECT_EQ(NoRoom.Begun, 0);
}

}  // namespace
