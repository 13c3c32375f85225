#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"
#include "search/ScanFind.h"

namespace {

// The first start where Text folded through Table reads Word, the slow way.
template <typename CharT>
int32_t NaiveFind(const CharT* Table, const std::basic_string<CharT>& Word, const CharT* Text,
                  int32_t Length) {
  for (int32_t I = 0; I + static_cast<int32_t>(Word.size()) <= Length; ++I) {
    bool Equal = true;
    for (size_t K = 0; K < Word.size() && Equal; ++K)
      Equal = Table[Text[I + static_cast<int32_t>(K)]] == Word[K];
    if (Equal) return I;
  }
  return -1;
}

// Words and texts drawn from characters with one, two (a letter's cases) and three preimages (I with
// the dotless i in UTF-16), in texts dense with near misses.
template <typename CharT>
void CheckAgainstNaive(const CharT* Table, const std::basic_string<CharT>& Alphabet, uint32_t Seed) {
  std::mt19937 Random(Seed);
  int Served = 0;
  for (int Round = 0; Round < 200; ++Round) {
    std::basic_string<CharT> Word;
    for (int I = 1 + static_cast<int>(Random() % 6); I > 0; --I) Word += Alphabet[Random() % Alphabet.size()];
    for (CharT& C : Word) C = Table[C];  // the finder takes the word folded
    std::basic_string<CharT> Text;
    while (Text.size() < 300) {
      if (Random() % 5 == 0) {
        for (CharT C : Word) Text += Random() % 2 ? C : Alphabet[Random() % Alphabet.size()];
      } else {
        Text += Alphabet[Random() % Alphabet.size()];
      }
    }
    TFoldedFinder<CharT> Finder;
    if (!Finder.Prepare(Table, Word.data(), static_cast<int32_t>(Word.size()))) continue;
    ++Served;
    for (int32_t From = 0; From < 40; ++From) {
      const int32_t N = static_cast<int32_t>(Text.size()) - From;
      ASSERT_EQ(Finder.Find(Text.data() + From, N), NaiveFind(Table, Word, Text.data() + From, N))
          << "round " << Round << " from " << From;
    }
  }
  EXPECT_GT(Served, 100);
}

TEST(StrmScanFindTest, EightBitAgreesWithAFoldedSearch) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  const std::basic_string<uint8_t> Alphabet = {'a', 'A',  'b',  'B',  'q',  'Q', ' ',
                                               '1', 0xE9, 0xC9, 0xFF, 0x9F, 0};
  CheckAgainstNaive<uint8_t>(AnsiUpperTable(), Alphabet, 1);
  CheckAgainstNaive<uint8_t>(OemToAnsiUpperTable(), Alphabet, 2);
  qvnls::ResetSystemCodePages();
}

TEST(StrmScanFindTest, UnitsAgreeWithAFoldedSearch) {
  const std::u16string Alphabet = u"aAiIıqQsSſ é\x4241\x0000";
  CheckAgainstNaive<char16_t>(qvnls::WideUpperTable(), Alphabet, 3);
}

// The skipping finder of long words against the naive search: words of 64 to 300 characters from a
// small alphabet (so that their groups of four recur in the text and many tries are compared), texts
// with whole and damaged copies of the word, searched from many starts, through a table and without.
template <typename CharT>
void CheckSkipAgainstNaive(const CharT* Table, const std::basic_string<CharT>& Alphabet, uint32_t Seed) {
  std::mt19937 Random(Seed);
  static std::vector<CharT> Identity(sizeof(CharT) == 1 ? 256 : 65536);
  for (size_t C = 0; C < Identity.size(); ++C) Identity[C] = static_cast<CharT>(C);
  for (int Round = 0; Round < 60; ++Round) {
    std::basic_string<CharT> Word;
    const int Length = 64 + static_cast<int>(Random() % 237);
    // Some words are one character over and over: every try passes the table and is compared.
    const bool Repeated = Round % 10 == 0;
    for (int I = 0; I < Length; ++I) Word += Alphabet[Repeated ? 0 : Random() % Alphabet.size()];
    const CharT* Fold = Table ? Table : Identity.data();
    for (CharT& C : Word) C = Fold[C];
    std::basic_string<CharT> Text;
    while (Text.size() < 3000) {
      const unsigned Pick = Random() % 8;
      if (Pick == 0) {
        Text += Word;  // a whole copy (in the word's folded form: it may differ in case from the text)
      } else if (Pick == 1) {
        std::basic_string<CharT> Damaged = Word;
        Damaged[Random() % Damaged.size()] = Alphabet[Random() % Alphabet.size()];
        Text += Damaged;
      } else {
        for (int I = 1 + static_cast<int>(Random() % 40); I > 0; --I)
          Text += Alphabet[Random() % Alphabet.size()];
      }
    }
    TSkipFinder<CharT> Finder;
    ASSERT_TRUE(Finder.Prepare(Word.data(), static_cast<int32_t>(Word.size())));
    for (int32_t From = 0; From < static_cast<int32_t>(Text.size());
         From += 1 + static_cast<int32_t>(Random() % 97)) {
      // The end of the text moves too, so that copies are cut by it.
      const int32_t N = static_cast<int32_t>(Text.size()) - From - static_cast<int32_t>(Random() % 50);
      if (N < 0) break;
      ASSERT_EQ(Finder.Find(Table, Text.data() + From, N), NaiveFind(Fold, Word, Text.data() + From, N))
          << "round " << Round << " from " << From << " length " << N;
    }
  }
}

TEST(StrmScanFindTest, LongWordsSkipAheadAndAgreeWithAFoldedSearch) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  const std::basic_string<uint8_t> Alphabet = {'a', 'A', 'b', 'B', 'q', ' ', 0xE9, 0xC9, 0xFF, 0};
  CheckSkipAgainstNaive<uint8_t>(AnsiUpperTable(), Alphabet, 11);
  CheckSkipAgainstNaive<uint8_t>(OemToAnsiUpperTable(), Alphabet, 12);
  CheckSkipAgainstNaive<uint8_t>(nullptr, Alphabet, 13);
  const std::u16string Units = u"aAiIıqsSſ é\x4241\x0000";
  CheckSkipAgainstNaive<char16_t>(qvnls::WideUpperTable(), Units, 14);
  CheckSkipAgainstNaive<char16_t>(nullptr, Units, 15);
  // Shorter words are not served.
  const uint8_t Short[63] = {};
  TSkipFinder<uint8_t> Finder;
  EXPECT_FALSE(Finder.Prepare(Short, 63));
  qvnls::ResetSystemCodePages();
}

// Too many values fold to the character: the finder declines (OEM box drawing characters all become "?"
// in windows-1252).
TEST(StrmScanFindTest, DeclinesACharacterWithManyPreimages) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  const uint8_t Word[] = {'?'};
  TFoldedFinder<uint8_t> Finder;
  EXPECT_FALSE(Finder.Prepare(OemToAnsiTable(), Word, 1));
  qvnls::ResetSystemCodePages();
}

}  // namespace
