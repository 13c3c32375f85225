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

// Exact search of a long folded word that skips ahead by about the word's length: at each try the last
// kGram characters under the word's end are hashed, and a table says how far the word may move before a
// group of its own characters could lie there (the word's length less kGram, plus one, when none does);
// only where it may not move at all is the try compared. Text that shares few groups of kGram characters
// with the word is passed over without reading most of it. The text is compared through a table (or as
// it stands), so the same finder serves raw and folded windows.
//
// Prepare builds the table (kBuckets entries) once per word; it serves words of kMinLength characters
// or more, where skipping beats testing every position.
template <typename CharT>
class TSkipFinder {
 public:
  static constexpr int32_t kMinLength = 64;
  static constexpr int32_t kGram = 4;

  // Word (Length characters) is already folded; false (and Find must not be called) when Length is
  // below kMinLength. The finder keeps a pointer to Word.
  bool Prepare(const CharT* Word, int32_t Length);
  // The first start i in Text[0..TextLength) with Fold(Text[i + k]) == Word[k] for every k, or -1; Fold
  // is Table (256 entries for 8-bit text, 65,536 for UTF-16), or nothing when Table is null.
  int32_t Find(const CharT* Table, const CharT* Text, int32_t TextLength) const;

 private:
  static constexpr int32_t kBucketBits = 15;
  static constexpr uint32_t kBuckets = uint32_t{1} << kBucketBits;
  static uint32_t Hash(uint32_t A, uint32_t B, uint32_t C, uint32_t D) {
    return ((A * 0x9E3779B1u) ^ (B * 0x85EBCA77u) ^ (C * 0xC2B2AE3Du) ^ (D * 0x27D4EB2Fu)) >>
           (32 - kBucketBits);
  }
  const CharT* Word_ = nullptr;
  int32_t Length_ = 0;
  std::vector<uint16_t> Shift_;  // by hash of kGram characters
};

extern template class TSkipFinder<uint8_t>;
extern template class TSkipFinder<char16_t>;

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
  // The longest word entered.
  int32_t MaxLength() const { return MaxLength_; }
  // Sets Present[Index] to 1 for every entered word that occurs in Text[0..TextLength); other entries of
  // Present stay as they are, and a word already marked is not looked for. With StopAtFirst the pass
  // ends at the first occurrence of a word not yet marked (marking that word alone): for a search that
  // any one word decides.
  // True when a word was marked.
  bool Mark(const CharT* Text, int32_t TextLength, uint8_t* Present, bool StopAtFirst = false) const;

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
  int32_t MaxLength_ = 0;
  uint64_t Bits_[65536 / 64] = {};
};

extern template class TWordSetFilter<uint8_t>;
extern template class TWordSetFilter<char16_t>;
