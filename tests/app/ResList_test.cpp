// The results list's cells, sort state and type-to-find.
#include "app/ResList.h"

#include <gtest/gtest.h>

#include "app/Utils.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "search/SrchRes.h"

namespace {

TEST(ResListSort, HeaderClicksMoveTheSortState) {
  struct Case {
    int32_t Before;
    int Column;
    int32_t After;
  };
  const Case Cases[] = {
      {-1, rlcName, 1},  // after a search or a hit: the first click on Name sorts ascending
      {1, rlcName, -1},  // a second click flips
      {-1, rlcSize, 3},  // another column: ascending
      {3, rlcSize, -3}, {-3, rlcSize, 3}, {0, rlcName, 1}, {2, rlcDate, 4},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(NextSortColumn(C.Before, C.Column), C.After) << C.Before << " " << C.Column;
}

TEST(ResListCells, PlainFileAndArchiveItem) {
  TSearchResults Results;
  TFoundFileInfo Info;
  Info.Name = u"/home/u/docs/report.txt";
  Info.Size = 1234567;
  Info.Date = 45000.5;
  Results.Add(Info);
  Info.Name = u"/home/u/a.zip|inner/dir/b.txt";
  Info.InArchive = true;
  Info.Size = 12;
  Results.Add(Info);
  // A plain file whose name holds a "|" is no archive item.
  Info.Name = u"/home/u/odd|name.txt";
  Info.InArchive = false;
  Results.Add(Info);

  EXPECT_EQ(ResListCellText(Results, 0, rlcName), u"report.txt");
  EXPECT_EQ(ResListCellText(Results, 0, rlcPath), u"/home/u/docs");
  EXPECT_EQ(ResListCellText(Results, 0, rlcSize), Utf8ToUtf16(IntToStrGrouped(1234567)));
  EXPECT_EQ(ResListCellText(Results, 0, rlcDate), FormatDateTimeText(45000.5));
  EXPECT_EQ(ResListCellText(Results, 1, rlcName), u"b.txt");
  EXPECT_EQ(ResListCellText(Results, 1, rlcPath), u"/home/u/a.zip|inner/dir");
  EXPECT_EQ(ResListCellText(Results, 1, rlcSize), u"12");
  EXPECT_EQ(ResListCellText(Results, 2, rlcName), u"odd|name.txt");
  EXPECT_EQ(ResListCellText(Results, 2, rlcPath), u"/home/u");
}

// Archive items with their path in parts: a "|" inside an item's own name (or an inner archive's) stays
// in the name, where the joined path alone would cut it; sorting keeps each row's parts with it.
TEST(ResListCells, ItemPathInPartsKeepsABarInsideANameInTheName) {
  TSearchResults Results;
  TFoundFileInfo Info;
  Info.InArchive = true;
  Info.Size = 2;
  Info.Name = u"/home/u/x.zip|a|b.txt";
  Info.ItemPath = {"/home/u/x.zip", "a|b.txt"};
  Results.Add(Info);
  Info.Size = 1;
  Info.Name = u"/home/u/x.zip|a/b.txt";
  Info.ItemPath = {"/home/u/x.zip", "a/b.txt"};
  Results.Add(Info);
  Info.Size = 3;
  Info.Name = u"/home/u/x.zip|c|d.zip|e/f.txt";
  Info.ItemPath = {"/home/u/x.zip", "c|d.zip", "e/f.txt"};
  Results.Add(Info);

  const std::u16string Expected[][2] = {
      {u"a|b.txt", u"/home/u/x.zip"}, {u"b.txt", u"/home/u/x.zip|a"}, {u"f.txt", u"/home/u/x.zip|c|d.zip|e"}};
  for (int32_t Row = 0; Row < 3; ++Row) {
    EXPECT_EQ(ResListCellText(Results, Row, rlcName), Expected[Row][0]) << Row;
    EXPECT_EQ(ResListCellText(Results, Row, rlcPath), Expected[Row][1]) << Row;
  }
  EXPECT_EQ(Results.GetArchiveName(2), u"/home/u/x.zip|c|d.zip");
  SortSearchResults(Results, rcSize, true);
  ASSERT_NE(Results.GetItemPath(0), nullptr);
  EXPECT_EQ(Results.GetItemPath(0)->back(), "a/b.txt");
  EXPECT_EQ(ResListCellText(Results, 1, rlcName), u"a|b.txt");
  Results.Delete(0);
  EXPECT_EQ(ResListCellText(Results, 0, rlcName), u"a|b.txt");
  EXPECT_EQ(ResListCellText(Results, 1, rlcName), u"f.txt");
}

TEST(ResListFind, TypedTextMatchesTheNameStartWithoutCase) {
  EXPECT_TRUE(ResListNameMatches(u"Report.txt", u"rep"));
  EXPECT_TRUE(ResListNameMatches(u"Report.txt", u""));
  EXPECT_TRUE(ResListNameMatches(u"Report.txt", u"REPORT.TXT"));
  EXPECT_FALSE(ResListNameMatches(u"Report.txt", u"ept"));
  // A name shorter than the typed text never matches (it is not read past its end).
  EXPECT_FALSE(ResListNameMatches(u"Rep", u"Report"));
}

}  // namespace
