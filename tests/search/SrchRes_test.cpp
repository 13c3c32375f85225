#include "search/SrchRes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Two converters whose addresses order C1 before C2; they are only compared, never used.
char ConverterSlots[2];
TQVConverter* const C1 = reinterpret_cast<TQVConverter*>(&ConverterSlots[0]);
TQVConverter* const C2 = reinterpret_cast<TQVConverter*>(&ConverterSlots[1]);

TFoundFileInfo Hit(std::u16string Name, int64_t Size = 0, TDateTime Date = 0,
                   TQVConverter* Converter = nullptr, TScanEncoding Encoding = seAnsi,
                   bool InArchive = false) {
  TFoundFileInfo I;
  I.Name = std::move(Name);
  I.Size = Size;
  I.Date = Date;
  I.Converter = Converter;
  I.Encoding = Encoding;
  I.InArchive = InArchive;
  return I;
}

void ExpectSameInfo(const TFoundFileInfo& A, const TFoundFileInfo& B) {
  EXPECT_EQ(A.Name, B.Name);
  EXPECT_EQ(A.Size, B.Size);
  EXPECT_EQ(A.Date, B.Date);
  EXPECT_EQ(A.Converter, B.Converter);
  EXPECT_EQ(A.Encoding, B.Encoding);
  EXPECT_EQ(A.InArchive, B.InArchive);
}

std::string Utf8Ascii(const std::u16string& S) { return std::string(S.begin(), S.end()); }

TEST(SearchResults, RowsGiveBackWhatWasAdded) {
  TSearchResults R;
  const std::vector<TFoundFileInfo> Hits = {
      Hit(u"/docs/report.txt", 1234, 45000.5, C1, seUnicode),
      Hit(u"/big/disk.img", int64_t{5} << 32, 45001.25, nullptr, seOem),  // sizes above 4 GB stay whole
      Hit(u"/z.zip|dir/f.txt", 10, 1.0, nullptr, seFileName, true),
      Hit(u"/o.zip|in.tar|a/b.txt", 11, 2.0, C2, seAnsi, true),
      Hit(u"/x/a|b.txt", 12, 3.0),  // a plain file with "|" in its name
      Hit(u"/x/Ärger.txt", 13, 4.0),
  };
  for (size_t I = 0; I < Hits.size(); ++I) EXPECT_EQ(R.Add(Hits[I]), static_cast<int32_t>(I));
  ASSERT_EQ(R.Count(), static_cast<int32_t>(Hits.size()));

  struct Expect {
    const char16_t* Name;
    const char16_t* ArchiveName;
  };
  const std::vector<Expect> Names = {{u"report.txt", u""},         {u"disk.img", u""}, {u"f.txt", u"/z.zip"},
                                     {u"b.txt", u"/o.zip|in.tar"}, {u"a|b.txt", u""},  {u"Ärger.txt", u""}};
  for (int32_t I = 0; I < R.Count(); ++I) {
    SCOPED_TRACE(I);
    TFoundFileInfo Info;
    R.GetInfo(I, Info);
    ExpectSameInfo(Info, Hits[static_cast<size_t>(I)]);
    EXPECT_EQ(R.GetFullName(I), Hits[static_cast<size_t>(I)].Name);
    EXPECT_EQ(R.GetName(I), Names[static_cast<size_t>(I)].Name);
    EXPECT_EQ(R.GetArchiveName(I), Names[static_cast<size_t>(I)].ArchiveName);
    EXPECT_EQ(R.IsArchiveItem(I), Hits[static_cast<size_t>(I)].InArchive);
  }
}

TEST(SearchResults, IndexOfFindsTheFirstRowOfTheExactPath) {
  TSearchResults R;
  R.Add(Hit(u"/a/x.txt"));
  R.Add(Hit(u"/a/y.txt"));
  R.Add(Hit(u"/a/x.txt", 5));  // the same file twice (two searches' worth)
  EXPECT_EQ(R.IndexOf(u"/a/x.txt"), 0);
  EXPECT_EQ(R.IndexOf(u"/a/y.txt"), 1);
  EXPECT_EQ(R.IndexOf(u"/a/X.txt"), -1);
  EXPECT_EQ(R.IndexOf(u"/a/z.txt"), -1);
  EXPECT_EQ(R.Paths.GetNode(0), R.Paths.GetNode(2));
}

