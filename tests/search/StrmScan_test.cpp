#include "search/StrmScan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "tests/search/StrmScanTestUtil.h"

namespace {

using namespace strmscan_test;

class StrmScanTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }

  void Configure(const std::u16string& Pattern, TSearchLogic Logic = slAnyWord, bool CaseSensitive = false,
                 bool WholeWords = false, uint8_t Fuzzy = 0) {
    Scanner_.SetPattern(Pattern);
    Scanner_.SetLogic(Logic);
    Scanner_.SetCaseSensitive(CaseSensitive);
    Scanner_.WholeWords = WholeWords;
    Scanner_.Fuzzy = Fuzzy;
  }

  std::vector<std::u16string> Words() {
    std::vector<std::u16string> Result;
    const TCaseSensWideStrLst& List = Scanner_.GetWords();
    for (int32_t I = 0; I < List.GetCount(); ++I) Result.push_back(List.Get(I));
    return Result;
  }

  TStreamScanner Scanner_;
};

// Filler text of ASCII words that hold none of the tests' words.
std::string Filler(size_t Size, uint32_t Seed = 1) {
  static const char* const kWords[] = {"lorem", "ipsum", "dolor", "amet", "elit", "sed", "tempor", "magna"};
  std::mt19937 Random(Seed);
  std::string S;
  while (S.size() < Size) {
    S += kWords[Random() % std::size(kWords)];
    S += ' ';
  }
  S.resize(Size);
  return S;
}

// ---- words and encodings --------------------------------------------------------------------------

TEST_F(StrmScanTest, WordsByLogicAndCase) {
  struct TCase {
    std::u16string Pattern;
    TSearchLogic Logic;
    bool CaseSensitive;
    std::vector<std::u16string> Words;
  } Cases[] = {
      {u"", slEntirePhrase, false, {}},
      {u"", slAnyWord, false, {}},
      {u"   ", slAllWords, false, {}},
      {u" ", slEntirePhrase, false, {u" "}},
      // The whole phrase is upper-cased like any word when case does not matter.
      {u"Hello world", slEntirePhrase, false, {u"HELLO WORLD"}},
      {u"Hello world", slEntirePhrase, true, {u"Hello world"}},
      {u"a  b", slAnyWord, false, {u"A", u"B"}},
      {u"b B", slAnyWord, false, {u"B"}},
      {u"b B", slAllWords, true, {u"b", u"B"}},
      {u"ab c abc", slAllWords, false, {u"ABC", u"AB", u"C"}},
      {u" поиск  ", slAnyWord, false, {u"ПОИСК"}},
  };
  for (const TCase& C : Cases) {
    Configure(C.Pattern, C.Logic, C.CaseSensitive);
    EXPECT_EQ(Words(), C.Words) << WideToCharset(C.Pattern, qvnls::kCharsetUtf8) << " logic " << int(C.Logic);
    EXPECT_EQ(Scanner_.IsPatternEmpty(), C.Words.empty());
  }
}

TEST_F(StrmScanTest, EmptyPatternAfterAUsedOne) {
  Configure(u"cat");
  EXPECT_EQ(RunFind(Scanner_, "a cat", kScanAnsi), srFound);
  Scanner_.SetPattern(u"");
  EXPECT_TRUE(Scanner_.IsPatternEmpty());
  EXPECT_EQ(Scanner_.GetPossibleEncodings(), 0);
  EXPECT_EQ(RunFind(Scanner_, "a cat", kScanAnsi), srNotFound);
}

TEST_F(StrmScanTest, PatternTooLongKeepsTheOldOne) {
  Configure(u"cat");
  Scanner_.SetPattern(std::u16string(kMaxScanPatternLength, u'x'));
  try {
    Scanner_.SetPattern(std::u16string(kMaxScanPatternLength + 1, u'x'));
    FAIL() << "no exception";
  } catch (const EStreamScanner& E) {
    EXPECT_STREQ(E.what(), "Search pattern is too long");
  }
  EXPECT_EQ(Scanner_.GetPattern(), std::u16string(kMaxScanPatternLength, u'x'));
}

