// The hits of one search in the results table: sorted by every column in both directions, and searched again
// within the results (archive items extracted anew, documents converted anew), which gives the same hits
// in the table's order; a narrower pattern within the results gives the rows that hold it.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <tuple>
#include <utility>

#include "tests/e2e/SearchRoad.h"

namespace e2e {
namespace {

std::string Lower(std::string Text) {
  for (char& C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

// A path's components, each with the "/" or "|" that ends it, without case: sorting by path puts a folder's
// entries after it and siblings in name order.
std::vector<std::string> Components(const std::string& Path) {
  std::vector<std::string> Out;
  size_t From = 0;
  for (size_t I = 0; I < Path.size(); ++I)
    if (Path[I] == '/' || Path[I] == '|') {
      Out.push_back(Lower(Path.substr(From, I + 1 - From)));
      From = I + 1;
    }
  Out.push_back(Lower(Path.substr(From)));
  return Out;
}

// One row with the keys of the six columns.
struct TRow {
  THit Hit;
  std::string Name;               // rcName: the last component, without case
  std::vector<std::string> Path;  // rcPath
  int64_t Size;                   // rcSize
  TDateTime Date;                 // rcDate
  uintptr_t Converter;            // rcConverter: by address, none first
  int Encoding;                   // rcEncoding

  // Compares by Column, the other columns in column order breaking ties.
  static bool Less(const TRow& A, const TRow& B, int Column) {
    auto Keys = [](const TRow& R) {
      return std::tie(R.Name, R.Path, R.Size, R.Date, R.Converter, R.Encoding);
    };
    auto Primary = [Column](const TRow& R) {
      return std::make_tuple(Column == rcName ? R.Name : std::string(),
                             Column == rcPath ? R.Path : std::vector<std::string>(),
                             Column == rcSize ? R.Size : 0, Column == rcDate ? R.Date : 0.0,
                             Column == rcConverter ? R.Converter : 0, Column == rcEncoding ? R.Encoding : 0);
    };
    const auto PA = Primary(A), PB = Primary(B);
    if (PA != PB) return PA < PB;
    return Keys(A) < Keys(B);
  }
};

class ResultsRoundTrip : public SearchRoad {
 protected:
  // The table's rows in their present order.
  std::vector<TRow> Rows() const {
    std::vector<TRow> Out;
    for (int32_t I = 0; I < Results_.Count(); ++I) {
      TFoundFileInfo Info;
      Results_.GetInfo(I, Info);
      const std::string Full = Utf16ToUtf8(Results_.GetFullName(I));
      Out.push_back({HitOf(Info), Lower(Utf16ToUtf8(Results_.GetName(I))), Components(Full), Info.Size,
                     Info.Date, reinterpret_cast<uintptr_t>(Info.Converter), Info.Encoding});
    }
    return Out;
  }
  static std::vector<THit> HitsOf(const std::vector<TRow>& Rows) {
    std::vector<THit> Out;
    for (const TRow& R : Rows) Out.push_back(R.Hit);
    return Out;
  }
  // Searches the table again with the scanner's present settings, the way a search within results runs:
  // the hits go to a new table and every stored row is scanned, the duplicate filter off; the events are
  // the search's again afterwards.
  std::vector<THit> SearchAgain() {
    TSearchResults Again;
    std::vector<THit> Found;
    TAcceptFileEvent Accept = std::move(Scanner_.OnAcceptFile);
    TFoundEvent Collect = std::move(Scanner_.OnFound);
    Scanner_.OnAcceptFile = nullptr;
    Scanner_.OnFound = [&](const TFoundFileInfo& Info) {
      Again.Add(Info);
      Found.push_back(HitOf(Info));
    };
    EXPECT_TRUE(SearchInResults(Results_, Scanner_));
    Scanner_.OnAcceptFile = std::move(Accept);
    Scanner_.OnFound = std::move(Collect);
    EXPECT_EQ(Again.Count(), static_cast<int32_t>(Found.size()));
    return Found;
  }
};

TEST_F(ResultsRoundTrip, SortedByEveryColumnAndSearchedAgain) {
  TSearchSettings S;
  S.Pattern = kOneWordEach;
  ASSERT_TRUE(Search(S));
  ASSERT_EQ(Hits_.size(), 14u);
  std::vector<THit> Found = Hits_;

  const std::vector<TRow> Original = Rows();
  for (int Column = rcName; Column <= rcEncoding; ++Column) {
    std::vector<TRow> Expected = Original;
    std::sort(Expected.begin(), Expected.end(),
              [Column](const TRow& A, const TRow& B) { return TRow::Less(A, B, Column); });
    SCOPED_TRACE("column " + std::to_string(Column));
    SortSearchResults(Results_, Column, true);
    EXPECT_EQ(HitsOf(Rows()), HitsOf(Expected));
    std::reverse(Expected.begin(), Expected.end());
    SortSearchResults(Results_, Column, false);
    EXPECT_EQ(HitsOf(Rows()), HitsOf(Expected));
  }
  // Equal sizes: the two 17-byte texts in name order.
  SortSearchResults(Results_, rcSize, true);
  EXPECT_EQ(HitsOf(Rows())[0].Path, "plain/ansi.txt");
  EXPECT_EQ(HitsOf(Rows())[1].Path, "plain/oem.txt");

  // In an order other than the walk's, the search within results finds every row again, row by row, with
  // the same converter and encoding.
  SortSearchResults(Results_, rcConverter, false);
  const std::vector<THit> Sorted = HitsOf(Rows());
  ASSERT_NE(Sorted, Found);
  EXPECT_EQ(SearchAgain(), Sorted);
}

TEST_F(ResultsRoundTrip, NarrowerPatternWithinResults) {
  TSearchSettings S;
  S.Pattern = kOneWordEach;
  ASSERT_TRUE(Search(S));
  SortSearchResults(Results_, rcSize, true);
  // Within the results: the texts of the three character sets and the archive items that hold the word,
  // in the table's order (by size); the documents hold none of it.
  S.Pattern = u"caf\u00e9";
  SetUpScanners(S);
  EXPECT_EQ(SearchAgain(), (std::vector<THit>{
                               {"plain/ansi.txt", 17, "", seAnsi},
                               {"plain/oem.txt", 17, "", seOem},
                               {"archives/notes.arj|cafe.txt", 26, "", seOem},
                               {"plain/utf16.txt", 36, "", seUnicode},
                               {"archives/memos.cab|memo.txt", 96, "", seUnicode},
                           }));
  // A word that only a converter's text holds, in a document inside an archive.
  S.Pattern = u"replaceMe";
  SetUpScanners(S);
  EXPECT_EQ(SearchAgain(),
            (std::vector<THit>{{"archives/pages.zip|book.xls", 13824, "impcalc2.so", seUnicode}}));
}

// Files whose names differ only in case, hold letters beyond ASCII or hold a "|": each is a file of its own,
// found by its contents and by its name, a plain file in the table, and found again within the results.
TEST_F(ResultsRoundTrip, FileNamesOfEveryKind) {
  Write("names/note.txt", "needle one\n");
  Write("names/Note.txt", "needle two\n");
  Write("names/a|b.txt", "needle three\n");
  Write("names/\u00dcberblick.txt", "needle four\n");
  Write("names/\u00fcber.txt", "needle five\n");
  TSearchSettings S;
  S.Pattern = u"needle";
  S.Roots = "names";
  ASSERT_TRUE(Search(S));
  const std::vector<THit> Expected{{"names/a|b.txt", 13, "", seAnsi},
                                   {"names/Note.txt", 11, "", seAnsi},
                                   {"names/note.txt", 11, "", seAnsi},
                                   {"names/\u00fcber.txt", 12, "", seAnsi},
                                   {"names/\u00dcberblick.txt", 12, "", seAnsi}};
  EXPECT_EQ(Hits_, Expected);
  for (int32_t I = 0; I < Results_.Count(); ++I) {
    EXPECT_FALSE(Results_.IsArchiveItem(I)) << I;
    EXPECT_EQ(Results_.GetArchiveName(I), u"") << I;
  }
  EXPECT_EQ(SearchAgain(), Expected);

  // The name hits of a pattern beyond ASCII, without case.
  S.Pattern = u"\u00dcBER";
  SetUpScanners(S);
  ASSERT_TRUE(Search(S));
  EXPECT_EQ(Hits_, (std::vector<THit>{{"names/\u00fcber.txt", 12, "", seFileName},
                                      {"names/\u00dcberblick.txt", 12, "", seFileName}}));
}

TEST_F(ResultsRoundTrip, NameOfAPlainFileWithABar) {
  Write("names/a|b.txt", "needle\n");
  Write("names/c.txt", "needle\n");
  TSearchSettings S;
  S.Pattern = u"needle";
  S.Roots = "names";
  ASSERT_TRUE(Search(S));
  ASSERT_EQ(Results_.Count(), 2);
  EXPECT_EQ(Results_.GetName(0), u"a|b.txt");
  SortSearchResults(Results_, rcName, false);
  EXPECT_EQ(Results_.GetName(0), u"c.txt");
}

}  // namespace
}  // namespace e2e
