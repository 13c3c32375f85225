// Both searchers against a brute-force edit distance: for every end position of the text the smallest
// number of errors with which the pattern matches a substring ending there (Sellers' dynamic program,
// where a match may start anywhere, also before the text with leading deletions). The positions within
// MaxErrors, passed through the same merging rule, must give exactly the searcher's results; the
// search without FindAll must give the first of them alone and SearchFirst the first kept match.
//
// Texts are random over two or three characters with mutated copies of the pattern planted in them,
// so that long patterns match too. Pattern lengths straddle the one-word limit of 64 characters; K runs
// from 0 to 3 (3 takes the loop over any number of levels).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "search/ShiftAnd.h"
#include "search/ShiftAndWide.h"

namespace {

// D[m][t] for every t: the edit distance of the pattern to the best substring ending at t.
template <typename TString>
std::vector<int32_t> BestDistanceAtEachEnd(const TString& Pattern, const TString& Text) {
  const size_t M = Pattern.size();
  std::vector<int32_t> Column(M + 1);
  for (size_t I = 0; I <= M; ++I) Column[I] = static_cast<int32_t>(I);
  std::vector<int32_t> Ends;
  for (size_t T = 0; T < Text.size(); ++T) {
    int32_t Diagonal = Column[0];  // row 0 stays 0: a match may start at any position
    for (size_t I = 1; I <= M; ++I) {
      const int32_t Above = Column[I];
      Column[I] = std::min({Diagonal + (Pattern[I - 1] == Text[T] ? 0 : 1), Above + 1, Column[I - 1] + 1});
      Diagonal = Above;
    }
    Ends.push_back(Column[M]);
  }
  return Ends;
}

template <typename TString>
TString Mutate(TString S, const TString& Alphabet, int Edits, std::mt19937& Rng) {
  for (int E = 0; E < Edits && !S.empty(); ++E) {
    const size_t At = Rng() % S.size();
    switch (Rng() % 3) {
      case 0:
        S[At] = Alphabet[Rng() % Alphabet.size()];
        break;
      case 1:
        S.erase(At, 1);
        break;
      default:
        S.insert(S.begin() + static_cast<std::ptrdiff_t>(At), Alphabet[Rng() % Alphabet.size()]);
        break;
    }
  }
  return S;
}

template <typename TSearcher>
void RunDifferential(const typename TSearcher::TString& FullAlphabet, uint32_t Seed) {
  using TString = typename TSearcher::TString;
  std::mt19937 Rng(Seed);
  TSearcher Searcher;
  const int32_t Lengths[] = {1, 2, 3, 5, 8, 13, 31, 32, 33, 34, 63, 64, 65, 66, 97, 200};
  for (size_t AlphabetSize : {size_t{2}, size_t{3}}) {
    const TString Alphabet = FullAlphabet.substr(0, AlphabetSize);
    for (int32_t M : Lengths) {
      for (int Round = 0; Round < 8; ++Round) {
        TString Pattern;
        for (int32_t I = 0; I < M; ++I) Pattern += Alphabet[Rng() % AlphabetSize];
        TString Text;
        const int32_t TextLength = 120 + static_cast<int32_t>(Rng() % 120);
        while (static_cast<int32_t>(Text.size()) < TextLength) {
          if (Rng() % 4 == 0) {
            Text += Mutate(Pattern, Alphabet, static_cast<int>(Rng() % 4), Rng);
          } else {
            Text += Alphabet[Rng() % AlphabetSize];
          }
        }
        // Sometimes the text starts inside a copy of the pattern (leading deletions, negative starts).
        if (Round % 4 == 3) Text = Pattern.substr(Rng() % Pattern.size()) + Text;
        const std::vector<int32_t> Ends = BestDistanceAtEachEnd(Pattern, Text);

        Searcher.SetPattern(Pattern);
        for (uint16_t K = 0; K <= 3; ++K) {
          Searcher.MaxErrors = K;
          ShiftAndTypes::TSearchResults Expected;
          TMatchCollector Reference(Expected);
          for (int32_t T = 0; T < static_cast<int32_t>(Ends.size()); ++T) {
            if (Ends[T] <= K) Reference.AddMatch(T - M + 1, M, Ends[T]);
          }
          ShiftAndTypes::TSearchResults Got;
          Searcher.Search(Text.data(), static_cast<int32_t>(Text.size()), true, Got);
          ASSERT_EQ(Got, Expected) << "m=" << M << " K=" << K << " alphabet " << AlphabetSize;

          ShiftAndTypes::TSearchResults FirstOnly;
          Searcher.Search(Text.data(), static_cast<int32_t>(Text.size()), false, FirstOnly);
          ShiftAndTypes::TSearchResults ExpectedFirst;
          for (int32_t T = 0; T < static_cast<int32_t>(Ends.size()); ++T) {
            if (Ends[T] <= K) {
              ExpectedFirst.push_back({T - M + 1, M, Ends[T]});
              break;
            }
          }
          ASSERT_EQ(FirstOnly, ExpectedFirst) << "m=" << M << " K=" << K;

          TShiftAndMatch First{};
          ASSERT_EQ(Searcher.SearchFirst(Text.data(), static_cast<int32_t>(Text.size()), First),
                    !Expected.empty());
          if (!Expected.empty()) {
            ASSERT_EQ(First, Expected.front()) << "m=" << M << " K=" << K;
          }
        }
      }
    }
  }
}

TEST(ShiftAndDifferential, EightBitSearcherAgreesWithEditDistance) {
  // A zero byte and bytes above 127 (negative as char) among the letters.
  RunDifferential<TShiftAndSearcher>(std::string("a\xff\x00", 3), 20261210);
}

TEST(ShiftAndDifferential, WideSearcherAgreesWithEditDistance) {
  RunDifferential<TWideShiftAndSearcher>(u"\u0431\uFFFFa", 4242);
}

}  // namespace
