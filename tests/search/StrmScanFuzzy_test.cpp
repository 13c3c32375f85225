#include <gtest/gtest.h>

#include <random>
#include <string>

#include "search/ScanFuzzy.h"
#include "search/ShiftAnd.h"
#include "search/ShiftAndWide.h"

namespace {

TEST(StrmScanFuzzyTest, PiecesCoverTheWord) {
  struct TCase {
    int32_t Length, Errors;
    std::vector<int32_t> Lengths;
  } Cases[] = {{6, 1, {3, 3}}, {8, 1, {4, 4}}, {9, 2, {3, 3, 3}}, {14, 2, {5, 5, 4}}, {4, 1, {2, 2}}};
  for (const TCase& C : Cases) {
    TFuzzyPieces P;
    P.Split(C.Length, C.Errors);
    ASSERT_EQ(P.Count, C.Errors + 1);
    int32_t At = 0;
    for (int32_t I = 0; I < P.Count; ++I) {
      EXPECT_EQ(P.Start[I], At);
      EXPECT_EQ(P.Length[I], C.Lengths[static_cast<size_t>(I)]);
      At += P.Length[I];
    }
    EXPECT_EQ(At, C.Length);
    EXPECT_EQ(P.Shortest, C.Length / P.Count);
  }
}

// The filtered search answers exactly the matcher's SearchFirst on random texts full of near misses:
// variants of the word with 0 to 3 random edits among letters of the word's own alphabet.
template <typename TSearcher>
void CheckAgainstSearchFirst(uint32_t Seed) {
  using CharT = typename TSearcher::TString::value_type;
  using TString = typename TSearcher::TString;
  std::mt19937 Random(Seed);
  TSearcher Filtered, Plain;
  for (int Round = 0; Round < 300; ++Round) {
    const int32_t M = 6 + static_cast<int32_t>(Random() % 30);
    const int32_t K = M <= 8 ? 1 : 2;
    const int Alphabet = 2 + static_cast<int>(Random() % 4);
    auto Letter = [&] { return static_cast<CharT>('a' + Random() % Alphabet); };
    TString Word;
    for (int32_t I = 0; I < M; ++I) Word += Letter();
    TString Text;
    const size_t Size = 50 + Random() % 3000;
    while (Text.size() < Size) {
      if (Random() % 4 == 0) {
        TString Variant = Word;
        for (int E = static_cast<int>(Random() % 4); E > 0 && !Variant.empty(); --E) {
          const size_t At = Random() % Variant.size();
          switch (Random() % 3) {
            case 0:
              Variant[At] = Letter();
              break;
            case 1:
              Variant.insert(Variant.begin() + static_cast<long>(At), Letter());
              break;
            default:
              Variant.erase(At, 1);
              break;
          }
        }
        Text += Variant;
      } else {
        for (int I = static_cast<int>(Random() % 12); I > 0; --I)
          Text += Random() % 3 == 0 ? CharT('x') : Letter();
      }
    }
    TFuzzyPieces Pieces;
    Pieces.Split(M, K);
    for (TSearcher* S : {&Filtered, &Plain}) {
      S->SetPattern(Word);
      S->MaxErrors = static_cast<uint16_t>(K);
    }
    // Every start of the text, as the scanner's loop searches rest after rest.
    for (size_t From = 0; From < Text.size(); From += 1 + Random() % 40) {
      const int32_t N = static_cast<int32_t>(Text.size() - From);
      TShiftAndMatch Expected{-99, -99, -99}, Got{-99, -99, -99};
      const bool HasExpected = Plain.SearchFirst(Text.data() + From, N, Expected);
      const bool HasGot = FirstFuzzyMatch(Filtered, Word.data(), M, Pieces, Text.data() + From, N, Got);
      ASSERT_EQ(HasGot, HasExpected) << "round " << Round << " from " << From;
      ASSERT_EQ(Got, Expected) << "round " << Round << " from " << From;
    }
  }
}

TEST(StrmScanFuzzyTest, SameFirstMatchAsTheMatcher8) { CheckAgainstSearchFirst<TShiftAndSearcher>(11); }
TEST(StrmScanFuzzyTest, SameFirstMatchAsTheMatcherWide) {
  CheckAgainstSearchFirst<TWideShiftAndSearcher>(12);
}

}  // namespace
