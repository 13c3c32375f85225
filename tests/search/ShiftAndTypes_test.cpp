#include "search/ShiftAndTypes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Candidates as a matcher offers them: start and errors (the length plays no part in the rule).
struct TCandidate {
  int32_t Start;
  int32_t Errors;
};

struct TAddMatchCase {
  const char* Name;
  std::vector<TCandidate> Candidates;
  std::vector<TCandidate> Kept;
};

TEST(MatchCollector, AddMatchKeepsOneMatchPerRunOfOverlappingCandidates) {
  const std::vector<TAddMatchCase> Cases = {
      {"first candidate is appended", {{5, 1}}, {{5, 1}}},
      {"next start with fewer errors replaces", {{3, 1}, {4, 0}}, {{4, 0}}},
      {"next start with as many errors replaces", {{3, 1}, {4, 1}}, {{4, 1}}},
      {"next start with more errors is ignored", {{3, 0}, {4, 1}}, {{3, 0}}},
      {"a chain of better candidates ends at the best", {{0, 2}, {1, 1}, {2, 0}}, {{2, 0}}},
      {"overlap counted back by the errors is ignored", {{5, 1}, {6, 2}}, {{5, 1}}},
      {"a later start beyond the overlap is appended", {{3, 1}, {6, 1}}, {{3, 1}, {6, 1}}},
      {"two starts on with no errors is appended", {{3, 0}, {5, 0}}, {{3, 0}, {5, 0}}},
      // An ignored candidate leaves the last start and errors as they were. Were they taken over,
      // (12, 2) would count as following (11, 2) and replace the exact match at 10.
      {"ignored candidate changes nothing", {{10, 0}, {11, 2}, {12, 2}}, {{10, 0}}},
      {"after an ignored candidate the kept one still decides",
       {{10, 1}, {11, 2}, {12, 0}},
       {{10, 1}, {12, 0}}},
      // Starts far before the text (a long pattern with many errors allowed) are kept like any other.
      {"far negative start is appended", {{-999, 1000}}, {{-999, 1000}}},
      {"start beyond any sentinel is appended", {{-2499, 2500}, {-2498, 2499}}, {{-2498, 2499}}},
  };
  for (const TAddMatchCase& C : Cases) {
    ShiftAndTypes::TSearchResults Results{{77, 7, 7}};  // cleared by the collector
    TMatchCollector Out(Results);
    for (const TCandidate& Cand : C.Candidates) Out.AddMatch(Cand.Start, 9, Cand.Errors);
    ShiftAndTypes::TSearchResults Expected;
    for (const TCandidate& K : C.Kept) Expected.push_back({K.Start, 9, K.Errors});
    EXPECT_EQ(Results, Expected) << C.Name;
    EXPECT_EQ(Out.Count(), static_cast<int32_t>(Expected.size())) << C.Name;
  }
}

}  // namespace
