#include "search/ScanFuzzy.h"

#include <algorithm>

#include "platform/qvnls/Qvnls.h"

void TFuzzyPieces::Split(int32_t WordLength, int32_t MaxErrors) {
  Count = std::clamp(MaxErrors + 1, 1, kMaxPieces);
  int32_t At = 0;
  for (int32_t I = 0; I < Count; ++I) {
    // The first WordLength mod Count pieces take one character more.
    Length[I] = WordLength / Count + (I < WordLength % Count ? 1 : 0);
    Start[I] = At;
    At += Length[I];
  }
  Shortest = WordLength / Count;
}

namespace {

int32_t FindExact(const char* Piece, int32_t Length, const char* Text, int32_t TextLength) {
  return qvnls::FindInBuf(Piece, Length, Text, TextLength);
}

int32_t FindExact(const char16_t* Piece, int32_t Length, const char16_t* Text, int32_t TextLength) {
  return qvnls::FindWordsInBuf(Piece, Length, Text, TextLength);
}

}  // namespace

template <typename CharT>
bool FirstFuzzyMatch(TBasicShiftAndSearcher<CharT>& Searcher, const CharT* Word, int32_t Length,
                     const TFuzzyPieces& Pieces, const CharT* Text, int32_t TextLength,
                     TShiftAndMatch& Match) {
  if (Pieces.Shortest < kFuzzyMinPieceLength) return Searcher.SearchFirst(Text, TextLength, Match);
  const int32_t M = Length;
  const int32_t K = Pieces.Count - 1;

  // The next occurrence of each piece at or after the last position asked (-1: none left, -2: not
  // searched yet).
  int32_t Next[TFuzzyPieces::kMaxPieces] = {-2, -2, -2};
  auto FirstOccurrence = [&](int32_t From) {
    int32_t First = -1;
    for (int32_t P = 0; P < Pieces.Count; ++P) {
      if (Next[P] != -1 && Next[P] < From) {
        const int32_t I =
            From <= TextLength - Pieces.Length[P]
                ? FindExact(Word + Pieces.Start[P], Pieces.Length[P], Text + From, TextLength - From)
                : -1;
        Next[P] = I < 0 ? -1 : From + I;
      }
      if (Next[P] >= 0 && (First < 0 || Next[P] < First)) First = Next[P];
    }
    return First;
  };
  // A match holding the occurrence at T ends no earlier than T + Shortest - 1 and spans at most M + K
  // characters: from RegionStart on, every such end is seen with its true errors.
  auto RegionStart = [&](int32_t T) { return std::max(0, T + Pieces.Shortest - M - K); };
  // It ends no later than T + M + K - 1; one more character shows whether the next end replaces it.
  auto RegionEnd = [&](int32_t T) { return std::min(TextLength, T + M + K + 1); };

  int32_t From = 0;
  for (;;) {
    int32_t T = FirstOccurrence(From);
    if (T < 0) return false;
    const int32_t S = RegionStart(T);
    int32_t B = RegionEnd(T);
    for (;;) {
      const int32_t T2 = FirstOccurrence(T + 1);
      if (T2 < 0 || RegionStart(T2) > B) break;
      T = T2;
      B = RegionEnd(T);
    }
    // Every match ending in the region holds an occurrence up to T (a later occurrence's matches end
    // past B), so it ends by B - 2 and the character after it is in the region as well.
    TShiftAndMatch Found;
    if (Searcher.SearchFirst(Text + S, B - S, Found)) {
      Found.Start += S;
      Match = Found;
      return true;
    }
    From = T + 1;
  }
}

template bool FirstFuzzyMatch<char>(TBasicShiftAndSearcher<char>&, const char*, int32_t, const TFuzzyPieces&,
                                    const char*, int32_t, TShiftAndMatch&);
template bool FirstFuzzyMatch<char16_t>(TBasicShiftAndSearcher<char16_t>&, const char16_t*, int32_t,
                                        const TFuzzyPieces&, const char16_t*, int32_t, TShiftAndMatch&);