TEST_F(StrmScanTest, EncodingsThatCanHoldTheWords) {
  constexpr TScanEncodings A = kScanAnsi, O = kScanOem, U = kScanUnicode;
  struct TCase {
    int32_t AnsiPage, OemPage;
    std::u16string Pattern;
    TSearchLogic Logic;
    TScanEncodings Expected;
  } Cases[] = {
      {1252, 850, u"search", slAnyWord, A | U},  // ASCII reads alike in OEM: no OEM pass
      {1252, 850, u"café", slAnyWord, A | O | U},
      {1252, 850, u"поиск", slAnyWord, U},  // outside both 8-bit pages
      {1251, 866, u"поиск", slAnyWord, A | O | U},
      {1251, 866, u"cat λόγος", slAllWords, U},
      // Any word: each word is searched where it can occur, so an ANSI file with "cat" is still found.
      {1251, 866, u"cat λόγος", slAnyWord, A | U},
      {1251, 866, u"кот λόγος", slAnyWord, A | O | U},
      {1251, 866, u"кот λόγος", slAllWords, U},
      // The euro sign is in windows-1252 but not in cp850: OEM text can never hold the word.
      {1252, 850, u"€uro", slEntirePhrase, A | U},
      {1252, 850, u"", slAnyWord, 0},
  };
  for (const TCase& C : Cases) {
    ASSERT_TRUE(qvnls::SetSystemCodePages(C.AnsiPage, C.OemPage));
    Configure(C.Pattern, C.Logic);
    EXPECT_EQ(Scanner_.GetPossibleEncodings(), C.Expected)
        << WideToCharset(C.Pattern, qvnls::kCharsetUtf8) << " on " << C.AnsiPage << "/" << C.OemPage;
  }
}

TEST_F(StrmScanTest, ScanOnlyInTheEncodingsAsked) {
  Configure(u"cat");
  const std::string Wide = Utf16(u"the cat");
  EXPECT_EQ(RunFind(Scanner_, Wide, kScanAnsi), srNotFound);
  EXPECT_EQ(RunFind(Scanner_, Wide, 0), srNotFound);                // 0 means ANSI
  EXPECT_EQ(RunFind(Scanner_, "the cat", kScanFileName), srFound);  // so does the file-name bit alone
  TScanEncoding Found = seFileName;
  EXPECT_EQ(RunFind(Scanner_, Wide, kScanUnicode, &Found), srFound);
  EXPECT_EQ(Found, seUnicode);
  // An OEM pass is not needed for ASCII and is not made: nothing is left of the set asked.
  EXPECT_EQ(RunFind(Scanner_, "the cat", kScanOem, &Found), srNotFound);
}

// ---- windows ------------------------------------------------------------------------------------------

// A 100 KB stream with hits planted across the window ends at 32,768 and 49,152 (and the later ones), in
// each encoding, in mixed case: FindAll answers exactly the planted positions, whatever the size of the
// stream's reads.
TEST_F(StrmScanTest, PlantedHitsAcrossWindowEndsInEveryEncoding) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  Configure(u"поиск");
  const std::u16string Forms[] = {u"поиск", u"ПОИСК", u"ПоИсК"};
  for (TScanEncoding E : {seAnsi, seOem, seUnicode}) {
    const int32_t C = E == seUnicode ? 2 : 1;
    const std::string Word = Encode(u"поиск", E);
    std::string Bytes = E == seUnicode ? Utf16(Widen(Filler(50000))) : Filler(100000);
    const std::vector<int32_t> Planted = {
        0,                                           // the very start
        kScanWindowBytes - 2 * C,                    // straddles the first window's end
        kScanWindowBytes + kScanCarryBytes - 4 * C,  // straddles the second window's end
        65536 - 2 * C,
        81920 - 4 * C,
        100000 - 5 * C,  // ends the stream
    };
    for (size_t I = 0; I < Planted.size(); ++I) {
      Bytes.replace(static_cast<size_t>(Planted[I]), Word.size(), Encode(Forms[I % 3], E));
    }
    THits Expected;
    for (int32_t P : Planted) Expected.emplace_back(P, 5);
    for (int32_t Chunk : {0, 1, 7, 4096}) {
      SCOPED_TRACE(testing::Message() << "encoding " << int(E) << ", reads of " << Chunk);
      const TRun Run = RunFindAll(Scanner_, Bytes, kScanAnsi | kScanOem | kScanUnicode, Chunk);
      EXPECT_EQ(Run.Result, srFound);
      EXPECT_EQ(Run.Encoding, E);
      EXPECT_EQ(Run.Hits, Expected);
    }
    TScanEncoding Found = seFileName;
    EXPECT_EQ(RunFind(Scanner_, Bytes, kScanAnsi | kScanOem | kScanUnicode, &Found), srFound);
    EXPECT_EQ(Found, E);
  }
}