TEST(SearchResults, BadRowIndexesRaiseAndChangeNothing) {
  TSearchResults R;
  R.Add(Hit(u"/a"));
  for (int32_t Bad : {-1, 1, 1000}) {
    SCOPED_TRACE(Bad);
    EXPECT_THROW(R.GetFullName(Bad), ESearchResultsError);
    EXPECT_THROW(R.GetName(Bad), ESearchResultsError);
    EXPECT_THROW(R.Delete(Bad), ESearchResultsError);
    TFoundFileInfo Info;
    EXPECT_THROW(R.GetInfo(Bad, Info), ESearchResultsError);
    EXPECT_THROW(R.IsArchiveItem(Bad), ESearchResultsError);
  }
  EXPECT_EQ(R.Count(), 1);
  EXPECT_THROW(SortSearchResults(R, 6, true), ESearchResultsError);
  EXPECT_THROW(SortSearchResults(R, -1, true), ESearchResultsError);
}

TEST(SearchResults, DeleteKeepsColumnsTogetherAndReAddReusesTheNode) {
  TSearchResults R;
  R.Add(Hit(u"/a/1", 1, 1, C1, seOem));
  R.Add(Hit(u"/a/2", 2, 2, C2, seUnicode, true));
  R.Add(Hit(u"/a/3", 3, 3, nullptr, seAnsi));
  TPathNode* Node = R.Paths.GetNode(1);
  const int32_t Nodes = R.Storage.NodeCount();

  R.Delete(1);
  ASSERT_EQ(R.Count(), 2);
  for (TVector* Column : std::vector<TVector*>{&R.Sizes, &R.Dates, &R.Converters, &R.Encodings, &R.InArchive})
    EXPECT_EQ(Column->GetCount(), 2);
  TFoundFileInfo Info;
  R.GetInfo(1, Info);
  ExpectSameInfo(Info, Hit(u"/a/3", 3, 3, nullptr, seAnsi));
  EXPECT_EQ(R.IndexOf(u"/a/2"), -1);
  EXPECT_NE(R.Storage.Find(u"/a/2"), nullptr);  // the path stays stored

  EXPECT_EQ(R.Add(Hit(u"/a/2", 22)), 2);
  EXPECT_EQ(R.Paths.GetNode(2), Node);
  EXPECT_EQ(R.Storage.NodeCount(), Nodes);
  EXPECT_EQ(R.IndexOf(u"/a/2"), 2);
}

TEST(SearchResults, ClearEmptiesRowsAndStorage) {
  TSearchResults R;
  R.Add(Hit(u"/a/x", 1));
  R.Clear();
  EXPECT_EQ(R.Count(), 0);
  EXPECT_EQ(R.InArchive.GetCount(), 0);
  EXPECT_EQ(R.Storage.NodeCount(), 1);
  EXPECT_EQ(R.IndexOf(u"/a/x"), -1);
  EXPECT_EQ(R.Add(Hit(u"/a/x", 2)), 0);
  EXPECT_EQ(R.GetFullName(0), u"/a/x");
}

// Five rows built so that every column has ties that the following columns must break.
//   row  path             size  date  converter  encoding
//   r0   /b/x.txt          10     3   C2         ANSI
//   r1   /a/x.txt          10     1   none       Unicode
//   r2   /a/y.txt           5     2   C1         OEM
//   r3   /a/X.txt          10     1   none       Unicode
//   r4   /c.zip|x.txt       5     3   C1         ANSI     (archive item)
// Tree order: /a/X.txt, /a/x.txt (equal without case: code units decide), /a/y.txt, /b/x.txt, /c.zip|x.txt.
std::vector<TFoundFileInfo> SortRows() {
  return {Hit(u"/b/x.txt", 10, 3, C2, seAnsi), Hit(u"/a/x.txt", 10, 1, nullptr, seUnicode),
          Hit(u"/a/y.txt", 5, 2, C1, seOem), Hit(u"/a/X.txt", 10, 1, nullptr, seUnicode),
          Hit(u"/c.zip|x.txt", 5, 3, C1, seAnsi, true)};
}

