#include "search/ShiftAnd.h"

#include <gtest/gtest.h>

#include <string>

#include "search/ShiftAndWide.h"

namespace {

template <typename TSearcher>
class ShiftAndSearcherTest : public ::testing::Test {
 protected:
  using CharT = typename TSearcher::TString::value_type;
  using TString = typename TSearcher::TString;

  // ASCII text as the searcher's string type.
  static TString S(const std::string& Ascii) { return TString(Ascii.begin(), Ascii.end()); }

  // Pattern and text are given in ASCII.
  ShiftAndTypes::TSearchResults Find(const std::string& Pattern, uint16_t K, const std::string& Text,
                                     bool FindAll = true) {
    Searcher_.SetPattern(S(Pattern));
    Searcher_.MaxErrors = K;
    const TString Converted = S(Text);
    ShiftAndTypes::TSearchResults Results;
    Searcher_.Search(Converted.data(), static_cast<int32_t>(Converted.size()), FindAll, Results);
    return Results;
  }

  TSearcher Searcher_;
};

using Searchers = ::testing::Types<TShiftAndSearcher, TWideShiftAndSearcher>;
TYPED_TEST_SUITE(ShiftAndSearcherTest, Searchers);

using R = ShiftAndTypes::TSearchResults;

TYPED_TEST(ShiftAndSearcherTest, KnownMatches) {
  struct Case {
    const char* Pattern;
    uint16_t K;
    const char* Text;
    bool FindAll;
    R Expected;
  };
  const Case Cases[] = {
      // End index 3 with the c deleted; the candidates after it in the same run do not survive.
      {"abcd", 1, "xabdx", true, {{0, 4, 1}}},
      // Two deletions before the text starts.
      {"abcde", 2, "cde", true, {{-2, 5, 2}}},
      {"abc", 0, "abcxabcabc", true, {{0, 3, 0}, {4, 3, 0}, {7, 3, 0}}},
      {"abc", 0, "abcxabcabc", false, {{0, 3, 0}}},
      {"abc", 0, "xxabxbc", true, {}},
      // Without FindAll the search ends at the first character where a level matches (here "abc"
      // with the d deleted); with it the exact match one character later replaces that candidate.
      {"abcd", 1, "abcd", false, {{-1, 4, 1}}},
      {"abcd", 1, "abcd", true, {{0, 4, 0}}},
      // Adjacent candidates form one run, exact ones included; two characters apart they are two.
      {"aa", 0, "aaaa", true, {{2, 2, 0}}},
      {"ab", 0, "ababab", true, {{0, 2, 0}, {2, 2, 0}, {4, 2, 0}}},
      // A substitution, an insertion.
      {"search", 1, "a seatch here", true, {{2, 6, 1}}},
      {"search", 1, "a searrch here", true, {{3, 6, 1}}},
      {"search", 1, "a serh here", true, {}},
      // More errors than the pattern has characters: every position matches within m errors.
      {"ab", 5, "zz", true, {{0, 2, 2}}},
      {"ab", 5, "zz", false, {{-1, 2, 2}}},
      {"x", 0, "", true, {}},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(this->Find(C.Pattern, C.K, std::string(C.Text), C.FindAll), C.Expected)
        << C.Pattern << " K=" << C.K << " in '" << C.Text << "' FindAll=" << C.FindAll;
  }
}

TYPED_TEST(ShiftAndSearcherTest, EmptyPatternLeavesResultsUntouched) {
  const R Before{{7, 8, 9}, {10, 11, 12}};
  R Results = Before;
  const auto Text = this->S("anything");
  this->Searcher_.SetPattern(this->S(""));
  this->Searcher_.MaxErrors = 2;
  this->Searcher_.Search(Text.data(), static_cast<int32_t>(Text.size()), true, Results);
  EXPECT_EQ(Results, Before);
  TShiftAndMatch First{1, 2, 3};
  EXPECT_FALSE(this->Searcher_.SearchFirst(Text.data(), static_cast<int32_t>(Text.size()), First));
  EXPECT_EQ(First, (TShiftAndMatch{1, 2, 3}));
}

TYPED_TEST(ShiftAndSearcherTest, SearchWithoutMatchEmptiesResults) {
  R Results{{7, 8, 9}};
  const auto Text = this->S("xyz");
  this->Searcher_.SetPattern(this->S("abc"));
  this->Searcher_.Search(Text.data(), 3, true, Results);
  EXPECT_TRUE(Results.empty());
  Results = {{7, 8, 9}};
  this->Searcher_.Search(Text.data(), -5, true, Results);
  EXPECT_TRUE(Results.empty());
}

// Masks are rebuilt per pattern by clearing what the previous pattern set: nothing of an earlier
// pattern, short or long, may leak into a later one.
TYPED_TEST(ShiftAndSearcherTest, NewPatternForgetsThePreviousOne) {
  const std::string Long70(70, 'q');
  EXPECT_EQ(this->Find("xyz", 0, "xyz abc"), (R{{0, 3, 0}}));
  EXPECT_EQ(this->Find("abc", 0, "xyz"), R{});
  EXPECT_EQ(this->Find(Long70, 0, Long70), (R{{0, 70, 0}}));
  EXPECT_EQ(this->Find("abc", 0, Long70 + "abc"), (R{{70, 3, 0}}));
  EXPECT_EQ(this->Find(std::string(66, 'r'), 0, Long70), R{});
  EXPECT_EQ(this->Find("qqq", 0, "rrrr"), R{});
  EXPECT_EQ(this->Find("abc", 0, "xyz abc"), (R{{4, 3, 0}}));
}

TYPED_TEST(ShiftAndSearcherTest, PatternAndPreparedState) {
  auto& S = this->Searcher_;
  EXPECT_FALSE(S.Prepared());
  S.SetPattern(this->S("abcd"));
  EXPECT_EQ(S.PatternLength(), 4);
  S.Prepare();
  EXPECT_TRUE(S.Prepared());
  S.SetPattern(this->S("abcd"));  // the same pattern keeps its masks
  EXPECT_TRUE(S.Prepared());
  // MaxErrors is read at every search; its masks stay valid.
  const auto Text = this->S("xabdx");
  R Results;
  S.MaxErrors = 0;
  S.Search(Text.data(), 5, true, Results);
  EXPECT_TRUE(Results.empty());
  S.MaxErrors = 1;
  S.Search(Text.data(), 5, true, Results);
  EXPECT_EQ(Results, (R{{0, 4, 1}}));
  S.SetPattern(this->S("abd"));
  EXPECT_FALSE(S.Prepared());
  EXPECT_EQ(S.PatternLength(), 3);
}

// Patterns longer than one word: the same results with the rows of the long path.
TYPED_TEST(ShiftAndSearcherTest, LongPatterns) {
  std::string P;
  for (int I = 0; I < 70; ++I) P += static_cast<char>('a' + I * 7 % 26);
  std::string Deleted = P;
  Deleted.erase(40, 1);
  std::string Substituted = P;
  Substituted[69] = '#';
  EXPECT_EQ(this->Find(P, 0, "xx" + P + "yy" + P), (R{{2, 70, 0}, {74, 70, 0}}));
  EXPECT_EQ(this->Find(P, 0, "xx" + P + "yy" + P, false), (R{{2, 70, 0}}));
  EXPECT_EQ(this->Find(P, 1, "--" + Deleted + "--"), (R{{1, 70, 1}}));
  EXPECT_EQ(this->Find(P, 2, Substituted + "."), (R{{0, 70, 1}}));
  EXPECT_EQ(this->Find(P, 2, P.substr(2)), (R{{-2, 70, 2}}));
  EXPECT_EQ(this->Find(P, 2, P.substr(3)), R{});
}

// A first candidate far before the text: 999 deletions plus one substitution. The search keeps it
// like any other instead of taking it for a successor of a match that was never kept.
TYPED_TEST(ShiftAndSearcherTest, FarNegativeStartIsKept) {
  EXPECT_EQ(this->Find(std::string(1000, 'a'), 1000, "b"), (R{{-999, 1000, 1000}}));
  EXPECT_EQ(this->Find(std::string(60, 'a'), 60, "b"), (R{{-59, 60, 60}}));
}

TEST(ShiftAndSearcher, BytesAboveAsciiAndZeroBytesAreOrdinaryCharacters) {
  TShiftAndSearcher S;
  S.SetPattern(std::string("\xff\x00\x80", 3));
  const std::string Text("a\xff\x00\x80z\xfe\x00\x80", 8);
  R Results;
  S.Search(Text.data(), static_cast<int32_t>(Text.size()), true, Results);
  EXPECT_EQ(Results, (R{{1, 3, 0}}));
  S.MaxErrors = 1;
  S.Search(Text.data(), static_cast<int32_t>(Text.size()), true, Results);
  EXPECT_EQ(Results, (R{{1, 3, 0}, {5, 3, 1}}));
}

TEST(WideShiftAndSearcher, MatchesUnitsBeyondTheFirst256) {
  TWideShiftAndSearcher S;
  S.SetPattern(u"\u0431\u044B\uFFFF\u0100");
  S.MaxErrors = 1;
  const std::u16string Text = u"..\u0431\u044B\u0100..\u0431\u044B\uFFFF\u0100\u0031";
  R Results;
  S.Search(Text.data(), static_cast<int32_t>(Text.size()), true, Results);
  EXPECT_EQ(Results, (R{{1, 4, 1}, {7, 4, 0}}));
  // The low byte of U+0431 is '1': the units must not be folded to bytes.
  S.SetPattern(u"1");
  S.MaxErrors = 0;
  S.Search(Text.data(), static_cast<int32_t>(Text.size()), true, Results);
  EXPECT_EQ(Results, (R{{11, 1, 0}}));
}

}  // namespace