TEST_F(StrmScanTest, ProgressAfterEveryReadAndCancelAtTheFirstWindow) {
  Configure(u"dolor");
  const std::string Bytes = Filler(100000);
  TChunkedStream Stream(Bytes, 0);
  std::vector<int32_t> Seen;
  Scanner_.OnProgress = [&](int32_t Position) {
    Seen.push_back(Position);
    return true;
  };
  TRun Run = RunFindAll(Scanner_, Stream, kScanAnsi);
  EXPECT_EQ(Run.Result, srFound);
  EXPECT_EQ(Seen, (std::vector<int32_t>{32768, 49152, 65536, 81920, 98304, 100000}));

  Seen.clear();
  Scanner_.OnProgress = [&](int32_t Position) {
    Seen.push_back(Position);
    return false;
  };
  TInt32Vector Positions, Lengths;
  Positions.Add(7);
  Lengths.Add(7);
  TScanEncoding Found = seFileName;
  Scanner_.Stream = &Stream;
  EXPECT_EQ(Scanner_.FindAll(kScanAnsi, Found, Positions, Lengths), srCancelled);
  EXPECT_EQ(Positions.GetCount(), 0);
  EXPECT_EQ(Lengths.GetCount(), 0);
  EXPECT_EQ(Found, seFileName);
  EXPECT_EQ(Seen, std::vector<int32_t>{32768});
  EXPECT_EQ(Scanner_.Find(kScanAnsi, Found), srCancelled);
}

// The longest pattern, in UTF-16, carries 16,382 bytes into the next window and is found across a
// window end.
TEST_F(StrmScanTest, LongestPatternAcrossAWindowEnd) {
  std::mt19937 Random(7);
  std::u16string Pattern(kMaxScanPatternLength, u'a');
  for (char16_t& Ch : Pattern) Ch = static_cast<char16_t>(u'a' + Random() % 26);
  Configure(Pattern, slEntirePhrase, true);
  std::string Bytes = Utf16(Widen(Filler(40000)));
  Bytes.replace(20000, 2 * Pattern.size(), Utf16(Pattern));
  const TRun Run = RunFindAll(Scanner_, Bytes, kScanUnicode | kScanAnsi);
  EXPECT_EQ(Run.Hits, (THits{{20000, kMaxScanPatternLength}}));
}

// ---- whole words ------------------------------------------------------------------------------------

TEST_F(StrmScanTest, WholeWords) {
  struct TCase {
    std::string Text;
    std::vector<int32_t> Positions;
  } Cases[] = {
      {"cat", {0}},
      {"cats", {}},
      {"xcat", {}},
      {"a cat.", {2}},
      {"cat cat", {0, 4}},
      {"catcat cat", {7}},
      {"1cat", {}},
      {"_cat_", {1}},
      {"\xE9"
       "cat",
       {}},  // é is a letter in windows-1252
      {"\xA9"
       "cat",
       {0 + 1}},  // the copyright sign is not
  };
  Configure(u"cat", slAnyWord, false, true);
  for (TScanEncoding E : {seAnsi, seUnicode}) {
    const int32_t C = E == seUnicode ? 2 : 1;
    for (const TCase& Case : Cases) {
      const std::string Bytes =
          E == seUnicode ? Utf16(CharsetToWide(Case.Text, qvnls::kCharsetWin1252)) : Case.Text;
      THits Expected;
      for (int32_t P : Case.Positions) Expected.emplace_back(P * C, 3);
      EXPECT_EQ(RunFindAll(Scanner_, Bytes, ScanEncodingBit(E)).Hits, Expected)
          << Case.Text << " encoding " << int(E);
    }
  }
}