TEST(SearchResults, SortsByEveryColumnWithTheOthersBreakingTies) {
  struct Case {
    int Column;
    std::vector<int> Ascending;  // rows of SortRows in the expected order
  };
  const std::vector<Case> Cases = {
      {rcName, {3, 1, 0, 4, 2}},  // x.txt four times: by path
      {rcPath, {3, 1, 2, 0, 4}},
      {rcSize, {4, 2, 3, 1, 0}},  // 5: by name (x before y); 10: names equal, by path
      {rcDate, {3, 1, 2, 0, 4}},
      {rcConverter, {3, 1, 4, 2, 0}},  // rows without converter first, then by address
      {rcEncoding, {0, 4, 2, 3, 1}},
  };
  const std::vector<TFoundFileInfo> Rows = SortRows();
  for (const Case& C : Cases) {
    for (bool Ascending : {true, false}) {
      SCOPED_TRACE(testing::Message() << "column " << C.Column << (Ascending ? " ascending" : " descending"));
      TSearchResults R;
      for (const auto& Row : Rows) R.Add(Row);
      SortSearchResults(R, C.Column, Ascending);
      std::vector<int> Order = C.Ascending;
      if (!Ascending) Order.assign(C.Ascending.rbegin(), C.Ascending.rend());
      ASSERT_EQ(R.Count(), 5);
      for (int32_t I = 0; I < 5; ++I) {
        // Every column moved with its row.
        TFoundFileInfo Info;
        R.GetInfo(I, Info);
        SCOPED_TRACE(Utf8Ascii(Info.Name));
        ExpectSameInfo(Info, Rows[static_cast<size_t>(Order[static_cast<size_t>(I)])]);
      }
    }
  }
}

TEST(SearchResults, SortingByNameLeavesThePathColumnComparingPaths) {
  // The name sort works on a copy of the path column; the path column itself must stay a path column
  // (ordered by tree order) for the sorts that follow.
  TSearchResults R;
  for (const auto& Row : SortRows()) R.Add(Row);
  SortSearchResults(R, rcName, true);
  SortSearchResults(R, rcName, false);
  SortSearchResults(R, rcPath, true);
  const std::vector<std::u16string> Expected = {u"/a/X.txt", u"/a/x.txt", u"/a/y.txt", u"/b/x.txt",
                                                u"/c.zip|x.txt"};
  for (int32_t I = 0; I < R.Count(); ++I) EXPECT_EQ(R.GetFullName(I), Expected[static_cast<size_t>(I)]);
  EXPECT_STREQ(R.Paths.ClassName(), "TPaths");
}

TEST(SearchResults, SortingByPathAfterNewRowsNumbersTheNewNodes) {
  TSearchResults R;
  for (const auto& Row : SortRows()) R.Add(Row);
  SortSearchResults(R, rcPath, true);
  EXPECT_TRUE(R.Storage.IsNumbered());
  R.Add(Hit(u"/a/0.txt"));
  R.Add(Hit(u"/a/b/c.txt"));
  EXPECT_FALSE(R.Storage.IsNumbered());
  SortSearchResults(R, rcPath, true);
  const std::vector<std::u16string> Expected = {u"/a/0.txt", u"/a/b/c.txt", u"/a/X.txt",    u"/a/x.txt",
                                                u"/a/y.txt", u"/b/x.txt",   u"/c.zip|x.txt"};
  ASSERT_EQ(R.Count(), static_cast<int32_t>(Expected.size()));
  for (int32_t I = 0; I < R.Count(); ++I) EXPECT_EQ(R.GetFullName(I), Expected[static_cast<size_t>(I)]);
}

TEST(SearchResults, SortingNoRowsOrOneRowDoesNothing) {
  TSearchResults R;
  SortSearchResults(R, rcSize, true);
  R.Add(Hit(u"/a", 1));
  SortSearchResults(R, rcName, false);
  EXPECT_EQ(R.GetFullName(0), u"/a");
}

}  // namespace
