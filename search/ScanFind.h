// Exact search of a folded word in a window that is not folded: the first position where the window,
// folded through the table, reads as the word. The answer is the one a search of the folded window would
// give, without folding it: candidates are the positions where two of the word's characters (its two
// rarest) meet one of the values that fold to them, tested 16 bytes or 8 units at a time, and each
// candidate is verified through the table.
//
// It serves when at most kMaxPreimages values fold to each of the two characters (for letters: the
// lower and the upper case, and the odd extra such as the dotless i); Prepare says whether it does.
// A finder keeps a pointer to its table, which must outlive it.
#pragma once

#include <cstdint>
#include <vector>

template <typename CharT>
class TFoldedFinder {
 public:
  static constexpr int kMaxPreimages = 4;

  // Word (Length characters) is already folded by Table (256 entries for 8-bit text, 65,536 for UTF-16).
  // False when the finder cannot serve this word; Find must not be called then.
  bool Prepare(const CharT* Table, const CharT* Word, int32_t Length);
  // The first start i in Text[0..TextLength) with Table[Text[i + k]] == Word[k] for every k, or -1.
  int32_t Find(const CharT* Text, int32_t TextLength) const;

 private:
  const CharT* Table_ = nullptr;
  const CharT* Word_ = nullptr;
  int32_t Length_ = 0;
  int32_t Pos_[2] = {};  // the two tested positions
  int32_t Count_[2] = {};
  CharT Values_[2][kMaxPreimages] = {};
};

extern template class TFoldedFinder<uint8_t>;
extern template class TFoldedFinder<char16_t>;

// Which of many words occur in a text, in one pass over it instead of one search per word. Each word of
// two or more characters is entered under its rarest pair of neighbouring characters (by a rough rank
// of letters in text), hashed to 16 bits; the pass tests
// every pair of neighbouring characters against that set and compares the words entered under a pair
// that passes. A word it marks occurs in the text, a word it leaves unmarked does not; both as a plain
// comparison of characters (the text is folded as the words are).
//
// The filter keeps pointers to the words, which must outlive it or be entered again.
template <typename CharT>
class TWordSetFilter {
 public:
  void Clear();
  // Enters word Index (Length characters); false, and nothing entered, for a word shorter than two.
  bool Add(int32_t Index, const CharT* Word, int32_t Length);
  int32_t Count() const { return static_cast<int32_t>(Entries_.size()); }
  // Sets Present[Index] to 1 for every entered word that occurs in Text[0..TextLength); other entries of
  // Present stay as they are, and a word already marked is not looked for.
  void Mark(const CharT* Text, int32_t TextLength, uint8_t* Present) const;

 private:
  struct TEntry {
    uint16_t Key;
    int32_t Offset;  // of the pair in the word
    int32_t Index;
    const CharT* Word;
    int32_t Length;
  };
  static uint16_t Key(const CharT* Pair);
  std::vector<TEntry> Entries_;  // by Key
  uint64_t Bits_[65536 / 64] = {};
};

extern template class TWordSetFilter<uint8_t>;
extern template class TWordSetFilter<char16_t>;