// A candidate rejected for touching a word character may overlap a whole word that starts inside it:
// the search goes on one character after the candidate's start, not after its end. The expected hits
// are those of grep -w -o -b -F.
TEST_F(StrmScanTest, WholeWordsOverlappingARejectedCandidate) {
  struct TCase {
    std::string Text;
    std::u16string Word;
    std::vector<int32_t> Positions;
  } Cases[] = {
      {"release 210.10.10 notes", u"10.10", {12}},
      {"ba.a.a", u"a.a", {3}},
      {"aa.a.a b", u"a.a", {3}},
      {"x10.10.10.10 y", u"10.10", {4}},
      {"1010 10 101010", u"10", {5}},
      {"abcabc abc", u"abc", {7}},
      {"aaa a", u"aa", {}},
      {"aa aaa aa", u"aa", {0, 7}},
      {"10.10.10", u"10.10", {0}},
      {"a-b-a-b-a", u"a-b-a", {0}},
  };
  // Alone the word is searched in the raw window; among four words, through the word-set filter.
  const std::u16string Others = u" qqqz wwwz jjjz";
  for (bool CaseSensitive : {false, true}) {
    for (bool Many : {false, true}) {
      for (TScanEncoding E : {seAnsi, seUnicode}) {
        const int32_t C = E == seUnicode ? 2 : 1;
        for (const TCase& Case : Cases) {
          Configure(Case.Word + (Many ? Others : u""), slAnyWord, CaseSensitive, true);
          const std::string Bytes = E == seUnicode ? Utf16(Widen(Case.Text)) : Case.Text;
          THits Expected;
          for (int32_t P : Case.Positions) {
            Expected.emplace_back(P * C, static_cast<int32_t>(Case.Word.size()));
          }
          EXPECT_EQ(RunFindAll(Scanner_, Bytes, ScanEncodingBit(E)).Hits, Expected)
              << Case.Text << " case " << CaseSensitive << " many " << Many << " encoding " << int(E);
          EXPECT_EQ(RunFind(Scanner_, Bytes, ScanEncodingBit(E)), Expected.empty() ? srNotFound : srFound)
              << Case.Text << " case " << CaseSensitive << " many " << Many << " encoding " << int(E);
        }
      }
    }
  }
}

// The whole word after a rejected candidate ends past the window: the next window finds it.
TEST_F(StrmScanTest, WholeWordAfterARejectedCandidateAcrossTheWindowEnd) {
  Configure(u"10.10", slAnyWord, false, true);
  std::string Text = Filler(40000);
  Text.replace(kScanWindowBytes - 7, 11, " 210.10.10 ");
  for (TScanEncoding E : {seAnsi, seUnicode}) {
    const int32_t C = E == seUnicode ? 2 : 1;
    const std::string Bytes = E == seUnicode ? Utf16(Widen(Text)) : Text;
    EXPECT_EQ(RunFindAll(Scanner_, Bytes, ScanEncodingBit(E)).Hits, (THits{{(kScanWindowBytes - 2) * C, 5}}))
        << int(E);
  }
}

// Fuzzy whole words go on the same way: "10.10" with one error is still found inside "210.10.10".
TEST_F(StrmScanTest, FuzzyWholeWordOverlappingARejectedCandidate) {
  Configure(u"10.10", slAnyWord, false, true, 1);
  for (TScanEncoding E : {seAnsi, seUnicode}) {
    const std::string Text = "release 210.10.10 notes";
    const std::string Bytes = E == seUnicode ? Utf16(Widen(Text)) : Text;
    EXPECT_EQ(RunFind(Scanner_, Bytes, ScanEncodingBit(E)), srFound) << int(E);
    const THits Hits = RunFindAll(Scanner_, Bytes, ScanEncodingBit(E)).Hits;
    ASSERT_FALSE(Hits.empty()) << int(E);
  }
}

