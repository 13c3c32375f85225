#include "viewer/FuzzyHitSpan.h"

#include <algorithm>
#include <limits>

#include "search/StrmScan.h"

int32_t EditDistance(const std::u16string& A, const std::u16string& B) {
  std::vector<int32_t> Row(B.size() + 1);
  for (size_t J = 0; J <= B.size(); ++J) Row[J] = static_cast<int32_t>(J);
  for (size_t I = 1; I <= A.size(); ++I) {
    int32_t Diagonal = Row[0];
    Row[0] = static_cast<int32_t>(I);
    for (size_t J = 1; J <= B.size(); ++J) {
      const int32_t Above = Row[J];
      Row[J] = std::min({Row[J] + 1, Row[J - 1] + 1, Diagonal + (A[I - 1] == B[J - 1] ? 0 : 1)});
      Diagonal = Above;
    }
  }
  return Row[B.size()];
}

TFuzzySpan RefineFuzzySpan(const std::u16string& Text, int32_t HitStart, int32_t HitEnd,
                           const std::vector<std::u16string>& Words, int32_t MinStart) {
  TFuzzySpan Best{HitStart, HitEnd - HitStart};
  int32_t BestDistance = std::numeric_limits<int32_t>::max();
  const int32_t End = std::min<int32_t>(HitEnd, static_cast<int32_t>(Text.size()));
  for (const std::u16string& Word : Words) {
    const int32_t L = static_cast<int32_t>(Word.size());
    if (L <= kFuzzyMinLength) continue;
    const int32_t K = FuzzyErrors(L);
    const int32_t First = std::max({0, MinStart, End - L - K});
    const int32_t Last = std::min(End - 1, End - L + K);
    for (int32_t S = First; S <= Last; ++S) {
      if (Text[static_cast<size_t>(S)] == u' ') continue;
      const int32_t D = EditDistance(Word, Text.substr(static_cast<size_t>(S), static_cast<size_t>(End - S)));
      if (D > K) continue;
      if (D < BestDistance || (D == BestDistance && S < Best.Start)) {
        BestDistance = D;
        Best = {S, End - S};
      }
    }
  }
  return Best;
}
