// The first approximate match of a word in a text, as the stream scanner asks for it: the first match
// that TBasicShiftAndSearcher::SearchFirst reports over the whole text, found faster.
//
// A match with at most K errors holds at least one of K + 1 disjoint pieces of the word exactly (each
// error touches at most one piece). The text is searched exactly for the pieces, and the bit-parallel
// matcher runs only over the regions around their occurrences: from far enough before an occurrence
// that every match which can contain it, or end after it, is seen with its true number of errors, to
// one character past the last end such a match can have, so that the matcher's choice among
// overlapping matches is complete. Regions that overlap are merged. Text outside every region holds no
// match end, so the answer is the matcher's own.
#pragma once

#include <cstdint>

#include "search/ShiftAnd.h"

// The pieces of a word of Length characters for MaxErrors errors.
struct TFuzzyPieces {
  static constexpr int kMaxPieces = 3;  // the scanner allows at most two errors
  int32_t Count = 0;
  int32_t Start[kMaxPieces] = {};
  int32_t Length[kMaxPieces] = {};
  int32_t Shortest = 0;

  void Split(int32_t WordLength, int32_t MaxErrors);
};

// Pieces shorter than this occur too often in text to be worth a filter.
constexpr int32_t kFuzzyMinPieceLength = 3;

// Searcher holds Word (Length characters) as its pattern and MaxErrors = Pieces.Count - 1. Answers the
// first match over Text[0..TextLength) exactly as Searcher.SearchFirst (Text, TextLength, Match) would.
template <typename CharT>
bool FirstFuzzyMatch(TBasicShiftAndSearcher<CharT>& Searcher, const CharT* Word, int32_t Length,
                     const TFuzzyPieces& Pieces, const CharT* Text, int32_t TextLength,
                     TShiftAndMatch& Match);

extern template bool FirstFuzzyMatch<char>(TBasicShiftAndSearcher<char>&, const char*, int32_t,
                                           const TFuzzyPieces&, const char*, int32_t, TShiftAndMatch&);
extern template bool FirstFuzzyMatch<char16_t>(TBasicShiftAndSearcher<char16_t>&, const char16_t*, int32_t,
                                               const TFuzzyPieces&, const char16_t*, int32_t,
                                               TShiftAndMatch&);