// The neighbour of a hit that ends at a window's end lies in the part of the stream not read yet.
TEST_F(StrmScanTest, WholeWordNeighbourBeyondTheWindow) {
  Configure(u"cat", slAnyWord, false, true);
  for (char Next : {'s', ' '}) {
    std::string Bytes(40000, ' ');
    Bytes.replace(kScanWindowBytes - 3, 3, "cat");
    Bytes[kScanWindowBytes] = Next;
    const THits Expected = Next == ' ' ? THits{{kScanWindowBytes - 3, 3}} : THits{};
    EXPECT_EQ(RunFindAll(Scanner_, Bytes, kScanAnsi).Hits, Expected) << Next;
    TChunkedStream Stream(Bytes, 0);
    Scanner_.Stream = &Stream;
    TScanEncoding Found = seFileName;
    EXPECT_EQ(Scanner_.Find(kScanAnsi, Found), Next == ' ' ? srFound : srNotFound);
  }
}

// OEM text is tested as the Windows code page reads it after conversion: cp866 "а" (0xA0) is a letter,
// though 0xA0 read as windows-1251 is a no-break space.
TEST_F(StrmScanTest, WholeWordsInOemTextTestTheConvertedNeighbour) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  Configure(u"кот", slAnyWord, false, true);
  EXPECT_EQ(RunFindAll(Scanner_, Oem(u"кота"), kScanOem).Hits, THits{});
  EXPECT_EQ(RunFindAll(Scanner_, Oem(u"кот."), kScanOem).Hits, (THits{{0, 3}}));
}

// ---- all words ------------------------------------------------------------------------------------------

TEST_F(StrmScanTest, AllWordsMustMeetInOneEncoding) {
  Configure(u"cat dog", slAllWords);
  const std::string Split = "a cat " + Utf16(u" a dog ");
  EXPECT_EQ(RunFind(Scanner_, Split, kScanAnsi | kScanUnicode), srNotFound);
  EXPECT_EQ(RunFindAll(Scanner_, Split, kScanAnsi | kScanUnicode).Result, srNotFound);
  EXPECT_TRUE(RunFindAll(Scanner_, Split, kScanAnsi | kScanUnicode).Hits.empty());

  const std::string Together = "a dog " + Utf16(u" a cat and a dog ");
  TScanEncoding Found = seFileName;
  EXPECT_EQ(RunFind(Scanner_, Together, kScanAnsi | kScanUnicode, &Found), srFound);
  EXPECT_EQ(Found, seUnicode);

  const TRun Run = RunFindAll(Scanner_, "dog, cat and dog", kScanAnsi | kScanUnicode);
  EXPECT_EQ(Run.Result, srFound);
  EXPECT_EQ(Run.Hits, (THits{{0, 3}, {5, 3}, {13, 3}}));
}

// A shorter word does not match inside a longer word's accepted hit.
TEST_F(StrmScanTest, LongerWordsFirstAndShorterOnesNotInsideThem) {
  Configure(u"cat cats", slAnyWord);
  EXPECT_EQ(RunFindAll(Scanner_, "cats cat", kScanAnsi).Hits, (THits{{0, 4}, {5, 3}}));
  Configure(u"cat cats", slAllWords);
  EXPECT_EQ(RunFind(Scanner_, "cats", kScanAnsi), srNotFound);
}

// ---- fuzzy words --------------------------------------------------------------------------------------

