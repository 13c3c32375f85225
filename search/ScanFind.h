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
