#include "search/ShiftAndTypes.h"

TMatchCollector::TMatchCollector(ShiftAndTypes::TSearchResults& Results) : Results_(Results) {
  Results_.clear();
}

void TMatchCollector::AddMatch(int32_t Start, int32_t Length, int32_t Errors) {
  // The first candidate has nothing to overlap. Keeping "no last candidate" apart, rather than starting
  // from a far-away sentinel start, keeps a first candidate far before the text (a long pattern with many
  // errors allowed) from being dropped or from replacing a match that does not exist.
  if (!Results_.empty()) {
    // 64-bit, so that a start near the 32-bit limit minus its errors cannot wrap.
    if (int64_t{LastStart_} - LastErrors_ >= int64_t{Start} - Errors) return;
    if (int64_t{Start} == int64_t{LastStart_} + 1 && Errors <= LastErrors_) {
      Results_.back() = TShiftAndMatch{Start, Length, Errors};
      LastStart_ = Start;
      LastErrors_ = Errors;
      return;
    }
  }
  Results_.push_back(TShiftAndMatch{Start, Length, Errors});
  LastStart_ = Start;
  LastErrors_ = Errors;
}
