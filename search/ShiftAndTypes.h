// The results of the bit-parallel matchers (ShiftAnd, ShiftAndWide): one TShiftAndMatch per kept match,
// the growable array they are returned in, and TMatchCollector, the rule that keeps at most one match per
// run of overlapping candidates.
//
// The array type lives in namespace ShiftAndTypes and is always written with it, since TSearchResults
// alone is the results table of a whole search.
#pragma once

#include <cstdint>
#include <vector>

// One match. Start is the index of the match's first character in the searched text, computed as
// end index - Length + 1; a match at the very start of the text that needs deletions therefore has a
// negative Start. Length is always the pattern length; Errors is the smallest error level that matched
// at the match's end.
struct TShiftAndMatch {
  int32_t Start = 0;
  int32_t Length = 0;
  int32_t Errors = 0;

  bool operator==(const TShiftAndMatch&) const = default;
};

namespace ShiftAndTypes {

using TSearchResults = std::vector<TShiftAndMatch>;

}  // namespace ShiftAndTypes

// Collects the candidates of one search into a results array, which it clears when created. A matcher
// offers one candidate per text position where the pattern ends within the allowed errors, in increasing
// order of position; AddMatch keeps at most one result per run of overlapping candidates:
//   1. a candidate that starts no later than the last candidate, counted back by the errors of each
//      (LastStart - LastErrors >= Start - Errors), is ignored and changes nothing;
//   2. a candidate one character after the last one with no more errors replaces the last kept match;
//   3. any other candidate is appended.
// After 2 and 3 the candidate becomes the last one. The first candidate is always appended.
//
// Results must outlive the collector; one thread uses both.
class TMatchCollector {
 public:
  explicit TMatchCollector(ShiftAndTypes::TSearchResults& Results);

  void AddMatch(int32_t Start, int32_t Length, int32_t Errors);
  int32_t Count() const { return static_cast<int32_t>(Results_.size()); }

 private:
  ShiftAndTypes::TSearchResults& Results_;
  int32_t LastStart_ = 0;
  int32_t LastErrors_ = 0;
};
