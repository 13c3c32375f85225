// Approximate string matching with at most K errors (substitution, insertion or deletion of one character
// each), bit-parallel after Wu and Manber. TShiftAndSearcher matches an 8-bit pattern in 8-bit text; the
// UTF-16 searcher (ShiftAndWide) is the same engine over 16-bit characters. K = 0 is exact matching.
//
// State: for every error level j = 0..K one row R[j] with one bit per pattern position; position i is set
// when the pattern's first i + 1 characters match text ending at the current character with at most j
// errors. Position i sits at bit 63 - i of one 64-bit word while the pattern has at most 64 characters,
// and in the 32-bit rows of TBitPlanes (Bits.h, same order, highest bit first) beyond that. Per text
// character c, with CM the mask of c (the positions where c occurs in the pattern) and Top position 0:
//   new R[0] = ((old R[0] >> 1) | Top) & CM
//   new R[j] = old R[j-1] | ((old R[j] >> 1) & CM) | ((old R[j-1] | new R[j-1]) >> 1), and | Top for j = 1
// starting from R[0] = 0 and R[j] = the first j positions set. The smallest j whose new R[j] holds the
// last pattern position is the edit distance of the best match ending at that character; it is offered
// to TMatchCollector (ShiftAndTypes.h) as Start = end - m + 1, which is negative for a match at the very
// start of the text that needs deletions. Levels above m behave as level m, so K is capped at m.
//
// Masks: short patterns use one 64-bit mask per character value (256 inside the 8-bit searcher; 65,536
// on the heap for UTF-16, made at the first short pattern and kept), and Prepare clears only the entries
// the previous pattern set. Long patterns keep one row per distinct pattern character plus one shared
// zero row, a row index per character value, and fixed working rows updated in place.
//
// A searcher owns all of it; it is not copyable and one thread uses it at a time. Search prepares the
// masks when needed, so it is not const.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "search/Bits.h"
#include "search/ShiftAndTypes.h"

// Patterns of at most this many characters take the one-word path.
constexpr int32_t kShiftAndWordBits = 64;

// The searcher over characters of type CharT (char or char16_t); see TShiftAndSearcher and
// TWideShiftAndSearcher.
template <typename CharT>
class TBasicShiftAndSearcher {
 public:
  using TString = std::basic_string<CharT>;

  TBasicShiftAndSearcher();
  TBasicShiftAndSearcher(const TBasicShiftAndSearcher&) = delete;
  TBasicShiftAndSearcher& operator=(const TBasicShiftAndSearcher&) = delete;
  ~TBasicShiftAndSearcher();

  // The number of errors allowed (K). Changing it needs no new Prepare.
  uint16_t MaxErrors = 0;

  // Stores a pattern different from the current one and marks the masks as out of date.
  void SetPattern(const TString& Pattern);
  // Builds the masks of the current pattern, once per pattern.
  void Prepare();

  // Searches Text[0..Length) (Length in characters; Length <= 0 is empty text). With an empty pattern it
  // returns at once and leaves Results as they were. Otherwise Results receives the kept matches in text
  // order (none when there is no match). Without FindAll the search stops at the first character where
  // the pattern matches within MaxErrors, so Results then holds at most that one match.
  void Search(const CharT* Text, int32_t Length, bool FindAll, ShiftAndTypes::TSearchResults& Results);

  // The first kept match of a FindAll search, without searching past the point where it is final (a
  // second match has been kept). Returns false, leaving Match as it was, when there is none or the
  // pattern is empty.
  bool SearchFirst(const CharT* Text, int32_t Length, TShiftAndMatch& Match);

  const TString& Pattern() const { return Pattern_; }
  int32_t PatternLength() const { return PatternLength_; }
  bool Prepared() const { return Prepared_; }

 private:
  using UChar = std::make_unsigned_t<CharT>;
  // The number of character values: 256 or 65,536.
  static constexpr size_t kAlphabet = size_t{1} << (8 * sizeof(CharT));
  // The 8-bit table (2 KB) lives inside the object; the UTF-16 one (512 KB) on the heap.
  using TMaskTable =
      std::conditional_t<sizeof(CharT) == 1, std::array<uint64_t, kAlphabet>, std::unique_ptr<uint64_t[]>>;

  void PrepareShort();
  void PrepareLong();
  void ClearLong();
  uint64_t* MaskTable();
  // Runs the search until StopAt matches are kept or the text ends.
  void Run(const CharT* Text, int32_t Length, int32_t StopAt, TMatchCollector& Out);
  void SearchLong(const CharT* Text, int32_t Length, int32_t K, int32_t StopAt, TMatchCollector& Out);

  TString Pattern_;
  int32_t PatternLength_ = 0;
  bool Prepared_ = false;

  // Short patterns: the mask of every character value, and the pattern whose bits are in it.
  TMaskTable Masks_{};
  TString MaskedPattern_;

  // Long patterns: row 0 is zero, rows 1.. belong to the distinct characters of the pattern; RowOf maps
  // every character value to its row (kAlphabet entries, made at the first long pattern and kept).
  std::unique_ptr<TBitPlanes> Planes_;
  std::vector<uint32_t> RowOf_;
  TString RowedPattern_;  // the pattern whose characters have rows in RowOf
  // The words of every row of Planes, so that the search reaches a row in one step.
  std::vector<const uint32_t*> RowWords_;
  // The working rows of the long search: two sets of K + 1 rows, old and new, swapped per character.
  std::vector<uint32_t> Work_;

  // The matches of SearchFirst, kept between calls to spare an allocation per call.
  ShiftAndTypes::TSearchResults FirstResults_;
};

extern template class TBasicShiftAndSearcher<char>;
extern template class TBasicShiftAndSearcher<char16_t>;

// Matches an 8-bit pattern in 8-bit text; characters are bytes.
class TShiftAndSearcher final : public TBasicShiftAndSearcher<char> {};