TEST_F(StrmScanTest, FuzzyWords) {
  struct TCase {
    std::u16string Word;
    std::string Text;
    bool Found;
  } Cases[] = {
      {u"search", "a serch b", true},                                   // deletion
      {u"search", "a seatch b", true},                                  // substitution
      {u"search", "a searrch b", true},                                 // insertion
      {u"search", "a serh b", false},                                   // two deletions
      {u"search", "SERCH", true},          {u"cat", "a cot b", false},  // three letters: always exact
      {u"searches", "a serches b", true},                               // eight letters: one error
      {u"searches", "a serchs b", false},  {u"searching", "a serchng b", true},  // nine letters: two errors
      {u"searching", "a srchng b", false},
  };
  for (const TCase& C : Cases) {
    Configure(C.Word, slAnyWord, false, false, 1);
    for (TScanEncoding E : {seAnsi, seUnicode}) {
      const std::string Bytes = E == seUnicode ? Utf16(Widen(C.Text)) : C.Text;
      EXPECT_EQ(RunFind(Scanner_, Bytes, ScanEncodingBit(E)) == srFound, C.Found)
          << C.Text << " encoding " << int(E);
    }
  }
  Configure(u"search", slAnyWord, false, false, 0);
  EXPECT_EQ(RunFind(Scanner_, "a serch b", kScanAnsi), srNotFound);
}

// A stream that is exactly the word, or a variant one character shorter, is long enough to match.
TEST_F(StrmScanTest, FuzzyWordFillsTheWholeStream) {
  Configure(u"search", slAnyWord, false, false, 1);
  EXPECT_EQ(RunFindAll(Scanner_, "search", kScanAnsi).Hits, (THits{{0, 6}}));
  EXPECT_EQ(RunFind(Scanner_, "serch", kScanAnsi), srFound);
  EXPECT_EQ(RunFind(Scanner_, Utf16(u"serch"), kScanUnicode), srFound);
  EXPECT_EQ(RunFindAll(Scanner_, "search xx search", kScanAnsi).Hits, (THits{{0, 6}, {10, 6}}));
}

// A first match that needs deletions at the start of the text searched is reported before it; it is
// taken from the first character on, and the hits after it are still found.
TEST_F(StrmScanTest, FuzzyMatchBeforeTheSearchedText) {
  Configure(u"search", slAnyWord, false, false, 1);
  EXPECT_EQ(RunFindAll(Scanner_, "earchxxxxsearch", kScanAnsi).Hits, (THits{{0, 5}, {9, 6}}));
  Configure(u"information", slAnyWord, false, false, 1);
  const TRun Run = RunFindAll(Scanner_, Utf16(u"formation and information"), kScanUnicode);
  ASSERT_FALSE(Run.Hits.empty());
  EXPECT_EQ(Run.Hits.front(), (std::pair<int32_t, int32_t>{0, 9}));
  EXPECT_EQ(Run.Hits.back(), (std::pair<int32_t, int32_t>{28, 11}));
}

// A fuzzy hit with an insertion that straddles a window end: the next window searches far enough back.
TEST_F(StrmScanTest, FuzzyInsertionAcrossAWindowEnd) {
  Configure(u"search", slAnyWord, false, false, 1);
  for (int32_t End : {kScanWindowBytes, kScanWindowBytes + kScanCarryBytes}) {
    std::string Bytes(70000, ' ');
    Bytes.replace(static_cast<size_t>(End - 6), 7, "searrch");  // "searrc" | "h"
    EXPECT_EQ(RunFind(Scanner_, Bytes, kScanAnsi), srFound) << End;
    const TRun Run = RunFindAll(Scanner_, Bytes, kScanAnsi);
    ASSERT_EQ(Run.Hits.size(), 1u) << End;
    EXPECT_EQ(Run.Hits[0].first, End - 5);  // a match starts at its end less the word's length
  }
}

// ---- case ---------------------------------------------------------------------------------------------

TEST_F(StrmScanTest, CaseFoldingInEveryEncoding) {
  Configure(u"Hello World", slEntirePhrase);
  for (const std::u16string Text : {u"say HELLO WORLD", u"say hello world"}) {
    EXPECT_EQ(RunFind(Scanner_, Ansi(Text), kScanAnsi), srFound);
    EXPECT_EQ(RunFind(Scanner_, Utf16(Text), kScanUnicode), srFound);
  }
  Configure(u"Hello World", slEntirePhrase, true);
  EXPECT_EQ(RunFind(Scanner_, "say hello world", kScanAnsi), srNotFound);
  EXPECT_EQ(RunFind(Scanner_, "say Hello World", kScanAnsi), srFound);

  // The micro sign has no upper case in windows-1252 (its upper case is Greek): the word and the text
  // are folded by the same table and still meet.
  Configure(u"µm", slAnyWord);
  TScanEncoding Found = seFileName;
  EXPECT_EQ(RunFind(Scanner_, Ansi(u"5 µM"), kScanAnsi | kScanUnicode, &Found), srFound);
  EXPECT_EQ(Found, seAnsi);
  EXPECT_EQ(RunFind(Scanner_, Utf16(u"5 µM"), kScanUnicode), srFound);
}

