// Where a fuzzy hit begins. The stream scanner reports an approximate match by the character it ends at
// and the word's length, so a match with an inserted character is reported one character too late at
// its start (one with a deleted character one too early). The preview marks the span whose text lies
// closest to one of the pattern's words instead, so that the mark covers the word as it stands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TFuzzySpan {
  int32_t Start = 0;
  int32_t Length = 0;
};

// Text holds the characters around a hit, folded as Words are; the hit covers Text[HitStart, HitEnd).
// Words are the pattern's words (those of a fuzzy length are tried). The answer keeps the hit's end and
// begins at the start, not before MinStart and not on a blank, whose text is fewest edits from a word
// (the longer span on a tie); the hit as reported when no start comes within the word's error count.
TFuzzySpan RefineFuzzySpan(const std::u16string& Text, int32_t HitStart, int32_t HitEnd,
                           const std::vector<std::u16string>& Words, int32_t MinStart);

// The number of single-character edits (insert, delete, replace) between A and B.
int32_t EditDistance(const std::u16string& A, const std::u16string& B);
