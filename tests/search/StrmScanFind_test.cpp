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