// ---- encodings that cannot hold a word ----------------------------------------------------------------

TEST_F(StrmScanTest, WordIsSearchedOnlyWhereItCanOccur) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  // Greek has no place in either 8-bit page; its lossy 8-bit form would match binary zeros in OEM text.
  Configure(u"кот λόγος", slAnyWord);
  EXPECT_EQ(RunFind(Scanner_, std::string(1000, '\0'), kScanAnsi | kScanOem | kScanUnicode), srNotFound);
  EXPECT_EQ(RunFind(Scanner_, std::string(1000, '?'), kScanAnsi | kScanOem | kScanUnicode), srNotFound);
  EXPECT_EQ(RunFind(Scanner_, Oem(u"мой кот"), kScanAnsi | kScanOem | kScanUnicode), srFound);

  // Any word: a word outside the Windows page does not keep the others out of ANSI text.
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  Configure(u"café кофе", slAnyWord);
  TScanEncoding Found = seFileName;
  EXPECT_EQ(RunFind(Scanner_, Ansi(u"un café"), kScanAnsi | kScanOem | kScanUnicode, &Found), srFound);
  EXPECT_EQ(Found, seAnsi);
}

// All hits of a FindAll come from one encoding: an ASCII word is not found a second time by the OEM pass.
TEST_F(StrmScanTest, FindAllReportsEachHitOnce) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  Configure(u"cat кот", slAnyWord);
  const TRun Run = RunFindAll(Scanner_, "the cat and the cat", kScanAnsi | kScanOem | kScanUnicode);
  EXPECT_EQ(Run.Hits, (THits{{4, 3}, {16, 3}}));
  EXPECT_EQ(Run.Encoding, seAnsi);
}

// ---- streams ------------------------------------------------------------------------------------------

class TFailingStream : public TChunkedStream {
 public:
  using TChunkedStream::TChunkedStream;
  int32_t Read(void* Buf, int32_t Count) override {
    if (Reads >= 1) Error("File read error");
    return TChunkedStream::Read(Buf, Count);
  }
};

TEST_F(StrmScanTest, StreamErrorsPassToTheCallerAndTheScannerStaysUsable) {
  Configure(u"needle");
  TFailingStream Failing(Filler(70000), 0);
  Scanner_.Stream = &Failing;
  TScanEncoding Found = seFileName;
  EXPECT_THROW(Scanner_.Find(kScanAnsi, Found), EVStream);
  EXPECT_EQ(RunFind(Scanner_, Filler(70000) + " needle", kScanAnsi), srFound);
  EXPECT_EQ(RunFind(Scanner_, "", kScanAnsi), srNotFound);

  Scanner_.Stream = nullptr;
  EXPECT_THROW(Scanner_.Find(kScanAnsi, Found), EStreamScanner);
}

// A UTF-16 stream is scanned in UTF-16 first, so Find answers that encoding even where the 8-bit pass
// would find the word in the bytes as well (the unit U+4241 is the bytes "AB").
TEST_F(StrmScanTest, UnicodeFirstForAUnicodeStream) {
  Configure(u"ab");
  const std::string Bytes = Utf16(u"some text of ab ") + Utf16(u"\x4241");
  TScanEncoding Found = seFileName;
  EXPECT_EQ(RunFind(Scanner_, Bytes, kScanAnsi | kScanUnicode, &Found), srFound);
  EXPECT_EQ(Found, seUnicode);
  // Without the Unicode pass, the same bytes hold the word in ANSI.
  EXPECT_EQ(RunFind(Scanner_, Bytes, kScanAnsi, &Found), srFound);
  EXPECT_EQ(Found, seAnsi);
}

}  // namespace
